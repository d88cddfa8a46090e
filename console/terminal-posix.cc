// The final key wait on a POSIX terminal.
//
// The key comes from the controlling terminal, never from standard input, so that
// input that is piped in, or the line end left after the last number, cannot end
// the wait. The terminal is put into a non-canonical mode without echo or signal
// keys for the wait only; its saved settings are put back on every way out,
// including the signals that usually end a program from outside.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "console.h"

namespace console {
namespace {

// How long the rest of a key that sends several bytes (an arrow key, a function
// key, a UTF-8 letter) may take to arrive after its first byte.
constexpr int rest_of_key_ms = 40;
// A key held down repeats; the drain stops after this many further reads.
constexpr int max_rest_reads = 16;

constexpr int ending_signals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// Read by the signal handler, so kept in plain statics set before it is installed.
int tty_fd = -1;
termios saved_settings;

extern "C" void restore_and_end(int sig) {
    // Nothing more can be done for the terminal when this fails: the program ends.
    static_cast<void>(tcsetattr(tty_fd, TCSANOW, &saved_settings));
    // SA_RESETHAND has put back the default action and SA_NODEFER lets it act now:
    // the program ends by this signal, as it would have without the wait.
    static_cast<void>(raise(sig));
}

class signal_guard {
public:
    signal_guard() {
        struct sigaction action {};
        action.sa_handler = restore_and_end;
        sigemptyset(&action.sa_mask);
        // glibc spells SA_RESETHAND 0x80000000, an unsigned constant, for an int
        // field; the conversion keeps the bit pattern, as C++20 defines it to.
        action.sa_flags = static_cast<int>(SA_RESETHAND | SA_NODEFER);
        for (std::size_t i = 0; i < count; ++i) {
            sigaction(ending_signals[i], nullptr, &previous_[i]);
            // A signal the program was told to ignore (nohup) stays ignored.
            if (previous_[i].sa_handler != SIG_IGN) sigaction(ending_signals[i], &action, nullptr);
        }
    }
    ~signal_guard() {
        for (std::size_t i = 0; i < count; ++i) sigaction(ending_signals[i], &previous_[i], nullptr);
    }
    signal_guard(const signal_guard&) = delete;
    signal_guard& operator=(const signal_guard&) = delete;

private:
    static constexpr std::size_t count = sizeof ending_signals / sizeof ending_signals[0];
    struct sigaction previous_[count] {};
};

// Reads whatever the terminal has; false at hang-up or on an error.
bool read_some(int fd) {
    char buffer[64];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) return true;
        if (got == 0 || errno != EINTR) return false;
    }
}

bool more_within(int fd, int ms) {
    pollfd waiting{fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&waiting, 1, ms);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (waiting.revents & POLLIN) != 0;
}

void wait_on(int fd) {
    if (tcgetpgrp(fd) != getpgrp()) return;  // a background job does not take keys
    if (tcgetattr(fd, &saved_settings) != 0) return;

    termios raw = saved_settings;
    // Every key that sends a byte ends the wait, Ctrl-C, Ctrl-S and Ctrl-V included;
    // output settings stay as they are.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;

    tty_fd = fd;
    const signal_guard guard;
    // TCSANOW keeps a key typed ahead of the wait, as a console keyboard would.
    if (tcsetattr(fd, TCSANOW, &raw) != 0) return;
    if (read_some(fd)) {
        for (int i = 0; i < max_rest_reads && more_within(fd, rest_of_key_ms); ++i) {
            if (!read_some(fd)) break;
        }
    }
    tcsetattr(fd, TCSANOW, &saved_settings);
}

}  // namespace

void wait_key() {
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;  // no controlling terminal: nobody to wait for
    wait_on(fd);
    close(fd);
}

}  // namespace console
