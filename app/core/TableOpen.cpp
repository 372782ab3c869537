#include "app/core/TableOpen.h"

#include <filesystem>
#include <system_error>

#include "app/core/Texts.h"
#include "components/TARNISTable.h"
#include "engine/os/PosixFile.h"
#include "engine/table/DataFile.h"
#include "rtl/Exceptions.h"

namespace app {

std::optional<std::string> MissingTableMessage(const components::TTARNISTable& table) {
    // The record file's name as the engine makes it from the table's name.
    const std::string file = engine::TDataFile().TranslateFileName(table.TableName());
    std::error_code error;
    // Through the engine's own name rules (the last part matched without regard to case, either slash), so that a
    // file the engine would find is never called missing.
    if (std::filesystem::exists(engine::ResolvePath(file), error) || error) return std::nullopt;
    return std::string(kTableFileOpen) + file + std::string(kTableFileMissing);
}

void OpenTable(components::TTARNISTable& table) {
    try {
        table.Open();
    } catch (...) {
        if (std::optional<std::string> missing = MissingTableMessage(table)) throw rtl::Exception(*missing);
        throw;
    }
}

}  // namespace app
