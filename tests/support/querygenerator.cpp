#include "support/querygenerator.h"

#include "support/querybuilder.h"

// What the generator never writes, because Oracle and SQLite answer it differently by rule (the
// engine answers as Oracle, the reference as SQLite):
// - Division. Oracle's is exact (7 / 2 = 3.5), SQLite's truncates two integers; by zero Oracle
//   raises ORA-01476 where SQLite gives NULL. MOD(m, n) is SQLite's m % n only for integers and a
//   positive constant n (SQLite's % makes its operands integers, and gives NULL for n = 0).
// - || with an operand that may be NULL: Oracle takes NULL as '', SQLite's answer is NULL. ||
//   joins text that is never NULL, and never a number (see the text form of numbers).
// - The empty string '', which Oracle takes as NULL, and the functions that can make one
//   (SUBSTR, TRIM, REPLACE, ...: SQLite answers '' where Oracle answers NULL).
// - ORDER BY a key that may be NULL, left to each engine's default: Oracle sorts NULLs last
//   ascending, SQLite first. Such a key has NULLS FIRST or NULLS LAST in both texts, or Oracle's
//   default written out in SQLite's text only (one order, spelled in each dialect's way).
// - LIKE with letters in the pattern: Oracle's LIKE tells upper from lower case, SQLite's does
//   not by default. Patterns hold no letters.
// - The text form of numbers (TO_CHAR, CAST to text, a number joined by ||): Oracle writes .5,
//   SQLite 0.5.
// - A number compared with text: Oracle converts the text (or raises ORA-01722), SQLite puts
//   every number before every text.
// - Decimal arithmetic where the exact value matters: Oracle's NUMBER is decimal, SQLite's REAL
//   binary (0.1 + 0.2 is not 0.3 there). Such a value ("inexact", querybuilder.h) is selected
//   and compared to a constant one decimal place finer than it can have (where no rounding
//   error can turn the answer), never compared for equality, grouped, made DISTINCT, put into a
//   set operation or used as a sort key; answers are compared to 15 significant digits. AVG has
//   no bounded number of places, so it is never compared at all. ROUND and TRUNC of decimals
//   are left out (SQLite rounds the binary value: 2.675 becomes 2.67). Nor is a value with
//   unbounded places added to or multiplied: AVG is SQLite's own, not cut to the 15 digits the
//   engine keeps, so the engine's arithmetic on it keeps binary noise (a fault of the engine:
//   AVG(x) + AVG(x) * -1 over 1, 0, 0 gives .000000000000000333066907387547 where Oracle
//   gives 0).
// - A scalar subquery that may give several rows: Oracle raises ORA-01427, SQLite takes the
//   first. A scalar subquery is an aggregate or looks one row up by its key.
// - Text and numbers mixed in the branches of CASE, DECODE, NVL, COALESCE or a set operation
//   (ORA-00932, ORA-01790), and DECODE with NULL as its first result (Oracle then answers
//   text).
// - ROW_NUMBER and FETCH FIRST without a unique order: each engine may pick other rows.
// - CHAR columns (compared blank-padded in Oracle), dates (stored as text by the engine, shown
//   by the session's NLS format) and text beyond ASCII (SQLite's UPPER and LOWER change ASCII
//   letters only).
// - What Oracle refuses and SQLite runs: ORDER BY in an IN or EXISTS subquery (ORA-00907), a
//   DISTINCT query sorted by what it does not select (ORA-01791), a select list or HAVING that
//   names a column neither grouped nor aggregated (ORA-00979), AS before a table alias, an
//   analytic function in WHERE, an aggregate of a subquery.
// - Comparisons with ANY, SOME or ALL and a subquery or list (x > ALL (SELECT ...)), which
//   Oracle runs: the engine passes them to SQLite, which has no such form, and fails with
//   ORA-00933. A fault of the engine, left out here until the translation writes them.
// - A query in parentheses holding UNION ALL as a member of a set operation: SQLite (3.40 to
//   3.52 at least) flattens the subquery it becomes wrongly when a later branch has a RIGHT
//   JOIN, dropping a WHERE condition such as coalesce(a.x, 0) = 10 or a.x IS 10 of an earlier
//   branch (the query flattener; right with it turned off). Both engines answer wrongly then,
//   the embedded one too for the same query in Oracle's SQL: a fault of SQLite that the engine
//   inherits.
// - A view sorted with a row limit (its ORDER BY ... OFFSET in parentheses): SQLite 3.52 gives
//     SELECT v.q FROM (SELECT q FROM s ORDER BY q DESC LIMIT -1 OFFSET 0) v
//     GROUP BY v.q ORDER BY v.q ASC
//   in the view's order (3, 2, 1; 3.40 gives 1, 2, 3). The engine, which writes NULLS FIRST or
//   LAST after those keys, answers right; the reference would not. A sorted view stays in the
//   top-N form (ROWNUM over it), which groups nothing.
// - GROUP BY a whole number (GROUP BY 1, GROUP BY -(8)): Oracle groups by the number (group by
//   position is off by default, GROUP_BY_POSITION_ENABLED), the engine passes it to SQLite,
//   which reads a position in the select list. A fault of the engine, left out likewise.

namespace qv::test {

QString SqlNode::print(Dialect dialect) const {
    const QString& t = text[int(dialect)];
    if (list) {
        QStringList printed;
        for (const SqlNode& p : parts)
            if (QString s = p.print(dialect); !s.isEmpty())
                printed << s;
        return printed.isEmpty() ? QString() : prefix + printed.join(t);
    }
    if (parts.empty())
        return t;
    QString out;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] == u'$' && i + 1 < t.size() && t[i + 1].isDigit()) {
            out += parts.at(size_t(t[++i].digitValue() - 1)).print(dialect);
        } else {
            out += t[i];
        }
    }
    return out;
}

SqlNode sql(const QString& text, std::vector<SqlNode> parts) {
    return SqlNode{{text, text}, std::move(parts), false, {}};
}

SqlNode sql(const QString& oracle, const QString& sqlite, std::vector<SqlNode> parts) {
    return SqlNode{{oracle, sqlite}, std::move(parts), false, {}};
}

SqlNode list(const QString& separator, std::vector<SqlNode> parts, const QString& prefix) {
    return SqlNode{{separator, separator}, std::move(parts), true, prefix};
}

GeneratedQuery QueryGenerator::next() {
    QueryBuilder builder(random_);
    Query q;
    const int shape = builder.random().below(100);
    if (shape < 5)
        q = builder.topRows();
    else if (shape < 50)
        q = builder.select(0, SelectRole::Top);
    else if (shape < 78)
        q = builder.grouped(0, true);
    else
        q = builder.compound();
    GeneratedQuery out{std::move(q.node), {}, q.ordered};
    for (const Value& c : q.columns)
        out.columns.push_back({c.type, !c.exact, c.scale < 0 ? 99 : c.scale});
    return out;
}

}  // namespace qv::test
