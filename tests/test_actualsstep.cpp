// What each plan line did: the run session's statistics level, the cursor's plan read from the
// statistics session, the plan grid's figures, marks and notes.
#include "core/tuning/actualsstep.h"
#include "core/tuning/planstep.h"
#include "core/tuning/statistics.h"
#include "core/tuning/tuningrun.h"
#include "core/tuning/xplantext.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {

const QString kLevelAll = u"S: ALTER SESSION SET STATISTICS_LEVEL = ALL"_s.mid(3);

// The cursor's lines: id, parent, depth, operation, options, object, cardinality, starts,
// A-Rows, consistent gets.
Reply cursorRows(const QList<QVariantList>& lines) {
    Reply r = Reply::table(
        u"ID PARENT_ID DEPTH OPERATION OPTIONS OBJECT_OWNER OBJECT_NAME CARDINALITY COST BYTES "
        u"ACCESS_PREDICATES FILTER_PREDICATES LAST_STARTS LAST_OUTPUT_ROWS LAST_CR_BUFFER_GETS "
        u"LAST_CU_BUFFER_GETS LAST_DISK_READS LAST_ELAPSED_TIME PLAN_HASH_VALUE QBLOCK_NAME "
        u"OBJECT_ALIAS OTHER_XML"_s.split(u' '),
        {});
    for (const QVariantList& l : lines)
        r.rows.append(
            {l[0], l[1], l[2], l[3], l[4], u"SCOTT"_s, l[5],   l[6], {}, {}, {}, u"\"SAL\">1000"_s,
             l[7], l[8], l[9], 0,    {},   12345,      987654, {},   {}, {}});
    return r;
}

class ActualsTest : public ::testing::Test {
  protected:
    ActualsTest() {
        w.sql = u"select * from emp where sal > 1000"_s;
        w.scriptSession(u"42"_s, {{{5, u"user calls"_s, 1}}, {{5, u"user calls"_s, 2}}});
        w.script->onText(w.sql, test::numberRows(3));
        w.script->onText(
            planQueryStatement(w.options.planTable()),
            test::planRows({{0, u"SELECT STATEMENT"_s},
                            {1, u"TABLE ACCESS"_s, u"FULL"_s, u"SCOTT"_s, u"EMP"_s, {}, 14}}));
        w.script->onText(
            previousStatementQuery(u"42"_s),
            Reply::table({u"PREV_SQL_ID"_s, u"PREV_CHILD_NUMBER"_s, u"PREV_SQL_ADDR"_s},
                         {{u"7h35uxf5uhmm1"_s, 0, QByteArray::fromHex("0000000071C2A0F8")}}));
    }
    test::TestRunWindow w;
    const QString cursorQuery =
        planStatisticsQuery(u"0000000071C2A0F8"_s, u"7h35uxf5uhmm1"_s, u"0"_s);
};

}  // namespace

// The explained plan with what each line did: the grid's five more columns, the line whose
// rows part from the estimate marked with the factor in its tooltip, the record's figures.
TEST_F(ActualsTest, TheFiguresOfEachLineStandNextToItsEstimates) {
    w.script->onText(
        cursorQuery,
        cursorRows({{0, {}, 0, u"SELECT STATEMENT"_s, {}, {}, {}, 1, 1234, 20},
                    {1, 0, 1, u"TABLE ACCESS"_s, u"FULL"_s, u"EMP"_s, 14, 1, 1234, 20}}));
    const RunRecord run = runTuning(w);
    EXPECT_EQ(w.script->log.mid(w.script->log.size() - 2),
              (QStringList{u"S: "_s + previousStatementQuery(u"42"_s), u"S: "_s + cursorQuery}));
    EXPECT_TRUE(w.script->log.contains(u"Q: "_s + kLevelAll));
    const GridModel& g = w.plan;
    EXPECT_EQ(g.cols(), 9);
    EXPECT_EQ((QStringList{g.text(0, 4), g.text(2, 4), g.text(2, 5), g.text(2, 6), g.text(2, 7),
                           g.text(2, 8)}),
              (QStringList{u"Starts"_s, u"1"_s, u"1234"_s, u"20"_s, {}, u"00:00:00.01"_s}));
    EXPECT_EQ(std::pair(g.rowMarked(1), g.rowMarked(2)), std::pair(false, true));
    EXPECT_EQ(g.rowToolTip(2),
              u"filter: \"SAL\">1000\nE-Rows × Starts = 14, A-Rows = "
              u"1,234（見積りの88.1倍）"_s);
    ASSERT_EQ(run.plan.size(), 2);
    EXPECT_EQ(std::tuple(run.actualsStep.outcome, run.planDiffers, run.planHash,
                         run.plan[1].actuals->rows),
              std::tuple(StepOutcome::Done, false, std::optional<int64_t>(987654),
                         std::optional<int64_t>(1234)));
    EXPECT_TRUE(w.notes.isEmpty());
    // The DBMS_XPLAN copy names the cursor the figures were read from.
    EXPECT_EQ(xplanLines(run, false).mid(0, 5),
              (QStringList{u"SQL_ID  7h35uxf5uhmm1, child number 0"_s, QString(37, u'-'), w.sql,
                           QString(), u"Plan hash value: 987654"_s}));
}

// The top lines of a data-changing statement pass no rows on: their A-Rows of 0 is no
// misestimate, however many rows they changed.
TEST(ActualsMarks, TheLinesThatWriteRowsAreNeverMarked) {
    QList<PlanLine> lines(4);
    const QStringList ops = {u"UPDATE STATEMENT"_s, u"UPDATE"_s, u"LOAD TABLE CONVENTIONAL"_s,
                             u"TABLE ACCESS"_s};
    for (int i = 0; i < 4; ++i)
        lines[i].operation = ops[i], lines[i].cardinality = 500,
        lines[i].actuals = {1, 0, {}, {}, {}};
    GridModel g;
    fillPlanGrid(lines, g);
    EXPECT_EQ(std::tuple(g.rowMarked(1), g.rowMarked(2), g.rowMarked(3), g.rowMarked(4)),
              std::tuple(false, false, false, true));
}

// Binds or a plan that changed since it was explained: the plan that ran is shown, and said so
// where it is seen (the status bar; the first line's tooltip).
TEST_F(ActualsTest, APlanThatRanOtherwiseReplacesTheExplainedOne) {
    w.script->onText(cursorQuery,
                     cursorRows({{0, {}, 0, u"SELECT STATEMENT"_s, {}, {}, {}, 1, 3, 4},
                                 {1, 0, 1, u"INDEX"_s, u"RANGE SCAN"_s, u"IX_SAL"_s, 3, 1, 3, 4}}));
    const RunRecord run = runTuning(w);
    EXPECT_TRUE(run.planDiffers);
    EXPECT_EQ(w.plan.text(2, 0), u" INDEX RANGE SCAN (SCOTT.IX_SAL)"_s);
    EXPECT_TRUE(w.plan.rowToolTip(1).startsWith(kMsgPlanDiffers));
    EXPECT_EQ(w.notes, QStringList{kMsgPlanDiffers});
}

// Without the views (or a server that has none, such as PostgreSQL): one note, no figures,
// nothing else of the run changes.
TEST_F(ActualsTest, UnreadableFiguresAreOneNoteAndTheRunGoesOn) {
    w.script->onText(previousStatementQuery(u"42"_s),
                     Reply::fail(u"ORA-00942: table or view does not exist"_s));
    const RunRecord run = runTuning(w);
    EXPECT_EQ(w.notes, QStringList{kMsgNoActualsViews});
    EXPECT_TRUE(w.plan.rowToolTip(1).startsWith(kMsgNoActualsViews));
    EXPECT_EQ(std::tuple(run.actualsStep.outcome, w.plan.cols(), w.visibleGrids(), w.count),
              std::tuple(StepOutcome::Failed, 4, u"EDS"_s, u"3件"_s));
    w.notes.clear();
    w.script->onText(previousStatementQuery(u"42"_s), Reply::fail(u"ERROR: syntax error"_s));
    runTuning(w);
    EXPECT_EQ(w.notes, QStringList{kMsgActualsFailed + u"ERROR: syntax error"_s});
}

// The level is set on the run's session once per connection, and only when it changes.
TEST_F(ActualsTest, TheStatisticsLevelIsSetOncePerConnectionAsTheOptionSays) {
    auto levels = [&] { return w.script->log.filter(u"STATISTICS_LEVEL"_s); };
    runTuning(w);
    runTuning(w);
    EXPECT_EQ(levels(), QStringList{u"Q: "_s + kLevelAll});
    w.options.set(&Settings::collectActuals, false);
    w.script->log.clear();
    runTuning(w);
    runTuning(w);
    EXPECT_EQ(levels(), QStringList{u"Q: ALTER SESSION SET STATISTICS_LEVEL = TYPICAL"_s});
    EXPECT_FALSE(w.script->log.contains(u"S: "_s + previousStatementQuery(u"42"_s)))
        << "no figures are read when they are not asked for";
}
