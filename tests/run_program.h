// Runs a program of this project the way a person's shell would, but in a session of
// its own with no controlling terminal, so that its final key wait returns at once
// and a test run never waits on the developer's keyboard.
#ifndef TESTS_RUN_PROGRAM_H
#define TESTS_RUN_PROGRAM_H

#include <string>

struct run_options {
    // Standard output goes to this file instead of being captured ("/dev/full").
    std::string stdout_path;
    // Standard input is closed rather than fed.
    bool close_stdin = false;
    double timeout_seconds = 20;
};

struct run_result {
    std::string out;
    std::string err;
    int status = -1;     // exit status, when the program exited
    int signal = 0;      // the signal that ended it, or 0
    bool timed_out = false;
};

// The path of a program built beside the tests.
std::string program_path(const std::string& name);

run_result run_program(const std::string& name, const std::string& input,
                       const run_options& options = {});

#endif
