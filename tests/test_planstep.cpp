#include "core/tuning/planstep.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {

const QString kTable = u"QUERVIN$PLAN_TABLE"_s;
const QString kMissing = u"[Oracle][ODBC][Ora]ORA-02404: specified plan table not found"_s;

// Plan rows; each step: depth, operation, options, owner, name, cardinality, bytes, optimizer.
Reply planRows(const QList<QVariantList>& steps) {
    Reply r;
    for (const char* n :
         {"ID", "TIMESTAMP", "LEVEL-1", "OPERATION", "OPTIONS", "OBJECT_OWNER", "OBJECT_NAME",
          "OBJECT_TYPE", "CARDINALITY", "COST", "BYTES", "OPTIMIZER"})
        r.fields.append(FieldInfo{QString::fromLatin1(n), FieldType::Text, 30});
    int id = 0;
    for (const QVariantList& s : steps)
        r.rows.append({id++, u"2026-12-06"_s, s[0], s[1], s[2], s[3], s[4], QVariant(), s[5],
                       QVariant(), s[6], s[7]});
    return r;
}

QList<QVariantList> steps(int n) {
    QList<QVariantList> out;
    for (int i = 0; i < n; ++i)
        out.append(QVariantList{i, u"STEP"_s, {}, {}, {}, {}, {}, {}});
    return out;
}

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
            planRows({{0, u"SELECT STATEMENT"_s, {}, {}, {}, {}, {}, u"CHOOSE"_s},
                      {1, u"TABLE ACCESS"_s, u"FULL"_s, u"SCOTT"_s, u"EMP"_s, 14, 512, {}}}));
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
            u"STATEMENT_ID = 'QUERVIN' ORDER BY timestamp,ID, PARENT_ID, POSITION"_s}));
    const GridModel& g = w.plan;
    EXPECT_TRUE(g.visible());
    EXPECT_EQ((QList<int>{g.rows(), g.cols(), g.fixedRows(), g.fixedCols()}),
              (QList<int>{3, 4, 1, 0}));
    EXPECT_EQ(row(g, 0), (QStringList{u"Operation"_s, u"Cardinality"_s, u"Cost"_s, u"Byte"_s}));
    EXPECT_EQ((QList<int>{g.colWidth(0), g.colWidth(1), g.colWidth(2), g.colWidth(3)}),
              (QList<int>{5000, 1200, 600, 600}));
    EXPECT_EQ(row(g, 1), (QStringList{u"SELECT STATEMENT OPTIMIZER = CHOOSE"_s, {}, {}, {}}));
    EXPECT_EQ(row(g, 2), (QStringList{u" TABLE ACCESS FULL (SCOTT.EMP)"_s, u"14"_s, {}, u"512"_s}));
    EXPECT_EQ(w.shown, (QStringList{u"E:実行計画を取得中"_s, u"E:"_s}));
    EXPECT_FALSE(r.pending);
}

TEST_F(PlanTest, MissingTableAnsweredYesIsCreatedAndExplainedAgain) {
    const QString explain = u"Q: "_s + explainPlanStatement(kTable, w.sql);
    w.script->onText(explainPlanStatement(kTable, w.sql), Reply::fail(kMissing), 1);
    w.script->on(u"delete from .*"_s, Reply::fail(kMissing));
    w.answers = {Answer::Yes};
    planStage(w, r);
    EXPECT_EQ(w.questions,
              QStringList{u"実行計画表 QUERVIN$PLAN_TABLE が存在しません。作成しますか？"_s});
    ASSERT_EQ(w.script->log.size(), 5);
    EXPECT_EQ(w.script->log[1], explain);
    EXPECT_EQ(
        w.script->log[2],
        u"Q: create table QUERVIN$PLAN_TABLE (statement_id    varchar2(30),timestamp       date,"
        u"remarks         varchar2(80),operation       varchar2(30),options         varchar2(30),"
        u"object_node     varchar2(128),object_owner    varchar2(30),object_name     varchar2(30),"
        u"object_instance numeric,object_type     varchar2(30),optimizer       varchar2(255),"
        u"search_columns  number,id      numeric,parent_id   numeric,position    numeric,"
        u"cost        numeric,cardinality numeric,bytes       numeric,other_tag       "
        u"varchar2(255),"
        u"partition_start varchar2(255),partition_stop  varchar2(255),partition_id    numeric,"
        u"other       long)"_s);
    EXPECT_EQ(w.script->log[3], explain);
    EXPECT_TRUE(w.plan.visible());
    EXPECT_EQ(w.planLine, QString());
}

TEST_F(PlanTest, MissingTableDeclinedLeavesAnEmptyHiddenGridAndSaysSo) {
    for (Answer a : {Answer::No, Answer::Cancel}) {
        test::TestRunWindow v;
        v.sql = u"select 1 from dual"_s;
        v.options.planTable = u"MY_PLAN"_s;
        v.script->on(u"EXPLAIN PLAN.*"_s, Reply::fail(kMissing));
        v.answers = {a};
        v.plan.setText(1, 0, u"old"_s);
        v.plan.setVisible(false);
        RunState s;
        planStage(v, s);
        EXPECT_EQ(v.planLine, kMissing + u"実行計画表 MY_PLAN が存在しません。"_s);
        EXPECT_EQ(v.plan.text(1, 0), QString()) << "cleared before the question";
        EXPECT_FALSE(v.plan.visible());
        EXPECT_EQ(v.script->log.size(), 2);
        EXPECT_FALSE(s.pending);
    }
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

TEST_F(PlanTest, EachPlanHasItsOwnRowCountAndAnEmptyOneKeepsTheCells) {
    w.script->onText(planQueryStatement(kTable), planRows(steps(10)), 1);
    planStage(w, r);
    EXPECT_EQ(w.plan.rows(), 11);
    EXPECT_EQ(w.plan.text(10, 0), u"         STEP"_s);
    w.script->onText(planQueryStatement(kTable), planRows(steps(3)), 1);
    planStage(w, r);
    EXPECT_EQ(w.plan.rows(), 4);
    w.script->onText(planQueryStatement(kTable), planRows({}), 1);
    w.plan.setVisible(false);
    planStage(w, r);
    EXPECT_EQ(w.plan.rows(), 4);
    EXPECT_TRUE(w.plan.visible());
}

TEST(PlanText, OperationTextRules) {
    const QVariant null;
    EXPECT_EQ(
        operationText(2, u"TABLE ACCESS"_s, u"BY INDEX ROWID"_s, u"APP"_s, u"ORDERS"_s, null, null),
        u"  TABLE ACCESS BY INDEX ROWID (APP.ORDERS)"_s);
    EXPECT_EQ(operationText(1, u"INDEX"_s, u"UNIQUE SCAN"_s, null, u"PK_EMP"_s, u"UNIQUE"_s,
                            u"ANALYZED"_s),
              u" INDEX UNIQUE SCAN (.PK_EMP) UNIQUE OPTIMIZER = ANALYZED"_s);
}
