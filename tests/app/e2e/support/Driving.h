// Driving: what a scenario does with the program's windows as a user does it: menu commands, toolbar buttons,
// keys into the focused control, the texts a window shows, and the fake clock's time-out.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <Qt>

class QAction;
class QLineEdit;
class QWidget;

namespace testsupport {
class FakeTimeSource;
}

namespace e2e {

// ---- Commands ----
// The window's menu command by its object name ("Real2") or its caption without the "&" ("Real" would be
// ambiguous: the path "Tests/Numeric/Real" names it by its menus' captions). Raises std::logic_error when
// there is none, or more than one.
QAction& MenuCommand(QWidget& window, const QString& nameOrPath);
// Triggers it; any modal window it opens runs its loop inside this call (a ModalScript answers it).
void Trigger(QWidget& window, const QString& nameOrPath);
// A gradient button of the window by its object name ("kvColorButton2") or its caption ("N").
QWidget& Button(QWidget& window, const QString& nameOrCaption);
// A left click in the middle of a button, as the mouse gives it.
void Click(QWidget& button);

// ---- Keys, into QApplication::focusWidget() ----
// The focused control; raises std::logic_error when nothing has the focus.
QWidget& Focused();
// Each character as a key press and release.
void Type(const QString& text);
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void PressEnter();
// `text` with the character at `index` replaced by another of its kind (a digit by a digit, a letter by a
// letter of the same case, anything else by "x"): a keying mistake of one keystroke.
QString WithMistake(const QString& text, int index);
// `text` with every character from `from` to its end keyed wrong, as WithMistake makes each.
QString AllWrongFrom(const QString& text, int from);
// Waits until `widget` has the focus; false after the wait.
bool WaitForFocus(const QWidget& widget);

// ---- What windows show ----
// The source texts of a test screen (DBText1 onwards), as they are shown.
QStringList SourceTexts(const QWidget& screen);
// A test screen's entry field of that position (MaskEditN or EditN).
QLineEdit& EntryField(const QWidget& screen, int position);
// The entry fields' texts, in position order.
QStringList EntryTexts(const QWidget& screen);
// The rows a grid shows (the results window's DBGrid1), each as its cells' display texts.
QList<QStringList> GridRows(const QWidget& window, const QString& gridName = QStringLiteral("DBGrid1"));
// The text report window's lines (its RichEdit1).
QStringList ReportLines(const QWidget& showit);

// ---- Time ----
// Moves the fake clock on by `seconds`, time of day and monotonic reading together; a running test
// screen sees it at its next tick, within a second.
void AdvanceClock(testsupport::FakeTimeSource& clock, double seconds);

}  // namespace e2e
