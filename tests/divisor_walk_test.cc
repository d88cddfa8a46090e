// The fast divisor walk against the plain remainder loop it replaces: every variant
// the processor runs must return exactly what the plain loop returns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "divisibility/divisor_walk.h"
#include "divisibility/divisor_walk_variants.h"
#include "tests/long_runs.h"

namespace {

using divisibility::plain_next_divisor;
using divisibility::walk_variants::filter_from;
using divisibility::walk_variants::incremental_from;
using divisibility::walk_variants::variant;
using next_fn = std::int32_t (*)(std::int32_t, std::int32_t);

std::vector<std::int32_t> walk(next_fn next, std::int32_t n) {
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

// The plain loop's walks of every n up to 20000, made once for all the variants.
constexpr std::int32_t every_n_up_to = 20000;
const std::vector<std::vector<std::int32_t>>& plain_walks() {
    static const auto walks = [] {
        std::vector<std::vector<std::int32_t>> all(every_n_up_to + 1);
        for (std::int32_t n = 1; n <= every_n_up_to; ++n) all[static_cast<std::size_t>(n)] = walk(plain_next_divisor, n);
        return all;
    }();
    return walks;
}

// The largest n <= from that has a divisor at incremental_from(n) + offset: a number
// whose walk meets a divisor right where the float filter hands over.
std::int32_t with_divisor_at_incremental_seam(std::int32_t from, std::int32_t offset) {
    std::int32_t n = from;
    while (n % (incremental_from(n) + offset) != 0) --n;
    return n;
}

// Numbers to probe at every divisor and around every seam of the walk.
std::vector<std::int32_t> probed_numbers() {
    std::vector<std::int32_t> numbers = {
        // Many divisors: 2147418000 has 1280, a little below 2^31.
        2095133040, 2142450000, 735134400, 1102701600, 2147418000, 720720,
        // Primes, squares and prime powers near 2^31: 46337 is prime, and so is 1289.
        2147483647, 2147483629, 2147483587, 2147117569, 2147395600, 1073741824, 1162261467, 1220703125,
        1977326743, 2141700569};
    // Just below 2^31 - 1, where the float quotients are least exact.
    for (std::int32_t n = 2147483647 - 200; n != 2147483647; ++n) numbers.push_back(n);
    for (std::int32_t offset = -2; offset <= 2; ++offset) {
        // A divisor where the remainder loop hands over to the float filter, in walks
        // long enough to have a float filter at all.
        for (const std::int32_t times : {17, 100003, 524000}) numbers.push_back((filter_from + offset) * times);
        // A divisor where the float filter hands over to incremental remainders.
        for (const std::int32_t from : {80000, 1000000, 100000000, 2147483647}) {
            numbers.push_back(with_divisor_at_incremental_seam(from, offset));
        }
    }
    return numbers;
}

class DivisorWalk : public testing::TestWithParam<variant> {};

TEST_P(DivisorWalk, MatchesThePlainLoopForEveryNUpTo20000) {
    for (std::int32_t n = 1; n <= every_n_up_to; ++n) {
        ASSERT_EQ(walk(GetParam().next, n), plain_walks()[static_cast<std::size_t>(n)]) << "n = " << n;
    }
}

// Every start, for n decided by the remainder loop alone and for n whose walk crosses
// from it into the faster means at filter_from.
TEST_P(DivisorWalk, MatchesThePlainLoopFromEveryAfterForSmallN) {
    std::vector<std::int32_t> numbers = {4096, 4097, 4099, 5040, 8191};
    for (std::int32_t n = 1; n <= 300; ++n) numbers.push_back(n);
    for (const std::int32_t n : numbers) {
        for (std::int32_t after = 0; after <= n + 1; ++after) {
            ASSERT_EQ(GetParam().next(n, after), plain_next_divisor(n, after)) << "n = " << n << ", after = " << after;
        }
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
        // Where the float filter takes over from the remainder loop.
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
// reaches the next one; and from every start near a seam (filter_from,
// incremental_from(n), and n, before which the last groups end) the walk reaches the
// next divisor. Walks longer than a few million d are left to the full walks below;
// those from the seams go only as far as the seam's neighbourhood.
TEST_P(DivisorWalk, FindsEveryDivisorAndCrossesEverySeam) {
    constexpr std::int32_t long_walk = 1 << 22;
    constexpr std::int32_t near = 520;  // More than two groups of the widest variant.
    for (const std::int32_t n : probed_numbers()) {
        const std::vector<std::int32_t> divisors = divisors_by_pairs(n);
        const auto next_divisor_after = [&divisors](std::int32_t after) {
            const auto found = std::upper_bound(divisors.begin(), divisors.end(), after);
            return found == divisors.end() ? 0 : *found;
        };
        for (const std::int32_t d : divisors) {
            ASSERT_EQ(GetParam().next(n, d - 1), d) << "n = " << n;
            const std::int32_t following = next_divisor_after(d);
            if (following != 0 && following - d > long_walk) continue;
            ASSERT_EQ(GetParam().next(n, d), following) << "n = " << n << ", after = " << d;
        }
        for (const std::int32_t seam : {filter_from, incremental_from(n), n}) {
            // In 64 bits: seam + near passes 2^31 - 1 for the largest n.
            for (std::int64_t wide = std::max(0, seam - near); wide <= std::min<std::int64_t>(n, seam + std::int64_t{near}); ++wide) {
                const auto after = static_cast<std::int32_t>(wide);
                const std::int32_t expected = next_divisor_after(after);
                if (expected != 0 && expected - after > 4 * near) continue;
                ASSERT_EQ(GetParam().next(n, after), expected) << "n = " << n << ", after = " << after;
            }
        }
    }
}

// Whole walks that try every d up to 2^31: the largest prime, numbers with many
// divisors (1600 for 2095133040), the square of a prime and a prime power. Long, so
// only an optimised build runs them.
TEST_P(DivisorWalk, WalksLargeNumbersToTheirEnd) {
    SKIP_UNLESS_LONG_RUNS_ENABLED();
    EXPECT_EQ(walk(GetParam().next, 2147483647), (std::vector<std::int32_t>{1, 2147483647}));
    for (const std::int32_t n : {2095133040, 2147418000, 2147117569, 1977326743}) {
        EXPECT_EQ(walk(GetParam().next, n), divisors_by_pairs(n)) << "n = " << n;
    }
    EXPECT_EQ(divisors_by_pairs(2095133040).size(), 1600U);
}

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
