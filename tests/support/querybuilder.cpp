#include "support/querybuilder.h"

#include <algorithm>
#include <cmath>

namespace qv::test {

namespace {

const QString kNullLiteral = QStringLiteral("NULL");

int scaleOf(const QString& number) {
    const qsizetype point = number.indexOf(u'.');
    return point < 0 ? 0 : int(number.size() - point - 1);
}

Value derived(SqlNode node, const Value& from) {
    Value v = from;
    v.node = std::move(node);
    v.key = false;
    v.literal = false;
    return v;
}

int widerScale(const Value& a, const Value& b) {
    return a.scale < 0 || b.scale < 0 ? -1 : std::max(a.scale, b.scale);
}

bool isInteger(const Value& v) {
    return v.exact && v.scale == 0;
}

// A value the stored column of `v` holds, if it is one of `type` (empty when not, or NULL).
QString stored(Random& r, const Value& v, ValueType type) {
    if (!v.table || !v.column || v.column->type != type)
        return {};
    const QString value = r.any(v.table->rows)[size_t(v.column - v.table->columns.data())];
    return value == kNullLiteral ? QString() : value;
}

const std::vector<QString> kTexts = {"clerk", "Clerk", "north", "web",      "tools",
                                     "Ann",   "zzz",   "Sales", "gadget-3", "R&D"};
const std::vector<QString> kNumbers = {"0",   "1",    "2",   "3",    "5",     "10", "20",
                                       "100", "1500", "1.5", "0.25", "99.99", "-1"};
// Patterns without letters (querygenerator.cpp), each matching some of the rows.
const std::vector<QString> kPatterns = {"%-%", "%-1",  "%3%", "_%", "%&%",
                                        "% %", "%''%", "__",  "%-_"};

}  // namespace

std::vector<Value> Scope::columns(ValueType type) const {
    std::vector<Value> all;
    for (const Source& s : sources)
        for (const Value& c : s.columns)
            if (c.type == type)
                all.push_back(c);
    return all;
}

std::vector<Value> Scope::keys() const {
    std::vector<Value> keys;
    for (const Source& s : sources) {
        const auto key =
            std::find_if(s.columns.begin(), s.columns.end(), [](const Value& c) { return c.key; });
        if (key == s.columns.end())
            return {};
        keys.push_back(*key);
    }
    return keys;
}

Value QueryBuilder::column(const Scope& s, ValueType type, bool exactOnly) {
    std::vector<Value> all = s.columns(type);
    if (exactOnly)
        std::erase_if(all, [](const Value& c) { return !c.exact; });
    return all.empty() ? literal(type, nullptr) : r_.any(all);
}

// A constant of `type`, mostly one that the stored column of `near` holds, so that conditions
// keep some rows and drop others.
Value QueryBuilder::literal(ValueType type, const Value* near) {
    QString text = near && r_.percent(85) ? stored(r_, *near, type) : QString();
    if (!text.isEmpty() && type == ValueType::Number) {
        const int scale = scaleOf(text);
        const int64_t m = std::llround(text.toDouble() * std::pow(10.0, scale));
        const int64_t offset = scale == 0 && r_.percent(25) ? r_.below(3) - 1 : 0;
        text = fixed(m * (1 + r_.below(size_t(near->spread))) + offset, scale);
    }
    if (text.isEmpty())
        text = type == ValueType::Number ? r_.any(kNumbers) : u'\'' + r_.any(kTexts) + u'\'';
    Value v{sql(text), type, false, true, type == ValueType::Number ? scaleOf(text) : 0};
    v.literal = true;
    return v;
}

// A constant halfway between two values `v` can take: one place finer than its decimals, ending
// in 5, near its column's values.
QString QueryBuilder::halfStep(const Value& v) {
    const QString near = stored(r_, v, ValueType::Number);
    const double base =
        near.isEmpty() ? r_.below(100) : near.toDouble() * (1 + r_.below(size_t(v.spread)));
    const int64_t m = std::llround(base * std::pow(10.0, v.scale)) + r_.below(3) - 1;
    return v.scale == 0 ? fixed(m, 0) + QStringLiteral(".5") : fixed(m, v.scale) + u'5';
}

Value QueryBuilder::scalar(const Scope& s, ValueType type, int depth, bool subqueries) {
    const int k = depth >= 2 ? r_.below(55) : r_.below(100);
    if (k < 45)
        return column(s, type);
    if (k < 55) {
        const Value near = column(s, type);
        return literal(type, &near);
    }
    if (subqueries && s.subqueries() && k < 62)
        return scalarSubquery(s, type);
    if (k < 74)
        return choice(s, type, depth);
    if (k < 82)
        return decode(s, type, depth);
    return type == ValueType::Number ? arithmetic(s, depth) : textFunction(s, depth);
}

Value QueryBuilder::exact(const Scope& s, ValueType type, bool subqueries) {
    for (int tries = 0; tries < 3; ++tries) {
        Value v = scalar(s, type, 0, subqueries);
        if (v.exact)
            return v;
    }
    return column(s, type, true);
}

Value QueryBuilder::arithmetic(const Scope& s, int depth) {
    const Value a = scalar(s, ValueType::Number, depth + 1, false);
    // No sums or products of a value with unbounded places (querygenerator.cpp).
    const int k = a.scale < 0 ? 4 + r_.below(2) : r_.below(8);
    if (k < 3 || (k == 6 && !isInteger(a))) {
        Value b = r_.percent(50) ? scalar(s, ValueType::Number, depth + 1, false)
                                 : literal(ValueType::Number, &a);
        if (b.scale < 0)
            b = literal(ValueType::Number, &a);
        Value v = derived(sql(k == 0 ? "$1 - $2" : "$1 + $2", {a.node, b.node}), a);
        v.nullable = a.nullable || b.nullable;
        v.exact = isInteger(a) && isInteger(b);
        v.scale = widerScale(a, b);
        return v;
    }
    if (k == 3) {
        Value b = r_.percent(25) ? scalar(s, ValueType::Number, depth + 1, false)
                                 : literal(ValueType::Number, nullptr);
        if (b.scale < 0)
            b = literal(ValueType::Number, nullptr);
        Value v = derived(sql("$1 * $2", {a.node, b.node}), a);
        v.nullable = a.nullable || b.nullable;
        v.exact = isInteger(a) && isInteger(b);
        v.scale = a.scale < 0 || b.scale < 0 ? -1 : a.scale + b.scale;
        v.spread = 10;
        return v;
    }
    if (k == 4)
        return derived(sql("-($1)", {a.node}), a);  // negating a double is exact
    if (k == 5) {
        // CEIL, FLOOR and SIGN only of exact values: 0.1 + 0.2 - 0.3 is no 0 in binary.
        static const std::vector<QString> kFunctions = {"ABS($1)", "SIGN($1)", "CEIL($1)",
                                                        "FLOOR($1)"};
        const QString f = a.exact ? r_.any(kFunctions) : kFunctions.front();
        Value v = derived(sql(f, {a.node}), a);
        v.scale = f == kFunctions.front() ? a.scale : 0;
        v.column = f == kFunctions[1] ? nullptr : a.column;
        return v;
    }
    if (k == 6) {
        const QString n = QString::number(2 + r_.below(5));
        Value v = derived(sql("MOD($1, " + n + ")", "(($1) % " + n + ")", {a.node}), a);
        v.column = nullptr;
        return v;
    }
    const Value text = scalar(s, ValueType::Text, depth + 1, false);
    Value v{sql("LENGTH($1)", {text.node}), ValueType::Number, text.nullable, true, 0};
    return v;
}

Value QueryBuilder::textFunction(const Scope& s, int depth) {
    const Value a = scalar(s, ValueType::Text, depth + 1, false);
    if (r_.percent(40))
        return derived(sql(r_.percent(50) ? "UPPER($1)" : "LOWER($1)", {a.node}), a);
    // || only between values that are never NULL (querygenerator.cpp).
    auto never = [&](const Value& v) {
        return v.nullable ? sql("NVL($1, $2)", "IFNULL($1, $2)",
                                {v.node, literal(ValueType::Text, nullptr).node})
                          : v.node;
    };
    const Value b = r_.percent(50) ? scalar(s, ValueType::Text, depth + 1, false)
                                   : literal(ValueType::Text, nullptr);
    Value v = derived(sql("$1 || $2", {never(a), never(b)}), a);
    v.nullable = false;
    v.column = nullptr;
    return v;
}

// NVL, COALESCE, GREATEST, LEAST and CASE over two values of one type.
Value QueryBuilder::choice(const Scope& s, ValueType type, int depth) {
    const Value a = scalar(s, type, depth + 1, false);
    const Value b = r_.percent(50) ? scalar(s, type, depth + 1, false) : literal(type, &a);
    Value v = derived({}, a);
    v.exact = a.exact && b.exact;
    v.scale = widerScale(a, b);
    v.nullable = a.nullable && b.nullable;
    switch (r_.below(7)) {
        case 0:
            v.node = sql("NVL($1, $2)", "IFNULL($1, $2)", {a.node, b.node});
            break;
        case 6:
            v.node = sql("NVL2($1, $2, $3)", "CASE WHEN $1 IS NOT NULL THEN $2 ELSE $3 END",
                         {column(s, r_.percent(50) ? ValueType::Number : ValueType::Text).node,
                          a.node, b.node});
            v.nullable = a.nullable || b.nullable;
            break;
        case 1:
            v.node = sql("COALESCE($1, $2)", {a.node, b.node});
            break;
        case 2:
            v.node = r_.percent(50) ? sql("GREATEST($1, $2)", "MAX($1, $2)", {a.node, b.node})
                                    : sql("LEAST($1, $2)", "MIN($1, $2)", {a.node, b.node});
            v.nullable = a.nullable || b.nullable;
            break;
        case 3:
        case 4:
            v.node =
                sql("CASE WHEN $1 THEN $2 ELSE $3 END", {condition(s, 2, false), a.node, b.node});
            v.nullable = a.nullable || b.nullable;
            break;
        default:
            v = derived(sql("CASE WHEN $1 THEN $2 END", {condition(s, 2, false), a.node}), a);
            v.nullable = true;
    }
    return v;
}

// DECODE, which finds NULL as a search value, is SQLite's CASE with IS; CASE x WHEN ... is the
// same in both (and never finds NULL).
Value QueryBuilder::decode(const Scope& s, ValueType type, int depth) {
    // A column, or a value computed once for all its searches (MOD(n, 2) + 1).
    const ValueType keyType = r_.percent(60) ? ValueType::Number : ValueType::Text;
    const Value computed = scalar(s, keyType, depth + 1, false);
    const Value x = computed.exact && r_.percent(40) ? computed : column(s, keyType, true);
    const bool simpleCase = r_.percent(30);
    std::vector<SqlNode> parts = {x.node};
    QString oracle = simpleCase ? QStringLiteral("CASE $1") : QStringLiteral("DECODE($1");
    QString sqlite = simpleCase ? QStringLiteral("CASE $1") : QStringLiteral("CASE");
    Value v{{}, type, false, true, 0};
    for (int i = 0, n = 1 + r_.below(2); i < n; ++i) {
        parts.push_back(r_.percent(25) ? sql(kNullLiteral) : literal(x.type, &x).node);
        const Value result =
            r_.percent(60) ? literal(type, nullptr) : scalar(s, type, depth + 1, false);
        parts.push_back(result.node);
        const QString search = QStringLiteral("$%1").arg(parts.size() - 1);
        const QString then = QStringLiteral("$%1").arg(parts.size());
        oracle += simpleCase ? " WHEN " + search + " THEN " + then : ", " + search + ", " + then;
        sqlite += simpleCase ? " WHEN " + search + " THEN " + then
                             : " WHEN $1 IS " + search + " THEN " + then;
        v.exact = v.exact && result.exact;
        v.scale = widerScale(v, result);
        v.nullable = v.nullable || result.nullable;
    }
    if (r_.percent(60)) {
        const Value otherwise = literal(type, nullptr);
        parts.push_back(otherwise.node);
        const QString last = QStringLiteral("$%1").arg(parts.size());
        oracle += simpleCase ? " ELSE " + last : ", " + last;
        sqlite += " ELSE " + last;
        v.scale = widerScale(v, otherwise);
    } else {
        v.nullable = true;
    }
    oracle += simpleCase ? QStringLiteral(" END") : QStringLiteral(")");
    sqlite += QStringLiteral(" END");
    v.node = sql(oracle, sqlite, std::move(parts));
    return v;
}

Value QueryBuilder::aggregate(const Scope& s, ValueType type) {
    const int k = type == ValueType::Text ? 100 : r_.below(100);
    if (k < 18)
        return Value{sql("COUNT(*)"), ValueType::Number, false, true, 0};
    if (k < 34) {
        const Value a = column(s, r_.percent(50) ? ValueType::Number : ValueType::Text, true);
        const bool distinct = r_.percent(40) && !a.literal;
        return Value{sql(distinct ? "COUNT(DISTINCT $1)" : "COUNT($1)", {a.node}),
                     ValueType::Number, false, true, 0};
    }
    const Value a = scalar(s, type, 1, false);
    Value v = derived({}, a);
    v.nullable = true;  // no rows, or only NULLs
    if (k < 60) {
        v.node = sql("SUM($1)", {a.node});
        v.exact = isInteger(a);
        v.spread = 10;
    } else if (k < 72) {
        v.node = sql("AVG($1)", {a.node});
        v.exact = false;
        v.scale = -1;
    } else {
        v.node = sql(r_.percent(50) ? "MIN($1)" : "MAX($1)", {a.node});
    }
    return v;
}

// ROW_NUMBER over a unique order, RANK and DENSE_RANK over any, and running or partitioned
// SUM, COUNT, MIN and MAX.
Value QueryBuilder::analytic(const Scope& s) {
    const SqlNode partition =
        r_.percent(50)
            ? sql("PARTITION BY $1",
                  {column(s, r_.percent(70) ? ValueType::Number : ValueType::Text, true).node})
            : sql("");
    std::vector<SqlNode> terms;
    const std::vector<Value> keys = s.keys();
    const int k = r_.below(100);
    Value v{{}, ValueType::Number, false, true, 0};
    if (k < 25 && !keys.empty()) {
        for (const Value& key : keys)
            terms.push_back(orderTerm(key));
        v.node = sql("ROW_NUMBER()");
    } else if (k < 50) {
        for (int i = 0, n = 1 + r_.below(2); i < n; ++i)
            terms.push_back(
                orderTerm(column(s, r_.percent(60) ? ValueType::Number : ValueType::Text, true)));
        v.node = sql(r_.percent(50) ? "RANK()" : "DENSE_RANK()");
    } else {
        if (r_.percent(50))
            terms.push_back(orderTerm(column(s, ValueType::Number, true)));
        const Value a = column(s, ValueType::Number);
        v = derived({}, a);
        static const char* const kFunctions[] = {"SUM($1)", "COUNT($1)", "MIN($1)", "MAX($1)"};
        const int f = r_.below(5);
        v.node = f == 4 ? sql("COUNT(*)") : sql(kFunctions[f], {a.node});
        v.nullable = f != 1 && f != 4;
        v.exact = f == 0 ? isInteger(a) : f == 1 || f == 4 || a.exact;
        v.scale = f == 1 || f == 4 ? 0 : a.scale;
        v.spread = f == 0 ? 10 : 1;
        if (f == 1 || f == 4)
            v.column = nullptr;
    }
    v.node = sql("$1 OVER ($2$3)", {v.node, partition, list(", ", terms, " ORDER BY ")});
    return v;
}

// An aggregate of a correlated subquery, or one row looked up by its key: never more than one
// row, as Oracle requires.
Value QueryBuilder::scalarSubquery(const Scope& s, ValueType type) {
    Scope inner;
    inner.outer = &s;
    inner.level = s.level + 1;
    inner.sources.push_back(table(r_.any(differentialTables())));
    std::vector<SqlNode> where;
    Value v;
    if (r_.percent(10)) {  // a value of the row around it, from DUAL
        v = scalar(s, type, 1, false);
        v.node = sql("(SELECT $1 FROM DUAL)", "(SELECT $1)", {v.node});
        return v;
    }
    if (r_.percent(35)) {
        where.push_back(
            sql("$1 = $2", {inner.keys().front().node, column(s, ValueType::Number, true).node}));
        v = column(inner, type);
        v.nullable = true;
    } else {
        v = aggregate(inner, type);
        if (r_.percent(70))
            where.push_back(correlation(inner, s));
        if (r_.percent(40))
            where.push_back(condition(inner, 1, false));
    }
    v.node = sql("(SELECT $1 FROM $2$3)",
                 {v.node, inner.sources.front().item, list(" AND ", std::move(where), " WHERE ")});
    v.key = false;
    return v;
}

SqlNode QueryBuilder::condition(const Scope& s, int depth, bool subqueries) {
    if (depth < 2 && r_.percent(25)) {
        const int k = r_.below(3);
        if (k == 2)
            return sql("NOT ($1)", {condition(s, depth + 1, subqueries)});
        return sql(k == 0 ? "($1 AND $2)" : "($1 OR $2)",
                   {condition(s, depth + 1, subqueries), condition(s, depth + 1, subqueries)});
    }
    if (subqueries && s.subqueries() && r_.percent(20))
        return subqueryCondition(s);
    return predicate(s, subqueries);
}

SqlNode QueryBuilder::predicate(const Scope& s, bool subqueries) {
    const ValueType type = r_.percent(65) ? ValueType::Number : ValueType::Text;
    const Value a = scalar(s, type, 1, subqueries);
    const int k = r_.below(100);
    if (k < 12)
        return sql(r_.percent(50) ? "$1 IS NULL" : "$1 IS NOT NULL", {a.node});
    if (!a.exact)
        return comparison(s, a, subqueries, false);
    const QString no = r_.percent(30) ? QStringLiteral("NOT ") : QString();
    if (k < 22)
        return sql("$1 " + no + "BETWEEN $2 AND $3",
                   {a.node, literal(type, &a).node, literal(type, &a).node});
    if (k < 34) {
        std::vector<SqlNode> values;
        for (int i = 0, n = 1 + r_.below(4); i < n; ++i)
            values.push_back(r_.percent(10) ? sql(kNullLiteral) : literal(type, &a).node);
        return sql("$1 " + no + "IN ($2)", {a.node, list(", ", std::move(values))});
    }
    if (k < 46 && type == ValueType::Text)
        return sql("$1 " + no + "LIKE '" + r_.any(kPatterns) + "'", {a.node});
    return comparison(s, a, subqueries, true);
}

// `a` compared with a constant, another value of the scope (`columns`) or a scalar subquery.
SqlNode QueryBuilder::comparison(const Scope& s, const Value& a, bool subqueries, bool columns) {
    static const std::vector<QString> kRanges = {"<", "<=", ">", ">="};
    if (!a.exact) {
        if (a.scale < 0 || a.scale > 4)
            return sql("$1 IS NOT NULL", {a.node});
        return sql("$1 " + r_.any(kRanges) + " " + halfStep(a), {a.node});
    }
    SqlNode b;
    const int k = r_.below(100);
    if (k < 12 && subqueries && s.subqueries()) {
        const Value q = scalarSubquery(s, a.type);
        if (q.exact)
            b = q.node;
    }
    if (b.text[0].isEmpty())
        b = k < 35 && columns ? column(s, a.type, true).node : literal(a.type, &a).node;
    if (r_.percent(5))  // Oracle's own spelling of "not equal"
        return sql("$1 ^= $2", "$1 <> $2", {a.node, b});
    static const std::vector<QString> kOperators = {"=", "<>", "!=", "<", "<=", ">", ">="};
    return sql("$1 " + r_.any(kOperators) + " $2", {a.node, b});
}

SqlNode QueryBuilder::subqueryCondition(const Scope& s) {
    Scope inner;
    inner.outer = &s;
    inner.level = s.level + 1;
    std::vector<SqlNode> where;
    const SqlNode from = this->from(inner, where, false);
    if (r_.percent(65))
        where.push_back(correlation(inner, s));
    if (r_.percent(50))
        where.push_back(condition(inner, 1, true));
    const SqlNode whereClause = list(" AND ", std::move(where), " WHERE ");
    const int k = r_.below(4);
    // NOT IN only over a column that is never NULL.
    std::vector<Value> selected =
        inner.columns(r_.percent(70) ? ValueType::Number : ValueType::Text);
    std::erase_if(selected, [&](const Value& c) { return !c.exact || (k == 3 && c.nullable); });
    if (k < 2 || selected.empty())
        return sql(k % 2 ? "NOT EXISTS (SELECT 1 FROM $1$2)" : "EXISTS (SELECT 1 FROM $1$2)",
                   {from, whereClause});
    const Value c = r_.any(selected);
    return sql(k == 2 ? "$1 IN (SELECT $2 FROM $3$4)" : "$1 NOT IN (SELECT $2 FROM $3$4)",
               {exact(s, c.type, false).node, c.node, from, whereClause});
}

// A condition tying a subquery to the query around it: along a join path between their tables
// when there is one, else between any two columns of one type.
SqlNode QueryBuilder::correlation(const Scope& inner, const Scope& outer) {
    std::vector<std::pair<Value, Value>> paths;
    auto named = [](const Source& s, const QString& name) {
        return *std::find_if(s.columns.begin(), s.columns.end(),
                             [&](const Value& c) { return c.column && c.column->name == name; });
    };
    for (const Source& in : inner.sources)
        for (const Source& out : outer.sources)
            for (const JoinPath& p : differentialJoins()) {
                if (!in.table || !out.table)
                    continue;
                if (p.fromTable == in.table->name && p.toTable == out.table->name)
                    paths.emplace_back(named(in, p.fromColumn), named(out, p.toColumn));
                if (p.toTable == in.table->name && p.fromTable == out.table->name)
                    paths.emplace_back(named(in, p.toColumn), named(out, p.fromColumn));
            }
    if (!paths.empty() && r_.percent(80)) {
        const auto& [a, b] = r_.any(paths);
        return sql("$1 = $2", {a.node, b.node});
    }
    const ValueType type = r_.percent(70) ? ValueType::Number : ValueType::Text;
    static const std::vector<QString> kOperators = {"=", "=", "<>", "<", ">="};
    return sql("$1 " + r_.any(kOperators) + " $2",
               {column(inner, type, true).node, column(outer, type, true).node});
}

}  // namespace qv::test
