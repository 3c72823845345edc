// Sessions of the embedded engine: ids, V$SESSION, ALTER SESSION and the statistics that one
// connection reads of another, with the statements exactly as the tuning run sends them.
#include "core/embedded/session/sessions.h"
#include "core/tuning/planstep.h"
#include "support/embeddedfixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

using Stats = std::map<QString, qlonglong>;

// `db_` is measured, `stats_` reads its statistics as the run's second connection does.
class EmbeddedSession : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        stats_ = connect();
    }
    Stats statistics(EmbeddedDatabase& db) { return readStatistics(*stats_, db.sessionId()); }
    // How much each statistic of `db` changes while `action` runs.
    Stats deltas(EmbeddedDatabase& db, const std::function<void()>& action) {
        const Stats before = statistics(db);
        action();
        Stats change = statistics(db);
        for (auto& [name, value] : change)
            value -= before.at(name);
        return change;
    }
    // t: 1,000 rows, n indexed; u: 10 rows, nothing indexed, an update trigger.
    void createTables() {
        for (const char* sql :
             {"create table t (n integer, s varchar2(20))", "create index t_n on t (n)",
              "insert into t with recursive r(v) as (select 1 union all select v + 1 from r "
              "where v < 1000) select v, 'row ' || v from r",
              "create table u as select n k, s from t where n <= 10", "create table a (k)",
              "create trigger u_a after update on u begin insert into a values (new.k); end"})
            db_->execute(sql);
    }

    std::unique_ptr<EmbeddedDatabase> stats_;
};

TEST_F(EmbeddedSession, EachConnectionFindsItsOwnSession) {
    EXPECT_EQ(rowsOf(*db_, kSessionIdQuery), QStringList(QString::number(db_->sessionId())));
    EXPECT_EQ(rowsOf(*stats_, kSessionIdQuery), QStringList(QString::number(stats_->sessionId())));
    EXPECT_NE(db_->sessionId(), stats_->sessionId());
    const QString row =
        QString("select username, status from v$session where sid = %1").arg(db_->sessionId());
    EXPECT_EQ(rowsOf(*stats_, row), QStringList("SCOTT|INACTIVE"));
    db_->close();
    EXPECT_EQ(rowsOf(*stats_, row), QStringList()) << "a closed session leaves V$SESSION";
}

// The run's second session finds the statement the first one ran last by its SQL_ID: Oracle's
// form (13 characters of its base-32 alphabet) of a hash of the text as sent.
TEST_F(EmbeddedSession, PrevSqlIdNamesTheLastStatementTheSessionRan) {
    auto previous = [&](EmbeddedDatabase& db) {
        return rowsOf(*stats_, QString("SELECT PREV_SQL_ID, PREV_CHILD_NUMBER FROM V$SESSION "
                                       "WHERE SID = %1")
                                   .arg(db.sessionId()))
            .value(0);
    };
    EXPECT_EQ(previous(*db_), "null|null");
    rowsOf(*db_, "select 1 from dual");
    const QString first = previous(*db_);
    EXPECT_TRUE(QRegularExpression("^[0-9abcdfghjkmnpqrstuvwxyz]{13}\\|0$").match(first).hasMatch())
        << first.toStdString();
    EXPECT_EQ(previous(*db_), first) << "reading another session moves nothing";

    const auto other = connect();
    rowsOf(*other, "select 1 from dual");
    EXPECT_EQ(previous(*other), first) << "the same text, the same statement";
    for (const char* sql : {"select  1 from dual", "ALTER SESSION SET STATISTICS_LEVEL = ALL"}) {
        db_->execute(sql);
        EXPECT_NE(previous(*db_), first) << sql;
    }
}

// The run's own statements; it falls back to OPTIMIZER_MODE, another name of OPTIMIZER_GOAL.
TEST_F(EmbeddedSession, AlterSessionIsRememberedPerSession) {
    for (const char* sql :
         {"ALTER SESSION SET SQL_TRACE=FALSE", "ALTER SESSION SET TIMED_STATISTICS=TRUE",
          "ALTER SESSION SET OPTIMIZER_GOAL = CHOOSE", "ALTER SESSION SET OPTIMIZER_MODE = RULE"})
        db_->execute(sql);
    EXPECT_EQ(
        QStringList({db_->sessionParameter("sql_trace"), db_->sessionParameter("optimizer_goal"),
                     stats_->sessionParameter("OPTIMIZER_GOAL")}),
        QStringList({"FALSE", "RULE", ""}));
    for (const char* bad : {"ALTER SESSION SET", "ALTER SESSION SET X=", "ALTER SESSION KILL"})
        EXPECT_TRUE(failsWith([&] { db_->execute(bad); }, kErrOdbcCall, "ORA-00922")) << bad;
}

TEST_F(EmbeddedSession, EveryStatisticOnceAndNoneMovedByAnotherSessionsReading) {
    const Stats before = statistics(*db_);
    EXPECT_EQ(before.size(), statisticCatalogue().size());
    stats_->openRecordset("select * from v$sesstat")->skipToEnd();
    EXPECT_EQ(statistics(*db_), before);
}

// The statistics each case below moves by exactly the amount it gives, or kGrows: by some.
const QStringList kCounted =
    QString(
        "user calls|SQL*Net roundtrips to/from client|parse count (total)|execute count|"
        "recursive calls|opened cursors cumulative|table scan rows gotten|"
        "SQLite automatic index rows|sorts (memory)|rows processed|"
        "bytes sent via SQL*Net to client|session logical reads|consistent gets|db block gets|"
        "physical writes")
        .split('|');
constexpr qlonglong kGrows = -1;

// Each statement is sent as the run sends it; of a result, the first row is read and the others
// are skipped. Every row fetched counts, in arrays of 15 (SQL*Plus's ARRAYSIZE): 1,000 rows are
// the statement's call and 67 fetches. Bytes: NUMBER 7 is 2 bytes, 'row 7' 5, each with its
// length byte.
TEST_F(EmbeddedSession, EachStatisticMovesWithTheWorkItNamesOnly) {
    createTables();
    db_->execute(planTableCreateStatement(kPlanTable));
    const qlonglong G = kGrows;
    const std::pair<QString, std::vector<qlonglong>> cases[] = {
        {"select * from t", {68, 68, 1, 1, 0, 1, 1000, 0, 0, 1000, G, G, G, 0, 0}},
        {"select n, s from t where n = 7", {2, 2, 1, 1, 0, 1, 0, 0, 0, 1, 3 + 6, G, G, 0, 0}},
        {"select s from t order by s", {68, 68, 1, 1, 0, 1, 1000, 0, 1, 1000, G, G, G, 0, 0}},
        {"select s from t where n > 0 order by n",
         {68, 68, 1, 1, 0, 1, 0, 0, 0, 1000, G, G, G, 0, 0}},
        // The scan of u fills an automatic index that each row of t looks up; SQLite counts the
        // steps between the rows it put in.
        {"select count(*) from t join u on u.s = t.s",
         {2, 2, 1, 1, 0, 1, 1010, 9, 0, 1, 3, G, G, 0, 0}},
        // A change reads its rows (consistent gets) and gets the pages it changed (db block
        // gets); the cache writes them back, not the session.
        {"update t set s = 'x' where n <= 300", {1, 1, 1, 1, 0, 1, 0, 0, 0, 300, 0, G, G, G, 0}},
        // The trigger's start and its statement, for each of the three rows.
        {"update u set s = 'y' where k <= 3", {1, 1, 1, 7, 6, 1, 10, 0, 0, 3, 0, G, G, G, 0}},
        {"ALTER SESSION SET OPTIMIZER_GOAL = RULE", {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"selec 1", {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // The plan rows are written by statements of the engine's own, into the session's own
        // temporary rows, which reach no file.
        {explainPlanStatement(kPlanTable, "select * from t"),
         {1, 1, 1, G, G, G, 0, 0, 0, 0, 0, G, G, 0, 0}},
    };
    for (const auto& [sql, moves] : cases) {
        const Stats moved = deltas(*db_, [&] {
            try {
                auto rs = db_->openRecordset(sql);
                for (int i = 0; !rs->eof() && i < rs->fieldCount(); ++i)
                    rs->value(i);
                rs->skipToEnd();
            } catch (const DbError&) {  // "selec 1": the counts tell it failed
            }
        });
        for (int i = 0; i < kCounted.size(); ++i) {
            const qlonglong delta = moved.at(kCounted[i]);
            if (moves.at(i) == kGrows)
                EXPECT_GT(delta, 0) << qPrintable(sql + ": " + kCounted[i]);
            else
                EXPECT_EQ(delta, moves.at(i)) << qPrintable(sql + ": " + kCounted[i]);
        }
    }
}

// What each loop of the statement did, from SQLite's scan status: rows read by rowid (through an
// index that lacks a column, or named by rowid), rows found by one value of a unique key, rows
// sorted.
TEST_F(EmbeddedSession, RowidFetchesKeyFetchesAndSortedRowsAreMeasuredPerLoop) {
    if (!measuredByScanStatus())
        GTEST_SKIP() << "this SQLite reports no scan status: the three are not listed";
    createTables();
    for (const char* sql : {"create table k (id integer primary key, code varchar2(9))",
                            "create unique index k_code on k (code)",
                            "insert into k select n, 'c' || n from t where n <= 100"})
        db_->execute(sql);
    const std::pair<const char*, std::array<qlonglong, 3>> cases[] = {
        {"select s from t where n between 1 and 30", {30, 0, 0}},     // through t_n, then t
        {"select n from t where n between 1 and 30", {0, 0, 0}},      // t_n holds all it needs
        {"select code from k where id in (3, 4, 99999)", {2, 2, 0}},  // by rowid, two found
        {"select id from k where code = 'c7'", {0, 1, 0}},  // a unique key holding the rowid
        {"select * from k where code = 'c7'", {0, 1, 0}},
        {"select s from t order by s", {0, 0, 1000}},
        {"select count(*) from t join u on t.n = u.k", {0, 0, 0}},  // t_n holds n
        {"select /*+ use_nl(t) */ t.s from u join t on t.n = u.k order by t.s", {10, 0, 10}},
    };
    for (const auto& [sql, expected] : cases) {
        const Stats moved =
            deltas(*db_, [&] { db_->openRecordset(QString::fromLatin1(sql))->skipToEnd(); });
        EXPECT_EQ(
            (std::array<qlonglong, 3>{moved.at("table fetch by rowid"),
                                      moved.at("index fetch by key"), moved.at("sorts (rows)")}),
            expected)
            << sql;
    }
}

TEST_F(EmbeddedSession, PhysicalReadsAreThePagesNotCachedYet) {
    createTables();
    auto fresh = connect();
    auto read = [&] { fresh->openRecordset("select * from t")->skipToEnd(); };
    EXPECT_GT(deltas(*fresh, read).at("physical reads"), 0);
    const Stats again = deltas(*fresh, read);
    EXPECT_EQ(again.at("physical reads"), 0);
    EXPECT_GT(again.at("session logical reads"), 0);
}

// Time counts inside the engine's calls: a busy statement's, not the client's between fetches,
// asleep or busy.
TEST_F(EmbeddedSession, TimesCountOnlyTheEngineCalls) {
    QElapsedTimer clock;
    clock.start();
    const Stats busy = deltas(*db_, [&] {
        rowsOf(*db_,
               "with recursive r(v) as (select 1 union all select v + 1 from r where v < "
               "1000000) select count(*) from r");
    });
    EXPECT_GT(busy.at("CPU used by this session"), 0);
    EXPECT_LE(busy.at("CPU used by this session"), busy.at("DB time") + 1);
    EXPECT_LE(busy.at("DB time"), clock.elapsed() / 10 + 1);

    const Stats idle = deltas(*db_, [&] {
        auto rs = db_->openRecordset("select 1 union all select 2");
        QThread::msleep(300);
        rs->moveNext();
        for (clock.start(); clock.elapsed() < 300;) {
        }
        rs->moveNext();
    });
    EXPECT_LT(idle.at("DB time"), 10);
    EXPECT_LT(idle.at("CPU used by this session"), 10);
}

}  // namespace
