#include "core/db/tnsnames.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {
void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// A classic entry, as Oracle's tools write it.
QByteArray entry(const QByteArray& name) {
    return name +
           ".WORLD =\n  (DESCRIPTION =\n    (ADDRESS = (PROTOCOL = TCP)(HOST = h)(PORT = 1521))\n"
           "    (CONNECT_DATA = (SID = ORCL))\n  )\n";
}
}  // namespace

TEST(TnsNames, ClassicEntriesAreListedInFileOrderAndCommentedOnesAreNot) {
    QByteArray commented;
    for (const QByteArray& line : entry("OLD").split('\n'))
        commented += line.isEmpty() ? "" : "#" + line + "\n";
    EXPECT_EQ(parseServiceNames(QString::fromUtf8(entry("ORCL") + "\n" + commented + entry("DEV"))),
              (QStringList{u"ORCL"_s, u"DEV"_s}));
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
