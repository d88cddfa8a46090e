// Runs a program of this project as a person's shell would, with given standard
// input, and collects its standard output, standard error and exit status. The
// program has no terminal to wait on, so its final key wait returns at once and a
// test run never waits for the developer's keyboard. One implementation per
// platform: run_program-posix.cc, run_program-win32.cc.
#ifndef TESTS_RUN_PROGRAM_H
#define TESTS_RUN_PROGRAM_H

#include <string>
#include <vector>

// Where the program's standard output goes.
enum class output_sink {
    captured,                    // into run_result::out
    full_device,                 // a device on which every write fails for lack of space
    closed,                      // no standard output at all
    reader_stops_after_5_bytes,  // a pipe whose reader takes five bytes and goes, as `| head -c 5`
};

struct run_options {
    bool close_stdin = false;  // no standard input at all, instead of `input`
    output_sink stdout_to = output_sink::captured;
    double timeout_seconds = 20;  // for a native program; an emulated one gets longer
};

struct run_result {
    std::string out;  // line ends as "\n" on every platform
    std::string err;
    int status = -1;           // the exit status, when the program exited
    int signal = 0;            // the signal that ended it, or 0
    bool timed_out = false;    // killed at the time-out
    bool unsupported = false;  // this platform cannot give what the options ask; nothing ran
};

// The path of a program built beside the tests.
std::string program_path(const std::string& name);

// The words that start that program, as for execv: its path, after the emulator's
// words when the build names one (a cross-build whose tests run on the build
// machine, as Arm programs under qemu). Everything that starts a program uses it.
std::vector<std::string> program_command(const std::string& name);

// program_command's words in the form execv takes. Made before fork, since the
// child may only make calls that are safe there; it points into its own words, so
// it is neither copied nor moved.
class program_argv {
public:
    explicit program_argv(const std::string& name) : words_(program_command(name)) {
        pointers_.reserve(words_.size() + 1);
        for (std::string& word : words_) pointers_.push_back(word.data());
        pointers_.push_back(nullptr);
    }
    program_argv(const program_argv&) = delete;
    program_argv& operator=(const program_argv&) = delete;

    char* const* get() const { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

// True when the programs run under an emulator: a signal or terminal call that the
// emulator does not pass on to them is then out of the tests' reach.
bool programs_emulated();

// With a stdout reader that stops, the input is sent only once the reader has
// gone, so that the program's first write after its first read meets the
// broken pipe, whatever the timing.
run_result run_program(const std::string& name, const std::string& input, const run_options& options = {});

#endif
