#include "core/cli/clirunner.h"
#include "core/settings/sharedsettings.h"
#include "support/bindanswerer.h"
#include "support/e2e.h"
#include "support/modalanswerer.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace qv;
using Line = WindowState::Line;

// A query window against the tests' PostgreSQL server through its ODBC driver: the statement
// runs for real while the Oracle-only steps fail and say so in their lines.
namespace {
const QString kDriver = u"PostgreSQL Unicode"_s;
class OdbcWindowTest : public test::WindowTest {};
}  // namespace

TEST_F(OdbcWindowTest, StatementRunsWhileOracleOnlyStepsReportTheirFailure) {
    program().settings().set(&Settings::odbcDriver, kDriver);
    login(u"pgtest"_s, u"quervin"_s);
    EXPECT_EQ(window()->windowTitle() + u"|"_s + window()->statusPanel(1)->text(),
              u"quervin@pgtest|接続 quervin@pgtest"_s);
    test::ModalAnswerer answerer;
    run(u"select n, cast('行' || n as varchar(10)) as v from generate_series(1, 50) n"_s);
    EXPECT_TRUE(answerer.seen.isEmpty()) << "no plan-table question for a non-Oracle error";
    EXPECT_FALSE(line(Line::Plan).isEmpty() || line(Line::Plan).contains(u"実行計画表"_s));
    EXPECT_FALSE(model().planGrid().visible() || model().statsGrid().visible());
    EXPECT_EQ(line(Line::Result) + u"|"_s + line(Line::Count), u"|50件"_s);
    ASSERT_TRUE(model().resultGrid().visible());
    EXPECT_EQ(model().resultGrid().text(50, 1) + model().resultGrid().text(2, 2), u"50行2"_s);
    EXPECT_TRUE(line(Line::Stats).contains(u"v$session"_s)) << line(Line::Stats).toStdString();
    frame->action(u"logout"_s)->trigger();
    EXPECT_EQ(window()->windowTitle(), u"未接続"_s);
}

TEST_F(OdbcWindowTest, FailedLoginLeavesTheWindowUnconnectedWithTheReason) {
    // "Oracle ODBC Driver" is registered for the tests with a library that does not exist.
    test::ModalAnswerer answerer;
    login(u"ORCL"_s, u"scott"_s, u"tiger"_s);
    EXPECT_EQ(window()->windowTitle(), u"未接続"_s);
    EXPECT_TRUE(window()->statusPanel(1)->text().contains(u"libsqora"_s))
        << window()->statusPanel(1)->text().toStdString();
    // The reason is told in a box that names the service.
    EXPECT_EQ(answerer.seen, QStringList{u"DB接続エラー|ORCL に接続できませんでした。\n"_s +
                                         window()->statusPanel(1)->text()});

    // The execute button logs in first; when that fails too the box tells it again, and the
    // run still goes on and reports a failure in each of its lines.
    answerer.seen.clear();
    answerLogin(u"ORCL"_s, u"scott"_s, u"tiger"_s);
    run(u"select 1"_s);
    EXPECT_EQ(answerer.seen.size(), 1);
    EXPECT_FALSE(line(Line::Plan).isEmpty() || line(Line::Result).isEmpty());
    EXPECT_EQ(line(Line::Count), QString());
}

TEST_F(OdbcWindowTest, StoppedUpdateIsCancelledOnTheServerAndChangesNothing) {
    program().settings().set(&Settings::odbcDriver, kDriver);
    program().settings().set(&Settings::showPlan, false);
    login(u"pgtest"_s, u"quervin"_s);
    run(u"create temp table stop_t (v integer); insert into stop_t values (1)"_s);
    start(u"update stop_t set v = 2 from (select pg_sleep(30)) s"_s);
    ASSERT_TRUE(waitUntil([&] { return line(Line::Count).startsWith(u"実行中…"_s); }, 5000));
    QElapsedTimer clock;
    clock.start();
    window()->executeButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !model().isRunning(); }, 5000));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(line(Line::Result).endsWith(u"（中止しました）"_s) &&
                line(Line::Result).contains(u"cancel"_s))
        << line(Line::Result).toStdString();
    EXPECT_EQ(line(Line::Count), u"0件（中止）"_s);
    run(u"select v from stop_t"_s);
    EXPECT_EQ(model().resultGrid().text(1, 1), u"1"_s);

    // A warning of the statement shows in its line without making it a failure.
    run(u"do $$ begin raise warning 'careful now'; end $$"_s);
    EXPECT_TRUE(line(Line::Result).contains(u"careful now"_s)) << line(Line::Result).toStdString();
    EXPECT_EQ(line(Line::Count), u"0件"_s);
}

// The bind dialog's values reach PostgreSQL as parameters of its ODBC driver.
TEST_F(OdbcWindowTest, StatementWithBindVariablesRunsWithTheValuesGiven) {
    program().settings().set(&Settings::odbcDriver, kDriver);
    login(u"pgtest"_s, u"quervin"_s);
    test::BindAnswerer answerer;
    answerer.answer = [](BindDialog& d) {
        d.valueEdit(0)->setText(u"行':x"_s);
        d.typeBox(1)->setCurrentText(u"NUMBER"_s);
        d.valueEdit(1)->setText(u"7"_s);
        d.runButton()->click();
    };
    run(u"select n, cast(:label || n as varchar(20)) as v from generate_series(1, 50) n "
        u"where n <= :upto or n = :UPTO * 7"_s);
    EXPECT_EQ(answerer.offered, (QStringList{u":label VARCHAR2 "_s, u":upto VARCHAR2 "_s}));
    EXPECT_EQ(line(Line::Result) + u"|"_s + line(Line::Count), u"|8件"_s);
    EXPECT_EQ(model().resultGrid().text(8, 2), u"行':x49"_s);
}

TEST(OdbcCli, RunsAgainstPostgreSql) {
    test::TempProgram tmp;
    QString input, out, err;
    QTextStream in(&input), o(&out), e(&err);
    const int status = runCli({u"quervin-cli"_s, u"--service"_s, u"pg"_s, u"--user"_s, u"quervin"_s,
                               u"--driver"_s, kDriver, u"--format"_s, u"json"_s, u"--sql"_s,
                               u"select g from generate_series(1, 1500) g"_s},
                              in, o, e, tmp.program());
    o.flush();
    EXPECT_EQ(status, kCliCarriedOut) << err.toStdString();
    const QJsonObject j = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(j[u"count"_s].toString(), u"1500件中1000件まで表示"_s);

    // With bind variables, bound by the driver.
    o.seek(0);
    out.clear();
    EXPECT_EQ(runCli({u"quervin-cli"_s, u"--service"_s, u"pg"_s, u"--user"_s, u"quervin"_s,
                      u"--driver"_s, kDriver, u"--no-plan"_s, u"--bind"_s, u"d=2024-02-29"_s,
                      u"--bind-type"_s, u"d=DATE"_s, u"--sql"_s,
                      u"select g from generate_series(:d::timestamp - interval '2 days', "
                      u":d, interval '1 day') g"_s},
                     in, o, e, tmp.program()),
              kCliCarriedOut)
        << err.toStdString();
    o.flush();
    EXPECT_TRUE(out.contains(u"count: 3件\n"_s)) << out.toStdString();
}
