// Queries of Oracle's SQL in SQLite's terms: WITH, set operations, select lists with Oracle's
// headings, and the row limits that follow a query. See translateOracle() in oracledialect.h.
#include "core/embedded/translate/translator.h"

namespace qv::embedded {

void Translator::query(size_t first, size_t last, const Scope& outer) {
    if (!t_[first].is(u"WITH"))
        return compound(first, last, outer);
    // name [(columns)] AS [[NOT] MATERIALIZED] (query), ...: read to its end before writing, as
    // a list that turns out malformed is passed on as written.
    size_t i = first + 1;
    if (i < last && t_[i].is(u"RECURSIVE"))
        ++i;
    struct Member {
        size_t first, open, close;
    };
    std::vector<Member> members;
    while (true) {
        checkStop();
        size_t as = i;
        while (as < last && !t_[as].is(u"AS")) {
            if (t_[as].isOp(u'('))
                as = closing(as, last);
            ++as;
        }
        size_t open = as + 1;
        while (open < last && (t_[open].is(u"NOT") || t_[open].is(u"MATERIALIZED")))
            ++open;
        if (as >= last || open >= last || !t_[open].isOp(u'('))
            return writeOriginal(first, last);
        const size_t close = closing(open, last);
        if (close >= last)
            return writeOriginal(first, last);
        members.push_back({i, open, close});
        i = close + 1;
        if (i < last && t_[i].isOp(u',')) {
            ++i;
            continue;
        }
        break;
    }
    if (i >= last)
        return writeOriginal(first, last);
    write(t_[first].text);
    size_t prev = first;
    if (t_[first + 1].is(u"RECURSIVE")) {
        writeGap(first, first + 1);
        write(t_[first + 1].text);
        prev = first + 1;
    }
    for (const Member& m : members) {
        if (m.first > prev + 1) {  // the comma between members
            writeGap(prev, m.first - 1);
            write(u",");
            prev = m.first - 1;
        }
        writeGap(prev, m.first);
        writeOriginal(m.first, m.open);
        writeGap(m.open - 1, m.open);
        write(u"(");
        query(m.open + 1, m.close, outer);
        write(u")");
        prev = m.close;
    }
    writeGap(prev, i);
    compound(i, last, outer);
}

void Translator::compound(size_t first, size_t last, const Scope& outer) {
    std::vector<Range> segments;
    std::vector<Range> operators;
    size_t start = first;
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(')) {
            i = closing(i, last);
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
    size_t prev = kNone;
    for (size_t k = 0; k < segments.size(); ++k) {
        checkStop();
        if (k > 0) {
            const auto [op, opEnd] = operators[k - 1];
            writeGap(prev, op);
            if (t_[op].is(u"MINUS"))
                write(u"EXCEPT");
            else
                writeOriginal(op, opEnd);
            prev = opEnd - 1;
        }
        const auto [a, b] = segments[k];
        if (a >= b)
            continue;
        if (prev != kNone)
            writeGap(prev, a);
        segment(a, b, member, outer);
        prev = b - 1;
    }
}

// One member of a set operation. SQLite takes no parentheses around one, so a parenthesised
// query becomes a subquery.
void Translator::segment(size_t first, size_t last, bool member, const Scope& outer) {
    if (t_[first].is(u"SELECT"))
        return block(first, last, member, outer);
    if (t_[first].isOp(u'(')) {
        const size_t close = closing(first, last);
        if (close < last && startsQuery(first + 1, close) &&
            (close + 1 == last || isQueryTail(t_[close + 1]))) {
            write(u"SELECT * FROM (");
            query(first + 1, close, outer);
            write(u")");
            if (close + 1 < last) {
                write(u" ");
                tail(close + 1, last, outer);
            }
            return;
        }
    }
    render(first, last, outer);
}

// ORDER BY ... and OFFSET / FETCH after a parenthesised query.
void Translator::tail(size_t first, size_t last, const Scope& outer) {
    size_t limitAt = first;
    while (limitAt < last && !t_[limitAt].is(u"OFFSET") && !t_[limitAt].is(u"FETCH")) {
        if (t_[limitAt].isOp(u'('))
            limitAt = closing(limitAt, last);
        ++limitAt;
    }
    limitAt = qMin(limitAt, last);
    render(first, limitAt, Scope{{}, outer.level});
    if (limitAt < last) {
        if (limitAt > first)
            write(u" ");
        limitClause(limitAt, last, outer);
    }
}

// [OFFSET n ROW|ROWS] [FETCH FIRST|NEXT [n] ROW|ROWS ONLY] as LIMIT n OFFSET m; any other form
// as written, for SQLite to take or refuse.
void Translator::limitClause(size_t first, size_t last, const Scope& outer) {
    auto rowsWord = [&](size_t from) {
        size_t i = from;
        while (i < last && !t_[i].is(u"ROW") && !t_[i].is(u"ROWS")) {
            if (t_[i].isOp(u'('))
                i = closing(i, last);
            ++i;
        }
        return i;
    };
    const Scope scope{{}, outer.level};
    Range offset, count;
    bool fetch = false;
    bool understood = true;
    size_t i = first;
    if (i < last && t_[i].is(u"OFFSET")) {
        const size_t rows = rowsWord(i + 1);
        understood = rows < last && rows != i + 1;
        offset = {i + 1, rows};
        i = rows + 1;
    }
    if (understood && i < last && t_[i].is(u"FETCH")) {
        fetch = true;
        const size_t rows = i + 1 < last && (t_[i + 1].is(u"FIRST") || t_[i + 1].is(u"NEXT"))
                                ? rowsWord(i + 2)
                                : last;
        understood = rows < last;
        if (understood) {
            if (groups_.findTopLevel(i + 2, rows, u"PERCENT") < rows)
                refuse(QStringLiteral("FETCH ... PERCENT is not supported"));
            count = {i + 2, rows};
            i = rows + 1;
            if (i < last && t_[i].is(u"WITH"))
                refuse(QStringLiteral("FETCH ... WITH TIES is not supported"));
            understood = i < last && t_[i].is(u"ONLY");
            ++i;
        }
    }
    if (!understood || i != last)
        return render(first, last, scope);
    // A whole number as written; anything else truncated, below zero as zero, and NULL as no row
    // (`none`: the LIMIT or OFFSET that keeps none), as Oracle takes them.
    auto rows = [&](Range r, QStringView none) {
        if (r.size() == 1 && t_[r.first].kind == TokenKind::Number &&
            !t_[r.first].text.contains(u'.') &&
            !t_[r.first].text.contains(u'e', Qt::CaseInsensitive))
            return render(r.first, r.last, scope);
        write(u"coalesce(max(CAST((");
        render(r.first, r.last, scope);
        write(u") AS INTEGER), 0), ");
        write(none);
        write(u")");
    };
    write(u"LIMIT ");
    if (!count.empty())
        rows(count, u"0");
    else
        write(fetch ? u"1" : u"-1");
    if (!offset.empty()) {
        write(u" OFFSET ");
        rows(offset, u"9223372036854775807");
    }
}

// Where the value of select item [first, last) ends: before its alias, if it has one.
size_t Translator::itemValueEnd(size_t first, size_t last) const {
    const Token& end = t_[last - 1];
    if (last - first >= 2 && sql::isName(end) && !sql::isKeyword(end)) {
        const Token& before = t_[last - 2];
        if (before.is(u"AS"))
            return last - 2;
        // CONNECT_BY_ROOT and PRIOR take the name as their operand, INTERVAL '3' its unit.
        if (!before.isOp(u'.') && !before.is(u"CONNECT_BY_ROOT") && !before.is(u"PRIOR") &&
            ((sql::isName(before) && !sql::isKeyword(before)) || before.is(u"END") ||
             before.kind == TokenKind::Number || before.kind == TokenKind::String ||
             before.kind == TokenKind::Param || before.isOp(u')')) &&
            !endsInterval(first, last))
            return last - 1;
    }
    return last;
}

void Translator::item(size_t first, size_t last, const Scope& scope) {
    const bool star = last - first == 1 && t_[first].isOp(u'*');
    const bool tableStar = last - first >= 3 && t_[last - 1].isOp(u'*') && t_[last - 2].isOp(u'.');
    if ((star || tableStar) && jsonStar(first, last))
        return;
    if (star)
        return write(t_[first].text);
    if (tableStar)
        return render(first, last, scope);
    const Token& end = t_[last - 1];
    const size_t valueEnd = itemValueEnd(first, last);
    // A scalar subquery's column, read so that a second row fails (scalarQuery()).
    const bool single = first == scalarItem_;
    if (single)
        write(u"qv_scalar(");
    render(first, valueEnd, scope);
    if (single)
        write(u")");
    write(u" AS ");
    if (valueEnd == last)
        write(sql::quotedName(sql::columnHeading(t_, first, last)));
    else if (end.kind == TokenKind::Quoted)
        write(end.text);
    else
        write(sql::quotedName(end.text.toString().toUpper()));
}

void Translator::selectList(Range items, const Scope& scope) {
    size_t shown = kNone;  // the last token written
    auto separator = [&](size_t at) {
        if (shown != kNone)
            writeGap(shown, at);
    };
    for (const auto& [a, b] : groups_.splitTopLevel(items.first, items.last)) {
        checkStop();
        if (a < b) {
            separator(a);
            item(a, b, scope);
            shown = b - 1;
        }
        if (b < items.last) {
            separator(b);
            write(u",");
            shown = b;
        }
    }
}

}  // namespace qv::embedded
