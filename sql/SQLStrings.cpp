#include "sql/SQLStrings.h"

#include <utility>

namespace sql {

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string TSQLStrings::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TSQLStrings::Change(const std::function<void(std::vector<std::string>&)>& edit) {
    if (OnChanging) OnChanging();
    edit(lines_);
    if (updateCount_ > 0) {
        changedInUpdate_ = true;
        return;
    }
    if (OnChange) OnChange();
}

void TSQLStrings::SetText(std::string_view text) {
    Assign(SplitLines(text));
}

void TSQLStrings::Add(std::string_view line) {
    Change([&](std::vector<std::string>& lines) { lines.emplace_back(line); });
}

void TSQLStrings::Clear() {
    Change([](std::vector<std::string>& lines) { lines.clear(); });
}

void TSQLStrings::Assign(std::vector<std::string> lines) {
    Change([&](std::vector<std::string>& target) { target = std::move(lines); });
}

void TSQLStrings::EndUpdate() {
    if (updateCount_ == 0 || --updateCount_ > 0 || !changedInUpdate_) return;
    changedInUpdate_ = false;
    if (OnChange) OnChange();
}

}  // namespace sql
