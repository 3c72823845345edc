#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include "core/embedded/planfacts.h"
#include "core/sqlite/sqlite.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace qv::embedded {

// What the plan's estimates are made from, read from the database as an EXPLAIN PLAN needs it
// and kept for that one explanation. Rows come from sqlite_stat1 (ANALYZE, gathered with the
// sample and by the user's ANALYZE or dbms_stats call) or, without it, from counting; widths
// and distinct values from the whole table, or from rows spread over it when it is large.
//
// The cost model, in Oracle's unit of one block read:
//   a full scan reads every block of the table: pages = rows x (width + 10) / 3700;
//   an index search reads two branch blocks, then its share of the leaf blocks, then the same
//   share of the table's blocks (rows found by an index are taken to lie together);
//   every row a step handles adds a CPU share of 1/1000;
//   a nested loop costs its outer step plus one inner step per outer row; a sort adds
//   rows x log2(rows) / 1000.
// Cardinality: an index search finds rows / distinct keys (sqlite_stat1), a predicate on a
// column keeps 1 / distinct values for "=", for a range of numbers or dates the share of the
// column's span it covers (a third when that cannot be told), a quarter for LIKE.
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
    explicit PlanEstimates(sqlite3* db) : db_(db) {}

    struct Table {
        double rows = 1;
        double width = 10;  // average bytes of a row
        double pages = 1;
        QStringList columns;    // lower case
        QList<double> widths;   // average bytes of each column
        QString rowidColumn;    // the INTEGER PRIMARY KEY column, which is the rowid; lower case
        bool hasRowid = false;  // a table with rowids (not a view, not WITHOUT ROWID)
    };
    struct Index {
        QString table;  // lower case
        QString shown;  // the name Oracle shows: a key's constraint for SQLite's own key index
        QStringList columns;
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

  private:
    sqlite::Statement statement(const QByteArray& sql) const;
    // Whether sqlite_stat1 exists (ANALYZE has run on the file).
    bool analyzed();

    sqlite3* db_;
    std::optional<bool> analyzed_;
    QHash<QString, Table> tables_;
    QHash<QString, Index> indexes_;
    QHash<QString, double> distinct_;
    QHash<QString, std::pair<double, double>> bounds_;  // NaN: not numbers
};

}  // namespace qv::embedded
