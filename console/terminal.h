// What the console library asks of the platform beside the key wait, one source
// file per platform.
#ifndef CONSOLE_TERMINAL_H
#define CONSOLE_TERMINAL_H

namespace console::platform {

// True when standard output and standard error are the same terminal.
bool output_and_errors_share_terminal();

}  // namespace console::platform

#endif
