#pragma once

#include "core/sql/sqltokens.h"

#include <QString>

#include <optional>
#include <vector>

namespace qv::embedded {

// Oracle's outer join operator in a WHERE clause, written as the ANSI join it stands for:
//   SELECT ... FROM a, b, c WHERE a.x = b.y(+) AND b.z(+) = 5 AND b.w = c.v(+) AND a.k > 0
//   SELECT ... FROM a LEFT JOIN b ON (a.x = b.y) AND (b.z = 5) LEFT JOIN c ON (b.w = c.v)
//              WHERE (a.k > 0)
// A condition whose columns of one table carry (+) makes that table the outer-joined one; its
// other tables must come before it, the conditions with no other table (a constant) join it
// too. Tables joined to nothing keep their order and come first. A table may be outer-joined
// to several others (Oracle 12c and later). Conditions without (+) stay in WHERE, applied after
// the joins as in Oracle; a (+) in a subquery belongs to that subquery.
//
// The rewrite of the first query (in token order) whose WHERE holds (+) at its own level, as the
// whole statement's text; nullopt when no query does. Call again on the result until nullopt
// for nested queries. `end` ends the statement's tokens (a trailing ";" left out).
// Throws DbError(kErrOdbcCall) with Oracle's errors: ORA-01719 for (+) in an operand of OR or
// IN, ORA-01416 for two tables outer-joined to each other (or in a circle), ORA-01468 for a
// condition with (+) on columns of two tables, ORA-01799 for a column outer-joined to a
// subquery, ORA-25156 for (+) with an ANSI join in the same FROM, ORA-00904 for a qualifier
// that names no table of the FROM clause, and ORA-00900 for a column marked (+) without its
// table's name when FROM has several (the engine cannot tell which table it belongs to).
std::optional<QString> rewriteOuterJoin(const QString& sql, const std::vector<sql::Token>& tokens,
                                        size_t end);

}  // namespace qv::embedded
