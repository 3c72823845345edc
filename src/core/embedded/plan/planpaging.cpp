// Index order and rowid batching, as Oracle draws them for top-N and paged queries (see
// translatePlan()): an index read backwards for a descending order is a DESCENDING scan, and the
// table rows of a range scan are fetched in batches unless their order or a STOPKEY above needs
// them one by one.
#include "core/embedded/plan/plansteps.h"

#include <QRegularExpression>

#include <optional>

namespace qv::embedded::plan {

namespace {

// The keys that order the rows of `text`: its ORDER BY, else the ORDER BY of the first window
// of its select list that numbers the rows as they come (no PARTITION BY before it), else those
// of the inline view it reads (which SQLite may have merged into it); empty when none.
Range orderKeys(const std::vector<Token>& t, Range text) {
    if (text.empty())
        return {};
    const size_t select = sql::findTopLevel(t, text.first, text.last, u"SELECT");
    const size_t order = sql::findTopLevel(t, select, text.last, u"ORDER");
    if (order + 2 < text.last) {
        size_t end = text.last;
        for (const char16_t* word : {u"OFFSET", u"FETCH", u"LIMIT"})
            end = std::min(end, sql::findTopLevel(t, order, text.last, word));
        return {order + 2, end};
    }
    const size_t from = sql::findTopLevel(t, select, text.last, u"FROM");
    for (size_t i = select + 1; i + 2 < from; ++i) {
        if (!t[i].is(u"OVER") || !t[i + 1].isOp(u'('))
            continue;
        const size_t close = sql::closing(t, i + 1, from);
        if (t[i + 2].is(u"ORDER") && i + 4 < close)
            return {i + 4, close};
        return {};
    }
    const Range view = inlineView(t, text);
    return view.empty() ? Range{} : orderKeys(t, view);
}

// Whether an index (`index` its INDEX line) is read backwards for the order `keys`: the first
// key that is a column of the index is sorted against the way the index keeps that column (a
// column declared DESC is kept descending); without such a key, whether the first key is
// sorted descending.
bool readBackwards(const std::vector<Token>& t, Range keys, const Step& index) {
    if (keys.empty())
        return false;
    std::optional<bool> first;
    for (const Range& key : sql::splitTopLevel(t, keys.first, keys.last)) {
        const bool descending = sql::findTopLevel(t, key.first, key.last, u"DESC") < key.last;
        if (!first)
            first = descending;
        // The column: the last name before ASC, DESC or NULLS.
        size_t end = key.last;
        while (end > key.first &&
               sql::isOneOf(t[end - 1], {u"ASC", u"DESC", u"FIRST", u"LAST", u"NULLS"}))
            --end;
        if (end == key.first || !sql::isName(t[end - 1]))
            continue;
        const qsizetype at = index.indexColumns.indexOf(sql::unquoted(t[end - 1]).toLower());
        if (at >= 0)
            return descending != index.indexDescending.value(at);
    }
    return first.value_or(false);
}

bool sorting(const Step& s) {
    return s.operation == u"SORT" || s.operation.startsWith(u"HASH") ||
           (s.operation == u"WINDOW" && !s.options.startsWith(u"NOSORT")) ||
           s.operation == u"MINUS" || s.operation == u"INTERSECTION";
}

}  // namespace

bool Builder::indexOrders(const QString& index, Range text) {
    const Range keys = orderKeys(tokens_, text);
    if (keys.empty())
        return false;
    const PlanEstimates::Index& i = estimates_.index(index);
    std::optional<bool> backwards;
    size_t column = 0;
    for (const Range& key : sql::splitTopLevel(tokens_, keys.first, keys.last)) {
        auto has = [&](const char16_t* word) {
            return sql::findTopLevel(tokens_, key.first, key.last, word) < key.last;
        };
        size_t end = key.last;
        while (end > key.first &&
               sql::isOneOf(tokens_[end - 1], {u"ASC", u"DESC", u"FIRST", u"LAST", u"NULLS"}))
            --end;
        if (end == key.first || !sql::isName(tokens_[end - 1]) ||
            (end - key.first > 1 && !tokens_[end - 2].isOp(u'.')) ||
            column >= size_t(i.columns.size()) ||
            sql::unquoted(tokens_[end - 1])
                    .compare(i.columns[qsizetype(column)], Qt::CaseInsensitive) != 0)
            return false;
        const bool back = has(u"DESC") != i.descending.value(qsizetype(column));
        // NULLs last read forwards, first read backwards: where Oracle's index has them.
        if (backwards.value_or(back) != back || (back ? has(u"LAST") : has(u"FIRST")))
            return false;
        backwards = back;
        ++column;
    }
    return true;
}

bool Builder::sortsNullsOnly(int id, const std::vector<int>& lines, Range text) {
    static const QRegularExpression kIndexed(
        QStringLiteral(R"(^(?:SCAN|SEARCH) \S+ USING (?:COVERING )?INDEX (\S+))"));
    const QString& d = nodes_[id].detail;
    if (!d.endsWith(u"LAST TERM OF ORDER BY") && !d.endsWith(u"RIGHT PART OF ORDER BY"))
        return false;
    const auto loop = std::find_if(lines.begin(), lines.end(), [&](int l) {
        return kIndexed.match(nodes_[l].detail).hasMatch();
    });
    return loop != lines.end() &&
           indexOrders(kIndexed.match(nodes_[*loop].detail).captured(1), text);
}

void Builder::readInOrder(Step& first, Range text) const {
    const Range keys = orderKeys(tokens_, text);
    for (Step* line = &first; !sorting(*line); line = &line->children.front()) {
        line->ordered = true;
        if (line->operation == u"INDEX") {
            // Read for its order, the index is read through its leaves, not in no order.
            if (line->options == u"FAST FULL SCAN")
                line->options = QStringLiteral("FULL SCAN");
            if (readBackwards(tokens_, keys, *line) &&
                (line->options == u"RANGE SCAN" || line->options == u"FULL SCAN"))
                line->options += QStringLiteral(" DESCENDING");
            return;
        }
        if (line->operation == u"TABLE ACCESS" && line->options == u"FULL" &&
            line->children.empty()) {
            // The key's index has no other column: read backwards for a descending first key.
            byPrimaryKey(*line, readBackwards(tokens_, keys, Step{}));
            return;
        }
        if (line->children.empty() || line->operation == u"VIEW")
            return;
    }
}

// A table read in the order of its INTEGER PRIMARY KEY, which is SQLite's rowid: to Oracle the
// rows of the primary key's index, each fetched by its rowid. The index line hands on what the
// scan read.
void Builder::byPrimaryKey(Step& table, bool descending) const {
    const QString name = table.object.toLower();
    const PlanEstimates::Table& t = estimates_.table(name);
    if (t.rowidColumn.isEmpty())
        return;
    const QString key = estimates_.keyName(name, {t.rowidColumn});
    Step index = step(QStringLiteral("INDEX"), descending ? QStringLiteral("FULL SCAN DESCENDING")
                                                          : QStringLiteral("FULL SCAN"));
    index.object = key.isEmpty() ? QStringLiteral("PK_") + table.object : key;
    index.owned = table.owned;
    index.card = table.card;
    index.cost = std::max(1.0, table.cost / 4);
    index.width = t.widths.value(t.columns.indexOf(t.rowidColumn), 4);
    index.keys = {t.rowidColumn};
    index.starts = table.starts;
    index.rows = table.loop >= 0 ? Measure::visits(table.loop) : Measure{};
    index.loop = table.loop;
    index.role = PlanRole::Index;
    index.alias = table.alias;
    index.block = table.block;
    index.ordered = true;
    table.options = QStringLiteral("BY INDEX ROWID");
    table.children = {index};
}

void countedView(Step& view, int id) {
    if (view.operation != u"VIEW" || view.children.size() != 1 ||
        view.children.front().operation != u"COUNT")
        return;
    for (Step* line = &view.children.front();; line = &line->children.front()) {
        if (line->rows.kind == Measure::None)
            line->rows = Measure::visits(id);
        const bool passes = line->operation == u"COUNT" || line->operation == u"VIEW" ||
                            line->options == u"ORDER BY STOPKEY";
        if (!passes || line->children.size() != 1 || line->options == u"ORDER BY STOPKEY")
            return;
    }
}

void batchRowidAccess(Step& s, bool stopped) {
    if (s.operation == u"TABLE ACCESS" && s.options == u"BY INDEX ROWID" && !s.ordered &&
        !stopped && !s.children.empty() && s.children.front().operation == u"INDEX" &&
        s.children.front().options == u"RANGE SCAN")
        s.options = QStringLiteral("BY INDEX ROWID BATCHED");
    if (s.options.endsWith(u"STOPKEY"))
        stopped = s.operation == u"COUNT" || s.operation == u"WINDOW";
    else if (sorting(s))
        stopped = false;
    for (Step& child : s.children)
        batchRowidAccess(child, stopped);
}

}  // namespace qv::embedded::plan
