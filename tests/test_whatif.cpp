// Index candidates read from plans, and what-ifs with virtual indexes as an Oracle server is
// sent them (a scripted server).
#include "core/tuning/whatif.h"
#include "support/scripteddb.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {

PlanLine line(int64_t id, int64_t depth, const QString& operation, const QString& options,
              const QString& object = QString(), const QString& access = QString(),
              const QString& filter = QString()) {
    PlanLine l;
    l.id = id;
    l.depth = depth;
    l.parentId = id > 0 ? std::optional<int64_t>(id - 1) : std::nullopt;
    l.operation = operation;
    if (!options.isEmpty())
        l.options = options;
    l.objectOwner = u"SCOTT"_s;
    if (!object.isEmpty())
        l.objectName = object;
    l.accessPredicates = access;
    l.filterPredicates = filter;
    return l;
}

QStringList keys(const QList<IndexCandidate>& candidates) {
    QStringList out;
    for (const IndexCandidate& c : candidates)
        out << c.table + u'(' + c.columns.join(u',') + u')' + (c.covering ? u"+"_s : QString());
    return out;
}

}  // namespace

// Equalities first, then one range column, then ORDER BY when the index gives that order; a
// covering variant for a short select list; nothing an existing index already starts with.
TEST(IndexCandidates, SingleTableFiltersAndOrderBy) {
    const QList<PlanLine> plan = {
        line(0, 0, u"SELECT STATEMENT"_s, {}), line(1, 1, u"SORT"_s, u"ORDER BY"_s),
        line(2, 2, u"TABLE ACCESS"_s, u"FULL"_s, u"EMP"_s, {},
             u"\"SAL\">1000 AND \"HIREDATE\"<SYSDATE AND \"DEPTNO\"=10 AND UPPER(\"ENAME\")='X' "
             u"AND (\"JOB\"='A' OR \"JOB\"='B') AND \"COMM\" IS NULL"_s)};
    QList<IndexCandidate> c =
        indexCandidates(plan, u"select ename, sal from emp where x order by sal"_s, {});
    EXPECT_EQ(keys(c), (QStringList{u"EMP(DEPTNO,JOB,SAL)"_s, u"EMP(DEPTNO,JOB,SAL,ENAME)+"_s}));
    EXPECT_EQ(c[0].serves,
              u"\"DEPTNO\"=10 AND (\"JOB\"='A' OR \"JOB\"='B') AND \"SAL\">1000 AND "
              u"order by sal"_s);
    EXPECT_EQ(c[0].createText(c[0].suggestedName()),
              u"CREATE INDEX IX_EMP_DEPTNO ON SCOTT.EMP (DEPTNO, JOB, SAL)"_s);
    // ORDER BY another column than the range's cannot be given by the index; * covers nothing.
    c = indexCandidates(plan, u"select * from emp where x order by ename"_s, {});
    EXPECT_EQ(keys(c), QStringList{u"EMP(DEPTNO,JOB,SAL)"_s});
    // An index that starts with the same columns is there already.
    EXPECT_TRUE(indexCandidates(plan, u"select * from emp"_s,
                                {{u"EMP"_s, {{u"DEPTNO"_s, u"JOB"_s, u"SAL"_s, u"X"_s}}}})
                    .isEmpty());
    // An index's rows read and kept: nothing to propose.
    const QList<PlanLine> indexed = {
        line(0, 0, u"SELECT STATEMENT"_s, {}),
        line(1, 1, u"TABLE ACCESS"_s, u"BY INDEX ROWID"_s, u"EMP"_s),
        line(2, 2, u"INDEX"_s, u"RANGE SCAN"_s, u"EMP_SAL"_s, u"\"SAL\">1000"_s)};
    EXPECT_TRUE(indexCandidates(indexed, u"select * from emp where sal > 1000"_s, {}).isEmpty());
}

// A join: the filtered table's own columns, and the join columns leading a second candidate
// for a table fetched by rowid and then filtered, aliases read from the statement.
TEST(IndexCandidates, JoinsUseTheStatementsAliases) {
    const QList<PlanLine> plan = {
        line(0, 0, u"SELECT STATEMENT"_s, {}), line(1, 1, u"NESTED LOOPS"_s, {}),
        line(2, 2, u"TABLE ACCESS"_s, u"FULL"_s, u"CUSTOMERS"_s, {}, u"\"C\".\"CITY\"='X'"_s),
        line(3, 2, u"TABLE ACCESS"_s, u"BY INDEX ROWID"_s, u"ORDERS"_s, {},
             u"\"O\".\"STATUS\"='NEW'"_s),
        line(4, 3, u"INDEX"_s, u"RANGE SCAN"_s, u"IX_ORDERS_CUSTOMER"_s,
             u"\"C\".\"CUSTOMER_ID\"=\"O\".\"CUSTOMER_ID\""_s)};
    const QString sql =
        u"select o.order_id, c.name from orders o join customers c on "
        u"c.customer_id = o.customer_id where o.status = 'NEW' and c.city = 'X'"_s;
    const ExistingIndexes existing{{u"CUSTOMERS"_s, {{u"CUSTOMER_ID"_s}}},
                                   {u"ORDERS"_s, {{u"CUSTOMER_ID"_s}}}};
    const QList<IndexCandidate> c = indexCandidates(plan, sql, existing);
    EXPECT_EQ(keys(c),
              (QStringList{u"CUSTOMERS(CITY)"_s, u"CUSTOMERS(CITY,NAME)+"_s, u"ORDERS(STATUS)"_s,
                           u"ORDERS(CUSTOMER_ID,STATUS)"_s, u"ORDERS(STATUS,ORDER_ID)+"_s}));
    EXPECT_EQ(c[3].serves,
              u"\"C\".\"CUSTOMER_ID\"=\"O\".\"CUSTOMER_ID\" AND \"O\".\"STATUS\"='NEW'"_s);
}

TEST(IndexCandidates, CreateIndexTextsAreRead) {
    const auto d = readCreateIndex(
        u"create unique index app.ix on app.\"Orders\" (a desc, upper(b)) tablespace x"_s);
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->unique);
    EXPECT_EQ(d->owner + u'.' + d->table, u"APP.Orders"_s);
    EXPECT_EQ(d->columns, (QStringList{u"a desc"_s, u"upper(b)"_s}));
    EXPECT_EQ(d->columnNames, (QStringList{u"A"_s, u"upper(b)"_s}));
    EXPECT_EQ(nosegmentIndexStatement(*d, u"QVWI_1_2_3"_s),
              u"CREATE UNIQUE INDEX QVWI_1_2_3 ON APP.\"Orders\" (a desc, upper(b)) NOSEGMENT"_s);
    EXPECT_FALSE(readCreateIndex(u"create table t (a int)"_s));
    EXPECT_FALSE(readCreateIndex(u"create index ix on t"_s));
}

namespace {

const QString kSql = u"select * from customers where city = 'X'"_s;
const QString kTable = u"QUERVIN$PLAN_TABLE"_s;

class WhatIfTest : public ::testing::Test {
  protected:
    WhatIfTest() {
        script->onText(kOwnSessionQuery, Reply::table({u"SID"_s, u"SERIAL#"_s}, {{42, 7}}));
        script->onText(kBlockSizeQuery, Reply::table({u"VALUE"_s}, {{8192}}));
        script->onText(u"SELECT NUM_ROWS, BLOCKS FROM USER_TABLES WHERE TABLE_NAME = 'CUSTOMERS'"_s,
                       Reply::table({u"NUM_ROWS"_s, u"BLOCKS"_s}, {{400000, 5000}}));
        script->onText(
            u"SELECT COLUMN_NAME, NUM_DISTINCT, AVG_COL_LEN FROM USER_TAB_COLUMNS WHERE "
            u"TABLE_NAME = 'CUSTOMERS'"_s,
            Reply::table({u"COLUMN_NAME"_s, u"NUM_DISTINCT"_s, u"AVG_COL_LEN"_s},
                         {{u"CITY"_s, 50, 9}, {u"NAME"_s, 400000, 21}}));
        // The first explain reads the plan as it stands, the second sees the virtual index.
        script->on(
            u"SELECT id,timestamp.*'QUERVIN_WI'.*"_s,
            test::planRows(
                {{0, u"SELECT STATEMENT"_s, {}, {}, {}, {}, 8000, 300},
                 {1,
                  u"TABLE ACCESS"_s,
                  u"BY INDEX ROWID"_s,
                  u"DEMO"_s,
                  u"CUSTOMERS"_s,
                  {},
                  8000,
                  300},
                 {2, u"INDEX"_s, u"RANGE SCAN"_s, u"DEMO"_s, u"QVWI_42_7_1"_s, {}, 8000, 20}}));
        script->on(
            u"SELECT id,timestamp.*'QUERVIN_WI'.*"_s,
            test::planRows(
                {{0, u"SELECT STATEMENT"_s, {}, {}, {}, {}, 8000, 1104},
                 {1, u"TABLE ACCESS"_s, u"FULL"_s, u"DEMO"_s, u"CUSTOMERS"_s, {}, 8000, 1104}}),
            1);
    }

    WhatIfResult run(ClusteringAssumption clustering = ClusteringAssumption::Best,
                     SessionTransaction t = {}) {
        return whatIf.run(kSql, {*readCreateIndex(u"create index ix on customers (city)"_s)},
                          clustering, t, [this](const QString& q) {
                              questions << q;
                              return answer;
                          });
    }
    // The statements sent, without the explain's readings.
    QStringList sent() const {
        QStringList out;
        for (const QString& s : script->log) {
            if (!s.mid(3).startsWith(u"SELECT"_s))
                out << s.mid(3);
        }
        return out;
    }

    std::shared_ptr<test::Script> script = std::make_shared<test::Script>();
    test::ScriptedDatabase db{u"Q"_s, script};
    WhatIf whatIf{db, u"demo"_s, kTable};
    Answer answer = Answer::Yes;
    QStringList questions;
};

}  // namespace

TEST_F(WhatIfTest, SendsTheVirtualIndexItsStatisticsTheExplainAndCleansUp) {
    const WhatIfResult r = run();
    ASSERT_TRUE(r.done()) << r.message.toStdString();
    const QString explain =
        u"EXPLAIN PLAN SET STATEMENT_ID = 'QUERVIN_WI'  INTO  "_s + kTable + u" FOR "_s + kSql;
    const QString remove = u"delete from "_s + kTable + u" where statement_id = 'QUERVIN_WI'"_s;
    EXPECT_EQ(
        sent(),
        (QStringList{explain, remove, u"CREATE INDEX QVWI_42_7_1 ON CUSTOMERS (city) NOSEGMENT"_s,
                     u"ALTER SESSION SET \"_use_nosegment_indexes\" = TRUE"_s,
                     u"BEGIN DBMS_STATS.SET_INDEX_STATS(ownname => 'DEMO', indname => "
                     u"'QVWI_42_7_1', numrows => 400000, numlblks => 1056, numdist => 50, "
                     u"avglblk => 21, avgdblk => 100, clstfct => 5000, indlevel => 2); END;"_s,
                     explain, remove, u"DROP INDEX QVWI_42_7_1"_s,
                     u"ALTER SESSION SET \"_use_nosegment_indexes\" = FALSE"_s}));
    EXPECT_EQ(planCost(r.current).toInt(), 1104);
    EXPECT_EQ(planCost(r.whatIf).toInt(), 300);
    EXPECT_EQ(r.whatIf[2].text(), u"  INDEX RANGE SCAN (DEMO.QVWI_42_7_1)"_s);
    EXPECT_EQ(questions, QStringList{kMsgWhatIfDdl});  // asked once per session
    script->log.clear();
    // The worst clustering: the table's rows, one block each; the next name.
    run(ClusteringAssumption::Worst);
    EXPECT_TRUE(
        sent()
            .filter(u"SET_INDEX_STATS"_s)
            .value(0)
            .contains(
                u"indname => 'QVWI_42_7_2', numrows => 400000, numlblks => 1056, numdist => 50, "
                u"avglblk => 21, avgdblk => 8000, clstfct => 400000, indlevel => 2"_s));
    EXPECT_EQ(questions.size(), 1);
}

TEST_F(WhatIfTest, RefusedWhilePendingOrDeclinedAndMissingPrivilegesAreNamed) {
    SessionTransaction pending;
    pending.pending = true;
    EXPECT_EQ(run(ClusteringAssumption::Best, pending).message, kMsgWhatIfPending);
    answer = Answer::No;
    EXPECT_EQ(run().outcome, WhatIfOutcome::Refused);
    EXPECT_TRUE(script->log.isEmpty());

    answer = Answer::Yes;
    script->on(u"CREATE INDEX .*"_s, Reply::fail(u"ORA-01031: insufficient privileges"_s), 1);
    WhatIfResult r = run();
    EXPECT_EQ(r.outcome, WhatIfOutcome::NoIndexPrivilege);
    EXPECT_EQ(r.message, u"ORA-01031: insufficient privileges"_s + kMsgNoIndexPrivilege);
    EXPECT_TRUE(sent().filter(u"ALTER SESSION"_s).isEmpty() && sent().filter(u"DROP"_s).isEmpty());

    // The parameter refused: the index made is dropped and the parameter set back all the same.
    script->log.clear();
    script->on(u"ALTER SESSION SET .* = TRUE"_s,
               Reply::fail(u"ORA-01031: insufficient privileges"_s), 1);
    r = run();
    EXPECT_EQ(r.outcome, WhatIfOutcome::NoParameterPrivilege);
    EXPECT_EQ(r.message, u"ORA-01031: insufficient privileges"_s + kMsgNoParameterPrivilege);
    EXPECT_EQ(sent().mid(3),
              (QStringList{u"ALTER SESSION SET \"_use_nosegment_indexes\" = TRUE"_s,
                           u"DROP INDEX QVWI_42_7_2"_s,
                           u"ALTER SESSION SET \"_use_nosegment_indexes\" = FALSE"_s}));

    // The explain fails: its rows, the index and the parameter are cleaned up all the same.
    script->log.clear();
    script->on(u"EXPLAIN PLAN .*"_s, Reply::fail(u"ORA-00904: \"X\": invalid identifier"_s), 1);
    script->on(u"EXPLAIN PLAN .*"_s, Reply{}, 1);
    script->on(u"DROP INDEX .*"_s, Reply::fail(u"ORA-03113: end-of-file"_s), 1);
    r = run();
    EXPECT_EQ(r.outcome, WhatIfOutcome::Failed);
    EXPECT_EQ(r.message, u"ORA-00904: \"X\": invalid identifier"_s);
    EXPECT_EQ(sent().mid(sent().size() - 3),
              (QStringList{u"delete from "_s + kTable + u" where statement_id = 'QUERVIN_WI'"_s,
                           u"DROP INDEX QVWI_42_7_3"_s,
                           u"ALTER SESSION SET \"_use_nosegment_indexes\" = FALSE"_s}));
    // What could not be dropped is dropped when the dialog or window closes.
    EXPECT_EQ(whatIf.undropped(), QStringList{u"QVWI_42_7_3"_s});
    whatIf.dropAll();
    EXPECT_TRUE(whatIf.undropped().isEmpty());
    EXPECT_EQ(sent().last(), u"DROP INDEX QVWI_42_7_3"_s);
}

// At login only the program's indexes of sessions gone are dropped, never a live window's; a
// session the views cannot be asked about counts as alive.
TEST_F(WhatIfTest, LeftoversOfSessionsGoneAreDroppedAtLogin) {
    script->onText(
        kLeftoversQuery,
        Reply::table({u"OBJECT_NAME"_s},
                     {{u"QVWI_42_7_1"_s}, {u"QVWI_43_9_2"_s}, {u"QVWI_44_1_1"_s}, {u"QVWI_X"_s}}));
    const QString count = u"SELECT COUNT(*) FROM %1 WHERE SID = %2 AND SERIAL# = %3"_s;
    script->onText(count.arg(u"GV$SESSION"_s, u"42"_s, u"7"_s), Reply::table({u"N"_s}, {{1}}));
    script->onText(count.arg(u"GV$SESSION"_s, u"43"_s, u"9"_s), Reply::table({u"N"_s}, {{0}}));
    script->on(u".*GV\\$SESSION WHERE SID = 44.*"_s, Reply::fail(u"ORA-00942"_s));
    script->on(u".*V\\$SESSION WHERE SID = 44.*"_s, Reply::fail(u"ORA-00942"_s));
    EXPECT_EQ(WhatIf::dropLeftovers(db), QStringList{u"QVWI_43_9_2"_s});
    EXPECT_EQ(sent(), QStringList{u"DROP INDEX QVWI_43_9_2"_s});
}
