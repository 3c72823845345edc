#pragma once

#include <sqlite3.h>

#include <cstdint>

namespace qv::embedded {

// Makes Oracle's dictionary views of what the catalog keeps (catalog.h) readable on `db`, as the
// V$ views are (sessionviews.h): read-only virtual tables that exist on every connection, each
// reading the schema and the catalog when it is queried, names in upper case:
//   USER_TAB_COMMENTS (TABLE_NAME, TABLE_TYPE, COMMENTS)   every table and view
//   USER_COL_COMMENTS (TABLE_NAME, COLUMN_NAME, COMMENTS)  every column of those
//   USER_SEQUENCES (SEQUENCE_NAME, MIN_VALUE, MAX_VALUE, INCREMENT_BY, CYCLE_FLAG, ORDER_FLAG,
//                   CACHE_SIZE, LAST_NUMBER)
//   USER_TAB_IDENTITY_COLS (TABLE_NAME, COLUMN_NAME, GENERATION_TYPE, SEQUENCE_NAME,
//                           IDENTITY_OPTIONS)
//   USER_CONSTRAINTS (CONSTRAINT_NAME, CONSTRAINT_TYPE, TABLE_NAME, SEARCH_CONDITION,
//                     R_CONSTRAINT_NAME, DELETE_RULE, STATUS, VALIDATED, GENERATED, INDEX_NAME)
// The views of tables, indexes, columns and their optimizer statistics (optimizerstats.h):
//   USER_TABLES, USER_TAB_STATISTICS, USER_INDEXES, USER_IND_COLUMNS, USER_IND_STATISTICS,
//   USER_TAB_COLUMNS, USER_TAB_COL_STATISTICS, USER_TAB_HISTOGRAMS, USER_OBJECTS, V$VERSION,
//   V$PARAMETER, V$MYSTAT, NLS_SESSION_PARAMETERS
// (statisticsviews.cpp). The indexes are those the plans name: SQLite's, and the rowid key of a
// table (its INTEGER PRIMARY KEY), named after its constraint (PK_ and the table's name without
// one) with the figures gathered for it; an index a primary key or unique constraint made is
// named after the constraint and is a CONSTRAINT_INDEX. LOW_VALUE and HIGH_VALUE are RAW.
// Every USER_ view has its ALL_ and DBA_ forms: the same rows, the session's schema being the
// file's only one, after the columns naming their owner (ownerviews.cpp).
// Returns SQLite's result code.
int registerDictionaryViews(sqlite3* db);
// V$PARAMETER reads the parameters of the session `sid` through qv_session_parameter(name),
// registered here.
int registerSessionParameterFunction(sqlite3* db, int64_t sid);

}  // namespace qv::embedded
