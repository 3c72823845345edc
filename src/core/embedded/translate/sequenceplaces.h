#pragma once

#include "core/sql/sqltokens.h"

#include <vector>

namespace qv::embedded {

// Where a statement may name s.NEXTVAL and s.CURRVAL, as Oracle's "Sequence Pseudocolumns"
// (SQL Language Reference) has it: the select list of a SELECT that is not in a subquery, the
// select list of an INSERT's query, the VALUES of an INSERT and the SET of an UPDATE; and not in
// a SELECT with DISTINCT, GROUP BY, HAVING or ORDER BY, nor one joined to another by UNION,
// INTERSECT or MINUS. Anywhere else (WHERE, a subquery, DELETE...) is ORA-02287. Views, triggers
// and defaults are refused as SQLite compiles them (sequences.h); other statements (MERGE,
// CREATE TABLE ... AS) are not checked here. Throws DbError(kErrOdbcCall) with ORA-02287.
void checkSequencePlaces(const std::vector<sql::Token>& t);

}  // namespace qv::embedded
