#include "tools/tarnis-check/TableCheck.h"

#include <algorithm>
#include <ostream>

#include "engine/base/EngineStrings.h"
#include "rtl/Format.h"
#include "rtl/Text.h"
#include "tools/tarnis-check/BlobFileCheck.h"
#include "tools/tarnis-check/CheckTexts.h"
#include "tools/tarnis-check/IndexFileCheck.h"
#include "tools/tarnis-check/JournalFileCheck.h"
#include "tools/tarnis-check/RecordFileCheck.h"

namespace tarnischeck {

namespace {

// Each file kind's check, in the order in which their facts build on each other.
using FileCheck = void (*)(TableCheck& check);
constexpr FileCheck FileChecks[] = {CheckRecordFile, CheckIndexFile, CheckBlobFile, CheckJournalFile};

std::string WithExtension(std::string_view tableName, std::string_view extension) {
    return engine::StripExtension(rtl::Trim(tableName)) + std::string(extension);
}

}  // namespace

TableFiles TableFileNames(std::string_view tableName) {
    return {WithExtension(tableName, ".DAT"), WithExtension(tableName, ".IDX"),
            WithExtension(tableName, ".BLB"), WithExtension(tableName, ".JNL")};
}

TableCheck::TableCheck(std::string_view tableName) : files_(TableFileNames(tableName)) {}

void TableCheck::Error(std::string_view file, std::string_view place, std::string text) {
    findings_.push_back({Severity::Error, std::string(file), std::string(place), std::move(text)});
}

void TableCheck::Warning(std::string_view file, std::string_view place, std::string text) {
    findings_.push_back({Severity::Warning, std::string(file), std::string(place), std::move(text)});
}

void TableCheck::SetUnreadable(std::string reason) {
    unreadable_ = true;
    unreadableReason_ = std::move(reason);
}

bool TableCheck::HasErrors() const noexcept {
    return std::any_of(findings_.begin(), findings_.end(),
                       [](const Finding& f) { return f.Level == Severity::Error; });
}

TableCheck CheckTable(std::string_view tableName) {
    TableCheck check(tableName);
    for (FileCheck fileCheck : FileChecks) {
        fileCheck(check);
        if (check.Unreadable()) break;
    }
    return check;
}

int RunTarnisCheck(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err) {
    if (arguments.size() != 1 || rtl::Trim(arguments[0]).empty()) {
        err << texts::Usage << '\n';
        return ExitUnreadable;
    }
    // The terminal speaks UTF-8; table files and their names are Windows-1252.
    const TableCheck check = CheckTable(rtl::Utf8ToCp1252(arguments[0]));
    if (check.Unreadable()) {
        err << rtl::Cp1252ToUtf8(
                   rtl::Format(texts::CannotRead, {check.Files().DataFile, check.UnreadableReason()}))
            << '\n';
        return ExitUnreadable;
    }
    for (const Finding& finding : check.Findings()) out << rtl::Cp1252ToUtf8(FormatFinding(finding)) << '\n';
    return check.HasErrors() ? ExitErrors : ExitClean;
}

}  // namespace tarnischeck
