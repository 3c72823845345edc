#include "app/sysinfo.h"
#include "settings/regstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QMap>

using namespace qv;

namespace {
QMap<QString, QString> asMap(const QList<std::pair<QString, QString>>& items) {
    QMap<QString, QString> m;
    for (const auto& [k, v] : items)
        m.insert(k, v);
    return m;
}
}  // namespace

TEST(SysInfo, DriverManagerVersionReadsAsNameMajorMinorAndOdbcLevel) {
    EXPECT_EQ(describeDriverManager(QStringLiteral("03.52.0002.0003"), QStringLiteral("unixODBC")),
              QStringLiteral("unixODBC 2.3 (ODBC 3.52)"));
    EXPECT_EQ(describeDriverManager(QStringLiteral("3.8 beta"), QStringLiteral("DM")),
              QStringLiteral("DM 3.8 beta"));
    EXPECT_EQ(describeDriverManager(QString(), QStringLiteral("unixODBC")),
              QStringLiteral("(不明)"));
    // unixODBC answers without a connection.
    EXPECT_FALSE(odbcDriverManagerVersion().isEmpty());
}

TEST(SysInfo, ReportCarriesWhatAProblemReportNeeds) {
    test::TempStore tmp;
    SysInfoSources sources;
    sources.odbcDrivers = [] {
        return QStringList{QStringLiteral("Oracle in XE"), QStringLiteral("SQLite3")};
    };
    sources.tnsnamesPath = [] { return QStringLiteral("/opt/oracle/network/admin/tnsnames.ora"); };
    sources.historyPath = [] { return QStringLiteral("/home/u/quervhst.db"); };
    const auto items = sysInfoItems(sources);
    const QMap<QString, QString> m = asMap(items);
    EXPECT_EQ(items.first(),
              (std::pair{QStringLiteral("QuervinStudio"), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.2.1")}));
    EXPECT_EQ(m.value(QStringLiteral("Qt")), QString::fromLatin1(qVersion()));
    EXPECT_EQ(m.value(QStringLiteral("SQLite")), QString::fromLatin1(sqlite3_libversion()));
    EXPECT_FALSE(m.value(QStringLiteral("OS")).isEmpty());
    EXPECT_TRUE(m.value(QStringLiteral("ODBC")).startsWith(QStringLiteral("unixODBC ")));
    EXPECT_EQ(m.value(QStringLiteral("ODBCﾄﾞﾗｲﾊﾞ")), QStringLiteral("Oracle in XE\nSQLite3"));
    EXPECT_EQ(m.value(QStringLiteral("TNSNAMES")),
              QStringLiteral("/opt/oracle/network/admin/tnsnames.ora"));
    EXPECT_EQ(m.value(QStringLiteral("設定")), tmp.path());
    EXPECT_EQ(m.value(QStringLiteral("履歴ﾌｧｲﾙ")), QStringLiteral("/home/u/quervhst.db"));

    const QString text = sysInfoText(items);
    EXPECT_TRUE(text.startsWith(QStringLiteral("QuervinStudio: ﾊﾞｰｼﾞｮﾝ 1.2.1\n")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("\nODBCﾄﾞﾗｲﾊﾞ:\n  Oracle in XE\n  SQLite3\nTNSNAMES: ")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("履歴ﾌｧｲﾙ: /home/u/quervhst.db\n")));
}

TEST(SysInfo, MissingSourcesReadAsUnknownAndEmptyOnesAsNone) {
    test::TempStore tmp;
    SysInfoSources sources;
    sources.odbcDrivers = [] { return QStringList(); };
    QMap<QString, QString> m = asMap(sysInfoItems(sources));
    EXPECT_EQ(m.value(QStringLiteral("ODBCﾄﾞﾗｲﾊﾞ")), QStringLiteral("(なし)"));
    EXPECT_EQ(m.value(QStringLiteral("TNSNAMES")), QStringLiteral("(不明)"));
    EXPECT_EQ(m.value(QStringLiteral("履歴ﾌｧｲﾙ")), QStringLiteral("(不明)"));
    sources.tnsnamesPath = [] { return QString(); };
    m = asMap(sysInfoItems(sources));
    EXPECT_EQ(m.value(QStringLiteral("TNSNAMES")), QStringLiteral("(なし)"));
}
