// The variants of next_divisor, one for each vector width, for the tests and
// benchmarks that must reach every variant the processor can run rather than only
// the one next_divisor picks; and the plain loop they are all measured against.
#ifndef DIVISIBILITY_DIVISOR_WALK_VARIANTS_H
#define DIVISIBILITY_DIVISOR_WALK_VARIANTS_H

#include <cstdint>
#include <span>

namespace divisibility {

// The walk as first written: n % d for every d after `after`, nothing else. The
// reference every variant is tested against and the baseline the benchmarks race.
// Keeps next_divisor's contract.
std::int32_t plain_next_divisor(std::int32_t n, std::int32_t after);

namespace walk_variants {

struct variant {
    const char* name;  // "avx512", "avx2" or "portable"
    // Keeps next_divisor's contract exactly, results included.
    std::int32_t (*next)(std::int32_t n, std::int32_t after);
};

// The variants this processor and its operating system can run, widest vector unit
// first; next_divisor uses the first. "portable" is always there, and last.
std::span<const variant> runnable();

// Where every variant hands over from one means of deciding d to the next, so that
// tests can aim at the seams: d below filter_from by remainder, then a float filter,
// then from incremental_from(n) on incremental remainders. incremental_from(n) is at
// least filter_from and grows like the square root of n. Requires n >= 1.
constexpr std::int32_t filter_from = 4096;
std::int32_t incremental_from(std::int32_t n);

}  // namespace walk_variants
}  // namespace divisibility

#endif
