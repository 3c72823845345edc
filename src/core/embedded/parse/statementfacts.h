#pragma once

#include "core/sql/tokenlist.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What the plan builder reads from the statement as the user wrote it (its tokens `t`), beside
// SQLite's plan: tables and aliases, conditions on columns, columns used, the parts of its
// queries. None of these functions fail; what cannot be told is left out.
namespace qv::embedded {

using sql::Range;
using sql::Token;

// alias (lower case) -> table, from "FROM|JOIN|, table [AS] alias" in the statement; a table
// without an alias is its own.
QHash<QString, QString> tableAliases(const std::vector<Token>& t);

// SELECT, INSERT, UPDATE, DELETE (or the statement's first word): what it does to rows.
QString statementKind(const std::vector<Token>& t);

// The table an INSERT, UPDATE or DELETE (`kind`) changes, without quotes; empty when unknown.
QString changedTable(const std::vector<Token>& t, const QString& kind);

// A condition of the WHERE or ON clauses on one column: `alias.column op value`, or a join
// `alias.column = otherAlias.otherColumn`.
struct Predicate {
    QString alias;  // lower case; empty when the column is not qualified
    QString column;
    QString op;             // =, <, >, LIKE, IN, BETWEEN, IS NULL, IS NOT NULL...
    int values = 1;         // of an IN list
    bool subquery = false;  // IN (SELECT ...)
    bool function = false;  // a function of the column is compared: upper(c) = ...
    bool number = false;    // the literals compared are numbers (not text)
    QString low, high;      // the literals a range is bounded by, as written
    QString value;          // the literal of "=" (the pattern of LIKE), as written
    QStringList list;       // the literals of an IN list, when all its values are literals
    QString otherAlias;
    QString otherColumn;
    QString otherTable;  // of a join: the other column's table, as the plan builder finds it
    // Of a join: the other column stands in an expression (a.x = b.y + 1), or the join is
    // JOIN ... USING (column) or a NATURAL JOIN (its columns "*": those both tables have).
    bool expression = false;
    bool usingColumn = false;
    // Where it is written: the first token of its clause; of JOIN ... USING, the token of the
    // column in its list.
    size_t at = 0;
    // Of op "OR": its branches, each a condition on a column of the same table (the first's
    // alias and column are this one's); a branch of several conditions ANDed is one of op
    // "AND" whose branches they are.
    std::vector<Predicate> branches;
    bool isJoin() const { return !otherColumn.isEmpty(); }
    bool isRange() const {
        return op == u"<" || op == u">" || op == u"<=" || op == u">=" || op == u"BETWEEN";
    }
};

// The conditions of every WHERE, ON and HAVING clause, subqueries' too, each from past its
// keyword to its end.
struct ConditionClause {
    Range range;
    bool having = false;
    bool on = false;  // a join's ON clause
};
std::vector<ConditionClause> conditionClauses(const std::vector<Token>& t);

// The conditions of every WHERE and ON clause, subqueries' too: they tell the rows of the tables
// read inside them.
QList<Predicate> readPredicates(const std::vector<Token>& t);

// The names that may be columns of the table read as `alias` (lower case, each once, in the
// order they first stand); nullopt when the statement reads all its columns (*, alias.*).
std::optional<QStringList> namesUsed(const std::vector<Token>& t, const QString& alias);

// The query of the subquery or WITH query `name`: "( SELECT ... ) name" in a FROM clause or
// "name AS ( SELECT ... )"; empty when there is none.
Range subqueryText(const std::vector<Token>& t, const QString& name);

// The members of the set operation `text`, split at the set operators at its top; none when
// `text` is empty.
std::vector<Range> compoundParts(const std::vector<Token>& t, Range text);

// What one query asks for, read from its text; all false when `text` is empty.
struct QueryShape {
    bool groupBy = false;
    bool orderBy = false;
    bool distinct = false;
    bool aggregate = false;  // an aggregate function (not analytic) in the select list
    bool having = false;
    bool offset = false;   // rows are skipped before the first one returned
    bool limited = false;  // a row limit: ROWNUM, FETCH FIRST, LIMIT or OFFSET
    // Each key of its ORDER BY is an item of its select list (by its text, its alias or its
    // position): a sort of the selected rows gives the order.
    bool orderBySelected = false;
};
QueryShape queryShape(const std::vector<Token>& t, Range text);

// The one column that GROUP BY or DISTINCT (`keyword` GROUP or DISTINCT) names in `text`;
// nullopt when there is none or more than a column.
struct ColumnRef {
    QString alias;  // lower case; empty when not qualified
    QString column;
};
std::optional<ColumnRef> singleColumnAfter(const std::vector<Token>& t, QStringView keyword,
                                           Range text);
// The columns GROUP BY or DISTINCT names, when it names plain columns only; nullopt otherwise.
std::optional<QList<ColumnRef>> columnsAfter(const std::vector<Token>& t, QStringView keyword,
                                             Range text);

// The first table the FROM clause of `text` names; empty when none.
QString firstTable(const std::vector<Token>& t, Range text);

// The row limit a query puts on its rows, read from its own text (rowlimits.cpp).
struct RowLimit {
    enum Kind {
        None,
        Rownum,  // WHERE ROWNUM <= n
        Fetch,   // [OFFSET m ROWS] FETCH FIRST n ROWS ONLY
        Ranked,  // WHERE rn <= n on the ROW_NUMBER, RANK or DENSE_RANK of its inline view
    };
    Kind kind = None;
    QString condition;     // Rownum, Ranked: the condition in Oracle's notation ("RN"<=5)
    QString count;         // Fetch: the rows fetched, as written (literal or bind in upper case)
    QString offset;        // Fetch: the rows skipped, as written; empty for none
    double rows = 0;       // the rows it lets through when literals tell; 0 otherwise
    bool ordered = false;  // Rownum: over an inline view that sorts; Fetch: ORDER BY is given
    QString view;          // Ranked: the alias the column is qualified by, lower case
    QString numbering;     // Fetch: ROW_NUMBER() OVER (ORDER BY ...) as Oracle prints it;
                           // Ranked: the window's own filter (RANK() OVER ( ORDER BY "X")<=5);
                           // empty when the order is not by plain columns
    // Ranked: the last rank the window keeps (0 when no literal tells), and the inline view.
    double stop = 0;
    size_t stopBind = size_t(-1);  // or the bind variable's token that tells it when it runs
    Range ranked;
    // Ranked: the view's first `stop` rows are exactly those its ROW_NUMBER numbers up to `stop`
    // (its one window, nothing after it that drops, adds or moves rows), so reading can stop
    // there.
    bool stopsEarly = false;
    // Ranked by RANK or DENSE_RANK: the one ORDER BY term of its window when the ranks kept are
    // the view's first rows up to the last tie of the last rank (one window without PARTITION
    // BY over one plain column of the one table the view reads, nothing after it that drops,
    // adds or moves rows); empty otherwise.
    Range rankOrder;
    bool partitioned = false;  // Ranked: within the partitions of its PARTITION BY
    bool ties = false;         // Fetch: WITH TIES (without ORDER BY, no row ties another)
    bool percent = false;      // Fetch: n PERCENT
};
RowLimit rowLimit(const std::vector<Token>& t, Range text);

// The conditions of the WHERE clause of `text` on the columns of the one inline view it reads,
// as Oracle prints them on that VIEW line ("RNUM">10); empty when there are none or one is not
// a comparison of a column with a literal or bind variable.
QString viewFilter(const std::vector<Token>& t, Range text);

// The query of the inline view that the FROM clause of `text` starts with; empty when none.
Range inlineView(const std::vector<Token>& t, Range text);

// Whether token `at` of `text` stands in a query nested in it (a subquery or view in parentheses).
bool inNestedQuery(const std::vector<Token>& t, Range text, size_t at);

// The column, bare or qualified (alias.column), at `at` of `t` before `last`: its alias and name in
// lower case (the alias left as it is when none is written), the name's token into `name` when
// given. The position after it; `at` when none stands there (a keyword is none).
size_t columnAt(const std::vector<Token>& t, size_t at, size_t last, QString& alias,
                QString& column, Token* name = nullptr);

// The subqueries of the select list of `text`, each the query inside its parentheses, in the
// order they stand; none when its other clauses have subqueries too (an inline view aside).
std::vector<Range> selectListSubqueries(const std::vector<Token>& t, Range text);

// How often the statement reads the WITH query `name`: the times it stands as a table.
int timesRead(const std::vector<Token>& t, const QString& name);

// The analytic functions of the select list of `text` (name OVER (...)), in upper case.
QStringList analyticFunctions(const std::vector<Token>& t, Range text);

}  // namespace qv::embedded
