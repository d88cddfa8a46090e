// divisors: the positive divisors of a number, in ascending order, and their sum.
#include <cstdint>

#include "console/console.h"
#include "divisibility/divisor_walk.h"

int main() {
    console::set_program_name("divisors");
    // The sum is 32-bit and wraps, as unsigned arithmetic does without undefined
    // behaviour: for n = 2147483647 it is 2^31, written as -2147483648.
    std::uint32_t sum = 0;
    console::print("enter sayi:");
    std::int32_t n = 0;
    console::read_int(n);
    console::print("sayinin bolenleri asagidadir");
    for (std::int32_t d = divisibility::next_divisor(n, 0); d != 0; d = divisibility::next_divisor(n, d)) {
        console::print("\n%d", d);
        sum += static_cast<std::uint32_t>(d);
    }
    console::print("\nbolenler toplami %d dir", static_cast<std::int32_t>(sum));
    console::wait_key();
    return 0;
}
