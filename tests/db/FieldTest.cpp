#include "db/Field.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "MemDataSet.h"
#include "MessageOf.h"
#include "db/BlobField.h"
#include "db/IntegerField.h"
#include "db/Messages.h"
#include "db/StringField.h"
#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/FormatSettings.h"
#include "rtl/Stream.h"

namespace {

using namespace db;
using db_test::MessageOf;
using db_test::TMemDataSet;
using rtl::Variant;

// One field of every kind that has a field class, on a record being inserted.
class AllKinds : public ::testing::Test {
protected:
    void SetUp() override {
        table_.SetColumns({{"S", ftString, 5},
                           {"SI", ftSmallint},
                           {"I", ftInteger},
                           {"W", ftWord},
                           {"L", ftLargeint},
                           {"B", ftBoolean},
                           {"F", ftFloat},
                           {"C", ftCurrency},
                           {"BCD", ftBCD, 2},
                           {"Date", ftDate},
                           {"T", ftTime},
                           {"DT", ftDateTime},
                           {"BY", ftBytes, 4},
                           {"VB", ftVarBytes, 3},
                           {"A", ftAutoInc},
                           {"M", ftMemo},
                           {"BL", ftBlob},
                           {"G", ftGraphic}});
        table_.Open();
        table_.Insert();
    }
    TField& F(const char* name) { return table_.FieldByName(name); }

    rtl::FormatSettingsGuard settings_{rtl::FormatSettings()};
    TMemDataSet table_;
};

TEST_F(AllKinds, EveryKindHasItsClassAndSize) {
    const struct {
        const char* name;
        TFieldType type;
        std::size_t dataSize;
    } cases[] = {
        {"S", ftString, 6},   {"SI", ftSmallint, 2}, {"I", ftInteger, 4}, {"W", ftWord, 2},
        {"L", ftLargeint, 8}, {"B", ftBoolean, 2},   {"F", ftFloat, 8},   {"C", ftCurrency, 8},
        {"BCD", ftBCD, 8},    {"Date", ftDate, 4},   {"T", ftTime, 4},    {"DT", ftDateTime, 8},
        {"BY", ftBytes, 4},   {"VB", ftVarBytes, 3}, {"A", ftAutoInc, 4}, {"M", ftMemo, 0},
        {"BL", ftBlob, 0},    {"G", ftGraphic, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(F(c.name).DataType(), c.type) << c.name;
        EXPECT_EQ(F(c.name).DataSize(), c.dataSize) << c.name;
    }
    EXPECT_EQ(&F("dAtE"), &F("DATE"));
}

TEST_F(AllKinds, NullReadsAsEmptyZeroFalseAndNull) {
    for (TField* f : table_.Fields()) {
        SCOPED_TRACE(f->FieldName());
        EXPECT_TRUE(f->IsNull());
        EXPECT_TRUE(f->Value().IsNull());
        EXPECT_EQ(f->AsString(), "");
        EXPECT_EQ(f->Text(), "");
    }
    for (const char* name : {"SI", "I", "W", "L", "F", "C", "BCD", "A"}) {
        EXPECT_EQ(F(name).AsInteger(), 0) << name;
        EXPECT_EQ(F(name).AsFloat(), 0) << name;
        EXPECT_EQ(F(name).AsCurrency().Raw(), 0) << name;
    }
    EXPECT_FALSE(F("B").AsBoolean());
    EXPECT_EQ(F("DT").AsDateTime(), 0);
    EXPECT_EQ(F("S").AsInteger(), 0);  // a null text is no number, but reads as 0
}

TEST_F(AllKinds, TextIsWrittenAndReadBackInTheFieldsKind) {
    const struct {
        const char* field;
        const char* text;
        const char* expected;
    } cases[] = {
        {"S", "abcdefgh", "abcde"},  // a longer text is cut, not refused
        {"SI", "-123", "-123"},
        {"I", "2147483647", "2147483647"},
        {"W", "65535", "65535"},
        {"L", "9000000000", "9000000000"},
        {"B", "tRUE", "True"},
        {"B", "FALSE", "False"},
        {"F", "0.1", "0.1"},
        {"F", "1e20", "1E20"},
        {"F", "0.333333333333333333", "0.333333333333333"},
        {"C", "12.5", "12.5"},
        {"BCD", "12.345", "12.35"},  // the cursor keeps two decimals
        {"BCD", "-0.005", "-0.01"},
        {"Date", "2/29/2024", "2/29/2024"},
        {"T", "1:02:03 PM", "1:02:03 PM"},
        {"DT", "2/29/2024 13:00", "2/29/2024 1:00:00 PM"},
        {"DT", "2/29/2024", "2/29/2024"},  // midnight: no time
    };
    for (const auto& c : cases) {
        F(c.field).SetAsString(c.text);
        EXPECT_EQ(F(c.field).AsString(), c.expected) << c.field << " " << c.text;
        EXPECT_EQ(F(c.field).Text(), F(c.field).DisplayText()) << c.field;
    }
    F("BY").SetAsString("ab");  // bytes are padded with zeros to the field's size
    EXPECT_EQ(F("BY").AsString(), std::string("ab\0\0", 4));
    for (const char* name : {"SI", "I", "F", "BCD", "B", "Date", "DT", "BY"}) {
        F(name).SetAsString("");  // an empty text clears every kind but text
        EXPECT_TRUE(F(name).IsNull()) << name;
    }
    F("S").SetAsString("");
    EXPECT_EQ(F("S").AsString(), "");
}

TEST_F(AllKinds, DatesFollowTheShortDateFormat) {
    rtl::CurrentFormatSettings().ShortDateFormat = "mm/dd/yy";
    F("Date").SetAsString("02/29/24");
    EXPECT_EQ(F("Date").AsDateTime(), rtl::EncodeDate(2024, 2, 29));
    EXPECT_EQ(F("Date").Text(), "02/29/24");
    F("Date").SetAsDateTime(rtl::EncodeDate(1999, 12, 31) + 0.75);  // the time of day is dropped
    EXPECT_EQ(F("Date").AsString(), "12/31/99");
    EXPECT_EQ(F("Date").Value(), Variant::FromDateTime(rtl::EncodeDate(1999, 12, 31)));
    F("T").SetAsDateTime(rtl::EncodeDate(1999, 12, 31) + 0.75);  // the day is dropped
    EXPECT_EQ(F("T").AsDateTime(), 0.75);
}

TEST_F(AllKinds, ConversionsRoundHalfToEvenAndRefuseWhatDoesNotFit) {
    const struct {
        const char* field;
        std::function<void(TField&)> set;
        std::int64_t expected;
    } rounding[] = {
        {"I", [](TField& f) { f.SetAsFloat(2.5); }, 2},
        {"I", [](TField& f) { f.SetAsFloat(3.5); }, 4},
        {"I", [](TField& f) { f.SetAsFloat(-2.5); }, -2},
        {"I", [](TField& f) { f.SetAsCurrency(rtl::Currency::FromRaw(25000)); }, 2},
        {"I", [](TField& f) { f.SetValue(Variant(2.5)); }, 2},
        {"I", [](TField& f) { f.SetValue(Variant("42")); }, 42},
        {"I", [](TField& f) { f.SetValue(Variant(true)); }, 1},
        {"SI", [](TField& f) { f.SetValue(Variant(std::int64_t{-32768})); }, -32768},
        {"L", [](TField& f) { f.SetAsFloat(1e15); }, 1000000000000000},
    };
    for (const auto& c : rounding) {
        c.set(F(c.field));
        EXPECT_EQ(F(c.field).AsLargeInt(), c.expected) << c.field;
    }
    F("F").SetAsFloat(2.5);
    EXPECT_EQ(F("F").AsInteger(), 2);
    F("BCD").SetAsFloat(3.5);
    EXPECT_EQ(F("BCD").AsInteger(), 4);

    const struct {
        std::function<void()> action;
        std::string message;
    } refused[] = {
        {[&] { F("SI").SetAsInteger(40000); }, "Value 40000 is out of range for field 'SI'"},
        {[&] { F("SI").SetAsString("-32769"); }, "Value -32769 is out of range for field 'SI'"},
        {[&] { F("W").SetAsInteger(-1); }, "Value -1 is out of range for field 'W'"},
        {[&] { F("I").SetAsFloat(3e9); }, "Value 3000000000 is out of range for field 'I'"},
        {[&] { F("I").SetAsLargeInt(std::int64_t{1} << 40); },
         "Value 1099511627776 is out of range for field 'I'"},
        {[&] { F("I").SetValue(rtl::VarArrayOf({1})); }, "Invalid type conversion for field 'I'"},
        {[&] { F("Date").SetAsBoolean(true); }, "Invalid type conversion for field 'Date'"},
        {[&] { F("B").SetAsInteger(1); }, "Invalid type conversion for field 'B'"},
        {[&] { F("B").SetAsString("yes"); }, "'yes' is not a valid boolean value"},
        {[&] { F("I").SetAsString("12a"); }, "'12a' is not a valid integer value"},
        {[&] { F("M").SetAsInteger(1); }, "Invalid type conversion for field 'M'"},
        {[&] {
             F("F").SetAsFloat(1e12);
             F("F").AsInteger();
         },
         "Value 1000000000000 is out of range for field 'F'"},
        {[&] { F("BCD").SetAsFloat(1e300); }, "Value 1E300 is out of range for field 'BCD'"},
    };
    for (const auto& c : refused) EXPECT_EQ(MessageOf(c.action), c.message);
    EXPECT_THROW(F("B").SetAsString("yes"), rtl::EConvertError);
    EXPECT_THROW(F("DT").SetAsDateTime(-700000), rtl::EConvertError);  // before the year 1
}

TEST_F(AllKinds, VariantsOfEachKind) {
    const struct {
        const char* field;
        Variant in;
        Variant out;
        rtl::VarType type;
    } cases[] = {
        {"S", 12, "12", rtl::VarType::String},
        {"I", "7", 7, rtl::VarType::Integer},
        {"L", 7, std::int64_t{7}, rtl::VarType::Int64},
        {"F", rtl::Currency::FromRaw(5), 0.0005, rtl::VarType::Double},
        {"C", 1, 1.0, rtl::VarType::Double},
        {"BCD", 0.1, rtl::Currency::FromRaw(1000), rtl::VarType::Currency},
        {"B", "true", true, rtl::VarType::Boolean},
        {"B", 0, false, rtl::VarType::Boolean},
        {"Date", "1/2/2000", Variant::FromDateTime(rtl::EncodeDate(2000, 1, 2)), rtl::VarType::Date},
        {"M", "memo text", "memo text", rtl::VarType::String},
    };
    for (const auto& c : cases) {
        F(c.field).SetValue(c.in);
        EXPECT_EQ(F(c.field).Value(), c.out) << c.field;
        EXPECT_EQ(F(c.field).Value().Type(), c.type) << c.field;
    }
    F("I").SetValue(Variant::Null());
    EXPECT_TRUE(F("I").IsNull());
    F("S").SetValue(Variant());
    EXPECT_TRUE(F("S").IsNull());
}

TEST_F(AllKinds, BcdReachesItsCurrencyFormThroughDataConvert) {
    F("BCD").SetAsCurrency(rtl::Currency::FromRaw(123450));  // 12.345
    std::int64_t native = 0;
    ASSERT_TRUE(F("BCD").GetData(&native));  // the cursor's scaled integer: 12.35 at scale 2
    EXPECT_EQ(native, 12352);
    EXPECT_EQ(F("BCD").AsCurrency().Raw(), 123500);
    EXPECT_EQ(F("BCD").Value(), Variant(rtl::Currency::FromRaw(123500)));
}

TEST_F(AllKinds, LargeObjectsShowTheirKindAsDisplayText) {
    F("M").SetAsString("line 1\r\nline 2");
    F("BL").SetAsString(std::string("\0\1\2", 3));
    EXPECT_EQ(F("M").Text(), "line 1\r\nline 2");
    EXPECT_EQ(F("M").DisplayText(), kMemoText);
    EXPECT_EQ(F("BL").DisplayText(), kBlobText);
    EXPECT_EQ(F("G").DisplayText(), kBlobText);
    EXPECT_EQ(F("BL").AsString(), std::string("\0\1\2", 3));
    EXPECT_EQ(dynamic_cast<TBlobField&>(F("BL")).BlobSize(), 3);
}

TEST_F(AllKinds, ValidationSeesTheNewValueAndMayRefuseIt) {
    F("I").SetAsInteger(1);
    std::int32_t seen = 0;
    F("I").OnValidate = [&](TField& f) {
        seen = f.AsInteger();
        if (seen > 100) throw rtl::EDatabaseError("too big");
    };
    F("I").SetAsInteger(50);
    EXPECT_EQ(seen, 50);
    EXPECT_THROW(F("I").SetAsInteger(500), rtl::EDatabaseError);
    EXPECT_EQ(seen, 500);
    EXPECT_EQ(F("I").AsInteger(), 50);
}

TEST_F(AllKinds, TextEventsReplaceTheConversions) {
    F("I").OnGetText = [](TField& f, std::string& text, bool display) {
        text = (display ? "#" : "") + f.AsString();
    };
    F("I").OnSetText = [](TField& f, std::string_view text) {
        f.SetAsInteger(static_cast<int>(text.size()));
    };
    F("I").SetText("abc");
    EXPECT_EQ(F("I").Text(), "3");
    EXPECT_EQ(F("I").DisplayText(), "#3");
}

TEST_F(AllKinds, ChangeEventsFollowEachNewValue) {
    int changes = 0;
    F("S").OnChange = [&](TField&) { ++changes; };
    F("S").SetAsString("a");
    F("S").Clear();
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(table_.Modified());
}

TEST_F(AllKinds, LayoutChangesOnlyWhileClosed) {
    EXPECT_EQ(MessageOf([&] { F("S").SetSize(9); }), kDataSetOpen);
    EXPECT_EQ(MessageOf([&] { F("S").SetFieldName("X"); }), kDataSetOpen);
    EXPECT_EQ(F("S").Index(), 0);
    F("S").SetIndex(2);  // moving fields is allowed while open
    EXPECT_EQ(F("S").Index(), 2);
    EXPECT_EQ(table_.Fields()[0].FieldName(), "SI");
}

TEST(Field, LookupFieldsAndAFieldWithoutADataset) {
    TMemDataSet names;
    names.SetColumns({{"CODE", ftInteger}, {"TEXT", ftString, 10}});
    names.Open();
    names.AppendRecord({1, "one"});
    names.AppendRecord({2, "two"});

    TMemDataSet table;
    table.SetColumns({{"REF", ftInteger}});
    auto* ref = new TIntegerField(&table);
    ref->SetFieldName("REF");
    ref->SetDataSet(&table);
    auto* text = new TStringField(&table);
    text->SetFieldName("REFTEXT");
    text->SetSize(10);
    text->SetFieldKind(fkLookup);
    text->SetLookupDataSet(&names);
    text->SetKeyFields("REF");
    text->SetLookupKeyFields("CODE");
    text->SetLookupResultField("TEXT");
    text->SetDataSet(&table);
    table.Open();
    table.AppendRecord({2});
    EXPECT_EQ(text->AsString(), "two");
    table.Close();

    TIntegerField loose(nullptr);
    loose.SetFieldName("LOOSE");
    EXPECT_EQ(MessageOf([&] { loose.AsInteger(); }), "Field 'LOOSE' has no dataset");
}

}  // namespace
