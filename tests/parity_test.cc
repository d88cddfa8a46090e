// parity: ten entries, then the odd ones and the even ones in the order entered.
#include <string>

#include "tests/dialogue.h"

namespace {

const std::string ask = "enter 10 array values\n";

std::string groups(const std::string& odd, const std::string& even) {
    return ask + "\ntek sayilar\n" + odd + "\ncift sayilar\n" + even;
}

const dialogue lists[] = {
    {"parity", "1 2 3 4 5 6 7 8 9 10\n", groups("1, 3, 5, 7, 9, ", "2, 4, 6, 8, 10, ")},
    {"parity", "2\n4\n6\n8\n10\n12\n14\n16\n18\n20\n", groups("", "2, 4, 6, 8, 10, 12, 14, 16, 18, 20, ")},
    {"parity", "1 3 5 7 9 11 13 15 17 19", groups("1, 3, 5, 7, 9, 11, 13, 15, 17, 19, ", "")},
    {"parity", "-3 0 -4 7 7 -2147483648 2147483647 -1 8 8\n",
     groups("-3, 7, 7, 2147483647, -1, ", "0, -4, -2147483648, 8, 8, ")},
    // The first ten are taken; the rest stays unread.
    {"parity", "1 2 3 4 5 6 7 8 9 10 11 12 abc\n", groups("1, 3, 5, 7, 9, ", "2, 4, 6, 8, 10, ")},
};
INSTANTIATE_TEST_SUITE_P(ParityLists, Dialogue, testing::ValuesIn(lists));

const dialogue failures[] = {
    {"parity", "1 2 3\n", ask, "parity: input ended where a number was expected\n", 1},
    {"parity", "1 2 3 x 5 6 7 8 9 10\n", ask, "parity: \"x\" is not a whole number\n", 1},
    {"parity", "1 2 3 4 5 6 7 8 9 -2147483649\n", ask,
     "parity: \"-2147483649\" is out of range (-2147483648 to 2147483647)\n", 1},
};
INSTANTIATE_TEST_SUITE_P(ParityFailures, Dialogue, testing::ValuesIn(failures));

}  // namespace
