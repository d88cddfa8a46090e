// The console exchange shared by every program: prompts and results on standard
// output, whole numbers read from standard input, one diagnostic form on standard
// error, and the final key wait on the terminal.
#ifndef CONSOLE_CONSOLE_H
#define CONSOLE_CONSOLE_H

#include <cstdint>
#include <cstdio>
#include <string>

#if defined(__GNUC__)
#define CONSOLE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define CONSOLE_PRINTF(fmt, args)
#endif

namespace console {

// Names the program in its diagnostics. Call it first in main.
void set_program_name(const char* name);

// Writes "PROG: MESSAGE" and a line end to standard error and exits with status 1.
// The diagnostic starts on a line of its own: when standard output and standard
// error are the same terminal and the last text written by print did not end with a
// line end, a line end goes before it. Standard output itself is left as it is.
[[noreturn]] void fail(const char* format, ...) CONSOLE_PRINTF(1, 2);

// Writes to standard output and flushes at once, so that a prompt without a line end
// is visible while its entry is awaited. A failed write is not passed over: the
// program ends with "PROG: write error: REASON" and status 1.
void print(const char* format, ...) CONSOLE_PRINTF(1, 2);

enum class scan_status {
    ok,
    not_a_number,  // no digit where the number should begin
    out_of_range,  // outside -2147483648 ... 2147483647
    end_of_input,  // only white space before the end of input
    read_error,    // the stream itself failed
};

struct scan_result {
    scan_status status = scan_status::end_of_input;
    std::int32_t value = 0;  // meaningful only when status is ok
    std::string text;        // the entry as a diagnostic shows it
    int error = 0;           // errno of a read_error
};

// The "%d" conversion: skips white space, takes an optional sign and decimal
// digits, and leaves the first character after them unread. A failed entry is taken
// whole for its diagnostic: up to the next white space when it is not a number, its
// sign and digits when it is out of range. Never reads past the entry it reports.
scan_result scan_int(std::FILE* in);

// Reads the next whole number from standard input into target. A read that fails
// never returns: the program reports why and ends with status 1, so that no program
// goes on computing with a value it does not have.
void read_int(std::int32_t& target);

// A pause that the next entry ends, whatever it is: a number, other text, or the
// end of input. Blank lines do not end it. Never fails. When standard input is the
// terminal, what else it holds then, a paste however long, is dropped, so that none
// of it reaches the shell.
void wait_entry();

// Waits for one keystroke on the terminal (not standard input), without echo, and
// consumes every byte the key sent; whatever else the terminal sends until it goes
// quiet, a paste however long, is dropped too, so that none of it reaches the shell.
// Returns at once when there is no controlling terminal or the program is not in
// the terminal's foreground. The terminal's settings are restored afterwards, and
// also before a signal ends or stops the program meanwhile; a program stopped and
// continued in the foreground waits again, one continued in the background does not.
// When a key ends the wait, standard output is that terminal and the last text
// written by print did not end its line, the line is ended on the terminal, not in
// standard output, so that the shell's prompt starts on a line of its own.
void wait_key();

}  // namespace console

#endif
