// randgrid: batches of 100 pseudo-random whole numbers between two bounds, asked
// for again and again until a bound is zero.
#include <cstdint>
#include <ctime>

#include "console/console.h"
#include "randgrid/batch.h"

namespace {

// One batch for 1 <= low < high, reseeded from the clock's whole seconds: two
// batches for the same bounds within one second are the same.
void fonk(std::int32_t low, std::int32_t high) {
    const auto seed = static_cast<std::uint32_t>(std::time(nullptr));
    console::print("%s", randgrid::batch(low, high, seed).c_str());
}

}  // namespace

int main() {
    console::set_program_name("randgrid");
    std::int32_t n1 = 0;
    std::int32_t n2 = 0;
    for (;;) {
        console::print("enter N1:");
        console::read_int(n1);
        console::print("enter N2:");
        console::read_int(n2);
        if (n1 == 0 || n2 == 0) {
            console::print("\nN1 and N2 can't be zero, loop terminated");
            console::wait_entry();
            return 0;
        }
        if (n1 < 0 || n1 > n2) {
            console::print("\nN1 can't be negative or bigger than N2 enter new values \n");
        } else if (n1 == n2) {
            // A batch needs a width of at least one value.
            console::print("\nN1 and N2 can't be equal enter new values \n");
        } else {
            fonk(n1, n2);
        }
    }
}
