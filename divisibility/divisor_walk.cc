#include "divisor_walk.h"

namespace divisibility {

std::int32_t next_divisor(std::int32_t n, std::int32_t after) {
    if (after >= n) return 0;
    // n divides itself, so the walk stops at d = n at the latest and d never overflows.
    for (std::int32_t d = after + 1;; ++d) {
        if (n % d == 0) return d;
    }
}

}  // namespace divisibility
