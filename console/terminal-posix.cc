// The console library's platform part on a POSIX system (see terminal.h): the final
// key wait, the discarding of what the terminal still holds after the last entry,
// and whether standard output and standard error are one terminal.
//
// The key is read from the controlling terminal, never from standard input, so that
// input that is piped in, or the line end left after the last number, cannot end the
// wait. For the wait only, the terminal is in raw mode: no echo, no canonical input,
// no signal keys, and one byte ends a read. The terminal is restored on every way
// out, discarding what its input queue still holds, so that nothing typed or pasted
// during the wait reaches the shell. A key that ends the wait ends the result's line
// on that terminal too, when standard output is it, so that the shell's prompt does
// not run into the result.
//
// Signals during the wait, in three groups:
// - Job control (SIGTSTP, SIGTTIN, SIGTTOU): the terminal is restored, the program
//   stops as the signal would have stopped it, and once continued it enters raw mode
//   again if it is still in the terminal's foreground process group. SIGCONT alone
//   (after a SIGSTOP, which cannot be caught) does so too. A job continued in the
//   background ends the wait, as one started there does not wait at all.
// - Every other signal whose default action terminates the process: the terminal is
//   restored, then the signal is sent again with the program's own action, so that
//   it ends the program as it would have without the wait, as the exit status shows.
// - The faults that a program's own code can raise (SIGSEGV, SIGBUS, SIGILL,
//   SIGFPE, SIGTRAP, SIGSYS): the same, but from inside the handler, since a fault
//   cannot be deferred: returning would only run the faulting instruction again.
// A signal ignored when the wait began stays ignored, and one the program blocks
// stays blocked.
//
// The first two groups are blocked except while the wait sleeps in ppoll, which
// unblocks them for the sleep only, atomically, so that none is missed between a
// check and the sleep. Their handler only marks the signal pending; the wait acts on
// it outside the handler, with the others still blocked.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>

#include "console.h"
#include "terminal.h"

namespace console {
namespace {

using std::chrono::milliseconds;
using wait_clock = std::chrono::steady_clock;

// Once the key's first byte is in, or the pause's entry is taken, the terminal's
// input is read and discarded until it has been quiet this long: the rest of a key
// that sends several bytes (an arrow, a function key, a UTF-8 letter), and a paste
// of any length, which keeps coming as long as the terminal's input queue is read.
// Long enough for the pieces that a terminal or a remote link sends apart, short
// enough not to be felt after the key, and shorter than the pause between two keys
// of a person typing on.
constexpr milliseconds quiet_time{50};
// The discarding ends after this long even when the input never goes quiet, so that
// the wait and the pause always end; a local paste of many megabytes is read in less.
constexpr milliseconds longest_discard{2000};

constexpr int job_control_signals[] = {SIGTSTP, SIGTTIN, SIGTTOU};
constexpr int fault_signals[] = {SIGILL, SIGTRAP, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};
// The real-time signals, which terminate a process too, are added at run time: their
// numbers are not constants.
constexpr int ending_signals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGABRT, SIGUSR1,   SIGUSR2, SIGPIPE,
    SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
#if defined(__linux__)
// Linux terminates a process by these as well; other systems ignore some of them.
#if defined(SIGSTKFLT)
    SIGSTKFLT,
#endif
    SIGIO,   SIGPWR,
#endif
};

// Shared with the handlers: plain statics, each set before a handler can read it.
int tty = -1;
termios saved_settings{};                     // what restoring the terminal sets again
volatile std::sig_atomic_t raw_mode_set = 0;  // raw mode may be set on the terminal
volatile std::sig_atomic_t pending[NSIG]{};   // caught by the wait's handler, not yet acted on
struct sigaction program_action[NSIG]{};      // the program's own, given back when the wait ends

bool is_foreground() { return tcgetpgrp(tty) == getpgrp(); }

// The fault handler, hence async-signal-safe calls only.
extern "C" void restore_terminal_and_reraise(int sig) {
    if (raw_mode_set != 0 && is_foreground()) static_cast<void>(tcsetattr(tty, TCSANOW, &saved_settings));
    static_cast<void>(sigaction(sig, &program_action[sig], nullptr));
    // SA_NODEFER lets the program's own action take it at once.
    static_cast<void>(raise(sig));
}

extern "C" void mark_pending(int sig) { pending[sig] = 1; }

bool is_job_control(int sig) { return sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU; }

// Saves the program's action for sig, to be given back when the wait ends. False
// when sig is not a signal that this system can report an action for.
bool save_program_action(int sig) {
    return sig > 0 && sig < NSIG && sigaction(sig, nullptr, &program_action[sig]) == 0;
}

// Whether the saved action ignores sig: a signal the program was told to ignore
// (nohup) stays ignored during the wait.
bool ignored_by_program(int sig) {
    return (program_action[sig].sa_flags & SA_SIGINFO) == 0 && program_action[sig].sa_handler == SIG_IGN;
}

// Blocks the signals that the wait acts on and installs the wait's handlers, for as
// long as it lives; afterwards every signal has the action and the mask the program
// had, and each one left pending is sent again.
class signal_guard {
public:
    signal_guard() {
        sigemptyset(&blocked_);
        for (const int sig : job_control_signals) block(sig);
        block(SIGCONT);
        for (const int sig : ending_signals) block(sig);
        for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) block(sig);
        // Blocked before any handler is installed, so that every signal is caught
        // inside the sleep, which it then ends.
        sigprocmask(SIG_BLOCK, &blocked_, &program_mask_);
        for (int sig = 1; sig < NSIG; ++sig) {
            if (sigismember(&blocked_, sig) == 1) install(sig, mark_pending, 0);
        }
        for (const int sig : fault_signals) {
            if (save_program_action(sig) && !ignored_by_program(sig)) {
                install(sig, restore_terminal_and_reraise, SA_NODEFER);
            }
        }
    }
    ~signal_guard() {
        for (int sig = 1; sig < NSIG; ++sig) {
            if (installed_[sig]) sigaction(sig, &program_action[sig], nullptr);
        }
        // Still blocked: each one sent again stays pending until the program's mask
        // is back, and then meets the program's own action.
        for (int sig = 1; sig < NSIG; ++sig) {
            if (pending[sig] != 0) {
                pending[sig] = 0;
                static_cast<void>(raise(sig));
            }
        }
        sigprocmask(SIG_SETMASK, &program_mask_, nullptr);
    }
    signal_guard(const signal_guard&) = delete;
    signal_guard& operator=(const signal_guard&) = delete;

    // The mask that the sleep unblocks the signals with: the program's own.
    const sigset_t* sleep_mask() const { return &program_mask_; }

    // The pending job-control signal, else SIGCONT when it is pending, else 0.
    static int pending_job_control() {
        for (const int sig : job_control_signals) {
            if (pending[sig] != 0) return sig;
        }
        return pending[SIGCONT] != 0 ? SIGCONT : 0;
    }
    // Whether a signal that ends the wait is pending: any but job control and SIGCONT.
    static bool ending_signal_pending() {
        for (int sig = 1; sig < NSIG; ++sig) {
            if (pending[sig] != 0 && !is_job_control(sig) && sig != SIGCONT) return true;
        }
        return false;
    }

    // Delivers a pending job-control signal as it would have been delivered without
    // the wait: to the program's own action, by default a stop, which lasts until
    // the program is continued.
    void deliver_to_program(int sig) {
        pending[sig] = 0;
        sigaction(sig, &program_action[sig], nullptr);
        static_cast<void>(raise(sig));
        sigset_t just_this;
        sigemptyset(&just_this);
        sigaddset(&just_this, sig);
        sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
        sigprocmask(SIG_BLOCK, &just_this, nullptr);
        install(sig, mark_pending, 0);
    }

private:
    void block(int sig) {
        if (save_program_action(sig) && !ignored_by_program(sig)) sigaddset(&blocked_, sig);
    }
    void install(int sig, void (*handler)(int), int flags) {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = flags;
        installed_[sig] = sigaction(sig, &action, nullptr) == 0;
    }

    sigset_t blocked_{};
    sigset_t program_mask_{};
    bool installed_[NSIG]{};
};

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

// What ended a sleep.
enum class event { input, quiet, signal, gone };

// What a read of the terminal found.
enum class read_outcome {
    bytes,  // bytes were read
    none,   // nothing was waiting
    gone,   // hang-up or an error: the terminal cannot be read
};

class key_wait {
public:
    explicit key_wait(signal_guard& guard) : guard_(guard) {}

    // Until a key, a signal that ends the wait, the loss of the terminal, or the
    // program is no longer in the terminal's foreground process group. True when a
    // key ended it.
    bool run() {
        bool enter = true;
        for (;;) {
            if (enter) {
                // A continue pending before raw mode is entered is answered by entering it.
                pending[SIGCONT] = 0;
                if (!enter_raw_mode()) return false;
                enter = false;
            }
            switch (sleep(nullptr)) {
                case event::input: {
                    const read_outcome got = read_input();
                    if (got == read_outcome::none) break;
                    if (got == read_outcome::gone) return false;
                    discard_until_quiet();
                    return true;
                }
                case event::signal: {
                    if (signal_guard::ending_signal_pending()) return false;
                    const int sig = signal_guard::pending_job_control();
                    if (sig == SIGCONT) {
                        enter = true;
                    } else if (sig != 0) {
                        restore_terminal();
                        guard_.deliver_to_program(sig);
                        enter = true;
                    }
                    break;
                }
                case event::quiet:
                case event::gone:
                    return false;
            }
        }
    }

    // Restores the terminal, discarding what its input queue holds, unless the
    // program has left the foreground meanwhile: the settings are then another job's.
    static void restore_terminal() {
        if (raw_mode_set == 0) return;
        if (is_foreground()) static_cast<void>(tcsetattr(tty, TCSAFLUSH, &saved_settings));
        std::atomic_signal_fence(std::memory_order_seq_cst);
        raw_mode_set = 0;
    }

private:
    // Sets raw mode, if the program is in the terminal's foreground process group.
    // Settings found there that are not this wait's raw mode (a shell's, after a
    // stop) become the ones to restore, as the person may have changed them meanwhile.
    bool enter_raw_mode() {
        if (!is_foreground()) return false;
        termios now{};
        if (tcgetattr(tty, &now) != 0) return false;
        if (!raw_known_ || !same_settings(now, raw_)) {
            // Not read by the fault handler while it changes.
            raw_mode_set = 0;
            std::atomic_signal_fence(std::memory_order_seq_cst);
            saved_settings = now;
            std::atomic_signal_fence(std::memory_order_seq_cst);
        }
        termios raw = saved_settings;
        // Every key that sends a byte ends the wait, Ctrl-C, Ctrl-Z, Ctrl-S and
        // Ctrl-V included; output settings stay as they are.
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
        raw.c_iflag &= ~static_cast<tcflag_t>(IXON);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        // Marked before it is set: restoring settings that are still there is harmless.
        raw_mode_set = 1;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        // TCSANOW keeps a key typed ahead of the wait, as a console keyboard would.
        if (tcsetattr(tty, TCSANOW, &raw) != 0) return false;
        // As the terminal reports it, which is how it will be met again.
        raw_known_ = tcgetattr(tty, &raw_) == 0;
        return true;
    }

    // Sleeps until the terminal has input, the time runs out, or a signal comes.
    event sleep(const timespec* limit) const {
        pollfd watch{tty, POLLIN, 0};
        const int ready = ppoll(&watch, 1, limit, guard_.sleep_mask());
        if (ready > 0) return (watch.revents & POLLIN) != 0 ? event::input : event::gone;
        if (ready == 0) return event::quiet;
        return errno == EINTR ? event::signal : event::gone;
    }

    static read_outcome read_input() {
        char buffer[4096];
        const ssize_t got = read(tty, buffer, sizeof buffer);
        if (got > 0) return read_outcome::bytes;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return read_outcome::none;
        return read_outcome::gone;
    }

    void discard_until_quiet() const {
        const auto end = wait_clock::now() + longest_discard;
        for (;;) {
            const read_outcome got = read_input();
            if (got == read_outcome::gone) return;
            const auto left = end - wait_clock::now();
            if (left <= wait_clock::duration::zero()) return;
            if (got == read_outcome::bytes) continue;
            const auto nap = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::min<wait_clock::duration>(left, quiet_time));
            const timespec limit{static_cast<std::time_t>(nap.count() / 1'000'000'000),
                                 static_cast<long>(nap.count() % 1'000'000'000)};
            // Quiet long enough, or a signal, which acts once the wait is over.
            if (sleep(&limit) != event::input) return;
        }
    }

    signal_guard& guard_;
    termios raw_{};
    bool raw_known_ = false;
};

// The key is not echoed, so a result written without a line end would have the
// shell's prompt after it on its line. The line end goes to the terminal rather
// than into standard output, whose bytes stay as the program wrote them, and only
// when standard output is this terminal: the descriptor of /dev/tty reports that
// device's own number, not the terminal's, so the terminal is known by its
// foreground process group, which a terminal reports only to the processes it is
// the controlling terminal of. (Its session, tcgetsid, would do as well, but
// qemu-user, under which the Arm build's tests run, answers that one wrongly.)
void end_open_line() {
    if (last_output_ended_line() || !is_foreground() || tcgetpgrp(STDOUT_FILENO) != getpgrp()) return;
    // Best effort: a line end that the terminal does not take leaves the prompt where
    // it would have been without one.
    [[maybe_unused]] const ssize_t written = write(tty, "\n", 1);
}

}  // namespace

void wait_key() {
    tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (tty < 0) return;  // no controlling terminal: nobody to wait for
    // A background job does not take keys.
    if (is_foreground()) {
        signal_guard guard;
        key_wait wait(guard);
        const bool by_key = wait.run();
        key_wait::restore_terminal();
        if (by_key) end_open_line();
    }
    close(tty);
    tty = -1;
}

namespace platform {

// Only the foreground job of the controlling terminal drops anything: a terminal
// that is not the program's own is left to whoever reads it, and a job stopped
// meanwhile (a pasted Ctrl-Z) and continued in the background leaves it to the
// shell. The input comes a line at a time in canonical mode, and each read follows
// a poll rather than making standard input non-blocking, which would change it for
// the shell too; a last line without its line end is never readable and goes with
// the flush.
void drop_terminal_input() {
    const auto in_foreground = [] { return tcgetpgrp(STDIN_FILENO) == getpgrp(); };
    if (isatty(STDIN_FILENO) != 1 || !in_foreground()) return;
    const auto end = wait_clock::now() + longest_discard;
    for (;;) {
        const auto left = end - wait_clock::now();
        if (left <= wait_clock::duration::zero() || !in_foreground()) break;
        const auto nap = std::chrono::duration_cast<milliseconds>(std::min<wait_clock::duration>(left, quiet_time));
        pollfd watch{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(nap.count()));
        if (ready < 0 && errno == EINTR) continue;
        // Quiet long enough, or hung up.
        if (ready <= 0 || (watch.revents & POLLIN) == 0 || (watch.revents & (POLLHUP | POLLERR)) != 0) break;
        char buffer[4096];
        // 0 is an end-of-file character taken, and more may follow it.
        if (read(STDIN_FILENO, buffer, sizeof buffer) < 0 && errno != EINTR) break;
    }
    if (in_foreground()) static_cast<void>(tcflush(STDIN_FILENO, TCIFLUSH));
}

bool output_and_errors_share_terminal() {
    struct stat out {};
    struct stat err {};
    return isatty(STDOUT_FILENO) == 1 && isatty(STDERR_FILENO) == 1 && fstat(STDOUT_FILENO, &out) == 0 &&
           fstat(STDERR_FILENO, &err) == 0 && out.st_rdev == err.st_rdev;
}

}  // namespace platform
}  // namespace console
