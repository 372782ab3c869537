#include "app/core/Scoring.h"

#include <stdexcept>

#include "app/core/Texts.h"
#include "rtl/Text.h"

namespace app {
namespace {

// The log stops taking the earlier screens' fields once more fields than this are in error.
constexpr std::int32_t kLogFieldErrorLimit = 50;
// Keystrokes the alphanumeric date and amount masks type themselves: the date's two "/", the amount's ".".
constexpr std::int32_t kDateMaskLiterals = 2;
constexpr std::int32_t kAmountMaskLiterals = 1;

std::int32_t Length(const std::string& text) {
    return static_cast<std::int32_t>(text.size());
}

// Positions 1..len(over) where `over` differs from `against` or lies beyond its end.
std::int32_t Mismatches(const std::string& over, const std::string& against) {
    std::int32_t count = 0;
    for (std::size_t i = 0; i < over.size(); ++i) {
        if (i >= against.size() || over[i] != against[i]) ++count;
    }
    return count;
}

class Scorer {
public:
    explicit Scorer(const ScoreInput& input) : in_(input), rules_(input.rules) {}

    ScoreResult Run() {
        CheckShape();
        const int last = static_cast<int>(in_.keyed.size());
        if (last > 0) ScoreLastScreen(last);
        for (int screen = last - 1; screen >= 1; --screen) {
            for (int field = rules_.fieldCount; field >= 1; --field) CountField(screen, field, false, false);
        }
        Rates();
        return std::move(result_);
    }

private:
    bool Numeric() const { return rules_.kind == TestKind::numeric; }

    void CheckShape() const {
        if (in_.expected.size() != in_.keyed.size())
            throw std::invalid_argument("scoring: " + std::to_string(in_.keyed.size()) + " keyed screens but " +
                                        std::to_string(in_.expected.size()) + " source screens");
        const auto check = [this](const ScreenTexts& texts, const char* what) {
            for (std::size_t s = 0; s < texts.size(); ++s) {
                if (texts[s].size() != static_cast<std::size_t>(rules_.fieldCount))
                    throw std::invalid_argument("scoring: " + std::string(what) + " screen " +
                                                std::to_string(s + 1) + " has " +
                                                std::to_string(texts[s].size()) + " fields, not " +
                                                std::to_string(rules_.fieldCount));
            }
        };
        check(in_.keyed, "keyed");
        check(in_.expected, "source");
    }

    // The keyed text as compared: alpha and alphanumeric entries without surrounding blanks.
    std::string Keyed(int screen, int field) const {
        const std::string& stored = in_.keyed[screen - 1][field - 1];
        return Numeric() ? stored : rtl::Trim(stored);
    }

    std::string Expected(int screen, int field) const {
        const std::string& source = in_.expected[screen - 1][field - 1];
        return !Numeric() && in_.useuppercase ? rtl::AnsiUpperCase(source) : source;
    }

    // Trailing empty fields of the last screen are not counted; the last keyed one and all before it are.
    void ScoreLastScreen(int screen) {
        int lastKeyed = rules_.fieldCount;
        while (lastKeyed >= 1 && Keyed(screen, lastKeyed).empty()) --lastKeyed;
        for (int field = lastKeyed; field >= 1; --field) CountField(screen, field, field == lastKeyed, true);
    }

    void CountField(int screen, int field, bool lastKeyed, bool onLastScreen) {
        const std::string keyed = Keyed(screen, field);
        const std::string expected = Expected(screen, field);
        ++result_.fields;
        std::int32_t strokes = Length(keyed);
        if (field == rules_.datePosition) {
            strokes -= kDateMaskLiterals;
        } else if (field == rules_.amountPosition) {
            strokes -= kAmountMaskLiterals;
        }
        result_.keystrokes += strokes;
        // Enter ends every field but the last keyed one, which is finished only when it is full.
        if (!in_.autoadvance && (!lastKeyed || Length(keyed) >= Length(expected))) ++result_.keystrokes;
        // The last keyed field may be unfinished, and a number is charged only for what was keyed.
        const std::int32_t errors =
            lastKeyed || Numeric() ? Mismatches(keyed, expected) : Mismatches(expected, keyed);
        if (errors == 0) return;
        ++result_.fielderrors;
        result_.errors += errors;
        if (!onLastScreen && !logging_) return;
        Log(screen, field, errors, lastKeyed, keyed, expected);
        if (!onLastScreen && result_.fielderrors > kLogFieldErrorLimit) {
            logging_ = false;
            result_.log.emplace_back(kLogStopped);
        }
    }

    void Log(int screen, int field, std::int32_t errors, bool lastKeyed, const std::string& keyed,
             const std::string& expected) {
        std::string heading(kLogRecord);
        heading += std::to_string(screen);
        heading += kLogField;
        heading += std::to_string(field);
        heading += kLogComma;
        heading += std::to_string(errors);
        heading += lastKeyed ? kLogErrorsLastField : kLogErrors;
        result_.log.push_back(std::move(heading));
        result_.log.push_back(std::string(kLogKeyed) + keyed);
        result_.log.push_back(std::string(kLogOnRecord) + expected);
        result_.log.emplace_back();
    }

    void Rates() {
        result_.minutes = in_.elapsed / 60;
        // A screen's first tick comes a second after the first key, so minutes are never 0 there.
        result_.kph = result_.minutes > 0 ? result_.keystrokes * 60.0 / result_.minutes : 0;
        if (result_.errors == 0) {
            result_.accuracy = 100;
        } else if (result_.keystrokes <= 0) {
            // Only blank dates and amounts get here; errors against no keystrokes are no accuracy at all.
            result_.accuracy = 0;
        } else {
            result_.accuracy = 100 - static_cast<double>(result_.errors) / result_.keystrokes * 100;
            if (result_.accuracy < 0) result_.accuracy = 0;
        }
        result_.nkph = result_.kph * result_.accuracy / 100;
        // A negative KPH at accuracy 0 gives -0, which would print as "-0.00".
        if (result_.nkph == 0) result_.nkph = 0;
    }

    const ScoreInput& in_;
    const ScoreRules& rules_;
    ScoreResult result_;
    bool logging_ = true;
};

}  // namespace

ScoreResult Score(const ScoreInput& input) {
    return Scorer(input).Run();
}

}  // namespace app
