// Index statistics (optimizerstats.h): the b-tree's shape from DBSTAT, its keys counted, and the
// clustering factor from walking the keys in order.
#include "core/embedded/catalog/statsgathering.h"

#include "core/sql/tokenlist.h"
#include "core/sqlite/sqlite.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace qv::embedded {

namespace {

using sql::quotedName;

void bindOptional(sqlite::Statement& s, int index, const std::optional<int64_t>& v) {
    if (v)
        s.bind(index, *v);
    else
        s.bindNull(index);
}

// A figure per key, as Oracle rounds it: at least 1 while there are keys.
std::optional<int64_t> perKey(const std::optional<int64_t>& total,
                              const std::optional<int64_t>& keys) {
    if (!total || !keys || *keys == 0)
        return std::nullopt;
    return std::max<int64_t>(1, std::llround(double(*total) / double(*keys)));
}

struct KeyColumn {
    QString name;
    bool descending = false;
    QString collation;
};

}  // namespace

BtreePages btreePages(sqlite3* db, const QString& name) {
    sqlite::Statement s(db, "SELECT pageno, payload FROM dbstat('main', 1) WHERE name = ?");
    s.bind(1, name);
    if (!s.step())
        return {};
    return {s.integer(0), s.integer(1)};
}

std::optional<RowPages> rowPages(sqlite3* db, const QString& table) {
    sqlite::Statement kind(db, "SELECT wr FROM pragma_table_list(?) WHERE schema = 'main'");
    kind.bind(1, table);
    if (!kind.step() || kind.integer(0) != 0)
        return std::nullopt;
    RowPages r;
    // DBSTAT walks the b-tree depth first, so its leaves come in rowid order (its paths, in
    // hex of three digits or more, do not sort so past 4,095 children of a page).
    sqlite::Statement leaves(db,
                             "SELECT ncell FROM dbstat('main') WHERE name = ? AND pagetype = "
                             "'leaf'");
    leaves.bind(1, table);
    int32_t page = 0;
    while (leaves.step()) {
        r.pages.insert(r.pages.end(), size_t(leaves.integer(0)), page);
        ++page;
    }
    sqlite::Statement rowids(
        db,
        QStringLiteral("SELECT rowid FROM main.%1 ORDER BY rowid").arg(quotedName(table)).toUtf8());
    r.rowids.reserve(r.pages.size());
    while (rowids.step())
        r.rowids.push_back(rowids.integer(0));
    if (r.rowids.size() != r.pages.size())
        return std::nullopt;
    return r;
}

void gatherIndex(sqlite3* db, const QString& index, const QString& table, const RowPages* rows) {
    std::vector<KeyColumn> keys;
    bool expression = false;
    sqlite::Statement xinfo(db,
                            "SELECT cid, name, desc, coll FROM pragma_index_xinfo(?) WHERE "
                            "key = 1 ORDER BY seqno");
    xinfo.bind(1, index);
    while (xinfo.step()) {
        expression = expression || xinfo.integer(0) < 0;
        keys.push_back({xinfo.text(1), xinfo.integer(2) != 0, xinfo.text(3)});
    }
    sqlite::Statement list(db,
                           "SELECT partial, origin = 'pk' FROM pragma_index_list(?) WHERE "
                           "name = ?");
    list.bind(1, table).bind(2, index);
    const bool listed = list.step();
    const bool partial = listed && list.integer(0) != 0;
    const bool primaryKey = listed && list.integer(1) != 0;
    std::optional<int64_t> blevel, leafBlocks, numRows, distinctKeys, clustering;
    // Every leaf lies as deep as the others: the first one's path (/, /000/, /000/001/...)
    // tells the depth below the root. Counted here, as the engine's REPLACE and LENGTH are
    // Oracle's, to which '' is NULL.
    sqlite::Statement shape(db,
                            "SELECT count(*), min(path) FROM dbstat('main') WHERE name = ? "
                            "AND pagetype = 'leaf'");
    // The primary key of a table WITHOUT ROWID is the table's own b-tree (Oracle's IOT top).
    for (const QString& btree : {index, table}) {
        shape.reset();
        shape.bind(1, btree);
        if (shape.step() && shape.integer(0) > 0) {
            leafBlocks = shape.integer(0);
            blevel = shape.text(1).count(u'/') - 1;
            break;
        }
        if (!primaryKey)
            break;
    }
    if (!expression && !partial && !keys.empty()) {
        QStringList columns, allNull, order;
        for (const KeyColumn& k : keys) {
            columns << quotedName(k.name);
            allNull << quotedName(k.name) + QStringLiteral(" IS NULL");
            order << QStringLiteral("%1 COLLATE %2%3")
                         .arg(quotedName(k.name), quotedName(k.collation),
                              k.descending ? QStringLiteral(" DESC") : QString());
        }
        const QString from = QStringLiteral(" FROM main.%1 WHERE NOT (%2)")
                                 .arg(quotedName(table), allNull.join(QStringLiteral(" AND ")));
        sqlite::Statement distinct(db, (QStringLiteral("SELECT count(*) FROM (SELECT DISTINCT ") +
                                        columns.join(u',') + from + u')')
                                           .toUtf8());
        distinct.step();
        distinctKeys = distinct.integer(0);
        std::optional<RowPages> own;
        if (!rows && (own = rowPages(db, table)))
            rows = &*own;
        int64_t entries = 0, changes = 0;
        if (!rows) {
            sqlite::Statement counted(db, (QStringLiteral("SELECT count(*)") + from).toUtf8());
            counted.step();
            entries = counted.integer(0);
        }
        sqlite::Statement walk;
        if (rows)
            walk = sqlite::Statement(
                db, (QStringLiteral("SELECT rowid") + from + QStringLiteral(" ORDER BY ") +
                     order.join(u',') + QStringLiteral(", rowid"))
                        .toUtf8());
        int32_t previous = -1;
        while (rows && walk.step()) {
            ++entries;
            const auto at =
                std::lower_bound(rows->rowids.begin(), rows->rowids.end(), walk.integer(0));
            const int32_t page =
                at == rows->rowids.end() ? -1 : rows->pages[size_t(at - rows->rowids.begin())];
            if (page != previous)
                ++changes;
            previous = page;
        }
        numRows = entries;
        if (rows)
            clustering = changes;
    }
    sqlite::Statement insert(db,
                             "INSERT OR REPLACE INTO \"QV$IND_STATS\" VALUES (upper(?1), "
                             "upper(?2), ?3, ?4, ?5, ?6, ?7, ?8, ?9, datetime('now', "
                             "'localtime'))");
    insert.bind(1, index).bind(2, table);
    bindOptional(insert, 3, blevel);
    bindOptional(insert, 4, leafBlocks);
    bindOptional(insert, 5, distinctKeys);
    bindOptional(insert, 6, perKey(leafBlocks, distinctKeys));
    bindOptional(insert, 7, perKey(clustering, distinctKeys));
    bindOptional(insert, 8, clustering);
    bindOptional(insert, 9, numRows);
    insert.run();
}

namespace {

// Whether `table` has a rowid key: an INTEGER PRIMARY KEY of one column, which SQLite keeps as
// the rowid itself, with no index of its own.
bool hasRowidKey(sqlite3* db, const QString& table) {
    sqlite::Statement key(db,
                          "SELECT count(*) = 1 AND max(pk = 1 AND upper(type) = 'INTEGER') AND "
                          "(SELECT wr FROM pragma_table_list(?1) WHERE schema = 'main') = 0 FROM "
                          "pragma_table_info(?1) WHERE pk > 0");
    key.bind(1, table);
    return key.step() && key.integer(0) == 1;
}

// The figures of a rowid key, kept under the table's own name (no index may have it). Its keys
// lie in the interior pages of the table's b-tree: the lowest level of those is its leaf level
// (the table's only page when it has no other), the levels above it its branches. Every row
// has a key; walked in key order, the rows lie in the table's order.
void gatherRowidKey(sqlite3* db, const QString& table, const RowPages& rows) {
    sqlite::Statement interior(db,
                               "SELECT path FROM dbstat('main') WHERE name = ? AND pagetype = "
                               "'internal'");
    interior.bind(1, table);
    int64_t blevel = 0, leafBlocks = 1;
    bool any = false;
    while (interior.step()) {
        const int64_t depth = interior.text(0).count(u'/') - 1;
        if (!any || depth > blevel) {
            blevel = depth;
            leafBlocks = 0;
        }
        any = true;
        leafBlocks += depth == blevel;
    }
    const auto keys = int64_t(rows.rowids.size());
    int64_t clustering = 0;
    for (size_t k = 0; k < rows.pages.size(); ++k)
        clustering += k == 0 || rows.pages[k] != rows.pages[k - 1];
    sqlite::Statement insert(db,
                             "INSERT OR REPLACE INTO \"QV$IND_STATS\" VALUES (upper(?1), "
                             "upper(?1), ?2, ?3, ?4, ?5, ?6, ?7, ?4, datetime('now', "
                             "'localtime'))");
    insert.bind(1, table).bind(2, blevel).bind(3, leafBlocks).bind(4, keys);
    bindOptional(insert, 5, perKey(leafBlocks, keys));
    bindOptional(insert, 6, perKey(clustering, keys));
    insert.bind(7, clustering);
    insert.run();
}

}  // namespace

void gatherIndexes(sqlite3* db, const QString& table) {
    QStringList indexes;
    sqlite::Statement list(db, "SELECT name FROM pragma_index_list(?) ORDER BY name");
    list.bind(1, table);
    while (list.step())
        indexes << list.text(0);
    const bool rowidKey = hasRowidKey(db, table);
    if (indexes.isEmpty() && !rowidKey)
        return;
    const std::optional<RowPages> rows = rowPages(db, table);
    for (const QString& index : indexes)
        gatherIndex(db, index, table, rows ? &*rows : nullptr);
    if (rowidKey && rows)
        gatherRowidKey(db, table, *rows);
}

}  // namespace qv::embedded
