// The number reader: what each entry gives, and what it leaves for the next read.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console.h"
#include "tests/repeated.h"

namespace {

using console::scan_status;

// The bytes in an unnamed temporary file, read from its start: a stream that every
// platform has, and one that takes the bytes as they are (binary mode).
struct stream {
    explicit stream(const std::string& bytes) : file(std::tmpfile()) {
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
            throw std::runtime_error("cannot write a temporary file");
        }
        std::rewind(file);
    }
    ~stream() { static_cast<void>(std::fclose(file)); }
    stream(const stream&) = delete;
    stream& operator=(const stream&) = delete;
    std::string rest() {
        std::string left;
        for (int c; (c = std::getc(file)) != EOF;) left += static_cast<char>(c);
        return left;
    }
    std::FILE* file;
};

struct entry_case {
    std::string input;
    scan_status status;
    std::int32_t value;  // when ok
    std::string text;    // when it failed
    std::string rest;    // what the next read meets
};

void PrintTo(const entry_case& c, std::ostream* os) { *os << '"' << c.input << '"'; }

class ReadInt : public testing::TestWithParam<entry_case> {};

TEST_P(ReadInt, GivesValueOrFailureAndLeavesTheRest) {
    const entry_case& c = GetParam();
    stream in(c.input);
    const console::scan_result got = console::scan_int(in.file);
    EXPECT_EQ(got.status, c.status);
    if (c.status == scan_status::ok) {
        EXPECT_EQ(got.value, c.value);
    } else {
        EXPECT_EQ(got.text, c.text);
    }
    EXPECT_EQ(in.rest(), c.rest);
}

const std::string digits_45 = "123456789012345678901234567890123456789012345";

INSTANTIATE_TEST_SUITE_P(
    Entries, ReadInt,
    testing::Values(
        // Signs, leading zeros, decimal only.
        entry_case{"7\n", scan_status::ok, 7, "", "\n"},
        entry_case{"+7\n", scan_status::ok, 7, "", "\n"},
        entry_case{"007\n", scan_status::ok, 7, "", "\n"},
        entry_case{"-0\n", scan_status::ok, 0, "", "\n"},
        entry_case{"010\n", scan_status::ok, 10, "", "\n"},
        entry_case{"0x1A\n", scan_status::ok, 0, "", "x1A\n"},
        entry_case{"12abc\n", scan_status::ok, 12, "", "abc\n"},
        entry_case{"5", scan_status::ok, 5, "", ""},
        // White space of every kind and empty lines are skipped; the rest of the
        // line stays for the next read.
        entry_case{"\n\n \t\v\f\r\n  42 17\n", scan_status::ok, 42, "", " 17\n"},
        entry_case{"3\r\n", scan_status::ok, 3, "", "\r\n"},
        // The ends of the 32-bit range, and leading zeros before them.
        entry_case{"2147483647", scan_status::ok, 2147483647, "", ""},
        entry_case{"-2147483648", scan_status::ok, -2147483647 - 1, "", ""},
        entry_case{"000000000000000000000000000000002147483647 ", scan_status::ok, 2147483647, "", " "},
        entry_case{"2147483648\n", scan_status::out_of_range, 0, "2147483648", "\n"},
        entry_case{"-2147483649\n", scan_status::out_of_range, 0, "-2147483649", "\n"},
        entry_case{"+4294967296x", scan_status::out_of_range, 0, "+4294967296", "x"},
        entry_case{digits_45 + "\n", scan_status::out_of_range, 0, digits_45.substr(0, 40) + "...", "\n"},
        // Not numbers: the entry up to the next white space is quoted, with bytes
        // outside printable ASCII escaped.
        entry_case{"abc def\n", scan_status::not_a_number, 0, "abc", " def\n"},
        entry_case{"-x\n", scan_status::not_a_number, 0, "-x", "\n"},
        entry_case{"-\n", scan_status::not_a_number, 0, "-", "\n"},
        entry_case{"+", scan_status::not_a_number, 0, "+", ""},
        entry_case{"+-5\n", scan_status::not_a_number, 0, "+-5", "\n"},
        entry_case{std::string("a\0\x1b\x7f\xc3\xa7", 6), scan_status::not_a_number, 0,
                   "a\\x00\\x1b\\x7f\\xc3\\xa7", ""},
        entry_case{std::string(50, 'z') + " 1", scan_status::not_a_number, 0,
                   std::string(40, 'z') + "...", " 1"},
        // Exactly 40 bytes are quoted whole; from 41 on, the first 40 and "...".
        entry_case{std::string(40, 'z') + "\n", scan_status::not_a_number, 0, std::string(40, 'z'), "\n"},
        entry_case{std::string(41, 'z') + "\n", scan_status::not_a_number, 0, std::string(40, 'z') + "...", "\n"},
        entry_case{digits_45.substr(0, 40), scan_status::out_of_range, 0, digits_45.substr(0, 40), ""},
        entry_case{digits_45.substr(0, 41), scan_status::out_of_range, 0, digits_45.substr(0, 40) + "...", ""},
        // Inside the quotes, a double quote and a backslash are escaped too, so that
        // neither can be mistaken for the end of the text or for an escaped byte;
        // the 40 bytes are counted in the entry, not in its escaped form.
        entry_case{"a\"b\n", scan_status::not_a_number, 0, R"(a\"b)", "\n"},
        entry_case{R"(\x41 2)", scan_status::not_a_number, 0, R"(\\x41)", " 2"},
        entry_case{R"(-"\")", scan_status::not_a_number, 0, R"(-\"\\\")", ""},
        entry_case{std::string(45, '"'), scan_status::not_a_number, 0, repeated(R"(\")", 40) + "...", ""},
        // The end of input, with or without white space before it.
        entry_case{"", scan_status::end_of_input, 0, "", ""},
        entry_case{" \n\n\t ", scan_status::end_of_input, 0, "", ""}));

TEST(ReadIntSequence, SeveralNumbersOnOneLineServeSeveralReads) {
    stream in("1 -2\t+3\n\n4");
    std::vector<std::int32_t> values;
    for (console::scan_result r; (r = console::scan_int(in.file)).status == scan_status::ok;) {
        values.push_back(r.value);
    }
    EXPECT_EQ(values, (std::vector<std::int32_t>{1, -2, 3, 4}));
}

TEST(ReadIntSequence, MegabytesOfDigitsAreOneEntry) {
    stream in(std::string(3 << 20, '9') + " 8");
    EXPECT_EQ(console::scan_int(in.file).status, scan_status::out_of_range);
    const console::scan_result next = console::scan_int(in.file);
    EXPECT_EQ(next.status, scan_status::ok);
    EXPECT_EQ(next.value, 8);
}

}  // namespace
