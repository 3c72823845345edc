#include "core/cli/clirunner.h"
#include "core/embedded/service/embeddedengine.h"
#include "core/embedded/service/sampledb.h"
#include "core/tuning/tuningrun.h"
#include "support/installscript.h"
#include "support/scripteddb.h"
#include "support/sqliteprobe.h"
#include "support/tempprogram.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>
#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {

struct Result {
    int status = -1;
    QString out, err;
    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

class CliTest : public ::testing::Test {
  protected:
    CliTest() { tmp.program().setSampleDirectory(sampleDir.path()); }

    // Runs the runner with blank-separated `options`, then `--sql sql` when given, with
    // `input` as standard input.
    Result cli(const QString& options, const QString& sql = QString(), QString input = {}) {
        QStringList args = u"quervin-cli "_s.append(options).split(u' ', Qt::SkipEmptyParts);
        if (!sql.isNull())
            args << u"--sql"_s << sql;
        Result r;
        QTextStream in(&input), out(&r.out), err(&r.err);
        r.status = runCli(args, in, out, err, tmp.program());
        out.flush();
        err.flush();
        return r;
    }
    Result sample(const QString& options, const QString& sql = QString()) {
        return cli(u"--service sqlite:sample --user demo "_s + options, sql);
    }

    // The same against a scripted server (its statements in `script`), which binds as Oracle
    // does.
    Result scripted(const QString& options, const QString& sql) {
        return scripted(options.split(u' ', Qt::SkipEmptyParts), sql);
    }
    Result scripted(const QStringList& options, const QString& sql) {
        QStringList args = u"quervin-cli --service ORCL --user scott"_s.split(u' ') + options;
        args << u"--sql"_s << sql;
        Result r;
        QString input;
        QTextStream in(&input), out(&r.out), err(&r.err);
        ProgramState scripted(tmp.openStore());
        scripted.setDatabaseOpener([this](const QString&, const QString&, const QString&) {
            return std::make_unique<test::ScriptedDatabase>(u"Q"_s, script);
        });
        r.status = runCli(args, in, out, err, scripted);
        out.flush();
        err.flush();
        return r;
    }

    test::TempProgram tmp;
    QTemporaryDir sampleDir, dir;
    std::shared_ptr<test::Script> script = std::make_shared<test::Script>();
};

}  // namespace

TEST_F(CliTest, TextOutputLabelsTheLinesAndListsTheVisibleGridsButNeverThePassword) {
    const Result r = sample(u"--no-plan --password hunter2-secret"_s,
                            u"select customer_id from customers where customer_id <= 3"_s);
    EXPECT_EQ(r.status, kCliCarriedOut) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(u"plan: \nquery: \nstats: \ncount: 3件\n\n[plan] hidden\n"_s))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(u"[result]\nROWNUM\tCUSTOMER_ID\n1\t1\n2\t2\n3\t3\n"_s));
    EXPECT_FALSE((r.out + r.err).contains(u"hunter2-secret"_s));
}

TEST_F(CliTest, JsonHasEveryGridAndTheCounts) {
    const Result r = sample(u"--format json --create-plan-table --max-rows 2"_s,
                            u"select * from products where category = '文房具'"_s);
    ASSERT_EQ(r.status, kCliCarriedOut) << r.err.toStdString();
    const QJsonObject o = r.json();
    const int total = o[u"rowCount"_s].toInt();
    EXPECT_TRUE(o[u"rowsOverMax"_s].toBool());
    EXPECT_EQ(o[u"count"_s].toString(), countLabelText(
                                            [&] {
                                                ResultState r;
                                                r.rowCount = total;
                                                r.rowsOverMax = true;
                                                return r;
                                            }(),
                                            2));
    EXPECT_EQ(o[u"result"_s].toObject()[u"rows"_s].toArray().size(), 2);
    EXPECT_EQ(o[u"plan"_s].toObject()[u"rows"_s].toArray()[0].toArray()[0].toString(),
              u"SELECT STATEMENT"_s);
    QString processed;
    for (const QJsonValue& row : o[u"stats"_s].toObject()[u"rows"_s].toArray()) {
        if (row[2].toString() == u"rows processed"_s)
            processed = row[1].toString();
    }
    EXPECT_EQ(processed, QString::number(total));
    EXPECT_FALSE(o.contains(u"runNumber"_s));
}

TEST_F(CliTest, RecordGivesRunNumbersInSequence) {
    const QString file = dir.filePath(u"h.mdb"_s);
    EXPECT_TRUE(
        sample(u"--no-plan --record "_s + file, u"select 1"_s).out.contains(u"\nrun: 1\n"_s));
    EXPECT_EQ(
        sample(u"--format json --record="_s + file, u"select 1"_s).json()[u"runNumber"_s].toInt(),
        2);
    const Result bad = sample(u"--record "_s + dir.path(), u"select 1"_s);
    EXPECT_EQ(bad.status, kCliRecordFailed);
    EXPECT_TRUE(bad.err.startsWith(u"履歴処理エラー:"_s)) << bad.err.toStdString();
}

// The recorded runs read back: listed with their facts, shown, compared in every format.
TEST_F(CliTest, HistoryListsShowsAndComparesRecordedRuns) {
    const QString file = dir.filePath(u"h.mdb"_s);
    sample(u"--no-plan --record "_s + file, u"select count(*) from orders"_s);
    sample(u"--no-plan --record "_s + file, u"select count(*) from orders where 1 = 1"_s);
    const QString list = cli(u"history list --file "_s + file).out;
    EXPECT_TRUE(list.startsWith(u"2\t"_s) && list.contains(u"\tsqlite:sample\tdemo\t1\t"_s))
        << list.toStdString();
    const QJsonObject listed = cli(u"history list --format json --file "_s + file).json();
    EXPECT_EQ(listed[u"file"_s].toString(), file);
    const QJsonArray runs = listed[u"runs"_s].toArray();
    EXPECT_EQ(runs.size(), 2);
    EXPECT_EQ(runs[1].toObject()[u"driver"_s].toString(), u"embedded"_s);
    EXPECT_TRUE(cli(u"history show 1 --file "_s + file).out.contains(u"\tuser calls\n"_s));
    const Result md = cli(u"history compare 1 2 --file "_s + file);
    EXPECT_TRUE(md.out.startsWith(u"# 実行の比較 No.1 → No.2"_s) &&
                md.out.contains(u"- select count(*) from orders\n+ select count(*) from orders "
                                u"where 1 = 1"_s))
        << md.out.toStdString();
    for (const char* format : {"json", "csv", "html"})
        EXPECT_EQ(cli(u"history compare 1 2 --format "_s + QString::fromLatin1(format) +
                      u" --only-changed --file "_s + file)
                      .status,
                  kCliCarriedOut)
            << format;
    for (const QString& args :
         {u"history show 9 --file "_s + file, u"history compare 1 9 --file "_s + file,
          u"history list --file "_s + dir.filePath(u"none.mdb"_s),
          u"history compare 1 --file "_s + file})
        EXPECT_EQ(cli(args).status, kCliBadArguments) << args.toStdString();
}

// Text output prints each value on one line, its control characters and backslashes escaped:
// nothing reaches the terminal as an escape sequence, a tab or a line break, whether it comes
// from the server, a bind value or a history file. JSON and Markdown carry them as they are.
TEST_F(CliTest, TextOutputEscapesControlCharactersInEveryValue) {
    const QString file = dir.filePath(u"h.mdb"_s);
    const Result run =
        sample(u"--no-plan --bind x=1\t2 --record "_s + file,
               u"select 'a' || char(27) || '[31m' || char(9) || 'b' || char(10) || 'c\\d' || "
               u"char(155) || char(8238) as v from dual where :x is not null"_s);
    EXPECT_TRUE(run.out.contains(u"\n1\ta\\x1b[31m\\tb\\nc\\\\d\\x9b\\u202e\n"_s) &&
                run.out.contains(u"\n:x\tVARCHAR2\t1\\t2\n"_s))
        << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QChar(27)) || run.out.contains(QChar(0x9B)));
    const Result json = sample(u"--no-plan --format json --bind x=1"_s,
                               u"select 'a' || char(27) || char(9) || 'b' as v from dual "
                               u"where :x is not null"_s);
    EXPECT_EQ(json.json()[u"result"_s][u"rows"_s][0][1].toString(), u"a\x1b\tb"_s);

    // A history file another program wrote may hold anything.
    test::SqliteProbe history(file);
    ASSERT_TRUE(history.exec(
        "UPDATE SQL_HIST SET SQL = 'select' || char(27) || '[2J' || char(9) "
        "|| 'x' || char(10) || 'y'; UPDATE RUN_HIST SET USERNAME = 'de' || "
        "char(13) || 'mo'; UPDATE STATS_HIST SET VALUE = 'v' || char(9), NUM_VALUE = NULL"))
        << history.error.toStdString();
    const QString list = cli(u"history list --file "_s + file).out;
    EXPECT_TRUE(list.contains(u"\tde\\rmo\t"_s) && list.endsWith(u"\tselect\\x1b[2J x y\n"_s))
        << list.toStdString();
    const QString show = cli(u"history show 1 --file "_s + file).out;
    EXPECT_TRUE(show.contains(u"\nselect\\x1b[2J\\tx\\ny\n"_s) && show.contains(u"\tv\\t\t"_s))
        << show.toStdString();
    const QString compared = cli(u"history compare 1 1 --file "_s + file).out;
    EXPECT_TRUE(compared.contains(u"  select\\x1b[2J\\tx\n  y\n"_s)) << compared.toStdString();
    EXPECT_TRUE(cli(u"history compare 1 1 --format markdown --file "_s + file)
                    .out.contains(u"  select\x1b[2J\tx\n"_s));
    for (const QString& out : {list, show, compared})
        EXPECT_FALSE(out.contains(QChar(27)) || out.contains(QChar(13)));
}

// A bad run number or option is named with what is wrong with it; nothing is read.
TEST_F(CliTest, BadRunNumbersAndOptionsOfHistoryAreNamed) {
    const std::pair<QString, QString> cases[] = {
        {u"history show -1"_s, u"-1 is not a run number: run numbers start at 1.\n"_s},
        {u"history compare 0 2"_s, u"0 is not a run number: run numbers start at 1.\n"_s},
        {u"history show 99999999999999999999"_s,
         u"99999999999999999999 is not a run number: run numbers go up to 2147483647.\n"_s},
        {u"history compare 1 2147483648"_s,
         u"2147483648 is not a run number: run numbers go up to 2147483647.\n"_s},
        {u"history compare 1 two"_s,
         u"two is not a run number: give a whole number such as 12.\n"_s},
        {u"history compare 1 2 --only-changed --threshold nan"_s,
         u"--threshold takes a number of 0 or more.\n"_s},
        {u"history compare 1 2 --only-changed --threshold -1"_s,
         u"--threshold takes a number of 0 or more.\n"_s},
        {u"history compare 1 2 --threshold=inf"_s, u"--threshold takes a number of 0 or more.\n"_s},
        {u"history list -2"_s, u"Unexpected argument: -2\n"_s},
    };
    const QString file = u" --file "_s + dir.filePath(u"h.mdb"_s);
    sample(u"--no-plan --record "_s + dir.filePath(u"h.mdb"_s), u"select 1"_s);
    for (const auto& [args, err] : cases) {
        const Result r = cli(args + file);
        EXPECT_EQ(std::tuple(r.status, r.err, r.out), std::tuple(kCliBadArguments, err, QString()))
            << args.toStdString();
    }
    EXPECT_EQ(cli(u"history show 1"_s + file).status, kCliCarriedOut);
}

// --bind and --bind-type give the run its values; the output and the history name them (the
// comparison of two runs' values: test_runcomparison).
TEST_F(CliTest, BindOptionsGiveTheRunItsValuesAndTheOutputAndHistoryNameThem) {
    const QString sql = u"select * from emp where empno = :ID and (ename = :who or :x is null)"_s;
    const QString file = dir.filePath(u"h.mdb"_s);
    const Result text = scripted(u"--no-plan --record "_s + file +
                                     u" --bind id=7839 --bind-type :id=NUMBER --bind-type x=NULL "
                                     u"--bind :WHO=K=ING --bind unused=1"_s,
                                 sql);
    EXPECT_EQ(text.status, kCliCarriedOut) << text.err.toStdString();
    EXPECT_TRUE(script->log.contains(u"Q: "_s + sql +
                                     u" [ID=7839 (NUMBER), who=K=ING (VARCHAR2), x=NULL]"_s));
    const QString table =
        u"\n[binds]\n変数\t型\t値\n:ID\tNUMBER\t7839\n:who\tVARCHAR2\tK=ING\n"
        u":x\tNULL\t\n"_s;
    EXPECT_TRUE(text.out.contains(u"run: 1\n"_s + table + u"\n[plan]"_s)) << text.out.toStdString();
    EXPECT_TRUE(cli(u"history show 1 --file "_s + file).out.contains(sql + u'\n' + table))
        << cli(u"history show 1 --file "_s + file).out.toStdString();
    const QJsonArray expected{
        QJsonObject{{u"name"_s, u"ID"_s}, {u"type"_s, u"NUMBER"_s}, {u"value"_s, u"7839"_s}},
        QJsonObject{{u"name"_s, u"who"_s}, {u"type"_s, u"VARCHAR2"_s}, {u"value"_s, u"K=ING"_s}},
        QJsonObject{{u"name"_s, u"x"_s}, {u"type"_s, u"NULL"_s}, {u"value"_s, QJsonValue()}}};
    EXPECT_EQ(cli(u"history show 1 --format json --file "_s + file).json()[u"binds"_s], expected);
    EXPECT_EQ(scripted(u"--format json --no-plan --bind-type x=NULL --bind who=K=ING "
                       u"--bind-type id=NUMBER --bind id=7839"_s,
                       sql)
                  .json()[u"binds"_s],
              expected);
    EXPECT_EQ(scripted(u"--format json --no-plan"_s, u"select 1 from dual"_s).json()[u"binds"_s],
              QJsonArray());
}

// Nothing is connected to or run with a variable that has no value, or with one given twice.
TEST_F(CliTest, BindVariableWithoutAValueOrAMalformedBindOptionIsABadArgument) {
    const QString sql = u"select * from emp where empno = :id and ename = :who"_s;
    const std::pair<QString, QString> cases[] = {
        {QString(), u"The statement's bind variable :id has no value: give --bind id=VALUE.\n"_s},
        {u"--bind id=1 --bind-type who=NUMBER"_s,
         u"The statement's bind variable :who has no value: give --bind who=VALUE.\n"_s},
        {u"--bind id"_s, u"--bind takes NAME=VALUE, such as --bind cust_id=42.\n"_s},
        {u"--bind =1"_s, u"--bind takes NAME=VALUE, such as --bind cust_id=42.\n"_s},
        {u"--bind id=1 --bind who=x --bind-type id=INTEGER"_s,
         u"--bind-type takes NAME=VARCHAR2, NUMBER, DATE, TIMESTAMP or NULL.\n"_s},
        {u"--bind id=1 --bind who=x --bind :ID=2"_s,
         u"--bind names the bind variable :id twice (also as :ID); a name is the same in either "
         u"case, so give it once.\n"_s},
        {u"--bind id=1 --bind who=x --bind-type WHO=NUMBER --bind-type who=DATE"_s,
         u"--bind-type names the bind variable :WHO twice (also as :who); a name is the same in "
         u"either case, so give it once.\n"_s},
    };
    for (const auto& [options, err] : cases) {
        const Result r = scripted(options, sql);
        EXPECT_EQ(std::tuple(r.status, r.err, r.out), std::tuple(kCliBadArguments, err, QString()))
            << options.toStdString();
    }
    EXPECT_TRUE(script->log.isEmpty());
    // Explaining alone needs no values.
    EXPECT_EQ(scripted(u"--no-query"_s, sql).status, kCliCarriedOut);
}

TEST_F(CliTest, StatementFromFileOrStandardInput) {
    QFile f(dir.filePath(u"q.sql"_s));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("select name\n  from products\n where product_id = 1\n");
    f.close();
    const Result fromFile = sample(u"--no-query --create-plan-table --sql-file "_s + f.fileName());
    EXPECT_EQ(fromFile.status, kCliCarriedOut);
    EXPECT_TRUE(fromFile.out.contains(u"\n[plan]\nOperation"_s));
    EXPECT_TRUE(fromFile.out.contains(u"\n[result] hidden\n\n[stats] hidden\n"_s));
    const Result fromStdin = cli(u"--service sqlite:sample --user demo --no-plan"_s, QString(),
                                 u"select 42 as answer from dual"_s);
    EXPECT_TRUE(fromStdin.out.contains(u"ROWNUM\tANSWER\n1\t42\n"_s));
}

// A script runs statement by statement on one session, its includes and substitutions too, and
// goes on after an error; the summary counts, and the status says something failed.
TEST_F(CliTest, ScriptRunsEachStatementAndGoesOnAfterAnError) {
    auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    QFile db(dir.filePath(u"s.db"_s));
    ASSERT_TRUE(db.open(QIODevice::WriteOnly));
    db.close();
    QDir(dir.path()).mkdir(u"sub"_s);
    write(u"sub/part.sql"_s, "insert into dept values (30, 'P&tag.');\n");
    write(u"main.sql"_s,
          "prompt loading\ncreate table dept (no number, name varchar2(9));\n"
          "insert into dept values (10, 'A;B')\n/\nselect * from nosuch;\n@@sub/part\n"
          "select name from dept order by no;\n"
          "begin\n  for i in 1 .. 2 loop dbms_output.put_line('n=' || i); end loop;\nend;\n/\n");
    const Result r = cli(u"--script "_s + dir.filePath(u"main.sql"_s) + u" --service sqlite:"_s +
                         db.fileName() + u" --user demo --define tag=x"_s);
    EXPECT_EQ(r.status, kCliRefused);
    const QString path = dir.filePath(u"main.sql"_s);
    EXPECT_TRUE(r.out.contains(path + u":1: loading\n"_s + path + u":2: 表が作成されました。\n"_s +
                               path + u":3: 1行が作成されました。\n"_s + path + u":5: ORA-00942"_s))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(u"sub/part.sql:1: 1行が作成されました。\n"_s));
    EXPECT_TRUE(r.out.contains(u":7\nNAME\nA;B\nPx\n2行が選択されました。\n"_s));
    EXPECT_TRUE(r.out.contains(u":8: PL/SQLプロシージャが正常に完了しました。\n"_s + path +
                               u":8: n=1\n"_s + path + u":8: n=2\n"_s));
    EXPECT_TRUE(r.out.endsWith(u"実行: 6　エラー: 1　スキップ: 1\n"_s)) << r.out.toStdString();
    EXPECT_EQ(cli(u"--script "_s + dir.filePath(u"main.sql"_s) + u" --user demo"_s).status,
              kCliBadArguments);
}

// A DBA's install script loads as written: what has no counterpart fails with Oracle's error and
// the script goes on, and every row its closing queries list is what the script means.
TEST_F(CliTest, InstallScriptLoadsEveryRowAsWritten) {
    QFile db(dir.filePath(u"orders.db"_s));
    ASSERT_TRUE(db.open(QIODevice::WriteOnly));
    db.close();
    const Result r = cli(u"--script "_s + test::installScriptPath() + u" --service sqlite:"_s +
                         db.fileName() + u" --user demo"_s);
    EXPECT_EQ(r.status, kCliRefused);
    const QString out = QString(r.out).remove(test::installScriptPath());
    for (const QString& refused :
         {u":10: ORA-03001"_s, u":11: ORA-03001"_s, u":34: ORA-00900"_s, u":41: ORA-04080"_s,
          u":80: ORA-01839"_s, u":96: ORA-03001"_s, u":97: ORA-03001"_s, u":98: ORA-03001"_s})
        EXPECT_TRUE(out.contains(refused)) << refused.toStdString();
    EXPECT_TRUE(out.contains(u":6: SET DEFINE OFF\n"_s));  // taken, not "not run"
    EXPECT_EQ(test::verificationOf(r.out), test::expectedVerification());
    EXPECT_TRUE(out.endsWith(u"実行: 25　エラー: 8　スキップ: 5\n"_s)) << out.toStdString();
}

TEST_F(CliTest, RefusalsAndBadArgumentsGoToStandardErrorWithTheirStatus) {
    const Result refused = sample(QString(), u"  \n "_s);
    EXPECT_EQ(refused.status, kCliRefused);
    EXPECT_EQ(refused.err, kMsgEnterSql + u'\n');
    for (const QString& args :
         {u"--user x --sql s"_s, u"--service s --user x --max-rows -1"_s,
          u"--service s --user x --format xml"_s, u"--service s --user x --optimizer RULE;drop"_s,
          u"--service s --user x --bogus"_s, u"--service s --user x --plan-table a;b --sql s"_s,
          u"--service sqlite:/no/such/dir/x.db --user x --sql s"_s}) {
        const Result b = cli(args);
        EXPECT_EQ(b.status, kCliBadArguments) << args.toStdString();
        EXPECT_TRUE(!b.err.isEmpty() && b.out.isEmpty()) << args.toStdString();
    }
}

// A statement with a NUL or another control character is refused whole before anything is
// sent: nothing of it is recorded.
TEST_F(CliTest, ControlCharacterInTheStatementIsRefusedAndNeverRecorded) {
    const QString file = dir.filePath(u"h.mdb"_s);
    const Result typed = scripted(u"--record "_s + file, u"select 1\nfrom dual\0; drop table t"_s);
    EXPECT_EQ(typed.status, kCliRefused);
    EXPECT_EQ(typed.err, kMsgControlCharacter.arg(2).arg(10).arg(u"U+0000"_s) + u'\n');
    EXPECT_TRUE(typed.out.isEmpty() && script->log.isEmpty());
    QFile f(dir.filePath(u"bell.sql"_s));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("select 1 \x07");
    f.close();
    const Result fromFile = sample(u"--record "_s + file + u" --sql-file "_s + f.fileName());
    EXPECT_EQ(fromFile.status, kCliRefused);
    EXPECT_EQ(fromFile.err, kMsgControlCharacter.arg(1).arg(10).arg(u"U+0007"_s) + u'\n');
    EXPECT_FALSE(QFile::exists(file));
}

namespace {
const QString kEndlessCount =
    u"with recursive r(n) as (select 1 union all select n + 1 from r) select count(*) from r"_s;
}  // namespace

TEST_F(CliTest, TimeoutAndInterruptCancelTheStatementAndPrintWhatWasDone) {
    const Result r = sample(u"--no-plan --timeout 0.3"_s, kEndlessCount);
    EXPECT_EQ(r.status, kCliStopped) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(u"query: ORA-01013: user requested cancel of current "
                               u"operation（中止しました）\n"_s) &&
                r.out.contains(u"\ncount: 0件（中止）\n"_s))
        << r.out.toStdString();
    EXPECT_EQ(sample(u"--timeout 0"_s, u"select 1"_s).status, kCliBadArguments);

#ifdef Q_OS_UNIX
    // Ctrl-C on the real program: the sample made above is reused.
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QUERVIN_SAMPLE_DIR"_s, sampleDir.path());
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QUERVIN_CLI), {u"--service"_s, u"sqlite:sample"_s, u"--user"_s,
                                            u"demo"_s, u"--no-plan"_s, u"--sql"_s, kEndlessCount});
    ASSERT_TRUE(cli.waitForStarted());
    QThread::msleep(1000);
    ::kill(pid_t(cli.processId()), SIGINT);
    ASSERT_TRUE(cli.waitForFinished(5000));
    EXPECT_EQ(std::pair(cli.exitStatus(), cli.exitCode()), std::pair(QProcess::NormalExit, 4));
    EXPECT_TRUE(QString::fromUtf8(cli.readAllStandardOutput()).contains(u"count: 0件（中止）"_s));
#endif
}

// A stop that comes while the statement is translated ends the run as one that comes while it
// runs. This statement takes a while to translate and never ends if it runs, so whatever stage
// the timeout finds it in, only the stop can end it.
TEST_F(CliTest, TimeoutStopsAStatementWhileItIsTranslated) {
    QStringList values;
    for (int i = 0; i < 300000; ++i)
        values << QString::number(i);
    const Result r = sample(u"--no-plan --timeout 0.05"_s,
                            kEndlessCount + u" where n not in ("_s + values.join(u", "_s) + u')');
    EXPECT_EQ(r.status, kCliStopped) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(u"query: ORA-01013: user requested cancel of current "
                               u"operation（中止しました）\n"_s) &&
                r.out.contains(u"\ncount: 0件（中止）\n"_s))
        << r.out.left(300).toStdString();
}

// An exception nothing else catches, in the runner or in the run's thread, ends the program
// with exit status 5 and its text, never an abort.
TEST_F(CliTest, AnExceptionNothingCatchesIsAnInternalError) {
    tmp.program().setDatabaseOpener(
        [](const QString&, const QString&, const QString&) -> std::unique_ptr<Database> {
            throw std::runtime_error("out of threads");
        });
    const Result opening = cli(u"--service s --user u --sql x"_s);
    EXPECT_EQ(std::tuple(opening.status, opening.err, opening.out),
              std::tuple(kCliInternalError, u"internal error: out of threads\n"_s, QString()));
    Reply failing;
    failing.whenAnswered = [] { throw std::bad_alloc(); };
    script->onText(u"select 1 from dual"_s, failing);
    const Result running = scripted(u"--no-plan"_s, u"select 1 from dual"_s);
    EXPECT_EQ(std::pair(running.status, running.err),
              std::pair(kCliInternalError, u"internal error: std::bad_alloc\n"_s));
}

#ifdef Q_OS_UNIX
// A program killed while it made the sample leaves a temporary file of 13 MB and more; the next
// start removes it, and never one that a live program is still making.
TEST_F(CliTest, TheSampleALiveProgramMakesIsKeptOneAKilledProgramLeftIsRemoved) {
    QFileSystemWatcher watcher({sampleDir.path()});
    QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
    const auto temporaryFiles = [&] {
        return QDir(sampleDir.path()).entryList({u"sample-*.tmp"_s}, QDir::Files);
    };
    // A runner making the sample, stopped as soon as its temporary file stands; the file's name.
    std::vector<std::unique_ptr<QProcess>> makers;
    const auto makerStoppedAtWork = [&] {
        const QStringList before = temporaryFiles();
        auto& maker = makers.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QUERVIN_SAMPLE_DIR"_s, sampleDir.path());
        maker->setProcessEnvironment(env);
        maker->start(QStringLiteral(QUERVIN_CLI), {u"--service"_s, u"sqlite:sample"_s, u"--user"_s,
                                                   u"demo"_s, u"--sql"_s, u"select 1 from dual"_s});
        EXPECT_TRUE(maker->waitForStarted());
        for (;;) {
            for (const QString& name : temporaryFiles()) {
                if (!before.contains(name)) {
                    ::kill(pid_t(maker->processId()), SIGSTOP);
                    return name;
                }
            }
            if (!changed.wait(10'000))
                return QString();
        }
    };
    const QString working = makerStoppedAtWork();
    const QString left = makerStoppedAtWork();
    ASSERT_FALSE(working.isEmpty() || left.isEmpty());
    ::kill(pid_t(makers[1]->processId()), SIGKILL);
    ASSERT_TRUE(makers[1]->waitForFinished());

    embedded::removeAbandonedSampleFiles(sampleDir.path());
    EXPECT_EQ(temporaryFiles(), QStringList{working}) << "the live program's file stays";
    ::kill(pid_t(makers[0]->processId()), SIGKILL);
    ASSERT_TRUE(makers[0]->waitForFinished());
    // The next start that opens the sample clears what the other one left, and makes it.
    EXPECT_EQ(sample(u"--no-plan"_s, u"select 1 from dual"_s).status, kCliCarriedOut);
    EXPECT_EQ(QDir(sampleDir.path()).entryList(QDir::Files), QStringList{u"sample.db"_s});
}
#endif

// A statement is read up to 16 MB, so a wrong file cannot fill the memory; a password need not
// stand in the process list.
TEST_F(CliTest, BoundedStatementAndAPasswordFromTheTerminal) {
    // A device, a FIFO no one writes to and a folder are refused unread, by name.
    const QString fifo = dir.filePath(u"pipe.sql"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& file : {u"/dev/zero"_s, fifo, dir.path()}) {
        const Result r = cli(u"--service s --user u --sql-file "_s + file);
        EXPECT_EQ(std::pair(r.status, r.err),
                  std::pair(kCliBadArguments,
                            u"Cannot read "_s + file +
                                u": it is not a regular file (a statement from a pipe goes on "
                                u"standard input).\n"_s));
    }
    QString big(kMaxStatementBytes + 1, u' ');
    EXPECT_EQ(cli(u"--service s --user u"_s, QString(), big).err,
              u"The statement is larger than 16 MB; nothing was run.\n"_s);

    QString connectString;
    tmp.program().setDatabaseOpener(
        [&](const QString& service, const QString& cs, const QString& user) {
            connectString = cs;
            return openEmbeddedDatabase(service, user, sampleDir.path());
        });
    auto prompted = [&](std::optional<QString> typed) {
        QString input, out, err;
        QTextStream i(&input), o(&out), e(&err);
        CliTerminal terminal;
        terminal.readPassword = [typed](const QString&) { return typed; };
        return runCli({u"quervin-cli"_s, u"--service"_s, u"sqlite:sample"_s, u"--user"_s, u"demo"_s,
                       u"--password-prompt"_s, u"--no-plan"_s, u"--sql"_s, u"select 1"_s},
                      i, o, e, tmp.program(), terminal);
    };
    EXPECT_EQ(prompted(u"s3cr;t"_s), kCliCarriedOut);
    EXPECT_TRUE(connectString.contains(u";PWD={s3cr;t};"_s)) << connectString.toStdString();
    EXPECT_EQ(prompted(std::nullopt), kCliBadArguments) << "no terminal to read from";
    const QString help = cli(u"--help"_s).out;
    EXPECT_TRUE(help.contains(u"process list"_s) && help.contains(u"--password-prompt"_s));
}

// --rollback measures a change, then undoes it: the statistics are the change's, the rows stay
// as they were; what cannot be undone is refused.
TEST_F(CliTest, RollbackMeasuresAChangeAndLeavesTheRowsAsTheyWere) {
    const QString count =
        u"select count(*) || '/' || sum(quantity) from order_items where order_id <= 20"_s;
    const QString before =
        sample(u"--no-plan --format json"_s, count).json()[u"result"_s][u"rows"_s][0][1].toString();
    for (const QString& change :
         {u"update order_items set quantity = quantity + 1 where order_id <= 20"_s,
          u"delete from order_items where order_id <= 20"_s,
          u"insert into order_items (order_id, line_no, product_id, quantity, unit_price) "
          u"select order_id, line_no + 100, product_id, quantity, unit_price from order_items "
          u"where order_id <= 20"_s,
          u"merge into order_items i using (select 1 order_id from dual) s on (i.order_id = "
          u"s.order_id) when matched then update set quantity = 0"_s}) {
        const Result r = sample(u"--no-plan --rollback --format json"_s, change);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.json()[u"rolledBack"_s].toBool()) << change.toStdString();
        bool changedRows = false;
        for (const QJsonValue row : r.json()[u"stats"_s][u"rows"_s].toArray())
            changedRows |= row[2] == u"rows processed"_s && row[1].toString().toLongLong() > 0;
        EXPECT_TRUE(changedRows) << change.toStdString();
        EXPECT_EQ(sample(u"--no-plan --format json"_s, count)
                      .json()[u"result"_s][u"rows"_s][0][1]
                      .toString(),
                  before)
            << change.toStdString();
    }
    const Result ddl = sample(u"--rollback"_s, u"drop table order_items"_s);
    EXPECT_EQ(ddl.status, 1);
    EXPECT_EQ(ddl.err.trimmed(), kMsgCannotUndo);
}

TEST_F(CliTest, WhatIfPrintsBothPlansAndSuggestPrintsCandidates) {
    sample(u"--no-query --create-plan-table"_s, u"select 1 from dual"_s);
    const Result suggest = sample(u"--what-if-suggest"_s,
                                  u"select * from customers where city = '京都' order by name"_s);
    EXPECT_EQ(suggest.status, kCliCarriedOut) << suggest.err.toStdString();
    EXPECT_EQ(suggest.out,
              u"-- \"CITY\"='京都' AND order by name\nCREATE INDEX "
              u"IX_CUSTOMERS_CITY ON DEMO.CUSTOMERS (CITY, NAME);\n"_s);

    script->on(u"SELECT id,timestamp.*'QUERVIN_WI'.*"_s,
               test::planRows({{0, u"SELECT STATEMENT"_s, {}, {}, {}, {}, 10, 3},
                               {1, u"INDEX"_s, u"RANGE SCAN"_s, u"SCOTT"_s, u"QVWI_1_2_1"_s}}));
    script->on(u"SELECT id,timestamp.*'QUERVIN_WI'.*"_s,
               test::planRows({{0, u"SELECT STATEMENT"_s, {}, {}, {}, {}, 10, 900}}), 1);
    script->onText(u"SELECT SID, SERIAL# FROM V$SESSION WHERE SID = SYS_CONTEXT('USERENV','SID')"_s,
                   Reply::table({u"SID"_s, u"SERIAL#"_s}, {{1, 2}}));
    const QString index = u"--what-if=create index ix on t (a)"_s;
    Result r = scripted(
        QStringList{index, u"--what-if=create index iy on t (b)"_s, u"--clustering"_s, u"worst"_s},
        u"select a from t where a = 1"_s);
    ASSERT_EQ(r.status, kCliCarriedOut) << r.err.toStdString();
    EXPECT_TRUE(
        r.out.contains(u"\n[what-if plan] cost 3\nOperation\tCardinality\tCost\tByte\n"
                       u"SELECT STATEMENT\t10\t3\t\n INDEX RANGE SCAN (SCOTT.QVWI_1_2_1)"_s))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith(u"\ncost: 900 -> 3\n"_s));
    EXPECT_EQ(script->log.filter(u"NOSEGMENT"_s),
              (QStringList{u"Q: CREATE INDEX QVWI_1_2_1 ON T (a) NOSEGMENT"_s,
                           u"Q: CREATE INDEX QVWI_1_2_2 ON T (b) NOSEGMENT"_s}));
    r = scripted(QStringList{u"--format=json"_s, index}, u"select a from t where a = 1"_s);
    EXPECT_EQ(r.json()[u"whatIf"_s][u"cost"_s].toInt(), 3);
    EXPECT_EQ(r.json()[u"indexes"_s][0][u"statistics"_s][u"clusteringFactor"_s].toInt(), 1);

    EXPECT_EQ(scripted(QStringList{u"--what-if=create table t (a int)"_s}, u"select 1"_s).status,
              kCliBadArguments);
    EXPECT_EQ(scripted(QStringList{index, u"--what-if-suggest"_s}, u"select 1"_s).status,
              kCliBadArguments);
    script->on(u"CREATE INDEX .*"_s, Reply::fail(u"ORA-01031: insufficient privileges"_s));
    r = scripted(QStringList{index}, u"select a from t"_s);
    EXPECT_EQ(r.status, kCliRefused);
    EXPECT_TRUE(r.err.startsWith(u"ORA-01031: insufficient privileges"_s));
}
