#pragma once

// Optimizer statistics as Oracle's DBMS_STATS gathers them, kept by the engine in the file
// (catalog.h lists its other tables) and read by the dictionary views (dictionaryviews.h):
//
//   "QV$TAB_STATS"   per table: NUM_ROWS (rows counted), BLOCKS (pages of the table's b-tree,
//                    from SQLite's DBSTAT), AVG_ROW_LEN (bytes of the table's records as SQLite
//                    stores them, the DBSTAT payload of its pages, divided by the rows, rounded
//                    up), LAST_ANALYZED.
//   "QV$COL_STATS"   per column: NUM_DISTINCT, NUM_NULLS, LOW_VALUE and HIGH_VALUE (the value in
//                    Oracle's internal form as hex, see below), DENSITY, AVG_COL_LEN, NUM_BUCKETS,
//                    HISTOGRAM, SAMPLE_SIZE (the rows with a value), LAST_ANALYZED.
//   "QV$IND_STATS"   per index (SQLite's name, upper case): BLEVEL, LEAF_BLOCKS (DBSTAT),
//                    DISTINCT_KEYS, AVG_LEAF_BLOCKS_PER_KEY, AVG_DATA_BLOCKS_PER_KEY,
//                    CLUSTERING_FACTOR, NUM_ROWS, LAST_ANALYZED.
//   "QV$HISTOGRAMS"  the buckets: ENDPOINT_NUMBER, ENDPOINT_VALUE, ENDPOINT_ACTUAL_VALUE,
//                    ENDPOINT_REPEAT_COUNT.
// Table and column names are upper case, as in the other catalog tables. A user's statement
// reads them and never writes them (sandbox.cpp refuses changes to every qv$ object).
//
// How the figures are measured:
//   - Every column is read once, sorted and grouped (SELECT c, count(*) ... GROUP BY c): the
//     groups give NUM_DISTINCT, LOW_VALUE (the first), HIGH_VALUE (the last) and the buckets;
//     the rows with a value, counted beforehand in one pass over the table, give NUM_NULLS.
//   - LOW_VALUE, HIGH_VALUE: a number in Oracle's NUMBER form (exponent byte, base-100 digits),
//     a date of a DATE or TIMESTAMP column in Oracle's 7-byte DATE form (11 with fractional
//     seconds), text as its UTF-8 bytes (Oracle's AL32UTF8 VARCHAR2), bytes as they are; the
//     first 32 bytes, in upper-case hex, as Oracle shows its RAW.
//   - AVG_COL_LEN: bytes of each value in that internal form plus Oracle's length byte, summed
//     over the rows with a value, divided by all rows, rounded up.
//   - HISTOGRAM (Oracle 12c's kinds, for the default 254 buckets): made only for a skewed
//     column, one whose most frequent value occurs more than twice as often as the average
//     value (as METHOD_OPT SIZE SKEWONLY, there being no workload to ask). FREQUENCY when it has
//     at most 254 distinct values; TOP-FREQUENCY when the 254 most frequent values cover at
//     least (1 - 1/254) of the rows with a value; HYBRID otherwise. NONE when no histogram.
//     ENDPOINT_VALUE is the value for a number, the Julian day (and fraction) for a date, NULL
//     for text (Oracle's numeric encoding of text is not reproduced; ENDPOINT_ACTUAL_VALUE
//     holds the text). A column without a histogram has two endpoints, as in Oracle: 0 its lowest
//     value, 1 its highest.
//   - DENSITY: 1/NUM_DISTINCT; 0.5/rows with a value for a FREQUENCY or TOP-FREQUENCY
//     histogram, as Oracle stores it.
//   - BLEVEL: the depth of the index's b-tree below its root (DBSTAT's page paths); LEAF_BLOCKS
//     its leaf pages; NUM_ROWS and DISTINCT_KEYS the entries and distinct keys whose columns are
//     not all NULL (Oracle's b-tree leaves those out); AVG_LEAF_BLOCKS_PER_KEY and
//     AVG_DATA_BLOCKS_PER_KEY LEAF_BLOCKS and CLUSTERING_FACTOR per key, rounded, at least 1.
//   - CLUSTERING_FACTOR: the index walked in key order, counting each entry whose row lies on
//     another table page than the previous entry's row; a row's page comes from the table's
//     leaf pages in order (DBSTAT) and their cell counts. Not measured (NULL) for an index on
//     expressions, a partial index or a table WITHOUT ROWID.
// Gathering a table takes one pass per column and one per index, each sorting at most once.

#include <QString>

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace qv::embedded {

struct TableStats {
    int64_t numRows = 0;
    std::optional<int64_t> blocks;
    std::optional<int64_t> avgRowLen;
    QString lastAnalyzed;
};

struct ColumnStats {
    QString column;
    int64_t numDistinct = 0;
    int64_t numNulls = 0;
    QString lowValue;  // hex, empty when the column holds no value
    QString highValue;
    std::optional<double> density;
    int64_t avgColLen = 0;
    int64_t numBuckets = 0;
    QString histogram;  // NONE, FREQUENCY, TOP-FREQUENCY, HYBRID
};

struct HistogramBucket {
    int64_t endpointNumber = 0;
    std::optional<double> endpointValue;
    QString actualValue;
    int64_t repeatCount = 0;
};

struct IndexStats {
    QString table;
    std::optional<int64_t> blevel;
    std::optional<int64_t> leafBlocks;
    std::optional<int64_t> distinctKeys;
    std::optional<int64_t> avgLeafBlocksPerKey;
    std::optional<int64_t> avgDataBlocksPerKey;
    std::optional<int64_t> clusteringFactor;
    std::optional<int64_t> numRows;
    QString lastAnalyzed;
};

// The names of the statistics tables and, for a view that reads one the file lacks, its
// columns.
const std::vector<QString>& statisticsTables();
QString statisticsColumns(const QString& table);

// What was gathered; nullopt or empty when nothing was. Names as the user writes them. Throw
// sqlite::Error.
std::optional<TableStats> tableStats(sqlite3* db, const QString& table);
std::vector<ColumnStats> columnStats(sqlite3* db, const QString& table);
std::optional<IndexStats> indexStats(sqlite3* db, const QString& index);
std::vector<HistogramBucket> histogram(sqlite3* db, const QString& table, const QString& column);

// Gathers the statistics of `object`: a table (its columns and indexes too), an index (as CREATE
// INDEX does, as Oracle does), or, when empty or "main", every table of the user's. Runs on `db` as
// it is: the caller gives it the engine's rights and a savepoint. Throws sqlite::Error.
void gatherStatistics(sqlite3* db, const QString& object);
// Makes the statistics tables the file lacks. Throws sqlite::Error.
void ensureStatisticsTables(sqlite3* db);
// Whether `table` has statistics of the engine's.
bool hasStatistics(sqlite3* db, const QString& table);
// Forgets the statistics of `table` and its indexes (DROP TABLE).
void forgetStatistics(sqlite3* db, const QString& table);
// Forgets the statistics of `index` (DROP INDEX).
void forgetIndexStatistics(sqlite3* db, const QString& index);
// Follows a renamed table or column.
void renameStatistics(sqlite3* db, const QString& table, const QString& to);
void renameColumnStatistics(sqlite3* db, const QString& table, const QString& column,
                            const QString& to);

// The value `value` (of a column declared `declaredType`) in Oracle's internal form, as hex;
// its length in bytes through `bytes`.
QString oracleRawHex(sqlite3_value* value, const QString& declaredType, int64_t* bytes = nullptr);
// The length in bytes of oracleRawHex()'s form of `value`, without writing it.
int64_t oracleLength(sqlite3_value* value, const QString& declaredType);
// A histogram's ENDPOINT_VALUE of `value`: a number, a date's Julian day; nullopt for text.
std::optional<double> endpointValue(sqlite3_value* value, const QString& declaredType);

}  // namespace qv::embedded
