// The divisor walk at the speed of the vector unit, trying the same d as the plain
// loop and returning the same divisor.
//
// Every d after `after` is still decided, in ascending order, by one of three means,
// each taking over from the one before as d grows (the seams are in
// divisor_walk_variants.h):
//  1. d below filter_from: the remainder n % d.
//  2. d below incremental_from(n): a float filter. One vector division gives the float
//     quotients n / d of sixteen (AVX-512), eight (AVX2) or four (portable) d, and
//     only a d whose quotient lies within a relative 2^-22 of an integer gets a
//     remainder, which decides it.
//  3. d from incremental_from(n) to n: incremental remainders. Consecutive d share the
//     quotient q = floor(n / d) over long runs; q is found by one division at the
//     start of a run, and each d of the run is then decided by a subtraction and a
//     sign test.
// Each means is proven below never to pass over a divisor; the tests compare every
// variant with the plain loop.
#include "divisor_walk.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "divisor_walk_variants.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
// g++ 12.2 warns of the deliberately undefined vectors inside its own AVX-512
// intrinsics (GCC bug 105593); the warning is silenced for that header only.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#define DIVISOR_WALK_X86 1
#else
#define DIVISOR_WALK_X86 0
#endif

namespace divisibility {
namespace {

using walk_variants::filter_from;

// The smallest d with from <= d <= to that divides n, or 0, by the plain remainder
// loop. Requires 1 <= from <= to; d never goes past to, so to = 2147483647 does not
// overflow.
std::int32_t first_by_remainder(std::int32_t n, std::int32_t from, std::int32_t to) {
    for (std::int32_t d = from;; ++d) {
        if (n % d == 0) return d;
        if (d == to) return 0;
    }
}

// ---------------------------------------------------------------------------------
// The float filter, for filter_from <= d < incremental_from(n).
//
// The float test only picks which d are worth a remainder; it may let a non-divisor
// through, but it never drops a divisor:
//  - for d >= filter_from = 4096, the quotient q of a divisor is an integer of at
//    most 2^19;
//  - float(n), float(d) and the division each round by at most a relative 2^-24, so
//    the float quotient is within 3 * 2^-24 * q (below 0.1) of q: rounding it to the
//    nearest integer gives q back, and it is nearer to q than the tolerance
//    2^-22 = 4 * 2^-24 of itself.
// The test has also been run on every pair of d >= 4096 and q with q * d <= 2^31 - 1:
// none is dropped. d below 4096 are tried by remainder alone: there the quotient of a
// large n is so big that the tolerance would let nearly every d through anyway.
//
// Float rather than double, although a double quotient would be exact: a division
// does twice as many floats, and measured about twice as fast. Below the seam to
// incremental remainders the filter also measured well ahead of the plain remainder
// loop, the other means that could decide those d.
//
// Every filter below returns the smallest d with from <= d <= to that divides n, or
// 0. Requires filter_from <= from and to <= n; d + block never passes to.
constexpr float tolerance = 0x1p-22f;

#if DIVISOR_WALK_X86

// Lanes whose quotient is within the tolerance of the nearest integer.
__attribute__((target("avx512f"), always_inline)) inline __mmask16 near_integer_avx512(__m512 q) {
    const __m512 nearest = _mm512_roundscale_ps(q, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m512 distance = _mm512_abs_ps(_mm512_sub_ps(q, nearest));
    return _mm512_cmp_ps_mask(distance, _mm512_mul_ps(q, _mm512_set1_ps(tolerance)), _CMP_LE_OQ);
}

// Two divisions in flight, 32 d to a round: measured faster than one or four.
__attribute__((target("avx512f"))) std::int32_t filter_avx512(std::int32_t n, std::int32_t from, std::int32_t to) {
    constexpr std::int32_t block = 32;
    const __m512 nf = _mm512_set1_ps(static_cast<float>(n));
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    std::int32_t d = from;
    for (; d <= to - (block - 1); d += block) {
        const __m512i low = _mm512_add_epi32(lanes, _mm512_set1_epi32(d));
        const __m512i high = _mm512_add_epi32(low, _mm512_set1_epi32(16));
        const __m512 q_low = _mm512_div_ps(nf, _mm512_cvtepi32_ps(low));
        const __m512 q_high = _mm512_div_ps(nf, _mm512_cvtepi32_ps(high));
        if ((near_integer_avx512(q_low) | near_integer_avx512(q_high)) != 0) {
            const std::int32_t found = first_by_remainder(n, d, d + (block - 1));
            if (found != 0) return found;
        }
    }
    return d <= to ? first_by_remainder(n, d, to) : 0;
}

// Nonzero when a lane's quotient is within the tolerance of the nearest integer.
__attribute__((target("avx2"), always_inline)) inline int near_integer_avx2(__m256 q) {
    const __m256 nearest = _mm256_round_ps(q, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256 distance = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(q, nearest));
    const __m256 near = _mm256_cmp_ps(distance, _mm256_mul_ps(q, _mm256_set1_ps(tolerance)), _CMP_LE_OQ);
    return _mm256_movemask_ps(near);
}

// One division a round: more in flight measured no faster.
__attribute__((target("avx2"))) std::int32_t filter_avx2(std::int32_t n, std::int32_t from, std::int32_t to) {
    constexpr std::int32_t block = 8;
    const __m256 nf = _mm256_set1_ps(static_cast<float>(n));
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    std::int32_t d = from;
    for (; d <= to - (block - 1); d += block) {
        const __m256 q = _mm256_div_ps(nf, _mm256_cvtepi32_ps(_mm256_add_epi32(lanes, _mm256_set1_epi32(d))));
        if (near_integer_avx2(q) != 0) {
            const std::int32_t found = first_by_remainder(n, d, d + (block - 1));
            if (found != 0) return found;
        }
    }
    return d <= to ? first_by_remainder(n, d, to) : 0;
}

#endif  // DIVISOR_WALK_X86

// The same test with the compiler's generic four-lane vectors, which become SSE2 or
// NEON where there is one and scalar code elsewhere; two divisions in flight, eight d
// to a round, measured fastest. Rounding to the nearest integer by adding and taking
// away 2^23 is exact for 0 <= q < 2^22 only when float expressions are evaluated as
// float, in the default rounding mode, and not reassociated; where that is not
// promised the filter is the remainder loop alone.
std::int32_t filter_portable(std::int32_t n, std::int32_t from, std::int32_t to) {
#if defined(__GNUC__) && defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0 && !defined(__FAST_MATH__)
    using floats = float __attribute__((vector_size(16)));
    using ints = std::int32_t __attribute__((vector_size(16)));
    constexpr std::int32_t block = 8;
    const auto nf = static_cast<float>(n);
    const floats nv = {nf, nf, nf, nf};
    const floats round_bias = {0x1p23f, 0x1p23f, 0x1p23f, 0x1p23f};
    const floats tolerances = {tolerance, tolerance, tolerance, tolerance};
    const ints lanes = {0, 1, 2, 3};
    std::int32_t d = from;
    for (; d <= to - (block - 1); d += block) {
        ints near = {0, 0, 0, 0};
        for (std::int32_t half = 0; half < block; half += 4) {
            const floats q = nv / __builtin_convertvector(lanes + (d + half), floats);
            const floats distance = q - ((q + round_bias) - round_bias);
            const floats limit = q * tolerances;
            near |= (distance <= limit) & (distance >= -limit);
        }
        std::uint64_t words[2];
        std::memcpy(words, &near, sizeof words);
        if ((words[0] | words[1]) != 0) {
            const std::int32_t found = first_by_remainder(n, d, d + (block - 1));
            if (found != 0) return found;
        }
    }
    return d <= to ? first_by_remainder(n, d, to) : 0;
#else
    return first_by_remainder(n, from, to);
#endif
}

// ---------------------------------------------------------------------------------
// Incremental remainders, for incremental_from(n) <= d <= n.
//
// A run starts at some d0 >= filter_from = 2^12 with q = floor(n / d0), found by one
// division. A group is G consecutive d, g to g + G - 1, one lane each, G <= 2^9; the
// lane of d holds
//     s(d) = n - q * d - 1.
// The first group of a run starts at d0; moving a group on to the next G d subtracts
// G * q from every lane.
//
// Bounds: 1 <= q <= n / 2^12 < 2^19, so G * q < 2^28.
//  - When a run starts, n - q * d0 = n mod d0 lies in [0, d0 - 1], so lane i of the
//    first group holds (n - q * d0 - 1) - q * i, in [-1 - q * (G - 1), d0 - 2].
//  - A group is moved on only when none of its lanes is negative, so afterwards every
//    lane is at least -G * q; lanes only ever decrease.
// Every lane therefore lies in [-G * q, 2^31 - 3], and the products that build them,
// q * i, q * lanes and G * q, are below 2^28: nothing leaves the 32-bit range. A
// group is started only when it ends before n (g <= n - G), so d + G never passes n.
//
// A lane that is not negative holds no divisor. floor(n / d) does not grow with d,
// and d >= d0, so floor(n / d) <= q. If s(d) >= 0, then q * d < n, so
// q <= floor(n / d): q is exactly floor(n / d), and n mod d = n - q * d = s(d) + 1,
// at least 1. Hence a group whose lanes are all non-negative holds no divisor.
//
// The exact path: the first d, in ascending order, whose lane is negative gets the
// remainder n % d; every d before it was proven above. s(d) = -1 exactly when
// q * d = n: a divisor, which the remainder finds and the walk returns. s(d) < -1
// means q * d > n: q has gone stale (d has entered the run of a smaller quotient),
// and the remainder decides d. Either way the walk goes on from d + 1 with a fresh q,
// so a stale q never decides any d. A group holding n would always take the exact
// path (s(n) = -1 - (q - 1) * n < 0); instead, the d after the last whole group
// below n, and n itself, are decided by remainders.

using run_fn = std::int32_t (*)(std::int32_t n, std::int32_t d, std::int32_t last);

#if defined(__GNUC__)

// A vector of 32-bit lanes of the compiler's generic kind, Bytes wide: the same code
// becomes AVX-512, AVX2 or SSE2 (or NEON, or scalar) by the target it is compiled for.
template <int Bytes>
using lanes_of [[gnu::vector_size(Bytes)]] = std::int32_t;

// True when any lane is negative: the sign bits folded by halves down to 64 bits.
template <int Bytes>
[[gnu::always_inline]] inline bool any_negative(const lanes_of<Bytes>& v) {
    if constexpr (Bytes == 16) {
        std::uint64_t words[2];
        std::memcpy(words, &v, sizeof words);
        return ((words[0] | words[1]) & 0x8000000080000000U) != 0;
    } else {
        lanes_of<Bytes / 2> low;
        lanes_of<Bytes / 2> high;
        std::memcpy(&low, &v, sizeof low);
        std::memcpy(&high, reinterpret_cast<const char*>(&v) + sizeof low, sizeof high);
        const lanes_of<Bytes / 2> both = low | high;
        return any_negative<Bytes / 2>(both);
    }
}

// One run: takes q = floor(n / d) and moves groups of G d on, the first at d, while
// their lanes prove them free of divisors, up to the last group that starts at or
// before `last`. Returns the first d it has not proven: the first negative lane of the
// group that stopped it, or the d after the last group. No d from the given d up to
// the one returned divides n. Requires filter_from <= d <= last <= n - G.
//
// Always inlined into a function compiled for the target, so that the generic
// vectors become that target's registers, where the whole group stays.
template <int Bytes, int G>
[[gnu::always_inline]] inline std::int32_t first_unproven(std::int32_t n, std::int32_t d, std::int32_t last) {
    using vector = lanes_of<Bytes>;
    constexpr int lanes = Bytes / 4;
    constexpr int count = G / lanes;
    static_assert(G % lanes == 0 && G <= 512, "the bounds above need whole vectors and G <= 2^9");
    const std::int32_t q = n / d;
    vector lane{};
    for (int i = 0; i < lanes; ++i) lane[i] = i;
    vector s[count];
    s[0] = (n - q * d - 1) - lane * q;
#pragma GCC unroll 64
    for (int k = 1; k < count; ++k) s[k] = s[k - 1] - lanes * q;
    const vector step = vector{} + G * q;
    for (;;) {
        vector negative = s[0];
#pragma GCC unroll 64
        for (int k = 1; k < count; ++k) negative |= s[k];
        if (any_negative<Bytes>(negative)) break;
        if (d > last - G) return d + G;
        d += G;
#pragma GCC unroll 64
        for (int k = 0; k < count; ++k) s[k] -= step;
    }
    for (int k = 0; k < count; ++k) {
        for (int i = 0; i < lanes; ++i) {
            if (s[k][i] < 0) return d + k * lanes + i;
        }
    }
    return d;  // Not reached; d itself is always a safe answer.
}

// The group of each vector width: the largest whose lanes stay in the target's
// registers (32 for AVX-512, 16 for AVX2 and SSE2) with g++ and clang++ alike. A
// larger one spilled and measured slower with one compiler or the other; a smaller
// one spends a larger share of each group on folding its signs.
#if DIVISOR_WALK_X86
constexpr int group_avx512 = 256;
constexpr int group_avx2 = 96;
__attribute__((target("avx512f"))) std::int32_t run_avx512(std::int32_t n, std::int32_t d, std::int32_t last) {
    return first_unproven<64, group_avx512>(n, d, last);
}
__attribute__((target("avx2"))) std::int32_t run_avx2(std::int32_t n, std::int32_t d, std::int32_t last) {
    return first_unproven<32, group_avx2>(n, d, last);
}
#endif
constexpr int group_portable = 48;
std::int32_t run_portable(std::int32_t n, std::int32_t d, std::int32_t last) {
    return first_unproven<16, group_portable>(n, d, last);
}

#else  // Without generic vectors nothing is proven; every d gets its remainder.

constexpr int group_portable = 48;
std::int32_t run_portable(std::int32_t /*n*/, std::int32_t d, std::int32_t /*last*/) { return d; }

#endif

// The smallest d with from <= d <= n that divides n (n at the latest), run after run.
// Requires filter_from <= from <= n.
template <run_fn run, int G>
std::int32_t incremental(std::int32_t n, std::int32_t from) {
    std::int32_t d = from;
    while (d <= n - G) {
        d = run(n, d, n - G);
        if (d <= n - G) {
            if (n % d == 0) return d;
            ++d;
        }
    }
    return first_by_remainder(n, d, n);
}

using filter_fn = std::int32_t (*)(std::int32_t n, std::int32_t from, std::int32_t to);

// The walk of every variant: the three means in turn. A means whose range reaches n
// returns a divisor, n at the latest, so the next one starts at most at n.
template <filter_fn filter, run_fn run, int G>
std::int32_t walk(std::int32_t n, std::int32_t after) {
    if (after >= n) return 0;
    std::int32_t d = after + 1;
    if (d < filter_from) {
        if (const std::int32_t found = first_by_remainder(n, d, std::min(n, filter_from - 1)); found != 0) return found;
        d = filter_from;
    }
    const std::int32_t switch_at = walk_variants::incremental_from(n);
    if (d < switch_at) {
        if (const std::int32_t found = filter(n, d, std::min(n, switch_at - 1)); found != 0) return found;
        d = switch_at;
    }
    return incremental<run, G>(n, d);
}

#if DIVISOR_WALK_X86
std::int32_t next_avx512(std::int32_t n, std::int32_t after) {
    return walk<filter_avx512, run_avx512, group_avx512>(n, after);
}
std::int32_t next_avx2(std::int32_t n, std::int32_t after) { return walk<filter_avx2, run_avx2, group_avx2>(n, after); }
#endif
std::int32_t next_portable(std::int32_t n, std::int32_t after) {
    return walk<filter_portable, run_portable, group_portable>(n, after);
}

}  // namespace

std::int32_t plain_next_divisor(std::int32_t n, std::int32_t after) {
    if (after >= n) return 0;
    for (std::int32_t d = after + 1;; ++d) {
        if (n % d == 0) return d;
    }
}

namespace walk_variants {

// The first d >= filter_from with d * d >= 256 * n. The run of one quotient q is about
// n / q^2 = d^2 / n long, so from there on every q lasts at least about 256 d, a
// group of the widest variant. Below that, q changes so often that its division and
// the new group it needs cost more than the float filter of the same d. 256 measured
// best, or within noise of the best, on every vector width, for small and large n.
std::int32_t incremental_from(std::int32_t n) {
    const std::int64_t product = std::int64_t{256} * n;
    auto root = static_cast<std::int64_t>(std::sqrt(static_cast<double>(product)));
    while (root * root < product) ++root;
    while (root > 0 && (root - 1) * (root - 1) >= product) --root;
    return static_cast<std::int32_t>(std::max<std::int64_t>(root, filter_from));
}

std::span<const variant> runnable() {
    static const std::vector<variant> variants = [] {
        std::vector<variant> found;
#if DIVISOR_WALK_X86
        // Reports a unit only when the operating system also saves its registers.
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) found.push_back({"avx512", next_avx512});
        if (__builtin_cpu_supports("avx2")) found.push_back({"avx2", next_avx2});
#endif
        found.push_back({"portable", next_portable});
        return found;
    }();
    return variants;
}

}  // namespace walk_variants

std::int32_t next_divisor(std::int32_t n, std::int32_t after) {
    static const auto walk = walk_variants::runnable().front().next;
    return walk(n, after);
}

}  // namespace divisibility
