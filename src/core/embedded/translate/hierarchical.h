#pragma once

#include "core/sql/sqltokens.h"

#include <QString>

#include <vector>

namespace qv::embedded {

using sql::Token;

// True for a SELECT with a CONNECT BY clause at its top level. Cannot fail.
bool isHierarchicalQuery(const std::vector<Token>& tokens);

// Rewrites an Oracle hierarchical query on one table,
//   SELECT items FROM table [alias] [WHERE cond] [START WITH cond] CONNECT BY [NOCYCLE] cond
//   [ORDER BY terms]
// (START WITH and CONNECT BY in either order), into a recursive query SQLite runs. PRIOR x in
// the CONNECT BY condition is the parent row's x; LEVEL is 1 for a root. Every row the
// condition takes is a child, also one met before under another parent: without PRIOR
// (CONNECT BY LEVEL <= n) every row is a child of every row of the level above, and all rows
// are roots without START WITH. Rows come depth-first with siblings in rowid order, unless ORDER
// BY sorts the whole result as Oracle does (ties then keep tree order). As Oracle, a loop is a
// child whose values of the PRIOR operands are those of one of its ancestors: ORA-01436, or with
// NOCYCLE the branch ends before it and CONNECT_BY_ISCYCLE is 1 for its parent (ORA-30930
// without NOCYCLE). In the select list and WHERE, CONNECT_BY_ROOT x
// is x of the row's root, SYS_CONNECT_BY_PATH(x, sep) the values of x from the root down, each
// after sep (ORA-30004 when a value holds sep), CONNECT_BY_ISLEAF 1 for a row without children
// in the tree; CONNECT_BY_ROOT is ORA-30007 and SYS_CONNECT_BY_PATH ORA-30002 in START WITH or
// CONNECT BY. The statement is translateOracle()'s, whose
// select items all have their headings as aliases (sqliteText() passes it on).
// The table needs a rowid (a table, not a view or WITHOUT ROWID table).
// Throws DbError(kErrOdbcCall, "ORA-00900: ...") for a form it does not support (joins, GROUP
// BY, ORDER SIBLINGS BY, set operators).
QString rewriteHierarchicalQuery(const QString& sql, const std::vector<Token>& tokens);

}  // namespace qv::embedded
