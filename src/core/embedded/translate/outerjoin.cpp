#include "core/embedded/translate/outerjoin.h"

#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QStringList>

#include <algorithm>
#include <set>

namespace qv::embedded {

namespace {

using sql::Range;
using sql::Token;
using sql::TokenKind;

[[noreturn]] void fail(int code, const QString& words) {
    throw oracleError(code, QStringLiteral("ORA-%1: %2").arg(code, 5, 10, QChar(u'0')).arg(words));
}

bool isMark(const std::vector<Token>& t, size_t i, size_t last) {
    return i + 2 < last && t[i].isOp(u'(') && t[i + 1].isOp(u'+') && t[i + 2].isOp(u')');
}

bool opensQuery(const std::vector<Token>& t, size_t i, size_t last) {
    return t[i].isOp(u'(') && i + 1 < last && (t[i + 1].is(u"SELECT") || t[i + 1].is(u"WITH"));
}

bool isSetOperator(const Token& t) {
    return t.is(u"UNION") || t.is(u"INTERSECT") || t.is(u"EXCEPT") || t.is(u"MINUS");
}

QString upperName(const Token& t) {
    return t.kind == TokenKind::Quoted ? sql::unquoted(t) : t.text.toString().toUpper();
}

// Where one query's clauses stand.
struct QueryBlock {
    Range from;   // past FROM to the WHERE
    Range where;  // past WHERE to the clause after it
    size_t fromAt = 0;
};

// A FROM item: its text and the name its columns are qualified by.
struct Item {
    Range r;
    QString ref;
    bool outer = false;
    std::vector<Range> on;   // the conditions joining it, when outer
    std::set<size_t> after;  // the items it is joined to
};

class Rewriter {
  public:
    Rewriter(const QString& sql, const std::vector<Token>& t, size_t end)
        : sql_(sql), t_(t), end_(end) {}

    std::optional<QString> run();

  private:
    std::optional<QueryBlock> blockAt(size_t select, size_t last) const;
    bool marksAtOwnLevel(Range r) const;
    void readItems(Range from);
    void readCondition(Range c, std::vector<Range>& kept);
    size_t itemNamed(const QString& qualifier) const;
    QString conditionText(Range r) const;
    QString rewritten(const QueryBlock& b);

    const QString& sql_;
    const std::vector<Token>& t_;
    size_t end_;
    std::vector<Item> items_;
};

std::optional<QueryBlock> Rewriter::blockAt(size_t select, size_t last) const {
    static const char16_t* const kAfterWhere[] = {
        u"GROUP",  u"HAVING", u"ORDER",  u"CONNECT", u"START", u"UNION",  u"INTERSECT", u"MINUS",
        u"EXCEPT", u"FETCH",  u"OFFSET", u"FOR",     u"LIMIT", u"WINDOW", u"MODEL"};
    QueryBlock b;
    size_t from = 0, where = 0;
    for (size_t i = select + 1; i < last; ++i) {
        if (t_[i].isOp(u'(')) {
            i = sql::closing(t_, i, last);
            continue;
        }
        if (!from && t_[i].is(u"FROM")) {
            from = i;
        } else if (from && !where && t_[i].is(u"WHERE")) {
            where = i;
        } else if (where) {
            for (const char16_t* word : kAfterWhere) {
                if (t_[i].is(word)) {
                    b.where = {where + 1, i};
                    b.from = {from + 1, where};
                    b.fromAt = from;
                    return b;
                }
            }
        } else if (isSetOperator(t_[i])) {
            return std::nullopt;
        }
    }
    if (!where)
        return std::nullopt;
    b.where = {where + 1, last};
    b.from = {from + 1, where};
    b.fromAt = from;
    return b;
}

bool Rewriter::marksAtOwnLevel(Range r) const {
    for (size_t i = r.first; i < r.last; ++i) {
        if (isMark(t_, i, r.last))
            return true;
        if (opensQuery(t_, i, r.last))
            i = sql::closing(t_, i, r.last);
    }
    return false;
}

void Rewriter::readItems(Range from) {
    for (const Range& r : sql::splitTopLevel(t_, from.first, from.last)) {
        if (r.empty())
            fail(903, QStringLiteral("invalid table name"));
        for (size_t i = r.first; i < r.last; ++i) {
            if (t_[i].isOp(u'('))
                i = sql::closing(t_, i, r.last);
            else if (t_[i].is(u"JOIN"))
                fail(25156, QStringLiteral("old style outer join (+) cannot be used with ANSI "
                                           "joins"));
        }
        // The alias, else the table's name (the last name of a qualified one).
        const Token& last = t_[r.last - 1];
        Item item{r, sql::isName(last) ? upperName(last) : QString(), false, {}, {}};
        items_.push_back(item);
    }
}

size_t Rewriter::itemNamed(const QString& qualifier) const {
    for (size_t k = 0; k < items_.size(); ++k) {
        if (items_[k].ref == qualifier)
            return k;
    }
    return items_.size();
}

// One AND term of WHERE: kept there, or with (+) a condition of the outer join it names.
void Rewriter::readCondition(Range c, std::vector<Range>& kept) {
    if (!marksAtOwnLevel(c)) {
        kept.push_back(c);
        return;
    }
    std::set<size_t> marked, others;
    for (size_t i = c.first; i < c.last; ++i) {
        const Token& k = t_[i];
        if (opensQuery(t_, i, c.last))
            fail(1799, QStringLiteral("a column may not be outer-joined to a subquery"));
        if (k.is(u"OR") || k.is(u"IN"))
            fail(1719, QStringLiteral("outer join operator (+) not allowed in operand of OR or "
                                      "IN"));
        if (!sql::isName(k) || sql::isKeyword(k) ||
            (i + 1 < c.last && t_[i + 1].isOp(u'(') && !isMark(t_, i + 1, c.last)))
            continue;
        // [schema.]qualifier.column or column
        size_t j = i;
        while (j + 2 < c.last && t_[j + 1].isOp(u'.') && sql::isName(t_[j + 2]))
            j += 2;
        const bool qualified = j > i;
        const bool mark = isMark(t_, j + 1, c.last);
        size_t item = items_.size();
        if (qualified) {
            item = itemNamed(upperName(t_[j - 2]));
            if (item == items_.size() && mark)
                fail(904, QStringLiteral("\"%1\": invalid identifier").arg(upperName(t_[j - 2])));
        } else if (mark) {
            if (items_.size() != 1)
                throw invalidStatement(
                    QStringLiteral("write a column marked (+) with the name of its table: %1(+)")
                        .arg(k.text.toString()));
            item = 0;
        }
        if (item < items_.size())
            (mark ? marked : others).insert(item);
        i = mark ? j + 3 : j;
    }
    if (marked.empty())
        throw invalidStatement(QStringLiteral("(+) is understood after a column"));
    if (marked.size() > 1)
        fail(1468, QStringLiteral("a predicate may reference only one outer-joined table"));
    const size_t outer = *marked.begin();
    others.erase(outer);
    Item& o = items_[outer];
    o.outer = true;
    o.on.push_back(c);
    o.after.insert(others.begin(), others.end());
}

QString Rewriter::conditionText(Range r) const {
    QStringList pieces;
    size_t copied = r.first;
    for (size_t i = r.first; i < r.last; ++i) {
        if (!isMark(t_, i, r.last))
            continue;
        if (i > copied)
            pieces << sql::textOf(sql_, t_, copied, i);
        copied = i + 3;
        i += 2;
    }
    if (copied < r.last)
        pieces << sql::textOf(sql_, t_, copied, r.last);
    return u'(' + pieces.join(u' ') + u')';
}

QString Rewriter::rewritten(const QueryBlock& b) {
    readItems(b.from);
    std::vector<Range> kept;
    for (const Range& c : sql::conjuncts(t_, b.where.first, b.where.last))
        readCondition(c, kept);
    for (size_t k = 0; k < items_.size(); ++k) {
        for (size_t other : items_[k].after) {
            if (items_[other].after.count(k))
                fail(1416, QStringLiteral("two tables cannot be outer-joined to each other"));
        }
    }
    // The items joined to nothing first, as written; each outer one once all it is joined to
    // stand before it.
    QStringList plain;
    QString joins;
    std::vector<bool> placed(items_.size(), false);
    for (size_t k = 0; k < items_.size(); ++k) {
        if (!items_[k].outer) {
            plain << sql::textOf(sql_, t_, items_[k].r.first, items_[k].r.last);
            placed[k] = true;
        }
    }
    for (bool progress = true; progress;) {
        progress = false;
        for (size_t k = 0; k < items_.size(); ++k) {
            const Item& item = items_[k];
            if (placed[k] || !std::all_of(item.after.begin(), item.after.end(),
                                          [&](size_t other) { return placed[other]; }))
                continue;
            QStringList on;
            for (const Range& c : item.on)
                on << conditionText(c);
            joins += QStringLiteral(" LEFT JOIN %1 ON %2")
                         .arg(sql::textOf(sql_, t_, item.r.first, item.r.last),
                              on.join(QStringLiteral(" AND ")));
            placed[k] = progress = true;
        }
    }
    if (plain.isEmpty() || std::find(placed.begin(), placed.end(), false) != placed.end())
        fail(1416, QStringLiteral("two tables cannot be outer-joined to each other"));
    QString out = QStringLiteral("FROM ") + plain.join(QStringLiteral(", ")) + joins;
    if (!kept.empty()) {
        QStringList where;
        // Kept as written: a (+) inside a subquery there is that subquery's own.
        for (const Range& c : kept)
            where << u'(' + sql::textOf(sql_, t_, c.first, c.last) + u')';
        out += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    }
    return out;
}

std::optional<QString> Rewriter::run() {
    std::vector<size_t> open;  // the '(' around the token read
    for (size_t i = 0; i < end_; ++i) {
        if (isMark(t_, i, end_)) {
            i += 2;
        } else if (t_[i].isOp(u'(')) {
            open.push_back(i);
        } else if (t_[i].isOp(u')')) {
            if (!open.empty())
                open.pop_back();
        } else if (t_[i].is(u"SELECT")) {
            const size_t last = open.empty() ? end_ : sql::closing(t_, open.back(), end_);
            const std::optional<QueryBlock> b = blockAt(i, last);
            if (!b || !marksAtOwnLevel(b->where))
                continue;
            const QString text = rewritten(*b);
            if (b->where.last >= t_.size())
                return sql_.left(t_[b->fromAt].begin) + text;
            return sql_.left(t_[b->fromAt].begin) + text + u' ' + sql_.mid(t_[b->where.last].begin);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<QString> rewriteOuterJoin(const QString& sql, const std::vector<Token>& tokens,
                                        size_t end) {
    return Rewriter(sql, tokens, end).run();
}

}  // namespace qv::embedded
