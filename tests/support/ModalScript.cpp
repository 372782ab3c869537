#include "tests/support/ModalScript.h"

#include <QApplication>
#include <QDialog>

#include <gtest/gtest.h>

#include "tests/support/WaitUntil.h"

namespace testsupport {

namespace {

// Often enough that a script answers a window within a few event-loop turns.
constexpr int kPollMs = 10;
// More closings than any test nests windows: a window that refuses to close ends the loop.
constexpr int kMaxClosings = 32;

}  // namespace

ModalScript::ModalScript(int timeoutMs) : timeoutMs_(timeoutMs) {
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
}

ModalScript::~ModalScript() {
    poll_.stop();
    if (!stopped_ && finished_ < steps_.size()) {
        failures_
            << QStringLiteral("the script ended with %1 of %2 steps run").arg(finished_).arg(steps_.size());
    }
    for (const QString& failure : failures_) ADD_FAILURE() << failure.toStdString();
}

ModalScript& ModalScript::Expect(const QString& className, const QString& objectName, TAction action) {
    steps_.push_back({className, objectName, std::move(action)});
    if (!poll_.isActive() && !stopped_) {
        waiting_.start();
        poll_.start();
    }
    return *this;
}

bool ModalScript::Done() const {
    return finished_ == steps_.size() && (lastHandled_.isNull() || !lastHandled_->isVisible());
}

bool ModalScript::WaitDone() {
    const int steps = static_cast<int>(steps_.size() - finished_) + 1;
    return waitUntil([this] { return Done() || stopped_; }, timeoutMs_ * steps) && Done() && !stopped_;
}

QStringList ModalScript::TakeFailures() {
    QStringList failures;
    failures.swap(failures_);
    return failures;
}

QString ModalScript::Describe(const QWidget* widget) {
    if (widget == nullptr) return QStringLiteral("no window");
    return QStringLiteral("%1 \"%2\" \"%3\"")
        .arg(QLatin1String(widget->metaObject()->className()), widget->objectName(), widget->windowTitle());
}

void ModalScript::CloseAllModals() {
    for (int i = 0; i < kMaxClosings; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        if (modal->isVisible()) modal->close();
        if (modal->isVisible()) modal->hide();
    }
}

bool ModalScript::Matches(const Step& step, const QWidget& modal) const {
    if (!modal.inherits(step.className.toLatin1().constData())) return false;
    return step.objectName.isEmpty() || modal.objectName() == step.objectName;
}

void ModalScript::Poll() {
    if (stopped_) return;
    if (Done()) {
        poll_.stop();
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    const bool busy = modal != nullptr && busy_.contains(modal);
    // A window a step handled, still open: the last step's, or an earlier one back on top.
    const bool waiting = modal != nullptr && handled_.contains(modal);
    if (modal != nullptr && !busy && next_ < steps_.size() && Matches(steps_[next_], *modal)) {
        const std::size_t index = next_++;
        busy_.append(modal);
        // From a timer of its own: an action that opens a nested modal window blocks that timer only.
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, this, [this, index, target] { Run(index, target); });
        return;
    }
    if (modal != nullptr && !busy && !waiting) {
        if (next_ < steps_.size()) {
            Fail(QStringLiteral("step %1 expected a %2 \"%3\" but the modal window is %4")
                     .arg(next_ + 1)
                     .arg(steps_[next_].className, steps_[next_].objectName, Describe(modal)));
        } else {
            Fail(QStringLiteral("after the last step the modal window %1 opened").arg(Describe(modal)));
        }
        return;
    }
    if (waiting_.elapsed() <= timeoutMs_ || (modal != nullptr && busy)) return;
    if (next_ < steps_.size()) {
        Fail(QStringLiteral("step %1 waited %2 ms for a %3 \"%4\"; the modal window is %5")
                 .arg(next_ + 1)
                 .arg(timeoutMs_)
                 .arg(steps_[next_].className, steps_[next_].objectName, Describe(modal)));
    } else if (finished_ == steps_.size()) {
        Fail(QStringLiteral("the modal window %1 stayed open %2 ms after the last step")
                 .arg(Describe(lastHandled_))
                 .arg(timeoutMs_));
    }
}

void ModalScript::Run(std::size_t index, QWidget* modal) {
    if (modal != nullptr && !stopped_) steps_[index].action(*modal);
    busy_.removeAll(modal);
    busy_.removeAll(nullptr);
    if (stopped_) return;
    ++finished_;
    lastHandled_ = modal;
    handled_.removeAll(nullptr);
    handled_.append(modal);
    waiting_.start();
}

void ModalScript::Fail(const QString& failure) {
    failures_ << failure;
    stopped_ = true;
    poll_.stop();
    CloseAllModals();
}

}  // namespace testsupport
