// parity: ten whole numbers, listed as the odd ones and then the even ones, each
// group in the order entered.
#include <cstdint>

#include "console/console.h"

namespace {
constexpr int count = 10;
}

int main() {
    console::set_program_name("parity");
    std::int32_t values[count];
    std::int32_t odd[count];
    std::int32_t even[count];
    int odd_count = 0;
    int even_count = 0;

    console::print("enter 10 array values\n");
    for (std::int32_t& value : values) console::read_int(value);
    for (const std::int32_t value : values) {
        // The lowest bit of the two's-complement value: -3 is odd, 0 is even.
        if ((static_cast<std::uint32_t>(value) & 1U) != 0) {
            odd[odd_count++] = value;
        } else {
            even[even_count++] = value;
        }
    }

    console::print("\ntek sayilar\n");
    for (int i = 0; i < odd_count; ++i) console::print("%d, ", odd[i]);
    console::print("\ncift sayilar\n");
    for (int i = 0; i < even_count; ++i) console::print("%d, ", even[i]);
    console::wait_key();
    return 0;
}
