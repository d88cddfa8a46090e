// fibterm and fibseries: the exact dialogue for each entry, and the largest index
// accepted.
#include <string>

#include "tests/dialogue.h"
#include "tests/run_program.h"

namespace {

const std::string ask = "enter value to find fibonacci term of value:";

const dialogue terms[] = {
    {"fibterm", "0\n", ask + "0 nin fibonaccisi: 0"},
    {"fibterm", "1\n", ask + "1 nin fibonaccisi: 1"},
    {"fibterm", "2\n", ask + "2 nin fibonaccisi: 1"},
    {"fibterm", "10\n", ask + "10 nin fibonaccisi: 55"},
    {"fibterm", "\n\n  +16 \n", ask + "16 nin fibonaccisi: 987"},
    {"fibterm", "25", ask + "25 nin fibonaccisi: 75025"},
    {"fibterm", "12abc\n", ask + "12 nin fibonaccisi: 144"},
    {"fibseries", "0\n", ask + "0. fibonacci terimi: 0 dir\n0"},
    {"fibseries", "1\n", ask + "1. fibonacci terimi: 1 dir\n0\n1"},
    {"fibseries", "5\n", ask + "5. fibonacci terimi: 5 dir\n0\n1\n1\n2\n3\n5"},
    {"fibseries", "10 20\n", ask + "10. fibonacci terimi: 55 dir\n0\n1\n1\n2\n3\n5\n8\n13\n21\n34\n55"},
};
INSTANTIATE_TEST_SUITE_P(FibonacciTerms, Dialogue, testing::ValuesIn(terms));

// Every failure is one line on standard error, nothing after the prompt, status 1.
const dialogue failures[] = {
    {"fibterm", "abc\n", ask, "fibterm: \"abc\" is not a whole number\n", 1},
    {"fibterm", "-x", ask, "fibterm: \"-x\" is not a whole number\n", 1},
    {"fibseries", " - 5\n", ask, "fibseries: \"-\" is not a whole number\n", 1},
    {"fibterm", "2147483648\n", ask, "fibterm: \"2147483648\" is out of range (-2147483648 to 2147483647)\n", 1},
    {"fibseries", "-99999999999999999999999999999999999999999999\n", ask,
     "fibseries: \"-999999999999999999999999999999999999999...\" is out of range (-2147483648 to 2147483647)\n", 1},
    {"fibterm", "", ask, "fibterm: input ended where a number was expected\n", 1},
    {"fibseries", " \n\t\n", ask, "fibseries: input ended where a number was expected\n", 1},
    {"fibterm", "-1\n", ask, "fibterm: index -1 is out of range (0 to 1476)\n", 1},
    {"fibterm", "1477\n", ask, "fibterm: index 1477 is out of range (0 to 1476)\n", 1},
    {"fibseries", "1477\n", ask, "fibseries: index 1477 is out of range (0 to 1476)\n", 1},
    {"fibseries", "-2147483648\n", ask, "fibseries: index -2147483648 is out of range (0 to 1476)\n", 1},
    {"fibseries", "2147483647\n", ask, "fibseries: index 2147483647 is out of range (0 to 1476)\n", 1},
    // An entry of exactly 40 bytes is quoted whole, one of 41 is cut.
    {"fibterm", std::string(40, 'x') + "\n", ask,
     "fibterm: \"" + std::string(40, 'x') + "\" is not a whole number\n", 1},
    {"fibseries", std::string(41, 'x') + "\n", ask,
     "fibseries: \"" + std::string(40, 'x') + "...\" is not a whole number\n", 1},
};
INSTANTIATE_TEST_SUITE_P(FibonacciFailures, Dialogue, testing::ValuesIn(failures));

// The largest index is accepted: the recursion for it runs far longer than any
// test, so the program is seen still computing after a moment, with nothing
// refused, and is then ended.
class LargestIndex : public testing::TestWithParam<const char*> {};

TEST_P(LargestIndex, IsAcceptedAndComputed) {
    run_options options;
    options.timeout_seconds = 1;
    const run_result r = run_program(GetParam(), "1476\n", options);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.out, ask);
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Fibonacci, LargestIndex, testing::Values("fibterm", "fibseries"),
                         [](const testing::TestParamInfo<const char*>& program) { return std::string(program.param); });

// The first term that leaves the 32-bit range wraps to a negative number; the
// recursion for it is long, so only an optimised build runs it.
const dialogue wrapped[] = {
    long_run({"fibterm", "47\n", ask + "47 nin fibonaccisi: -1323752223"}),
};
INSTANTIATE_TEST_SUITE_P(FibonacciWrap, Dialogue, testing::ValuesIn(wrapped));

}  // namespace
