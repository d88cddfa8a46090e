// A whole run of a program as a table row: what is typed, and exactly what comes
// back on standard output and standard error, with the exit status. Most rows are
// three fields: a program that succeeds writes nothing to standard error.
//
// Each program's table instantiates the one suite:
//   INSTANTIATE_TEST_SUITE_P(Fibterm, Dialogue, testing::ValuesIn(rows));
// A row whose computation is long unless the build is optimised is written
// long_run({...}): it stays in the table, and other builds skip it (long_runs.h).
#ifndef TESTS_DIALOGUE_H
#define TESTS_DIALOGUE_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>

struct dialogue {
    std::string program;
    std::string input;
    std::string out;
    std::string err = {};
    int status = 0;
    bool long_run = false;
};

inline dialogue long_run(dialogue row) {
    row.long_run = true;
    return row;
}

void PrintTo(const dialogue& d, std::ostream* os);

class Dialogue : public testing::TestWithParam<dialogue> {};

#endif
