// The rollback journal seen from the table: a change cut at any write, by a failing write or by the death of
// its program, is all or nothing for whoever opens the table next.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/file/JournalLayout.h"
#include "engine/os/PosixFile.h"
#include "engine/table/DataFile.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/StoredValues.h"
#include "tests/engine/support/TableChecker.h"
#include "tests/engine/support/TableDefs.h"
#include "tests/engine/support/TableFixture.h"
#include "tools/tarnis-check/TableCheck.h"

namespace {

using namespace enginetest;
using engine::SlotNumber;
namespace fs = std::filesystem;

// "t": ID (autoincrement), CODE (the primary index), NAME ("ByName"), MEMO (large object, 64-byte blocks).
constexpr std::uint16_t CodeField = 2;
constexpr std::uint16_t NameField = 3;
constexpr std::uint16_t MemoField = 4;
const std::string ShortMemo(150, 'm');
const std::string LongMemo(400, 'l');

void CreateJournalTable(const std::string& name) {
    std::vector<engine::TFieldDesc> fields = {AutoIncDef(1, "ID"),
                                              FieldDef(CodeField, "CODE", engine::FieldTypeInteger),
                                              FieldDef(NameField, "NAME", engine::FieldTypeString, 20),
                                              FieldDef(MemoField, "MEMO", engine::FieldTypeBlob)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {CodeField}),
                                                     IndexDef("ByName", {NameField})};
    TableOptions options;
    options.blockSize = 64;
    CreateTable(name, fields, indexes, options);
}

void OpenTable(engine::TDataFile& table, const std::string& name, bool exclusive) {
    table.SetFileName(name);
    table.SetExclusive(exclusive);
    table.Open();
}

FieldValues Row(std::int32_t code, const std::string& name) {
    return {{CodeField, I32(code)}, {NameField, Str(name)}};
}

void InsertRow(engine::TDataFile& table, std::int32_t code, const std::string& name,
               const std::string& memo) {
    std::vector<std::uint8_t> image = NewImage(table, Row(code, name));
    engine::CheckEngineResult(table.OpenBlob(false, MemoField, engine::BlobOpenReadWrite, image));
    engine::CheckEngineResult(
        table.WriteBlob(false, MemoField, Chars(memo), static_cast<std::int32_t>(memo.size()), 0, image));
    table.InsertRecord(image, true);
    table.FreeBlobs();
}

// The record in the slot gets the name and, when given, a new memo.
void ModifyRow(engine::TDataFile& table, SlotNumber slot, const std::string& name, const std::string* memo) {
    GoToSlot(table, slot);
    std::vector<std::uint8_t> image(table.CurrentRecord()->Image().begin(),
                                    table.CurrentRecord()->Image().end());
    table.SetField(false, NameField, image, std::span<const std::uint8_t>(Str(name)));
    if (memo != nullptr) {
        engine::CheckEngineResult(table.OpenBlob(false, MemoField, engine::BlobOpenReadWrite, image));
        engine::CheckEngineResult(table.WriteBlob(false, MemoField, Chars(*memo),
                                                  static_cast<std::int32_t>(memo->size()), 0, image));
    }
    table.ModifyRecord(image, false, true);
    table.FreeBlobs();
}

// What every other program sees of the table: each index's records in its order, with their fields and memos.
std::string Contents(const std::string& name) {
    return IndexContents(name, [](engine::TDataFile& table, std::span<const std::uint8_t> image) {
        std::vector<std::uint8_t> code(4);
        table.GetField(false, CodeField, image, code);
        return std::to_string(GetLE(std::string(code.begin(), code.end()), 0, 4)) + "/" +
               StoredText(table, image, NameField) + "/" +
               std::to_string(ReadBlobValue(table, MemoField, image).size());
    });
}

// Six rows with memos; row 2's memo spans two chains' worth of blocks written apart.
void CreateBase(const std::string& name) {
    CreateJournalTable(name);
    engine::TDataFile table;
    OpenTable(table, name, true);
    for (int i = 1; i <= 6; ++i) InsertRow(table, i * 10, "n" + std::to_string(i), ShortMemo);
}

void CopyTable(const std::string& from, const std::string& to) {
    for (const char* e : {".DAT", ".IDX", ".BLB"})
        fs::copy_file(from + e, to + e, fs::copy_options::overwrite_existing);
    fs::remove(to + ".JNL");
}

// A change cut short, run on the table of the name.
struct CutChange {
    const char* Name;
    std::function<void(const std::string&)> Run;
};

const CutChange CutChanges[] = {
    {"insert",
     [](const std::string& t) {
         engine::TDataFile table;
         OpenTable(table, t, false);
         InsertRow(table, 35, "new", LongMemo);
     }},
    {"modify_with_memo_rewrite",
     [](const std::string& t) {
         engine::TDataFile table;
         OpenTable(table, t, false);
         ModifyRow(table, SlotNumber(2), "changed", &LongMemo);
     }},
    {"delete",
     [](const std::string& t) {
         engine::TDataFile table;
         OpenTable(table, t, false);
         DeleteSlot(table, SlotNumber(4));
     }},
    {"empty_table",
     [](const std::string& t) {
         engine::TDataFile table;
         OpenTable(table, t, true);
         table.EmptyTable();
     }},
    {"exclusive_close",
     [](const std::string& t) {
         engine::TDataFile table;
         OpenTable(table, t, true);
         InsertRow(table, 5, "first", ShortMemo);
         ModifyRow(table, SlotNumber(3), "renamed", &LongMemo);
         DeleteSlot(table, SlotNumber(6));
         table.Close();
     }},
};

class TableJournalTest : public TableTest, public ::testing::WithParamInterface<CutChange> {};

INSTANTIATE_TEST_SUITE_P(EachChange, TableJournalTest, ::testing::ValuesIn(CutChanges),
                         [](const ::testing::TestParamInfo<CutChange>& info) { return info.param.Name; });

// Runs the change with the nth write of the file failing (a write error, or the program killed there, in a
// child process); true when the fault was met.
bool RunCut(const CutChange& change, const std::string& table, const std::string& file, int n, bool kill) {
    if (!kill) {
        EXPECT_TRUE(engine::ArmIoFault(engine::IoCall::Write, file, n, EIO));
        const int code = EngineCode([&] { change.Run(table); });
        const bool fired = engine::IoFaultFired();
        engine::DisarmIoFault();
        EXPECT_EQ(code != 0, fired) << code;
        return fired;
    }
    const pid_t child = fork();
    if (child == 0) {
        // The child never returns into the test: it dies at the write, or leaves at once when there is none.
        if (!engine::ArmIoFault(engine::IoCall::Write, file, n, engine::KillAtIoFault)) _exit(2);
        const int code = EngineCode([&] { change.Run(table); });
        _exit(code == 0 ? 0 : 3);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), SIGKILL);
        return true;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return false;
}

// Every write of the change, the journal's own included, fails in turn, and in turn kills the program making
// it. Whoever opens the table next finds it exactly as before the change or exactly as after it, with no
// finding of tarnis-check, and changes it as usual.
TEST_P(TableJournalTest, ACutAtAnyWriteLeavesTheTableAsBeforeOrAsAfter) {
    const CutChange& change = GetParam();
    CreateBase("base");
    const std::string before = Contents("base");
    CopyTable("base", "done");
    change.Run("done");
    const std::string after = Contents("done");
    ASSERT_NE(before, after);
    for (const bool kill : {false, true}) {
        int cuts = 0;
        for (const char* extension : {".DAT", ".IDX", ".BLB", ".JNL"}) {
            for (int n = 1;; ++n, ++cuts) {
                SCOPED_TRACE(std::string(kill ? "killed at" : "failed") + " write " + std::to_string(n) +
                             " of " + extension);
                CopyTable("base", "cut");
                // The journal exists before the change, as it does beside any table opened before.
                {
                    engine::TDataFile opened;
                    OpenTable(opened, "cut", false);
                }
                if (!RunCut(change, "cut", std::string("cut") + extension, n, kill)) break;
                const std::string seen = Contents("cut");
                EXPECT_TRUE(seen == before || seen == after) << seen;
                ASSERT_TRUE(IsCleanTable("cut"));
                {
                    engine::TDataFile other;
                    OpenTable(other, "cut", false);
                    SlotNumber first;
                    SlotNumber second;
                    EXPECT_EQ(EngineCode([&] {
                                  InsertRow(other, 99, "later", ShortMemo);
                                  first = other.CurrentRecord()->RecordNumber();
                                  InsertRow(other, 98, "later too", ShortMemo);
                                  second = other.CurrentRecord()->RecordNumber();
                                  ModifyRow(other, first, "again", &LongMemo);
                                  DeleteSlot(other, second);
                              }),
                              0);
                }
                ASSERT_TRUE(IsCleanTable("cut"));
            }
        }
        EXPECT_GT(cuts, 4);
    }
}

// A reader in a process of its own reads the table over and over while a writer in another inserts the record
// that splits a page of both indexes and is killed at each write of the index file in turn: every read sees
// the records before the insert or after it, each index in order and with the count it states, never a torn
// tree.
class HotJournalTest : public TableTest {};

void WriteOpenJournal(const std::string& name) {
    std::array<std::uint8_t, engine::JournalHeaderSize> open{};
    engine::EncodeJournalHeader({engine::JournalState::Open, 1}, open);
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(open.data()), static_cast<std::streamsize>(open.size()));
}

// A handle that had the table open before a writer was killed puts the writer's change back at its next read.
TEST_F(HotJournalTest, AnOpenHandlePutsBackAKilledWritersChangeAtItsNextRead) {
    CreateBase("t");
    const std::string before = Contents("t");
    engine::TDataFile reader;
    reader.SetStrictChangeDetection(true);
    OpenTable(reader, "t", false);
    EXPECT_EQ(reader.GetRecordCount(), 6);
    const pid_t writer = fork();
    if (writer == 0) {
        // Killed at its first write of the index file: the journal and the record file are written by then.
        if (!engine::ArmIoFault(engine::IoCall::Write, "t.IDX", 1, engine::KillAtIoFault)) _exit(2);
        const int code = EngineCode([] {
            engine::TDataFile table;
            OpenTable(table, "t", false);
            InsertRow(table, 35, "new", LongMemo);
        });
        _exit(code == 0 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_TRUE(tarnischeck::CheckTable("t").HasErrors());
    std::vector<std::uint8_t> image(reader.GetRecordBufferSize());
    reader.SetIndexNumber(1);
    reader.SetToBegin();
    int seen = 0;
    while (reader.GetNextRecord(image) == 0) ++seen;
    EXPECT_EQ(seen, 6);
    reader.Close();
    EXPECT_EQ(Contents("t"), before);
    EXPECT_TRUE(IsCleanTable("t"));
}

// A table written before there were journals opens as before and gets one; the journal goes with the table,
// and one left by a table of the same name is never put back into a new one.
TEST_F(HotJournalTest, TheJournalBelongsToItsTable) {
    CreateBase("t");
    const std::string before = Contents("t");
    fs::remove("t.JNL");
    EXPECT_EQ(Contents("t"), before);
    EXPECT_TRUE(fs::exists("t.JNL"));
    {
        engine::TDataFile table;
        table.SetFileName("t");
        table.DeleteFiles();
    }
    EXPECT_FALSE(fs::exists("t.JNL"));
    WriteOpenJournal("t.JNL");
    CreateJournalTable("t");
    EXPECT_EQ(Contents("t"), "index 0 (0):\nindex 1 (0):\n");
    EXPECT_TRUE(IsCleanTable("t"));
}

// Each write of a guarded file waits for its batch, in memory; a table read and changed through several
// handles of one process sees every change of the others.
TEST_F(HotJournalTest, HandlesOfOneProcessSeeEachOthersChanges) {
    CreateBase("t");
    engine::TDataFile a;
    engine::TDataFile b;
    OpenTable(a, "t", false);
    OpenTable(b, "t", false);
    for (int i = 0; i < 5; ++i) {
        InsertRow(a, 100 + i, "a" + std::to_string(i), ShortMemo);
        ModifyRow(b, a.CurrentRecord()->RecordNumber(), "b" + std::to_string(i), &LongMemo);
        DeleteSlot(a, SlotNumber(1 + i));
    }
    a.Close();
    b.Close();
    EXPECT_TRUE(IsCleanTable("t"));
    EXPECT_EQ(Contents("t").substr(0, 12), "index 0 (6):");
}

// An exclusive table's flush whose writes failed puts the table back to its last completed flush and raises;
// the handle goes on, and what it flushes later is kept.
TEST_F(HotJournalTest, AFailedExclusiveFlushNeverCostsALaterOne) {
    CreateBase("t");
    {
        engine::TDataFile table;
        OpenTable(table, "t", true);
        InsertRow(table, 70, "n7", ShortMemo);
        ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, "t.IDX", 1, EIO));
        EXPECT_ANY_THROW(table.FlushBuffers(false, false, false));
        engine::DisarmIoFault();
        InsertRow(table, 80, "n8", ShortMemo);
        table.FlushBuffers(false, false, false);
        table.Close();
    }
    const std::string contents = Contents("t");
    EXPECT_NE(contents.find(" 80/n8/150"), std::string::npos) << contents;
    EXPECT_EQ(contents.find(" 70/n7/"), std::string::npos) << contents;
    EXPECT_TRUE(IsCleanTable("t"));
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Bytes written under the write locks and made whole only by EndWrite (no change's frame marks them): a
// failure of any of its writes, the mark included, puts them back before the locks go and is raised; the
// handle goes on and the table is clean.
TEST_F(HotJournalTest, EndWriteRaisesAChangeItCannotMarkWholeAndPutsItBack) {
    CreateBase("base");
    const std::string before = FileBytes("base.DAT");
    const std::int64_t at = static_cast<std::int64_t>(before.size()) - 4;
    const std::string written = "WXYZ";
    ASSERT_NE(before.substr(static_cast<std::size_t>(at)), written);
    const std::string after = before.substr(0, static_cast<std::size_t>(at)) + written;
    int cuts = 0;
    for (const char* extension : {".DAT", ".JNL"}) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string("write ") + std::to_string(n) + " of " + extension);
            CopyTable("base", "t");
            {
                engine::TDataFile table;
                OpenTable(table, "t", false);
                ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, std::string("t") + extension, n, EIO));
                const int code = EngineCode([&] {
                    table.BeginWrite();
                    table.Seek(at, 0);
                    table.Write(written.data(), static_cast<std::int32_t>(written.size()));
                    table.EndWrite();
                });
                const bool fired = engine::IoFaultFired();
                engine::DisarmIoFault();
                EXPECT_EQ(code != 0, fired) << code;
                EXPECT_EQ(FileBytes("t.DAT"), fired ? before : after);
                EXPECT_EQ(EngineCode([&] { InsertRow(table, 99, "later", ShortMemo); }), 0);
                table.Close();
                // The bytes written are no valid change: only the table they were taken back from is clean.
                if (!fired) break;
                ASSERT_TRUE(IsCleanTable("t"));
                ++cuts;
            }
        }
    }
    CopyTable("base", "t");
    // The data write, the journal's save and its mark.
    EXPECT_EQ(cuts, 3);
}

// The journal is written through exactly when the table's files are, whatever the setting was at the open
// before; the setting changes nothing while the table is open.
TEST_F(HotJournalTest, TheJournalIsWrittenThroughWhenTheTablesFilesAre) {
    CreateBase("t");
    engine::TDataFile table;
    for (const bool force : {true, false, true}) {
        table.SetForceBufferFlush(force);
        OpenTable(table, "t", false);
        table.SetForceBufferFlush(!force);
        EXPECT_EQ(table.ForceBufferFlush(), force);
        EXPECT_EQ(table.WriteThrough(), force);
        EXPECT_EQ(table.Journal().WriteThrough(), force);
        table.Close();
    }
}

class PageSplitTest : public TableTest {};

TEST_F(PageSplitTest, AReaderNeverSeesAPageSplitThatAKilledWriterLeftHalfWritten) {
    const auto nameOf = [](int i) {
        std::string digits = std::to_string(i);
        return "name" + std::string(6 - digits.size(), '0') + digits;
    };
    // The row whose insert first adds pages to the index file splits a page: found on a probe table.
    CreateJournalTable("probe");
    int splitting = 0;
    {
        engine::TDataFile table;
        OpenTable(table, "probe", false);
        // The first insert gives each index its root page.
        InsertRow(table, 10, nameOf(1), "");
        const auto start = fs::file_size("probe.IDX");
        for (int i = 2; splitting == 0; ++i) {
            InsertRow(table, i * 10, nameOf(i), "");
            if (fs::file_size("probe.IDX") > start) splitting = i;
            ASSERT_LT(i, 2000);
        }
    }
    const int rowsBefore = splitting - 1;
    CreateJournalTable("split");
    {
        engine::TDataFile table;
        OpenTable(table, "split", true);
        for (int i = 1; i <= rowsBefore; ++i) InsertRow(table, i * 10, nameOf(i), "");
    }
    const auto readerLoop = [rowsBefore](const std::string& stop) {
        // Rounds until the writer is gone, and one more after it, which puts back what it left.
        for (bool last = false; !last;) {
            last = fs::exists(stop);
            engine::TDataFile table;
            OpenTable(table, "split", false);
            std::vector<std::uint8_t> image(table.GetRecordBufferSize());
            for (const int index : {0, 1}) {
                table.SetIndexNumber(index);
                table.SetToBegin();
                const std::int32_t stated = table.GetRecordCount();
                std::int32_t seen = 0;
                std::string previous;
                while (table.GetNextRecord(image) == 0) {
                    const std::string name = StoredText(table, image, NameField);
                    if (index == 1 && !previous.empty() && name <= previous) return 4;
                    previous = name;
                    ++seen;
                }
                if (seen != stated || (seen != rowsBefore && seen != rowsBefore + 1)) return 5;
            }
        }
        return 0;
    };
    for (int n = 1;; ++n) {
        SCOPED_TRACE("killed at index write " + std::to_string(n));
        const std::string stop = "stop" + std::to_string(n);
        const pid_t reader = fork();
        if (reader == 0) {
            int code = 6;
            try {
                code = readerLoop(stop);
            } catch (...) {
            }
            _exit(code);
        }
        const pid_t writer = fork();
        if (writer == 0) {
            if (!engine::ArmIoFault(engine::IoCall::Write, "split.IDX", n, engine::KillAtIoFault)) _exit(2);
            const int code = EngineCode([&] {
                engine::TDataFile table;
                OpenTable(table, "split", false);
                InsertRow(table, splitting * 10, nameOf(splitting), "");
            });
            _exit(code == 0 ? 0 : 3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        const bool killed = WIFSIGNALED(status);
        if (!killed) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        { std::ofstream(stop).put('x'); }
        ASSERT_EQ(waitpid(reader, &status, 0), reader);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        ASSERT_TRUE(IsCleanTable("split"));
        // A writer killed at an index write never finished its change: the next round starts from the same
        // table.
        if (!killed) {
            // The insert split a page: it wrote the index file more than once.
            EXPECT_GT(n, 2);
            break;
        }
    }
}

}  // namespace
