// Test input and expected text built of one piece many times over.
#ifndef TESTS_REPEATED_H
#define TESTS_REPEATED_H

#include <cstddef>
#include <string>

inline std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

#endif
