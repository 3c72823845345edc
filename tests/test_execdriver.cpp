#include "support/testrunwindow.h"
#include "tuning/execdriver.h"
#include "tuning/plan.h"

#include <gtest/gtest.h>

using namespace qv;
using test::Reply;

namespace {

const QString kTrace = QStringLiteral("ALTER SESSION SET SQL_TRACE=FALSE");
const QString kTimed = QStringLiteral("ALTER SESSION SET TIMED_STATISTICS=TRUE");
const QString kSid =
    QStringLiteral("select SID from v$session where audsid = userenv('SESSIONID')");
const QString kStats = QStringLiteral(
    "SELECT *FROM V$SESSTAT A, V$STATNAME B WHERE A.STATISTIC# = B.STATISTIC# and a.sid='42'");
const QString kTable = QStringLiteral("QUERVIN$PLAN_TABLE");

QString q(const QString& s) {
    return QStringLiteral("Q: ") + s;
}
QString st(const QString& s) {
    return QStringLiteral("S: ") + s;
}

class DriverTest : public ::testing::Test {
  protected:
    DriverTest() {
        w.sql = QStringLiteral("select * from emp");
        w.scriptSession(QStringLiteral("42"),
                        {{{5, QStringLiteral("user calls"), 10}, {7, QStringLiteral("sorts"), 3}},
                         {{5, QStringLiteral("user calls"), 14}, {7, QStringLiteral("sorts"), 3}}});
        QList<QVariantList> rows;
        for (int i = 0; i < 120; ++i)
            rows.append(QVariantList{i});
        w.script->onText(w.sql, Reply::table({QStringLiteral("EMPNO")}, rows));
    }
    test::TestRunWindow w;
};

}  // namespace

TEST_F(DriverTest, BothOptionsSendEveryStatementInOrderAndEndWithEmptyLines) {
    EXPECT_EQ(execProc(w), 0);
    EXPECT_EQ(w.script->log,
              (QStringList{st(kTrace), q(kTrace), q(kTimed), q(kSid),
                           q(planDeleteStatement(kTable)), q(explainPlanStatement(kTable, w.sql)),
                           q(planQueryStatement(kTable)), st(kStats), q(w.sql), st(kStats)}));
    EXPECT_EQ(w.eLine, QString());
    EXPECT_EQ(w.qLine, QString());
    EXPECT_EQ(w.sLine, QString());
    EXPECT_EQ(w.count, QStringLiteral("120件"));
    EXPECT_TRUE(w.data.visible());
    EXPECT_TRUE(w.statGrid.visible());
    EXPECT_EQ(w.ring, QStringList{w.sql});
    // Progress texts come first, in order: query, statistics, plan.
    const QString p = QStringLiteral("Oracle接続中...scott@ORCL");
    ASSERT_GE(w.shown.size(), 4);
    EXPECT_EQ(w.shown.mid(0, 4), (QStringList{QStringLiteral("C:"), QStringLiteral("Q:") + p,
                                              QStringLiteral("S:") + p, QStringLiteral("E:") + p}));
    EXPECT_TRUE(w.shown.contains(QStringLiteral("Q:SQLを実行中")));
    EXPECT_TRUE(w.shown.contains(QStringLiteral("S:統計情報を取得中")));
    EXPECT_TRUE(w.shown.contains(QStringLiteral("E:実行計画を取得中")));
}

TEST_F(DriverTest, PlanOnlyRunsNoStatementAndRemembersNothing) {
    w.options.flgQuery = 0;
    w.count = QStringLiteral("old");
    EXPECT_EQ(execProc(w), 0);
    EXPECT_EQ(w.script->log,
              (QStringList{q(kTrace), q(planDeleteStatement(kTable)),
                           q(explainPlanStatement(kTable, w.sql)), q(planQueryStatement(kTable))}));
    EXPECT_EQ(w.qLine, QString());
    EXPECT_EQ(w.sLine, QString());
    EXPECT_EQ(w.count, QString());
    EXPECT_FALSE(w.data.visible());
    EXPECT_FALSE(w.statGrid.visible());
    EXPECT_TRUE(w.ring.isEmpty());
}

TEST_F(DriverTest, QueryOnlyLeavesThePlanAlone) {
    w.options.flgExplan = 0;
    EXPECT_EQ(execProc(w), 0);
    EXPECT_EQ(w.script->log,
              (QStringList{st(kTrace), q(kTimed), q(kSid), st(kStats), q(w.sql), st(kStats)}));
    EXPECT_EQ(w.eLine, QString());
    EXPECT_FALSE(w.explan.visible());
    EXPECT_EQ(w.ring.size(), 1);
}

TEST_F(DriverTest, OptimizerGoalIsSentAsStoredAndFallsBackToOptimizerMode) {
    w.options.flgExplan = 0;
    w.options.flgOptimizerModify = 1;
    w.options.strOptimizer = QStringLiteral("CHOOSE");
    execProc(w);
    EXPECT_EQ(
        w.script->log.mid(0, 3),
        (QStringList{st(kTrace), q(QStringLiteral("ALTER SESSION SET OPTIMIZER_GOAL = CHOOSE")),
                     q(kTimed)}));

    test::TestRunWindow v;
    v.sql = w.sql;
    v.options.flgExplan = 0;
    v.options.flgOptimizerModify = 1;
    v.options.strOptimizer = QStringLiteral("FIRST_ROWS");
    v.scriptSession(QStringLiteral("42"), {{}, {}});
    v.script->on(QStringLiteral("ALTER SESSION SET OPTIMIZER_GOAL.*"),
                 Reply::fail(QStringLiteral("ORA-01986: OPTIMIZER_GOAL is obsolete")));
    execProc(v);
    EXPECT_EQ(v.script->log.mid(1, 3),
              (QStringList{q(QStringLiteral("ALTER SESSION SET OPTIMIZER_GOAL = FIRST_ROWS")),
                           q(QStringLiteral("ALTER SESSION SET OPTIMIZER_MODE = FIRST_ROWS")),
                           q(kTimed)}));
    EXPECT_EQ(v.sLine, QString()) << "a failing session statement is never shown";
    EXPECT_EQ(v.qLine, QString());
}

TEST_F(DriverTest, RefusalsSendNothingAndChangeNothing) {
    const QString blanks[] = {QString(), QStringLiteral("   "), QStringLiteral(" \n \n"),
                              QStringLiteral("\u3000 \u3000"), QStringLiteral("\n")};
    for (const QString& text : blanks) {
        test::TestRunWindow v;
        v.sql = text;
        v.data.setVisible(true);
        v.eLine = QStringLiteral("kept");
        EXPECT_EQ(execProc(v), 1);
        EXPECT_EQ(v.messages, QStringList{QStringLiteral("SQLを入力してください。")});
        EXPECT_TRUE(v.script->log.isEmpty());
        EXPECT_TRUE(v.shown.isEmpty());
        EXPECT_TRUE(v.data.visible());
    }
    test::TestRunWindow v;
    v.sql = QStringLiteral("select 1 from dual");
    v.options.flgExplan = 0;
    v.options.flgQuery = 0;
    EXPECT_EQ(execProc(v), 1);
    EXPECT_EQ(v.messages,
              QStringList{QStringLiteral("実行オプションを１つ以上指定してください。")});
    EXPECT_TRUE(v.script->log.isEmpty());
}

TEST_F(DriverTest, CarriageReturnsAloneAreNotRefused) {
    test::TestRunWindow v;
    v.sql = QStringLiteral("\r\n\r\n");
    v.options.flgQuery = 0;
    EXPECT_EQ(execProc(v), 0);
    EXPECT_TRUE(v.messages.isEmpty());
    EXPECT_TRUE(v.script->log.contains(q(explainPlanStatement(kTable, v.sql))));
}

TEST_F(DriverTest, FailingSessionStatementsAreNeverShown) {
    w.script->onText(kTrace, Reply::fail(QStringLiteral("ORA-01031: insufficient privileges")));
    w.script->onText(kTimed, Reply::fail(QStringLiteral("ORA-01031: insufficient privileges")));
    execProc(w);
    EXPECT_EQ(w.eLine, QString());
    EXPECT_EQ(w.qLine, QString());
    EXPECT_EQ(w.sLine, QString());
    EXPECT_EQ(w.count, QStringLiteral("120件"));
}

TEST(DriverSessionId, UnreadableVSessionSkipsBothReadings) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("select 1 from dual");
    w.options.flgExplan = 0;
    w.script->onText(kSid, Reply::fail(QStringLiteral("ORA-00942: table or view does not exist")));
    w.script->onText(w.sql, Reply::table({QStringLiteral("1")}, {{1}}));
    execProc(w);
    EXPECT_EQ(w.sLine, QStringLiteral("ORA-00942: table or view does not exist"
                                      "ビュー V$SESSION が存在しないかSELECT権限がありません。"));
    for (const QString& line : w.script->log)
        EXPECT_FALSE(line.contains(QStringLiteral("V$SESSTAT"))) << line.toStdString();
    EXPECT_FALSE(w.statGrid.visible());
    EXPECT_EQ(w.count, QStringLiteral("1件"));
}

TEST(DriverSessionId, OtherFailureLeavesTheIdEmptyAndTheReadingsReport) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("select 1 from dual");
    w.options.flgExplan = 0;
    w.script->onText(
        kSid, Reply::fail(QStringLiteral("Object invalid or no longer set."), kErrObjectInvalid));
    const QString emptySid = QStringLiteral(
        "SELECT *FROM V$SESSTAT A, V$STATNAME B WHERE A.STATISTIC# = B.STATISTIC# and a.sid=''");
    w.script->onText(emptySid, Reply::fail(QStringLiteral("ORA-01722: invalid number")));
    execProc(w);
    EXPECT_TRUE(w.script->log.contains(st(emptySid)));
    EXPECT_EQ(w.sLine,
              QStringLiteral(
                  "ORA-01722: invalid number"
                  "統計情報ビュー V$SESSTAT,V$STATNAME が存在しないかSELECT権限がありません。"));
    EXPECT_FALSE(w.statGrid.visible());
    EXPECT_EQ(w.script->log.count(st(emptySid)), 1) << "the after-reading is skipped";
}

TEST_F(DriverTest, FailingStatementStillReachesTheAfterReadingAndTheRing) {
    w.sql = QStringLiteral("select * from missing");
    w.script->onText(w.sql, Reply::fail(QStringLiteral("ORA-00942: table or view does not exist")));
    w.result.rowCount = 77;
    execProc(w);
    EXPECT_EQ(w.qLine, QStringLiteral("ORA-00942: table or view does not exist"));
    EXPECT_EQ(w.count, QString());
    EXPECT_EQ(w.sLine, QString());
    EXPECT_TRUE(w.statGrid.visible());
    EXPECT_EQ(w.statGrid.text(1, 1), QStringLiteral("4"));
    EXPECT_FALSE(w.data.visible());
    EXPECT_EQ(w.result.rowCount, 77) << "a failed step leaves the count as it was";
    EXPECT_EQ(w.ring, QStringList{w.sql});
}

TEST_F(DriverTest, CountLabelSaysHowManyRowsWereShown) {
    test::TestRunWindow v;
    v.sql = QStringLiteral("select n from big");
    v.options.flgExplan = 0;
    v.scriptSession(QStringLiteral("1"), {{}, {}});
    QList<QVariantList> rows;
    for (int i = 0; i < 1234; ++i)
        rows.append(QVariantList{i});
    v.script->onText(v.sql, Reply::table({QStringLiteral("N")}, rows));
    execProc(v);
    EXPECT_EQ(v.count, QStringLiteral("1234件中1000件まで表示"));
    EXPECT_EQ(v.data.rows(), 1001);

    test::TestRunWindow u;
    u.sql = QStringLiteral("update emp set sal = sal");
    u.options.flgExplan = 0;
    u.scriptSession(QStringLiteral("1"), {{}, {}});
    u.script->onText(u.sql, Reply::updated(3));
    execProc(u);
    EXPECT_EQ(u.count, QStringLiteral("3件"));
    EXPECT_FALSE(u.data.visible());
    EXPECT_FALSE(u.result.rowsOverMax);
}

TEST_F(DriverTest, PlanFailureIsShownWhileTheStatementStillRuns) {
    w.script->on(QStringLiteral("EXPLAIN PLAN.*"),
                 Reply::fail(QStringLiteral("ORA-00942: table or view does not exist")));
    execProc(w);
    EXPECT_EQ(w.eLine, QStringLiteral("ORA-00942: table or view does not exist"));
    EXPECT_FALSE(w.explan.visible());
    EXPECT_EQ(w.count, QStringLiteral("120件"));
}

TEST(DriverText, ValidationTrimAndCountLabel) {
    EXPECT_EQ(trimmedForValidation(QStringLiteral("  sel\nect \t ")), QStringLiteral("select \t"));
    EXPECT_EQ(trimmedForValidation(QStringLiteral("\u3000x\u3000")), QStringLiteral("x"));
    EXPECT_EQ(trimmedForValidation(QStringLiteral("\r\n")), QStringLiteral("\r"));
    EXPECT_EQ(trimmedForValidation(QStringLiteral(" \n \n\u3000")), QString());
    EXPECT_EQ(countLabelText(ResultState{1500, true}, 1000),
              QStringLiteral("1500件中1000件まで表示"));
    EXPECT_EQ(countLabelText(ResultState{5000000000LL, false}, 1000),
              QStringLiteral("5000000000件"));
}
