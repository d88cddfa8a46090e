// The final key wait, on a pseudo-terminal of the test's own: it waits for a key on
// the terminal although standard input is at its end, takes the whole key without
// echo, and leaves the terminal's settings exactly as it found them.
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
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "run_program.h"

namespace {

using namespace std::chrono_literals;

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// fibterm with "10" on standard input and the terminal as standard output, the
// terminal being the controlling terminal of its session.
class terminal_run {
public:
    explicit terminal_run(bool background = false) {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        tcgetattr(slave_, &before_);
        int in[2];
        if (pipe(in) != 0) throw std::runtime_error("pipe");
        const std::string path = program_path("fibterm");
        pid_ = fork();
        if (pid_ == 0) {
            close(master_);
            setsid();
            ioctl(slave_, TIOCSCTTY, 0);
            dup2(in[0], 0);
            dup2(slave_, 1);
            dup2(slave_, 2);
            close(in[0]);
            close(in[1]);
            close(slave_);
            const rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            if (background) {
                // A job in a process group of its own, not the terminal's foreground.
                const pid_t job = fork();
                if (job == 0) {
                    setpgid(0, 0);
                    execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
                    _exit(127);
                }
                int status = 0;
                waitpid(job, &status, 0);
                _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            }
            execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        if (write(in[1], "10\n", 3) != 3) throw std::runtime_error("write");
        close(in[1]);
    }
    ~terminal_run() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(master_);
        close(slave_);
    }
    terminal_run(const terminal_run&) = delete;
    terminal_run& operator=(const terminal_run&) = delete;

    // True once the program has turned echo off, that is, is waiting for its key.
    bool wait_until_raw() {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            termios now;
            tcgetattr(slave_, &now);
            if ((now.c_lflag & ECHO) == 0) return true;
            collect_output(5);
        }
        return false;
    }

    // The wait status, or -1 when the program has not ended within the time.
    int wait_exit(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        do {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return status;
            }
            collect_output(5);
        } while (std::chrono::steady_clock::now() < deadline);
        return -1;
    }

    void type(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // What the program wrote to the terminal, and whatever the terminal echoed.
    std::string output() {
        collect_output(50);
        return output_;
    }

    // What is left unread in the terminal's input queue.
    std::string unread() {
        termios raw = after();
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        tcsetattr(slave_, TCSANOW, &raw);
        char buffer[64];
        const ssize_t n = read(slave_, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
    }

    termios after() const {
        termios now;
        tcgetattr(slave_, &now);
        return now;
    }
    const termios& before() const { return before_; }
    pid_t pid() const { return pid_; }

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

    int master_ = -1, slave_ = -1;
    pid_t pid_ = -1;
    bool ended_ = false;
    termios before_{};
    std::string output_;
};

const std::string result_line = "enter value to find fibonacci term of value:10 nin fibonaccisi: 55";

struct key_case {
    std::string name;
    std::vector<std::string> chunks;  // as the terminal sends them, a moment apart
};

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
    testing::Values(key_case{"letter", {"x"}}, key_case{"enter", {"\r"}},
                    key_case{"ctrl_c", {"\x03"}}, key_case{"ctrl_s", {"\x13"}},
                    key_case{"arrow_up", {"\x1b[A"}}, key_case{"f5", {"\x1b[15~"}},
                    key_case{"utf8_letter", {"\xc3\xa7"}},
                    key_case{"arrow_sent_in_pieces", {"\x1b", "[", "B"}}),
    [](const testing::TestParamInfo<key_case>& key) { return key.param.name; });

class WaitKeySignal : public testing::TestWithParam<int> {};

TEST_P(WaitKeySignal, EndsByTheSignalWithTheTerminalRestored) {
    terminal_run run;
    ASSERT_TRUE(run.wait_until_raw());
    kill(run.pid(), GetParam());
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), GetParam());
    EXPECT_TRUE(same_settings(run.after(), run.before()));
}

INSTANTIATE_TEST_SUITE_P(FromOutside, WaitKeySignal, testing::Values(SIGTERM, SIGHUP, SIGINT, SIGQUIT),
                         [](const testing::TestParamInfo<int>& sig) { return std::string(sigabbrev_np(sig.param)); });

TEST(WaitKeyBackground, ABackgroundJobDoesNotWaitOrStop) {
    terminal_run run(/*background=*/true);
    const int status = run.wait_exit(5s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output(), result_line);
    EXPECT_TRUE(same_settings(run.after(), run.before()));
}

}  // namespace
