// Races each fast piece against a plain version of it in the same run, and prints
// the time ratios at the end:
//  - divisor_walk/VARIANT/N: a whole walk of N by every variant this processor runs,
//    against the plain remainder loop, divisibility::plain_next_divisor;
//  - fibterm/project/N, fibseries/project/N and divisors/project/N: the built
//    programs from start to exit, against the same programs written plainly in C and
//    built with gcc -O2 (bench/fib_plain_term.c, bench/fib_plain_series.c,
//    bench/divisors_plain.c), with the recursion's calls per second; the entries are
//    large enough that start-up is noise;
//  - divisors/project/1 against divisors/plain_c/1: start-up and exit alone, where
//    linking and loading dominate;
//  - program/NAME/ENTRY: a built program from start to exit for a small entry.
// Every program is started by the tests' runner, so its final key wait returns at once.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <iostream>
#include <string>
#include <vector>

#include "divisibility/divisor_walk_variants.h"
#include "tests/run_program.h"

namespace {

using next_divisor_fn = std::int32_t (*)(std::int32_t, std::int32_t);

// Walks n to its end as divisors does; the sum keeps the walk from being dropped.
void walk(benchmark::State& state, next_divisor_fn next, std::int32_t n) {
    for (auto _ : state) {
        std::uint32_t sum = 0;
        for (std::int32_t d = next(n, 0); d != 0; d = next(n, d)) sum += static_cast<std::uint32_t>(d);
        benchmark::DoNotOptimize(sum);
    }
}

// Calls the recursion makes for term n: 2 F(n+1) - 1.
double calls_for(std::int32_t n) {
    double previous = 0, current = 1;  // F(0), F(1)
    for (std::int32_t i = 0; i < n; ++i) {
        const double next = previous + current;
        previous = current;
        current = next;
    }
    return 2 * current - 1;
}

// Calls that fibseries makes for entry n: the headline, then every term afresh.
double series_calls_for(std::int32_t n) {
    double calls = calls_for(n);
    for (std::int32_t i = 0; i <= n; ++i) calls += calls_for(i);
    return calls;
}

// calls: the recursion's calls in one run, for a calls-per-second figure; 0 for none.
void program(benchmark::State& state, const std::string& name, const std::string& input, double calls) {
    for (auto _ : state) {
        if (run_program(name, input).status != 0) {
            state.SkipWithError(("could not run " + program_path(name)).c_str());
            break;
        }
    }
    if (calls > 0) state.counters["calls/s"] = benchmark::Counter(calls, benchmark::Counter::kIsIterationInvariantRate);
}

// The usual report (as --benchmark_format asks), then each variant's time over its
// plain version's when the report is the console table: runs named
// FAMILY/VARIANT/REST are compared with FAMILY/plain/REST or FAMILY/plain_c/REST.
// With repetitions the medians are compared.
class ratio_reporter : public benchmark::BenchmarkReporter {
public:
    explicit ratio_reporter(benchmark::BenchmarkReporter* display) : display_(display) {}

    bool ReportContext(const Context& context) override { return display_->ReportContext(context); }

    void ReportRuns(const std::vector<Run>& runs) override {
        display_->ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            const std::string& name = run.run_name.function_name;
            if (!median && medians_.count(name) != 0) continue;
            if (median) medians_[name] = true;
            if (times_.count(name) == 0) order_.push_back(name);
            times_[name] = run.run_name.time_type.empty() ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
        }
    }

    void Finalize() override {
        display_->Finalize();
        if (dynamic_cast<benchmark::ConsoleReporter*>(display_) == nullptr) return;
        std::string lines;
        for (const std::string& name : order_) {
            const auto first = name.find('/');
            const auto second = name.find('/', first + 1);
            if (first == std::string::npos || second == std::string::npos) continue;
            const std::string variant = name.substr(first + 1, second - first - 1);
            if (variant == "plain" || variant == "plain_c") continue;
            for (const char* plain : {"plain", "plain_c"}) {
                const std::string baseline = name.substr(0, first + 1) + plain + name.substr(second);
                const auto found = times_.find(baseline);
                if (found == times_.end()) continue;
                char line[256];
                static_cast<void>(std::snprintf(line, sizeof line, "  %-40s %8.3f  (%s)\n", name.c_str(),
                                                times_[name] / found->second, baseline.c_str()));
                lines += line;
            }
        }
        if (!lines.empty()) std::cout << "\nTime against the plain version (lower is faster):\n" << lines;
    }

private:
    benchmark::BenchmarkReporter* display_;
    std::map<std::string, double> times_;
    std::map<std::string, bool> medians_;
    std::vector<std::string> order_;
};

// FAMILY/VARIANT/ARGUMENT, the form the ratio reporter pairs runs by.
std::string bench_name(const std::string& family, const std::string& variant, const std::string& argument) {
    std::string name = family;
    name += '/';
    name += variant;
    name += '/';
    name += argument;
    return name;
}

void register_all() {
    using benchmark::kMillisecond;
    // A prime (the longest walk, the headline), one with 1600 divisors, a small one.
    for (const std::int32_t n : {2147483647, 2095133040, 1000000}) {
        const std::string argument = std::to_string(n);
        benchmark::RegisterBenchmark(bench_name("divisor_walk", "plain", argument).c_str(), walk,
                                     divisibility::plain_next_divisor, n)
            ->Unit(kMillisecond);
        for (const auto& variant : divisibility::walk_variants::runnable()) {
            benchmark::RegisterBenchmark(bench_name("divisor_walk", variant.name, argument).c_str(), walk, variant.next, n)
                ->Unit(kMillisecond);
        }
    }

    struct entry {
        const char* family;
        const char* variant;
        const char* program;
        std::int32_t input;
        double calls;
    };
    for (const entry& e : {entry{"fibterm", "plain_c", "fib_plain_term", 42, calls_for(42)},
                           entry{"fibterm", "project", "fibterm", 42, calls_for(42)},
                           entry{"fibseries", "plain_c", "fib_plain_series", 36, series_calls_for(36)},
                           entry{"fibseries", "project", "fibseries", 36, series_calls_for(36)},
                           entry{"program", "fibterm", "fibterm", 10, 0},
                           entry{"divisors", "plain_c", "divisors_plain", 2147483647, 0},
                           entry{"divisors", "project", "divisors", 2147483647, 0},
                           entry{"divisors", "plain_c", "divisors_plain", 1, 0},
                           entry{"divisors", "project", "divisors", 1, 0},
                           entry{"program", "divisors", "divisors", 360, 0}}) {
        const std::string argument = std::to_string(e.input);
        benchmark::RegisterBenchmark(bench_name(e.family, e.variant, argument).c_str(), program,
                                     std::string(e.program), argument + "\n", e.calls)
            ->Unit(kMillisecond)
            ->UseRealTime();
    }
}

}  // namespace

int main(int argc, char** argv) {
    register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The display reporter that the command line asks for; the library owns it.
    ratio_reporter reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
