#include "core/embedded/plan/steering.h"
#include "core/embedded/plan/steeringwork.h"

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

namespace steer {

QString indexedBy(const QString& index) {
    return QStringLiteral(" INDEXED BY ") + sql::quotedName(index);
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

// The alias of the outermost loop of SQLite's plan (lower case); empty when none.
QString firstLoop(const std::vector<EqpLine>& lines) {
    for (const EqpLine& l : lines) {
        if (l.parent == 0 && (l.detail.startsWith(u"SCAN ") || l.detail.startsWith(u"SEARCH ")))
            return l.detail.section(u' ', 1, 1).toLower();
    }
    return {};
}

}  // namespace steer

namespace {

using namespace steer;
using sql::HintUse;
using State = HintUse::State;

// Whether SQLite's plan sorts for the ORDER BY.
bool sortsOrder(const std::vector<EqpLine>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const EqpLine& l) {
        return l.detail.contains(u"TEMP B-TREE FOR ORDER BY") ||
               l.detail.contains(u"TEMP B-TREE FOR LAST");
    });
}

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
    } else if (line.contains(u" INDEX ") && hasStatistics(w.p.db, table.table)) {
        // An index that finds the rows by the conditions, or one read whole for the order it
        // gives a GROUP BY or ORDER BY: the full scan when it costs less, its sort counted.
        const QStringList full = {QString(), QStringLiteral(" NOT INDEXED")};
        if (w.cheapest(0, full) == 1)
            w.directive[0] = full[1];
    }
}

// The line by which SQLite reads table `alias` into its hashed copy; empty when it is not copied.
QString copyLineOf(const std::vector<EqpLine>& lines, const QString& alias) {
    for (const EqpLine& copy : lines) {
        const QString d = copy.detail.toLower();
        if (d != QStringLiteral("materialize ") + alias &&
            d != QStringLiteral("co-routine ") + alias)
            continue;
        for (const EqpLine& l : lines)
            if (l.parent == copy.id &&
                (l.detail.startsWith(u"SCAN ") || l.detail.startsWith(u"SEARCH ")))
                return l.detail;
    }
    return {};
}

// The tables of a join SQLite reads once (the outer loop, or a table read into the copy a hash
// join searches) by an index, for the statement's own conditions on them or for an order, when no
// hint names how
// they are read or joined: read whole when the estimates find the plan cheaper so and the join
// keeps its order and its hashing, as Oracle weighs an index's range against the table's
// multiblock reads wherever the table stands in the join.
void steerJoinedAccess(Work& w, const QString& goal) {
    Planner& p = w.p;
    if (p.from.tables.size() < 2 || goal.startsWith(u"FIRST_ROWS") || goal == u"RULE")
        return;
    for (size_t k = 0; k < p.from.tables.size(); ++k) {
        const FromTable& table = p.from.tables[k];
        const auto lines = p.plan(w.current());
        if (!lines)
            return;
        const QString first = firstLoop(*lines);
        const QString line = p.copied[k]            ? copyLineOf(*lines, table.alias)
                             : first == table.alias ? lineOf(*lines, table.alias)
                                                    : QString();
        if (w.hinted[k] || w.method[k] != Work::Method::Free || table.table.isEmpty() ||
            table.indexed || !w.directive[k].isEmpty() ||
            !(line.startsWith(u"SEARCH") || line.startsWith(u"SCAN")) ||
            !line.contains(u" INDEX ") || line.contains(u"AUTOMATIC") ||
            !hasStatistics(p.db, table.table))
            continue;
        // Read whole, SQLite may read another table first: the join keeps the order it has.
        const std::vector<size_t> order = w.order;
        const double indexed = p.cost(w.current());
        w.directive[k] = QStringLiteral(" NOT INDEXED");
        if (const auto tried = p.plan(w.current()); tried && firstLoop(*tried) != first)
            keepOrder(w, *lines);
        const auto steered = p.plan(w.current());
        const bool kept = steered && firstLoop(*steered) == first &&
                          (!p.copied[k] || !copyLineOf(*steered, table.alias).isEmpty());
        if (!kept || p.cost(w.current()) >= indexed) {
            w.directive[k].clear();
            w.order = order;
        }
    }
}

}  // namespace

Steering steerStatement(sqlite3* db, const ParsedStatement& statement, const QString& sqliteText,
                        const QString& sessionGoal, const QString& owner, bool joins,
                        const QHash<QString, QString>& peeked) {
    Steering s;
    s.sqliteText = sqliteText;
    s.goal = sessionGoal;
    const PlanEstimates::SharedTables shared(db);
    const std::vector<Hint>& hints = statement.hints();
    Planner planner{db, statement, owner, readFromList(sqliteText), sqliteText, {}, {}, {}, peeked};
    if (joins) {
        planner.base = steerSubqueries(planner);
        planner.from = readFromList(planner.base);
    }
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
        if (joins && !s.rule) {
            steerJoins(w);
            steerJoinedAccess(w, goal);
        }
        steerNulls(w);
        checkAgainstPlan(w);
        s.sqliteText = steerViewNulls(planner, w.current());
    }
    s.sqliteText = keepRankStops(db, s.sqliteText);
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
