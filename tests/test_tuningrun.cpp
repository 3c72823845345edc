#include "core/tuning/planstep.h"
#include "core/tuning/statistics.h"
#include "core/tuning/tuningrun.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {

const QString kTrace = u"ALTER SESSION SET SQL_TRACE=FALSE"_s;
const QString kTimed = u"ALTER SESSION SET TIMED_STATISTICS=TRUE"_s;
const QString kSid = u"select SID from v$session where audsid = userenv('SESSIONID')"_s;
const QString kTable = u"QUERVIN$PLAN_TABLE"_s;
const QString kNoTable = u"ORA-00942: table or view does not exist"_s;

QString q(const QString& s) {
    return u"Q: "_s + s;
}
QString st(const QString& s) {
    return u"S: "_s + s;
}

QList<QVariantList> numbers(int n) {
    QList<QVariantList> rows;
    for (int i = 0; i < n; ++i)
        rows.append(QVariantList{i});
    return rows;
}

class DriverTest : public ::testing::Test {
  protected:
    DriverTest() {
        w.sql = u"select * from emp"_s;
        w.scriptSession(u"42"_s, {{{5, u"user calls"_s, 10}, {7, u"sorts"_s, 3}},
                                  {{5, u"user calls"_s, 14}, {7, u"sorts"_s, 3}}});
        w.script->onText(w.sql, Reply::table({u"EMPNO"_s}, numbers(120)));
    }
    QStringList planStatements() const {
        return {q(planDeleteStatement(kTable)), q(explainPlanStatement(kTable, w.sql)),
                q(planQueryStatement(kTable))};
    }
    test::TestRunWindow w;
};

}  // namespace

TEST_F(DriverTest, BothOptionsSendEveryStatementInOrderAndEndWithEmptyLines) {
    EXPECT_EQ(runTuning(w), RunOutcome::CarriedOut);
    const QStringList head = {st(kTrace), q(kTrace), q(kTimed), q(kSid)};
    const QStringList tail = {st(statsQuery(u"42"_s)), q(w.sql), st(statsQuery(u"42"_s))};
    EXPECT_EQ(w.script->log, head + planStatements() + tail);
    EXPECT_EQ(w.lines(), (QStringList{{}, {}, {}, u"120件"_s}));
    EXPECT_EQ(w.visibleGrids(), u"EDS"_s);
    EXPECT_EQ(w.ring, QStringList{w.sql});
    // Progress texts come first: query, statistics, plan; then each stage's own.
    const QString p = u"Oracle接続中...scott@ORCL"_s;
    EXPECT_EQ(w.shown.mid(0, 4), (QStringList{u"C:"_s, u"Q:"_s + p, u"S:"_s + p, u"E:"_s + p}));
    for (const QString& t : {u"Q:SQLを実行中"_s, u"S:統計情報を取得中"_s, u"E:実行計画を取得中"_s})
        EXPECT_TRUE(w.shown.contains(t)) << t.toStdString();
}

TEST_F(DriverTest, EachOptionAloneSendsOnlyItsStatements) {
    w.options.runQuery = false;
    w.count = u"old"_s;
    EXPECT_EQ(runTuning(w), RunOutcome::CarriedOut);
    EXPECT_EQ(w.script->log, QStringList{q(kTrace)} + planStatements());
    EXPECT_EQ(w.lines(), (QStringList{{}, {}, {}, {}}));
    EXPECT_EQ(w.visibleGrids(), u"E"_s);
    EXPECT_TRUE(w.ring.isEmpty()) << "nothing enters the ring without the statement";

    test::TestRunWindow v;
    v.sql = w.sql;
    v.options.showPlan = false;
    v.scriptSession(u"7"_s, {{}, {}});
    runTuning(v);
    EXPECT_EQ(v.script->log, (QStringList{st(kTrace), q(kTimed), q(kSid), st(statsQuery(u"7"_s)),
                                          q(v.sql), st(statsQuery(u"7"_s))}));
    EXPECT_EQ(v.visibleGrids(), u"DS"_s);
}

TEST_F(DriverTest, OptimizerGoalIsSentAsStoredAndFallsBackToOptimizerMode) {
    w.options.overrideOptimizer = true;
    w.options.optimizerGoal = u"CHOOSE"_s;
    runTuning(w);
    EXPECT_EQ(w.script->log.mid(2, 2),
              (QStringList{q(u"ALTER SESSION SET OPTIMIZER_GOAL = CHOOSE"_s), q(kTimed)}));

    w.script->log.clear();
    w.options.optimizerGoal = u"FIRST_ROWS"_s;
    w.script->on(u"ALTER SESSION SET OPTIMIZER_GOAL.*"_s,
                 Reply::fail(u"ORA-01986: OPTIMIZER_GOAL is obsolete"_s));
    w.script->onText(kTrace, Reply::fail(u"ORA-01031: insufficient privileges"_s));
    runTuning(w);
    EXPECT_EQ(w.script->log.mid(2, 3),
              (QStringList{q(u"ALTER SESSION SET OPTIMIZER_GOAL = FIRST_ROWS"_s),
                           q(u"ALTER SESSION SET OPTIMIZER_MODE = FIRST_ROWS"_s), q(kTimed)}));
    EXPECT_EQ(w.lines(), (QStringList{{}, {}, {}, u"120件"_s}))
        << "failing session statements are never shown";
}

TEST_F(DriverTest, RefusalsSendNothingAndChangeNothing) {
    for (const QString& text : {QString(), u"   "_s, u" \n \n"_s, u"\u3000 \u3000"_s, u"\n"_s}) {
        test::TestRunWindow v;
        v.sql = text;
        EXPECT_EQ(runTuning(v), RunOutcome::Refused);
        EXPECT_EQ(v.messages, QStringList{u"SQLを入力してください。"_s});
        EXPECT_TRUE(v.script->log.isEmpty());
        EXPECT_TRUE(v.shown.isEmpty());
        EXPECT_EQ(v.visibleGrids(), u"EDS"_s);
    }
    w.options.showPlan = false;
    w.options.runQuery = false;
    EXPECT_EQ(runTuning(w), RunOutcome::Refused);
    EXPECT_EQ(w.messages, QStringList{u"実行オプションを１つ以上指定してください。"_s});
    EXPECT_TRUE(w.script->log.isEmpty());

    // Carriage returns remain after the line feeds go: not refused.
    w.options.showPlan = true;
    w.sql = u"\r\n\r\n"_s;
    EXPECT_EQ(runTuning(w), RunOutcome::CarriedOut);
}

TEST(DriverSessionId, UnreadableVSessionSkipsBothReadings) {
    test::TestRunWindow w;
    w.sql = u"select 1 from dual"_s;
    w.options.showPlan = false;
    w.script->onText(kSid, Reply::fail(kNoTable));
    w.script->onText(w.sql, Reply::table({u"1"_s}, {{1}}));
    runTuning(w);
    EXPECT_EQ(w.lines(),
              (QStringList{{},
                           {},
                           kNoTable + u"ビュー V$SESSION が存在しないかSELECT権限がありません。"_s,
                           u"1件"_s}));
    EXPECT_EQ(w.script->log.filter(u"V$SESSTAT"_s), QStringList());
    EXPECT_EQ(w.visibleGrids(), u"D"_s);
}

TEST(DriverSessionId, OtherFailureLeavesTheIdEmptyAndTheReadingsReport) {
    test::TestRunWindow w;
    w.sql = u"select 1 from dual"_s;
    w.options.showPlan = false;
    w.script->onText(kSid, Reply::fail(u"Object invalid or no longer set."_s, kErrObjectInvalid));
    w.script->onText(statsQuery(QString()), Reply::fail(u"ORA-01722: invalid number"_s));
    runTuning(w);
    EXPECT_EQ(w.script->log.count(st(statsQuery(QString()))), 1) << "no after-reading";
    EXPECT_EQ(w.statsLine,
              u"ORA-01722: invalid number統計情報ビュー V$SESSTAT,V$STATNAME "
              u"が存在しないかSELECT権限がありません。"_s);
    EXPECT_EQ(w.visibleGrids(), u"D"_s);
}

TEST_F(DriverTest, FailingStepsReportAndTheRunGoesOn) {
    w.sql = u"select * from missing"_s;
    w.script->onText(w.sql, Reply::fail(kNoTable));
    w.script->on(u"EXPLAIN PLAN.*"_s, Reply::fail(u"ORA-00904: invalid identifier"_s));
    w.result.rowCount = 77;
    runTuning(w);
    EXPECT_EQ(w.lines(), (QStringList{u"ORA-00904: invalid identifier"_s, kNoTable, {}, {}}));
    EXPECT_EQ(w.visibleGrids(), u"S"_s);
    EXPECT_EQ(w.statistics.text(1, 1), u"4"_s) << "the failed attempt's statistics are shown";
    EXPECT_EQ(w.result.rowCount, 77) << "a failed step leaves the count as it was";
    EXPECT_EQ(w.ring, QStringList{w.sql});
}

TEST_F(DriverTest, CountLabelSaysHowManyRowsWereShown) {
    w.options.showPlan = false;
    w.script->onText(w.sql, Reply::table({u"N"_s}, numbers(1234)));
    runTuning(w);
    EXPECT_EQ(w.count, u"1234件中1000件まで表示"_s);
    EXPECT_EQ(w.data.rows(), 1001);

    w.sql = u"update emp set sal = sal"_s;
    w.script->onText(w.sql, Reply::updated(3));
    w.scriptSession(u"42"_s, {{}, {}});
    runTuning(w);
    EXPECT_EQ(w.count, u"3件"_s);
    EXPECT_EQ(w.visibleGrids(), u"S"_s);
}

TEST(DriverText, ValidationTrimAndCountLabel) {
    EXPECT_EQ(trimmedForValidation(u"  sel\nect \t "_s), u"select \t"_s);
    EXPECT_EQ(trimmedForValidation(u"\u3000x\u3000"_s), u"x"_s);
    EXPECT_EQ(trimmedForValidation(u"\r\n"_s), u"\r"_s);
    EXPECT_EQ(trimmedForValidation(u" \n \n\u3000"_s), QString());
    EXPECT_EQ(countLabelText(ResultState{5000000000LL, false}, 1000), u"5000000000件"_s);
}
