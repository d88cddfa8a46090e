// The programs on a terminal of their own, started by a job-control shell
// (terminal_session.h). The final key wait waits for a key on the terminal although
// standard input is at its end, takes the whole key (or a whole paste) without echo,
// survives being stopped and continued, and leaves the terminal's settings as it
// found them however it ends; a diagnostic does not run into the prompt before it.
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

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

const std::string result_line = "enter value to find fibonacci term of value:10 nin fibonaccisi: 55";

// The program ends as after its key: status 0, the result on the screen and nothing
// echoed, the settings as before, and nothing left for the shell.
void expect_clean_end(terminal_session& run) {
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), result_line);
    EXPECT_TRUE(same_settings(run.after(), run.before()));
    const std::string left = run.unread();
    EXPECT_EQ(left.size(), 0U) << "left for the shell: " << testing::PrintToString(left.substr(0, 80));
}

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
// sanitizer's, which writes its report and exits with status 1.
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
// and the program sets its mode again when continued.
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
    run.set_settings(run.before());
    run.fg();
    ASSERT_TRUE(run.wait_until_raw());
    EXPECT_EQ(run.wait_exit(300ms), -1);
    run.type("x");
    expect_clean_end(run);
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
}

INSTANTIATE_TEST_SUITE_P(Stops, WaitKeyJobControl, testing::Values(SIGTSTP, SIGTTIN, SIGTTOU, SIGSTOP),
                         [](const testing::TestParamInfo<int>& sig) { return signal_name(sig.param); });

TEST(WaitKeyBackground, ABackgroundJobDoesNotWaitOrStop) {
    session_options how;
    how.background = true;
    terminal_session run(how);
    expect_clean_end(run);
}

// The end of input (Ctrl-D) typed at the prompt, with standard input the terminal
// too. The screen is the terminal's output, with its line ends as "\r\n".
struct end_at_prompt {
    std::string name;
    std::string program;
    bool errors_apart;
    std::string screen;
    std::string errors;
};

void PrintTo(const end_at_prompt& c, std::ostream* os) { *os << c.name; }

class DiagnosticOnATerminal : public testing::TestWithParam<end_at_prompt> {};

TEST_P(DiagnosticOnATerminal, StartsOnALineOfItsOwn) {
    const end_at_prompt& c = GetParam();
    session_options how;
    how.program = c.program;
    how.input_from_terminal = true;
    how.errors_apart = c.errors_apart;
    terminal_session run(how);
    ASSERT_TRUE(run.wait_for_output(c.program == "parity" ? "values\r\n" : "value:"));
    run.type(std::string(1, static_cast<char>(run.before().c_cc[VEOF])));
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(run.output(), c.screen);
    if (c.errors_apart) {
        EXPECT_EQ(run.errors(), c.errors);
    }
}

const std::string ended = "input ended where a number was expected";

INSTANTIATE_TEST_SUITE_P(
    EndOfInput, DiagnosticOnATerminal,
    testing::Values(
        // After a prompt without a line end, the diagnostic begins on the next line.
        end_at_prompt{"after_prompt", "fibterm", false,
                      "enter value to find fibonacci term of value:\r\nfibterm: " + ended + "\r\n", ""},
        // A prompt that ends its line gets no empty line after it.
        end_at_prompt{"after_line_end", "parity", false, "enter 10 array values\r\nparity: " + ended + "\r\n", ""},
        // Standard error elsewhere gets exactly the diagnostic, and the screen stays
        // as standard output left it.
        end_at_prompt{"errors_apart", "fibterm", true, "enter value to find fibonacci term of value:",
                      "fibterm: " + ended + "\n"}),
    [](const testing::TestParamInfo<end_at_prompt>& c) { return c.param.name; });

}  // namespace
