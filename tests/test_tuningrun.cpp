#include "core/tuning/actualsstep.h"
#include "core/tuning/hintusage.h"
#include "core/tuning/planstep.h"
#include "core/tuning/runthread.h"
#include "core/tuning/sessionstage.h"
#include "core/tuning/statementfeedback.h"
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
const QString kLevel = u"ALTER SESSION SET STATISTICS_LEVEL = ALL"_s;
const QString kNoTable = u"ORA-00942: table or view does not exist"_s;

// A statement as the script logs it: on the query connection, or else the statistics one.
QString q(const QString& sql, bool query = true) {
    return (query ? u"Q: "_s : u"S: "_s) + sql;
}
// The query session's id and instance, as a run's first reading of statistics asks them (the
// script has no instance to tell, so the statistics session is not asked).
const QStringList kSession = {q(kSidQuery), q(kInstanceQuery)};

// Session 42, whose "user calls" go from 10 to 14, runs a statement returning 1234 rows.
class RunTest : public ::testing::Test {
  protected:
    RunTest() {
        w.sql = u"select * from emp"_s;
        w.scriptSession(u"42"_s, {{{5, u"user calls"_s, 10}}, {{5, u"user calls"_s, 14}}});
        w.script->onText(w.sql, test::numberRows(1234));
        w.script->onText(planQueryStatement(w.options.planTable()),
                         test::planRows({{0, u"SELECT STATEMENT"_s}}));
    }
    QStringList planStatements() const {
        const QString table = w.options.planTable();
        return {q(planDeleteStatement(table)), q(explainPlanStatement(table, w.sql)),
                q(planQueryStatement(table)), q(planPredicatesQuery(table)),
                q(hintUsageQuery(table))};
    }
    test::TestRunWindow w;
};

}  // namespace

// The statements in their order are checked through Oracle's driver (test_oracle_odbc); here
// what each stage shows.
TEST_F(RunTest, BothOptionsShowEachStage) {
    EXPECT_EQ(runTuning(w).outcome, RunOutcome::CarriedOut);
    const QString p = u"Oracle接続中...scott@ORCL"_s;
    EXPECT_EQ(w.shown,
              (QStringList{u"C:"_s, u"Q:"_s + p, u"S:"_s + p, u"E:"_s + p, u"E:実行計画を取得中"_s,
                           u"E:"_s, u"Q:SQLを実行中"_s, u"S:統計情報を取得中"_s, u"Q:"_s,
                           u"C:1234件中1000件まで表示"_s, u"S:"_s}));
    EXPECT_EQ(w.visibleGrids(), u"EDS"_s);
    EXPECT_EQ(w.ring, QStringList{w.sql});
}

TEST_F(RunTest, EachOptionAloneSendsOnlyItsStatements) {
    w.options.set(&Settings::runQuery, false);
    w.count = u"old"_s;
    runTuning(w);
    EXPECT_EQ(w.script->log, QStringList{q(kTrace)} + planStatements());
    EXPECT_EQ(w.lines(), QStringList(4, QString()));
    EXPECT_EQ(w.visibleGrids(), u"E"_s);
    EXPECT_TRUE(w.ring.isEmpty()) << "nothing enters the ring without the statement";

    // A change shows its count, and the statistics but no result grid.
    w.script->log.clear();
    w.options.set(&Settings::runQuery, true);
    w.options.set(&Settings::showPlan, false);
    w.sql = u"update emp set sal = sal"_s;
    w.script->onText(w.sql, Reply::updated(3));
    w.scriptSession(u"7"_s, {{{5, u"user calls"_s, 1}}, {{5, u"user calls"_s, 2}}});
    runTuning(w);
    const QString stats = q(statsQuery(u"7"_s), false);
    EXPECT_EQ(w.script->log,
              (QStringList{q(kTrace, false), q(kTimed), q(kLevel)} + kSession +
               QStringList{stats, q(w.sql), stats, q(previousStatementQuery(u"7"_s), false)}));
    EXPECT_EQ(w.count, u"3件"_s);
    EXPECT_EQ(w.visibleGrids(), u"S"_s);
    EXPECT_EQ(countLabelText(
                  [] {
                      ResultState r;
                      r.rowCount = 5000000000LL;
                      return r;
                  }(),
                  1000),
              u"5000000000件"_s);
    // A stopped count is grouped like the live one; the final count above stays plain.
    EXPECT_EQ(QStringList({stoppedCountText(0), stoppedCountText(999), stoppedCountText(35988000),
                           stoppedCountText(5000000000LL)}),
              (QStringList{u"0件（中止）"_s, u"999件（中止）"_s, u"35,988,000件（中止）"_s,
                           u"5,000,000,000件（中止）"_s}));
}

// The plan is explained with the placeholders as typed; only the statement itself is bound, with
// one value per variable however often it is written.
TEST_F(RunTest, BindVariablesAreBoundOnlyWhereTheStatementRunsAndKeptInTheRecord) {
    w.sql = u"select * from emp where deptno = :Dept and (ename = :who or mgr = :dept)"_s;
    w.values = {{u"who"_s, BindType::Varchar2, u"KING"_s},
                {u"unused"_s, BindType::Number, u"1"_s},
                {u"DEPT"_s, BindType::Number, u"10"_s}};
    const RunRecord record = runTuning(w);
    const QString stats = q(statsQuery(u"42"_s), false);
    EXPECT_EQ(w.script->log,
              (QStringList{q(kTrace, false), q(kTrace), q(kTimed), q(kLevel)} + kSession +
               planStatements() +
               QStringList{stats, q(w.sql + u" [Dept=10 (NUMBER), who=KING (VARCHAR2)]"_s), stats,
                           q(previousStatementQuery(u"42"_s), false)}));
    EXPECT_EQ(record.binds, (BindList{{u"Dept"_s, BindType::Number, u"10"_s},
                                      {u"who"_s, BindType::Varchar2, u"KING"_s}}));
    EXPECT_EQ(w.ring, QStringList{w.sql});
}

TEST_F(RunTest, VariableWithoutAValueRefusesTheRunBeforeAnythingIsSent) {
    w.sql = u"select * from emp where deptno = :dept and ename = :who"_s;
    w.values = {{u"dept"_s, BindType::Number, u"10"_s}};
    EXPECT_EQ(runTuning(w).outcome, RunOutcome::Refused);
    EXPECT_EQ(w.messages,
              QStringList{u"バインド変数 :who の値が指定されていないため、実行できません。"_s});
    EXPECT_TRUE(w.script->log.isEmpty() && w.shown.isEmpty() && w.ring.isEmpty());
    // Explaining alone needs no values.
    w.options.set(&Settings::runQuery, false);
    EXPECT_EQ(runTuning(w).outcome, RunOutcome::CarriedOut);
    EXPECT_EQ(w.script->log, QStringList{q(kTrace)} + planStatements());
}

// A session that may not read V$PARAMETER had Oracle's default goal: the system default brings
// it back after a goal was set, once.
TEST_F(RunTest, TheSystemDefaultGivesTheSessionItsGoalBack) {
    w.options.set(&Settings::showPlan, false);
    w.options.set(&Settings::overrideOptimizer, true);
    w.options.set(&Settings::optimizerGoal, u"FIRST_ROWS"_s);
    w.script->onText(kOwnGoalQuery, Reply::fail(kNoTable));
    runTuning(w);
    w.options.set(&Settings::overrideOptimizer, false);
    runTuning(w);
    runTuning(w);
    EXPECT_EQ(w.script->log.filter(u"OPTIMIZER_"_s),
              (QStringList{q(u"ALTER SESSION SET OPTIMIZER_GOAL = FIRST_ROWS"_s),
                           q(u"ALTER SESSION SET OPTIMIZER_GOAL = ALL_ROWS"_s)}));
}

// Only blanks (half- and full-width) and line feeds make a statement empty.
TEST(Run, BlankStatementOrNoOptionIsRefusedBeforeAnythingIsSentOrHidden) {
    for (const QString& blank : {QString(), u" \n \n"_s, u"\u3000 \u3000"_s}) {
        test::TestRunWindow w;
        w.sql = blank;
        EXPECT_EQ(runTuning(w).outcome, RunOutcome::Refused);
        EXPECT_EQ(w.messages, QStringList{u"SQLを入力してください。"_s});
        EXPECT_TRUE(w.script->log.isEmpty() && w.shown.isEmpty());
        EXPECT_EQ(w.visibleGrids(), u"EDS"_s);
    }
    test::TestRunWindow w;
    w.sql = u"\r\n"_s;
    EXPECT_EQ(runTuning(w).outcome, RunOutcome::CarriedOut);
    w.options.change([](Settings& s) { s.showPlan = s.runQuery = false; });
    w.script->log.clear();
    EXPECT_EQ(runTuning(w).outcome, RunOutcome::Refused);
    EXPECT_EQ(w.messages, QStringList{u"実行オプションを１つ以上指定してください。"_s});
    EXPECT_TRUE(w.script->log.isEmpty());
}

// A control character other than tab, CR and LF is refused before anything is sent, named with
// the line and the character where it stands; the statement reaches no ring.
TEST(Run, ControlCharactersAreRefusedWithTheirPlaceBeforeAnythingIsSent) {
    const struct {
        QString sql;
        QString refusal;  // empty: the statement goes ahead
    } cases[] = {
        {u"select 1\0 from dual"_s, kMsgControlCharacter.arg(1).arg(9).arg(u"U+0000"_s)},
        {u"select 1\r\nfrom dual\x1b"_s, kMsgControlCharacter.arg(2).arg(10).arg(u"U+001B"_s)},
        {u"select 'a'\rfrom \U0001F600\x01"_s, kMsgControlCharacter.arg(2).arg(7).arg(u"U+0001"_s)},
        {u"select\t1\r\nfrom\x7f dual\n"_s, QString()},
    };
    for (const auto& c : cases) {
        test::TestRunWindow w;
        w.sql = c.sql;
        const RunRecord record = runTuning(w);
        if (c.refusal.isEmpty()) {
            EXPECT_EQ(record.outcome, RunOutcome::CarriedOut);
            continue;
        }
        EXPECT_EQ(record.outcome, RunOutcome::Refused);
        EXPECT_EQ(w.messages, QStringList{c.refusal});
        EXPECT_TRUE(w.script->log.isEmpty() && w.shown.isEmpty() && w.ring.isEmpty());
    }
    EXPECT_EQ(kMsgControlCharacter.arg(1).arg(9).arg(u"U+0000"_s),
              u"SQLの1行目9文字目に制御文字 U+0000 が含まれているため、実行できません。"_s);
}

// The session's id from V$SESSION, else from SYS_CONTEXT; without one no statistics are read,
// of some other session or of none, and the line says why.
TEST_F(RunTest, WithoutTheSessionsIdNoStatisticsAreRead) {
    w.options.set(&Settings::showPlan, false);
    const QString eof = u"ORA-03113: end-of-file on communication channel"_s;
    const struct {
        Reply sid, ownSid;
        QString line;
    } cases[] = {
        {Reply::fail(kNoTable), Reply::fail(kNoTable),
         kNoTable + u"ビュー V$SESSION が存在しないかSELECT権限がありません。"_s},
        {Reply::fail(eof), Reply::table({u"SID"_s}, {{u"42"_s}}), eof},
        {Reply::table({u"SID"_s}, {}), Reply::table({u"SID"_s}, {}), kMsgNoSessionId},
    };
    for (const auto& c : cases) {
        w.script->log.clear();
        w.script->onText(kSidQuery, c.sid);
        w.script->onText(kOwnSidQuery, c.ownSid);
        runTuning(w);
        EXPECT_EQ(w.script->log.filter(u"V$SESSTAT"_s), QStringList());
        EXPECT_EQ(std::pair(w.statsLine, w.visibleGrids()), std::pair(c.line, u"D"_s));
    }
}

TEST_F(RunTest, FailingStepsReportAndTheRunGoesOn) {
    w.sql = u"select * from missing"_s;
    w.script->onText(w.sql, Reply::fail(kNoTable));
    w.script->on(u"EXPLAIN PLAN.*"_s, Reply::fail(u"ORA-00904: invalid identifier"_s));
    const RunRecord run = runTuning(w);
    EXPECT_EQ(w.lines(), (QStringList{u"ORA-00904: invalid identifier"_s, kNoTable, {}, {}}));
    EXPECT_EQ(w.visibleGrids(), u"S"_s);
    EXPECT_EQ(w.statistics.text(1, 1), u"4"_s) << "the failed attempt's statistics are shown";
    // The record says which step failed and why; nothing of a failed step is in it.
    EXPECT_EQ((QList<StepOutcome>{run.planStep.outcome, run.resultStep.outcome,
                                  run.statisticsStep.outcome}),
              (QList<StepOutcome>{StepOutcome::Failed, StepOutcome::Failed, StepOutcome::Done}));
    EXPECT_EQ(std::tuple(run.planStep.error, run.resultStep.error, run.plan.size()),
              std::tuple(u"ORA-00904: invalid identifier"_s, kNoTable, qsizetype(0)));
    EXPECT_EQ(w.ring, QStringList{w.sql});

    // A failed after-reading shows its bare description and no statistics.
    const QString eof = u"ORA-03113: end-of-file on communication channel"_s;
    w.script->on(u"SELECT \\*FROM V\\$SESSTAT.*"_s, Reply::fail(eof));
    w.scriptSession(u"42"_s, {{}});
    runTuning(w);
    EXPECT_EQ(w.statsLine, eof);
    EXPECT_EQ(w.visibleGrids(), QString());
}

// Stopped while the plan is explained: no later call of the run reaches the server (the plan
// query, the statement), the stop is sent once, and the statistics after are still read.
TEST_F(RunTest, AStoppedRunSendsNothingMoreButStillReadsTheStatistics) {
    w.runControl.setCancelTarget(std::shared_ptr<Database>(&w.query, [](Database*) {}));
    Reply explained;
    explained.whenAnswered = [this] { w.runControl.requestStop(); };
    w.script->on(u"EXPLAIN PLAN.*"_s, explained);
    const RunRecord run = runTuning(w);
    EXPECT_EQ(run.outcome, RunOutcome::CarriedOut);
    const QString stats = q(statsQuery(u"42"_s), false);
    EXPECT_EQ(w.script->log,
              (QStringList{q(kTrace, false), q(kTrace), q(kTimed), q(kLevel)} + kSession +
               planStatements().mid(0, 2) +
               QStringList{stats, stats, q(previousStatementQuery(u"42"_s), false)}));
    const QString cancelled = u"ORA-01013: user requested cancel of current operation"_s;
    EXPECT_EQ(w.lines(),
              (QStringList{cancelled, cancelled + u"（中止しました）"_s, {}, u"0件（中止）"_s}));
    EXPECT_EQ(w.visibleGrids(), u"S"_s);
    EXPECT_EQ(std::tuple(run.planStep.outcome, run.resultStep.outcome, run.result.stopped),
              std::tuple(StepOutcome::Stopped, StepOutcome::Stopped, true));
    EXPECT_EQ(w.query.cancels, 1) << "a stop is sent once";
}

TEST(Run, AStatisticsReadingWithoutRowsShowsNoGridAndSaysSo) {
    test::TestRunWindow w;
    w.sql = u"select 1 from dual"_s;
    w.options.set(&Settings::showPlan, false);
    w.scriptSession(u"42"_s, {{}, {}});
    w.script->onText(w.sql, test::numberRows(1));
    runTuning(w);
    EXPECT_EQ(std::pair(w.statsLine, w.visibleGrids()), std::pair(kMsgNoStatistics, u"D"_s));
}

// A full-width blank at either end, invisible in the SQL box, never reaches the server; the
// statement ring keeps the text as typed.
TEST(Run, FullWidthBlanksAroundTheStatementAreNotSent) {
    test::TestRunWindow w;
    w.sql = u"\u3000select 1 from dual\u3000\n"_s;
    w.scriptSession(u"42"_s, {{{5, u"user calls"_s, 1}}, {{5, u"user calls"_s, 2}}});
    runTuning(w);
    EXPECT_TRUE(w.script->log.contains(u"Q: select 1 from dual\n"_s));
    EXPECT_TRUE(w.script->log.contains(
        u"Q: "_s + explainPlanStatement(w.options.planTable(), u"select 1 from dual\n"_s)));
    EXPECT_EQ(w.ring, QStringList{w.sql});
    EXPECT_EQ(sqlToSend(u"\u3000 a\u3000b \u3000"_s), u" a\u3000b "_s);
}

// A statement without a result set says what it did, as SQL*Plus says it in Japanese; a query's
// line stays empty, and the count label reads as before either way.
TEST_F(RunTest, AStatementWithoutRowsSaysWhatItDidAndAQueryLeavesTheLineEmpty) {
    w.options.set(&Settings::showPlan, false);
    runTuning(w);
    EXPECT_EQ(std::pair(w.resultLine, w.count), std::pair(QString(), u"1234件中1000件まで表示"_s));
    w.sql = u"  /* nightly */ UPDATE emp SET sal = sal * 1.1\n"_s;
    w.script->onText(sqlToSend(w.sql), Reply::updated(3));
    runTuning(w);
    EXPECT_EQ(std::pair(w.resultLine, w.count), std::pair(u"3行が更新されました。"_s, u"3件"_s));

    const QList<std::pair<QString, QString>> said = {
        {u"insert into t values (1)"_s, u"1行が作成されました。"_s},
        {u"delete t"_s, u"1行が削除されました。"_s},
        {u"merge into t using s on (t.id = s.id) when matched then update set t.v = s.v"_s,
         u"1行がマージされました。"_s},
        {u"create table t (x number)"_s, u"表が作成されました。"_s},
        {u"create global temporary table t (x number)"_s, u"表が作成されました。"_s},
        {u"create unique index ix on t (x)"_s, u"索引が作成されました。"_s},
        {u"create or replace force view v as select 1 x from dual"_s,
         u"ビューが作成されました。"_s},
        {u"create materialized view mv as select 1 x from dual"_s,
         u"マテリアライズド・ビューが作成されました。"_s},
        {u"create sequence s"_s, u"順序が作成されました。"_s},
        {u"create or replace package body p is end;"_s, u"パッケージ本体が作成されました。"_s},
        {u"create public synonym s for t"_s, u"シノニムが作成されました。"_s},
        {u"alter table t add (y number)"_s, u"表が変更されました。"_s},
        {u"alter session set nls_date_format = 'YYYY'"_s, u"セッションが変更されました。"_s},
        {u"drop table t purge"_s, u"表が削除されました。"_s},
        {u"drop index ix"_s, u"索引が削除されました。"_s},
        {u"truncate table t"_s, u"表が切り捨てられました。"_s},
        {u"commit"_s, u"コミットが完了しました。"_s},
        {u"rollback to savepoint a"_s, u"ロールバックが完了しました。"_s},
        {u"savepoint a"_s, u"セーブポイントが作成されました。"_s},
        {u"grant select on t to u"_s, u"権限付与が成功しました。"_s},
        {u"revoke select on t from u"_s, u"権限の取消しが成功しました。"_s},
        {u"begin null; end;"_s, u"PL/SQLプロシージャが正常に完了しました。"_s},
        {u"create database link l connect to u identified by p using 'x'"_s,
         u"データベース・リンクが作成されました。"_s},
        {u"analyze table t compute statistics"_s, u"文が処理されました。"_s},
        {u"create"_s, u"文が処理されました。"_s},
    };
    QStringList got, want;
    for (const auto& [sql, text] : said) {
        got << statementFeedback(sql, 1);
        want << text;
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(statementFeedback(u"update t set x = 1 where 1 = 0"_s, 0),
              u"0行が更新されました。"_s);
}

// The commit mode: nothing is sent for the default; the mode the options ask for is set once on
// the session; a change is pending until COMMIT, ROLLBACK or DDL; in auto-commit COMMIT and
// ROLLBACK say there is nothing to end.
TEST_F(RunTest, TheCommitModeIsSetOnceAndPendingChangesAreTracked) {
    w.script->onText(u"update emp set sal = 1"_s, Reply::updated(3));
    runTuning(w);
    EXPECT_TRUE(w.script->log.filter(u"["_s).isEmpty()) << w.script->log.join(u'\n').toStdString();
    w.sql = u"commit"_s;
    runTuning(w);
    EXPECT_EQ(w.shown.filter(u"Q:"_s).last(), u"Q:"_s + kMsgNothingToCommit);
    w.options.set(&Settings::autoCommit, false);
    for (const QString& sql : {u"update emp set sal = 1"_s, u"select 1 from dual"_s}) {
        w.sql = sql;
        runTuning(w);
        EXPECT_TRUE(w.sessionTransaction.pending) << sql.toStdString();
    }
    EXPECT_EQ(w.script->log.filter(u"["_s), QStringList{q(u"[autocommit off]"_s)});
    w.sql = u"create index ix on emp (sal)"_s;  // Oracle commits before DDL
    runTuning(w);
    EXPECT_FALSE(w.sessionTransaction.pending);
    EXPECT_EQ(commitModeText(w.sessionTransaction, w.options.autoCommit()), kModeManualCommit);
    // Turned on again, the mode is set back at the next run.
    w.options.set(&Settings::autoCommit, true);
    w.script->log.clear();
    runTuning(w);
    EXPECT_EQ(w.script->log.filter(u"["_s), QStringList{q(u"[autocommit on]"_s)});
}

// With 実行後にロールバック a change is measured inside a savepoint, auto-commit off only
// meanwhile, and rolled back once its figures are read; what cannot be undone is refused.
TEST_F(RunTest, AMeasuredChangeIsRolledBackAfterItsFiguresAreRead) {
    w.options.set(&Settings::rollbackAfterRun, true);
    w.sql = u"delete from emp"_s;
    w.script->onText(w.sql, Reply::updated(14));
    const RunRecord record = runTuning(w);
    EXPECT_TRUE(record.rolledBack);
    const QStringList& log = w.script->log;
    const auto at = [&](const QString& entry) { return log.indexOf(entry); };
    const qsizetype explained = at(q(explainPlanStatement(w.options.planTable(), w.sql)));
    const qsizetype off = at(q(u"[autocommit off]"_s)), savepoint = at(q(kMeasureSavepoint));
    const qsizetype before = log.indexOf(q(statsQuery(u"42"_s), false));
    const qsizetype ran = at(q(w.sql)), actuals = at(q(previousStatementQuery(u"42"_s), false));
    const qsizetype undone = at(q(kMeasureRollback)), on = at(q(u"[autocommit on]"_s));
    EXPECT_TRUE(explained < off && off < savepoint && savepoint < before && before < ran &&
                ran < actuals && actuals < undone && undone < on)
        << log.join(u'\n').toStdString();
    EXPECT_EQ(commitModeText(w.sessionTransaction, true), kModeUndone);
    EXPECT_EQ(w.shown.filter(u"Q:"_s).last(), u"Q:14行が削除されました。"_s);
    // A failed rollback leaves the change pending, never committed by auto-commit.
    w.script->log.clear();
    w.script->onText(kMeasureRollback, Reply::fail(u"ORA-01086: savepoint never established"_s));
    runTuning(w);
    EXPECT_TRUE(w.sessionTransaction.pending);
    EXPECT_FALSE(w.script->log.contains(q(u"[autocommit on]"_s)));
    EXPECT_TRUE(w.messages.last().startsWith(kMsgUndoFailed)) << w.messages.last().toStdString();
    // DDL, COMMIT, ROLLBACK and PL/SQL cannot be undone: refused before anything is sent.
    for (const QString& sql :
         {u"create table t (a number)"_s, u"commit"_s, u"rollback"_s, u"begin null; end;"_s}) {
        w.sql = sql;
        w.script->log.clear();
        EXPECT_EQ(runTuning(w).outcome, RunOutcome::Refused) << sql.toStdString();
        EXPECT_TRUE(w.script->log.isEmpty());
        EXPECT_EQ(w.messages.last(), kMsgCannotUndo);
    }
}

// An exception that the run lets out (memory running out in a driver) ends the run with a record
// that says so, on its thread, rather than the program.
TEST_F(RunTest, AnExceptionTheRunLetsOutEndsItWithItsText) {
    Reply failing = test::numberRows(1);
    failing.whenAnswered = [] { throw std::bad_alloc(); };
    w.script->onText(w.sql, failing);
    std::optional<QString> told;
    const auto run =
        RunThread::start(w, nullptr, [&](const RunRecord& r) { told = r.internalError; });
    ASSERT_TRUE(run->wait(10'000));
    EXPECT_EQ(std::pair(told, run->record().internalError),
              std::pair(std::optional(u"std::bad_alloc"_s), std::optional(u"std::bad_alloc"_s)));
}
