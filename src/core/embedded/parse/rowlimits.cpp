// Row limits and analytic functions of a query, read from its text for the plan builder (see
// statementfacts.h).
#include "core/embedded/parse/statementfacts.h"

#include <cmath>

namespace qv::embedded {

namespace {

using sql::isName;
using sql::TokenKind;
using sql::unquoted;

// Where the WHERE clause starting at `from` ends.
size_t whereEnd(const std::vector<Token>& t, size_t from, size_t last) {
    for (size_t i = from; i < last; ++i) {
        if (t[i].isOp(u'('))
            i = sql::closing(t, i, last);
        else if (sql::isOneOf(t[i], {u"GROUP", u"ORDER", u"HAVING", u"OFFSET", u"FETCH", u"CONNECT",
                                     u"START", u"UNION", u"MINUS", u"EXCEPT", u"INTERSECT",
                                     u"WINDOW", u"LIMIT"}))
            return i;
    }
    return last;
}

// A literal or a bind variable as Oracle prints it; empty for anything else.
QString valueText(const std::vector<Token>& t, Range r) {
    if (r.size() != 1)
        return {};
    const Token& k = t[r.first];
    if (k.kind == TokenKind::Number)
        return k.text.toString();
    if (k.kind == TokenKind::Param)
        return k.text.toString().toUpper();
    return {};
}

// `name op value` or `value op name` with `name` a plain name: the name, the comparison as
// seen from it and the value.
struct Comparison {
    QString name;
    QString op;
    QString value;
    QString qualifier;  // of alias.name, as written
};
std::optional<Comparison> comparison(const std::vector<Token>& t, Range term) {
    // alias.name op value
    if (term.size() == 5 && isName(t[term.first]) && t[term.first + 1].isOp(u'.')) {
        std::optional<Comparison> c = comparison(t, {term.first + 2, term.last});
        if (c)
            c->qualifier = unquoted(t[term.first]);
        return c;
    }
    if (term.size() != 3 || t[term.first + 1].kind != TokenKind::Op)
        return std::nullopt;
    const QString op = t[term.first + 1].text.toString();
    if (isName(t[term.first]) && !valueText(t, {term.first + 2, term.last}).isEmpty())
        return Comparison{unquoted(t[term.first]).toUpper(), op,
                          valueText(t, {term.first + 2, term.last}), QString()};
    static const QHash<QString, QString> kMirrored = {{QStringLiteral(">="), QStringLiteral("<=")},
                                                      {QStringLiteral(">"), QStringLiteral("<")},
                                                      {QStringLiteral("="), QStringLiteral("=")}};
    if (isName(t[term.last - 1]) && kMirrored.contains(op) &&
        !valueText(t, {term.first, term.first + 1}).isEmpty())
        return Comparison{unquoted(t[term.last - 1]).toUpper(), kMirrored.value(op),
                          valueText(t, {term.first, term.first + 1}), QString()};
    return std::nullopt;
}

// The rows `name op value` lets through when `value` is a literal; 0 when not known.
double allowed(const Comparison& c) {
    bool literal = false;
    const double n = c.value.toDouble(&literal);
    if (!literal)
        return 0;
    return c.op == u"<=" ? n : c.op == u"<" ? n - 1 : c.op == u"=" && n == 1 ? 1 : 0;
}

// A ROW_NUMBER, RANK or DENSE_RANK of a select list: the function, whether it ranks within
// partitions, and the tokens inside its OVER ( ... ).
struct RankItem {
    QString function;
    bool partitioned = false;
    Range window;
};

// The columns the select list of `view` names a ranking by, upper case.
QHash<QString, RankItem> rankColumns(const std::vector<Token>& t, Range view) {
    QHash<QString, RankItem> columns;
    const size_t select = sql::findTopLevel(t, view.first, view.last, u"SELECT");
    const size_t from = sql::findTopLevel(t, select, view.last, u"FROM");
    for (const Range& item : sql::splitTopLevel(t, select + 1, from)) {
        if (item.size() < 4 ||
            !sql::isOneOf(t[item.first], {u"ROW_NUMBER", u"RANK", u"DENSE_RANK"}))
            continue;
        const size_t over = sql::closing(t, item.first + 1, item.last) + 1;
        if (over + 2 < item.last && t[over].is(u"OVER") && isName(t[item.last - 1])) {
            const size_t close = sql::closing(t, over + 1, item.last);
            columns.insert(unquoted(t[item.last - 1]).toUpper(), {unquoted(t[item.first]).toUpper(),
                                                                  t[over + 2].is(u"PARTITION"),
                                                                  {over + 2, close}});
        }
    }
    return columns;
}

// A list of plain columns (PARTITION BY's or ORDER BY's, [first, last)) as a window prints it:
// quoted, descending ones wrapped; empty for anything else. `descending` tells whether the
// last one is.
QString windowKeys(const std::vector<Token>& t, size_t first, size_t last, bool& descending) {
    QStringList keys;
    descending = false;
    for (const Range& item : sql::splitTopLevel(t, first, last)) {
        size_t i = item.first;
        if (i + 2 < item.last && t[i + 1].isOp(u'.'))
            i += 2;
        if (i >= item.last || !isName(t[i]) || sql::isKeyword(t[i]))
            return {};
        const QString column = u'"' + unquoted(t[i]).toUpper() + u'"';
        descending = i + 1 < item.last && t[i + 1].is(u"DESC");
        if (i + 1 + (descending || (i + 1 < item.last && t[i + 1].is(u"ASC"))) != item.last)
            return {};
        keys << (descending ? QStringLiteral("INTERNAL_FUNCTION(%1) DESC").arg(column) : column);
    }
    return keys.join(u',');
}

// The ranking as Oracle prints it in the filter of the window that stops at its last rank:
// ROW_NUMBER() OVER ( PARTITION BY "D" ORDER BY "X"); empty when it is not of plain columns.
QString rankingText(const std::vector<Token>& t, const RankItem& rank) {
    const auto [first, last] = rank.window;
    const size_t order = sql::findTopLevel(t, first, last, u"ORDER");
    if (order + 1 >= last)
        return {};
    QString text = rank.function + QStringLiteral("() OVER ( ");
    bool descending = false;
    if (rank.partitioned) {
        const QString keys = windowKeys(t, first + 2, order, descending);
        if (keys.isEmpty())
            return {};
        text += QStringLiteral("PARTITION BY ") + keys + u' ';
    }
    const QString keys = windowKeys(t, order + 2, last, descending);
    if (keys.isEmpty())
        return {};
    return text + QStringLiteral("ORDER BY ") + keys +
           (descending ? QStringLiteral(" )") : QStringLiteral(")"));
}

// Whether the rows of `view` come out in the order its one ranking numbers them and nothing
// after the numbering drops, adds or moves a row: its first `n` rows are then those ranked 1 to
// n by ROW_NUMBER.
bool numbersInOrder(const std::vector<Token>& t, Range view, const RankItem& rank) {
    if (rank.function != u"ROW_NUMBER" || rank.partitioned ||
        analyticFunctions(t, view).size() != 1 || compoundParts(t, view).size() != 1 ||
        t[view.first].is(u"WITH"))
        return false;
    const size_t select = sql::findTopLevel(t, view.first, view.last, u"SELECT");
    if (select + 1 < view.last && sql::isOneOf(t[select + 1], {u"DISTINCT", u"UNIQUE"}))
        return false;
    for (const char16_t* word : {u"ORDER", u"FETCH", u"OFFSET", u"LIMIT", u"CONNECT", u"ROWNUM"}) {
        if (sql::findTopLevel(t, select, view.last, word) < view.last)
            return false;
    }
    return true;
}

// The one ORDER BY term of the window of `view`'s RANK or DENSE_RANK when the ranks kept are the
// view's first rows up to the last tie of the last rank: one window without PARTITION BY, over
// one plain column, in a query of one table whose WHERE clause has no subquery, ROWNUM or value
// that changes from one asking to the next, and after which nothing drops, adds or moves a row.
// Empty otherwise.
Range rankOrder(const std::vector<Token>& t, Range view, const RankItem& rank) {
    if (rank.function == u"ROW_NUMBER" || rank.partitioned ||
        analyticFunctions(t, view).size() != 1 || compoundParts(t, view).size() != 1 ||
        t[view.first].is(u"WITH"))
        return {};
    const size_t select = sql::findTopLevel(t, view.first, view.last, u"SELECT");
    if (select + 1 < view.last && sql::isOneOf(t[select + 1], {u"DISTINCT", u"UNIQUE"}))
        return {};
    for (const char16_t* word : {u"ORDER", u"FETCH", u"OFFSET", u"LIMIT", u"CONNECT", u"ROWNUM",
                                 u"GROUP", u"HAVING", u"JOIN"}) {
        if (sql::findTopLevel(t, select, view.last, word) < view.last)
            return {};
    }
    const size_t from = sql::findTopLevel(t, select, view.last, u"FROM");
    const size_t where = sql::findTopLevel(t, from, view.last, u"WHERE");
    const size_t names = where - from - 1;
    if (from + 1 >= where || !isName(t[from + 1]) || t[from + 1].is(u"DUAL") || names > 2 ||
        (names == 2 && (!isName(t[from + 2]) || sql::isKeyword(t[from + 2]))))
        return {};
    // Its conditions are asked again for the last key kept: none that counts rows or changes
    // from one asking to the next.
    for (size_t i = where; i < view.last; ++i) {
        if ((t[i].isOp(u'(') && i + 1 < view.last && t[i + 1].is(u"SELECT")) ||
            sql::isOneOf(
                t[i], {u"ROWNUM", u"LEVEL", u"NEXTVAL", u"CURRVAL", u"DBMS_RANDOM", u"SYS_GUID"}))
            return {};
    }
    const auto [first, last] = rank.window;
    const size_t order = sql::findTopLevel(t, first, last, u"ORDER");
    const std::vector<Range> keys = sql::splitTopLevel(t, order + 2, last);
    if (order + 2 >= last || keys.size() != 1)
        return {};
    size_t at = keys.front().first;
    if (at + 2 < last && t[at + 1].isOp(u'.'))
        at += 2;
    if (!isName(t[at]) || sql::isKeyword(t[at]) || sql::isOneOf(t[at], {u"ROWNUM", u"LEVEL"}))
        return {};
    // Then ASC or DESC, NULLS FIRST or LAST, in that order, each maybe left out.
    size_t i = at + 1;
    if (i < last && sql::isOneOf(t[i], {u"ASC", u"DESC"}))
        ++i;
    if (i + 1 < last && t[i].is(u"NULLS") && sql::isOneOf(t[i + 1], {u"FIRST", u"LAST"}))
        i += 2;
    return i == last ? keys.front() : Range{};
}

// The ORDER BY of a query of one table (`first` to `last`, ORDER at `order`) as its row limit's
// window prints it: columns qualified by the table's alias, descending ones wrapped.
QString numbering(const std::vector<Token>& t, size_t first, size_t order, size_t last) {
    const size_t from = sql::findTopLevel(t, first, order, u"FROM");
    if (from + 1 >= order || !isName(t[from + 1]))
        return {};
    size_t at = from + 2;
    if (at < order && t[at].is(u"AS"))
        ++at;
    const bool aliased = at < order && isName(t[at]) && !sql::isKeyword(t[at]);
    const size_t after = aliased ? at + 1 : at;
    if (after < order && !(t[after].is(u"WHERE") || t[after].is(u"ORDER")))
        return {};  // more than one table
    const QString table = unquoted(t[aliased ? at : from + 1]).toUpper();
    QStringList keys;
    bool descending = false;
    const size_t end = std::min(sql::findTopLevel(t, order, last, u"OFFSET"),
                                sql::findTopLevel(t, order, last, u"FETCH"));
    for (const Range& item : sql::splitTopLevel(t, order + 2, end)) {
        size_t i = item.first;
        QString qualifier = table;
        if (i + 2 < item.last && t[i + 1].isOp(u'.')) {
            qualifier = unquoted(t[i]).toUpper();
            i += 2;
        }
        if (i >= item.last || !isName(t[i]) || sql::isKeyword(t[i]))
            return {};
        const QString column =
            u'"' + qualifier + QStringLiteral("\".\"") + unquoted(t[i]).toUpper() + u'"';
        descending = i + 1 < item.last && t[i + 1].is(u"DESC");
        if (i + 1 + (descending || (i + 1 < item.last && t[i + 1].is(u"ASC"))) != item.last)
            return {};
        keys << (descending ? QStringLiteral("INTERNAL_FUNCTION(%1) DESC").arg(column) : column);
    }
    return QStringLiteral("ROW_NUMBER() OVER ( ORDER BY ") + keys.join(u',') +
           (descending ? QStringLiteral(" )") : QStringLiteral(")"));
}

// The alias of the inline view `view` (its query, without the parentheses); empty for none.
QString viewAlias(const std::vector<Token>& t, Range view, size_t last) {
    size_t at = view.last + 1;
    if (at < last && t[at].is(u"AS"))
        ++at;
    return at < last && isName(t[at]) && !sql::isKeyword(t[at]) ? unquoted(t[at]) : QString();
}

// `name BETWEEN low AND high` (name maybe qualified) with literal or bind bounds, as
// `name >= low` and `name <= high`.
std::optional<std::pair<Comparison, Comparison>> between(const std::vector<Token>& t, Range term) {
    size_t at = term.first;
    QString qualifier;
    if (term.size() == 7 && isName(t[at]) && t[at + 1].isOp(u'.')) {
        qualifier = unquoted(t[at]);
        at += 2;
    }
    if (term.last - at != 5 || !isName(t[at]) || !t[at + 1].is(u"BETWEEN") ||
        !t[at + 3].is(u"AND") || valueText(t, {at + 2, at + 3}).isEmpty() ||
        valueText(t, {at + 4, at + 5}).isEmpty())
        return std::nullopt;
    const QString name = unquoted(t[at]).toUpper();
    return std::pair{
        Comparison{name, QStringLiteral(">="), valueText(t, {at + 2, at + 3}), qualifier},
        Comparison{name, QStringLiteral("<="), valueText(t, {at + 4, at + 5}), qualifier}};
}

}  // namespace

bool inNestedQuery(const std::vector<Token>& t, Range text, size_t at) {
    for (size_t i = text.first; i + 1 < text.last && i < at; ++i) {
        if (!t[i].isOp(u'(') || !(t[i + 1].is(u"SELECT") || t[i + 1].is(u"WITH")))
            continue;
        const size_t close = sql::closing(t, i, text.last);
        if (at < close)
            return true;
        i = close;
    }
    return false;
}

Range inlineView(const std::vector<Token>& t, Range text) {
    const size_t from = sql::findTopLevel(t, text.first, text.last, u"FROM");
    if (from + 2 >= text.last || !t[from + 1].isOp(u'(') ||
        !(t[from + 2].is(u"SELECT") || t[from + 2].is(u"WITH")))
        return {};
    return {from + 2, sql::closing(t, from + 1, text.last)};
}

RowLimit rowLimit(const std::vector<Token>& t, Range text) {
    RowLimit limit;
    if (text.empty())
        return limit;
    const auto [first, last] = text;
    const size_t fetch = sql::findTopLevel(t, first, last, u"FETCH");
    const size_t offset = sql::findTopLevel(t, first, last, u"OFFSET");
    if (fetch < last || offset < last) {
        limit.kind = RowLimit::Fetch;
        const size_t order = sql::findTopLevel(t, first, last, u"ORDER");
        limit.ordered = order < last;
        if (limit.ordered)
            limit.numbering = numbering(t, first, order, last);
        auto valueBefore = [&](size_t from) {
            const size_t rows = std::min(sql::findTopLevel(t, from, last, u"ROW"),
                                         sql::findTopLevel(t, from, last, u"ROWS"));
            return valueText(t, {from, rows});
        };
        if (offset < last)
            limit.offset = valueBefore(offset + 1);
        if (fetch + 2 < last) {
            const size_t rows = std::min(sql::findTopLevel(t, fetch, last, u"ROW"),
                                         sql::findTopLevel(t, fetch, last, u"ROWS"));
            limit.percent = rows < last && rows > fetch + 2 && t[rows - 1].is(u"PERCENT");
            limit.ties = rows + 2 < last && t[rows + 1].is(u"WITH") && t[rows + 2].is(u"TIES");
            limit.count =
                limit.percent ? valueText(t, {fetch + 2, rows - 1}) : valueBefore(fetch + 2);
            // Ties kept in the ORDER BY's ranks: as many rows as the ranks tell.
            if (limit.ties && limit.ordered && limit.numbering.startsWith(u"ROW_NUMBER"))
                limit.numbering.replace(0, 10, QStringLiteral("RANK"));
        }
        bool literal = false;
        limit.rows = limit.count.toDouble(&literal) + limit.offset.toDouble();
        if (!literal || limit.percent)
            limit.rows = 0;
        return limit;
    }
    const size_t where = sql::findTopLevel(t, first, last, u"WHERE");
    if (where == last)
        return limit;
    const Range view = inlineView(t, {first, where});
    const QHash<QString, RankItem> ranks =
        view.empty() ? QHash<QString, RankItem>() : rankColumns(t, view);
    for (const Range& term : sql::conjuncts(t, where + 1, whereEnd(t, where + 1, last))) {
        std::optional<Comparison> c = comparison(t, term);
        std::optional<Comparison> low;
        if (const auto range = c ? std::nullopt : between(t, term)) {
            low = range->first;
            c = range->second;
        }
        if (!c || !(c->op == u"<=" || c->op == u"<" || c->op == u"="))
            continue;
        if (c->name == u"ROWNUM" && c->qualifier.isEmpty() && !low) {
            limit.kind = RowLimit::Rownum;
            limit.condition = c->name + c->op + c->value;
            limit.ordered =
                !view.empty() && sql::findTopLevel(t, view.first, view.last, u"ORDER") < view.last;
            limit.rows = allowed(*c);
            return limit;
        }
        if (!ranks.contains(c->name) ||
            (!c->qualifier.isEmpty() &&
             c->qualifier.compare(viewAlias(t, view, last), Qt::CaseInsensitive) != 0))
            continue;
        const RankItem rank = ranks.value(c->name);
        limit.kind = RowLimit::Ranked;
        limit.view = c->qualifier.toLower();
        limit.partitioned = rank.partitioned;
        const QString column =
            c->qualifier.isEmpty()
                ? u'"' + c->name + u'"'
                : QStringLiteral("\"%1\".\"%2\"").arg(c->qualifier.toUpper(), c->name);
        limit.condition = column + c->op + c->value;
        if (low)
            limit.condition.prepend(column + QStringLiteral(">=") + low->value +
                                    QStringLiteral(" AND "));
        // The window keeps the rows ranked up to the last one asked for.
        bool literal = false;
        const double n = c->value.toDouble(&literal);
        const double stop = !literal ? 0 : c->op == u"<" ? std::ceil(n) - 1 : std::floor(n);
        // A bind variable the rank is at most (or equal to) tells the last rank when it runs.
        const size_t bind = literal || c->op == u"<"                    ? size_t(-1)
                            : t[term.last - 1].kind == TokenKind::Param ? term.last - 1
                            : t[term.first].kind == TokenKind::Param    ? term.first
                                                                        : size_t(-1);
        if (stop > 0 || bind != size_t(-1)) {
            limit.numbering = rankingText(t, rank);
            if (!limit.numbering.isEmpty())
                limit.numbering +=
                    QStringLiteral("<=") + (stop > 0 ? QString::number(stop) : c->value);
            limit.stop = stop;
            limit.stopBind = bind;
            limit.ranked = view;
            limit.stopsEarly = numbersInOrder(t, view, rank);
            limit.rankOrder = rankOrder(t, view, rank);
        }
        limit.rows = low ? std::max(0.0, stop - low->value.toDouble() + 1) : allowed(*c);
        // Ranked within partitions, it lets that many rows of each through.
        if (rank.partitioned)
            limit.rows = 0;
        return limit;
    }
    return limit;
}

QString viewFilter(const std::vector<Token>& t, Range text) {
    const size_t where = sql::findTopLevel(t, text.first, text.last, u"WHERE");
    const Range view = inlineView(t, {text.first, where});
    if (view.empty() || where == text.last)
        return {};
    // The view alone in the FROM clause.
    const QString alias = viewAlias(t, view, where);
    if (view.last + 1 + (alias.isEmpty() ? 0 : 1) + (t[view.last + 1].is(u"AS") ? 1 : 0) != where)
        return {};
    QStringList conditions;
    for (const Range& term : sql::conjuncts(t, where + 1, whereEnd(t, where + 1, text.last))) {
        std::vector<Comparison> parts;
        if (const auto range = between(t, term)) {
            parts = {range->first, range->second};
        } else if (const auto c = comparison(t, term)) {
            parts = {*c};
        } else {
            return {};  // a condition this cannot print: none rather than some
        }
        for (const Comparison& c : parts) {
            if (c.name == u"ROWNUM")
                return {};
            const QString name = u'"' + c.name + u'"';
            conditions << (c.qualifier.isEmpty()
                               ? name
                               : u'"' + c.qualifier.toUpper() + QStringLiteral("\".") + name) +
                              c.op + c.value;
        }
    }
    return conditions.join(QStringLiteral(" AND "));
}

namespace {

// The subqueries "(SELECT ...)" standing in [first, last), outside any of them.
std::vector<Range> subqueriesIn(const std::vector<Token>& t, size_t first, size_t last) {
    std::vector<Range> queries;
    for (size_t i = first; i + 1 < last; ++i) {
        if (t[i].isOp(u'(') && t[i + 1].is(u"SELECT")) {
            const size_t close = sql::closing(t, i, last);
            queries.push_back({i + 1, close});
            i = close;
        }
    }
    return queries;
}

// Those of UPDATE ... SET, which give the new values as a select list gives its columns; none
// when the WHERE clause has subqueries too.
std::vector<Range> setSubqueries(const std::vector<Token>& t, Range text) {
    const size_t set = sql::findTopLevel(t, text.first, text.last, u"SET");
    const size_t where = sql::findTopLevel(t, set, text.last, u"WHERE");
    if (!subqueriesIn(t, where, text.last).empty())
        return {};
    return subqueriesIn(t, set + 1, where);
}

}  // namespace

std::vector<Range> selectListSubqueries(const std::vector<Token>& t, Range text) {
    if (text.empty())
        return {};
    if (t[text.first].is(u"UPDATE"))
        return setSubqueries(t, text);
    const size_t select = sql::findTopLevel(t, text.first, text.last, u"SELECT");
    const size_t from = sql::findTopLevel(t, select, text.last, u"FROM");
    for (size_t i = from; i + 1 < text.last; ++i) {
        const bool view =
            i > 0 && (t[i - 1].is(u"FROM") || t[i - 1].is(u"JOIN") || t[i - 1].isOp(u','));
        if (t[i].isOp(u'(') && t[i + 1].is(u"SELECT") && !view)
            return {};
    }
    const std::vector<Range> queries = subqueriesIn(t, select + 1, from);
    // Those of an inline view SQLite merged into the query.
    const Range view = inlineView(t, text);
    return queries.empty() && !view.empty() ? selectListSubqueries(t, view) : queries;
}

int timesRead(const std::vector<Token>& t, const QString& name) {
    int times = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (!isName(t[i]) || unquoted(t[i]).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const bool defined = i + 1 < t.size() && (t[i + 1].is(u"AS") || t[i + 1].isOp(u'('));
        const bool qualifier =
            (i + 1 < t.size() && t[i + 1].isOp(u'.')) || (i > 0 && t[i - 1].isOp(u'.'));
        if (!defined && !qualifier)
            ++times;
    }
    return times;
}

QStringList analyticFunctions(const std::vector<Token>& t, Range text) {
    QStringList names;
    if (text.empty())
        return names;
    const size_t select = sql::findTopLevel(t, text.first, text.last, u"SELECT");
    const size_t from = sql::findTopLevel(t, select, text.last, u"FROM");
    for (size_t i = select + 1; i + 1 < from; ++i) {
        if (!isName(t[i]) || !t[i + 1].isOp(u'('))
            continue;
        const size_t close = sql::closing(t, i + 1, from);
        if (close + 1 < from && t[close + 1].is(u"OVER"))
            names << unquoted(t[i]).toUpper();
    }
    return names;
}

}  // namespace qv::embedded
