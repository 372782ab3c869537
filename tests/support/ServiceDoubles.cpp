#include "tests/support/ServiceDoubles.h"

#include <QDir>
#include <QPdfWriter>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "app/core/Texts.h"
#include "db/widgets/QtText.h"

namespace testsupport {

const char* BoxKindName(BoxKind kind) {
    switch (kind) {
        case BoxKind::Error:
            return "error";
        case BoxKind::Information:
            return "information";
        case BoxKind::Confirm:
            return "confirm";
        case BoxKind::Stop:
            return "stop";
    }
    return "?";
}

// ---- RecordingMessageService ----

RecordingMessageService::RecordingMessageService(std::string title) : title_(std::move(title)) {}

void RecordingMessageService::ShowError(std::string_view text) {
    boxes_.push_back({BoxKind::Error, std::string(app::kErrorCaption), std::string(text)});
}

void RecordingMessageService::ShowInformation(std::string_view text) {
    boxes_.push_back({BoxKind::Information, title_, std::string(text)});
}

bool RecordingMessageService::Confirm(std::string_view question) {
    boxes_.push_back({BoxKind::Confirm, std::string(app::kConfirmCaption), std::string(question)});
    if (answers_.empty()) {
        ADD_FAILURE() << "no answer scripted for the question \"" << question << "\"";
        return false;
    }
    const bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

void RecordingMessageService::ShowStop(std::string_view text) {
    boxes_.push_back({BoxKind::Stop, title_, std::string(text)});
}

std::vector<Box> RecordingMessageService::TakeStops() {
    std::vector<Box> stops = UntakenStops();
    takenStops_ = boxes_.size();
    return stops;
}

std::vector<Box> RecordingMessageService::UntakenStops() const {
    std::vector<Box> stops;
    for (std::size_t i = takenStops_; i < boxes_.size(); ++i) {
        if (boxes_[i].kind == BoxKind::Stop) stops.push_back(boxes_[i]);
    }
    return stops;
}

void RecordingMessageService::Clear() {
    boxes_.clear();
    takenStops_ = 0;
}

// ---- PdfPrintService ----

PdfPrintService::PdfPrintService(QString directory) : directory_(std::move(directory)) {}

QString PdfPrintService::NextFile(const char* kind) const {
    return QDir(directory_)
        .filePath(QStringLiteral("%1-%2.pdf").arg(QLatin1String(kind)).arg(jobs_.size() + 1));
}

app::PrintOutcome PdfPrintService::PrintDocument(const QTextDocument& document, std::string_view jobTitle) {
    const QString file = NextFile("print");
    {
        QPdfWriter writer(file);
        writer.setTitle(db::widgets::ToQString(jobTitle));
        document.print(&writer);
    }
    jobs_.push_back({std::string(jobTitle), file, false, 0});
    return app::PrintOutcome::Printed;
}

app::PrintOutcome PdfPrintService::Preview(std::string_view title, int helpContext, const QPageLayout& layout,
                                           const app::TRenderPages& render) {
    const QString file = NextFile("preview");
    bool painted = false;
    {
        QPdfWriter writer(file);
        writer.setTitle(db::widgets::ToQString(title));
        writer.setPageLayout(layout);
        painted = render(writer);
    }
    jobs_.push_back({std::string(title), file, true, helpContext});
    return painted ? app::PrintOutcome::Printed : app::PrintOutcome::Failed;
}

// ---- RecordingKeyboardState ----

void RecordingKeyboardState::NumLockOn() {
    calls_.emplace_back("NumLockOn");
    numLock_ = true;
}

bool RecordingKeyboardState::IsNumLockOn() const {
    calls_.emplace_back("IsNumLockOn");
    return numLock_;
}

// ---- FakeTimeSource ----

FakeTimeSource::FakeTimeSource(rtl::TDateTime now) : now_(now), pinned_(now) {}

void FakeTimeSource::Advance(double seconds) {
    now_ += seconds / rtl::SecsPerDay;
    monotonic_ += seconds;
    pinned_.Set(now_);
}

void FakeTimeSource::Set(rtl::TDateTime now) {
    const double seconds = (now - now_) * rtl::SecsPerDay;
    now_ = now;
    if (seconds > 0) monotonic_ += seconds;
    pinned_.Set(now_);
}

}  // namespace testsupport
