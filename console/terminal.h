// What the console exchange asks of the platform beyond the C library, one
// implementation per platform (terminal-posix.cc, terminal-win32.cc). Internal to
// the console library.
#ifndef CONSOLE_TERMINAL_H
#define CONSOLE_TERMINAL_H

namespace console {

// Whether the last text that print wrote to standard output ended with a line end,
// true before the first; the platform's code keeps the shell's prompt off a line
// that the program left open. Defined in output.cc.
bool last_output_ended_line();

namespace platform {

// True when standard output and standard error are one and the same terminal, so
// that text on either lands on the same screen line.
bool output_and_errors_share_terminal();

}  // namespace platform
}  // namespace console

#endif
