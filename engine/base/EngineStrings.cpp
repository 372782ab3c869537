#include "engine/base/EngineStrings.h"

#include <algorithm>
#include <cstring>

#include "engine/base/EngineError.h"
#include "engine/base/EngineErrorCodes.h"
#include "rtl/Text.h"

namespace engine {

namespace {

std::size_t Clamp(int count) noexcept {
    return count < 0 ? 0 : static_cast<std::size_t>(count);
}

}  // namespace

std::string ShortString(std::string_view text) {
    return std::string(text.substr(0, MaxShortString));
}

std::string PadLeft(std::string_view text, int length, char fill) {
    const std::size_t wanted = std::min(Clamp(length), MaxShortString);
    if (text.size() >= wanted) return ShortString(text);
    return std::string(wanted - text.size(), fill).append(text);
}

std::string PadRight(std::string_view text, int length, char fill) {
    const std::size_t wanted = std::min(Clamp(length), MaxShortString);
    std::string result = ShortString(text);
    if (result.size() < wanted) result.append(wanted - result.size(), fill);
    return result;
}

std::string ReplicateStr(std::string_view text, int count) {
    std::string result;
    // Stops once the cut length is reached, so a huge count costs nothing.
    for (std::size_t i = 0; i < Clamp(count) && result.size() < MaxShortString && !text.empty(); ++i) {
        result.append(text);
    }
    return ShortString(result);
}

std::string LeftStr(std::string_view text, int count) {
    return ShortString(text.substr(0, Clamp(count)));
}

std::string RightStr(std::string_view text, int count) {
    const std::size_t n = std::min(Clamp(count), text.size());
    return ShortString(text.substr(text.size() - n));
}

int LastPos(std::string_view part, std::string_view text) noexcept {
    if (part.empty()) return 0;
    const std::size_t at = text.rfind(part);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

std::string TrimCharLeft(std::string_view text, char c) {
    const std::size_t first = text.find_first_not_of(c);
    return first == std::string_view::npos ? std::string() : ShortString(text.substr(first));
}

std::string TrimCharRight(std::string_view text, char c) {
    const std::size_t last = text.find_last_not_of(c);
    return last == std::string_view::npos ? std::string() : ShortString(text.substr(0, last + 1));
}

std::string TrimChar(std::string_view text, char c) {
    const std::size_t first = text.find_first_not_of(c);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(c);
    return ShortString(text.substr(first, last - first + 1));
}

int CountChar(char c, std::string_view text) noexcept {
    return static_cast<int>(std::count(text.begin(), text.end(), c));
}

std::string StripCRLF(std::string_view text) {
    std::string result;
    for (char c : text) {
        if (c != '\r' && c != '\n') result += c;
    }
    return ShortString(result);
}

bool IsPathSeparator(char c) noexcept {
    return c == '\\' || c == '/';
}

std::string StripExtension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t separator = fileName.find_last_of("\\/");
    if (dot != std::string_view::npos && (separator == std::string_view::npos || dot > separator)) {
        return ShortString(fileName.substr(0, dot));
    }
    return ShortString(fileName);
}

std::string AddTrailingBackslash(std::string_view directory) {
    std::string result = rtl::Trim(directory);
    if (!result.empty() && !IsPathSeparator(result.back())) result += '/';
    // A directory cut short would name another one, or lose its separator.
    if (result.size() > MaxShortString) RaiseEngineError(ErrInvalidPath, result);
    return result;
}

bool HasPathPart(std::string_view fileName) noexcept {
    return fileName.empty() || fileName.find_first_of(":\\/") != std::string_view::npos;
}

std::string ExtractBaseName(std::string_view fileName) {
    const std::size_t separator = fileName.find_last_of(":\\/");
    return StripExtension(separator == std::string_view::npos ? fileName : fileName.substr(separator + 1));
}

void TrimTrailingSpaces(char* text) noexcept {
    std::size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ') --length;
    text[length] = '\0';
}

std::uint32_t MakeLocaleId(std::uint32_t languageId, std::uint32_t sortId) noexcept {
    return ((sortId & 0xFFFFu) << 16) | (languageId & 0xFFFFu);
}

}  // namespace engine
