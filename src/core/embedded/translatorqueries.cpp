// Queries of Oracle's SQL in SQLite's terms: WITH, set operations, select lists with Oracle's
// headings, and the row limits that follow a query. See translateOracle() in oracledialect.h.
#include "core/embedded/translator.h"

namespace qv::embedded {

QString Translator::query(size_t first, size_t last, const Scope& outer) {
    if (!t_[first].is(u"WITH"))
        return compound(first, last, outer);
    QString out = t_[first].text.toString();
    size_t prev = first;
    size_t i = first + 1;
    if (i < last && t_[i].is(u"RECURSIVE")) {
        out += gap(prev, i) + t_[i].text.toString();
        prev = i++;
    }
    // name [(columns)] AS [[NOT] MATERIALIZED] (query), ...
    while (true) {
        size_t as = i;
        while (as < last && !t_[as].is(u"AS")) {
            if (t_[as].isOp(u'('))
                as = sql::closing(t_, as, last);
            ++as;
        }
        size_t open = as + 1;
        while (open < last && (t_[open].is(u"NOT") || t_[open].is(u"MATERIALIZED")))
            ++open;
        if (as >= last || open >= last || !t_[open].isOp(u'('))
            return original(first, last);
        const size_t close = sql::closing(t_, open, last);
        if (close >= last)
            return original(first, last);
        out += gap(prev, i) + original(i, open) + gap(open - 1, open) + u'(' +
               query(open + 1, close, outer) + u')';
        prev = close;
        i = close + 1;
        if (i < last && t_[i].isOp(u',')) {
            out += gap(prev, i) + u',';
            prev = i++;
            continue;
        }
        break;
    }
    if (i >= last)
        return original(first, last);
    return out + gap(prev, i) + compound(i, last, outer);
}

QString Translator::compound(size_t first, size_t last, const Scope& outer) {
    std::vector<Range> segments;
    std::vector<Range> operators;
    size_t start = first;
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(')) {
            i = sql::closing(t_, i, last);
        } else if (isSetOperator(t_[i])) {
            segments.push_back({start, i});
            size_t end = i + 1;
            if (end < last && (t_[end].is(u"ALL") || t_[end].is(u"DISTINCT")))
                ++end;
            operators.push_back({i, end});
            start = end;
            i = end - 1;
        }
    }
    segments.push_back({start, last});
    const bool member = segments.size() > 1;
    QString out;
    size_t prev = kNone;
    for (size_t k = 0; k < segments.size(); ++k) {
        if (k > 0) {
            const auto [op, opEnd] = operators[k - 1];
            out += gap(prev, op) +
                   (t_[op].is(u"MINUS") ? QStringLiteral("EXCEPT") : original(op, opEnd));
            prev = opEnd - 1;
        }
        const auto [a, b] = segments[k];
        if (a >= b)
            continue;
        out += (prev == kNone ? QString() : gap(prev, a)) + segment(a, b, member, outer);
        prev = b - 1;
    }
    return out;
}

// One member of a set operation. SQLite takes no parentheses around one, so a parenthesised
// query becomes a subquery.
QString Translator::segment(size_t first, size_t last, bool member, const Scope& outer) {
    if (t_[first].is(u"SELECT"))
        return block(first, last, member, outer);
    if (t_[first].isOp(u'(')) {
        const size_t close = sql::closing(t_, first, last);
        if (close < last && startsQuery(first + 1, close) &&
            (close + 1 == last || isQueryTail(t_[close + 1]))) {
            QString text =
                QStringLiteral("SELECT * FROM (") + query(first + 1, close, outer) + u')';
            if (close + 1 < last)
                text += u' ' + tail(close + 1, last, outer);
            return text;
        }
    }
    return render(first, last, outer);
}

// ORDER BY ... and OFFSET / FETCH after a parenthesised query.
QString Translator::tail(size_t first, size_t last, const Scope& outer) {
    size_t limitAt = first;
    while (limitAt < last && !t_[limitAt].is(u"OFFSET") && !t_[limitAt].is(u"FETCH")) {
        if (t_[limitAt].isOp(u'('))
            limitAt = sql::closing(t_, limitAt, last);
        ++limitAt;
    }
    QString text = render(first, qMin(limitAt, last), Scope{{}, outer.level});
    if (limitAt < last)
        text +=
            (text.isEmpty() ? QString() : QStringLiteral(" ")) + limitClause(limitAt, last, outer);
    return text;
}

// [OFFSET n ROW|ROWS] [FETCH FIRST|NEXT [n] ROW|ROWS ONLY] as LIMIT n OFFSET m.
QString Translator::limitClause(size_t first, size_t last, const Scope& outer) {
    auto rowsWord = [&](size_t from) {
        size_t i = from;
        while (i < last && !t_[i].is(u"ROW") && !t_[i].is(u"ROWS")) {
            if (t_[i].isOp(u'('))
                i = sql::closing(t_, i, last);
            ++i;
        }
        return i;
    };
    const Scope scope{{}, outer.level};
    QString count, offset;
    size_t i = first;
    if (i < last && t_[i].is(u"OFFSET")) {
        const size_t rows = rowsWord(i + 1);
        if (rows >= last || rows == i + 1)
            return render(first, last, scope);
        offset = render(i + 1, rows, scope);
        i = rows + 1;
    }
    if (i < last && t_[i].is(u"FETCH")) {
        if (i + 1 >= last || !(t_[i + 1].is(u"FIRST") || t_[i + 1].is(u"NEXT")))
            return render(first, last, scope);
        const size_t rows = rowsWord(i + 2);
        if (rows >= last)
            return render(first, last, scope);
        if (sql::findTopLevel(t_, i + 2, rows, u"PERCENT") < rows)
            refuse(QStringLiteral("FETCH ... PERCENT is not supported"));
        count = rows > i + 2 ? render(i + 2, rows, scope) : QStringLiteral("1");
        i = rows + 1;
        if (i < last && t_[i].is(u"WITH"))
            refuse(QStringLiteral("FETCH ... WITH TIES is not supported"));
        if (i >= last || !t_[i].is(u"ONLY"))
            return render(first, last, scope);
        ++i;
    }
    if (i != last)
        return render(first, last, scope);
    QString text = QStringLiteral("LIMIT ") + (count.isEmpty() ? QStringLiteral("-1") : count);
    if (!offset.isEmpty())
        text += QStringLiteral(" OFFSET ") + offset;
    return text;
}

QString Translator::item(size_t first, size_t last, const Scope& scope) {
    if (last - first == 1 && t_[first].isOp(u'*'))
        return t_[first].text.toString();
    if (last - first >= 3 && t_[last - 1].isOp(u'*') && t_[last - 2].isOp(u'.'))
        return render(first, last, scope);
    const Token& end = t_[last - 1];
    size_t valueEnd = last;
    if (last - first >= 2 && sql::isName(end) && !sql::isKeyword(end)) {
        const Token& before = t_[last - 2];
        if (before.is(u"AS")) {
            valueEnd = last - 2;
        } else if (!before.isOp(u'.') &&
                   ((sql::isName(before) && !sql::isKeyword(before)) || before.is(u"END") ||
                    before.kind == TokenKind::Number || before.kind == TokenKind::String ||
                    before.kind == TokenKind::Param || before.isOp(u')'))) {
            valueEnd = last - 1;
        }
    }
    if (valueEnd == last) {
        return render(first, last, scope) + QStringLiteral(" AS ") +
               sql::quotedName(sql::columnHeading(t_, first, last));
    }
    const QString value = render(first, valueEnd, scope);
    if (end.kind == TokenKind::Quoted)
        return value + QStringLiteral(" AS ") + end.text.toString();
    return value + QStringLiteral(" AS ") + sql::quotedName(end.text.toString().toUpper());
}

QString Translator::selectList(Range items, const Scope& scope) {
    QString out;
    size_t shown = kNone;  // the last token written
    auto separator = [&](size_t at) { return shown == kNone ? QString() : gap(shown, at); };
    for (const auto& [a, b] : sql::splitTopLevel(t_, items.first, items.last)) {
        if (a < b) {
            out += separator(a) + item(a, b, scope);
            shown = b - 1;
        }
        if (b < items.last) {
            out += separator(b) + u',';
            shown = b;
        }
    }
    return out;
}

}  // namespace qv::embedded
