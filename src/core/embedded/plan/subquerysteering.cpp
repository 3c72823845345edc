// How the engine has SQLite run the lists and outer joins its plans draw as hash joins: see
// steerSubqueries() (steeringwork.h).
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/plan/steeringwork.h"
#include "core/sql/tokenlist.h"

#include <algorithm>

namespace qv::embedded::steer {

namespace {

using sql::Range;
using sql::Token;

// Whether a line of SQLite's plan looks the values of an IN up in an index of the table.
bool probesInIndex(const std::vector<EqpLine>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const EqpLine& l) {
        return l.detail.startsWith(u"USING INDEX ") && l.detail.endsWith(u" FOR IN-OPERATOR");
    });
}

// `text` with the column each `x [NOT] IN (SELECT column FROM ...)` of its WHERE clause selects
// written as +column: SQLite then fills the list once from the subquery, instead of looking
// each outer row's value up in an index of the subquery's table. Unchanged when none is. The
// columns compared with the lists (lower case) into `compared`. A list of every row of a
// column that may be NULL is read from the table (NOT INDEXED) for NOT IN, which a NULL among
// them answers: an index holds no NULL.
QString listsFilledOnce(const Planner& p, const QString& text, QStringList& compared) {
    const std::vector<Token> t = sql::tokenize(text);
    const size_t where = sql::findTopLevel(t, 0, t.size(), u"WHERE");
    if (where >= t.size())
        return text;
    std::vector<std::pair<int, QString>> at;
    for (const Range& term : sql::conjuncts(t, where + 1, whereEnd(t, where))) {
        size_t i = term.first;
        while (i < term.last && !t[i].is(u"IN") && !t[i].isOp(u'('))
            ++i;
        if (i + 3 >= term.last || !t[i].is(u"IN") || !t[i + 1].isOp(u'(') ||
            !t[i + 2].is(u"SELECT") || !sql::isName(t[i + 3]) || sql::isKeyword(t[i + 3]))
            continue;
        size_t after = i + 4;
        if (after + 1 < term.last && t[after].isOp(u'.') && sql::isName(t[after + 1]))
            after += 2;
        if (after + 1 < term.last && t[after].is(u"AS"))
            after += 2;
        if (after >= term.last || !t[after].is(u"FROM"))
            continue;
        at.emplace_back(t[i + 3].begin, QStringLiteral("+"));
        const size_t close = sql::closing(t, i + 1, term.last);
        size_t alias = after + 2;
        if (alias < close && t[alias].is(u"AS"))
            ++alias;
        const bool negated = i > term.first && t[i - 1].is(u"NOT");
        if (negated && after + 1 < close && sql::isName(t[after + 1]) &&
            (alias == close ||
             (alias + 1 == close && sql::isName(t[alias]) && !sql::isKeyword(t[alias]))) &&
            !p.notNull(sql::unquoted(t[after + 1]),
                       sql::unquoted(t[i + 3 + (i + 4 < after && t[i + 4].isOp(u'.') ? 2 : 0)])))
            at.emplace_back(t[close - 1].end, QStringLiteral(" NOT INDEXED"));
        const size_t left = negated ? i - 1 : i;
        if (left > term.first)
            compared << sql::unquoted(t[left - 1]).toLower();
    }
    QString out = text;
    std::sort(at.begin(), at.end());
    for (auto i = at.rbegin(); i != at.rend(); ++i)
        out.insert(i->first, i->second);
    return out;
}

// `text` with `a RIGHT [OUTER] JOIN b ON ...` of two tables written as `b LEFT JOIN a ON ...`:
// SQLite keeps the right table of a RIGHT JOIN as its inner loop and never hashes it, and then
// reads it again for the rows that met none; as a LEFT JOIN it is read once, and the other table
// is looked up or hashed for each of its rows, as Oracle's HASH JOIN RIGHT OUTER does. Not when
// the select list names every column (their order would change). Unchanged when it is not so.
QString rightJoinTurned(const QString& text) {
    const FromList from = readFromList(text);
    if (from.tables.size() != 2 || from.commas)
        return text;
    const FromTable& a = from.tables[0];
    const FromTable& b = from.tables[1];
    if (a.indexed || b.indexed || a.table.isEmpty() || b.table.isEmpty() || a.end != a.after)
        return text;
    const QString between = text.mid(a.end, b.begin - a.end).simplified().toUpper();
    const QString on = text.mid(b.after, b.end - b.after).trimmed();
    if ((between != u"RIGHT JOIN" && between != u"RIGHT OUTER JOIN") ||
        !(on.startsWith(u"ON ", Qt::CaseInsensitive) || on.startsWith(u"ON(", Qt::CaseInsensitive)))
        return text;
    const std::vector<Token> t = sql::tokenize(text);
    for (size_t i = 1; i < t.size(); ++i)
        if (t[i].isOp(u'*') && (t[i - 1].is(u"SELECT") || t[i - 1].is(u"DISTINCT") ||
                                t[i - 1].is(u"ALL") || t[i - 1].isOp(u',') || t[i - 1].isOp(u'.')))
            return text;
    const QString turned = text.mid(b.begin, b.after - b.begin) + QStringLiteral(" LEFT JOIN ") +
                           text.mid(a.begin, a.after - a.begin) + u' ' + on;
    return text.left(a.begin) + turned + text.mid(b.end);
}

// A column's declared type, upper case; empty when the table has no such column.
QString declaredType(const Planner& p, const QString& table, const QString& column) {
    try {
        sqlite::Statement q(p.db,
                            "SELECT upper(type) FROM pragma_table_info(?1) WHERE name = ?2 "
                            "COLLATE NOCASE");
        q.bind(1, table);
        q.bind(2, column);
        return q.step() ? q.text(0) : QString();
    } catch (const sqlite::Error&) {
        return {};
    }
}

// `text` with each `[NOT] EXISTS (SELECT ... FROM t [alias] WHERE alias.c = outer.d [AND
// conditions on alias alone])` of its WHERE clause (one comparison with the outer query, of
// columns of one type) written as a list of t.c filled once that the outer column is looked
// for in: `+outer.d IN (SELECT +alias.c FROM t alias WHERE conditions)` for EXISTS, and
// `coalesce(..., 0) = 0` for NOT EXISTS, which keeps the rows that meet none, and those whose
// own value or every value met is NULL, as NOT EXISTS does. Unchanged when none is.
QString existsAsLists(const Planner& p, const QString& text) {
    const std::vector<Token> t = sql::tokenize(text);
    const size_t where = sql::findTopLevel(t, 0, t.size(), u"WHERE");
    if (where >= t.size())
        return text;
    std::vector<std::pair<Range, QString>> replaced;
    for (const Range& term : sql::conjuncts(t, where + 1, whereEnd(t, where))) {
        const bool negated = term.size() > 1 && t[term.first].is(u"NOT");
        const size_t i = term.first + (negated ? 1 : 0);
        if (term.last < i + 5 || !t[i].is(u"EXISTS") || !t[i + 1].isOp(u'(') ||
            !t[i + 2].is(u"SELECT") || sql::closing(t, i + 1, term.last) + 1 != term.last)
            continue;
        const size_t close = term.last - 1;
        const size_t from = sql::findTopLevel(t, i + 3, close, u"FROM");
        const size_t inner = sql::findTopLevel(t, i + 3, close, u"WHERE");
        // FROM table [[AS] alias] WHERE x.a = y.b [AND ...])
        if (from >= close || inner >= close || !sql::isName(t[from + 1]))
            continue;
        size_t k = from + 2;
        if (k < inner && t[k].is(u"AS"))
            ++k;
        const QString table = sql::unquoted(t[from + 1]).toLower();
        QString alias = table;
        if (k < inner && sql::isName(t[k]) && !sql::isKeyword(t[k]))
            alias = sql::unquoted(t[k++]).toLower();
        if (k != inner)
            continue;
        // One term compares the two queries' columns; the others read the inner table alone.
        size_t own = 0, other = 0;
        QStringList conditions;
        bool readable = true;
        for (const Range& c : sql::conjuncts(t, inner + 1, close)) {
            const size_t a = c.first;
            const bool compares = c.size() == 7 && sql::isName(t[a]) && t[a + 1].isOp(u'.') &&
                                  t[a + 3].isOp(u'=') && sql::isName(t[a + 4]) &&
                                  t[a + 5].isOp(u'.') && sql::isName(t[a + 6]) &&
                                  (sql::unquoted(t[a]).toLower() == alias) !=
                                      (sql::unquoted(t[a + 4]).toLower() == alias);
            if (compares && own == 0) {
                own = sql::unquoted(t[a]).toLower() == alias ? a : a + 4;
                other = own == a ? a + 4 : a;
            } else if (readsOnly(t, c, alias)) {
                conditions << sql::textOf(text, t, c.first, c.last);
            } else {
                readable = false;
            }
        }
        if (!readable || own == 0)
            continue;
        const QString otherAlias = sql::unquoted(t[other]).toLower();
        const auto outer = std::find_if(p.from.tables.begin(), p.from.tables.end(),
                                        [&](const FromTable& f) { return f.alias == otherAlias; });
        if (outer == p.from.tables.end() || outer->table.isEmpty())
            continue;
        const QString type = declaredType(p, table, sql::unquoted(t[own + 2]));
        if (type.isEmpty() || type != declaredType(p, outer->table, sql::unquoted(t[other + 2])))
            continue;
        const QString list =
            QStringLiteral("%1 IN (SELECT +%2 %3%4)")
                .arg(sql::textOf(text, t, other, other + 3), sql::textOf(text, t, own, own + 3),
                     sql::textOf(text, t, from, inner),
                     conditions.isEmpty()
                         ? QString()
                         : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND ")));
        // The outer table read whole and each row looked up in the list, as NOT EXISTS's
        // coalesce() has it too: not searched by an index for each of the list's values.
        replaced.emplace_back(
            term, negated ? QStringLiteral("coalesce(%1, 0) = 0").arg(list) : u'+' + list);
    }
    QString out = text;
    for (auto r = replaced.rbegin(); r != replaced.rend(); ++r) {
        const int begin = t[r->first.first].begin;
        out.replace(begin, t[r->first.last - 1].end - begin, r->second);
    }
    return out;
}

}  // namespace

QString steerSubqueries(Planner& p) {
    if (statementKind(p.statement.tokens()) != u"SELECT")
        return p.base;
    QString text = rightJoinTurned(p.base);
    if (text != p.base && !p.plan(text))
        text = p.base;
    // NOT EXISTS as a hash anti join when the estimates find it cheaper than probing for each
    // row.
    if (const QString lists = existsAsLists(p, text); lists != text) {
        const double probed = p.cost(text);
        if (p.cost(lists) < probed)
            text = lists;
    }
    QStringList compared;
    const QString filled = listsFilledOnce(p, text, compared);
    if (filled == text)
        return text;
    // Only where SQLite would probe an index for the list, and reads every table as before;
    // not where the list's values, read in order from the index, are the keys a table is
    // searched by.
    const auto before = p.plan(text);
    if (!before || !probesInIndex(*before))
        return text;
    for (const EqpLine& l : *before)
        for (const QString& column : compared)
            if (l.detail.startsWith(u"SEARCH ") &&
                l.detail.contains(column + QStringLiteral("=?"), Qt::CaseInsensitive))
                return text;
    const auto after = p.plan(filled);
    if (!after || probesInIndex(*after))
        return text;
    const FromList from = readFromList(text);
    for (const FromTable& table : from.tables)
        if (lineOf(*before, table.alias) != lineOf(*after, table.alias))
            return text;
    return filled;
}

}  // namespace qv::embedded::steer
