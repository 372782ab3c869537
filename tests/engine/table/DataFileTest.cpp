#include "engine/table/DataFile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/base/EngineState.h"
#include "engine/base/FileSession.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/os/PosixFile.h"
#include "engine/table/ReadGuard.h"
#include "engine/values/FieldTypes.h"
#include "rtl/DateTime.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/engine/support/IndexTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using engine::TDataFile;
using engine::TFieldDesc;
using engine::TIndexDescriptor;
using namespace enginetest;

constexpr std::size_t HeaderSize = 127;
constexpr std::size_t DescSize = 768;

// {autoinc, string 30, int, date, BCD scale 2, large object, bytes 10}: every kind of stored size once.
std::vector<TFieldDesc> MixedFields() {
    return {AutoIncDef(1, "SEQ"),
            FieldDef(2, "NAME", engine::FieldTypeString, 30),
            FieldDef(3, "QTY", engine::FieldTypeInteger),
            FieldDef(4, "DAY", engine::FieldTypeDate),
            FieldDef(5, "PRICE", engine::FieldTypeBcd, 0, 2),
            FieldDef(6, "MEMO", engine::FieldTypeBlob),
            FieldDef(7, "CODE", engine::FieldTypeBytes, 10)};
}

void OpenTable(TDataFile& table, const std::string& name, bool exclusive, bool readOnly = false) {
    table.SetFileName(name);
    table.SetExclusive(exclusive);
    table.SetReadOnly(readOnly);
    table.Open();
}

using DataFileTest = TableTest;

TEST_F(DataFileTest, CreatedTableHasTheGoldenBytes) {
    const rtl::TDateTime moment = rtl::EncodeDateTime(2024, 3, 5, 14, 30, 15, 250);
    const rtl::FixedClock clock(moment);
    std::vector<TFieldDesc> fields = MixedFields();
    fields[1].Required = 1;
    fields[1].DefaultValue = "abc";
    fields[2].MinValue = "1";
    fields[2].MaxValue = "100";
    // Reserved bytes pass through; the compiled-tree reference never reaches the file.
    fields[2].Reserved1[0] = 0x11;
    fields[2].Reserved2 = 0x22;
    fields[2].Reserved3[259] = 0x33;
    int tree = 0;
    fields[5].CompiledExpression = reinterpret_cast<engine::TCompiledExpression*>(&tree);
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    TDataFile table;
    table.SetFileName("golden");
    table.SetExclusive(true);
    table.CreateTable(0, 0, 7, 9, false, "", "Golden table", 512, fields, indexes, false);

    std::string expected(HeaderSize + 7 * DescSize, '\0');
    PutLE(expected, 0, 4, 1);  // change counter: the close after create wrote the header once
    PutLE(expected, 4, 4, 512);
    expected[8] = 3;
    PutLE(expected, 13, 4, 1);  // next slot number
    PutLE(expected, 21, 2, 76);
    PutLE(expected, 23, 2, 7);
    PutLE(expected, 25, 2, 1);
    PutLE(expected, 27, 8, std::bit_cast<std::uint64_t>(moment - 693594.0));
    expected[35] = 12;
    expected.replace(36, 12, "Golden table");
    PutLE(expected, 107, 2, 7);
    PutLE(expected, 109, 2, 9);
    expected[113] = 1;  // the image-changed mark is written as it stood

    struct Expected {
        const char* name;
        std::uint8_t type, subType, size, scale, stored;
        std::uint16_t offset;
    };
    const Expected descs[] = {{"SEQ", 6, 29, 0, 0, 4, 5},   {"NAME", 1, 0, 30, 0, 31, 9},
                              {"QTY", 6, 0, 0, 0, 4, 41},   {"DAY", 2, 0, 0, 0, 4, 46},
                              {"PRICE", 8, 0, 0, 2, 8, 51}, {"MEMO", 3, 0, 0, 0, 4, 60},
                              {"CODE", 9, 0, 10, 0, 10, 65}};
    for (std::size_t i = 0; i < 7; ++i) {
        const std::size_t at = HeaderSize + i * DescSize;
        const Expected& d = descs[i];
        PutLE(expected, at, 2, i + 1);
        expected[at + 2] = static_cast<char>(std::string(d.name).size());
        expected.replace(at + 3, std::string(d.name).size(), d.name);
        expected[at + 84] = static_cast<char>(d.type);
        expected[at + 85] = static_cast<char>(d.subType);
        expected[at + 86] = static_cast<char>(d.size);
        expected[at + 87] = static_cast<char>(d.scale);
        expected[at + 88] = static_cast<char>(d.stored);
        expected[at + 89] = static_cast<char>(d.scale);
        PutLE(expected, at + 90, 2, d.offset);
    }
    const std::size_t name = HeaderSize + DescSize;
    expected[name + 92] = 1;
    expected.replace(name + 196, 4,
                     std::string("\x03"
                                 "abc"));
    const std::size_t qty = HeaderSize + 2 * DescSize;
    expected[qty + 33] = 0x11;
    expected[qty + 93] = 0x22;
    expected.replace(qty + 94, 2,
                     std::string("\x01"
                                 "1"));
    expected.replace(qty + 145, 4,
                     std::string("\x03"
                                 "100"));
    expected[qty + 767] = 0x33;

    const std::string actual = ReadBytes("golden.DAT");
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(static_cast<int>(static_cast<std::uint8_t>(actual[i])),
                  static_cast<int>(static_cast<std::uint8_t>(expected[i])))
            << "byte " << i;
    }

    OpenTable(table, "golden", true);
    EXPECT_EQ(table.RecordSize(), 76);
    EXPECT_EQ(table.Header().BlobFieldCount, 1);
    ASSERT_EQ(table.PhysicalFields().size(), 7u);
    EXPECT_EQ(table.PhysicalFields()[2].Reserved1[0], 0x11);
    EXPECT_EQ(table.PhysicalFields()[5].CompiledExpression, nullptr);
    EXPECT_TRUE(table.HasValidityChecks());
    EXPECT_TRUE(table.HasDefaults());
    EXPECT_FALSE(table.HasCalculatedFields());
    EXPECT_EQ(table.WorkingFieldCount(), 7);
    EXPECT_EQ(table.GetPhysicalRecordCount(), 0u);
    table.Close();
    // Closing without a change writes nothing.
    EXPECT_EQ(ReadBytes("golden.DAT"), actual);
}

TEST_F(DataFileTest, TranslateFileNameReplacesTheLastPartsExtension) {
    const TDataFile table;
    const std::pair<const char*, const char*> cases[] = {{"t", "t.DAT"},
                                                         {" t.dat ", "t.DAT"},
                                                         {"t.x.y", "t.x.DAT"},
                                                         {"dir.v2/t", "dir.v2/t.DAT"},
                                                         {"dir\\t.txt", "dir\\t.DAT"}};
    for (const auto& [name, translated] : cases) EXPECT_EQ(table.TranslateFileName(name), translated) << name;
}

TEST_F(DataFileTest, ATableOpensUnderAnyExtensionOfItsName) {
    CreateSimpleTable("orders.txt");
    EXPECT_TRUE(fs::exists("orders.DAT"));
    TDataFile table;
    OpenTable(table, "orders", false);
    EXPECT_EQ(table.FileName(), "orders.DAT");
}

// A sound table of mixed fields with three slots, in a subdirectory the test's clean check leaves alone.
std::string CraftedTable() {
    fs::create_directory("crafted");
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    CreateTable("crafted/t", fields, indexes);
    AppendActiveSlots("crafted/t.DAT", 3);
    return "crafted/t.DAT";
}

TEST_F(DataFileTest, DamagedFilesFailToOpenAndLeaveTheHandleClosed) {
    const std::size_t descs = HeaderSize;
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        int code;
    };
    const Case cases[] = {
        // Bytes beyond the counted slots are an append cut short, and open; a counted slot cut short is not.
        {"one byte short", [](std::string& b) { b.pop_back(); }, engine::ErrHeaderCorrupt},
        // Nothing is sized from a slot count the file does not hold (next slot 0 would count 2^32 - 1).
        {"next slot 0", [](std::string& b) { PutLE(b, 13, 4, 0); }, engine::ErrHeaderCorrupt},
        {"next slot 2^32 - 1", [](std::string& b) { PutLE(b, 13, 4, 0xFFFFFFFFu); },
         engine::ErrHeaderCorrupt},
        {"slot count against next slot", [](std::string& b) { PutLE(b, 13, 4, 5); },
         engine::ErrHeaderCorrupt},
        {"field number off", [&](std::string& b) { PutLE(b, descs + DescSize, 2, 5); },
         engine::ErrHeaderCorrupt},
        {"offset gap", [&](std::string& b) { PutLE(b, descs + 2 * DescSize + 90, 2, 42); },
         engine::ErrHeaderCorrupt},
        {"record size 0", [](std::string& b) { PutLE(b, 21, 2, 0); }, engine::ErrHeaderCorrupt},
        {"field count 5000", [](std::string& b) { PutLE(b, 23, 2, 5000); }, engine::ErrHeaderCorrupt},
        {"string size 255", [&](std::string& b) { b[descs + DescSize + 86] = static_cast<char>(255); },
         engine::ErrHeaderCorrupt},
        {"size on an integer", [&](std::string& b) { b[descs + 2 * DescSize + 86] = 4; },
         engine::ErrHeaderCorrupt},
        {"name length 31", [&](std::string& b) { b[descs + 2] = 31; }, engine::ErrHeaderCorrupt},
        {"description length 51", [](std::string& b) { b[35] = 51; }, engine::ErrHeaderCorrupt},
        {"last record ID 2^31", [](std::string& b) { PutLE(b, 17, 4, 0x80000000u); },
         engine::ErrHeaderCorrupt},
        {"large-object count 2", [](std::string& b) { PutLE(b, 25, 2, 2); }, engine::ErrHeaderCorrupt},
        {"large-object count 33", [](std::string& b) { PutLE(b, 25, 2, 33); }, engine::ErrHeaderCorrupt},
        {"record size 8", [](std::string& b) { PutLE(b, 21, 2, 8); }, engine::ErrHeaderCorrupt},
        {"calculated area past 65535", [](std::string& b) { PutLE(b, 111, 2, 65535); },
         engine::ErrHeaderCorrupt},
        {"block size 63", [](std::string& b) { PutLE(b, 4, 4, 63); }, engine::ErrHeaderCorrupt},
        {"block size 65536", [](std::string& b) { PutLE(b, 4, 4, 65536); }, engine::ErrHeaderCorrupt},
        {"password length 16", [](std::string& b) { b[87] = 16; }, engine::ErrHeaderCorrupt},
        {"version 4", [](std::string& b) { b[8] = 4; }, engine::ErrWrongVersion},
        {"language 9", [](std::string& b) { PutLE(b, 103, 2, 9); }, engine::ErrLanguageDriver},
        {"cut inside the descriptors", [](std::string& b) { b.resize(HeaderSize + 100); }, engine::ErrRead},
    };
    const std::string path = CraftedTable();
    const std::string sound = ReadBytes(path);
    for (const Case& c : cases) {
        std::string bytes = sound;
        c.damage(bytes);
        WriteBytes(path, bytes);
        // Shared, so that the checks after the index and large-object files opened run under the read lock.
        TDataFile table;
        table.SetFileName(path);
        EXPECT_EQ(EngineCode([&] { table.Open(); }), c.code) << c.what;
        EXPECT_FALSE(table.IsOpen()) << c.what;
        EXPECT_TRUE(table.PhysicalFields().empty()) << c.what;
        EXPECT_FALSE(table.OperationReadLockHeld()) << c.what;
        // No descriptor and no lock was left holding any of the three files: another program opens the sound
        // table exclusively at once.
        WriteBytes(path, sound);
        HolderProcess holder(path, "exclusive", "write", 60000, true);
        EXPECT_EQ(holder.Greeting(), "ready") << c.what;
    }
    TDataFile table;
    OpenTable(table, path, true);
    EXPECT_EQ(table.GetPhysicalRecordCount(), 3u);
}

// A table without a primary index is in natural order from its open, whose bitmaps are sized from the slot
// count: a count the file does not hold is refused before that, at once.
TEST_F(DataFileTest, ASlotCountTheFileDoesNotHoldIsRefusedBeforeAnythingIsSizedFromIt) {
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {})};
    TableOptions options;
    options.allowNoPrimary = true;
    CreateTable("n", fields, indexes, options);
    AppendActiveSlots("n.DAT", 3);
    for (const std::uint32_t next : {0u, 0xFFFFFFFFu, 0x80000000u, 5u}) {
        SCOPED_TRACE(next);
        PatchFile("n.DAT", NextSlotAt, 4, next);
        TDataFile table;
        table.SetFileName("n");
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(EngineCode([&] { table.Open(); }), engine::ErrHeaderCorrupt);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    }
    PatchFile("n.DAT", NextSlotAt, 4, 4);
    TDataFile table;
    OpenTable(table, "n.DAT", false);
    EXPECT_EQ(table.GetPhysicalRecordCount(), 3u);
}

TEST_F(DataFileTest, CloseWritesAChangedHeaderOnlyForAnExclusiveWritableTable) {
    CreateSimpleTable("t");
    AppendActiveSlots("t.DAT", 4);
    const std::string before = ReadBytes("t.DAT");
    struct Case {
        bool exclusive, readOnly, written;
    };
    for (const Case c : {Case{false, false, false}, Case{true, true, false}, Case{true, false, true}}) {
        WriteBytes("t.DAT", before);
        TDataFile table;
        OpenTable(table, "t", c.exclusive, c.readOnly);
        table.SetFreeSlotHead(engine::NoSlot);  // unchanged: marks nothing
        table.SetFreeSlotHead(engine::SlotNumber(3));
        table.SetFreeSlotHead(engine::SlotNumber(3));
        table.Close();
        const std::string after = ReadBytes("t.DAT");
        EXPECT_EQ(after != before, c.written) << c.exclusive << c.readOnly;
        if (c.written) {
            EXPECT_EQ(GetLE(after, 0, 4), GetLE(before, 0, 4) + 1);
            EXPECT_EQ(GetLE(after, FreeHeadAt, 4), 3u);
        }
    }
    WriteBytes("t.DAT", before);
}

TEST_F(DataFileTest, HeaderChangedRereadsAnotherWritersHeader) {
    CreateSimpleTable("t");
    TDataFile table;
    OpenTable(table, "t", false);
    EXPECT_FALSE(table.HeaderChanged());
    AppendActiveSlots("t.DAT", 2);
    PatchFile("t.DAT", 0, 4, table.Header().ChangeCounter + 1);
    EXPECT_TRUE(table.HeaderChanged());
    EXPECT_EQ(table.Header().NextSlotNumber.Value, 3u);
    EXPECT_FALSE(table.HeaderChanged());
}

// Keys without records, in a subdirectory the clean check leaves alone: the index file's own walk judges
// them.
TEST_F(DataFileTest, AnExclusiveCloseWritesTheIndexPagesAndEmptyingDropsThem) {
    fs::create_directory("crafted");
    CreateKeyTable("crafted/k", 5, 0);
    {
        TDataFile table;
        OpenTable(table, "crafted/k", true);
        for (std::uint32_t n = 1; n <= 1000; ++n)
            table.IndexFile().InsertKey(TreeKey(5, n), engine::SlotNumber(n));
        // The cursor's page is held, and still written.
        engine::PagePin root;
        ASSERT_TRUE(table.IndexFile().GetRootPage(root));
        table.IndexFile().SetCurrentPage(std::move(root));
    }
    const std::uint32_t end = GetLE(ReadBytes("crafted/k.IDX"), IndexEndOfFileAt, 4);
    EXPECT_EQ(fs::file_size("crafted/k.IDX"), end);
    EXPECT_TRUE(tarnischeck::CheckIndexFileAlone("crafted/k").Findings().empty());
    TDataFile table;
    OpenTable(table, "crafted/k", true);
    for (std::uint32_t n = 1; n <= 1000; n += 111)
        EXPECT_TRUE(table.IndexFile().KeyExists(TreeKey(5, n))) << n;
    table.EmptyTable();
    EXPECT_FALSE(table.IndexFile().KeyExists(TreeKey(5, 1)));
    EXPECT_EQ(table.IndexFile().Pages().List(0).Peek(engine::PageOffset(4096)), nullptr);
    table.IndexFile().InsertKey(TreeKey(5, 7), engine::SlotNumber(7));
    EXPECT_EQ(table.IndexFile().GetRootPosition(), engine::PageOffset(4096));
    table.Close();
    EXPECT_EQ(fs::file_size("crafted/k.IDX"), 2 * 4096u);
    EXPECT_TRUE(tarnischeck::CheckIndexFileAlone("crafted/k").Findings().empty());
}

TEST_F(DataFileTest, EmptyTableNeedsAnExclusiveWritableTableAndCutsTheSlots) {
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    CreateTable("t", fields, indexes);
    AppendActiveSlots("t.DAT", 5);
    {
        TDataFile closed;
        closed.SetFileName("t");
        closed.SetExclusive(true);
        EXPECT_EQ(EngineCode([&] { closed.EmptyTable(); }), 0);
        TDataFile shared;
        OpenTable(shared, "t", false);
        EXPECT_EQ(EngineCode([&] { shared.EmptyTable(); }), engine::ErrMustBeExclusive);
    }
    {
        TDataFile readOnly;
        OpenTable(readOnly, "t", true, true);
        EXPECT_EQ(EngineCode([&] { readOnly.EmptyTable(); }), engine::ErrAccessDenied);
    }
    TDataFile table;
    OpenTable(table, "t", true);
    table.EmptyTable();
    EXPECT_EQ(table.GetPhysicalRecordCount(), 0u);
    table.Close();
    const std::string bytes = ReadBytes("t.DAT");
    EXPECT_EQ(bytes.size(), HeaderSize + 7 * DescSize);
    EXPECT_EQ(GetLE(bytes, NextSlotAt, 4), 1u);
    EXPECT_EQ(GetLE(bytes, LastIdAt, 4), 0u);
    EXPECT_EQ(GetLE(bytes, FreeHeadAt, 4), 0u);
    // Emptying restarts the change counter; the close's write makes it 1.
    EXPECT_EQ(GetLE(bytes, 0, 4), 1u);
    OpenTable(table, "t", false);
    EXPECT_EQ(table.GetPhysicalRecordCount(), 0u);
}

// Emptying writes the emptied header before it cuts the record file, so that an exclusive table whose
// emptying or close fails to write (or whose close never comes) stays readable: as it was, or empty, and
// never a header that counts slots the file no longer has.
TEST_F(DataFileTest, EmptyTableWritesTheEmptiedHeaderBeforeTheCut) {
    const struct {
        bool duringEmpty;  // the fault fails the emptying's header write, else a write of the close
        int nth;           // the close writes the new record's slot (1), then the header (2)
        std::uint32_t records;
    } cases[] = {{true, 1, 5}, {false, 1, 0}, {false, 2, 0}};
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(number);
        const std::string name = "t" + std::to_string(++number);
        CreateMemoTable(name);
        AppendActiveSlots(name + ".DAT", 5);
        TDataFile table;
        OpenTable(table, name, true);
        int code = 0;
        if (c.duringEmpty) {
            ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, name + ".DAT", c.nth, ENOSPC));
            code = EngineCode([&] { table.EmptyTable(); });
            EXPECT_EQ(table.GetPhysicalRecordCount(), 5u);
            table.Close();
        } else {
            table.EmptyTable();
            EXPECT_EQ(GetLE(ReadBytes(name + ".DAT"), NextSlotAt, 4), 1u);
            AddRecordByHand(table, 10, "ten", "");
            ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, name + ".DAT", c.nth, ENOSPC));
            code = EngineCode([&] { table.Close(); });
        }
        const bool fired = engine::IoFaultFired();
        engine::DisarmIoFault();
        EXPECT_TRUE(fired);
        EXPECT_EQ(code, engine::ErrWrite);
        EXPECT_FALSE(table.IsOpen());
        // A failed emptying or close puts its own writes back at once: the table is as it was before the call.
        EXPECT_TRUE(IsCleanTable(name));
        OpenTable(table, name, false);
        EXPECT_EQ(table.GetPhysicalRecordCount(), c.records);
        table.Close();
        EXPECT_TRUE(IsCleanTable(name));
        table.DeleteFiles();
    }
}

TEST_F(DataFileTest, CreateTableNeedsAClosedExclusiveWritableHandle) {
    CreateSimpleTable("open");
    std::vector<TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger)};
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    auto create = [&](TDataFile& table) {
        table.CreateTable(0, 0, 0, 0, false, "", "", 512, fields, indexes, false);
    };
    TDataFile open;
    OpenTable(open, "open", true);
    EXPECT_EQ(EngineCode([&] { create(open); }), engine::ErrFileInUse);
    TDataFile shared;
    shared.SetFileName("t");
    EXPECT_EQ(EngineCode([&] { create(shared); }), engine::ErrMustBeExclusive);
    TDataFile readOnly;
    readOnly.SetFileName("t");
    readOnly.SetExclusive(true);
    readOnly.SetReadOnly(true);
    EXPECT_EQ(EngineCode([&] { create(readOnly); }), engine::ErrAccessDenied);
    EXPECT_FALSE(fs::exists("t.DAT"));
}

TEST_F(DataFileTest, CreateTableFailingAtItsReopenLeavesNoFileAndNoPassword) {
    std::vector<TFieldDesc> fields = {FieldDef(2, "A", engine::FieldTypeInteger),
                                      FieldDef(1, "B", engine::FieldTypeInteger)};
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    engine::TFileSession& session = engine::GetEngineSession();
    session.AddPassword("kept");
    TDataFile table;
    table.SetFileName("t");
    table.SetExclusive(true);
    for (const char* password : {"added", "kept"}) {
        EXPECT_EQ(EngineCode([&] {
                      table.CreateTable(0, 0, 0, 0, true, password, "", 512, fields, indexes, false);
                  }),
                  engine::ErrHeaderCorrupt)
            << password;
        EXPECT_FALSE(fs::exists("t.DAT")) << password;
        EXPECT_FALSE(table.IsOpen());
    }
    EXPECT_FALSE(session.FindPassword("added"));
    EXPECT_TRUE(session.FindPassword("kept"));
}

TEST_F(DataFileTest, AProtectedTableKeepsItsTextsAndDescriptorsScrambled) {
    std::vector<TFieldDesc> fields = {FieldDef(1, "SECRETFIELD", engine::FieldTypeString, 20)};
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    TableOptions options;
    options.isProtected = true;
    options.password = "Sesame";
    options.description = "Private notes";
    CreateTable("p", fields, indexes, options);
    EXPECT_FALSE(engine::GetEngineSession().FindPassword("Sesame"));
    const std::string bytes = ReadBytes("p.DAT");
    EXPECT_EQ(bytes[86], 1);
    EXPECT_EQ(bytes[87], 6);
    EXPECT_EQ(bytes[35], 13);
    EXPECT_EQ(bytes.find("Sesame"), std::string::npos);
    EXPECT_EQ(bytes.find("Private"), std::string::npos);
    EXPECT_EQ(bytes.find("SECRETFIELD"), std::string::npos);

    // A protected table opens once the session holds its password.
    engine::GetEngineSession().AddPassword("Sesame");
    TDataFile table;
    OpenTable(table, "p", true, true);
    EXPECT_EQ(table.Header().Password, "Sesame");
    EXPECT_EQ(table.Header().Description, "Private notes");
    ASSERT_EQ(table.PhysicalFields().size(), 1u);
    EXPECT_EQ(table.PhysicalFields()[0].Name, "SECRETFIELD");
    EXPECT_EQ(table.RecordSize(), 9 + 21 + 1);
}

TEST_F(DataFileTest, InMemoryTablesAreCreatedAndOpenedLikeDiskTables) {
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    TableOptions options;
    options.inMemory = true;
    CreateTable("mem", fields, indexes, options);
    EXPECT_FALSE(fs::exists("mem.DAT"));
    TDataFile table;
    table.SetInMemory(true);
    OpenTable(table, "mem", true);
    EXPECT_EQ(table.RecordSize(), 76);
    table.Close();
    EXPECT_TRUE(engine::GetEngineSession().MemoryFiles().FileExists("mem.IDX"));
    table.DeleteFiles();
    EXPECT_EQ(EngineCode([&] { table.Open(); }), engine::ErrInvalidPath);
    EXPECT_FALSE(engine::GetEngineSession().MemoryFiles().FileExists("mem.IDX"));
}

TEST_F(DataFileTest, ATableWithoutFieldsHoldsRecordHeadersOnly) {
    std::vector<TFieldDesc> fields;
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {})};
    TableOptions options;
    options.allowNoPrimary = true;
    CreateTable("bare", fields, indexes, options);
    EXPECT_EQ(fs::file_size("bare.DAT"), HeaderSize);
    AppendActiveSlots("bare.DAT", 2);
    TDataFile table;
    OpenTable(table, "bare", true);
    EXPECT_EQ(table.RecordSize(), 9);
    EXPECT_EQ(table.GetPhysicalRecordCount(), 2u);
    table.EmptyTable();
    table.Close();
    EXPECT_EQ(fs::file_size("bare.DAT"), HeaderSize);
}

TEST_F(DataFileTest, TemporaryTablesGoWhenClosed) {
    CreateSimpleTable("tmp");
    TDataFile table;
    OpenTable(table, "tmp", true);
    EXPECT_EQ(EngineCode([&] { table.SetTemporary(true); }), engine::ErrFileInUse);
    table.Close();
    table.SetTemporary(true);
    table.Open();
    EXPECT_TRUE(fs::exists("tmp.DAT"));
    table.Close();
    EXPECT_FALSE(fs::exists("tmp.DAT"));
    EXPECT_FALSE(fs::exists("tmp.IDX"));
    EXPECT_EQ(EngineCode([&] { table.DeleteFiles(); }), engine::ErrDelete);
}

TEST_F(DataFileTest, CreateTableFailingAfterItsFilesExistLeavesNone) {
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> blobKey = {IndexDef("", {6})};
    EXPECT_EQ(EngineCode([&] { CreateTable("t", fields, blobKey); }), engine::ErrInvalidIndexFieldType);
    EXPECT_EQ(engine::CurrentErrorContext().IndexName, "Primary");
    std::vector<TIndexDescriptor> tooMany = {IndexDef("", {1})};
    for (int i = 1; i <= 31; ++i) tooMany.push_back(IndexDef("I" + std::to_string(i), {3}));
    EXPECT_EQ(EngineCode([&] { CreateTable("t", fields, tooMany); }), engine::ErrIndexLimits);
    EXPECT_EQ(engine::CurrentErrorContext().IndexName, "I31");
    EXPECT_FALSE(fs::exists("t.DAT"));
    EXPECT_FALSE(fs::exists("t.IDX"));
}

TEST_F(DataFileTest, CreateTableThatCannotCreateAFileLeavesOnlyTheHeldFile) {
    // MixedFields has a large-object field: the table has all three files.
    for (const char* held : {"t.IDX", "t.BLB"}) {
        WriteBytes(held, "held");
        engine::TFileHandler holder;
        holder.SetFileName(held);
        holder.SetReadOnly(true);
        holder.Open();
        std::vector<TFieldDesc> fields = MixedFields();
        std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
        EXPECT_EQ(EngineCode([&] { CreateTable("t", fields, indexes); }), engine::ErrAccessDenied) << held;
        EXPECT_EQ(engine::CurrentErrorContext().FileName, held);
        for (const char* other : {"t.DAT", "t.IDX", "t.BLB"}) {
            if (std::string(other) != held) {
                EXPECT_FALSE(fs::exists(other)) << held << " " << other;
            }
        }
        EXPECT_EQ(ReadBytes(held), "held");
        holder.Close();
        CreateTable("t", fields, indexes);
        EXPECT_EQ(fs::file_size("t.IDX"), 4096u);
        TDataFile table;
        table.SetFileName("t");
        table.SetExclusive(true);
        table.DeleteFiles();
    }
}

TEST_F(DataFileTest, OnlyATableWithAPrimaryIndexReusesItsFreeSlots) {
    for (const bool primary : {true, false}) {
        const std::string name = primary ? "with" : "without";
        std::vector<TFieldDesc> fields = MixedFields();
        std::vector<TIndexDescriptor> indexes = {
            IndexDef("", {primary ? std::uint16_t{1} : std::uint16_t{0}})};
        TableOptions options;
        options.allowNoPrimary = !primary;
        CreateTable(name, fields, indexes, options);
        AppendSlots(name + ".DAT", {SlotImage(76, 0, 1, 1), SlotImage(76, 1, 0, 2), SlotImage(76, 0, 3, 3)});
        PatchFile(name + ".DAT", FreeHeadAt, 4, 2);
        TDataFile table;
        OpenTable(table, name, false);
        EXPECT_EQ(table.IndexFile().HasNoPrimaryIndex(), !primary);
        EXPECT_EQ(table.NextFreeSlot(), engine::SlotNumber(primary ? 2 : 4)) << name;
    }
}

TEST_F(DataFileTest, WorkingFieldsPlaceCalculatedFieldsAfterTheRecord) {
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    CreateTable("t", fields, indexes);
    TDataFile table;
    OpenTable(table, "t", true);
    std::vector<TFieldDesc> working = table.PhysicalFields();
    working.push_back(FieldDef(8, "TOTAL", engine::FieldTypeFloat));
    working.back().Calculated = 1;
    working.push_back(FieldDef(9, "LABEL", engine::FieldTypeString, 20));
    working.back().Calculated = 1;
    // Only strings, bytes and variable bytes keep a size; stored sizes follow from type and size.
    working.push_back(FieldDef(10, "COUNT", engine::FieldTypeInteger, 99));
    working.back().Calculated = 1;
    table.DefineWorkingFields(working);
    ASSERT_EQ(table.WorkingFieldCount(), 10);
    EXPECT_EQ(table.WorkingFields()[7].Offset, 76);
    EXPECT_EQ(table.WorkingFields()[8].Offset, 76 + 9);
    EXPECT_EQ(table.WorkingFields()[9].Offset, 76 + 9 + 22);
    EXPECT_EQ(table.WorkingFields()[9].StoredSize, 4);
    EXPECT_EQ(table.CalcAreaSize(), 9 + 22 + 5);
    EXPECT_TRUE(table.HasCalculatedFields());
    // A second definition starts its area afresh.
    working.pop_back();
    working.pop_back();
    table.DefineWorkingFields(working);
    EXPECT_EQ(table.WorkingFields()[7].Offset, 76);
    EXPECT_EQ(table.CalcAreaSize(), 9);

    table.RemoveWorkingFields(1);
    EXPECT_EQ(table.WorkingFieldCount(), 7);
    EXPECT_FALSE(table.HasCalculatedFields());
    table.AddWorkingFields(5);
    EXPECT_EQ(table.WorkingFieldCount(), 8);
    EXPECT_TRUE(table.HasCalculatedFields());
    table.RemoveWorkingFields(100);
    EXPECT_EQ(table.WorkingFieldCount(), 0);
    table.ResetWorkingFields();
    EXPECT_EQ(table.WorkingFieldCount(), 7);
    EXPECT_EQ(table.CalcAreaSize(), 0);
}

TEST_F(DataFileTest, WorkingFieldsRefuseWhatFieldAccessCouldNotHold) {
    CreateSimpleTable("t");
    TDataFile table;
    OpenTable(table, "t", true);
    const std::vector<TFieldDesc> before = table.PhysicalFields();
    table.DefineWorkingFields(before);
    auto calculated = [](std::uint16_t number, std::uint8_t size) {
        TFieldDesc field = FieldDef(number, "C" + std::to_string(number), engine::FieldTypeString, size);
        field.Calculated = 1;
        return field;
    };
    std::vector<TFieldDesc> tooWide = before;
    tooWide.push_back(calculated(2, 251));
    EXPECT_EQ(EngineCode([&] { table.DefineWorkingFields(tooWide); }), engine::ErrInvalidFieldDefinition);
    std::vector<TFieldDesc> tooLarge = before;
    for (std::uint16_t i = 0; i < 261; ++i)
        tooLarge.push_back(calculated(static_cast<std::uint16_t>(i + 2), 250));
    EXPECT_EQ(EngineCode([&] { table.DefineWorkingFields(tooLarge); }), engine::ErrRecordSizeExceeded);
    std::vector<TFieldDesc> outside = before;
    outside[0].Offset = 20;
    EXPECT_EQ(EngineCode([&] { table.DefineWorkingFields(outside); }), engine::ErrInvalidFieldDefinition);
    // The set stays as it was.
    EXPECT_EQ(table.WorkingFieldCount(), 1);
    EXPECT_EQ(table.CalcAreaSize(), 0);
}

// ---- The large-object file ----

// Slot 1 of the mixed table, its MEMO field (offset 60) holding the first block of a saved value.
void PointMemoAt(const std::string& dat, std::uint32_t first) {
    constexpr std::size_t MemoValueAt = HeaderSize + 7 * DescSize + 60 + 1;
    PatchFile(dat, MemoValueAt - 1, 1, 1);
    PatchFile(dat, MemoValueAt, 4, first);
}

TEST_F(DataFileTest, ALargeObjectFileLivesAndDiesWithItsTable) {
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    TableOptions options;
    options.blockSize = 1024;
    CreateTable("t", fields, indexes, options);
    CreateSimpleTable("plain");
    EXPECT_FALSE(fs::exists("plain.BLB"));
    // A new file is its header: counter 1, version 3, end of file 512, the changed flag as it stood.
    std::string header(512, '\0');
    PutLE(header, 0, 4, 1);
    header[8] = 3;
    PutLE(header, 13, 4, 512);
    header[17] = 1;
    EXPECT_EQ(ReadBytes("t.BLB"), header);

    AppendActiveSlots("t.DAT", 1);
    TDataFile table;
    OpenTable(table, "t", true);
    ASSERT_TRUE(table.BlobFile().IsOpen());
    EXPECT_EQ(table.BlobFile().GetBlockSize(), 1024u);
    engine::TBlobBuffer value(table.BlobFile(), engine::SlotNumber(1), 6, engine::BlockOffset(0),
                              engine::BlobOpenReadWrite);
    value.SetSize(2000);
    value.SaveChain();
    // The exclusive close writes the blocks and the header.
    table.Close();
    EXPECT_EQ(fs::file_size("t.BLB"), 512u + 2 * 1024);
    PointMemoAt("t.DAT", value.FirstBlock().Value);
    EXPECT_TRUE(IsCleanTable("t"));

    OpenTable(table, "t", true);
    table.EmptyTable();
    table.Close();
    EXPECT_EQ(fs::file_size("t.BLB"), 512u);
    EXPECT_EQ(GetLE(ReadBytes("t.BLB"), 13, 4), 512u);
    table.DeleteFiles();
    EXPECT_FALSE(fs::exists("t.DAT"));
    EXPECT_FALSE(fs::exists("t.BLB"));
}

TEST_F(DataFileTest, AStoredBlockSizeOf0Means512) {
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    CreateTable("t", fields, indexes);
    PatchFile("t.DAT", 4, 4, 0);
    TDataFile table;
    OpenTable(table, "t", false);
    EXPECT_EQ(table.BlobFile().GetBlockSize(), 512u);
    EXPECT_EQ(table.BlobFile().Blocks().Capacity(), 511);
}

TEST_F(DataFileTest, ATableWhoseLargeObjectFileFailsToOpenStaysClosed) {
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    fs::create_directory("crafted");
    CreateTable("crafted/t", fields, indexes);
    const std::string sound = ReadBytes("crafted/t.BLB");
    struct Case {
        const char* what;
        std::function<void()> damage;
        int code;
    };
    const Case cases[] = {
        {"version 2", [] { PatchFile("crafted/t.BLB", 8, 1, 2); }, engine::ErrWrongVersion},
        {"missing", [] { fs::remove("crafted/t.BLB"); }, engine::ErrInvalidPath},
        {"block size 70000", [] { PatchFile("crafted/t.DAT", 4, 4, 70000); }, engine::ErrHeaderCorrupt},
    };
    const std::string dat = ReadBytes("crafted/t.DAT");
    for (const Case& c : cases) {
        c.damage();
        TDataFile table;
        table.SetFileName("crafted/t");
        table.SetExclusive(true);
        EXPECT_EQ(EngineCode([&] { table.Open(); }), c.code) << c.what;
        EXPECT_FALSE(table.IsOpen()) << c.what;
        EXPECT_FALSE(table.BlobFile().IsOpen()) << c.what;
        WriteBytes("crafted/t.BLB", sound);
        WriteBytes("crafted/t.DAT", dat);
    }
}

TEST_F(DataFileTest, TheRepairLogReceivesTheLargeObjectFilesMessages) {
    std::vector<TFieldDesc> fields = MixedFields();
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    fs::create_directory("crafted");
    CreateTable("crafted/t", fields, indexes);
    std::string blb = ReadBytes("crafted/t.BLB");
    blb.resize(1024, '\0');
    PutLE(blb, 13, 4, 1024);
    PutLE(blb, 512 + 4, 4, 700);  // a next link off the grid
    PutLE(blb, 512 + 10, 4, 4);   // slot 4's
    WriteBytes("crafted/t.BLB", blb);
    TDataFile table;
    OpenTable(table, "crafted/t", true);
    std::vector<std::string> log;
    table.SetRepairLog([&](std::string_view message) { log.emplace_back(message); });
    engine::BlockOffset first(512);
    EXPECT_EQ(EngineCode([&] { table.BlobFile().FreeChainAt(first, engine::SlotNumber(4)); }),
              engine::ErrBlobBuffersCorrupt);
    table.SetRepairMode(true);
    table.BlobFile().FreeChainAt(first, engine::SlotNumber(4));
    EXPECT_EQ(log, (std::vector<std::string>{
                       "Invalid intra-block pointer in BLOB file for physical record # 4, error fixed"}));
    EXPECT_EQ(first, engine::BlockOffset(0));
    EXPECT_EQ(table.BlobFile().Header().FreeHead, engine::BlockOffset(512));
}

TEST_F(DataFileTest, AProtectedTableAsksForItsPasswordUntilTheSessionHoldsItOrTheCallbackGivesUp) {
    std::vector<TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger)};
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    TableOptions options;
    options.isProtected = true;
    options.password = "Sesame";
    CreateTable("p", fields, indexes, options);
    engine::TFileSession& session = engine::GetEngineSession();
    struct Case {
        const char* what;
        // The callback's answers in turn, the last repeated; none: no callback at all.
        std::vector<bool> answers;
        // Whether the callback adds the password before it answers.
        bool adds;
        int code;
        int calls;
    };
    const Case cases[] = {
        {"no callback", {}, false, engine::ErrInsufficientRights, 0},
        {"refused", {false}, false, engine::ErrInsufficientRights, 1},
        {"given", {true}, true, 0, 1},
        // A dialog asking again until it is cancelled.
        {"asked again", {true, true, false}, false, engine::ErrInsufficientRights, 3},
    };
    for (const Case& c : cases) {
        session.RemovePassword("Sesame");
        TDataFile table;
        table.SetFileName("p");
        int calls = 0;
        if (!c.answers.empty()) {
            table.SetPasswordEvent([&] {
                const bool answer = c.answers[std::min<std::size_t>(calls, c.answers.size() - 1)];
                ++calls;
                if (c.adds) session.AddPassword("Sesame");
                return answer;
            });
        }
        EXPECT_EQ(EngineCode([&] { table.Open(); }), c.code) << c.what;
        EXPECT_EQ(calls, c.calls) << c.what;
        EXPECT_EQ(table.IsOpen(), c.code == 0) << c.what;
        EXPECT_EQ(table.GetEncrypted(), c.code == 0) << c.what;
        EXPECT_EQ(table.GetStoredPassword(), c.code == 0 ? "Sesame" : "") << c.what;
        // An open clears the callback when it fails, a close when it succeeded.
        EXPECT_EQ(table.HasPasswordEvent(), c.code == 0) << c.what;
        if (c.code != 0) continue;
        table.Close();
        EXPECT_FALSE(table.HasPasswordEvent());
        session.RemovePassword("Sesame");
        EXPECT_EQ(EngineCode([&] { table.Open(); }), engine::ErrInsufficientRights);
        EXPECT_EQ(calls, 1);
    }
}

TEST_F(DataFileTest, ATableWithEveryKindOfFileRoundTripsOnDiskAndInMemory) {
    for (const bool inMemory : {false, true}) {
        TableOptions options;
        options.inMemory = inMemory;
        CreateMemoTable("t", options);
        const auto clean = [&](const char* step) {
            if (!inMemory) {
                EXPECT_TRUE(IsCleanTable("t.DAT")) << step;
            }
        };
        clean("created");
        TDataFile table;
        table.SetInMemory(inMemory);
        OpenTable(table, "t", true);
        for (std::int32_t id = 1; id <= 3; ++id)
            AddRecordByHand(table, id, "name " + std::to_string(id), Pattern(700 * id, id));
        table.Close();
        clean("written");

        OpenTable(table, "t", false);
        EXPECT_EQ(table.GetPhysicalRecordCount(), 3u);
        EXPECT_EQ(table.IndexFile().GetRecordCount(), 3u);
        {
            engine::TReadGuard read(table);
            for (std::uint32_t slot = 1; slot <= 3; ++slot) {
                engine::RecordPin record;
                ASSERT_TRUE(
                    table.GetRecord(engine::SlotNumber(slot), true, false, engine::ReadForward, record));
                EXPECT_EQ(StoredText(table, record->Image(), MemoNameField), "name " + std::to_string(slot));
                std::vector<std::uint8_t> first(4);
                table.GetField(false, MemoField, record->Image(), first);
                engine::TBlobBuffer memo(table.BlobFile(), record->RecordNumber(), MemoField,
                                         engine::BlockOffset(static_cast<std::uint32_t>(
                                             GetLE(std::string(first.begin(), first.end()), 0, 4))),
                                         engine::BlobOpenRead);
                memo.LoadChain();
                EXPECT_EQ(Text(memo), Pattern(700 * slot, static_cast<int>(slot))) << slot;
            }
            read.End();
        }
        table.Close();
        clean("read");

        OpenTable(table, "t", true);
        table.EmptyTable();
        table.Close();
        clean("emptied");
        OpenTable(table, "t", false);
        EXPECT_EQ(table.GetPhysicalRecordCount(), 0u);
        EXPECT_EQ(table.IndexFile().GetRecordCount(), 0u);
        EXPECT_EQ(table.BlobFile().GetEndOfFile().Value, 512u);
        table.Close();
        table.DeleteFiles();
    }
}

TEST_F(DataFileTest, AnExclusiveCloseWritesEveryDirtyEntryInSortedRunsAndASharedCloseNothing) {
    CreateMemoTable("t");
    AppendActiveSlots("t.DAT", 9);
    {
        RecordingDataFile table;
        OpenTable(table, "t", true);
        for (const std::uint32_t slot : {9u, 3u, 5u, 4u}) {
            engine::RecordPin record;
            ASSERT_TRUE(table.GetRecord(engine::SlotNumber(slot), false, false, engine::ReadForward, record));
            SetStored(table, record->Image(), MemoNoteField, Str("note " + std::to_string(slot)));
            record->MarkDirty();
        }
        // A new slot 10, its keys, its memo's blocks and all three headers are dirty too.
        AddRecordByHand(table, 10, "ten", Pattern(3000));
        table.writes.clear();
        table.Close();
        const std::int32_t size = table.GetRecordSize();
        EXPECT_EQ(table.writes,
                  (std::vector<FileAccess>{
                      {SlotOffset(table, 3), 3 * size}, {SlotOffset(table, 9), 2 * size}, {0, 127}}));
    }
    EXPECT_TRUE(IsCleanTable("t.DAT"));
    const std::string dat = ReadBytes("t.DAT");
    const std::string idx = ReadBytes("t.IDX");
    const std::string blb = ReadBytes("t.BLB");
    EXPECT_EQ(GetLE(dat, NextSlotAt, 4), 11u);
    EXPECT_EQ(GetLE(idx, RecordCountAt, 4), 10u);

    // A shared table wrote its changes when it made them: its close writes nothing.
    RecordingDataFile table;
    OpenTable(table, "t", false);
    {
        engine::TReadGuard read(table);
        engine::RecordPin record;
        ASSERT_TRUE(table.GetRecord(engine::SlotNumber(3), false, false, engine::ReadForward, record));
        SetStored(table, record->Image(), MemoNoteField, Str("never written"));
        record->MarkDirty();
        table.SetFreeSlotHead(engine::SlotNumber(3));
        engine::PagePin root;
        ASSERT_TRUE(table.IndexFile().GetRootPage(root));
        root->MarkDirty();
        table.IndexFile().IncRecordCount();
        engine::BlockPin block;
        ASSERT_TRUE(table.BlobFile().GetBlock(engine::BlockOffset(512), false, 1, block));
        block->MarkDirty();
        table.BlobFile().SetFreeListHead(engine::BlockOffset(512));
    }
    table.writes.clear();
    table.Close();
    EXPECT_TRUE(table.writes.empty());
    EXPECT_EQ(ReadBytes("t.DAT"), dat);
    EXPECT_EQ(ReadBytes("t.IDX"), idx);
    EXPECT_EQ(ReadBytes("t.BLB"), blb);
}

TEST_F(DataFileTest, SettingsOfTheFilesAndOfChangeDetectionHoldFromOpenToClose) {
    CreateMemoTable("t");
    TDataFile table;
    EXPECT_EQ(table.LockRetryCount(), 15);
    EXPECT_EQ(table.LockWaitTime(), 100);
    table.SetForceBufferFlush(true);
    table.SetStrictChangeDetection(true);
    OpenTable(table, "t", false);
    // Write-through reaches every file of the table.
    EXPECT_TRUE(table.WriteThrough());
    EXPECT_TRUE(table.IndexFile().WriteThrough());
    EXPECT_TRUE(table.BlobFile().WriteThrough());
    table.SetForceBufferFlush(false);
    table.SetStrictChangeDetection(false);
    EXPECT_TRUE(table.ForceBufferFlush());
    EXPECT_TRUE(table.StrictChangeDetection());
    EXPECT_EQ(EngineCode([&] { table.SetExclusive(true); }), engine::ErrFileInUse);
    EXPECT_EQ(EngineCode([&] { table.SetReadOnly(true); }), engine::ErrFileInUse);
    EXPECT_EQ(EngineCode([&] { table.SetFileName("other"); }), engine::ErrFileInUse);
    // The lock settings may change on an open table.
    table.SetLockRetryCount(3);
    table.SetLockWaitTime(20);
    EXPECT_EQ(table.LockRetryCount(), 3);
    EXPECT_EQ(table.LockWaitTime(), 20);
    table.Close();
    table.SetStrictChangeDetection(false);
    EXPECT_FALSE(table.StrictChangeDetection());
}

}  // namespace
