#pragma once

#include "core/embedded/plan/planbuilder.h"
#include "core/embedded/plan/planestimates.h"

#include <QHash>
#include <QString>

#include <vector>

namespace qv::embedded {

// Places each condition of the statement's WHERE, ON and HAVING clauses (the statement's tokens
// `t`; `aliases` as tableAliases() reads them) on the plan line that applies it, as Oracle's
// ACCESS_PREDICATES and FILTER_PREDICATES:
//   access  on the INDEX line whose key columns find rows by it (or the line that reads a covering
//           index or rowids), on a HASH JOIN for the keys it joins by;
//   filter  on the line that hands on the rows of the last table it names (or on the HASH JOIN
//           it joins by), on FILTER for a subquery, on the FILTER above GROUP BY for HAVING.
// A condition is left out where its line cannot be told: a name that more than one loop reads
// and the query cannot tell apart, a column no table or several have. ROWNUM and the row limits
// are the plan builder's: it gives COUNT STOPKEY and the VIEW of a row limit their filters. The
// text is in Oracle's notation as DBMS_XPLAN prints it: names in upper case and double quotes,
// qualified by their table's alias when the statement reads more than one table
// ("O"."CUSTOMER_ID"="C"."CUSTOMER_ID"), operators without blanks, literals as written, bind
// variables in upper case (:CITY), DATE '...' as TO_DATE(' 2024-12-01 00:00:00', 'syyyy-mm-dd
// hh24:mi:ss'), a character column compared with a number as TO_NUMBER("C") (which no index
// on it serves), JOIN ... USING (c) and NATURAL JOIN as "A"."C"="B"."C" on the join,
// BETWEEN as two comparisons and an IN list as comparisons joined by OR; the
// conditions of one line joined by AND. Throws sqlite::Error when the estimates that tell which
// table has a column cannot be read. `only`: an alias; the conditions that name it alone.
void attachPredicates(const std::vector<sql::Token>& t, const QHash<QString, QString>& aliases,
                      PlanEstimates& estimates, std::vector<PlanRow>& rows,
                      const QString& only = {});

// attachPredicates() of the statement, and of the query of each view the database keeps that it
// reads (`db`'s, as SQLite keeps its text) on the lines of that view's tables, as Oracle shows the
// conditions of a view merged into the query; the statement's conditions on a view of one
// table's own columns are that table's. A view whose tables the statement also reads under the
// same names keeps its own conditions off the plan (their lines cannot be told). Throws
// sqlite::Error as attachPredicates() does.
void attachViewPredicates(sqlite3* db, const std::vector<sql::Token>& t,
                          const QHash<QString, QString>& aliases, PlanEstimates& estimates,
                          std::vector<PlanRow>& rows);

// The statement's (`t`'s) `conditions` with those of the views the database keeps that it reads
// (`aliases`), for the estimates of the lines of each view's one table: a view's own
// conditions, and the statement's on the columns of a merged view of one table's own columns
// (kept or written in the statement), as conditions on that table under its alias. Views of
// several tables, or whose table the statement also names, add none. Cannot fail.
QList<Predicate> mergedViewConditions(sqlite3* db, const std::vector<sql::Token>& t,
                                      const QHash<QString, QString>& aliases,
                                      QList<Predicate> conditions);

// The condition `a.x [NOT] IN (SELECT b.y FROM ...)` as access("A"."X"="B"."Y") on the index of a's
// table a NESTED LOOPS searches for each row of the subquery it reads first (attachPredicates()
// calls it, after its own). Cannot fail.
void placeListLookups(const std::vector<sql::Token>& t, const QHash<QString, QString>& aliases,
                      PlanEstimates& estimates, std::vector<PlanRow>& rows);

}  // namespace qv::embedded
