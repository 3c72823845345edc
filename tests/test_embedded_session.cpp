// Sessions of the embedded engine: ids, V$SESSION, ALTER SESSION and the statistics that one
// connection reads of another, with the statements exactly as the tuning run sends them.
#include "core/embedded/sessions.h"
#include "support/embeddedfixture.h"

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
    Stats statistics() { return readStatistics(*stats_, db_->sessionId()); }
    // Reads the statistics again, expecting each named one to have changed as given.
    Stats expectDeltas(const Stats& before, const Stats& expected) {
        const Stats after = statistics();
        for (const auto& [name, delta] : expected)
            EXPECT_EQ(after.at(name) - before.at(name), delta) << name.toStdString();
        return after;
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

TEST_F(EmbeddedSession, StatisticsCountTheMeasuredSessionsWorkOnly) {
    db_->execute("create table t (n integer, s varchar2(20))");
    db_->execute(
        "insert into t with recursive r(v) as (select 1 union all select v + 1 from r where v < "
        "1234) select v, 'row ' || v from r");
    const Stats before = statistics();
    EXPECT_EQ(before.size(), size_t(kStatisticCount));
    EXPECT_EQ(statistics(), before) << "reading from another session changes nothing";

    auto rs = db_->openRecordset("select * from t");
    for (int i = 0; i < 100; ++i, rs->moveNext()) {
        rs->value(0);
        rs->value(1);
    }
    EXPECT_EQ(rs->skipToEnd(), 1134);
    rs->close();
    // SQLite steps from row to row: a scan of N rows makes N - 1. 100 rows read: 8 bytes for
    // each number, 5 to 7 for the texts 'row 1' .. 'row 100'.
    const Stats scanned =
        expectDeltas(before, {{"rows fetched", 1234},
                              {"user calls", 1},
                              {"execute count", 1},
                              {"parse count (total)", 1},
                              {"table scan rows gotten", 1233},
                              {"bytes sent via SQL*Net to client", 100 * 8 + 9 * 5 + 90 * 6 + 7},
                              {"rows changed", 0},
                              {"sorts (memory)", 0}});

    // A failed statement is a call but not an execution.
    db_->execute("update t set s = 'x' where n <= 300");
    db_->openRecordset("select a.s from t a join t b on a.n = b.n order by a.s")->skipToEnd();
    EXPECT_THROW(db_->execute("selec 1"), DbError);
    EXPECT_THROW(db_->execute("ALTER SESSION SET"), DbError);
    const Stats after = expectDeltas(
        scanned,
        {{"rows changed", 300}, {"sorts (memory)", 1}, {"user calls", 4}, {"execute count", 2}});
    EXPECT_GT(after.at("automatic index rows"), scanned.at("automatic index rows"));
}

}  // namespace
