// A hierarchical query (CONNECT BY) drawn as Oracle draws it (see translatePlan()). The engine
// runs it as a recursive WITH query (hierarchical.h): its first part reads the START WITH rows,
// its recursive step takes one row of the tree at a time and looks its children up by the
// CONNECT BY condition, and the query around it joins the tree back to the table by rowid and
// sorts it into depth-first order. Oracle reads the same: CONNECT BY WITH FILTERING over the
// START WITH access and the join of CONNECT BY PUMP (the rows found so far) with the access of
// their children; CONNECT BY WITHOUT FILTERING over FAST DUAL when no table is read for the
// children. The join back and the depth-first sort are the engine's way of giving the rows
// CONNECT BY gives: they are not drawn.
#include "core/embedded/plan/plansteps.h"

#include "core/sql/tokenlist.h"

#include <algorithm>

namespace qv::embedded::plan {

namespace {

// The tokens of the clause that starts with `first` [`second`] at the top level of `t`; empty
// when there is none.
Range clauseOf(const std::vector<Token>& t, QStringView first, QStringView second) {
    const size_t n = t.size();
    for (size_t at = sql::findTopLevel(t, 0, n, first); at + 1 < n;
         at = sql::findTopLevel(t, at + 1, n, first)) {
        if (!t[at + 1].is(second))
            continue;
        size_t end = at + 2;
        for (; end < n; ++end) {
            if (t[end].isOp(u'('))
                end = sql::closing(t, end, n);
            else if (end + 1 < n && ((t[end].is(u"CONNECT") && t[end + 1].is(u"BY")) ||
                                     (t[end].is(u"START") && t[end + 1].is(u"WITH")) ||
                                     (t[end].is(u"ORDER") && t[end + 1].is(u"BY"))))
                break;
        }
        return {at + 2, std::min(end, n)};
    }
    return {};
}

}  // namespace

Step Builder::connectBy(bool& drawn) {
    drawn = false;
    // The recursive WITH query: SETUP and RECURSIVE STEP below a CO-ROUTINE or MATERIALIZE.
    int setup = -1, recursive = -1, sortLine = -1;
    QString tree;
    for (int id : roots_) {
        const EqpNode& node = nodes_[id];
        if (node.detail.startsWith(u"USE TEMP B-TREE FOR ORDER BY"))
            sortLine = id;
        if (!node.detail.startsWith(u"CO-ROUTINE ") && !node.detail.startsWith(u"MATERIALIZE "))
            continue;
        for (int child : node.children) {
            if (nodes_[child].detail == u"SETUP")
                setup = child;
            else if (nodes_[child].detail == u"RECURSIVE STEP")
                recursive = child;
        }
        tree = node.detail.section(u' ', 1).toLower();
    }
    if (setup < 0 || recursive < 0)
        return {};
    drawn = true;
    // The one table a hierarchical query reads.
    const QString table = firstTable(tokens_, Range{0, tokens_.size()});

    Step start = startWith(setup, table);

    // The recursive step: the tree's rows one at a time (CONNECT BY PUMP), and the access of
    // their children.
    int pumpLine = -1;
    std::vector<int> childLines;
    for (int id : nodes_[recursive].children) {
        const QString& d = nodes_[id].detail;
        if (pumpLine < 0 && (d == QStringLiteral("SCAN ") + tree ||
                             d.startsWith(QStringLiteral("SCAN ") + tree + u' ')))
            pumpLine = id;
        else
            childLines.push_back(id);
    }
    Sources children = readLines(childLines, Range{});
    Step pump = blockStep(QStringLiteral("CONNECT BY PUMP"), QString());
    pump.starts = {};
    pump.rows = pumpLine >= 0 ? Measure::visits(pumpLine) : Measure{};
    pump.card = start.card;
    pump.width = start.width;
    const Measure treeRows = pump.rows;

    Step connect;
    double rows = start.card;
    if (children.steps.empty()) {
        // Nothing read for the children: each row makes the next while the condition holds.
        connect =
            blockStep(QStringLiteral("CONNECT BY"), QStringLiteral("WITHOUT FILTERING"), {start});
        connect.cost = start.cost;
    } else {
        Step access = children.steps.front();
        const bool hashed = children.hashedAt.front();
        // Hashed, the access reads the whole table: one row's children are those of one key.
        const double perRow = hashed && !access.keys.isEmpty() && !table.isEmpty()
                                  ? estimates_.table(table).rows *
                                        estimates_.keySelectivity({}, table, access.keys.front())
                                  : access.card;
        Step join = blockStep(hashed ? QStringLiteral("HASH JOIN") : QStringLiteral("NESTED LOOPS"),
                              QString(), {pump, access});
        join.starts = {};
        // The tree grows level by level by the children each row has, up to the whole table.
        const double whole = table.isEmpty() ? start.card : estimates_.table(table).rows;
        for (double level = start.card; level >= 0.5 && rows < whole;) {
            level *= perRow;
            rows += level;
            if (perRow >= 1 && rows >= whole)
                break;
        }
        rows = std::min(rows, std::max(whole, start.card));
        join.card = std::max(1.0, rows - start.card);
        join.cost = hashed ? access.cost + cpuCost(rows + access.card) : rows * access.cost;
        join.width = access.width;
        connect = blockStep(QStringLiteral("CONNECT BY"), QStringLiteral("WITH FILTERING"),
                            {start, join});
        connect.cost = start.cost + join.cost;
    }
    connect.card = rows;
    connect.width = start.width;

    // The query's WHERE keeps some of the tree's rows; an ORDER BY of its own sorts them.
    const QueryShape shape = queryShape(tokens_, context_.text);
    const bool where = sql::findTopLevel(tokens_, 0, tokens_.size(), u"WHERE") < tokens_.size();
    const Measure sorter = sortLine >= 0 ? Measure::visits(sortLine) : Measure{};
    const Measure returned = Measure{Measure::StatementRows};
    connect.rows = where ? treeRows : shape.orderBy ? sorter : returned;
    Step body = connect;
    if (where) {
        body = blockStep(QStringLiteral("FILTER"), QString(), {connect});
        body.card = std::max(1.0, connect.card * 0.05);
        body.role = PlanRole::Filter;
        body.rows = shape.orderBy ? sorter : returned;
    }
    if (shape.orderBy) {
        Step order = blockStep(QStringLiteral("SORT"), QStringLiteral("ORDER BY"), {body});
        order.cost += sortCost(body.card);
        order.rows = returned;
        body = order;
    }
    return body;
}

// START WITH: the rows of the recursive query's first part (SQLite's line `setup`), which keeps
// those its condition names.
Step Builder::startWith(int setup, const QString& table) {
    Sources first = readLines(nodes_[setup].children, Range{});
    if (first.steps.empty()) {
        first.steps.push_back(blockStep(QStringLiteral("FAST DUAL"), QString()));
        first.hashedAt.push_back(false);
    }
    Step start = joined(first, std::vector<Measure>(first.steps.size()));
    if (start.operation == u"FAST DUAL" && start.starts.kind == Measure::Constant)
        start.rows = start.starts;  // its one row, each time it is read
    const Range condition = clauseOf(tokens_, u"START", u"WITH");
    if (!condition.empty() && !table.isEmpty()) {
        static const QString kWhere = QStringLiteral("WHERE");
        std::vector<Token> where = sql::tokenize(kWhere);
        where.insert(where.end(), tokens_.begin() + condition.first,
                     tokens_.begin() + condition.last);
        const QList<Predicate> conditions = readPredicates(where);
        const PlanEstimates::Table& t = estimates_.table(table);
        start.card = std::max(
            1.0, std::min(start.card, t.rows * estimates_.selectivity(conditions, table, {}, {})));
    } else if (start.role == PlanRole::Access && start.loop >= 0 &&
               start.operation != u"FAST DUAL") {
        setOutputOf(start, Measure::visits(start.loop));  // every row it reads is a root
    }
    return start;
}

void Builder::setOutputOf(Step& s, const Measure& rows) {
    s.rows = rows;
    // A join hands on what its inputs together let through; each input keeps its own count.
    if (s.role != PlanRole::Access && s.role != PlanRole::Iterator)
        return;
    for (Step* line = &s; !line->children.empty();) {
        line = &line->children.front();
        if (line->role != PlanRole::Access)
            break;
        line->rows = rows;
    }
}

}  // namespace qv::embedded::plan
