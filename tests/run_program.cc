#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

std::string program_path(const std::string& name) { return std::string(PROGRAM_DIR) + "/" + name; }

namespace {

void make_pipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

}  // namespace

run_result run_program(const std::string& name, const std::string& input, const run_options& options) {
    const std::string path = program_path(name);
    int in[2], out[2], err[2];
    make_pipe(in);
    make_pipe(out);
    make_pipe(err);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        setsid();  // no controlling terminal from here on
        // Standard output first: with standard input closed, the file opened for it
        // would otherwise take descriptor 0 and stand in for standard input too.
        if (options.stdout_path.empty()) {
            dup2(out[1], 1);
        } else {
            const int fd = open(options.stdout_path.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0) _exit(127);
            dup2(fd, 1);
        }
        if (options.close_stdin) {
            close(0);
        } else {
            dup2(in[0], 0);
        }
        dup2(err[1], 2);
        static_cast<void>(signal(SIGPIPE, SIG_DFL));
        execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);

    run_result result;
    std::size_t sent = 0;
    int to_child = in[1];
    if (input.empty()) {
        close(to_child);
        to_child = -1;
    } else {
        fcntl(to_child, F_SETFL, O_NONBLOCK);
    }
    // A program that ends before reading all its input must not stop the test.
    static_cast<void>(signal(SIGPIPE, SIG_IGN));

    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(options.timeout_seconds);
    int from_out = out[0], from_err = err[0];
    while (from_out >= 0 || from_err >= 0) {
        pollfd fds[3];
        nfds_t count = 0;
        if (from_out >= 0) fds[count++] = {from_out, POLLIN, 0};
        if (from_err >= 0) fds[count++] = {from_err, POLLIN, 0};
        if (to_child >= 0) fds[count++] = {to_child, POLLOUT, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, count, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == to_child) {
                const ssize_t n = write(to_child, input.data() + sent, input.size() - sent);
                if (n > 0) sent += static_cast<std::size_t>(n);
                if (n < 0 || sent == input.size()) {
                    close(to_child);
                    to_child = -1;
                }
                continue;
            }
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                int& fd = fds[i].fd == from_out ? from_out : from_err;
                close(fd);
                fd = -1;
            } else {
                (fds[i].fd == out[0] ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    for (int fd : {to_child, from_out, from_err}) {
        if (fd >= 0) close(fd);
    }

    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
    return result;
}
