// What the console exchange asks of the platform beyond the C library, one
// implementation per platform (terminal-posix.cc, terminal-win32.cc), and what the
// platform's code reads back from the rest of the library. Internal to the console
// library.
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

// When standard input is the terminal, drops what it still holds once the last
// entry is taken: whatever else arrives until it has been quiet a moment (a paste
// comes in pieces), then the rest of its input queue, so that none of it reaches
// the shell after the program. Input from a pipe or a file is left as it is.
void drop_terminal_input();

}  // namespace platform
}  // namespace console

#endif
