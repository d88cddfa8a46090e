// The divisor walk at the speed of the vector unit, trying the same d as the plain
// loop and returning the same divisor.
//
// Every d after `after` is still tried, in ascending order, but sixteen (AVX-512) or
// eight (AVX2) at a time: one vector division gives the float quotients n / d, and a
// d whose quotient lies within a relative 2^-22 of an integer is a candidate that the
// integer remainder n % d confirms or rejects before anything is returned. So the
// float test only picks which d are worth a remainder; it may let a non-divisor
// through, but it must never drop a divisor, and it does not:
//  - for d >= 4096, the quotient q of a divisor is an integer of at most 2^19;
//  - float(n), float(d) and the division each round by at most a relative 2^-24, so
//    the float quotient is within 3 * 2^-24 * q (below 0.1) of q: rounding it to the
//    nearest integer gives q back, and it is nearer to q than the tolerance
//    2^-22 = 4 * 2^-24 of itself.
// The test has also been run on every pair of d >= 4096 and q with q * d <= 2^31 - 1:
// none is dropped, and the largest distance is 0.60 of the tolerance. d below 4096
// are tried by remainder alone: there the quotient of a large n is so big that the
// tolerance would let nearly every d through anyway, and the argument above need not
// stretch to them. That is 4095 remainders at most, a few microseconds.
//
// Float rather than double, although a double quotient would be exact: a division
// does twice as many floats, and measured 2.2 times faster on AVX-512 (n = 2^31 - 1:
// 0.14 s against 0.31 s on AMD Zen 5). The non-divisors let through, 14125 of them
// for n = 2^31 - 1, cost one remainder each.
#include "divisor_walk.h"

#include <algorithm>
#include <cfloat>
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

// Where the float test takes over from the remainder loop (see above).
constexpr std::int32_t filter_from = 4096;
constexpr float tolerance = 0x1p-22f;

// The smallest d with from <= d <= to that divides n, or 0, by the plain remainder
// loop: for d below filter_from, the d of a block with a candidate, and the last few
// d before n. Requires 1 <= from <= to; d never goes past to, so to = 2147483647
// does not overflow.
std::int32_t first_by_remainder(std::int32_t n, std::int32_t from, std::int32_t to) {
    for (std::int32_t d = from;; ++d) {
        if (n % d == 0) return d;
        if (d == to) return 0;
    }
}

// The start every variant shares: d below filter_from by remainder alone. Returns the
// divisor found there (or 0 when n <= after), or leaves d at the first d the float
// test is to try and returns -1.
std::int32_t walk_below_filter(std::int32_t n, std::int32_t after, std::int32_t& d) {
    if (after >= n) return 0;
    d = after + 1;
    if (d < filter_from) {
        const std::int32_t found = first_by_remainder(n, d, std::min(n, filter_from - 1));
        if (found != 0) return found;
        // n < filter_from would have been found: it divides itself.
        d = filter_from;
    }
    return -1;
}

// In every variant below, a block of d that reaches n ends the walk there, since n
// divides itself; so d + block never passes n and never overflows.

#if DIVISOR_WALK_X86

// Lanes whose quotient is within the tolerance of the nearest integer.
__attribute__((target("avx512f"), always_inline)) inline __mmask16 near_integer_avx512(__m512 q) {
    const __m512 nearest = _mm512_roundscale_ps(q, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m512 distance = _mm512_abs_ps(_mm512_sub_ps(q, nearest));
    return _mm512_cmp_ps_mask(distance, _mm512_mul_ps(q, _mm512_set1_ps(tolerance)), _CMP_LE_OQ);
}

// Two divisions in flight, 32 d to a round: measured fastest on Zen 5 for
// n = 2^31 - 1 (one: 0.155 s, two: 0.137 s, four: 0.150 s).
__attribute__((target("avx512f"))) std::int32_t next_avx512(std::int32_t n, std::int32_t after) {
    std::int32_t d = 0;
    if (const std::int32_t found = walk_below_filter(n, after, d); found >= 0) return found;
    constexpr std::int32_t block = 32;
    const __m512 nf = _mm512_set1_ps(static_cast<float>(n));
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    for (; d <= n - (block - 1); d += block) {
        const __m512i low = _mm512_add_epi32(lanes, _mm512_set1_epi32(d));
        const __m512i high = _mm512_add_epi32(low, _mm512_set1_epi32(16));
        const __m512 q_low = _mm512_div_ps(nf, _mm512_cvtepi32_ps(low));
        const __m512 q_high = _mm512_div_ps(nf, _mm512_cvtepi32_ps(high));
        if ((near_integer_avx512(q_low) | near_integer_avx512(q_high)) != 0) {
            const std::int32_t found = first_by_remainder(n, d, d + (block - 1));
            if (found != 0) return found;
        }
    }
    return first_by_remainder(n, d, n);
}

// Nonzero when a lane's quotient is within the tolerance of the nearest integer.
__attribute__((target("avx2"), always_inline)) inline int near_integer_avx2(__m256 q) {
    const __m256 nearest = _mm256_round_ps(q, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256 distance = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(q, nearest));
    const __m256 near = _mm256_cmp_ps(distance, _mm256_mul_ps(q, _mm256_set1_ps(tolerance)), _CMP_LE_OQ);
    return _mm256_movemask_ps(near);
}

// One division a round: two or four in flight measured no faster (0.30 s for
// n = 2^31 - 1 on Zen 5 either way).
__attribute__((target("avx2"))) std::int32_t next_avx2(std::int32_t n, std::int32_t after) {
    std::int32_t d = 0;
    if (const std::int32_t found = walk_below_filter(n, after, d); found >= 0) return found;
    constexpr std::int32_t block = 8;
    const __m256 nf = _mm256_set1_ps(static_cast<float>(n));
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    for (; d <= n - (block - 1); d += block) {
        const __m256 q = _mm256_div_ps(nf, _mm256_cvtepi32_ps(_mm256_add_epi32(lanes, _mm256_set1_epi32(d))));
        if (near_integer_avx2(q) != 0) {
            const std::int32_t found = first_by_remainder(n, d, d + (block - 1));
            if (found != 0) return found;
        }
    }
    return first_by_remainder(n, d, n);
}

#endif  // DIVISOR_WALK_X86

// The same test with the compiler's generic four-lane vectors, which become SSE2 or
// NEON where there is one and scalar code elsewhere; two divisions in flight, eight
// d to a round (one: 0.86 s, two: 0.84 s, four: 0.80 to 1.03 s by compiler for
// n = 2^31 - 1 on Zen 5 with SSE2; a plain scalar loop of the same test ran 0.7 s
// with clang++ but 2.7 s with g++ -O3). Rounding to the nearest integer by adding and
// taking away 2^23 is exact for 0 <= q < 2^22 only when float expressions are
// evaluated as float, in the default rounding mode, and not reassociated; where that
// is not promised the walk is the remainder loop alone.
std::int32_t next_portable(std::int32_t n, std::int32_t after) {
#if defined(__GNUC__) && defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0 && !defined(__FAST_MATH__)
    using floats = float __attribute__((vector_size(16)));
    using ints = std::int32_t __attribute__((vector_size(16)));
    std::int32_t d = 0;
    if (const std::int32_t found = walk_below_filter(n, after, d); found >= 0) return found;
    constexpr std::int32_t block = 8;
    const auto nf = static_cast<float>(n);
    const floats nv = {nf, nf, nf, nf};
    const floats round_bias = {0x1p23f, 0x1p23f, 0x1p23f, 0x1p23f};
    const floats tolerances = {tolerance, tolerance, tolerance, tolerance};
    const ints lanes = {0, 1, 2, 3};
    for (; d <= n - (block - 1); d += block) {
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
    return first_by_remainder(n, d, n);
#else
    return after >= n ? 0 : first_by_remainder(n, after + 1, n);
#endif
}

}  // namespace

std::int32_t plain_next_divisor(std::int32_t n, std::int32_t after) {
    if (after >= n) return 0;
    for (std::int32_t d = after + 1;; ++d) {
        if (n % d == 0) return d;
    }
}

namespace walk_variants {

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
