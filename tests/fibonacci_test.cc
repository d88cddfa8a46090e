// fibterm and fibseries, run as a person runs them: the exact standard output,
// standard error and exit status for each entry.
#include <gtest/gtest.h>

#include <string>

#include "dialogue.h"
#include "run_program.h"

namespace {

const std::string prompt = "enter value to find fibonacci term of value:";

// The rows give what follows the prompt.
class FibonacciDialogue : public DialogueTest {};

TEST_P(FibonacciDialogue, WritesExactlyThisAndExits) {
    dialogue d = GetParam();
    d.out = prompt + d.out;
    expect_dialogue(d);
}

INSTANTIATE_TEST_SUITE_P(
    Terms, FibonacciDialogue,
    testing::Values(
        dialogue{"fibterm", "0\n", "0 nin fibonaccisi: 0", "", 0},
        dialogue{"fibterm", "1\n", "1 nin fibonaccisi: 1", "", 0},
        dialogue{"fibterm", "2\n", "2 nin fibonaccisi: 1", "", 0},
        dialogue{"fibterm", "10\n", "10 nin fibonaccisi: 55", "", 0},
        dialogue{"fibterm", "\n\n  +16 \n", "16 nin fibonaccisi: 987", "", 0},
        dialogue{"fibterm", "25", "25 nin fibonaccisi: 75025", "", 0},
        dialogue{"fibterm", "12abc\n", "12 nin fibonaccisi: 144", "", 0},
        dialogue{"fibseries", "0\n", "0. fibonacci terimi: 0 dir\n0", "", 0},
        dialogue{"fibseries", "1\n", "1. fibonacci terimi: 1 dir\n0\n1", "", 0},
        dialogue{"fibseries", "5\n", "5. fibonacci terimi: 5 dir\n0\n1\n1\n2\n3\n5", "", 0},
        dialogue{"fibseries", "10 20\n",
                 "10. fibonacci terimi: 55 dir\n0\n1\n1\n2\n3\n5\n8\n13\n21\n34\n55", "", 0}));

// Every failure is one line on standard error, nothing after the prompt, status 1.
INSTANTIATE_TEST_SUITE_P(
    Failures, FibonacciDialogue,
    testing::Values(
        dialogue{"fibterm", "abc\n", "", "fibterm: \"abc\" is not a whole number\n", 1},
        dialogue{"fibterm", "-x", "", "fibterm: \"-x\" is not a whole number\n", 1},
        dialogue{"fibseries", " - 5\n", "", "fibseries: \"-\" is not a whole number\n", 1},
        dialogue{"fibterm", "2147483648\n", "",
                 "fibterm: \"2147483648\" is out of range (-2147483648 to 2147483647)\n", 1},
        dialogue{"fibseries", "-99999999999999999999999999999999999999999999\n", "",
                 "fibseries: \"-999999999999999999999999999999999999999...\" is out of range "
                 "(-2147483648 to 2147483647)\n",
                 1},
        dialogue{"fibterm", "", "", "fibterm: input ended where a number was expected\n", 1},
        dialogue{"fibseries", " \n\t\n", "", "fibseries: input ended where a number was expected\n", 1},
        dialogue{"fibterm", "-1\n", "", "fibterm: index -1 is out of range (0 to 1476)\n", 1},
        dialogue{"fibterm", "1477\n", "", "fibterm: index 1477 is out of range (0 to 1476)\n", 1},
        dialogue{"fibseries", "-2147483648\n", "",
                 "fibseries: index -2147483648 is out of range (0 to 1476)\n", 1},
        dialogue{"fibseries", "2147483647\n", "",
                 "fibseries: index 2147483647 is out of range (0 to 1476)\n", 1}));

#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
// The first term that leaves the 32-bit range wraps to a negative number; the
// recursion for it takes seconds, so only an optimised build runs it.
TEST(FibonacciWrap, Term47WrapsToNegative) {
    run_options slow;
    slow.timeout_seconds = 120;
    const run_result r = run_program("fibterm", "47\n", slow);
    EXPECT_EQ(r.out, prompt + "47 nin fibonaccisi: -1323752223");
    EXPECT_EQ(r.status, 0);
}
#endif

TEST(FibonacciOutput, AFailedWriteIsReportedNotPassedOver) {
    for (const char* program : {"fibterm", "fibseries"}) {
        run_options full;
        full.stdout_path = "/dev/full";
        const run_result r = run_program(program, "3\n", full);
        EXPECT_EQ(r.err, std::string(program) + ": write error: No space left on device\n");
        EXPECT_EQ(r.status, 1);
    }
}

TEST(FibonacciInput, AClosedStandardInputIsAReadError) {
    run_options closed;
    closed.close_stdin = true;
    const run_result r = run_program("fibterm", "", closed);
    EXPECT_EQ(r.out, prompt);
    EXPECT_EQ(r.err, "fibterm: read error: Bad file descriptor\n");
    EXPECT_EQ(r.status, 1);
}

}  // namespace
