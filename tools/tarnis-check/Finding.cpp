#include "tools/tarnis-check/Finding.h"

#include "rtl/Format.h"
#include "tools/tarnis-check/CheckTexts.h"

namespace tarnischeck {

std::string FormatFinding(const Finding& finding) {
    const std::string_view level = finding.Level == Severity::Error ? texts::ErrorLevel : texts::WarningLevel;
    return rtl::Format(texts::FindingLine, {level, finding.File, finding.Place, finding.Text});
}

}  // namespace tarnischeck
