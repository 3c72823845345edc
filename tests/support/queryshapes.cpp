#include "support/querybuilder.h"

#include <QRegularExpression>

#include <algorithm>
#include <numeric>

namespace qv::test {

namespace {

// A whole number, which SQLite reads in GROUP BY as a position in the select list and Oracle as
// the number it is (querygenerator.cpp): 3, -(8).
const QRegularExpression kWholeNumber(QStringLiteral(R"(^[-+( ]*\d+[ )]*$)"));

const TableDef& tableNamed(const QString& name) {
    const auto& all = differentialTables();
    return *std::find_if(all.begin(), all.end(), [&](const TableDef& t) { return t.name == name; });
}

const Value& columnNamed(const Source& s, const QString& name) {
    return *std::find_if(s.columns.begin(), s.columns.end(),
                         [&](const Value& c) { return c.column && c.column->name == name; });
}

// The select list's items, each under its alias c1, c2, ...; the query's columns are the
// aliases, with what is known of each.
SqlNode selectList(const std::vector<Value>& items, std::vector<Value>& columns) {
    std::vector<SqlNode> select;
    for (size_t i = 0; i < items.size(); ++i) {
        const QString alias = QStringLiteral("c%1").arg(i + 1);
        select.push_back(sql("$1 AS " + alias, {items[i].node}));
        Value c = items[i];
        c.node = sql(alias);
        columns.push_back(c);
    }
    return list(", ", std::move(select));
}

}  // namespace

Source QueryBuilder::table(const TableDef& t) {
    const QString alias = QStringLiteral("t%1").arg(++aliases_);
    Source s{sql(t.name + u' ' + alias), &t, {}};
    for (const ColumnDef& c : t.columns)
        s.columns.push_back(
            Value{sql(alias + u'.' + c.name), c.type, c.nullable, true, c.scale, c.key, &c, &t});
    return s;
}

Source QueryBuilder::view(int level) {
    const Query q = r_.percent(50) ? grouped(level, false) : select(level, SelectRole::View);
    const QString alias = QStringLiteral("v%1").arg(++aliases_);
    Source s{sql("($1) " + alias, {q.node}), nullptr, {}};
    for (size_t i = 0; i < q.columns.size(); ++i) {
        Value v = q.columns[i];
        v.node = sql(QStringLiteral("%1.c%2").arg(alias).arg(i + 1));
        s.columns.push_back(v);
    }
    return s;
}

// One to three FROM items: tables along join paths (or a view at the top), joined the ANSI way,
// listed with their conditions in WHERE, or with Oracle's (+) where SQLite has LEFT or RIGHT
// JOIN (RIGHT for the first join only: Oracle's form has no order to show which comes first).
// Conditions that belong to WHERE go to `where`.
SqlNode QueryBuilder::from(Scope& s, std::vector<SqlNode>& where, bool views) {
    if (views && r_.percent(15))
        s.sources.push_back(view(s.level + 1));
    else
        s.sources.push_back(table(r_.any(differentialTables())));
    // A subquery runs once per row of the query around it: two tables at most.
    const int count = r_.percent(45) ? 1 : r_.percent(80) || s.level > 0 ? 2 : 3;
    const int style = r_.below(count == 1 ? 1 : 4);  // ANSI, a list, (+) twice as often
    SqlNode out = s.sources.front().item;
    for (int i = 1; i < count; ++i)
        out = join(s, where, std::min(style, 2), std::move(out));
    return out;
}

SqlNode QueryBuilder::join(Scope& s, std::vector<SqlNode>& where, int style, SqlNode sofar) {
    struct Option {
        Value existing;
        const TableDef* table;
        QString column;
    };
    std::vector<Option> options;
    for (const Source& src : s.sources) {
        for (const Value& c : src.columns)  // a view joins a table's key on any of its numbers
            if (!src.table && c.type == ValueType::Number && c.exact)
                for (const TableDef& t : differentialTables())
                    options.push_back({c, &t, t.keyColumn().name});
        for (const JoinPath& p : differentialJoins()) {
            if (p.manyToMany && (s.level > 0 || s.sources.size() > 1))
                continue;
            if (src.table && p.fromTable == src.table->name)
                options.push_back(
                    {columnNamed(src, p.fromColumn), &tableNamed(p.toTable), p.toColumn});
            if (src.table && p.toTable == src.table->name)
                options.push_back(
                    {columnNamed(src, p.toColumn), &tableNamed(p.fromTable), p.fromColumn});
        }
    }
    if (options.empty())
        return sofar;
    const Option o = r_.any(options);
    Source added = table(*o.table);
    const Value joined = columnNamed(added, o.column);
    const bool first = s.sources.size() == 1;
    const int kind = style == 1 ? 0 : style == 2 ? r_.below(2) + first : r_.below(3);
    // The side that an outer join may fill with NULLs: the one marked (+) in Oracle's form.
    Source* outer = kind == 1 ? &added : nullptr;
    if (kind == 2)
        outer = &*std::find_if(s.sources.begin(), s.sources.end(), [&](const Source& src) {
            return std::any_of(src.columns.begin(), src.columns.end(), [&](const Value& c) {
                return c.node.text[0] == o.existing.node.text[0];
            });
        });
    // Either side of the condition first; (+) marks the side an outer join fills with NULLs.
    const bool swapped = r_.percent(50);
    std::vector<SqlNode> on = {sql("$1 = $2", swapped ? std::vector{joined.node, o.existing.node}
                                                      : std::vector{o.existing.node, joined.node})};
    static const QString kMarks[3] = {"$1 = $2", "$1 = $2(+)", "$1(+) = $2"};
    std::vector<SqlNode> marked = {sql(kMarks[kind == 0                ? 0
                                              : (kind == 1) != swapped ? 1
                                                                       : 2],
                                       "", on.front().parts)};
    const Value c =
        outer ? column(Scope{{*outer}}, r_.percent(60) ? ValueType::Number : ValueType::Text, true)
              : Value();
    if (outer && !c.literal && r_.percent(30)) {  // a condition on the outer side's own rows
        static const std::vector<QString> kOperators = {"=", "<>", "<", ">="};
        const QString op = r_.any(kOperators);
        on.push_back(sql("$1 " + op + " $2", {c.node, literal(c.type, &c).node}));
        marked.push_back(sql("$1(+) " + op + " $2", "", on.back().parts));
    }
    for (Source& src : s.sources)
        for (Value& c : src.columns)
            c.nullable = c.nullable || kind == 2;
    for (Value& c : added.columns)
        c.nullable = c.nullable || kind == 1;
    s.sources.push_back(added);
    if (style == 1) {
        where.push_back(on.front());
        return sql("$1, $2", {std::move(sofar), added.item});
    }
    static const char* const kJoins[3][2] = {{" JOIN ", " INNER JOIN "},
                                             {" LEFT JOIN ", " LEFT OUTER JOIN "},
                                             {" RIGHT JOIN ", " RIGHT OUTER JOIN "}};
    const QString ansi = "$1" + QString::fromLatin1(kJoins[kind][r_.below(2)]) + "$2 ON $3";
    if (style == 2) {
        for (SqlNode& m : marked)
            where.push_back(std::move(m));
        return sql("$1, $2", ansi, {std::move(sofar), added.item, list(" AND ", std::move(on))});
    }
    return sql(ansi, {std::move(sofar), added.item, list(" AND ", std::move(on))});
}

// A sort key; one that may be NULL gets NULLS FIRST or LAST in both texts, or in SQLite's text
// only, where it spells out Oracle's default (querygenerator.cpp).
SqlNode QueryBuilder::orderTerm(const Value& v) {
    const bool descending = r_.percent(40);
    QString oracle = descending       ? QStringLiteral("$1 DESC")
                     : r_.percent(20) ? QStringLiteral("$1 ASC")
                                      : QStringLiteral("$1");
    QString sqlite = oracle;
    const int nulls = r_.below(v.nullable ? 3 : 10);
    if (nulls == 0 && v.nullable) {
        sqlite += descending ? QStringLiteral(" NULLS FIRST") : QStringLiteral(" NULLS LAST");
    } else if (nulls <= 2) {
        const QString written =
            nulls == 1 ? QStringLiteral(" NULLS FIRST") : QStringLiteral(" NULLS LAST");
        oracle += written;
        sqlite += written;
    }
    return sql(oracle, sqlite, {v.node});
}

// FETCH FIRST, or OFFSET with or without FETCH.
SqlNode QueryBuilder::rowLimit() {
    const QString n = QString::number(1 + r_.below(8));
    const QString m = QString::number(r_.below(5));
    switch (r_.below(4)) {
        case 0:
            return sql(" FETCH FIRST " + n + " ROWS ONLY", " LIMIT " + n, {});
        case 1:
            return sql(" FETCH NEXT 1 ROW ONLY", " LIMIT 1", {});
        case 2:
            return sql(" OFFSET " + m + " ROWS FETCH NEXT " + n + " ROWS ONLY",
                       " LIMIT " + n + " OFFSET " + m, {});
        default:
            return sql(" OFFSET " + m + " ROWS", " LIMIT -1 OFFSET " + m, {});
    }
}

// Sort keys for a query selecting `items`: some of its exact items, then perhaps `keys`, which
// tell its rows apart. The order is unique (`ordered`) when the keys are all there, or every
// item is.
void QueryBuilder::orderBy(std::vector<SqlNode>& terms, bool& ordered,
                           const std::vector<Value>& items, const std::vector<Value>& keys) {
    std::vector<size_t> order(items.size());
    std::iota(order.begin(), order.end(), size_t(0));
    for (size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[size_t(r_.below(i))]);
    size_t used = 0;
    for (size_t i : order)
        if (items[i].exact && r_.percent(keys.empty() ? 75 : 35)) {
            terms.push_back(orderTerm(items[i]));
            ++used;
        }
    ordered = used == items.size();
    if (!ordered && !keys.empty() && r_.percent(65)) {
        for (const Value& key : keys)
            terms.push_back(orderTerm(key));
        ordered = true;
    }
}

Query QueryBuilder::select(int level, SelectRole role, const std::vector<ValueType>* types) {
    Scope s;
    s.level = level;
    std::vector<SqlNode> where;
    const SqlNode fromClause = from(s, where, role == SelectRole::Top);
    const bool member = role == SelectRole::SetMember;
    const bool distinct = r_.percent(member ? 25 : 12);
    std::vector<Value> items;
    const size_t count = types ? types->size() : size_t(1 + r_.below(4));
    for (size_t i = 0; i < count; ++i) {
        const ValueType type = types            ? (*types)[i]
                               : r_.percent(60) ? ValueType::Number
                                                : ValueType::Text;
        items.push_back(distinct || member ? exact(s, type, true) : scalar(s, type, 0, true));
        items.back().key = items.back().key && s.sources.size() == 1;
    }
    if (!member && !distinct && r_.percent(30))
        items.push_back(analytic(s));
    if (r_.percent(75))
        where.push_back(condition(s, 0, true));
    Query q;
    const SqlNode selected = selectList(items, q.columns);
    std::vector<SqlNode> terms;
    if (role == SelectRole::Top && r_.percent(75))  // no view is sorted (querygenerator.cpp)
        orderBy(terms, q.ordered, q.columns, distinct ? std::vector<Value>() : s.keys());
    const SqlNode head = !distinct        ? sql("SELECT ")
                         : r_.percent(25) ? sql("SELECT UNIQUE ", "SELECT DISTINCT ", {})
                                          : sql("SELECT DISTINCT ");
    q.node = sql("$1$2 FROM $3$4$5$6",
                 {head, selected, fromClause, list(" AND ", std::move(where), " WHERE "),
                  list(", ", std::move(terms), " ORDER BY "),
                  q.ordered && r_.percent(30) ? rowLimit() : sql("")});
    return q;
}

// A condition of HAVING: on aggregates (which need not be selected) and the grouping keys.
SqlNode QueryBuilder::having(const Scope& s, const std::vector<Value>& keys, int depth) {
    if (depth == 0 && r_.percent(25))
        return sql(r_.percent(50) ? "($1 AND $2)" : "($1 OR $2)",
                   {having(s, keys, 1), having(s, keys, 1)});
    if (!keys.empty() && r_.percent(25))
        return comparison(s, r_.any(keys), false, false);
    return comparison(s, aggregate(s, r_.percent(80) ? ValueType::Number : ValueType::Text), false,
                      false);
}

// Grouped by up to two keys (none: one row of aggregates), with HAVING and aggregates; the
// select list names the keys and aggregates in any order.
Query QueryBuilder::grouped(int level, bool top) {
    Scope s;
    s.level = level;
    std::vector<SqlNode> where;
    const SqlNode fromClause = from(s, where, top);
    if (r_.percent(70))
        where.push_back(condition(s, 0, true));
    std::vector<Value> keys;
    for (int i = 0, n = r_.percent(15) ? 0 : 1 + r_.below(2); i < n; ++i) {
        const ValueType type = r_.percent(60) ? ValueType::Number : ValueType::Text;
        Value key = r_.percent(75) ? column(s, type, true) : exact(s, type, false);
        if (!kWholeNumber.match(key.node.print(Dialect::Oracle)).hasMatch())
            keys.push_back(key);
    }
    std::vector<std::pair<Value, bool>> items;  // and whether it is a key
    for (const Value& key : keys)
        items.emplace_back(key, true);
    for (int i = 0, n = 1 + r_.below(3); i < n; ++i)
        items.emplace_back(aggregate(s, r_.percent(80) ? ValueType::Number : ValueType::Text),
                           false);
    for (size_t i = items.size(); i > 1; --i)
        std::swap(items[i - 1], items[size_t(r_.below(i))]);
    std::vector<Value> values;
    for (auto& [v, isKey] : items) {
        v.key = isKey && keys.size() == 1;  // one key alone is unique among the groups
        values.push_back(v);
    }
    std::vector<SqlNode> groupBy;
    for (const Value& key : keys)
        groupBy.push_back(key.node);
    Query q;
    const SqlNode selected = selectList(values, q.columns);
    std::vector<Value> keyColumns;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].second)
            keyColumns.push_back(q.columns[i]);
    std::vector<SqlNode> terms;
    if (top && r_.percent(75))
        orderBy(terms, q.ordered, q.columns, keyColumns);
    q.ordered = q.ordered || keys.empty();
    const SqlNode havingClause = r_.percent(40) ? having(s, keys, 0) : sql("");
    q.node = sql("SELECT $1 FROM $2$3$4$5$6$7",
                 {selected, fromClause, list(" AND ", std::move(where), " WHERE "),
                  list(", ", std::move(groupBy), " GROUP BY "),
                  list("", {havingClause}, " HAVING "), list(", ", std::move(terms), " ORDER BY "),
                  q.ordered && !keys.empty() && r_.percent(25) ? rowLimit() : sql("")});
    return q;
}

// Two or three queries of one shape joined by UNION, UNION ALL, INTERSECT and MINUS, which all
// bind alike in both dialects (left to right), sorted by position.
Query QueryBuilder::compound() {
    Query q = select(0, SelectRole::SetMember);
    std::vector<ValueType> types;
    for (const Value& c : q.columns)
        types.push_back(c.type);
    static const char* const kOperators[4][2] = {{" UNION ", " UNION "},
                                                 {" UNION ALL ", " UNION ALL "},
                                                 {" INTERSECT ", " INTERSECT "},
                                                 {" MINUS ", " EXCEPT "}};
    std::vector<SqlNode> branches = {q.node};
    QString oracle = QStringLiteral("$1"), sqlite = oracle;
    for (int i = 2, n = r_.percent(80) ? 2 : 3; i <= n; ++i) {
        const Query next = select(0, SelectRole::SetMember, &types);
        branches.push_back(next.node);
        const int op = r_.below(4);
        oracle += QStringLiteral("%1$%2").arg(kOperators[op][0]).arg(i);
        sqlite += QStringLiteral("%1$%2").arg(kOperators[op][1]).arg(i);
        for (size_t j = 0; j < types.size(); ++j)
            q.columns[j].nullable = q.columns[j].nullable || next.columns[j].nullable;
    }
    // Oracle's parentheses around the later pair, which SQLite takes as a subquery only; not
    // around UNION ALL (querygenerator.cpp: SQLite's fault with a RIGHT JOIN inside).
    const qsizetype second = oracle.indexOf(QStringLiteral("$2"));
    if (branches.size() == 3 && !oracle.contains(QStringLiteral("UNION ALL $3")) &&
        r_.percent(35)) {
        oracle.insert(second, u'(').append(u')');
        sqlite.insert(sqlite.indexOf(QStringLiteral("$2")), QStringLiteral("SELECT * FROM ("))
            .append(u')');
    }
    SqlNode node = sql(oracle, sqlite, std::move(branches));
    std::vector<Value> positions = q.columns;  // by number, or by the first query's names
    for (size_t j = 0; j < positions.size(); ++j)
        positions[j].node = r_.percent(75) ? sql(QString::number(j + 1)) : q.columns[j].node;
    std::vector<SqlNode> terms;
    if (r_.percent(70))
        orderBy(terms, q.ordered, positions, {});
    q.node = sql("$1$2$3", {std::move(node), list(", ", std::move(terms), " ORDER BY "),
                            q.ordered && r_.percent(25) ? rowLimit() : sql("")});
    return q;
}

// Oracle's top-N idiom: ROWNUM over a sorted view is SQLite's LIMIT. The rows are compared as a
// set: the query around the view does not sort them again.
Query QueryBuilder::topRows() {
    Query q = select(0, SelectRole::Top);
    if (!q.ordered)
        return q;
    std::vector<SqlNode> names;
    for (size_t i = 1; i <= q.columns.size(); ++i)
        names.push_back(sql(QStringLiteral("v.c%1").arg(i)));
    const QString n = QString::number(1 + r_.below(6));
    q.node = sql("SELECT $1 FROM ($2) v WHERE ROWNUM <= " + n, "SELECT $1 FROM ($2) v LIMIT " + n,
                 {list(", ", std::move(names)), q.node});
    q.ordered = false;
    return q;
}

}  // namespace qv::test
