#include "batch.h"

#include <cstdio>
#include <random>

namespace randgrid {

std::string batch(std::int32_t low, std::int32_t high, std::uint32_t seed) {
    std::mt19937 engine(seed);
    const auto width = static_cast<std::uint32_t>(high - low);
    std::string text;
    for (int i = 1; i <= 100; ++i) {
        const std::uint32_t r = static_cast<std::uint32_t>(engine());
        // At most low + width = high, so the sum stays in range.
        const std::int32_t v = low + static_cast<std::int32_t>(r % width) + 1;
        char value[16];
        const int length = std::snprintf(value, sizeof value, "%d \t", v);
        text.append(value, static_cast<std::size_t>(length));
        if (i % 10 == 0) text += '\n';
    }
    return text;
}

}  // namespace randgrid
