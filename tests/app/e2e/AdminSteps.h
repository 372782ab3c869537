// AdminSteps: what the settings, password and bad-input scenarios do in the program's dialogs and screens
// beyond the harness's answers: a control by name, a combo box keyed, a screen's countdown read.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QWidget>

#include <functional>
#include <stdexcept>
#include <string>

#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/support/ModalScript.h"

namespace e2e {

// The window's control of that object name; raises std::logic_error when it has none of that class.
template <class T>
T& Control(const QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QLatin1String(name));
    if (child == nullptr) {
        throw std::logic_error(std::string("no ") + name + " in " +
                               testsupport::ModalScript::Describe(&window).toStdString());
    }
    return *child;
}

// Picks the combo box's item as the keyboard does: Home to its first item, then Down to the item.
inline void ChooseByKeys(QComboBox& combo, const QString& item) {
    const int index = combo.findText(item);
    if (index < 0) throw std::logic_error("no item " + item.toStdString() + " in " + combo.objectName().toStdString());
    combo.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&combo, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(&combo, Qt::Key_Down);
}

// What the settings dialog showed when its real-time field, keyed with a refused entry, was left by Tab.
struct RefusedEntry {
    SeenBox box;               // the message on leaving the field
    bool focusBack = false;    // the focus back on the field after the message
    QString kept;              // the field's text then
    int storedMeanwhile = -1;  // the real time config.dat held then
};

// Admin, Settings from `main`: the real-time field keyed with `refused` and left by Tab, the message
// answered; then the field keyed with `taken` and Save. `storedRealtime` reads config.dat's real time.
inline RefusedEntry RefuseThenSaveRealTime(QWidget& main, const QString& refused, const QString& taken,
                                           const std::function<int()>& storedRealtime) {
    RefusedEntry seen;
    testsupport::ModalScript script;
    script
        .Expect(kSettingsDialog,
                [&](QWidget& dialog) {
                    auto& edit = Control<QLineEdit>(dialog, "DBEdit1");
                    Rekey(edit, refused);
                    Press(Qt::Key_Tab);
                    seen.focusBack = WaitForFocus(edit);
                    seen.kept = edit.text();
                    seen.storedMeanwhile = storedRealtime();
                    Rekey(edit, taken);
                    Click(Control<QWidget>(dialog, "Button1"));
                })
        .Expect(kMessageBox, AnswerBox(&seen.box));
    Trigger(main, QStringLiteral("Admin/Settings"));
    EXPECT_TRUE(script.WaitDone());
    return seen;
}

// A test screen's countdown text.
inline QString TimeLabel(const QWidget& screen) {
    return Control<QLabel>(screen, "timeLabel").text();
}

}  // namespace e2e
