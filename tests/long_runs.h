// The cases whose computation is long unless the build is optimised: the recursion
// for the first term past 32 bits, the walks that try every d up to 2^31. A build
// without optimisation, or with AddressSanitizer, skips them at run time, so that
// its log names each one it did not run.
#ifndef TESTS_LONG_RUNS_H
#define TESTS_LONG_RUNS_H

#include <gtest/gtest.h>

#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
inline constexpr bool long_runs_enabled = true;
#else
inline constexpr bool long_runs_enabled = false;
#endif

// Ends the test here as skipped when this build does not run long cases. A macro,
// since GTEST_SKIP returns from the test body that it is written in.
#define SKIP_UNLESS_LONG_RUNS_ENABLED()                                                              \
    do {                                                                                             \
        if (!long_runs_enabled) {                                                                    \
            GTEST_SKIP() << "a long case: only an optimised build without AddressSanitizer runs it"; \
        }                                                                                            \
    } while (false)

#endif
