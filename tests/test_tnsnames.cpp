#include "core/db/tnsnames.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {
QStringList parse(const char* text) {
    return parseServiceNames(QString::fromUtf8(text));
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// Sets (or with a null value unsets) an environment variable for the life of the object.
struct EnvVar {
    EnvVar(const char* name, const QString& value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value.toUtf8());
    }
    ~EnvVar() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }
    const char* name_;
    QByteArray old_;
    bool had_;
};
}  // namespace

TEST(TnsNames, EntryIsListedWhenItsProtocolLineIsRead) {
    EXPECT_EQ(parse("ORCL.WORLD =\n"
                    "  (DESCRIPTION =\n"
                    "    (ADDRESS = (PROTOCOL = TCP)(HOST = h)(PORT = p))\n"
                    "    (CONNECT_DATA = (SID = ORCL))\n"
                    "  )\n\n"
                    "DEV.world =\n"
                    "  (DESCRIPTION =\n"
                    "    (ADDRESS_LIST =\n"
                    "      (ADDRESS = (PROTOCOL = TCP)(HOST = a)(PORT = 1))\n"
                    "      (ADDRESS = (PROTOCOL = TCP)(HOST = b)(PORT = 1))\n"
                    "    )\n"
                    "  )\n"
                    "DEV.WORLD =\n(D =\n(PROTOCOL = TCP)\n)\n"),
              (QStringList{u"ORCL"_s, u"DEV"_s, u"DEV"_s}));
}

TEST(TnsNames, LinesThatDoNotMakeAnEntry) {
    const char* none[] = {
        "ONE.WORLD = (DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)(HOST = h)))\n",  // all on one line
        "PLAIN =\n (DESCRIPTION =\n  (ADDRESS = (PROTOCOL = TCP))\n )\n",        // no .WORLD
        "TIGHT.WORLD =\n (DESCRIPTION =\n  (ADDRESS = (PROTOCOL=TCP))\n )\n",    // no blanks
        "#X.WORLD =\n (D =\n  (PROTOCOL = TCP)\n )\n",                           // comment
    };
    for (const char* text : none)
        EXPECT_EQ(parse(text), QStringList()) << text;
    EXPECT_EQ(parse("orcl.world =\n (DESCRIPTION =\n  (ADDRESS = (protocol = tcp))\n )\n"),
              QStringList{u"orcl"_s});
}

TEST(TnsNames, CommentsInsideAndLeadingBlanks) {
    // A "#" line inside an entry changes nothing, not even the depth; an indented "#" is no
    // comment, and the text before .WORLD keeps its leading blanks.
    EXPECT_EQ(parse("A.WORLD =\n (DESCRIPTION =\n# ((((\n  (ADDRESS = (PROTOCOL = TCP))\n )\n"
                    "  # B.WORLD =\n (x =\n  (PROTOCOL = TCP)\n )\n"
                    "  C.WORLD = \r\n (DESCRIPTION = \r\n  (ADDRESS = (PROTOCOL = TCP))\r\n )\r\n"),
              (QStringList{u"A"_s, u"  # B"_s, u"  C"_s}));
}

TEST(TnsNames, MalformedFilesNeverHangOrCrash) {
    // Unbalanced parentheses keep the depth off 0 (either way): later entries are not found.
    EXPECT_EQ(parse("A.WORLD =\n((((\n(PROTOCOL = TCP)\nB.WORLD =\n(PROTOCOL = TCP)\n"),
              QStringList{u"A"_s});
    EXPECT_EQ(parse(")\nA.WORLD =\n(PROTOCOL = TCP)\n"), QStringList());

    QTemporaryDir dir;
    QByteArray junk;
    for (int i = 0; i < 200000; ++i)
        junk.append(static_cast<char>((i * 7919) % 256));
    writeFile(dir.filePath(u"binary.ora"_s), junk);
    loadServiceNamesFromFile(dir.filePath(u"binary.ora"_s));
    writeFile(dir.filePath(u"bad.ora"_s), "\xff\xfe\xc3X.WORLD =\n(D =\n(PROTOCOL = TCP)\n)\n");
    const QStringList bad = loadServiceNamesFromFile(dir.filePath(u"bad.ora"_s));
    EXPECT_TRUE(bad.size() == 1 && bad[0].endsWith(u'X'));

    // 10 MB with a 1 MB line among the entries.
    QByteArray text;
    int entries = 0;
    while (text.size() < 10 * 1024 * 1024) {
        text += "S" + QByteArray::number(entries++) +
                ".WORLD =\n (DESCRIPTION =\n  (ADDRESS = (PROTOCOL = TCP)(HOST = h))\n )\n";
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
TEST(TnsNames, FileIsFoundThroughTnsAdminThenOracleHome) {
    QTemporaryDir dir;
    const QString admin = dir.filePath(u"admin"_s), home = dir.filePath(u"home"_s);
    QDir().mkpath(admin);
    QDir().mkpath(home + u"/network/admin"_s);
    writeFile(admin + u"/tnsnames.ora"_s, "x");
    writeFile(home + u"/network/admin/TNSNAMES.ORA"_s, "y");
    {
        EnvVar a("TNS_ADMIN", admin), h("ORACLE_HOME", home);
        EXPECT_EQ(findTnsnamesFile(), admin + u"/tnsnames.ora"_s);
    }
    {
        EnvVar a("TNS_ADMIN", QString()), h("ORACLE_HOME", home);
        EXPECT_EQ(findTnsnamesFile(), home + u"/network/admin/TNSNAMES.ORA"_s);
    }
    {
        EnvVar a("TNS_ADMIN", dir.filePath(u"empty"_s));
        EXPECT_EQ(findTnsnamesFile(), QString());
    }
    EnvVar a("TNS_ADMIN", QString()), h("ORACLE_HOME", QString());
    EXPECT_EQ(findTnsnamesFile(), QString());
}
#endif
