#include "core/embedded/catalog/optimizerstats.h"

#include "core/embedded/catalog/statsgathering.h"
#include "core/sql/tokenlist.h"
#include "core/sqlite/sqlite.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace qv::embedded {

namespace {

using sql::quotedName;

constexpr int64_t kBuckets = 254;

const char* const kCreateStatistics[] = {
    "CREATE TABLE IF NOT EXISTS \"QV$TAB_STATS\" (TABLE_NAME TEXT PRIMARY KEY, NUM_ROWS INTEGER, "
    "BLOCKS INTEGER, AVG_ROW_LEN INTEGER, LAST_ANALYZED TEXT)",
    "CREATE TABLE IF NOT EXISTS \"QV$COL_STATS\" (TABLE_NAME TEXT NOT NULL, COLUMN_NAME TEXT NOT "
    "NULL, NUM_DISTINCT INTEGER, NUM_NULLS INTEGER, LOW_VALUE TEXT, HIGH_VALUE TEXT, DENSITY "
    "NUMERIC, AVG_COL_LEN INTEGER, NUM_BUCKETS INTEGER, HISTOGRAM TEXT, SAMPLE_SIZE INTEGER, "
    "LAST_ANALYZED TEXT, PRIMARY KEY (TABLE_NAME, COLUMN_NAME))",
    "CREATE TABLE IF NOT EXISTS \"QV$IND_STATS\" (INDEX_NAME TEXT PRIMARY KEY, TABLE_NAME TEXT, "
    "BLEVEL INTEGER, LEAF_BLOCKS INTEGER, DISTINCT_KEYS INTEGER, AVG_LEAF_BLOCKS_PER_KEY "
    "INTEGER, AVG_DATA_BLOCKS_PER_KEY INTEGER, CLUSTERING_FACTOR INTEGER, NUM_ROWS INTEGER, "
    "LAST_ANALYZED TEXT)",
    "CREATE TABLE IF NOT EXISTS \"QV$HISTOGRAMS\" (TABLE_NAME TEXT NOT NULL, COLUMN_NAME TEXT NOT "
    "NULL, ENDPOINT_NUMBER INTEGER, ENDPOINT_VALUE NUMERIC, ENDPOINT_ACTUAL_VALUE TEXT, "
    "ENDPOINT_REPEAT_COUNT INTEGER)",
};

bool present(sqlite3* db, const char* table) {
    sqlite::Statement probe(db,
                            "SELECT 1 FROM main.sqlite_schema WHERE type = 'table' AND name = ?");
    probe.bind(1, QByteArrayView(table));
    return probe.step();
}

std::optional<int64_t> integerOf(const sqlite::Statement& s, int col) {
    if (s.isNull(col))
        return std::nullopt;
    return s.integer(col);
}

void bindOptional(sqlite::Statement& s, int index, const std::optional<int64_t>& v) {
    if (v)
        s.bind(index, *v);
    else
        s.bindNull(index);
}

// One bucket of a histogram while the column's groups are read, in value order.
struct Group {
    int64_t ordinal = 0;
    int64_t count = 0;
    std::optional<double> endpoint;
    QString actual;
    int64_t running = 0;
};

Group groupOf(sqlite3_value* v, int64_t ordinal, int64_t count, const QString& type) {
    Group g{ordinal, count, endpointValue(v, type), {}, 0};
    // Read without converting the value, whose type is asked again afterwards.
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            g.actual = QString::number(sqlite3_value_int64(v));
            break;
        case SQLITE_FLOAT:
            g.actual = QString::number(sqlite3_value_double(v), 'g', 15);
            break;
        case SQLITE_TEXT:
            g.actual = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                         sqlite3_value_bytes(v));
            break;
        default:
            g.actual = QString::fromLatin1(
                QByteArray(static_cast<const char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v))
                    .toHex()
                    .toUpper());
    }
    return g;
}

struct ColumnResult {
    ColumnStats stats;
    std::vector<HistogramBucket> buckets;
};

// Cumulative endpoints of `groups`, in value order.
std::vector<HistogramBucket> cumulative(std::vector<Group> groups) {
    std::sort(groups.begin(), groups.end(),
              [](const Group& a, const Group& b) { return a.ordinal < b.ordinal; });
    std::vector<HistogramBucket> out;
    int64_t sum = 0;
    for (const Group& g : groups) {
        sum += g.count;
        out.push_back({sum, g.endpoint, g.actual, g.count});
    }
    return out;
}

// The column's figures from its groups: SELECT c, count(*) ... GROUP BY c, read once.
ColumnResult gatherColumn(sqlite3* db, const QString& table, const QString& column,
                          const QString& type, int64_t rows, int64_t withValue) {
    ColumnResult r;
    r.stats.column = column.toUpper();
    r.stats.numNulls = rows - withValue;
    const QString c = quotedName(column);
    sqlite::Statement groups(db, QStringLiteral("SELECT %1, count(*) FROM main.%2 WHERE %1 IS NOT "
                                                "NULL GROUP BY 1 ORDER BY 1")
                                     .arg(c, quotedName(table))
                                     .toUtf8());
    std::vector<Group> frequency, top, hybrid;
    std::vector<Group> edges(2);  // the lowest and the highest value
    const auto fewer = [](const Group& a, const Group& b) { return a.count > b.count; };
    const int64_t bucketSize = std::max<int64_t>(1, (withValue + kBuckets - 1) / kBuckets);
    int64_t ndv = 0, maxCount = 0, bytes = 0, running = 0, boundary = bucketSize, lastCount = 0;
    sqlite3_value* last = nullptr;
    while (groups.step()) {
        sqlite3_value* v = sqlite3_column_value(groups.handle(), 0);
        const int64_t count = groups.integer(1);
        ++ndv;
        running += count;
        maxCount = std::max(maxCount, count);
        if (ndv == 1)
            r.stats.lowValue = oracleRawHex(v, type);
        bytes += count * (oracleLength(v, type) + 1);
        if (ndv <= kBuckets)
            frequency.push_back(groupOf(v, ndv, count, type));
        if (ndv == 1)
            edges.front() = frequency.front();
        if (int64_t(top.size()) < kBuckets || count > top.front().count) {
            if (int64_t(top.size()) == kBuckets) {
                std::pop_heap(top.begin(), top.end(), fewer);
                top.pop_back();
            }
            top.push_back(groupOf(v, ndv, count, type));
            std::push_heap(top.begin(), top.end(), fewer);
        }
        // HYBRID: a bucket closes on the value that reaches its boundary; a value never spans
        // two buckets.
        if (running >= boundary && int64_t(hybrid.size()) < kBuckets - 1) {
            hybrid.push_back(groupOf(v, ndv, count, type));
            hybrid.back().running = running;
            boundary = running + bucketSize;
        }
        sqlite3_value_free(last);
        last = sqlite3_value_dup(v);
        lastCount = count;
    }
    if (last) {
        r.stats.highValue = oracleRawHex(last, type);
        edges.back() = groupOf(last, ndv, lastCount, type);
        if (hybrid.empty() || hybrid.back().ordinal != ndv) {
            hybrid.push_back(groupOf(last, ndv, lastCount, type));
            hybrid.back().running = running;
        }
        sqlite3_value_free(last);
    }
    r.stats.numDistinct = ndv;
    r.stats.avgColLen = rows > 0 ? (bytes + rows - 1) / rows : 0;
    r.stats.density = ndv > 0 ? std::optional<double>(1.0 / double(ndv)) : std::nullopt;
    r.stats.histogram = QStringLiteral("NONE");
    r.stats.numBuckets = ndv > 0 ? 1 : 0;
    const bool skewed = ndv > 1 && double(maxCount) > 2.0 * double(withValue) / double(ndv);
    if (!skewed) {
        // Without a histogram Oracle shows the lowest value as endpoint 0, the highest as 1.
        if (ndv > 0)
            for (int k = 0; k < 2; ++k)
                r.buckets.push_back({k, edges[size_t(k)].endpoint, edges[size_t(k)].actual, 0});
        return r;
    }
    int64_t topRows = 0;
    for (const Group& g : top)
        topRows += g.count;
    if (ndv <= kBuckets) {
        r.stats.histogram = QStringLiteral("FREQUENCY");
        r.buckets = cumulative(std::move(frequency));
    } else if (double(topRows) >= double(withValue) * (1.0 - 1.0 / double(kBuckets))) {
        r.stats.histogram = QStringLiteral("TOP-FREQUENCY");
        // The lowest and the highest value are endpoints, in place of the least frequent.
        for (const Group& edge : edges) {
            if (std::none_of(top.begin(), top.end(),
                             [&](const Group& g) { return g.ordinal == edge.ordinal; })) {
                top.erase(
                    std::min_element(top.begin(), top.end(), [&](const Group& a, const Group& b) {
                        const bool ae = a.ordinal == edges.front().ordinal;
                        const bool be = b.ordinal == edges.front().ordinal;
                        return ae != be ? be : a.count < b.count;
                    }));
                top.push_back(edge);
            }
        }
        r.buckets = cumulative(std::move(top));
    } else {
        r.stats.histogram = QStringLiteral("HYBRID");
        // Each endpoint's number is the rows up to it, its repeat count its value's own rows.
        for (const Group& g : hybrid)
            r.buckets.push_back({g.running, g.endpoint, g.actual, g.count});
    }
    r.stats.numBuckets = int64_t(r.buckets.size());
    if (r.stats.histogram != u"HYBRID")
        r.stats.density = 0.5 / double(withValue);
    return r;
}

void storeColumn(sqlite3* db, const QString& table, const ColumnResult& r, int64_t withValue) {
    sqlite::Statement insert(
        db,
        "INSERT OR REPLACE INTO \"QV$COL_STATS\" VALUES (upper(?1), ?2, ?3, ?4, ?5, ?6, ?7, "
        "?8, ?9, ?10, ?11, datetime('now', 'localtime'))");
    const ColumnStats& s = r.stats;
    insert.bind(1, table).bind(2, s.column).bind(3, s.numDistinct).bind(4, s.numNulls);
    if (s.lowValue.isEmpty())
        insert.bindNull(5).bindNull(6);
    else
        insert.bind(5, s.lowValue).bind(6, s.highValue);
    if (s.density)
        insert.bind(7, *s.density);
    else
        insert.bindNull(7);
    insert.bind(8, s.avgColLen).bind(9, s.numBuckets).bind(10, s.histogram).bind(11, withValue);
    insert.run();
    sqlite::Statement bucket(
        db, "INSERT INTO \"QV$HISTOGRAMS\" VALUES (upper(?1), ?2, ?3, ?4, ?5, ?6)");
    for (const HistogramBucket& b : r.buckets) {
        bucket.reset();
        bucket.bind(1, table).bind(2, s.column).bind(3, b.endpointNumber);
        if (b.endpointValue)
            bucket.bind(4, *b.endpointValue);
        else
            bucket.bindNull(4);
        bucket.bind(5, b.actualValue).bind(6, b.repeatCount);
        bucket.run();
    }
}

// A table of the user's: the figures of the table, its columns and its indexes, replacing those
// gathered before.
void gatherTable(sqlite3* db, const QString& table) {
    forgetStatistics(db, table);
    QStringList names, types;
    sqlite::Statement info(db, "SELECT name, type FROM pragma_table_info(?)");
    info.bind(1, table);
    while (info.step()) {
        names << info.text(0);
        types << info.text(1);
    }
    QStringList counts{QStringLiteral("count(*)")};
    for (const QString& n : names)
        counts << QStringLiteral("count(%1)").arg(quotedName(n));
    sqlite::Statement counted(db, QStringLiteral("SELECT %1 FROM main.%2")
                                      .arg(counts.join(u','), quotedName(table))
                                      .toUtf8());
    counted.step();
    const int64_t rows = counted.integer(0);
    std::vector<int64_t> withValue;
    for (int k = 1; k <= int(names.size()); ++k)
        withValue.push_back(counted.integer(k));
    const BtreePages pages = btreePages(db, table);
    sqlite::Statement insert(
        db,
        "INSERT INTO \"QV$TAB_STATS\" VALUES (upper(?), ?, ?, ?, datetime('now', "
        "'localtime'))");
    insert.bind(1, table).bind(2, rows);
    bindOptional(insert, 3, pages.pages);
    bindOptional(insert, 4,
                 pages.payload && rows > 0
                     ? std::optional<int64_t>((*pages.payload + rows - 1) / rows)
                     : std::nullopt);
    insert.run();
    for (qsizetype k = 0; k < names.size(); ++k)
        storeColumn(db, table,
                    gatherColumn(db, table, names[k], types[k], rows, withValue[size_t(k)]),
                    withValue[size_t(k)]);
    gatherIndexes(db, table);
}

void deleteWhere(sqlite3* db, const char* table, const char* where, const QStringList& binds) {
    if (!present(db, table))
        return;
    sqlite::Statement s(db, QStringLiteral("DELETE FROM \"%1\" WHERE %2")
                                .arg(QLatin1StringView(table), QLatin1StringView(where))
                                .toUtf8());
    for (int k = 0; k < binds.size(); ++k)
        s.bind(k + 1, binds[k]);
    s.run();
}

}  // namespace

const std::vector<QString>& statisticsTables() {
    static const std::vector<QString> names{
        QStringLiteral("QV$TAB_STATS"), QStringLiteral("QV$COL_STATS"),
        QStringLiteral("QV$IND_STATS"), QStringLiteral("QV$HISTOGRAMS")};
    return names;
}

QString statisticsColumns(const QString& table) {
    for (const char* sql : kCreateStatistics) {
        const QString create = QString::fromLatin1(sql);
        if (!create.contains(u'"' + table + u'"'))
            continue;
        QStringList columns;
        const QString list = create.mid(create.indexOf(u'(') + 1);
        for (const QString& part : list.split(u',')) {
            const QString word = part.trimmed().section(u' ', 0, 0);
            if (word == u"PRIMARY")
                break;
            columns << word;
        }
        return columns.join(u',');
    }
    return {};
}

void ensureStatisticsTables(sqlite3* db) {
    for (const char* sql : kCreateStatistics)
        sqlite::Statement(db, sql).run();
}

void gatherStatistics(sqlite3* db, const QString& object) {
    ensureStatisticsTables(db);
    sqlite::Statement find(db,
                           "SELECT type, name, tbl_name FROM main.sqlite_schema WHERE "
                           "upper(name) = upper(?) AND type IN ('table', 'index')");
    find.bind(1, object);
    if (!object.isEmpty() && object.compare(u"main", Qt::CaseInsensitive) != 0 && find.step()) {
        if (find.text(0) == u"index")
            gatherIndex(db, find.text(1), find.text(2), nullptr);
        else
            gatherTable(db, find.text(1));
        return;
    }
    if (!object.isEmpty() && object.compare(u"main", Qt::CaseInsensitive) != 0)
        return;
    QStringList tables;
    sqlite::Statement all(db,
                          "SELECT name FROM main.sqlite_schema WHERE type = 'table' AND "
                          "lower(substr(name, 1, 7)) <> 'sqlite_' AND lower(substr(name, 1, "
                          "3)) <> 'qv$' AND sql NOT LIKE 'CREATE VIRTUAL%' ORDER BY name");
    while (all.step())
        tables << all.text(0);
    for (const QString& t : tables)
        gatherTable(db, t);
}

bool hasStatistics(sqlite3* db, const QString& table) {
    return tableStats(db, table).has_value();
}

void forgetStatistics(sqlite3* db, const QString& table) {
    deleteWhere(db, "QV$TAB_STATS", "TABLE_NAME = upper(?)", {table});
    deleteWhere(db, "QV$COL_STATS", "TABLE_NAME = upper(?)", {table});
    deleteWhere(db, "QV$IND_STATS", "TABLE_NAME = upper(?)", {table});
    deleteWhere(db, "QV$HISTOGRAMS", "TABLE_NAME = upper(?)", {table});
}

void forgetIndexStatistics(sqlite3* db, const QString& index) {
    deleteWhere(db, "QV$IND_STATS", "INDEX_NAME = upper(?)", {index});
}

void renameStatistics(sqlite3* db, const QString& table, const QString& to) {
    for (const QString& t : statisticsTables()) {
        const QByteArray name = t.toLatin1();
        if (present(db, name.constData()))
            sqlite::Statement(db, QStringLiteral("UPDATE \"%1\" SET TABLE_NAME = upper(?2) WHERE "
                                                 "TABLE_NAME = upper(?1)")
                                      .arg(t)
                                      .toUtf8())
                .bind(1, table)
                .bind(2, to)
                .run();
    }
    // A rowid key's figures go by its table's name.
    if (present(db, "QV$IND_STATS"))
        sqlite::Statement(db,
                          "UPDATE \"QV$IND_STATS\" SET INDEX_NAME = upper(?2) WHERE INDEX_NAME = "
                          "upper(?1) AND TABLE_NAME = upper(?2)")
            .bind(1, table)
            .bind(2, to)
            .run();
}

void renameColumnStatistics(sqlite3* db, const QString& table, const QString& column,
                            const QString& to) {
    for (const char* t : {"QV$COL_STATS", "QV$HISTOGRAMS"}) {
        if (present(db, t))
            sqlite::Statement(db, QStringLiteral("UPDATE \"%1\" SET COLUMN_NAME = upper(?3) WHERE "
                                                 "TABLE_NAME = upper(?1) AND COLUMN_NAME = "
                                                 "upper(?2)")
                                      .arg(QLatin1StringView(t))
                                      .toUtf8())
                .bind(1, table)
                .bind(2, column)
                .bind(3, to)
                .run();
    }
}

std::optional<TableStats> tableStats(sqlite3* db, const QString& table) {
    if (!present(db, "QV$TAB_STATS"))
        return std::nullopt;
    sqlite::Statement s(db,
                        "SELECT NUM_ROWS, BLOCKS, AVG_ROW_LEN, LAST_ANALYZED FROM "
                        "\"QV$TAB_STATS\" WHERE TABLE_NAME = upper(?)");
    s.bind(1, table);
    if (!s.step())
        return std::nullopt;
    return TableStats{s.integer(0), integerOf(s, 1), integerOf(s, 2), s.text(3)};
}

std::vector<ColumnStats> columnStats(sqlite3* db, const QString& table) {
    std::vector<ColumnStats> out;
    if (!present(db, "QV$COL_STATS"))
        return out;
    sqlite::Statement s(db,
                        "SELECT c.COLUMN_NAME, NUM_DISTINCT, NUM_NULLS, LOW_VALUE, "
                        "HIGH_VALUE, DENSITY, AVG_COL_LEN, NUM_BUCKETS, HISTOGRAM FROM "
                        "\"QV$COL_STATS\" c WHERE TABLE_NAME = upper(?) ORDER BY rowid");
    s.bind(1, table);
    while (s.step()) {
        ColumnStats c{s.text(0),    s.integer(1), s.integer(2), s.text(3), s.text(4),
                      std::nullopt, s.integer(6), s.integer(7), s.text(8)};
        if (!s.isNull(5))
            c.density = s.real(5);
        out.push_back(c);
    }
    return out;
}

std::optional<IndexStats> indexStats(sqlite3* db, const QString& index) {
    if (!present(db, "QV$IND_STATS"))
        return std::nullopt;
    sqlite::Statement s(db,
                        "SELECT TABLE_NAME, BLEVEL, LEAF_BLOCKS, DISTINCT_KEYS, "
                        "AVG_LEAF_BLOCKS_PER_KEY, AVG_DATA_BLOCKS_PER_KEY, CLUSTERING_FACTOR, "
                        "NUM_ROWS, LAST_ANALYZED FROM \"QV$IND_STATS\" WHERE INDEX_NAME = "
                        "upper(?)");
    s.bind(1, index);
    if (!s.step())
        return std::nullopt;
    return IndexStats{s.text(0),       integerOf(s, 1), integerOf(s, 2),
                      integerOf(s, 3), integerOf(s, 4), integerOf(s, 5),
                      integerOf(s, 6), integerOf(s, 7), s.text(8)};
}

std::vector<HistogramBucket> histogram(sqlite3* db, const QString& table, const QString& column) {
    std::vector<HistogramBucket> out;
    if (!present(db, "QV$HISTOGRAMS"))
        return out;
    sqlite::Statement s(db,
                        "SELECT ENDPOINT_NUMBER, ENDPOINT_VALUE, ENDPOINT_ACTUAL_VALUE, "
                        "ENDPOINT_REPEAT_COUNT FROM \"QV$HISTOGRAMS\" WHERE TABLE_NAME = "
                        "upper(?) AND COLUMN_NAME = upper(?) ORDER BY ENDPOINT_NUMBER");
    s.bind(1, table).bind(2, column);
    while (s.step()) {
        HistogramBucket b{s.integer(0), std::nullopt, s.text(2), s.integer(3)};
        if (!s.isNull(1))
            b.endpointValue = s.real(1);
        out.push_back(b);
    }
    return out;
}

}  // namespace qv::embedded
