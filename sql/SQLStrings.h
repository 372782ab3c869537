// TSQLStrings: the lines of a query's SQL text, telling their owner before and after each change.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sql {

// Text joins the lines, each ended by CR LF; SetText splits at CR LF, LF or CR. Every change calls
// OnChanging first (which may raise, leaving the lines as they were) and OnChange once after it; between
// BeginUpdate and the matching EndUpdate, OnChange waits for EndUpdate.
class TSQLStrings {
public:
    int Count() const noexcept { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int index) const { return lines_.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Lines() const noexcept { return lines_; }
    std::string Text() const;

    void SetText(std::string_view text);
    void Add(std::string_view line);
    void Clear();
    void Assign(std::vector<std::string> lines);

    void BeginUpdate() noexcept { ++updateCount_; }
    void EndUpdate();

    std::function<void()> OnChanging;
    std::function<void()> OnChange;

private:
    void Change(const std::function<void(std::vector<std::string>&)>& edit);

    std::vector<std::string> lines_;
    int updateCount_ = 0;
    bool changedInUpdate_ = false;
};

// The lines of a text as SetText splits it.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace sql
