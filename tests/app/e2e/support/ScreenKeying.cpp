#include "tests/app/e2e/support/ScreenKeying.h"

#include <QApplication>
#include <QLineEdit>

#include <gtest/gtest.h>

#include "tests/app/e2e/support/Driving.h"

namespace e2e {

QString KeysFor(const QWidget& screen, int position, const QString& shown) {
    const QLineEdit& edit = EntryField(screen, position);
    if (edit.inputMask().isEmpty()) return shown;
    QString keys;
    for (const QChar c : shown) {
        if (c.isDigit()) keys += c;
    }
    return keys;
}

QList<KeyedField> KeyFields(const QWidget& screen, int from, int to, int mistakeAt, MoveOn move) {
    QList<KeyedField> keyed;
    const QStringList shown = SourceTexts(screen);
    for (int position = from; position <= to; ++position) {
        QLineEdit& edit = EntryField(screen, position);
        if (!WaitForFocus(edit)) {
            ADD_FAILURE() << "field " << position << " of " << screen.objectName().toStdString()
                          << " did not get the focus";
            break;
        }
        // The first key of a text is its first character, masked or not: the mistake is there.
        const QString source = shown.at(position - 1);
        QString keys = KeysFor(screen, position, source);
        if (position == mistakeAt) keys = WithMistake(keys, 0);
        keyed.append({source, position == mistakeAt ? WithMistake(source, 0) : source});
        Type(keys);
        if (move == MoveOn::Enter) PressEnter();
    }
    return keyed;
}

int FieldCount(const QWidget& screen) {
    return static_cast<int>(SourceTexts(screen).size());
}

}  // namespace e2e
