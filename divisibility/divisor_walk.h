// The divisor walk of divisors: trial division by every d up to n.
#ifndef DIVISIBILITY_DIVISOR_WALK_H
#define DIVISIBILITY_DIVISOR_WALK_H

#include <cstdint>

namespace divisibility {

// The smallest d with after < d <= n that divides n without remainder, or 0 when
// there is none. Requires after >= 0. Every d in that range is tried, in ascending
// order; d never goes past n, so n = 2147483647 is walked to its end without
// overflow. Walking a whole n: for (d = next_divisor(n, 0); d != 0; d = next_divisor(n, d)).
std::int32_t next_divisor(std::int32_t n, std::int32_t after);

}  // namespace divisibility

#endif
