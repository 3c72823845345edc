// How the engine has SQLite join the tables of a query as Oracle would: see steering.h.
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/plan/steeringwork.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace qv::embedded::steer {

namespace {

// Whether the hash join of the table read as `alias` is one Oracle would choose: the join meets
// a quarter of its larger input at least (a nested loop from the smaller one would fetch that
// share of the larger one's rows, one probe at a time).
bool worthHashing(const std::vector<PlanRow>& rows, const QString& alias) {
    for (const PlanRow& r : rows) {
        const PlanRow* join = r.parentId >= 0 ? &rows[size_t(r.parentId)] : nullptr;
        if (r.alias != alias || r.role != PlanRole::Access || !join ||
            join->operation != u"HASH JOIN")
            continue;
        for (const PlanRow& other : rows)
            if (other.parentId == join->id && other.id != r.id)
                return 4 * join->cardinality >= std::max(r.cardinality, other.cardinality);
    }
    return false;
}

// Whether a join condition of `statement` names the table read as `alias` (or a column no table
// qualifies, which may be its).
bool joined(const ParsedStatement& statement, const QString& alias) {
    const QList<Predicate>& conditions = statement.conditions();
    return std::any_of(conditions.begin(), conditions.end(), [&](const Predicate& c) {
        return c.isJoin() && (c.alias.isEmpty() || c.otherAlias.isEmpty() || c.alias == alias ||
                              c.otherAlias == alias);
    });
}

// A table joined to none before it, which SQLite reads whole again for each of their rows: read
// once into a copy that each of their rows reads (Oracle's BUFFER SORT under MERGE JOIN
// CARTESIAN), when the plan draws that buffer.
void bufferCartesian(Work& w, size_t k, const std::vector<EqpLine>& current) {
    Planner& p = w.p;
    p.copied[k] = true;
    const std::vector<size_t> order = w.order;
    keepOrder(w, current);
    bool buffered = false;
    if (const auto lines = p.plan(w.current());
        lines && !lineOf(*lines, p.from.tables[k].alias).isEmpty()) {
        try {
            const std::vector<PlanRow> rows =
                translatePlan(p.statement, *lines, p.owner, p.db, p.peeked);
            buffered = std::any_of(rows.begin(), rows.end(), [](const PlanRow& r) {
                return r.operation == u"BUFFER" && r.starts.kind == Measure::Loops;
            });
        } catch (const sqlite::Error&) {
        }
    }
    p.copied[k] = buffered;
    if (!buffered)
        w.order = order;
}

// A FULL join of two tables builds on the smaller input, as Oracle's does: SQLite's text has
// the smaller table right, where it is hashed, and a table joined to a view (which the engine
// does not hash) right of it (when neither a * nor USING or NATURAL reads the order of the two).
void buildFullJoinOnSmaller(Work& w) {
    Planner& p = w.p;
    const FromTable& left = p.from.tables[0];
    const FromTable& right = p.from.tables[1];
    const QString join = p.base.mid(left.end, right.begin - left.end).toUpper();
    if (!join.contains(u"FULL ") || join.contains(u"NATURAL ") || left.table.isEmpty() ||
        left.indexed || right.indexed)
        return;
    const std::vector<sql::Token> t = sql::tokenize(p.base);
    for (size_t i = 0; i < t.size() && t[i].begin < right.end; ++i)
        if ((t[i].isOp(u'*') && t[i].begin < left.begin && (i == 0 || !t[i - 1].isOp(u'('))) ||
            (t[i].begin > left.end && t[i].is(u"USING")))
            return;
    try {
        PlanEstimates estimates(p.db);
        if (!right.table.isEmpty() &&
            estimates.table(left.table).rows >= estimates.table(right.table).rows)
            return;
    } catch (const sqlite::Error&) {
        return;
    }
    // Each table with its alias; the ON condition stays where it stands.
    const QString leftText = p.base.mid(left.begin, left.after - left.begin);
    const QString rightText = p.base.mid(right.begin, right.after - right.begin);
    p.base = p.base.left(left.begin) + rightText +
             p.base.mid(left.after, right.begin - left.after) + leftText + p.base.mid(right.after);
    p.from = readFromList(p.base);
    std::swap(w.directive[0], w.directive[1]);
    std::swap(w.method[0], w.method[1]);
    const bool hinted = w.hinted[0];
    w.hinted[0] = w.hinted[1];
    w.hinted[1] = hinted;
}

// The table whose rows that met none the list's one RIGHT or FULL join reads again (Planner::
// readAgain); false when it has more such joins, which are not hashed.
bool keepRightJoined(Work& w) {
    Planner& p = w.p;
    const int kept = rightJoined(p.base, p.from);
    if (kept == -2)
        return false;
    if (kept >= 0) {
        if (p.from.tables.size() == 2)
            buildFullJoinOnSmaller(w);
        p.readAgain.assign(p.from.tables.size(), false);
        p.readAgain[size_t(kept)] = true;
    }
    return true;
}

// A hashed table SQLite reads first after all is read whole once without its area: it is the
// probe input, not a build (unless the other joins were hashed only with it so).
void dropAreasReadFirst(Work& w) {
    Planner& p = w.p;
    const auto automatic = [](const std::vector<EqpLine>& l) {
        return std::count_if(l.begin(), l.end(),
                             [](const EqpLine& e) { return e.detail.contains(u"AUTOMATIC"); });
    };
    for (size_t k = 0; k < p.from.tables.size(); ++k) {
        const auto lines = p.plan(w.current());
        if (!p.copied[k] || !lines || firstLoop(*lines) != p.from.tables[k].alias)
            continue;
        p.copied[k] = false;
        const auto without = p.plan(w.current());
        p.copied[k] = !without || automatic(*without) < automatic(*lines);
    }
}

}  // namespace

// Fixes the order of the tables as SQLite runs them in `current` (when no hint did and the
// FROM list may be reordered), which a copy of one of them could change, with table `last` (if
// any) moved to the end; false when it cannot.
bool keepOrder(Work& w, const std::vector<EqpLine>& current, size_t last) {
    Planner& p = w.p;
    if (!w.order.empty() || !(p.from.commas || innerJoinsOnly(p.base, p.from)))
        return false;
    std::vector<std::pair<int, size_t>> at;
    for (size_t t = 0; t < p.from.tables.size(); ++t) {
        const QString line = lineOf(current, p.from.tables[t].alias);
        const auto found = std::find_if(current.begin(), current.end(),
                                        [&](const EqpLine& l) { return l.detail == line; });
        at.emplace_back(found == current.end() ? INT_MAX : found->id, t);
    }
    std::sort(at.begin(), at.end());
    for (const auto& [id, t] : at)
        if (t != last)
            w.order.push_back(t);
    if (last < p.from.tables.size())
        w.order.push_back(last);
    return true;
}

// Hash joins. A table SQLite searches by an index once for each row of the loops before it is
// read once and hashed instead (SQLite's transient index on a copy of it) when the estimates
// find that cheaper, or when a hint asks; a hint asking for nested loops turns SQLite's own
// transient index into the cheapest search by a real index, or a full scan for each row.
void steerJoins(Work& w) {
    Planner& p = w.p;
    const size_t n = p.from.tables.size();
    // Only a query: a statement that changes rows reads them as they are when it changes them.
    if (n < 2 || statementKind(p.statement.tokens()) != u"SELECT")
        return;
    // A copy has no rowids of the table's. SQLite reads a RIGHT or FULL join's tables in the
    // order written, and the right table's rows that met none again after the join: only a list
    // with one such join is hashed, its right table read once (the pass reads the area again), as
    // Oracle's HASH JOIN OUTER or FULL OUTER builds on the table whose rows it keeps.
    const bool rowids = p.base.contains(u"rowid", Qt::CaseInsensitive);
    if (!keepRightJoined(w))
        return;
    // USE_HASH of the table SQLite reads first: the table joined after it is the one hashed.
    if (const auto lines = p.plan(w.current())) {
        const QString first = firstLoop(*lines);
        for (size_t k = 0; k < n; ++k) {
            if (w.method[k] != Work::Method::Hash || p.from.tables[k].alias != first)
                continue;
            for (Work::Method& other : w.method)
                if (other == Work::Method::Free)
                    other = Work::Method::Hash;
        }
    }

    // The smaller tables first: SQLite builds its transient index on the copy, which costs least
    // on the smaller input.
    std::vector<std::pair<double, size_t>> bySize;
    try {
        PlanEstimates estimates(p.db);
        for (size_t k = 0; k < n; ++k)
            bySize.emplace_back(p.from.tables[k].table.isEmpty()
                                    ? HUGE_VAL
                                    : estimates.table(p.from.tables[k].table).rows,
                                k);
    } catch (const sqlite::Error&) {
        return;
    }
    std::stable_sort(bySize.begin(), bySize.end());
    for (const auto& [size, k] : bySize) {
        const FromTable& table = p.from.tables[k];
        if (table.table.isEmpty() || table.indexed || !p.copyable(table.table))
            continue;
        const auto lines = p.plan(w.current());
        if (!lines)
            return;
        const QString line = lineOf(*lines, table.alias);
        // The table whose rows a RIGHT or FULL join keeps is hashed unless a hint says otherwise:
        // Oracle joins no such table by nested loops, where it is the inner one.
        const Work::Method method =
            w.method[k] == Work::Method::Free && !p.readAgain.empty() && p.readAgain[k]
                ? Work::Method::Hash
                : w.method[k];
        if (line.contains(u"AUTOMATIC")) {
            if (method != Work::Method::NestedLoops || !w.directive[k].isEmpty())
                continue;
            QStringList candidates{QStringLiteral(" NOT INDEXED")};
            for (const auto& index : p.indexes(table.table))
                candidates << indexedBy(index.first);
            QStringList searched;
            for (const QString& c : candidates) {
                std::vector<QString> d = w.directive;
                d[k] = c;
                const auto plan = p.plan(p.text(d, w.order));
                if (plan && !lineOf(*plan, table.alias).contains(u"AUTOMATIC"))
                    searched << c;
            }
            if (const int best = w.cheapest(k, searched); best >= 0)
                w.directive[k] = searched[best];
            continue;
        }
        // Searched for each row before it, or read first and joined to the next: hashed, it
        // is searched once for each row of the other, which SQLite then reads first.
        // (Read first, it may be the other input of a hash join already, or the outer table of
        // a nested loop a hint asks for.)
        const bool nestedHinted =
            std::count(w.method.begin(), w.method.end(), Work::Method::NestedLoops) > 0;
        const bool hashedAfter = std::any_of(lines->begin(), lines->end(), [](const EqpLine& l) {
            return l.parent == 0 && l.detail.contains(u"AUTOMATIC");
        });
        const bool probed = (line.startsWith(u"SEARCH") && firstLoop(*lines) != table.alias) ||
                            (firstLoop(*lines) == table.alias && !hashedAfter && !nestedHinted &&
                             joined(p.statement, table.alias));
        if (!rowids && !line.isEmpty() && firstLoop(*lines) != table.alias &&
            !joined(p.statement, table.alias)) {
            bufferCartesian(w, k, *lines);
            continue;
        }
        // A table a hint joins by nested loops stays the inner table of its loop: none is
        // hashed against it unless a hint asks.
        if (rowids || method == Work::Method::NestedLoops ||
            (!probed && method != Work::Method::Hash) ||
            (nestedHinted && method != Work::Method::Hash))
            continue;
        const double before = method == Work::Method::Hash ? kNoPlan : p.cost(w.current());
        p.copied[k] = true;
        // Cheaper by the estimates, and meeting enough of the larger input (worthHashing()):
        // SQLite builds its transient index on the copy, whichever input is smaller.
        auto hashes = [&] {
            const auto tried = p.plan(w.current());
            if (!tried || !lineOf(*tried, table.alias).contains(u"AUTOMATIC"))
                return false;
            const std::vector<PlanRow> rows = p.planRows(w.current());
            return method == Work::Method::Hash ||
                   (!rows.empty() && double(rows.front().cost) < before &&
                    worthHashing(rows, table.alias));
        };
        // SQLite may read the copy first instead: then in the order it reads them now.
        const std::vector<size_t> order = w.order;
        // The table read first is hashed for the one joined after it: read after it.
        const bool first = firstLoop(*lines) == table.alias;
        p.copied[k] = hashes() || (keepOrder(w, *lines, first ? k : SIZE_MAX) && hashes());
        if (!p.copied[k])
            w.order = order;
    }
    dropAreasReadFirst(w);
}

}  // namespace qv::embedded::steer
