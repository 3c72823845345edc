#pragma once

// The dictionary views' definitions (dictionaryviews.cpp, statisticsviews.cpp).

#include <sqlite3.h>

#include <span>

namespace qv::embedded {

struct DictionaryView {
    const char* name;
    const char* schema;         // the columns, as CREATE TABLE x(...)
    const char* query;          // the rows; %1, %2... stand for the catalog tables it reads
    const char* catalog;        // those tables, separated by blanks; may be empty
    bool perObject = false;     // the query is run for each table and view, named by ?1
    bool needsCatalog = false;  // no rows while the file lacks the first catalog table
};

// The views of the tables, indexes, columns and their statistics, and V$VERSION, V$MYSTAT.
std::span<const DictionaryView> statisticsViews();

// The ALL_ and DBA_ forms of every USER_ view of the two lists (ownerviews.cpp): the same rows
// of the session's own schema, after the columns that name their owner (OWNER; SEQUENCE_OWNER;
// OWNER and TABLE_OWNER of an index; INDEX_OWNER and TABLE_OWNER of its columns). Made once, from
// the lists of the first call.
std::span<const DictionaryView> ownerViews(std::span<const DictionaryView> userViews,
                                           std::span<const DictionaryView> statistics);

// Registers qv_data_type(declared type, part), which the views use to show a declared type as
// Oracle's dictionary does (part: TYPE, LENGTH, PRECISION, SCALE, CHAR_LENGTH), and Oracle's
// RAWTOHEX(raw), which reads LOW_VALUE and HIGH_VALUE.
int registerDataTypeFunction(sqlite3* db);

}  // namespace qv::embedded
