// TableOpen: opens one of the program's tables, naming the table's file when it does not exist.
#pragma once

#include <optional>
#include <string>

namespace components {
class TTARNISTable;
}

namespace app {

// The message for a table whose record file is not on disk, naming that file; nothing when it is there.
// The program names its tables by their full path, so the name alone finds the file.
std::optional<std::string> MissingTableMessage(const components::TTARNISTable& table);

// Opens the table. When the open fails because the table's record file does not exist, raises
// rtl::Exception with MissingTableMessage instead of the engine's path error; any other failure raises as
// it came.
void OpenTable(components::TTARNISTable& table);

}  // namespace app
