// SQLite's EXPLAIN QUERY PLAN drawn as Oracle draws a plan, with estimates: see translatePlan().
// How one table is read is in planaccess.cpp.
#include "core/embedded/plan/planbuilder.h"
#include "core/embedded/plan/hasharea.h"

#include "core/embedded/plan/planpredicates.h"
#include "core/embedded/plan/plansteps.h"
#include "core/embedded/translate/hierarchical.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace qv::embedded {

namespace plan {

Step step(QString operation, QString options, std::vector<Step> children) {
    Step s;
    s.operation = std::move(operation);
    s.options = std::move(options);
    s.children = std::move(children);
    if (!s.children.empty()) {
        s.card = s.children.front().card;
        s.cost = s.children.front().cost;
        s.width = s.children.front().width;
    }
    return s;
}

Builder::Builder(const ParsedStatement& statement, const std::vector<EqpLine>& eqp, QString owner,
                 sqlite3* db, const PlanEstimates::Binds& peeked)
    : frame_(statementFrame(statement.text(), statement.tokens())),
      framed_(frame_.query.isEmpty() ? nullptr : std::make_unique<ParsedStatement>(frame_.query)),
      // The facts are read from the query a framed statement stands on.
      read_(framed_ ? *framed_ : statement),
      tokens_(read_.tokens()),
      db_(db),
      owner_(std::move(owner)),
      estimates_(db, peeked),
      aliases_(read_.aliases()),
      predicates_(mergedViewConditions(db, tokens_, aliases_, read_.conditions())) {
    settleConditions();
    for (const EqpLine& line : eqp) {
        // CREATE TABLE ... AS writes the new table into SQLite's own catalog: no step of Oracle's.
        if (line.detail.contains(u"sqlite_master") || line.detail.contains(u"sqlite_schema"))
            continue;
        nodes_[line.id].detail = line.detail;
        if (line.parent == 0)
            roots_.push_back(line.id);
        else
            nodes_[line.parent].children.push_back(line.id);
    }
}

bool Builder::joinedTo(const QString& alias, const QStringList& outer) const {
    return std::any_of(predicates_.begin(), predicates_.end(), [&](const Predicate& p) {
        if (!p.isJoin())
            return false;
        // Unqualified columns could belong to either side: take them as a join.
        if (p.alias.isEmpty() || p.otherAlias.isEmpty())
            return true;
        return (p.alias == alias && outer.contains(p.otherAlias)) ||
               (p.otherAlias == alias && outer.contains(p.alias));
    });
}

// A subquery, a view or a member of a set operation, under its row limit: its rows are not the
// statement's, and it runs `starts` times.
Step Builder::nestedBlock(const std::vector<int>& lines, Range text, Measure starts, bool merged,
                          Range limitedQuery) {
    const BlockContext outer = context_;
    context_ = {starts, false, text, merged, limitedQuery};
    Step s = rowLimited(block(lines, text), text);
    context_ = outer;
    return s;
}

Step Builder::block(const std::vector<int>& lines, Range text) {
    Sources s = readLines(lines, text);
    if (s.steps.empty()) {
        s.steps.push_back(blockStep(QStringLiteral("FAST DUAL"), QString()));
        s.hashedAt.push_back(false);
    }
    // What the query asks for, read from its own text. Of a query with analytic functions, the
    // rows SQLite sorts for them were grouped already: its DISTINCT and order are left. The
    // rows it sorts for them are grouped, but neither made distinct nor ordered.
    const bool window = windowBlock(s, text);
    QueryShape shape = queryShape(tokens_, s.isCompound ? Range{} : text);
    if (window) {
        shape = {false, shape.orderBy, shape.distinct, false, false, shape.offset, shape.limited};
    } else if (!analyticFunctions(tokens_, text).isEmpty()) {
        shape.orderBy = shape.distinct = shape.offset = shape.limited = false;
    }
    std::vector<Step> scalars = takeScalars(s, text);
    // A covering index read whole, in no particular order: Oracle reads it with multiblock
    // reads.
    const bool inOrder = (shape.groupBy && s.sortGroup < 0) || (shape.orderBy && s.sortOrder < 0) ||
                         (shape.distinct && s.sortDistinct < 0) ||
                         (s.sortOrder < 0 && !analyticFunctions(tokens_, text).isEmpty());
    for (size_t i = 0; i < s.steps.size(); ++i) {
        if (s.steps[i].operation == u"INDEX" && s.steps[i].options == u"FULL SCAN" &&
            !(i == 0 && inOrder)) {
            s.steps[i].options = QStringLiteral("FAST FULL SCAN");
            if (s.steps[i].fastCost >= 0)
                s.steps[i].cost = s.steps[i].fastCost;
        }
    }
    if (inOrder && !s.steps.empty())
        // A descending ORDER BY that SQLite sorts for apart was not read from the index.
        readInOrder(s.steps.front(), shape.orderBy && s.sortOrder >= 0 ? Range{} : text);
    // The rows each loop hands on after its conditions: as many as the next loop began, and
    // for the last what takes the block's rows. A subquery of the WHERE clause filters inside
    // the loops, where Oracle's FILTER above them would see the rows before it: those are not
    // counted then.
    driveByList(s);
    const Measure blockOutput = loopsOutput(s, shape);
    const Measure output = s.setsLoop >= 0 ? Measure::loops(s.setsLoop) : blockOutput;
    std::vector<Measure> outputs(s.steps.size());
    for (size_t i = 0; i < s.steps.size() && s.subqueries.empty(); ++i) {
        const Step* next = i + 1 < s.steps.size() ? &s.steps[i + 1] : nullptr;
        outputs[i] = !next ? output : next->loop >= 0 ? Measure::loops(next->loop) : Measure{};
    }
    Step tree = joined(s, outputs);
    if (s.unpivot)
        tree = unpivoted(std::move(tree), blockOutput);
    if (!s.subqueries.empty())
        tree = withSubqueries(tree, s.subqueries, output);
    return carried(std::move(scalars), sorted(tree, s, shape, text));
}

Measure Builder::loopsOutput(const Sources& s, const QueryShape& shape) const {
    if (s.sortGroup >= 0)
        return Measure::visits(s.sortGroup);
    // Without a sorter, the rows go into the aggregates as the last loop lets them through (the
    // table a list of values drives is the inner side of its join).
    if (shape.groupBy || shape.aggregate) {
        const Step* last = s.steps.empty() ? nullptr : &s.steps.back();
        while (last && last->loop < 0 && last->operation == u"NESTED LOOPS")
            last = &last->children.back();
        return last && last->loop >= 0 ? Measure::output(last->loop) : Measure{};
    }
    // A DISTINCT kept in a temporary index (rather than a sorter) has no counter: its visits
    // read as none.
    if (s.sortDistinct >= 0 || shape.distinct)
        return s.sortDistinct >= 0 ? Measure::visits(s.sortDistinct) : Measure{};
    if (s.sortOrder >= 0)
        return Measure::visits(s.sortOrder);
    return context_.top && !shape.offset ? Measure{Measure::StatementRows} : Measure{};
}

// The loops of a block from SQLite's lines, and the sorts and subqueries around them.
Builder::Sources Builder::readLines(const std::vector<int>& lines, Range text) {
    static const QRegularExpression kView(QStringLiteral(R"(^(?:MATERIALIZE|CO-ROUTINE) (.+)$)"));
    static const QRegularExpression kSub(
        QStringLiteral(R"(^(CORRELATED )?(?:SCALAR|LIST) SUBQUERY)"));
    Sources s;
    QStringList outer;   // aliases joined so far
    int buildLine = -1;  // SQLite's filling of the automatic index that the next loop searches
    std::vector<Member> members;  // of a set operation
    // The queries of the select list's subqueries, when SQLite's subqueries are those.
    std::vector<Range> scalarTexts = selectListSubqueries(tokens_, text);
    const auto subqueryLines = std::count_if(lines.begin(), lines.end(), [&](int id) {
        return kSub.match(nodes_[id].detail).hasMatch() && !rankBound(id);
    });
    if (size_t(subqueryLines) != scalarTexts.size())
        scalarTexts.clear();
    for (int id : lines) {
        const EqpNode& node = nodes_[id];
        const QString& d = node.detail;
        QRegularExpressionMatch m;
        if (d.startsWith(u"USE TEMP B-TREE FOR ")) {
            if (sortsNullsOnly(id, lines, text))
                continue;
            if (d.endsWith(u"GROUP BY"))
                s.sortGroup = id;
            else if (d.endsWith(u"DISTINCT"))
                s.sortDistinct = id;
            else if (d.endsWith(u"ORDER BY"))
                s.sortOrder = id;
        } else if (d.startsWith(u"CREATE AUTOMATIC INDEX ")) {
            buildLine = id;
        } else if ((m = kView.match(d)).hasMatch()) {
            const QString name = m.captured(1);
            Range viewText = subqueryText(tokens_, name);
            // SQLite's own name for an inline view without an alias, or for the rows it sorts
            // for the analytic functions of the query at hand.
            if (viewText.empty() && name.startsWith(u"(subquery")) {
                viewText = inlineView(tokens_, text);
                if (viewText.empty() && !analyticFunctions(tokens_, text).isEmpty())
                    viewText = text;
            }
            // Its own query may read a table of the same name: no view of an earlier query
            // (another member of a set operation) stands for that table.
            views_.remove(name.toLower());
            // The engine limits a query's rows by ROWNUM in a subquery named after its table.
            const bool limits = viewText.empty() && aliases_.contains(name.toLower()) &&
                                rowLimit(tokens_, text).kind == RowLimit::Rownum;
            Step view = nestedBlock(node.children, viewText, context_.starts, false,
                                    limits ? text : Range{});
            if (viewText.empty() && !name.startsWith(u"(subquery"))
                view = storedViewGrouping(std::move(view), name);
            views_.insert(name.toLower(), std::move(view));
            if (d.startsWith(u"MATERIALIZE") && timesRead(tokens_, name) > 1 &&
                !temps_.contains(name.toLower()))
                temps_ << name.toLower();
        } else if ((m = kSub.match(d)).hasMatch() && !rankBound(id)) {
            // A correlated subquery runs for each row that asks, which its first loop counts;
            // another one runs once.
            const bool correlated = !m.captured(1).isEmpty();
            const Range subText = s.subqueries.size() < scalarTexts.size()
                                      ? scalarTexts[s.subqueries.size()]
                                      : Range{};
            const int first = firstLoopBelow(id);
            const Measure runs = !correlated  ? context_.starts
                                 : first >= 0 ? Measure::loops(first)
                                              : Measure::loops(id);
            s.subqueries.push_back({nestedBlock(node.children, subText, runs), correlated,
                                    d.contains(u"LIST"), first});
        } else if (d.startsWith(u"USING INDEX ") && d.endsWith(u" FOR IN-OPERATOR")) {
            s.subqueries.push_back(inOperatorIndex(d.section(u' ', 2, 2)));
        } else if (d.startsWith(u"RIGHT-JOIN ") && !s.steps.empty()) {
            markRightJoined(s.steps, d.mid(11).toLower());
        } else if (d == u"COMPOUND QUERY" || d.startsWith(u"MERGE (") ||
                   (s.isCompound && setOperator(d))) {
            // The members of a set operation; one SQLite merges may be followed by more
            // members at its own level.
            setMembers(id, members);
            if (!s.isCompound) {
                s.steps.emplace_back();
                s.hashedAt.push_back(false);
            }
            s.isCompound = true;
        } else if (d == u"MULTI-INDEX OR") {
            s.steps.push_back(multiIndexOr(id, outer));
            s.hashedAt.push_back(false);
        } else if (d.startsWith(u"SCAN ") || d.startsWith(u"SEARCH ")) {
            // Each row once per grouping set or UNPIVOT column: no line of Oracle's.
            const QString name = loopName(d).toLower();
            if (name == u"qv_gs" || name == u"qv_u") {
                s.setsLoop = id;
                s.unpivot = name == u"qv_u";
                continue;
            }
            bool hashed = false;
            s.steps.push_back(loop(id, outer, hashed, buildLine));
            s.hashedAt.push_back(hashed);
            buildLine = -1;
            const QString alias = loopName(d).toLower();
            // A table with no condition tying it to the tables before it: each
            // of its rows meets each of theirs.
            // (An outer join's inner table or a semi-join's keeps its own join.)
            const Step& added = s.steps.back();
            if (!outer.isEmpty() && !joinedTo(alias, outer) && !added.semi && !added.outerJoined &&
                !added.rightJoined)
                s.cartesianAt.insert(s.steps.size() - 1);
            outer << alias;
        }
        // Anything else (bloom filters, the parts of a multi-index OR) adds no step of its own.
    }
    if (s.isCompound)
        s.steps.front() = compound(members, text);
    return s;
}

bool Builder::copiedTable(const QString& name) const {
    const QString alias = name.toLower();
    return aliases_.contains(alias) && subqueryText(tokens_, alias).empty() &&
           subqueryText(tokens_, aliases_.value(alias)).empty();
}

int Builder::firstLoopBelow(int id) const {
    for (int child : nodes_.value(id).children) {
        const QString d = nodes_.value(child).detail;
        if (d.startsWith(u"SCAN ") || d.startsWith(u"SEARCH "))
            return d == u"SCAN CONSTANT ROW" ? -1 : child;
    }
    return -1;
}

// The index searches of an OR, one after the other: CONCATENATION. What each branch keeps
// after its conditions is not counted.
// IN (subquery) feeding the keys of the first table: its distinct rows drive a nested loop.
void Builder::driveByList(Sources& s) {
    for (auto it = s.subqueries.begin(); it != s.subqueries.end(); ++it) {
        if (!s.steps.front().listDriven || it->correlated || !it->list)
            continue;
        Step unique = it->plan;
        if (!it->distinct) {
            unique = blockStep(QStringLiteral("SORT"), QStringLiteral("UNIQUE"), {it->plan});
            unique.cost += sortCost(unique.card);
            // SQLite keeps the subquery's values once each and looks the table up by each.
            unique.rows = Measure::keys(s.steps.front().loop);
        }
        Step& driven = s.steps.front();
        s.listValues = unique.card;
        for (const Step* line = &driven; line;
             line = line->children.empty() ? nullptr : &line->children.front())
            s.listKeys << line->keys;
        Step join = blockStep(QStringLiteral("NESTED LOOPS"), QString(), {unique, driven});
        // Each row of the table at most once, however many times the subquery names it.
        join.card =
            std::min(unique.card * driven.card, driven.tableRows > 0 ? driven.tableRows : HUGE_VAL);
        join.cost = unique.cost + unique.card * driven.cost;
        join.width = driven.width;
        driven = join;
        s.subqueries.erase(it);
        return;
    }
}

namespace {

// Gives the lines of a loop that hand its rows on (and a step that stands for a level of its
// own: a set operation, an OR's branches, the constant row, a list-driven join) the count of
// what they hand on.
void setOutput(Step& s, const Measure& output) {
    if (s.hashed || s.buffered)
        return;  // its rows are the build side's; the join above hands the output on
    // The join above also hands on the outer rows that met none of this table's: what this
    // table gave is not counted.
    if (s.outerJoined || s.rightJoined)
        return;
    s.rows = output;
    if (s.operation == u"NESTED LOOPS") {
        setOutput(s.children.back(), output);
        return;
    }
    if (s.role != PlanRole::Iterator && s.role != PlanRole::Access)
        return;
    for (Step* line = &s; !line->children.empty();) {
        line = &line->children.front();
        if (line->role != PlanRole::Access)
            break;
        line->rows = output;
    }
}

}  // namespace

// Whether a hash join draws its hashed table (`inner`) first, as the input it builds on: the
// smaller of the two, unless SWAP_JOIN_INPUTS or NO_SWAP_JOIN_INPUTS names a side, or LEADING
// or ORDERED fixes the order: the table joined first is the one built on.
bool Builder::buildsFirst(const Step& outer, const Step& inner) const {
    bool ordered = false;
    for (const Hint& h : read_.hints()) {
        ordered |= h.name == u"LEADING" || h.name == u"ORDERED";
        const bool swap = h.name == u"SWAP_JOIN_INPUTS";
        if (!swap && h.name != u"NO_SWAP_JOIN_INPUTS")
            continue;
        for (QString a : h.args) {
            a = a.section(u'@', 0, 0).toLower();
            if (a == inner.alias)
                return swap;
            if (a == outer.alias)
                return !swap;
        }
    }
    return !ordered && inner.card * inner.width <= outer.card * outer.width;
}

// The loops joined left-deep, the outermost first; `outputs` counts what each loop hands on,
// which is also what the join that adds it hands on.
Step Builder::joined(const Sources& s, const std::vector<Measure>& outputs) {
    std::vector<Step> steps = s.steps;
    for (size_t i = 0; i < steps.size(); ++i)
        setOutput(steps[i], outputs[i]);
    Step tree = steps.front();
    for (size_t i = 1; i < steps.size(); ++i) {
        const Step& inner = steps[i];
        if (s.cartesianAt.count(i) && std::min(tree.card, inner.card) <= 1 && !inner.semi &&
            !inner.outerJoined && !inner.rightJoined) {
            // One row on one side: each row of the other is paired with it as it comes.
            Step join = blockStep(QStringLiteral("NESTED LOOPS"), QString(), {tree, inner});
            join.card = tree.card * inner.card;
            join.cost = tree.cost + tree.card * inner.cost;
            join.width = tree.width + inner.width;
            join.rows = outputs[i];
            tree = join;
            continue;
        }
        if (s.cartesianAt.count(i)) {
            // Oracle reads such a table once into a buffer and pairs every row with it; the
            // engine's copy of it (buffered), or SQLite's transient index on it searched by a
            // constant (hashed), is that buffer, read again for each outer row.
            const bool once = inner.buffered || s.hashedAt[i];
            Step buffer = blockStep(QStringLiteral("BUFFER"), QStringLiteral("SORT"), {inner});
            buffer.children.front().keys.clear();
            buffer.starts = Measure::loops(inner.loop);
            // What it hands on: every row read from the copy, or when a condition of the
            // table's may drop some as they are read (SQLite tests again those it pushed into
            // the copy), what the join hands on, each row it passes making one pair.
            buffer.rows = !inner.filtered ? Measure::visits(inner.loop) : outputs[i];
            // Read again whole by SQLite: its lines as one reading.
            if (!once)
                bufferReadAgain(buffer, outputs[i]);
            buffer.card = inner.card;
            buffer.cost = inner.cost + sortCost(inner.card);
            buffer.width = inner.width;
            Step join = blockStep(QStringLiteral("MERGE JOIN"), QStringLiteral("CARTESIAN"),
                                  {tree, buffer});
            join.card = tree.card * inner.card;
            join.cost = tree.cost + buffer.cost + cpuCost(join.card);
            join.width = tree.width + inner.width;
            join.rows = outputs[i];
            tree = join;
            continue;
        }
        const bool hashed = s.hashedAt[i];
        // A hash join builds on the smaller input: the hashed table may come first. The table
        // whose rows a RIGHT or FULL join keeps, hashed, is built on: the join hands on its rows
        // that met none after the others (HASH JOIN OUTER, or FULL OUTER).
        const bool buildFirst = hashed && (inner.rightJoined || buildsFirst(tree, inner));
        const QString right = buildFirst ? QStringLiteral("RIGHT ") : QString();
        const QString rightJoin = inner.outerJoined ? QStringLiteral("FULL OUTER")
                                  : hashed          ? QStringLiteral("OUTER")
                                                    : QStringLiteral("RIGHT OUTER");
        Step join = blockStep(hashed || inner.rightJoined ? QStringLiteral("HASH JOIN")
                                                          : QStringLiteral("NESTED LOOPS"),
                              inner.semi          ? right + QStringLiteral("SEMI")
                              : inner.rightJoined ? rightJoin
                              : inner.outerJoined ? right + QStringLiteral("OUTER")
                                                  : QString(),
                              {tree, inner});
        // A semi-join keeps each outer row once at most, however many rows it meets; an outer
        // join each at least once.
        join.card = tree.card * (inner.semi ? std::min(1.0, inner.card * inner.probeShare)
                                            : inner.card * inner.probeShare);
        if (inner.outerJoined)
            join.card = std::max(join.card, tree.card);
        if (inner.rightJoined)
            join.card = std::max(
                join.card, hashed ? inner.card : estimates_.table(tableName(inner.alias)).rows);
        // Each probe of a nested loop visits a block at least, as Oracle costs it.
        join.cost = hashed ? tree.cost + inner.cost + cpuCost(tree.card + inner.card)
                           : tree.cost + tree.card * std::max(inner.cost, 1.0);
        join.width = tree.width + inner.width;
        join.rows = outputs[i];
        if (hashed) {
            // The join's keys find the rows of the table it built, not the table's own read.
            join.role = PlanRole::HashJoin;
            join.alias = inner.alias;
            join.keys = inner.keys;
            join.children.back().keys.clear();
            if (buildFirst)
                std::swap(join.children.front(), join.children.back());
        }
        tree = join;
    }
    return tree;
}

// Grouping, DISTINCT and ORDER BY above the rows they work on. Each hands on what the next one
// up takes, or what the statement returns when it is the top of the statement's own query.
Step Builder::sorted(Step tree, const Sources& s, const QueryShape& shape, Range text) {
    const Measure returned =
        context_.top && !shape.offset ? Measure{Measure::StatementRows} : Measure{};
    const bool distinct = s.sortDistinct >= 0 || shape.distinct;
    const Measure intoOrder = s.sortOrder >= 0 ? Measure::visits(s.sortOrder) : returned;
    const std::optional<GroupingSets> grouping = shape.groupBy ? groupingOf(text) : std::nullopt;
    if (s.sortGroup >= 0 || shape.groupBy) {
        const QString options = s.sortGroup < 0 ? QStringLiteral("GROUP BY NOSORT")
                                : shape.orderBy && s.sortOrder < 0 ? QStringLiteral("GROUP BY")
                                                                   : QString();
        Step group = blockStep(options.isEmpty() ? QStringLiteral("HASH") : QStringLiteral("SORT"),
                               options.isEmpty() ? QStringLiteral("GROUP BY") : options, {tree});
        group.card = std::min(tree.card, groupsOf(u"GROUP", text, tree.card / 10, &s));
        group.cost += s.sortGroup >= 0 ? sortCost(tree.card) : 0;
        group.role = PlanRole::Group;
        if (grouping) {
            group.card = groupingCard(*grouping, text, tree.card);
            group = groupingLines(std::move(group), *grouping);
        }
        // HAVING keeps fewer groups than were made: those made are counted where SQLite ends
        // each, reading its sorter or the last loop's rows.
        const int grouped = s.sortGroup >= 0 ? s.sortGroup : s.steps.back().loop;
        if (!shape.having && !distinct)
            group.rows = intoOrder;
        else if (!grouping && grouped >= 0)
            group.rows = Measure::groups(grouped);
        tree = shape.having ? having(group, distinct ? Measure{} : intoOrder) : group;
    } else if (shape.aggregate) {
        Step sum = blockStep(QStringLiteral("SORT"), QStringLiteral("AGGREGATE"), {tree});
        sum.card = 1;
        sum.rows = sum.starts;  // one row each time it runs
        tree = shape.having ? having(sum, distinct ? Measure{} : intoOrder) : sum;
    }
    // DISTINCT ordered by selected items: its sort gives the order, and no other sort follows.
    const bool uniqueOrders = distinct && shape.orderBySelected && !grouping && !context_.merged;
    if (distinct) {
        // DISTINCT with no order asked of it hashes, as 19c's does, and so does one whose order
        // its sort cannot give (the sort of the ORDER BY follows).
        const bool hashed =
            s.sortDistinct >= 0 && (!shape.orderBy || !shape.orderBySelected) && !context_.merged;
        const QString options = hashed || s.sortDistinct >= 0 ? QStringLiteral("UNIQUE")
                                                              : QStringLiteral("UNIQUE NOSORT");
        Step unique =
            blockStep(hashed ? QStringLiteral("HASH") : QStringLiteral("SORT"), options, {tree});
        unique.card = std::min(tree.card, groupsOf(u"DISTINCT", text, tree.card / 2, &s));
        unique.cost += s.sortDistinct >= 0 ? sortCost(tree.card) : 0;
        unique.rows = intoOrder;
        tree = unique;
    }
    // A sort hands on all it takes, unless a row limit stops it: what was read back.
    const Measure sortedRows = returned.kind != Measure::None ? returned
                               : shape.limited                ? Measure::sorted(s.sortOrder)
                                                              : intoOrder;
    if (uniqueOrders && s.sortOrder >= 0) {
        tree.rows = sortedRows;
        tree.cost += sortCost(tree.card);
    } else if (s.sortOrder >= 0 && !context_.merged) {
        // A member of a set operation SQLite merges is sorted for the merge: the set
        // operation's own sort.
        Step order = blockStep(QStringLiteral("SORT"), QStringLiteral("ORDER BY"), {tree});
        order.cost += sortCost(tree.card);
        order.rows = sortedRows;
        tree = order;
    }
    return grouping ? groupingSetsTransformation(std::move(tree), *grouping) : tree;
}

double Builder::groupsOf(QStringView keyword, Range text, double fallback, const Sources* s) {
    const std::optional<QList<ColumnRef>> refs = columnsAfter(tokens_, keyword, text);
    if (!refs)
        return std::max(1.0, fallback);
    QStringList tables;
    for (const QString& a : aliases_)
        tables << a;
    if (tables.isEmpty()) {
        const QString first = firstTable(tokens_, text);
        if (!first.isEmpty())
            tables << first;
    }
    // One column: its distinct values. Several: the product of theirs, when their tables'
    // statistics were gathered (the caller caps it by the rows grouped).
    double groups = 1;
    for (const ColumnRef& ref : *refs) {
        QString table =
            !ref.alias.isEmpty() ? tableName(ref.alias) : estimates_.tableOf(ref.column, tables);
        // A name several tables have, unqualified: the query's own first table's.
        if (table.isEmpty() && ref.alias.isEmpty()) {
            const QString own = firstTable(tokens_, text);
            if (!own.isEmpty() && estimates_.table(own).columns.contains(ref.column.toLower()))
                table = own;
        }
        if (table.isEmpty() || (refs->size() > 1 && !estimates_.gathered(table, ref.column)))
            return std::max(1.0, fallback);
        double values = estimates_.distinct(table, ref.column);
        if (s && s->listValues > 0 && s->listKeys.contains(ref.column.toLower()))
            values = std::min(values, s->listValues);
        groups *= values;
    }
    return groups;
}

std::vector<PlanRow> Builder::rows() {
    if (frame_.framed())
        return framedRows();
    const QString kind = statementKind(tokens_);
    const bool changes = kind == u"INSERT" || kind == u"UPDATE" || kind == u"DELETE";
    context_ = {Measure::constant(1), true, Range{0, tokens_.size()}, false, Range{}};
    bool drawn = false;
    Step body = kind == u"SELECT" && isHierarchicalQuery(tokens_) ? connectBy(drawn) : Step{};
    if (!drawn)
        body = pivoted(block(roots_, context_.text));
    // INSERT ... VALUES reads no rows: the load stands alone, as in Oracle's plan.
    const bool valuesOnly = kind == u"INSERT" && roots_.empty() && body.operation == u"FAST DUAL";
    if (changes) {
        // The table changed, above the rows that find what to change.
        const QString target = changedTable(tokens_, kind);
        // A DELETE removes the rows the index finds by their rowids without reading them.
        if (kind == u"DELETE" && body.options == u"BY INDEX ROWID" &&
            body.object.compare(target, Qt::CaseInsensitive) == 0) {
            const Measure found = body.rows;
            body = Step(body.children.front());
            body.role = PlanRole::Access;
            body.rows = found;
        }
        // The subqueries of UPDATE ... SET come after the rows they give values to.
        std::vector<Step> setValues;
        if (body.carrier) {
            setValues.assign(body.children.begin(), body.children.end() - 1);
            body = Step(body.children.back());
        }
        Step change =
            blockStep(kind == u"INSERT" ? QStringLiteral("LOAD TABLE CONVENTIONAL") : kind,
                      QString(), {sequenced(body, valuesOnly)});
        change.children.insert(change.children.end(), setValues.begin(), setValues.end());
        if (valuesOnly && change.children.front().operation != u"SEQUENCE")
            change.children.clear();
        if (!target.isEmpty())
            change = named(change, target);
        // Changing rows hands none on, as Oracle counts it.
        change.rows = Measure::constant(0);
        body = change;
    }
    // The scalar subqueries of the select list, then the query, under its row limit, after the
    // WITH queries it loads.
    std::vector<Step> top;
    if (body.carrier) {
        top.assign(body.children.begin(), body.children.end() - 1);
        body = Step(body.children.back());
    }
    if (kind == u"SELECT")
        body = sequenced(rowLimited(body, context_.text), false);
    top.push_back(withTempTables(body));
    Step root = blockStep(kind + QStringLiteral(" STATEMENT"), QString(), top);
    root.card = top.back().card;
    root.cost = top.back().cost;
    root.width = top.back().width;
    root.rows = changes ? Measure::constant(0) : Measure{Measure::StatementRows};
    return finished(root);
}

std::vector<PlanRow> Builder::finished(Step root) {
    batchRowidAccess(root);
    std::vector<PlanRow> out;
    appendRows(root, -1, 0, out);
    attachViewPredicates(db_, tokens_, aliases_, estimates_, out);
    settleOrExpansions(out);
    return out;
}

void Builder::appendRows(const Step& s, int parentId, int position,
                         std::vector<PlanRow>& out) const {
    const int id = int(out.size());
    PlanRow row;
    row.id = id;
    row.parentId = parentId;
    row.position = position;
    row.operation = s.operation;
    row.options = s.options;
    // A temporary table of the statement's own, and a view of a transformation, are SYS's.
    row.objectOwner = s.owned ? owner_
                      : s.object.startsWith(u"SYS_TEMP_") || s.object.startsWith(u"VW_")
                          ? QStringLiteral("SYS")
                          : QString();
    row.objectName = s.object;
    row.cardinality = std::max<int64_t>(1, std::llround(s.card));
    row.cost = std::max<int64_t>(1, int64_t(std::ceil(s.cost)));
    row.bytes = std::llround(double(row.cardinality) * std::max(s.width, 0.0));
    row.starts = s.starts;
    row.rows = s.rows;
    row.loop = s.loop;
    row.role = s.role;
    row.alias = s.alias;
    row.keys = s.keys;
    row.block = s.block;
    row.filterPredicates = s.filter;
    row.accessPredicates = s.access;
    out.push_back(row);
    int childPosition = 0;
    for (const Step& child : s.children) {
        if (!child.carrier) {
            appendRows(child, id, ++childPosition, out);
            continue;
        }
        for (const Step& carried : child.children)
            appendRows(carried, id, ++childPosition, out);
    }
}

}  // namespace plan

std::vector<PlanRow> translatePlan(const ParsedStatement& statement,
                                   const std::vector<EqpLine>& eqp, const QString& owner,
                                   sqlite3* db, const QHash<QString, QString>& peeked) {
    return plan::Builder(statement, hashAreasAsCopies(eqp), owner, db, peeked).rows();
}

namespace {

uint64_t leadingBits(const QByteArray& digest, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | uint8_t(digest[i]);
    return v;
}

}  // namespace

int64_t planHashValue(const std::vector<PlanRow>& rows) {
    if (rows.empty())
        return 0;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const PlanRow& r : rows) {
        hash.addData(QStringLiteral("%1|%2|%3|%4\n")
                         .arg(r.id)
                         .arg(r.operation, r.options, r.objectName)
                         .toUtf8());
    }
    return int64_t(leadingBits(hash.result(), 4));
}

}  // namespace qv::embedded
