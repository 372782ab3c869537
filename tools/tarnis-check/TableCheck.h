// TableCheck: the checks of one table's files, run file kind by file kind, with what each file's check learns
// for the checks of the others; and the tarnis-check command.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/records/DataFileHeader.h"
#include "engine/records/FieldDesc.h"
#include "tools/tarnis-check/Finding.h"

namespace tarnischeck {

// The names of a table's three files, from its base name or any of its file names.
struct TableFiles {
    std::string DataFile;
    std::string IndexFile;
    std::string BlobFile;
    std::string JournalFile;
};
TableFiles TableFileNames(std::string_view tableName);

// A large-object field of an active slot that holds something other than 0.
struct BlobReference {
    std::uint32_t Slot = 0;
    // The field's position, from 1.
    std::uint32_t Field = 0;
    std::int32_t Value = 0;
};

// What the record file's check found out, for the checks of the index and large-object files.
struct RecordFileFacts {
    // The header and descriptors could be read (whatever else is wrong with them).
    bool DescriptorsRead = false;
    engine::TDataFileHeader Header;
    // Unscrambled, as stored.
    std::vector<engine::TFieldDesc> Fields;
    // The whole slots in the file, and the active ones among them (counted once SlotsScanned).
    std::uint32_t SlotCount = 0;
    std::uint32_t ActiveSlots = 0;
    bool SlotsScanned = false;
    // By slot, then field.
    std::vector<BlobReference> BlobValues;
};

// One table under check. Every file's check reads its file itself, shared and read-only, without locks, and
// derives every rule itself: never through the engine's open or its validators, whose faults it is there to
// catch.
class TableCheck {
public:
    explicit TableCheck(std::string_view tableName);

    const TableFiles& Files() const noexcept { return files_; }
    RecordFileFacts& Record() noexcept { return record_; }
    const RecordFileFacts& Record() const noexcept { return record_; }

    void Error(std::string_view file, std::string_view place, std::string text);
    void Warning(std::string_view file, std::string_view place, std::string text);
    // The table cannot be read at all (a missing record file, or one held exclusively elsewhere).
    void SetUnreadable(std::string reason);

    const std::vector<Finding>& Findings() const noexcept { return findings_; }
    bool HasErrors() const noexcept;
    bool Unreadable() const noexcept { return unreadable_; }
    const std::string& UnreadableReason() const noexcept { return unreadableReason_; }

private:
    TableFiles files_;
    RecordFileFacts record_;
    std::vector<Finding> findings_;
    bool unreadable_ = false;
    std::string unreadableReason_;
};

// Runs every file kind's check in turn: the record file first, since the others build on what it learns.
TableCheck CheckTable(std::string_view tableName);

// Exit statuses of the command.
inline constexpr int ExitClean = 0;
inline constexpr int ExitErrors = 1;
inline constexpr int ExitUnreadable = 2;

// `tarnis-check TABLE`: prints one finding per line to out and answers 0 without errors, 1 with errors, 2
// when the table cannot be read or the arguments are wrong (a message goes to err).
int RunTarnisCheck(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err);

}  // namespace tarnischeck
