// What a word of an invsort source field must be, for the word lists and the records written from them.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string_view>

namespace setuptest {

// Printable ASCII, not empty (an empty source would let the entry field advance at once), no blank at
// either end or twice in a row, and at most `size` characters.
inline ::testing::AssertionResult IsFieldWord(std::string_view word, std::size_t size) {
    if (word.empty() || word.size() > size) return ::testing::AssertionFailure() << '"' << word << "\" size";
    if (word.front() == ' ' || word.back() == ' ' || word.find("  ") != std::string_view::npos) {
        return ::testing::AssertionFailure() << '"' << word << "\" blanks";
    }
    for (char c : word) {
        if (c < 0x20 || c > 0x7E) return ::testing::AssertionFailure() << '"' << word << "\" character";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace setuptest
