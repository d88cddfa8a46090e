// fibterm: the n-th Fibonacci number by plain two-way recursion, in 32-bit
// arithmetic that wraps.
#include <cstdint>

#include "console/console.h"

namespace {

// The largest index whose term a double can hold; the recursion for it is that
// many calls deep, which the stack holds with room to spare. A negative index
// would never reach a base case.
constexpr std::int32_t last_index = 1476;

// Recomputes its whole tree of calls every time: no cache, no loop. The sum wraps
// modulo 2^32, done in unsigned arithmetic so that it is defined for every term.
std::int32_t fibonacci(std::int32_t n) {
    if (n < 2) return n;
    const auto earlier = static_cast<std::uint32_t>(fibonacci(n - 1));
    const auto before_that = static_cast<std::uint32_t>(fibonacci(n - 2));
    return static_cast<std::int32_t>(earlier + before_that);
}

}  // namespace

int main() {
    console::set_program_name("fibterm");
    console::print("enter value to find fibonacci term of value:");
    std::int32_t n = 0;
    console::read_int(n);
    if (n < 0 || n > last_index) console::fail("index %d is out of range (0 to %d)", n, last_index);
    console::print("%d nin fibonaccisi: %d", n, fibonacci(n));
    console::wait_key();
    return 0;
}
