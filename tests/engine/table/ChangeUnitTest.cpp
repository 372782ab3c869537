#include "engine/table/ChangeUnit.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/os/PosixFile.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::SlotNumber;

// "t": ID (the primary index), NAME ("ByName"), NOTE (no index) and a memo; each image is about 4 KB through
// a padding string field, so that a unit of a hundred changes overflows the record cache (128 KB) and
// writes records before its end.
constexpr int kRows = 100;
constexpr std::uint16_t kIdField = 1;
constexpr std::uint16_t kNameField = 2;
constexpr std::uint16_t kNoteField = 3;

void CreateUnitTable(const std::string& name) {
    for (const char* extension : {".DAT", ".IDX", ".JNL"}) std::filesystem::remove(name + extension);
    std::vector<engine::TFieldDesc> fields = {FieldDef(kIdField, "ID", engine::FieldTypeInteger),
                                              FieldDef(kNameField, "NAME", engine::FieldTypeString, 20),
                                              FieldDef(kNoteField, "NOTE", engine::FieldTypeString, 30)};
    for (std::uint16_t n = 4; n < 20; ++n)
        fields.push_back(FieldDef(n, "PAD" + std::to_string(n), engine::FieldTypeString, 250));
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {kIdField}),
                                                     IndexDef("ByName", {kNameField})};
    CreateTable(name, fields, indexes);
    engine::TDataFile table;
    table.SetFileName(name);
    table.SetExclusive(true);
    table.Open();
    for (int i = 1; i <= kRows; ++i)
        Insert(table,
               {{kIdField, I32(i)}, {kNameField, Str("n" + std::to_string(i))}, {kNoteField, Str("x")}});
}

// What another program sees: each index's records in its order with ID, NAME and NOTE.
std::string Contents(const std::string& name) {
    return IndexContents(name, [](engine::TDataFile& table, std::span<const std::uint8_t> image) {
        std::vector<std::uint8_t> id(4);
        table.GetField(false, kIdField, image, id);
        return std::to_string(GetLE(std::string(id.begin(), id.end()), 0, 4)) + "/" +
               StoredText(table, image, kNameField) + "/" + StoredText(table, image, kNoteField);
    });
}

// The changes of one unit: every NOTE rewritten, every fifth NAME moved (a key change), rows 41 .. 50
// deleted and ten rows added.
void ChangeEverything(engine::TDataFile& table) {
    for (int slot = 1; slot <= kRows; ++slot) {
        GoToSlot(table, SlotNumber(static_cast<std::uint32_t>(slot)));
        if (slot > 40 && slot <= 50) {
            table.DeleteRecord(true);
            continue;
        }
        std::vector<std::uint8_t> image(table.CurrentRecord()->Image().begin(),
                                        table.CurrentRecord()->Image().end());
        table.SetField(false, kNoteField, image, std::span<const std::uint8_t>(Str("changed")));
        if (slot % 5 == 0)
            table.SetField(false, kNameField, image,
                           std::span<const std::uint8_t>(Str("m" + std::to_string(slot))));
        table.ModifyRecord(image, false, true);
    }
    for (int i = 1; i <= 10; ++i)
        Insert(table, {{kIdField, I32(1000 + i)},
                       {kNameField, Str("a" + std::to_string(i))},
                       {kNoteField, Str("new")}});
}

class ChangeUnitTest : public TableTest {
protected:
    void SetUp() override {
        CreateUnitTable("t");
        before_ = Contents("t");
        // The same changes made one by one give what a committed unit must give.
        CreateUnitTable("oneByOne");
        engine::TDataFile table;
        table.SetFileName("oneByOne");
        table.Open();
        ChangeEverything(table);
        table.Close();
        after_ = Contents("oneByOne");
        ASSERT_NE(before_, after_);
    }

    std::string before_;
    std::string after_;
};

// A committed unit leaves what its changes made one by one leave; every way a unit can end short of that
// leaves the table as it was: no Commit (the caller's failure), a write that fails while the changes run
// (a full cache writing early) or while Commit writes them.
TEST_F(ChangeUnitTest, AUnitIsAllOrNothing) {
    struct Case {
        const char* name;
        const char* faultFile;  // a write failing in this file, or none
        bool commit;
        bool committed;
    };
    const Case cases[] = {
        {"committed", nullptr, true, true},
        {"ended without Commit", nullptr, false, false},
        {"a record write fails", "t.DAT", true, false},
        {"an index write fails", "t.IDX", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CreateUnitTable("t");
        {
            engine::TDataFile table;
            table.SetFileName("t");
            table.Open();
            if (c.faultFile != nullptr)
                ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, c.faultFile, 2, EIO));
            const int code = EngineCode([&] {
                engine::TChangeUnit unit(table);
                ASSERT_TRUE(unit.Active());
                ChangeEverything(table);
                if (c.commit) unit.Commit();
            });
            engine::DisarmIoFault();
            EXPECT_EQ(code != 0, c.faultFile != nullptr) << code;
            EXPECT_FALSE(table.WriteLocksHeld());
            // The handle goes on with what the files hold: row 1 deleted and added again as it was.
            EXPECT_EQ(table.GetRecordCount(), kRows);
            DeleteSlot(table, SlotNumber(1));
            Insert(table, {{kIdField, I32(1)},
                           {kNameField, Str("n1")},
                           {kNoteField, Str(c.committed ? "changed" : "x")}});
        }
        EXPECT_EQ(Contents("t"), c.committed ? after_ : before_);
        EXPECT_TRUE(IsCleanTable("t"));
    }
}

// A program killed in the middle of a unit, at a write of the record file (the record cache overflowing into
// it while the changes run, or Commit) or of the index file (Commit, after the records), leaves nothing of
// it: the next program to read puts it all back.
TEST_F(ChangeUnitTest, AKilledUnitIsPutBackWhole) {
    struct Case {
        const char* file;
        int nth;
    };
    for (const Case c : {Case{"t.DAT", 1}, Case{"t.DAT", 2}, Case{"t.IDX", 1}}) {
        SCOPED_TRACE(std::string(c.file) + " write " + std::to_string(c.nth));
        CreateUnitTable("t");
        const pid_t writer = fork();
        if (writer == 0) {
            if (!engine::ArmIoFault(engine::IoCall::Write, c.file, c.nth, engine::KillAtIoFault)) _exit(2);
            EngineCode([] {
                engine::TDataFile table;
                table.SetFileName("t");
                table.Open();
                engine::TChangeUnit unit(table);
                ChangeEverything(table);
                unit.Commit();
            });
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(Contents("t"), before_);
        EXPECT_TRUE(IsCleanTable("t"));
    }
}

// An exclusive table, which no other program reads, has no unit: each change goes its own way.
TEST_F(ChangeUnitTest, AnExclusiveTableHasNoUnit) {
    CreateUnitTable("t");
    engine::TDataFile table;
    table.SetFileName("t");
    table.SetExclusive(true);
    table.Open();
    engine::TChangeUnit unit(table);
    EXPECT_FALSE(unit.Active());
    ChangeEverything(table);
    unit.Commit();
    table.Close();
    EXPECT_EQ(Contents("t"), after_);
}

}  // namespace
