#pragma once

#include "core/embedded/plan/planbuilder.h"
#include "core/sql/hintreport.h"

#include <QList>
#include <QString>

#include <sqlite3.h>

#include <vector>

namespace qv::embedded {

// How the engine plans one statement: the text SQLite runs, with what its hints and the
// optimizer goal ask for in SQLite's own means, and what became of each hint.
//   FULL(t)                   t NOT INDEXED
//   INDEX(t [i ...])          t INDEXED BY the first named index that exists, or the cheapest
//                             usable one; unused when no index serves the statement
//   NO_INDEX(t [i ...])       another index, or NOT INDEXED, when the plan used a named one
//   INDEX_FFS(t [i])          the index read whole, when it covers what the statement reads
//   LEADING(t1 t2 ...), ORDERED   the FROM list (commas or inner joins) in that order joined by
//                             CROSS JOIN, which SQLite keeps as the order of its loops; unused
//                             when the first loop is not the first table named
//   USE_HASH(t), NO_USE_NL(t) t read once through a copy SQLite searches by an automatic index
//                             (the engine's HASH JOIN); USE_NL(t), NO_USE_HASH(t): t found by
//                             a real index, or read whole, for each row before it
//   SWAP_JOIN_INPUTS(t), NO_SWAP_JOIN_INPUTS(t)   which input of t's hash join is drawn first
//                             (planbuilder.h); each join hint unused when the plan joins
//                             otherwise
// A query's table that SQLite finds by an index once for each row of the tables before it is
// hashed instead when the engine's estimates find reading it once cheaper (and `joins`; not for
// the query of a MERGE or CREATE ... AS, which runs as part of its statement).
//   ALL_ROWS, FIRST_ROWS[(n)], RULE, CHOOSE   the goal of the statement
//   GATHER_PLAN_STATISTICS    the engine measures every run; not reported, as Oracle does not
// Only the hints of the statement's first query block are read; a table is named by its alias
// when it has one. The goal steers the plan of a statement that reads one table, unless a hint
// names that table: FIRST_ROWS takes an index that gives the ORDER BY over a sort; RULE an
// index over a full scan; ALL_ROWS and CHOOSE, with gathered statistics, a full scan when the
// engine's estimates find it cheaper than the index SQLite chose to find the rows by, or to
// read them in the order of a GROUP BY or ORDER BY (the full scan's sort counted).
// A b-tree index holds no row whose key columns are all NULL: a table SQLite would read by an
// index that lacks rows the statement needs (a single-column index for IS NULL, or read whole
// for all rows) is read whole or by an index that has them (steerNulls()); so is a table of the
// one inline view a statement reads, as a page of an ordered or ranked view does
// (steerViewNulls()).
struct Steering {
    QString sqliteText;
    QString goal;       // as the plan table's OPTIMIZER column shows it (HINT: ... for a hint)
    bool rule = false;  // planned by rule: the plan has no cost, cardinality or bytes
    QList<sql::HintUse> hints;
};

// The steering of the client's statement `statement` (in Oracle's SQL), which SQLite runs as
// `sqliteText`, under the session's goal `sessionGoal`; tables owned by `owner`. Reads the
// schema and the statistics of `db` with the rights of the caller; a statement it cannot read
// keeps its text, its hints reported unused. Cannot fail.
// `peeked`: the bind variables' values the plan is made for (translatePlan()).
Steering steerStatement(sqlite3* db, const ParsedStatement& statement, const QString& sqliteText,
                        const QString& sessionGoal, const QString& owner, bool joins = true,
                        const QHash<QString, QString>& peeked = {});

// `sqliteText` without the stop of a ranked view limited by RANK or DENSE_RANK (the search for
// its last key, qv_rank_bound) when SQLite sorts the view's rows for its window: the sort reads
// every row anyway, and the search would read them again (rankstops.cpp). Cannot fail.
QString keepRankStops(sqlite3* db, const QString& sqliteText);

// Names on the plan's lines the query blocks and objects the hints speak of, as Oracle's
// QBLOCK_NAME and OBJECT_ALIAS ("E"@"SEL$1"), so that a reader places each hint as DBMS_XPLAN
// does (sql::placeHints()): a table's on the line that reads it, a block's on its first line.
// Cannot fail.
void nameQueryBlocks(std::vector<PlanRow>& rows, const QList<sql::HintUse>& hints);

}  // namespace qv::embedded
