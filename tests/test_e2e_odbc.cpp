#include "core/settings/sharedsettings.h"
#include "support/e2e.h"
#include "support/modalanswerer.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
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
