#include "engine/file/Journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace
