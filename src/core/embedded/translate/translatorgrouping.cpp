// ROLLUP, CUBE and GROUPING SETS, with GROUPING(), GROUPING_ID() and GROUP_ID(), written as one
// GROUP BY that SQLite runs: each row of the query is read once per grouping set (joined to the
// set numbers 0 ... n-1, qv_g.qv_set, which no other column of the query shadows), and grouped by
// the set number and, per grouping expression, the expression where the set holds it and NULL where
// it does not. The select list, HAVING and ORDER BY read each grouping expression (outside
// aggregates) the same way, and GROUPING() and its kin as the constants they are per set. The
// groups come out as Oracle's SORT GROUP BY ROLLUP hands them on: by each expression in turn (NULLs
// last), a subtotal after the rows it sums. See translateOracle() in oracledialect.h.
#include "core/embedded/parse/groupingsets.h"
#include "core/embedded/translate/translator.h"

namespace qv::embedded {

namespace {

const QString kSet = QStringLiteral("qv_g.qv_set");

// "qv_g.qv_set IN (0, 2)" for the sets in `sets`; empty when they are none or all.
QString setTest(const std::vector<size_t>& sets, size_t all) {
    if (sets.empty() || sets.size() == all)
        return {};
    QStringList numbers;
    for (size_t s : sets)
        numbers << QString::number(s);
    return kSet + QStringLiteral(" IN (") + numbers.join(QStringLiteral(", ")) + u')';
}

// A value per set: a constant when all are the same, else CASE qv_g.qv_set WHEN ... END.
QString perSet(const std::vector<int64_t>& values) {
    if (std::all_of(values.begin(), values.end(), [&](int64_t v) { return v == values[0]; }))
        return QString::number(values[0]);
    QString s = QStringLiteral("(CASE ") + kSet;
    for (size_t i = 0; i < values.size(); ++i)
        s += QStringLiteral(" WHEN %1 THEN %2").arg(i).arg(values[i]);
    return s + QStringLiteral(" END)");
}

[[noreturn]] void notGrouped() {
    throw oracleError(979, QStringLiteral("ORA-00979: not a GROUP BY expression"));
}

}  // namespace

// The grouping expression the tokens at `i` (up to `last`) stand for, and past it; kNone when
// none stands there.
size_t Translator::groupingMatch(const GroupingState& g, size_t i, size_t last,
                                 size_t& expression) const {
    if (i > 0 && t_[i - 1].isOp(u'.'))
        return kNone;
    size_t best = kNone;
    for (size_t j = 0; j < g.sets->expressions.size(); ++j) {
        const Range e = g.sets->expressions[j];
        for (size_t length : {e.size(), size_t(1), size_t(3)}) {
            const size_t end = i + length;
            if (end > last || (best != kNone && end <= best) ||
                (end < last && (t_[end].isOp(u'.') || t_[end].isOp(u'('))) ||
                expressionKey(t_, {i, end}) != g.keys[j])
                continue;
            best = end;
            expression = j;
        }
    }
    return best;
}

QString Translator::groupingText(const GroupingState& g, Range r) const {
    const GroupingSets& sets = *g.sets;
    const size_t all = sets.sets.size();
    QString out;
    if (r.empty())
        return out;
    qsizetype pos = t_[r.first].begin;  // the text is written up to here
    auto replace = [&](size_t first, size_t end, const QString& text) {
        out += QStringView(sql_).mid(pos, t_[first].begin - pos);
        out += text;
        pos = t_[end - 1].end;
    };
    auto argumentOf = [&](Range arg) {
        size_t j = 0;
        if (groupingMatch(g, arg.first, arg.last, j) != arg.last)
            notGrouped();
        return j;
    };
    for (size_t i = r.first; i < r.last;) {
        const Token& w = t_[i];
        const bool call = i + 1 < r.last && t_[i + 1].isOp(u'(');
        if (call && (w.is(u"GROUPING") || w.is(u"GROUPING_ID") || w.is(u"GROUP_ID"))) {
            const size_t close = closing(i + 1, r.last);
            std::vector<int64_t> values(all, 0);
            if (w.is(u"GROUP_ID")) {
                for (size_t s = 0; s < all; ++s)
                    values[s] = std::count(sets.sets.begin(), sets.sets.begin() + s, sets.sets[s]);
            } else {
                const std::vector<Range> args = groups_.splitTopLevel(i + 2, close);
                if (w.is(u"GROUPING") && args.size() != 1)
                    throw oracleError(909,
                                      QStringLiteral("ORA-00909: invalid number of arguments"));
                for (const Range& arg : args) {
                    const size_t j = argumentOf(arg);
                    for (size_t s = 0; s < all; ++s)
                        values[s] = values[s] * 2 + (sets.holds(s, j) ? 0 : 1);
                }
            }
            replace(i, close + 1, perSet(values));
            i = close + 1;
            continue;
        }
        if (w.isOp(u'(') && i + 1 < r.last && (t_[i + 1].is(u"SELECT") || t_[i + 1].is(u"WITH"))) {
            i = closing(i, r.last) + 1;  // a subquery's columns are its own
            continue;
        }
        if (call && isAggregate(w)) {
            // An aggregate's argument is read per row; an analytic function's over the groups.
            size_t next = closing(i + 1, r.last) + 1;
            for (size_t open = kNone; next < r.last && !t_[next].is(u"OVER");) {
                const size_t end = callTailPart(next, r.last, open);
                if (end == kNone)
                    break;
                next = end;
            }
            i = next < r.last && t_[next].is(u"OVER") ? i + 2 : next;
            continue;
        }
        size_t j = 0;
        const size_t end = groupingMatch(g, i, r.last, j);
        if (end == kNone) {
            ++i;
            continue;
        }
        std::vector<size_t> with;
        for (size_t s = 0; s < all; ++s) {
            if (sets.holds(s, j))
                with.push_back(s);
        }
        const QString test = setTest(with, all);
        if (!test.isEmpty())
            replace(i, end,
                    QStringLiteral("(CASE WHEN ") + test + QStringLiteral(" THEN ") +
                        sql::textOf(sql_, t_, i, end) + QStringLiteral(" END)"));
        i = end;
    }
    out += QStringView(sql_).mid(pos, t_[r.last - 1].end - pos);
    return out;
}

// The query around token `at`: inside the innermost parentheses that hold a query, else the
// statement up to `body`; of a set operation the member that holds it (`compound` set).
Range Translator::queryAround(size_t at, size_t body, bool& compound) const {
    Range query{0, body};
    for (size_t i = 0; i < at;) {
        if (!t_[i].isOp(u'(')) {
            ++i;
            continue;
        }
        const size_t close = closing(i, body);
        if (close < at) {
            i = close + 1;
            continue;
        }
        if (i + 1 < close && (t_[i + 1].is(u"SELECT") || t_[i + 1].is(u"WITH")))
            query = {i + 1, close};
        ++i;
    }
    // The member of a set operation that holds it.
    size_t start = query.first;
    for (size_t i = query.first; i < query.last; ++i) {
        if (t_[i].isOp(u'(') || t_[i].is(u"CASE")) {
            i = closing(i, query.last);
        } else if (isSetOperator(t_[i])) {
            compound = true;
            if (i > at)
                return {start, i};
            start = i + 1 < query.last && t_[i + 1].is(u"ALL") ? i + 2 : i + 1;
        }
    }
    return {start, query.last};
}

std::optional<QString> Translator::expandGroupings(size_t body) const {
    for (size_t at = 0; at + 1 < body; ++at) {
        const Token& w = t_[at];
        const Token& next = t_[at + 1];
        if (((w.is(u"ROLLUP") || w.is(u"CUBE") || w.is(u"GROUPING_ID") || w.is(u"GROUP_ID")) &&
             next.isOp(u'(')) ||
            (w.is(u"GROUPING") && (next.isOp(u'(') || next.is(u"SETS"))) ||
            (w.is(u"GROUP") && next.is(u"BY") && at + 3 < body && t_[at + 2].isOp(u'(') &&
             t_[at + 3].isOp(u')'))) {
            if (std::optional<QString> expanded = expandGroupingsAt(at, body))
                return expanded;
        }
    }
    return std::nullopt;
}

// The statement with the query around token `at` grouped plainly; nullopt when that query does
// not group (a table called CUBE, GROUPING() without GROUP BY, which SQLite then refuses).
std::optional<QString> Translator::expandGroupingsAt(size_t at, size_t body) const {
    bool compound = false;
    const Range member = queryAround(at, body, compound);
    const size_t select = groups_.findTopLevel(member.first, member.last, u"SELECT");
    const size_t from = groups_.findTopLevel(select, member.last, u"FROM");
    const Range list = groupByList(t_, {from, member.last});
    if (select >= member.last || from >= member.last || list.empty())
        return std::nullopt;
    const std::optional<GroupingSets> sets = groupingSets(t_, list.first, list.last);
    if (!sets)
        refuse(QStringLiteral("GROUP BY with more than %1 expressions or %2 grouping sets")
                   .arg(kMaxGroupingExpressions)
                   .arg(kMaxGroupingSets));
    // A plain GROUP BY needs writing anew only for GROUPING() and its kin, or as GROUP BY ().
    const bool calls =
        std::any_of(t_.begin() + select, t_.begin() + member.last, [](const Token& t) {
            return t.is(u"GROUPING") || t.is(u"GROUPING_ID") || t.is(u"GROUP_ID");
        });
    if (sets->shape == GroupingSets::Plain && !sets->expressions.empty() && !calls)
        return std::nullopt;
    GroupingState g{&*sets, {}};
    for (const Range& e : sets->expressions)
        g.keys.push_back(expressionKey(t_, e));
    const size_t all = sets->sets.size();

    size_t fromEnd = member.last;
    for (const char16_t* w : {u"WHERE", u"START", u"CONNECT", u"GROUP"})
        fromEnd = std::min(fromEnd, groups_.findTopLevel(from + 1, member.last, w));
    auto text = [&](size_t first, size_t last) {
        return first < last
                   ? QStringView(sql_).mid(t_[first].begin, t_[last].begin - t_[first].begin)
                   : QStringView();
    };
    // The select list, an item whose value changes keeping its heading.
    size_t items = select + 1;
    if (t_[items].is(u"DISTINCT") || t_[items].is(u"UNIQUE") || t_[items].is(u"ALL"))
        ++items;
    QString out = QStringView(sql_).left(t_[items].begin).toString();
    qsizetype pos = t_[items].begin;
    for (const auto& [a, b] : groups_.splitTopLevel(items, from)) {
        if (a >= b)
            continue;
        out += QStringView(sql_).mid(pos, t_[a].begin - pos);
        pos = t_[b - 1].end;
        const size_t valueEnd = itemValueEnd(a, b);
        const QString value = groupingText(g, {a, valueEnd});
        out += value;
        if (valueEnd < b)
            out += QStringView(sql_).mid(t_[valueEnd - 1].end, pos - t_[valueEnd - 1].end);
        else if (value != sql::textOf(sql_, t_, a, b))
            out += QStringLiteral(" AS ") + sql::quotedName(sql::columnHeading(t_, a, b));
    }
    out += QStringView(sql_).mid(pos, t_[from].begin - pos);
    out += text(from, fromEnd);
    if (all > 1) {
        QStringList numbers;
        for (size_t s = 0; s < all; ++s)
            numbers << QString::number(s);
        out +=
            QStringLiteral(" CROSS JOIN (SELECT value qv_set FROM json_each('[%1]') qv_gs) qv_g ")
                .arg(numbers.join(u','));
    }
    out += text(fromEnd, list.first - 2);
    // GROUP BY () alone: one group, as none when there are no rows.
    const QString keys = groupingKeys(g);
    out += QStringLiteral("GROUP BY ") + (keys.isEmpty() ? QStringLiteral("NULL") : keys) + u' ';
    // HAVING and ORDER BY, unless the ORDER BY is a set operation's, which names its columns.
    size_t tailEnd = member.last;
    if (compound)
        tailEnd = groups_.findTopLevel(list.last, member.last, u"ORDER");
    out += groupingText(g, {list.last, tailEnd});
    out += QStringView(sql_).mid(tailEnd > list.last ? t_[tailEnd - 1].end : t_[list.last - 1].end);
    return out;
}

// The GROUP BY list: per expression whether the set leaves it out, whether it is NULL and the
// expression where the set holds it; then the set, which tells identical sets apart.
QString Translator::groupingKeys(const GroupingState& g) const {
    const GroupingSets& sets = *g.sets;
    const size_t all = sets.sets.size();
    QStringList keys;
    for (size_t j = 0; j < sets.expressions.size(); ++j) {
        std::vector<size_t> with, without;
        for (size_t s = 0; s < all; ++s)
            (sets.holds(s, j) ? with : without).push_back(s);
        const QString e =
            sql::textOf(sql_, t_, sets.expressions[j].first, sets.expressions[j].last);
        const QString test = setTest(with, all);
        if (test.isEmpty()) {
            keys << QStringLiteral("CASE WHEN (%1) IS NULL THEN 1 ELSE 0 END").arg(e) << e;
            continue;
        }
        keys << QStringLiteral("CASE WHEN %1 THEN 1 ELSE 0 END").arg(setTest(without, all))
             << QStringLiteral("CASE WHEN %1 AND (%2) IS NULL THEN 1 ELSE 0 END").arg(test, e)
             << QStringLiteral("CASE WHEN %1 THEN %2 END").arg(test, e);
    }
    if (all > 1)
        keys << kSet;
    return keys.join(QStringLiteral(", "));
}

}  // namespace qv::embedded
