#include "core/connection/tnsnames.h"
#include "support/checks.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;
using namespace qv;

namespace {
void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// An entry as Oracle's own tools write it today.
QByteArray entry(const QByteArray& names) {
    return names +
           " =\n  (DESCRIPTION =\n    (ADDRESS = (PROTOCOL = TCP)(HOST = h)(PORT = 1521))\n"
           "    (CONNECT_DATA =\n      (SERVER = DEDICATED)\n      (SERVICE_NAME = orcl)\n"
           "    )\n  )\n\n";
}
}  // namespace

// The shapes real files have: every alias at the top level, as written, in file order.
TEST(TnsNames, EveryTopLevelAliasIsListedAsWritten) {
    const QByteArray text =
        "# tnsnames.ora Network Configuration File\n" + entry("ORCL") + entry("MKT.WORLDWIDE.COM") +
        entry("HR.WORLD, HRALIAS.WORLD") +
        "PDB1=(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=x)(PORT=1521))(CONNECT_DATA="
        "(SERVICE_NAME=pdb1)))\n"
        "  # (ADDRESS = (PROTOCOL = TCP)(HOST = old)\n" +  // commented out, unbalanced
        entry("SALES.EXAMPLE.COM") +
        "LISTENER_ORCL =\n  (ADDRESS = (PROTOCOL = TCP)(HOST = h))\n"
        "BROKEN =\n  (DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)\n" +
        entry("AFTER") + entry("orcl");
    const QStringList want{u"ORCL"_s,          u"MKT.WORLDWIDE.COM"_s,
                           u"HR.WORLD"_s,      u"HRALIAS.WORLD"_s,
                           u"PDB1"_s,          u"SALES.EXAMPLE.COM"_s,
                           u"LISTENER_ORCL"_s, u"BROKEN"_s,
                           u"AFTER"_s,         u"orcl"_s};
    EXPECT_EQ(parseServiceNames(QString::fromUtf8(text)), want);
    QByteArray crOnly = text;
    crOnly.replace('\n', '\r');
    EXPECT_EQ(parseServiceNames(QString::fromUtf8(crOnly)), want) << "any line ends";
}

// IFILE is followed relative to its file, a cycle ends it, each name comes once, and the
// default domain of sqlnet.ora is left off as a user types the names.
TEST(TnsNames, IncludesDefaultDomainAndOneNamePerService) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(u"more"_s));
    writeFile(dir.filePath(u"tnsnames.ora"_s),
              entry("ORCL.WORLD") + "IFILE = more/extra.ora\n" + entry("MKT.WORLDWIDE.COM"));
    writeFile(dir.filePath(u"more/extra.ora"_s),
              entry("DEV.WORLD, orcl.world") + "IFILE=\"../tnsnames.ora\"\n");
    const QString path = dir.filePath(u"tnsnames.ora"_s);
    EXPECT_EQ(loadServiceNamesFromFile(path),
              (QStringList{u"ORCL.WORLD"_s, u"DEV.WORLD"_s, u"MKT.WORLDWIDE.COM"_s}));
    writeFile(dir.filePath(u"SQLNET.ORA"_s),
              "NAMES.DIRECTORY_PATH = (TNSNAMES)\n"
              "names.default_domain = world  # the old default\n");
    EXPECT_EQ(loadServiceNamesFromFile(path),
              (QStringList{u"ORCL"_s, u"DEV"_s, u"MKT.WORLDWIDE.COM"_s}));
}

TEST(TnsNames, HugeOrBinaryFilesAreReadWithoutHanging) {
    QTemporaryDir dir;
    QByteArray junk;
    for (int i = 0; i < 200000; ++i)
        junk.append(static_cast<char>((i * 7919) % 256));
    writeFile(dir.filePath(u"binary.ora"_s), junk);
    loadServiceNamesFromFile(dir.filePath(u"binary.ora"_s));
    // 10 MB with a 1 MB line among the entries.
    QByteArray text;
    int entries = 0;
    while (text.size() < 10 * 1024 * 1024) {
        text += entry("S" + QByteArray::number(entries++));
        if (entries == 1000)
            text += QByteArray(1024 * 1024, 'x') + "\n";
    }
    writeFile(dir.filePath(u"big.ora"_s), text);
    const QStringList many = loadServiceNamesFromFile(dir.filePath(u"big.ora"_s));
    EXPECT_EQ(many.size(), entries);
    EXPECT_EQ(many.last(), u"S%1"_s.arg(entries - 1));
    EXPECT_EQ(loadServiceNamesFromFile(dir.filePath(u"missing.ora"_s)), QStringList());
}

#ifndef Q_OS_WIN
TEST(TnsNames, FileIsFoundThroughTnsAdminThenOracleHomeInAnyCase) {
    QTemporaryDir dir;
    const QString admin = dir.filePath(u"admin"_s), home = dir.filePath(u"home"_s);
    QDir().mkpath(admin);
    QDir().mkpath(home + u"/network/admin"_s);
    writeFile(admin + u"/tnsnames.ora"_s, "x");
    writeFile(home + u"/network/admin/TNSNAMES.ORA"_s, "y");
    qputenv("TNS_ADMIN", admin.toUtf8());
    qputenv("ORACLE_HOME", home.toUtf8());
    EXPECT_EQ(findTnsnamesFile(), admin + u"/tnsnames.ora"_s);
    qunsetenv("TNS_ADMIN");
    EXPECT_EQ(findTnsnamesFile(), home + u"/network/admin/TNSNAMES.ORA"_s);
    qunsetenv("ORACLE_HOME");
    EXPECT_EQ(findTnsnamesFile(), QString());
}
#endif

// Files that include each other are read once per reading: twice over at every level (a
// diamond), in a cycle, or through a FIFO that no one writes to, which is skipped unopened.
TEST(TnsNames, EachIncludedFileIsReadOnceAndOnlyRegularFilesAreOpened) {
    QTemporaryDir dir;
    constexpr int kLevels = 20;
    // Level k's two files each include both files of level k+1: 2^20 readings if each
    // inclusion were read anew.
    for (int level = 0; level < kLevels; ++level) {
        for (const char* side : {"a", "b"}) {
            QByteArray text = entry("S" + QByteArray::number(level) + side);
            if (level + 1 < kLevels)
                text += "IFILE = " + QByteArray::number(level + 1) + "a.ora\n" +
                        "IFILE = " + QByteArray::number(level + 1) + "b.ora\n";
            writeFile(dir.filePath(u"%1%2.ora"_s.arg(level).arg(QLatin1String(side))), text);
        }
    }
    writeFile(dir.filePath(u"tnsnames.ora"_s),
              "IFILE = 0a.ora\nIFILE = 0b.ora\n" + entry("TOP") + "IFILE = tnsnames.ora\n");
    const ServiceNameRead read = readServiceNames(dir.filePath(u"tnsnames.ora"_s));
    EXPECT_EQ(read.files.size(), 2 * kLevels + 1);
    EXPECT_EQ(read.files.size(), QSet<QString>(read.files.begin(), read.files.end()).size());
    EXPECT_EQ(read.names.size(), 2 * kLevels + 1);
    EXPECT_EQ(read.names.mid(0, 3), (QStringList{u"S0a"_s, u"S1a"_s, u"S2a"_s}));
    EXPECT_EQ(read.names.last(), u"TOP"_s);

#ifdef Q_OS_UNIX
    const QString fifo = dir.filePath(u"pipe.ora"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    writeFile(dir.filePath(u"withpipe.ora"_s),
              entry("BEFORE") + "IFILE = pipe.ora\n" + entry("AFTER"));
    const ServiceNameRead piped = readServiceNames(dir.filePath(u"withpipe.ora"_s));
    EXPECT_EQ(piped.names, (QStringList{u"BEFORE"_s, u"AFTER"_s}));
    EXPECT_EQ(piped.files.size(), 1);
    EXPECT_EQ(readServiceNames(fifo).files, QStringList()) << "not even as the file itself";
#endif
}

// The bytes read in one reading are capped for all its files together.
TEST(TnsNames, TheSizeCapCountsEveryIncludedFile) {
    QTemporaryDir dir;
    writeFile(dir.filePath(u"tnsnames.ora"_s), entry("FIRST") + "IFILE = more.ora\n");
    writeFile(dir.filePath(u"more.ora"_s), entry("SECOND"));
    const QString path = dir.filePath(u"tnsnames.ora"_s);
    const qint64 first = QFileInfo(path).size();
    EXPECT_EQ(loadServiceNamesFromFile(path, first), QStringList{u"FIRST"_s});
    EXPECT_EQ(loadServiceNamesFromFile(path, first + QFileInfo(dir.filePath(u"more.ora"_s)).size()),
              (QStringList{u"FIRST"_s, u"SECOND"_s}));
}
