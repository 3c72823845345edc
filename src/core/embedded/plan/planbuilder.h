#pragma once

#include "core/embedded/parse/parsedstatement.h"
#include "core/sql/tokenlist.h"

#include <QHash>
#include <QString>
#include <QStringList>

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

// Where a figure of a plan line is read from SQLite's scan status of the statement that ran.
struct Measure {
    enum Kind {
        None,           // the engine cannot measure it
        Loops,          // how often the SQLite plan line `line` (its EQP id) began its loop
        Visits,         // the rows that line visited (or pushed into its sorter)
        StatementRows,  // the rows the statement returned to the client, or changed
        Constant,       // `value`, which follows from what the line is
        Keys,           // the values of the IN operator that line `line` looked its rows up by
        Probes,         // the lookups that line made by those values
        Output,         // the rows that line handed on after its conditions, when it is the
                        // last loop of its query
        Groups,         // the groups made of the rows that line handed on (or read back from
                        // its sorter)
        Sorted,         // the rows read back from the sorter that line is
        Matched,        // the rows that line found that met its outer join's conditions
        Distinct,       // the distinct rows of those that line handed on, when it is the
                        // last loop of a SELECT DISTINCT
    };
    Kind kind = None;
    int line = -1;
    int64_t value = 0;
    int less = -1;  // a SQLite line whose visits are taken off the figure (-1: none)
    // A SQLite line whose loops the figure is shared among (-1: none): what one of those runs
    // did, when each did the same.
    int per = -1;
    // Rows added to the figure: `plus`, or the visits of SQLite line `plusUpTo` when fewer
    // (-1: `plus` alone).
    int64_t plus = 0;
    int plusUpTo = -1;

    static Measure loops(int line) { return {Loops, line, 0}; }
    static Measure visits(int line) { return {Visits, line, 0}; }
    static Measure constant(int64_t value) { return {Constant, -1, value}; }
    static Measure keys(int line) { return {Keys, line, 0}; }
    static Measure probes(int line) { return {Probes, line, 0}; }
    static Measure output(int line) { return {Output, line, 0}; }
    static Measure groups(int line) { return {Groups, line, 0}; }
    static Measure sorted(int line) { return {Sorted, line, 0}; }
    static Measure matched(int line) { return {Matched, line, 0}; }
    static Measure distinct(int line) { return {Distinct, line, 0}; }
};

// How a plan line stands to the SQLite loop it draws, for placing the statement's conditions.
enum class PlanRole {
    Other,
    Access,    // the line that hands the loop's rows on: its filters apply here
    Iterator,  // an INLIST ITERATOR above the loop's access
    Index,     // the INDEX line that finds the rowids of the access above it
    HashJoin,  // a HASH JOIN: its build side is found by the join's keys
    Filter,    // a FILTER above subqueries
    Group,     // GROUP BY
    Having,    // the FILTER above GROUP BY: HAVING applies here
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
    // In Oracle's notation (DBMS_XPLAN's Predicate Information); empty: NULL.
    QString accessPredicates;
    QString filterPredicates;
    // QBLOCK_NAME and OBJECT_ALIAS where the hints need them (nameQueryBlocks()); empty: NULL.
    QString queryBlock;
    QString objectAlias;
    // The line's actual figures, as its SQLite plan lines count them (V$SQL_PLAN_STATISTICS_ALL).
    Measure starts;
    Measure rows;
    // Which SQLite loop the line draws (its EQP id, -1 for none), the table alias it reads (lower
    // case), the columns it finds rows by and the tokens of the query it belongs to (empty when
    // not known).
    int loop = -1;
    PlanRole role = PlanRole::Other;
    QString alias;
    QStringList keys;
    sql::Range block;
};

// Oracle-shaped plan rows from SQLite's plan of `statement` (as the user wrote it, read once,
// read for the statement kind, table aliases, predicates and grouping), with estimates from
// `db` (planestimates.h). Ids are given depth-first from the root (id 0), so ordering by id
// gives tree order. The shapes:
//   loops of one query block, outermost first     NESTED LOOPS, left-deep
//   a loop SQLite gives a transient index         HASH JOIN (RIGHT / OUTER / SEMI variants), the
//                                                 inner table scanned in full; the smaller input
//                                                 first, as the one built on (unless LEADING,
//                                                 ORDERED or [NO_]SWAP_JOIN_INPUTS say which);
//                                                 the engine's copy of a table searched so (the
//                                                 hash join steering.h chose) is that table
//   a join by USING, NATURAL JOIN, a column       joined as any equi-join, its condition the
//   equal to an expression of another table's     join's; another comparison (a.x < b.y): a join
//                                                 that no hash serves
//   a table joined by no condition                MERGE JOIN CARTESIAN over BUFFER SORT (the
//                                                 engine's copy of it, or a transient index
//                                                 searched by a constant, is the buffer); NESTED
//                                                 LOOPS when one side is estimated at one row
//   SCAN t                                        TABLE ACCESS FULL t
//   SEARCH / SCAN t USING INDEX i                 TABLE ACCESS BY INDEX ROWID t
//                                                   INDEX UNIQUE SCAN | RANGE SCAN | FULL SCAN i
//                                                 (BY INDEX ROWID BATCHED above a RANGE SCAN
//                                                 that no order or STOPKEY needs row by row;
//                                                 DESCENDING when it gives a descending order;
//                                                 a function-based index's <expr> is a RANGE
//                                                 SCAN)
//   MULTI-INDEX OR                                VIEW VW_ORE_... / UNION-ALL of a branch per
//                                                 condition, LNNVL of the earlier ones filtering
//                                                 the later (OR expansion)
//   ... USING COVERING INDEX i                    the INDEX line alone
//   SEARCH t USING INTEGER PRIMARY KEY            TABLE ACCESS BY USER ROWID | BY ROWID RANGE t
//   ORDER BY / DISTINCT through a temporary tree  SORT ORDER BY / SORT UNIQUE above the rest
//   GROUP BY                                      SORT GROUP BY (sorted output asked for, or
//                                                 NOSORT by an index), else HASH GROUP BY;
//                                                 aggregates alone: SORT AGGREGATE; HAVING: a
//                                                 FILTER above them
//   ROLLUP, CUBE, GROUPING SETS, PIVOT, UNPIVOT   SORT GROUP BY ROLLUP, GENERATE CUBE, TEMP
//                                                 TABLE TRANSFORMATION, HASH GROUP BY PIVOT,
//                                                 VIEW / UNPIVOT (plangrouping.cpp), under the
//                                                 VIEW of a view kept by CREATE VIEW too
//   DISTINCT ordered by selected items            SORT UNIQUE alone (HASH UNIQUE under SORT ORDER
//                                                 BY when ordered otherwise)
//   WHERE ROWNUM <= n                             COUNT STOPKEY above the query (lines that hand
//                                                 rows on as they come estimated for n rows);
//                                                 over an ordered inline view: COUNT STOPKEY /
//                                                 VIEW / SORT ORDER BY STOPKEY
//   [OFFSET m ROWS] FETCH FIRST n ROWS ONLY       VIEW / WINDOW SORT PUSHED RANK, or WINDOW
//                                                 NOSORT STOPKEY when nothing is sorted
//   FETCH ... WITH TIES, ... n PERCENT ROWS       the same over the engine's own view of the
//                                                 numbered rows, its lines no lines of Oracle's;
//                                                 the VIEW filters the rank, or the row number
//                                                 against CEIL of the total; PERCENT: WINDOW SORT
//   SCAN t in the order of its INTEGER PRIMARY    TABLE ACCESS BY INDEX ROWID t / INDEX FULL SCAN
//   KEY (no sort above)                           [DESCENDING] of the key's index
//   analytic functions (SQLite's co-routine)      WINDOW SORT | BUFFER | NOSORT; a ranking
//                                                 limited outside its view: PUSHED RANK | STOPKEY
//                                                 (NOSORT within partitions) with the ranking's
//                                                 own filter; the engine's search for the last
//                                                 key a RANK keeps (qv_rank_bound) is no line
//   scalar subqueries of the select list          before the lines of the query they serve
//   a WITH query SQLite materializes for several  TEMP TABLE TRANSFORMATION / LOAD AS SELECT
//   readers                                       SYS_TEMP_...; each reader VIEW / TABLE ACCESS
//                                                 FULL of that table
//   a subquery in FROM, a WITH query              VIEW above its own plan
//   UNION ALL / UNION / EXCEPT / INTERSECT        UNION-ALL (SORT UNIQUE above for UNION; SORT
//   (SQLite's COMPOUND QUERY or MERGE)            ORDER BY for a merged UNION ALL), MINUS and
//                                                 INTERSECTION over a SORT UNIQUE of each member
//   [NOT] IN (subquery) SQLite fills once         HASH JOIN RIGHT SEMI | RIGHT ANTI [NA | SNA]
//                                                 (NA: the subquery's column may be null, SNA:
//                                                 only the outer one), the subquery first
//   a correlated subquery looking a key up        NESTED LOOPS SEMI | ANTI
//   other subqueries of the WHERE clause          FILTER above the query and the subqueries
//   IN (subquery) read from a unique index        NESTED LOOPS from its INDEX FULL SCAN
//   an IN list on an index's equality columns     INLIST ITERATOR above the access
//   SEARCH ... USING INDEX i (ANY(c) AND ...)     INDEX SKIP SCAN i
//   LEFT JOIN through a transient index           HASH JOIN OUTER
//   RIGHT / FULL JOIN                             HASH JOIN RIGHT OUTER / FULL OUTER
//   CONNECT BY (a recursive WITH query)           CONNECT BY WITH FILTERING over the START WITH
//                                                 access and (CONNECT BY PUMP joined to the
//                                                 children's access); CONNECT BY WITHOUT
//                                                 FILTERING over FAST DUAL when no table is read
//   SCAN CONSTANT ROW / a V$ view                 FAST DUAL / FIXED TABLE FULL
//   INSERT / UPDATE / DELETE                      LOAD TABLE CONVENTIONAL / UPDATE / DELETE t
// Tables and indexes are owned by `owner`, in upper case like every name. Each row says where its
// actual figures are read from the scan status of `eqp`'s lines when the statement ran: starts
// from loop counts, rows from what the next loop or the sorter above took, or from the rows the
// statement returned, and Measure::None where that is not exactly known. The statement's
// conditions are placed as access and filter predicates (planpredicates.h). Throws
// sqlite::Error when the estimates cannot be read. `peeked`: the values of the statement's bind
// variables its estimates are made with (by upper-case name without the colon), as Oracle peeks
// them at the hard parse; none for EXPLAIN PLAN.
std::vector<PlanRow> translatePlan(const ParsedStatement& statement,
                                   const std::vector<EqpLine>& eqp, const QString& owner,
                                   sqlite3* db, const QHash<QString, QString>& peeked = {});

// PLAN_HASH_VALUE of a plan: a 32-bit number from the operation, options and object of each
// line in id order, so two plans of one shape have the same value; 0 for no plan. Cannot fail.
int64_t planHashValue(const std::vector<PlanRow>& rows);

}  // namespace qv::embedded
