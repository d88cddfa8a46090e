// The programs on a terminal of their own, started by a job-control shell
// (terminal_session.h). The final key wait waits for a key on the terminal although
// standard input is at its end, takes the whole key (or a whole paste) without echo,
// survives being stopped and continued, and leaves the terminal's settings as it
// found them however it ends, with the result's line ended after a key; a
// diagnostic does not run into the prompt before it; randgrid's final pause waits
// for its entry and drops what the terminal holds after it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_program.h"
#include "tests/terminal_session.h"

namespace {

using namespace std::chrono_literals;
using test_clock = std::chrono::steady_clock;

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

const std::string result_line = "enter value to find fibonacci term of value:10 nin fibonaccisi: 55";
// The line end that the terminal gets after a key, so that the shell's prompt does
// not land on the result's line; the terminal writes "\n" as "\r\n".
const std::string line_end = "\r\n";

// The program ends with status 0, the screen as given and nothing else echoed, the
// terminal with the given settings, and nothing left for the shell.
void expect_clean_end(terminal_session& run, const std::string& screen, const termios& settings) {
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), screen);
    EXPECT_TRUE(same_settings(run.after(), settings));
    const std::string left = run.unread();
    EXPECT_EQ(left.size(), 0U) << "left for the shell: " << testing::PrintToString(left.substr(0, 80));
}

// As after its key: the result's line ended, and the settings as before.
void expect_clean_end(terminal_session& run) { expect_clean_end(run, result_line + line_end, run.before()); }

std::string signal_name(int sig) { return sigabbrev_np(sig) != nullptr ? sigabbrev_np(sig) : std::to_string(sig); }

struct key_case {
    std::string name;
    std::vector<std::string> chunks;  // as the terminal sends them, a moment apart
};

void PrintTo(const key_case& c, std::ostream* os) { *os << c.name; }

class WaitKey : public testing::TestWithParam<key_case> {};

TEST_P(WaitKey, WaitsForTheWholeKeyWithoutEchoAndRestoresTheTerminal) {
    terminal_session run;
    ASSERT_TRUE(run.wait_until_raw());
    // Standard input is at its end and its line end is read: only a key ends the wait.
    EXPECT_EQ(run.wait_exit(300ms), -1);
    for (const std::string& chunk : GetParam().chunks) {
        run.type(chunk);
        std::this_thread::sleep_for(5ms);
    }
    const auto typed = test_clock::now();
    run.wait_exit(5s);
    // Promptly: a key ends the wait once the terminal has been quiet a moment, well
    // under a second after it, however long the test would wait.
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(test_clock::now() - typed);
    EXPECT_LT(took.count(), 500);
    expect_clean_end(run);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, WaitKey,
    testing::Values(key_case{"letter", {"x"}}, key_case{"enter", {"\r"}}, key_case{"ctrl_c", {"\x03"}},
                    key_case{"ctrl_z", {"\x1a"}}, key_case{"ctrl_s", {"\x13"}}, key_case{"arrow_up", {"\x1b[A"}},
                    key_case{"f5", {"\x1b[15~"}}, key_case{"utf8_letter", {"\xc3\xa7"}},
                    key_case{"arrow_sent_in_pieces", {"\x1b", "[", "B"}}),
    [](const testing::TestParamInfo<key_case>& key) { return key.param.name; });

TEST(WaitKeyPaste, NothingOfAPasteLargerThanTheInputQueueIsLeftForTheShell) {
    terminal_session run;
    ASSERT_TRUE(run.wait_until_raw());
    std::string text;
    while (text.size() < 12000) text += "echo pasted into the shell\n";
    // In pieces: all but the first arrive after the key has been read, and the
    // terminal's input queue fills up again while the program reads.
    EXPECT_EQ(run.paste(text, 4096), text.size());
    expect_clean_end(run);
}

// SIGSTOP cannot be caught: the program stopped by it while it drops a paste leaves
// the terminal in the wait's mode, and what comes meanwhile stays queued, unread.
// Continued, it ends the drop, and the queue goes when the settings go back.
TEST(WaitKeyPaste, WhatIsQueuedWhileStoppedDuringTheDropIsDroppedToo) {
    // The stop must come while the program sleeps between two pieces. On a machine
    // so busy that the drop is over first (the program has ended, or has put the
    // settings back, which SIGSTOP alone cannot have done), the run is tried again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        terminal_session run;
        ASSERT_TRUE(run.wait_until_raw());
        // The key, then a paste that keeps coming.
        run.type("x");
        for (int piece = 0; piece < 10; ++piece) {
            std::this_thread::sleep_for(5ms);
            run.type("y");
        }
        std::this_thread::sleep_for(10ms);
        kill(run.job(), SIGSTOP);
        const int stop = run.wait_stop(5s);
        if (stop == 0 && run.wait_exit(0ms) != -1) continue;
        ASSERT_EQ(stop, SIGSTOP);
        if ((run.after().c_lflag & ECHO) != 0) continue;
        const std::string queued = "echo queued while stopped\n";
        run.type(queued);
        ASSERT_TRUE(run.wait_queued(queued.size()));
        run.fg();
        expect_clean_end(run);
        return;
    }
    FAIL() << "the drop was over before every stop";
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool address_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool address_sanitizer = true;
#else
constexpr bool address_sanitizer = false;
#endif
#else
constexpr bool address_sanitizer = false;
#endif

// Every signal whose default action ends a process: the terminal's settings are put
// back first, and the program then ends by that very signal, or by what it does with
// it itself: in a build with AddressSanitizer, SIGSEGV, SIGBUS and SIGFPE are the
// sanitizer's, which writes its report and exits with status 1. No key ended the
// wait, so no line end is added: the shell reports the signal its own way.
class WaitKeyEndingSignal : public testing::TestWithParam<int> {};

TEST_P(WaitKeyEndingSignal, EndsByTheSignalWithTheTerminalRestored) {
    const int sig = GetParam();
    terminal_session run;
    ASSERT_TRUE(run.wait_until_raw());
    if (kill(run.job(), sig) != 0) {
        const int error = errno;
        // qemu-user has no host signal for its guest's last real-time signals
        // (SIGRTMAX and the one below it), and kill refuses them with EINVAL.
        if (programs_emulated() && error == EINVAL) {
            GTEST_SKIP() << "the emulator cannot send signal " << signal_name(sig) << ": " << std::strerror(error);
        }
        FAIL() << "kill: " << std::strerror(error);
    }
    const int status = run.wait_exit(5s);
    if (address_sanitizer && (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE)) {
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 1);
    } else {
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), sig);
        std::string screen = run.output();
        // qemu-user reports a signal that dumps core on standard error, which is the
        // terminal: its own line, after the program's text and not part of it.
        if (programs_emulated() && screen.rfind(result_line + "qemu: ", 0) == 0) screen.resize(result_line.size());
        EXPECT_EQ(screen, result_line);
    }
    EXPECT_TRUE(same_settings(run.after(), run.before()));
}

INSTANTIATE_TEST_SUITE_P(FromOutside, WaitKeyEndingSignal,
                         testing::Values(SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGPROF,
                                         SIGVTALRM, SIGXCPU, SIGXFSZ, SIGABRT, SIGIO, SIGPWR, SIGSEGV, SIGBUS,
                                         SIGILL, SIGFPE, SIGTRAP, SIGSYS, SIGRTMIN, SIGRTMAX),
                         [](const testing::TestParamInfo<int>& sig) { return signal_name(sig.param); });

// A signal the program was started with ignored stays ignored during the wait.
class WaitKeyIgnoredSignal : public testing::TestWithParam<int> {};

TEST_P(WaitKeyIgnoredSignal, LeavesTheWaitAsItWas) {
    session_options how;
    how.ignored_signal = GetParam();
    terminal_session run(how);
    ASSERT_TRUE(run.wait_until_raw());
    kill(run.job(), GetParam());
    EXPECT_EQ(run.wait_stop(300ms), 0);
    EXPECT_EQ((run.after().c_lflag & ECHO), 0U);
    run.type("x");
    expect_clean_end(run);
}

INSTANTIATE_TEST_SUITE_P(FromOutside, WaitKeyIgnoredSignal, testing::Values(SIGHUP, SIGTSTP),
                         [](const testing::TestParamInfo<int>& sig) { return signal_name(sig.param); });

// Stopped during the wait and continued in the foreground by fg, the program waits
// for its key again, without echo. SIGSTOP cannot be caught, so the terminal is
// left in the wait's mode while stopped; the shell puts its own settings back then,
// and the program sets its mode again when continued. Settings changed with stty
// while it was stopped are the ones it leaves behind.
class WaitKeyJobControl : public testing::TestWithParam<int> {};

TEST_P(WaitKeyJobControl, StopsWithTheTerminalRestoredAndWaitsAgainInTheForeground) {
    const int sig = GetParam();
    terminal_session run;
    ASSERT_TRUE(run.wait_until_raw());
    kill(run.job(), sig);
    ASSERT_EQ(run.wait_stop(5s), sig);
    if (sig != SIGSTOP) {
        EXPECT_TRUE(same_settings(run.after(), run.before()));
    }
    // As `stty erase ^H -echoctl` would, none of which the wait's mode touches.
    termios changed = run.before();
    changed.c_cc[VERASE] = '\b';
    changed.c_lflag ^= ECHOCTL;
    run.set_settings(changed);
    run.fg();
    ASSERT_TRUE(run.wait_until_raw());
    EXPECT_EQ(run.wait_exit(300ms), -1);
    run.type("x");
    expect_clean_end(run, result_line + line_end, changed);
}

// What is typed while the program is stopped waits in the terminal's queue; back in
// the foreground, the program takes it as its key, and none of it is left for the
// shell once the settings go back.
TEST_P(WaitKeyJobControl, WhatIsTypedWhileStoppedNeverReachesTheShell) {
    const int sig = GetParam();
    terminal_session run;
    ASSERT_TRUE(run.wait_until_raw());
    kill(run.job(), sig);
    ASSERT_EQ(run.wait_stop(5s), sig);
    run.set_settings(run.before());
    run.type("echo typed while stopped\necho and half a line");
    run.fg();
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(same_settings(run.after(), run.before()));
    EXPECT_EQ(run.unread(), "");
}

TEST_P(WaitKeyJobControl, ContinuedInTheBackgroundItEndsWithoutTouchingTheTerminal) {
    const int sig = GetParam();
    terminal_session run;
    ASSERT_TRUE(run.wait_until_raw());
    kill(run.job(), sig);
    ASSERT_EQ(run.wait_stop(5s), sig);
    // The shell's own mode while it edits a command line: the terminal is the
    // shell's now, and a job in the background leaves it as it is.
    termios shell_mode = run.before();
    shell_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    run.set_settings(shell_mode);
    run.bg();
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(same_settings(run.after(), shell_mode));
    // Not a key: no line end either.
    EXPECT_EQ(run.output(), result_line);
}

INSTANTIATE_TEST_SUITE_P(Stops, WaitKeyJobControl, testing::Values(SIGTSTP, SIGTTIN, SIGTTOU, SIGSTOP),
                         [](const testing::TestParamInfo<int>& sig) { return signal_name(sig.param); });

TEST(WaitKeyBackground, ABackgroundJobDoesNotWaitOrStop) {
    session_options how;
    how.background = true;
    terminal_session run(how);
    // Not a key: no line end either.
    expect_clean_end(run, result_line, run.before());
}

// The end of input (Ctrl-D) typed at the prompt, with standard input the terminal
// too. The screen is the terminal's output, with its line ends as "\r\n".
struct end_at_prompt {
    std::string name;
    std::string program;
    stream_to errors_to;
    std::string screen;
    std::string errors;  // when they go apart from the terminal
};

void PrintTo(const end_at_prompt& c, std::ostream* os) { *os << c.name; }

class DiagnosticOnATerminal : public testing::TestWithParam<end_at_prompt> {};

TEST_P(DiagnosticOnATerminal, StartsOnALineOfItsOwn) {
    const end_at_prompt& c = GetParam();
    session_options how;
    how.program = c.program;
    how.input_from_terminal = true;
    how.errors = c.errors_to;
    terminal_session run(how);
    ASSERT_TRUE(run.wait_for_output(c.program == "parity" ? "values\r\n" : "value:"));
    run.type(std::string(1, static_cast<char>(run.before().c_cc[VEOF])));
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(run.output(), c.screen);
    if (c.errors_to != stream_to::terminal) {
        EXPECT_EQ(run.errors(), c.errors);
    }
}

const std::string ended = "input ended where a number was expected";

INSTANTIATE_TEST_SUITE_P(
    EndOfInput, DiagnosticOnATerminal,
    testing::Values(
        // After a prompt without a line end, the diagnostic begins on the next line.
        end_at_prompt{"after_prompt", "fibterm", stream_to::terminal,
                      "enter value to find fibonacci term of value:\r\nfibterm: " + ended + "\r\n", ""},
        // A prompt that ends its line gets no empty line after it.
        end_at_prompt{"after_line_end", "parity", stream_to::terminal,
                      "enter 10 array values\r\nparity: " + ended + "\r\n", ""},
        // Standard error elsewhere gets exactly the diagnostic, and the screen stays
        // as standard output left it; on a terminal of its own too, where no line
        // is open.
        end_at_prompt{"errors_apart", "fibterm", stream_to::pipe, "enter value to find fibonacci term of value:",
                      "fibterm: " + ended + "\n"},
        end_at_prompt{"errors_on_another_terminal", "fibterm", stream_to::other_terminal,
                      "enter value to find fibonacci term of value:", "fibterm: " + ended + "\r\n"}),
    [](const testing::TestParamInfo<end_at_prompt>& c) { return c.param.name; });

// After the key, the shell's prompt starts on a line of its own: a line end goes to
// the terminal when the last text the program wrote left its line open there, and
// nowhere else. (fibterm on its terminal is in every test above.)
struct result_end {
    std::string name;
    std::string program;
    std::string input;
    stream_to output;
    std::string screen;  // the terminal's, after the key
    std::string apart;   // standard output, when it goes elsewhere
};

void PrintTo(const result_end& c, std::ostream* os) { *os << c.name; }

class LineEndAfterTheKey : public testing::TestWithParam<result_end> {};

TEST_P(LineEndAfterTheKey, OnlyOnTheTerminalAndOnlyForAnOpenLine) {
    const result_end& c = GetParam();
    session_options how;
    how.program = c.program;
    how.input = c.input;
    how.output = c.output;
    terminal_session run(how);
    ASSERT_TRUE(run.wait_until_raw());
    run.type("x");
    expect_clean_end(run, c.screen, run.before());
    if (c.output != stream_to::terminal) {
        EXPECT_EQ(run.output_apart(), c.apart);
    }
}

const std::string odd_and_even = "enter 10 array values\r\n\r\ntek sayilar\r\n1, 3, 5, 7, 9, \r\ncift sayilar\r\n";

INSTANTIATE_TEST_SUITE_P(
    Programs, LineEndAfterTheKey,
    testing::Values(
        result_end{"fibseries", "fibseries", "3\n", stream_to::terminal,
                   "enter value to find fibonacci term of value:3. fibonacci terimi: 2 dir\r\n0\r\n1\r\n1\r\n2\r\n",
                   ""},
        result_end{"divisors", "divisors", "6\n", stream_to::terminal,
                   "enter sayi:sayinin bolenleri asagidadir\r\n1\r\n2\r\n3\r\n6\r\nbolenler toplami 12 dir\r\n", ""},
        result_end{"divcheck", "divcheck", "10 3\n", stream_to::terminal,
                   "enter sayi:\r\nenter bolen:sayi kalansiz bolunmez, kalan 1 dir\r\n", ""},
        result_end{"parity", "parity", "1 2 3 4 5 6 7 8 9 10\n", stream_to::terminal,
                   odd_and_even + "2, 4, 6, 8, 10, \r\n", ""},
        // The last text ended its line: nothing is added.
        result_end{"parity_without_even_numbers", "parity", "1 3 5 7 9 11 13 15 17 19\n", stream_to::terminal,
                   "enter 10 array values\r\n\r\ntek sayilar\r\n1, 3, 5, 7, 9, 11, 13, 15, 17, 19, \r\n"
                   "cift sayilar\r\n",
                   ""},
        // Standard output elsewhere keeps its bytes, and the terminal, which shows
        // none of them, gets nothing.
        result_end{"output_into_a_pipe", "fibterm", "10\n", stream_to::pipe, "", result_line},
        result_end{"output_on_another_terminal", "fibterm", "10\n", stream_to::other_terminal, "", result_line}),
    [](const testing::TestParamInfo<result_end>& c) { return c.param.name; });

// randgrid ends with one more entry from standard input instead of a key. At the
// terminal it waits for that entry, blank lines aside, and whatever else the
// terminal holds then, a paste however long, is dropped; the entry's Enter has
// ended the line already, so nothing is added to the screen.
const std::string paused = "enter N1:0 0\r\nenter N2:\r\nN1 and N2 can't be zero, loop terminated";

session_options randgrid_at_the_terminal() {
    session_options how;
    how.program = "randgrid";
    how.input_from_terminal = true;
    return how;
}

TEST(FinalPause, WaitsForTheEntry) {
    terminal_session run(randgrid_at_the_terminal());
    ASSERT_TRUE(run.wait_for_output("enter N1:"));
    run.type("0 0\n");
    ASSERT_TRUE(run.wait_for_output(paused));
    EXPECT_EQ(run.wait_exit(300ms), -1);
    run.type("\n  \n");
    EXPECT_EQ(run.wait_exit(300ms), -1);
    run.type("7\n");
    expect_clean_end(run, paused + "\r\n  \r\n7\r\n", run.before());
}

TEST(FinalPause, NothingOfAPasteIsLeftForTheShell) {
    terminal_session run(randgrid_at_the_terminal());
    ASSERT_TRUE(run.wait_for_output("enter N1:"));
    run.type("0 0\n");
    ASSERT_TRUE(run.wait_for_output(paused));
    // 88 lines and a half, near 5 KB: the first is the entry, and the pieces after
    // it come while the program drops what it has.
    std::string text;
    for (int line = 1; line <= 88; ++line) {
        text += "echo line " + std::to_string(line) + " of a paste, which must not reach the shell\n";
    }
    // A last line without its line end, which the terminal never gives to a read.
    text += "echo and half a line";
    EXPECT_EQ(run.paste(text, 1024), text.size());
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(same_settings(run.after(), run.before()));
    const std::string left = run.unread();
    EXPECT_EQ(left.size(), 0U) << "left for the shell: " << testing::PrintToString(left.substr(0, 80));
}

// With standard input from a pipe, the terminal is not randgrid's to empty: what was
// typed at it ahead stays for the shell.
TEST(FinalPause, FromAPipeTheTerminalIsLeftAsItWas) {
    session_options how;
    how.program = "randgrid";
    how.input = "0 0\n7\n";
    how.typed_ahead = "echo typed ahead\n";
    terminal_session run(how);
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.unread(), how.typed_ahead);
}

}  // namespace
