// fibterm: the n-th Fibonacci number by plain two-way recursion, in 32-bit
// arithmetic that wraps.
#include <cstdint>

#include "console/console.h"

namespace {

// The recursion for index n is n calls deep before it adds anything; this bound
// keeps that depth far inside any stack the program is given. The terms wrap in 32
// bits, so no term bounds the index; fibseries takes the same bound, so the two
// programs accept the same indexes. A negative index would never reach a base case.
constexpr std::int32_t last_index = 1476;

// Recomputes its whole tree of calls every time: no cache, no loop. The index and
// the sums are unsigned: the sum then wraps modulo 2^32 without undefined behaviour,
// and g++ compiles the all-unsigned recursion faster than one with a signed index
// (bench/README.md has the figures). main converts the wrapped term back to the signed
// value it stands for.
std::uint32_t fibonacci(std::uint32_t n) {
    if (n < 2) return n;
    const std::uint32_t earlier = fibonacci(n - 1);
    return earlier + fibonacci(n - 2);
}

}  // namespace

int main() {
    console::set_program_name("fibterm");
    console::print("enter value to find fibonacci term of value:");
    std::int32_t n = 0;
    console::read_int(n);
    if (n < 0 || n > last_index) console::fail("index %d is out of range (0 to %d)", n, last_index);
    const auto term = static_cast<std::int32_t>(fibonacci(static_cast<std::uint32_t>(n)));
    console::print("%d nin fibonaccisi: %d", n, term);
    console::wait_key();
    return 0;
}
