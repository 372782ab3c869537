// Doubles and helpers of the data-aware controls' tests: the exception hook, the confirmation, shown forms.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/widgets/Confirm.h"
#include "HookSpy.h"
#include "rtl/ExceptionHook.h"

namespace db_widgets_test {

using db_test::HookSpy;

// Answers every confirmation with `answer` and writes down the questions while it lives.
class ConfirmDouble {
public:
    explicit ConfirmDouble(bool answer) {
        previous_ = db::widgets::SetConfirmHandler([this, answer](const QString& question) {
            questions_.push_back(question);
            return answer;
        });
    }
    ~ConfirmDouble() { db::widgets::SetConfirmHandler(std::move(previous_)); }
    ConfirmDouble(const ConfirmDouble&) = delete;
    ConfirmDouble& operator=(const ConfirmDouble&) = delete;

    const std::vector<QString>& Questions() const { return questions_; }

private:
    std::vector<QString> questions_;
    db::widgets::TConfirmHandler previous_;
};

// Shows the window and waits until it is the active one, so that focus moves send their events.
inline void ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Types each character as a key with that text: QTest's own typing passes only Latin-1.
inline void TypeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

// Lets queued calls (single shots of zero time) run.
inline void RunPending() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

}  // namespace db_widgets_test
