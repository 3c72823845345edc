#include "support/testrunwindow.h"
#include "tuning/plan.h"

#include <gtest/gtest.h>

using namespace qv;
using test::Reply;

namespace {

const QString kTable = QStringLiteral("QUERVIN$PLAN_TABLE");
const QString kMissing =
    QStringLiteral("[Oracle][ODBC][Ora]ORA-02404: specified plan table not found");

Reply planRows(const QList<QVariantList>& steps) {
    // Each step: depth, operation, options, owner, name, type, cardinality, cost, bytes, optimizer
    Reply r;
    const char* names[] = {"ID",          "TIMESTAMP",    "LEVEL-1",     "OPERATION",
                           "OPTIONS",     "OBJECT_OWNER", "OBJECT_NAME", "OBJECT_TYPE",
                           "CARDINALITY", "COST",         "BYTES",       "OPTIMIZER"};
    for (const char* n : names)
        r.fields.append(FieldInfo{QString::fromLatin1(n), dbText, 30});
    int id = 0;
    for (const QVariantList& s : steps)
        r.rows.append({id++, QStringLiteral("2026-12-06"), s[0], s[1], s[2], s[3], s[4], s[5], s[6],
                       s[7], s[8], s[9]});
    return r;
}

QString q(const QString& s) {
    return QStringLiteral("Q: ") + s;
}

class PlanTest : public ::testing::Test {
  protected:
    PlanTest() {
        w.sql = QStringLiteral("select * from emp");
        w.script->onText(
            planQueryStatement(kTable),
            planRows({{0, QStringLiteral("SELECT STATEMENT"), QVariant(), QVariant(), QVariant(),
                       QVariant(), QVariant(), QVariant(), QVariant(), QStringLiteral("CHOOSE")},
                      {1, QStringLiteral("TABLE ACCESS"), QStringLiteral("FULL"),
                       QStringLiteral("SCOTT"), QStringLiteral("EMP"), QVariant(), 14, QVariant(),
                       512, QVariant()}}));
    }
    test::TestRunWindow w;
    RunState r;
};

}  // namespace

TEST_F(PlanTest, PresentTableGivesTheTreeWithExactStatements) {
    w.explan.setVisible(false);
    planStage(w, r);
    EXPECT_EQ(
        w.script->log,
        (QStringList{
            q(QStringLiteral("delete from QUERVIN$PLAN_TABLE where statement_id = 'QUERVIN'")),
            q(QStringLiteral("EXPLAIN PLAN SET STATEMENT_ID = 'QUERVIN'  INTO  "
                             "QUERVIN$PLAN_TABLE FOR select * from emp")),
            q(QStringLiteral("SELECT id,timestamp,LEVEL - 1, OPERATION, OPTIONS, "
                             "OBJECT_OWNER, OBJECT_NAME, OBJECT_TYPE, CARDINALITY,COST, "
                             "BYTES, OPTIMIZER FROM QUERVIN$PLAN_TABLE START WITH ID = 0 "
                             "and STATEMENT_ID = 'QUERVIN' CONNECT BY PRIOR ID = "
                             "PARENT_ID AND STATEMENT_ID = 'QUERVIN' ORDER BY "
                             "timestamp,ID, PARENT_ID, POSITION"))}));
    const GridModel& g = w.explan;
    EXPECT_TRUE(g.visible());
    EXPECT_EQ(g.rows(), 3);
    EXPECT_EQ(g.cols(), 4);
    EXPECT_EQ(g.fixedRows(), 1);
    EXPECT_EQ(g.fixedCols(), 0);
    EXPECT_EQ((QStringList{g.text(0, 0), g.text(0, 1), g.text(0, 2), g.text(0, 3)}),
              (QStringList{QStringLiteral("Operation"), QStringLiteral("Cardinality"),
                           QStringLiteral("Cost"), QStringLiteral("Byte")}));
    EXPECT_EQ((QList<int>{g.colWidth(0), g.colWidth(1), g.colWidth(2), g.colWidth(3)}),
              (QList<int>{5000, 1200, 600, 600}));
    EXPECT_EQ(g.text(1, 0), QStringLiteral("SELECT STATEMENT OPTIMIZER = CHOOSE"));
    EXPECT_EQ(g.text(1, 1), QString());
    EXPECT_EQ(g.text(2, 0), QStringLiteral(" TABLE ACCESS FULL (SCOTT.EMP)"));
    EXPECT_EQ(g.text(2, 1), QStringLiteral("14"));
    EXPECT_EQ(g.text(2, 2), QString());
    EXPECT_EQ(g.text(2, 3), QStringLiteral("512"));
    EXPECT_EQ(w.eLine, QString());
    EXPECT_EQ(w.shown.first(), QStringLiteral("E:実行計画を取得中"));
    EXPECT_FALSE(r.pending);
}

TEST_F(PlanTest, MissingTableAnsweredYesIsCreatedAndExplainedAgain) {
    const QString explain = explainPlanStatement(kTable, w.sql);
    w.script->onText(explain, Reply::fail(kMissing), 1);
    w.script->on(QStringLiteral("delete from .*"), Reply::fail(kMissing));
    w.answers = {Answer::Yes};
    w.explan.setText(1, 0, QStringLiteral("old"));
    planStage(w, r);
    EXPECT_EQ(w.questions, QStringList{QStringLiteral(
                               "実行計画表 QUERVIN$PLAN_TABLE が存在しません。作成しますか？")});
    const QString create = QStringLiteral(
        "Q: create table QUERVIN$PLAN_TABLE (statement_id    varchar2(30),timestamp       date,"
        "remarks         varchar2(80),operation       varchar2(30),options         varchar2(30),"
        "object_node     varchar2(128),object_owner    varchar2(30),object_name     varchar2(30),"
        "object_instance numeric,object_type     varchar2(30),optimizer       varchar2(255),"
        "search_columns  number,id      numeric,parent_id   numeric,position    numeric,"
        "cost        numeric,cardinality numeric,bytes       numeric,other_tag       varchar2(255),"
        "partition_start varchar2(255),partition_stop  varchar2(255),partition_id    numeric,"
        "other       long)");
    ASSERT_EQ(w.script->log.size(), 5);
    EXPECT_EQ(w.script->log[1], q(explain));
    EXPECT_EQ(w.script->log[2], create);
    EXPECT_EQ(w.script->log[3], q(explain));
    EXPECT_TRUE(w.explan.visible());
    EXPECT_EQ(w.eLine, QString());
}

TEST_F(PlanTest, MissingTableDeclinedLeavesAnEmptyHiddenGridAndSaysSo) {
    for (Answer a : {Answer::No, Answer::Cancel}) {
        test::TestRunWindow v;
        v.sql = QStringLiteral("select 1 from dual");
        v.options.gPlanTable = QStringLiteral("MY_PLAN");
        v.script->on(QStringLiteral("EXPLAIN PLAN.*"), Reply::fail(kMissing));
        v.answers = {a};
        v.explan.setText(1, 0, QStringLiteral("old"));
        v.explan.setVisible(false);
        RunState s;
        planStage(v, s);
        EXPECT_EQ(v.eLine, kMissing + QStringLiteral("実行計画表 MY_PLAN が存在しません。"));
        EXPECT_EQ(v.explan.text(1, 0), QString()) << "cleared before the question";
        EXPECT_FALSE(v.explan.visible());
        EXPECT_EQ(v.script->log.size(), 2);
        EXPECT_FALSE(s.pending);
    }
}

TEST_F(PlanTest, PrivilegeAndOtherFailures) {
    w.script->on(QStringLiteral("EXPLAIN PLAN.*"),
                 Reply::fail(QStringLiteral(
                     "ORA-01039: insufficient privileges on underlying objects of the view")),
                 1);
    planStage(w, r);
    EXPECT_EQ(w.eLine,
              QStringLiteral("ORA-01039: insufficient privileges on underlying objects of the "
                             "view実表のアクセス権限がありません。"));
    EXPECT_TRUE(w.questions.isEmpty());

    w.script->on(QStringLiteral("EXPLAIN PLAN.*"),
                 Reply::fail(QStringLiteral("ORA-02404 in a "
                                            "non-ODBC error"),
                             5),
                 1);
    planStage(w, r);
    EXPECT_EQ(w.eLine, QStringLiteral("ORA-02404 in a non-ODBC error"))
        << "only 3146 gets the texts";
    EXPECT_TRUE(w.questions.isEmpty());
}

TEST_F(PlanTest, ShorterPlanAfterALongerOneHasItsOwnRowCount) {
    QList<QVariantList> ten;
    for (int i = 0; i < 10; ++i)
        ten.append(QVariantList{i, QStringLiteral("STEP"), QVariant(), QVariant(), QVariant(),
                                QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
    w.script->onText(planQueryStatement(kTable), planRows(ten), 1);
    planStage(w, r);
    EXPECT_EQ(w.explan.rows(), 11);
    EXPECT_EQ(w.explan.text(10, 0), QStringLiteral("         STEP"));
    QList<QVariantList> three(ten.mid(0, 3));
    w.script->onText(planQueryStatement(kTable), planRows(three), 1);
    planStage(w, r);
    EXPECT_EQ(w.explan.rows(), 4);

    w.script->onText(planQueryStatement(kTable), planRows({}), 1);
    w.explan.setVisible(false);
    planStage(w, r);
    EXPECT_EQ(w.explan.rows(), 4) << "a plan without rows keeps the old cells";
    EXPECT_TRUE(w.explan.visible());
}

TEST(PlanText, OperationTextRules) {
    const QVariant null;
    EXPECT_EQ(operationText(0, QStringLiteral("SELECT STATEMENT"), null, null, null, null,
                            QStringLiteral("CHOOSE")),
              QStringLiteral("SELECT STATEMENT OPTIMIZER = CHOOSE"));
    EXPECT_EQ(operationText(2, QStringLiteral("TABLE ACCESS"), QStringLiteral("BY INDEX ROWID"),
                            QStringLiteral("APP"), QStringLiteral("ORDERS"), null, null),
              QStringLiteral("  TABLE ACCESS BY INDEX ROWID (APP.ORDERS)"));
    EXPECT_EQ(operationText(1, QStringLiteral("INDEX"), QStringLiteral("UNIQUE SCAN"), null,
                            QStringLiteral("PK_EMP"), QStringLiteral("UNIQUE"),
                            QStringLiteral("ANALYZED")),
              QStringLiteral(" INDEX UNIQUE SCAN (.PK_EMP) UNIQUE OPTIMIZER = ANALYZED"));
}
