#include "engine/base/EngineError.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/base/EngineState.h"

namespace {

using engine::ETARNISEngineError;

// Runs the statement and answers the engine exception it raised.
template <class F>
ETARNISEngineError Raised(F&& statement) {
    try {
        statement();
    } catch (const ETARNISEngineError& e) {
        return e;
    }
    ADD_FAILURE() << "no ETARNISEngineError raised";
    return ETARNISEngineError(0);
}

class EngineErrorTest : public ::testing::Test {
protected:
    // One fixed context for every text shape.
    void SetUp() override {
        engine::ErrorContext& context = engine::CurrentErrorContext();
        context.FileName = "T.DAT";
        context.FieldName = "AMOUNT";
        context.IndexName = "idxkey";
        context.ExtraText = "bad token";
        context.OsError = 112;
    }

    engine::EngineGuard engine_;
};

TEST_F(EngineErrorTest, TextsAreComposedFromTheContext) {
    const struct {
        std::int32_t code;
        const char* text;
    } cases[] = {
        {11047, "An unknown operating system error #112 occurred with data file T.DAT"},
        {10015, "Password provided for data file T.DATis invalid"},
        {10758, "TARNIS engine not initialized"},
        {11016, "There is insufficient operating system memory available for the current operation"},
        {9729, "Duplicate key found in index idxkey of data file T.DAT"},
        {9730, "The value for the field AMOUNT in data file T.DAT is below the minimum allowable value"},
        {10023, "Invalid field number AMOUNT specified in index idxkey for data file T.DAT"},
        {11949, "SQL - bad token"},
        {8711, "End of blob data in data file T.DAT reached prematurely"},
        {0, "Unknown error occurred with data file T.DAT"},
        {12345, "Unknown error occurred with data file T.DAT"},
        {0x10000 + 9729,
         "Duplicate key found in index idxkey of data file T.DAT"},  // only the low 16 bits count
    };
    for (const auto& c : cases) EXPECT_EQ(engine::GetEngineErrorMessage(c.code), c.text) << c.code;
}

TEST_F(EngineErrorTest, LongTextsAreCutAt127Characters) {
    engine::CurrentErrorContext().FieldName = std::string(100, 'F');
    const std::string text = engine::GetEngineErrorMessage(10006);
    const std::string full = "Invalid default, min or max validity check, or expression specified for " +
                             std::string(100, 'F') + " in data file T.DAT";
    EXPECT_EQ(text, full.substr(0, 127));
}

TEST_F(EngineErrorTest, ExceptionCarriesPrefixCodeTextAndOneEntry) {
    const ETARNISEngineError e = Raised([] { engine::RaiseEngineError(9729, "RESULTS.DAT", "", "idxdate"); });
    const std::string text = "Duplicate key found in index idxdate of data file RESULTS.DAT";
    EXPECT_EQ(e.Message(), "TARNIS Engine Error # 9729 " + text);
    ASSERT_EQ(e.Errors().size(), 1u);
    EXPECT_EQ(e.Errors()[0].ErrorCode, 9729);
    EXPECT_EQ(e.Errors()[0].Message, text);
    EXPECT_EQ(e.ErrorCode(), 9729);
}

TEST_F(EngineErrorTest, ExtraTextIsCutButPrefixComesOnTop) {
    const std::string extra(200, 'x');
    const ETARNISEngineError e = Raised([&] { engine::RaiseEngineError(11949, "", "", "", extra); });
    const std::string text = "SQL - " + extra.substr(0, 121);
    EXPECT_EQ(e.Errors()[0].Message, text);
    EXPECT_EQ(text.size(), 127u);
    EXPECT_EQ(e.Message(), "TARNIS Engine Error # 11949 " + text);
}

TEST_F(EngineErrorTest, RaiseReplacesTheNamesButKeepsTheOperatingSystemError) {
    const ETARNISEngineError e = Raised([] { engine::RaiseEngineError(11047, "NEW.DAT"); });
    EXPECT_EQ(e.Errors()[0].Message,
              "An unknown operating system error #112 occurred with data file NEW.DAT");
    const engine::ErrorContext& context = engine::CurrentErrorContext();
    EXPECT_EQ(context.Code, 11047);
    EXPECT_EQ(context.FieldName, "");
    EXPECT_EQ(context.IndexName, "");
    EXPECT_EQ(context.ExtraText, "");
}

TEST_F(EngineErrorTest, LaterRaiseLeavesAnEarlierMessageAlone) {
    const ETARNISEngineError first = Raised([] { engine::RaiseEngineError(10031, "A.DAT"); });
    const ETARNISEngineError second = Raised([] { engine::RaiseEngineError(10031, "B.DAT"); });
    EXPECT_EQ(first.Message(), "TARNIS Engine Error # 10031 Data file A.DAT is already in use");
    EXPECT_EQ(second.Message(), "TARNIS Engine Error # 10031 Data file B.DAT is already in use");
}

TEST_F(EngineErrorTest, EngineErrorIsADatabaseError) {
    EXPECT_THROW(engine::RaiseEngineError(9217, "T.DAT"), rtl::EDatabaseError);
}

TEST_F(EngineErrorTest, NotInitializedTouchesNoContext) {
    engine::SetErrorContext(10758, "X.DAT", "", "", "");
    EXPECT_EQ(engine::CurrentErrorContext().FileName, "T.DAT");
    const ETARNISEngineError e = Raised([] { engine::RaiseEngineError(10758, "Y.DAT"); });
    EXPECT_EQ(e.Message(), "TARNIS Engine Error # 10758 TARNIS engine not initialized");
    EXPECT_EQ(engine::CurrentErrorContext().FileName, "T.DAT");
    EXPECT_EQ(engine::CurrentErrorContext().Code, 0);
}

TEST_F(EngineErrorTest, ClearKeepsTheOperatingSystemError) {
    engine::ClearErrorContext();
    const engine::ErrorContext& context = engine::CurrentErrorContext();
    EXPECT_EQ(context.FileName, "");
    EXPECT_EQ(context.ExtraText, "");
    EXPECT_EQ(context.OsError, 112);
}

TEST_F(EngineErrorTest, CheckEngineResult) {
    EXPECT_NO_THROW(engine::CheckEngineResult(0));
    EXPECT_NO_THROW(engine::CheckEngineResult(0, "T.DAT"));
    // Without names the message shows the context as it stands.
    EXPECT_EQ(Raised([] { engine::CheckEngineResult(10031); }).Message(),
              "TARNIS Engine Error # 10031 Data file T.DAT is already in use");
    // With names it names the caller's table.
    EXPECT_EQ(
        Raised([] { engine::CheckEngineResult(9732, "RESULTS.DAT", "NAME"); }).Message(),
        "TARNIS Engine Error # 9732 A value must be provided for the field NAME in data file RESULTS.DAT");
}

// Without a started engine there is no session: raising must neither crash nor need one.
TEST(EngineErrorWithoutSession, RaisesIntoTheProcessWideContext) {
    ASSERT_FALSE(engine::EngineStarted());
    const ETARNISEngineError notStarted = Raised([] { engine::GetEngineSession(); });
    EXPECT_EQ(notStarted.Message(), "TARNIS Engine Error # 10758 TARNIS engine not initialized");

    const ETARNISEngineError memory = Raised([] { engine::RaiseEngineError(11016); });
    EXPECT_EQ(
        memory.Message(),
        "TARNIS Engine Error # 11016 There is insufficient operating system memory available for the current "
        "operation");
    EXPECT_EQ(Raised([] { engine::CheckEngineResult(10253, "LOOSE.DAT"); }).Message(),
              "TARNIS Engine Error # 10253 Data file LOOSE.DAT must be opened exclusively");
    engine::ClearErrorContext();
}

}  // namespace
