#include "app/core/Texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace app {
namespace {

// The texts whose odd spelling the program shows as it is.
TEST(TextsTest, KeepTheProgramsOwnSpelling) {
    EXPECT_NE(kNoExclusiveTable.find("table.  Please"), std::string_view::npos);
    EXPECT_EQ(kLogKeyed, "Keyed    >");
    EXPECT_NE(kPracticeTimeLabel.find("pratice"), std::string_view::npos);
    EXPECT_EQ(kPracticeResultsHint, "Check to show results upon practice test completeion");
    EXPECT_EQ(kRealResultsHint, "Check to show results upon real test completeion");
    EXPECT_EQ(kNextRecordHint, "Next Recort");
    EXPECT_EQ(kReportRule, std::string(14, '='));
    EXPECT_EQ(kTimeRemainingZero, std::string(kTimeRemaining) + std::string(kTwoDecimals));
    EXPECT_EQ(std::string(kAlphaRealMode) + std::string(kInProgress),
              " minute alpha real mode test in progress");
}

TEST(TextsTest, ScaleItemsRunFromMinusTenToAHundredInFives) {
    for (std::size_t i = 0; i < kScaleItems.size(); ++i)
        EXPECT_EQ(kScaleItems[i], std::to_string(-10 + 5 * static_cast<int>(i)));
}

TEST(TextsTest, ResultIndexesAreTheSortItemsInUpperCase) {
    for (std::size_t i = 0; i < kSortItems.size(); ++i) {
        std::string upper(kSortItems[i]);
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return std::toupper(c); });
        EXPECT_EQ(upper, kResultIndexes[i]);
    }
}

// The contents of every <string> element of a form file: texts, titles, tips and items alike.
std::vector<std::string> StringElements(const std::string& ui) {
    std::vector<std::string> texts;
    for (std::size_t at = ui.find("<string"); at != std::string::npos; at = ui.find("<string", at + 1)) {
        const std::size_t open = ui.find('>', at);
        if (open == std::string::npos) break;
        if (ui[open - 1] == '/') {  // <string/>
            texts.emplace_back();
            continue;
        }
        const std::size_t close = ui.find("</string>", open);
        if (close == std::string::npos) break;
        texts.push_back(ui.substr(open + 1, close - open - 1));
    }
    return texts;
}

// The windows take every text from the header: a form file names its controls and nothing more.
TEST(TextsTest, NoFormFileHoldsAText) {
    const std::filesystem::path app = std::filesystem::path(KEYVALE_SOURCE_DIR) / "app";
    int forms = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(app)) {
        if (entry.path().extension() != ".ui") continue;
        ++forms;
        std::ifstream file(entry.path());
        std::ostringstream contents;
        contents << file.rdbuf();
        const std::string ui = contents.str();
        for (const std::string& text : StringElements(ui))
            if (!text.empty()) ADD_FAILURE() << entry.path() << " holds the text \"" << text << "\"";
    }
    EXPECT_GT(forms, 0) << "no form file found under " << app;
}

}  // namespace
}  // namespace app
