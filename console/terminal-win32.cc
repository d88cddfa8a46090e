// The console library's platform part on Windows (see terminal.h): the final key
// wait, the drop of what the console still holds after the last entry, and whether
// standard output and standard error are one console.
//
// The key is read from the console's own input (CONIN$), never from standard input,
// so that piped input, or the line end left after the last number, cannot end the
// wait. For the wait only, the console's input mode is set so that no key is echoed
// and Ctrl-C arrives as a key; the saved mode is restored on every way out,
// including a console control event (Ctrl-Break, the window closed) that ends the
// program.
//
// The result's line is left open after the key: cmd.exe starts its prompt on a
// new line of its own, so a line end there would only add an empty line.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "console.h"
#include "terminal.h"

namespace console {
namespace {

// Read by the control handler, which runs on a thread of its own; set before the
// handler is installed.
HANDLE console_input = INVALID_HANDLE_VALUE;
DWORD saved_mode = 0;

BOOL WINAPI restore_and_pass_on(DWORD) {
    SetConsoleMode(console_input, saved_mode);
    // Not handled: the next handler, in the end the system's, ends the program as it
    // would have without the wait.
    return FALSE;
}

// A key that only changes what the next key means is not a key press of its own.
// Wine sends a Shift event before an upper-case letter typed at a terminal.
bool is_modifier(WORD key) {
    switch (key) {
        case VK_SHIFT:
        case VK_LSHIFT:
        case VK_RSHIFT:
        case VK_CONTROL:
        case VK_LCONTROL:
        case VK_RCONTROL:
        case VK_MENU:
        case VK_LMENU:
        case VK_RMENU:
        case VK_CAPITAL:
            return true;
        default:
            return false;
    }
}

// Returns at the first key pressed, or when the console can no longer be read.
// An arrow or function key is a single event, so it is a single key.
void read_one_key(HANDLE input) {
    for (;;) {
        INPUT_RECORD record;
        DWORD count = 0;
        if (!ReadConsoleInputW(input, &record, 1, &count)) return;
        if (count == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            !is_modifier(record.Event.KeyEvent.wVirtualKeyCode)) {
            return;
        }
    }
}

}  // namespace

void wait_key() {
    const HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) return;  // no console: nobody to wait for
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) {
        console_input = input;
        saved_mode = mode;
        if (SetConsoleCtrlHandler(restore_and_pass_on, TRUE)) {
            // Without line input a key is read as it is pressed, without echo input
            // nothing is shown, without processed input Ctrl-C is a key, and without
            // virtual terminal input an arrow key is one event, not an escape sequence.
            const DWORD raw = mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT |
                                                         ENABLE_VIRTUAL_TERMINAL_INPUT);
            if (SetConsoleMode(input, raw)) {
                read_one_key(input);
                SetConsoleMode(input, saved_mode);
            }
            SetConsoleCtrlHandler(restore_and_pass_on, FALSE);
        }
    }
    CloseHandle(input);
}

namespace platform {

// The console's own flush drops the input records it holds once the entry is read,
// the rest of a paste among them. No quiet time is waited for, as a terminal's
// drop does: a console window puts a whole paste into its input at once. A
// standard input that is not the console is left as it is.
void drop_terminal_input() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) FlushConsoleInputBuffer(input);
}

// A process has at most one console; both streams are on its screen when both are
// console handles rather than files or pipes.
bool output_and_errors_share_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) && GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
}

}  // namespace platform
}  // namespace console
