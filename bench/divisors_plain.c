/* divisors as a C programmer would write it, built with gcc -O2: the baseline that
   the benchmarks race divisors against, start to exit. The loop stops at d == n
   rather than testing d <= n after d++, which would pass 2147483647 and never end;
   the sum wraps as unsigned. */
#include <stdio.h>

int main(void) {
    int n = 0;
    unsigned sum = 0;
    printf("enter sayi:");
    if (scanf("%d", &n) != 1) return 1;
    printf("sayinin bolenleri asagidadir");
    for (int d = 1; d <= n; d++) {
        if (n % d == 0) {
            printf("\n%d", d);
            sum += (unsigned)d;
        }
        if (d == n) break;
    }
    printf("\nbolenler toplami %d dir", (int)sum);
    return 0;
}
