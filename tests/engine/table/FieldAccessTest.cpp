#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/expr/ExprNode.h"
#include "engine/table/DataFile.h"
#include "engine/values/Collation.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/InstalledLocales.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/FormatSettings.h"
#include "tests/engine/support/ExprBuilders.h"
#include "tests/engine/support/LocaleDoubles.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/StoredValues.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::TDataFile;
using engine::TFieldDesc;
std::int32_t Day(int year, int month, int day) {
    return rtl::DateToDayNumber(year, month, day);
}
double MSecs(rtl::TDateTime moment) {
    return rtl::TimeStampToMSecs(rtl::DateTimeToTimeStamp(moment));
}

// A decimal comma and day-first dates with slashes: "3/5/2024" reads as 3 May here, and "12.34" not at all.
rtl::FormatSettings DayFirstComma() {
    rtl::FormatSettings s;
    s.DecimalSeparator = ',';
    s.ThousandSeparator = '.';
    s.ShortDateFormat = "d/M/yyyy";
    return s;
}

std::string ErrorField() {
    return engine::CurrentErrorContext().FieldName;
}

// Field numbers of the table of every type.
enum : std::uint16_t {
    kSeq = 1,
    kName,
    kFlag,
    kSmall,
    kQty,
    kRatio,
    kPrice,
    kDay,
    kAt,
    kStamp,
    kCount,
    kMemo,
    kCode,
    kLastField = kCode
};

std::vector<TFieldDesc> EveryType() {
    return {AutoIncDef(kSeq, "SEQ"),
            FieldDef(kName, "NAME", engine::FieldTypeString, 10),
            FieldDef(kFlag, "FLAG", engine::FieldTypeBoolean),
            FieldDef(kSmall, "SMALL", engine::FieldTypeSmallInt),
            FieldDef(kQty, "QTY", engine::FieldTypeInteger),
            FieldDef(kRatio, "RATIO", engine::FieldTypeFloat),
            FieldDef(kPrice, "PRICE", engine::FieldTypeBcd, 0, 2),
            FieldDef(kDay, "DAY", engine::FieldTypeDate),
            FieldDef(kAt, "AT", engine::FieldTypeTime),
            FieldDef(kStamp, "STAMP", engine::FieldTypeDateTime),
            FieldDef(kCount, "COUNT", engine::FieldTypeWord),
            FieldDef(kMemo, "MEMO", engine::FieldTypeBlob),
            FieldDef(kCode, "CODE", engine::FieldTypeBytes, 4)};
}

TFieldDesc WithLimits(TFieldDesc field, std::string minimum, std::string maximum) {
    field.MinValue = std::move(minimum);
    field.MaxValue = std::move(maximum);
    return field;
}

TFieldDesc WithDefault(TFieldDesc field, std::string text) {
    field.DefaultValue = std::move(text);
    return field;
}

class FieldAccessTest : public TableTest {
protected:
    // The open table must let tarnis-check in.
    void TearDown() override {
        table_.Close();
        TableTest::TearDown();
    }

    // Creates the table and opens it exclusively, with an image of its record buffer size.
    void Open(std::vector<TFieldDesc> fields, const std::string& name = "fields", TableOptions options = {}) {
        table_.Close();
        std::vector<engine::TIndexDescriptor> indexes;
        options.allowNoPrimary = true;
        CreateTable(name, fields, indexes, options);
        Reopen(name);
    }
    void Reopen(const std::string& name) {
        table_.Close();
        table_.SetFileName(name);
        table_.SetExclusive(true);
        table_.Open();
        image_.assign(table_.GetRecordBufferSize(), 0);
    }

    const TFieldDesc& Desc(std::uint16_t field) const { return table_.GetFieldDesc(false, field); }
    std::uint8_t Flag(std::uint16_t field) const { return image_.at(Desc(field).Offset); }
    Bytes Stored(std::uint16_t field) const {
        const TFieldDesc& desc = Desc(field);
        const auto begin = image_.begin() + desc.Offset + 1;
        return Bytes(begin, begin + desc.StoredSize);
    }
    void Set(std::uint16_t field, const Bytes& value) { table_.SetField(false, field, image_, value); }
    // The engine code CheckValidity raises on the image, 0 for none.
    int Validity() {
        return EngineCode([&] { table_.CheckValidity(image_); });
    }

    TDataFile table_;
    Bytes image_;
};

// ---- GetField and SetField ----

TEST_F(FieldAccessTest, ValuesAreStoredAndReadBackByType) {
    Open(EveryType());
    const struct {
        std::uint16_t field;
        Bytes source;
        Bytes stored;
        bool blank;
        const char* what;
    } rows[] = {
        {kName, Str("   "), Bytes(11, 0), true, "a string of blanks is blank"},
        {kName, Str(""), Bytes(11, 0), true, "the empty string is blank"},
        {kName, Str("ab  "), Padded(Chars("ab"), 11), false, "trailing blanks are cut"},
        {kName, Str("  ab"), Padded(Chars("  ab"), 11), false, "leading blanks stay"},
        {kName, Str("ABCDEFGHIJKLMN"), Padded(Chars("ABCDEFGHIJ"), 11), false, "over-long: cut, zero kept"},
        {kName, Chars("ABCDEFGHIJK"), Padded(Chars("ABCDEFGHIJ"), 11), false, "size + 1 characters, no zero"},
        {kName, Str("abc"), Padded(Chars("abc"), 11), false, "a short source is read to its end only"},
        {kName, Chars("abcd"), Padded(Chars("abcd"), 11), false, "a short source without a zero"},
        {kName, Str("ab\0xy"), Padded(Chars("ab"), 11), false, "nothing after the zero"},
        {kFlag, U16(2), U16(1), false, "boolean 2 stores 1"},
        {kFlag, U16(0xFFFF), U16(1), false, "any true word stores 1"},
        {kFlag, U16(0), U16(0), false, "false is a value"},
        {kSmall, I16(-300), I16(-300), false, "16-bit integer"},
        {kQty, I32(-5), I32(-5), false, "32-bit integer"},
        {kQty, I32(0), I32(0), false, "zero is a value"},
        {kRatio, F64(2.5), F64(2.5), false, "float"},
        {kPrice, I64(12342), I64(12342), false, "BCD"},
        {kDay, I32(Day(2024, 3, 5)), I32(Day(2024, 3, 5)), false, "date"},
        {kAt, I32(3600000), I32(3600000), false, "time"},
        {kStamp, F64(6.4e13), F64(6.4e13), false, "date-time"},
        {kCount, U16(65535), U16(65535), false, "16-bit unsigned"},
        {kMemo, I32(100), I32(100), false, "a stored large object"},
        {kMemo, I32(0), I32(0), true, "an empty large object is blank"},
        {kMemo, I32(-3), I32(-3), false, "an open large object has a value"},
        {kCode, Chars("\x01\x02\x03\x04"), Chars("\x01\x02\x03\x04"), false, "bytes"},
        {kCode, Bytes{9}, Bytes{9, 0, 0, 0}, false, "short bytes are zero-extended"},
        {kCode, Chars("\x01\x02\x03\x04\x05\x06"), Chars("\x01\x02\x03\x04"), false, "long bytes are cut"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const TFieldDesc& desc = Desc(row.field);
        // Every byte starts as a mark: the field's flag and value are all that change.
        std::fill(image_.begin(), image_.end(), 0xEE);
        Set(row.field, row.source);
        EXPECT_EQ(Flag(row.field), row.blank ? 0 : 1);
        EXPECT_EQ(Stored(row.field), row.stored);
        for (std::size_t i = 0; i < image_.size(); ++i) {
            if (i < desc.Offset || i > desc.Offset + desc.StoredSize) {
                ASSERT_EQ(image_[i], 0xEE) << i;
            }
        }
        Bytes read(desc.StoredSize, 0x55);
        EXPECT_EQ(table_.GetField(false, row.field, image_, read), row.blank);
        EXPECT_EQ(read, row.stored);
        EXPECT_EQ(table_.GetField(false, row.field, image_), row.blank);

        // Blanking zeroes the value bytes, which are read back as they are.
        table_.SetField(false, row.field, image_, std::nullopt);
        EXPECT_EQ(Flag(row.field), 0);
        EXPECT_EQ(Stored(row.field), Bytes(desc.StoredSize, 0));
        EXPECT_TRUE(table_.GetField(false, row.field, image_, read));
        EXPECT_EQ(read, Bytes(desc.StoredSize, 0));
    }
}

TEST_F(FieldAccessTest, AnOpenLargeObjectIsNotBlankWhateverItsFlag) {
    Open(EveryType());
    Set(kMemo, I32(-3));
    image_[Desc(kMemo).Offset] = 0;
    EXPECT_FALSE(table_.GetField(false, kMemo, image_));
    Set(kMemo, I32(7));
    image_[Desc(kMemo).Offset] = 0;
    EXPECT_TRUE(table_.GetField(false, kMemo, image_));
}

TEST_F(FieldAccessTest, TheAutoincrementFieldIsTheRecordId) {
    Open(EveryType());
    Bytes read(4, 0x55);
    table_.InitRecord(image_);
    EXPECT_FALSE(table_.GetField(false, kSeq, image_, read));
    EXPECT_EQ(read, I32(0));

    Set(kSeq, I32(42));
    EXPECT_EQ(Bytes(image_.begin() + 5, image_.begin() + 9), I32(42));
    EXPECT_EQ(table_.GetRecordId(image_), engine::RecordId(42));
    EXPECT_FALSE(table_.GetField(false, kSeq, image_, read));
    EXPECT_EQ(read, I32(42));

    // A blank cannot clear it.
    table_.SetField(false, kSeq, image_, std::nullopt);
    EXPECT_EQ(table_.GetRecordId(image_), engine::RecordId(42));
    EXPECT_FALSE(table_.GetField(false, kSeq, image_));

    table_.SetRecordId(image_, engine::RecordId(7));
    table_.GetField(false, kSeq, image_, read);
    EXPECT_EQ(read, I32(7));

    const Bytes slot = I32(9);
    std::copy(slot.begin(), slot.end(), image_.begin() + 1);
    EXPECT_EQ(table_.GetSlotNumber(image_), engine::SlotNumber(9));
}

TEST_F(FieldAccessTest, ShortBuffersAreRefusedNotOverrun) {
    Open(EveryType());
    const std::uint16_t recordSize = table_.GetRecordSize();
    // An image one byte short of the last field: exactly that long, so that any access past it shows.
    Bytes shortImage(recordSize - 1u, 0);
    EXPECT_EQ(EngineCode([&] { table_.SetField(false, kCode, shortImage, Chars("abcd")); }),
              engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(ErrorField(), "CODE");
    EXPECT_EQ(shortImage, Bytes(recordSize - 1u, 0));
    EXPECT_EQ(EngineCode([&] { table_.SetField(false, kCode, shortImage, std::nullopt); }),
              engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table_.GetField(false, kCode, shortImage); }),
              engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table_.InitRecord(shortImage); }), engine::ErrRecordBuffersCorrupt);
    // Fields that lie inside still work.
    table_.SetField(false, kQty, shortImage, I32(3));
    EXPECT_FALSE(table_.GetField(false, kQty, shortImage));

    Bytes shortDestination(3);
    EXPECT_EQ(EngineCode([&] { table_.GetField(false, kQty, image_, shortDestination); }),
              engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table_.GetField(false, kSeq, image_, shortDestination); }),
              engine::ErrRecordBuffersCorrupt);
    Bytes header(8);
    EXPECT_EQ(EngineCode([&] { table_.GetRecordId(header); }), engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table_.SetRecordId(header, engine::RecordId(1)); }),
              engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table_.GetSlotNumber(header); }), engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table_.SetField(false, kSeq, header, I32(1)); }),
              engine::ErrRecordBuffersCorrupt);
    Bytes value(3);
    EXPECT_EQ(EngineCode([&] { table_.CheckLimit("1", false, Desc(kQty), value); }),
              engine::ErrRecordBuffersCorrupt);
}

// ---- New records ----

TEST_F(FieldAccessTest, DefaultsComeFromTheClockAndTheTableFormats) {
    const rtl::TDateTime moment = rtl::EncodeDateTime(2024, 3, 5, 14, 30, 15, 250);
    const rtl::FixedClock clock(moment);
    const double timeOfDay = 52215250;  // 14:30:15.250 in milliseconds
    Open({WithDefault(FieldDef(1, "DAY", engine::FieldTypeDate), "date"),
          WithDefault(FieldDef(2, "STAMP", engine::FieldTypeDateTime), "Now"),
          WithDefault(FieldDef(3, "CLOCK", engine::FieldTypeDateTime), "TIME"),
          WithDefault(FieldDef(4, "MIDNIGHT", engine::FieldTypeDateTime), "Date"),
          WithDefault(FieldDef(5, "AT", engine::FieldTypeTime), "time"),
          WithDefault(FieldDef(6, "PRICE", engine::FieldTypeBcd, 0, 2), "12.34"),
          WithDefault(FieldDef(7, "FLAG", engine::FieldTypeBoolean), "TRUE"),
          WithDefault(FieldDef(8, "OFF", engine::FieldTypeBoolean), "false"),
          WithDefault(FieldDef(9, "NAME", engine::FieldTypeString, 10), "abc"),
          WithDefault(FieldDef(10, "QTY", engine::FieldTypeInteger), "-7"),
          WithDefault(FieldDef(11, "SMALL", engine::FieldTypeSmallInt), "-300"),
          WithDefault(FieldDef(12, "COUNT", engine::FieldTypeWord), "65535"),
          WithDefault(FieldDef(13, "RATIO", engine::FieldTypeFloat), "2.5"),
          WithDefault(FieldDef(14, "WHEN", engine::FieldTypeDate), "3/5/2024"),
          WithDefault(FieldDef(15, "MEMO", engine::FieldTypeBlob), "x"),
          WithDefault(FieldDef(16, "CODE", engine::FieldTypeBytes, 3), "x"),
          FieldDef(17, "PLAIN", engine::FieldTypeInteger)});
    const struct {
        std::uint16_t field;
        std::uint8_t flag;
        Bytes stored;
    } expected[] = {
        {1, 1, I32(Day(2024, 3, 5))},
        {2, 1, F64(Day(2024, 3, 5) * 86400000.0 + timeOfDay)},
        {3, 1, F64(rtl::DateDelta * 86400000.0 + timeOfDay)},  // that time on 30 December 1899
        {4, 1, F64(Day(2024, 3, 5) * 86400000.0)},
        {5, 1, I32(static_cast<std::int32_t>(timeOfDay))},
        {6, 1, I64(12342)},
        {7, 1, U16(1)},
        {8, 1, U16(0)},
        {9, 1, Padded(Chars("abc"), 11)},
        {10, 1, I32(-7)},
        {11, 1, I16(-300)},
        {12, 1, U16(65535)},
        {13, 1, F64(2.5)},
        {14, 1, I32(Day(2024, 3, 5))},  // month first: the table has no language id
        {15, 0, I32(0)},                // a large object stays blank
        {16, 1, Bytes(3, 0)},           // bytes get a value of zeros
        {17, 0, I32(0)},
    };

    const rtl::FormatSettingsGuard user(DayFirstComma());
    std::fill(image_.begin(), image_.end(), 0xEE);
    table_.InitRecord(image_);
    for (const auto& row : expected) {
        SCOPED_TRACE(Desc(row.field).Name);
        EXPECT_EQ(Flag(row.field), row.flag);
        EXPECT_EQ(Stored(row.field), row.stored);
    }
    EXPECT_EQ(Bytes(image_.begin(), image_.begin() + 9), Bytes(9, 0));
    EXPECT_EQ(rtl::CurrentFormatSettings(), DayFirstComma());
}

TEST_F(FieldAccessTest, ADefaultThatDoesNotReadRaisesAndRestoresTheFormats) {
    std::filesystem::create_directory("damaged");
    // Definitions refuse such a default, so it is written into the file afterwards.
    Open({WithDefault(FieldDef(1, "FLAG", engine::FieldTypeBoolean), "TRUE")}, "damaged/maybe");
    table_.Close();
    std::string bytes = ReadBytes("damaged/maybe.DAT");
    bytes.replace(127 + 196, 6, std::string("\x05maybe"));
    WriteBytes("damaged/maybe.DAT", bytes);
    Reopen("damaged/maybe");

    const rtl::FormatSettingsGuard user(DayFirstComma());
    try {
        table_.InitRecord(image_);
        ADD_FAILURE() << "no conversion error";
    } catch (const rtl::EConvertError& error) {
        EXPECT_EQ(error.Message(), "'maybe' is not a valid boolean value");
    }
    EXPECT_EQ(rtl::CurrentFormatSettings(), DayFirstComma());
}

// ---- Validity checks ----

TEST_F(FieldAccessTest, RequiredMinimumAndMaximumByType) {
    TFieldDesc required = FieldDef(11, "REQ", engine::FieldTypeString, 5);
    required.Required = 1;
    Open({WithLimits(FieldDef(1, "INT", engine::FieldTypeInteger), "-10", "10"),
          WithLimits(FieldDef(2, "SMALL", engine::FieldTypeSmallInt), "-300", "300"),
          WithLimits(FieldDef(3, "WORD", engine::FieldTypeWord), "5", "60000"),
          WithLimits(FieldDef(4, "FLT", engine::FieldTypeFloat), "-1.5", "2.25"),
          WithLimits(FieldDef(5, "BCD", engine::FieldTypeBcd, 0, 2), "1.5", "99.99"),
          WithLimits(FieldDef(6, "DAY", engine::FieldTypeDate), "1/1/2020", "12/31/2020"),
          WithLimits(FieldDef(7, "AT", engine::FieldTypeTime), "8:00", "17:30"),
          WithLimits(FieldDef(8, "STAMP", engine::FieldTypeDateTime), "1/1/2020 8:00", "1/1/2020 17:00"),
          WithLimits(FieldDef(9, "NAME", engine::FieldTypeString, 10), "B", "M"),
          WithLimits(FieldDef(10, "SEQ", engine::FieldTypeInteger, 0, 0, engine::FieldSubTypeAutoInc), "2",
                     "9"),
          required});
    const double newYear = MSecs(rtl::EncodeDate(2020, 1, 1));
    const Bytes base[] = {I32(0),        I16(0),
                          U16(5),        F64(0),
                          I64(1502),     I32(Day(2020, 6, 1)),
                          I32(43200000), F64(newYear + 43200000),
                          Str("C"),      I32(5),
                          Str("x")};
    const auto reset = [&] {
        std::fill(image_.begin(), image_.end(), 0);
        for (std::uint16_t field = 1; field <= 11; ++field) Set(field, base[field - 1]);
    };

    const int ok = 0;
    const int low = engine::ErrBelowMinimum;
    const int high = engine::ErrAboveMaximum;
    const struct {
        std::uint16_t field;
        Bytes value;
        int code;
    } rows[] = {
        {1, I32(-10), ok},
        {1, I32(-11), low},
        {1, I32(10), ok},
        {1, I32(11), high},
        {2, I16(-300), ok},
        {2, I16(-301), low},
        {2, I16(300), ok},
        {2, I16(301), high},
        {3, U16(5), ok},
        {3, U16(4), low},
        {3, U16(60000), ok},
        {3, U16(60001), high},
        {4, F64(-1.5), ok},
        {4, F64(std::nextafter(-1.5, -2.0)), low},
        {4, F64(2.25), ok},
        {4, F64(std::nextafter(2.25, 3.0)), high},
        {5, I64(1502), ok},      // 1.50
        {5, I64(1492), low},     // 1.49
        {5, I64(150004), ok},    // 1.5000 at scale 4: the same value
        {5, I64(149994), low},   // 1.4999 at scale 4
        {5, I64(99992), ok},     // 99.99
        {5, I64(100002), high},  // 100.00
        {6, I32(Day(2020, 1, 1)), ok},
        {6, I32(Day(2019, 12, 31)), low},
        {6, I32(Day(2020, 12, 31)), ok},
        {6, I32(Day(2021, 1, 1)), high},
        {7, I32(28800000), ok},
        {7, I32(28799999), low},
        {7, I32(63000000), ok},
        {7, I32(63000001), high},
        {8, F64(newYear + 28800000), ok},
        {8, F64(newYear + 28799999), low},
        {8, F64(newYear + 61200000), ok},
        {8, F64(newYear + 61200001), high},
        {9, Str("B"), ok},
        {9, Str("A"), low},
        {9, Str("M"), ok},
        {9, Str("Ma"), high},
        {9, Str("b"), high},  // case counts: small letters follow capitals in byte order
        {10, I32(2), ok},
        {10, I32(1), low},
        {10, I32(10), high},
        {11, Str(""), engine::ErrValueRequired},
    };
    // The limits are read in the table's formats whatever the caller's are, and those come back.
    const rtl::FormatSettingsGuard user(DayFirstComma());
    reset();
    EXPECT_EQ(Validity(), ok);
    for (const auto& row : rows) {
        const std::string name = Desc(row.field).Name;
        SCOPED_TRACE(name + " row " + std::to_string(&row - rows));
        reset();
        Set(row.field, row.value);
        engine::ClearErrorContext();
        EXPECT_EQ(Validity(), row.code);
        if (row.code != ok) {
            EXPECT_EQ(ErrorField(), name);
        }
        EXPECT_EQ(rtl::CurrentFormatSettings(), DayFirstComma());
    }
}

TEST_F(FieldAccessTest, BlankFieldsAreCheckedAsZero) {
    const struct {
        TFieldDesc field;
        int code;
    } rows[] = {
        {WithLimits(FieldDef(1, "A", engine::FieldTypeInteger), "1", ""), engine::ErrBelowMinimum},
        {WithLimits(FieldDef(1, "A", engine::FieldTypeInteger), "0", ""), 0},
        {WithLimits(FieldDef(1, "A", engine::FieldTypeInteger), "", "-1"), engine::ErrAboveMaximum},
        // A blank BCD field holds the stored form 0, which is the value 0 at any scale.
        {WithLimits(FieldDef(1, "A", engine::FieldTypeBcd, 0, 2), "0", "0"), 0},
        {WithLimits(FieldDef(1, "A", engine::FieldTypeBcd, 0, 2), "0.01", ""), engine::ErrBelowMinimum},
        {WithLimits(FieldDef(1, "A", engine::FieldTypeBcd, 0, 2), "", "-0.01"), engine::ErrAboveMaximum},
        {WithLimits(FieldDef(1, "A", engine::FieldTypeString, 5), "", ""), 0},
        {WithLimits(FieldDef(1, "A", engine::FieldTypeString, 5), "a", ""), engine::ErrBelowMinimum},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(n);
        Open({row.field}, "blank" + std::to_string(n++));
        table_.InitRecord(image_);
        EXPECT_EQ(Validity(), row.code);
    }
}

TEST_F(FieldAccessTest, DateAndTimeLimitsMayNameTheClock) {
    const rtl::TDateTime moment = rtl::EncodeDateTime(2024, 3, 5, 14, 30, 15, 250);
    const rtl::FixedClock clock(moment);
    Open({WithLimits(FieldDef(1, "DAY", engine::FieldTypeDate), "date", ""),
          WithLimits(FieldDef(2, "STAMP", engine::FieldTypeDateTime), "", "NOW"),
          WithLimits(FieldDef(3, "AT", engine::FieldTypeTime), "Time", "")});
    const auto check = [&](std::int32_t day, double stamp, std::int32_t at) {
        std::fill(image_.begin(), image_.end(), 0);
        Set(1, I32(day));
        Set(2, F64(stamp));
        Set(3, I32(at));
        return Validity();
    };
    const std::int32_t today = Day(2024, 3, 5);
    const double now = MSecs(moment);
    EXPECT_EQ(check(today, now, 52215250), 0);
    EXPECT_EQ(check(today - 1, now, 52215250), engine::ErrBelowMinimum);
    EXPECT_EQ(check(today, now + 1, 52215250), engine::ErrAboveMaximum);
    EXPECT_EQ(check(today, now, 52215249), engine::ErrBelowMinimum);
}

// A locale that orders "a" before "B", against byte order.
class LocaleFieldAccessTest : public FieldAccessTest {
protected:
    static constexpr std::uint16_t kLanguageId = 0x0409;
    const DictionaryCollation collation_;
    const DefaultFormats formats_;
    // Installed until after tarnis-check has seen the table.
    const engine::InstalledLocale locale_{kLanguageId, 0, collation_, formats_};
};

TEST_F(LocaleFieldAccessTest, StringLimitsFollowTheTableCollation) {
    const auto maximumCode = [&](const std::string& table, std::uint16_t languageId, std::string_view value) {
        TableOptions options;
        options.languageId = languageId;
        Open({WithLimits(FieldDef(1, "NAME", engine::FieldTypeString, 10), "", "B")}, table, options);
        Set(1, Str(value));
        return Validity();
    };
    EXPECT_EQ(maximumCode("bytes", 0, "a"), engine::ErrAboveMaximum);
    EXPECT_EQ(maximumCode("locale", kLanguageId, "a"), 0);
    EXPECT_EQ(maximumCode("locale", kLanguageId, "B"), 0);
    EXPECT_EQ(maximumCode("locale", kLanguageId, "b"), 0);  // a small letter just before its capital
    EXPECT_EQ(maximumCode("locale", kLanguageId, "Ba"), engine::ErrAboveMaximum);
    EXPECT_EQ(maximumCode("locale", kLanguageId, "c"), engine::ErrAboveMaximum);

    // The collation table of the open table is the locale's order too; names compare in its case mapping.
    const engine::CollationTable& order = table_.GetLocaleInfo();
    EXPECT_LT(engine::CollationIndex('a', order), engine::CollationIndex('B', order));
    EXPECT_EQ(table_.GetFieldDescByName(false, "name").FieldNumber, 1);
}

// ---- Record IDs ----

TEST_F(FieldAccessTest, RecordIdsWrapToOneAndReachTheFile) {
    Open(EveryType(), "ids");
    EXPECT_EQ(table_.NextAutoInc(), engine::RecordId(1));
    table_.Close();
    PatchFile("ids.DAT", LastIdAt, 4, 0x7FFFFFFF);
    Reopen("ids");
    EXPECT_EQ(table_.Header().ImageChanged, 0);
    EXPECT_EQ(table_.NextAutoInc(), engine::RecordId(1));
    EXPECT_EQ(table_.Header().ImageChanged, 1);
    EXPECT_EQ(table_.NextAutoInc(), engine::RecordId(2));
    table_.Close();
    EXPECT_EQ(GetLE(ReadBytes("ids.DAT"), LastIdAt, 4), 2u);
}

// ---- Descriptors ----

TEST_F(FieldAccessTest, DescriptorsByNumberAndName) {
    Open(EveryType());
    EXPECT_EQ(table_.GetFieldDesc(false, 1).Name, "SEQ");
    EXPECT_EQ(table_.GetFieldDesc(true, kLastField).Name, "CODE");
    for (const std::uint16_t number : {0, kLastField + 1}) {
        for (const bool workingSet : {false, true}) {
            EXPECT_EQ(EngineCode([&] { table_.GetFieldDesc(workingSet, number); }), engine::ErrInvalidField);
            EXPECT_EQ(ErrorField(), std::to_string(number));
        }
    }
    EXPECT_EQ(table_.GetFieldDescByName(false, "name").FieldNumber, kName);
    EXPECT_EQ(table_.GetFieldDescByName(true, "Price").FieldNumber, kPrice);
    EXPECT_EQ(EngineCode([&] { table_.GetFieldDescByName(false, "NAMES"); }), engine::ErrInvalidField);
    EXPECT_EQ(ErrorField(), "NAMES");

    // A working set answers by its own numbering; the first of two equal names wins.
    TFieldDesc price = Desc(kPrice);
    TFieldDesc qty = Desc(kQty);
    qty.Name = "price";
    table_.DefineWorkingFields(std::vector<TFieldDesc>{price, qty});
    EXPECT_EQ(table_.GetFieldCount(), 2);
    EXPECT_EQ(table_.GetPhysicalFieldCount(), kLastField);
    EXPECT_EQ(table_.GetFieldDesc(true, 1).Offset, Desc(kPrice).Offset);
    EXPECT_EQ(table_.GetFieldDesc(true, 2).Offset, Desc(kQty).Offset);
    EXPECT_EQ(table_.GetFieldDesc(false, 1).Name, "SEQ");
    EXPECT_EQ(table_.GetFieldDescByName(true, "PRICE").Offset, Desc(kPrice).Offset);
    EXPECT_EQ(table_.GetFieldDescByName(false, "QTY").FieldNumber, kQty);
    EXPECT_EQ(EngineCode([&] { table_.GetFieldDesc(true, 3); }), engine::ErrInvalidField);
    EXPECT_EQ(EngineCode([&] { table_.GetFieldDescByName(true, "QTY"); }), engine::ErrInvalidField);

    // Field access follows the set it is given.
    table_.SetField(true, 2, image_, I32(77));
    EXPECT_EQ(Stored(kQty), I32(77));
}

// ---- Calculated fields ----

TEST_F(FieldAccessTest, CalculatedFieldsFollowTheirOperands) {
    using namespace exprtest;
    Open({FieldDef(1, "A", engine::FieldTypeInteger), FieldDef(2, "B", engine::FieldTypeInteger)}, "calc");
    const NodePtr sum = Binary(engine::opAdd, Column(1), Column(2), engine::FieldTypeInteger);
    sum->Value.Size = 4;
    TFieldDesc total = FieldDef(3, "TOTAL", engine::FieldTypeInteger);
    total.Calculated = 1;
    total.CompiledExpression = sum.get();
    table_.DefineWorkingFields(std::vector<TFieldDesc>{Desc(1), Desc(2), total});
    ASSERT_EQ(table_.GetRecordBufferSize(), table_.GetRecordSize() + 5u);
    image_.assign(table_.GetRecordBufferSize(), 0);
    const std::size_t totalAt = table_.GetRecordSize();
    const auto totalValue = [&] { return Bytes(image_.begin() + totalAt + 1, image_.begin() + totalAt + 5); };

    table_.InitRecord(image_);
    table_.SetField(true, 1, image_, I32(2));
    // A blank operand gives no sum: the field stays blank.
    EXPECT_EQ(image_[totalAt], 0);
    EXPECT_TRUE(table_.GetField(true, 3, image_));
    table_.SetField(true, 2, image_, I32(3));
    EXPECT_EQ(image_[totalAt], 1);
    EXPECT_EQ(totalValue(), I32(5));

    // Without the flag a calculated field keeps its value.
    table_.SetField(true, 3, image_, I32(99));
    EXPECT_EQ(totalValue(), I32(5));
    table_.SetField(true, 3, image_, std::nullopt);
    EXPECT_EQ(image_[totalAt], 1);

    // The physical set's operands count as well.
    table_.SetField(false, 1, image_, I32(10));
    EXPECT_EQ(totalValue(), I32(13));
    Bytes read(4);
    EXPECT_FALSE(table_.GetField(true, 3, image_, read));
    EXPECT_EQ(read, I32(13));

    table_.SetField(true, 3, image_, I32(99), true);
    EXPECT_EQ(totalValue(), I32(99));
    table_.CalcFields(image_);
    EXPECT_EQ(totalValue(), I32(13));
}

TEST_F(FieldAccessTest, AStoredCalculatedFieldHasNoRoomInTheImage) {
    TFieldDesc calculated = FieldDef(2, "C", engine::FieldTypeString, 20);
    calculated.Calculated = 1;
    calculated.Expression = "A";
    calculated.Required = 1;
    Open({FieldDef(1, "A", engine::FieldTypeInteger), calculated}, "stored");
    ASSERT_EQ(table_.GetRecordBufferSize(), 14u);
    Bytes read(21, 0x55);
    EXPECT_TRUE(table_.GetField(false, 2, image_, read));
    EXPECT_EQ(read, Bytes(21, 0));
    table_.SetField(true, 2, image_, Str("abc"), true);
    EXPECT_EQ(image_, Bytes(14, 0));
    // Nothing stored, nothing to require.
    Set(1, I32(1));
    EXPECT_EQ(Validity(), 0);
}

// ---- Accessors ----

TEST_F(FieldAccessTest, TableAccessors) {
    Open(EveryType(), "plain");
    EXPECT_EQ(table_.GetBlobBlockSize(), 512u);
    EXPECT_EQ(table_.GetLanguageId(), 0);
    EXPECT_EQ(table_.GetSortId(), 0);
    EXPECT_EQ(table_.GetRecordSize(), table_.Header().RecordSize);
    EXPECT_EQ(table_.GetRecordBufferSize(), table_.GetRecordSize());
    EXPECT_EQ(table_.GetFieldCount(), kLastField);
    const engine::CollationTable& order = table_.GetLocaleInfo();
    for (std::size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], i);

    TableOptions options;
    options.blockSize = 1024;
    Open(EveryType(), "blocks", options);
    EXPECT_EQ(table_.GetBlobBlockSize(), 1024u);
    table_.Close();
    PatchFile("blocks.DAT", 4, 4, 0);
    Reopen("blocks");
    EXPECT_EQ(table_.GetBlobBlockSize(), 512u);
}

}  // namespace
