#pragma once

#include <QString>

namespace qv::sql {

// `sql` laid out for reading: keywords in capitals, each clause of a query on a line of its own
// (SELECT, FROM, WHERE, GROUP BY, HAVING, ORDER BY, the joins, the set operators, CONNECT BY...),
// a subquery indented by four blanks between its parentheses, the AND and OR of a condition at
// the start of their lines. Only the blanks between tokens and the case of keywords change:
// literals, quoted names, comments (a -- comment keeps its line end), hints (right after their
// SELECT, INSERT, UPDATE, DELETE or MERGE), bind variables and PL/SQL blocks stay as written, so
// the text is the same statement. Statements separated by ; or a / line are laid out one by one.
// Cannot fail: a text that would not read as the same tokens once laid out comes back unchanged.
QString formatSql(const QString& sql);

}  // namespace qv::sql
