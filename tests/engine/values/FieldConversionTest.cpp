#include "engine/values/FieldConversion.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/values/FieldTypes.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "tests/rtl/CommaSettings.h"

namespace {

using namespace engine;
using Bytes = std::vector<std::uint8_t>;

template <class Unsigned>
Bytes LittleEndian(Unsigned value) {
    Bytes out;
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return out;
}
Bytes I16(int value) {
    return LittleEndian(static_cast<std::uint16_t>(value));
}
Bytes I32(std::int64_t value) {
    return LittleEndian(static_cast<std::uint32_t>(value));
}
Bytes I64(std::int64_t value) {
    return LittleEndian(static_cast<std::uint64_t>(value));
}
Bytes F64(double value) {
    return LittleEndian(std::bit_cast<std::uint64_t>(value));
}
// A text and its zero.
Bytes Text(std::string_view text) {
    Bytes out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

using Buffer = std::array<std::uint8_t, FieldValueBufferSize>;

Buffer BufferWith(const Bytes& bytes) {
    Buffer buffer{};
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    return buffer;
}

const std::int32_t kDay = rtl::DateToDayNumber(2024, 3, 7);
constexpr std::int32_t kTime = ((13 * 60 + 5) * 60 + 9) * 1000;  // 13:05:09
const double kMoment = static_cast<double>(kDay) * rtl::MSecsPerDay + kTime;
const double kZeroMoment = 693594.0 * 86400000.0;

TEST(FieldConversion, ConversionMatrix) {
    const struct {
        const char* what;
        std::uint8_t sourceType;
        Bytes source;
        std::size_t sourceSize;
        std::uint8_t targetType;
        std::size_t targetSize;
        int targetScale;
        bool converted;
        Bytes target;  // then zeros to the buffer's end
    } rows[] = {
        // same type
        {"=", 6, I32(-7), 4, 6, 4, 0, true, I32(-7)},
        {"= bytes cut", 9, {1, 2, 3, 4, 5}, 5, 9, 3, 0, true, {1, 2, 3}},
        {"A", 1, Text("hello"), 6, 1, 4, 0, true, Text("hel")},
        {"A as long as the target", 1, Text("abc"), 4, 1, 3, 0, true, Text("ab")},
        // string source
        {"T date", 1, Text("3/7/2024"), 9, 2, 4, 0, true, I32(kDay)},
        {"T date fails", 1, Text("3/44/2024"), 10, 2, 4, 0, false, I32(693594)},
        {"T time", 1, Text("1:05:09 PM"), 11, 10, 4, 0, true, I32(kTime)},
        {"T time fails", 1, Text("25:00"), 6, 10, 4, 0, false, I32(0)},
        {"T date-time", 1, Text("3/7/2024 13:05:09"), 18, 11, 8, 0, true, F64(kMoment)},
        {"T date-time fails", 1, Text("x"), 2, 11, 8, 0, false, F64(kZeroMoment)},
        {"B", 1, Text("true"), 5, 4, 2, 0, true, I16(1)},
        {"B fails", 1, Text("yes"), 4, 4, 2, 0, false, {}},
        {"I smallint", 1, Text("-5"), 3, 5, 2, 0, true, I16(-5)},
        {"I smallint range", 1, Text("40000"), 6, 5, 2, 0, false, {}},
        {"I integer", 1, Text("70000"), 6, 6, 4, 0, true, I32(70000)},
        {"I integer fails", 1, Text("abc"), 4, 6, 4, 0, false, {}},
        {"I word", 1, Text("65535"), 6, 12, 2, 0, true, I16(65535)},
        {"I word range", 1, Text("70000"), 6, 12, 2, 0, false, {}},
        {"F", 1, Text("2.5"), 4, 7, 8, 0, true, F64(2.5)},
        {"F fails", 1, Text("2.5x"), 5, 7, 8, 0, false, {}},
        {"C", 1, Text("12.345"), 7, 8, 8, 2, true, I64(12352)},
        {"C fails", 1, Text("x"), 2, 8, 8, 2, false, {}},
        {"C beyond the stored form", 1, Text("900000000000"), 13, 8, 8, 9, false, {}},
        {"R string to bytes", 1, Text("abcdef"), 7, 9, 3, 0, true, {'a', 'b', 'c'}},
        // date and time sources
        {"D date", 2, I32(kDay), 4, 1, 20, 0, true, Text("3/7/2024")},
        {"D date invalid", 2, I32(0), 4, 1, 20, 0, false, {}},
        {"D time", 10, I32(kTime), 4, 1, 20, 0, true, Text("1:05:09 PM")},
        {"D date-time", 11, F64(kMoment), 8, 1, 30, 0, true, Text("3/7/2024 1:05:09 PM")},
        {"D date-time at midnight", 11, F64(kDay * 86400000.0), 8, 1, 30, 0, true, Text("3/7/2024")},
        {"D cut to the target", 11, F64(kMoment), 8, 1, 5, 0, true, Text("3/7/")},
        {"M date", 2, I32(kDay), 4, 11, 8, 0, true, F64(kDay * 86400000.0)},
        {"M time", 10, I32(kTime), 4, 11, 8, 0, true, F64(kZeroMoment + kTime)},
        {"Q date", 11, F64(kMoment), 8, 2, 4, 0, true, I32(kDay)},
        {"Q time", 11, F64(kMoment), 8, 10, 4, 0, true, I32(kTime)},
        {"Q not a number", 11, F64(std::nan("")), 8, 2, 4, 0, false, I32(693594)},
        {"Q out of range", 11, F64(-1.0), 8, 10, 4, 0, false, I32(0)},
        {"R date to bytes", 2, I32(kDay), 4, 9, 4, 0, true, I32(kDay)},
        // boolean source
        {"X true", 4, I16(1), 2, 1, 10, 0, true, Text("True")},
        {"X false", 4, I16(0), 2, 1, 10, 0, true, Text("False")},
        {"X cut", 4, I16(1), 2, 1, 3, 0, true, Text("Tr")},
        {"K smallint", 4, I16(7), 2, 5, 2, 0, true, I16(1)},
        {"K integer", 4, I16(1), 2, 6, 4, 0, true, I32(1)},
        {"K word", 4, I16(0), 2, 12, 2, 0, true, I16(0)},
        {"L", 4, I16(1), 2, 8, 8, 2, true, I64(1002)},
        {"L false", 4, I16(0), 2, 8, 8, 3, true, I64(3)},
        // integer sources
        {"N smallint", 5, I16(-5), 2, 1, 10, 0, true, Text("-5")},
        {"N integer", 6, I32(INT32_MIN), 4, 1, 12, 0, true, Text("-2147483648")},
        {"N integer cut", 6, I32(12345), 4, 1, 3, 0, true, Text("12")},
        {"N word", 12, I16(65535), 2, 1, 10, 0, true, Text("65535")},
        {"S", 5, I16(-5), 2, 6, 4, 0, true, I32(-5)},
        {"U", 12, I16(65535), 2, 6, 4, 0, true, I32(65535)},
        {"W integer to smallint", 6, I32(-1234), 4, 5, 2, 0, true, I16(-1234)},
        {"W integer to smallint range", 6, I32(70000), 4, 5, 2, 0, false, {}},
        {"W integer to word", 6, I32(65535), 4, 12, 2, 0, true, I16(65535)},
        {"W integer to word range", 6, I32(70000), 4, 12, 2, 0, false, {}},
        {"W negative integer to word", 6, I32(-1), 4, 12, 2, 0, false, {}},
        {"W smallint to word", 5, I16(-1), 2, 12, 2, 0, false, {}},
        {"W word to smallint", 12, I16(40000), 2, 5, 2, 0, false, {}},
        {"W word to smallint fits", 12, I16(123), 2, 5, 2, 0, true, I16(123)},
        {"Z", 5, I16(5), 2, 4, 2, 0, true, I16(1)},
        {"Z negative", 5, I16(-1), 2, 4, 2, 0, true, I16(1)},
        {"Z word", 12, I16(0), 2, 4, 2, 0, true, I16(0)},
        {"V smallint", 5, I16(-5), 2, 7, 8, 0, true, F64(-5.0)},
        {"V integer", 6, I32(INT32_MAX), 4, 7, 8, 0, true, F64(2147483647.0)},
        {"V word", 12, I16(65535), 2, 7, 8, 0, true, F64(65535.0)},
        {"Y", 6, I32(7), 4, 8, 8, 1, true, I64(701)},
        {"Y smallint", 5, I16(-3), 2, 8, 8, 0, true, I64(-30)},
        {"Y word", 12, I16(5), 2, 8, 8, 0, true, I64(50)},
        {"Y beyond the stored form", 6, I32(2000000000), 4, 8, 8, 9, false, {}},
        // float source
        {"G", 7, F64(2.5), 8, 1, 20, 0, true, Text("2.5")},
        {"G cut", 7, F64(0.125), 8, 1, 3, 0, true, Text("0.")},
        {"O 2.5", 7, F64(2.5), 8, 6, 4, 0, true, I32(2)},
        {"O 3.5", 7, F64(3.5), 8, 6, 4, 0, true, I32(4)},
        {"O -2.5", 7, F64(-2.5), 8, 5, 2, 0, true, I16(-2)},
        {"O word", 7, F64(65535.4), 8, 12, 2, 0, true, I16(65535)},
        {"O word range", 7, F64(65535.5), 8, 12, 2, 0, false, {}},
        {"O smallint range", 7, F64(40000.0), 8, 5, 2, 0, false, {}},
        {"O integer range", 7, F64(1e10), 8, 6, 4, 0, false, {}},
        {"O not a number", 7, F64(std::nan("")), 8, 6, 4, 0, false, {}},
        {"O infinite", 7, F64(INFINITY), 8, 6, 4, 0, false, {}},
        {"E", 7, F64(12.345), 8, 8, 8, 2, true, I64(12352)},
        {"E beyond currency", 7, F64(1e20), 8, 8, 8, 2, false, {}},
        {"E not a number", 7, F64(std::nan("")), 8, 8, 8, 2, false, {}},
        // BCD source
        {"H", 8, I64(12342), 8, 1, 20, 0, true, Text("12.34")},
        {"H negative", 8, I64(-30), 8, 1, 20, 0, true, Text("-3")},
        {"H beyond currency", 8, I64(9223372036854775800), 8, 1, 30, 0, true, Text("922337203685477580")},
        {"O BCD 2.5", 8, I64(251), 8, 6, 4, 0, true, I32(2)},
        {"O BCD 3.5", 8, I64(351), 8, 5, 2, 0, true, I16(4)},
        {"O BCD -2.5", 8, I64(-251), 8, 6, 4, 0, true, I32(-2)},
        {"O BCD range", 8, I64(12345678901230), 8, 6, 4, 0, false, {}},
        {"O BCD word range", 8, I64(-10), 8, 12, 2, 0, false, {}},
        {"P", 8, I64(12342), 8, 7, 8, 0, true, F64(12.34)},
        {"P beyond currency", 8, I64(INT64_MIN), 8, 7, 8, 0, true, F64(-9223372036.8547758)},
        // raw sources
        {"R bytes to integer", 9, {1, 2, 3, 4}, 4, 6, 4, 0, true, {1, 2, 3, 4}},
        {"R bytes to string", 9, {'a', 'b', 'c', 'd'}, 4, 1, 3, 0, true, Text("ab")},
        {"R large object to integer", 3, I32(512), 4, 6, 4, 0, true, I32(512)},
        {"R 10-byte float to bytes", 14, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 10, 9, 4, 0, true, {1, 2, 3, 4}},
        {"R unsigned to date", 13, I32(kDay), 4, 2, 4, 0, true, I32(kDay)},
        {"R variable bytes to no type", 15, {9, 9}, 2, 0, 2, 0, true, {9, 9}},
        // pairs without a conversion
        {"no date to boolean", 2, I32(kDay), 4, 4, 2, 0, false, {}},
        {"no integer to boolean", 6, I32(5), 4, 4, 2, 0, false, {}},
        {"no time to date", 10, I32(kTime), 4, 2, 4, 0, false, {}},
        {"no float to time", 7, F64(1.0), 8, 10, 4, 0, false, {}},
        {"no BCD to boolean", 8, I64(12342), 8, 4, 2, 0, false, {}},
        {"no boolean to float", 4, I16(1), 2, 7, 8, 0, false, {}},
        {"no string to large object", 1, Text("abc"), 4, 3, 4, 0, false, {}},
        {"no integer to unsigned", 6, I32(5), 4, 13, 4, 0, false, {}},
        {"no untyped source", 0, I32(5), 4, 6, 4, 0, false, {}},
        {"no unknown type", 16, I32(5), 4, 6, 4, 0, false, {}},
    };
    for (const auto& row : rows) {
        Buffer buffer = BufferWith(row.source);
        const bool converted = ConvertFieldValue(row.sourceType, row.sourceSize, 0, row.targetType,
                                                 row.targetSize, row.targetScale, buffer);
        EXPECT_EQ(converted, row.converted) << row.what;
        EXPECT_EQ(buffer, BufferWith(row.target)) << row.what;
    }
}

TEST(FieldConversion, StringTargetsEndInTheirZero) {
    // A text that fills the whole buffer without a zero.
    Buffer buffer;
    buffer.fill('x');
    EXPECT_TRUE(ConvertFieldValue(1, 251, 0, 1, 251, 0, buffer));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), std::string(250, 'x'));
    EXPECT_EQ(buffer[250], 0);
}

TEST(FieldConversion, TextsFollowTheFormatSettings) {
    rtl::FormatSettingsGuard comma(rtl_test::CommaSettings());
    Buffer buffer = BufferWith(Text("2,5"));
    EXPECT_TRUE(ConvertFieldValue(1, 4, 0, 7, 8, 0, buffer));
    EXPECT_EQ(buffer, BufferWith(F64(2.5)));
    EXPECT_TRUE(ConvertFieldValue(7, 8, 0, 1, 10, 0, buffer));
    EXPECT_EQ(buffer, BufferWith(Text("2,5")));
    buffer = BufferWith(I64(12342));
    EXPECT_TRUE(ConvertFieldValue(8, 8, 0, 1, 10, 0, buffer));
    EXPECT_EQ(buffer, BufferWith(Text("12,34")));
    buffer = BufferWith(F64(kMoment));
    EXPECT_TRUE(ConvertFieldValue(11, 8, 0, 1, 30, 0, buffer));
    EXPECT_EQ(buffer, BufferWith(Text("7.3.2024 13:05:09")));
}

// The pairs the conversion matrix marks as having no conversion, by source type, for targets 0 .. 15.
constexpr const char* kNoConversion[16] = {
    "-nnnnnnnnnnnnnnn",  // 0 no type
    "n--n---------nnn",  // 1 string
    "n--nnnnnn-n-nnnn",  // 2 date
    "----------------",  // 3 large object
    "n-nn---n--nn-nnn",  // 4 boolean
    "n-nn------nn-nnn",  // 5 smallint
    "n-nnn-----nn-nnn",  // 6 integer
    "n-nnn-----nn-nnn",  // 7 float
    "n-nnn-----nn-nnn",  // 8 BCD
    "----------------",  // 9 bytes
    "n-nnnnnnn---nnnn",  // 10 time
    "n--nnnnnn---nnnn",  // 11 date-time
    "n-nn------nn-nnn",  // 12 word
    "----------------",  // 13 unsigned 32-bit
    "----------------",  // 14 10-byte float
    "----------------",  // 15 variable bytes
};

// Every cell, fed whatever bytes: a pair without a conversion leaves zeros, a failed conversion the target's
// zero value, and nothing reads or writes out of bounds or wraps.
TEST(FieldConversion, EveryCellIsSafe) {
    Bytes fills[] = {Bytes(251, 0), Bytes(251, 0xFF), Bytes(251, '7'), Bytes(251, 0x80)};
    for (int source = 0; source < 17; ++source) {
        for (int target = 0; target < 17; ++target) {
            for (const Bytes& fill : fills) {
                Buffer buffer = BufferWith(fill);
                const bool converted = ConvertFieldValue(static_cast<std::uint8_t>(source), 8, 0,
                                                         static_cast<std::uint8_t>(target), 8, 2, buffer);
                const bool none =
                    source == 16 || target == 16 ? source != target : kNoConversion[source][target] == 'n';
                if (none) {
                    EXPECT_FALSE(converted) << source << " to " << target;
                    EXPECT_EQ(buffer, Buffer{}) << source << " to " << target;
                } else if (!converted) {
                    Bytes zero = target == 2 ? I32(693594) : target == 11 ? F64(kZeroMoment) : Bytes{};
                    EXPECT_EQ(buffer, BufferWith(zero)) << source << " to " << target;
                }
            }
        }
    }
}

TEST(FieldConversion, ABufferTooSmallIsLeftAlone) {
    std::array<std::uint8_t, 8> small{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(ConvertFieldValue(6, 4, 0, 1, 8, 0, small));
    EXPECT_EQ(small, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(FieldConversion, TextToDateTimeValue) {
    Buffer buffer = BufferWith(Text("3/7/2024"));
    EXPECT_TRUE(TextToDateTimeValue(buffer, FieldTypeDate));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), I32(kDay));

    buffer = BufferWith(Text("13:05:09"));
    EXPECT_TRUE(TextToDateTimeValue(buffer, FieldTypeTime));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), I32(kTime));

    buffer = BufferWith(Text("3/7/2024 1:05:09 PM"));
    EXPECT_TRUE(TextToDateTimeValue(buffer, FieldTypeDateTime));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), F64(kMoment));

    const std::uint8_t types[] = {FieldTypeDate, FieldTypeTime, FieldTypeDateTime};
    const Bytes zeroMoments[] = {I32(693594), I32(0), F64(kZeroMoment)};
    for (int i = 0; i < 3; ++i) {
        buffer = BufferWith(Text("soon"));
        EXPECT_FALSE(TextToDateTimeValue(buffer, types[i]));
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + zeroMoments[i].size()), zeroMoments[i]);
    }

    buffer = BufferWith(Text("3/7/2024"));
    EXPECT_TRUE(TextToDateTimeValue(buffer, FieldTypeString));
    EXPECT_EQ(buffer, BufferWith(Text("3/7/2024")));
}

TEST(FieldConversion, FieldTextsStandForMoments) {
    const rtl::TDateTime moment = rtl::EncodeDateTime(2024, 3, 7, 13, 5, 9, 250);
    const rtl::FixedClock clock(moment);
    const rtl::TDateTime day = rtl::EncodeDate(2024, 3, 7);
    const rtl::TDateTime time = rtl::EncodeTime(13, 5, 9, 250);
    const struct {
        const char* text;
        std::uint8_t type;
        rtl::TDateTime moment;
    } cases[] = {
        {"date", FieldTypeDate, day},
        {"Time", FieldTypeTime, time},
        {"NOW", FieldTypeDateTime, moment},
        {"Date", FieldTypeDateTime, day},
        {"time", FieldTypeDateTime, time},  // on 30 December 1899
        {"3/5/2024", FieldTypeDate, rtl::EncodeDate(2024, 3, 5)},
        {"3/5/2024 1:00 PM", FieldTypeDateTime, rtl::EncodeDateTime(2024, 3, 5, 13, 0, 0, 0)},
        {"13:05", FieldTypeTime, rtl::EncodeTime(13, 5, 0, 0)},
    };
    for (const auto& c : cases) EXPECT_EQ(FieldTextToMoment(c.text, c.type), c.moment) << c.text;
    // A word stands only where a definition admits it.
    EXPECT_THROW(FieldTextToMoment("now", FieldTypeDate), rtl::EConvertError);
    EXPECT_THROW(FieldTextToMoment("TIME", FieldTypeDate), rtl::EConvertError);
    EXPECT_THROW(FieldTextToMoment("soon", FieldTypeDateTime), rtl::EConvertError);
}

TEST(FieldConversion, ValidFieldTexts) {
    const struct {
        const char* text;
        std::uint8_t type;
        bool valid;
    } cases[] = {
        {"now", FieldTypeDateTime, true},
        {"now", FieldTypeDate, false},
        {"Date", FieldTypeDate, true},
        {"date", FieldTypeDateTime, true},
        {"time", FieldTypeTime, true},
        {"TIME", FieldTypeDate, false},
        {" NOW", FieldTypeDateTime, false},  // no trimming
        {"3/7/2024", FieldTypeDate, true},
        {"3/7/2024", FieldTypeDateTime, true},
        {"13:05", FieldTypeDateTime, true},
        {"13:05", FieldTypeTime, true},
        {"13:05", FieldTypeDate, false},
        {"3/7/2024 13:05", FieldTypeDateTime, true},
        {"-1", FieldTypeWord, false},
        {"-1", FieldTypeSmallInt, true},
        {"65535", FieldTypeWord, true},
        {"65536", FieldTypeWord, false},
        {"32768", FieldTypeSmallInt, false},
        {"-32768", FieldTypeSmallInt, true},
        {"2147483648", FieldTypeInteger, false},
        {"$7F", FieldTypeInteger, true},
        {"false", FieldTypeBoolean, true},
        {"yes", FieldTypeBoolean, false},
        {"1.5e3", FieldTypeFloat, true},
        {"1,5", FieldTypeFloat, false},
        {"12.34567", FieldTypeBcd, true},
        {"1e300", FieldTypeBcd, false},
        {"anything", FieldTypeString, true},
        {"anything", FieldTypeBytes, true},
        {"anything", FieldTypeBlob, true},
        {"anything", FieldTypeLongWord, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidFieldText(c.text, c.type), c.valid) << c.text << " as " << int(c.type);
    for (int type = 0; type < 16; ++type)
        EXPECT_TRUE(IsValidFieldText("", static_cast<std::uint8_t>(type))) << type;
}

}  // namespace
