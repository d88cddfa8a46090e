/* fibterm as a C programmer would first write it, built with gcc -O2: the baseline
   that the benchmarks race fibterm against. */
#include <stdio.h>

static int fibonacci(int n) {
    if (n < 2) return n;
    return fibonacci(n - 1) + fibonacci(n - 2);
}

int main(void) {
    int n = 0;
    if (scanf("%d", &n) != 1 || n < 0 || n > 46) return 1;
    printf("%d nin fibonaccisi: %d", n, fibonacci(n));
    return 0;
}
