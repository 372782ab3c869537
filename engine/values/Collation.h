// Collation: how a table's locale compares texts, changes their letter case and orders its characters.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace engine {

enum class LetterCase : std::uint8_t { Upper, Lower };

// One order serves keys, comparisons and range limits alike, so a locale has exactly one.
//
// A text ends at its first zero byte or at the end of its view, whichever comes first; a text sorts before
// its own extensions. Results are -1, 0 or 1.
class Collation {
public:
    virtual ~Collation();

    // Compares whole texts (maxLength 0) or at most their first maxLength characters.
    virtual int Compare(std::string_view a, std::string_view b, std::size_t maxLength,
                        bool ignoreCase) const = 0;
    // The text in the letter case, character for character: the length stays.
    virtual std::string ChangeCase(std::string_view text, LetterCase letterCase) const = 0;
    // The order of two single characters, zero included, for the collation table.
    virtual int CompareChars(std::uint8_t a, std::uint8_t b) const = 0;
};

// Language id 0, no locale: bytes compare unsigned and only "a".."z" and "A".."Z" change case.
const Collation& ByteOrderCollation() noexcept;

// The collation of an installed locale, or null. Language id 0 is always installed; another one is while an
// InstalledLocale (InstalledLocales.h) holds it.
const Collation* FindCollation(std::uint16_t languageId, std::uint16_t sortId) noexcept;
bool IsLocaleInstalled(std::uint16_t languageId, std::uint16_t sortId) noexcept;
// The collation of an installed locale; raises 15878 naming the file otherwise.
const Collation& GetCollation(std::uint16_t languageId, std::uint16_t sortId, std::string_view fileName = {});

// The entry points below look the locale up with GetCollation, so a locale that is not installed raises
// 15878 naming the caller's file.

// -1, 0 or 1: the texts compared under the locale, whole (length 0) or over at most length characters.
int CompareLocaleStrings(std::uint16_t languageId, std::uint16_t sortId, std::string_view a,
                         std::string_view b, std::size_t length, bool ignoreCase,
                         std::string_view fileName = {});

// The text (up to its zero) in upper or lower case, character for character, into a destination of known
// size: at most its size - 1 characters, then a zero. Source and destination may be the same buffer, so a
// value can be mapped in place.
void LocaleUpperCase(std::uint16_t languageId, std::uint16_t sortId, std::string_view source,
                     std::span<char> destination, std::string_view fileName = {});
void LocaleLowerCase(std::uint16_t languageId, std::uint16_t sortId, std::string_view source,
                     std::span<char> destination, std::string_view fileName = {});

// Entry i is the character at position i when all 256 byte values stand in the locale's order: entry 0 is
// the lowest character and entry 255 the highest, with which search keys are padded. Identity for language
// id 0.
using CollationTable = std::array<std::uint8_t, 256>;

void BuildCollationTable(CollationTable& table, std::uint16_t languageId, std::uint16_t sortId,
                         std::string_view fileName = {});
// Sorts the 256 characters with the collation's character order and the engine's quicksort; characters
// that compare equal end where that quicksort leaves them, which keys built before rely on.
void BuildCollationTable(CollationTable& table, const Collation& collation);
// The character's position in the table (0 when absent, which a full table never is).
std::uint8_t CollationIndex(std::uint8_t character, const CollationTable& table) noexcept;

// Steps a key of length bytes on by one collation position: the last byte becomes the next character,
// carrying over trailing highest characters (which become the lowest). A key of highest characters only
// stays at that maximum.
void IncrementKey(std::uint8_t* key, std::size_t length, const CollationTable& table) noexcept;
// The mirror: the previous character, borrowing over trailing lowest characters; a key of lowest characters
// only stays at that minimum.
void DecrementKey(std::uint8_t* key, std::size_t length, const CollationTable& table) noexcept;

}  // namespace engine
