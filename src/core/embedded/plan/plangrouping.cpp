// The lines Oracle draws for ROLLUP, CUBE and GROUPING SETS (groupingsets.h), from the one GROUP
// BY the translation gives SQLite; the set numbers it joins the rows to draw no line.
//   sets that nest (ROLLUP, or GROUPING SETS of that form)   SORT GROUP BY ROLLUP
//   CUBE                                  SORT GROUP BY over GENERATE CUBE over SORT GROUP BY
//   other GROUPING SETS                   TEMP TABLE TRANSFORMATION: the rows loaded into a
//                                         temporary table, each set grouped from it into a
//                                         second one (HASH GROUP BY, SORT AGGREGATE for the
//                                         grand total), the query reading that through a VIEW
#include "core/embedded/parse/groupingsets.h"
#include "core/embedded/plan/plansteps.h"

#include <functional>

namespace qv::embedded::plan {

namespace {

// The temporary tables of a GROUPING SETS transformation: the rows, then the groups.
QString tempName(int n) {
    return QStringLiteral("SYS_TEMP_0FD9D66%1_5B8E3F").arg(20 + n);
}

const QString kCursorDuration = QStringLiteral("(CURSOR DURATION MEMORY)");

}  // namespace

std::optional<GroupingSets> Builder::groupingOf(Range text) const {
    const Range list = groupByList(tokens_, text);
    if (list.empty())
        return std::nullopt;
    std::optional<GroupingSets> g = groupingSets(tokens_, list.first, list.last);
    if (!g || g->shape == GroupingSets::Plain)
        return std::nullopt;
    return g;
}

double Builder::groupingCard(const GroupingSets& g, Range text, double rows) {
    QStringList tables;
    for (const QString& a : aliases_)
        tables << a;
    const QString own = firstTable(tokens_, text);
    // Each expression's distinct values, a tenth of the rows for one that is no column.
    std::vector<double> values;
    for (const Range& e : g.expressions) {
        double v = std::max(1.0, rows / 10);
        const bool qualified = e.size() == 3 && tokens_[e.first + 1].isOp(u'.');
        if ((e.size() == 1 || qualified) && sql::isName(tokens_[e.last - 1])) {
            const QString column = sql::unquoted(tokens_[e.last - 1]).toLower();
            QString table = qualified ? tableName(sql::unquoted(tokens_[e.first]).toLower())
                                      : estimates_.tableOf(column, tables);
            if (table.isEmpty() && !own.isEmpty() && estimates_.table(own).columns.contains(column))
                table = own;
            if (!table.isEmpty() && estimates_.table(table).columns.contains(column))
                v = estimates_.distinct(table, column);
        }
        values.push_back(v);
    }
    // The groups of each set, as a GROUP BY of its expressions makes them; the grand total one.
    double card = 0;
    setGroups_.clear();
    for (size_t set = 0; set < g.sets.size(); ++set) {
        double groups = 1;
        for (size_t e = 0; e < values.size(); ++e)
            groups *= g.holds(set, e) ? values[e] : 1;
        setGroups_.push_back(std::min(groups, std::max(rows, 1.0)));
        card += setGroups_.back();
    }
    return std::max(1.0, card);
}

Step Builder::groupingLines(Step group, const GroupingSets& g) const {
    group.operation = QStringLiteral("SORT");
    if (g.shape == GroupingSets::Rollup) {
        group.options = QStringLiteral("GROUP BY ROLLUP");
    } else if (g.shape == GroupingSets::Cube) {
        // The finest groups first, then every coarser one made from them.
        Step finest = group;
        finest.options = QStringLiteral("GROUP BY");
        finest.rows = {};
        finest.role = PlanRole::Other;
        if (!setGroups_.empty())
            finest.card = *std::max_element(setGroups_.begin(), setGroups_.end());
        Step cube = blockStep(QStringLiteral("GENERATE"), QStringLiteral("CUBE"), {finest});
        cube.card = group.card;
        group.options = QStringLiteral("GROUP BY");
        group.children = {cube};
    } else {
        group.operation = QStringLiteral("HASH");
        group.options = QStringLiteral("GROUP BY");
    }
    return group;
}

Step Builder::groupingSetsTransformation(Step tree, const GroupingSets& g) const {
    if (g.shape != GroupingSets::Sets)
        return tree;
    std::function<Step*(Step&)> groupIn = [&](Step& s) -> Step* {
        if (s.role == PlanRole::Group)
            return &s;
        for (Step& c : s.children) {
            if (Step* found = groupIn(c))
                return found;
        }
        return nullptr;
    };
    Step* group = groupIn(tree);
    if (!group || group->children.empty())
        return tree;
    const Step& input = group->children.front();
    auto tempRead = [&](int n, double card) {
        Step read = blockStep(QStringLiteral("TABLE ACCESS"), QStringLiteral("FULL"));
        read.object = tempName(n);
        read.card = card;
        read.width = input.width;
        read.cost = std::max(2.0, card * input.width / 8192 * 2);
        return read;
    };
    auto load = [&](int n, Step below) {
        Step s = blockStep(QStringLiteral("LOAD AS SELECT"), kCursorDuration, {std::move(below)});
        s.object = tempName(n);
        s.rows = Measure::constant(0);  // a load hands no rows on, as Oracle counts it
        return s;
    };
    Step transform =
        blockStep(QStringLiteral("TEMP TABLE TRANSFORMATION"), QString(), {load(0, input)});
    for (size_t n = 0; n < g.sets.size(); ++n) {
        const uint64_t set = g.sets[n];
        const double groups = n < setGroups_.size() ? setGroups_[n] : group->card;
        Step read = tempRead(0, input.card);
        read.rows = input.rows;  // each set reads all the rows loaded
        Step grouped = set == 0
                           ? blockStep(QStringLiteral("SORT"), QStringLiteral("AGGREGATE"), {read})
                           : blockStep(QStringLiteral("HASH"), QStringLiteral("GROUP BY"), {read});
        grouped.card = set == 0 ? 1 : std::max(1.0, groups);
        grouped.cost = read.cost;
        transform.children.push_back(load(1, grouped));
    }
    Step grouped = tempRead(1, group->card);
    grouped.rows = group->rows;
    Step view = blockStep(QStringLiteral("VIEW"), QString(), {grouped});
    view.card = group->card;
    view.rows = group->rows;
    view.role = group->role;
    *group = view;
    transform.card = tree.card;
    transform.width = tree.width;
    transform.rows = tree.rows;
    transform.cost = tree.cost;
    for (const Step& c : transform.children)
        transform.cost += c.cost;
    transform.children.push_back(std::move(tree));
    return transform;
}

}  // namespace qv::embedded::plan

namespace qv::embedded::plan {

Step Builder::pivoted(Step body) const {
    const auto at =
        std::find_if(tokens_.begin(), tokens_.end(), [](const Token& t) { return t.is(u"PIVOT"); });
    if (at == tokens_.end() || at + 1 == tokens_.end() || !(at + 1)->isOp(u'('))
        return body;
    std::function<bool(Step&)> merge = [&](Step& s) {
        if (s.operation == u"VIEW" && s.object.isEmpty() && !s.children.empty()) {
            Step& below = s.children.front();
            if (below.role == PlanRole::Group) {
                const Measure rows = s.rows;
                s = Step(below);
                s.options = QStringLiteral("GROUP BY PIVOT");
                s.rows = rows;
            } else {
                s.operation = QStringLiteral("SORT");
                s.options = QStringLiteral("AGGREGATE");
                s.card = 1;
                s.rows = s.starts;
            }
            return true;
        }
        return std::any_of(s.children.begin(), s.children.end(), merge);
    };
    merge(body);
    return body;
}

Step Builder::unpivoted(Step tree, const Measure& output) const {
    // As many rows per row of the source as the IN list names columns.
    double columns = 2;
    const auto at = std::find_if(tokens_.begin(), tokens_.end(),
                                 [](const Token& t) { return t.is(u"UNPIVOT"); });
    const auto open = std::find_if(at, tokens_.end(), [](const Token& t) { return t.isOp(u'('); });
    if (open != tokens_.end()) {
        const size_t first = size_t(open - tokens_.begin());
        const size_t close = sql::closing(tokens_, first, tokens_.size());
        const size_t in = sql::findTopLevel(tokens_, first + 1, close, u"IN");
        if (in + 1 < close && tokens_[in + 1].isOp(u'('))
            columns = double(
                sql::splitTopLevel(tokens_, in + 2, sql::closing(tokens_, in + 1, close)).size());
    }
    Step unpivot = blockStep(QStringLiteral("UNPIVOT"), QString(), {std::move(tree)});
    unpivot.card *= columns;
    Step view = blockStep(QStringLiteral("VIEW"), QString(), {unpivot});
    view.rows = output;
    return view;
}

}  // namespace qv::embedded::plan
