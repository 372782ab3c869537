#include "db/widgets/QtText.h"

#include <algorithm>

#include "rtl/Text.h"

namespace db::widgets {

QString ToQString(std::string_view bytes) {
    const std::u16string text = rtl::Cp1252ToUtf16(bytes);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToBytes(QStringView text) {
    return rtl::Utf16ToCp1252(std::u16string_view(text.utf16(), static_cast<std::size_t>(text.size())));
}

bool InCodePage(QChar character) noexcept {
    if (character.isSurrogate()) return false;
    // The conversion answers '?' for what it cannot map, so only '?' itself maps to '?'.
    const char32_t codePoint = character.unicode();
    return codePoint == U'?' || rtl::CodePointToCp1252(codePoint) != '?';
}

bool InCodePage(QStringView text) noexcept {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return InCodePage(c); });
}

}  // namespace db::widgets
