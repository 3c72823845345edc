// EXPLAIN PLAN in the embedded engine: the plan table as the run creates it, the plan rows
// written from SQLite's query plan, and the run's hierarchical query reading them back.
#include "core/embedded/explainplan.h"
#include "support/embeddedfixture.h"

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

// "DEPTH OPERATION OPTIONS OWNER.NAME" of each row, as a compact picture; on the way, fails
// the test unless ids run depth-first from 0 and positions count 1, 2... among siblings.
QStringList picture(const std::vector<PlanRow>& rows) {
    std::map<int, int> depth{{-1, -1}}, children;
    QStringList out;
    for (const PlanRow& r : rows) {
        EXPECT_EQ(r.id, out.size());
        EXPECT_TRUE(r.parentId < 0 || r.position == ++children[r.parentId]) << r.id;
        const int d = depth[r.id] = depth[r.parentId] + 1;
        const QString object =
            r.objectOwner.isEmpty() ? r.objectName : r.objectOwner + '.' + r.objectName;
        out << QString("%1 %2 %3 %4").arg(d).arg(r.operation, r.options, object).simplified();
    }
    return out;
}

TEST(EmbeddedPlanTranslation, SqliteLinesBecomeOracleOperations) {
    // Statement, SQLite's plan lines, the picture of the rows they become.
    const std::tuple<QString, std::vector<EqpLine>, QStringList> cases[] = {
        {"select * from orders o join customers c on c.customer_id = o.customer_id "
         "where o.status = 'NEW' order by c.name",
         {{3, 0, "SCAN o"},
          {5, 0, "SEARCH c USING INTEGER PRIMARY KEY (rowid=?)"},
          {9, 0, "USE TEMP B-TREE FOR ORDER BY"}},
         {"0 SELECT STATEMENT", "1 TABLE ACCESS FULL MAIN.ORDERS",
          "1 TABLE ACCESS BY ROWID MAIN.CUSTOMERS", "1 SORT ORDER BY"}},
        // An index search puts the table above its index.
        {"update orders set status = 'X' where customer_id = 42",
         {{2, 0, "SEARCH orders USING INDEX ix_orders_customer (customer_id=?)"},
          {7, 2, "CORRELATED SCALAR SUBQUERY 1"},
          {9, 7, "SEARCH p USING COVERING INDEX ix_p (a>?)"}},
         {"0 UPDATE STATEMENT", "1 TABLE ACCESS BY INDEX ROWID MAIN.ORDERS",
          "2 INDEX RANGE SCAN MAIN.IX_ORDERS_CUSTOMER", "2 CORRELATED SCALAR SUBQUERY 1",
          "3 INDEX RANGE SCAN MAIN.IX_P"}},
        {"with r as (select 1) select distinct x from r, v$sesstat",
         {{2, 0, "MATERIALIZE r"},
          {3, 2, "SCAN CONSTANT ROW"},
          {8, 0, "SCAN r"},
          {9, 0, "SCAN v$sesstat VIRTUAL TABLE INDEX 0:"},
          {12, 0, "USE TEMP B-TREE FOR DISTINCT"},
          {14, 0, "SOMETHING NEW"}},
         {"0 SELECT STATEMENT", "1 MATERIALIZE R", "2 FAST DUAL", "1 VIEW R",
          "1 FIXED TABLE FULL MAIN.V$SESSTAT", "1 SORT UNIQUE", "1 SOMETHING NEW"}}};
    for (const auto& [statement, eqp, expected] : cases)
        EXPECT_EQ(picture(translatePlan(statement, eqp)), expected);
}

// The plan table made with the run's own statement, verbatim.
class EmbeddedPlan : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        db_->execute("create table orders (customer_id number(10), city varchar2(20))");
        db_->execute("create index ix_orders_customer on orders (customer_id)");
        db_->execute(planTableCreateStatement(kPlanTable));
    }
    // The run's plan step: delete, explain, read back; "LEVEL-1" to "OPTIMIZER" of each row.
    QStringList explain(const QString& statement) {
        db_->execute(planDeleteStatement(kPlanTable));
        db_->execute(explainPlanStatement(kPlanTable, statement));
        QStringList rows;
        for (const QString& row : rowsOf(*db_, planQueryStatement(kPlanTable)))
            rows << row.section(u'|', 2);
        return rows;
    }
};

TEST_F(EmbeddedPlan, PlansReadBackInTreeOrderWithDepthsAndFailuresWriteNothing) {
    db_->execute("ALTER SESSION SET OPTIMIZER_GOAL = CHOOSE");
    EXPECT_EQ(explain("select * from orders where customer_id = 42"),
              QStringList({"0|SELECT STATEMENT|null|null|null|null|null|null|null|CHOOSE",
                           "1|TABLE ACCESS|BY INDEX ROWID|MAIN|ORDERS|null|null|null|null|null",
                           "2|INDEX|RANGE SCAN|MAIN|IX_ORDERS_CUSTOMER|null|null|null|null|null"}));
    EXPECT_EQ(fieldNames(*db_->openRecordset(planQueryStatement(kPlanTable))).join(' '),
              "ID TIMESTAMP LEVEL-1 OPERATION OPTIONS OBJECT_OWNER OBJECT_NAME OBJECT_TYPE "
              "CARDINALITY COST BYTES OPTIMIZER");
    // A second run replaces the plan.
    EXPECT_EQ(explain("select c# from (select city c# from orders) where c# = 'X'").value(1),
              "1|TABLE ACCESS|FULL|MAIN|ORDERS|null|null|null|null|null");
    const std::tuple<QString, const char*, const char*> failures[] = {
        {"NO_PLAN_TABLE", "select * from orders", "ORA-02404"},
        {kPlanTable, "selec * from orders", "syntax error"},
        {kPlanTable, "select * from nowhere", "no such table: nowhere"}};
    for (const auto& [table, sql, text] : failures)
        EXPECT_TRUE(
            failsWith([&] { db_->execute(explainPlanStatement(table, sql)); }, kErrOdbcCall, text));
    // Blanks, case, a statement id, and the default table when INTO is left out.
    db_->execute(planTableCreateStatement("plan_table"));
    db_->execute("explain   plan\n for select 1");
    db_->execute("Explain Plan Set Statement_Id='A''B' Into plan_table For delete from orders");
    const QString roots = "select statement_id, operation from plan_table where id = 0 order by 1";
    EXPECT_EQ(rowsOf(*db_, roots), QStringList({"null|SELECT STATEMENT", "A'B|DELETE STATEMENT"}));
    EXPECT_THROW(db_->execute("EXPLAIN PLAN INTO plan_table select 1"), DbError);
    // The second plan only: replaced, and nothing else written into the run's table.
    EXPECT_EQ(rowsOf(*db_, "select count(*) from " + kPlanTable), QStringList("2"));
    EXPECT_EQ(db_->openRecordset("select * from " + kPlanTable)->fieldCount(), 23);
}

}  // namespace
