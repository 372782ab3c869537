#include "engine/index/IndexFile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/base/EngineState.h"
#include "engine/base/FileSession.h"
#include "engine/base/Scramble.h"
#include "engine/index/Page.h"
#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using engine::TDataFile;
using engine::TFieldDesc;
using engine::TIndexDescriptor;
using namespace enginetest;

constexpr std::size_t PageSize = 4096;

// ID (integer), NAME (string 10), MEMO (large object), QTY (integer).
std::vector<TFieldDesc> Fields() {
    return {FieldDef(1, "ID", engine::FieldTypeInteger), FieldDef(2, "NAME", engine::FieldTypeString, 10),
            FieldDef(3, "MEMO", engine::FieldTypeBlob), FieldDef(4, "QTY", engine::FieldTypeInteger)};
}

void OpenTable(TDataFile& table, const std::string& name, bool exclusive) {
    table.SetFileName(name);
    table.SetExclusive(exclusive);
    table.Open();
}

std::array<std::uint8_t, engine::IndexHeaderSize> HeaderImage(const engine::TIndexFile& file) {
    std::array<std::uint8_t, engine::IndexHeaderSize> bytes{};
    engine::EncodeIndexFileHeader(file.Header(), bytes);
    return bytes;
}

// A definition passed straight to the index file carries the key length its fields give.
TIndexDescriptor Defined(TIndexDescriptor index, std::uint16_t keyLength) {
    index.KeyLength = keyLength;
    return index;
}

using IndexFileTest = TableTest;

TEST_F(IndexFileTest, ANewTableHasAnIndexFileOfOneHeaderPage) {
    std::vector<TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger)};
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1}, true)};
    CreateTable("t", fields, indexes);
    const std::string idx = ReadBytes("t.IDX");
    ASSERT_EQ(idx.size(), PageSize);
    // Written once, by the close after creation, with the indexes defined.
    EXPECT_EQ(GetLE(idx, 0, 4), 1u);
    EXPECT_EQ(idx[8], 3);
    EXPECT_EQ(GetLE(idx, IndexEndOfFileAt, 4), PageSize);
    EXPECT_EQ(idx[SecondaryCountAt], 0);
    EXPECT_EQ(GetLE(idx, IndexSlotAt(0) + DescKeyLengthAt, 2), 5u);
    EXPECT_EQ(idx[IndexSlotAt(0) + DescUniqueAt], 1);
    EXPECT_EQ(idx[IndexSlotAt(0) + DescFieldCountAt], 1);
    EXPECT_EQ(GetLE(idx, IndexSlotAt(0) + DescFieldNumbersAt, 2), 1u);
    EXPECT_EQ(idx[3734], 11);
    EXPECT_EQ(idx.substr(3735, 11), "Sys Deleted");
    EXPECT_EQ(GetLE(idx, 3765, 2), 5u);
    for (std::size_t k = 0; k < 32; ++k) EXPECT_EQ(GetLE(idx, IndexSlotAt(k) + DescRootAt, 4), 0u) << k;
    EXPECT_EQ(GetLE(idx, RecordCountAt, 4), 0u);
    EXPECT_EQ(idx[NoPrimaryAt], 0);

    fs::create_directory("crafted");
    fs::copy("t.DAT", "crafted/t.DAT");
    WriteBytes("crafted/t.IDX", idx);
    PatchFile("crafted/t.IDX", 8, 1, 4);
    TDataFile table;
    table.SetFileName("crafted/t");
    EXPECT_EQ(EngineCode([&] { table.Open(); }), engine::ErrWrongVersion);
    EXPECT_EQ(engine::CurrentErrorContext().FileName, "crafted/t.IDX");
    EXPECT_FALSE(table.IsOpen());
    EXPECT_FALSE(table.IndexFile().IsOpen());
}

TEST_F(IndexFileTest, DefinitionsGetTheKeyLengthsOfTheirFields) {
    std::vector<TFieldDesc> fields = Fields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("ByName", {2}),
                                             IndexDef("ByNameU", {2}, true), IndexDef("ByQty", {4})};
    CreateTable("t", fields, indexes);
    TDataFile table;
    OpenTable(table, "t", false);
    EXPECT_EQ(table.GetIndexCount(), 3);
    EXPECT_EQ(table.GetIndexDesc(0).KeyLength, 5);
    EXPECT_EQ(table.GetIndexDesc(1).KeyLength, 16);
    EXPECT_EQ(table.GetIndexDesc(2).KeyLength, 12);
    EXPECT_EQ(table.GetIndexDesc(3).KeyLength, 9);
    EXPECT_EQ(table.GetIndexDesc(3).Name, "ByQty");
    EXPECT_FALSE(table.IndexFile().HasNoPrimaryIndex());

    // A primary index whose first field number is 0 gives a table without one.
    std::vector<TFieldDesc> bare = Fields();
    std::vector<TIndexDescriptor> none = {IndexDef("", {0, 1}), IndexDef("ByQty", {4})};
    TableOptions options;
    options.allowNoPrimary = true;
    CreateTable("n", bare, none, options);
    TDataFile noPrimary;
    OpenTable(noPrimary, "n", false);
    EXPECT_TRUE(noPrimary.IndexFile().HasNoPrimaryIndex());
    EXPECT_EQ(noPrimary.GetIndexDesc(0).KeyLength, 0);
    EXPECT_EQ(noPrimary.GetIndexDesc(1).KeyLength, 9);
}

struct DefinitionCase {
    const char* what;
    const char* table;
    bool exclusive;
    std::function<void(engine::TIndexFile&)> define;
    int code;
    const char* indexName;
};

TEST_F(IndexFileTest, RefusedDefinitionsLeaveTheHeaderAsItWas) {
    {
        std::vector<TFieldDesc> fields = Fields();
        std::vector<TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("ByName", {2})};
        CreateTable("with", fields, indexes);
    }
    {
        std::vector<TFieldDesc> fields = Fields();
        std::vector<TIndexDescriptor> indexes = {IndexDef("", {})};
        TableOptions options;
        options.allowNoPrimary = true;
        CreateTable("none", fields, indexes, options);
    }
    {
        std::vector<TFieldDesc> fields = Fields();
        std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
        for (int i = 1; i <= 30; ++i) indexes.push_back(IndexDef("I" + std::to_string(i), {4}));
        CreateTable("full", fields, indexes);
    }
    TIndexDescriptor seventeen = Defined(IndexDef("Many", {1}), 5);
    seventeen.FieldCount = 17;
    const DefinitionCase cases[] = {
        {"second primary", "with", true, [](auto& f) { f.AddPrimaryIndex(Defined(IndexDef("", {4}), 5)); },
         engine::ErrPrimaryIndexExists, "Primary"},
        {"primary of 17 fields", "none", true, [&](auto& f) { f.AddPrimaryIndex(seventeen); },
         engine::ErrIndexLimits, "Primary"},
        {"primary on a large object", "none", true,
         [](auto& f) { f.AddPrimaryIndex(Defined(IndexDef("", {3}), 5)); }, engine::ErrInvalidIndexFieldType,
         "Primary"},
        {"31st secondary", "full", true,
         [](auto& f) { f.AddSecondaryIndex(Defined(IndexDef("Extra", {4}), 9)); }, engine::ErrIndexLimits,
         "Extra"},
        {"secondary of 17 fields", "with", true, [&](auto& f) { f.AddSecondaryIndex(seventeen); },
         engine::ErrIndexLimits, "Many"},
        {"secondary without a name", "with", true,
         [](auto& f) { f.AddSecondaryIndex(Defined(IndexDef("", {4}), 9)); }, engine::ErrIndexNameMissing,
         ""},
        {"secondary name starting with a digit", "with", true,
         [](auto& f) { f.AddSecondaryIndex(Defined(IndexDef("1st", {4}), 9)); }, engine::ErrInvalidIndexName,
         "1st"},
        {"secondary name in use in other letter case", "with", true,
         [](auto& f) { f.AddSecondaryIndex(Defined(IndexDef("byNAME ", {4}), 9)); }, engine::ErrIndexExists,
         "byNAME "},
        {"secondary on a large object", "with", true,
         [](auto& f) { f.AddSecondaryIndex(Defined(IndexDef("ByMemo", {3}), 9)); },
         engine::ErrInvalidIndexFieldType, "ByMemo"},
        {"field number beyond the fields", "with", true,
         [](auto& f) { f.AddSecondaryIndex(Defined(IndexDef("ByX", {5}), 9)); }, engine::ErrInvalidIndexField,
         "ByX"},
        {"key length other than the fields give", "none", true,
         [](auto& f) { f.AddPrimaryIndex(Defined(IndexDef("", {2}), 11)); }, engine::ErrInvalidKeySize,
         "Primary"},
        {"compression 4", "with", true,
         [](auto& f) {
             TIndexDescriptor index = Defined(IndexDef("ByQty", {4}), 9);
             index.Compression = 4;
             f.AddSecondaryIndex(index);
         },
         engine::ErrInvalidKeySize, "ByQty"},
        {"primary on a shared handle", "none", false,
         [](auto& f) { f.AddPrimaryIndex(Defined(IndexDef("", {4}), 5)); }, engine::ErrMustBeExclusive, ""},
        {"secondary on a shared handle", "with", false,
         [](auto& f) { f.AddSecondaryIndex(Defined(IndexDef("ByQty", {4}), 9)); }, engine::ErrMustBeExclusive,
         ""},
    };
    for (const DefinitionCase& c : cases) {
        TDataFile table;
        OpenTable(table, c.table, c.exclusive);
        const auto before = HeaderImage(table.IndexFile());
        EXPECT_EQ(EngineCode([&] { c.define(table.IndexFile()); }), c.code) << c.what;
        EXPECT_EQ(engine::CurrentErrorContext().IndexName, c.indexName) << c.what;
        EXPECT_EQ(engine::CurrentErrorContext().FileName, std::string(c.table) + ".IDX") << c.what;
        EXPECT_EQ(HeaderImage(table.IndexFile()), before) << c.what;
    }
}

TEST_F(IndexFileTest, DefinitionsOnATableWithoutIndexesReachTheFile) {
    std::vector<TFieldDesc> fields = Fields();
    std::vector<TIndexDescriptor> indexes;
    TableOptions options;
    options.allowNoPrimary = true;
    CreateTable("t", fields, indexes, options);
    {
        TDataFile table;
        OpenTable(table, "t", true);
        EXPECT_TRUE(table.IndexFile().BitmapMode());
        table.IndexFile().AddPrimaryIndex(Defined(IndexDef("", {1, 2}), 17));
        // Index 0 is current: its settings follow the new definition.
        EXPECT_FALSE(table.IndexFile().BitmapMode());
        EXPECT_EQ(table.IndexFile().CurrentSettings().KeyLength, 17);
        TIndexDescriptor byQty = Defined(IndexDef("ByQty  ", {4}), 9);
        byQty.Compression = 3;
        byQty.FieldDescending[0] = 1;
        table.IndexFile().AddSecondaryIndex(byQty);
    }
    TDataFile table;
    OpenTable(table, "t", false);
    EXPECT_FALSE(table.IndexFile().HasNoPrimaryIndex());
    EXPECT_EQ(table.GetIndexDesc(0).KeyLength, 17);
    const TIndexDescriptor byQty = table.GetIndexDesc(1);
    EXPECT_EQ(byQty.Name, "ByQty  ");
    EXPECT_EQ(byQty.Compression, 3);
    EXPECT_EQ(byQty.FieldDescending[0], 1);
    EXPECT_EQ(byQty.FieldNumbers[0], 4);
}

// A sound table's index file, with a page appended so that page references have somewhere to point.
std::string CraftedTable() {
    fs::create_directory("crafted");
    std::vector<TFieldDesc> fields = Fields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("ByName", {2})};
    CreateTable("crafted/t", fields, indexes);
    std::string idx = ReadBytes("crafted/t.IDX");
    idx += std::string(PageSize, '\0');
    PutLE(idx, IndexEndOfFileAt, 4, 2 * PageSize);
    PutLE(idx, IndexSlotAt(0) + DescRootAt, 4, PageSize);
    return idx;
}

TEST_F(IndexFileTest, DamagedHeadersFailToOpen) {
    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
    } cases[] = {
        {"secondary count 31", [](std::string& b) { b[SecondaryCountAt] = 31; }},
        {"key length 2000", [](std::string& b) { PutLE(b, IndexSlotAt(0) + DescKeyLengthAt, 2, 2000); }},
        {"key length off by one", [](std::string& b) { PutLE(b, IndexSlotAt(1) + DescKeyLengthAt, 2, 15); }},
        {"17 fields", [](std::string& b) { b[IndexSlotAt(1) + DescFieldCountAt] = 17; }},
        {"field number above the field count",
         [](std::string& b) { PutLE(b, IndexSlotAt(1) + DescFieldNumbersAt, 2, 5); }},
        {"field number 0", [](std::string& b) { PutLE(b, IndexSlotAt(0) + DescFieldNumbersAt, 2, 0); }},
        {"compression 4", [](std::string& b) { b[IndexSlotAt(1) + DescCompressionAt] = 4; }},
        {"name of 31 characters", [](std::string& b) { b[IndexSlotAt(1)] = 31; }},
        {"Sys Deleted key length 6",
         [](std::string& b) { PutLE(b, IndexSlotAt(31) + DescKeyLengthAt, 2, 6); }},
        {"unaligned root", [](std::string& b) { PutLE(b, IndexSlotAt(0) + DescRootAt, 4, PageSize + 1); }},
        {"root at the end of file",
         [](std::string& b) { PutLE(b, IndexSlotAt(0) + DescRootAt, 4, 2 * PageSize); }},
        {"free-list head beyond the file",
         [](std::string& b) { PutLE(b, IndexSlotAt(20) + DescFreeHeadAt, 4, 3 * PageSize); }},
        {"end of file 0", [](std::string& b) { PutLE(b, IndexEndOfFileAt, 4, 0); }},
        {"unaligned end of file", [](std::string& b) { PutLE(b, IndexEndOfFileAt, 4, 2 * PageSize + 12); }},
        // Pages are appended at the end of file, and every page reference is judged against it.
        {"end of file a page beyond the file", [](std::string& b) { PutLE(b, IndexEndOfFileAt, 4, 3 * PageSize); }},
        {"end of file near two billion",
         [](std::string& b) { PutLE(b, IndexEndOfFileAt, 4, 488281 * PageSize); }},
        // A slot without a definition would have its tree walked with keys of no length.
        {"root in a slot beyond the secondary count",
         [](std::string& b) { PutLE(b, IndexSlotAt(20) + DescRootAt, 4, PageSize); }},
        {"free-list head in a slot beyond the secondary count",
         [](std::string& b) { PutLE(b, IndexSlotAt(20) + DescFreeHeadAt, 4, PageSize); }},
        {"primary key length 0 with its root",
         [](std::string& b) { PutLE(b, IndexSlotAt(0) + DescKeyLengthAt, 2, 0); }},
        {"primary key length 0 without a root",
         [](std::string& b) {
             PutLE(b, IndexSlotAt(0) + DescKeyLengthAt, 2, 0);
             PutLE(b, IndexSlotAt(0) + DescRootAt, 4, 0);
         }},
        {"no-primary flag beside a primary key", [](std::string& b) { b[NoPrimaryAt] = 1; }},
    };
    const std::string sound = CraftedTable();
    for (const auto& c : cases) {
        std::string idx = sound;
        c.damage(idx);
        WriteBytes("crafted/t.IDX", idx);
        TDataFile table;
        table.SetFileName("crafted/t");
        EXPECT_EQ(EngineCode([&] { table.Open(); }), engine::ErrHeaderCorrupt) << c.what;
        EXPECT_EQ(engine::CurrentErrorContext().FileName, "crafted/t.IDX") << c.what;
        EXPECT_FALSE(table.IsOpen()) << c.what;
    }
    WriteBytes("crafted/t.IDX", sound);
    TDataFile table;
    table.SetFileName("crafted/t");
    table.Open();
    EXPECT_EQ(table.IndexFile().GetEndOfFile().Value, 2 * PageSize);
}

TEST_F(IndexFileTest, AKeyLengthOf1040IsAccepted) {
    std::vector<TFieldDesc> fields;
    for (std::uint16_t i = 1; i <= 5; ++i) {
        fields.push_back(FieldDef(i, "S" + std::to_string(i), engine::FieldTypeString, i < 5 ? 250 : 26));
    }
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("All", {1, 2, 3, 4, 5})};
    CreateTable("t", fields, indexes);
    TDataFile table;
    OpenTable(table, "t", false);
    EXPECT_EQ(table.GetIndexDesc(1).KeyLength, 1040);
}

TEST_F(IndexFileTest, EmptyingATableEmptiesEveryIndex) {
    std::vector<TFieldDesc> fields = Fields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("ByName", {2})};
    CreateTable("t", fields, indexes);
    AppendActiveSlots("t.DAT", 3);
    std::string idx = ReadBytes("t.IDX") + std::string(2 * PageSize, '\0');
    PutLE(idx, IndexEndOfFileAt, 4, 3 * PageSize);
    PutLE(idx, IndexSlotAt(0) + DescRootAt, 4, PageSize);
    PutLE(idx, IndexSlotAt(1) + DescFreeHeadAt, 4, 2 * PageSize);
    PutLE(idx, IndexSlotAt(31) + DescRootAt, 4, 2 * PageSize);
    WriteBytes("t.IDX", idx);
    {
        TDataFile table;
        OpenTable(table, "t", true);
        EXPECT_EQ(table.IndexFile().GetRecordCount(), 3u);
        table.SetIndexNumber(1);
        table.EmptyTable();
        EXPECT_EQ(table.IndexFile().GetRecordCount(), 0u);
        EXPECT_EQ(table.IndexFile().GetFreePagePosition().Value, PageSize);
        EXPECT_EQ(table.GetIndexName(), "ByName");
    }
    idx = ReadBytes("t.IDX");
    ASSERT_EQ(idx.size(), PageSize);
    EXPECT_EQ(GetLE(idx, IndexEndOfFileAt, 4), PageSize);
    EXPECT_EQ(GetLE(idx, RecordCountAt, 4), 0u);
    EXPECT_EQ(GetLE(idx, IndexSlotAt(0) + DescRootAt, 4), 0u);
    EXPECT_EQ(GetLE(idx, IndexSlotAt(1) + DescFreeHeadAt, 4), 0u);
    EXPECT_EQ(GetLE(idx, IndexSlotAt(31) + DescRootAt, 4), 0u);
    // The definitions stay.
    EXPECT_EQ(GetLE(idx, IndexSlotAt(1) + DescKeyLengthAt, 2), 16u);
}

TEST_F(IndexFileTest, RootsAndFreeListsBelongToTheCurrentIndex) {
    CreateSimpleTable("t");
    TDataFile table;
    OpenTable(table, "t", true);
    engine::TIndexFile& file = table.IndexFile();
    const std::uint32_t counter = file.Header().ChangeCounter;
    file.SetRootPosition(engine::NoPage);
    file.SetFreeListHead(engine::NoPage);
    EXPECT_EQ(file.Header().HeaderChanged, 0);
    EXPECT_EQ(file.GetFreePagePosition(), file.GetEndOfFile());
    file.SelectIndex(engine::NaturalOrderIndex);
    file.SetRootPosition(engine::PageOffset(PageSize));
    EXPECT_EQ(file.Header().HeaderChanged, 0);
    EXPECT_EQ(file.GetRootPosition(), engine::NoPage);
    file.SelectIndex(engine::SysDeletedSlot);
    EXPECT_EQ(file.CurrentSettings().KeyLength, engine::SysDeletedKeyLength);
    file.IncRecordCount();
    file.DecRecordCount();
    file.DecRecordCount();
    EXPECT_EQ(file.GetRecordCount(), 0u);
    EXPECT_EQ(file.Header().HeaderChanged, 1);
    file.WriteHeader(false);
    EXPECT_EQ(file.Header().ChangeCounter, counter + 1);
    EXPECT_EQ(file.Header().HeaderChanged, 0);
}

TEST_F(IndexFileTest, AProtectedTablesHeaderIsScrambledOnDiskOnly) {
    std::vector<TFieldDesc> fields = Fields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("ByName", {2})};
    TableOptions options;
    options.isProtected = true;
    options.password = "pw";
    CreateTable("p", fields, indexes, options);
    std::string idx = ReadBytes("p.IDX");
    ASSERT_EQ(idx.size(), PageSize);
    EXPECT_EQ(idx.find("Sys Deleted"), std::string::npos);
    EXPECT_EQ(idx.find("ByName"), std::string::npos);
    engine::UnscrambleBuffer(idx.data(), idx.size(), engine::DataSeed);
    EXPECT_EQ(idx[8], 3);
    EXPECT_EQ(idx.substr(IndexSlotAt(1) + 1, 6), "ByName");

    // A protected table opens once the session holds its password.
    engine::GetEngineSession().AddPassword("pw");
    TDataFile writer;
    TDataFile reader;
    OpenTable(writer, "p", false);
    OpenTable(reader, "p", false);
    EXPECT_FALSE(reader.IndexFile().HeaderChanged());
    writer.IndexFile().IncRecordCount();
    writer.IndexFile().WriteHeader(false);
    // The image in memory stays plain.
    EXPECT_EQ(writer.IndexFile().Header().Indexes[1].Name, "ByName");
    EXPECT_TRUE(reader.IndexFile().HeaderChanged());
    EXPECT_EQ(reader.IndexFile().GetRecordCount(), 1u);
    EXPECT_FALSE(reader.IndexFile().HeaderChanged());
    // Pages of the table are scrambled too.
    EXPECT_TRUE(engine::TPage(reader.IndexFile()).Format().Scrambled);
    writer.IndexFile().DecRecordCount();
    writer.IndexFile().WriteHeader(false);
}

}  // namespace
