#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include "core/embedded/catalog/optimizerstats.h"
#include "core/embedded/parse/statementfacts.h"
#include "core/sqlite/sqlite.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace qv::embedded {

// What the plan's estimates are made from, read from the database as an EXPLAIN PLAN needs it
// and kept for that one explanation. Without gathered statistics (optimizerstats.h), rows come
// from sqlite_stat1 (ANALYZE) or, without it, from counting; widths and distinct values from
// the whole table, or from rows spread over it when it is large. A table whose statistics were
// gathered (DBMS_STATS) is estimated from them, as Oracle's optimizer does:
//   rows NUM_ROWS, pages BLOCKS, distinct values NUM_DISTINCT; of the rows with a value
//   (nonnull = NUM_ROWS - NUM_NULLS):
//   col = literal    FREQUENCY / TOP-FREQUENCY histogram: the value's bucket (its endpoint
//                    number less the previous one) over the histogram's rows, times nonnull;
//                    a value not in a FREQUENCY histogram half the least popular bucket, not in
//                    a TOP-FREQUENCY one the rows the buckets leave over the values they leave;
//                    HYBRID: a popular value (endpoint repeat count above the average bucket)
//                    its repeat count, any other value nonnull x DENSITY;
//                    no histogram (or a bind variable not peeked): nonnull / NUM_DISTINCT
//   IS NULL          NUM_NULLS; IS NOT NULL: nonnull
//   col IN (list)    the sum of its values' equalities; <> a value: nonnull less its equality
//   ranges           with a histogram, the rows its buckets put in the range: a bucket's
//                    endpoint value counts its repeat count (all its rows in a FREQUENCY one),
//                    the values between two endpoints share the rest of the later bucket by the
//                    part of their span the range covers; without one, (hi - lo) / (HIGH - LOW)
//                    of the part of the column's span [LOW, HIGH] the range covers, plus
//                    1 / NUM_DISTINCT for each closed end (<=, >=, BETWEEN); times nonnull, at
//                    least one row's worth. LOW and HIGH are the first and last endpoints of the
//                    column's histogram (or of its two endpoints without one). Text is placed
//                    between the endpoints by its bytes (textPlace())
//   LIKE 'ab%'       the range from 'ab' up to the last text that begins so; a pattern that
//                    begins with a wildcard (or an unknown bind variable) 5%; without a
//                    wildcard as "="
//   a bind variable  the value the plan was made for (bind peeking: peeked()); unknown
//                    without one, as for EXPLAIN PLAN
//   f(col) op ...    Oracle's defaults: 1% for = and 5% for anything else
//   c1 OR c2         s1 + s2 - s1 x s2, when its branches are conditions on columns of one
//                    table, a branch of conditions ANDed the product of theirs (without
//                    statistics: as its first branch, as before)
//   GROUP BY / DISTINCT of plain columns: the product of their NUM_DISTINCT, at most the rows
//                    grouped
//   a join t1.a = t2.b   each row of the outer table meets 1 / max(NDV(a), NDV(b)) of the inner
//                    table's rows, times the nonnull shares of both columns: rows1 x rows2 /
//                    max(NDV1, NDV2) with the nulls removed, when both tables have statistics
//   an index search  rows x the selectivity of its equalities (each as above: a literal's, a
//                    join's, or for a bind variable nonnull / NUM_DISTINCT) x that of its ranges
// Conditions combine as independent: AND multiplies their selectivities.
//
// The cost model, in Oracle's unit of one block read:
//   a full scan reads every block of the table (BLOCKS, or pages = rows x (width + 10) / 3700
//   without statistics) by multiblock reads, costed as Oracle's noworkload system statistics
//   do: MBRC 8 blocks a read, SREADTIM = IOSEEKTIM + B / IOTFRSPEED and MREADTIM = IOSEEKTIM +
//   MBRC x B / IOTFRSPEED (10 ms, 4096 bytes/ms; B the page size, which is DB_BLOCK_SIZE),
//   ceil(BLOCKS / MBRC x MREADTIM / SREADTIM) + 1 (fullScanCost()); an index read whole in no
//   order (FAST FULL SCAN) so over its leaf blocks;
//   an index search with statistics costs, by Oracle's classic formula, BLEVEL +
//   ceil(LEAF_BLOCKS x selectivity) for the index line and ceil(CLUSTERING_FACTOR x
//   selectivity) more for the table access by rowid above it; without them it reads two branch
//   blocks, then its share of the leaf blocks, then the same share of the table's blocks (rows
//   found by an index are taken to lie together);
//   every row a step handles adds a CPU share of 1/1000;
//   a nested loop costs its outer step plus one inner step per outer row; a sort adds
//   rows x log2(rows) / 1000.
// Without statistics, cardinality: an index search finds rows / distinct keys (sqlite_stat1), a
// predicate on a column keeps 1 / distinct values for "=", for a range of numbers or dates the
// share of the column's span it covers (a third when that cannot be told), a quarter for LIKE;
// IS NULL and a function of a column are not counted.
// Left as without statistics: LIKE and ranges on text of a table without statistics, the index
// searches of SQLite's MULTI-INDEX OR (their rows added up), GROUP BY of expressions (a tenth of
// the rows), a subquery in FROM (a tenth for "=", a third for a range).
// Bytes: cardinality x the average width of the columns the statement uses (or of the index
// key).
// A step's CPU share for the rows it handles, and what sorting them adds.
inline double cpuCost(double rows) {
    return rows / 1000;
}
inline double sortCost(double rows) {
    return rows * std::log2(std::max(rows, 2.0)) / 1000;
}

class PlanEstimates {
  public:
    // Bind variables by name (upper case, without the colon) -> the value as typed.
    using Binds = QHash<QString, QString>;
    explicit PlanEstimates(sqlite3* db, Binds peeked = {}) : db_(db), peeked_(std::move(peeked)) {}

    struct Table {
        double rows = 1;
        double width = 10;  // average bytes of a row
        double pages = 1;
        QStringList columns;    // lower case
        QList<double> widths;   // average bytes of each column
        QStringList texts;      // the columns declared as character types, lower case
        QString rowidColumn;    // the INTEGER PRIMARY KEY column, which is the rowid; lower case
        bool hasRowid = false;  // a table with rowids (not a view, not WITHOUT ROWID)
    };

    // While one lives, the estimates made on its connection by this thread share what they read
    // of each table (the steering of one statement draws many plans of the same tables).
    class SharedTables {
      public:
        explicit SharedTables(sqlite3* db);
        ~SharedTables();
        SharedTables(const SharedTables&) = delete;
        SharedTables& operator=(const SharedTables&) = delete;

      private:
        friend class PlanEstimates;
        sqlite3* db_;
        SharedTables* outer_;
        QHash<QString, Table> tables_;
    };
    struct Index {
        QString table;  // lower case
        QString shown;  // the name Oracle shows: a key's constraint for SQLite's own key index
        QStringList columns;
        QList<bool> descending;  // of each column: declared DESC (Oracle's SYS_OP_DESCEND)
        bool unique = false;
        double keyWidth = 8;
        double leafPages = 1;
    };

    // The table or index by name in any case; a missing one reads as small and empty. These
    // read the database: they throw sqlite::Error when a read fails.
    const Table& table(const QString& name);
    const Index& index(const QString& name);
    // The primary key or unique constraint of `table` on `columns` (catalog.h), empty when there
    // is none.
    QString keyName(const QString& table, const QStringList& columns);
    // Rows one value of the first `columns` key columns finds.
    double rowsPerKey(const QString& index, int columns);
    // Distinct values of a column, from the first rows; at least 1.
    double distinct(const QString& table, const QString& column);
    // The table among `tables` that has `column`; empty when none or several do.
    QString tableOf(const QString& column, const QStringList& tables);
    // The smallest and largest value of a column as numbers (dates as Julian days); false when
    // its values are neither numbers nor dates.
    bool bounds(const QString& table, const QString& column, double& low, double& high);
    // A value of a literal as bounds() reads it: a number, or a date's Julian day.
    static bool numberOf(const QString& literal, double& value);
    // Text's place on the span of the column `key` (table.column, lower case) whose bounds()
    // are text: the number of the histogram's endpoint it is (0 the lowest), or between two
    // endpoints the first's number and the share of the way to the next, by the bytes after
    // those both begin with; -1 below the lowest, the number of endpoints above the highest.
    double textPlace(const QString& key, const QByteArray& text) const;
    // The literal a condition compares with: a bind variable's peeked value (empty when it has
    // none), anything else as it is.
    QString peeked(const QString& literal) const;
    // The cost of reading `blocks` by multiblock reads.
    double fullScanCost(double blocks);

    // The share of the rows of `table` that the condition keeps: 1 / distinct values for "=",
    // a quarter for LIKE, a third for a range, none for IN (subquery), which its own step
    // counts.
    double selectivity(const Predicate& p, const QString& table);
    // The share of rows the range conditions on one column keep: the part of the column's span
    // they cover when their bounds and the column's are numbers or dates, a third each
    // otherwise.
    double rangeSelectivity(const QList<Predicate>& conditions, const QString& table,
                            const QString& column);
    // The share that all `conditions` on `table` keep, except those on `indexColumns` (an index
    // takes care of them) and joins to tables not in `outer` (they count at the later table).
    double selectivity(const QList<Predicate>& conditions, const QString& table,
                       const QStringList& indexColumns, const QStringList& outer);

    // What was gathered of `table` and its column (lower case); null when nothing was.
    struct Gathered {
        TableStats table;
        QHash<QString, ColumnStats> columns;  // lower case
    };
    const Gathered* gathered(const QString& table);
    const ColumnStats* gathered(const QString& table, const QString& column);
    // BLEVEL, LEAF_BLOCKS and CLUSTERING_FACTOR of an index with gathered statistics, all
    // measured; nullopt otherwise.
    std::optional<IndexStats> indexCosts(const QString& index);
    // The share of the rows of `table` that `column = literal` keeps, by its gathered
    // statistics (`c`); an empty literal is a value not known (a bind variable).
    double equalSelectivity(const QString& table, const ColumnStats& c, const QString& literal);
    // The share of the rows that one key value of `column` finds: its condition's selectivity
    // when it is compared with literals in `conditions`, 1 / distinct values otherwise.
    double keySelectivity(const QList<Predicate>& conditions, const QString& table,
                          const QString& column);

  private:
    sqlite::Statement statement(const QByteArray& sql) const;
    // The share one condition keeps on its own, a range too.
    double branchSelectivity(const Predicate& p, const QString& table);
    // The share of the rows of a table (its column's statistics `c`, `nonnull` of its rows with
    // a value) that one row of the other table of `join` meets.
    double joinSelectivity(const ColumnStats& c, double nonnull, const Predicate& join);
    const std::vector<HistogramBucket>& buckets(const QString& table, const QString& column);
    // With gathered statistics; nullopt when the table has none.
    std::optional<double> gatheredSelectivity(const Predicate& p, const QString& table);
    std::optional<double> likeSelectivity(const Predicate& p, const QString& table);
    // A literal's place on the span of `column` (a number, a date's day, text's position).
    bool valueOf(const QString& table, const QString& column, const QString& literal,
                 double& value);
    // The share of the rows whose `column` lies between `low` and `high`.
    double spanSelectivity(const QString& table, const QString& column, double low, bool closedLow,
                           double high, bool closedHigh);
    // Of the rows with a value, the share the histogram of `c` puts between `low` and `high`;
    // nullopt without a histogram.
    std::optional<double> histogramShare(const QString& table, const ColumnStats& c, double low,
                                         bool closedLow, double high, bool closedHigh);
    // Whether sqlite_stat1 exists (ANALYZE has run on the file).
    bool analyzed();

    sqlite3* db_;
    Binds peeked_;
    std::optional<double> pageSize_;
    // table.column, lower case -> the endpoints of a text column's histogram, in order.
    QHash<QString, std::vector<QByteArray>> textEnds_;
    std::optional<bool> analyzed_;
    QHash<QString, Table> tables_;
    QHash<QString, Index> indexes_;
    QHash<QString, double> distinct_;
    QHash<QString, std::pair<double, double>> bounds_;  // NaN: not numbers
    QHash<QString, std::optional<Gathered>> gathered_;
    QHash<QString, std::vector<HistogramBucket>> buckets_;
};

}  // namespace qv::embedded
