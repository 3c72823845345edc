#pragma once

#include "core/sql/sqltokens.h"
#include "core/sql/tokenlist.h"

#include <QString>

#include <vector>

namespace qv::embedded {

// One table of the FROM list of a statement's first query block, as SQLite's text has it.
struct FromTable {
    QString table;         // lower case, without quotes; empty for a subquery
    QString alias;         // lower case: the alias, else the table's name
    int begin = 0;         // offset of the item in the text
    int after = 0;         // offset just past its alias: where INDEXED BY may stand
    int end = 0;           // offset just past the item (before the comma or JOIN that follows)
    bool indexed = false;  // the text already says INDEXED BY or NOT INDEXED
};

// The FROM list of the first query block of `sqliteText` (SELECT, UPDATE, DELETE).
struct FromList {
    std::vector<FromTable> tables;
    bool commas = false;  // the tables are separated by commas alone: their order may change
    int begin = 0;        // the list's span in the text
    int end = 0;
};

// The first query block's FROM list; no tables when the statement has none or is read
// otherwise. Cannot fail.
FromList readFromList(const QString& sqliteText);

// `sqliteText` with `directive[k]` (" NOT INDEXED", " INDEXED BY ...", or empty) after table k
// of `from`, and, when `order` is not empty, the tables in that order joined by CROSS JOIN (the
// ON conditions of an inner join then stand after the last table). A table k with `copies[k]`
// is read as that FROM item instead (its own text and directive left out): the engine's hash
// area of it (hasharea.h), which is made for a table of a join only. Cannot fail.
QString rewriteFrom(const QString& sqliteText, const FromList& from,
                    const std::vector<QString>& directive, const std::vector<size_t>& order,
                    const std::vector<QString>& copies = {});

// The end of the WHERE clause of the query block whose WHERE is token `where` of `t`: the GROUP,
// ORDER, HAVING, LIMIT, WINDOW, set operator or RETURNING after it, else the end.
size_t whereEnd(const std::vector<sql::Token>& t, size_t where);

// Whether tokens `r` of `t` read no column but those named through `alias` (lower case), and no
// subquery: a condition on that table alone.
bool readsOnly(const std::vector<sql::Token>& t, sql::Range r, const QString& alias);

// The table of `item` as `sqliteText` names it, without its alias.
QString tableText(const QString& sqliteText, const FromTable& item);

// The conditions of `sqliteText`'s first query block that read table k of `from` alone (each
// column named through its alias, no subquery), with that alias written as `as`, joined by AND:
// its own ON condition's, and the WHERE clause's when the tables are inner joined, or when table
// k is the one whose rows the list's one RIGHT or FULL join keeps by a RIGHT JOIN (its columns
// are never NULL there: a row the condition drops is dropped whether it met others or not).
// Empty when none, or when the list has another RIGHT or FULL join, or a NATURAL one. Cannot
// fail.
QString ownConditions(const QString& sqliteText, const FromList& from, size_t k, const QString& as);

// The table of `from` right of its one RIGHT or FULL join (whose rows met by none SQLite reads
// again after the join); -1 when it has none, -2 when it has more. Cannot fail.
int rightJoined(const QString& sqliteText, const FromList& from);

// An equality of two tables' columns: alias.column = otherAlias.otherColumn, lower case.
struct ColumnEquality {
    QString column, otherAlias, otherColumn;
};

// The equalities of `sqliteText`'s first query block (its FROM list and WHERE clause) between a
// column of table k of `from` and a column of another of its tables, where that column of table
// k is named nowhere else in them. Cannot fail.
std::vector<ColumnEquality> soleEqualities(const QString& sqliteText, const FromList& from,
                                           size_t k);

// Whether the tables of `from` are joined by inner joins with ON conditions alone (or commas),
// so that their order may change with the conditions moved after the last one.
bool innerJoinsOnly(const QString& sqliteText, const FromList& from);

// `sqliteText` with the comparisons of its first query block's WHERE clause (those outside
// parentheses) on `column` of the table read as `alias` (lower case) written as +column, which
// SQLite finds by no index and no rowid: alias.column, or column alone when `alone` (the only
// table). Cannot fail.
QString withoutKeyAccess(const QString& sqliteText, const QString& alias, const QString& column,
                         bool alone);

}  // namespace qv::embedded
