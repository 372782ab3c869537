// A locale for tests that stands in for an installed language id: letters in dictionary order with each
// lower-case letter just before its capital (a < A < b < B ...), unlike byte order, where every capital
// comes before every small letter; its number and date formats are the built-in defaults.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/values/Collation.h"
#include "engine/values/LocaleSettings.h"

namespace enginetest {

class DictionaryCollation final : public engine::Collation {
public:
    int Compare(std::string_view a, std::string_view b, std::size_t maxLength,
                bool ignoreCase) const override {
        a = a.substr(0, a.find('\0'));
        b = b.substr(0, b.find('\0'));
        if (maxLength != 0) {
            a = a.substr(0, maxLength);
            b = b.substr(0, maxLength);
        }
        const std::size_t common = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < common; ++i) {
            auto ca = static_cast<std::uint8_t>(a[i]);
            auto cb = static_cast<std::uint8_t>(b[i]);
            if (ignoreCase) {
                ca = Upper(ca);
                cb = Upper(cb);
            }
            if (const int order = CompareChars(ca, cb); order != 0) return order;
        }
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    }
    std::string ChangeCase(std::string_view text, engine::LetterCase letterCase) const override {
        std::string out(text.substr(0, text.find('\0')));
        for (char& c : out) {
            const auto b = static_cast<std::uint8_t>(c);
            c = static_cast<char>(letterCase == engine::LetterCase::Upper ? Upper(b) : Lower(b));
        }
        return out;
    }
    int CompareChars(std::uint8_t a, std::uint8_t b) const override {
        const int ka = Key(a);
        const int kb = Key(b);
        return ka < kb ? -1 : ka > kb ? 1 : 0;
    }

private:
    static std::uint8_t Upper(std::uint8_t c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }
    static std::uint8_t Lower(std::uint8_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }
    // Letters after every other character, two places per letter: the small one first.
    static int Key(std::uint8_t c) {
        if (c >= 'a' && c <= 'z') return 256 + 2 * (c - 'a');
        if (c >= 'A' && c <= 'Z') return 256 + 2 * (c - 'A') + 1;
        return c;
    }
};

// Answers nothing, so every format is the built-in default.
class DefaultFormats final : public engine::LocaleInfoSource {
public:
    std::optional<std::string> GetInfo(engine::LocaleItem, int) const override { return std::nullopt; }
};

}  // namespace enginetest
