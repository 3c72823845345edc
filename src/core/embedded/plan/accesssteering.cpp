// Which indexes may read a table as Oracle's b-tree indexes would: see steering.h.
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/plan/steeringwork.h"
#include "core/sql/sqltokens.h"

#include <QRegularExpression>

#include <algorithm>

namespace qv::embedded::steer {

namespace {

// The index a line of SQLite's plan reads the table by; empty for none.
QString indexOfLine(const QString& line) {
    static const QRegularExpression kIndex(QStringLiteral(R"( USING (?:COVERING )?INDEX (\S+))"));
    const QRegularExpressionMatch m = kIndex.match(line);
    return m.hasMatch() && !line.contains(u" AUTOMATIC ") ? m.captured(1) : QString();
}

// Whether a condition keeps no row whose `column` is NULL.
bool rejectsNull(const Predicate& p) {
    return !p.function && p.op != u"IS NULL" && p.op != u"OR" && !p.op.isEmpty();
}

// Whether condition `p` drops the rows of the table read as `alias` that it fails: one of the
// WHERE clause, or the ON condition of an inner join, or of an outer join that does not keep
// that table's rows (LEFT JOIN the table after it, RIGHT JOIN those before it, FULL JOIN none).
bool dropsRowsOf(const std::vector<sql::Token>& t, const Predicate& p, const QString& alias) {
    // The clause it stands in: the nearest ON or WHERE before it.
    size_t on = std::min(p.at, t.size());
    while (on > 0 && !t[on - 1].is(u"ON") && !t[on - 1].is(u"WHERE"))
        --on;
    if (on == 0 || !t[on - 1].is(u"ON"))
        return true;
    size_t join = on - 1;
    while (join > 0 && !t[join].is(u"JOIN"))
        --join;
    const bool full =
        join > 0 && (t[join - 1].is(u"FULL") ||
                     (join > 1 && t[join - 1].is(u"OUTER") && t[join - 2].is(u"FULL")));
    const bool left =
        join > 0 && (t[join - 1].is(u"LEFT") ||
                     (join > 1 && t[join - 1].is(u"OUTER") && t[join - 2].is(u"LEFT")));
    const bool right =
        join > 0 && (t[join - 1].is(u"RIGHT") ||
                     (join > 1 && t[join - 1].is(u"OUTER") && t[join - 2].is(u"RIGHT")));
    // The table the JOIN adds: its alias, else its name.
    QString added;
    for (size_t i = join + 1; i + 1 < on; ++i)
        if (sql::isName(t[i]) && !t[i].isOp(u'.') && !sql::isKeyword(t[i]))
            added = sql::unquoted(t[i]).toLower();
    const bool owner = added == alias;
    return !full && !(left && !owner) && !(right && owner);
}

// Whether every use of `column` in the statement is the argument of an aggregate that passes
// NULL over (count(c), count(DISTINCT c), min(c) ...): the rows without a value are not needed
// then.
bool onlyAggregated(const std::vector<sql::Token>& t, const QString& column) {
    bool used = false;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != sql::TokenKind::Word && t[i].kind != sql::TokenKind::Quoted)
            continue;
        if (t[i].text.toString().remove(u'"').compare(column, Qt::CaseInsensitive) != 0)
            continue;
        used = true;
        size_t open = i;
        if (open >= 2 && t[open - 1].isOp(u'.'))
            open -= 2;
        if (open >= 1 && t[open - 1].is(u"DISTINCT"))
            open -= 1;
        const bool aggregate =
            open >= 2 && t[open - 1].isOp(u'(') &&
            (t[open - 2].is(u"COUNT") || t[open - 2].is(u"MIN") || t[open - 2].is(u"MAX") ||
             t[open - 2].is(u"SUM") || t[open - 2].is(u"AVG"));
        if (!aggregate || i + 1 >= t.size() || !t[i + 1].isOp(u')'))
            return false;
    }
    return used;
}

// Whether a search by SQLite's line `line` may look up NULL keys: an IS NULL condition on
// the table read as `alias` names a column the search constrains ("(a=? AND b>?)"). A search
// by any other condition finds no row whose key is NULL.
bool searchesNull(const QString& line, const QString& alias, const QList<Predicate>& conditions) {
    static const QRegularExpression kColumn(QStringLiteral(R"((\w+)(?:=|>|<|>=|<=)\?)"));
    const qsizetype open = line.indexOf(u'(');
    if (open < 0)
        return false;
    for (auto it = kColumn.globalMatch(line, open); it.hasNext();) {
        const QString column = it.next().captured(1).toLower();
        for (const Predicate& c : conditions)
            if (c.op == u"IS NULL" && c.column == column && (c.alias.isEmpty() || c.alias == alias))
                return true;
    }
    return false;
}

// The line of SQLite's plan that reads `alias`, a window's co-routine's among them; empty when
// none does.
QString loopOf(const std::vector<EqpLine>& lines, const QString& alias) {
    for (const EqpLine& l : lines) {
        const QStringList words = l.detail.toLower().split(u' ');
        if (words.size() >= 2 && (words[0] == u"scan" || words[0] == u"search") &&
            (words[1] == alias || (words.size() >= 4 && words[2] == u"as" && words[3] == alias)))
            return l.detail;
    }
    return {};
}

}  // namespace

bool holdsNeededRows(const Planner& p, const FromTable& table, const QString& index) {
    try {
        sqlite::Statement list(p.db, "SELECT partial FROM pragma_index_list(?1) WHERE name = ?2");
        list.bind(1, table.table).bind(2, index);
        if (!list.step() || list.integer(0) != 0)
            return true;  // a partial index holds the rows its condition names
        // Each key column, and whether it is declared NOT NULL (a primary key's is).
        sqlite::Statement keys(p.db,
                               "SELECT ii.cid, ii.name, coalesce(ti.\"notnull\" OR ti.pk > 0, 0) "
                               "FROM pragma_index_info(?2) ii LEFT JOIN pragma_table_info(?1) ti "
                               "ON ti.cid = ii.cid");
        keys.bind(1, table.table).bind(2, index);
        const QList<Predicate>& conditions = p.statement.conditions();
        while (keys.step()) {
            if (keys.integer(0) < 0 || keys.integer(2) != 0)
                return true;  // an expression, or a column that always has a value
            const QString column = keys.text(1).toLower();
            const bool kept = std::any_of(conditions.begin(), conditions.end(), [&](const auto& c) {
                const bool own =
                    c.column == column && (c.alias.isEmpty() || c.alias == table.alias);
                const bool joined = c.otherColumn == column && c.otherAlias == table.alias;
                return (own || joined) && rejectsNull(c) &&
                       dropsRowsOf(p.statement.tokens(), c, table.alias);
            });
            if (kept || onlyAggregated(p.statement.tokens(), column))
                return true;
        }
        return false;
    } catch (const sqlite::Error&) {
        return true;
    }
}

namespace {

// The index by which SQLite's line `line` reads `table` when that index lacks rows the statement
// needs (a search that may look up NULL keys, or the index read whole); empty when none does.
QString indexLackingRows(const Planner& p, const FromTable& table, const QString& line) {
    const QString index = indexOfLine(line);
    if (table.table.isEmpty() || table.indexed || index.isEmpty() ||
        (line.startsWith(u"SEARCH") &&
         !searchesNull(line, table.alias, p.statement.conditions())) ||
        holdsNeededRows(p, table, index))
        return {};
    return index;
}

}  // namespace

void steerNulls(Work& w) {
    Planner& p = w.p;
    const auto lines = p.plan(w.current());
    if (!lines)
        return;
    for (size_t k = 0; k < p.from.tables.size(); ++k) {
        const FromTable& table = p.from.tables[k];
        const QString index = indexLackingRows(p, table, lineOf(*lines, table.alias));
        if (index.isEmpty())
            continue;
        // A b-tree keeps no entry whose key is all NULL: read the table whole, or by an index
        // that holds the rows.
        // An index that finds the rows by the statement's conditions, or that holds all the
        // statement reads; not one read whole to fetch each row from the table.
        QStringList candidates{QStringLiteral(" NOT INDEXED")};
        for (const auto& other : p.indexes(table.table)) {
            if (other.first.compare(index, Qt::CaseInsensitive) == 0 ||
                !holdsNeededRows(p, table, other.first))
                continue;
            std::vector<QString> d = w.directive;
            d[k] = indexedBy(other.first);
            const auto drawn = p.plan(p.text(d, w.order));
            const QString by = drawn ? lineOf(*drawn, table.alias) : QString();
            if (by.startsWith(u"SEARCH") || by.contains(u" COVERING INDEX "))
                candidates << d[k];
        }
        w.directive[k] = candidates[std::max(0, w.cheapest(k, candidates))];
        // SQLite counts the rows of a whole table in its smallest index, whatever index it
        // is told.
        const auto steered = p.plan(w.current());
        if (!steered || indexOfLine(lineOf(*steered, table.alias)) == index)
            w.directive[k] = candidates.front();
        // An index hint that asked for the index it cannot use.
        for (qsizetype r = 0; r < w.report.size(); ++r) {
            const QString& name = w.reported[size_t(r)].name;
            if ((name == u"INDEX" || name == u"INDEX_FFS") &&
                w.report[r].alias.section(u'@', 0, 0).compare(table.alias, Qt::CaseInsensitive) ==
                    0)
                w.report[r].state = sql::HintUse::State::Unused;
        }
    }
}

QString steerViewNulls(const Planner& p, const QString& text) {
    const auto lines = p.plan(text);
    if (!lines)
        return text;
    // The span of each inline view's query, from the last: its tables read whole where the
    // index SQLite reads lacks rows they need.
    auto viewSpan = [&](qsizetype begin, const FromTable& view, qsizetype& open, qsizetype& close) {
        const QString query = text.mid(begin);
        open = query.indexOf(u'(', view.begin);
        close = query.lastIndexOf(u')', view.after - 1);
        if (open < 0 || close <= open || open >= view.after)
            return false;
        open += begin + 1;
        close += begin;
        return true;
    };
    QString out = text;
    const FromList top = readFromList(text);
    for (auto item = top.tables.rbegin(); item != top.tables.rend(); ++item) {
        if (!item->table.isEmpty())
            continue;
        // The query of the view, or of the one view it reads, and so on down to one that reads
        // tables.
        qsizetype begin = 0, end = 0;
        if (!viewSpan(0, *item, begin, end))
            continue;
        for (;;) {
            const FromList inner = readFromList(text.mid(begin, end - begin));
            if (inner.tables.size() != 1 || !inner.tables.front().table.isEmpty())
                break;
            qsizetype open = 0, close = 0;
            if (!viewSpan(begin, inner.tables.front(), open, close))
                break;
            begin = open;
            end = close;
        }
        const QString query = text.mid(begin, end - begin);
        const FromList from = readFromList(query);
        std::vector<QString> directive(from.tables.size());
        bool steered = false;
        for (size_t k = 0; k < from.tables.size(); ++k) {
            const FromTable& table = from.tables[k];
            if (indexLackingRows(p, table, loopOf(*lines, table.alias)).isEmpty())
                continue;
            directive[k] = QStringLiteral(" NOT INDEXED");
            steered = true;
        }
        if (steered)
            out = out.left(begin) + rewriteFrom(query, from, directive, {}) + out.mid(end);
    }
    return out != text && p.plan(out) ? out : text;
}

}  // namespace qv::embedded::steer
