#include "tests/app/e2e/support/TablesCheck.h"

#include <QFileInfo>
#include <QProcess>

#include "tests/app/e2e/support/E2ePaths.h"

namespace e2e {

namespace {

// A check reads a few small files.
constexpr int kCheckTimeoutMs = 30000;

}  // namespace

QStringList CheckTables(const QString& programDir, const QStringList& skipped) {
    QStringList findings;
    for (const char* table : kApplicationTables) {
        if (skipped.contains(QLatin1String(table))) continue;
        const QString name = programDir + QLatin1String(table);
        // The engine's spelling of a record file; a scenario may have removed it.
        if (!QFileInfo::exists(name + QStringLiteral(".DAT"))) continue;
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(TarnisCheckProgram(), {name});
        if (!check.waitForStarted() || !check.waitForFinished(kCheckTimeoutMs)) {
            check.kill();
            check.waitForFinished();
            findings << QStringLiteral("tarnis-check did not run to its end on %1").arg(name);
            continue;
        }
        const QString output = QString::fromUtf8(check.readAll()).trimmed();
        if (!output.isEmpty()) {
            for (const QString& line : output.split(QLatin1Char('\n'))) findings << line;
        }
        if (check.exitStatus() != QProcess::NormalExit || check.exitCode() != 0) {
            findings << QStringLiteral("tarnis-check ended with %1 on %2").arg(check.exitCode()).arg(name);
        }
    }
    return findings;
}

}  // namespace e2e
