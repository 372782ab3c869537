#include "tests/app/e2e/support/Driving.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

#include <stdexcept>

#include "app/controls/ColorButton.h"
#include "db/widgets/DBText.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/WaitUntil.h"

namespace e2e {

namespace {

QString WithoutMnemonic(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

// The menu whose item the action is; none for a menu of the menu bar (which a narrow window also puts in
// the bar's overflow menu) and for an action of no menu.
const QMenu* MenuOf(const QAction& action) {
    const QList<QObject*> owners = action.associatedObjects();
    for (QObject* owner : owners) {
        if (qobject_cast<const QMenuBar*>(owner) != nullptr) return nullptr;
    }
    for (QObject* owner : owners) {
        if (const auto* menu = qobject_cast<const QMenu*>(owner)) return menu;
    }
    return nullptr;
}

// The captions of the menus that lead to the action, then its own: "Tests/Numeric/Real".
QString MenuPath(const QAction& action) {
    QStringList path{WithoutMnemonic(action.text())};
    for (const QMenu* menu = MenuOf(action); menu != nullptr; menu = MenuOf(*menu->menuAction())) {
        path.prepend(WithoutMnemonic(menu->title()));
    }
    return path.join(QLatin1Char('/'));
}

std::logic_error NotFound(const QString& what) {
    return std::logic_error(what.toStdString());
}

}  // namespace

QAction& MenuCommand(QWidget& window, const QString& nameOrPath) {
    QAction* found = nullptr;
    int matches = 0;
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->menu() != nullptr || action->isSeparator()) continue;
        if (action->objectName() == nameOrPath || MenuPath(*action) == nameOrPath) {
            found = action;
            ++matches;
        }
    }
    if (matches != 1) {
        throw NotFound(QStringLiteral("%1 menu commands \"%2\" in %3")
                           .arg(matches)
                           .arg(nameOrPath, window.objectName()));
    }
    return *found;
}

void Trigger(QWidget& window, const QString& nameOrPath) {
    QAction& action = MenuCommand(window, nameOrPath);
    if (!action.isEnabled()) throw NotFound(QStringLiteral("the menu command \"%1\" is disabled").arg(nameOrPath));
    action.trigger();
}

QWidget& Button(QWidget& window, const QString& nameOrCaption) {
    for (controls::TkvColorButton* button : window.findChildren<controls::TkvColorButton*>()) {
        if (button->objectName() == nameOrCaption || button->Caption().join(QLatin1Char(' ')) == nameOrCaption) {
            return *button;
        }
    }
    throw NotFound(QStringLiteral("no button \"%1\" in %2").arg(nameOrCaption, window.objectName()));
}

void Click(QWidget& button) {
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, button.rect().center());
}

QWidget& Focused() {
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr) throw NotFound(QStringLiteral("no control has the focus"));
    return *focus;
}

void Type(const QString& text) {
    for (const QChar c : text) QTest::keyClicks(&Focused(), QString(c));
}

void Press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(&Focused(), key, modifiers);
}

void PressEnter() {
    Press(Qt::Key_Return);
}

QString WithMistake(const QString& text, int index) {
    if (index < 0 || index >= text.size()) throw std::out_of_range("a mistake beyond the text");
    QString mistaken = text;
    const QChar c = text.at(index);
    if (c.isDigit()) {
        mistaken[index] = QChar(u'0' + (c.digitValue() + 1) % 10);
    } else if (c >= u'a' && c <= u'z') {
        mistaken[index] = c == u'z' ? u'a' : QChar(c.unicode() + 1);
    } else if (c >= u'A' && c <= u'Z') {
        mistaken[index] = c == u'Z' ? u'A' : QChar(c.unicode() + 1);
    } else {
        mistaken[index] = u'x';
    }
    return mistaken;
}

QString AllWrongFrom(const QString& text, int from) {
    QString wrong = text;
    for (int i = from; i < wrong.size(); ++i) wrong = WithMistake(wrong, i);
    return wrong;
}

bool WaitForFocus(const QWidget& widget) {
    return testsupport::waitUntil([&widget] { return QApplication::focusWidget() == &widget; });
}

QStringList SourceTexts(const QWidget& screen) {
    QStringList texts;
    for (int position = 1;; ++position) {
        const auto* text = screen.findChild<db::widgets::TDBText*>(QStringLiteral("DBText%1").arg(position));
        if (text == nullptr) break;
        texts << text->text();
    }
    return texts;
}

QLineEdit& EntryField(const QWidget& screen, int position) {
    for (const char* prefix : {"MaskEdit", "Edit"}) {
        if (auto* edit = screen.findChild<QLineEdit*>(QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(position))) {
            return *edit;
        }
    }
    throw NotFound(QStringLiteral("no entry field %1 on %2").arg(position).arg(screen.objectName()));
}

QStringList EntryTexts(const QWidget& screen) {
    QStringList texts;
    const int fields = static_cast<int>(SourceTexts(screen).size());
    for (int position = 1; position <= fields; ++position) texts << EntryField(screen, position).text();
    return texts;
}

QList<QStringList> GridRows(const QWidget& window, const QString& gridName) {
    const auto* grid = window.findChild<QAbstractItemView*>(gridName);
    if (grid == nullptr || grid->model() == nullptr) throw NotFound(QStringLiteral("no grid %1").arg(gridName));
    const QAbstractItemModel& model = *grid->model();
    QList<QStringList> rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column) {
            cells << model.data(model.index(row, column), Qt::DisplayRole).toString();
        }
        rows << cells;
    }
    return rows;
}

QStringList ReportLines(const QWidget& showit) {
    const auto* edit = showit.findChild<QPlainTextEdit*>(QStringLiteral("RichEdit1"));
    if (edit == nullptr) throw NotFound(QStringLiteral("the report window has no RichEdit1"));
    return edit->toPlainText().split(QLatin1Char('\n'));
}

void AdvanceClock(testsupport::FakeTimeSource& clock, double seconds) {
    clock.Advance(seconds);
}

}  // namespace e2e
