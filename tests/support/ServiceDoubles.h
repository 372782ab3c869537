// Doubles of the program's services: they record what the program asked, answer from a script and never
// block.
#pragma once

#include <QString>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/controls/TimeSource.h"
#include "app/core/HelpService.h"
#include "app/core/KeyboardState.h"
#include "app/core/MessageService.h"
#include "app/core/RandomSource.h"
#include "app/services/PrintService.h"
#include "rtl/DateTime.h"
#include "tests/app/core/support/ScriptedRandomSource.h"

namespace testsupport {

enum class BoxKind { Error, Information, Confirm, Stop };

const char* BoxKindName(BoxKind kind);

// One message box as the program asked for it.
struct Box {
    BoxKind kind;
    std::string caption;
    std::string text;

    bool operator==(const Box&) const = default;
};

// Captions as the real service gives them: "Error", "Confirm", and the title on plain and stop boxes.
class RecordingMessageService final : public app::MessageService {
public:
    explicit RecordingMessageService(std::string title);

    void ShowError(std::string_view text) override;
    void ShowInformation(std::string_view text) override;
    // Answers with the next scripted answer; with none left, fails the test and answers No.
    bool Confirm(std::string_view question) override;
    void ShowStop(std::string_view text) override;

    void AnswerConfirm(bool yes) { answers_.push_back(yes); }
    const std::vector<Box>& Boxes() const { return boxes_; }
    // The stop boxes so far, which count as expected from then on.
    std::vector<Box> TakeStops();
    // The stop boxes no test has taken.
    std::vector<Box> UntakenStops() const;
    void Clear();

private:
    std::string title_;
    std::vector<Box> boxes_;
    std::size_t takenStops_ = 0;  // stop boxes before this index of boxes_ are taken
    std::deque<bool> answers_;
};

// Records each request: a topic by its name, a help context by its number in decimal.
class RecordingHelpService final : public app::HelpService {
public:
    void ShowTopic(std::string_view topic) override { requests_.emplace_back(topic); }
    void ShowContext(int context) override { requests_.push_back(std::to_string(context)); }

    const std::vector<std::string>& Requests() const { return requests_; }

private:
    std::vector<std::string> requests_;
};

// Writes every job into a PDF file of its own in a directory, titled with the job's title.
class PdfPrintService final : public app::PrintService {
public:
    struct Job {
        std::string title;
        QString file;
        bool preview;
        int helpContext = 0;  // a preview's
    };

    explicit PdfPrintService(QString directory);

    app::PrintOutcome PrintDocument(const QTextDocument& document, std::string_view jobTitle) override;
    // Paints the pages into the job's file as though the user printed them from the preview.
    app::PrintOutcome Preview(std::string_view title, int helpContext, const QPageLayout& layout,
                              const app::TRenderPages& render) override;

    const std::vector<Job>& Jobs() const { return jobs_; }

private:
    QString NextFile(const char* kind) const;

    QString directory_;
    std::vector<Job> jobs_;
};

// A keyboard whose Num Lock the test sets; records the calls by name.
class RecordingKeyboardState final : public app::KeyboardState {
public:
    void NumLockOn() override;
    bool IsNumLockOn() const override;

    void SetNumLock(bool on) { numLock_ = on; }
    const std::vector<std::string>& Calls() const { return calls_; }

private:
    bool numLock_ = false;
    mutable std::vector<std::string> calls_;
};

// A clock the test moves: the time of day and the monotonic reading move together, and rtl::Now (what
// the engine reads) is pinned to the same moment while the source lives.
class FakeTimeSource final : public controls::TimeSource {
public:
    explicit FakeTimeSource(rtl::TDateTime now = rtl::EncodeDateTime(2024, 1, 15, 9, 30, 0, 0));

    rtl::TDateTime Now() const override { return now_; }
    double MonotonicSeconds() const override { return monotonic_; }

    void Advance(double seconds);
    // Sets the moment; the monotonic reading moves by the same amount, never back.
    void Set(rtl::TDateTime now);

private:
    rtl::TDateTime now_;
    double monotonic_ = 1000.0;  // any start: only differences count
    rtl::FixedClock pinned_;
};

}  // namespace testsupport
