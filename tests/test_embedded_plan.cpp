// EXPLAIN PLAN in the embedded engine: the plan table as the run creates it, the plan rows
// written from SQLite's query plan, and the run's hierarchical query reading them back.
#include "embedded/explainplan.h"
#include "support/embeddedfixture.h"

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

// "OPERATION OPTIONS OWNER.NAME" of each row, indented by depth, as a compact picture.
QStringList picture(const std::vector<PlanRow>& rows) {
    std::map<int, int> depth{{-1, -1}};
    QStringList out;
    for (const PlanRow& r : rows) {
        depth[r.id] = depth[r.parentId] + 1;
        QString line = QString(depth[r.id] * 2, ' ') + r.operation;
        if (!r.options.isEmpty())
            line += ' ' + r.options;
        if (!r.objectName.isEmpty())
            line +=
                ' ' + (r.objectOwner.isEmpty() ? QString() : r.objectOwner + '.') + r.objectName;
        out << line;
    }
    return out;
}

TEST(EmbeddedPlanTranslation, SqliteLinesBecomeOracleOperations) {
    const auto rows = translatePlan(
        "select * from orders o join customers c on c.customer_id = o.customer_id "
        "where o.status = 'NEW' order by c.name",
        {{3, 0, "SCAN o"},
         {5, 0, "SEARCH c USING INTEGER PRIMARY KEY (rowid=?)"},
         {9, 0, "USE TEMP B-TREE FOR ORDER BY"}});
    EXPECT_EQ(picture(rows),
              QStringList({"SELECT STATEMENT", "  TABLE ACCESS FULL MAIN.ORDERS",
                           "  TABLE ACCESS BY ROWID MAIN.CUSTOMERS", "  SORT ORDER BY"}));
}

TEST(EmbeddedPlanTranslation, IndexSearchPutsTheTableAboveItsIndex) {
    const auto rows =
        translatePlan("update orders set status = 'X' where customer_id = 42",
                      {{2, 0, "SEARCH orders USING INDEX ix_orders_customer (customer_id=?)"},
                       {7, 2, "CORRELATED SCALAR SUBQUERY 1"},
                       {9, 7, "SEARCH p USING COVERING INDEX ix_p (a>?)"}});
    EXPECT_EQ(
        picture(rows),
        QStringList({"UPDATE STATEMENT", "  TABLE ACCESS BY INDEX ROWID MAIN.ORDERS",
                     "    INDEX RANGE SCAN MAIN.IX_ORDERS_CUSTOMER",
                     "    CORRELATED SCALAR SUBQUERY 1", "      INDEX RANGE SCAN MAIN.IX_P"}));
    // Depth-first ids and 1-based positions among siblings.
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].id, int(i));
    EXPECT_EQ(rows[2].position, 1);
    EXPECT_EQ(rows[3].position, 2);
    EXPECT_EQ(rows[3].parentId, 1);
}

TEST(EmbeddedPlanTranslation, SubqueriesConstantsAndGroupingReadNaturally) {
    const auto rows = translatePlan("with r as (select 1) select distinct x from r, v$sesstat",
                                    {{2, 0, "MATERIALIZE r"},
                                     {3, 2, "SCAN CONSTANT ROW"},
                                     {8, 0, "SCAN r"},
                                     {9, 0, "SCAN v$sesstat VIRTUAL TABLE INDEX 0:"},
                                     {12, 0, "USE TEMP B-TREE FOR DISTINCT"},
                                     {14, 0, "SOMETHING NEW"}});
    EXPECT_EQ(picture(rows), QStringList({"SELECT STATEMENT", "  MATERIALIZE R", "    FAST DUAL",
                                          "  VIEW R", "  FIXED TABLE FULL MAIN.V$SESSTAT",
                                          "  SORT UNIQUE", "  SOMETHING NEW"}));
}

class EmbeddedPlan : public EmbeddedTest {
  protected:
    void SetUp() override {
        db_ = connect();
        db_->execute(
            "create table orders (order_id integer primary key, customer_id "
            "number(10), city varchar2(20))");
        db_->execute("create index ix_orders_customer on orders (customer_id)");
    }
    std::unique_ptr<EmbeddedDatabase> db_;

    // The run's plan step: delete, explain, read back.
    std::vector<QVariantMap> explain(const QString& statement) {
        try {
            db_->openRecordset(deletePlanStatement())->close();
        } catch (const DbError&) {
        }
        db_->openRecordset(explainPlanStatement(statement))->close();
        std::vector<QVariantMap> rows;
        auto rs = db_->openRecordset(planQuery());
        while (!rs->eof()) {
            QVariantMap row;
            for (const char* name :
                 {"LEVEL-1", "OPERATION", "OPTIONS", "OBJECT_OWNER", "OBJECT_NAME", "OBJECT_TYPE",
                  "OPTIMIZER", "CARDINALITY", "COST", "BYTES"})
                row[name] = rs->value(QString::fromLatin1(name));
            rows.push_back(row);
            rs->moveNext();
        }
        rs->close();
        return rows;
    }
};

TEST_F(EmbeddedPlan, MissingPlanTableGivesOra02404AndCreationAsSentWorks) {
    try {
        db_->openRecordset(explainPlanStatement("select * from orders"));
        FAIL() << "explained without a plan table";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), kErrOdbcCall);
        EXPECT_TRUE(e.description().contains("ORA-02404")) << e.what();
    }
    db_->execute(createPlanTableStatement());
    auto rs = db_->openRecordset("select * from " + kPlanTable);
    EXPECT_EQ(rs->fieldCount(), 23);
    EXPECT_EQ(rs->field(rs->fieldIndex("other")).type, dbMemo);
    EXPECT_EQ(rs->field(rs->fieldIndex("optimizer")).size, 255);
    EXPECT_EQ(rs->field(rs->fieldIndex("timestamp")).type, dbDate);
}

TEST_F(EmbeddedPlan, PlanReadsBackInTreeOrderWithDepths) {
    db_->execute(createPlanTableStatement());
    db_->execute("ALTER SESSION SET OPTIMIZER_GOAL = CHOOSE");
    const auto rows = explain("select * from orders where customer_id = 42");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["LEVEL-1"].toInt(), 0);
    EXPECT_EQ(rows[0]["OPERATION"].toString(), "SELECT STATEMENT");
    EXPECT_EQ(rows[0]["OPTIMIZER"].toString(), "CHOOSE");
    EXPECT_TRUE(rows[0]["OPTIONS"].isNull());
    EXPECT_EQ(rows[1]["LEVEL-1"].toInt(), 1);
    EXPECT_EQ(rows[1]["OPERATION"].toString(), "TABLE ACCESS");
    EXPECT_EQ(rows[1]["OPTIONS"].toString(), "BY INDEX ROWID");
    EXPECT_EQ(rows[1]["OBJECT_OWNER"].toString(), "MAIN");
    EXPECT_EQ(rows[1]["OBJECT_NAME"].toString(), "ORDERS");
    EXPECT_TRUE(rows[1]["OPTIMIZER"].isNull());
    EXPECT_EQ(rows[2]["LEVEL-1"].toInt(), 2);
    EXPECT_EQ(rows[2]["OPERATION"].toString(), "INDEX");
    EXPECT_EQ(rows[2]["OPTIONS"].toString(), "RANGE SCAN");
    EXPECT_EQ(rows[2]["OBJECT_NAME"].toString(), "IX_ORDERS_CUSTOMER");
    for (const auto& row : rows) {
        EXPECT_TRUE(row["COST"].isNull());
        EXPECT_TRUE(row["CARDINALITY"].isNull());
        EXPECT_TRUE(row["BYTES"].isNull());
        EXPECT_TRUE(row["OBJECT_TYPE"].isNull());
    }
}

TEST_F(EmbeddedPlan, FullScanAndRepeatedRunsReplaceThePlan) {
    db_->execute(createPlanTableStatement());
    explain("select * from orders where customer_id = 42");
    const auto rows = explain("select * from orders where city = 'X'");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1]["OPERATION"].toString() + " " + rows[1]["OPTIONS"].toString(),
              "TABLE ACCESS FULL");
    EXPECT_EQ(scalar(*db_, "select count(*) from " + kPlanTable).toInt(), 2);
    EXPECT_EQ(scalar(*db_, "select count(distinct statement_id) from " + kPlanTable).toString(),
              "1");
}

TEST_F(EmbeddedPlan, ExplainsOracleFormsAndWritesNothingForBadStatements) {
    db_->execute(createPlanTableStatement());
    const auto rows = explain("select c# from (select customer_id c# from orders) where c# = 1");
    EXPECT_GE(rows.size(), 2u);
    try {
        db_->openRecordset(explainPlanStatement("selec * from orders"));
        FAIL();
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), kErrOdbcCall);
        EXPECT_TRUE(e.description().contains("syntax error")) << e.what();
    }
    try {
        db_->openRecordset(explainPlanStatement("select * from nowhere"));
        FAIL();
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description().contains("no such table: nowhere")) << e.what();
    }
    EXPECT_EQ(scalar(*db_, "select count(*) from " + kPlanTable).toInt(), int(rows.size()));
}

TEST_F(EmbeddedPlan, ToleratesBlanksCaseAndTheDefaultTable) {
    db_->execute(createPlanTableStatement().replace(kPlanTable, "plan_table"));
    db_->execute("explain   plan\n for select 1");
    db_->execute("Explain Plan Set Statement_Id='A''B' Into plan_table For delete from orders");
    EXPECT_EQ(scalar(*db_, "select count(*) from plan_table where statement_id is null").toInt(),
              2);
    EXPECT_EQ(
        scalar(*db_, "select operation from plan_table where statement_id = 'A''B' and id = 0")
            .toString(),
        "DELETE STATEMENT");
    EXPECT_THROW(db_->execute("EXPLAIN PLAN INTO plan_table select 1"), DbError);
}

}  // namespace
