// What the console library asks of the platform beyond the C library. Each
// platform's file, terminal-posix.cc or terminal-win32.cc as CMake chooses, provides
// these two, in this order:
// - console::wait_key(), the final key wait, declared in console.h with its
//   contract, since the programs call it. All of it is platform code, so the
//   platform file defines it directly: a shared file would only pass the call on.
// - console::platform::output_and_errors_share_terminal(), declared below, which
//   only the library's own files call.
// Internal to the console library.
#ifndef CONSOLE_TERMINAL_H
#define CONSOLE_TERMINAL_H

namespace console::platform {

// True when standard output and standard error are one and the same terminal, so
// that text on either lands on the same screen line.
bool output_and_errors_share_terminal();

}  // namespace console::platform

#endif
