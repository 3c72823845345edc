#include "core/tuning/actualsstep.h"
#include "core/tuning/hintusage.h"
#include "core/tuning/planfigures.h"
#include "core/tuning/planstep.h"
#include "core/tuning/tuningrun.h"
#include "core/tuning/xplantext.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {

const QString kTable = u"QUERVIN$PLAN_TABLE"_s;
const QString kMissing = u"[Oracle][ODBC][Ora]ORA-02404: plan table not found"_s;

using test::planRows;

QStringList row(const GridModel& g, int r) {
    return {g.text(r, 0), g.text(r, 1), g.text(r, 2), g.text(r, 3)};
}

class PlanTest : public ::testing::Test {
  protected:
    PlanTest() {
        w.sql = u"select * from emp"_s;
        w.plan.setVisible(false);
        w.script->onText(
            planQueryStatement(kTable),
            planRows({{0, u"SELECT STATEMENT"_s, {}, {}, {}, {}, {}, {}, {}, u"CHOOSE"_s},
                      {1, u"TABLE ACCESS"_s, u"FULL"_s, u"SCOTT"_s, u"EMP"_s, {}, 14, {}, 512}}));
    }
    test::TestRunWindow w;
    RunState r;
};

}  // namespace

TEST_F(PlanTest, PresentTableGivesTheTreeWithExactStatements) {
    planStage(w, r);
    EXPECT_EQ(
        w.script->log,
        (QStringList{
            u"Q: delete from QUERVIN$PLAN_TABLE where statement_id = 'QUERVIN'"_s,
            u"Q: EXPLAIN PLAN SET STATEMENT_ID = 'QUERVIN'  INTO  QUERVIN$PLAN_TABLE FOR "
            u"select * from emp"_s,
            u"Q: SELECT id,timestamp,LEVEL - 1, OPERATION, OPTIONS, OBJECT_OWNER, OBJECT_NAME, "
            u"OBJECT_TYPE, CARDINALITY,COST, BYTES, OPTIMIZER FROM QUERVIN$PLAN_TABLE START "
            u"WITH ID = 0 and STATEMENT_ID = 'QUERVIN' CONNECT BY PRIOR ID = PARENT_ID AND "
            u"STATEMENT_ID = 'QUERVIN' ORDER BY timestamp,ID, PARENT_ID, POSITION"_s,
            u"Q: SELECT ID, ACCESS_PREDICATES, FILTER_PREDICATES FROM QUERVIN$PLAN_TABLE WHERE "
            u"STATEMENT_ID = 'QUERVIN' ORDER BY ID"_s,
            u"Q: SELECT * FROM QUERVIN$PLAN_TABLE WHERE STATEMENT_ID = 'QUERVIN' ORDER BY ID"_s}))
        << "the predicates and the hints' usage are asked for";
    const GridModel& g = w.plan;
    EXPECT_TRUE(g.visible());
    EXPECT_EQ((QList<int>{g.rows(), g.cols(), g.fixedRows(), g.fixedCols(), g.colWidth(0),
                          g.colWidth(1), g.colWidth(2), g.colWidth(3)}),
              (QList<int>{3, 4, 1, 0, 5000, 1200, 600, 600}));
    EXPECT_EQ(row(g, 0), (QStringList{u"Operation"_s, u"Cardinality"_s, u"Cost"_s, u"Byte"_s}));
    EXPECT_EQ(row(g, 1), (QStringList{u"SELECT STATEMENT OPTIMIZER = CHOOSE"_s, {}, {}, {}}));
    EXPECT_EQ(row(g, 2), (QStringList{u" TABLE ACCESS FULL (SCOTT.EMP)"_s, u"14"_s, {}, u"512"_s}));

    // Oracle's own plan table has them: each line's tooltip and the record carry them.
    w.script->on(u"SELECT ID, ACCESS_PREDICATES.*"_s,
                 Reply::table({u"ID"_s, u"ACCESS_PREDICATES"_s, u"FILTER_PREDICATES"_s},
                              {{1, {}, u"\"SAL\">1000"_s}}));
    planStage(w, r);
    EXPECT_EQ(std::pair(g.rowToolTip(2), r.record.plan[1].filterPredicates),
              std::pair(u"filter: \"SAL\">1000"_s, u"\"SAL\">1000"_s));
    EXPECT_EQ(predicateInformation(r.record.plan, u"\n"_s),
              u"Predicate Information (identified by operation id):\n"
              u"---------------------------------------------------\n\n"
              u"   1 - filter(\"SAL\">1000)\n"_s);
}

TEST_F(PlanTest, MissingTableAnsweredYesIsCreatedAndExplainedAgain) {
    const QString explain = explainPlanStatement(kTable, w.sql);
    w.script->onText(explain, Reply::fail(kMissing), 1);
    w.script->on(u"delete from .*"_s, Reply::fail(kMissing));
    w.answers = {Answer::Yes};
    planStage(w, r);
    EXPECT_EQ(w.questions,
              QStringList{u"実行計画表 QUERVIN$PLAN_TABLE が存在しません。作成しますか？"_s});
    ASSERT_GE(w.script->log.size(), 4);
    EXPECT_EQ(w.script->log[1], u"Q: "_s + explain);
    EXPECT_EQ(w.script->log[3], u"Q: "_s + explain);
    // The columns every plan table has, in their order, then what Oracle 19c's EXPLAIN PLAN
    // fills besides: predicates, query blocks and object aliases, OTHER_XML.
    const QString create = w.script->log[2];
    EXPECT_TRUE(
        create.startsWith(u"Q: create table QUERVIN$PLAN_TABLE (statement_id    "
                          u"varchar2(30),timestamp       date,remarks         "
                          u"varchar2(80),operation       varchar2(30)"_s))
        << create.toStdString();
    qsizetype at = 0;
    for (const char* column :
         {"object_name     varchar2(128)", "id      numeric", "other       long", "object_alias",
          "other_xml   clob", "access_predicates", "filter_predicates", "qblock_name"}) {
        const qsizetype next = create.indexOf(QLatin1StringView(column), at);
        EXPECT_GT(next, at) << column;
        at = std::max(at, next);
    }
    EXPECT_TRUE(w.plan.visible());
}

TEST_F(PlanTest, MissingTableDeclinedLeavesAnEmptyHiddenGridAndSaysSo) {
    w.options.set(&Settings::planTable, u"MY_PLAN"_s);
    w.script->on(u"EXPLAIN PLAN.*"_s, Reply::fail(kMissing));
    for (Answer a : {Answer::No, Answer::Cancel}) {
        w.script->log.clear();
        w.answers = {a};
        w.plan.setText(1, 0, u"old"_s);
        planStage(w, r);
        EXPECT_EQ(w.planLine, kMissing + u"実行計画表 MY_PLAN が存在しません。"_s);
        EXPECT_EQ(w.plan.text(1, 0), QString()) << "cleared before the question";
        EXPECT_FALSE(w.plan.visible());
        EXPECT_EQ(w.script->log.size(), 2);
    }
}

// A plan table name that reached the settings some other way is still never pasted into SQL.
TEST_F(PlanTest, ANameThatIsNotATableNameIsRefusedBeforeAnythingIsSent) {
    w.options.set(&Settings::planTable, u"customers --"_s);
    planStage(w, r);
    EXPECT_EQ(w.planLine, u"ORA-00903: invalid table name"_s);
    EXPECT_TRUE(w.script->log.isEmpty());
}

TEST_F(PlanTest, OnlyOdbcFailuresGetTheirExplanation) {
    const QString priv = u"ORA-01039: insufficient privileges on underlying objects of the view"_s;
    w.script->on(u"EXPLAIN PLAN.*"_s, Reply::fail(priv), 1);
    planStage(w, r);
    EXPECT_EQ(w.planLine, priv + u"実表のアクセス権限がありません。"_s);
    w.script->on(u"EXPLAIN PLAN.*"_s, Reply::fail(u"ORA-02404 elsewhere"_s, 5), 1);
    planStage(w, r);
    EXPECT_EQ(w.planLine, u"ORA-02404 elsewhere"_s);
    EXPECT_TRUE(w.questions.isEmpty());
}

TEST_F(PlanTest, EachPlanHasItsOwnRowCountAndStepsAreIndentedByDepth) {
    for (int n : {10, 3}) {
        QList<QVariantList> steps;
        for (int i = 0; i < n; ++i)
            steps.append({i, u"STEP"_s});
        w.script->onText(planQueryStatement(kTable), planRows(steps), 1);
        planStage(w, r);
        EXPECT_EQ(w.plan.rows(), n + 1);
    }
    EXPECT_EQ(w.plan.text(3, 0), u"  STEP"_s);

    // A plan query that finds nothing leaves no plan of an earlier statement on show.
    w.plan.setVisible(false);
    w.script->onText(planQueryStatement(kTable), planRows({}), 1);
    planStage(w, r);
    EXPECT_EQ(w.planLine,
              u"実行計画表 QUERVIN$PLAN_TABLE からこの文の実行計画が得られませんでした。"_s);
    EXPECT_EQ(std::tuple(w.plan.visible(), w.plan.text(3, 0), r.record.planStep.outcome),
              std::tuple(false, QString(), StepOutcome::Failed));
    PlanLine line;
    line.depth = 1;
    line.operation = u"INDEX"_s;
    line.options = u"UNIQUE SCAN"_s;
    line.objectName = u"PK_EMP"_s;
    line.objectType = u"UNIQUE"_s;
    line.optimizer = u"ANALYZED"_s;
    EXPECT_EQ(line.text(), u" INDEX UNIQUE SCAN (.PK_EMP) UNIQUE OPTIMIZER = ANALYZED"_s);
}

// Counts shrink by powers of 1000 and sizes by powers of 1024, each form shorter than the last
// and never rounded down to nothing; text that is no whole figure stays as it is.
TEST(PlanFigures, ShortFormsFollowDbmsXplansUnitsAndRounding) {
    using Forms = QStringList;
    EXPECT_EQ(shortFigureForms(u"62336"_s, FigureScale::Binary), (Forms{u"62336"_s, u"61K"_s}));
    EXPECT_EQ(shortFigureForms(u"62336"_s, FigureScale::Decimal), (Forms{u"62336"_s, u"62K"_s}));
    EXPECT_EQ(shortFigureForms(u"122600820"_s, FigureScale::Decimal),
              (Forms{u"122600820"_s, u"122601K"_s, u"123M"_s}));
    EXPECT_EQ(shortFigureForms(u"104857600"_s, FigureScale::Binary),
              (Forms{u"104857600"_s, u"102400K"_s, u"100M"_s}));
    EXPECT_EQ(shortFigureForms(u"3710000000000"_s, FigureScale::Decimal),
              (Forms{u"3710000000000"_s, u"3710000000K"_s, u"3710000M"_s, u"3710G"_s, u"4T"_s}));
    EXPECT_EQ(shortFigureForms(u"999"_s, FigureScale::Decimal), (Forms{u"999"_s, u"1K"_s}));
    EXPECT_EQ(shortFigureForms(u"12"_s, FigureScale::Decimal), (Forms{u"12"_s}));
    for (const QString& text : {QString(), u"2.5"_s, u"-1500"_s, u"+1500"_s, u"n/a"_s})
        EXPECT_EQ(shortFigureForms(text, FigureScale::Decimal), Forms{text}) << text.toStdString();

    QStringList scales;
    for (const QString& heading : kPlanHeadings + kActualHeadings) {
        const auto scale = planFigureScale(heading);
        scales << (!scale ? u"-"_s : *scale == FigureScale::Binary ? u"B"_s : u"D"_s);
    }
    EXPECT_EQ(scales.join(QString()), u"-DDBDDDD-"_s);
}

// A run's plan as DBMS_XPLAN.DISPLAY_CURSOR(format => 'ALLSTATS LAST +COST +BYTES') prints it:
// the cursor, the hash, the columns that have figures (units of 1000, bytes of 1024), '*' on
// the lines that the Predicate Information numbers, then the Hint Report.
TEST(XplanText, TheRunsPlanIsLaidOutAsDbmsXplanPrintsIt) {
    // At most five characters: 9999K, then 10M.
    EXPECT_EQ(xplanFigure(9999500, FigureScale::Decimal), u"10M"_s);
    RunRecord run;
    run.sql = u"select * from a join b on a.id = b.id  \n\n where b.n > 0;"_s;
    run.sqlId = u"g4b5xkq6z7ab1"_s;
    run.childNumber = 0;
    run.planHash = 2743124183;
    // "OPERATION[/OPTIONS/NAME]" at depth min(id, 2).
    const auto line = [&](int id, const QString& op, QVariantList estimates, PlanLineActuals a) {
        PlanLine l;
        l.id = id;
        l.depth = std::min(id, 2);
        const QStringList parts = op.split(u'/');
        l.operation = parts[0];
        if (parts.size() == 3)
            l.options = parts[1], l.objectName = parts[2];
        l.cardinality = estimates[0], l.bytes = estimates[1], l.cost = estimates[2];
        l.actuals = a;
        run.plan << l;
    };
    line(0, u"SELECT STATEMENT"_s, {{}, {}, 18536}, {1, 50, 17633, 238, 380000});
    line(1, u"HASH JOIN"_s, {3735000, 96468992, 18536}, {1, 50, 17633, 238, 380000});
    line(2, u"TABLE ACCESS/FULL/A"_s, {1352000, 11534336, 4825}, {1, 1352000, 17630, 0, 120000});
    line(3, u"TABLE ACCESS/FULL/B"_s, {14, 38, 3}, {1, 14, 3, {}, 10000});
    run.plan[1].accessPredicates = u"\"A\".\"ID\"=\"B\".\"ID\""_s;
    run.plan[3].filterPredicates = u"\"B\".\"N\">0"_s;
    run.plan[0].hintReport =
        u"Hint Report (identified by operation id / Query Block Name / "
        u"Object Alias):\nTotal hints for statement: 1"_s;
    const QString rule(110, u'-');
    EXPECT_EQ(
        xplanText(run, false),
        u"SQL_ID  g4b5xkq6z7ab1, child number 0\n"
        u"-------------------------------------\n"
        u"select * from a join b on a.id = b.id\n"
        u" where b.n > 0;\n\n"
        u"Plan hash value: 2743124183\n\n"_s +
            rule +
            u"\n| Id  | Operation          | Name | Starts | E-Rows |E-Bytes| Cost  | A-Rows |   "
            u"A-Time   | Buffers | Reads  |\n"_s +
            rule +
            u"\n|   0 | SELECT STATEMENT   |      |      1 |        |       | 18536 |     50 "
            u"|00:00:00.38 |   17633 |    238 |\n"
            u"|*  1 |  HASH JOIN         |      |      1 |   3735K|    92M| 18536 |     50 "
            u"|00:00:00.38 |   17633 |    238 |\n"
            u"|   2 |   TABLE ACCESS FULL| A    |      1 |   1352K|    11M|  4825 |   1352K"
            u"|00:00:00.12 |   17630 |      0 |\n"
            u"|*  3 |   TABLE ACCESS FULL| B    |      1 |     14 |    38 |     3 |     14 "
            u"|00:00:00.01 |       3 |        |\n"_s +
            rule +
            u"\n\nPredicate Information (identified by operation id):\n"
            u"---------------------------------------------------\n\n"
            u"   1 - access(\"A\".\"ID\"=\"B\".\"ID\")\n"
            u"   3 - filter(\"B\".\"N\">0)\n\n"
            u"Hint Report (identified by operation id / Query Block Name / Object Alias):\n"
            u"Total hints for statement: 1\n"_s);
    // Without figures of the run, their columns are left out.
    for (PlanLine& l : run.plan)
        l.actuals.reset();
    EXPECT_EQ(xplanLines(run, false)[8],
              u"| Id  | Operation          | Name | E-Rows |E-Bytes| Cost  |"_s);
}

// Oracle 19c keeps the hint usage in OTHER_XML without plan lines: each hint is placed by the
// query block and object alias the lines name, an object's under the line's own (final) query
// block, a merged block's where its objects are read.
TEST(HintReport, OraclesHintUsageIsPlacedByQueryBlockAndObjectAlias) {
    const QString xml =
        uR"(<other_xml><info type="db_version">19.0.0.0</info><hint_usage>
<s><h o="EM"><x><![CDATA[ALL_ROWS]]></x></h></s>
<q><n><![CDATA[SEL$1]]></n><h o="EM" st="PE"><x><![CDATA[FULLL]]></x></h>
<t><f><![CDATA["E"@"SEL$1"]]></f><h o="EM"><x><![CDATA[FULL(e)]]></x></h>
<h o="EM" st="NU"><x><![CDATA[INDEX(e ix)]]></x><r><![CDATA[index specified in the hint doesn't exist]]></r></h></t></q>
<q><n><![CDATA[SEL$2]]></n><t><f><![CDATA["D"@"SEL$2"]]></f>
<h o="EM" st="UR"><x><![CDATA[FULL(x)]]></x></h></t></q></hint_usage></other_xml>)"_s;
    auto script = std::make_shared<test::Script>();
    script->onText(hintUsageQuery(kTable),
                   Reply::table({u"ID"_s, u"QBLOCK_NAME"_s, u"OBJECT_ALIAS"_s, u"OTHER_XML"_s},
                                {{0, QVariant(), QVariant(), xml},
                                 {1, u"SEL$58A6D7F6"_s, QVariant(), QVariant()},
                                 {2, u"SEL$58A6D7F6"_s, u"\"D\"@\"SEL$2\""_s, QVariant()},
                                 {3, u"SEL$58A6D7F6"_s, u"\"E\"@\"SEL$1\""_s, QVariant()}}));
    test::ScriptedDatabase db(u"Q"_s, script);
    QList<PlanLine> lines(4);
    for (int i = 0; i < 4; ++i)
        lines[i].id = i;
    addHintReport(db, kTable, lines);
    EXPECT_EQ(lines.first().hintReport.split(u'\n'),
              (QStringList{
                  u"Hint Report (identified by operation id / Query Block Name / Object Alias):"_s,
                  u"Total hints for statement: 5 (U - Unused (1), N - Unresolved (1), E - Syntax "
                  u"error (1))"_s,
                  QString(75, u'-'), QString(), u"   0 -  STATEMENT"_s, u"           -  ALL_ROWS"_s,
                  QString(), u"   2 -  SEL$58A6D7F6 / D@SEL$2"_s, u"         N -  FULL(x)"_s,
                  QString(), u"   3 -  SEL$1"_s, u"         E -  FULLL"_s, QString(),
                  u"   3 -  SEL$58A6D7F6 / E@SEL$1"_s, u"           -  FULL(e)"_s,
                  u"         U -  INDEX(e ix) / index specified in the hint doesn't exist"_s}));
}

namespace {

// Two windows' plan-only runs of their own statements on one scripted server, whose plan table
// holds the plan of the statement explained last.
struct TwoWindows {
    std::shared_ptr<test::Script> script = std::make_shared<test::Script>();
    PlanStepLock lock;
    test::TestRunWindow a{script}, b{script};
    QString explainedLast;  // guarded by the script's mutex
    std::atomic<int> explained{0};

    // `meanwhile` runs when a window's EXPLAIN PLAN is answered, before it reads its plan.
    explicit TwoWindows(const std::function<void()>& meanwhile) {
        a.sql = u"select * from emp"_s;
        b.sql = u"select * from dept"_s;
        for (test::TestRunWindow* w : {&a, &b}) {
            w->planLock = &lock;
            w->options.set(&Settings::runQuery, false);
            Reply explain;
            const QString table = w->sql.section(u' ', -1).toUpper();
            explain.whenAnswered = [this, table, meanwhile] {
                {
                    std::lock_guard hold(script->mutex);
                    explainedLast = table;
                }
                ++explained;
                meanwhile();
            };
            script->onText(explainPlanStatement(kTable, w->sql), explain);
        }
        Reply plan = planRows({});
        plan.rowsNow = [this] {
            std::lock_guard hold(script->mutex);
            return planRows({{0, u"SELECT STATEMENT"_s},
                             {1, u"TABLE ACCESS"_s, u"FULL"_s, u"SCOTT"_s, explainedLast}})
                .rows;
        };
        script->onText(planQueryStatement(kTable), plan);
    }
};

QString tableRead(const RunRecord& run) {
    return run.plan.value(1).objectName.value_or(QString());
}

}  // namespace

// However the server interleaves two windows' plan steps, each reads the plan of its own
// statement: the other window explains only once this one has read its plan.
TEST(PlanStepLock, EachWindowReadsThePlanOfItsOwnStatement) {
    TwoWindows* both = nullptr;
    TwoWindows windows([&] {
        // Until the other window has explained too, or waits for its turn.
        while (both->explained < 2 && both->lock.waiting() == 0)
            std::this_thread::yield();
    });
    both = &windows;
    RunRecord a, b;
    std::thread first([&] { a = runTuning(windows.a); });
    std::thread second([&] { b = runTuning(windows.b); });
    first.join();
    second.join();
    EXPECT_EQ(std::pair(tableRead(a), tableRead(b)), std::pair(u"EMP"_s, u"DEPT"_s));
}

// A window stopped while another holds the plan step stops at once, having sent nothing of it.
TEST(PlanStepLock, AStopWhileWaitingForTheTurnEndsTheRunAtOnce) {
    TwoWindows* both = nullptr;
    std::atomic<bool> secondEnded{false};
    TwoWindows windows([&] {
        while (both->lock.waiting() == 0)
            std::this_thread::yield();
        both->b.runControl.requestStop();
        while (!secondEnded)
            std::this_thread::yield();
    });
    both = &windows;
    RunRecord a, b;
    std::thread first([&] { a = runTuning(windows.a); });
    while (windows.explained == 0)
        std::this_thread::yield();
    std::thread second([&] {
        b = runTuning(windows.b);
        secondEnded = true;
    });
    second.join();
    first.join();
    EXPECT_EQ(std::pair(b.planStep.outcome, windows.b.planLine),
              std::pair(StepOutcome::Stopped, kMsgStopped));
    EXPECT_EQ(windows.script->log.filter(u"dept"_s), QStringList());
    EXPECT_EQ(tableRead(a), u"EMP"_s);
}
