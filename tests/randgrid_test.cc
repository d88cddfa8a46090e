// randgrid: the bounds dialogue through the real program, and the batch itself for
// a fixed seed.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <sstream>
#include <string>

#include "randgrid/batch.h"
#include "tests/dialogue.h"
#include "tests/repeated.h"
#include "tests/run_program.h"

namespace {

const std::string ask = "enter N1:enter N2:";
const std::string ended = "\nN1 and N2 can't be zero, loop terminated";
const std::string refused = "\nN1 can't be negative or bigger than N2 enter new values \n";
const std::string equal = "\nN1 and N2 can't be equal enter new values \n";

// Width one: all 100 values are N2.
const std::string all_twos = repeated(repeated("2 \t", 10) + "\n", 10);

const dialogue bounds[] = {
    // A zero bound ends the loop, but only after N2 is read, and before the range
    // test; then one more entry, whatever it is, ends the program.
    {"randgrid", "0\n5\nbye\n", ask + ended},
    {"randgrid", "3 0\n\n\n  \n7\n", ask + ended},
    {"randgrid", "-3 0", ask + ended},
    {"randgrid", "0 -5\n", ask + ended},
    // Refused pairs are asked for again.
    {"randgrid", "-1 5\n5 3\n5 -3\n0 0\n", repeated(ask + refused, 3) + ask + ended},
    {"randgrid", "5 5\n-2 -2\n0 0\n", ask + equal + ask + refused + ask + ended},
    {"randgrid", "1 2\n1\n2\n0 0 x\n", ask + all_twos + ask + all_twos + ask + ended},
};
INSTANTIATE_TEST_SUITE_P(RandgridBounds, Dialogue, testing::ValuesIn(bounds));

const dialogue failures[] = {
    {"randgrid", "", "enter N1:", "randgrid: input ended where a number was expected\n", 1},
    {"randgrid", "abc 5\n", "enter N1:", "randgrid: \"abc\" is not a whole number\n", 1},
    {"randgrid", "5\n", ask, "randgrid: input ended where a number was expected\n", 1},
    {"randgrid", "1 2\n7 x\n", ask + all_twos + ask, "randgrid: \"x\" is not a whole number\n", 1},
    {"randgrid", "-5 1x\n", ask + refused + "enter N1:", "randgrid: \"x\" is not a whole number\n", 1},
    {"randgrid", "1 4294967296\n", ask, "randgrid: \"4294967296\" is out of range (-2147483648 to 2147483647)\n", 1},
};
INSTANTIATE_TEST_SUITE_P(RandgridFailures, Dialogue, testing::ValuesIn(failures));

// Pinned against an independent implementation of the 32-bit Mersenne Twister
// (the engine std::mt19937 names) with the value formula low + (r mod width) + 1.
TEST(RandgridBatch, AFixedSeedGivesTheseValuesInRowsOfTen) {
    EXPECT_EQ(randgrid::batch(1, 10, 1765432100),
              "8 \t2 \t10 \t9 \t10 \t2 \t3 \t9 \t10 \t7 \t\n5 \t10 \t10 \t6 \t7 \t3 \t3 \t6 \t4 \t9 \t\n"
              "9 \t3 \t3 \t7 \t4 \t4 \t9 \t10 \t3 \t3 \t\n7 \t4 \t3 \t7 \t2 \t8 \t7 \t3 \t3 \t2 \t\n"
              "6 \t4 \t2 \t2 \t9 \t9 \t4 \t6 \t2 \t9 \t\n8 \t2 \t3 \t3 \t9 \t7 \t4 \t3 \t9 \t10 \t\n"
              "5 \t3 \t10 \t5 \t5 \t2 \t10 \t10 \t5 \t9 \t\n9 \t10 \t7 \t3 \t6 \t3 \t7 \t2 \t5 \t2 \t\n"
              "9 \t10 \t5 \t6 \t5 \t7 \t4 \t4 \t3 \t9 \t\n7 \t9 \t8 \t9 \t4 \t10 \t7 \t5 \t3 \t4 \t\n");
}

TEST(RandgridBatch, TheWidestPairUsesTheWholeRange) {
    const std::string text = randgrid::batch(1, 2147483647, 7);
    EXPECT_EQ(text.substr(0, 34), "327741617 \t976413894 \t1202242077 \t");
    EXPECT_EQ(text.substr(text.size() - 13), "1289946529 \t\n");
}

// A batch from the real clock: ten rows of ten values, each within (N1, N2].
TEST(RandgridBatch, ClockSeededValuesStayWithinTheBounds) {
    const run_result r = run_program("randgrid", "7 12\n0 0\n");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.out.substr(0, ask.size()), ask);
    ASSERT_EQ(r.out.substr(r.out.size() - ask.size() - ended.size()), ask + ended);
    std::istringstream rows(r.out.substr(ask.size(), r.out.size() - 2 * ask.size() - ended.size()));
    int row_count = 0;
    for (std::string row; std::getline(rows, row); ++row_count) {
        std::istringstream values(row);
        int count = 0;
        std::string laid_out;  // every value followed by a blank and a tab
        for (int v; values >> v; ++count) {
            EXPECT_GT(v, 7);
            EXPECT_LE(v, 12);
            laid_out += std::to_string(v) + " \t";
        }
        EXPECT_EQ(count, 10);
        EXPECT_EQ(row, laid_out);
    }
    EXPECT_EQ(row_count, 10);
}

// The batch is seeded with the clock's whole seconds when it is written: it is the
// batch for one of the seconds that the clock showed during the run. The width is
// large, so that a batch for another seed cannot pass for it.
TEST(RandgridBatch, IsTheBatchForTheClocksSecond) {
    const std::time_t before = std::time(nullptr);
    const run_result r = run_program("randgrid", "1000 2000000000\n0 0\n");
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(r.status, 0);
    ASSERT_GT(r.out.size(), 2 * ask.size() + ended.size());
    const std::string written = r.out.substr(ask.size(), r.out.size() - 2 * ask.size() - ended.size());
    bool found = false;
    for (std::time_t second = before; second <= after && !found; ++second) {
        found = written == randgrid::batch(1000, 2000000000, static_cast<std::uint32_t>(second));
    }
    EXPECT_TRUE(found) << "no second from " << before << " to " << after << " gives " << written.substr(0, 60);
}

}  // namespace
