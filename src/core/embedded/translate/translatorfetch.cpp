// FETCH FIRST ... WITH TIES and FETCH FIRST ... PERCENT, as Oracle runs them: the query's rows
// numbered and ranked by its ORDER BY (and counted for a percentage) in a view, which keeps the
// rows of the page. See translateOracle() in oracledialect.h.
#include "core/embedded/translate/translator.h"

namespace qv::embedded {

namespace {

const QString kPageRowNumber = QStringLiteral("qv_rowlimit_rn");
const QString kRank = QStringLiteral("qv_rowlimit_rank");
const QString kTotal = QStringLiteral("qv_rowlimit_total");

}  // namespace

// [OFFSET m ROW|ROWS] FETCH FIRST|NEXT [n [PERCENT]] ROW|ROWS WITH TIES|ONLY, when it keeps ties
// or a percentage; nullopt for any other limit (limitClause() writes those).
std::optional<Translator::RankedFetch> Translator::rankedFetch(const Block& b) const {
    const Clause* fetch = b.find(ClauseKind::Fetch);
    if (!fetch || fetch->body >= fetch->end ||
        !(t_[fetch->body].is(u"FIRST") || t_[fetch->body].is(u"NEXT")))
        return std::nullopt;
    auto rowsWord = [&](size_t from, size_t end) {
        return qMin(groups_.findTopLevel(from, end, u"ROW"),
                    groups_.findTopLevel(from, end, u"ROWS"));
    };
    RankedFetch f;
    const size_t rows = rowsWord(fetch->body + 1, fetch->end);
    if (rows >= fetch->end)
        return std::nullopt;
    f.percent = rows > fetch->body + 1 && t_[rows - 1].is(u"PERCENT");
    f.count = {fetch->body + 1, f.percent ? rows - 1 : rows};
    f.ties = rows + 3 == fetch->end && t_[rows + 1].is(u"WITH") && t_[rows + 2].is(u"TIES");
    if (!f.ties && !(rows + 2 == fetch->end && t_[rows + 1].is(u"ONLY")))
        return std::nullopt;
    if (!f.ties && !f.percent)
        return std::nullopt;
    if (const Clause* offset = b.find(ClauseKind::Offset)) {
        f.offset = {offset->body, rowsWord(offset->body, offset->end)};
        if (f.offset.empty() || f.offset.last >= offset->end)
            return std::nullopt;
    }
    f.order = b.find(ClauseKind::Order);
    if (f.order && t_[f.order->at + 1].is(u"SIBLINGS"))
        refuse(
            QStringLiteral("ORDER SIBLINGS BY with FETCH ... WITH TIES or PERCENT is not "
                           "supported"));
    if (b.distinct)
        refuse(
            QStringLiteral("SELECT DISTINCT with FETCH ... WITH TIES or PERCENT is not "
                           "supported"));
    return f;
}

// SELECT the query's columns FROM (the query numbered, ranked and counted) WHERE its rows are
// those of the page. Oracle names the view's columns, so a name twice is ambiguous there as well.
void Translator::rankedFetchQuery(const Block& b, const RankedFetch& f, const Scope& outer) {
    QStringList names = blockColumns(b);
    for (qsizetype k = 0; k < names.size(); ++k) {
        if (names.indexOf(names[k], k + 1) > 0)
            throw oracleError(918, QStringLiteral("ORA-00918: column ambiguously defined"));
        names[k] = sql::quotedName(names[k]);
    }
    const size_t kept = rankedFetch_;
    rankedFetch_ = b.first;
    stopAtLastTie(b, f);
    write(u"SELECT ");
    write(names.join(u", "));
    write(u" FROM (");
    block(b.first, b.last, false, outer);
    rankedFetch_ = kept;
    write(u") WHERE ");

    const Scope plain{{}, outer.level};
    // `whole` writes the value as a whole number when it is not below zero.
    auto bounded = [&](Range value, const std::function<void()>& whole) {
        write(u"(CASE WHEN (");
        render(value.first, value.last, plain);
        write(u") >= 0 THEN ");
        whole();
        write(u" WHEN (");
        render(value.first, value.last, plain);
        write(u") < 0 THEN 0 END)");
    };
    auto truncated = [&](Range value) {
        write(u"CAST((");
        render(value.first, value.last, plain);
        write(u") AS INTEGER)");
    };
    // The share of all rows rounded up (to nine places first, so that 3.0000000000000004 rows
    // are three).
    auto share = [&] {
        auto rows = [&] {
            write(u"round(");
            write(kTotal);
            write(u" * (");
            render(f.count.first, f.count.last, plain);
            write(u") / 100.0, 9)");
        };
        write(u"(CAST(");
        rows();
        write(u" AS INTEGER) + (");
        rows();
        write(u" > CAST(");
        rows();
        write(u" AS INTEGER)))");
    };
    // The rows skipped and the rows kept: whole numbers, none below zero, NULL for NULL (no row).
    auto skipped = [&] { bounded(f.offset, [&] { truncated(f.offset); }); };
    auto count = [&] {
        if (f.count.empty())
            return write(u"1");
        if (f.percent)
            return bounded(f.count, share);
        bounded(f.count, [&] { truncated(f.count); });
    };
    if (!f.offset.empty()) {
        write(kPageRowNumber);
        write(u" > ");
        skipped();
        write(u" AND ");
    }
    count();
    write(u" > 0 AND ");
    // Ties are rows equal to the last one kept on the ORDER BY keys; without them, none.
    write(f.ties && f.order ? kRank : kPageRowNumber);
    write(u" <= ");
    count();
    if (!f.offset.empty()) {
        write(u" + ");
        skipped();
    }
}

// WITH TIES over one column of the one table the query reads, in that column's index order when
// SQLite gives it: the query stops after the last row that ties with the last one fetched, as
// a ranking limited outside its view does (rankLimit(); left out where SQLite sorts, see
// keepRankStops()). Only where the table's rows are the same each time they are read.
void Translator::stopAtLastTie(const Block& b, const RankedFetch& f) {
    const Clause* from = b.find(ClauseKind::From);
    const Clause* where = b.find(ClauseKind::Where);
    if (!f.ties || f.percent || !f.order || b.distinct || !from || b.find(ClauseKind::Group) ||
        b.find(ClauseKind::Having) || b.find(ClauseKind::Connect) ||
        hasAggregate(b.items.first, b.items.last) || from->end - from->body > 2 ||
        !sql::isName(t_[from->body]) || t_[from->body].isOp(u'('))
        return;
    for (const char16_t* word : {u"ROWNUM", u"LEVEL", u"NEXTVAL", u"CURRVAL", u"DBMS_RANDOM",
                                 u"SYS_GUID", u"RANDOM", u"SYSDATE", u"SYSTIMESTAMP"}) {
        if (where && mentions(where->body, where->end, word))
            return;
    }
    const std::vector<Range> terms = groups_.splitTopLevel(f.order->at + 2, f.order->end);
    if (terms.size() != 1)
        return;
    // column or t.column, then ASC or DESC, then NULLS FIRST or LAST.
    const auto [first, end] = terms.front();
    const size_t column = first + (first + 2 < end && t_[first + 1].isOp(u'.') ? 2 : 0);
    size_t at = column + 1;
    if (at < end && (t_[at].is(u"ASC") || t_[at].is(u"DESC")))
        ++at;
    if (at + 2 == end && t_[at].is(u"NULLS"))
        at += 2;
    if (at != end || !sql::isName(t_[column]) || sql::isKeyword(t_[column]))
        return;
    for (const auto& [a, e] : groups_.splitTopLevel(b.items.first, b.items.last)) {
        if (itemValueEnd(a, e) < e &&
            sql::unquoted(t_[e - 1]).compare(sql::unquoted(t_[column]), Qt::CaseInsensitive) == 0)
            return;  // the select list's alias, not the table's column
    }
    auto whole = [&](Range r, qlonglong& n) {
        bool ok = r.size() == 1 && t_[r.first].kind == TokenKind::Number;
        n = ok ? qlonglong(t_[r.first].text.toDouble(&ok)) : 0;
        return ok;
    };
    auto bind = [&](Range r) { return r.size() == 1 && t_[r.first].kind == TokenKind::Param; };
    qlonglong skipped = 0, rows = 0;
    RankStop stop{0, kNone, {first, end}, false};
    if (bind(f.offset))
        stop.offsetBind = f.offset.first;
    else if (!f.offset.empty() && !whole(f.offset, skipped))
        return;
    if (f.count.empty())
        rows = 1;
    else if (bind(f.count))
        stop.bind = f.count.first;
    else if (!whole(f.count, rows))
        return;
    stop.rows = qMax(skipped, 0LL) + qMax(rows, 0LL);
    if (stop.bind == kNone && rows < 1)
        return;  // nothing is kept anyway
    rankStops_[b.first] = stop;
}

// The names of the columns of query `b`: an item's alias or heading, or the columns its * or t.*
// stands for.
QStringList Translator::blockColumns(const Block& b) const {
    QStringList names;
    for (const auto& [a, e] : groups_.splitTopLevel(b.items.first, b.items.last)) {
        if (const QStringList columns = starColumns(b, {a, e}); !columns.isEmpty()) {
            names << columns;
            continue;
        }
        const size_t valueEnd = itemValueEnd(a, e);
        names << (valueEnd == e                         ? sql::columnHeading(t_, a, e)
                  : t_[e - 1].kind == TokenKind::Quoted ? sql::unquoted(t_[e - 1])
                                                        : sql::unquoted(t_[e - 1]).toUpper());
    }
    return names;
}

// The columns item `item` of `b` stands for when it is * (those of each table, or of the one
// SELECT in FROM) or t.*; empty for any other item.
QStringList Translator::starColumns(const Block& b, Range item) const {
    QStringList columns;
    if (item.size() == 1 && t_[item.first].isOp(u'*')) {
        const Clause* from = b.find(ClauseKind::From);
        if (from && from->body < from->end && t_[from->body].isOp(u'(') &&
            from->body + 1 < from->end && t_[from->body + 1].is(u"SELECT")) {
            const size_t close = closing(from->body, from->end);
            const size_t after = close + 1;
            // ( SELECT ... ) [alias]: nothing else in FROM.
            if (after == from->end || (after + 1 == from->end && sql::isName(t_[after])))
                return blockColumns(scanBlock(from->body + 1, close));
        }
        for (const TableRef& ref : queryNames(b).tables)
            columns << tableColumns(ref.table);
    } else if (item.size() >= 3 && t_[item.last - 1].isOp(u'*') && t_[item.last - 2].isOp(u'.')) {
        const QString qualifier = sql::unquoted(t_[item.last - 3]);
        QString named;
        for (const TableRef& ref : queryNames(b).tables) {
            if (ref.alias.compare(qualifier, Qt::CaseInsensitive) == 0 ||
                (ref.alias.isEmpty() && ref.table.compare(qualifier, Qt::CaseInsensitive) == 0))
                named = ref.table;
        }
        columns << tableColumns(named);
    }
    return columns;
}

// The columns of `table` as the query's * gives them; refused for anything that is no table of
// the schema (a subquery's columns are not known here).
QStringList Translator::tableColumns(const QString& name) const {
    const TableFacts* facts = name.isEmpty() ? nullptr : table(name);
    if (!facts)
        refuse(
            QStringLiteral("* of a subquery with FETCH ... WITH TIES or PERCENT is not "
                           "supported"));
    QStringList columns;
    for (const ColumnFacts& c : facts->columns)
        columns << c.name;
    return columns;
}

// , ROW_NUMBER() OVER (ORDER BY keys), RANK() OVER (ORDER BY keys) for ties, COUNT(*) over all
// rows for a percentage: after the select list of the query rankedFetchQuery() writes. All
// windows share one order, so the rows are sorted once and come out in it.
void Translator::rankedFetchColumns(const Block& b, const RankedFetch& f, const Scope& outer) {
    const QueryNames names = queryNames(b);
    const Scope keys{{}, outer.level, &names};
    auto window = [&](QStringView function, QStringView frame, const QString& name) {
        write(u", ");
        write(function);
        write(u" OVER (");
        if (f.order)
            windowOrder(b, *f.order, keys);
        write(frame);
        write(u") AS ");
        write(name);
    };
    window(u"row_number()", u"", kPageRowNumber);
    if (f.ties && f.order)
        window(u"rank()", u"", kRank);
    if (f.percent) {
        window(u"count(*)",
               f.order ? u" ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING" : u"",
               kTotal);
    }
}

// ORDER BY terms in a window, where SQLite knows neither the select list's aliases nor its
// positions: such a term is written as the item's value. NULLs sort as Oracle sorts them.
void Translator::windowOrder(const Block& b, const Clause& order, const Scope& scope) {
    const std::vector<Range> items = groups_.splitTopLevel(b.items.first, b.items.last);
    write(u"ORDER BY ");
    bool firstTerm = true;
    for (const auto& [first, termEnd] : groups_.splitTopLevel(order.at + 2, order.end)) {
        if (first >= termEnd)
            continue;
        if (!firstTerm)
            write(u", ");
        firstTerm = false;
        size_t value = termEnd;
        const bool nulls = value - first > 2 && t_[value - 2].is(u"NULLS");
        if (nulls)
            value -= 2;
        const bool descending = t_[value - 1].is(u"DESC");
        if (descending || t_[value - 1].is(u"ASC"))
            --value;
        Range key{first, value};
        QString written;  // a column of a * item named by its position
        if (key.size() == 1 && t_[first].kind == TokenKind::Number) {
            qsizetype k = t_[first].text.toLongLong() - 1;
            bool found = false;
            for (const Range& item : items) {
                QStringList columns = starColumns(b, item);
                if (columns.isEmpty() && k == 0) {
                    key = {item.first, itemValueEnd(item.first, item.last)};
                    found = true;
                    break;
                }
                if (columns.isEmpty()) {
                    --k;
                    continue;
                }
                // t.* names the table's columns through the table, * each by its own name.
                const QString qualifier =
                    item.size() >= 3 ? sql::quotedName(sql::unquoted(t_[item.last - 3])) + u'.'
                                     : QString();
                for (QString& c : columns)
                    c = qualifier + sql::quotedName(c);
                if (k >= 0 && k < columns.size()) {
                    written = columns[k];
                    found = true;
                    break;
                }
                k -= columns.size();
            }
            if (!found || t_[first].text.toLongLong() < 1)
                throw oracleError(1785, QStringLiteral("ORA-01785: ORDER BY item must be the "
                                                       "number of a SELECT-list expression"));
        } else if (key.size() == 1 && sql::isName(t_[first])) {
            for (const Range& item : items) {
                const size_t valueEnd = itemValueEnd(item.first, item.last);
                if (valueEnd < item.last &&
                    sql::unquoted(t_[item.last - 1])
                            .compare(sql::unquoted(t_[first]), Qt::CaseInsensitive) == 0)
                    key = {item.first, valueEnd};
            }
        }
        write(u"(");
        if (written.isEmpty())
            render(key.first, key.last, scope);
        else
            write(written);
        write(u")");
        if (descending)
            write(u" DESC");
        if (nulls)
            write(t_[termEnd - 1].is(u"FIRST") ? u" NULLS FIRST" : u" NULLS LAST");
        else if (key.first != first || !neverNull(key, *scope.names))
            write(descending ? u" NULLS FIRST" : u" NULLS LAST");
    }
}

}  // namespace qv::embedded
