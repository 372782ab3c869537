// PlacedTexts: what the tests read of laid-out pages: a band's texts on a page, and the detail texts that
// start with a prefix, page after page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/report/ReportLayout.h"

namespace reporttest {

inline std::vector<std::string> Texts(const report::TLaidOutPage& page, report::TBandKind band) {
    std::vector<std::string> texts;
    for (const report::TPlacedText& text : page.texts) {
        if (text.band == band) texts.push_back(text.text);
    }
    return texts;
}

inline std::vector<std::string> DetailTexts(const std::vector<report::TLaidOutPage>& pages, std::string_view prefix) {
    std::vector<std::string> found;
    for (const report::TLaidOutPage& page : pages) {
        for (const report::TPlacedText& text : page.texts) {
            if (text.band == report::TBandKind::Detail && text.text.rfind(prefix, 0) == 0) found.push_back(text.text);
        }
    }
    return found;
}

}  // namespace reporttest
