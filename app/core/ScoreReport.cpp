#include "app/core/ScoreReport.h"

#include <cmath>
#include <string>

#include "app/core/Texts.h"
#include "rtl/DateTimeFormat.h"
#include "rtl/Exceptions.h"
#include "rtl/FloatFormat.h"
#include "rtl/Text.h"

namespace app {
namespace {

std::string Joined(std::string_view label, std::string_view value) {
    std::string line(label);
    line += value;
    return line;
}

std::string Rate(std::string_view label, double value) {
    return Joined(label, rtl::FormatFloat(kTwoDecimals, value));
}

std::string Count(std::string_view label, std::int32_t value) {
    return Joined(label, std::to_string(value));
}

}  // namespace

std::string_view TestTypeWord(TestKind kind) {
    switch (kind) {
        case TestKind::alpha: return kTypeAlpha;
        case TestKind::alphanumeric: return kTypeAlphanumeric;
        case TestKind::numeric: return kTypeNumeric;
    }
    return kTypeAlpha;
}

std::string_view ReportTypeLine(TestKind kind, bool realmode) {
    switch (kind) {
        case TestKind::alpha: return realmode ? kReportAlphaReal : kReportAlphaPractice;
        case TestKind::alphanumeric: return realmode ? kReportAlphanumericReal : kReportAlphanumericPractice;
        case TestKind::numeric: return realmode ? kReportNumericReal : kReportNumericPractice;
    }
    return kReportAlphaReal;
}

std::string TesteeName(std::string_view lname, std::string_view fname) {
    std::string name = rtl::Trim(lname);
    name += kNameSeparator;
    name += fname;
    return name;
}

std::string JoinLog(const std::vector<std::string>& log) {
    std::string text;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += log[i];
    }
    return text;
}

std::vector<std::string> ReportLines(const ScoreResult& score, const ReportContext& context) {
    std::vector<std::string> lines;
    lines.reserve(18 + score.log.size());
    lines.emplace_back(kReportHeading);
    lines.emplace_back();
    try {
        lines.push_back(Joined(kReportTestDate, rtl::DateToStr(context.today)));
    } catch (const rtl::Exception&) {
        // A date the short format cannot write leaves the line out; the rest of the report stands.
    }
    if (context.realmode) lines.push_back(Joined(kReportTesteeName, TesteeName(context.lname, context.fname)));
    lines.emplace_back(ReportTypeLine(context.kind, context.realmode));
    lines.emplace_back();
    lines.push_back(Rate(kReportGrossKph, score.kph));
    lines.push_back(Rate(kReportNetKph, score.nkph));
    lines.push_back(Rate(kReportAccuracy, score.accuracy));
    lines.push_back(Rate(kReportDuration, score.minutes));
    lines.push_back(Count(kReportKeystrokes, score.keystrokes));
    lines.push_back(Count(kReportKeystrokeErrors, score.errors));
    lines.push_back(Count(kReportFields, score.fields));
    lines.push_back(Count(kReportFieldErrors, score.fielderrors));
    lines.emplace_back();
    lines.emplace_back(kReportErrorLogging);
    lines.emplace_back(kReportRule);
    lines.emplace_back();
    lines.insert(lines.end(), score.log.begin(), score.log.end());
    return lines;
}

std::vector<ResultValue> ResultRecord(const ScoreResult& score, const ReportContext& context,
                                      rtl::TDateTime endtime) {
    const auto& f = kResultFields;
    return {
        {f[0], TesteeName(context.lname, context.fname)},
        {f[1], score.nkph},
        {f[2], score.kph},
        {f[3], score.errors},
        {f[4], score.fielderrors},
        {f[5], rtl::Variant::FromDateTime(endtime)},
        {f[6], rtl::Variant::FromDateTime(std::trunc(context.today))},
        {f[7], score.minutes},
        {f[8], score.fields},
        {f[9], score.keystrokes},
        {f[10], score.accuracy},
        {f[11], TestTypeWord(context.kind)},
        {f[12], JoinLog(score.log)},
    };
}

}  // namespace app
