// The plan's estimates of a table whose statistics were gathered: cardinalities from its
// histograms, null counts and distinct values, and index costs from the clustering factor, set
// against what the statements really return.
#include "support/embeddedfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr int kRows = 10'000;

// s: 10,000 rows. grp: 7 in 40% of the rows, 999 in ten, the rest spread over thirty values
// from 104 to 149;
// note: NULL but in one row of ten; ordered: the row's number, indexed in the rows' own order;
// scattered: a permutation of it, indexed with keys in no order; small: 0, 1 or 2.
// d: a hundred days from 1 January 2024, each in as many rows. amount: 50 in a third of the
// rows, the rest spread over 0 to 996 (a hybrid histogram); city: 'Tokyo' in six rows of ten,
// the others in 97 cities (a frequency histogram of text).
// dim: 200 rows, k four times each of 100 to 149.
class EmbeddedEstimates : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        for (const QString& sql :
             {QStringLiteral("create table s (id number primary key, grp number, note "
                             "varchar2(30), ordered number, scattered number, small number, pad "
                             "varchar2(60), d date, amount number, city varchar2(20))"),
              QStringLiteral(
                  "insert into s with recursive r(v) as (select 1 union all select v + 1 from r "
                  "where v < %1) select v, case when v % 10 < 4 then 7 when v % 1000 = 5 then "
                  "999 else 100 + v % 50 end, case when v % 10 = 9 then 'n' || v end, v, "
                  "(v * 7919) % %1, v % 3, 'some text to give the rows a width of a real "
                  "table', null, case when v % 3 = 0 then 50 else v % 997 end, case when v % 10 "
                  "< 6 then 'Tokyo' else 'City ' || (v % 97) end from r")
                  .arg(kRows),
              QStringLiteral("update s set d = date '2024-01-01' + mod(id, 100)"),
              QStringLiteral("create index s_ordered on s (ordered)"),
              QStringLiteral("create index s_scattered on s (scattered)"),
              QStringLiteral("create index s_grp on s (grp)"),
              QStringLiteral("create table dim (k number, label varchar2(20))"),
              QStringLiteral("insert into dim select 100 + id % 50, 'label ' || id from s "
                             "where id <= 200"),
              planTableCreateStatement(kPlanTable),
              QStringLiteral("begin dbms_stats.gather_schema_stats('SCOTT'); end;")})
            db_->execute(sql);
    }
    // CARDINALITY|COST of each plan line, in id order.
    QList<QStringList> estimates(const QString& statement) {
        db_->execute(planDeleteStatement(kPlanTable));
        db_->execute(explainPlanStatement(kPlanTable, statement));
        QList<QStringList> lines;
        for (const QString& row : rowsOf(*db_, planQueryStatement(kPlanTable)))
            lines << row.split(u'|').mid(8, 2);
        return lines;
    }
    double cardinality(const QString& statement) {
        return estimates(statement).value(0).value(0).toDouble();
    }
    double actual(const QString& statement) { return double(rowsOf(*db_, statement).size()); }
    // The statement's estimate lies within a factor of two of the rows it returns.
    ::testing::AssertionResult close(const QString& statement) {
        const double estimate = cardinality(statement), rows = actual(statement);
        if (rows > 0 && estimate >= rows / 2 && estimate <= rows * 2)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << statement.toStdString() << ": estimated " << estimate << ", returns " << rows;
    }
};

TEST_F(EmbeddedEstimates, ConditionsFollowHistogramsNullCountsAndValueSpans) {
    for (const char* where :
         {"grp = 7", "grp = 999", "grp = 124", "note is null", "note is not null",
          "grp in (7, 999)", "grp = 7 and ordered <= 5000", "ordered between 1001 and 3000",
          "ordered < 2500", "note is not null and ordered >= 9000", "d >= date '2024-03-01'",
          "d between date '2024-01-11' and date '2024-01-20'", "grp = 7 or grp = 999",
          "grp = 999 or note is null", "(grp = 124 or note is not null) and small = 0",
          "(grp = 999 and small = 0) or ordered > 9900", "grp = 124 and small = 0 or ordered < 50"})
        EXPECT_TRUE(close(QStringLiteral("select * from s where ") + where));
    // Ranges and prefixes over hybrid and frequency histograms, of numbers and of text.
    for (const char* where :
         {"amount > 900", "amount between 40 and 60", "amount < 45", "grp > 140", "grp <= 7",
          "city like 'Tok%'", "city like 'City 1%'", "city > 'City 5'"})
        EXPECT_TRUE(close(QStringLiteral("select * from s where ") + where));
    // The popular value far above an ordinary one, which is far above the rare one.
    const double popular = cardinality("select * from s where grp = 7");
    const double common = cardinality("select * from s where grp = 124");
    const double rare = cardinality("select * from s where grp = 999");
    EXPECT_GT(popular, 10 * common);
    EXPECT_GT(common, 5 * rare);
    // A value the frequency histogram lacks: half the least popular value's rows.
    EXPECT_EQ(cardinality("select * from s where grp = 555"), std::round(rare / 2));
}

TEST_F(EmbeddedEstimates, AFunctionOfAColumnKeepsOracleDefaultShareAndGroupsAreDistinctValues) {
    EXPECT_EQ(cardinality("select * from s where upper(note) = 'N19'"), kRows / 100);
    EXPECT_EQ(cardinality("select * from s where trunc(ordered) > 10"), kRows / 20);
    EXPECT_EQ(cardinality("select * from s where city like '%son'"), kRows / 20);
    // One column's distinct values; several columns' product of theirs, at most the rows.
    for (const char* column : {"grp", "note", "ordered", "grp, small", "ordered, grp"}) {
        const QString query =
            QStringLiteral("select %1, count(*) from s group by %1").arg(QLatin1String(column));
        // Distinct values, and the NULL group of note.
        const double groups = actual(query);
        const double estimate = cardinality(query);
        EXPECT_GE(estimate, groups - 1) << column;
        EXPECT_LE(estimate, groups) << column;
    }
}

// The same range read by each index and in full: the index whose keys follow the rows' order
// is cheaper than the full scan, the one whose keys are scattered dearer (the hint keeps the
// index the engine would not choose).
TEST_F(EmbeddedEstimates, TheClusteringFactorDecidesBetweenIndexAndFullScan) {
    auto cost = [&](const QString& statement) {
        const QList<QStringList> lines = estimates(statement);
        return lines.value(1).value(1).toDouble();  // the table's access under the statement
    };
    const QString ordered = QStringLiteral("select * from s where ordered between 100 and 899");
    const QString scattered = QStringLiteral(
        "select /*+ index(s s_scattered) */ * from s where scattered between 100 "
        "and 899");
    const double viaOrdered = cost(ordered);
    const double viaScattered = cost(scattered);
    const double full = cost("select * from s where +ordered between 100 and 899");
    EXPECT_EQ(actual(ordered), actual(scattered));
    EXPECT_EQ(cost("select * from s where +scattered between 100 and 899"), full);
    EXPECT_LT(viaOrdered, full);
    EXPECT_GT(viaScattered, full);
    // The full scan: BLOCKS read eight a time, a read timed as noworkload statistics time it for
    // the block size, plus a thousandth for each row.
    const QStringList table =
        rowsOf(*db_,
               "select blocks, (select value from v$parameter where name = 'db_block_size') "
               "from user_tables where table_name = 'S'")
            .value(0)
            .split(u'|');
    const double blocks = table.value(0).toDouble(), block = table.value(1).toDouble();
    ASSERT_GT(blocks * block, 0);
    const double reads = std::ceil(blocks / 8 * (10 + 8 * block / 4096) / (10 + block / 4096)) + 1;
    EXPECT_NEAR(full, reads + kRows / 1000.0, 1);
    // The index: BLEVEL, its share of the leaf blocks and of the clustering factor, rounded up.
    const QStringList index = rowsOf(*db_,
                                     "select blevel, leaf_blocks, clustering_factor from "
                                     "user_indexes where index_name = 'S_ORDERED'")
                                  .value(0)
                                  .split(u'|');
    const double share = estimates(ordered).value(2).value(0).toDouble() / kRows;
    EXPECT_NEAR(viaOrdered,
                index.value(0).toDouble() + std::ceil(index.value(1).toDouble() * share) +
                    std::ceil(index.value(2).toDouble() * share) + 2 * share * kRows / 1000,
                1);
}

// The plan that ran is made for the bind values of the statement's first run: the popular
// value's estimate and full scan, kept when a later run gives a rare value; a text whose first
// run gives the rare value finds its rows by the index.
TEST_F(EmbeddedEstimates, ThePlanThatRanIsMadeForTheFirstRunsBindValues) {
    const auto stats = connect();
    auto ran = [&](const QString& sql, const char* value) {
        auto rs = db_->openRecordset(sql, {BindValue{"G", BindType::Number, value}});
        rs->skipToEnd();
        rs->close();
        const QString id = rowsOf(*stats, QStringLiteral("SELECT PREV_SQL_ID FROM V$SESSION "
                                                         "WHERE SID = %1")
                                              .arg(db_->sessionId()))
                               .value(0);
        return rowsOf(*stats, QStringLiteral("SELECT OPERATION || ' ' || OPTIONS, CARDINALITY "
                                             "FROM V$SQL_PLAN_STATISTICS_ALL WHERE SQL_ID = '%1' "
                                             "AND ID = 1")
                                  .arg(id))
            .value(0);
    };
    const QString sql = QStringLiteral("select * from s where grp = :g");
    EXPECT_EQ(ran(sql, "7"), "TABLE ACCESS FULL|4000");
    EXPECT_EQ(ran(sql, "999"), "TABLE ACCESS FULL|4000");
    EXPECT_EQ(ran(sql + u' ', "999"), "TABLE ACCESS BY INDEX ROWID BATCHED|10");
}

// Each row meets the rows of the other table's key, of the larger of the two distinct counts;
// conditions of the inner table count as on their own.
TEST_F(EmbeddedEstimates, JoinsFollowTheDistinctCountsOfBothSides) {
    for (const char* join : {"s join dim d on d.k = s.grp", "s join dim d on d.k = s.ordered",
                             "s, dim d where d.k = s.scattered and s.grp = 7"})
        EXPECT_TRUE(close(QStringLiteral("select * from ") + join));
}

}  // namespace
