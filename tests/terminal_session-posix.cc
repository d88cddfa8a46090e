#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_program.h"
#include "tests/terminal_session.h"

// What the shell reports on its pipe about the job.
enum class job_event {
    none,     // no report within the time
    started,  // value: the job's process id
    stopped,  // value: the stop signal
    ended,    // value: the wait status
};

struct job_report {
    job_event event = job_event::none;
    int value = 0;
};

// What the test tells the shell about a stopped job, as a person types it.
enum class shell_command : char {
    fg = 'f',  // give the job the terminal and continue it
    bg = 'b',  // continue it in the background
};

namespace {

using namespace std::chrono_literals;
using test_clock = std::chrono::steady_clock;

// How long a step that should take moments may take on a loaded machine.
constexpr std::chrono::seconds patience{10};

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

// A report to the test. A shell that cannot report ends; the test then sees no report.
void tell(int reports, const job_report& r) {
    if (write(reports, &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(1);
}

// The shell, in the child: the session's leader, with the terminal as its
// controlling terminal; it starts the program as a job in a process group of its
// own, in the foreground unless told otherwise, takes the terminal back when the job
// stops (surviving SIGTTOU as a shell does), and on the test's word gives it back and
// continues the job, or continues it in the background. Only calls that are safe
// after fork.
[[noreturn]] void be_shell(int master, int tty, int input, int output, int errors, int commands, int reports,
                           const session_options& how, char* const argv[]) {
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
        execv(argv[0], argv);
        _exit(127);
    }
    setpgid(job, job);
    if (!how.background) tcsetpgrp(tty, job);
    tell(reports, {job_event::started, job});
    for (;;) {
        int status = 0;
        if (waitpid(job, &status, WUNTRACED) != job) _exit(1);
        if (!WIFSTOPPED(status)) {
            tell(reports, {job_event::ended, status});
            _exit(0);
        }
        tcsetpgrp(tty, getpgrp());
        tell(reports, {job_event::stopped, WSTOPSIG(status)});
        auto command = shell_command::bg;
        // No word: the test has gone, and the job goes too.
        if (read(commands, &command, 1) != 1) kill(-job, SIGKILL);
        if (command == shell_command::fg) tcsetpgrp(tty, job);
        kill(-job, SIGCONT);
    }
}

}  // namespace

terminal_session::terminal_session(const session_options& how) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    tcgetattr(slave_, &before_);
    int input[2], commands[2], reports[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(commands, O_CLOEXEC) != 0 || pipe2(reports, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    const apart_stream out = open_apart(how.output);
    const apart_stream err = open_apart(how.errors);
    type(how.typed_ahead);
    const program_argv argv(how.program);
    shell_ = fork();
    if (shell_ == 0) {
        for (const int end : {input[1], out.read_end, err.read_end, commands[1], reports[0]}) {
            if (end >= 0) close(end);
        }
        be_shell(master_, slave_, input[0], out.write_end, err.write_end, commands[0], reports[1], how, argv.get());
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
    const job_report first = next_report(patience);
    if (first.event != job_event::started) throw std::runtime_error("the shell did not start the job");
    job_ = first.value;
}

terminal_session::~terminal_session() {
    if (!ended_) kill(job_, SIGKILL);
    close(commands_);
    waitpid(shell_, nullptr, 0);
    for (const int fd : {master_, slave_, reports_, output_apart_, errors_}) {
        if (fd >= 0) close(fd);
    }
}

bool terminal_session::wait_until_raw() {
    const auto deadline = test_clock::now() + patience;
    while (test_clock::now() < deadline) {
        if ((after().c_lflag & ECHO) == 0) return true;
        collect_output(5);
    }
    return false;
}

bool terminal_session::wait_for_output(const std::string& text) {
    const auto deadline = test_clock::now() + patience;
    while (test_clock::now() < deadline) {
        if (output_.size() >= text.size() && output_.compare(output_.size() - text.size(), text.size(), text) == 0) {
            return true;
        }
        collect_output(5);
    }
    return false;
}

int terminal_session::wait_stop(std::chrono::milliseconds limit) {
    const job_report r = next_report(limit);
    if (r.event == job_event::ended) {
        ended_ = true;
        status_ = r.value;
    }
    return r.event == job_event::stopped ? r.value : 0;
}

void terminal_session::fg() { command(shell_command::fg); }
void terminal_session::bg() { command(shell_command::bg); }

int terminal_session::wait_exit(std::chrono::milliseconds limit) {
    if (!ended_) {
        const job_report r = next_report(limit);
        if (r.event != job_event::ended) return -1;
        ended_ = true;
        status_ = r.value;
    }
    return status_;
}

void terminal_session::type(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::size_t terminal_session::paste(const std::string& bytes, std::size_t piece) {
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

std::string terminal_session::output() {
    collect_output(50);
    return output_;
}

std::string terminal_session::output_apart() const { return read_apart(output_apart_); }
std::string terminal_session::errors() const { return read_apart(errors_); }

// The mode is set with TCSANOW: TCSAFLUSH would discard the very bytes looked for.
std::string terminal_session::unread() {
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

bool terminal_session::wait_queued(std::size_t bytes) const {
    const auto deadline = test_clock::now() + patience;
    while (test_clock::now() < deadline) {
        int queued = 0;
        if (ioctl(slave_, FIONREAD, &queued) == 0 && static_cast<std::size_t>(queued) >= bytes) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

termios terminal_session::after() const {
    termios now{};
    tcgetattr(slave_, &now);
    return now;
}

void terminal_session::set_settings(const termios& settings) { tcsetattr(slave_, TCSANOW, &settings); }

void terminal_session::collect_output(int ms) {
    pollfd p{master_, POLLIN, 0};
    while (poll(&p, 1, ms) > 0) {
        char buffer[4096];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) return;
        output_.append(buffer, static_cast<std::size_t>(n));
    }
}

job_report terminal_session::next_report(std::chrono::milliseconds limit) {
    const auto deadline = test_clock::now() + limit;
    do {
        pollfd p{reports_, POLLIN, 0};
        if (poll(&p, 1, 5) > 0) {
            job_report r;
            if (read(reports_, &r, sizeof r) == static_cast<ssize_t>(sizeof r)) return r;
            return {};
        }
        collect_output(0);
    } while (test_clock::now() < deadline);
    return {};
}

void terminal_session::command(shell_command c) { ASSERT_EQ(write(commands_, &c, 1), 1); }
