// SQLite's EXPLAIN QUERY PLAN drawn as Oracle draws a plan, with estimates: see translatePlan().
#include "core/embedded/planbuilder.h"

#include "core/embedded/planestimates.h"
#include "core/embedded/planfacts.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

using namespace Qt::StringLiterals;

namespace qv::embedded {

namespace {

// A plan step as it is being built, with its estimates per execution.
struct Step {
    QString operation;
    QString options;
    QString object;  // empty: none
    bool owned = false;
    double card = 1;
    double cost = 0;
    double width = 10;
    double probeShare = 1;  // of a hashed inner table: the share of its rows one outer row meets
    std::vector<Step> children;
    bool listDriven = false;  // its key values come from an IN (subquery)
    double tableRows = 0;     // of a list driven table: what it has in all
    bool semi = false;        // read only until its first row for each outer row (EXISTS)
};

Step step(QString operation, QString options, std::vector<Step> children = {}) {
    Step s{std::move(operation),
           std::move(options),
           {},
           false,
           1,
           0,
           10,
           1,
           std::move(children),
           false,
           0,
           false};
    if (!s.children.empty()) {
        s.card = s.children.front().card;
        s.cost = s.children.front().cost;
        s.width = s.children.front().width;
    }
    return s;
}

struct EqpNode {
    QString detail;
    std::vector<int> children;
};

class Builder {
  public:
    Builder(const QString& statement, const std::vector<EqpLine>& eqp, QString owner, sqlite3* db)
        : tokens_(sql::tokenize(statement)), owner_(std::move(owner)), estimates_(db) {
        aliases_ = tableAliases(tokens_);
        predicates_ = readPredicates(tokens_);
        for (const EqpLine& line : eqp) {
            nodes_[line.id].detail = line.detail;
            if (line.parent == 0)
                roots_.push_back(line.id);
            else
                nodes_[line.parent].children.push_back(line.id);
        }
    }

    std::vector<PlanRow> rows();

  private:
    struct Subquery {
        Step plan;
        bool correlated;
        bool list;  // of IN (subquery)
    };
    // The loops of one query block as SQLite runs them, and what it sorts.
    struct Sources {
        std::vector<Step> steps;
        std::vector<bool> hashedAt;
        std::set<size_t> cartesianAt;
        std::vector<Subquery> subqueries;
        bool sortOrder = false, sortGroup = false, sortDistinct = false, isCompound = false;
    };
    // What every way of reading one table starts from.
    struct Access {
        QString alias;  // lower case
        QString table;
        const PlanEstimates::Table* t;
        QString object;
        double width;
        QList<Predicate> conditions;
    };

    // `text`: the tokens of the query a block of the plan runs; empty when it cannot be told.
    Step block(const std::vector<int>& lines, Range text);
    Sources readLines(const std::vector<int>& lines, Range text);
    Step multiIndexOr(const EqpNode& node, const QStringList& outer);
    void driveByList(Sources& s);
    Step joined(const Sources& s);
    Step sorted(Step tree, const Sources& s, const QueryShape& shape, Range text);
    Step compound(const std::vector<int>& parts, Range text);
    // Whether a join condition ties `alias` to one of the tables joined before it.
    bool joinedTo(const QString& alias, const QStringList& outer) const;
    // The groups a GROUP BY or the rows a DISTINCT of one plain column gives: its distinct
    // values; `fallback` for anything else.
    double groupsOf(QStringView keyword, Range text, double fallback);
    // One loop of a block; `hashed` tells a transient index stands for a hash join.
    Step loop(const QString& detail, const QStringList& outer, bool& hashed);
    // `searched`: SQLite's SEARCH rather than SCAN.
    Step tableAccess(const QString& name, const QString& usingText, const QStringList& outer,
                     bool& hashed, bool searched = false);
    Step fullScan(const Access& a, const QString& usingText, const QStringList& outer,
                  bool& hashed);
    Step rowidAccess(const Access& a, const QString& usingText, const QStringList& outer);
    Step indexAccess(const Access& a, const QRegularExpressionMatch& m, const QStringList& outer,
                     bool searched);
    double otherSelectivity(const Access& a, const QStringList& indexColumns,
                            const QStringList& outer) {
        return estimates_.selectivity(a.conditions, a.table, indexColumns, outer);
    }
    // The alias an unqualified column belongs to, seen from `alias` reading `table`.
    QString ownerOf(const QString& column, const QString& alias, const QString& table);
    QList<Predicate> conditionsOn(const QString& alias, const QString& table);
    // Average bytes of the columns of the table the statement names.
    double usedWidth(const QString& alias, const PlanEstimates::Table& t) const;
    QString tableName(const QString& alias) const { return aliases_.value(alias.toLower(), alias); }
    Step named(Step s, const QString& object) {
        s.object = object.toUpper();
        s.owned = true;
        return s;
    }
    void appendRows(const Step& s, int parentId, int position, std::vector<PlanRow>& out) const;

    std::vector<Token> tokens_;
    QString owner_;
    PlanEstimates estimates_;
    QHash<QString, QString> aliases_;
    QList<Predicate> predicates_;
    QHash<int, EqpNode> nodes_;
    std::vector<int> roots_;
    QHash<QString, Step> views_;  // lower case name -> the plan of its query
};

// Whether the key values of `column` come from an IN (subquery).
bool keysFromList(const QList<Predicate>& conditions, const QString& column) {
    return std::any_of(conditions.begin(), conditions.end(),
                       [&](const Predicate& p) { return p.subquery && p.column == column; });
}

QString Builder::ownerOf(const QString& column, const QString& alias, const QString& table) {
    const QString found = estimates_.tableOf(column, aliases_.values());
    if (!found.isEmpty())
        return tableName(alias).compare(found, Qt::CaseInsensitive) == 0 ? alias
                                                                         : aliases_.key(found);
    // In none of the tables, or in several: this one's when it has it.
    return estimates_.table(table).columns.contains(column) ? alias : QString();
}

QList<Predicate> Builder::conditionsOn(const QString& alias, const QString& table) {
    QList<Predicate> found;
    for (Predicate p : predicates_) {
        if (p.isJoin() && p.otherAlias == alias && p.alias != alias) {
            // Read the join from this table's side.
            std::swap(p.alias, p.otherAlias);
            std::swap(p.column, p.otherColumn);
        }
        if ((p.alias.isEmpty() ? ownerOf(p.column, alias, table) : p.alias) == alias)
            found << p;
    }
    return found;
}

double Builder::usedWidth(const QString& alias, const PlanEstimates::Table& t) const {
    const std::optional<QStringList> names = namesUsed(tokens_, alias);
    if (!names)
        return t.width;
    double width = 0;
    for (const QString& name : *names) {
        const qsizetype c = t.columns.indexOf(name);
        if (c >= 0)
            width += t.widths.value(c, 10);
    }
    return width;
}

Step Builder::tableAccess(const QString& name, const QString& usingText, const QStringList& outer,
                          bool& hashed, bool searched) {
    static const QRegularExpression kIndex(
        QStringLiteral(R"(^(COVERING )?INDEX (\S+)(?: \((.*)\))?$)"));
    Access a;
    a.alias = name.toLower();
    a.table = tableName(name);
    a.t = &estimates_.table(a.table);
    a.object = a.table;
    a.width = usedWidth(a.alias, *a.t);
    a.conditions = conditionsOn(a.alias, a.table);
    if (usingText.isEmpty() || usingText.startsWith(u"AUTOMATIC"))
        return fullScan(a, usingText, outer, hashed);
    if (usingText.startsWith(u"INTEGER PRIMARY KEY"))
        return rowidAccess(a, usingText, outer);
    const QRegularExpressionMatch m = kIndex.match(usingText);
    if (!m.hasMatch())  // a form this engine does not know: read it as a full scan
        return fullScan(a, QString(), outer, hashed);
    return indexAccess(a, m, outer, searched);
}

// A table read whole; with a transient index on it (`usingText` AUTOMATIC...), which Oracle
// would hash instead.
Step Builder::fullScan(const Access& a, const QString& usingText, const QStringList& outer,
                       bool& hashed) {
    // A transient index on the inner table: Oracle would hash the inner rows instead.
    hashed = usingText.startsWith(u"AUTOMATIC");
    Step s = named(step(QStringLiteral("TABLE ACCESS"), QStringLiteral("FULL")), a.object);
    // Hashed, the table is read once: the join a.conditions count at the join.
    s.card = a.t->rows * otherSelectivity(a, {}, hashed ? QStringList{} : outer);
    if (hashed)
        s.probeShare = otherSelectivity(a, {}, outer) / otherSelectivity(a, {}, {});
    s.cost = a.t->pages + cpuCost(a.t->rows);
    s.width = a.width;
    return s;
}

// SEARCH t USING INTEGER PRIMARY KEY: the rowid, found by its value or a range of them.
Step Builder::rowidAccess(const Access& a, const QString& usingText, const QStringList& outer) {
    const bool single = usingText.contains(u"rowid=?");
    // The INTEGER PRIMARY KEY column is the rowid: searched by its name it is the primary
    // key's index to an Oracle user; searched as ROWID, a rowid access.
    const bool byKey =
        !a.t->rowidColumn.isEmpty() &&
        std::any_of(a.conditions.begin(), a.conditions.end(),
                    [&](const Predicate& p) { return p.column == a.t->rowidColumn; });
    const QString key = byKey ? a.t->rowidColumn : QStringLiteral("rowid");
    // "rowid=?" is also how SQLite searches an IN list of keys, one after the other: what
    // Oracle shows as an INLIST ITERATOR over the unique scan.
    const auto inList =
        std::find_if(a.conditions.begin(), a.conditions.end(), [&](const Predicate& p) {
            return !p.subquery && p.op == u"IN" && p.column == key && p.values > 0;
        });
    const double keys = single && inList != a.conditions.end() ? inList->values : 1;
    const double found =
        single ? keys : a.t->rows * estimates_.rangeSelectivity(a.conditions, a.table, key);
    const double card =
        found * otherSelectivity(a, {a.t->rowidColumn, u"rowid"_s, u"_rowid_"_s, u"oid"_s}, outer);
    if (!byKey) {
        Step s =
            named(step(QStringLiteral("TABLE ACCESS"),
                       single ? QStringLiteral("BY USER ROWID") : QStringLiteral("BY ROWID RANGE")),
                  a.object);
        s.card = card;
        s.cost = single ? 1 : a.t->pages * found / a.t->rows + cpuCost(found);
        s.width = a.width;
        return s;
    }
    Step index = named(step(QStringLiteral("INDEX"),
                            single ? QStringLiteral("UNIQUE SCAN") : QStringLiteral("RANGE SCAN")),
                       QStringLiteral("PK_") + a.object);
    index.card = found;
    index.cost = single ? keys : 1 + a.t->pages * found / a.t->rows / 4 + cpuCost(found);
    index.width = a.t->widths.value(a.t->columns.indexOf(a.t->rowidColumn), 4);
    Step s = named(step(QStringLiteral("TABLE ACCESS"), QStringLiteral("BY INDEX ROWID"), {index}),
                   a.object);
    s.card = card;
    s.cost = index.cost + (single ? keys : a.t->pages * found / a.t->rows + cpuCost(found));
    s.width = a.width;
    s.listDriven = keysFromList(a.conditions, a.t->rowidColumn);
    s.tableRows = a.t->rows;
    if (keys > 1) {
        Step iterator = step(QStringLiteral("INLIST ITERATOR"), QString(), {s});
        iterator.card = s.card;
        iterator.cost = s.cost;
        iterator.width = s.width;
        iterator.tableRows = a.t->rows;
        return iterator;
    }
    return s;
}

// SEARCH / SCAN t USING [COVERING] INDEX i (constraints): the index's scan, under the table's
// access by rowid unless the index covers what is read.
Step Builder::indexAccess(const Access& a, const QRegularExpressionMatch& m,
                          const QStringList& outer, bool searched) {
    static const QRegularExpression kConstraint(QStringLiteral(R"(^(\w+)(=|>|<|>=|<=)\?$)"));
    const bool covering = !m.captured(1).isEmpty();
    const QString indexName = m.captured(2);
    const PlanEstimates::Index& index = estimates_.index(indexName);
    int equal = 0;
    double range = 1;
    QStringList used;
    for (const QString& c : m.captured(3).split(QStringLiteral(" AND "), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch cm = kConstraint.match(c.trimmed());
        if (!cm.hasMatch())
            continue;
        const QString column = cm.captured(1).toLower();
        if (cm.captured(2) == u"=" && equal == used.size())
            ++equal;
        else if (!used.contains(column))
            range *= estimates_.rangeSelectivity(a.conditions, a.table, column) < 1
                         ? estimates_.rangeSelectivity(a.conditions, a.table, column)
                         : 1.0 / 3;  // bounded by a join or a bind variable
        used << column;
    }
    const bool search = !used.isEmpty();
    // SEARCH without any condition: the first or last key, for min() or max().
    const bool minMax = !search && searched;
    const double found = minMax ? 1 : estimates_.rowsPerKey(indexName, equal) * range;
    const double share = found / a.t->rows;
    QString scan = QStringLiteral("FULL SCAN");
    if (minMax)
        scan = QStringLiteral("FULL SCAN (MIN/MAX)");
    else if (search)
        scan = index.unique && equal >= index.columns.size() ? QStringLiteral("UNIQUE SCAN")
                                                             : QStringLiteral("RANGE SCAN");
    Step indexStep = named(step(QStringLiteral("INDEX"), scan), indexName);
    indexStep.card = found;
    indexStep.cost = (search || minMax ? 2 : 0) + index.leafPages * share + cpuCost(found);
    indexStep.width = covering ? std::min(a.width, index.keyWidth) : index.keyWidth;
    indexStep.listDriven = equal > 0 && keysFromList(a.conditions, used.front());
    const double card = found * otherSelectivity(a, used, outer);
    if (covering) {
        indexStep.card = card;
        return indexStep;
    }
    // Oracle shows the table access above the index scan that feeds it its rowids.
    Step s =
        named(step(QStringLiteral("TABLE ACCESS"), QStringLiteral("BY INDEX ROWID"), {indexStep}),
              a.object);
    s.card = card;
    s.cost = indexStep.cost + a.t->pages * share + cpuCost(found);
    s.width = a.width;
    s.listDriven = indexStep.listDriven;
    s.tableRows = a.t->rows;
    return s;
}

Step Builder::loop(const QString& detail, const QStringList& outer, bool& hashed) {
    static const QRegularExpression kVirtual(QStringLiteral(R"(^SCAN (\S+) VIRTUAL TABLE)"));
    // "EXISTS": a correlated EXISTS that SQLite runs as a semi-join.
    static const QRegularExpression kLoop(
        QStringLiteral(R"(^(SCAN|SEARCH) (\S+)( EXISTS)?(?: USING (.*))?$)"));
    hashed = false;
    QRegularExpressionMatch m;
    if (detail == u"SCAN CONSTANT ROW") {
        Step s = step(QStringLiteral("FAST DUAL"), QString());
        s.cost = 2;
        s.width = 0;
        return s;
    }
    if ((m = kVirtual.match(detail)).hasMatch()) {
        Step s = named(step(QStringLiteral("FIXED TABLE"), QStringLiteral("FULL")), m.captured(1));
        s.card = 20;
        s.cost = 1;
        s.width = 30;
        return s;
    }
    m = kLoop.match(detail);
    if (!m.hasMatch())
        return Step{};
    const QString name = m.captured(2);
    const QString view =
        views_.contains(name.toLower()) ? name.toLower() : tableName(name).toLower();
    if (views_.contains(view)) {
        // A subquery in FROM or a WITH query, read as it comes or hashed on the join key.
        const QString usingText = m.captured(4);
        hashed = usingText.startsWith(u"AUTOMATIC");
        Step s = step(QStringLiteral("VIEW"), QString(), {views_.value(view)});
        s.semi = !m.captured(3).isEmpty();
        for (const Predicate& p : predicates_) {
            const bool mine =
                p.alias == name.toLower() ||
                (p.alias.isEmpty() && estimates_.tableOf(p.column, aliases_.values()).isEmpty());
            if (mine && !p.isJoin())
                s.card *= p.op == u"=" ? 0.1 : p.isRange() ? 1.0 / 3 : 1;
        }
        s.card = std::max(s.card, 1.0);
        if (hashed)
            s.probeShare = 1 / s.card;
        return s;
    }
    Step s = tableAccess(name, m.captured(4), outer, hashed, m.captured(1) == u"SEARCH");
    s.semi = !m.captured(3).isEmpty();
    return s;
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

Step Builder::block(const std::vector<int>& lines, Range text) {
    Sources s = readLines(lines, text);
    if (s.steps.empty())
        s.steps.push_back(step(QStringLiteral("FAST DUAL"), QString()));
    // What the query asks for, read from its own text.
    const QueryShape shape = queryShape(tokens_, s.isCompound ? Range{} : text);
    // A covering index read whole, in no particular order: Oracle reads it with multiblock
    // reads.
    const bool inOrder = (shape.groupBy && !s.sortGroup) || (shape.orderBy && !s.sortOrder) ||
                         (shape.distinct && !s.sortDistinct);
    for (size_t i = 0; i < s.steps.size(); ++i) {
        if (s.steps[i].operation == u"INDEX" && s.steps[i].options == u"FULL SCAN" &&
            !(i == 0 && inOrder))
            s.steps[i].options = QStringLiteral("FAST FULL SCAN");
    }
    driveByList(s);
    Step tree = joined(s);
    if (!s.subqueries.empty()) {
        Step filter = step(QStringLiteral("FILTER"), QString(), {tree});
        for (const Subquery& sub : s.subqueries) {
            filter.children.push_back(sub.plan);
            filter.cost += sub.correlated ? tree.card * sub.plan.cost : sub.plan.cost;
            // Oracle's guess for a row kept by a subquery it cannot estimate: one in twenty.
            filter.card *= 0.05;
        }
        tree = filter;
    }
    return sorted(tree, s, shape, text);
}

// The loops of a block from SQLite's lines, and the sorts and subqueries around them.
Builder::Sources Builder::readLines(const std::vector<int>& lines, Range text) {
    static const QRegularExpression kView(QStringLiteral(R"(^(?:MATERIALIZE|CO-ROUTINE) (.+)$)"));
    static const QRegularExpression kSub(
        QStringLiteral(R"(^(CORRELATED )?(?:SCALAR|LIST) SUBQUERY)"));
    static const QRegularExpression kName(QStringLiteral(R"(^(?:SCAN|SEARCH) (\S+))"));
    Sources s;
    QStringList outer;  // aliases joined so far
    for (int id : lines) {
        const EqpNode& node = nodes_[id];
        const QString& d = node.detail;
        QRegularExpressionMatch m;
        if (d.startsWith(u"USE TEMP B-TREE FOR ")) {
            s.sortGroup |= d.endsWith(u"GROUP BY");
            s.sortDistinct |= d.endsWith(u"DISTINCT");
            s.sortOrder |= d.endsWith(u"ORDER BY");
        } else if ((m = kView.match(d)).hasMatch()) {
            views_.insert(m.captured(1).toLower(),
                          block(node.children, subqueryText(tokens_, m.captured(1))));
        } else if ((m = kSub.match(d)).hasMatch()) {
            s.subqueries.push_back(
                {block(node.children, Range{}), !m.captured(1).isEmpty(), d.contains(u"LIST")});
        } else if (d == u"COMPOUND QUERY") {
            s.steps.push_back(compound(node.children, text));
            s.hashedAt.push_back(false);
            s.isCompound = true;
        } else if (d == u"MULTI-INDEX OR") {
            s.steps.push_back(multiIndexOr(node, outer));
            s.hashedAt.push_back(false);
        } else if (d.startsWith(u"SCAN ") || d.startsWith(u"SEARCH ")) {
            bool hashed = false;
            s.steps.push_back(loop(d, outer, hashed));
            s.hashedAt.push_back(hashed);
            const QString alias = kName.match(d).captured(1).toLower();
            // A table read in full with no condition tying it to the tables before it: each
            // of its rows meets each of theirs.
            if (!outer.isEmpty() && !hashed && d.startsWith(u"SCAN ") && !joinedTo(alias, outer))
                s.cartesianAt.insert(s.steps.size() - 1);
            outer << alias;
        }
        // Anything else (bloom filters, the parts of a multi-index OR) adds no step of its own.
    }
    return s;
}

// The index searches of an OR, one after the other: CONCATENATION.
Step Builder::multiIndexOr(const EqpNode& node, const QStringList& outer) {
    std::vector<Step> branches;
    for (int branch : node.children) {
        bool hashed = false;
        for (int line : nodes_[branch].children)
            branches.push_back(loop(nodes_[line].detail, outer, hashed));
    }
    Step concat = step(QStringLiteral("CONCATENATION"), QString(), branches);
    concat.card = concat.cost = 0;
    for (const Step& b : branches) {
        concat.card += b.card;
        concat.cost += b.cost;
    }
    return concat;
}

// IN (subquery) feeding the keys of the first table: its distinct rows drive a nested loop.
void Builder::driveByList(Sources& s) {
    for (auto it = s.subqueries.begin(); it != s.subqueries.end(); ++it) {
        if (!s.steps.front().listDriven || it->correlated || !it->list)
            continue;
        Step unique = step(QStringLiteral("SORT"), QStringLiteral("UNIQUE"), {it->plan});
        unique.cost += sortCost(unique.card);
        Step& driven = s.steps.front();
        Step join = step(QStringLiteral("NESTED LOOPS"), QString(), {unique, driven});
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

// The loops joined left-deep, the outermost first.
Step Builder::joined(const Sources& s) {
    Step tree = s.steps.front();
    for (size_t i = 1; i < s.steps.size(); ++i) {
        const Step& inner = s.steps[i];
        if (s.cartesianAt.count(i)) {
            // Oracle reads such a table once into a buffer and pairs every row with it.
            Step buffer = step(QStringLiteral("BUFFER"), QStringLiteral("SORT"), {inner});
            buffer.card = inner.card;
            buffer.cost = inner.cost + sortCost(inner.card);
            buffer.width = inner.width;
            Step join =
                step(QStringLiteral("MERGE JOIN"), QStringLiteral("CARTESIAN"), {tree, buffer});
            join.card = tree.card * inner.card;
            join.cost = tree.cost + buffer.cost + cpuCost(join.card);
            join.width = tree.width + inner.width;
            tree = join;
            continue;
        }
        const bool hashed = s.hashedAt[i];
        Step join = step(hashed ? QStringLiteral("HASH JOIN") : QStringLiteral("NESTED LOOPS"),
                         inner.semi ? QStringLiteral("SEMI") : QString(), {tree, inner});
        // A semi-join keeps each outer row once at most, however many rows it meets.
        join.card = tree.card * (inner.semi ? std::min(1.0, inner.card * inner.probeShare)
                                            : inner.card * inner.probeShare);
        join.cost = hashed ? tree.cost + inner.cost + cpuCost(tree.card + inner.card)
                           : tree.cost + tree.card * inner.cost;
        join.width = tree.width + inner.width;
        tree = join;
    }
    return tree;
}

// Grouping, DISTINCT and ORDER BY above the rows they work on.
Step Builder::sorted(Step tree, const Sources& s, const QueryShape& shape, Range text) {
    if (s.sortGroup || shape.groupBy) {
        const QString options = !s.sortGroup                    ? QStringLiteral("GROUP BY NOSORT")
                                : shape.orderBy && !s.sortOrder ? QStringLiteral("GROUP BY")
                                                                : QString();
        Step group = step(options.isEmpty() ? QStringLiteral("HASH") : QStringLiteral("SORT"),
                          options.isEmpty() ? QStringLiteral("GROUP BY") : options, {tree});
        group.card = std::min(tree.card, groupsOf(u"GROUP", text, tree.card / 10));
        group.cost += s.sortGroup ? sortCost(tree.card) : 0;
        tree = group;
    } else if (shape.aggregate) {
        Step sum = step(QStringLiteral("SORT"), QStringLiteral("AGGREGATE"), {tree});
        sum.card = 1;
        tree = sum;
    }
    if (s.sortDistinct || shape.distinct) {
        Step unique = step(
            QStringLiteral("SORT"),
            s.sortDistinct ? QStringLiteral("UNIQUE") : QStringLiteral("UNIQUE NOSORT"), {tree});
        unique.card = std::min(tree.card, groupsOf(u"DISTINCT", text, tree.card / 2));
        unique.cost += s.sortDistinct ? sortCost(tree.card) : 0;
        tree = unique;
    }
    if (s.sortOrder) {
        Step order = step(QStringLiteral("SORT"), QStringLiteral("ORDER BY"), {tree});
        order.cost += sortCost(tree.card);
        tree = order;
    }
    return tree;
}

Step Builder::compound(const std::vector<int>& parts, Range text) {
    std::vector<Range> texts = compoundParts(tokens_, text);
    if (texts.size() != parts.size())
        texts.assign(parts.size(), Range{});
    std::optional<Step> acc;
    for (size_t p = 0; p < parts.size(); ++p) {
        const EqpNode& node = nodes_[parts[p]];
        Step branch = block(node.children, texts[p]);
        if (!acc) {
            acc = branch;
            continue;
        }
        const QString op = node.detail;
        if (op == u"UNION ALL" || op.startsWith(u"UNION")) {
            Step all = acc->operation == u"UNION-ALL" && acc->options.isEmpty()
                           ? *acc
                           : step(QStringLiteral("UNION-ALL"), QString(), {*acc});
            all.children.push_back(branch);
            all.card += branch.card;
            all.cost += branch.cost;
            all.width = std::max(all.width, branch.width);
            acc = all;
            if (op != u"UNION ALL") {
                Step unique = step(QStringLiteral("SORT"), QStringLiteral("UNIQUE"), {all});
                unique.cost += sortCost(all.card);
                acc = unique;
            }
        } else {
            const bool minus = op.startsWith(u"EXCEPT");
            auto sorted = [](const Step& s) {
                Step u = step(QStringLiteral("SORT"), QStringLiteral("UNIQUE"), {s});
                u.cost += sortCost(s.card);
                return u;
            };
            Step set = step(minus ? QStringLiteral("MINUS") : QStringLiteral("INTERSECTION"),
                            QString(), {sorted(*acc), sorted(branch)});
            set.card = minus ? acc->card : std::min(acc->card, branch.card);
            set.cost = set.children[0].cost + set.children[1].cost;
            acc = set;
        }
    }
    return acc.value_or(Step{});
}

double Builder::groupsOf(QStringView keyword, Range text, double fallback) {
    const std::optional<ColumnRef> ref = singleColumnAfter(tokens_, keyword, text);
    if (!ref)
        return std::max(1.0, fallback);
    QStringList tables;
    for (const QString& a : aliases_)
        tables << a;
    if (tables.isEmpty()) {
        const QString first = firstTable(tokens_, text);
        if (!first.isEmpty())
            tables << first;
    }
    const QString table =
        !ref->alias.isEmpty() ? tableName(ref->alias) : estimates_.tableOf(ref->column, tables);
    return table.isEmpty() ? std::max(1.0, fallback) : estimates_.distinct(table, ref->column);
}

std::vector<PlanRow> Builder::rows() {
    const QString kind = statementKind(tokens_);
    Step body = block(roots_, Range{0, tokens_.size()});
    if (kind == u"INSERT" || kind == u"UPDATE" || kind == u"DELETE") {
        // The table changed, above the rows that find what to change.
        const QString target = changedTable(tokens_, kind);
        // A DELETE removes the rows the index finds by their rowids without reading them.
        if (kind == u"DELETE" && body.options == u"BY INDEX ROWID" &&
            body.object.compare(target, Qt::CaseInsensitive) == 0)
            body = Step(body.children.front());
        Step change = step(kind == u"INSERT" ? QStringLiteral("LOAD TABLE CONVENTIONAL") : kind,
                           QString(), {body});
        if (!target.isEmpty())
            change = named(change, target);
        body = change;
    }
    Step root = step(kind + QStringLiteral(" STATEMENT"), QString(), {body});
    std::vector<PlanRow> out;
    appendRows(root, -1, 0, out);
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
    row.objectOwner = s.owned ? owner_ : QString();
    row.objectName = s.object;
    row.cardinality = std::max<int64_t>(1, std::llround(s.card));
    row.cost = std::max<int64_t>(1, int64_t(std::ceil(s.cost)));
    row.bytes = std::llround(double(row.cardinality) * std::max(s.width, 0.0));
    out.push_back(row);
    int childPosition = 0;
    for (const Step& child : s.children)
        appendRows(child, id, ++childPosition, out);
}

}  // namespace

std::vector<PlanRow> translatePlan(const QString& statement, const std::vector<EqpLine>& eqp,
                                   const QString& owner, sqlite3* db) {
    return Builder(statement, eqp, owner, db).rows();
}

}  // namespace qv::embedded
