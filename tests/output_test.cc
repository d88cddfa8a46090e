// What console::print writes: the conversions give the same digits on every
// platform, those of C's printf on Linux: "%.0f" is the exact value of the double
// rounded half to even. Windows' msvcrt.dll printf rounds halves away from zero and
// writes zeros after the seventeenth digit; MinGW's own printf, which its C++
// headers choose, does not. (Wine's msvcrt.dll writes the exact digits too, so under
// Wine these rows pass with either.)
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "console/console.h"

namespace {

std::string printed(void (*write)()) {
    testing::internal::CaptureStdout();
    write();
    return testing::internal::GetCapturedStdout();
}

TEST(Print, WholeDoublesAreTheExactValueRoundedHalfToEven) {
    EXPECT_EQ(printed([] { console::print("%.0f %.0f %.0f %.0f %.0f", 0.5, 1.5, 2.5, 3.5, -2.5); }), "0 2 2 4 -2");
    // 2^70, 10^23 as a double holds it, and the largest Fibonacci term fibseries writes.
    EXPECT_EQ(printed([] { console::print("%.0f|%.0f", 0x1p70, 1e23); }),
              "1180591620717411303424|99999999999999991611392");
    EXPECT_EQ(printed([] { console::print("%.0f", 1.3069892237633987e308); }),
              "130698922376339873754511593703999304853661815941920982715896371280424691495866567130509827"
              "216117625177952738381240755518030797439683443697785696230802473309617042775347304891963181"
              "519627287463521203531259388682404883801028462229399345567884825464934136563115441584430300"
              "333788777345438315116223032518554681344");
}

TEST(Print, IntegersHaveASignAndNoPadding) {
    EXPECT_EQ(printed([] { console::print("%d|%d|%d", INT32_MIN, INT32_MAX, 0); }), "-2147483648|2147483647|0");
}

// print formats into a buffer on its stack and moves to one on the heap for a
// longer text; around the buffer's size of 256 bytes, the text must come out whole,
// its last character included (not the NUL that ends a string cut short).
class PrintLength : public testing::TestWithParam<std::size_t> {};

TEST_P(PrintLength, WritesTheWholeTextAroundTheStackBuffersSize) {
    const std::string text = std::string(GetParam() - 1, 'a') + "z";
    testing::internal::CaptureStdout();
    console::print("%s", text.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), text);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PrintLength, testing::Values(255, 256, 257, 511, 512, 513));

}  // namespace
