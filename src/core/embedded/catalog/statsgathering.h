#pragma once

// The steps of gathering optimizer statistics shared by optimizerstats.cpp and indexstats.cpp.

#include <QString>

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace qv::embedded {

// What DBSTAT tells of one b-tree (a table or an index).
struct BtreePages {
    std::optional<int64_t> pages;    // all its pages
    std::optional<int64_t> payload;  // bytes of its records
};
BtreePages btreePages(sqlite3* db, const QString& name);

// The table page each row lies on: rowids ascending, and the page (its place among the table's
// leaf pages) of each.
struct RowPages {
    std::vector<int64_t> rowids;
    std::vector<int32_t> pages;
};
// nullopt for a table WITHOUT ROWID, or when the leaves' cells and the rows do not agree.
std::optional<RowPages> rowPages(sqlite3* db, const QString& table);

// The figures of `index` on `table`; `rows` gives the clustering factor (nullptr: read here).
void gatherIndex(sqlite3* db, const QString& index, const QString& table, const RowPages* rows);
// Of every index of `table`.
void gatherIndexes(sqlite3* db, const QString& table);

}  // namespace qv::embedded
