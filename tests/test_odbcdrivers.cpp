// The driver list against the driver manager's real configuration: the tests' odbcinst.ini
// (ODBCSYSINI, from tests/odbc.cmake), and others in child processes, because unixODBC reads
// its configuration once per process.
#include "oracle/odbcdrivers.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace qv;

namespace {

TEST(OdbcDrivers, ListsTheManagersDriversInItsOrder) {
    EXPECT_EQ(installedOdbcDrivers(),
              QStringList({"PostgreSQL Unicode", "Oracle ODBC Driver", "SQLite3", "OraHome92",
                           "Oracle in OraClient19Home1", "Sybase ASE ODBC Driver",
                           "Microsoft ODBC for ORACLE", "DataDirect 8.0 Oracle Wire Protocol"}));
}

TEST(OdbcDrivers, OracleListKeepsOrderAndCase) {
    EXPECT_EQ(oracleDriverList(),
              QStringList({"Oracle ODBC Driver", "Oracle in OraClient19Home1",
                           "Microsoft ODBC for ORACLE", "DataDirect 8.0 Oracle Wire Protocol"}));
}

// Prints a list for the parent test; never runs on its own.
TEST(DriverProbe, DISABLED_Print) {
    const QByteArray which = qgetenv("QUERVIN_DRIVER_PROBE");
    const QStringList list = which == "oracle" ? oracleDriverList() : installedOdbcDrivers();
    std::printf("<<%s>>\n", list.join(u'|').toUtf8().constData());
}

// The list a fresh process gets with `ini` as its only driver configuration (none when null).
QStringList probe(const char* which, const char* ini) {
    QTemporaryDir dir;
    if (ini) {
        QFile file(dir.filePath(QStringLiteral("odbcinst.ini")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ODBCSYSINI"), dir.path());
    env.insert(QStringLiteral("QUERVIN_DRIVER_PROBE"), QString::fromLatin1(which));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DriverProbe.*"),
                 QStringLiteral("--gtest_also_run_disabled_tests")});
    EXPECT_TRUE(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const qsizetype begin = out.indexOf(QStringLiteral("<<"));
    const qsizetype end = out.indexOf(QStringLiteral(">>"), begin);
    if (begin < 0 || end < 0) {
        ADD_FAILURE() << "no list from the child: " << out.toStdString();
        return {QStringLiteral("?")};
    }
    const QString list = out.mid(begin + 2, end - begin - 2);
    return list.isEmpty() ? QStringList() : list.split(u'|');
}

TEST(OdbcDrivers, EmptyWhenTheManagerHasNone) {
    EXPECT_EQ(probe("installed", nullptr), QStringList());
    EXPECT_EQ(probe("oracle", nullptr), QStringList());
    EXPECT_EQ(probe("installed", "[ODBC]\nTrace=No\n"), QStringList());
}

TEST(OdbcDrivers, OracleAnywhereInTheNameInAnyCase) {
    const char* ini =
        "[Sybase]\nDriver=/x.so\n\n[myoracledrv]\nDriver=/x.so\n\n[OraHome]\nDriver=/x.so\n\n"
        "[ORACLE 日本語版]\nDriver=/x.so\n\n[Orac le]\nDriver=/x.so\n";
    EXPECT_EQ(probe("installed", ini),
              QStringList({"Sybase", "myoracledrv", "OraHome", "ORACLE 日本語版", "Orac le"}));
    EXPECT_EQ(probe("oracle", ini), QStringList({"myoracledrv", "ORACLE 日本語版"}));
    EXPECT_EQ(probe("oracle", "[Sybase]\nDriver=/x.so\n"), QStringList());
}

}  // namespace
