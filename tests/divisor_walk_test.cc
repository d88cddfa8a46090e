// The fast divisor walk against the plain remainder loop it replaces: every variant
// the processor runs must return exactly what the plain loop returns.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "divisibility/divisor_walk.h"
#include "divisibility/divisor_walk_variants.h"

namespace {

using divisibility::plain_next_divisor;
using divisibility::walk_variants::variant;

std::vector<std::int32_t> walk(std::int32_t (*next)(std::int32_t, std::int32_t), std::int32_t n) {
    std::vector<std::int32_t> found;
    for (std::int32_t d = next(n, 0); d != 0; d = next(n, d)) found.push_back(d);
    return found;
}

// The divisors of n by pairing d with n / d: an answer reached another way than the
// walks under test, and fast enough for any n.
std::vector<std::int32_t> divisors_by_pairs(std::int32_t n) {
    std::vector<std::int32_t> low, high;
    for (std::int32_t d = 1; d <= n / d; ++d) {
        if (n % d != 0) continue;
        low.push_back(d);
        if (d != n / d) high.push_back(n / d);
    }
    low.insert(low.end(), high.rbegin(), high.rend());
    return low;
}

class DivisorWalk : public testing::TestWithParam<variant> {};

TEST_P(DivisorWalk, MatchesThePlainLoopForEverySmallN) {
    // Past 4096 on purpose: the float test takes over from the remainder loop there.
    for (std::int32_t n = 1; n <= 12000; ++n) {
        ASSERT_EQ(walk(GetParam().next, n), walk(plain_next_divisor, n)) << "n = " << n;
    }
}

TEST_P(DivisorWalk, FindsNothingForNOfZeroOrBelow) {
    for (const std::int32_t n : {0, -1, -2, -4096, -2147483647 - 1}) {
        for (const std::int32_t after : {0, 1, 5000, 2147483647}) {
            EXPECT_EQ(GetParam().next(n, after), 0) << "n = " << n << ", after = " << after;
        }
    }
}

TEST_P(DivisorWalk, StartsRightAfterAnyAfter) {
    struct start {
        std::int32_t n, after, next;
    };
    const std::vector<start> starts = {
        // Where the float test takes over from the remainder loop.
        {720720, 4094, 4095}, {720720, 4095, 4290}, {720720, 4096, 4290}, {720720, 4289, 4290},
        {720720, 360359, 360360}, {720720, 360360, 720720}, {720720, 720719, 720720}, {720720, 720720, 0},
        // A prime: from anywhere, only n is left.
        {1000003, 1, 1000003}, {1000003, 4095, 1000003}, {1000003, 500001, 1000003}, {1000003, 1000002, 1000003},
        {2095133040, 65535, 65637}, {2095133040, 1047566519, 1047566520}, {2095133040, 1047566520, 2095133040},
        {2095133040, 2095133039, 2095133040}, {2095133040, 2095133040, 0}, {2095133040, 2147483647, 0},
        {2147483646, 1073741822, 1073741823}, {2147483646, 1073741823, 2147483646},
        {2147483647, 1073741823, 2147483647}, {2147483647, 2147483646, 2147483647}, {2147483647, 2147483647, 0},
    };
    for (const start& s : starts) {
        EXPECT_EQ(GetParam().next(s.n, s.after), s.next) << "n = " << s.n << ", after = " << s.after;
    }
}

// Every divisor is found from the d just before it, and from each divisor the walk
// reaches the next one; gaps longer than a few million d are left to the full walks.
// The numbers have many divisors (2147418000 has 1280, a little below 2^31) or lie
// just below 2^31 - 1, where the float quotients are least exact.
TEST_P(DivisorWalk, FindsEveryDivisorFromJustBeforeIt) {
    std::vector<std::int32_t> numbers = {2095133040, 2142450000, 735134400, 1102701600, 2147418000};
    for (std::int32_t n = 2147483647 - 200; n != 2147483647; ++n) numbers.push_back(n);
    for (const std::int32_t n : numbers) {
        const std::vector<std::int32_t> divisors = divisors_by_pairs(n);
        for (std::size_t i = 0; i < divisors.size(); ++i) {
            ASSERT_EQ(GetParam().next(n, divisors[i] - 1), divisors[i]) << "n = " << n;
            const std::int32_t following = i + 1 < divisors.size() ? divisors[i + 1] : 0;
            if (following != 0 && following - divisors[i] > (1 << 22)) continue;
            ASSERT_EQ(GetParam().next(n, divisors[i]), following) << "n = " << n << ", after = " << divisors[i];
        }
    }
}

#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
// Whole walks that try every d up to 2^31: the largest prime, and numbers with many
// divisors, 1600 for 2095133040.
TEST_P(DivisorWalk, WalksLargeNumbersToTheirEnd) {
    EXPECT_EQ(walk(GetParam().next, 2147483647), (std::vector<std::int32_t>{1, 2147483647}));
    for (const std::int32_t n : {2095133040, 2147418000}) {
        EXPECT_EQ(walk(GetParam().next, n), divisors_by_pairs(n)) << "n = " << n;
    }
    EXPECT_EQ(divisors_by_pairs(2095133040).size(), 1600U);
}
#endif

INSTANTIATE_TEST_SUITE_P(EveryRunnableVariant, DivisorWalk,
                         testing::ValuesIn(divisibility::walk_variants::runnable().begin(),
                                           divisibility::walk_variants::runnable().end()),
                         [](const testing::TestParamInfo<variant>& each) { return std::string(each.param.name); });

// The portable variant runs everywhere, so every processor tests at least it, and it
// comes last: next_divisor takes the first, the widest the processor offers.
TEST(DivisorWalkVariants, ThePortableOneIsAlwaysOfferedLast) {
    const auto offered = divisibility::walk_variants::runnable();
    ASSERT_FALSE(offered.empty());
    EXPECT_STREQ(offered.back().name, "portable");
    for (const variant& v : offered.first(offered.size() - 1)) EXPECT_STRNE(v.name, "portable");
}

}  // namespace
