// Standard output and the one diagnostic form.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console.h"
#include "terminal.h"

namespace console {
namespace {
const char* program_name = "console";
// Whether the last text written to standard output ended with a line end; a
// program starts with nothing of its own on the line.
bool output_ended_line = true;
}  // namespace

void set_program_name(const char* name) { program_name = name; }

bool last_output_ended_line() { return output_ended_line; }

// printf-style on purpose: every call's format is checked by the compiler through
// CONSOLE_PRINTF, and the programs' output is made of printf conversions.
void fail(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
    // A diagnostic starts on a line of its own. On a terminal that standard output
    // shares, a prompt or result without a line end would otherwise run into it;
    // into a pipe or a file it is written as it is, since there the two streams
    // are apart. Standard error is the last resort: when it cannot be written
    // either, the exit status still tells.
    if (!output_ended_line && platform::output_and_errors_share_terminal()) {
        static_cast<void>(std::fputc('\n', stderr));
    }
    static_cast<void>(std::fprintf(stderr, "%s: ", program_name));
    va_list args;
    va_start(args, format);
    static_cast<void>(std::vfprintf(stderr, format, args));
    va_end(args);
    static_cast<void>(std::fputc('\n', stderr));
    std::exit(1);
}

void print(const char* format, ...) {  // NOLINT(cert-dcl50-cpp): as fail
    // Formatted first, so that the text's last character is known; most texts fit
    // the buffer on the stack.
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char small[256];
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string large;
    const char* text = small;
    if (length >= static_cast<int>(sizeof small)) {
        large.resize(static_cast<std::size_t>(length) + 1);
        static_cast<void>(std::vsnprintf(large.data(), large.size(), format, again));
        text = large.data();
    }
    va_end(again);
    const auto size = static_cast<std::size_t>(length < 0 ? 0 : length);
    // MinGW's stream functions can report the full count, and fflush 0, after a
    // failed write; only the stream's error flag tells.
    if (length < 0 || std::fwrite(text, 1, size, stdout) != size || std::fflush(stdout) != 0 ||
        std::ferror(stdout) != 0) {
        const int error = errno;
        fail("write error: %s", std::strerror(error));
    }
    if (size > 0) output_ended_line = text[size - 1] == '\n';
}

}  // namespace console
