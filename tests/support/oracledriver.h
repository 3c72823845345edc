#pragma once

#include "core/db/database.h"
#include "core/odbc/odbcdatabase.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>

namespace qv::test {

// Runs against the scripted Oracle driver (tests/oracledriver): unixODBC loads it from the
// tests' odbcinst.ini as it loads Oracle's, it answers from the scenarios and logs every call
// it gets to calls.log in a directory of the test's own.
class OracleDriverTest : public ::testing::Test {
  protected:
    OracleDriverTest() { qputenv("QUERVIN_ORACLE_LOG", QFile::encodeName(logPath())); }

    QString logPath() const { return dir.filePath(QStringLiteral("calls.log")); }
    QStringList calls() const {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                   : QStringList();
    }
    // "c1 <text>" for each statement run, in the order the driver got them.
    QStringList statements() const {
        static const QRegularExpression exec(
            QStringLiteral("^(c\\d+)\\.\\d+ SQLExecDirectW noscan=\\w+ (.*)$"));
        QStringList out;
        for (const QString& line : calls())
            if (const QRegularExpressionMatch m = exec.match(line); m.hasMatch())
                out << m.captured(1) + u' ' + m.captured(2);
        return out;
    }
    static std::unique_ptr<OdbcDatabase> open(const QString& scenario) {
        auto db = std::make_unique<OdbcDatabase>();
        db->open(QStringLiteral("ODBC;Driver={Scripted Oracle 19};DBQ=") + scenario +
                 QStringLiteral(";UID=scott;PWD=tiger;"));
        return db;
    }
    // Column `c` of every row `sql` gives.
    static QVariantList column(Database& db, const QString& sql, int c = 0) {
        QVariantList values;
        for (auto rs = db.openRecordset(sql); !rs->eof(); rs->moveNext())
            values << rs->value(c);
        return values;
    }
    // What quervin-cli prints for `sql` against `scenario` through the scripted driver, named
    // with --driver unless `nameDriver` is false; waits for the program to end.
    QByteArray cliOutput(const QString& scenario, const QStringList& options, const QString& sql,
                         bool nameDriver = true) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
        p.setProcessEnvironment(env);
        QStringList args{QStringLiteral("--service"),  scenario,
                         QStringLiteral("--user"),     QStringLiteral("scott"),
                         QStringLiteral("--password"), QStringLiteral("tiger")};
        if (nameDriver)
            args << QStringLiteral("--driver") << QStringLiteral("Scripted Oracle 19");
        p.start(QStringLiteral(QUERVIN_CLI),
                args + options + QStringList{QStringLiteral("--sql"), sql});
        EXPECT_TRUE(p.waitForFinished(60'000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput();
    }
    QJsonObject cli(const QString& scenario, const QStringList& options, const QString& sql,
                    bool nameDriver = true) {
        return QJsonDocument::fromJson(
                   cliOutput(
                       scenario,
                       QStringList{QStringLiteral("--format"), QStringLiteral("json")} + options,
                       sql, nameDriver))
            .object();
    }
    static QJsonArray resultRows(const QJsonObject& run) {
        return run[QStringLiteral("result")][QStringLiteral("rows")].toArray();
    }

    QTemporaryDir dir;
};

}  // namespace qv::test
