// EXPLAIN PLAN in the embedded engine: the plan table as the run creates it, the plan rows
// written into it in the shapes and with the estimates an Oracle user reads, and the run's
// hierarchical query reading them back.
#include "support/embeddedfixture.h"
#include "support/sqliteprobe.h"

#include <QRegularExpression>

using namespace qv;
using namespace qv::test;

namespace {

class EmbeddedPlan : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        fillCustomersAndOrders(path());
        db_->execute(planTableCreateStatement(kPlanTable));
    }
    // The plan of `statement` as the run reads it: "LEVEL-1|OPERATION|OPTIONS|OBJECT_OWNER|
    // OBJECT_NAME" of each row; the estimates of each row into `estimates`.
    QStringList plan(const QString& statement, QList<QStringList>* estimates = nullptr) {
        db_->execute(planDeleteStatement(kPlanTable));
        db_->execute(explainPlanStatement(kPlanTable, statement));
        QStringList shape;
        for (const QString& row : rowsOf(*db_, planQueryStatement(kPlanTable))) {
            const QStringList f = row.split(u'|');
            shape << QStringList(f.mid(2, 5)).join(u'|');
            if (estimates)
                *estimates << f.mid(8, 3);
        }
        return shape;
    }
    // CARDINALITY or COST (1) of the statement line.
    qlonglong top(const QString& statement, int which) {
        QList<QStringList> estimates;
        plan(statement, &estimates);
        return estimates.value(0).value(which).toLongLong();
    }
};

const QString kJoin = QStringLiteral(
    "select c.name, o.order_id, o.total_amount from customers c join orders o on o.customer_id "
    "= c.customer_id where c.city = 'city 7' order by o.total_amount desc");

// A hundred customers, each one's ten orders found through an index: a twentieth of ORDERS,
// fetched one probe at a time rather than read whole into a hash join.
TEST_F(EmbeddedPlan, AJoinIsANestedLoopUnderItsSortWithEstimatesThatFollowIndexesAndPredicates) {
    QList<QStringList> estimates;
    EXPECT_EQ(plan(kJoin, &estimates),
              QStringList({"0|SELECT STATEMENT|null|null|null", "1|SORT|ORDER BY|null|null",
                           "2|NESTED LOOPS|null|null|null", "3|TABLE ACCESS|FULL|SCOTT|CUSTOMERS",
                           "3|TABLE ACCESS|BY INDEX ROWID BATCHED|SCOTT|ORDERS",
                           "4|INDEX|RANGE SCAN|SCOTT|IX_ORDERS_CUSTOMER"}));
    for (const QStringList& e : estimates) {
        for (const QString& v : e)
            EXPECT_GT(v.toLongLong(), 0) << e.join(u' ').toStdString();
    }
    // One city of twenty, ten orders each.
    EXPECT_EQ(estimates.value(3).value(0), "100");
    EXPECT_EQ(estimates.value(0).value(0), "1000");

    db_->execute("create index ix_customers_city on customers (city)");
    EXPECT_EQ(plan(kJoin).mid(3, 2),
              QStringList({"3|TABLE ACCESS|BY INDEX ROWID BATCHED|SCOTT|CUSTOMERS",
                           "4|INDEX|RANGE SCAN|SCOTT|IX_CUSTOMERS_CITY"}));

    // A narrower range, a further condition: fewer rows.
    const QString range = QStringLiteral("select * from orders where customer_id between 1 and %1");
    EXPECT_LT(top(range.arg(10), 0), top(range.arg(500), 0));
    EXPECT_LT(top(QString(kJoin).replace("order by", "and c.name like 'x%' order by"), 0),
              top(kJoin, 0));
    EXPECT_LT(top("select * from orders where order_date > date '2024-12-01'", 0),
              top("select * from orders where order_date > date '2024-06-01'", 0));
    // A subquery's filter keeps fewer rows than it reads, a semi-join no more than it reads; an
    // IN list finds as many as it names.
    estimates.clear();
    plan(
        "select * from customers c where not exists (select 1 from orders o where o.customer_id "
        "= c.customer_id and o.total_amount > c.customer_id)",
        &estimates);
    EXPECT_LT(estimates.value(1).value(0).toLongLong(), estimates.value(2).value(0).toLongLong());
    estimates.clear();
    plan(
        "select * from customers c where exists (select 1 from orders o where o.customer_id = "
        "c.customer_id and o.total_amount > c.customer_id)",
        &estimates);
    EXPECT_LE(estimates.value(1).value(0).toLongLong(), estimates.value(2).value(0).toLongLong());
    EXPECT_EQ(top("select * from customers where customer_id in (5, 6, 7)", 0), 3);
}

TEST_F(EmbeddedPlan, EachKindOfStepIsDrawnAsOracleDrawsIt) {
    db_->execute("create index ix_customers_city on customers (city)");
    const struct {
        const char* statement;
        QStringList lines;  // after SELECT STATEMENT
    } cases[] = {
        {"select * from customers where customer_id = 5",
         {"1|TABLE ACCESS|BY INDEX ROWID|SCOTT|CUSTOMERS",
          "2|INDEX|UNIQUE SCAN|SCOTT|PK_CUSTOMERS"}},
        {"select * from customers where customer_id in (5, 6, 7)",
         {"1|INLIST ITERATOR|null|null|null", "2|TABLE ACCESS|BY INDEX ROWID|SCOTT|CUSTOMERS",
          "3|INDEX|UNIQUE SCAN|SCOTT|PK_CUSTOMERS"}},
        {"select * from customers where rowid = 5",
         {"1|TABLE ACCESS|BY USER ROWID|SCOTT|CUSTOMERS"}},
        {"select city from customers where city > 'city 5'",
         {"1|INDEX|RANGE SCAN|SCOTT|IX_CUSTOMERS_CITY"}},
        // The index on a nullable column lacks the orders without a customer.
        {"select count(*) from orders",
         {"1|SORT|AGGREGATE|null|null", "2|TABLE ACCESS|FULL|SCOTT|ORDERS"}},
        {"select total_amount, count(*) from orders group by total_amount",
         {"1|HASH|GROUP BY|null|null", "2|TABLE ACCESS|FULL|SCOTT|ORDERS"}},
        // DISTINCT with no order asked of it hashes.
        {"select distinct name from customers",
         {"1|HASH|UNIQUE|null|null", "2|TABLE ACCESS|FULL|SCOTT|CUSTOMERS"}},
        // Nor can it give a view's groups, the orders without a customer among them.
        {"select * from (select customer_id, sum(total_amount) s from orders group by "
         "customer_id) v where s > 100",
         {"1|VIEW|null|null|null", "2|HASH|GROUP BY|null|null",
          "3|TABLE ACCESS|FULL|SCOTT|ORDERS"}},
        // One customer: its orders are found by the index.
        {"select c.name, o.total_amount from customers c left join orders o on o.customer_id = "
         "c.customer_id where c.customer_id = 5",
         {"1|NESTED LOOPS|OUTER|null|null", "2|TABLE ACCESS|BY INDEX ROWID|SCOTT|CUSTOMERS",
          "3|INDEX|UNIQUE SCAN|SCOTT|PK_CUSTOMERS",
          "2|TABLE ACCESS|BY INDEX ROWID BATCHED|SCOTT|ORDERS",
          "3|INDEX|RANGE SCAN|SCOTT|IX_ORDERS_CUSTOMER"}},
        {"select c.name, o.total_amount from customers c, orders o",
         {"1|MERGE JOIN|CARTESIAN|null|null", "2|TABLE ACCESS|FULL|SCOTT|CUSTOMERS",
          "2|BUFFER|SORT|null|null", "3|TABLE ACCESS|FULL|SCOTT|ORDERS"}},
        {"select name from customers union all select name from customers",
         {"1|UNION-ALL|null|null|null", "2|TABLE ACCESS|FULL|SCOTT|CUSTOMERS",
          "2|TABLE ACCESS|FULL|SCOTT|CUSTOMERS"}},
        // SQLite 3.52 runs EXISTS as a semi-join, each customer read until its first matching
        // order; older ones (a build on the system's 3.40) as a subquery for each row that
        // looks the customer's key up: a semi-join too.
        {"select * from customers c where exists (select 1 from orders o where o.customer_id = "
         "c.customer_id and o.total_amount > c.customer_id)",
         {"1|NESTED LOOPS|SEMI|null|null", "2|TABLE ACCESS|FULL|SCOTT|CUSTOMERS",
          "2|TABLE ACCESS|BY INDEX ROWID BATCHED|SCOTT|ORDERS",
          "3|INDEX|RANGE SCAN|SCOTT|IX_ORDERS_CUSTOMER"}},
        {"select * from customers c where not exists (select 1 from orders o where "
         "o.customer_id = c.customer_id)",
         {"1|NESTED LOOPS|ANTI|null|null", "2|TABLE ACCESS|FULL|SCOTT|CUSTOMERS",
          "2|INDEX|RANGE SCAN|SCOTT|IX_ORDERS_CUSTOMER"}},
        {"select * from customers where customer_id in (select customer_id from orders where "
         "total_amount = 5)",
         {"1|NESTED LOOPS|null|null|null", "2|SORT|UNIQUE|null|null",
          "3|TABLE ACCESS|FULL|SCOTT|ORDERS", "2|TABLE ACCESS|BY INDEX ROWID|SCOTT|CUSTOMERS",
          "3|INDEX|UNIQUE SCAN|SCOTT|PK_CUSTOMERS"}},
        {"select max(customer_id) from orders",
         {"1|SORT|AGGREGATE|null|null", "2|INDEX|FULL SCAN (MIN/MAX)|SCOTT|IX_ORDERS_CUSTOMER"}},
        {"delete from orders where customer_id = 3",
         {"1|DELETE|null|SCOTT|ORDERS", "2|INDEX|RANGE SCAN|SCOTT|IX_ORDERS_CUSTOMER"}},
    };
    for (const auto& c : cases) {
        const QStringList lines = plan(QString::fromUtf8(c.statement));
        EXPECT_EQ(lines.mid(1), c.lines) << c.statement;
        // Nothing of SQLite's own wording reaches a plan line.
        EXPECT_FALSE(lines.join(u' ').contains(QRegularExpression(
            "SUBQUERY|AUTOMATIC|B-TREE|CO-ROUTINE|MATERIALIZE|USING|SEARCH|MAIN")))
            << lines.join(u'\n').toStdString();
    }
}

TEST_F(EmbeddedPlan, ThePlanIsWrittenIntoTheNamedTableAndReadBackWithTheOptimizerGoal) {
    db_->execute("ALTER SESSION SET OPTIMIZER_GOAL = CHOOSE");
    db_->execute(planDeleteStatement(kPlanTable));
    db_->execute(explainPlanStatement(kPlanTable, "select * from orders where customer_id = 42"));
    const QStringList rows = rowsOf(*db_, planQueryStatement(kPlanTable));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows[0].endsWith("|CHOOSE")) << rows[0].toStdString();
    EXPECT_EQ(fieldNames(*db_->openRecordset(planQueryStatement(kPlanTable))).join(' '),
              "ID TIMESTAMP LEVEL-1 OPERATION OPTIONS OBJECT_OWNER OBJECT_NAME OBJECT_TYPE "
              "CARDINALITY COST BYTES OPTIMIZER");
    // A failed EXPLAIN PLAN writes nothing.
    EXPECT_TRUE(failsWith(
        [&] { db_->execute(explainPlanStatement("NO_PLAN_TABLE", "select * from orders")); },
        kErrOdbcCall, "ORA-02404"));
    EXPECT_TRUE(
        failsWith([&] { db_->execute(explainPlanStatement(kPlanTable, "select * from nowhere")); },
                  kErrOdbcCall));
    EXPECT_EQ(rowsOf(*db_, planQueryStatement(kPlanTable)), rows);
}

// Two sessions explaining on one file, their runs interleaved: each reads back its own plan and
// never an empty one or the other's, as with Oracle's plan table (a global temporary table).
TEST_F(EmbeddedPlan, EachSessionSeesOnlyThePlanItExplained) {
    const auto other = connect(QStringLiteral("SCOTT"));
    struct Session {
        Database& db;
        const char* statement;
        const char* table;  // what its plan reads
    } sessions[] = {{*db_, "select * from customers where city = 'city 1'", "CUSTOMERS"},
                    {*other, "select * from orders where total_amount > 5", "ORDERS"}};
    for (int run = 0; run < 200; ++run) {
        for (const Session& s : sessions) {
            s.db.execute(planDeleteStatement(kPlanTable));
            s.db.execute(explainPlanStatement(kPlanTable, QString::fromLatin1(s.statement)));
        }
        for (const Session& s : sessions) {
            const QStringList rows = rowsOf(s.db, planQueryStatement(kPlanTable));
            ASSERT_EQ(rows.size(), 2) << run;
            ASSERT_TRUE(rows[1].contains(QString::fromLatin1(s.table))) << rows[1].toStdString();
        }
    }
    // The shared table keeps no session's rows; a session that never explained reads none.
    EXPECT_EQ(SqliteProbe(path()).rows("select count(*) from QUERVIN$PLAN_TABLE"),
              QStringList{"0"});
    EXPECT_TRUE(rowsOf(*connect(), planQueryStatement(kPlanTable)).isEmpty());
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
