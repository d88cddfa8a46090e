// Runs a program of this project on a terminal of its own, as a person at a terminal
// would: a pseudo-terminal whose session is led by a small stand-in for a job-control
// shell. The shell starts the program as a job, reports when it stops and when it
// ends, and on the test's word continues it in the foreground (fg) or the background
// (bg). Every wait has a time limit, and a job still running when the session ends
// is killed. POSIX only: terminal_session-posix.cc.
#ifndef TESTS_TERMINAL_SESSION_H
#define TESTS_TERMINAL_SESSION_H

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <cstddef>
#include <string>

// Where the program's standard output or standard error goes: the terminal, a pipe
// of the test's, or a second pseudo-terminal that is not the program's own.
enum class stream_to { terminal, pipe, other_terminal };

// How the shell starts the program.
struct session_options {
    std::string program = "fibterm";
    std::string input = "10\n";        // from a pipe, then its end
    bool background = false;           // a job that is not the terminal's foreground
    bool input_from_terminal = false;  // else `input`
    stream_to output = stream_to::terminal;
    stream_to errors = stream_to::terminal;
    std::string typed_ahead;  // typed at the terminal before the program starts
    int ignored_signal = 0;   // started with this signal ignored, as by nohup
};

// The shell's side of the session, in terminal_session-posix.cc.
struct job_report;
enum class shell_command : char;

class terminal_session {
public:
    explicit terminal_session(const session_options& how = {});
    ~terminal_session();
    terminal_session(const terminal_session&) = delete;
    terminal_session& operator=(const terminal_session&) = delete;

    // True once the program has turned echo off, that is, waits for its key.
    bool wait_until_raw();

    // True once the program's output ends with text.
    bool wait_for_output(const std::string& text);

    // The stop signal once the job has stopped, or 0 when it has not within the time.
    int wait_stop(std::chrono::milliseconds limit);
    void fg();
    void bg();

    // The wait status, or -1 when the program has not ended within the time.
    int wait_exit(std::chrono::milliseconds limit);

    void type(const std::string& bytes);

    // Sends bytes in pieces a moment apart, as a terminal sends a long paste, each
    // as soon as the terminal takes it; how many it took within the time.
    std::size_t paste(const std::string& bytes, std::size_t piece);

    // What the program wrote to the terminal, and whatever the terminal echoed.
    std::string output();

    // Standard output and standard error, when they went apart from the terminal:
    // everything written there once the program has ended.
    std::string output_apart() const;
    std::string errors() const;

    // What is left unread in the terminal's input queue, whole lines or not.
    std::string unread();

    // True once the terminal's input queue holds at least this many bytes that a
    // read would return: a write into the pseudo-terminal reaches the queue a moment
    // later, not at once.
    bool wait_queued(std::size_t bytes) const;

    // The terminal's settings now, and as they were before the program started.
    termios after() const;
    const termios& before() const { return before_; }
    // Sets the terminal's settings, as a shell does when it takes the terminal back.
    void set_settings(const termios& settings);
    pid_t job() const { return job_; }

private:
    void collect_output(int ms);
    job_report next_report(std::chrono::milliseconds limit);
    void command(shell_command c);

    int master_ = -1, slave_ = -1;
    int commands_ = -1, reports_ = -1, output_apart_ = -1, errors_ = -1;
    pid_t shell_ = -1, job_ = -1;
    bool ended_ = false;
    int status_ = -1;
    termios before_{};
    std::string output_;
};

#endif
