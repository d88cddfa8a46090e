// parity: ten entries, then the odd ones and the even ones in the order entered.
#include <gtest/gtest.h>

#include <string>

#include "dialogue.h"

namespace {

const std::string prompt = "enter 10 array values\n";

std::string groups(const std::string& odd, const std::string& even) {
    return prompt + "\ntek sayilar\n" + odd + "\ncift sayilar\n" + even;
}

class ParityDialogue : public DialogueTest {};

TEST_P(ParityDialogue, WritesExactlyThisAndExits) { expect_dialogue(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Lists, ParityDialogue,
    testing::Values(
        dialogue{"parity", "1 2 3 4 5 6 7 8 9 10\n", groups("1, 3, 5, 7, 9, ", "2, 4, 6, 8, 10, "), "", 0},
        dialogue{"parity", "2\n4\n6\n8\n10\n12\n14\n16\n18\n20\n", groups("", "2, 4, 6, 8, 10, 12, 14, 16, 18, 20, "),
                 "", 0},
        dialogue{"parity", "1 3 5 7 9 11 13 15 17 19", groups("1, 3, 5, 7, 9, 11, 13, 15, 17, 19, ", ""), "", 0},
        dialogue{"parity", "-3 0 -4 7 7 -2147483648 2147483647 -1 8 8\n",
                 groups("-3, 7, 7, 2147483647, -1, ", "0, -4, -2147483648, 8, 8, "), "", 0},
        // The first ten are taken; the rest stays unread.
        dialogue{"parity", "1 2 3 4 5 6 7 8 9 10 11 12 abc\n", groups("1, 3, 5, 7, 9, ", "2, 4, 6, 8, 10, "), "", 0}));

INSTANTIATE_TEST_SUITE_P(
    Failures, ParityDialogue,
    testing::Values(
        dialogue{"parity", "1 2 3\n", prompt, "parity: input ended where a number was expected\n", 1},
        dialogue{"parity", "1 2 3 x 5 6 7 8 9 10\n", prompt, "parity: \"x\" is not a whole number\n", 1},
        dialogue{"parity", "1 2 3 4 5 6 7 8 9 -2147483649\n", prompt,
                 "parity: \"-2147483649\" is out of range (-2147483648 to 2147483647)\n", 1}));

}  // namespace
