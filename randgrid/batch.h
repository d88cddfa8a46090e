// One batch of randgrid: 100 pseudo-random values, ten to a row.
#ifndef RANDGRID_BATCH_H
#define RANDGRID_BATCH_H

#include <cstdint>
#include <string>

namespace randgrid {

// The text of one batch for 1 <= low < high: 100 values v = low + (r mod (high - low)) + 1,
// r drawn from std::mt19937 seeded with seed, each written as "%d \t", with a line
// end after every tenth. The engine's sequence is fixed by the C++ standard, so a
// seed gives the same batch on every platform, and its 2^32 values cover every
// width up to 2147483646. No step of the arithmetic can overflow.
std::string batch(std::int32_t low, std::int32_t high, std::uint32_t seed);

}  // namespace randgrid

#endif
