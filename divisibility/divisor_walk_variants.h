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

}  // namespace walk_variants
}  // namespace divisibility

#endif
