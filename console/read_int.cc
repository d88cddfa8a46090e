// Whole numbers from standard input, with the "%d" rules and strict range checks.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "console.h"
#include "terminal.h"

namespace console {
namespace {

// A diagnostic quotes at most this many characters of an entry.
constexpr std::size_t shown_length = 40;

// White space as "%d" skips it in the C locale.
bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Collects the entry for its diagnostic, which shows it between double quotes: the
// first characters as they are, but a double quote or a backslash as \" or \\ and
// every byte outside printable ASCII as \xHH, so that a quote in the entry cannot
// pass for the end of the quoted text nor a typed \x41 for an escaped byte; "..."
// when the entry is longer.
class entry_text {
public:
    void add(int c) {
        if (count_++ < shown_length) {
            if (c == '"' || c == '\\') {
                text_ += '\\';
                text_ += static_cast<char>(c);
            } else if (c >= 0x20 && c <= 0x7e) {
                text_ += static_cast<char>(c);
            } else {
                static constexpr char hex[] = "0123456789abcdef";
                const auto byte = static_cast<unsigned>(c);
                text_ += "\\x";
                text_ += hex[byte >> 4];
                text_ += hex[byte & 0xf];
            }
        }
    }
    std::string take() {
        if (count_ > shown_length) text_ += "...";
        return std::move(text_);
    }

private:
    std::string text_;
    std::size_t count_ = 0;
};

scan_result failed(scan_status status, entry_text& text) {
    scan_result result;
    result.status = status;
    result.text = text.take();
    return result;
}

}  // namespace

scan_result scan_int(std::FILE* in) {
    int c = std::getc(in);
    while (is_space(c)) c = std::getc(in);
    if (c == EOF) {
        scan_result result;
        if (std::ferror(in)) {
            result.status = scan_status::read_error;
            result.error = errno;
        }
        return result;
    }

    entry_text text;
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        text.add(c);
        c = std::getc(in);
    }
    if (!is_digit(c)) {
        // Not a number: the entry up to the next white space is what the person
        // typed, and the diagnostic shows it.
        while (c != EOF && !is_space(c)) {
            text.add(c);
            c = std::getc(in);
        }
        // One character pushed back after a read is always taken back.
        if (c != EOF) static_cast<void>(std::ungetc(c, in));
        return failed(scan_status::not_a_number, text);
    }

    // The magnitude is kept below 2^31 + 1 so that it never overflows, however
    // many digits follow; every digit is still consumed.
    constexpr std::uint32_t limit = 2147483648U;  // the magnitude of the most negative value
    std::uint32_t magnitude = 0;
    bool too_large = false;
    while (is_digit(c)) {
        text.add(c);
        const auto digit = static_cast<std::uint32_t>(c - '0');
        if (!too_large) {
            if (magnitude > (limit - digit) / 10) {
                too_large = true;
            } else {
                magnitude = magnitude * 10 + digit;
            }
        }
        c = std::getc(in);
    }
    if (c != EOF) static_cast<void>(std::ungetc(c, in));

    if (too_large || magnitude > (negative ? limit : limit - 1)) {
        return failed(scan_status::out_of_range, text);
    }
    scan_result result;
    result.status = scan_status::ok;
    // Negation and conversion in unsigned arithmetic, so that -2147483648 is exact.
    result.value = static_cast<std::int32_t>(negative ? 0U - magnitude : magnitude);
    return result;
}

void read_int(std::int32_t& target) {
    const scan_result entry = scan_int(stdin);
    switch (entry.status) {
        case scan_status::ok:
            target = entry.value;
            return;
        case scan_status::not_a_number:
            fail("\"%s\" is not a whole number", entry.text.c_str());
        case scan_status::out_of_range:
            fail("\"%s\" is out of range (-2147483648 to 2147483647)", entry.text.c_str());
        case scan_status::end_of_input:
            fail("input ended where a number was expected");
        case scan_status::read_error:
            fail("read error: %s", std::strerror(entry.error));
    }
}

void wait_entry() {
    static_cast<void>(scan_int(stdin));
    platform::drop_terminal_input();
}

}  // namespace console
