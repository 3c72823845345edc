// Oracle's rules for values that the translation of a query keeps (oraclevalues.h): where NULLs
// sort, a scalar subquery's single row, and what a grouped query may select. See
// translateOracle() in oracledialect.h.
#include "core/embedded/translate/translator.h"

#include <QSet>

#include <algorithm>

namespace qv::embedded {

namespace {

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isJoinWord(const Token& t) {
    return sql::isOneOf(t, {u"JOIN", u"LEFT", u"RIGHT", u"FULL", u"INNER", u"CROSS", u"NATURAL",
                            u"OUTER", u"ON", u"USING"});
}

// Words that stand where a column could but name none: literals and pseudo-columns of a row's own
// (which a grouped query may not select either, but which are not worth a false refusal), the
// parts of the forms CAST, EXTRACT, TRIM and INTERVAL are written with.
bool namesNoColumn(const Token& t) {
    static const QSet<QString> kWords = {QStringLiteral("NULL"),
                                         QStringLiteral("TRUE"),
                                         QStringLiteral("FALSE"),
                                         QStringLiteral("CASE"),
                                         QStringLiteral("DATE"),
                                         QStringLiteral("TIMESTAMP"),
                                         QStringLiteral("INTERVAL"),
                                         QStringLiteral("SYSDATE"),
                                         QStringLiteral("SYSTIMESTAMP"),
                                         QStringLiteral("CURRENT_DATE"),
                                         QStringLiteral("CURRENT_TIMESTAMP"),
                                         QStringLiteral("LOCALTIMESTAMP"),
                                         QStringLiteral("USER"),
                                         QStringLiteral("UID"),
                                         QStringLiteral("ROWNUM"),
                                         QStringLiteral("LEVEL"),
                                         QStringLiteral("ROWID"),
                                         QStringLiteral("PRIOR"),
                                         QStringLiteral("CONNECT_BY_ROOT"),
                                         QStringLiteral("LEADING"),
                                         QStringLiteral("TRAILING"),
                                         QStringLiteral("BOTH"),
                                         QStringLiteral("YEAR"),
                                         QStringLiteral("MONTH"),
                                         QStringLiteral("DAY"),
                                         QStringLiteral("HOUR"),
                                         QStringLiteral("MINUTE"),
                                         QStringLiteral("SECOND"),
                                         QStringLiteral("TO"),
                                         QStringLiteral("NEXTVAL"),
                                         QStringLiteral("CURRVAL"),
                                         QStringLiteral("KEEP"),
                                         QStringLiteral("DENSE_RANK"),
                                         QStringLiteral("FIRST"),
                                         QStringLiteral("LAST"),
                                         QStringLiteral("WITHIN")};
    return t.kind == TokenKind::Word &&
           (sql::isKeyword(t) || kWords.contains(t.text.toString().toUpper()));
}

}  // namespace

// ORDER BY term, ...: each term without NULLS FIRST or NULLS LAST gets Oracle's default, NULLS
// LAST ascending and NULLS FIRST descending, unless it can never be NULL (neverNull()), where
// leaving it as written keeps an index's order usable. Past the list: its end, at a window's
// frame or a row limit.
size_t Translator::orderBy(size_t at, size_t last, const Scope& scope) {
    size_t end = at + 2;
    while (end < last && !sql::isOneOf(t_[end], {u"ROWS", u"RANGE", u"GROUPS", u"LIMIT", u"OFFSET",
                                                 u"FETCH", u"WINDOW"})) {
        if (t_[end].isOp(u'(') || t_[end].is(u"CASE"))
            end = qMin(closing(end, last), last - 1);
        ++end;
    }
    write(t_[at].text);
    writeGap(at, at + 1);
    write(t_[at + 1].text);
    size_t previous = at + 1;
    for (const auto& [first, termEnd] : groups_.splitTopLevel(at + 2, end)) {
        checkStop();
        if (first > at + 2) {
            writeGap(previous, first - 1);
            write(u",");
            previous = first - 1;
        }
        if (first >= termEnd)
            continue;
        writeGap(previous, first);
        render(first, termEnd, scope);
        previous = termEnd - 1;
        size_t value = termEnd;
        if (value - first > 2 && t_[value - 2].is(u"NULLS"))
            continue;
        const bool descending = t_[value - 1].is(u"DESC");
        if (descending || t_[value - 1].is(u"ASC"))
            --value;
        if (value - first > 2 && t_[value - 2].is(u"COLLATE"))
            value -= 2;
        if (!scope.names || !neverNull({first, value}, *scope.names))
            write(descending ? u" NULLS FIRST" : u" NULLS LAST");
    }
    return end;
}

// A plain column of one of the query's tables that the schema says never holds NULL, or ROWID.
bool Translator::neverNull(Range term, const QueryNames& names) const {
    if (!schema_ || (term.size() != 1 && term.size() != 3))
        return false;
    if (term.size() == 3 && !t_[term.first + 1].isOp(u'.'))
        return false;
    const Token& last = t_[term.last - 1];
    if (!sql::isName(last) || (term.size() == 3 && !sql::isName(t_[term.first])))
        return false;
    const QString column = sql::unquoted(last);
    const bool rowid = last.is(u"ROWID");
    const TableRef* found = nullptr;
    if (term.size() == 3) {
        const QString qualifier = sql::unquoted(t_[term.first]);
        for (const TableRef& table : names.tables) {
            if (sameName(table.alias, qualifier) ||
                (table.alias.isEmpty() && sameName(table.table, qualifier)))
                found = &table;
        }
        if (!found || found->table.isEmpty() || found->outer)
            return false;
        return rowid || columnNotNull(found->table, column).value_or(false);
    }
    // A name of the select list may stand for an expression.
    for (const QString& alias : names.aliases) {
        if (sameName(alias, column))
            return false;
    }
    bool never = false;
    for (const TableRef& table : names.tables) {
        if (table.table.isEmpty())
            return false;  // a subquery may have the column too
        const std::optional<bool> has = rowid ? std::optional<bool>(names.tables.size() == 1)
                                              : columnNotNull(table.table, column);
        if (!has)
            continue;
        if (found)
            return false;  // ambiguous: SQLite will say so
        found = &table;
        never = *has && !table.outer;
    }
    return never;
}

const TableFacts* Translator::table(const QString& name) const {
    if (!schema_)
        return nullptr;
    const QString key = name.toUpper();
    auto found = tables_.find(key);
    if (found == tables_.end())
        found = tables_.emplace(key, schema_(name)).first;
    return found->second ? &*found->second : nullptr;
}

std::optional<bool> Translator::columnNotNull(const QString& tableName,
                                              const QString& column) const {
    const TableFacts* facts = table(tableName);
    const ColumnFacts* c = facts ? facts->column(column) : nullptr;
    return c ? std::optional<bool>(c->notNull) : std::nullopt;
}

// The FROM items of `b` and its select list's aliases, as an ORDER BY of its own may name them.
QueryNames Translator::queryNames(const Block& b) const {
    QueryNames names;
    for (const auto& [a, e] : groups_.splitTopLevel(b.items.first, b.items.last)) {
        if (e > a && itemValueEnd(a, e) < e)
            names.aliases.push_back(sql::unquoted(t_[e - 1]));
    }
    const Clause* from = b.find(ClauseKind::From);
    if (!from)
        return names;
    const Clause* where = b.find(ClauseKind::Where);
    bool oldOuterJoin = false;  // a (+) in the WHERE clause: any table may be the outer one
    for (size_t i = where ? where->body : 0; where && i + 2 < where->end; ++i)
        oldOuterJoin =
            oldOuterJoin || (t_[i].isOp(u'(') && t_[i + 1].isOp(u'+') && t_[i + 2].isOp(u')'));
    const size_t end = from->end;
    bool nextOuter = false;
    for (size_t i = from->body; i < end;) {
        TableRef ref;
        ref.outer = nextOuter || oldOuterJoin;
        if (t_[i].isOp(u'(')) {
            i = closing(i, end) + 1;
        } else if (sql::isName(t_[i]) && !sql::isKeyword(t_[i])) {
            ref.table = sql::unquoted(t_[i]);
            while (i + 2 < end && t_[i + 1].isOp(u'.') && sql::isName(t_[i + 2])) {
                i += 2;
                ref.table = sql::unquoted(t_[i]);
            }
            ++i;
            if (i < end && t_[i].isOp(u'('))  // a table function
                ref.table.clear();
        }
        if (i < end && t_[i].is(u"AS"))
            ++i;
        if (i < end && sql::isName(t_[i]) && !sql::isKeyword(t_[i]) && !isJoinWord(t_[i]))
            ref.alias = sql::unquoted(t_[i++]);
        // On to the next item, past ON or USING: after a comma, or after JOIN and the words
        // that say which rows of each side it keeps.
        bool left = false, right = false;
        while (i < end && !t_[i].isOp(u',') && !t_[i].is(u"JOIN")) {
            if (t_[i].isOp(u'(') || t_[i].is(u"CASE"))
                i = closing(i, end);
            left = left || t_[i].is(u"LEFT") || t_[i].is(u"FULL");
            right = right || t_[i].is(u"RIGHT") || t_[i].is(u"FULL");
            if (t_[i].is(u"ON") || t_[i].is(u"USING"))
                left = right = false;
            ++i;
        }
        names.tables.push_back(ref);
        if (right) {
            for (TableRef& before : names.tables)
                before.outer = true;
        }
        nextOuter = left;
        ++i;
    }
    return names;
}

// A parenthesised query at `open` stands for one value: after an operator, a keyword that an
// expression follows, or a comma outside FROM; not after IN, EXISTS, ANY, ALL, FROM, JOIN or
// AS, nor where a table or a list of values is meant.
bool Translator::isScalarPlace(size_t open, const Scope& scope) const {
    if (open == 0)
        return false;
    const Token& before = t_[open - 1];
    if (before.kind == TokenKind::Op)
        return before.isOp(u',') ? !scope.fromItems : !before.isOp(u')');
    return sql::isOneOf(
        before, {u"SELECT", u"WHERE", u"AND", u"OR", u"NOT", u"WHEN", u"THEN", u"ELSE", u"CASE",
                 u"BETWEEN", u"HAVING", u"ON", u"BY", u"DISTINCT", u"PRIOR", u"LIKE"});
}

// A scalar subquery [first, last): Oracle fails it with ORA-01427 when it finds a second row,
// where SQLite would take the first. A query that cannot give two rows (one aggregate row, a
// ROWNUM or FETCH limit of one) is kept as it is; a plain SELECT of one column reads it through
// the aggregate qv_scalar(), which keeps its plan; anything else is read through qv_scalar()
// from a named subquery.
void Translator::scalarQuery(size_t first, size_t last, const Scope& scope) {
    bool compound = !t_[first].is(u"SELECT");
    for (size_t i = first; i < last && !compound; ++i) {
        if (t_[i].isOp(u'('))
            i = closing(i, last);
        else
            compound = i < last && isSetOperator(t_[i]);
    }
    if (!compound) {
        const Block b = scanBlock(first, last);
        const std::vector<Range> items = groups_.splitTopLevel(b.items.first, b.items.last);
        const Range item = items.front();
        const bool star = !item.empty() && t_[item.last - 1].isOp(u'*');
        const bool grouped = b.distinct || b.find(ClauseKind::Group) || b.find(ClauseKind::Having);
        const bool aggregate = hasAggregate(b.items.first, b.items.last) &&
                               !mentions(b.items.first, b.items.last, u"OVER");
        const Clause* fetch = b.find(ClauseKind::Fetch);
        const Clause* where = b.find(ClauseKind::Where);
        const bool fetchOne =
            fetch && !b.find(ClauseKind::Offset) &&
            groups_.findTopLevel(fetch->body, fetch->end, u"PERCENT") == fetch->end &&
            fetch->body + 1 < fetch->end && t_[fetch->body + 1].text == u"1";
        RownumFilter filter;
        if (where && mentions(where->body, where->end, u"ROWNUM"))
            filter = rownumFilter(b, false);
        const bool rownumOne =
            filter.kind == RownumFilter::One ||
            (filter.value.size() == 1 && t_[filter.value.first].kind == TokenKind::Number &&
             t_[filter.value.first].text == (filter.kind == RownumFilter::AtMost ? u"1" : u"2"));
        if ((aggregate && !grouped) || fetchOne || rownumOne)
            return query(first, last, scope);
        // By SQLite's rule, qv_scalar() of a value that names no column of the subquery's own
        // FROM is an aggregate of the query around it: (SELECT e.ename FROM dual) would fold the
        // outer rows into one. Such a value goes through the WITH form below.
        const QueryNames names = queryNames(b);
        auto isOwnColumn = [&](size_t i) {
            const QString name = sql::unquoted(t_[i]);
            const bool qualifier = i + 2 < item.last && t_[i + 1].isOp(u'.');
            return std::any_of(names.tables.begin(), names.tables.end(), [&](const TableRef& r) {
                if (qualifier)
                    return name.compare(r.alias.isEmpty() ? r.table : r.alias,
                                        Qt::CaseInsensitive) == 0;
                const TableFacts* facts = r.table.isEmpty() ? nullptr : table(r.table);
                return facts && facts->column(name);
            });
        };
        bool ownColumn = false;
        for (size_t i = item.first; i < item.last && !ownColumn; ++i)
            ownColumn = sql::isName(t_[i]) && !sql::isKeyword(t_[i]) &&
                        !(i > item.first && t_[i - 1].isOp(u'.')) &&
                        !(i + 1 < item.last && t_[i + 1].isOp(u'(')) && isOwnColumn(i);
        const bool plain =
            items.size() == 1 && !star && !grouped && !aggregate && ownColumn &&
            filter.kind == RownumFilter::None &&
            b.clauses.size() == size_t(b.find(ClauseKind::From) != nullptr) + (where ? 1 : 0);
        if (plain) {
            scalarItem_ = item.first;
            return query(first, last, scope);
        }
    }
    write(u"WITH __qv_one(v) AS (");
    query(first, last, scope);
    write(u") SELECT qv_scalar(v) FROM __qv_one");
}

// ORA-00979 (with GROUP BY) or ORA-00937 (an aggregate without it) for a select item, HAVING
// or ORDER BY term naming a column outside an aggregate that GROUP BY does not name. Meant
// never to refuse what Oracle runs: a name counts as grouped when GROUP BY names it anywhere,
// subqueries and analytic functions are not looked into.
void Translator::checkGrouping(const Block& b) const {
    const Clause* group = b.find(ClauseKind::Group);
    const Clause* having = b.find(ClauseKind::Having);
    const Clause* order = b.find(ClauseKind::Order);
    // Most queries neither group nor aggregate, which one look at their words tells.
    const auto call =
        std::lower_bound(aggregateCalls_.begin(), aggregateCalls_.end(), b.items.first);
    if (!group && (call == aggregateCalls_.end() || *call >= b.last))
        return;
    QSet<QString> grouped;
    for (size_t i = group ? group->body : 0; group && i < group->end; ++i) {
        if (sql::isName(t_[i]))
            grouped.insert(sql::unquoted(t_[i]).toUpper());
    }
    // The ranges to look at, and whether any of them holds an aggregate. ORDER BY may name the
    // select list's aliases, and so may GROUP BY where Oracle takes them (23ai).
    // Most queries neither group nor aggregate: the names are only collected for those that do.
    std::vector<Range> ranges;
    std::vector<size_t> aliasAt;
    for (const auto& [a, e] : groups_.splitTopLevel(b.items.first, b.items.last)) {
        if (e <= a)
            continue;
        const size_t valueEnd = itemValueEnd(a, e);
        if (valueEnd < e)
            aliasAt.push_back(e - 1);
        if (valueEnd == e || !group || !grouped.contains(sql::unquoted(t_[e - 1]).toUpper()))
            ranges.push_back({a, valueEnd});
    }
    if (having)
        ranges.push_back({having->body, having->end});
    if (order)
        ranges.push_back({order->body, order->end});
    auto aggregateAt = [&](size_t i, size_t end) {
        if (i + 1 >= end || !t_[i + 1].isOp(u'('))
            return false;
        const size_t close = closing(i + 1, end);
        const bool ordered = close + 2 < end && t_[close + 1].is(u"WITHIN");
        // OVER follows the call, or its WITHIN GROUP (...) or KEEP (...).
        size_t next = close + 1;
        if (close + 2 < end && t_[close + 1].is(u"KEEP") && t_[close + 2].isOp(u'('))
            next = closing(close + 2, end) + 1;
        if (ordered && close + 3 < end && t_[close + 3].isOp(u'('))
            next = closing(close + 3, end) + 1;
        const bool analytic = next < end && t_[next].is(u"OVER");
        return !analytic && (isAggregate(t_[i]) || ordered);
    };
    bool aggregated = false;
    for (const Range& r : ranges) {
        for (size_t i = r.first; i < r.last && !aggregated; ++i) {
            if (t_[i].isOp(u'(') && startsQuery(i + 1, closing(i, r.last)))
                i = closing(i, r.last);
            else
                aggregated = aggregateAt(i, r.last);
        }
    }
    if (!group && !aggregated)
        return;
    QSet<QString> aliases;
    for (const size_t at : aliasAt)
        aliases.insert(sql::unquoted(t_[at]).toUpper());
    auto refuse = [&] {
        throw group
            ? oracleError(979, QStringLiteral("ORA-00979: not a GROUP BY expression"))
            : oracleError(937, QStringLiteral("ORA-00937: not a single-group group function"));
    };
    for (const Range& r : ranges) {
        const bool ordering = order && r.first == order->body;
        for (size_t i = r.first; i < r.last; ++i) {
            const Token& k = t_[i];
            if (k.isOp(u'(') && startsQuery(i + 1, closing(i, r.last))) {
                i = closing(i, r.last);
            } else if (aggregateAt(i, r.last) ||
                       (sql::isName(k) && i + 1 < r.last && t_[i + 1].isOp(u'(') &&
                        callTailEnd(closing(i + 1, r.last) + 1, r.last) >
                            closing(i + 1, r.last) + 1)) {
                // An aggregate or an analytic function, with what follows its arguments.
                i = callTailEnd(closing(i + 1, r.last) + 1, r.last) - 1;
                if (i + 2 < r.last && t_[i + 1].is(u"KEEP") && t_[i + 2].isOp(u'('))
                    i = closing(i + 2, r.last);
            } else if (k.isOp(u'*') && (i == r.first || t_[i - 1].isOp(u'.')) && i + 1 == r.last) {
                refuse();
            } else if (k.is(u"AS") && i + 1 < r.last) {
                ++i;  // a type in CAST
                if (i + 1 < r.last && t_[i + 1].isOp(u'('))
                    i = closing(i + 1, r.last);
            } else if (sql::isName(k) && !namesNoColumn(k) &&
                       !(i + 1 < r.last && (t_[i + 1].isOp(u'(') || t_[i + 1].isOp(u'.') ||
                                            t_[i + 1].isOp(u"=>") || t_[i + 1].is(u"FROM")))) {
                const QString name = sql::unquoted(k).toUpper();
                if (!grouped.contains(name) && !(ordering && aliases.contains(name)))
                    refuse();
            }
        }
    }
}

}  // namespace qv::embedded
