#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/FileBytes.h"
#include "engine/index/Page.h"
#include "engine/records/RecordHeader.h"
#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/InstalledLocales.h"
#include "tests/engine/support/LocaleDoubles.h"
#include "tests/engine/support/StoredValues.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::TDataFile;
using engine::TFieldDesc;
using engine::TIndexDescriptor;
using engine::TIndexKey;

Bytes KeyBytes(const TIndexKey& key) {
    return Bytes(key.View().begin(), key.View().end());
}

// Field numbers of the table of key types.
enum : std::uint16_t { kSeq = 1, kQty, kRatio, kPrice, kDay, kFlag, kCount, kName, kSmall, kStamp, kCode };

std::vector<TFieldDesc> KeyTypes() {
    return {AutoIncDef(kSeq, "SEQ"),
            FieldDef(kQty, "QTY", engine::FieldTypeInteger),
            FieldDef(kRatio, "RATIO", engine::FieldTypeFloat),
            FieldDef(kPrice, "PRICE", engine::FieldTypeBcd, 0, 2),
            FieldDef(kDay, "DAY", engine::FieldTypeDate),
            FieldDef(kFlag, "FLAG", engine::FieldTypeBoolean),
            FieldDef(kCount, "COUNT", engine::FieldTypeWord),
            FieldDef(kName, "NAME", engine::FieldTypeString, 10),
            FieldDef(kSmall, "SMALL", engine::FieldTypeSmallInt),
            FieldDef(kStamp, "STAMP", engine::FieldTypeDateTime),
            FieldDef(kCode, "CODE", engine::FieldTypeBytes, 3)};
}

// An index over one field, for BuildKey's descriptor argument.
TIndexDescriptor On(std::uint16_t field, bool caseInsensitive = false, bool descending = false) {
    TIndexDescriptor index = IndexDef("X", {field}, true);
    index.CaseInsensitive = caseInsensitive ? 1 : 0;
    index.FieldDescending[0] = descending ? 1 : 0;
    return index;
}

class IndexAccessTest : public TableTest {
protected:
    void TearDown() override {
        table_.Close();
        TableTest::TearDown();
    }

    void Create(std::vector<TFieldDesc> fields, std::vector<TIndexDescriptor> indexes,
                TableOptions options = {}) {
        table_.Close();
        CreateTable("t", fields, indexes, options);
        table_.SetFileName("t");
        table_.SetExclusive(true);
        table_.Open();
        image_.assign(table_.GetRecordBufferSize(), 0);
        table_.InitRecord(image_);
    }
    void Set(std::uint16_t field, const Bytes& value) { table_.SetField(false, field, image_, value); }
    Bytes Key(const TIndexDescriptor* index = nullptr) {
        TIndexKey key;
        table_.BuildKey(image_, key, index);
        return KeyBytes(key);
    }
    Bytes Key(const TIndexDescriptor& index) { return Key(&index); }

    TDataFile table_;
    Bytes image_;
};

TEST_F(IndexAccessTest, KeysEncodeEachTypeInOrderPreservingForm) {
    Create(KeyTypes(), {IndexDef("", {kQty})});
    table_.SetRecordId(image_, engine::RecordId(3));
    const struct {
        const char* what;
        std::uint16_t field;
        Bytes value;  // empty: the field stays blank
        Bytes key;
    } rows[] = {
        {"integer 1", kQty, I32(1), {1, 0x80, 0, 0, 1}},
        {"null integer", kQty, {}, {0, 0x80, 0, 0, 0}},
        {"float -1.0", kRatio, F64(-1.0), {1, 0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"BCD 12.34 at scale 2", kPrice, I64(12342), {1, 0x80, 0, 0, 0, 0, 0, 0x30, 0x36}},
        {"date", kDay, I32(738000), {1, 0x80, 0x0B, 0x42, 0xD0}},
        {"boolean", kFlag, U16(1), {1, 0, 1}},
        {"word", kCount, U16(0x1234), {1, 0x12, 0x34}},
        {"16-bit integer -2", kSmall, I16(-2), {1, 0x7F, 0xFE}},
        {"date-time 0.0", kStamp, F64(0.0), {1, 0x80, 0, 0, 0, 0, 0, 0, 0}},
        {"bytes as stored", kCode, {0xFF, 0, 7}, {1, 0xFF, 0, 7}},
        {"string", kName, Str("ab"), {1, 'a', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"autoincrement: the record ID", kSeq, {}, {1, 0x80, 0, 0, 3}},
    };
    for (const auto& row : rows) {
        if (row.value.empty()) {
            table_.SetField(false, row.field, image_, std::nullopt);
        } else {
            Set(row.field, row.value);
        }
        EXPECT_EQ(Key(On(row.field)), row.key) << row.what;
    }
}

TEST_F(IndexAccessTest, CaseAndDescendingChangeStringKeys) {
    Create(KeyTypes(), {IndexDef("", {kQty})});
    Set(kName, Str("ab"));
    EXPECT_EQ(Key(On(kName, true)), (Bytes{1, 'A', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // Eleven of the twelve bytes inverted: the has-value byte and the first ten value bytes.
    EXPECT_EQ(Key(On(kName, false, true)),
              (Bytes{0xFE, 0x9E, 0x9D, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}));
    // Other types invert every byte; a whole descending index inverts nothing.
    Set(kQty, I32(1));
    EXPECT_EQ(Key(On(kQty, false, true)), (Bytes{0xFE, 0x7F, 0xFF, 0xFF, 0xFE}));
    TIndexDescriptor whole = On(kQty, false, true);
    whole.Descending = 1;
    EXPECT_EQ(Key(whole), (Bytes{1, 0x80, 0, 0, 1}));
    // A value without its zero never reaches the field's last byte.
    const TFieldDesc& name = table_.GetFieldDesc(false, kName);
    std::fill_n(image_.begin() + name.Offset + 1, name.StoredSize, 'x');
    const Bytes key = Key(On(kName));
    EXPECT_EQ(key.size(), 12u);
    EXPECT_EQ(key.back(), 0);
    EXPECT_EQ(key[10], 'x');
}

TEST_F(IndexAccessTest, OnlyANonUniqueSecondaryKeyEndsInTheRecordId) {
    Create(KeyTypes(), {IndexDef("", {kQty}), IndexDef("ByQty", {kQty}), IndexDef("ByQtyU", {kQty}, true)});
    Set(kQty, I32(1));
    // Record ID 3 in slot 7: the suffix is the ID.
    engine::StoreU32(image_.data() + 1, 7);
    table_.SetRecordId(image_, engine::RecordId(3));
    // The primary index is not unique by its byte, and still has no suffix.
    EXPECT_EQ(table_.GetIndexDesc(0).Unique, 0);
    EXPECT_EQ(Key(), (Bytes{1, 0x80, 0, 0, 1}));
    table_.SetIndexName("ByQty");
    EXPECT_EQ(Key(), (Bytes{1, 0x80, 0, 0, 1, 0x80, 0, 0, 3}));
    table_.SetIndexName("ByQtyU");
    EXPECT_EQ(Key(), (Bytes{1, 0x80, 0, 0, 1}));
    // Natural order has no key.
    table_.SetIndexNumber(engine::NaturalOrderIndex);
    EXPECT_TRUE(Key().empty());

    TIndexKey physical;
    table_.BuildPhysicalKey(image_, physical, image_);
    EXPECT_EQ(KeyBytes(physical), (Bytes{0, 0x80, 0, 0, 3}));
    const Bytes deleted = {engine::RecordDeleted, 0, 0, 0, 0};
    table_.BuildPhysicalKey(deleted, physical, image_);
    EXPECT_EQ(KeyBytes(physical), (Bytes{1, 0x80, 0, 0, 3}));
}

TEST_F(IndexAccessTest, AKeyOf1040BytesRoundTripsThroughThePageCodec) {
    std::vector<TFieldDesc> fields;
    for (std::uint16_t i = 1; i <= 5; ++i) {
        fields.push_back(FieldDef(i, "S" + std::to_string(i), engine::FieldTypeString, i < 5 ? 250 : 26));
    }
    TIndexDescriptor all = IndexDef("All", {1, 2, 3, 4, 5});
    all.Compression = 3;
    Create(fields, {IndexDef("", {1}), all});
    table_.SetIndexName("All");
    engine::TPage page(table_.IndexFile());
    page.SetPageType(engine::PageTypeRootLeaf);
    for (std::uint32_t id = 1; id <= 3; ++id) {
        for (std::uint16_t f = 1; f <= 5; ++f) Set(f, Str(std::string(f * 5, static_cast<char>('a' + id))));
        table_.SetRecordId(image_, engine::RecordId(id));
        TIndexKey key;
        table_.BuildKey(image_, key);
        ASSERT_EQ(key.Length, 1040);
        page.InsertEntry(page.Count(), key.View(), id);
    }
    std::array<std::uint8_t, engine::PageSize> image{};
    page.SaveToBuffer(image);
    engine::TPage loaded(table_.IndexFile());
    loaded.LoadFromBuffer(image, false);
    ASSERT_EQ(loaded.Count(), 3);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto a = loaded.Key(i);
        const auto b = page.Key(i);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << i;
        EXPECT_EQ(loaded.Entry(i).Pointer, i + 1);
    }
}

// A collation double whose upper case differs from ASCII: "é" becomes "É", and "ß" becomes "SS", so that a
// mapped value can be longer than the value.
class ExpandingUpperCase final : public engine::Collation {
public:
    int Compare(std::string_view a, std::string_view b, std::size_t maxLength,
                bool ignoreCase) const override {
        return engine::ByteOrderCollation().Compare(a, b, maxLength, ignoreCase);
    }
    std::string ChangeCase(std::string_view text, engine::LetterCase letterCase) const override {
        std::string out;
        for (const char c : text.substr(0, text.find('\0'))) {
            if (letterCase == engine::LetterCase::Upper && c == '\xDF') {
                out += "SS";
            } else if (letterCase == engine::LetterCase::Upper && c == '\xE9') {
                out += '\xC9';
            } else {
                out += engine::ByteOrderCollation().ChangeCase(std::string(1, c), letterCase);
            }
        }
        return out;
    }
    int CompareChars(std::uint8_t a, std::uint8_t b) const override {
        return engine::ByteOrderCollation().CompareChars(a, b);
    }
};

class LocaleIndexAccessTest : public IndexAccessTest {
protected:
    const ExpandingUpperCase collation_;
    const DefaultFormats formats_;
    // Installed until after tarnis-check has seen the table.
    const engine::InstalledLocale locale_{1031, 1, collation_, formats_};
};

TEST_F(LocaleIndexAccessTest, WithALanguageIdTheLocaleMapsAndTheComparisonOrders) {
    TableOptions options;
    options.languageId = 1031;
    options.sortId = 1;
    Create({FieldDef(1, "NAME", engine::FieldTypeString, 3), FieldDef(2, "QTY", engine::FieldTypeInteger)},
           {IndexDef("", {1, 2})}, options);
    Set(1, Str("a\xE9"));
    Set(2, I32(7));
    EXPECT_EQ(Key(On(1, true)), (Bytes{1, 'A', 0xC9, 0, 0}));
    // Descending fields are not inverted: the comparison orders them.
    EXPECT_EQ(Key(On(1, false, true)), Key(On(1)));
    EXPECT_EQ(Key(On(1, false, true)), (Bytes{1, 'a', 0xE9, 0, 0}));
    // "ßßß" maps to six characters; three of them fit the field, and the next field is untouched.
    Set(1, Str("\xDF\xDF\xDF"));
    TIndexDescriptor both = IndexDef("X", {1, 2}, true);
    both.CaseInsensitive = 1;
    EXPECT_EQ(Key(both), (Bytes{1, 'S', 'S', 'S', 0, 1, 0x80, 0, 0, 7}));
}

TEST_F(IndexAccessTest, AnIndexSwitchOnASharedTableSeesAnotherWritersChangeAndLetsGoOfItsLock) {
    CreateSimpleTable("s");
    TDataFile table;
    TDataFile other;
    for (TDataFile* handle : {&table, &other}) {
        handle->SetFileName("s");
        handle->Open();
    }
    other.IndexFile().WriteHeader(true);
    table.SetIndexNumber(engine::NaturalOrderIndex);
    EXPECT_EQ(table.IndexFile().Header().ChangeCounter, other.IndexFile().Header().ChangeCounter);
    EXPECT_FALSE(table.OperationReadLockHeld());
}

TEST_F(IndexAccessTest, TheIndexSwitchesByNumberAndNameOnlyToDefinedIndexes) {
    Create(KeyTypes(), {IndexDef("", {kQty}), IndexDef("ByName", {kName}), IndexDef("ByDay", {kDay})});
    EXPECT_EQ(table_.GetIndexNumber(), 0);
    EXPECT_FALSE(table_.IndexFile().BitmapMode());
    table_.SetIndexName("byname");
    EXPECT_EQ(table_.GetIndexNumber(), 1);
    EXPECT_EQ(table_.GetIndexName(), "ByName");
    EXPECT_EQ(table_.IndexFile().CurrentSettings().KeyLength, 16);
    table_.SetIndexName("BYNAME");
    EXPECT_EQ(table_.GetIndexNumber(), 1);

    const struct {
        const char* what;
        std::function<void()> action;
        const char* indexText;
    } refusals[] = {
        {"unknown name", [&] { table_.SetIndexName("ByQty"); }, "ByQty"},
        {"name with blanks", [&] { table_.SetIndexName(" ByDay"); }, " ByDay"},
        {"number 40", [&] { table_.SetIndexNumber(40); }, "40"},
        {"count + 1", [&] { table_.SetIndexNumber(3); }, "3"},
        {"Sys Deleted", [&] { table_.SetIndexNumber(31); }, "31"},
        {"negative", [&] { table_.SetIndexNumber(-1); }, "-1"},
        {"256", [&] { table_.SetIndexNumber(256); }, "256"},
        {"descriptor count + 1", [&] { table_.GetIndexDesc(3); }, "3"},
        {"fields of natural order", [&] { table_.GetIndexFields(255); }, "255"},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(EngineCode(r.action), engine::ErrInvalidIndexName) << r.what;
        EXPECT_EQ(engine::CurrentErrorContext().IndexName, r.indexText) << r.what;
        EXPECT_EQ(table_.GetIndexNumber(), 1) << r.what;
        EXPECT_EQ(table_.GetIndexName(), "ByName") << r.what;
    }
    EXPECT_EQ(table_.GetIndexFields(2)[0], kDay);

    table_.SetIndexNumber(255);
    EXPECT_TRUE(table_.IndexFile().BitmapMode());
    EXPECT_EQ(table_.GetIndexName(), "");
    // The primary index's empty name selects it, also from natural order, whose name is empty too.
    table_.SetIndexName("");
    EXPECT_EQ(table_.GetIndexNumber(), 0);
    EXPECT_FALSE(table_.IndexFile().BitmapMode());
}

TEST_F(IndexAccessTest, IndexZeroOfATableWithoutAPrimaryIndexIsNaturalOrder) {
    TableOptions options;
    options.allowNoPrimary = true;
    Create(KeyTypes(), {IndexDef("", {}), IndexDef("ByName", {kName})}, options);
    EXPECT_EQ(table_.GetIndexNumber(), 0);
    EXPECT_TRUE(table_.IndexFile().BitmapMode());
    table_.SetIndexNumber(1);
    EXPECT_FALSE(table_.IndexFile().BitmapMode());
    table_.SetIndexNumber(0);
    EXPECT_TRUE(table_.IndexFile().BitmapMode());
    EXPECT_TRUE(Key().empty());
}

}  // namespace
