// One SELECT of Oracle's SQL in SQLite's terms: its clauses, DUAL as a row generator, and ROWNUM
// conditions as row limits. See translateOracle() in oracledialect.h.
#include "core/embedded/translator.h"

#include <QStringList>

namespace qv::embedded {

const Translator::Clause* Translator::Block::find(ClauseKind kind) const {
    for (const Clause& c : clauses) {
        if (c.kind == kind)
            return &c;
    }
    return nullptr;
}

Translator::Block Translator::scanBlock(size_t first, size_t last) const {
    Block b;
    b.first = first;
    b.last = last;
    size_t itemsFirst = first + 1;
    if (itemsFirst < last && (t_[itemsFirst].is(u"DISTINCT") || t_[itemsFirst].is(u"UNIQUE") ||
                              t_[itemsFirst].is(u"ALL")))
        b.distinctAt = itemsFirst++;
    b.distinct = b.distinctAt != kNone && !t_[b.distinctAt].is(u"ALL");
    bool limitSeen = false;
    for (size_t i = itemsFirst; i < last; ++i) {
        const Token& k = t_[i];
        if (k.isOp(u'(')) {
            i = sql::closing(t_, i, last);
            continue;
        }
        const bool by = i + 1 < last && t_[i + 1].is(u"BY");
        std::optional<ClauseKind> kind;
        size_t body = i + 1;
        if (k.is(u"FROM")) {
            kind = ClauseKind::From;
        } else if (k.is(u"WHERE")) {
            kind = ClauseKind::Where;
        } else if (k.is(u"GROUP") && by) {
            kind = ClauseKind::Group;
            body = i + 2;
        } else if (k.is(u"HAVING")) {
            kind = ClauseKind::Having;
        } else if (k.is(u"START") && i + 1 < last && t_[i + 1].is(u"WITH")) {
            kind = ClauseKind::Start;
            body = i + 2;
        } else if (k.is(u"CONNECT") && by) {
            kind = ClauseKind::Connect;
            body = i + 2;
        } else if (k.is(u"ORDER") && (by || (i + 1 < last && t_[i + 1].is(u"SIBLINGS")))) {
            kind = ClauseKind::Order;
        } else if (k.is(u"OFFSET") && !limitSeen) {
            kind = ClauseKind::Offset;
        } else if (k.is(u"FETCH")) {
            kind = ClauseKind::Fetch;
        } else if (k.is(u"LIMIT")) {
            kind = ClauseKind::Limit;
            limitSeen = true;
        } else if (k.is(u"WINDOW")) {
            kind = ClauseKind::Window;
        }
        if (!kind)
            continue;
        if (!b.clauses.empty())
            b.clauses.back().end = i;
        b.clauses.push_back({*kind, i, body, last});
        i = body - 1;
    }
    b.items = {itemsFirst, b.clauses.empty() ? last : b.clauses.front().at};
    return b;
}

QString Translator::block(size_t first, size_t last, bool member, const Scope& outer) {
    const Block b = scanBlock(first, last);
    const Clause* from = b.find(ClauseKind::From);
    const bool hierarchical = b.find(ClauseKind::Connect) != nullptr;
    const bool dual = from && isDualClause(from->body, from->end);

    QString out = t_[first].text.toString();
    size_t prev = first;
    auto append = [&](size_t at, const QString& text, size_t lastToken) {
        out += gap(prev, at) + text;
        prev = lastToken;
    };
    if (b.distinctAt != kNone) {
        const Token& word = t_[b.distinctAt];
        append(b.distinctAt, word.is(u"UNIQUE") ? QStringLiteral("DISTINCT") : word.text.toString(),
               b.distinctAt);
    }
    if (hierarchical && dual)
        return dualRows(b, out + gap(prev, b.items.first));
    const RownumFilter filter = rownumFilter(b, member, outer);
    bool stars = false;
    for (const auto& [a, e] : sql::splitTopLevel(t_, b.items.first, b.items.last))
        stars = stars || (e > a && t_[e - 1].isOp(u'*') && (e - a == 1 || t_[e - 2].isOp(u'.')));
    const bool dropFrom = dual && !filter.wrap && !stars && !mentions(first, last, u"DUMMY");

    // ROWNUM numbers the rows as they come, for the select list and for sorting; not in a
    // hierarchical query, whose rows get their order only from the rewrite.
    const Scope numbered{hierarchical ? QString() : kRowNumber, outer.level};
    const Scope plain{{}, outer.level};
    if (!b.items.empty())
        append(b.items.first, selectList(b.items, numbered), b.items.last - 1);
    for (const Clause& c : b.clauses) {
        if (c.kind == ClauseKind::From) {
            if (dropFrom)
                continue;
            markDuals(c.body, c.end);
            append(c.at, filter.wrap ? numberedRows(c, filter, outer) : render(c.at, c.end, plain),
                   c.end - 1);
        } else if (c.kind == ClauseKind::Where && !filter.limit.isEmpty()) {
            if (!filter.wrap && !filter.rest.empty()) {
                QStringList terms;
                for (const auto& [a, e] : filter.rest)
                    terms << render(a, e, plain);
                append(c.at, t_[c.at].text.toString() + u' ' + terms.join(QStringLiteral(" AND ")),
                       c.end - 1);
            }
        } else if (c.kind == ClauseKind::Offset || c.kind == ClauseKind::Fetch) {
            append(c.at, limitClause(c.at, last, outer), last - 1);
            break;
        } else {
            append(c.at, render(c.at, c.end, c.kind == ClauseKind::Order ? numbered : plain),
                   c.end - 1);
        }
    }
    if (!filter.limit.isEmpty() && !filter.wrap)
        out += QStringLiteral(" LIMIT ") + filter.limit;
    return out;
}

// SELECT ... FROM DUAL CONNECT BY LEVEL <= n: one row per level, as the one row of DUAL is its
// own child until the condition fails. `head` is what comes before the select list.
QString Translator::dualRows(const Block& b, const QString& head) {
    const Clause* connect = b.find(ClauseKind::Connect);
    const Clause* start = b.find(ClauseKind::Start);
    size_t body = connect->body;
    if (body < connect->end && t_[body].is(u"NOCYCLE"))
        ++body;
    if (mentions(body, connect->end, u"PRIOR"))
        refuse(QStringLiteral("CONNECT BY PRIOR on DUAL is not supported"));
    const QString next = QStringLiteral("(__qv_level + 1)");
    const QString condition = render(body, connect->end, Scope{next, next});
    QString anchor = QStringLiteral("SELECT 1");
    if (start) {
        const QString root = QStringLiteral("1");
        anchor += QStringLiteral(" WHERE ") + render(start->body, start->end, Scope{root, root});
    }
    const QString level = QStringLiteral("__qv_rows.__qv_level");
    QString out = head + selectList(b.items, Scope{kRowNumber, level});
    out += QStringLiteral(" FROM (WITH RECURSIVE __qv_rows(__qv_level) AS (") + anchor +
           QStringLiteral(" UNION ALL SELECT __qv_level + 1 FROM __qv_rows WHERE ") + condition +
           QStringLiteral(") SELECT __qv_level FROM __qv_rows) __qv_rows");
    for (const Clause& c : b.clauses) {
        if (c.kind == ClauseKind::From || c.kind == ClauseKind::Start ||
            c.kind == ClauseKind::Connect)
            continue;
        if (c.kind == ClauseKind::Offset || c.kind == ClauseKind::Fetch) {
            out += u' ' + limitClause(c.at, b.last, Scope{{}, level});
            break;
        }
        const Scope scope{c.kind == ClauseKind::Order ? kRowNumber : QString(), level};
        out += u' ' + render(c.at, c.end, scope);
    }
    return out;
}

// WHERE ROWNUM <= n: Oracle numbers rows as they are found, before it sorts, groups or removes
// duplicates, so a LIMIT stands for it only on a plain query; otherwise the numbered rows are
// taken from the one table in a subquery.
Translator::RownumFilter Translator::rownumFilter(const Block& b, bool member, const Scope& outer) {
    RownumFilter filter;
    const Clause* where = b.find(ClauseKind::Where);
    if (!where || !mentions(where->body, where->end, u"ROWNUM"))
        return filter;
    if (b.find(ClauseKind::Connect))
        refuse(QStringLiteral("ROWNUM in a hierarchical query is not supported"));
    if (sql::findTopLevel(t_, where->body, where->end, u"OR") < where->end)
        refuse(kRownumForms);
    for (const Range& term : sql::conjuncts(t_, where->body, where->end)) {
        if (!mentions(term.first, term.last, u"ROWNUM"))
            filter.rest.push_back(term);
        else if (filter.limit.isEmpty())
            filter.limit = rownumLimit(term, outer);
        else
            refuse(kRownumForms);
    }
    const bool plain = !b.distinct && !member && !b.find(ClauseKind::Group) &&
                       !b.find(ClauseKind::Having) && !b.find(ClauseKind::Order) &&
                       !b.find(ClauseKind::Offset) && !b.find(ClauseKind::Fetch) &&
                       !b.find(ClauseKind::Limit) && !hasAggregate(b.items.first, b.items.last);
    if (!plain) {
        const Clause* from = b.find(ClauseKind::From);
        const bool single = from &&
                            sql::findTopLevel(t_, from->body, from->end, u"JOIN") == from->end &&
                            sql::splitTopLevel(t_, from->body, from->end).size() == 1;
        if (!single)
            refuse(
                QStringLiteral("ROWNUM with a join in a query that sorts, groups or "
                               "combines rows is not supported"));
        filter.wrap = true;
    }
    return filter;
}

// The row count a ROWNUM condition allows: ROWNUM <= n, ROWNUM < n, ROWNUM = 1, or mirrored.
QString Translator::rownumLimit(Range term, const Scope& outer) {
    auto [first, last] = term;
    while (last - first > 2 && t_[first].isOp(u'(') && sql::closing(t_, first, last) == last - 1) {
        ++first;
        --last;
    }
    if (last - first < 3)
        refuse(kRownumForms);
    QString op;
    Range value;
    if (t_[first].is(u"ROWNUM") && t_[first + 1].kind == TokenKind::Op) {
        op = t_[first + 1].text.toString();
        value = {first + 2, last};
    } else if (t_[last - 1].is(u"ROWNUM") && t_[last - 2].kind == TokenKind::Op) {
        const QString written = t_[last - 2].text.toString();
        op = written == u">="  ? QStringLiteral("<=")
             : written == u">" ? QStringLiteral("<")
             : written == u"=" ? written
                               : QString();
        value = {first, last - 2};
    }
    if (op.isEmpty() || mentions(value.first, value.last, u"ROWNUM"))
        refuse(kRownumForms);
    const QString v = render(value.first, value.last, Scope{{}, outer.level});
    bool literal = false;
    const qlonglong n = value.size() == 1 ? v.toLongLong(&literal) : 0;
    if (op == u"<=")
        return literal ? QString::number(qMax(n, 0LL)) : QStringLiteral("max(%1, 0)").arg(v);
    if (op == u"<")
        return literal ? QString::number(qMax(n - 1, 0LL))
                       : QStringLiteral("max((%1) - 1, 0)").arg(v);
    if (op == u"=")
        return literal ? QString::number(n == 1 ? 1 : 0)
                       : QStringLiteral("CASE WHEN (%1) = 1 THEN 1 ELSE 0 END").arg(v);
    refuse(kRownumForms);
}

// FROM (SELECT * FROM table WHERE other terms LIMIT n OFFSET 0) alias: the rows numbered as
// they are found, before the outer query sorts, groups or combines them.
QString Translator::numberedRows(const Clause& from, const RownumFilter& filter,
                                 const Scope& outer) {
    const Scope plain{{}, outer.level};
    const Token& end = t_[from.end - 1];
    QString alias;
    if (sql::isName(end) && !sql::isKeyword(end))
        alias = end.text.toString();
    QString inner = QStringLiteral("SELECT * FROM ") + render(from.body, from.end, plain);
    if (!filter.rest.empty()) {
        QStringList terms;
        for (const auto& [a, e] : filter.rest)
            terms << render(a, e, plain);
        inner += QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
    }
    // OFFSET 0 keeps SQLite from flattening the subquery into the outer query, which would sort
    // or group first and only then take the rows (its flattener leaves a subquery with an OFFSET
    // alone).
    return t_[from.at].text.toString() + QStringLiteral(" (") + inner + QStringLiteral(" LIMIT ") +
           filter.limit + QStringLiteral(" OFFSET 0)") +
           (alias.isEmpty() ? QString() : u' ' + alias);
}

}  // namespace qv::embedded
