// One SELECT of Oracle's SQL in SQLite's terms: its clauses, DUAL as a row generator, and ROWNUM
// conditions as row limits. See translateOracle() in oracledialect.h.
#include "core/embedded/translate/translator.h"

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
            i = closing(i, last);
            continue;
        }
        if (k.kind != TokenKind::Word)
            continue;
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

void Translator::block(size_t first, size_t last, bool member, const Scope& outer) {
    const Block b = scanBlock(first, last);
    checkGrouping(b);
    const bool ranked = rankedFetch_ == first;
    if (!ranked && !member) {
        if (const auto fetch = rankedFetch(b))
            return rankedFetchQuery(b, *fetch, outer);
    }
    const Clause* from = b.find(ClauseKind::From);
    const bool hierarchical = b.find(ClauseKind::Connect) != nullptr;
    const bool dual = from && isDualClause(from->body, from->end);

    // * stands for the columns of this SELECT's JSON_TABLEs, not of the SELECT around it.
    struct Stars {
        std::vector<JsonStar>& now;
        std::vector<JsonStar> outer;
        ~Stars() { now = std::move(outer); }
    } starsKept{jsonStars_, std::move(jsonStars_)};
    jsonStars_.clear();
    const std::vector<JsonTable> json =
        from && !dual ? jsonTables(*from) : std::vector<JsonTable>();

    write(t_[first].text);
    size_t prev = first;
    auto next = [&](size_t at, size_t lastToken) {
        writeGap(prev, at);
        prev = lastToken;
    };
    if (b.distinctAt != kNone) {
        const Token& word = t_[b.distinctAt];
        next(b.distinctAt, b.distinctAt);
        write(word.is(u"UNIQUE") ? QStringView(u"DISTINCT") : word.text);
    }
    if (hierarchical && dual) {
        writeGap(prev, b.items.first);
        return dualRows(b);
    }
    const RownumFilter filter = rownumFilter(b, member);
    if (!member && from)
        stopRanking(b, *from);
    bool stars = false;
    for (const auto& [a, e] : groups_.splitTopLevel(b.items.first, b.items.last))
        stars = stars || (e > a && t_[e - 1].isOp(u'*') && (e - a == 1 || t_[e - 2].isOp(u'.')));
    const bool dropFrom = dual && !filter.wrap && !stars && !mentions(first, last, u"DUMMY");

    // ROWNUM numbers the rows as they come, for the select list and for sorting; not in a
    // hierarchical query, whose rows get their order only from the rewrite.
    // The ORDER BY of a set operation names the result's columns, not this member's.
    const QueryNames names = member || hierarchical ? QueryNames() : queryNames(b);
    const Scope numbered{hierarchical ? QString() : kRowNumber, outer.level,
                         member || hierarchical ? nullptr : &names};
    const Scope plain{{}, outer.level};
    const Scope tables{{}, outer.level, nullptr, true};
    auto terms = [&](const std::vector<Range>& rest) {
        for (size_t k = 0; k < rest.size(); ++k) {
            if (k > 0)
                write(u" AND ");
            render(rest[k].first, rest[k].last, plain);
        }
    };
    if (!b.items.empty()) {
        next(b.items.first, b.items.last - 1);
        selectList(b.items, numbered);
        if (ranked)
            rankedFetchColumns(b, *rankedFetch(b), outer);
    }
    for (const Clause& c : b.clauses) {
        if (ranked && (c.kind == ClauseKind::Order || c.kind == ClauseKind::Offset ||
                       c.kind == ClauseKind::Fetch))
            break;
        if (c.kind == ClauseKind::From) {
            if (dropFrom)
                continue;
            markDuals(c.body, c.end);
            next(c.at, c.end - 1);
            if (!json.empty())
                jsonFrom(c, json, tables);
            else if (filter.wrap)
                numberedRows(c, filter, outer);
            else
                render(c.at, c.end, tables);
        } else if (c.kind == ClauseKind::Where && filter.kind != RownumFilter::None) {
            if (!filter.wrap && !filter.rest.empty()) {
                next(c.at, c.end - 1);
                write(t_[c.at].text);
                write(u" ");
                terms(filter.rest);
            }
        } else if (c.kind == ClauseKind::Offset || c.kind == ClauseKind::Fetch) {
            next(c.at, last - 1);
            limitClause(c.at, last, outer);
            break;
        } else {
            next(c.at, c.end - 1);
            render(c.at, c.end, c.kind == ClauseKind::Order ? numbered : plain);
        }
    }
    if (filter.kind != RownumFilter::None && !filter.wrap) {
        write(u" LIMIT ");
        rownumLimit(filter, outer);
    }
    if (const auto stop = rankStops_.find(first); stop != rankStops_.end())
        rankLimit(b, stop->second, outer);
}

// WHERE rn <= n on the ROW_NUMBER, RANK or DENSE_RANK of an inline view whose rows come out in
// the order it ranks them: the view stops after the last row of its n-th rank (rankLimit()), as
// Oracle's window stops at the last rank asked for, rather than ranking every row for the outer
// query to drop.
void Translator::stopRanking(const Block& b, const Clause& from) {
    const Clause* where = b.find(ClauseKind::Where);
    if (!where || from.body + 1 >= from.end || !t_[from.body].isOp(u'(') ||
        !t_[from.body + 1].is(u"SELECT"))
        return;
    const RowLimit limit = rowLimit(t_, {b.first, b.last});
    if (limit.kind != RowLimit::Ranked || !(limit.stopsEarly || !limit.rankOrder.empty()) ||
        !(limit.stop >= 1 || limit.stopBind != kNone))
        return;
    // f ( ) OVER ( ORDER BY key: the function stands seven tokens before its one key.
    const size_t order = limit.rankOrder.first;
    const bool dense = !limit.rankOrder.empty() && order >= 7 && t_[order - 7].is(u"DENSE_RANK");
    rankStops_[limit.ranked.first] = {qlonglong(limit.stop), limit.stopBind, limit.rankOrder,
                                      dense};
}

// SELECT ... FROM DUAL CONNECT BY LEVEL <= n: one row per level, as the one row of DUAL is its
// own child until the condition fails. What comes before the select list is written.
void Translator::dualRows(const Block& b) {
    const Clause* connect = b.find(ClauseKind::Connect);
    const Clause* start = b.find(ClauseKind::Start);
    size_t body = connect->body;
    if (body < connect->end && t_[body].is(u"NOCYCLE"))
        ++body;
    if (mentions(body, connect->end, u"PRIOR"))
        refuse(QStringLiteral("CONNECT BY PRIOR on DUAL is not supported"));
    const QString level = QStringLiteral("__qv_rows.__qv_level");
    selectList(b.items, Scope{kRowNumber, level});
    write(u" FROM (WITH RECURSIVE __qv_rows(__qv_level) AS (SELECT 1");
    if (start) {
        const QString root = QStringLiteral("1");
        write(u" WHERE ");
        render(start->body, start->end, Scope{root, root});
    }
    write(u" UNION ALL SELECT __qv_level + 1 FROM __qv_rows WHERE ");
    const QString next = QStringLiteral("(__qv_level + 1)");
    render(body, connect->end, Scope{next, next});
    write(u") SELECT __qv_level FROM __qv_rows) __qv_rows");
    for (const Clause& c : b.clauses) {
        if (c.kind == ClauseKind::From || c.kind == ClauseKind::Start ||
            c.kind == ClauseKind::Connect)
            continue;
        write(u" ");
        if (c.kind == ClauseKind::Offset || c.kind == ClauseKind::Fetch) {
            limitClause(c.at, b.last, Scope{{}, level});
            break;
        }
        render(c.at, c.end, Scope{c.kind == ClauseKind::Order ? kRowNumber : QString(), level});
    }
}

// WHERE ROWNUM <= n: Oracle numbers rows as they are found, before it sorts, groups or removes
// duplicates, so a LIMIT stands for it only on a plain query; otherwise the numbered rows are
// taken from the one table in a subquery.
Translator::RownumFilter Translator::rownumFilter(const Block& b, bool member) const {
    RownumFilter filter;
    const Clause* where = b.find(ClauseKind::Where);
    if (!where || !mentions(where->body, where->end, u"ROWNUM"))
        return filter;
    if (b.find(ClauseKind::Connect))
        refuse(QStringLiteral("ROWNUM in a hierarchical query is not supported"));
    if (groups_.findTopLevel(where->body, where->end, u"OR") < where->end)
        refuse(kRownumForms);
    for (const Range& term : groups_.conjuncts(where->body, where->end)) {
        if (!mentions(term.first, term.last, u"ROWNUM"))
            filter.rest.push_back(term);
        else if (filter.kind == RownumFilter::None)
            filter.kind = rownumKind(term, filter.value);
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
                            groups_.findTopLevel(from->body, from->end, u"JOIN") == from->end &&
                            groups_.splitTopLevel(from->body, from->end).size() == 1;
        if (!single)
            refuse(
                QStringLiteral("ROWNUM with a join in a query that sorts, groups or "
                               "combines rows is not supported"));
        filter.wrap = true;
    }
    return filter;
}

// The comparison a ROWNUM condition makes: ROWNUM <= n, ROWNUM < n, ROWNUM = 1, or mirrored;
// `value` is set to n's tokens.
Translator::RownumFilter::Kind Translator::rownumKind(Range term, Range& value) const {
    auto [first, last] = term;
    while (last - first > 2 && t_[first].isOp(u'(') && closing(first, last) == last - 1) {
        ++first;
        --last;
    }
    if (last - first < 3)
        refuse(kRownumForms);
    QStringView op;
    if (t_[first].is(u"ROWNUM") && t_[first + 1].kind == TokenKind::Op) {
        op = t_[first + 1].text;
        value = {first + 2, last};
    } else if (t_[last - 1].is(u"ROWNUM") && t_[last - 2].kind == TokenKind::Op) {
        const QStringView written = t_[last - 2].text;
        op = written == u">=" ? u"<=" : written == u">" ? u"<" : written == u"=" ? written : u"";
        value = {first, last - 2};
    }
    if (op.isEmpty() || mentions(value.first, value.last, u"ROWNUM"))
        refuse(kRownumForms);
    if (op == u"<=")
        return RownumFilter::AtMost;
    if (op == u"<")
        return RownumFilter::Below;
    if (op == u"=")
        return RownumFilter::One;
    refuse(kRownumForms);
}

// The row count the ROWNUM condition allows.
void Translator::rownumLimit(const RownumFilter& filter, const Scope& outer) {
    const Range value = filter.value;
    bool literal = false;
    const qlonglong n = value.size() == 1 && t_[value.first].kind == TokenKind::Number
                            ? t_[value.first].text.toLongLong(&literal)
                            : 0;
    if (literal) {
        const qlonglong rows = filter.kind == RownumFilter::AtMost  ? qMax(n, 0LL)
                               : filter.kind == RownumFilter::Below ? qMax(n - 1, 0LL)
                                                                    : (n == 1 ? 1 : 0);
        return write(QString::number(rows));
    }
    const QStringView around[][2] = {
        {u"max(", u", 0)"}, {u"max((", u") - 1, 0)"}, {u"CASE WHEN (", u") = 1 THEN 1 ELSE 0 END"}};
    const auto& [before, after] = around[filter.kind == RownumFilter::AtMost  ? 0
                                         : filter.kind == RownumFilter::Below ? 1
                                                                              : 2];
    write(before);
    render(value.first, value.last, Scope{{}, outer.level});
    write(after);
}

// FROM (SELECT * FROM table WHERE other terms LIMIT n OFFSET 0) alias: the rows numbered as
// they are found, before the outer query sorts, groups or combines them.
void Translator::numberedRows(const Clause& from, const RownumFilter& filter, const Scope& outer) {
    const Scope plain{{}, outer.level};
    write(t_[from.at].text);
    write(u" (SELECT * FROM ");
    render(from.body, from.end, Scope{{}, outer.level, nullptr, true});
    if (!filter.rest.empty()) {
        write(u" WHERE ");
        for (size_t k = 0; k < filter.rest.size(); ++k) {
            if (k > 0)
                write(u" AND ");
            render(filter.rest[k].first, filter.rest[k].last, plain);
        }
    }
    // OFFSET 0 keeps SQLite from flattening the subquery into the outer query, which would sort
    // or group first and only then take the rows (its flattener leaves a subquery with an OFFSET
    // alone).
    write(u" LIMIT ");
    rownumLimit(filter, outer);
    write(u" OFFSET 0)");
    const Token& end = t_[from.end - 1];
    if (sql::isName(end) && !sql::isKeyword(end)) {
        write(u" ");
        write(end.text);
    }
}

}  // namespace qv::embedded
