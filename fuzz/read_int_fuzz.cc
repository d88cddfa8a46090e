// libFuzzer target for the number reader. The input bytes are the whole of a
// stream; it is read entry after entry until its end, and every read is checked
// against a reference written apart from the reader, on the bytes themselves: the
// status, the value, the diagnostic text, and where the read stopped. Every entry
// in range is checked against the C library's fscanf "%d" as well. Any
// disagreement aborts, so a wrong answer is a finding just as a crash is.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/console.h"

namespace {

using console::scan_status;
using bytes = std::vector<unsigned char>;

// What the rules say one read gives, and the index of the first byte it leaves.
struct expected {
    scan_status status = scan_status::end_of_input;
    std::int32_t value = 0;
    std::string text;
    std::size_t next = 0;
};

// Space, \t, \n, \v, \f and \r: the C locale's white space.
bool c_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool decimal(unsigned char c) { return c >= '0' && c <= '9'; }

// The entry as a diagnostic quotes it: its first 40 bytes, " and \ as \" and \\,
// those outside 0x20..0x7e as \xHH, and "..." when it is longer.
std::string quoted(const bytes& in, std::size_t begin, std::size_t end) {
    constexpr std::size_t kept = 40;
    std::string text;
    for (std::size_t i = begin; i < end && i - begin < kept; ++i) {
        if (in[i] == '"' || in[i] == '\\') {
            text += '\\';
            text += static_cast<char>(in[i]);
        } else if (in[i] >= 0x20 && in[i] <= 0x7e) {
            text += static_cast<char>(in[i]);
        } else {
            char escape[8];
            static_cast<void>(std::snprintf(escape, sizeof escape, "\\x%02x", in[i]));
            text += escape;
        }
    }
    if (end - begin > kept) text += "...";
    return text;
}

// The range by comparing digit strings rather than by arithmetic: without its
// leading zeros, a magnitude fits when it has fewer digits than the bound, or as
// many and does not sort after it.
bool fits(const std::string& digits, bool negative) {
    const std::string bound = negative ? "2147483648" : "2147483647";
    return digits.size() < bound.size() || (digits.size() == bound.size() && digits <= bound);
}

expected reference(const bytes& in, std::size_t at) {
    expected want;
    while (at < in.size() && c_space(in[at])) ++at;
    want.next = at;
    if (at == in.size()) return want;

    const std::size_t begin = at;
    const bool negative = in[at] == '-';
    if (in[at] == '-' || in[at] == '+') ++at;
    if (at == in.size() || !decimal(in[at])) {
        while (at < in.size() && !c_space(in[at])) ++at;
        want.status = scan_status::not_a_number;
        want.text = quoted(in, begin, at);
        want.next = at;
        return want;
    }

    std::size_t first = at;
    while (at < in.size() && decimal(in[at])) ++at;
    while (first + 1 < at && in[first] == '0') ++first;
    const std::string significant(in.begin() + static_cast<std::ptrdiff_t>(first),
                                  in.begin() + static_cast<std::ptrdiff_t>(at));
    want.next = at;
    if (!fits(significant, negative)) {
        want.status = scan_status::out_of_range;
        want.text = quoted(in, begin, at);
        return want;
    }
    // At most ten digits that fit: the magnitude is below 2^31 + 1, exact in 64 bits.
    std::int64_t magnitude = 0;
    for (const char digit : significant) magnitude = magnitude * 10 + (digit - '0');
    want.status = scan_status::ok;
    want.value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return want;
}

void require(bool holds, const char* what, std::size_t at) {
    if (holds) return;
    static_cast<void>(std::fprintf(stderr, "read_int_fuzz: %s (the read from byte %zu)\n", what, at));
    std::abort();
}

// The C library's own "%d", from the same byte, on a stream of its own over the same
// bytes: for an entry in range it must give the same value and stop at the same
// place. Entries out of range are not asked, as the C standard leaves fscanf's
// result for them undefined.
void against_fscanf(std::FILE* library, std::size_t at, const expected& want) {
    require(std::fseek(library, static_cast<long>(at), SEEK_SET) == 0, "fscanf's stream cannot seek", at);
    int value = 0;
    // The conversion is what is compared here, so fscanf it is, not strtol.
    require(std::fscanf(library, "%d", &value) == 1, "fscanf finds no number", at);  // NOLINT(cert-err34-c)
    require(value == want.value, "fscanf gives another value", at);
    require(std::ftell(library) == static_cast<long>(want.next), "fscanf stops at another place", at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy that the stream may point into; fmemopen cannot take an empty buffer,
    // and an empty file is the same stream.
    bytes in(data, data + size);
    std::FILE* stream = in.empty() ? std::tmpfile() : fmemopen(in.data(), in.size(), "r");
    require(stream != nullptr, "the stream could not be opened", 0);
    std::FILE* library = in.empty() ? nullptr : fmemopen(in.data(), in.size(), "r");
    require(in.empty() || library != nullptr, "fscanf's stream could not be opened", 0);

    for (std::size_t at = 0;;) {
        const expected want = reference(in, at);
        const console::scan_result got = console::scan_int(stream);
        require(got.status == want.status, "status differs", at);
        if (want.status == scan_status::ok) {
            require(got.value == want.value, "value differs", at);
            against_fscanf(library, at, want);
        } else {
            require(got.text == want.text, "diagnostic text differs", at);
        }
        // Exactly the bytes the rules leave are left: the stream stands at the
        // expected place, and the byte there is the next one it gives.
        require(std::ftell(stream) == static_cast<long>(want.next), "stopped at another place", at);
        const int c = std::getc(stream);
        require(c == (want.next < in.size() ? in[want.next] : EOF), "the next byte differs", at);
        if (c != EOF) require(std::ungetc(c, stream) == c, "the next byte cannot be put back", at);

        // Every other read consumes at least one byte, so the loop ends.
        if (want.status == scan_status::end_of_input) break;
        at = want.next;
    }
    static_cast<void>(std::fclose(stream));
    if (library != nullptr) static_cast<void>(std::fclose(library));
    return 0;
}
