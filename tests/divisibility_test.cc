// divisors and divcheck through the real programs.
#include <gtest/gtest.h>

#include <string>

#include "dialogue.h"

namespace {

std::string divisor_list(const std::string& lines, const std::string& sum) {
    return "enter sayi:sayinin bolenleri asagidadir" + lines + "\nbolenler toplami " + sum + " dir";
}

const std::string asks = "enter sayi:\nenter bolen:";

class DivisibilityDialogue : public DialogueTest {};

TEST_P(DivisibilityDialogue, WritesExactlyThisAndExits) { expect_dialogue(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Divisors, DivisibilityDialogue,
    testing::Values(
        dialogue{"divisors", "1\n", divisor_list("\n1", "1"), "", 0},
        dialogue{"divisors", "6\n", divisor_list("\n1\n2\n3\n6", "12"), "", 0},
        dialogue{"divisors", "12\n", divisor_list("\n1\n2\n3\n4\n6\n12", "28"), "", 0},
        dialogue{"divisors", "97\n", divisor_list("\n1\n97", "98"), "", 0},
        dialogue{"divisors", "0\n", divisor_list("", "0"), "", 0},
        dialogue{"divisors", "-12\n", divisor_list("", "0"), "", 0},
        dialogue{"divisors", "-2147483648\n", divisor_list("", "0"), "", 0},
        dialogue{"divisors", "x\n", "enter sayi:", "divisors: \"x\" is not a whole number\n", 1},
        dialogue{"divisors", "", "enter sayi:", "divisors: input ended where a number was expected\n", 1}));

INSTANTIATE_TEST_SUITE_P(
    Remainders, DivisibilityDialogue,
    testing::Values(
        dialogue{"divcheck", "10\n5\n", asks + "sayi kalansiz bolunur", "", 0},
        dialogue{"divcheck", "0 7\n", asks + "sayi kalansiz bolunur", "", 0},
        dialogue{"divcheck", "10\n3\n", asks + "sayi kalansiz bolunmez, kalan 1 dir", "", 0},
        dialogue{"divcheck", "3\n10\n", asks + "sayi kalansiz bolunmez, kalan 3 dir", "", 0},
        // The remainder of truncating division has the sign of the number.
        dialogue{"divcheck", "-10 3", asks + "sayi kalansiz bolunmez, kalan -1 dir", "", 0},
        dialogue{"divcheck", "10 -3", asks + "sayi kalansiz bolunmez, kalan 1 dir", "", 0},
        dialogue{"divcheck", "-10 -3", asks + "sayi kalansiz bolunmez, kalan -1 dir", "", 0},
        dialogue{"divcheck", "-9 3", asks + "sayi kalansiz bolunur", "", 0},
        // The ends of the 32-bit range.
        dialogue{"divcheck", "-2147483648 3", asks + "sayi kalansiz bolunmez, kalan -2 dir", "", 0},
        dialogue{"divcheck", "-2147483648 2", asks + "sayi kalansiz bolunur", "", 0},
        dialogue{"divcheck", "2147483647 -2147483648", asks + "sayi kalansiz bolunmez, kalan 2147483647 dir", "", 0},
        dialogue{"divcheck", "-2147483648 -1", asks + "sayi kalansiz bolunur", "", 0},
        dialogue{"divcheck", "-2147483648 -2147483648", asks + "sayi kalansiz bolunur", "", 0},
        dialogue{"divcheck", "7 -1", asks + "sayi kalansiz bolunur", "", 0},
        // A zero divisor has no remainder.
        dialogue{"divcheck", "10 0\n", asks, "divcheck: the divisor can't be zero\n", 1},
        dialogue{"divcheck", "0\n-0\n", asks, "divcheck: the divisor can't be zero\n", 1},
        // A failed first entry ends the program before the second prompt.
        dialogue{"divcheck", "abc 5\n", "enter sayi:", "divcheck: \"abc\" is not a whole number\n", 1},
        dialogue{"divcheck", "5\n", asks, "divcheck: input ended where a number was expected\n", 1},
        dialogue{"divcheck", "5 2147483648", asks,
                 "divcheck: \"2147483648\" is out of range (-2147483648 to 2147483647)\n", 1}));

#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
// The largest 32-bit value is a prime: the walk tries every d up to it and ends
// there, and the sum 2^31 wraps to the smallest 32-bit value.
TEST(DivisorsWalk, TheLargestValueIsWalkedToItsEnd) {
    const run_result r = run_program("divisors", "2147483647\n", [] {
        run_options slow;
        slow.timeout_seconds = 120;
        return slow;
    }());
    EXPECT_EQ(r.out, divisor_list("\n1\n2147483647", "-2147483648"));
    EXPECT_EQ(r.status, 0);
}
#endif

}  // namespace
