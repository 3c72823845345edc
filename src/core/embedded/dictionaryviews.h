#pragma once

#include <sqlite3.h>

namespace qv::embedded {

// Makes Oracle's dictionary views of what the catalog keeps (catalog.h) readable on `db`, as the
// V$ views are (sessionviews.h): read-only virtual tables that exist on every connection, each
// reading the schema and the catalog when it is queried, names in upper case:
//   USER_TAB_COMMENTS (TABLE_NAME, TABLE_TYPE, COMMENTS)   every table and view
//   USER_COL_COMMENTS (TABLE_NAME, COLUMN_NAME, COMMENTS)  every column of those
//   USER_SEQUENCES (SEQUENCE_NAME, MIN_VALUE, MAX_VALUE, INCREMENT_BY, CYCLE_FLAG, ORDER_FLAG,
//                   CACHE_SIZE, LAST_NUMBER)
//   USER_CONSTRAINTS (CONSTRAINT_NAME, CONSTRAINT_TYPE, TABLE_NAME, SEARCH_CONDITION,
//                     R_CONSTRAINT_NAME, DELETE_RULE, STATUS, VALIDATED, GENERATED, INDEX_NAME)
// Returns SQLite's result code.
int registerDictionaryViews(sqlite3* db);

}  // namespace qv::embedded
