// PIVOT and UNPIVOT written as the queries they stand for, in place of their FROM item; see
// translateOracle() in oracledialect.h.
//   source PIVOT (f(x) [AS a], ... FOR c | (c, ...) IN (v [AS n], ...)) [alias]
//     (SELECT <the source's other columns>, f(CASE WHEN c = v THEN x END) AS "N_A", ...
//      FROM source GROUP BY <the other columns>) alias
//     a column per value and aggregate, named as Oracle names it: the value's alias (else the
//     value as written), then _ and the aggregate's alias when it has one
//   source UNPIVOT [INCLUDE | EXCLUDE NULLS] (v | (v, ...) FOR n | (n, ...) IN (c [AS 'x'], ...))
//     (SELECT <the other columns>, CASE qv_un.qv_item WHEN 0 THEN 'C' ... END AS "N",
//      CASE qv_un.qv_item WHEN 0 THEN c ... END AS "V" FROM source CROSS JOIN (SELECT value
//      qv_item FROM json_each('[0,...]') qv_u) qv_un [WHERE the values are not all NULL]) alias
//     each row of the source once per column of the IN list, in its order
// The source's columns are read from the schema (a table) or from the select list of the
// subquery; a source whose columns cannot be told is refused.
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/translate/translator.h"

namespace qv::embedded {

namespace {

[[noreturn]] void unknownColumns() {
    refuse(QStringLiteral("PIVOT and UNPIVOT of a source whose columns are not known"));
}

[[noreturn]] void missingKeyword() {
    throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
}

// The name a column is known by: an unquoted name in upper case.
QString columnName(const Token& t) {
    return t.kind == TokenKind::Quoted ? sql::unquoted(t) : t.text.toString().toUpper();
}

}  // namespace

std::vector<QString> Translator::sourceColumns(Range source) const {
    if (t_[source.first].isOp(u'('))
        return queryColumns({source.first + 1, source.last - 1});
    const QString name = sql::unquoted(t_[source.last - 1]);
    if (const TableFacts* facts = table(name)) {
        std::vector<QString> columns;
        for (const ColumnFacts& c : facts->columns)
            columns.push_back(c.name.toUpper());
        return columns;
    }
    // A WITH query of the statement.
    const Range query = subqueryText(t_, name);
    if (query.empty() || source.size() != 1)
        unknownColumns();
    return queryColumns(query);
}

std::vector<QString> Translator::queryColumns(Range query) const {
    const size_t select = groups_.findTopLevel(query.first, query.last, u"SELECT");
    const size_t from = groups_.findTopLevel(select, query.last, u"FROM");
    if (from >= query.last)
        unknownColumns();
    size_t items = select + 1;
    if (t_[items].is(u"DISTINCT") || t_[items].is(u"UNIQUE") || t_[items].is(u"ALL"))
        ++items;
    std::vector<QString> columns;
    for (const auto& [a, b] : groups_.splitTopLevel(items, from)) {
        if (a >= b)
            continue;
        if (t_[b - 1].isOp(u'*')) {
            // * or t.*: the first table of the FROM clause.
            if (from + 1 >= query.last || !sql::isName(t_[from + 1]))
                unknownColumns();
            const std::vector<QString> all = sourceColumns({from + 1, from + 2});
            columns.insert(columns.end(), all.begin(), all.end());
            continue;
        }
        const size_t valueEnd = itemValueEnd(a, b);
        if (valueEnd < b || (sql::isName(t_[b - 1]) && (b - a == 1 || t_[b - 2].isOp(u'.'))))
            columns.push_back(columnName(t_[b - 1]));
        else
            columns.push_back(sql::columnHeading(t_, a, b));
    }
    return columns;
}

// The FROM item before `at` (PIVOT or UNPIVOT): a table or a subquery, and its alias.
Translator::PivotSource Translator::pivotSource(size_t at) const {
    PivotSource s;
    size_t k = at;
    if (k >= 2 && sql::isName(t_[k - 1]) && !sql::isKeyword(t_[k - 1]) &&
        (t_[k - 2].isOp(u')') || (sql::isName(t_[k - 2]) && !sql::isKeyword(t_[k - 2]))))
        s.alias = --k;
    if (k == 0)
        return s;
    if (t_[k - 1].isOp(u')')) {
        size_t open = k - 1;
        for (int depth = 0; open-- > 0;) {
            if (t_[open].isOp(u')'))
                ++depth;
            else if (t_[open].isOp(u'(') && depth-- == 0)
                break;
        }
        if (open < k)  // else unbalanced: no source
            s.range = {open, k};
    } else {
        s.range = {k >= 3 && t_[k - 2].isOp(u'.') ? k - 3 : k - 1, k};
    }
    return s;
}

std::optional<QString> Translator::expandPivot(size_t body) const {
    // PIVOT after a FROM item: a table may be called PIVOT (INSERT INTO pivot (...)).
    size_t at = 1;
    PivotSource source;
    for (; at + 1 < body; ++at) {
        if (!(t_[at].is(u"PIVOT") || t_[at].is(u"UNPIVOT")) ||
            !(t_[at + 1].isOp(u'(') || t_[at + 1].is(u"XML") || t_[at + 1].is(u"INCLUDE") ||
              t_[at + 1].is(u"EXCLUDE")))
            continue;
        source = pivotSource(at);
        const size_t before = source.range.first - 1;
        if (source.range.first > 0 &&
            (t_[before].is(u"FROM") || t_[before].is(u"JOIN") || t_[before].isOp(u',')))
            break;
    }
    if (at + 1 >= body)
        return std::nullopt;
    const bool pivot = t_[at].is(u"PIVOT");
    size_t open = at + 1;
    bool keepNulls = false;
    if (t_[open].is(u"XML"))
        refuse(QStringLiteral("PIVOT XML"));
    if (!pivot && (t_[open].is(u"INCLUDE") || t_[open].is(u"EXCLUDE"))) {
        keepNulls = t_[open].is(u"INCLUDE");
        if (open + 2 >= body || !t_[open + 1].is(u"NULLS"))
            missingKeyword();
        open += 2;
    }
    if (!t_[open].isOp(u'('))
        missingKeyword();
    const size_t close = closing(open, body);
    if (const size_t in = groups_.findTopLevel(open + 1, close, u"IN");
        in + 2 < close && (t_[in + 2].is(u"ANY") || t_[in + 2].is(u"SELECT")))
        refuse(QStringLiteral("PIVOT ... IN (ANY) and IN (subquery), which only PIVOT XML takes"));
    const size_t forAt = groups_.findTopLevel(open + 1, close, u"FOR");
    const size_t inAt = groups_.findTopLevel(forAt, close, u"IN");
    if (close >= body || forAt >= close || inAt + 1 >= close || !t_[inAt + 1].isOp(u'('))
        missingKeyword();
    size_t end = close + 1;  // past the clause and its alias
    QString alias = QStringLiteral("qv_pivot");
    if (end < body && sql::isName(t_[end]) && !sql::isKeyword(t_[end]))
        alias = sql::textOf(sql_, t_, end, end + 1), ++end;
    const QString query = pivot ? pivotQuery(source, open, forAt, inAt, close)
                                : unpivotQuery(source, open, forAt, inAt, close, keepNulls);
    QString out = QStringView(sql_).left(t_[source.range.first].begin).toString();
    out += u'(' + query + QStringLiteral(") ") + alias;
    out += QStringView(sql_).mid(t_[end - 1].end);
    return out;
}

// The names of a FOR list (c or (c, ...)), or the ranges of a value list.
std::vector<Range> Translator::pivotList(size_t first, size_t last) const {
    if (first < last && t_[first].isOp(u'(') && closing(first, last) == last - 1)
        return groups_.splitTopLevel(first + 1, last - 1);
    return {{first, last}};
}

QString Translator::sourceText(const PivotSource& s) const {
    QString text = sql::textOf(sql_, t_, s.range.first, s.range.last);
    if (s.alias != kNone)
        text += u' ' + t_[s.alias].text.toString();
    return text;
}

QString Translator::pivotQuery(const PivotSource& source, size_t open, size_t forAt, size_t inAt,
                               size_t close) const {
    const std::vector<Range> keys = pivotList(forAt + 1, inAt);
    // The columns the aggregates and FOR read; the others group the rows.
    std::set<QString> used;
    auto use = [&](size_t first, size_t last) {
        for (size_t i = first; i < last; ++i) {
            if (sql::isName(t_[i]) && !(i + 1 < last && t_[i + 1].isOp(u'(')))
                used.insert(columnName(t_[i]));
        }
    };
    use(forAt + 1, inAt);
    for (const Range& aggregate : groups_.splitTopLevel(open + 1, forAt)) {
        if (aggregate.size() > 2 && t_[aggregate.first + 1].isOp(u'('))
            use(aggregate.first + 2, closing(aggregate.first + 1, aggregate.last));
    }
    QStringList out;
    for (const QString& c : sourceColumns(source.range)) {
        if (!used.count(c))
            out << sql::quotedName(c);
    }
    const QString grouped = out.join(QStringLiteral(", "));
    for (const Range& value : groups_.splitTopLevel(inAt + 2, closing(inAt + 1, close))) {
        // value [AS] name, or (v, ...) [AS] name
        const size_t valueEnd = itemValueEnd(value.first, value.last);
        const std::vector<Range> values = pivotList(value.first, valueEnd);
        if (values.size() != keys.size())
            throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
        QStringList test, named;
        for (size_t k = 0; k < keys.size(); ++k) {
            test << sql::textOf(sql_, t_, keys[k].first, keys[k].last) + QStringLiteral(" = ") +
                        sql::textOf(sql_, t_, values[k].first, values[k].last);
            named << sql::textOf(sql_, t_, values[k].first, values[k].last);
        }
        const QString name =
            valueEnd < value.last ? columnName(t_[value.last - 1]) : named.join(u'_');
        for (const Range& aggregate : groups_.splitTopLevel(open + 1, forAt)) {
            // f([DISTINCT] x, ...) [...] [AS] alias
            const size_t callEnd = itemValueEnd(aggregate.first, aggregate.last);
            const size_t paren = aggregate.first + 1;
            if (paren >= callEnd || !t_[paren].isOp(u'('))
                throw oracleError(56902, QStringLiteral("ORA-56902: expect aggregate function "
                                                        "inside pivot operation"));
            const size_t argsClose = closing(paren, callEnd);
            Range arg = groups_.splitTopLevel(paren + 1, argsClose).front();
            if (t_[arg.first].is(u"DISTINCT") || t_[arg.first].is(u"ALL"))
                ++arg.first;
            const QString argument = arg.size() == 1 && t_[arg.first].isOp(u'*')
                                         ? QStringLiteral("1")
                                         : sql::textOf(sql_, t_, arg.first, arg.last);
            QString call = sql::textOf(sql_, t_, aggregate.first, arg.first) +
                           QStringLiteral("CASE WHEN ") + test.join(QStringLiteral(" AND ")) +
                           QStringLiteral(" THEN ") + argument + QStringLiteral(" END");
            call += QStringView(sql_).mid(t_[arg.last - 1].end,
                                          t_[callEnd - 1].end - t_[arg.last - 1].end);
            out << call + QStringLiteral(" AS ") +
                       sql::quotedName(callEnd < aggregate.last
                                           ? name + u'_' + columnName(t_[aggregate.last - 1])
                                           : name);
        }
    }
    QString query = QStringLiteral("SELECT ") + out.join(QStringLiteral(", ")) +
                    QStringLiteral(" FROM ") + sourceText(source);
    if (!grouped.isEmpty())
        query += QStringLiteral(" GROUP BY ") + grouped;
    return query;
}

QString Translator::unpivotQuery(const PivotSource& source, size_t open, size_t forAt, size_t inAt,
                                 size_t close, bool keepNulls) const {
    const std::vector<Range> values = pivotList(open + 1, forAt);
    const std::vector<Range> names = pivotList(forAt + 1, inAt);
    const std::vector<Range> items = groups_.splitTopLevel(inAt + 2, closing(inAt + 1, close));
    std::set<QString> used;
    std::vector<std::vector<Range>> columns;   // per item: its columns
    std::vector<std::vector<QString>> labels;  // per item: the name columns' values
    for (const Range& item : items) {
        const size_t as = groups_.findTopLevel(item.first, item.last, u"AS");
        columns.push_back(pivotList(item.first, std::min(as, item.last)));
        if (columns.back().size() != values.size())
            throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
        std::vector<QString> label;
        if (as < item.last) {
            for (const Range& l : pivotList(as + 1, item.last))
                label.push_back(sql::textOf(sql_, t_, l.first, l.last));
        } else {
            // The columns' names, as text.
            QStringList joined;
            for (const Range& c : columns.back())
                joined << columnName(t_[c.last - 1]);
            label.push_back(sql::quotedString(joined.join(u'_')));
        }
        if (label.size() != names.size())
            throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
        labels.push_back(label);
        for (const Range& c : columns.back())
            used.insert(columnName(t_[c.last - 1]));
    }
    QStringList out;
    for (const QString& c : sourceColumns(source.range)) {
        if (!used.count(c))
            out << sql::quotedName(c);
    }
    auto perItem = [&](const std::function<QString(size_t)>& of) {
        QString s = QStringLiteral("CASE qv_un.qv_item");
        for (size_t i = 0; i < items.size(); ++i)
            s += QStringLiteral(" WHEN %1 THEN ").arg(i) + of(i);
        return s + QStringLiteral(" END");
    };
    for (size_t k = 0; k < names.size(); ++k)
        out << perItem([&](size_t i) { return labels[i][k]; }) + QStringLiteral(" AS ") +
                   sql::quotedName(columnName(t_[names[k].last - 1]));
    QStringList present;
    for (size_t k = 0; k < values.size(); ++k) {
        const QString value = perItem([&](size_t i) {
            return sql::textOf(sql_, t_, columns[i][k].first, columns[i][k].last);
        });
        out << value + QStringLiteral(" AS ") + sql::quotedName(columnName(t_[values[k].last - 1]));
        present << u'(' + value + QStringLiteral(") IS NOT NULL");
    }
    QStringList numbers;
    for (size_t i = 0; i < items.size(); ++i)
        numbers << QString::number(i);
    QString query =
        QStringLiteral("SELECT ") + out.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") +
        sourceText(source) +
        QStringLiteral(" CROSS JOIN (SELECT value qv_item FROM json_each('[%1]') qv_u) qv_un")
            .arg(numbers.join(u','));
    if (!keepNulls)
        query += QStringLiteral(" WHERE ") + present.join(QStringLiteral(" OR "));
    return query;
}

}  // namespace qv::embedded
