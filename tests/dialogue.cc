// The one dialogue suite: each row's program, run with the row's input, writes
// exactly the row's output and diagnostics and exits with its status.
#include "tests/dialogue.h"

#include "tests/long_runs.h"
#include "tests/run_program.h"

void PrintTo(const dialogue& d, std::ostream* os) { *os << d.program << " <<< " << testing::PrintToString(d.input); }

TEST_P(Dialogue, WritesExactlyThisAndExits) {
    const dialogue& d = GetParam();
    if (d.long_run) SKIP_UNLESS_LONG_RUNS_ENABLED();
    run_options options;
    // Generous: a few rows run the long computations of an optimised build.
    options.timeout_seconds = 120;
    const run_result r = run_program(d.program, d.input, options);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.out, d.out);
    EXPECT_EQ(r.err, d.err);
    EXPECT_EQ(r.status, d.status);
}
