// No input crashes a program or makes it say anything undocumented: every program
// is fed hostile input (random bytes, NUL bytes, very long lines, megabytes of
// digits, CRLF line ends, a closed standard input, a full, closed or broken
// standard output) and must end by itself, soon, with status 0, or with status 1
// and one documented diagnostic line on standard error. The one signal allowed is
// SIGPIPE at a broken pipe, with no message: what Unix filters do.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <tuple>

#include "tests/repeated.h"
#include "tests/run_program.h"

namespace {

struct hostile {
    const char* name;
    std::string (*input)();
    bool close_stdin = false;
    output_sink stdout_to = output_sink::captured;
};

// Bytes from a fixed seed, so that every run feeds the same input. The alphabet
// is what a number read meets: digits, signs, white space of each kind, NUL,
// letters and bytes outside ASCII, with digits common enough to make numbers.
std::string random_bytes(std::uint32_t seed, std::size_t length, bool any_byte) {
    static const std::string alphabet = std::string("0123456789012345678901234567890123456789+-+- \t\n\v\f\r\r\n") +
                                        std::string(1, '\0') + "x.e,\xc3\xa7\xff\x80\x7f";
    std::mt19937 engine(seed);
    std::string text(length, '\0');
    for (char& c : text) {
        const auto r = static_cast<std::size_t>(engine());
        c = any_byte ? static_cast<char>(r & 0xffU) : alphabet[r % alphabet.size()];
    }
    return text;
}

constexpr std::size_t megabyte = std::size_t{1} << 20;

const hostile cases[] = {
    {"random_bytes_short", [] { return random_bytes(1, 64, true); }},
    {"random_bytes_long", [] { return random_bytes(2, std::size_t{64} << 10, true); }},
    {"random_entries_1", [] { return random_bytes(3, 200, false); }},
    {"random_entries_2", [] { return random_bytes(4, 4096, false); }},
    {"random_entries_3", [] { return random_bytes(5, std::size_t{256} << 10, false); }},
    {"nul_bytes", [] { return std::string(4096, '\0'); }},
    {"numbers_between_nuls", [] { return repeated(std::string("\0" "3\0" "-4\0", 6), 20); }},
    {"a_megabyte_line_of_letters", [] { return std::string(megabyte, 'x'); }},
    {"a_megabyte_of_blanks_then_a_number", [] { return std::string(megabyte, ' ') + "3\n"; }},
    {"a_long_line_of_small_numbers", [] { return repeated("7 -2 5 ", 10000) + "\n"; }},
    {"megabytes_of_digits", [] { return std::string(3 * megabyte, '9'); }},
    // Appended rather than "-" + ...: g++ 12 at -O3 warns falsely (-Wrestrict) of
    // the insert at the front that operator+ makes of it.
    {"megabytes_of_leading_zeros",
     [] { return std::string("-").append(2 * megabyte, '0').append("7 ").append(megabyte, '0'); }},
    {"crlf_numbers", [] { return std::string("3\r\n5\r\n1\r\n2\r\n-6\r\n8\r\n9\r\n10\r\n11\r\n12\r\n0\r\n0\r\n"); }},
    {"crlf_only", [] { return repeated("\r\n", 1000); }},
    {"crlf_then_text", [] { return std::string("4\r\n\r\nabc\r\n"); }},
    {"range_edges", [] { return std::string("-2147483648 -1 2147483647 -2147483648 2147483648\n"); }},
    {"signs_without_digits", [] { return std::string("- + +- -+ --1\n"); }},
    {"closed_stdin", [] { return std::string(); }, true},
    {"full_stdout", [] { return std::string("3 4 5 6 7 8 9 10 11 12 0 0\n"); }, false, output_sink::full_device},
    {"closed_stdin_and_full_stdout", [] { return std::string(); }, true, output_sink::full_device},
    {"closed_stdout", [] { return std::string("3 4 5 6 7 8 9 10 11 12 0 0\n"); }, false, output_sink::closed},
    {"broken_pipe", [] { return std::string("3 4 5 6 7 8 9 10 11 12 0 0\n"); }, false,
     output_sink::reader_stops_after_5_bytes},
};

const char* const programs[] = {"fibterm", "fibseries", "randgrid", "parity", "divisors", "divcheck"};

// Where the first entry's digits are, as the reader takes them, and its value with
// the magnitude held at 10^10 so that it cannot overflow.
struct first_number {
    std::size_t digits = std::string::npos;
    std::int64_t value = 0;
};

first_number first_entry(const std::string& in) {
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t at = 0;
    while (at < in.size() && blank(in[at])) ++at;
    const bool negative = at < in.size() && in[at] == '-';
    if (at < in.size() && (in[at] == '-' || in[at] == '+')) ++at;
    first_number first;
    if (at == in.size() || !digit(in[at])) return first;
    first.digits = at;
    for (; at < in.size() && digit(in[at]); ++at) {
        first.value = std::min<std::int64_t>(first.value * 10 + (in[at] - '0'), 10'000'000'000);
    }
    if (negative) first.value = -first.value;
    return first;
}

// fibterm and fibseries take time exponential in their index, divisors time
// linear in n: those are the programs' designs, not faults, so a first entry that
// would start such a long computation is cut after its first digit, which keeps
// the rest of the input as hostile as it was.
std::string shaped_for(const std::string& program, std::string input) {
    const first_number first = first_entry(input);
    if (first.digits == std::string::npos) return input;
    const bool fibonacci = program == "fibterm" || program == "fibseries";
    const bool long_run = fibonacci ? first.value > 25 && first.value <= 1476
                                    : program == "divisors" && first.value > 100'000;
    if (long_run) input.insert(first.digits + 1, 1, ' ');
    return input;
}

// The diagnostics the programs document, each a whole line. An entry is quoted as
// at most 40 bytes, each printable, \" or \\, or \xHH, and "..." when it was longer.
bool documented(const std::string& program, const std::string& err) {
    // The longest documented line is well below this; a longer one is wrong, and
    // is kept from the regular expression engine.
    if (err.size() > 256) return false;
    const std::string entry = R"((?:\\x[0-9a-f]{2}|\\["\\]|[\x20\x21\x23-\x5b\x5d-\x7e]){1,40}(?:\.\.\.)?)";
    const std::string number = R"([+-]?[0-9]{1,40}(?:\.\.\.)?)";
    std::string lines = "\"" + entry + "\" is not a whole number" +
                        "|\"" + number + R"(" is out of range \(-2147483648 to 2147483647\))" +
                        "|input ended where a number was expected" +
                        "|read error: [^\\n]+" +
                        "|write error: [^\\n]+";
    if (program == "fibterm" || program == "fibseries") lines += R"(|index -?[0-9]+ is out of range \(0 to 1476\))";
    if (program == "divcheck") lines += "|the divisor can't be zero";
    const std::regex line(program + ": (?:" + lines + ")\n");
    return std::regex_match(err, line);
}

class Robustness : public testing::TestWithParam<std::tuple<const char*, std::size_t>> {};

TEST_P(Robustness, EndsByItselfWithStatusZeroOrOneDocumentedDiagnostic) {
    const std::string program = std::get<0>(GetParam());
    const hostile& c = cases[std::get<1>(GetParam())];
    run_options options;
    options.close_stdin = c.close_stdin;
    options.stdout_to = c.stdout_to;
    options.timeout_seconds = 60;
    const run_result r = run_program(program, shaped_for(program, c.input()), options);
    if (r.unsupported) GTEST_SKIP() << "this platform cannot give that standard output";

    ASSERT_FALSE(r.timed_out);
    if (r.signal != 0) {
        // Every program writes again after its first read, and the reader has gone
        // by then.
        EXPECT_EQ(c.stdout_to, output_sink::reader_stops_after_5_bytes);
#ifdef SIGPIPE
        EXPECT_EQ(r.signal, SIGPIPE);
#endif
        EXPECT_EQ(r.err, "");
        return;
    }
    if (r.status == 0) {
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(documented(program, r.err)) << "standard error: " << testing::PrintToString(r.err.substr(0, 300));
    }
    // Every program writes its prompt before it reads anything.
    if (c.stdout_to == output_sink::full_device) {
        EXPECT_EQ(r.err, program + ": write error: No space left on device\n");
    } else if (c.stdout_to == output_sink::closed) {
        EXPECT_EQ(r.err, program + ": write error: Bad file descriptor\n");
    } else if (c.stdout_to == output_sink::reader_stops_after_5_bytes) {
        // Where no signal ends it (Windows), the broken pipe is a failed write like
        // any other; its reason is the C library's word for it.
        EXPECT_EQ(r.err.rfind(program + ": write error: ", 0), 0U) << r.err;
    } else if (c.close_stdin) {
        EXPECT_EQ(r.err, program + ": read error: Bad file descriptor\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    HostileInput, Robustness,
    testing::Combine(testing::ValuesIn(programs), testing::Range(std::size_t{0}, std::size(cases))),
    [](const testing::TestParamInfo<Robustness::ParamType>& row) {
        return std::string(std::get<0>(row.param)) + "_" + cases[std::get<1>(row.param)].name;
    });

}  // namespace
