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

void fail(const char* format, ...) {
    std::fprintf(stderr, "%s: ", program_name);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::exit(1);
}

void print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vfprintf(stdout, format, args);
    va_end(args);
    if (written < 0 || std::fflush(stdout) != 0) {
        const int error = errno;
        fail("write error: %s", std::strerror(error));
    }
}

}  // namespace console
