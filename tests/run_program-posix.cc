#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/run_program.h"

std::string program_path(const std::string& name) { return std::string(PROGRAM_DIR) + "/" + name; }

namespace {
#ifdef PROGRAM_EMULATOR
const std::vector<std::string> emulator = {PROGRAM_EMULATOR};
#else
const std::vector<std::string> emulator;
#endif
// An emulator that translates every instruction runs the long computations several
// times slower; their time limits, meant for native programs, grow by this factor.
constexpr double emulated_time_factor = 4;
}  // namespace

std::vector<std::string> program_command(const std::string& name) {
    std::vector<std::string> words = emulator;
    words.push_back(program_path(name));
    return words;
}

bool programs_emulated() { return !emulator.empty(); }

namespace {

void make_pipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

void close_if_open(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// In the child, between fork and exec: only calls that are safe there.
[[noreturn]] void exec_child(char* const argv[], const run_options& options, int in, int out, int err) {
    setsid();  // no controlling terminal from here on
    // Standard output first: with standard input closed, a file opened for standard
    // output would otherwise take descriptor 0 and stand in for standard input too.
    switch (options.stdout_to) {
        case output_sink::captured:
        case output_sink::reader_stops_after_5_bytes:
            dup2(out, 1);
            break;
        case output_sink::full_device: {
            const int fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
            if (fd < 0) _exit(127);
            dup2(fd, 1);
            break;
        }
        case output_sink::closed:
            close(1);
            break;
    }
    if (options.close_stdin) {
        close(0);
    } else {
        dup2(in, 0);
    }
    dup2(err, 2);
    // This runner ignores SIGPIPE, and an ignored signal stays ignored across exec;
    // the program must meet a broken pipe as it does when a shell starts it.
    static_cast<void>(signal(SIGPIPE, SIG_DFL));
    execv(argv[0], argv);
    _exit(127);
}

}  // namespace

run_result run_program(const std::string& name, const std::string& input, const run_options& options) {
    const program_argv argv(name);
    int in[2], out[2], err[2];
    make_pipe(in);
    make_pipe(out);
    make_pipe(err);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) exec_child(argv.get(), options, in[0], out[1], err[1]);
    close(in[0]);
    close(out[1]);
    close(err[1]);

    // A program that ends before reading all its input must not end the test.
    static_cast<void>(signal(SIGPIPE, SIG_IGN));
    fcntl(in[1], F_SETFL, O_NONBLOCK);

    const bool reader_stops = options.stdout_to == output_sink::reader_stops_after_5_bytes;
    const std::size_t out_limit = reader_stops ? 5 : std::string::npos;
    bool input_held = reader_stops;
    run_result result;
    std::size_t sent = 0;
    int to_child = in[1], from_out = out[0], from_err = err[0];
    const double limit = options.timeout_seconds * (programs_emulated() ? emulated_time_factor : 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
    while (from_out >= 0 || from_err >= 0) {
        if (!input_held && to_child >= 0 && sent == input.size()) close_if_open(to_child);
        pollfd fds[3];
        nfds_t count = 0;
        if (from_out >= 0) fds[count++] = {from_out, POLLIN, 0};
        if (from_err >= 0) fds[count++] = {from_err, POLLIN, 0};
        if (to_child >= 0 && !input_held) fds[count++] = {to_child, POLLOUT, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timed_out = true;
            // The program leads a process group of its own once setsid has run:
            // whatever it started goes with it, and the program itself even before.
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, count, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == to_child) {
                const ssize_t n = write(to_child, input.data() + sent, input.size() - sent);
                if (n > 0) sent += static_cast<std::size_t>(n);
                if (n < 0 && errno != EAGAIN) close_if_open(to_child);
                continue;
            }
            const bool is_out = fds[i].fd == from_out;
            std::string& text = is_out ? result.out : result.err;
            char buffer[65536];
            const std::size_t room = is_out ? std::min(sizeof buffer, out_limit - text.size()) : sizeof buffer;
            const ssize_t n = read(fds[i].fd, buffer, room);
            if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
            if (n <= 0 || (is_out && text.size() >= out_limit)) {
                close_if_open(is_out ? from_out : from_err);
                if (is_out) input_held = false;
            }
        }
    }
    for (int* fd : {&to_child, &from_out, &from_err}) close_if_open(*fd);

    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
    return result;
}
