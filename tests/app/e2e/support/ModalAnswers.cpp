#include "tests/app/e2e/support/ModalAnswers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include "tests/app/e2e/support/Driving.h"

namespace e2e {

namespace {

template <class T>
T* ChildOf(QWidget& window, const QString& name) {
    T* child = window.findChild<T*>(name);
    if (child == nullptr) {
        ADD_FAILURE() << "no " << name.toStdString() << " in "
                      << testsupport::ModalScript::Describe(&window).toStdString();
    }
    return child;
}

void Press(QWidget& window, const QString& buttonName) {
    if (auto* button = ChildOf<QAbstractButton>(window, buttonName)) button->click();
}

}  // namespace

void Rekey(QLineEdit& edit, const QString& text) {
    edit.setFocus(Qt::OtherFocusReason);
    edit.selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(&edit, Qt::Key_Delete);
    } else {
        QTest::keyClicks(&edit, text);
    }
}

testsupport::ModalScript::TAction AnswerBox(SeenBox* seen, QMessageBox::StandardButton button) {
    return [seen, button](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        if (box == nullptr) {
            ADD_FAILURE() << "not a message box: " << testsupport::ModalScript::Describe(&modal).toStdString();
            return;
        }
        if (seen != nullptr) *seen = {box->windowTitle(), box->text()};
        QAbstractButton* pressed = box->button(button);
        if (pressed == nullptr) {
            ADD_FAILURE() << "the box \"" << box->text().toStdString() << "\" has no such button";
            box->reject();
            return;
        }
        // The window the box was over: the modal window under it, else the box's own parent.
        QPointer<QWidget> under = box->parentWidget() != nullptr ? box->parentWidget()->window() : nullptr;
        pressed->click();
        if (QWidget* modal = QApplication::activeModalWidget()) under = modal;
        // A window manager makes it active again; the offscreen platform leaves no window active.
        if (under != nullptr && under->isVisible()) under->activateWindow();
    };
}

testsupport::ModalScript::TAction EnterName(const QString& first, const QString& last) {
    return [first, last](QWidget& dialog) {
        if (auto* edit = ChildOf<QLineEdit>(dialog, QStringLiteral("Edit1"))) Rekey(*edit, first);
        if (auto* edit = ChildOf<QLineEdit>(dialog, QStringLiteral("Edit2"))) Rekey(*edit, last);
        Press(dialog, QStringLiteral("BitBtn1"));
    };
}

testsupport::ModalScript::TAction EnterPassword(const QString& text) {
    return [text](QWidget& dialog) {
        if (auto* edit = ChildOf<QLineEdit>(dialog, QStringLiteral("Edit1"))) Rekey(*edit, text);
        Press(dialog, QStringLiteral("BitBtn1"));
    };
}

testsupport::ModalScript::TAction ChangePassword(const QString& text, const QString& again) {
    return [text, again](QWidget& dialog) {
        if (auto* edit = ChildOf<QLineEdit>(dialog, QStringLiteral("Edit1"))) Rekey(*edit, text);
        if (auto* edit = ChildOf<QLineEdit>(dialog, QStringLiteral("Edit2"))) Rekey(*edit, again);
        Press(dialog, QStringLiteral("BitBtn1"));
    };
}

testsupport::ModalScript::TAction ReadReport(QStringList* lines) {
    return [lines](QWidget& window) {
        if (lines != nullptr) *lines = ReportLines(window);
        Press(window, QStringLiteral("BitBtn1"));
    };
}

testsupport::ModalScript::TAction SaveSettings(std::function<void(QWidget& dialog)> change) {
    return [change](QWidget& dialog) {
        change(dialog);
        Press(dialog, QStringLiteral("Button1"));
    };
}

void SetChecked(QWidget& dialog, const QString& checkBox, bool checked) {
    auto* box = ChildOf<QCheckBox>(dialog, checkBox);
    if (box == nullptr || box->isChecked() == checked) return;
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(box->height() / 2, box->height() / 2));
    if (box->isChecked() != checked) ADD_FAILURE() << "a click did not change " << checkBox.toStdString();
}

testsupport::ModalScript::TAction PressButton(const QString& objectName) {
    return [objectName](QWidget& window) { Press(window, objectName); };
}

}  // namespace e2e
