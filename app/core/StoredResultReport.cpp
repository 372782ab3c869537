#include "app/core/StoredResultReport.h"

#include <string_view>

#include "app/core/Texts.h"
#include "db/DataSet.h"
#include "db/Field.h"

namespace app {

namespace {

std::string Line(std::string_view label, const db::TDataSet& results, std::string_view field) {
    return std::string(label) + results.FieldByName(field).AsString();
}

// The log's lines as scoring joined them ("\r\n"); a lone "\n" breaks a line too.
void AppendLogLines(std::vector<std::string>& lines, const std::string& log) {
    if (log.empty()) return;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = log.find('\n', start);
        std::string line = log.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string::npos) return;
        start = end + 1;
    }
}

}  // namespace

std::vector<std::string> StoredResultLines(const db::TDataSet& results) {
    std::vector<std::string> lines;
    lines.emplace_back(kReportHeading);
    lines.emplace_back();
    lines.push_back(Line(kSingleTestee, results, "NAME"));
    try {
        lines.push_back(Line(kReportTestDate, results, "TESTDATE"));
    } catch (const std::exception&) {
        // A date the short format cannot write leaves the line out; the rest of the report stands.
    }
    lines.push_back(Line(kSingleRealMode, results, "TESTTYPE"));
    lines.emplace_back();
    lines.push_back(Line(kReportGrossKph, results, "KPH"));
    lines.push_back(Line(kReportNetKph, results, "NKPH"));
    lines.push_back(Line(kReportAccuracy, results, "ACCURACY"));
    lines.push_back(Line(kReportDuration, results, "TIME"));
    lines.push_back(Line(kReportKeystrokes, results, "TOTALKS"));
    lines.push_back(Line(kReportKeystrokeErrors, results, "TOTERRS"));
    lines.push_back(Line(kReportFields, results, "TOTALFLDS"));
    lines.push_back(Line(kReportFieldErrors, results, "FLDERRS"));
    lines.emplace_back();
    lines.emplace_back(kReportErrorLogging);
    lines.emplace_back(kReportRule);
    lines.emplace_back();
    AppendLogLines(lines, results.FieldByName("ERRORS").AsString());
    return lines;
}

}  // namespace app
