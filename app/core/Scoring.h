// Scoring: what a finished test counts: keystrokes, errors, fields and fields in error, the error log and the
// rates, from what was keyed and what the source records hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app {

// The three tests. Alpha and alphanumeric compare trimmed entries with their source texts; numeric compares
// the entries as keyed with the numbers' texts.
enum class TestKind { alpha, alphanumeric, numeric };

// What scoring needs of a screen's rules (the glue fills it from the screen's row).
struct ScoreRules {
    TestKind kind = TestKind::alpha;
    int fieldCount = 0;      // F: fields per screen
    int datePosition = 0;    // the field whose keystrokes count 2 less (the alphanumeric DATE); 0: none
    int amountPosition = 0;  // the field whose keystrokes count 1 less (the alphanumeric AMOUNT); 0: none
};

// Texts of screens 1..S, row s - 1 holding screen s's fieldCount texts in field order.
using ScreenTexts = std::vector<std::vector<std::string>>;

struct ScoreInput {
    ScoreRules rules;
    // Each screen's texts as the screen stored them.
    ScreenTexts keyed;
    // Each screen's source texts as read: the field's string value (alpha, alphanumeric) or its value
    // converted to text (numeric). Upper-casing is done here, not by the caller.
    ScreenTexts expected;
    bool useuppercase = false;
    bool autoadvance = false;
    double elapsed = 0;  // seconds from the first key to the time-out
};

struct ScoreResult {
    std::int32_t keystrokes = 0;
    std::int32_t errors = 0;  // keystroke errors
    std::int32_t fields = 0;
    std::int32_t fielderrors = 0;
    std::vector<std::string> log;  // the error log, one entry per line
    double minutes = 0;
    double kph = 0;
    double accuracy = 0;
    double nkph = 0;
};

// Scores screens 1..S (S = keyed.size(), the highest screen reached): screen S up to its last keyed field,
// then every field of the earlier ones. Raises std::invalid_argument when a row holds other than
// fieldCount texts or the two lists differ in length.
ScoreResult Score(const ScoreInput& input);

}  // namespace app
