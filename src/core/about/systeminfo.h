#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

namespace qv {

class ProgramState;

// Where the system-information report gets the values that other parts of the program own.
// A source left empty is reported as unknown.
struct SystemInfoSources {
    std::function<QStringList()> odbcDrivers;  // default: every driver the driver manager lists
    std::function<QString()> tnsnamesPath;     // empty result: no TNSNAMES file found
    std::function<QString()> historyPath;      // the tuning-history file
    std::function<QString()> settingsPath;     // where the settings are kept
};

// The sources of `program`: its machine's drivers and TNSNAMES file, the history file its
// windows record into (or would), its settings store. They refer to `program`, which must
// outlive them.
SystemInfoSources systemInfoSources(ProgramState& program);

// How the report names the driver manager: unixODBC's "03.52.0002.0003" reads
// "unixODBC 2.3 (ODBC 3.52)"; another form is shown as it is, after `name`.
QString describeDriverManager(const QString& dmVersion, const QString& name);
QString sqliteVersion();

// The report, one labelled item per entry, for someone reporting a problem: the program's
// version, the operating system, Qt, the ODBC driver manager, SQLite, the ODBC drivers, the
// TNSNAMES file and where the settings and the history file live.
QList<std::pair<QString, QString>> systemInfoItems(const SystemInfoSources& sources);
// The items as plain text, "label: value" a line; a list value is one indented line per entry.
QString systemInfoText(const QList<std::pair<QString, QString>>& items);

}  // namespace qv
