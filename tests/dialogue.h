// A whole run of a program as a table row: what is typed, and exactly what comes
// back on standard output and standard error, with the exit status.
#ifndef TESTS_DIALOGUE_H
#define TESTS_DIALOGUE_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "run_program.h"

struct dialogue {
    std::string program;
    std::string input;
    std::string out;
    std::string err;
    int status;
};

inline void PrintTo(const dialogue& d, std::ostream* os) {
    *os << d.program << " <<< " << testing::PrintToString(d.input);
}

// Table suites derive from this and instantiate it with their rows.
class DialogueTest : public testing::TestWithParam<dialogue> {
protected:
    static void expect_dialogue(const dialogue& d, double timeout_seconds = 20) {
        run_options options;
        options.timeout_seconds = timeout_seconds;
        const run_result r = run_program(d.program, d.input, options);
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.out, d.out);
        EXPECT_EQ(r.err, d.err);
        EXPECT_EQ(r.status, d.status);
    }
};

#endif
