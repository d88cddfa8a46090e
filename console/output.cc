// Standard output and the one diagnostic form.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"

namespace console {
namespace {
const char* program_name = "console";
}

void set_program_name(const char* name) { program_name = name; }

// printf-style on purpose: every call's format is checked by the compiler through
// CONSOLE_PRINTF, and the programs' output is made of printf conversions.
void fail(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
    // Standard error is the last resort: when it cannot be written either, the
    // exit status still tells.
    static_cast<void>(std::fprintf(stderr, "%s: ", program_name));
    va_list args;
    va_start(args, format);
    static_cast<void>(std::vfprintf(stderr, format, args));
    va_end(args);
    static_cast<void>(std::fputc('\n', stderr));
    std::exit(1);
}

void print(const char* format, ...) {  // NOLINT(cert-dcl50-cpp): as fail
    va_list args;
    va_start(args, format);
    const int written = std::vfprintf(stdout, format, args);
    va_end(args);
    // MinGW's printf returns the full count and fflush 0 after a failed write; only
    // the stream's error flag tells.
    if (written < 0 || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int error = errno;
        fail("write error: %s", std::strerror(error));
    }
}

}  // namespace console
