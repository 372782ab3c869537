// Helpers on the engine's short strings (names, paths and texts of at most 255 characters) and locale ids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// The engine stores names, paths, passwords and context texts behind a one-byte length.
inline constexpr std::size_t MaxShortString = 255;

// The text cut to MaxShortString characters. Every helper below cuts its result the same way, except the
// path helper AddTrailingBackslash, which refuses.
std::string ShortString(std::string_view text);

// The character put in front of the text until it has the length; a text as long or longer is unchanged.
std::string PadLeft(std::string_view text, int length, char fill);
// The character appended until the text has the length.
std::string PadRight(std::string_view text, int length, char fill);
// The text repeated count times.
std::string ReplicateStr(std::string_view text, int count);
// The first count characters (the whole text when it is shorter).
std::string LeftStr(std::string_view text, int count);
// The last count characters (the whole text when it is shorter).
std::string RightStr(std::string_view text, int count);
// The position, from 1, of the last occurrence of the part in the text; 0 when there is none.
int LastPos(std::string_view part, std::string_view text) noexcept;
// The text without every leading and every trailing occurrence of the character.
std::string TrimChar(std::string_view text, char c);
std::string TrimCharLeft(std::string_view text, char c);
std::string TrimCharRight(std::string_view text, char c);
int CountChar(char c, std::string_view text) noexcept;
// The text with every CR and every LF removed.
std::string StripCRLF(std::string_view text);

// Paths accept "/" and "\" alike.
bool IsPathSeparator(char c) noexcept;
// The name cut before its last "." when that dot lies after the last path separator.
std::string StripExtension(std::string_view fileName);
// Blanks trimmed at both ends, then "/" appended unless the result is empty or ends in a separator. A
// result longer than MaxShortString is refused with ErrInvalidPath, never cut.
std::string AddTrailingBackslash(std::string_view directory);
// True when the name is empty or contains ":" or a path separator.
bool HasPathPart(std::string_view fileName) noexcept;
// The part after the last path separator or ":", without its extension.
std::string ExtractBaseName(std::string_view fileName);

// Cuts the trailing blanks of a zero-terminated text in place.
void TrimTrailingSpaces(char* text) noexcept;

// The operating system's locale identifier: sort id x 65536 + language id, each taken to its low 16 bits.
std::uint32_t MakeLocaleId(std::uint32_t languageId, std::uint32_t sortId) noexcept;

}  // namespace engine
