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

#include <QRegularExpression>
#include <QSet>

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

std::optional<double> Builder::pivotGroups(size_t at) {
    const size_t close = sql::closing(tokens_, at + 1, tokens_.size());
    QSet<QString> named;  // the columns the PIVOT clause aggregates or spreads
    for (size_t i = at + 2; i < close; ++i) {
        if (sql::isName(tokens_[i]) && !(i + 1 < close && tokens_[i + 1].isOp(u'(')))
            named.insert(sql::unquoted(tokens_[i]).toLower());
    }
    // The source: an inline view's select list, or a table's columns.
    QString table;
    QStringList columns;
    if (at > 0 && tokens_[at - 1].isOp(u')')) {
        size_t open = at - 1;
        for (int depth = 0; open-- > 0;) {
            if (tokens_[open].isOp(u')'))
                ++depth;
            else if (tokens_[open].isOp(u'(') && depth-- == 0)
                break;
        }
        const Range view{open + 1, at - 1};
        table = firstTable(tokens_, view);
        const size_t select = sql::findTopLevel(tokens_, view.first, view.last, u"SELECT");
        const size_t from = sql::findTopLevel(tokens_, select, view.last, u"FROM");
        for (const Range& item : sql::splitTopLevel(tokens_, select + 1, from)) {
            if (item.empty() || !sql::isName(tokens_[item.last - 1]))
                return std::nullopt;  // *, alias.*: the columns cannot be told
            columns << sql::unquoted(tokens_[item.last - 1]).toLower();
        }
    } else if (at > 0 && sql::isName(tokens_[at - 1])) {
        table = aliases_.value(sql::unquoted(tokens_[at - 1]).toLower(),
                               sql::unquoted(tokens_[at - 1]));
        columns = estimates_.table(table).columns;
    }
    double groups = 1;
    bool grouped = false;
    for (const QString& c : columns) {
        if (named.contains(c))
            continue;
        grouped = true;
        const bool own = !table.isEmpty() && estimates_.table(table).columns.contains(c);
        groups *= own ? estimates_.distinct(table, c) : 10;
    }
    if (!grouped)
        return std::nullopt;
    return table.isEmpty() ? groups : std::min(groups, estimates_.table(table).rows);
}

Step Builder::pivoted(Step body) {
    const auto at =
        std::find_if(tokens_.begin(), tokens_.end(), [](const Token& t) { return t.is(u"PIVOT"); });
    if (at == tokens_.end() || at + 1 == tokens_.end() || !(at + 1)->isOp(u'('))
        return body;
    // Grouped by the source's other columns, when SQLite reads them in their order rather than
    // sorting them: the groups of those.
    const std::optional<double> groups = pivotGroups(size_t(at - tokens_.begin()));
    std::function<bool(Step&)> merge = [&](Step& s) {
        if (s.operation == u"VIEW" && s.object.isEmpty() && !s.children.empty()) {
            Step& below = s.children.front();
            if (below.role == PlanRole::Group) {
                const Measure rows = s.rows;
                s = Step(below);
                s.options = QStringLiteral("GROUP BY PIVOT");
                s.rows = rows;
            } else if (groups) {
                s.operation = QStringLiteral("HASH");
                s.options = QStringLiteral("GROUP BY PIVOT");
                s.card = std::min(*groups, below.card);
                s.role = PlanRole::Group;
            } else {
                s.operation = QStringLiteral("SORT");
                s.options = QStringLiteral("AGGREGATE");
                s.card = 1;
                s.rows = s.starts;
            }
            // The statement's rows are the groups, not the rows the loop read for them.
            for (Step* line = &s.children.front();
                 line->rows.kind == Measure::StatementRows && line->role == PlanRole::Access;
                 line = &line->children.front()) {
                line->rows = {};
                if (line->children.empty())
                    break;
            }
            return true;
        }
        return std::any_of(s.children.begin(), s.children.end(), merge);
    };
    merge(body);
    // A PIVOT in the inline view the statement reads, which SQLite merged into it: that view,
    // with the conditions on its columns.
    const Range view = inlineView(tokens_, {0, tokens_.size()});
    const size_t pivotAt = size_t(at - tokens_.begin());
    if (view.first <= pivotAt && pivotAt < view.last && body.operation != u"VIEW" &&
        body.options.endsWith(u"PIVOT")) {
        Step outer = blockStep(QStringLiteral("VIEW"), QString(), {body});
        outer.filter = viewFilter(tokens_, {0, tokens_.size()});
        outer.rows = body.rows;
        if (!outer.filter.isEmpty()) {
            outer.children.front().rows = {};  // the groups before the conditions
            outer.card = std::max(1.0, body.card / 3);
        }
        return outer;
    }
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

namespace qv::embedded::plan {

namespace {

// The grouping sets of a view's query as the translation wrote it for SQLite (each set a bit per
// grouping expression, read from the CASE qv_g.qv_set IN (...) THEN expression END that its
// GROUP BY holds), and the expressions' columns; none when it has no grouping sets.
GroupingSets storedSets(const QString& sql, QStringList& columns) {
    GroupingSets g;
    const qsizetype groupBy = sql.lastIndexOf(QStringLiteral(" GROUP BY "));
    static const QRegularExpression kSets(QStringLiteral(R"(json_each\('\[([\d,]*)\]'\) qv_gs)"));
    const QRegularExpressionMatch count = kSets.match(sql);
    if (groupBy < 0 || !count.hasMatch())
        return g;
    g.sets.assign(size_t(count.captured(1).split(u',').size()), 0);
    static const QRegularExpression kHeld(
        QStringLiteral(R"(CASE WHEN qv_g\.qv_set IN \(([\d, ]+)\) THEN (?!1 ELSE 0)(.+?) END)"));
    QStringList seen;
    for (auto it = kHeld.globalMatch(sql, groupBy); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (seen.contains(m.captured(0)) || seen.size() >= int(kMaxGroupingExpressions))
            continue;
        for (const QString& set : m.captured(1).split(u',')) {
            if (const size_t n = size_t(set.trimmed().toUInt()); n < g.sets.size())
                g.sets[n] |= uint64_t(1) << seen.size();
        }
        seen << m.captured(0);
        columns << m.captured(2).remove(u'"').toLower();
    }
    // Sets that nest are a rollup's; all the subsets of the expressions a cube's.
    std::vector<uint64_t> sorted = g.sets;
    std::sort(sorted.begin(), sorted.end(),
              [](uint64_t a, uint64_t b) { return std::popcount(a) > std::popcount(b); });
    bool nested = true;
    for (size_t i = 1; i < sorted.size(); ++i)
        nested &= (sorted[i] & ~sorted[i - 1]) == 0 && sorted[i] != sorted[i - 1];
    const std::set<uint64_t> distinct(g.sets.begin(), g.sets.end());
    g.shape = nested ? GroupingSets::Rollup
              : seen.size() < 16 && distinct.size() == (size_t(1) << seen.size())
                  ? GroupingSets::Cube
                  : GroupingSets::Sets;
    return g;
}

// The first GROUP BY line of a plan, outside the views it reads.
Step* groupLine(Step& s) {
    if (s.role == PlanRole::Group)
        return &s;
    for (Step& c : s.children) {
        if (c.operation == u"VIEW")
            continue;
        if (Step* found = groupLine(c))
            return found;
    }
    return nullptr;
}

}  // namespace

Step Builder::storedViewGrouping(Step plan, const QString& name) {
    // A PIVOT's own grouping (the translation's qv_pivot) stands apart from the view it is in:
    // the text is that of the view the statement reads that holds one.
    const bool pivot = name.compare(u"qv_pivot", Qt::CaseInsensitive) == 0;
    if (pivot &&
        std::any_of(tokens_.begin(), tokens_.end(), [](const Token& t) { return t.is(u"PIVOT"); }))
        return plan;  // the statement's own: pivoted()
    QString sql;
    try {
        sqlite::Statement st(db_, "SELECT name, sql FROM sqlite_master WHERE type = 'view'");
        while (st.step()) {
            const QString view = st.text(0).toLower();
            if (pivot ? aliases_.contains(view) || aliases_.values().contains(st.text(0))
                      : view == name.toLower())
                sql = st.text(1);
            if (!sql.isEmpty() && (!pivot || sql.contains(u") qv_pivot")))
                break;
            sql.clear();
        }
    } catch (const sqlite::Error&) {
        return plan;
    }
    if (sql.isEmpty())
        return plan;
    static const QRegularExpression kFrom(QStringLiteral(R"re(\bfrom\s+"?(\w+)"?)re"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QString table = kFrom.match(sql).captured(1);
    Step* group = groupLine(plan);
    if (sql.contains(u") qv_pivot")) {
        if (group) {
            group->options = QStringLiteral("GROUP BY PIVOT");
        } else if (sql.contains(QStringLiteral(" GROUP BY "))) {
            // Grouped in the order SQLite reads the rows: no sort of its own.
            Step grouped = step(QStringLiteral("HASH"), QStringLiteral("GROUP BY PIVOT"), {plan});
            grouped.starts = plan.starts;
            grouped.rows = plan.rows;
            grouped.card = std::max(1.0, plan.card / 10);
            grouped.role = PlanRole::Group;
            grouped.children.front().rows = {};
            return grouped;
        }
        return plan;
    }
    QStringList columns;
    const GroupingSets g = storedSets(sql, columns);
    if (!group || g.sets.empty())
        return plan;
    // Each set's groups, from its columns' distinct values when the view reads one table.
    setGroups_.clear();
    double total = 0;
    for (const uint64_t set : g.sets) {
        double groups = 1;
        for (int e = 0; e < columns.size(); ++e) {
            if (!(set >> e & 1))
                continue;
            const bool known = estimates_.table(table).columns.contains(columns[e]);
            groups *= known ? estimates_.distinct(table, columns[e]) : 10;
        }
        setGroups_.push_back(std::min(
            groups,
            std::max(1.0, group->children.empty() ? group->card : group->children.front().card)));
        total += setGroups_.back();
    }
    group->card = std::max(1.0, total);
    *group = groupingLines(*group, g);
    return plan;
}

}  // namespace qv::embedded::plan
