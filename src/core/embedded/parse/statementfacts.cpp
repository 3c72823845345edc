// What the plan takes from the statement's own text, as the user wrote it: the tables and their
// aliases, the conditions on columns, the columns used, the parts of its queries.
#include "core/embedded/parse/statementfacts.h"

#include "core/embedded/parse/groupingsets.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace qv::embedded {

namespace {

using sql::isName;
using sql::TokenKind;
using sql::unquoted;

bool isValueToken(const Token& t) {
    return t.kind == TokenKind::String || t.kind == TokenKind::Number ||
           t.kind == TokenKind::Param || t.kind == TokenKind::Blob;
}

// A literal at `i`: a number (with its sign), a string, or DATE/TIMESTAMP 'text'; returns the
// position after it and its text without quotes, 0 when there is none.
size_t literalAt(const std::vector<Token>& t, size_t i, size_t end, QString& text) {
    if (i + 1 < end && (t[i].is(u"DATE") || t[i].is(u"TIMESTAMP")) &&
        t[i + 1].kind == TokenKind::String)
        ++i;
    QString sign;
    if (i + 1 < end && (t[i].isOp(u'-') || t[i].isOp(u'+')) && t[i + 1].kind == TokenKind::Number)
        sign = t[i++].text.toString();
    if (i >= end || !isValueToken(t[i]))
        return 0;
    const Token& k = t[i];
    text = k.kind == TokenKind::String ? sql::stringValue(k) : sign + k.text.toString();
    return i + 1;
}

void readConjuncts(const std::vector<Token>& t, size_t first, size_t last, QList<Predicate>& out);

bool expressionColumn(const std::vector<Token>& t, size_t first, size_t last, QString& alias,
                      QString& column);

// The bounds `op value` puts on a column; `flipped` when the value is written first.
void bound(Predicate& p, const QString& value, bool flipped) {
    const bool above = p.op.startsWith(u'>') != flipped;
    if (p.op.startsWith(u'>') || p.op.startsWith(u'<'))
        (above ? p.low : p.high) = value;
}

// column = expression, `column` a qualified column and `expression` one of another table's
// column (a.x = b.y + 1): a join, written into `p`; false when it is not one.
bool expressionJoin(const std::vector<Token>& t, Range column, Range expression, Predicate& p) {
    QString otherAlias, otherColumn;
    if (column.size() != 3 || !isName(t[column.first]) || !t[column.first + 1].isOp(u'.') ||
        !isName(t[column.first + 2]) ||
        !expressionColumn(t, expression.first, expression.last, otherAlias, otherColumn))
        return false;
    p.alias = unquoted(t[column.first]).toLower();
    p.column = unquoted(t[column.first + 2]).toLower();
    if (otherAlias == p.alias)
        return false;
    p.op = u"="_s;
    p.otherAlias = otherAlias;
    p.otherColumn = otherColumn;
    p.expression = true;
    return true;
}

// The column name or alias.name at `at` (before `last`), whatever its word: as columnAt().
size_t nameAt(const std::vector<Token>& t, size_t at, size_t last, QString& alias, QString& column,
              Token* name) {
    if (at >= last || !isName(t[at]))
        return at;
    const bool qualified = at + 2 < last && t[at + 1].isOp(u'.') && isName(t[at + 2]);
    if (qualified)
        alias = unquoted(t[at]).toLower();
    const size_t named = qualified ? at + 2 : at;
    column = unquoted(t[named]).toLower();
    if (name)
        *name = t[named];
    return named + 1;
}

// A column reference at `i` (before `last`): name or alias.name; returns the position after it,
// 0 when there is none.
size_t referenceAt(const std::vector<Token>& t, size_t i, size_t last, QString& alias,
                   QString& column) {
    const size_t after = nameAt(t, i, last, alias, column, nullptr);
    return after == i ? 0 : after;
}

}  // namespace

size_t columnAt(const std::vector<Token>& t, size_t at, size_t last, QString& alias,
                QString& column, Token* name) {
    return at < last && sql::isKeyword(t[at]) ? at : nameAt(t, at, last, alias, column, name);
}

namespace {

// The join `column op other` makes (`op` read from `column`'s end to `k`, `other` [k, last)):
// another column (a.x < b.y), an expression of one (a.x = b.y + 1), or BETWEEN two of another
// table's row; written into `p`, false when it is none.
bool readJoin(const std::vector<Token>& t, Range column, size_t k, size_t last, const QString& op,
              Predicate& p) {
    QString otherAlias, otherColumn;
    if (referenceAt(t, k, last, otherAlias, otherColumn) == last && op != u"LIKE" &&
        op != u"BETWEEN") {
        // Of another comparison than equality, a join that no hash serves.
        p.otherAlias = otherAlias;
        p.otherColumn = otherColumn;
        return true;
    }
    if (op == u"=")
        return expressionJoin(t, column, {k, last}, p);
    const size_t also = sql::findTopLevel(t, k, last, u"AND");
    QString highAlias, highColumn;
    if (op != u"BETWEEN" || also >= last ||
        !expressionColumn(t, k, also, otherAlias, otherColumn) || otherAlias == p.alias ||
        !expressionColumn(t, also + 1, last, highAlias, highColumn) || highAlias != otherAlias)
        return false;
    p.otherAlias = otherAlias;
    p.otherColumn = otherColumn;
    return true;
}

// The one column an expression [first, last) is made of, qualified by its table's alias (b.y + 1,
// nvl(b.y, 0)); false when it names none, several, an unqualified name or a subquery.
bool expressionColumn(const std::vector<Token>& t, size_t first, size_t last, QString& alias,
                      QString& column) {
    alias.clear();
    for (size_t i = first; i < last; ++i) {
        if (t[i].is(u"SELECT"))
            return false;
        if (!isName(t[i]) || sql::isKeyword(t[i]) || (i + 1 < last && t[i + 1].isOp(u'(')))
            continue;
        if (i + 2 >= last || !t[i + 1].isOp(u'.') || !isName(t[i + 2]))
            return false;
        const QString a = unquoted(t[i]).toLower(), c = unquoted(t[i + 2]).toLower();
        if (!alias.isEmpty() && (a != alias || c != column))
            return false;
        alias = a;
        column = c;
        i += 2;
    }
    return !alias.isEmpty();
}

// `a op x OR b op y ...` [first, last), in parentheses or not, as one condition whose branches
// are each one condition on a column, all of the same alias; false when it is not one.
bool readOr(const std::vector<Token>& t, size_t first, size_t last, QList<Predicate>& out) {
    if (first < last && t[first].isOp(u'(') && sql::closing(t, first, last) == last - 1) {
        ++first;
        --last;
    }
    std::vector<Range> parts;
    size_t from = first;
    for (size_t k = first; k < last; ++k) {
        if (t[k].isOp(u'(')) {
            k = sql::closing(t, k, last);
        } else if (t[k].is(u"OR")) {
            parts.push_back({from, k});
            from = k + 1;
        }
    }
    if (parts.empty())
        return false;
    parts.push_back({from, last});
    Predicate p;
    p.op = u"OR"_s;
    for (Range part : parts) {
        // A branch in parentheses: the conditions inside them.
        while (part.last > part.first + 2 && t[part.first].isOp(u'(') &&
               !t[part.first + 1].is(u"SELECT") &&
               sql::closing(t, part.first, part.last) == part.last - 1) {
            ++part.first;
            --part.last;
        }
        QList<Predicate> one;
        readConjuncts(t, part.first, part.last, one);
        if (one.isEmpty() || std::any_of(one.begin(), one.end(), [&](const Predicate& c) {
                return c.isJoin() || c.subquery || c.alias != one.front().alias;
            }))
            return false;
        if (!p.branches.empty() && one.front().alias != p.alias)
            return false;
        if (p.branches.empty()) {
            p.alias = one.front().alias;
            p.column = one.front().column;
        }
        // Several conditions ANDed in one branch are one condition of op "AND".
        Predicate branch = one.front();
        if (one.size() > 1) {
            branch.op = u"AND"_s;
            branch.branches.assign(one.begin(), one.end());
        }
        p.branches.push_back(branch);
    }
    out.append(p);
    return true;
}

// The conditions of one WHERE or ON clause [first, last) that say something of a column.
void readConjuncts(const std::vector<Token>& t, size_t first, size_t last, QList<Predicate>& out) {
    auto reference = [&](size_t i, QString& alias, QString& column) {
        return referenceAt(t, i, last, alias, column);
    };
    auto comparison = [&](size_t i, QString& op) -> size_t {
        if (i >= last)
            return 0;
        const Token& k = t[i];
        if (k.is(u"LIKE") || k.is(u"IN") || k.is(u"BETWEEN")) {
            op = k.text.toString().toUpper();
            return i + 1;
        }
        if (k.kind != TokenKind::Op)
            return 0;
        op = k.text.toString();
        size_t j = i + 1;
        while (j < last && t[j].kind == TokenKind::Op &&
               QStringView(u"<>=!").contains(t[j].text.front()) && op.size() < 2)
            op += t[j++].text.toString();
        return QStringList{u"="_s, u"<"_s, u">"_s, u"<="_s, u">="_s, u"<>"_s, u"!="_s}.contains(op)
                   ? j
                   : 0;
    };
    auto literal = [&](size_t i, size_t end, QString& text) { return literalAt(t, i, end, text); };
    for (auto [start, i] : sql::conjuncts(t, first, last)) {
        Predicate p;
        QString op;
        if (readOr(t, start, i, out))
            continue;
        // "+column", which keeps SQLite from using an index on it, is the column.
        if (start + 1 < i && t[start].isOp(u'+') && isName(t[start + 1]))
            ++start;
        size_t j = reference(start, p.alias, p.column);
        if (j && j < i && t[j].isOp(u'(') && j == start + 1) {
            // f(column, ...) op literal: the column is the function's first argument.
            const size_t close = sql::closing(t, j, i);
            if (close >= i || !reference(j + 1, p.alias, p.column))
                continue;
            p.function = true;
            j = close + 1;
        }
        if (j && j + 1 < i && t[j].is(u"IS") && !p.function) {
            const bool negated = t[j + 1].is(u"NOT");
            if (t[j + (negated ? 2 : 1)].is(u"NULL")) {
                p.op = negated ? u"IS NOT NULL"_s : u"IS NULL"_s;
                out.append(p);
            }
            continue;
        }
        size_t k = j ? comparison(j, op) : 0;
        QString value;
        if (k) {
            p.op = op;
            if (op == u"IN" && k < last && t[k].isOp(u'(')) {
                p.subquery = k + 1 < i && (t[k + 1].is(u"SELECT") || t[k + 1].is(u"WITH"));
                bool literals = !p.subquery;
                for (size_t m = k + 1; m < i && !t[m].isOp(u')') && !p.subquery; ++m) {
                    p.values += t[m].isOp(u',') ? 1 : 0;
                    QString item;
                    if (const size_t after = literal(m, i, item)) {
                        p.list << item;
                        m = after - 1;
                    } else if (!t[m].isOp(u',')) {
                        literals = false;
                    }
                }
                if (!literals || p.list.size() != p.values)
                    p.list.clear();
                p.number = !p.list.isEmpty() && t[k + 1].kind == TokenKind::Number;
                out.append(p);
            } else if (const size_t after = literal(k, i, value)) {
                p.number = t[after - 1].kind == TokenKind::Number;
                if (op == u"BETWEEN") {
                    p.low = value;
                    if (after + 1 < i && t[after].is(u"AND"))
                        literal(after + 1, i, p.high);
                } else {
                    bound(p, value, false);
                    if (op == u"=" || op == u"<>" || op == u"!=" || op == u"LIKE")
                        p.value = value;
                }
                out.append(p);
            } else if (!p.function && readJoin(t, {start, j}, k, i, op, p)) {
                out.append(p);
            }
        } else if (const size_t after = literal(start, i, value)) {
            // value op column
            if (const size_t c = comparison(after, op); c && reference(c, p.alias, p.column)) {
                p.op = op;
                p.number = t[after - 1].kind == TokenKind::Number;
                bound(p, value, true);
                if (op == u"=")
                    p.value = value;
                out.append(p);
            }
        } else if (const std::vector<Range> sides = sql::splitTopLevel(t, start, i, u'=');
                   sides.size() == 2 && !sides[0].empty() &&
                   t[sides[0].last - 1].kind != TokenKind::Op &&
                   expressionJoin(t, sides[1], sides[0], p)) {
            out.append(p);
        }
    }
}

}  // namespace

// alias (lower case) -> table, from "FROM|JOIN|, table [AS] alias" in the statement; a table
// without an alias is its own.
QHash<QString, QString> tableAliases(const std::vector<Token>& t) {
    QHash<QString, QString> aliases;
    // Whether the clause open at each depth of parentheses is a FROM clause, where a comma
    // separates tables (elsewhere it separates columns or values).
    std::vector<bool> inFrom{false};
    for (size_t i = 1; i < t.size(); ++i) {
        const Token& before = t[i - 1];
        if (before.isOp(u'('))
            inFrom.push_back(false);
        else if (before.isOp(u')') && inFrom.size() > 1)
            inFrom.pop_back();
        else if (before.is(u"FROM"))
            inFrom.back() = true;
        else if (sql::isOneOf(before,
                              {u"SELECT", u"WHERE", u"GROUP", u"ORDER", u"HAVING", u"CONNECT",
                               u"START", u"SET", u"VALUES", u"RETURNING", u"FETCH", u"OFFSET",
                               u"UNION", u"MINUS", u"INTERSECT", u"EXCEPT"}))
            inFrom.back() = false;
        // UPDATE t alias and DELETE t alias name the table changed.
        const bool changed = i == 1 && (before.is(u"UPDATE") || before.is(u"DELETE"));
        const bool listed = before.isOp(u',') && inFrom.back();
        if (!isName(t[i]) || !(changed || before.is(u"FROM") || before.is(u"JOIN") || listed))
            continue;
        if (changed && t[i].is(u"FROM"))
            continue;
        size_t j = i;
        if (j + 2 < t.size() && t[j + 1].isOp(u'.') && isName(t[j + 2]))
            j += 2;
        const QString table = unquoted(t[j]);
        ++j;
        if (j < t.size() && t[j].is(u"AS"))
            ++j;
        if (j < t.size() && isName(t[j]) && !sql::isKeyword(t[j]) && !t[j].is(u"SET"))
            aliases.insert(unquoted(t[j]).toLower(), table);
        else
            aliases.insert(table.toLower(), table);
    }
    return aliases;
}

QString statementKind(const std::vector<Token>& t) {
    if (t.empty())
        return QStringLiteral("SELECT");
    const Token& first = t.front();
    if (first.is(u"WITH")) {
        for (const char16_t* verb : {u"INSERT", u"UPDATE", u"DELETE", u"REPLACE"}) {
            if (sql::findTopLevel(t, 1, t.size(), QStringView(verb)) != t.size())
                return QStringView(verb) == u"REPLACE" ? QStringLiteral("INSERT")
                                                       : QString::fromUtf16(verb);
        }
        return QStringLiteral("SELECT");
    }
    // A query in parentheses (the first member of a set operation, say) is a query.
    if (first.is(u"VALUES") || first.isOp(u'('))
        return QStringLiteral("SELECT");
    if (first.is(u"REPLACE"))
        return QStringLiteral("INSERT");
    return first.text.toString().toUpper();
}

std::vector<ConditionClause> conditionClauses(const std::vector<Token>& t) {
    std::vector<ConditionClause> clauses;
    const size_t n = t.size();
    for (size_t i = 0; i < n; ++i) {
        // Subqueries' conditions too: they tell the rows of the tables read inside them.
        const bool having = t[i].is(u"HAVING");
        if (!(t[i].is(u"WHERE") || t[i].is(u"ON") || having))
            continue;
        size_t end = i + 1;
        int d = 0;
        for (; end < n; ++end) {
            const Token& k = t[end];
            if (k.isOp(u'('))
                ++d;
            else if (k.isOp(u')') && --d < 0)
                break;
            if (d == 0 &&
                (k.is(u"GROUP") || k.is(u"ORDER") || k.is(u"JOIN") || k.is(u"INNER") ||
                 k.is(u"LEFT") || k.is(u"RIGHT") || k.is(u"FULL") || k.is(u"CROSS") ||
                 k.is(u"WHERE") || k.is(u"HAVING") || k.is(u"UNION") || k.is(u"MINUS") ||
                 k.is(u"EXCEPT") || k.is(u"INTERSECT") || k.is(u"START") || k.is(u"CONNECT") ||
                 k.is(u"FETCH") || k.is(u"OFFSET") || k.is(u"LIMIT") || k.isOp(u';')))
                break;
        }
        clauses.push_back({{i + 1, end}, having, t[i].is(u"ON")});
    }
    return clauses;
}

namespace {

// The joins JOIN ... USING (columns) makes: each column of the table joined (`otherAlias`) equal
// to the column of the same name of the table before it in the FROM clause.
void readUsingJoins(const std::vector<Token>& t, QList<Predicate>& out) {
    // Per depth of parentheses: the last two tables (aliases) a FROM clause named.
    std::vector<std::pair<QString, QString>> named{{}};
    for (size_t i = 1; i < t.size(); ++i) {
        const Token& before = t[i - 1];
        if (before.isOp(u'('))
            named.emplace_back();
        else if (before.isOp(u')') && named.size() > 1)
            named.pop_back();
        if (t[i].is(u"USING") && i + 1 < t.size() && t[i + 1].isOp(u'(')) {
            const auto& [left, right] = named.back();
            const size_t close = sql::closing(t, i + 1, t.size());
            for (const Range& c : sql::splitTopLevel(t, i + 2, close)) {
                if (left.isEmpty() || right.isEmpty() || c.size() != 1 || !isName(t[c.first]))
                    continue;
                Predicate p;
                p.alias = left;
                p.otherAlias = right;
                p.column = p.otherColumn = unquoted(t[c.first]).toLower();
                p.op = u"="_s;
                p.usingColumn = true;
                p.at = c.first;
                out.append(p);
            }
            continue;
        }
        // FROM | JOIN | , [schema.]table [AS] [alias], or (subquery) alias.
        const bool listed = before.is(u"FROM") || before.is(u"JOIN") ||
                            (before.isOp(u',') && !named.back().second.isEmpty());
        size_t j = i;
        if (listed && isName(t[i]) && !t[i].is(u"SELECT") && !t[i].is(u"LATERAL")) {
            if (j + 2 < t.size() && t[j + 1].isOp(u'.') && isName(t[j + 2]))
                j += 2;
        } else if (listed && t[i].isOp(u'(')) {
            j = sql::closing(t, i, t.size());
        } else {
            continue;
        }
        QString alias = t[i].isOp(u'(') ? QString() : unquoted(t[j]).toLower();
        ++j;
        if (j < t.size() && t[j].is(u"AS"))
            ++j;
        if (j < t.size() && isName(t[j]) && !sql::isKeyword(t[j]))
            alias = unquoted(t[j]).toLower();
        named.back() = {named.back().second, alias};
        // NATURAL [LEFT | RIGHT | FULL] [OUTER | INNER] JOIN: the columns the two tables share,
        // which the plan builder reads from their definitions ("*" until then).
        size_t k = i - 1;
        while (k > 0 && sql::isOneOf(t[k - 1], {u"LEFT", u"RIGHT", u"FULL", u"OUTER", u"INNER"}))
            --k;
        if (before.is(u"JOIN") && k > 0 && t[k - 1].is(u"NATURAL") &&
            !named.back().first.isEmpty()) {
            Predicate p;
            p.alias = named.back().first;
            p.otherAlias = alias;
            p.column = p.otherColumn = u"*"_s;
            p.op = u"="_s;
            p.usingColumn = true;
            p.at = i;
            out.append(p);
        }
    }
}

}  // namespace

QList<Predicate> readPredicates(const std::vector<Token>& t) {
    QList<Predicate> out;
    for (const ConditionClause& c : conditionClauses(t)) {
        if (c.having)
            continue;
        const qsizetype before = out.size();
        readConjuncts(t, c.range.first, c.range.last, out);
        for (qsizetype i = before; i < out.size(); ++i)
            out[i].at = c.range.first;
    }
    readUsingJoins(t, out);
    return out;
}

std::optional<QStringList> namesUsed(const std::vector<Token>& t, const QString& alias) {
    QStringList names;
    for (size_t i = 0; i < t.size(); ++i) {
        const Token& tok = t[i];
        const bool qualified = i >= 2 && t[i - 1].isOp(u'.');
        const bool other = qualified && unquoted(t[i - 2]).compare(alias, Qt::CaseInsensitive) != 0;
        if (tok.isOp(u'*')) {
            // SELECT *, SELECT a, *, alias.*: every column
            const bool star = i > 0 && (t[i - 1].is(u"SELECT") || t[i - 1].isOp(u',') ||
                                        t[i - 1].is(u"DISTINCT"));
            if ((star && !qualified) || (qualified && !other))
                return std::nullopt;
            continue;
        }
        if (!isName(tok) || other)
            continue;
        const QString name = unquoted(tok).toLower();
        if (!names.contains(name))
            names << name;
    }
    return names;
}

Range subqueryText(const std::vector<Token>& t, const QString& name) {
    const size_t n = t.size();
    for (size_t i = 0; i < n; ++i) {
        if (!isName(t[i]) || unquoted(t[i]).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        // name [(columns)] AS ( query )
        size_t j = i + 1;
        if (j < n && t[j].isOp(u'(') && !(j + 1 < n && t[j + 1].is(u"SELECT")))
            j = sql::closing(t, j, n) + 1;
        if (j + 1 < n && t[j].is(u"AS") && t[j + 1].isOp(u'('))
            return {j + 2, sql::closing(t, j + 1, n)};
        // ( query ) [AS] name
        size_t k = i;
        if (k > 0 && t[k - 1].is(u"AS"))
            --k;
        if (k == 0 || !t[k - 1].isOp(u')'))
            continue;
        for (size_t open = k - 1; open-- > 0;) {
            if (t[open].isOp(u'(') && sql::closing(t, open, n) == k - 1)
                return t[open + 1].is(u"SELECT") || t[open + 1].is(u"WITH") ? Range{open + 1, k - 1}
                                                                            : Range{};
        }
    }
    return {};
}

std::vector<Range> compoundParts(const std::vector<Token>& t, Range text) {
    std::vector<Range> parts;
    if (text.empty())
        return parts;
    size_t start = text.first;
    for (size_t i = text.first; i < text.last; ++i) {
        const Token& k = t[i];
        if (k.isOp(u'(')) {
            i = sql::closing(t, i, text.last);
        } else if (sql::isOneOf(k, {u"UNION", u"MINUS", u"EXCEPT", u"INTERSECT"})) {
            parts.push_back({start, i});
            start = i + 1 < text.last && t[i + 1].is(u"ALL") ? i + 2 : i + 1;
        }
    }
    parts.push_back({start, text.last});
    return parts;
}

namespace {

// Whether each key of the ORDER BY at `order` (up to `last`) names an item of the select list
// [select, from): its position, its alias or its expression.
bool orderKeysSelected(const std::vector<Token>& t, size_t select, size_t from, size_t order,
                       size_t last) {
    if (order + 1 >= last || !t[order + 1].is(u"BY"))
        return false;
    size_t end = order + 2;
    for (; end < last; ++end) {
        if (t[end].isOp(u'('))
            end = sql::closing(t, end, last);
        else if (sql::isOneOf(t[end], {u"FETCH", u"OFFSET", u"LIMIT", u"FOR"}) || t[end].isOp(u';'))
            break;
    }
    if (select + 1 < from && (t[select + 1].is(u"DISTINCT") || t[select + 1].is(u"UNIQUE")))
        ++select;
    const std::vector<Range> items = sql::splitTopLevel(t, select + 1, from);
    QStringList keys;
    for (Range item : items) {
        // expression [AS] alias
        if (item.size() >= 2 && isName(t[item.last - 1]) && !sql::isKeyword(t[item.last - 1]) &&
            !t[item.last - 2].isOp(u'.')) {
            keys << unquoted(t[item.last - 1]).toLower();
            item.last -= t[item.last - 2].is(u"AS") ? 2 : 1;
        }
        keys << expressionKey(t, item);
    }
    for (Range key : sql::splitTopLevel(t, order + 2, end)) {
        while (key.size() > 1 &&
               sql::isOneOf(t[key.last - 1], {u"ASC", u"DESC", u"FIRST", u"LAST", u"NULLS"}))
            --key.last;
        if (key.size() == 1 && t[key.first].kind == sql::TokenKind::Number) {
            const int position = t[key.first].text.toInt();
            if (position < 1 || size_t(position) > items.size())
                return false;
        } else if (!keys.contains(expressionKey(t, key)) &&
                   !(key.size() == 1 && keys.contains(unquoted(t[key.first]).toLower()))) {
            return false;
        }
    }
    return true;
}

}  // namespace

QueryShape queryShape(const std::vector<Token>& t, Range text) {
    QueryShape shape;
    if (text.empty())
        return shape;
    const auto [first, n] = text;
    const size_t selectAt = sql::findTopLevel(t, first, n, u"SELECT");
    shape.groupBy = sql::findTopLevel(t, first, n, u"GROUP") != n;
    shape.orderBy = sql::findTopLevel(t, first, n, u"ORDER") != n;
    shape.distinct = selectAt + 1 < n && t[selectAt + 1].is(u"DISTINCT");
    shape.having = sql::findTopLevel(t, first, n, u"HAVING") != n;
    shape.offset = sql::findTopLevel(t, first, n, u"OFFSET") != n;
    shape.limited = shape.offset || sql::findTopLevel(t, first, n, u"FETCH") != n ||
                    sql::findTopLevel(t, first, n, u"LIMIT") != n ||
                    sql::findTopLevel(t, first, n, u"ROWNUM") != n;
    if (selectAt < n) {
        const size_t from = sql::findTopLevel(t, selectAt, n, u"FROM");
        const size_t order = sql::findTopLevel(t, from, n, u"ORDER");
        shape.orderBySelected = order < n && orderKeysSelected(t, selectAt, from, order, n);
        for (size_t i = selectAt; i + 1 < from && !shape.aggregate; ++i) {
            // A subquery's aggregate is its own.
            if (t[i].isOp(u'(') && t[i + 1].is(u"SELECT")) {
                i = sql::closing(t, i, from);
                continue;
            }
            shape.aggregate =
                sql::isOneOf(t[i], {u"COUNT", u"SUM", u"AVG", u"MIN", u"MAX", u"MEDIAN", u"STDDEV",
                                    u"VARIANCE", u"STDDEV_SAMP", u"STDDEV_POP", u"VAR_SAMP",
                                    u"VAR_POP", u"PERCENTILE_CONT", u"PERCENTILE_DISC"}) &&
                t[i + 1].isOp(u'(');
            // An analytic function (name (...) [KEEP | WITHIN GROUP (...)] OVER (...)) keeps
            // every row.
            size_t close = shape.aggregate ? sql::closing(t, i + 1, from) : from;
            if (close + 2 < from && (t[close + 1].is(u"KEEP") || t[close + 1].is(u"WITHIN"))) {
                const size_t open = t[close + 1].is(u"KEEP") ? close + 2 : close + 3;
                if (open < from && t[open].isOp(u'('))
                    close = sql::closing(t, open, from);
            }
            if (close + 1 < from && t[close + 1].is(u"OVER"))
                shape.aggregate = false;
        }
    }
    return shape;
}

std::optional<QList<ColumnRef>> columnsAfter(const std::vector<Token>& t, QStringView keyword,
                                             Range text) {
    const size_t n = text.last;
    size_t at = sql::findTopLevel(t, text.first, n, keyword);
    if (at == n)
        return std::nullopt;
    size_t end = at + (keyword == u"GROUP" ? 2 : 1);  // past GROUP BY, or past DISTINCT
    QList<ColumnRef> refs;
    for (;;) {
        ColumnRef ref;
        if (end >= n || !isName(t[end]))
            return std::nullopt;
        ref.column = unquoted(t[end++]).toLower();
        if (end + 1 < n && t[end].isOp(u'.') && isName(t[end + 1])) {
            ref.alias = ref.column;
            ref.column = unquoted(t[end + 1]).toLower();
            end += 2;
        }
        refs << ref;
        if (end < n && t[end].isOp(u','))
            ++end;
        else
            break;
    }
    const bool plain = end == n || t[end].is(u"FROM") || t[end].is(u"ORDER") ||
                       t[end].is(u"HAVING") || t[end].isOp(u';');
    if (!plain)
        return std::nullopt;
    return refs;
}

std::optional<ColumnRef> singleColumnAfter(const std::vector<Token>& t, QStringView keyword,
                                           Range text) {
    const std::optional<QList<ColumnRef>> refs = columnsAfter(t, keyword, text);
    if (!refs || refs->size() != 1)
        return std::nullopt;
    return refs->front();
}

QString firstTable(const std::vector<Token>& t, Range text) {
    const size_t from = sql::findTopLevel(t, text.first, text.last, u"FROM");
    return from + 1 < text.last && isName(t[from + 1]) ? unquoted(t[from + 1]) : QString();
}

QString changedTable(const std::vector<Token>& t, const QString& kind) {
    const size_t n = t.size();
    // Oracle's DELETE may leave out FROM.
    if (kind == u"DELETE" && n > 1 && t[0].is(u"DELETE") && !t[1].is(u"FROM"))
        return isName(t[1]) ? unquoted(t[1]) : QString();
    const size_t at = sql::findTopLevel(t, 0, n,
                                        kind == u"UPDATE"   ? u"UPDATE"
                                        : kind == u"DELETE" ? u"FROM"
                                                            : u"INTO");
    return at + 1 < n && isName(t[at + 1]) ? unquoted(t[at + 1]) : QString();
}

}  // namespace qv::embedded
