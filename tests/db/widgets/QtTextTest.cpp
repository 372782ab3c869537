#include "db/widgets/QtText.h"

#include <QString>

#include <gtest/gtest.h>

#include <string>

#include "db/widgets/CodePageValidator.h"

namespace {

using namespace db::widgets;

TEST(QtText, EveryByteRoundTrips) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    const QString text = ToQString(bytes);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(text[0xE9], QChar(0x00E9));  // é
    EXPECT_EQ(text[0x80], QChar(0x20AC));  // €
    EXPECT_EQ(text[0x81], QChar(0x0081));  // unassigned: the same-valued control character
    EXPECT_EQ(ToBytes(text), bytes);
    EXPECT_TRUE(InCodePage(text));
}

TEST(QtText, CharactersOutsideTheCodePage) {
    struct Case {
        const char16_t* text;
        bool inCodePage;
        const char* bytes;
    };
    const Case cases[] = {
        {u"abc", true, "abc"},
        {u"?", true, "?"},
        {u"\u00e9t\u00e9", true, "\xE9t\xE9"},
        {u"\u201cq\u201d", true, "\x93q\x94"},
        {u"\u0100", false, "?"},
        {u"a\u4e2db", false, "a?b"},
        {u"\U0001F600", false, "?"},  // beyond U+FFFF: two surrogates, one character
        {u"", true, ""},
    };
    TCodePageValidator validator;
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(InCodePage(text), c.inCodePage);
        EXPECT_EQ(ToBytes(text), c.bytes);
        QString input = text;
        int position = 0;
        EXPECT_EQ(validator.validate(input, position),
                  c.inCodePage ? QValidator::Acceptable : QValidator::Invalid);
    }
    EXPECT_FALSE(InCodePage(QChar(0xD83D)));
}

}  // namespace
