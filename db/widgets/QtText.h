// Text between the framework's Windows-1252 bytes and QString, and which characters the code page lacks.
#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace db::widgets {

// Every byte has a character (the unassigned ones stand for the same-valued control characters), so the
// conversion never fails.
QString ToQString(std::string_view bytes);
// A character the code page lacks becomes '?'.
std::string ToBytes(QStringView text);

// True when the code page has the character; a surrogate (half of a character beyond U+FFFF) never.
bool InCodePage(QChar character) noexcept;
// True when the code page has every character of the text.
bool InCodePage(QStringView text) noexcept;

}  // namespace db::widgets
