// CheckedFile: one of a table's files as a tarnis-check check reads it (shared, read-only, without locks, at
// offsets), with the findings about it; each file kind's checker derives from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file/FileHandler.h"
#include "tools/tarnis-check/TableCheck.h"

namespace tarnischeck {

// A number as findings show it.
std::string Num(std::uint64_t value);

class CheckedFile {
protected:
    CheckedFile(TableCheck& check, std::string name) : check_(check), name_(std::move(name)) {}

    // Opens the file and takes its size; false, with the engine's message, when it cannot be opened.
    bool OpenShared(std::string& failure);
    bool Exists();
    // Reads up to count bytes at the offset; answers how many came.
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count);

    void Error(std::string_view place, std::string text) { check_.Error(name_, place, std::move(text)); }
    void Warning(std::string_view place, std::string text) { check_.Warning(name_, place, std::move(text)); }

    TableCheck& check_;
    const std::string name_;
    std::int64_t fileSize_ = 0;

private:
    engine::TFileHandler file_;
};

}  // namespace tarnischeck
