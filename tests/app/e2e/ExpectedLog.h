// ExpectedLog: the error log entry a report shows for a field keyed with one wrong keystroke, as the real and
// practice scenarios write their expected reports.
#pragma once

#include <QString>
#include <QStringList>

#include "tests/app/e2e/support/ScreenKeying.h"

namespace e2e {

// The four lines of field `field` of screen `screen`, keyed with one error; the last field keyed says so.
inline QStringList LogEntry(int screen, int field, const KeyedField& keyed, bool lastKeyed) {
    return {QStringLiteral("Record no.: %1, Field no.: %2, 1 errors.%3")
                .arg(screen)
                .arg(field)
                .arg(lastKeyed ? QStringLiteral(" (Last field keyed)") : QString()),
            QStringLiteral("Keyed    >") + keyed.keyed, QStringLiteral("On Record>") + keyed.source, QString()};
}

}  // namespace e2e
