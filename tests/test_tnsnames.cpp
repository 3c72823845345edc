#include "oracle/tnsnames.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

// Sets an environment variable for the life of the object.
struct EnvVar {
    EnvVar(const char* name, const QString& value) : name_(name), old_(qgetenv(name)) {
        had_ = qEnvironmentVariableIsSet(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toUtf8());
    }
    ~EnvVar() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    const char* name_;
    QByteArray old_;
    bool had_ = false;
};
}  // namespace

TEST(TnsNames, EntryIsListedWhenItsProtocolLineIsRead) {
    EXPECT_EQ(parse("ORCL.WORLD =\n"
                    "  (DESCRIPTION =\n"
                    "    (ADDRESS = (PROTOCOL = TCP)(HOST = h)(PORT = p))\n"
                    "    (CONNECT_DATA = (SID = ORCL))\n"
                    "  )\n"
                    "\n"
                    "DEV.world =\n"
                    "  (DESCRIPTION =\n"
                    "    (ADDRESS_LIST =\n"
                    "      (ADDRESS = (PROTOCOL = TCP)(HOST = a)(PORT = 1))\n"
                    "      (ADDRESS = (PROTOCOL = TCP)(HOST = b)(PORT = 1))\n"
                    "    )\n"
                    "  )\n"),
              (QStringList{QStringLiteral("ORCL"), QStringLiteral("DEV")}));
}

TEST(TnsNames, LinesThatDoNotMakeAnEntry) {
    // One line entry: its protocol is read while the depth is still 0.
    EXPECT_EQ(parse("ONE.WORLD = (DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)(HOST = h)))\n"),
              QStringList());
    // No ".WORLD", protocol without blanks.
    EXPECT_EQ(parse("PLAIN =\n (DESCRIPTION =\n  (ADDRESS = (PROTOCOL = TCP))\n )\n"),
              QStringList());
    EXPECT_EQ(parse("TIGHT.WORLD =\n (DESCRIPTION =\n  (ADDRESS = (PROTOCOL=TCP))\n )\n"),
              QStringList());
    // Lower case alias, found on the upper-case form and listed as written.
    EXPECT_EQ(parse("orcl.world =\n (DESCRIPTION =\n  (ADDRESS = (protocol = tcp))\n )\n"),
              QStringList{QStringLiteral("orcl")});
}

TEST(TnsNames, CommentsAndLeadingBlanks) {
    // A "#" line inside an entry changes nothing, not even the depth; an indented "#" is no
    // comment, and the text before .WORLD keeps its leading blanks.
    EXPECT_EQ(parse("A.WORLD =\n"
                    " (DESCRIPTION =\n"
                    "# ((((\n"
                    "  (ADDRESS = (PROTOCOL = TCP))\n"
                    " )\n"
                    "  # B.WORLD =\n"
                    " (x =\n"
                    "  (PROTOCOL = TCP)\n"
                    " )\n"
                    "  C.WORLD = \r\n"
                    " (DESCRIPTION = \r\n"
                    "  (ADDRESS = (PROTOCOL = TCP))\r\n"
                    " )\r\n"),
              (QStringList{QStringLiteral("A"), QStringLiteral("  # B"), QStringLiteral("  C")}));
    EXPECT_EQ(parse("#X.WORLD =\n (D =\n  (PROTOCOL = TCP)\n )\n"), QStringList());
}

TEST(TnsNames, DuplicatesStayAndCountCharCounts) {
    EXPECT_EQ(parse("A.WORLD =\n(D =\n(PROTOCOL = TCP)\n)\nA.WORLD =\n(D =\n(PROTOCOL = TCP)\n)\n"),
              (QStringList{QStringLiteral("A"), QStringLiteral("A")}));
    EXPECT_EQ(countChar(QStringLiteral("((a)(b)"), QLatin1Char('(')), 3);
    EXPECT_EQ(countChar(QString(), QLatin1Char(')')), 0);
}

TEST(TnsNames, MalformedFilesNeverHangOrCrash) {
    QTemporaryDir dir;
    // Unbalanced parentheses: the depth never returns to 0, later entries are not found.
    EXPECT_EQ(parse("A.WORLD =\n((((\n(PROTOCOL = TCP)\nB.WORLD =\n(PROTOCOL = TCP)\n"),
              QStringList{QStringLiteral("A")});
    // More closing than opening parentheses counts as inside an entry, too.
    EXPECT_EQ(parse(")\nA.WORLD =\n(PROTOCOL = TCP)\n"), QStringList());

    const QString bin = dir.filePath(QStringLiteral("binary.ora"));
    QByteArray junk;
    for (int i = 0; i < 200000; ++i)
        junk.append(static_cast<char>((i * 7919) % 256));
    writeFile(bin, junk);
    EXPECT_NO_FATAL_FAILURE(loadServiceNamesFromFile(bin));

    const QString bad = dir.filePath(QStringLiteral("badutf8.ora"));
    writeFile(bad, QByteArray("\xff\xfe\xc3X.WORLD =\n(D =\n(PROTOCOL = TCP)\n)\n"));
    const QStringList names = loadServiceNamesFromFile(bad);
    ASSERT_EQ(names.size(), 1);
    EXPECT_TRUE(names[0].endsWith(QLatin1Char('X')));

    // 10 MB, one entry every few lines, with one 1 MB line among them.
    const QString big = dir.filePath(QStringLiteral("big.ora"));
    QByteArray text;
    int entries = 0;
    while (text.size() < 10 * 1024 * 1024) {
        text += "S" + QByteArray::number(entries++) +
                ".WORLD =\n (DESCRIPTION =\n  (ADDRESS = (PROTOCOL = TCP)(HOST = h))\n )\n";
        if (entries == 1000)
            text += QByteArray(1024 * 1024, 'x') + "\n";
    }
    writeFile(big, text);
    const QStringList many = loadServiceNamesFromFile(big);
    EXPECT_EQ(many.size(), entries);
    EXPECT_EQ(many.last(), QStringLiteral("S%1").arg(entries - 1));

    EXPECT_EQ(loadServiceNamesFromFile(dir.filePath(QStringLiteral("missing.ora"))), QStringList());
    EXPECT_EQ(loadServiceNamesFromFile(QString()), QStringList());
}

#ifndef Q_OS_WIN
TEST(TnsNames, FileIsFoundThroughTnsAdminThenOracleHome) {
    QTemporaryDir dir;
    const QString admin = dir.filePath(QStringLiteral("admin"));
    const QString home = dir.filePath(QStringLiteral("home"));
    QDir().mkpath(admin);
    QDir().mkpath(home + QStringLiteral("/network/admin"));
    writeFile(admin + QStringLiteral("/tnsnames.ora"), "x");
    writeFile(home + QStringLiteral("/network/admin/TNSNAMES.ORA"), "y");
    {
        EnvVar a("TNS_ADMIN", admin);
        EnvVar h("ORACLE_HOME", home);
        EXPECT_EQ(findTnsnamesFile(), admin + QStringLiteral("/tnsnames.ora"));
        EXPECT_EQ(getOracleNetPath(), admin);
    }
    {
        EnvVar a("TNS_ADMIN", QString());
        EnvVar h("ORACLE_HOME", home);
        EXPECT_EQ(findTnsnamesFile(), home + QStringLiteral("/network/admin/TNSNAMES.ORA"));
    }
    {
        EnvVar a("TNS_ADMIN", dir.filePath(QStringLiteral("empty")));
        EXPECT_EQ(findTnsnamesFile(), QString());
    }
    {
        EnvVar a("TNS_ADMIN", QString());
        EnvVar h("ORACLE_HOME", QString());
        EXPECT_EQ(findTnsnamesFile(), QString());
        EXPECT_EQ(getOracleNetPath(), QString());
    }
}
#endif
