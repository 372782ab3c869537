// AdminSteps: what the settings, password and bad-input scenarios do in the program's dialogs and screens
// beyond the harness's answers: a control by name, an edit or a combo box keyed, a window active again.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QWidget>

#include <stdexcept>
#include <string>

#include "tests/app/e2e/support/Driving.h"
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

// Replaces the edit's text as a user does: into the edit, select all, type.
inline void Rekey(QLineEdit& edit, const QString& text) {
    edit.setFocus(Qt::TabFocusReason);
    edit.selectAll();
    QTest::keyClicks(&edit, text);
}

// Picks the combo box's item as the keyboard does: Home to its first item, then Down to the item.
inline void ChooseByKeys(QComboBox& combo, const QString& item) {
    const int index = combo.findText(item);
    if (index < 0) throw std::logic_error("no item " + item.toStdString() + " in " + combo.objectName().toStdString());
    combo.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&combo, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(&combo, Qt::Key_Down);
}

// The window active again, as the window manager makes it when a message box over it closes (the offscreen
// platform leaves no window active then); false when it does not become active.
inline bool Reactivate(QWidget& window) {
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// A test screen's countdown text.
inline QString TimeLabel(const QWidget& screen) {
    return Control<QLabel>(screen, "timeLabel").text();
}

}  // namespace e2e
