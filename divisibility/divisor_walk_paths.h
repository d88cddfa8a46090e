// The ways next_divisor can walk, for the tests and benchmarks that must reach each
// one the processor can run rather than only the one it picks.
#ifndef DIVISIBILITY_DIVISOR_WALK_PATHS_H
#define DIVISIBILITY_DIVISOR_WALK_PATHS_H

#include <cstdint>
#include <span>

namespace divisibility::walk_paths {

struct path {
    const char* name;  // "avx512", "avx2" or "portable"
    // Keeps next_divisor's contract exactly, results included.
    std::int32_t (*next)(std::int32_t n, std::int32_t after);
};

// The paths this processor and its operating system can run, widest vector unit
// first; next_divisor uses the first. "portable" is always there, and last.
std::span<const path> runnable();

}  // namespace divisibility::walk_paths

#endif
