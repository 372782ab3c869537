// ScoreReport: the report shown after a test and the values of its results.dat record, from a score.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/core/Scoring.h"
#include "rtl/DateTime.h"
#include "rtl/Variant.h"

namespace app {

// "alpha", "alphanumeric" or "numeric": the record's TESTTYPE.
std::string_view TestTypeWord(TestKind kind);
// The report's line "Test type: ..., real mode" or "... practice mode".
std::string_view ReportTypeLine(TestKind kind, bool realmode);
// NAME: the last name without surrounding blanks, ", ", the first name.
std::string TesteeName(std::string_view lname, std::string_view fname);
// ERRORS: the log's lines joined by "\r\n", none after the last.
std::string JoinLog(const std::vector<std::string>& log);

struct ReportContext {
    TestKind kind = TestKind::alpha;
    bool realmode = false;
    std::string lname;
    std::string fname;
    rtl::TDateTime today = 0;  // the date the result is stored on
};

// The report's 18 lines (17 in practice mode, without the testee's name) and then the log. The date line
// is left out when the date cannot be written in the short date format.
std::vector<std::string> ReportLines(const ScoreResult& score, const ReportContext& context);

// One value of the result record.
struct ResultValue {
    std::string_view field;
    rtl::Variant value;
};

// The 13 values of the record in the order they are assigned: `endtime` is the time of day of the time-out,
// `today` the date of the store (its time of day is dropped).
std::vector<ResultValue> ResultRecord(const ScoreResult& score, const ReportContext& context,
                                      rtl::TDateTime endtime);

}  // namespace app
