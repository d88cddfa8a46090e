// What the console library asks of the platform beyond the C library. Each
// platform's file, terminal-posix.cc or terminal-win32.cc as CMake chooses, provides
// these three, in this order:
// - console::wait_key(), the final key wait, declared in console.h with its
//   contract, since the programs call it. All of it is platform code, so the
//   platform file defines it directly: a shared file would only pass the call on.
// - console::platform::drop_terminal_input(), declared below, which the pause
//   wait_entry() ends with.
// - console::platform::output_and_errors_share_terminal(), declared below, which
//   only the library's own files call.
// It also declares what the platform's code reads back from the rest of the
// library. Internal to the console library.
#ifndef CONSOLE_TERMINAL_H
#define CONSOLE_TERMINAL_H

namespace console {

// Whether the last text that print wrote to standard output ended with a line end,
// true before the first; the platform's code keeps the shell's prompt off a line
// that the program left open. Defined in output.cc.
bool last_output_ended_line();

namespace platform {

// When standard input is the terminal, drops what it still holds once the last
// entry is taken: whatever else arrives until it has been quiet a moment (a paste
// comes in pieces), then the rest of its input queue, so that none of it reaches
// the shell after the program. Input from a pipe or a file is left as it is.
void drop_terminal_input();

// True when standard output and standard error are one and the same terminal, so
// that text on either lands on the same screen line.
bool output_and_errors_share_terminal();

}  // namespace platform
}  // namespace console

#endif
