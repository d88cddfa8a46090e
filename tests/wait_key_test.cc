// The programs on a terminal of their own: a pseudo-terminal whose session is led by
// a small stand-in for a job-control shell. The final key wait waits for a key on
// the terminal although standard input is at its end, takes the whole key (or a
// whole paste) without echo, survives being stopped and continued, and leaves the
// terminal's settings as it found them however it ends; a diagnostic does not run
// into the prompt before it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "run_program.h"

namespace {

using namespace std::chrono_literals;
using test_clock = std::chrono::steady_clock;

// How long a step that should take moments may take on a loaded machine.
constexpr std::chrono::seconds patience{10};

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// How the shell starts the program.
struct launch {
    std::string program = "fibterm";
    bool background = false;           // a job that is not the terminal's foreground
    bool input_from_terminal = false;  // else "10\n" from a pipe, then its end
    bool errors_apart = false;         // standard error into a pipe of the test's
    int ignored_signal = 0;            // started with this signal ignored, as by nohup
};

// What the shell reports on its pipe: the job's process id, a stop, or the end.
struct report {
    char kind = 0;  // 'p', 's' (value: the stop signal) or 'x' (value: the wait status)
    int value = 0;
};

// A report to the test. A shell that cannot report ends; the test then sees no report.
void tell(int reports, const report& r) {
    if (write(reports, &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(1);
}

// The shell, in the child: the session's leader, with the terminal as its
// controlling terminal; it starts the program as a job in a process group of its
// own, in the foreground unless told otherwise, takes the terminal back when the
// job stops (surviving SIGTTOU as a shell does), and on the test's word gives it
// back and continues the job ('f', as fg) or continues it in the background ('b',
// as bg). Only calls that are safe after fork.
[[noreturn]] void be_shell(int master, int tty, int input, int errors, int commands, int reports,
                           const launch& how, char* const argv[]) {
    close(master);
    setsid();
    ioctl(tty, TIOCSCTTY, 0);
    for (const int sig : {SIGTTOU, SIGTTIN, SIGTSTP}) static_cast<void>(signal(sig, SIG_IGN));
    const pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        if (!how.background) tcsetpgrp(tty, getpid());
        for (int sig = 1; sig < NSIG; ++sig) static_cast<void>(signal(sig, SIG_DFL));
        if (how.ignored_signal != 0) static_cast<void>(signal(how.ignored_signal, SIG_IGN));
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(how.input_from_terminal ? tty : input, 0);
        dup2(tty, 1);
        dup2(errors >= 0 ? errors : tty, 2);
        close(tty);
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        execv(argv[0], argv);
        _exit(127);
    }
    setpgid(job, job);
    if (!how.background) tcsetpgrp(tty, job);
    tell(reports, {'p', job});
    for (;;) {
        int status = 0;
        if (waitpid(job, &status, WUNTRACED) != job) _exit(1);
        if (!WIFSTOPPED(status)) {
            tell(reports, {'x', status});
            _exit(0);
        }
        tcsetpgrp(tty, getpgrp());
        tell(reports, {'s', WSTOPSIG(status)});
        char command = 0;
        if (read(commands, &command, 1) != 1) {
            kill(-job, SIGKILL);
            command = 'b';
        }
        if (command == 'f') tcsetpgrp(tty, job);
        kill(-job, SIGCONT);
    }
}

class terminal_run {
public:
    explicit terminal_run(const launch& how = {}) {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        tcgetattr(slave_, &before_);
        int input[2], apart[2] = {-1, -1}, commands[2], reports[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(commands, O_CLOEXEC) != 0 || pipe2(reports, O_CLOEXEC) != 0 ||
            (how.errors_apart && pipe2(apart, O_CLOEXEC) != 0)) {
            throw std::runtime_error("pipe");
        }
        std::vector<std::string> words = program_command(how.program);
        std::vector<char*> argv;
        argv.reserve(words.size() + 1);
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        shell_ = fork();
        if (shell_ == 0) {
            for (const int end : {input[1], apart[0], commands[1], reports[0]}) {
                if (end >= 0) close(end);
            }
            be_shell(master_, slave_, input[0], apart[1], commands[0], reports[1], how, argv.data());
        }
        for (const int end : {input[0], apart[1], commands[0], reports[1]}) {
            if (end >= 0) close(end);
        }
        commands_ = commands[1];
        reports_ = reports[0];
        errors_ = apart[0];
        if (write(input[1], "10\n", 3) != 3) throw std::runtime_error("write");
        close(input[1]);
        const report first = next_report(patience);
        if (first.kind != 'p') throw std::runtime_error("the shell did not start the job");
        job_ = first.value;
    }
    ~terminal_run() {
        if (!ended_) kill(job_, SIGKILL);
        close(commands_);
        waitpid(shell_, nullptr, 0);
        for (const int fd : {master_, slave_, reports_, errors_}) {
            if (fd >= 0) close(fd);
        }
    }
    terminal_run(const terminal_run&) = delete;
    terminal_run& operator=(const terminal_run&) = delete;

    // True once the program has turned echo off, that is, waits for its key.
    bool wait_until_raw() {
        const auto deadline = test_clock::now() + patience;
        while (test_clock::now() < deadline) {
            if ((after().c_lflag & ECHO) == 0) return true;
            collect_output(5);
        }
        return false;
    }

    // True once the program's output ends with text.
    bool wait_for_output(const std::string& text) {
        const auto deadline = test_clock::now() + patience;
        while (test_clock::now() < deadline) {
            if (output_.size() >= text.size() && output_.compare(output_.size() - text.size(), text.size(), text) == 0) {
                return true;
            }
            collect_output(5);
        }
        return false;
    }

    // The stop signal once the job has stopped, or 0 when it has not within the time.
    int wait_stop(std::chrono::milliseconds limit) {
        const report r = next_report(limit);
        if (r.kind == 'x') {
            ended_ = true;
            status_ = r.value;
        }
        return r.kind == 's' ? r.value : 0;
    }
    void fg() { command('f'); }
    void bg() { command('b'); }

    // The wait status, or -1 when the program has not ended within the time.
    int wait_exit(std::chrono::milliseconds limit) {
        if (!ended_) {
            const report r = next_report(limit);
            if (r.kind != 'x') return -1;
            ended_ = true;
            status_ = r.value;
        }
        return status_;
    }

    void type(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Sends bytes in pieces a moment apart, as a terminal sends a long paste, each
    // as soon as the terminal takes it; how many it took within the time.
    std::size_t paste(const std::string& bytes, std::size_t piece) {
        const int flags = fcntl(master_, F_GETFL);
        fcntl(master_, F_SETFL, flags | O_NONBLOCK);
        std::size_t sent = 0;
        const auto deadline = test_clock::now() + patience;
        while (sent < bytes.size() && test_clock::now() < deadline) {
            pollfd p{master_, POLLOUT, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            const ssize_t n = write(master_, bytes.data() + sent, std::min(piece, bytes.size() - sent));
            if (n > 0) sent += static_cast<std::size_t>(n);
            collect_output(0);
            std::this_thread::sleep_for(2ms);
        }
        fcntl(master_, F_SETFL, flags);
        return sent;
    }

    // What the program wrote to the terminal, and whatever the terminal echoed.
    std::string output() {
        collect_output(50);
        return output_;
    }

    // Standard error, when it went apart from the terminal.
    std::string errors() const {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(errors_, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }

    // What is left unread in the terminal's input queue, whole lines or not. The
    // mode is set with TCSANOW: TCSAFLUSH would drop the very bytes looked for.
    std::string unread() {
        termios raw = after();
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        tcsetattr(slave_, TCSANOW, &raw);
        std::string left;
        pollfd p{slave_, POLLIN, 0};
        while (poll(&p, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t n = read(slave_, buffer, sizeof buffer);
            if (n <= 0) break;
            left.append(buffer, static_cast<std::size_t>(n));
        }
        return left;
    }

    termios after() const {
        termios now{};
        tcgetattr(slave_, &now);
        return now;
    }
    const termios& before() const { return before_; }
    // Sets the terminal's settings, as a shell does when it takes the terminal back.
    void set_settings(const termios& settings) { tcsetattr(slave_, TCSANOW, &settings); }
    pid_t job() const { return job_; }

private:
    void collect_output(int ms) {
        pollfd p{master_, POLLIN, 0};
        while (poll(&p, 1, ms) > 0) {
            char buffer[4096];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) return;
            output_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    report next_report(std::chrono::milliseconds limit) {
        const auto deadline = test_clock::now() + limit;
        do {
            pollfd p{reports_, POLLIN, 0};
            if (poll(&p, 1, 5) > 0) {
                report r;
                if (read(reports_, &r, sizeof r) == static_cast<ssize_t>(sizeof r)) return r;
                return {};
            }
            collect_output(0);
        } while (test_clock::now() < deadline);
        return {};
    }

    void command(char c) { ASSERT_EQ(write(commands_, &c, 1), 1); }

    int master_ = -1, slave_ = -1;
    int commands_ = -1, reports_ = -1, errors_ = -1;
    pid_t shell_ = -1, job_ = -1;
    bool ended_ = false;
    int status_ = -1;
    termios before_{};
    std::string output_;
};

const std::string result_line = "enter value to find fibonacci term of value:10 nin fibonaccisi: 55";

// The program, waiting, ends at one key: status 0, nothing echoed or left over, and
// the settings as before.
void expect_one_key_ends_it(terminal_run& run) {
    run.type("x");
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), result_line);
    EXPECT_TRUE(same_settings(run.after(), run.before()));
    EXPECT_EQ(run.unread(), "");
}

std::string signal_name(int sig) { return sigabbrev_np(sig) != nullptr ? sigabbrev_np(sig) : std::to_string(sig); }

struct key_case {
    std::string name;
    std::vector<std::string> chunks;  // as the terminal sends them, a moment apart
};

void PrintTo(const key_case& c, std::ostream* os) { *os << c.name; }

class WaitKey : public testing::TestWithParam<key_case> {};

TEST_P(WaitKey, WaitsForTheWholeKeyWithoutEchoAndRestoresTheTerminal) {
    terminal_run run;
    ASSERT_TRUE(run.wait_until_raw());
    // Standard input is at its end and its line end is read: only a key ends the wait.
    EXPECT_EQ(run.wait_exit(300ms), -1);
    for (const std::string& chunk : GetParam().chunks) {
        run.type(chunk);
        std::this_thread::sleep_for(5ms);
    }
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), result_line);
    EXPECT_TRUE(same_settings(run.after(), run.before()));
    EXPECT_EQ(run.unread(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Keys, WaitKey,
    testing::Values(key_case{"letter", {"x"}}, key_case{"enter", {"\r"}}, key_case{"ctrl_c", {"\x03"}},
                    key_case{"ctrl_z", {"\x1a"}}, key_case{"ctrl_s", {"\x13"}}, key_case{"arrow_up", {"\x1b[A"}},
                    key_case{"f5", {"\x1b[15~"}}, key_case{"utf8_letter", {"\xc3\xa7"}},
                    key_case{"arrow_sent_in_pieces", {"\x1b", "[", "B"}}),
    [](const testing::TestParamInfo<key_case>& key) { return key.param.name; });

TEST(WaitKeyPaste, NothingOfAPasteLargerThanTheInputQueueIsLeftForTheShell) {
    terminal_run run;
    ASSERT_TRUE(run.wait_until_raw());
    std::string text;
    while (text.size() < 12000) text += "echo pasted into the shell\n";
    // In pieces: all but the first arrive after the key has been read, and the
    // terminal's input queue fills up again while the program reads.
    EXPECT_EQ(run.paste(text, 4096), text.size());
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), result_line);
    EXPECT_TRUE(same_settings(run.after(), run.before()));
    const std::string left = run.unread();
    EXPECT_EQ(left.size(), 0U) << "left for the shell: " << testing::PrintToString(left.substr(0, 80));
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
    terminal_run run;
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
    launch how;
    how.ignored_signal = GetParam();
    terminal_run run(how);
    ASSERT_TRUE(run.wait_until_raw());
    kill(run.job(), GetParam());
    EXPECT_EQ(run.wait_stop(300ms), 0);
    EXPECT_EQ((run.after().c_lflag & ECHO), 0U);
    expect_one_key_ends_it(run);
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
    terminal_run run;
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
    expect_one_key_ends_it(run);
}

TEST_P(WaitKeyJobControl, ContinuedInTheBackgroundItEndsWithoutTouchingTheTerminal) {
    const int sig = GetParam();
    terminal_run run;
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
    launch how;
    how.background = true;
    terminal_run run(how);
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), result_line);
    EXPECT_TRUE(same_settings(run.after(), run.before()));
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
    launch how;
    how.program = c.program;
    how.input_from_terminal = true;
    how.errors_apart = c.errors_apart;
    terminal_run run(how);
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
