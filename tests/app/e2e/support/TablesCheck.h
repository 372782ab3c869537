// TablesCheck: the built tarnis-check over a program directory's four tables, as a scenario's last check.
#pragma once

#include <QString>
#include <QStringList>

namespace e2e {

// The application's four tables, by base name.
inline constexpr const char* kApplicationTables[] = {"config", "results", "invsort", "numeric"};

// What tarnis-check says about each of the four tables of `programDir` (with its trailing "/") but those
// named in `skipped`: every finding line, and a line for a table it could not read or a run that failed. A
// table whose record file is gone is the scenario's own doing and is not checked. Empty: all are clean.
QStringList CheckTables(const QString& programDir, const QStringList& skipped = {});

}  // namespace e2e
