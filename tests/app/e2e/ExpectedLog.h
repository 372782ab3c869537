// ExpectedLog: the error log a report shows for fields keyed with one wrong keystroke each, as the real and
// practice scenarios write their expected reports.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "tests/app/e2e/support/ScreenKeying.h"
#include "tests/app/e2e/support/ScreenRun.h"

namespace e2e {

// The four lines of field `field` of screen `screen`, keyed with one error; the last field keyed says so.
inline QStringList LogEntry(int screen, int field, const KeyedField& keyed, bool lastKeyed) {
    return {QStringLiteral("Record no.: %1, Field no.: %2, 1 errors.%3")
                .arg(screen)
                .arg(field)
                .arg(lastKeyed ? QStringLiteral(" (Last field keyed)") : QString()),
            QStringLiteral("Keyed    >") + keyed.keyed, QStringLiteral("On Record>") + keyed.source, QString()};
}

// A field keyed with its one mistake, as the error log names it.
struct Mistake {
    int screen = 0;
    int field = 0;
    bool lastKeyed = false;
};

// The log of the mistakes in the order given (the log's, from the last field keyed back), each with the texts
// the testee met in that field of the run.
inline QStringList LogOf(const std::vector<Mistake>& mistakes, const ScreenRunSeen& seen) {
    QStringList log;
    for (const Mistake& m : mistakes) {
        const QList<KeyedField>& screen = m.screen == 1 ? seen.screen1 : seen.screen2;
        log += LogEntry(m.screen, m.field, screen.at(m.field - 1), m.lastKeyed);
    }
    return log;
}

}  // namespace e2e
