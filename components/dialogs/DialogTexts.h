// The captions of the components' dialogs, verbatim ("&" marks the access key).
#pragma once

#include <string_view>

namespace components::dialogs {

// The table-password dialog.
inline constexpr std::string_view kPasswordDialogCaption = "Enter password";
inline constexpr std::string_view kPasswordGroupCaption = "Password";
inline constexpr std::string_view kAddButtonCaption = "&Add";
inline constexpr std::string_view kRemoveButtonCaption = "&Remove";
inline constexpr std::string_view kRemoveAllButtonCaption = "Re&move all";
inline constexpr std::string_view kOKButtonCaption = "&OK";
inline constexpr std::string_view kCancelButtonCaption = "Cancel";

}  // namespace components::dialogs
