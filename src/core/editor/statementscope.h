#pragma once

#include "core/sql/sqltokens.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace qv {

// A name as the dictionary holds it: an unquoted one in capitals, a quoted one as written
// between its quotes.
QString dictionaryName(const sql::Token& t);

// One table, view or subquery a statement reads, as its FROM, JOIN, UPDATE, INTO or USING
// names it.
struct TableReference {
    QString owner;         // dictionaryName()s; owner empty when none is written
    QString name;          // empty for a subquery
    QString alias;         // empty when none is written
    QStringList columns;   // a subquery's: its select list's names
    bool derived = false;  // a subquery, or a query the statement's WITH names
    // Where the query block it belongs to stands in the text: the caret inside, its names are
    // in reach.
    int scopeBegin = 0;
    int scopeEnd = 0;
};

// A query named in the statement's WITH clause.
struct NamedQuery {
    QString name;
    QStringList columns;
};

struct StatementScope {
    std::vector<TableReference> tables;
    std::vector<NamedQuery> withQueries;

    // The table `qualifier` (a dictionaryName()) stands for at `position`: the reference with
    // that alias, or without an alias with that name, in the innermost query block around the
    // position that has one; null when none.
    const TableReference* resolve(const QString& qualifier, int position) const;
    const NamedQuery* withQuery(const QString& name) const;
};

// What the statement `t` (sql::tokenize()'s) reads, found on its tokens. Cannot fail: a
// statement still being typed gives what it names so far.
StatementScope statementScope(const std::vector<sql::Token>& t);

// The names of the select list of the query in tokens [first, last): each item's alias, a
// column's name, or an expression's heading; * items give none.
QStringList selectListNames(const std::vector<sql::Token>& t, size_t first, size_t last);

}  // namespace qv
