// The subqueries of a WHERE clause drawn as the joins Oracle makes of them (see translatePlan()):
// a list SQLite fills once and probes for each row is a hash semi or anti join whose build side
// is the subquery; a correlated subquery SQLite runs for each row is a nested loops semi or anti
// join when it looks one key up, and a FILTER above the query and the subquery otherwise.
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/plan/plansteps.h"

#include "core/sql/tokenlist.h"

#include <algorithm>

namespace qv::embedded::plan {

namespace {

// What the text says a subquery of the WHERE clause asks: [NOT] EXISTS, or column [NOT] IN.
struct SubqueryCondition {
    enum Kind { Exists, In, Other };
    Kind kind = Other;
    bool negated = false;
    QString alias;  // of the outer column of IN, lower case
    QString column;
    QString innerAlias;   // lower case
    QString innerColumn;  // the column the subquery selects, when it selects one
    QString innerTable;
    bool innerKept = false;  // the subquery keeps only rows whose column is not null
    bool outerKept = false;  // ... and so does the outer query for its column
};

// Whether the condition `term` is `[alias.]column IS NOT NULL`, the alias left out or the one
// given (lower case).
bool keepsNotNull(const std::vector<Token>& t, Range term, const QString& alias,
                  const QString& column) {
    QString a, c;
    const size_t after = columnAt(t, term.first, term.last, a, c);
    return after + 3 == term.last && t[after].is(u"IS") && t[after + 1].is(u"NOT") &&
           t[after + 2].is(u"NULL") && c == column &&
           (a.isEmpty() || alias.isEmpty() || a == alias);
}

// Whether the WHERE clause of the query [first, last) keeps only rows whose `alias.column` is
// not null by an IS NOT NULL among its AND terms.
bool whereKeepsNotNull(const std::vector<Token>& t, size_t first, size_t last, const QString& alias,
                       const QString& column) {
    const size_t where = sql::findTopLevel(t, first, last, u"WHERE");
    if (column.isEmpty() || where >= last)
        return false;
    const std::vector<Range> terms = sql::conjuncts(t, where + 1, last);
    return std::any_of(terms.begin(), terms.end(),
                       [&](const Range& r) { return keepsNotNull(t, r, alias, column); });
}

// The columns of EXISTS's subquery `sub` compares, `inner.a = outer.b` in its WHERE clause (the
// one term that names the outer query; the others name the inner table alone): the engine may
// look the outer column up in a list of the inner one filled once.
void correlation(const std::vector<Token>& t, Range sub, SubqueryCondition& c) {
    const size_t where = sql::findTopLevel(t, sub.first, sub.last, u"WHERE");
    if (where >= sub.last)
        return;
    const size_t from = sql::findTopLevel(t, sub.first, where, u"FROM");
    size_t k = from + 2;
    if (k < where && t[k].is(u"AS"))
        ++k;
    const QString own = k < where && isName(t[k]) && !sql::isKeyword(t[k])
                            ? unquoted(t[k]).toLower()
                            : c.innerTable.toLower();
    for (const Range& r : sql::conjuncts(t, where + 1, sub.last)) {
        const size_t at = r.first;
        if (r.size() != 7 || !t[at + 1].isOp(u'.') || !t[at + 3].isOp(u'=') ||
            !t[at + 5].isOp(u'.'))
            continue;
        QString a, b, ac, bc;
        columnAt(t, at, r.last, a, ac);
        columnAt(t, at + 4, r.last, b, bc);
        if ((a == own) == (b == own))
            continue;
        c.innerAlias = a == own ? a : b;
        c.innerColumn = a == own ? ac : bc;
        c.alias = a == own ? b : a;
        c.column = a == own ? bc : ac;
        return;
    }
}

// The subquery conditions among the AND terms of the WHERE clause of the query `text`, in the
// order written.
std::vector<SubqueryCondition> subqueryConditions(const std::vector<Token>& t, Range text) {
    std::vector<SubqueryCondition> found;
    if (text.empty())
        return found;
    const size_t where = sql::findTopLevel(t, text.first, text.last, u"WHERE");
    if (where >= text.last)
        return found;
    size_t end = text.last;
    for (const char16_t* word : {u"GROUP", u"ORDER", u"HAVING", u"UNION", u"MINUS", u"INTERSECT",
                                 u"CONNECT", u"START", u"FETCH"})
        end = std::min(end, sql::findTopLevel(t, where + 1, text.last, word));
    const std::vector<Range> terms = sql::conjuncts(t, where + 1, end);
    for (const Range& term : terms) {
        SubqueryCondition c;
        size_t i = term.first;
        size_t open = term.last;
        if (i < term.last && t[i].is(u"NOT") && i + 1 < term.last && t[i + 1].is(u"EXISTS")) {
            c.kind = SubqueryCondition::Exists;
            c.negated = true;
            open = i + 2;
        } else if (i < term.last && t[i].is(u"EXISTS")) {
            c.kind = SubqueryCondition::Exists;
            c.negated = false;
            open = i + 1;
        } else if (const size_t after = columnAt(t, i, term.last, c.alias, c.column); after > i) {
            c.negated = after < term.last && t[after].is(u"NOT");
            const size_t in = after + (c.negated ? 1 : 0);
            if (in < term.last && t[in].is(u"IN")) {
                c.kind = SubqueryCondition::In;
                open = in + 1;
            }
        }
        if (open + 1 >= term.last || !t[open].isOp(u'(') || !t[open + 1].is(u"SELECT"))
            continue;
        if (c.kind == SubqueryCondition::In) {
            const size_t after = columnAt(t, open + 2, term.last, c.innerAlias, c.innerColumn);
            if (after >= term.last || !(t[after].is(u"FROM") || t[after].isOp(u',')))
                c.innerColumn.clear();
        }
        const size_t close = sql::closing(t, open, term.last);
        c.innerTable = firstTable(t, Range{open + 1, close});
        if (c.kind == SubqueryCondition::Exists)
            correlation(t, Range{open + 1, close}, c);
        if (c.kind == SubqueryCondition::In) {
            // The subquery's own WHERE ends at its closing parenthesis (GROUP BY and the like
            // make no column null).
            c.innerKept = whereKeepsNotNull(t, open + 1, close, c.innerAlias, c.innerColumn);
            c.outerKept = std::any_of(terms.begin(), terms.end(), [&](const Range& r) {
                return keepsNotNull(t, r, c.alias, c.column);
            });
        }
        found.push_back(c);
    }
    return found;
}

// "ALIAS"."COLUMN" as Oracle prints a column, the alias left out when there is none.
QString oracleColumn(const QString& alias, const QString& column) {
    const QString name = u'"' + column.toUpper() + u'"';
    return alias.isEmpty() ? name : u'"' + alias.toUpper() + QStringLiteral("\".") + name;
}

// The first line below `s` (or `s`) that draws a loop of SQLite's.
const Step& firstLoopStep(const Step& s) {
    const Step* line = &s;
    while (line->loop < 0 && !line->children.empty())
        line = &line->children.front();
    return *line;
}

// Whether `s` is the line of one loop that looks rows up by keys: a search through an index
// or a rowid, with nothing above it in its block.
bool keyProbe(const Step& s) {
    if (s.loop < 0 || s.hashed || (s.role != PlanRole::Access && s.role != PlanRole::Iterator))
        return false;
    for (const Step* line = &s;; line = &line->children.front()) {
        if (!line->keys.isEmpty())
            return true;
        if (line->children.empty() || line->children.front().loop != s.loop)
            return false;
    }
}

}  // namespace

bool Builder::notNull(const QString& table, const QString& column) {
    if (table.isEmpty() || column.isEmpty())
        return false;
    sqlite::Statement st(db_,
                         "SELECT \"notnull\", pk FROM pragma_table_info(?1) "
                         "WHERE name = ?2 COLLATE NOCASE");
    st.bind(1, table);
    st.bind(2, column);
    return st.step() && (st.integer(0) != 0 || st.integer(1) != 0);
}

Step Builder::filterAbove(Step tree, const std::vector<Subquery>& subqueries,
                          const Measure& output) const {
    Step filter = blockStep(QStringLiteral("FILTER"), QString(), {tree});
    filter.role = PlanRole::Filter;
    filter.rows = output;
    for (const Subquery& sub : subqueries) {
        filter.children.push_back(sub.plan);
        filter.cost += sub.correlated ? tree.card * sub.plan.cost : sub.plan.cost;
        // Oracle's guess for a row kept by a subquery it cannot estimate: one in twenty.
        filter.card *= 0.05;
    }
    return filter;
}

Step Builder::withSubqueries(Step tree, const std::vector<Subquery>& subqueries,
                             const Measure& output) {
    const std::vector<SubqueryCondition> conditions = subqueryConditions(tokens_, context_.text);
    // Each subquery is told by its condition only when the text names as many as SQLite runs:
    // the first not yet taken that reads the same table, else the one in its place.
    const bool told = conditions.size() == subqueries.size();
    std::vector<bool> taken(conditions.size(), false);
    auto conditionOf = [&](size_t i) {
        if (!told)
            return SubqueryCondition{};
        const QString table = tableName(firstLoopStep(subqueries[i].plan).alias);
        for (size_t j = 0; j < conditions.size(); ++j) {
            if (!taken[j] && conditions[j].innerTable.compare(table, Qt::CaseInsensitive) == 0) {
                taken[j] = true;
                return conditions[j];
            }
        }
        if (taken[i])
            return SubqueryCondition{};
        taken[i] = true;
        return conditions[i];
    };
    // What the query's own loops hand on is what the one subquery began with: SQLite asks a
    // subquery after the row's other conditions. A table read alone has no join of its own:
    // its join conditions are those of a subquery's (one the engine fills once).
    if (subqueries.size() == 1 && subqueries.front().correlated &&
        subqueries.front().firstLoop >= 0)
        setOutputOf(tree, Measure::loops(subqueries.front().firstLoop));
    else if (subqueries.size() == 1 && !subqueries.front().correlated && tree.loop >= 0 &&
             tree.role == PlanRole::Access &&
             ((tree.operation == u"TABLE ACCESS" && tree.options == u"FULL") ||
              (tree.operation == u"INDEX" && tree.options.endsWith(u"FULL SCAN"))) &&
             onlySubqueriesOn(tree.alias, true))
        setOutputOf(tree, Measure::visits(tree.loop));  // every row it reads goes on
    std::vector<Subquery> filtered;
    for (size_t i = 0; i < subqueries.size(); ++i) {
        const Subquery& sub = subqueries[i];
        const SubqueryCondition c = conditionOf(i);
        const bool last = i + 1 == subqueries.size();
        // An uncorrelated list for [NOT] EXISTS: the engine looks the outer column up in it.
        const bool listed = c.kind == SubqueryCondition::In ||
                            (c.kind == SubqueryCondition::Exists && !c.innerColumn.isEmpty());
        if (c.kind == SubqueryCondition::Other || (sub.correlated && !keyProbe(sub.plan)) ||
            (!sub.correlated && (!sub.list || !listed))) {
            filtered.push_back(sub);
            continue;
        }
        QString options = c.negated ? QStringLiteral("ANTI") : QStringLiteral("SEMI");
        if (c.negated && c.kind == SubqueryCondition::In) {
            // NOT IN is false for every row once the subquery gives a null, and unknown for a
            // row whose own value is null: Oracle's null-aware anti join (NA) when the
            // subquery's column may be null, single null-aware (SNA) when only the outer one
            // may be. A column is not null by its constraint or by an IS NOT NULL of the query
            // that reads it.
            const QString outerTable = tableName(
                !c.alias.isEmpty() ? c.alias
                                   : ownerOf(c.column, tree.alias, tableName(tree.alias)));
            if (!c.innerKept && !notNull(c.innerTable, c.innerColumn))
                options += QStringLiteral(" NA");
            else if (!c.outerKept && !notNull(outerTable, c.column))
                options += QStringLiteral(" SNA");
        }
        // The share of the outer rows that meet a row of the subquery: all of them once it
        // finds as many rows as the outer column has values.
        double met = 1;
        if (sub.correlated) {
            met = correlatedShare(sub.plan, sub.plan.card).value_or(std::min(1.0, sub.plan.card));
        } else {
            const QString outerTable = tableName(!c.alias.isEmpty() ? c.alias : tree.alias);
            const double values = estimates_.distinct(outerTable, c.column);
            const double found =
                c.innerColumn.isEmpty()
                    ? sub.plan.card
                    : std::min(sub.plan.card, estimates_.distinct(c.innerTable, c.innerColumn));
            met = std::min(1.0, found / std::max(values, 1.0));
        }
        const double kept = tree.card * (c.negated ? 1 - met : met);
        Step join;
        if (sub.correlated) {
            join = blockStep(QStringLiteral("NESTED LOOPS"), options, {tree, sub.plan});
            join.cost = tree.cost + tree.card * sub.plan.cost;
        } else {
            // The subquery is the build side: Oracle names the join RIGHT then.
            join = blockStep(QStringLiteral("HASH JOIN"), QStringLiteral("RIGHT ") + options,
                             {sub.plan, tree});
            join.cost = sub.plan.cost + tree.cost + cpuCost(sub.plan.card + tree.card);
        }
        join.card = std::max(kept, 1.0);
        join.width = tree.width;
        // A hash join finds the outer rows by the column IN compares with what the subquery
        // selects; a nested loops join's own lines show how it looks the key up.
        if (!sub.correlated && c.kind == SubqueryCondition::Exists) {
            // The subquery's own comparison finds the rows of the list it built, on the join.
            join.role = PlanRole::HashJoin;
            join.alias = c.innerAlias;
            join.keys = QStringList{c.innerColumn};
            join.block = sub.plan.block;
        } else if (!sub.correlated && !c.innerColumn.isEmpty()) {
            join.access =
                oracleColumn(c.alias, c.column) + u'=' + oracleColumn(c.innerAlias, c.innerColumn);
        }
        join.rows = last && filtered.empty() ? output : Measure{};
        // A probe that reads nothing but the index entries of its keys hands on each one it
        // visits: SQLite stops an EXISTS at its first row.
        if (sub.correlated && join.children.back().operation == u"INDEX" &&
            join.children.back().rows.kind == Measure::None && onlyKeysOn(join.children.back()))
            join.children.back().rows = Measure::visits(join.children.back().loop);
        tree = join;
    }
    if (!filtered.empty())
        tree = filterAbove(tree, filtered, output);
    return tree;
}

Builder::Subquery Builder::inOperatorIndex(const QString& indexName) {
    const PlanEstimates::Index& index = estimates_.index(indexName);
    const PlanEstimates::Table& t = estimates_.table(index.table);
    Step scan = named(step(QStringLiteral("INDEX"), QStringLiteral("FULL SCAN")), index.shown);
    scan.card = t.rows;
    scan.cost = 1 + index.leafPages + cpuCost(t.rows);
    scan.width = index.keyWidth;
    scan.starts = context_.starts;
    scan.block = context_.text;
    return {scan, false, true, -1, index.unique && index.columns.size() == 1};
}

std::optional<double> Builder::correlatedShare(const Step& probe, double perProbe) {
    const Step* keyed = &probe;
    while (keyed->keys.isEmpty() && !keyed->children.empty() &&
           keyed->children.front().loop == probe.loop)
        keyed = &keyed->children.front();
    const QString inner = probe.alias;
    for (Predicate p : predicates_) {
        if (!p.isJoin() || p.op != u"=")
            continue;
        if (p.otherAlias == inner)
            std::swap(p.alias, p.otherAlias), std::swap(p.column, p.otherColumn);
        if (p.alias != inner || p.otherAlias.isEmpty() || p.otherAlias == inner ||
            !keyed->keys.contains(p.column))
            continue;
        const double innerValues = estimates_.distinct(tableName(inner), p.column);
        const double outerValues = estimates_.distinct(tableName(p.otherAlias), p.otherColumn);
        // The keys it finds rows for: its column's values, fewer when its conditions leave
        // less than a row a key.
        return std::min(1.0, innerValues * std::min(1.0, perProbe) / std::max(outerValues, 1.0));
    }
    return std::nullopt;
}

bool Builder::onlyKeysOn(const Step& probe) {
    const QList<Predicate> conditions = conditionsOn(probe.alias, tableName(probe.alias));
    return std::all_of(conditions.begin(), conditions.end(),
                       [&](const Predicate& p) { return probe.keys.contains(p.column); });
}

bool Builder::onlySubqueriesOn(const QString& alias, bool joins) {
    const QList<Predicate> conditions = conditionsOn(alias, tableName(alias));
    return std::all_of(conditions.begin(), conditions.end(),
                       [&](const Predicate& p) { return p.subquery || (joins && p.isJoin()); });
}

}  // namespace qv::embedded::plan
