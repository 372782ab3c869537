#include "engine/values/Collation.h"

#include <algorithm>
#include <cstring>

#include "engine/base/EngineError.h"
#include "engine/base/SystemList.h"
#include "engine/values/InstalledLocales.h"

namespace engine {

namespace {

// A text stops at its first zero byte.
std::string_view TextPart(std::string_view text) noexcept {
    const auto zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

int Sign(int value) noexcept {
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

unsigned char AsciiUpper(unsigned char c) noexcept {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

unsigned char AsciiLower(unsigned char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

class ByteOrder final : public Collation {
public:
    int Compare(std::string_view a, std::string_view b, std::size_t maxLength,
                bool ignoreCase) const override {
        a = TextPart(a);
        b = TextPart(b);
        const std::size_t limit = maxLength == 0 ? std::string_view::npos : maxLength;
        const std::size_t common = std::min({a.size(), b.size(), limit});
        if (ignoreCase) {
            for (std::size_t i = 0; i < common; ++i) {
                const unsigned char ca = AsciiUpper(static_cast<unsigned char>(a[i]));
                const unsigned char cb = AsciiUpper(static_cast<unsigned char>(b[i]));
                if (ca != cb) return ca < cb ? -1 : 1;
            }
        } else if (common > 0) {
            if (const int order = std::memcmp(a.data(), b.data(), common); order != 0) return Sign(order);
        }
        if (common == limit) return 0;
        // One text has ended: its zero is below every character of the other.
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    }

    std::string ChangeCase(std::string_view text, LetterCase letterCase) const override {
        std::string out(TextPart(text));
        for (char& c : out) {
            const auto b = static_cast<unsigned char>(c);
            c = static_cast<char>(letterCase == LetterCase::Upper ? AsciiUpper(b) : AsciiLower(b));
        }
        return out;
    }

    int CompareChars(std::uint8_t a, std::uint8_t b) const override { return a < b ? -1 : a > b ? 1 : 0; }
};

void MapInto(std::uint16_t languageId, std::uint16_t sortId, std::string_view source,
             std::span<char> destination, LetterCase letterCase, std::string_view fileName) {
    const std::string mapped = GetCollation(languageId, sortId, fileName).ChangeCase(source, letterCase);
    if (destination.empty()) return;
    const std::size_t length = std::min(mapped.size(), destination.size() - 1);
    std::memcpy(destination.data(), mapped.data(), length);
    destination[length] = '\0';
}

// Steps a key one collation position up (direction 1) or down (-1). Trailing characters at the end of the
// order in that direction carry over and wrap to the other end; a key made only of them stays where it is.
void StepKey(std::uint8_t* key, std::size_t length, const CollationTable& table, int direction) noexcept {
    if (length == 0) return;
    const std::uint8_t limit = direction > 0 ? table.back() : table.front();
    const std::uint8_t wrapped = direction > 0 ? table.front() : table.back();
    std::size_t i = length - 1;
    while (i > 0 && key[i] == limit) key[i--] = wrapped;
    if (key[i] == limit) {
        std::memset(key, limit, length);
        return;
    }
    const int position = CollationIndex(key[i], table) + direction;
    key[i] = table[static_cast<std::size_t>(std::clamp(position, 0, 255))];
}

}  // namespace

// Out of line so that the interface's type information lives in one object file.
Collation::~Collation() = default;

const Collation& ByteOrderCollation() noexcept {
    static const ByteOrder byteOrder;
    return byteOrder;
}

const Collation* FindCollation(std::uint16_t languageId, std::uint16_t sortId) noexcept {
    return languageId == 0 ? &ByteOrderCollation() : FindInstalledCollation(languageId, sortId);
}

bool IsLocaleInstalled(std::uint16_t languageId, std::uint16_t sortId) noexcept {
    return FindCollation(languageId, sortId) != nullptr;
}

const Collation& GetCollation(std::uint16_t languageId, std::uint16_t sortId, std::string_view fileName) {
    const Collation* const collation = FindCollation(languageId, sortId);
    if (collation == nullptr) RaiseEngineError(ErrLanguageDriver, fileName);
    return *collation;
}

int CompareLocaleStrings(std::uint16_t languageId, std::uint16_t sortId, std::string_view a,
                         std::string_view b, std::size_t length, bool ignoreCase, std::string_view fileName) {
    return GetCollation(languageId, sortId, fileName).Compare(a, b, length, ignoreCase);
}

void LocaleUpperCase(std::uint16_t languageId, std::uint16_t sortId, std::string_view source,
                     std::span<char> destination, std::string_view fileName) {
    MapInto(languageId, sortId, source, destination, LetterCase::Upper, fileName);
}

void LocaleLowerCase(std::uint16_t languageId, std::uint16_t sortId, std::string_view source,
                     std::span<char> destination, std::string_view fileName) {
    MapInto(languageId, sortId, source, destination, LetterCase::Lower, fileName);
}

void BuildCollationTable(CollationTable& table, std::uint16_t languageId, std::uint16_t sortId,
                         std::string_view fileName) {
    const Collation& collation = GetCollation(languageId, sortId, fileName);
    if (&collation == &ByteOrderCollation()) {
        for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i);
        return;
    }
    BuildCollationTable(table, collation);
}

void BuildCollationTable(CollationTable& table, const Collation& collation) {
    CollationTable characters;
    TSystemList list;
    list.SetCapacity(static_cast<int>(characters.size()));
    for (std::size_t i = 0; i < characters.size(); ++i) {
        characters[i] = static_cast<std::uint8_t>(i);
        list.Add(&characters[i]);
    }
    list.Sort([&collation](const void* a, const void* b) {
        return collation.CompareChars(*static_cast<const std::uint8_t*>(a),
                                      *static_cast<const std::uint8_t*>(b));
    });
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = *static_cast<const std::uint8_t*>(list.Get(static_cast<int>(i)));
    }
}

std::uint8_t CollationIndex(std::uint8_t character, const CollationTable& table) noexcept {
    const auto* const found = std::find(table.begin(), table.end(), character);
    return found == table.end() ? 0 : static_cast<std::uint8_t>(found - table.begin());
}

void IncrementKey(std::uint8_t* key, std::size_t length, const CollationTable& table) noexcept {
    StepKey(key, length, table, 1);
}

void DecrementKey(std::uint8_t* key, std::size_t length, const CollationTable& table) noexcept {
    StepKey(key, length, table, -1);
}

}  // namespace engine
