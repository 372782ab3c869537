// The user-visible texts of the data-aware controls, verbatim, in Windows-1252 bytes.
#pragma once

#include <string_view>

namespace db::widgets {

// The question before a grid or a navigator deletes the current record, and the caption of its box.
inline constexpr std::string_view kDeleteRecordQuestion = "Delete record?";
inline constexpr std::string_view kConfirmCaption = "Confirm";

// The navigator's tool tips.
inline constexpr std::string_view kFirstRecordHint = "First record";
inline constexpr std::string_view kPriorRecordHint = "Prior record";
inline constexpr std::string_view kNextRecordHint = "Next record";
inline constexpr std::string_view kLastRecordHint = "Last record";
inline constexpr std::string_view kDeleteRecordHint = "Delete record";

}  // namespace db::widgets
