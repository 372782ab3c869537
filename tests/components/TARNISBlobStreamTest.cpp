#include "components/TARNISBlobStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "HookSpy.h"
#include "components/TARNISTable.h"
#include "db/BlobField.h"
#include "db/DataSource.h"
#include "db/Messages.h"
#include "engine/base/EngineError.h"
#include "rtl/Format.h"
#include "rtl/Variant.h"
#include "tests/components/support/TableComponentFixture.h"

namespace {

using components::TTARNISBlobStream;
using components::TTARNISTable;
using componenttest::CreateResultsTable;
using componenttest::MessageOf;
using enginetest::EngineCode;

// A text of the size with every line numbered, so that a shifted or cut copy shows.
std::string LogText(std::size_t size) {
    std::string text;
    for (int line = 1; text.size() < size; ++line)
        text += "Record no.: " + std::to_string(line) + ", Field no.: 3, 2 errors.\r\n";
    text.resize(size);
    return text;
}

std::string FileBytes(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class TARNISBlobStreamTest : public componenttest::TableComponentTest {
protected:
    void SetUp() override { CreateResultsTable(DefaultSession()); }

    std::unique_ptr<componenttest::TestTable> OpenResults() {
        auto table = NewTable("results");
        table->Open();
        return table;
    }

    // One stored result named Ann with the log.
    void StoreResult(const std::string& log) {
        auto table = OpenResults();
        table->Insert();
        table->SetFieldValues("NAME", rtl::Variant(std::string("Ann")));
        table->SetFieldValues("ERRORS", rtl::Variant(log));
        table->Post();
    }

    static db::TBlobField& Errors(TTARNISTable& table) {
        return dynamic_cast<db::TBlobField&>(table.FieldByName("ERRORS"));
    }

    static std::unique_ptr<TTARNISBlobStream> Stream(TTARNISTable& table, db::TBlobStreamMode mode) {
        auto stream = table.CreateBlobStream(&Errors(table), mode);
        return std::unique_ptr<TTARNISBlobStream>(dynamic_cast<TTARNISBlobStream*>(stream.release()));
    }

    static std::string ReadAll(TTARNISBlobStream& stream) {
        std::string text(static_cast<std::size_t>(stream.GetBlobSize()), '\0');
        stream.SetPosition(0);
        text.resize(
            static_cast<std::size_t>(stream.Read(text.data(), static_cast<std::int64_t>(text.size()))));
        return text;
    }
};

TEST_F(TARNISBlobStreamTest, AMemoSetInAnInsertIsOpenUntilThePostAndReadsBackAfterAReopen) {
    const std::string log = LogText(10 * 1024);
    {
        auto table = OpenResults();
        table->Insert();
        table->SetFieldValues("ERRORS", rtl::Variant(log));
        EXPECT_TRUE(Errors(*table).Modified());
        // The value waits, open in the record buffer, for the post.
        const auto image = std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(table->ActiveBuffer()), table->RecordSize());
        EXPECT_TRUE(table->Handle()->IsBlobOpen(true, 6, image));
        table->Post();
        EXPECT_FALSE(Errors(*table).Modified());
    }
    auto table = OpenResults();
    ASSERT_EQ(table->RecordCount(), 1);
    EXPECT_EQ(table->FieldByName("ERRORS").AsString(), log);
}

TEST_F(TARNISBlobStreamTest, AnEditThatRewritesTheMemoAndCancelsKeepsTheStoredText) {
    const std::string log = LogText(3000);
    StoreResult(log);
    const std::string blobFile = FileBytes("results.BLB");
    {
        auto table = OpenResults();
        table->Edit();
        table->FieldByName("ERRORS").SetAsString(LogText(5000) + "changed");
        table->Cancel();
        EXPECT_EQ(table->FieldByName("ERRORS").AsString(), log);
    }
    EXPECT_EQ(FileBytes("results.BLB"), blobFile);
    auto table = OpenResults();
    EXPECT_EQ(table->FieldByName("ERRORS").AsString(), log);
}

TEST_F(TARNISBlobStreamTest, AReadStreamInTheSameEditReadsTheUnpostedText) {
    StoreResult("stored");
    auto table = OpenResults();
    table->Edit();
    table->FieldByName("ERRORS").SetAsString("not yet posted");
    auto reader = Stream(*table, db::bmRead);
    EXPECT_EQ(ReadAll(*reader), "not yet posted");
    reader.reset();
    table->Cancel();
}

TEST_F(TARNISBlobStreamTest, AWriteStreamStartsFromAnEmptyValue) {
    StoreResult("stored text");
    auto table = OpenResults();
    table->Edit();
    auto writer = Stream(*table, db::bmWrite);
    EXPECT_EQ(writer->GetBlobSize(), 0);
    EXPECT_EQ(writer->Position(), 0);
    writer->WriteBuffer("new", 3);
    writer.reset();
    table->Post();
    EXPECT_EQ(table->FieldByName("ERRORS").AsString(), "new");
}

TEST_F(TARNISBlobStreamTest, WritersAreRefusedOutsideEditingAndOnReadOnlyFields) {
    StoreResult("stored");
    auto table = OpenResults();
    // Browse, on a record.
    EXPECT_EQ(MessageOf([&] { Stream(*table, db::bmWrite); }), db::kNotEditing);
    EXPECT_EQ(MessageOf([&] { Stream(*table, db::bmReadWrite); }), db::kNotEditing);
    table->Edit();
    Errors(*table).SetReadOnly(true);
    EXPECT_EQ(MessageOf([&] { Stream(*table, db::bmWrite); }),
              rtl::Format(db::kFieldReadOnly, {std::string("ERRORS")}));
    table->Cancel();
    table->Close();

    table->SetReadOnly(true);
    table->Open();
    EXPECT_FALSE(table->CanModify());
    EXPECT_EQ(MessageOf([&] { Stream(*table, db::bmWrite); }), db::kNotEditing);
    EXPECT_EQ(ReadAll(*Stream(*table, db::bmRead)), "stored");
}

TEST_F(TARNISBlobStreamTest, AnEmptyDatasetReadsNothingAndRefusesWriters) {
    auto table = OpenResults();
    auto reader = Stream(*table, db::bmRead);
    char byte = 0;
    EXPECT_FALSE(reader->Opened());
    EXPECT_EQ(reader->Read(&byte, 1), 0);
    EXPECT_EQ(reader->GetBlobSize(), 0);
    EXPECT_EQ(MessageOf([&] { Stream(*table, db::bmWrite); }), db::kNotEditing);
}

TEST_F(TARNISBlobStreamTest, AWriteAfterThePostClosedTheValueRaises10030) {
    StoreResult("stored");
    auto table = OpenResults();
    table->Edit();
    table->FieldByName("ERRORS").SetAsString("first");
    // The value a stream left open for the post is used again by the next one.
    auto writer = Stream(*table, db::bmReadWrite);
    ASSERT_TRUE(writer->Opened());
    table->Post();
    EXPECT_EQ(EngineCode([&] { writer->Write("x", 1); }), 10030);
    writer.reset();
    EXPECT_EQ(table->FieldByName("ERRORS").AsString(), "first");
}

TEST_F(TARNISBlobStreamTest, ReadingPastTheEndReturnsNothingAtThatPosition) {
    StoreResult("twelve bytes");
    auto table = OpenResults();
    auto reader = Stream(*table, db::bmRead);
    char bytes[8] = {};
    EXPECT_EQ(reader->Seek(4, rtl::soEnd), 16);
    EXPECT_EQ(reader->Read(bytes, sizeof bytes), 0);
    EXPECT_EQ(reader->Position(), 16);
    reader->SetPosition(8);
    EXPECT_EQ(reader->Read(bytes, sizeof bytes), 4);
    EXPECT_EQ(std::string(bytes, 4), "ytes");
    EXPECT_EQ(reader->Position(), 12);
    // Beyond the engine's offsets lies beyond any value.
    reader->SetPosition((std::int64_t{1} << 32) + 5);
    EXPECT_EQ(reader->Read(bytes, sizeof bytes), 0);
}

TEST_F(TARNISBlobStreamTest, WritesOutsideTheEnginesOffsetsRaiseAndChangeNothing) {
    auto table = OpenResults();
    table->Insert();
    auto writer = Stream(*table, db::bmReadWrite);
    writer->WriteBuffer("abc", 3);
    struct Case {
        std::int64_t position;
        std::int64_t count;
        int code;
    };
    const Case cases[] = {
        {-1, 1, 9998},
        {(std::int64_t{1} << 32) + 5, 1, 10029},
        {(std::int64_t{1} << 31) - 1, 2, 10029},
        {0, (std::int64_t{1} << 31), 10029},
    };
    for (const Case& c : cases) {
        writer->SetPosition(c.position);
        EXPECT_EQ(EngineCode([&] { writer->Write("zz", c.count); }), c.code) << c.position;
    }
    writer->SetPosition((std::int64_t{1} << 32) + 5);
    EXPECT_EQ(EngineCode([&] { writer->Truncate(); }), 10029);
    EXPECT_EQ(ReadAll(*writer), "abc");
    writer.reset();
    table->Cancel();
}

TEST_F(TARNISBlobStreamTest, AFailingFieldChangeHandlerDoesNotStopTheStream) {
    auto table = OpenResults();
    db::TDataSource source;
    source.SetDataSet(table.get());
    db_test::HookSpy captured;
    source.OnDataChange = [](db::TDataSource&, db::TField* field) {
        if (field != nullptr) throw rtl::Exception("handler failed");
    };
    table->Insert();
    Stream(*table, db::bmWrite)->WriteBuffer("log", 3);
    EXPECT_EQ(captured.Messages(), std::vector<std::string>{"handler failed"});
    EXPECT_TRUE(Errors(*table).Modified());
    table->Post();
    EXPECT_EQ(table->FieldByName("ERRORS").AsString(), "log");
}

}  // namespace
