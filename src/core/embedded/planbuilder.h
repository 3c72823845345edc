#pragma once

#include <QString>

#include <sqlite3.h>

#include <cstdint>
#include <vector>

namespace qv::embedded {

// One line of SQLite's EXPLAIN QUERY PLAN output.
struct EqpLine {
    int id;
    int parent;
    QString detail;
};

// One row the engine writes into a plan table.
struct PlanRow {
    int id = 0;
    int parentId = -1;  // -1 for the root: written as NULL
    int position = 0;
    QString operation;
    QString options;      // empty: NULL
    QString objectOwner;  // empty: NULL
    QString objectName;   // empty: NULL
    int64_t cardinality = 0;
    int64_t cost = 0;
    int64_t bytes = 0;
};

// Oracle-shaped plan rows from SQLite's plan of `statement` (the text as the user wrote it,
// read for the statement kind, table aliases, predicates and grouping), with estimates from
// `db` (planestimates.h). Ids are given depth-first from the root (id 0), so ordering by id
// gives tree order. The shapes:
//   loops of one query block, outermost first     NESTED LOOPS, left-deep
//   a loop SQLite gives a transient index         HASH JOIN, the inner table scanned in full
//   SCAN t                                        TABLE ACCESS FULL t
//   SEARCH / SCAN t USING INDEX i                 TABLE ACCESS BY INDEX ROWID t
//                                                   INDEX UNIQUE SCAN | RANGE SCAN | FULL SCAN i
//   ... USING COVERING INDEX i                    the INDEX line alone
//   SEARCH t USING INTEGER PRIMARY KEY            TABLE ACCESS BY USER ROWID | BY ROWID RANGE t
//   ORDER BY / DISTINCT through a temporary tree  SORT ORDER BY / SORT UNIQUE above the rest
//   GROUP BY                                      SORT GROUP BY (sorted output asked for, or
//                                                 NOSORT by an index), else HASH GROUP BY;
//                                                 aggregates alone: SORT AGGREGATE
//   a subquery in FROM, a WITH query              VIEW above its own plan
//   UNION ALL / UNION / EXCEPT / INTERSECT        UNION-ALL (SORT UNIQUE above for UNION),
//                                                 MINUS, INTERSECTION
//   subqueries of the WHERE clause                FILTER above the query and the subqueries
//   SCAN CONSTANT ROW / a V$ view                 FAST DUAL / FIXED TABLE FULL
//   INSERT / UPDATE / DELETE                      LOAD TABLE CONVENTIONAL / UPDATE / DELETE t
// Tables and indexes are owned by `owner`, in upper case like every name. Throws sqlite::Error
// when the estimates cannot be read.
std::vector<PlanRow> translatePlan(const QString& statement, const std::vector<EqpLine>& eqp,
                                   const QString& owner, sqlite3* db);

}  // namespace qv::embedded
