#pragma once

// The engine's hash join area: where a hash join keeps the rows of its build input, which the
// join's other input probes by its keys (Oracle's work area in the PGA, not the buffer cache).
//
// The SQLite text of a hashed table t read as alias a is
//   temp."qv$hash$<sig>"((SELECT qv_hash_build("C1", "C2", ...) FROM t AS "qv$hash$a" ...), n,
//                        'c1,...') a
// The subquery reads t once (with the conditions the engine moved into it), and the aggregate
// qv_hash_build() keeps its rows in an area it hands on as a pointer (SQLite's pointer passing,
// which SQL text cannot forge); n is the rows the engine expects of it, by which SQLite weighs
// reading the area against the other ways of joining it; 'c1,...' the columns whose one
// equality compares them with a column of another table, both of numeric affinity and BINARY:
// the area compares those values itself, as SQLite would, and SQLite need not again. The
// virtual table qv$hash$<sig>, made in
// the connection's temp schema with t's columns, their declared types and collations (so
// comparisons read them as they read t's), returns the area's rows: those whose keys hash as the
// probe's values when the join's equalities give it keys, else every row (a buffer read again for
// each outer row). SQLite checks each equality again on the rows returned, so a hash only has to
// keep rows that may be equal together: numbers by value (text that reads as a number too), text
// without trailing blanks and in lower case, which is looser than every collation it accepts
// (BINARY, NOCASE, RTRIM and the blank-padded one). An equality under any other collation is not
// used. The area's pages are the process's memory: they are no session logical reads.
//
// SQLite reads the right table of a RIGHT or FULL join again after the join, for its rows that met
// none, and codes its FROM item's arguments anew for that pass: such an area is written
//   temp."qv$hash$<sig>"(CASE WHEN qv_hash_held(k) THEN qv_hash_area(k)
//                        ELSE qv_hash_keep(k, (SELECT qv_hash_build(...) FROM ...)) END, n, ...) a
// where qv_hash_keep() keeps the area filled as area k of the connection while the statement
// holds it, and qv_hash_area(k) hands it on to the pass, which so reads no table again.

#include "core/embedded/plan/planbuilder.h"

#include <QString>

#include <sqlite3.h>

#include <vector>

namespace qv::embedded {

// Registers the module qv_hash, the aggregate qv_hash_build() and the functions qv_hash_keep(),
// qv_hash_held() and qv_hash_area() on `db`. Returns SQLite's code.
int registerHashAreas(sqlite3* db);

// The FROM item that reads the rows of `table` (SQLite's name of a stored table) through a hash
// area under the alias `alias`: `buildFrom` is the text after FROM of the subquery that fills it
// (the table under the alias hashAreaBuildAlias(alias), and what else it is read with), `rows`
// the rows it is expected to hold, `exact` the columns it may compare itself (above), `kept`
// whether a RIGHT or FULL join's pass reads it again (above). Empty when
// the area would be larger than the engine keeps in memory. Makes the area's table in the temp
// schema when the connection lacks it; empty when it cannot (the table has no columns to read, or
// the temp schema cannot be written). Cannot fail.
QString hashAreaSource(sqlite3* db, const QString& table, const QString& buildFrom,
                       const QString& alias, double rows, const QStringList& exact,
                       bool kept = false);

// The alias under which a hash area's subquery reads the table hashed as `alias`.
QString hashAreaBuildAlias(const QString& alias);

// SQLite's plan lines of a statement with hash areas as the plan builder reads a hashed copy:
// the subquery that fills an area as MATERIALIZE a, placed before the first line of the block
// that reads the area, with its table under the join's alias; the area's probe as SEARCH a USING
// AUTOMATIC COVERING INDEX (keys), read whole as SCAN a. The lines of a RIGHT or FULL join's pass
// over an area are left out: it reads the area the join filled; its line stays, as RIGHT-JOIN a.
// Other lines stay as they are.
std::vector<EqpLine> hashAreasAsCopies(const std::vector<EqpLine>& lines);

}  // namespace qv::embedded
