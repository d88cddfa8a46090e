// What the console exchange asks of the platform beyond the C library, one
// implementation per platform (terminal-posix.cc, terminal-win32.cc). Internal to
// the console library.
#ifndef CONSOLE_TERMINAL_H
#define CONSOLE_TERMINAL_H

namespace console::platform {

// True when standard output and standard error are one and the same terminal, so
// that text on either lands on the same screen line.
bool output_and_errors_share_terminal();

}  // namespace console::platform

#endif
