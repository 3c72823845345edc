// Sessions of the embedded engine: ids, V$SESSION, ALTER SESSION and the statistics that one
// connection reads of another, with the statements exactly as the tuning run sends them.
#include "embedded/sessions.h"
#include "support/embeddedfixture.h"

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

class EmbeddedSession : public EmbeddedTest {
  protected:
    void SetUp() override {
        query_ = connect();
        stats_ = connect();
    }
    // Inserts 1..n through a recursive query (SQLite's library has no generate_series).
    static QString series(int n) {
        return QStringLiteral(
                   "with recursive s(value) as (select 1 union all select value + 1 "
                   "from s where value < %1) ")
            .arg(n);
    }
    int64_t sidOf(Database& db) { return scalar(db, kSessionIdQuery).toLongLong(); }

    std::unique_ptr<EmbeddedDatabase> query_;
    std::unique_ptr<EmbeddedDatabase> stats_;
};

TEST_F(EmbeddedSession, EachConnectionFindsItsOwnSessionId) {
    const int64_t a = sidOf(*query_);
    const int64_t b = sidOf(*stats_);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, query_->sessionId());
    EXPECT_EQ(b, stats_->sessionId());

    // Exactly one row, its SID readable as text (as the run reads it).
    auto rs = query_->openRecordset(kSessionIdQuery);
    EXPECT_EQ(rs->value("SID").toString(), QString::number(a));
    rs->moveNext();
    EXPECT_TRUE(rs->eof());
}

TEST_F(EmbeddedSession, VSessionListsOpenSessionsUntilTheyClose) {
    const int64_t a = query_->sessionId();
    const QString sql = QStringLiteral("select username, status from v$session where sid = %1");
    auto rows = readAll(*stats_, sql.arg(a));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].toString(), "SCOTT");
    EXPECT_EQ(rows[0][1].toString(), "INACTIVE");
    EXPECT_EQ(scalar(*query_, sql.arg(a).replace("username, ", "")).toString(), "ACTIVE");

    query_->close();
    EXPECT_TRUE(readAll(*stats_, sql.arg(a)).empty());
    // Session ids are never reused.
    auto next = connect("ADAMS");
    EXPECT_GT(next->sessionId(), stats_->sessionId());
}

TEST_F(EmbeddedSession, UserenvKnowsSessionIdAndSidOnly) {
    EXPECT_NE(scalar(*query_, "select userenv('SESSIONID')").toLongLong(), query_->sessionId());
    EXPECT_EQ(scalar(*query_, "select userenv('sid')").toLongLong(), query_->sessionId());
    try {
        query_->openRecordset("select userenv('TERMINAL')");
        ADD_FAILURE();
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description().contains("ORA-02003")) << e.what();
    }
}

TEST_F(EmbeddedSession, AlterSessionIsRememberedPerSession) {
    query_->execute("ALTER SESSION SET SQL_TRACE=FALSE");
    query_->execute("ALTER SESSION SET OPTIMIZER_GOAL = CHOOSE");
    query_->execute("ALTER SESSION SET TIMED_STATISTICS=TRUE");
    query_->execute("alter session set nls_date_format = 'YYYY-MM-DD' time_zone = -5");
    EXPECT_EQ(query_->sessionParameter("sql_trace"), "FALSE");
    EXPECT_EQ(query_->sessionParameter("OPTIMIZER_GOAL"), "CHOOSE");
    EXPECT_EQ(query_->sessionParameter("OPTIMIZER_MODE"), "CHOOSE");
    EXPECT_EQ(query_->sessionParameter("TIMED_STATISTICS"), "TRUE");
    EXPECT_EQ(query_->sessionParameter("NLS_DATE_FORMAT"), "YYYY-MM-DD");
    EXPECT_EQ(query_->sessionParameter("TIME_ZONE"), "-5");
    EXPECT_EQ(query_->recordsAffected(), 0);
    EXPECT_TRUE(stats_->sessionParameter("OPTIMIZER_GOAL").isEmpty());

    query_->execute("ALTER SESSION SET OPTIMIZER_MODE=RULE");
    EXPECT_EQ(query_->sessionParameter("OPTIMIZER_GOAL"), "RULE");
    for (const QString bad : {"ALTER SESSION SET", "ALTER SESSION SET X",
                              "ALTER SESSION SET X=", "ALTER SESSION KILL"}) {
        try {
            query_->execute(bad);
            ADD_FAILURE() << bad.toStdString();
        } catch (const DbError& e) {
            EXPECT_TRUE(e.description().startsWith("ORA-00922")) << e.what();
        }
    }
}

TEST_F(EmbeddedSession, StatisticsQueryReturnsEveryStatisticWithItsNameOnce) {
    auto rs = stats_->openRecordset(statisticsQuery(QString::number(query_->sessionId())));
    EXPECT_GE(rs->fieldIndex("STATISTIC#"), 0);
    EXPECT_GE(rs->fieldIndex("NAME"), 0);
    EXPECT_GE(rs->fieldIndex("VALUE"), 0);
    std::vector<std::pair<int, QString>> got;
    while (!rs->eof()) {
        got.emplace_back(rs->value("STATISTIC#").toInt(), rs->value("NAME").toString());
        rs->moveNext();
    }
    // Numbers and names are a contract: a reading lists them all, in number order.
    ASSERT_EQ(got.size(), size_t(kStatisticCount));
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].first, int(i) + 1);
        EXPECT_EQ(got[i].second, statisticCatalogue()[i].name);
    }
    EXPECT_EQ(got[3].second, "rows fetched");
    EXPECT_EQ(got[13].second, "CPU used by this session");
    EXPECT_TRUE(readAll(*stats_, statisticsQuery("")).empty());
}

TEST_F(EmbeddedSession, ScanRaisesRowsFetchedByTheRowCountAndReadingChangesNothing) {
    query_->execute("create table t (n integer, s varchar2(20))");
    query_->execute("insert into t " + series(1234) + "select value, 'row ' || value from s");
    const int64_t sid = query_->sessionId();
    const auto before = readStatistics(*stats_, sid);
    // Reading again from the other session leaves the measured session as it was.
    EXPECT_EQ(readStatistics(*stats_, sid), before);

    auto rs = query_->openRecordset("select * from t");
    int read = 0;
    for (; read < 100; ++read) {
        rs->value(0);
        rs->value(1);
        rs->moveNext();
    }
    EXPECT_EQ(rs->skipToEnd(), 1234 - read);
    rs->close();

    auto after = readStatistics(*stats_, sid);
    auto delta = [&](const char* name) { return after[name] - before.at(name); };
    EXPECT_EQ(delta("rows fetched"), 1234);
    EXPECT_EQ(delta("user calls"), 1);
    EXPECT_EQ(delta("execute count"), 1);
    EXPECT_EQ(delta("parse count (total)"), 1);
    // SQLite counts the steps from row to row: a scan of N rows makes N - 1.
    EXPECT_EQ(delta("table scan rows gotten"), 1233);
    EXPECT_GT(delta("virtual machine steps"), 1234);
    EXPECT_GT(delta("session logical reads"), 0);
    // 100 rows read: 8 bytes for each number, 5 to 7 for the texts 'row 1' .. 'row 100'.
    EXPECT_EQ(delta("bytes sent via SQL*Net to client"), 100 * 8 + 9 * 5 + 90 * 6 + 7);
    EXPECT_EQ(delta("rows changed"), 0);
    EXPECT_EQ(delta("sorts (memory)"), 0);
}

TEST_F(EmbeddedSession, SortsAutomaticIndexesAndChangesAreCounted) {
    query_->execute("create table a (k integer, v integer)");
    query_->execute("create table b (k integer, w integer)");
    query_->execute("insert into a " + series(300) + "select value, value % 7 from s");
    const int64_t sid = query_->sessionId();
    const auto before = readStatistics(*stats_, sid);
    query_->execute("insert into b " + series(300) + "select value, value from s");
    EXPECT_EQ(query_->recordsAffected(), 300);
    auto rs = query_->openRecordset("select a.v, b.w from a join b on a.k = b.k order by a.v");
    rs->skipToEnd();
    rs->close();
    const auto after = readStatistics(*stats_, sid);
    EXPECT_EQ(after.at("rows changed") - before.at("rows changed"), 300);
    EXPECT_EQ(after.at("sorts (memory)") - before.at("sorts (memory)"), 1);
    EXPECT_GT(after.at("automatic index rows") - before.at("automatic index rows"), 0);
    EXPECT_EQ(after.at("user calls") - before.at("user calls"), 2);
}

TEST_F(EmbeddedSession, FailedStatementsStillCountAsCalls) {
    const int64_t sid = query_->sessionId();
    const auto before = readStatistics(*stats_, sid);
    EXPECT_THROW(query_->execute("selec 1"), DbError);
    EXPECT_THROW(query_->execute("ALTER SESSION SET"), DbError);
    const auto after = readStatistics(*stats_, sid);
    EXPECT_EQ(after.at("user calls") - before.at("user calls"), 2);
    EXPECT_EQ(after.at("execute count") - before.at("execute count"), 0);
}

}  // namespace
