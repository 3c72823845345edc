// Row limits (COUNT STOPKEY, FETCH FIRST's window), analytic functions, HAVING's FILTER, the
// scalar subqueries of a select list and WITH queries loaded into temporary tables, drawn as
// Oracle draws them over what SQLite runs (see translatePlan()).
#include "core/embedded/plan/plansteps.h"

#include <algorithm>
#include <cmath>

namespace qv::embedded::plan {

namespace {

bool sorts(const Step& s) {
    return s.operation == u"SORT" && s.options == u"ORDER BY";
}

// Oracle costs the lines above a row limit for the first `rows` rows only: the lines that hand
// their rows on as they come read no more than those.
void capRows(Step& s, double rows) {
    if (rows <= 0 || s.card <= rows)
        return;
    const double share = rows / s.card;
    s.card = rows;
    const bool blocking = s.operation == u"SORT" || s.operation == u"HASH" ||
                          s.operation == u"HASH JOIN" || s.operation == u"MERGE JOIN" ||
                          (s.operation == u"WINDOW" && !s.options.startsWith(u"NOSORT"));
    if (blocking)
        return;
    s.cost = std::max(1.0, s.cost * share);
    if (s.children.empty())
        return;
    // The outer rows of a join, or the one row source below; an inner table's figures are per
    // outer row.
    Step& below = s.children.front();
    capRows(below, below.card * share);
}

// The first WINDOW line at or below `s` along first children.
Step* windowLine(Step& s) {
    for (Step* line = &s;; line = &line->children.front()) {
        if (line->operation == u"WINDOW")
            return line;
        if (line->children.empty())
            return nullptr;
    }
}

// The VIEW over a window that the query reads as `alias` (lower case; empty: unnamed), at or
// below `s`.
Step* rankedView(Step& s, const QString& alias) {
    if (s.operation == u"VIEW" && (alias.isEmpty() || s.alias == alias) && windowLine(s))
        return &s;
    for (Step& child : s.children) {
        if (Step* found = rankedView(child, alias))
            return found;
    }
    return nullptr;
}

// The ranking of the inline view `body` reads, pushed into its window, which stops at the last
// rank asked for; `viewConditions`: the query's conditions on the view's columns.
void pushRanking(Step& body, const RowLimit& limit, const QString& viewConditions) {
    Step* view = rankedView(body, limit.view);
    if (!view)
        return;
    // The ranking is pushed into the window, which stops at the last rank asked for; one that
    // ranks within partitions read in order filters each partition's and reads on.
    Step* window = windowLine(*view);
    const bool sorted = window->options == u"SORT";
    window->options = sorted              ? QStringLiteral("SORT PUSHED RANK")
                      : limit.partitioned ? QStringLiteral("NOSORT")
                                          : QStringLiteral("NOSORT STOPKEY");
    window->filter = limit.numbering;
    view->filter = limit.condition;
    // (Ranked within partitions, each partition keeps that many: no figure is known.)
    if (limit.stop > 0 && limit.rows > 0) {
        // Oracle costs the lines that hand rows on as they come for the ranks kept only.
        if (sorted)
            window->card = std::min(window->card, limit.stop);
        else
            capRows(*window, limit.stop);
        view->cost = window->cost;
    }
    // Stopped at the last rank, the window hands on what the query reads from its view (RANK
    // and DENSE_RANK stop at the last tie of the last rank when no sort reads all). Ranked
    // within partitions, it hands on the rows its filter keeps: those the statement returns
    // when that filter is the query's only condition.
    const bool stops = limit.stopsEarly || (!limit.rankOrder.empty() && !sorted);
    if (stops && view->loop >= 0 && !view->hashed)
        window->rows = Measure::visits(view->loop);
    else if (view->rows.kind == Measure::StatementRows && viewConditions == limit.condition)
        window->rows = view->rows;
    if (limit.rows > 0)
        view->card = std::min(view->card, limit.rows);
    // The lines above the view, one input each, hand on no more than it does.
    for (Step* line = &body; line != view && line->children.size() == 1;
         line = &line->children.front())
        line->card = std::min(line->card, view->card);
}

// The VIEW's filter: rows numbered (ranked, for ties) up to the last one fetched, a percentage
// of all rows counted by the window, past those skipped.
QString fetchFilter(const RowLimit& limit) {
    const QString number = QStringLiteral(R"("from$_subquery$_002"."rowlimit_$$_rownumber")");
    const QString kept = limit.ties && limit.ordered
                             ? QStringLiteral(R"("from$_subquery$_002"."rowlimit_$$_rank")")
                             : number;
    const QString count =
        limit.percent ? QStringLiteral(R"(CEIL("from$_subquery$_002"."rowlimit_$$_total"*%1/100))")
                            .arg(limit.count)
        : limit.count.isEmpty() && (limit.ties || limit.percent) ? QStringLiteral("1")
                                                                 : limit.count;
    if (count.isEmpty())
        return number + u'>' + limit.offset;
    if (limit.offset.isEmpty())
        return kept + QStringLiteral("<=") + count;
    return kept +
           QStringLiteral("<=CASE  WHEN (%1>=0) THEN %1 ELSE 0 END +%2 AND ")
               .arg(limit.offset, count) +
           number + u'>' + limit.offset;
}

}  // namespace

// The engine numbers the rows of a query that sorts, groups or combines them in a subquery of
// its own, read as the table it numbers: COUNT STOPKEY stands in that VIEW's place, and no line
// above it gets more rows.
bool Builder::numberedView(Step& body, const RowLimit& limit) const {
    std::vector<Step*> above;
    for (Step* line = &body; !line->children.empty(); line = &line->children.front()) {
        if (line->operation != u"VIEW" || line->alias.startsWith(u"(subquery") ||
            !subqueryText(tokens_, line->alias).empty()) {
            above.push_back(line);
            continue;
        }
        line->operation = QStringLiteral("COUNT");
        line->options = QStringLiteral("STOPKEY");
        line->filter = limit.condition;
        // It applies ROWNUM alone: the query's conditions are its loops'.
        line->role = PlanRole::Other;
        // It lets through what the loop reading the numbered rows took.
        if (line->rows.kind == Measure::None && line->loop >= 0 && !line->hashed)
            line->rows = Measure::visits(line->loop);
        capRows(line->children.front(), limit.rows);
        const double saved = line->cost - line->children.front().cost;
        line->card = line->children.front().card;
        line->cost -= saved;
        for (Step* s : above) {
            s->card = std::min(s->card, line->card);
            s->cost = std::max(line->cost, s->cost - saved);
        }
        return true;
    }
    return false;
}

// The statement's own query under its row limit. Each line above the loops hands on the
// statement's rows, but for the lines below an OFFSET, which hand on the skipped rows too.
Step Builder::rowLimited(Step body, Range text) const {
    // Each member of a set operation has its own.
    const RowLimit limit =
        compoundParts(tokens_, text).size() > 1 ? RowLimit{} : rowLimit(tokens_, text);
    if (limit.kind == RowLimit::None) {
        // The outer query of a page: its conditions on the view's columns filter the view.
        if (body.operation == u"VIEW" && body.filter.isEmpty())
            body.filter = viewFilter(tokens_, text);
        return body;
    }
    if (body.carrier) {
        // Under the scalar subqueries of its select list.
        body.children.back() = rowLimited(body.children.back(), text);
        return body;
    }
    // A subquery's rows are counted where they go, not on the lines of its own limit.
    const Measure returned = context_.top ? Measure{Measure::StatementRows} : Measure{};
    if (limit.kind == RowLimit::Rownum) {
        if (!limit.ordered && numberedView(body, limit))
            return body;
        if (limit.ordered) {
            // The engine's own subquery that numbers the rows of the ordered view is no line of
            // Oracle's: the view stands under the count itself.
            while (body.operation == u"VIEW" && body.alias.startsWith(u"(subquery") &&
                   body.children.size() == 1 && body.children.front().operation == u"VIEW")
                body = Step(body.children.front());
            const bool viewed = body.operation == u"VIEW" && body.children.size() == 1;
            Step& below = viewed ? body.children.front() : body;
            const bool sorted = sorts(below);
            if (sorted) {
                below.options = QStringLiteral("ORDER BY STOPKEY");
                below.filter = limit.condition;
                // It hands on the rows counted, not the rows it took in.
                below.rows = returned;
                if (limit.rows > 0)
                    below.card = std::min(below.card, limit.rows);
            } else {
                readInOrder(below, inlineView(tokens_, text));  // the view's order is an index's
            }
            if (!viewed) {
                Step view = blockStep(QStringLiteral("VIEW"), QString(), {body});
                view.rows = returned;
                body = view;
            }
            if (!sorted)
                capRows(below, limit.rows);
            body.card = std::min(body.card, below.card);
            body.cost = below.cost;
        } else {
            capRows(body, limit.rows);
        }
        Step count = blockStep(QStringLiteral("COUNT"), QStringLiteral("STOPKEY"), {body});
        count.filter = limit.condition;
        count.rows = returned;
        if (limit.rows > 0)
            count.card = std::min(count.card, limit.rows);
        return count;
    }
    if (limit.kind == RowLimit::Fetch)
        return fetchLimited(std::move(body), limit, returned, text);
    if (limit.kind == RowLimit::Ranked)
        pushRanking(body, limit, viewFilter(tokens_, text));
    return body;
}

// [OFFSET m ROWS] FETCH FIRST n ...: a VIEW filtering the rows its window numbers, the window
// sorting them or numbering them as an index gives their order.
Step Builder::fetchLimited(Step body, const RowLimit& limit, const Measure& returned,
                           Range text) const {
    // Ties and percentages are kept by the engine's own view over the query's numbered rows:
    // the window stands in the place of its lines.
    // (The query's own lines above them, a grouping drawn over the view, are its lines.)
    int numberedLoop = -1;  // the loop reading the engine's view: every row its window numbered
    if (limit.ties || limit.percent) {
        const Step* inner = nullptr;
        for (const Step* line = &body; line->children.size() == 1 && !sorts(*line);
             line = &line->children.front()) {
            if (line->operation == u"VIEW" &&
                (line->alias.isEmpty() || line->alias.startsWith(u"(subquery")))
                inner = line;
        }
        if (inner) {
            numberedLoop = inner->loop;
            body = Step(inner->children.front());
            // Its rows go to the window, not to the client: what its loop let through.
            for (Step* line = &body; line->rows.kind == Measure::StatementRows;
                 line = &line->children.front()) {
                line->rows = line->loop >= 0 ? Measure::output(line->loop) : Measure{};
                if (line->children.empty())
                    break;
            }
        }
        if (inner && !sorts(body))
            readInOrder(body, text);  // the engine's view is no block of the statement's
    }
    const Measure numbered =
        limit.offset.isEmpty() && !limit.ties && !limit.percent ? returned : Measure{};
    Step window = body;
    if (sorts(body)) {
        window.operation = QStringLiteral("WINDOW");
        window.options =
            limit.percent ? QStringLiteral("SORT") : QStringLiteral("SORT PUSHED RANK");
        // It keeps the rows numbered up to the last one fetched.
        if (!limit.numbering.isEmpty() && !limit.count.isEmpty() && !limit.percent) {
            window.filter = limit.numbering + QStringLiteral("<=") +
                            (limit.offset.isEmpty()
                                 ? limit.count
                                 : QStringLiteral("CASE  WHEN (%1>=0) THEN %1 ELSE 0 END +%2")
                                       .arg(limit.offset, limit.count));
        }
    } else {
        window = blockStep(
            QStringLiteral("WINDOW"),
            limit.percent ? QStringLiteral("NOSORT") : QStringLiteral("NOSORT STOPKEY"), {body});
        capRows(window, limit.rows);
    }
    // Past an OFFSET it numbers the rows skipped too: all its loop let through, or all read
    // back from its sort. A percentage needs them all counted: it hands every row on. Ties are
    // the rows ranked up to the count past the rows skipped: the view's, and the rows it skips
    // (each ranked no higher than its number), as many as the OFFSET says and there are.
    Measure ranked = returned;
    if (!limit.offset.isEmpty()) {
        bool literal = false;
        const double skipped = limit.offset.toDouble(&literal);
        ranked.plus = literal ? std::max<int64_t>(0, int64_t(skipped)) : 0;
        ranked.plusUpTo = numberedLoop;
        if (!literal || numberedLoop < 0)
            ranked = Measure{};
    }
    window.rows = numbered.kind != Measure::None          ? numbered
                  : limit.percent && numberedLoop >= 0    ? Measure::visits(numberedLoop)
                  : limit.ties && !limit.percent          ? ranked
                  : limit.ties || limit.percent           ? Measure{}
                  : window.options == u"SORT PUSHED RANK" ? body.rows
                  : body.loop >= 0 && !body.hashed        ? Measure::output(body.loop)
                                                          : Measure{};
    Step view = blockStep(QStringLiteral("VIEW"), QString(), {window});
    view.filter = fetchFilter(limit);
    view.rows = returned;
    if (!limit.count.isEmpty() && limit.rows > 0)
        view.card = std::min(view.card, limit.rows - limit.offset.toDouble());
    return view;
}

bool Builder::rankBound(int id) const {
    const EqpNode& node = nodes_.value(id);
    if (node.detail.contains(u"qv_rank_bound"))
        return true;
    return std::any_of(node.children.begin(), node.children.end(),
                       [this](int child) { return rankBound(child); });
}

// A block whose one loop reads the rows SQLite sorted for its analytic functions: the WINDOW
// line above those rows takes the place of the VIEW SQLite's co-routine would draw.
bool Builder::windowBlock(Sources& s, Range text) const {
    const QStringList functions = analyticFunctions(tokens_, text);
    if (functions.isEmpty() || s.steps.size() != 1 || s.steps.front().operation != u"VIEW" ||
        !s.steps.front().alias.startsWith(u"(subquery") || s.steps.front().children.empty())
        return false;
    Step& window = s.steps.front();
    Step input = window.children.front();
    window.operation = QStringLiteral("WINDOW");
    // It hands on the rows it numbered; the rows below are counted as they went into the sort.
    window.role = PlanRole::Other;
    if (sorts(input)) {
        window.options = QStringLiteral("SORT");
        window.cost = input.cost;
        window.children = input.children;
    } else {
        // Rows in the window's order already: numbering needs no more than the row at hand,
        // other functions see their whole window.
        const bool ranks = std::all_of(functions.begin(), functions.end(), [](const QString& f) {
            return f == u"ROW_NUMBER" || f == u"RANK" || f == u"DENSE_RANK";
        });
        window.options = ranks ? QStringLiteral("NOSORT") : QStringLiteral("BUFFER");
    }
    return true;
}

// HAVING: a FILTER above the groups (or the aggregate), keeping what goes on to `rows`.
Step Builder::having(Step group, const Measure& rows) const {
    Step filter = blockStep(QStringLiteral("FILTER"), QString(), {group});
    filter.role = PlanRole::Having;
    filter.rows = rows;
    // Oracle's guess for a condition on an aggregate: one group in twenty.
    filter.card = std::max(1.0, group.card * 0.05);
    return filter;
}

// The scalar subqueries of a select list, taken out of `s`: they stand before the query whose
// rows they are evaluated for, without a FILTER, as they keep or drop no row. Subqueries of the
// WHERE or HAVING clause stay in `s` for the FILTER.
std::vector<Step> Builder::takeScalars(Sources& s, Range text) const {
    std::vector<Step> scalars;
    // Which subquery SQLite's lines belong to cannot be told when the conditions have some too.
    if (s.subqueries.empty() || selectListSubqueries(tokens_, text).size() != s.subqueries.size())
        return scalars;
    for (const Subquery& sub : s.subqueries)
        scalars.push_back(sub.plan);
    s.subqueries.clear();
    return scalars;
}

Step carried(std::vector<Step> scalars, const Step& tree) {
    if (scalars.empty())
        return tree;
    Step carrier = tree;
    carrier.carrier = true;
    carrier.children = std::move(scalars);
    carrier.children.push_back(tree);
    return carrier;
}

// A WITH query that SQLite fills once for several readers: each reads the temporary table.
std::optional<Step> Builder::tempTableRead(const QString& view) const {
    const qsizetype at = temps_.indexOf(view);
    if (at < 0)
        return std::nullopt;
    const Step& query = views_.value(view);
    Step read = step(QStringLiteral("TABLE ACCESS"), QStringLiteral("FULL"));
    read.object = QStringLiteral("SYS_TEMP_0FD9D66%1_%2")
                      .arg(at, 2, 10, QChar(u'0'))
                      .arg(QStringLiteral("5B8E3F"));
    read.card = query.card;
    read.width = query.width;
    read.cost = std::max(2.0, query.card * query.width / 8192 * 2);
    read.role = PlanRole::Access;
    return step(QStringLiteral("VIEW"), QString(), {read});
}

// TEMP TABLE TRANSFORMATION: each shared WITH query loaded first, then the query reading them.
Step Builder::withTempTables(Step body) const {
    if (temps_.isEmpty())
        return body;
    Step transform = blockStep(QStringLiteral("TEMP TABLE TRANSFORMATION"), QString());
    for (qsizetype i = 0; i < temps_.size(); ++i) {
        Step load =
            blockStep(QStringLiteral("LOAD AS SELECT"), QString(), {views_.value(temps_[i])});
        load.object = tempTableRead(temps_[i])->children.front().object;
        transform.children.push_back(load);
    }
    transform.children.push_back(body);
    transform.card = body.card;
    transform.width = body.width;
    transform.cost = body.cost;
    for (size_t i = 0; i + 1 < transform.children.size(); ++i)
        transform.cost += transform.children[i].cost;
    transform.rows = body.rows;
    return transform;
}

}  // namespace qv::embedded::plan
