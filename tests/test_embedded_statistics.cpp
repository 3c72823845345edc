// The session statistics of the embedded engine against work of known size: what the client
// is sent and sends, what a change reads and writes, parses, scans, file reads and sorts.
#include "core/sqlite/sqlite.h"
#include "support/embeddedfixture.h"

#ifndef QUERVIN_SYSTEM_SQLITE
#include "core/sqlite/sqliterows.h"
#endif

#include <QScopeGuard>

using namespace qv;
using namespace qv::test;

namespace {

using Stats = std::map<QString, qlonglong>;

// `big`: 100,000 rows of about 70 bytes, nothing indexed; t: 1,000 rows, n indexed.
class EmbeddedStatistics : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        reader_ = connect();
        for (const char* sql :
             {"create table big (n integer, s varchar2(100))",
              "insert into big with recursive r(v) as (select 1 union all select v + 1 from r "
              "where v < 100000) select v, 'row ' || v || ' of the table that is too large to "
              "sort in memory' from r",
              "create table t (n integer, s varchar2(20))", "create index t_n on t (n)",
              "insert into t select n, 'row ' || n from big where n <= 1000"})
            db_->execute(sql);
    }
    // How much each statistic of `db` changes while `action` runs.
    Stats deltas(embedded::EmbeddedDatabase& db, const std::function<void()>& action) {
        const Stats before = readStatistics(*reader_, db.sessionId());
        action();
        Stats change = readStatistics(*reader_, db.sessionId());
        for (auto& [name, value] : change)
            value -= before.at(name);
        return change;
    }
    Stats run(const QString& sql) {
        return deltas(*db_, [&] { db_->openRecordset(sql)->skipToEnd(); });
    }

    std::unique_ptr<embedded::EmbeddedDatabase> reader_;
};

// As the tuning run fetches: the values of the first rows shown, the rest skipped.
TEST_F(EmbeddedStatistics, EveryRowFetchedCountsHoweverFewAreShown) {
    std::vector<Stats> runs;
    for (const int shown : {0, 3, 100'000}) {
        runs.push_back(deltas(*db_, [&] {
            auto rs = db_->openRecordset(QStringLiteral("select n, s from big"));
            for (int row = 0; row < shown && !rs->eof(); ++row, rs->moveNext()) {
                for (int i = 0; i < rs->fieldCount(); ++i)
                    rs->value(i);
            }
            rs->skipToEnd();
        }));
    }
    for (const Stats& r : runs) {
        EXPECT_EQ(r.at("rows processed"), 100'000);
        // The statement's call, then 100,000 / 15 full arrays and the fetch that finds the end.
        EXPECT_EQ(r.at("SQL*Net roundtrips to/from client"), 1 + 6666 + 1);
        EXPECT_EQ(r.at("user calls"), 1 + 6666 + 1);
        EXPECT_EQ(r.at("bytes sent via SQL*Net to client"),
                  runs[0].at("bytes sent via SQL*Net to client"));
    }
    // Each row's n and its text, with a length byte each: more than the texts alone.
    EXPECT_GT(runs[0].at("bytes sent via SQL*Net to client"), 100'000 * 60);
}

#ifndef QUERVIN_SYSTEM_SQLITE
// An integer is sent as Oracle's NUMBER: an exponent byte, a byte per two digits but the zero
// pairs at its end, a terminator when negative; then its length byte. The first row is
// measured where it stands, the rest as they are counted.
TEST(EngineRowBytes, IntegersAreSentAsOraclesNumber) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    const auto closeDb = qScopeGuard([db] { sqlite3_close(db); });
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "values (0), (1), (99), (100), (12345), (4294967295), (-5), "
                                 "(10000000000000), (-4294967296), (9223372036854775807), "
                                 "(-9223372036854775807 - 1)",
                                 -1, &stmt, nullptr),
              SQLITE_OK);
    const auto finish = qScopeGuard([stmt] { sqlite3_finalize(stmt); });
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(quervin_row_bytes(stmt), 2);
    sqlite3_int64 rows = 0;
    sqlite3_int64 bytes = 0;
    EXPECT_EQ(quervin_step_rows(stmt, 100, &rows, &bytes, nullptr), SQLITE_DONE);
    EXPECT_EQ(rows, 10);
    EXPECT_EQ(bytes, 3 + 3 + 3 + 5 + 7 + 4 + 3 + 8 + 12 + 13);
}
#endif

// A change reads the rows to change as consistent gets and writes the blocks it changed; its
// journal grows with them, and the cache, not the session, writes the blocks back. A query
// changes nothing. A MERGE is one call and one execution, whatever it runs inside.
TEST_F(EmbeddedStatistics, ChangesReadConsistentAndWriteCurrentBlocks) {
    const Stats few = run(QStringLiteral("update big set s = upper(s) where n <= 100"));
    const Stats many = run(QStringLiteral("update big set s = upper(s) where n <= 10000"));
    const Stats merged = run(QStringLiteral(
        "merge into t using (select n + 990 n from t where n <= 21) s on (t.n = s.n) "
        "when matched then update set t.s = 'merged' when not matched then insert (n, s) "
        "values (s.n, 'new')"));
    EXPECT_EQ(few.at("rows processed"), 100);
    EXPECT_EQ(many.at("rows processed"), 10'000);
    for (const Stats& s : {few, many, merged}) {
        EXPECT_GT(s.at("consistent gets"), 0);
        EXPECT_GT(s.at("db block gets"), 0);
        EXPECT_EQ(s.at("session logical reads"), s.at("consistent gets") + s.at("db block gets"));
        EXPECT_LE(s.at("physical reads"), s.at("session logical reads"));
        EXPECT_EQ(s.at("physical writes"), 0);
        EXPECT_EQ(s.at("physical writes direct"), 0);
    }
    EXPECT_EQ(merged.at("rows processed"), 21);
    for (const char* once : {"user calls", "execute count", "parse count (total)"})
        EXPECT_EQ(merged.at(once), 1) << once;
    EXPECT_GT(many.at("db block gets"), few.at("db block gets"));
    EXPECT_GT(few.at("redo size"), 0);
    EXPECT_GT(many.at("redo size"), few.at("redo size"));

    const Stats query = run(QStringLiteral("select count(*) from big"));
    EXPECT_GT(query.at("consistent gets"), 0);
    EXPECT_EQ(query.at("db block gets"), 0);
    EXPECT_EQ(query.at("redo size"), 0);
}

// A text the session parsed before is a soft parse; one that fails to parse stays hard. The
// client sends the text and the bind values.
TEST_F(EmbeddedStatistics, ASecondRunIsASoftParse) {
    const QString sql = QStringLiteral("select n from t where n = :v");
    const BindList binds{{QStringLiteral("v"), BindType::Number, QStringLiteral("42")}};
    std::vector<Stats> runs;
    for (int i = 0; i < 2; ++i)
        runs.push_back(deltas(*db_, [&] { db_->openRecordset(sql, binds)->skipToEnd(); }));
    EXPECT_EQ(runs[0].at("parse count (hard)"), 1);
    EXPECT_EQ(runs[1].at("parse count (hard)"), 0);
    for (const Stats& r : runs) {
        EXPECT_EQ(r.at("parse count (total)"), 1);
        EXPECT_EQ(r.at("execute count"), 1);
        EXPECT_EQ(r.at("bytes received via SQL*Net from client"), sql.size() + 2);
    }
    for (int i = 0; i < 2; ++i) {
        const Stats failed = deltas(*db_, [&] {
            EXPECT_TRUE(failsWith([&] { db_->execute(QStringLiteral("selec 1")); }, kErrOdbcCall));
        });
        EXPECT_EQ(failed.at("parse count (hard)"), 1);
    }
}

TEST_F(EmbeddedStatistics, TableScanRowsAreTheRowsOfFullScansOnly) {
    const std::pair<const char*, qlonglong> cases[] = {
        {"select * from t", 1000},
        {"select * from t where s = 'row 5'", 1000},     // every row is stepped to, one kept
        {"select s from t where n = 5", 0},              // through the index
        {"select n from t where n >= 0 order by n", 0},  // the index alone, no table
        {"select count(b.s) from t a, t b where a.n = 3", 1000},
    };
#ifdef QUERVIN_SYSTEM_SQLITE
    GTEST_SKIP() << "a system SQLite has no scan status: the statistic is left out";
#endif
    for (const auto& [sql, rows] : cases)
        EXPECT_EQ(run(QString::fromLatin1(sql)).at("table scan rows gotten"), rows) << sql;
}

// Pages read from the file, never the temporary pages of a DISTINCT.
TEST_F(EmbeddedStatistics, PhysicalReadsAreNeverMoreThanTheFilesPages) {
    auto fresh = connect();
    const Stats reads = deltas(*fresh, [&] {
        fresh->openRecordset(QStringLiteral("select count(*) from (select distinct s from big)"))
            ->skipToEnd();
    });
    sqlite::Connection file(path(), sqlite::Connection::Mode::ReadOnly, 0);
    sqlite::Statement pages(file.handle(), "pragma page_count");
    ASSERT_TRUE(pages.step());
    EXPECT_GT(reads.at("physical reads"), 0);
    EXPECT_LE(reads.at("physical reads"), pages.integer(0));
}

// The session writes a disk sort's runs and a new table's blocks itself: direct writes.
TEST_F(EmbeddedStatistics, ASortTooLargeForMemoryIsADiskSort) {
    const Stats large = run(QStringLiteral("select s from big order by s"));
    EXPECT_EQ(large.at("sorts (disk)"), 1);
    EXPECT_EQ(large.at("sorts (memory)"), 0);
    const Stats small = run(QStringLiteral("select s from t order by s"));
    EXPECT_EQ(small.at("sorts (disk)"), 0);
    EXPECT_EQ(small.at("sorts (memory)"), 1);
    EXPECT_EQ(small.at("physical writes direct"), 0);
    const Stats created = deltas(
        *db_, [&] { db_->execute(QStringLiteral("create table copy as select * from big")); });
    for (const Stats& s : {large, created}) {
        EXPECT_GT(s.at("physical writes direct"), 0);
        EXPECT_EQ(s.at("physical writes"), s.at("physical writes direct"));
    }
    // The new table's blocks: at least its 100,000 rows of about 70 bytes.
    EXPECT_GE(created.at("physical writes direct") * 8192, 100'000 * 60);
}

}  // namespace
