#include "engine/file/Journal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/os/PosixFile.h"
#include "tests/engine/support/TempDirectory.h"

namespace {

namespace fs = std::filesystem;
using engine::TFileHandler;
using engine::TJournal;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void Put(TFileHandler& file, std::int64_t offset, const std::string& bytes) {
    file.Seek(offset, 0);
    file.Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

void CutTo(TFileHandler& file, std::int64_t length) {
    file.Seek(length, 0);
    file.Write(nullptr, 0);
}

// Two files ("t.DAT", "t.IDX") guarded by the journal "t.JNL", all opened exclusively.
class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile("t.DAT", "0123456789");
        WriteFile("t.IDX", "abcdefghij");
        engine::ReserveNewFile("t.JNL");
        for (TFileHandler* file : {&data_, &index_, static_cast<TFileHandler*>(&journal_)}) {
            file->SetExclusive(true);
        }
        data_.SetFileName("t.DAT");
        index_.SetFileName("t.IDX");
        journal_.SetFileName("t.DAT");
        data_.Open();
        index_.Open();
        journal_.Open();
        journal_.Guard({&data_, &index_, nullptr});
        journal_.HoldChanges(true);
    }

    // Every kind of write: overwrites (one twice), an append, a cut and a lengthening.
    void Change() {
        Put(data_, 2, "XY");
        Put(data_, 3, "ZZZ");
        Put(data_, 10, "appended");
        CutTo(index_, 4);
        Put(index_, 6, "!!");
        CutTo(data_, 20);
    }

    enginetest::TempDirectory directory_;
    TFileHandler data_;
    TFileHandler index_;
    TJournal journal_;
};

TEST_F(JournalTest, TheJournalNamesItselfAfterTheTable) {
    EXPECT_EQ(engine::JournalFileName("dir/t.DAT"), "dir/t.JNL");
    EXPECT_EQ(journal_.FileName(), "t.JNL");
}

TEST_F(JournalTest, WritesWaitUntilAGuardedFileIsLookedAtAndTheJournalHoldsWhatTheyOverwrite) {
    Change();
    EXPECT_EQ(Contents("t.DAT"), "0123456789");
    EXPECT_FALSE(journal_.Hot());
    EXPECT_EQ(index_.GetSize(), 8);
    EXPECT_EQ(Contents("t.DAT"), std::string("01XZZZ6789appended") + std::string(2, '\0'));
    EXPECT_TRUE(journal_.Hot());
}

TEST_F(JournalTest, ARollBackPutsBackEveryByteAndLength) {
    Change();
    journal_.Spill();
    EXPECT_TRUE(journal_.Hot());
    journal_.RollBack();
    EXPECT_FALSE(journal_.Hot());
    EXPECT_EQ(Contents("t.DAT"), "0123456789");
    EXPECT_EQ(Contents("t.IDX"), "abcdefghij");
}

TEST_F(JournalTest, AFinishedChangeStaysAndHoldsNothingToPutBack) {
    Change();
    journal_.Finish();
    EXPECT_FALSE(journal_.Hot());
    EXPECT_FALSE(journal_.PutBack({&data_, &index_, nullptr}));
    EXPECT_EQ(Contents("t.DAT"), std::string("01XZZZ6789appended") + std::string(2, '\0'));
    EXPECT_EQ(Contents("t.IDX"), std::string("abcd") + std::string(2, '\0') + "!!");
}

// The mark is the change's last write: when it fails, the files hold the whole change while the journal still
// calls it open. It is never taken for done: it can only be put back, and is.
TEST_F(JournalTest, AChangeWhoseMarkFailsStaysOpenToBePutBack) {
    Change();
    // The first journal write saves the batch, the second marks it whole.
    ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, "t.JNL", 2, EIO));
    EXPECT_ANY_THROW(journal_.Finish());
    EXPECT_TRUE(engine::IoFaultFired());
    engine::DisarmIoFault();
    EXPECT_TRUE(journal_.ChangeBroken());
    EXPECT_TRUE(journal_.Hot());
    journal_.RollBack();
    EXPECT_FALSE(journal_.ChangeOpen());
    EXPECT_FALSE(journal_.Hot());
    EXPECT_EQ(Contents("t.DAT"), "0123456789");
    EXPECT_EQ(Contents("t.IDX"), "abcdefghij");
}

TEST_F(JournalTest, AChangeLeftOpenIsPutBackByAnotherJournalOfTheTable) {
    Change();
    journal_.Spill();
    // The program that made it is gone; the files are opened anew.
    journal_.Unguard();
    journal_.Close();
    data_.Close();
    index_.Close();
    TJournal other;
    other.SetFileName("t.DAT");
    other.Open();
    TFileHandler data;
    TFileHandler index;
    data.SetFileName("t.DAT");
    index.SetFileName("t.IDX");
    data.Open();
    index.Open();
    ASSERT_TRUE(other.Hot());
    EXPECT_TRUE(other.PutBack({&data, &index, nullptr}));
    EXPECT_FALSE(other.Hot());
    EXPECT_EQ(Contents("t.DAT"), "0123456789");
    EXPECT_EQ(Contents("t.IDX"), "abcdefghij");
}

TEST_F(JournalTest, OnlyTheEntriesBeforeOneCutShortArePutBack) {
    Put(data_, 0, "AA");
    journal_.Spill();
    // The second batch's journal write fails: its data writes never happen, and the journal holds part of it.
    ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, "t.JNL", 1, EIO));
    Put(data_, 5, "BB");
    EXPECT_ANY_THROW(journal_.Spill());
    engine::DisarmIoFault();
    {
        std::fstream journal("t.JNL", std::ios::in | std::ios::out | std::ios::binary | std::ios::ate);
        journal << "partial entry";
    }
    journal_.RollBack();
    EXPECT_EQ(Contents("t.DAT"), "0123456789");
}

TEST_F(JournalTest, EntriesOfAnEarlierLongerChangeAreNeverTakenForTheOpenOnes) {
    Put(data_, 0, "first change, long");
    journal_.Finish();
    const std::string afterFirst = Contents("t.DAT");
    Put(data_, 0, "2");
    journal_.Spill();
    journal_.RollBack();
    EXPECT_EQ(Contents("t.DAT"), afterFirst);
}

TEST_F(JournalTest, WithoutHoldingEachWriteIsAChangeOfItsOwn) {
    journal_.HoldChanges(false);
    Put(data_, 0, "AA");
    EXPECT_FALSE(journal_.ChangeOpen());
    EXPECT_FALSE(journal_.Hot());
    journal_.RollBack();
    EXPECT_EQ(Contents("t.DAT"), "AA23456789");
}

TEST_F(JournalTest, AWriteSavesOnlyTheRunsItChangesAndPutsThemAllBack) {
    // A page whose write changes a few bytes here and there, as a counter and a slot far apart in it.
    const std::string page(4096, 'p');
    Put(data_, 0, page);
    journal_.Finish();
    const auto journalEnd = fs::file_size("t.JNL");
    std::string changed = page;
    changed[3] = 'A';
    changed[9] = 'B';
    changed.replace(2000, 5, "CCCCC");
    changed[4095] = 'D';
    Put(data_, 0, changed);
    // A second write of the change over bytes the first left as they were, and over bytes it changed.
    Put(data_, 1000, "E");
    Put(data_, 2002, "F");
    journal_.Spill();
    EXPECT_EQ(Contents("t.DAT"), [&] {
        std::string after = changed;
        after[1000] = 'E';
        after[2002] = 'F';
        return after;
    }());
    // A few entries of a few bytes each, far from the page's size.
    EXPECT_LT(fs::file_size("t.JNL"), std::max<std::uintmax_t>(journalEnd, 512));
    journal_.RollBack();
    EXPECT_EQ(Contents("t.DAT"), page);
}

TEST_F(JournalTest, ALengthLearntInAnEarlierChangeIsTheOnePutBack) {
    struct Case {
        const char* name;
        std::function<void(TJournal&, TFileHandler&)> earlier;
        // Another program's writes between the changes, which the journal is told of.
        bool outsideWrite;
    };
    const std::vector<Case> cases = {
        {"an append", [](TJournal&, TFileHandler& data) { Put(data, 10, "more"); }, false},
        {"a cut", [](TJournal&, TFileHandler& data) { CutTo(data, 6); }, false},
        {"a lengthening", [](TJournal&, TFileHandler& data) { CutTo(data, 30); }, false},
        {"a read only", [](TJournal&, TFileHandler& data) { data.GetSize(); }, false},
        {"an append, then another program's", [](TJournal&, TFileHandler& data) { Put(data, 10, "more"); },
         true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        WriteFile("t.DAT", "0123456789");
        journal_.ForgetImages();
        test.earlier(journal_, data_);
        journal_.Finish();
        if (test.outsideWrite) {
            std::ofstream("t.DAT", std::ios::binary | std::ios::app) << "outside";
            journal_.ForgetImages();
        }
        const std::string before = Contents("t.DAT");
        const auto length = static_cast<std::int64_t>(before.size());
        Put(data_, length, "appended");
        Put(data_, length + 20, "past");
        journal_.Spill();
        ASSERT_EQ(static_cast<std::int64_t>(Contents("t.DAT").size()), length + 24);
        journal_.RollBack();
        EXPECT_EQ(Contents("t.DAT"), before);
    }
}

TEST_F(JournalTest, AWriteLeavingAGapBeforeItsBytesPutsBackTheLengthBeforeTheGap) {
    Put(data_, 16, "past the end");
    journal_.Spill();
    ASSERT_EQ(Contents("t.DAT").size(), 28u);
    journal_.RollBack();
    EXPECT_EQ(Contents("t.DAT"), "0123456789");
}

}  // namespace
