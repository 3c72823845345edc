// How the plan builder reads one table: the access paths of a SQLite loop drawn as Oracle's
// (see translatePlan()), and where their actual figures come from.
#include "core/embedded/plan/plansteps.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace qv::embedded::plan {

namespace {

// The columns of SQLite's "(a=? AND b>?)" after an index's name, lower case.
QStringList constraintColumns(const QString& usingText) {
    static const QRegularExpression kColumn(QStringLiteral(R"((\w+)(?:=|>|<|>=|<=)\?)"));
    const qsizetype open = usingText.indexOf(u'(');
    QStringList columns;
    if (open < 0)
        return columns;
    for (auto it = kColumn.globalMatch(usingText, open); it.hasNext();) {
        const QString column = it.next().captured(1).toLower();
        if (!columns.contains(column))
            columns << column;
    }
    return columns;
}

// Whether the key values of `column` come from an IN (subquery).
bool keysFromList(const QList<Predicate>& conditions, const QString& column) {
    return std::any_of(conditions.begin(), conditions.end(),
                       [&](const Predicate& p) { return p.subquery && p.column == column; });
}

// How many values the IN list of literals on `column` looks up; 1 for anything else.
double inListValues(const QList<Predicate>& conditions, const QString& column) {
    for (const Predicate& p : conditions) {
        if (p.column == column && p.op == u"IN" && !p.subquery && !p.function && p.values > 1)
            return p.values;
    }
    return 1;
}

// The condition `column` IS NOT NULL among `conditions`; null when there is none.
const Predicate* notNullCondition(const QList<Predicate>& conditions, const QString& column) {
    const auto found = std::find_if(conditions.begin(), conditions.end(), [&](const Predicate& p) {
        return p.column == column && p.op == u"IS NOT NULL" && !p.function;
    });
    return found == conditions.end() ? nullptr : &*found;
}

// Whether a search on `column` alone, the first of `index`, is one past its NULL keys for an IS
// NOT NULL (when no range of `conditions` bounds it): Oracle's index, which has none, read whole.
bool pastNullsOnly(const PlanEstimates::Index& index, const QString& column,
                   const QList<Predicate>& conditions) {
    return !index.columns.isEmpty() &&
           index.columns.front().compare(column, Qt::CaseInsensitive) == 0 &&
           notNullCondition(conditions, column);
}

// SQLite looks the keys of an IN list up one after the other inside one loop: Oracle's
// INLIST ITERATOR above the access it repeats.
Step inListIterator(const Step& access, double tableRows) {
    Step iterator = step(QStringLiteral("INLIST ITERATOR"), QString(), {access});
    iterator.tableRows = tableRows;
    return iterator;
}

}  // namespace

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
        if ((p.alias.isEmpty() ? ownerOf(p.column, alias, table) : p.alias) != alias)
            continue;
        if (p.isJoin())
            p.otherTable = !p.otherAlias.isEmpty()
                               ? tableName(p.otherAlias)
                               : estimates_.tableOf(p.otherColumn, aliases_.values());
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
        QStringLiteral(R"(^(COVERING )?INDEX (.+?)(?: \((.*)\))?$)"));
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
    s.cost = estimates_.fullScanCost(a.t->pages) + cpuCost(a.t->rows);
    s.width = a.width;
    s.hashed = hashed;
    if (hashed)
        s.keys = constraintColumns(usingText);
    return s;
}

// SEARCH t USING INTEGER PRIMARY KEY: the rowid, found by its value or a range of them.
Step Builder::rowidAccess(const Access& a, const QString& usingText, const QStringList& outer) {
    const bool single = usingText.contains(u"rowid=?");
    // The INTEGER PRIMARY KEY column is the rowid: searched by its name it is the primary
    // key's index to an Oracle user; searched as ROWID, a rowid access.
    const bool byKey =
        !a.t->rowidColumn.isEmpty() &&
        std::any_of(a.conditions.begin(), a.conditions.end(), [&](const Predicate& p) {
            return p.column == a.t->rowidColumn && !p.function;
        });
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
        s.keys = {key};
        return s;
    }
    const QString keyName = estimates_.keyName(a.table, {a.t->rowidColumn});
    Step index = named(step(QStringLiteral("INDEX"),
                            single ? QStringLiteral("UNIQUE SCAN") : QStringLiteral("RANGE SCAN")),
                       keyName.isEmpty() ? QStringLiteral("PK_") + a.object : keyName);
    index.card = found;
    index.cost = single ? keys : 1 + a.t->pages * found / a.t->rows / 4 + cpuCost(found);
    index.width = a.t->widths.value(a.t->columns.indexOf(a.t->rowidColumn), 4);
    index.keys = {key};
    Step s = named(step(QStringLiteral("TABLE ACCESS"), QStringLiteral("BY INDEX ROWID"), {index}),
                   a.object);
    s.card = card;
    s.cost = index.cost + (single ? keys : a.t->pages * found / a.t->rows + cpuCost(found));
    s.width = a.width;
    s.listDriven = keysFromList(a.conditions, a.t->rowidColumn);
    s.tableRows = a.t->rows;
    return keys > 1 ? inListIterator(s, a.t->rows) : s;
}

// SEARCH / SCAN t USING [COVERING] INDEX i (constraints): the index's scan, under the table's
// access by rowid unless the index covers what is read.
Builder::KeySearch Builder::keySearch(const Access& a, const QString& constraints,
                                      const PlanEstimates::Index& index) {
    // "<expr>": the expression of a function-based index.
    static const QRegularExpression kConstraint(QStringLiteral(R"(^(\w+|<expr>)(=|>|<|>=|<=)\?$)"));
    KeySearch k;
    for (const QString& c : constraints.split(QStringLiteral(" AND "), Qt::SkipEmptyParts)) {
        const QString term = c.trimmed();
        if (term.startsWith(u"ANY(") && term.endsWith(u')')) {
            k.skipped << term.mid(4, term.size() - 5).toLower();
            continue;
        }
        const QRegularExpressionMatch cm = kConstraint.match(term);
        if (!cm.hasMatch())
            continue;
        const QString column = cm.captured(1).toLower();
        if (cm.captured(2) == u"=" && k.equal == k.used.size()) {
            ++k.equal;
            k.listKeys *= inListValues(a.conditions, column);
        } else if (column == u"<expr>")
            k.range *= 0.05;  // Oracle's guess for a range of a function's values
        else if (!k.used.contains(column) &&
                 std::any_of(a.conditions.begin(), a.conditions.end(), [&](const Predicate& p) {
                     return p.isJoin() && p.isRange() && p.column == column;
                 }))
            k.range *= 0.05;  // bounded by a join: Oracle's guess for a join by a range
        else if (!k.used.contains(column)) {
            // Bounded by literals; searched past the NULL keys (the rows with a value); else
            // bounded by a bind variable.
            const double share = estimates_.rangeSelectivity(a.conditions, a.table, column);
            const Predicate* notNull = share < 1 ? nullptr : notNullCondition(a.conditions, column);
            k.pastNulls = notNull && k.used.isEmpty() && pastNullsOnly(index, column, a.conditions);
            k.range *= share < 1 ? share
                       : notNull ? estimates_.selectivity(*notNull, a.table)
                                 : 1.0 / 3;
        }
        k.used << column;
    }
    return k;
}

Step Builder::indexAccess(const Access& a, const QRegularExpressionMatch& m,
                          const QStringList& outer, bool searched) {
    const bool covering = !m.captured(1).isEmpty();
    const QString indexName = m.captured(2);
    const PlanEstimates::Index& index = estimates_.index(indexName);
    const KeySearch keys = keySearch(a, m.captured(3), index);
    const int equal = keys.equal;
    const double range = keys.range;
    const double listKeys = keys.listKeys;
    const QStringList& used = keys.used;
    const QStringList& skipped = keys.skipped;
    const bool search = !used.isEmpty();
    const bool pastNulls = keys.pastNulls && used.size() == 1;
    // SEARCH without any condition: the first or last key, for min() or max().
    const bool minMax = !search && searched;
    double found = minMax ? 1 : estimates_.rowsPerKey(indexName, equal) * range * listKeys;
    // The expression's values are counted by the index's own statistics only.
    const bool expression = used.contains(u"<expr>"_s);
    if (!minMax && !expression && estimates_.gathered(a.table) &&
        !(index.unique && equal >= index.columns.size())) {
        // With statistics, each key column's own condition tells its share.
        found = a.t->rows * range;
        for (int c = 0; c < equal; ++c)
            found *= estimates_.keySelectivity(a.conditions, a.table, used[c]);
    }
    const std::optional<IndexStats> costs = estimates_.indexCosts(indexName);
    // Read whole, the index gives its entries: the rows whose key is not all NULL.
    if (!search && !minMax && costs && costs->numRows)
        found = std::min(found, double(*costs->numRows));
    const double share = found / a.t->rows;
    QString scan = QStringLiteral("FULL SCAN");
    if (minMax)
        scan = QStringLiteral("FULL SCAN (MIN/MAX)");
    else if (!skipped.isEmpty())
        scan = QStringLiteral("SKIP SCAN");
    else if (search && !pastNulls)
        scan = index.unique && equal >= index.columns.size() ? QStringLiteral("UNIQUE SCAN")
                                                             : QStringLiteral("RANGE SCAN");
    Step indexStep = named(step(QStringLiteral("INDEX"), scan), index.shown);
    indexStep.card = found;
    // Oracle's: BLEVEL + LEAF_BLOCKS x selectivity, CLUSTERING_FACTOR x selectivity for the
    // table's blocks.
    indexStep.cost = costs ? double(*costs->blevel) + std::ceil(double(*costs->leafBlocks) * share)
                           : (search || minMax ? 2 : 0) + index.leafPages * share;
    // Read whole in no order, by multiblock reads.
    if (scan == u"FULL SCAN")
        indexStep.fastCost =
            estimates_.fullScanCost(costs ? double(*costs->leafBlocks) : index.leafPages) +
            cpuCost(found);
    // Each key of an IN list is a descent of its own; a skip scan descends once for each
    // value of the columns it skips.
    double descents = listKeys;
    for (const QString& column : skipped)
        descents *= estimates_.distinct(a.table, column);
    if (descents > 1 && costs)
        indexStep.cost += double(*costs->blevel) * (descents - 1);
    else if (descents > 1)
        indexStep.cost += 2 * (descents - 1);
    indexStep.cost += cpuCost(found);
    indexStep.width = covering ? std::min(a.width, index.keyWidth) : index.keyWidth;
    indexStep.listDriven = equal > 0 && keysFromList(a.conditions, used.front());
    indexStep.keys = used;
    indexStep.indexColumns = index.columns;
    indexStep.indexDescending = index.descending;
    if (expression) {
        // The conditions on a function of a column are what the expression is compared by.
        for (const Predicate& p : a.conditions) {
            if (p.function && !indexStep.keys.contains(p.column))
                indexStep.keys << p.column;
        }
    }
    const double card = found * otherSelectivity(a, indexStep.keys, outer);
    if (covering) {
        indexStep.card = card;
        return listKeys > 1 ? inListIterator(indexStep, a.t->rows) : indexStep;
    }
    // Oracle shows the table access above the index scan that feeds it its rowids.
    Step s =
        named(step(QStringLiteral("TABLE ACCESS"), QStringLiteral("BY INDEX ROWID"), {indexStep}),
              a.object);
    s.card = card;
    s.cost = indexStep.cost +
             (costs ? std::ceil(double(*costs->clusteringFactor) * share) : a.t->pages * share) +
             cpuCost(found);
    s.width = a.width;
    s.listDriven = indexStep.listDriven;
    s.tableRows = a.t->rows;
    return listKeys > 1 ? inListIterator(s, a.t->rows) : s;
}

QString loopName(const QString& detail) {
    static const QRegularExpression kName(QStringLiteral(
        R"(^(?:SCAN|SEARCH) (.+?)(?: EXISTS)?(?: USING .*| VIRTUAL TABLE.*)?(?: LEFT-JOIN)?$)"));
    return kName.match(detail).captured(1);
}

Step Builder::loopSteps(const QString& detail, const QStringList& outer, bool& hashed) {
    static const QRegularExpression kVirtual(QStringLiteral(R"(^SCAN (.+?) VIRTUAL TABLE)"));
    // "EXISTS": a correlated EXISTS that SQLite runs as a semi-join.
    static const QRegularExpression kLoop(
        QStringLiteral(R"(^(SCAN|SEARCH) (.+?)( EXISTS)?(?: USING (.*))?$)"));
    hashed = false;
    QRegularExpressionMatch m;
    if (detail == u"SCAN CONSTANT ROW") {
        Step s = step(QStringLiteral("FAST DUAL"), QString());
        s.cost = 2;
        s.width = 0;
        return s;
    }
    if ((m = kVirtual.match(detail)).hasMatch()) {
        // JSON_TABLE's rows, read by SQLite's json_each under the names the translation gives.
        const bool json = m.captured(1).startsWith(u"qv_json_");
        Step s = json ? step(QStringLiteral("JSONTABLE EVALUATION"), QString())
                      : named(step(QStringLiteral("FIXED TABLE"), QStringLiteral("FULL")),
                              m.captured(1));
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
    // The engine's copies are read by inner loops only.
    const bool copy = !outer.isEmpty() && views_.contains(view) && copiedTable(name);
    if (copy && m.captured(4).startsWith(u"AUTOMATIC")) {
        // The table read once into the copy SQLite searches: the build side of a hash join.
        hashed = true;
        Step s = views_.value(view);
        s.alias = name.toLower();
        s.semi = !m.captured(3).isEmpty();
        s.hashed = true;
        s.keys = constraintColumns(m.captured(4));
        const QString table = tableName(name);
        const QList<Predicate> conditions = conditionsOn(s.alias, table);
        s.probeShare = estimates_.selectivity(conditions, table, {}, outer) /
                       estimates_.selectivity(conditions, table, {}, {});
        return s;
    }
    if (copy && m.captured(1) == u"SCAN" && m.captured(4).isEmpty()) {
        // The table read once into the copy each outer row reads again: a buffer.
        Step s = views_.value(view);
        s.alias = name.toLower();
        s.buffered = true;
        const Measure rows = copiedRows(s.alias, tableName(name), s.loop, s.filtered);
        if (s.loop >= 0)
            s.rows = rows;
        return s;
    }
    if (views_.contains(view)) {
        // A subquery in FROM or a WITH query, read as it comes or hashed on the join key.
        const QString usingText = m.captured(4);
        hashed = usingText.startsWith(u"AUTOMATIC");
        Step s = tempTableRead(view).value_or(
            step(QStringLiteral("VIEW"), QString(), {views_.value(view)}));
        s.alias = name.toLower();
        if (hashed)
            s.keys = constraintColumns(usingText);
        s.semi = !m.captured(3).isEmpty();
        for (const Predicate& p : predicates_) {
            const bool mine =
                p.alias == name.toLower() ||
                (p.alias.isEmpty() && estimates_.tableOf(p.column, aliases_.values()).isEmpty());
            if (mine && !p.isJoin() && !p.function)
                s.card *= p.op == u"=" ? 0.1 : p.isRange() ? 1.0 / 3 : 1;
        }
        s.card = std::max(s.card, 1.0);
        if (hashed)
            s.probeShare = 1 / s.card;
        s.hashed = hashed;
        return s;
    }
    Step s = tableAccess(name, m.captured(4), outer, hashed, m.captured(1) == u"SEARCH");
    s.semi = !m.captured(3).isEmpty();
    return s;
}

void Builder::markRightJoined(std::vector<Step>& steps, const QString& name) const {
    auto named = std::find_if(steps.rbegin(), steps.rend(), [&](const Step& step) {
        return step.alias == name || tableName(step.alias).toLower() == name;
    });
    (named == steps.rend() ? steps.back() : *named).rightJoined = true;
}

Measure Builder::copiedRows(const QString& alias, const QString& table, int loop, bool& filtered) {
    const QList<Predicate> conditions = conditionsOn(alias, table);
    filtered = std::any_of(conditions.begin(), conditions.end(),
                           [](const Predicate& p) { return !p.isJoin(); });
    // Read whole into the copy: what it read is what it gave; else what went into the copy after
    // the conditions SQLite applied while filling it.
    return filtered ? Measure::output(loop) : Measure::visits(loop);
}

Step Builder::loop(int id, const QStringList& outer, bool& hashed, int buildLine) {
    static const QLatin1StringView kLeftJoin(" LEFT-JOIN");
    QString detail = nodes_[id].detail;
    // The inner table of an outer join: each outer row is kept, with NULLs when none matches.
    const bool outerJoined = detail.endsWith(kLeftJoin);
    if (outerJoined)
        detail.chop(kLeftJoin.size());
    Step s = loopSteps(detail, outer, hashed);
    if (s.alias.isEmpty())
        s.alias = loopName(detail).toLower();
    s.outerJoined = outerJoined;
    // A hash area is filled by its own query, whose one loop read the table.
    const int filled = hashed && buildLine < 0 && s.operation == u"TABLE ACCESS" ? s.loop : -1;
    markLoop(s, id, hashed ? buildLine : -1);
    if (filled >= 0) {
        bool filtered = false;
        s.starts = Measure::loops(filled);
        s.rows = copiedRows(s.alias, tableName(s.alias), filled, filtered);
    }
    return s;
}

// SQLite counts, for each loop, how often it began (once per row of the loops outside it) and
// the rows it visited: the rows an index finds, before any other condition. What the loop hands
// on after its conditions is counted where the rows go next (Builder::block()).
void Builder::markLoop(Step& s, int id, int buildLine) const {
    s.loop = id;
    s.block = context_.text.empty() ? context_.limitedQuery : context_.text;
    s.role = PlanRole::Access;
    if (s.buffered)
        return;  // its lines are counted where the copy was made
    s.starts = Measure::loops(id);
    if (s.operation == u"FAST DUAL") {
        // SQLite keeps no counter for its constant row: it is read once each time the block is.
        s.starts = context_.starts;
    } else if (s.hashed) {
        // Read once into the table that the join probes: SQLite's automatic index.
        s.starts = buildLine >= 0 ? Measure::loops(buildLine) : Measure{};
        s.rows = buildLine >= 0 ? Measure::visits(buildLine) : Measure{};
        if (s.operation == u"VIEW" && s.children.front().object.startsWith(u"SYS_TEMP_")) {
            s.children.front().starts = s.starts;
            s.children.front().rows = s.rows;
        }
        return;
    }
    // An IN list's keys are looked up one after the other inside the one loop: each line below
    // the iterator begins once per lookup.
    bool perKey = s.listDriven;
    if (s.operation == u"INLIST ITERATOR") {
        s.role = PlanRole::Iterator;
        perKey = true;
    }
    if (perKey && s.role == PlanRole::Access)
        s.starts = Measure::probes(id);
    // The inner table of an outer join hands on the rows that met the join's conditions; the
    // join adds a row of NULLs for each outer row that met none.
    if (s.outerJoined && s.role == PlanRole::Access)
        s.rows = Measure::matched(id);
    countedView(s, id);
    Step* line = &s;
    // The temporary table a shared WITH query was loaded into is read in this loop.
    if (s.operation == u"VIEW" && s.children.front().object.startsWith(u"SYS_TEMP_")) {
        s.children.front().loop = id;
        s.children.front().starts = s.starts;
    }
    while (!line->children.empty() && line->operation != u"VIEW" && line->operation != u"INDEX") {
        Step& below = line->children.front();
        below.loop = id;
        below.alias = s.alias;
        below.block = s.block;
        below.starts = perKey ? Measure::probes(id) : Measure::loops(id);
        if (below.operation == u"INDEX") {
            below.role = PlanRole::Index;
            below.rows = Measure::visits(id);
        } else {
            below.role = PlanRole::Access;
            if (s.outerJoined)
                below.rows = Measure::matched(id);
        }
        line = &below;
    }
}

}  // namespace qv::embedded::plan
