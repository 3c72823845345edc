// EXPLAIN PLAN in the embedded engine: the plan table as the run creates it, the plan rows
// written into it, and the run's hierarchical query reading them back.
#include "support/embeddedfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

// The plan table made with the run's own statement, verbatim.
class EmbeddedPlan : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        db_->execute("create table orders (customer_id number(10), city varchar2(20))");
        db_->execute("create index ix_orders_customer on orders (customer_id)");
        db_->execute(planTableCreateStatement(kPlanTable));
    }
    void explain(const QString& table, const QString& statement) {
        db_->execute(explainPlanStatement(table, statement));
    }
    // The run's plan query; "LEVEL-1" to "OPTIMIZER" of each row.
    QStringList plan() {
        QStringList rows;
        for (const QString& row : rowsOf(*db_, planQueryStatement(kPlanTable)))
            rows << row.section(u'|', 2);
        return rows;
    }
};

TEST_F(EmbeddedPlan, TheRunsStatementsWriteAPlanAndReadItBackAsATree) {
    db_->execute("ALTER SESSION SET OPTIMIZER_GOAL = CHOOSE");
    db_->execute(planDeleteStatement(kPlanTable));
    explain(kPlanTable, "select * from orders where customer_id = 42");
    EXPECT_EQ(plan(),
              QStringList({"0|SELECT STATEMENT|null|null|null|null|null|null|null|CHOOSE",
                           "1|TABLE ACCESS|BY INDEX ROWID|MAIN|ORDERS|null|null|null|null|null",
                           "2|INDEX|RANGE SCAN|MAIN|IX_ORDERS_CUSTOMER|null|null|null|null|null"}));
    EXPECT_EQ(fieldNames(*db_->openRecordset(planQueryStatement(kPlanTable))).join(' '),
              "ID TIMESTAMP LEVEL-1 OPERATION OPTIONS OBJECT_OWNER OBJECT_NAME OBJECT_TYPE "
              "CARDINALITY COST BYTES OPTIMIZER");
    // A failed EXPLAIN PLAN writes nothing.
    const QStringList before = plan();
    EXPECT_TRUE(failsWith([&] { explain("NO_PLAN_TABLE", "select * from orders"); }, kErrOdbcCall,
                          "ORA-02404"));
    EXPECT_TRUE(failsWith([&] { explain(kPlanTable, "select * from nowhere"); }, kErrOdbcCall));
    EXPECT_EQ(plan(), before);
}

TEST_F(EmbeddedPlan, ATypedStatementMayLeaveOutTheTableButNotTheKeywords) {
    db_->execute(planTableCreateStatement("plan_table"));
    db_->execute("explain   plan\n for delete from orders");
    EXPECT_EQ(rowsOf(*db_, "select operation from plan_table where id = 0"),
              QStringList("DELETE STATEMENT"));
    EXPECT_TRUE(failsWith([&] { db_->execute("EXPLAIN PLAN INTO plan_table select 1"); },
                          kErrOdbcCall, "ORA-00905"));
}

}  // namespace
