// The programs on a terminal of their own: a pseudo-terminal whose session is led by
// a small stand-in for a job-control shell. The final key wait waits for a key on
// the terminal although standard input is at its end, takes the whole key (or a
// whole paste) without echo, survives being stopped and continued, and leaves the
// terminal's settings as it found them however it ends, with the result's line
// ended after a key; a diagnostic does not run into the prompt before it; randgrid's
// final pause waits for its entry and drops what the terminal holds after it.
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

// Where the program's standard output or standard error goes: the terminal, a pipe
// of the test's, or a second pseudo-terminal that is not the program's own.
enum class stream_to { terminal, pipe, other_terminal };

// How the shell starts the program.
struct launch {
    std::string program = "fibterm";
    std::string input = "10\n";        // from a pipe, then its end
    bool background = false;           // a job that is not the terminal's foreground
    bool input_from_terminal = false;  // else `input`
    stream_to output = stream_to::terminal;
    stream_to errors = stream_to::terminal;
    std::string typed_ahead;  // typed at the terminal before the program starts
    int ignored_signal = 0;   // started with this signal ignored, as by nohup
};

// A stream apart from the terminal: the test reads one end, the program writes
// into the other.
struct apart_stream {
    int read_end = -1;
    int write_end = -1;
};

apart_stream open_apart(stream_to where) {
    apart_stream s;
    if (where == stream_to::pipe) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        s = {fds[0], fds[1]};
    } else if (where == stream_to::other_terminal) {
        if (openpty(&s.read_end, &s.write_end, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        for (const int fd : {s.read_end, s.write_end}) fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return s;
}

// Everything written into a stream apart, once its writer has ended.
std::string read_apart(int fd) {
    std::string text;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 100) > 0) {
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;  // the end of a pipe; a pseudo-terminal's EIO
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// What the shell reports on its pipe: the job's process id, a stop, or the end.
struct report {
    char kind = 0;  // 'p', 's' (value: the stop signal) or 'x' (value: the wait status)
    int value = 0;
};

// The shell, in the child: the session's leader, with the terminal as its
// controlling terminal; it starts the program as a job in a process group of its
// own, in the foreground unless told otherwise, takes the terminal back when the
// job stops (surviving SIGTTOU as a shell does), and on the test's word gives it
// back and continues the job ('f', as fg) or continues it in the background ('b',
// as bg). Only calls that are safe after fork.
[[noreturn]] void be_shell(int master, int tty, int input, int output, int errors, int commands, int reports,
                           const launch& how, const char* path) {
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
        dup2(output >= 0 ? output : tty, 1);
        dup2(errors >= 0 ? errors : tty, 2);
        close(tty);
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        execl(path, path, static_cast<char*>(nullptr));
        _exit(127);
    }
    setpgid(job, job);
    if (!how.background) tcsetpgrp(tty, job);
    report r{'p', job};
    static_cast<void>(write(reports, &r, sizeof r));
    for (;;) {
        int status = 0;
        if (waitpid(job, &status, WUNTRACED) != job) _exit(1);
        if (!WIFSTOPPED(status)) {
            r = report{'x', status};
            static_cast<void>(write(reports, &r, sizeof r));
            _exit(0);
        }
        tcsetpgrp(tty, getpgrp());
        r = report{'s', WSTOPSIG(status)};
        static_cast<void>(write(reports, &r, sizeof r));
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
        int input[2], commands[2], reports[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(commands, O_CLOEXEC) != 0 || pipe2(reports, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        const apart_stream out = open_apart(how.output);
        const apart_stream err = open_apart(how.errors);
        type(how.typed_ahead);
        const std::string path = program_path(how.program);
        shell_ = fork();
        if (shell_ == 0) {
            for (const int end : {input[1], out.read_end, err.read_end, commands[1], reports[0]}) {
                if (end >= 0) close(end);
            }
            be_shell(master_, slave_, input[0], out.write_end, err.write_end, commands[0], reports[1], how,
                     path.c_str());
        }
        for (const int end : {input[0], out.write_end, err.write_end, commands[0], reports[1]}) {
            if (end >= 0) close(end);
        }
        commands_ = commands[1];
        reports_ = reports[0];
        output_apart_ = out.read_end;
        errors_ = err.read_end;
        if (write(input[1], how.input.data(), how.input.size()) != static_cast<ssize_t>(how.input.size())) {
            throw std::runtime_error("write");
        }
        close(input[1]);
        const report first = next_report(patience);
        if (first.kind != 'p') throw std::runtime_error("the shell did not start the job");
        job_ = first.value;
    }
    ~terminal_run() {
        if (!ended_) kill(job_, SIGKILL);
        close(commands_);
        waitpid(shell_, nullptr, 0);
        for (const int fd : {master_, slave_, reports_, output_apart_, errors_}) {
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

    // Standard output and standard error, when they went apart from the terminal.
    std::string output_apart() const { return read_apart(output_apart_); }
    std::string errors() const { return read_apart(errors_); }

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

    // True once the terminal's input queue holds at least this many bytes that a
    // read would return: a write into the pseudo-terminal reaches the queue a moment
    // later, not at once.
    bool wait_queued(std::size_t bytes) const {
        const auto deadline = test_clock::now() + patience;
        while (test_clock::now() < deadline) {
            int queued = 0;
            if (ioctl(slave_, FIONREAD, &queued) == 0 && static_cast<std::size_t>(queued) >= bytes) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
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
    int commands_ = -1, reports_ = -1, output_apart_ = -1, errors_ = -1;
    pid_t shell_ = -1, job_ = -1;
    bool ended_ = false;
    int status_ = -1;
    termios before_{};
    std::string output_;
};

const std::string result_line = "enter value to find fibonacci term of value:10 nin fibonaccisi: 55";
// The line end that the terminal gets after a key, so that the shell's prompt does
// not land on the result's line; the terminal writes "\n" as "\r\n".
const std::string line_end = "\r\n";

// The program, waiting, ends at one key: status 0, nothing echoed or left over, the
// result's line ended, and the terminal with the given settings.
void expect_one_key_ends_it(terminal_run& run, const termios& settings) {
    run.type("x");
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), result_line + line_end);
    EXPECT_TRUE(same_settings(run.after(), settings));
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
    const auto typed = test_clock::now();
    const int status = run.wait_exit(5s);
    // Promptly: a key ends the wait once the terminal has been quiet a moment, well
    // under a second after it, however long the test would wait.
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(test_clock::now() - typed);
    EXPECT_LT(took.count(), 500);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), result_line + line_end);
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
    EXPECT_EQ(run.output(), result_line + line_end);
    EXPECT_TRUE(same_settings(run.after(), run.before()));
    const std::string left = run.unread();
    EXPECT_EQ(left.size(), 0U) << "left for the shell: " << testing::PrintToString(left.substr(0, 80));
}

// SIGSTOP cannot be caught: the program stopped by it while it drops a paste leaves
// the terminal in the wait's mode, and what comes meanwhile stays queued, unread.
// Continued, it ends the drop, and the queue goes when the settings go back.
TEST(WaitKeyPaste, WhatIsQueuedWhileStoppedDuringTheDropIsDroppedToo) {
    // The stop must come while the program sleeps between two pieces. On a machine
    // so busy that the drop is over first (the program has ended, or has put the
    // settings back, which SIGSTOP alone cannot have done), the run is tried again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        terminal_run run;
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
        const int status = run.wait_exit(5s);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(run.output(), result_line + line_end);
        EXPECT_TRUE(same_settings(run.after(), run.before()));
        EXPECT_EQ(run.unread(), "");
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
    terminal_run run;
    ASSERT_TRUE(run.wait_until_raw());
    kill(run.job(), sig);
    const int status = run.wait_exit(5s);
    if (address_sanitizer && (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE)) {
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 1);
    } else {
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(run.output(), result_line);
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
    expect_one_key_ends_it(run, run.before());
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
    terminal_run run;
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
    expect_one_key_ends_it(run, changed);
}

// What is typed while the program is stopped waits in the terminal's queue; back in
// the foreground, the program takes it as its key, and none of it is left for the
// shell once the settings go back.
TEST_P(WaitKeyJobControl, WhatIsTypedWhileStoppedNeverReachesTheShell) {
    const int sig = GetParam();
    terminal_run run;
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
    // Not a key: no line end either.
    EXPECT_EQ(run.output(), result_line);
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
    stream_to errors_to;
    std::string screen;
    std::string errors;  // when they go apart from the terminal
};

void PrintTo(const end_at_prompt& c, std::ostream* os) { *os << c.name; }

class DiagnosticOnATerminal : public testing::TestWithParam<end_at_prompt> {};

TEST_P(DiagnosticOnATerminal, StartsOnALineOfItsOwn) {
    const end_at_prompt& c = GetParam();
    launch how;
    how.program = c.program;
    how.input_from_terminal = true;
    how.errors = c.errors_to;
    terminal_run run(how);
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
    launch how;
    how.program = c.program;
    how.input = c.input;
    how.output = c.output;
    terminal_run run(how);
    ASSERT_TRUE(run.wait_until_raw());
    run.type("x");
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), c.screen);
    if (c.output != stream_to::terminal) {
        EXPECT_EQ(run.output_apart(), c.apart);
    }
    EXPECT_TRUE(same_settings(run.after(), run.before()));
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

launch randgrid_at_the_terminal() {
    launch how;
    how.program = "randgrid";
    how.input_from_terminal = true;
    return how;
}

TEST(FinalPause, WaitsForTheEntry) {
    terminal_run run(randgrid_at_the_terminal());
    ASSERT_TRUE(run.wait_for_output("enter N1:"));
    run.type("0 0\n");
    ASSERT_TRUE(run.wait_for_output(paused));
    EXPECT_EQ(run.wait_exit(300ms), -1);
    run.type("\n  \n");
    EXPECT_EQ(run.wait_exit(300ms), -1);
    run.type("7\n");
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), paused + "\r\n  \r\n7\r\n");
    EXPECT_TRUE(same_settings(run.after(), run.before()));
    EXPECT_EQ(run.unread(), "");
}

TEST(FinalPause, NothingOfAPasteIsLeftForTheShell) {
    terminal_run run(randgrid_at_the_terminal());
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
    launch how;
    how.program = "randgrid";
    how.input = "0 0\n7\n";
    how.typed_ahead = "echo typed ahead\n";
    terminal_run run(how);
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.unread(), how.typed_ahead);
}

}  // namespace
