/* fibterm as a C programmer would write it, built with gcc -O2: the baseline that
   the benchmarks race fibterm against. The base case is written n == 0 || n == 1
   rather than n < 2: gcc compiles that form faster, so the race is against the
   strongest plain version. */
#include <stdio.h>

static int fibonacci(int n) {
    if (n == 0 || n == 1) return n;
    return fibonacci(n - 1) + fibonacci(n - 2);
}

int main(void) {
    int n = 0;
    if (scanf("%d", &n) != 1 || n < 0 || n > 46) return 1;
    printf("%d nin fibonaccisi: %d", n, fibonacci(n));
    return 0;
}
