#include "core/about/systeminfo.h"

#include "core/odbc/odbcdrivermanager.h"

#include "core/about/aboutinfo.h"
#include "core/embedded/session/sessions.h"
#include "core/history/historyfile.h"
#include "core/program.h"
#include "core/window/programstate.h"

#include <QRegularExpression>
#include <QSysInfo>

#include <sqlite3.h>

namespace qv {

namespace {

const QString kUnknown = QStringLiteral("(不明)");
const QString kNone = QStringLiteral("(なし)");

}  // namespace

SystemInfoSources systemInfoSources(ProgramState& program) {
    return {program.machine().odbcDrivers, program.machine().tnsnamesPath,
            [&program] {
                const QString path = program.recordingFilePath();
                return path.isEmpty() ? HistoryFile::defaultPath() : path;
            },
            [&program] { return program.store().location(); }};
}

QString describeDriverManager(const QString& dmVersion, const QString& name) {
    if (dmVersion.isEmpty())
        return kUnknown;
    // ##.##.####.####: the ODBC version the manager implements, then its own major and minor.
    static const QRegularExpression form(QStringLiteral("^(\\d+)\\.(\\d+)\\.(\\d+)\\.(\\d+)$"));
    const auto m = form.match(dmVersion);
    if (!m.hasMatch())
        return name + QLatin1Char(' ') + dmVersion;
    return QStringLiteral("%1 %2.%3 (ODBC %4.%5)")
        .arg(name)
        .arg(m.captured(3).toInt())
        .arg(m.captured(4).toInt())
        .arg(m.captured(1).toInt())
        .arg(m.captured(2).toInt());
}

QString sqliteVersion() {
    const QString version = QString::fromLatin1(sqlite3_libversion());
    const QStringList missing = embedded::unmeasuredStatistics();
    // A build on the system's SQLite says what the engine cannot measure with it.
    return missing.isEmpty() ? version
                             : version + QStringLiteral(" (not measured: ") +
                                   missing.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QList<std::pair<QString, QString>> systemInfoItems(const SystemInfoSources& sources) {
    QList<std::pair<QString, QString>> items;
    items.append({kAppTitle, versionText(kAppVersion)});
    items.append({QStringLiteral("OS"),
                  QStringLiteral("%1 (%2 %3, %4)")
                      .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(),
                           QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture())});
    items.append({QStringLiteral("Qt"), QString::fromLatin1(qVersion())});
#ifdef Q_OS_WIN
    const QString dmName = QStringLiteral("Driver Manager");
#else
    const QString dmName = QStringLiteral("unixODBC");
#endif
    items.append(
        {QStringLiteral("ODBC"), describeDriverManager(odbcDriverManagerVersion(), dmName)});
    items.append({QStringLiteral("SQLite"), sqliteVersion()});

    const QStringList drivers =
        sources.odbcDrivers ? sources.odbcDrivers() : installedOdbcDrivers();
    items.append({QStringLiteral("ODBCﾄﾞﾗｲﾊﾞ"), drivers.isEmpty() ? kNone : drivers.join(u'\n')});
    QString tns = kUnknown;
    if (sources.tnsnamesPath) {
        tns = sources.tnsnamesPath();
        if (tns.isEmpty())
            tns = kNone;
    }
    items.append({QStringLiteral("TNSNAMES"), tns});
    const QString settings = sources.settingsPath ? sources.settingsPath() : QString();
    items.append({QStringLiteral("設定"), settings.isEmpty() ? kUnknown : settings});
    QString hist = sources.historyPath ? sources.historyPath() : QString();
    items.append({QStringLiteral("履歴ﾌｧｲﾙ"), hist.isEmpty() ? kUnknown : hist});
    return items;
}

QString systemInfoText(const QList<std::pair<QString, QString>>& items) {
    QString out;
    for (const auto& [label, value] : items) {
        const QStringList lines = value.split(u'\n');
        if (lines.size() == 1) {
            out += label + QStringLiteral(": ") + value + QLatin1Char('\n');
            continue;
        }
        out += label + QStringLiteral(":\n");
        for (const QString& line : lines)
            out += QStringLiteral("  ") + line + QLatin1Char('\n');
    }
    return out;
}

}  // namespace qv
