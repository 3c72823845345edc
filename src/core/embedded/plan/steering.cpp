#include "core/embedded/plan/steering.h"

#include "core/embedded/catalog/optimizerstats.h"
#include "core/embedded/parse/hints.h"
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/plan/fromlist.h"
#include "core/embedded/plan/planestimates.h"
#include "core/sql/tokenlist.h"
#include "core/sqlite/sqlite.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <optional>

namespace qv::embedded {

namespace {

using sql::HintUse;
using State = HintUse::State;

constexpr double kNoPlan = std::numeric_limits<double>::infinity();

// What the engine reads while it steers a statement.
struct Planner {
    sqlite3* db;
    const ParsedStatement& statement;
    const QString& owner;
    FromList from;
    QString base;  // SQLite's text of the statement as translated

    // SQLite's plan of `text`; nullopt when SQLite finds none (an index it cannot use).
    std::optional<std::vector<EqpLine>> plan(const QString& text) const {
        try {
            sqlite::Statement eqp =
                sqlite::Statement::single(db, "EXPLAIN QUERY PLAN " + text.toUtf8());
            std::vector<EqpLine> lines;
            while (eqp.step())
                lines.push_back({int(eqp.integer(0)), int(eqp.integer(1)), eqp.text(3)});
            return lines;
        } catch (const sqlite::Error&) {
            return std::nullopt;
        }
    }
    // The cost the engine's estimates give the plan of `text`: infinite for none.
    double cost(const QString& text) const {
        const std::vector<PlanRow> rows = planRows(text);
        return rows.empty() ? kNoPlan : double(rows.front().cost);
    }
    // The engine's plan of `text`; none when SQLite or the estimates have none.
    std::vector<PlanRow> planRows(const QString& text) const {
        const auto lines = plan(text);
        if (!lines)
            return {};
        try {
            return translatePlan(statement, *lines, owner, db);
        } catch (const sqlite::Error&) {
            return {};
        }
    }
    // The text with `directive` and `order` (rewriteFrom()); each table whose `keyColumn` is
    // not empty is found by no comparison on that column (its rowid) either.
    QString text(const std::vector<QString>& directive, const std::vector<size_t>& order) const {
        QString out = rewriteFrom(base, from, directive, order, copied);
        for (size_t k = 0; k < keyColumn.size(); ++k)
            if (!keyColumn[k].isEmpty())
                out = withoutKeyAccess(out, from.tables[k].alias, keyColumn[k],
                                       from.tables.size() == 1);
        return out;
    }
    std::vector<QString> keyColumn;  // a full scan's table: its rowid column
    std::vector<bool> copied;        // a table hashed for its join (rewriteFrom())
    // Whether `table` is a table stored in the file with rowids (not a view, a virtual table
    // or one WITHOUT ROWID), which the engine may copy.
    bool copyable(const QString& table) const {
        try {
            sqlite::Statement q(db,
                                "SELECT sql FROM sqlite_schema WHERE type = 'table' AND "
                                "name = ?1 COLLATE NOCASE");
            q.bind(1, table);
            if (!q.step())
                return false;
            const QString sql = q.text(0).simplified().toUpper();
            return !sql.startsWith(u"CREATE VIRTUAL") && !sql.contains(u"WITHOUT ROWID");
        } catch (const sqlite::Error&) {
            return false;
        }
    }
    // SQLite's indexes of `table`, with the names Oracle shows for them.
    std::vector<std::pair<QString, QString>> indexes(const QString& table) const {
        std::vector<std::pair<QString, QString>> found;
        try {
            sqlite::Statement list(db, "SELECT name FROM pragma_index_list(?1)");
            list.bind(1, table);
            PlanEstimates estimates(db);
            while (list.step()) {
                const QString name = list.text(0);
                found.emplace_back(name, estimates.index(name).shown);
            }
        } catch (const sqlite::Error&) {
        }
        return found;
    }
};

QString indexedBy(const QString& index) {
    return QStringLiteral(" INDEXED BY ") + sql::quotedName(index);
}

// Whether SQLite's plan sorts for the ORDER BY.
bool sortsOrder(const std::vector<EqpLine>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const EqpLine& l) {
        return l.detail.contains(u"TEMP B-TREE FOR ORDER BY") ||
               l.detail.contains(u"TEMP B-TREE FOR LAST");
    });
}

// The line of SQLite's plan that reads `alias`; empty when none does. A hashed table's copy
// (MATERIALIZE or CO-ROUTINE) is read under the same alias: the loop that searches the copy is the
// table's.
QString lineOf(const std::vector<EqpLine>& lines, const QString& alias) {
    for (const EqpLine& l : lines) {
        const bool copying = std::any_of(lines.begin(), lines.end(), [&](const EqpLine& m) {
            return m.id == l.parent &&
                   (m.detail.startsWith(u"MATERIALIZE ") || m.detail.startsWith(u"CO-ROUTINE "));
        });
        if (copying)
            continue;
        const QStringList words = l.detail.toLower().split(u' ');
        if (words.size() >= 2 && (words[0] == u"scan" || words[0] == u"search") &&
            (words[1] == alias || (words.size() >= 4 && words[2] == u"as" && words[3] == alias)))
            return l.detail;
    }
    return {};
}

// The statement being steered: its tables' directives and order, and the report.
struct Work {
    Planner& p;
    std::vector<QString> directive;
    std::vector<size_t> order;
    std::vector<bool> hinted;  // a hint decides how the table is read
    // How a hint joins each table to those before it.
    enum class Method { Free, NestedLoops, Hash };
    std::vector<Method> method;
    QList<HintUse> report;
    QString block;
    std::vector<Hint> reported;  // the hint of each entry of the report

    // The table named `name` in a hint (its alias when it has one); -1 when none is.
    int tableNamed(const QString& name) const {
        for (size_t k = 0; k < p.from.tables.size(); ++k)
            if (p.from.tables[k].alias == name.toLower())
                return int(k);
        return -1;
    }
    // The cheapest of `candidates` (directives for table k); -1 when none has a plan.
    int cheapest(size_t k, const QStringList& candidates) const {
        int best = -1;
        double bestCost = kNoPlan;
        for (qsizetype c = 0; c < candidates.size(); ++c) {
            std::vector<QString> d = directive;
            d[k] = candidates[c];
            const double cost = p.cost(p.text(d, order));
            if (cost < bestCost) {
                bestCost = cost;
                best = int(c);
            }
        }
        return best;
    }
    QString current() const { return p.text(directive, order); }
};

// The report's entry of hint `h`, about the table read as `alias` (none: the block or statement).
HintUse use(const Hint& h, State state, const QString& block, const QString& alias = {},
            const QString& reason = {}) {
    HintUse u;
    u.state = state;
    u.block = block;
    u.alias = alias.isEmpty() ? QString() : alias.toUpper() + u'@' + block;
    u.text = h.text;
    u.reason = reason;
    return u;
}

bool isJoinHint(const QString& name) {
    return name == u"USE_NL" || name == u"USE_HASH" || name == u"NO_USE_NL" ||
           name == u"NO_USE_HASH" || name == u"SWAP_JOIN_INPUTS" || name == u"NO_SWAP_JOIN_INPUTS";
}

// The alias of the outermost loop of SQLite's plan (lower case); empty when none.
QString firstLoop(const std::vector<EqpLine>& lines) {
    for (const EqpLine& l : lines) {
        if (l.parent == 0 && (l.detail.startsWith(u"SCAN ") || l.detail.startsWith(u"SEARCH ")))
            return l.detail.section(u' ', 1, 1).toLower();
    }
    return {};
}

// FULL, INDEX, NO_INDEX, INDEX_FFS on table k.
State accessHint(Work& w, const Hint& h, size_t k, QString& reason) {
    const FromTable& table = w.p.from.tables[k];
    if (table.table.isEmpty() || table.indexed)
        return State::Unused;
    const QStringList named = h.args.mid(1);
    auto matches = [&](const std::pair<QString, QString>& index) {
        return named.isEmpty() || std::any_of(named.begin(), named.end(), [&](const QString& n) {
                   return n.compare(index.first, Qt::CaseInsensitive) == 0 ||
                          n.compare(index.second, Qt::CaseInsensitive) == 0;
               });
    };
    const auto indexes = w.p.indexes(table.table);
    if (h.name == u"FULL") {
        w.directive[k] = QStringLiteral(" NOT INDEXED");
        // NOT INDEXED still finds a row by its rowid.
        try {
            w.p.keyColumn[k] = PlanEstimates(w.p.db).table(table.table).rowidColumn;
        } catch (const sqlite::Error&) {
        }
        w.hinted[k] = true;
        return State::Used;
    }
    QStringList candidates;
    for (const auto& index : indexes)
        if ((h.name == u"NO_INDEX") != matches(index))
            candidates << indexedBy(index.first);
    if (h.name == u"NO_INDEX") {
        const QString line =
            lineOf(w.p.plan(w.current()).value_or(std::vector<EqpLine>{}), table.alias);
        const bool usesNamed = std::any_of(indexes.begin(), indexes.end(), [&](const auto& i) {
            return matches(i) && line.contains(QStringLiteral(" INDEX ") + i.first);
        });
        if (usesNamed) {
            candidates << QStringLiteral(" NOT INDEXED");
            w.directive[k] = candidates[std::max(0, w.cheapest(k, candidates))];
        }
        w.hinted[k] = true;
        return State::Used;
    }
    if (candidates.isEmpty() && !named.isEmpty()) {
        reason = QStringLiteral("index specified in the hint doesn't exist");
        return State::Unused;
    }
    // The candidates whose plan line for the table says `wanted`.
    auto drawnAs = [&](const auto& wanted) {
        QStringList kept;
        for (const QString& c : candidates) {
            std::vector<QString> d = w.directive;
            d[k] = c;
            const auto lines = w.p.plan(w.p.text(d, w.order));
            if (lines && wanted(lineOf(*lines, table.alias)))
                kept << c;
        }
        return kept;
    };
    if (h.name == u"INDEX_FFS") {
        // Only an index that holds every column the statement reads is read whole.
        candidates = drawnAs([](const QString& line) { return line.contains(u"COVERING INDEX"); });
    }
    if (h.name == u"INDEX" && named.isEmpty()) {
        // Of all indexes, those that find the rows by the statement's conditions come first.
        const QStringList searching =
            drawnAs([](const QString& line) { return line.startsWith(u"SEARCH"); });
        if (!searching.isEmpty())
            candidates = searching;
    }
    const int best = w.cheapest(k, candidates);
    if (best < 0)
        return State::Unused;
    w.directive[k] = candidates[best];
    w.hinted[k] = true;
    return State::Used;
}

// LEADING and ORDERED: the FROM list in the order they give.
State joinOrderHint(Work& w, const Hint& h) {
    if (!(w.p.from.commas || innerJoinsOnly(w.p.base, w.p.from)) || w.p.from.tables.size() < 2 ||
        !w.order.empty())
        return State::Unused;
    std::vector<size_t> order;
    if (h.name == u"LEADING") {
        for (const QString& a : h.args) {
            const int k = w.tableNamed(a);
            if (k < 0 || std::find(order.begin(), order.end(), size_t(k)) != order.end())
                return State::Unused;
            order.push_back(size_t(k));
        }
    }
    for (size_t k = 0; k < w.p.from.tables.size(); ++k)
        if (std::find(order.begin(), order.end(), k) == order.end())
            order.push_back(k);
    w.order = order;
    return State::Used;
}

// Takes the query block out of `args` (FULL(@SEL$1 e), FULL(e@SEL$1)); false when one names
// another block than `block`, which the engine does not steer.
bool ownBlock(QStringList& args, const QString& block) {
    bool own = true;
    auto mine = [&](QStringView name) {
        own &= name.toString().remove(u'"').compare(block, Qt::CaseInsensitive) == 0;
    };
    if (!args.isEmpty() && args.first().startsWith(u'@'))
        mine(QStringView(args.takeFirst()).mid(1));
    for (QString& a : args) {
        const qsizetype at = a.indexOf(u'@');
        if (at > 0) {
            mine(QStringView(a).mid(at + 1));
            a.truncate(at);
        }
    }
    return own;
}

// What one hint does to the statement (its tables' directives and order, or the goal, kept in
// `goal` for the first goal hint), and its entry in the report; `own` when it names no other
// query block.
void readHint(Work& w, const Hint& h, bool own, QString& goal) {
    const QString& block = w.block;
    if (h.malformed) {
        w.report << use(h, State::SyntaxError, block);
        return;
    }
    if (h.name == u"GATHER_PLAN_STATISTICS")
        return;
    const bool goalHint = h.name == u"ALL_ROWS" || h.name == u"FIRST_ROWS" || h.name == u"RULE" ||
                          h.name == u"CHOOSE";
    if (goalHint) {
        bool number = h.args.isEmpty();
        if (h.name == u"FIRST_ROWS" && h.args.size() == 1)
            h.args[0].toLongLong(&number);
        if (!number) {
            w.report << use(h, State::SyntaxError, block);
        } else if (!goal.isEmpty()) {
            w.report << use(h, State::Unused, QString());
        } else {
            goal = h.name;
            w.report << use(h, State::Used, QString());
        }
        return;
    }
    const bool joinHint = isJoinHint(h.name);
    const bool tableHint = h.name == u"FULL" || h.name == u"INDEX" || h.name == u"NO_INDEX" ||
                           h.name == u"INDEX_FFS" || joinHint;
    if (h.name == u"LEADING" || h.name == u"ORDERED") {
        const bool wellFormed = h.name == u"ORDERED" ? h.args.isEmpty() : !h.args.isEmpty();
        w.report << use(h,
                        !wellFormed ? State::SyntaxError
                        : own       ? joinOrderHint(w, h)
                                    : State::Unused,
                        block);
        return;
    }
    if (!tableHint) {
        w.report << use(h, State::Unused, block);
        return;
    }
    if (h.args.isEmpty()) {
        w.report << use(h, State::SyntaxError, block);
        return;
    }
    const QString& alias = h.args.first();
    const int k = own ? w.tableNamed(alias) : -1;
    if (k < 0) {
        w.report << use(h, own ? State::Unresolved : State::Unused, block);
        return;
    }
    if (joinHint) {
        // Each table it names; whether the plan follows it is decided once the plan is known
        // (checkAgainstPlan).
        for (const QString& a : h.args) {
            const int t = w.tableNamed(a);
            if (t >= 0 && (h.name == u"USE_NL" || h.name == u"NO_USE_HASH"))
                w.method[size_t(t)] = Work::Method::NestedLoops;
            else if (t >= 0 && (h.name == u"USE_HASH" || h.name == u"NO_USE_NL"))
                w.method[size_t(t)] = Work::Method::Hash;
        }
        w.report << use(h, State::Used, block, alias);
        return;
    }
    QString reason;
    const State state = accessHint(w, h, size_t(k), reason);
    w.report << use(h, state, block, alias, reason);
}

// USE_NL and USE_HASH: used when the plan joins their tables so; FULL when the table is read
// whole.
void checkAgainstPlan(Work& w) {
    const auto lines = w.p.plan(w.current()).value_or(std::vector<EqpLine>{});
    for (qsizetype r = 0; r < w.report.size(); ++r) {
        const Hint& h = w.reported[size_t(r)];
        HintUse& u = w.report[r];
        if (h.name == u"FULL" && u.state == State::Used) {
            // Reported used only when the table is read whole.
            const QString line = lineOf(lines, h.args.first().toLower());
            if (!line.startsWith(u"SCAN") || line.contains(u" INDEX "))
                u.state = State::Unused;
            continue;
        }
        if (u.state != State::Used)
            continue;
        // LEADING and ORDERED: used when the plan reads their first table first.
        const QString leading = h.name == u"LEADING" && !h.args.isEmpty() ? h.args.first().toLower()
                                : h.name == u"ORDERED" && !w.p.from.tables.empty()
                                    ? w.p.from.tables.front().alias
                                    : QString();
        if (!leading.isEmpty() && firstLoop(lines) != leading)
            u.state = State::Unused;
        if (!isJoinHint(h.name))
            continue;
        // A table is hashed when SQLite searches it by a transient index; the first loop is the
        // other input of the hash join that follows it.
        const QString first = firstLoop(lines);
        auto hashed = [&](const QString& alias) {
            return lineOf(lines, alias).contains(u"AUTOMATIC");
        };
        const bool anyHashed = std::any_of(lines.begin(), lines.end(), [](const EqpLine& l) {
            return l.parent == 0 && l.detail.contains(u"AUTOMATIC");
        });
        bool followed = true;
        for (const QString& a : h.args) {
            const QString alias = a.toLower();
            const bool inHashJoin = hashed(alias) || (alias == first && anyHashed);
            if (h.name == u"USE_HASH" || h.name == u"NO_USE_NL" ||
                h.name.endsWith(u"SWAP_JOIN_INPUTS"))
                followed &= inHashJoin;
            else
                followed &= !hashed(alias) && alias != first;
        }
        if (!followed)
            u.state = State::Unused;
    }
}

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
// Fixes the order of the tables as SQLite runs them in `current` (when no hint did and the
// FROM list may be reordered), which a copy of one of them could change, with table `last` (if
// any) moved to the end; false when it cannot.
bool keepOrder(Work& w, const std::vector<EqpLine>& current, size_t last = SIZE_MAX) {
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

void bufferCartesian(Work& w, size_t k, const std::vector<EqpLine>& current) {
    Planner& p = w.p;
    p.copied[k] = true;
    const std::vector<size_t> order = w.order;
    keepOrder(w, current);
    bool buffered = false;
    if (const auto lines = p.plan(w.current());
        lines && !lineOf(*lines, p.from.tables[k].alias).isEmpty()) {
        try {
            const std::vector<PlanRow> rows = translatePlan(p.statement, *lines, p.owner, p.db);
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
    // A copy has no rowids of the table's.
    const bool rowids = p.base.contains(u"rowid", Qt::CaseInsensitive);
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
        const Work::Method method = w.method[k];
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
        if (rowids || method == Work::Method::NestedLoops ||
            (!probed && method != Work::Method::Hash))
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
}

// The goal's own steering of a statement that reads one table no hint names.
void steerByGoal(Work& w, const QString& goal) {
    if (w.p.from.tables.size() != 1 || w.hinted[0] || w.p.from.tables[0].table.isEmpty() ||
        w.p.from.tables[0].indexed)
        return;
    const FromTable& table = w.p.from.tables[0];
    const auto lines = w.p.plan(w.current());
    if (!lines)
        return;
    const QString line = lineOf(*lines, table.alias);
    QStringList candidates;
    for (const auto& index : w.p.indexes(table.table))
        candidates << indexedBy(index.first);
    if (goal.startsWith(u"FIRST_ROWS")) {
        if (!sortsOrder(*lines))
            return;
        QStringList ordered;
        for (const QString& c : candidates) {
            std::vector<QString> d = w.directive;
            d[0] = c;
            const auto plan = w.p.plan(w.p.text(d, w.order));
            if (plan && !sortsOrder(*plan))
                ordered << c;
        }
        if (const int best = w.cheapest(0, ordered); best >= 0)
            w.directive[0] = ordered[best];
    } else if (goal == u"RULE") {
        // An index found by the statement's conditions ranks above a full scan.
        if (!line.startsWith(u"SCAN") || line.contains(u" INDEX "))
            return;
        for (const QString& c : candidates) {
            std::vector<QString> d = w.directive;
            d[0] = c;
            const auto plan = w.p.plan(w.p.text(d, w.order));
            if (plan && lineOf(*plan, table.alias).startsWith(u"SEARCH")) {
                w.directive[0] = c;
                return;
            }
        }
    } else if (line.startsWith(u"SEARCH") && line.contains(u" INDEX ") &&
               hasStatistics(w.p.db, table.table)) {
        // Only an index that finds the rows by the conditions: one SQLite reads whole for the
        // order it gives is left alone, as the estimates would still count the sort it spares.
        const QStringList full = {QString(), QStringLiteral(" NOT INDEXED")};
        if (w.cheapest(0, full) == 1)
            w.directive[0] = full[1];
    }
}

}  // namespace

Steering steerStatement(sqlite3* db, const ParsedStatement& statement, const QString& sqliteText,
                        const QString& sessionGoal, const QString& owner, bool joins) {
    Steering s;
    s.sqliteText = sqliteText;
    s.goal = sessionGoal;
    const std::vector<Hint>& hints = statement.hints();
    Planner planner{db, statement, owner, readFromList(sqliteText), sqliteText, {}};
    const size_t n = planner.from.tables.size();
    planner.keyColumn.resize(n);
    planner.copied.resize(n);
    Work w{planner,
           std::vector<QString>(n),
           {},
           std::vector<bool>(n, false),
           std::vector<Work::Method>(n, Work::Method::Free),
           {},
           hints.empty() ? QString() : statement.firstQueryBlock(),
           {}};
    QString hintedGoal;
    for (Hint h : hints) {
        const bool own = ownBlock(h.args, w.block);
        readHint(w, h, own, hintedGoal);
        w.reported.resize(size_t(w.report.size()), h);
    }
    const QString goal = (hintedGoal.isEmpty() ? sessionGoal : hintedGoal).toUpper();
    if (!hintedGoal.isEmpty())
        s.goal = QStringLiteral("HINT: ") + hintedGoal;
    s.rule = goal == u"RULE";
    if (n > 0) {
        steerByGoal(w, goal);
        if (joins && !s.rule)
            steerJoins(w);
        checkAgainstPlan(w);
        s.sqliteText = w.current();
    }
    s.hints = w.report;
    return s;
}

void nameQueryBlocks(std::vector<PlanRow>& rows, const QList<sql::HintUse>& hints) {
    for (const HintUse& h : hints) {
        if (h.block.isEmpty())
            continue;
        if (rows.size() > 1 && rows[1].queryBlock.isEmpty())
            rows[1].queryBlock = h.block;
        if (h.alias.isEmpty())
            continue;
        const QString alias = h.alias.section(u'@', 0, 0);
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const PlanRow& r) {
            return r.alias == alias.toLower() && r.role == PlanRole::Access;
        });
        if (row == rows.end())
            continue;
        row->queryBlock = h.block;
        row->objectAlias = QStringLiteral("\"%1\"@\"%2\"").arg(alias, h.block);
    }
}

}  // namespace qv::embedded
