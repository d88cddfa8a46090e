// fibseries: the n-th Fibonacci number and the series from term 0 to term n, each
// term computed afresh by plain two-way recursion in double precision.
#include <cstdint>

#include "console/console.h"

namespace {

// The largest index whose term a double can hold; the recursion for it is that
// many calls deep, which the stack holds with room to spare. A negative index
// would never reach a base case.
constexpr std::int32_t last_index = 1476;

// Recomputes its whole tree of calls every time: no cache, no loop, and no term
// taken from the ones already written.
double fibonacci(std::int32_t n) {
    if (n < 2) return n;
    const double earlier = fibonacci(n - 1);
    return earlier + fibonacci(n - 2);
}

}  // namespace

int main() {
    console::set_program_name("fibseries");
    console::print("enter value to find fibonacci term of value:");
    std::int32_t n = 0;
    console::read_int(n);
    if (n < 0 || n > last_index) console::fail("index %d is out of range (0 to %d)", n, last_index);
    console::print("%d. fibonacci terimi: %.0f dir", n, fibonacci(n));
    for (std::int32_t i = 0; i <= n; ++i) console::print("\n%.0f", fibonacci(i));
    console::wait_key();
    return 0;
}
