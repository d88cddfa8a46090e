/* fibseries as a C programmer would first write it, built with gcc -O2: the baseline
   that the benchmarks race fibseries against. */
#include <stdio.h>

static double fibonacci(int n) {
    if (n < 2) return n;
    return fibonacci(n - 1) + fibonacci(n - 2);
}

int main(void) {
    int n = 0;
    if (scanf("%d", &n) != 1 || n < 0 || n > 78) return 1;
    printf("%d. fibonacci terimi: %.0f dir", n, fibonacci(n));
    for (int i = 0; i <= n; ++i) {
        printf("\n%.0f", fibonacci(i));
        fflush(stdout);
    }
    return 0;
}
