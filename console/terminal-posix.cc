// The console exchange's terminal work on a POSIX system: the final key wait, and
// whether standard output and standard error are one terminal.
//
// The key comes from the controlling terminal, never from standard input, so that
// input that is piped in, or the line end left after the last number, cannot end
// the wait. For the wait only, the terminal is put into a mode without echo, line
// editing or signal keys, in which one byte ends the wait; the settings it had are
// put back on every way out, and what the terminal still holds then is dropped, so
// that nothing typed or pasted during the wait reaches the shell. A key that ends
// the wait ends the result's line on that terminal too, when standard output is
// it, so that the shell's prompt does not run into the result.
//
// Signals during the wait, in three groups:
// - Job control (SIGTSTP, SIGTTIN, SIGTTOU): the settings are put back, the program
//   stops as the signal would have stopped it, and once continued it takes the
//   terminal again if it is still the terminal's foreground job. SIGCONT alone
//   (after a SIGSTOP, which cannot be caught) takes it again too. A job continued
//   in the background ends the wait, as one started there does not wait at all.
// - Every other signal whose default action ends the process: the settings are put
//   back, then the signal is sent again with the action the program had, so that it
//   ends the program as it would have without the wait, as the exit status shows.
// - The faults that a program's own code can raise (SIGSEGV, SIGBUS, SIGILL,
//   SIGFPE, SIGTRAP, SIGSYS): the same, but from inside the handler, since a fault
//   cannot be put off: returning would only run the faulting instruction again.
// A signal ignored when the wait began stays ignored, and one the program blocks
// stays blocked.
//
// The first two groups are held off except while the wait sleeps in ppoll, which
// lets them in and out again atomically, so that none is missed between a check and
// the sleep. Their handler only notes the signal; the wait acts on it outside the
// handler, with every other signal of those groups held off.
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

namespace platform {

bool output_and_errors_share_terminal() {
    struct stat out {};
    struct stat err {};
    return isatty(STDOUT_FILENO) == 1 && isatty(STDERR_FILENO) == 1 && fstat(STDOUT_FILENO, &out) == 0 &&
           fstat(STDERR_FILENO, &err) == 0 && out.st_rdev == err.st_rdev;
}

}  // namespace platform

namespace {

using std::chrono::milliseconds;
using wait_clock = std::chrono::steady_clock;

// Once the key's first byte is in, everything the terminal sends is read and dropped
// until it has been quiet this long: the rest of a key that sends several bytes (an
// arrow, a function key, a UTF-8 letter), and a paste of any length, which keeps
// coming as long as the terminal's input queue is read. Long enough for the pieces
// that a terminal or a remote link sends apart, short enough not to be felt after
// the key, and shorter than the pause between two keys of a person typing on.
constexpr milliseconds quiet_time{50};
// The dropping ends after this long even when the input never goes quiet, so that
// the wait always ends; a local paste of many megabytes is read in less.
constexpr milliseconds longest_drop{2000};

constexpr int job_control_signals[] = {SIGTSTP, SIGTTIN, SIGTTOU};
constexpr int fault_signals[] = {SIGILL, SIGTRAP, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};
// The real-time signals, which end a process too, are added at run time: their
// numbers are not constants.
constexpr int ending_signals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGABRT, SIGUSR1,   SIGUSR2, SIGPIPE,
    SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
#if defined(__linux__)
// Linux ends a process by these as well; other systems ignore some of them.
#if defined(SIGSTKFLT)
    SIGSTKFLT,
#endif
    SIGIO,   SIGPWR,
#endif
};

// Shared with the handlers: plain statics, each set before a handler can read it.
int tty = -1;
termios saved{};                         // the settings that the terminal gets back
volatile std::sig_atomic_t mode_on = 0;  // the wait's mode may be on the terminal
volatile std::sig_atomic_t noted[NSIG]{};
struct sigaction previous[NSIG]{};

bool foreground() { return tcgetpgrp(tty) == getpgrp(); }

// Put back from the fault handler, hence async-signal-safe calls only.
extern "C" void put_back_then_fault(int sig) {
    if (mode_on != 0 && foreground()) static_cast<void>(tcsetattr(tty, TCSANOW, &saved));
    static_cast<void>(sigaction(sig, &previous[sig], nullptr));
    // SA_NODEFER lets the program's own action take it at once.
    static_cast<void>(raise(sig));
}

extern "C" void note(int sig) { noted[sig] = 1; }

bool is_job_control(int sig) { return sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU; }

// Holds off the signals that the wait acts on, and gives each caught signal the
// wait's handler, for as long as it lives; afterwards every signal has the action
// and the mask the program had, and each one noted and not acted on is sent again.
class signal_guard {
public:
    signal_guard() {
        sigemptyset(&held_);
        for (const int sig : job_control_signals) hold(sig);
        hold(SIGCONT);
        for (const int sig : ending_signals) hold(sig);
        for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) hold(sig);
        // Held off before any handler is given, so that every signal is noted
        // inside the sleep, which it then ends.
        sigprocmask(SIG_BLOCK, &held_, &program_mask_);
        for (int sig = 1; sig < NSIG; ++sig) {
            if (sigismember(&held_, sig) == 1) take(sig, note, 0);
        }
        for (const int sig : fault_signals) {
            if (caught_by_program(sig)) take(sig, put_back_then_fault, SA_NODEFER);
        }
    }
    ~signal_guard() {
        for (int sig = 1; sig < NSIG; ++sig) {
            if (taken_[sig]) sigaction(sig, &previous[sig], nullptr);
        }
        // Still held off: each is pending until the program's mask comes back, and
        // then meets the program's own action.
        for (int sig = 1; sig < NSIG; ++sig) {
            if (noted[sig] != 0) {
                noted[sig] = 0;
                static_cast<void>(raise(sig));
            }
        }
        sigprocmask(SIG_SETMASK, &program_mask_, nullptr);
    }
    signal_guard(const signal_guard&) = delete;
    signal_guard& operator=(const signal_guard&) = delete;

    // The mask that the sleep lets the signals in with: the program's own.
    const sigset_t* sleep_mask() const { return &program_mask_; }

    // The job-control signal noted, then SIGCONT, or 0 when neither was.
    static int noted_job_control() {
        for (const int sig : job_control_signals) {
            if (noted[sig] != 0) return sig;
        }
        return noted[SIGCONT] != 0 ? SIGCONT : 0;
    }
    static bool noted_ending() {
        for (int sig = 1; sig < NSIG; ++sig) {
            if (noted[sig] != 0 && !is_job_control(sig) && sig != SIGCONT) return true;
        }
        return false;
    }

    // Lets a job-control signal act as it would have without the wait: by the
    // program's own action, by default a stop, which lasts until the program is
    // continued.
    void act_as_program(int sig) {
        noted[sig] = 0;
        sigaction(sig, &previous[sig], nullptr);
        static_cast<void>(raise(sig));
        sigset_t just_this;
        sigemptyset(&just_this);
        sigaddset(&just_this, sig);
        sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
        sigprocmask(SIG_BLOCK, &just_this, nullptr);
        take(sig, note, 0);
    }

private:
    // Whether the program lets the signal act: a signal that it was told to ignore
    // (nohup) stays ignored. Keeps the program's action to give back.
    static bool caught_by_program(int sig) {
        if (sig <= 0 || sig >= NSIG || sigaction(sig, nullptr, &previous[sig]) != 0) return false;
        return (previous[sig].sa_flags & SA_SIGINFO) != 0 || previous[sig].sa_handler != SIG_IGN;
    }
    void hold(int sig) {
        if (caught_by_program(sig)) sigaddset(&held_, sig);
    }
    void take(int sig, void (*handler)(int), int flags) {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = flags;
        taken_[sig] = sigaction(sig, &action, nullptr) == 0;
    }

    sigset_t held_{};
    sigset_t program_mask_{};
    bool taken_[NSIG]{};
};

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

enum class event { input, quiet, signal, gone };

class key_wait {
public:
    explicit key_wait(signal_guard& guard) : guard_(guard) {}

    // Until a key, a signal that ends the wait, the loss of the terminal, or the
    // program is no longer the terminal's foreground job. True when a key ended it.
    bool run() {
        for (;;) {
            // A continue noted before the terminal is taken is answered by taking it.
            noted[SIGCONT] = 0;
            if (!take_terminal()) return false;
            for (;;) {
                const event happened = sleep(nullptr);
                if (happened == event::gone) return false;
                if (happened == event::input) {
                    const int got = read_input();
                    if (got < 0) return false;
                    if (got > 0) {
                        drop_the_rest();
                        return true;
                    }
                    continue;
                }
                if (happened != event::signal || signal_guard::noted_ending()) return false;
                const int sig = signal_guard::noted_job_control();
                if (sig == SIGCONT) {
                    noted[SIGCONT] = 0;
                    break;
                }
                if (sig != 0) {
                    give_back();
                    guard_.act_as_program(sig);
                    break;
                }
            }
        }
    }

    // Puts back the settings, dropping what the terminal holds, unless the program
    // has lost the terminal to another job meanwhile: those settings are that job's.
    static void give_back() {
        if (mode_on == 0) return;
        if (foreground()) static_cast<void>(tcsetattr(tty, TCSAFLUSH, &saved));
        std::atomic_signal_fence(std::memory_order_seq_cst);
        mode_on = 0;
    }

private:
    // Puts the wait's mode on the terminal, if the program is its foreground job.
    // Settings found there that are not the wait's own (a shell's, after a stop)
    // become the ones to give back, as the person may have changed them meanwhile.
    bool take_terminal() {
        if (!foreground()) return false;
        termios now{};
        if (tcgetattr(tty, &now) != 0) return false;
        if (!mode_known_ || !same_settings(now, mode_)) {
            // Not read by the fault handler while it changes.
            mode_on = 0;
            std::atomic_signal_fence(std::memory_order_seq_cst);
            saved = now;
            std::atomic_signal_fence(std::memory_order_seq_cst);
        }
        termios wanted = saved;
        // Every key that sends a byte ends the wait, Ctrl-C, Ctrl-Z, Ctrl-S and
        // Ctrl-V included; output settings stay as they are.
        wanted.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
        wanted.c_iflag &= ~static_cast<tcflag_t>(IXON);
        wanted.c_cc[VMIN] = 1;
        wanted.c_cc[VTIME] = 0;
        // On before it is set: putting back settings that are still there is harmless.
        mode_on = 1;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        // TCSANOW keeps a key typed ahead of the wait, as a console keyboard would.
        if (tcsetattr(tty, TCSANOW, &wanted) != 0) return false;
        // As the terminal reports it, which is how it will be met again.
        mode_known_ = tcgetattr(tty, &mode_) == 0;
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

    // 1 when bytes were read, 0 when none was waiting, -1 at hang-up or an error.
    static int read_input() {
        char buffer[4096];
        const ssize_t got = read(tty, buffer, sizeof buffer);
        if (got > 0) return 1;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
        return -1;
    }

    void drop_the_rest() const {
        const auto end = wait_clock::now() + longest_drop;
        for (;;) {
            const int got = read_input();
            if (got < 0) return;
            const auto left = end - wait_clock::now();
            if (left <= wait_clock::duration::zero()) return;
            if (got > 0) continue;
            const auto nap = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::min<wait_clock::duration>(left, quiet_time));
            const timespec limit{static_cast<std::time_t>(nap.count() / 1'000'000'000),
                                 static_cast<long>(nap.count() % 1'000'000'000)};
            // Quiet long enough, or a signal, which acts once the wait is over.
            if (sleep(&limit) != event::input) return;
        }
    }

    signal_guard& guard_;
    termios mode_{};
    bool mode_known_ = false;
};

// The key is not echoed, so a result written without a line end would have the
// shell's prompt after it on its line. The line end goes to the terminal rather
// than into standard output, whose bytes stay as the program wrote them, and only
// when standard output is this terminal: the descriptor of /dev/tty reports that
// device's own number, not the terminal's, so the terminal is known by its session.
void end_open_line() {
    if (last_output_ended_line() || !foreground() || tcgetsid(STDOUT_FILENO) != getsid(0)) return;
    static_cast<void>(write(tty, "\n", 1));
}

}  // namespace

void wait_key() {
    tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (tty < 0) return;  // no controlling terminal: nobody to wait for
    // A background job does not take keys.
    if (foreground()) {
        signal_guard guard;
        key_wait wait(guard);
        const bool by_key = wait.run();
        key_wait::give_back();
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
    const auto end = wait_clock::now() + longest_drop;
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

}  // namespace platform
}  // namespace console
