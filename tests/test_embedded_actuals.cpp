// What each plan line of a statement really did (V$SQL_PLAN_STATISTICS_ALL), and the
// conditions each line applies, read as the tuning run reads them: the run's session executes,
// the second session finds it by V$SESSION.PREV_SQL_ID and reads the lines.
#include "support/embeddedfixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>

using namespace qv;
using namespace qv::test;

namespace {

const QString kJoin = QStringLiteral(
    "select c.name, o.order_id, o.total_amount from customers c join orders o on o.customer_id "
    "= c.customer_id where c.city = 'city 7' order by o.total_amount desc");

// The columns of a plan line as the run reads them; the indexes into a line below.
const QString kLinesQuery = QStringLiteral(
    "SELECT ID, PARENT_ID, DEPTH, OPERATION, OPTIONS, OBJECT_OWNER, OBJECT_NAME, CARDINALITY, "
    "COST, BYTES, ACCESS_PREDICATES, FILTER_PREDICATES, LAST_STARTS, LAST_OUTPUT_ROWS, "
    "LAST_CR_BUFFER_GETS, LAST_CU_BUFFER_GETS, LAST_DISK_READS, LAST_ELAPSED_TIME, "
    "PLAN_HASH_VALUE FROM V$SQL_PLAN_STATISTICS_ALL WHERE SQL_ID = '%1' AND CHILD_NUMBER = %2 "
    "ORDER BY ID");
enum { kOperation = 3, kOptions, kAccess = 10, kFilter, kStarts, kRows, kCrGets, kElapsed = 17 };

class EmbeddedActuals : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        fillCustomersAndOrders(path());
        stats_ = connect();
        db_->execute("ALTER SESSION SET STATISTICS_LEVEL = ALL");
    }
    // Runs `sql` to its end on `db`, then reads its plan lines from the other session.
    QList<QStringList> run(const QString& sql, const BindList& binds = {}, Database* db = nullptr) {
        Database& on = db ? *db : *db_;
        auto rs = on.openRecordset(sql, binds);
        rs->skipToEnd();
        rs->close();
        const int64_t sid = dynamic_cast<embedded::EmbeddedDatabase&>(on).sessionId();
        const QStringList cursor = rowsOf(
            *stats_,
            QStringLiteral("SELECT PREV_SQL_ID, PREV_CHILD_NUMBER FROM V$SESSION WHERE SID = %1")
                .arg(sid));
        const QStringList id = cursor.value(0).split(u'|');
        QList<QStringList> lines;
        for (const QString& line : rowsOf(*stats_, kLinesQuery.arg(id.value(0), id.value(1))))
            lines << line.split(u'|');
        return lines;
    }
    // "OPERATION OPTIONS|starts|rows" of a line.
    static QString lineFigures(const QStringList& l) {
        const QString operation =
            l[kOptions] == u"null" ? l[kOperation] : l[kOperation] + u' ' + l[kOptions];
        return QStringList{operation, l[kStarts], l[kRows]}.join(u'|');
    }
    QStringList figures(const QString& sql, const BindList& binds = {}) {
        QStringList out;
        for (const QStringList& l : run(sql, binds))
            out << lineFigures(l);
        return out;
    }

    std::unique_ptr<embedded::EmbeddedDatabase> stats_;
};

// Starts are how often SQLite began a line's loop; rows what the line handed on, counted where
// they went next (the next loop, the sorter, the client); "null" where that is not known.
TEST_F(EmbeddedActuals, EachLineCountsWhatItDidInTheRun) {
    const struct {
        const char* sql;
        QStringList lines;
    } cases[] = {
        {"select c.name, o.order_id, o.total_amount from customers c join orders o on "
         "o.customer_id = c.customer_id where c.city = 'city 7' order by o.total_amount desc",
         {"SELECT STATEMENT|1|1000", "SORT ORDER BY|1|1000", "NESTED LOOPS|1|1000",
          "TABLE ACCESS FULL|1|100", "TABLE ACCESS BY INDEX ROWID BATCHED|100|1000",
          "INDEX RANGE SCAN|100|1000"}},
        {"select total_amount, count(*) from orders group by total_amount",
         {"SELECT STATEMENT|1|1000", "HASH GROUP BY|1|1000", "TABLE ACCESS FULL|1|20000"}},
        // The keys of an IN list are looked up one after the other: one start each.
        {"select * from customers where customer_id in (5, 6, 99999)",
         {"SELECT STATEMENT|1|2", "INLIST ITERATOR|1|2", "TABLE ACCESS BY INDEX ROWID|3|2",
          "INDEX UNIQUE SCAN|3|2"}},
        // What goes into an aggregate is what the scan found; what comes out is one row.
        {"select count(*) from orders where customer_id = 7",
         {"SELECT STATEMENT|1|1", "SORT AGGREGATE|1|1", "INDEX RANGE SCAN|1|10"}},
        // Each customer's orders are searched until the first that matches: none does. The
        // subquery runs per customer.
        {"select * from customers c where exists (select 1 from orders o where o.customer_id = "
         "c.customer_id and o.total_amount > c.customer_id)",
         {"SELECT STATEMENT|1|0", "NESTED LOOPS SEMI|1|0", "TABLE ACCESS FULL|1|2000",
          "TABLE ACCESS BY INDEX ROWID BATCHED|2000|0", "INDEX RANGE SCAN|2000|20000"}},
        // The outer join builds on the smaller input, its inner table.
        {"select c.name, o.total_amount from customers c left join orders o on o.customer_id = "
         "c.customer_id and o.total_amount > 990",
         {"SELECT STATEMENT|1|2162", "HASH JOIN RIGHT OUTER|1|2162", "TABLE ACCESS FULL|1|180",
          "TABLE ACCESS FULL|1|2000"}},
        {"select name from customers where customer_id <= 5 fetch first 3 rows only",
         {"SELECT STATEMENT|1|3", "VIEW|1|3", "WINDOW NOSORT STOPKEY|1|3",
          "TABLE ACCESS BY INDEX ROWID|1|3", "INDEX RANGE SCAN|1|3"}},
        // Changing rows hands none on, as Oracle counts it.
        {"delete from orders where customer_id = 3",
         {"DELETE STATEMENT|1|0", "DELETE|1|0", "INDEX RANGE SCAN|1|10"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(figures(c.sql), c.lines) << c.sql;
}

// The lines are those EXPLAIN PLAN draws, with the same estimates; the pages read are the
// statement's as a whole; each line's time holds its children's, as DBMS_XPLAN's A-Time does.
TEST_F(EmbeddedActuals, TheLinesAreTheExplainedPlanWithThePagesOnTheStatementLine) {
    db_->execute(planTableCreateStatement(kPlanTable));
    db_->execute(explainPlanStatement(kPlanTable, kJoin));
    QStringList explained;
    for (const QString& row : rowsOf(*db_, planQueryStatement(kPlanTable))) {
        const QStringList f = row.split(u'|');
        explained << (f.mid(2, 5) + f.mid(8, 3)).join(u'|');
    }
    const QList<QStringList> lines = run(kJoin);
    QStringList ran;
    // A build on the system's SQLite, or on a processor without a cycle counter, has no time.
#if !defined(QUERVIN_SYSTEM_SQLITE) && (defined(__x86_64__) || defined(__aarch64__))
    const bool timed = true;
#else
    const bool timed = false;
#endif
    for (const QStringList& l : lines) {
        ran << (l.mid(2, 8)).join(u'|');
        const int parent = l[1] == u"null" ? -1 : l[1].toInt();
        ASSERT_EQ(l[kElapsed] != u"null", timed) << qPrintable(l.join(u'|'));
        if (timed && parent >= 0) {
            EXPECT_LE(l[kElapsed].toLongLong(), lines.value(parent).value(kElapsed).toLongLong());
        }
        if (l[0] != u"0") {
            EXPECT_EQ(l.mid(kCrGets, 3).join(u'|'), "null|null|null");
        }
    }
    EXPECT_EQ(ran, explained);
    EXPECT_GT(lines.value(0).value(kCrGets).toLongLong(), 0);
    EXPECT_EQ(lines.value(0).value(kCrGets + 1), "0");
    const QList<QStringList> change = run("update orders set total_amount = 1 where order_id = 5");
    // A change reads the row to change (consistent gets) and writes the blocks it changed.
    EXPECT_GT(change.value(0).value(kCrGets).toLongLong(), 0);
    EXPECT_GT(change.value(0).value(kCrGets + 1).toLongLong(), 0);
    // One plan, one hash; another plan, another hash.
    EXPECT_NE(lines.value(0).last(), change.value(0).last());
    EXPECT_EQ(lines.value(0).last(), run(kJoin).value(0).last());
}

// A statement that does all its work in one step is timed by sample past its first
// instructions; one that runs SQL inside each row's step (NEXTVAL) pairs each instruction's two
// reads of the clock all the same. Each line has a time within its parent's, the statement
// line's within the run's, and the rows each line handed on stay exact.
TEST_F(EmbeddedActuals, LongStepsAreTimedBySampleWithinTheRunsTime) {
#if !defined(QUERVIN_SYSTEM_SQLITE) && (defined(__x86_64__) || defined(__aarch64__))
    db_->execute("create sequence order_seq");
    const struct {
        const char* sql;
        QStringList lines;
    } cases[] = {
        {"select c.city, count(*), sum(o.total_amount) from orders o join customers c on "
         "c.customer_id = o.customer_id group by c.city",
         {"SELECT STATEMENT|1|20", "HASH GROUP BY|1|20", "HASH JOIN|1|20000",
          "TABLE ACCESS FULL|1|2000", "TABLE ACCESS FULL|1|20000"}},
        {"select order_seq.nextval, order_id from orders",
         {"SELECT STATEMENT|1|20000", "SEQUENCE|1|20000", "TABLE ACCESS FULL|1|20000"}},
    };
    for (const auto& c : cases) {
        QElapsedTimer timer;
        timer.start();
        const QList<QStringList> lines = run(c.sql);
        const int64_t runMicros = timer.nsecsElapsed() / 1000;
        QStringList ran;
        for (const QStringList& l : lines) {
            ran << lineFigures(l);
            const int64_t parent =
                l[1] == u"null" ? runMicros : lines[l[1].toInt()][kElapsed].toLongLong();
            EXPECT_GT(l[kElapsed].toLongLong(), 0) << c.sql;
            EXPECT_LE(l[kElapsed].toLongLong(), parent) << c.sql;
        }
        EXPECT_EQ(ran, c.lines);
    }
#endif
}

TEST_F(EmbeddedActuals, BindValuesChangeTheRowsALineProduces) {
    db_->execute("create index ix_customers_city on customers (city)");
    const QString sql = QStringLiteral(
        "select c.name, o.total_amount from customers c join orders o on o.customer_id = "
        "c.customer_id where c.city = :city");
    const struct {
        const char* city;
        QStringList lines;
    } cases[] = {
        {"city 7",
         {"SELECT STATEMENT|1|1000", "NESTED LOOPS|1|1000",
          "TABLE ACCESS BY INDEX ROWID BATCHED|1|100", "INDEX RANGE SCAN|1|100",
          "TABLE ACCESS BY INDEX ROWID BATCHED|100|1000", "INDEX RANGE SCAN|100|1000"}},
        {"nowhere",
         {"SELECT STATEMENT|1|0", "NESTED LOOPS|1|0", "TABLE ACCESS BY INDEX ROWID BATCHED|1|0",
          "INDEX RANGE SCAN|1|0", "TABLE ACCESS BY INDEX ROWID BATCHED|0|0",
          "INDEX RANGE SCAN|0|0"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(figures(sql, {{"city", BindType::Varchar2, c.city}}), c.lines) << c.city;
}

// As Oracle: the lines of a statement that ran are there whatever the level; its figures only
// when it ran with STATISTICS_LEVEL = ALL or asked for them with GATHER_PLAN_STATISTICS.
TEST_F(EmbeddedActuals, FiguresAreCollectedOnlyWithStatisticsLevelAllOrTheHint) {
    auto figuresOf = [&](const QList<QStringList>& lines) {
        QStringList out;
        for (const QStringList& l : lines)
            out << l.mid(kStarts, 6).join(u'|');
        return out.join(u' ');
    };
    const QString none = QStringList(6, QStringLiteral("null")).join(u'|');
    const auto typical = connect();
    QList<QStringList> lines = run(kJoin, {}, typical.get());
    EXPECT_EQ(lines.size(), 6);
    EXPECT_EQ(figuresOf(lines), QStringList(6, none).join(u' '));

    typical->execute("ALTER SESSION SET STATISTICS_LEVEL = ALL");
    EXPECT_NE(run(kJoin, {}, typical.get())[0][kStarts], "null");
    typical->execute("ALTER SESSION SET STATISTICS_LEVEL = TYPICAL");
    EXPECT_EQ(run(kJoin, {}, typical.get())[0][kStarts], "null");
    const QString hinted =
        QString(kJoin).replace("select ", "select /*+ gather_plan_statistics */ ");
    EXPECT_EQ(run(hinted, {}, typical.get())[2][kRows], "1000");
}

// Predicate Information as DBMS_XPLAN prints it: "id|access|filter" of each line that has one.
TEST_F(EmbeddedActuals, EachConditionIsOnTheLineThatAppliesItInOraclesNotation) {
    db_->execute("create index ix_customers_city on customers (city)");
    const struct {
        const char* sql;
        QStringList predicates;
    } cases[] = {
        {"select c.name, o.order_id from customers c join orders o on o.customer_id = "
         "c.customer_id where c.city = :city and o.total_amount > 10",
         {"3|\"C\".\"CITY\"=:CITY|null", "4|null|\"O\".\"TOTAL_AMOUNT\">10",
          "5|\"O\".\"CUSTOMER_ID\"=\"C\".\"CUSTOMER_ID\"|null"}},
        {"select * from customers where customer_id between 10 and 20 and name like 'c%'",
         {"1|null|\"NAME\" LIKE 'c%'", "2|\"CUSTOMER_ID\">=10 AND \"CUSTOMER_ID\"<=20|null"}},
        {"select * from customers where customer_id in (5, 6, 7) and name != 'x'",
         {"2|null|\"NAME\"<>'x'",
          "3|\"CUSTOMER_ID\"=5 OR \"CUSTOMER_ID\"=6 OR \"CUSTOMER_ID\"=7|null"}},
        {"select order_id from orders where order_date > date '2024-12-01' and "
         "upper(to_char(total_amount)) in ('1', '2')",
         {"1|null|\"ORDER_DATE\">TO_DATE(' 2024-12-01 00:00:00', 'syyyy-mm-dd hh24:mi:ss') "
          "AND (UPPER(TO_CHAR(\"TOTAL_AMOUNT\"))='1' OR UPPER(TO_CHAR(\"TOTAL_AMOUNT\"))='2')"}},
        // A WHERE condition on an outer join's inner table applies to the joined rows.
        {"select c.name from customers c left join orders o on o.customer_id = c.customer_id and "
         "o.total_amount > 990 where o.order_id is null",
         {"1|\"O\".\"CUSTOMER_ID\"=\"C\".\"CUSTOMER_ID\"|\"O\".\"ORDER_ID\" IS NULL",
          "2|null|\"O\".\"TOTAL_AMOUNT\">990"}},
        // AND binds closer than OR; each side's IN and NOT BETWEEN printed as its comparisons.
        {"select order_id from orders where order_date is null and customer_id in (5, 6) or "
         "total_amount not between 1 and 900",
         {"1|null|\"ORDER_DATE\" IS NULL AND (\"CUSTOMER_ID\"=5 OR \"CUSTOMER_ID\"=6) OR "
          "\"TOTAL_AMOUNT\"<1 OR \"TOTAL_AMOUNT\">900"}},
        {"select customer_id, count(*) from orders group by customer_id having count(*) > 9",
         {"1|null|COUNT(*)>9"}},
        // An anti join that looks the key up: the index line finds by it.
        {"select * from customers c where not exists (select 1 from orders o where "
         "o.customer_id = c.customer_id)",
         {"3|\"O\".\"CUSTOMER_ID\"=\"C\".\"CUSTOMER_ID\"|null"}},
    };
    for (const auto& c : cases) {
        QStringList predicates;
        for (const QStringList& l : run(c.sql, {{"city", BindType::Varchar2, "city 7"}})) {
            if (l[kAccess] != u"null" || l[kFilter] != u"null")
                predicates << QStringList{l[0], l[kAccess], l[kFilter]}.join(u'|');
        }
        EXPECT_EQ(predicates, c.predicates) << c.sql;
    }
}

// Oracle's own PLAN_TABLE has the predicate columns: EXPLAIN PLAN fills them as the cursor's
// lines have them, and so it does in the plan table the run creates, which has them too.
TEST_F(EmbeddedActuals, APlanTableWithPredicateColumnsGetsThePredicates) {
    db_->execute(
        "create table plan_table (statement_id varchar2(30), plan_id number, timestamp date, "
        "remarks varchar2(4000), operation varchar2(30), options varchar2(255), object_owner "
        "varchar2(30), object_name varchar2(30), optimizer varchar2(255), id number, parent_id "
        "number, depth number, position number, cost number, cardinality number, bytes number, "
        "access_predicates varchar2(4000), filter_predicates varchar2(4000), projection "
        "varchar2(4000))");
    db_->execute(explainPlanStatement(QStringLiteral("PLAN_TABLE"), kJoin));
    const QString read = QStringLiteral(
        "SELECT ID, ACCESS_PREDICATES, FILTER_PREDICATES FROM %1 WHERE STATEMENT_ID = 'QUERVIN' "
        "ORDER BY ID");
    QStringList ran;
    for (const QStringList& l : run(kJoin))
        ran << QStringList{l[0], l[kAccess], l[kFilter]}.join(u'|');
    EXPECT_EQ(rowsOf(*db_, read.arg("PLAN_TABLE")), ran);
    EXPECT_EQ(ran.filter(QRegularExpression("^\\d+\\|null\\|null$")).size(), 4);

    db_->execute(planTableCreateStatement(kPlanTable));
    db_->execute(explainPlanStatement(kPlanTable, kJoin));
    EXPECT_EQ(rowsOf(*db_, read.arg(kPlanTable)), ran);
}

// Every line the engine runs has its rows, those a count of the same rows gives: a scan under an
// aggregate, the table a probe reads, the rows a semi or an anti join returns.
TEST_F(EmbeddedActuals, EveryLineItRunsHasTheRowsItHandedOn) {
    auto count = [&](const QString& where) {
        return rowsOf(*db_, "select count(*) from " + where).value(0).toLongLong();
    };
    const QString exists = QStringLiteral(
        "exists (select 1 from orders o where o.customer_id = c.customer_id and "
        "o.total_amount > 990)");
    const qlonglong found = count("customers c where " + exists);
    const qlonglong big = count(QStringLiteral("orders where total_amount > 500"));
    const qlonglong seventh = count(QStringLiteral("orders where customer_id = 7"));
    const qlonglong cities = count(QStringLiteral("(select distinct city from customers)"));
    const qlonglong cheap = count(QStringLiteral("orders where total_amount < 5"));
    const qlonglong buyers =
        count(QStringLiteral("(select distinct customer_id from orders where total_amount < 5)"));
    const qlonglong sevens = count(QStringLiteral("orders where total_amount = 7"));
    const qlonglong firstTwo = count(QStringLiteral(
        "(select row_number() over (partition by customer_id order by order_id) rn from orders) "
        "where rn <= 2"));
    const qlonglong early = count(QStringLiteral("orders where customer_id < 50"));
    const qlonglong earlyBuyers =
        count(QStringLiteral("(select distinct customer_id from orders where customer_id < 50)"));
    const QString late = QStringLiteral(
        "(select customer_id from orders where customer_id < 50 group by customer_id having "
        "max(order_id) > 18030)");
    const qlonglong lateBuyers = count(late);
    ASSERT_GT(found, 0);
    ASSERT_LT(buyers, cheap);
    ASSERT_LT(lateBuyers, earlyBuyers);
    const struct {
        QString sql;
        std::vector<std::pair<int, qlonglong>> rows;  // line id, its rows
        std::vector<std::pair<int, qlonglong>> starts = {};
    } cases[] = {
        {"select count(*) from orders where total_amount > 500", {{2, big}}},
        {"select sum(total_amount) from orders where customer_id = 7",
         {{2, seventh}, {3, seventh}}},
        // SORT AGGREGATE, NESTED LOOPS SEMI, TABLE ACCESS FULL, TABLE ACCESS BY INDEX ROWID, INDEX
        // RANGE SCAN: each probe stops at the first order found.
        {"select count(*) from customers c where " + exists, {{2, found}, {3, 2000}, {4, found}}},
        {"select count(*) from customers c where not " + exists,
         {{2, 2000 - found}, {3, 2000}, {4, found}}},
        // Every row goes into the check for values had before, fewer come out.
        {"select distinct city from customers", {{1, cities}, {2, 2000}}},
        {"select count(distinct city) from customers", {{2, 2000}}},
        {"select city from customers union all select name from customers where customer_id < 10",
         {{1, 2009}, {2, 2000}, {3, 9}}},
        // NESTED LOOPS over SORT UNIQUE of the subquery's values: one lookup each.
        {"select name from customers where customer_id in (select customer_id from orders where "
         "total_amount < 5)",
         {{2, buyers}, {3, cheap}, {4, buyers}, {5, buyers}},
         {{2, 1}, {4, buyers}, {5, buyers}}},
        // Each member stops at its own row limit; the union's sort hands on what the count
        // asked for.
        {"select city from customers where rownum <= 5 union all select name from customers "
         "where customer_id < 10 and rownum <= 3",
         {{1, 8}, {2, 5}, {3, 5}, {4, 3}, {5, 3}, {6, 3}}},
        {"select * from (select city from customers union select name from customers where "
         "customer_id < 10) where rownum <= 5",
         {{2, 5}, {3, 5}, {4, 2009}}},
        // Past an OFFSET the window numbers the rows it skips too, as many as the table let
        // through.
        {"select name from customers where name like 'customer 1%' order by customer_id offset "
         "5 rows fetch next 3 rows only",
         {{1, 3}, {2, 5 + 3}, {3, 5 + 3}}},
        // Ranked within each customer's orders: the window keeps the first two of each.
        {"select * from (select o.*, row_number() over (partition by customer_id order by "
         "order_id) rn from orders o) where rn <= 2",
         {{1, firstTwo}, {2, firstTwo}, {3, 20000}}},
        // Groups made in the index's order, handed on through the view.
        {"select count(*) from (select customer_id from orders where customer_id < 50 group by "
         "customer_id)",
         {{2, earlyBuyers}, {3, earlyBuyers}, {4, early}}},
        // Every group made, then those HAVING keeps.
        {late.mid(1).chopped(1), {{1, lateBuyers}, {2, earlyBuyers}, {3, early}}},
        {"select total_amount, count(*) from orders group by total_amount having count(*) > 20",
         {{1, 0}, {2, count(QStringLiteral("(select distinct total_amount from orders)"))}}},
        // MERGE JOIN CARTESIAN: the orders read once into the buffer, which each customer reads.
        {"select c.name, o.order_id from customers c, orders o where c.customer_id < 3 and "
         "o.total_amount = 7",
         {{4, 2 * sevens}, {5, sevens}},
         {{4, 2}, {5, 1}}},
    };
    for (const auto& c : cases) {
        const QList<QStringList> lines = run(c.sql);
        for (const QStringList& l : lines)
            EXPECT_NE(l[kRows], "null") << qPrintable(c.sql + ": " + l.join(u'|'));
        for (const auto& [id, rows] : c.rows)
            EXPECT_EQ(lines.value(id).value(kRows).toLongLong(), rows)
                << qPrintable(c.sql + ": line " + QString::number(id));
        for (const auto& [id, starts] : c.starts)
            EXPECT_EQ(lines.value(id).value(kStarts).toLongLong(), starts)
                << qPrintable(c.sql + ": line " + QString::number(id));
    }
}

}  // namespace

// A MERGE leaves its plan lines, with what the statement did as a whole on its own line, and on
// the lines below what reading the source and looking its rows up in the target did.
TEST_F(EmbeddedActuals, AMergeHasItsLinesAndItsOwnFigures) {
    const qlonglong matched =
        rowsOf(*db_, "select count(*) from customers where customer_id - 1990 between 1 and 20")
            .value(0)
            .toLongLong();
    ASSERT_LT(matched, 20);
    // Only matched rows are updated: the source joined to the target. Unmatched rows inserted:
    // outer joined, each source row kept.
    const struct {
        QString when;
        qlonglong joined;
    } cases[] = {
        {"when matched then update set c.name = s.name", matched},
        {"when not matched then insert (customer_id, name) values (s.customer_id + 9000, 'n')", 20},
    };
    for (const auto& [when, joined] : cases) {
        const QList<QStringList> lines =
            run("merge into customers c using (select customer_id, name from customers where "
                "customer_id <= 20) s on (c.customer_id = s.customer_id + 1990) " +
                when);
        QStringList figures;
        for (const QStringList& l : lines)
            figures << QStringList{l[kOperation], l[kStarts], l[kRows]}.join(u'|');
        const QString rows = QString::number(joined);
        EXPECT_EQ(figures.mid(0, 6).join(u' '), "MERGE STATEMENT|1|0 MERGE|1|0 VIEW|1|" + rows +
                                                    " NESTED LOOPS|1|" + rows +
                                                    " TABLE ACCESS|1|20 INDEX|1|20")
            << qPrintable(when);
        EXPECT_EQ(figures.mid(6).join(u' '),
                  QStringLiteral("TABLE ACCESS|20|%1 INDEX|20|%1").arg(matched))
            << qPrintable(when);
        EXPECT_GT(lines[0][kCrGets].toLongLong(), 0);
        EXPECT_GT(lines[0][kCrGets + 1].toLongLong(), 0);
    }
}
