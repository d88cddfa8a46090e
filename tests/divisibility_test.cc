// divisors and divcheck: the exact dialogue for each entry.
#include <string>

#include "tests/dialogue.h"

namespace {

std::string divisor_list(const std::string& lines, const std::string& sum) {
    return "enter sayi:sayinin bolenleri asagidadir" + lines + "\nbolenler toplami " + sum + " dir";
}

const dialogue divisor_lists[] = {
    {"divisors", "1\n", divisor_list("\n1", "1")},
    {"divisors", "6\n", divisor_list("\n1\n2\n3\n6", "12")},
    {"divisors", "12\n", divisor_list("\n1\n2\n3\n4\n6\n12", "28")},
    {"divisors", "97\n", divisor_list("\n1\n97", "98")},
    {"divisors", "0\n", divisor_list("", "0")},
    {"divisors", "-12\n", divisor_list("", "0")},
    {"divisors", "-2147483648\n", divisor_list("", "0")},
    {"divisors", "x\n", "enter sayi:", "divisors: \"x\" is not a whole number\n", 1},
    {"divisors", "", "enter sayi:", "divisors: input ended where a number was expected\n", 1},
    // The largest 32-bit value is a prime: the walk tries every d up to it and ends
    // there, and the sum 2^31 wraps to the smallest 32-bit value. Long, so only an
    // optimised build runs it.
    long_run({"divisors", "2147483647\n", divisor_list("\n1\n2147483647", "-2147483648")}),
};
INSTANTIATE_TEST_SUITE_P(Divisors, Dialogue, testing::ValuesIn(divisor_lists));

const std::string asks = "enter sayi:\nenter bolen:";

const dialogue remainders[] = {
    {"divcheck", "10\n5\n", asks + "sayi kalansiz bolunur"},
    {"divcheck", "0 7\n", asks + "sayi kalansiz bolunur"},
    {"divcheck", "10\n3\n", asks + "sayi kalansiz bolunmez, kalan 1 dir"},
    {"divcheck", "3\n10\n", asks + "sayi kalansiz bolunmez, kalan 3 dir"},
    // The remainder of truncating division has the sign of the number.
    {"divcheck", "-10 3", asks + "sayi kalansiz bolunmez, kalan -1 dir"},
    {"divcheck", "10 -3", asks + "sayi kalansiz bolunmez, kalan 1 dir"},
    {"divcheck", "-10 -3", asks + "sayi kalansiz bolunmez, kalan -1 dir"},
    {"divcheck", "-9 3", asks + "sayi kalansiz bolunur"},
    // The ends of the 32-bit range.
    {"divcheck", "-2147483648 3", asks + "sayi kalansiz bolunmez, kalan -2 dir"},
    {"divcheck", "-2147483648 2", asks + "sayi kalansiz bolunur"},
    {"divcheck", "2147483647 -2147483648", asks + "sayi kalansiz bolunmez, kalan 2147483647 dir"},
    {"divcheck", "-2147483648 -1", asks + "sayi kalansiz bolunur"},
    {"divcheck", "-2147483648 -2147483648", asks + "sayi kalansiz bolunur"},
    {"divcheck", "7 -1", asks + "sayi kalansiz bolunur"},
    // A zero divisor has no remainder.
    {"divcheck", "10 0\n", asks, "divcheck: the divisor can't be zero\n", 1},
    {"divcheck", "0\n-0\n", asks, "divcheck: the divisor can't be zero\n", 1},
    // A failed first entry ends the program before the second prompt.
    {"divcheck", "abc 5\n", "enter sayi:", "divcheck: \"abc\" is not a whole number\n", 1},
    {"divcheck", "5\n", asks, "divcheck: input ended where a number was expected\n", 1},
    {"divcheck", "5 2147483648", asks, "divcheck: \"2147483648\" is out of range (-2147483648 to 2147483647)\n", 1},
};
INSTANTIATE_TEST_SUITE_P(Remainders, Dialogue, testing::ValuesIn(remainders));

}  // namespace
