// divcheck: whether a number divides by a divisor without remainder, and the
// remainder when it does not.
#include <cstdint>

#include "console/console.h"

int main() {
    console::set_program_name("divcheck");
    console::print("enter sayi:");
    std::int32_t n = 0;
    console::read_int(n);
    console::print("\nenter bolen:");
    std::int32_t d = 0;
    console::read_int(d);
    if (d == 0) console::fail("the divisor can't be zero");
    // -2147483648 % -1 traps on common processors although the remainder is 0 by
    // arithmetic; any n is divisible by -1.
    const std::int32_t r = d == -1 ? 0 : n % d;
    if (r == 0) {
        console::print("sayi kalansiz bolunur");
    } else {
        console::print("sayi kalansiz bolunmez, kalan %d dir", r);
    }
    console::wait_key();
    return 0;
}
