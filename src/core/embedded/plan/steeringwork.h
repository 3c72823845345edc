#pragma once

// The steering's own parts, shared by steering.cpp (hints, goals) and joinsteering.cpp (how
// tables are joined). Only those include it; the engine uses steerStatement() (steering.h).

#include "core/embedded/parse/hints.h"
#include "core/embedded/plan/fromlist.h"
#include "core/embedded/plan/hasharea.h"
#include "core/embedded/plan/planestimates.h"
#include "core/embedded/plan/steering.h"
#include "core/sqlite/sqlite.h"

#include <limits>
#include <optional>
#include <vector>

namespace qv::embedded::steer {

constexpr double kNoPlan = std::numeric_limits<double>::infinity();

// What the engine reads while it steers a statement.
struct Planner {
    sqlite3* db;
    const ParsedStatement& statement;
    const QString& owner;
    FromList from;
    QString base;  // SQLite's text of the statement as translated

    // SQLite's plan of `text`; nullopt when SQLite finds none (an index it cannot use).
    // (Each text is compiled once: the steering asks again of the same text.)
    std::optional<std::vector<EqpLine>> plan(const QString& text) const {
        if (const auto known = plans.find(text); known != plans.end())
            return *known;
        std::optional<std::vector<EqpLine>> found;
        try {
            sqlite::Statement eqp =
                sqlite::Statement::single(db, "EXPLAIN QUERY PLAN " + text.toUtf8());
            std::vector<EqpLine> lines;
            while (eqp.step())
                lines.push_back({int(eqp.integer(0)), int(eqp.integer(1)), eqp.text(3)});
            found = hashAreasAsCopies(lines);
        } catch (const sqlite::Error&) {
        }
        plans.insert(text, found);
        return found;
    }
    // The cost the engine's estimates give the plan of `text`: infinite for none.
    double cost(const QString& text) const {
        const std::vector<PlanRow> rows = planRows(text);
        return rows.empty() ? kNoPlan : double(rows.front().cost);
    }
    // The engine's plan of `text`; none when SQLite or the estimates have none.
    std::vector<PlanRow> planRows(const QString& text) const {
        if (const auto known = rowsOf.find(text); known != rowsOf.end())
            return *known;
        const auto lines = plan(text);
        std::vector<PlanRow> rows;
        try {
            if (lines)
                rows = translatePlan(statement, *lines, owner, db, peeked);
        } catch (const sqlite::Error&) {
        }
        rowsOf.insert(text, rows);
        return rows;
    }
    // The text with `directive` and `order` (rewriteFrom()), each copied table read through a
    // hash area (hasharea.h); each table whose `keyColumn` is not empty is found by no
    // comparison on that column (its rowid) either.
    QString text(const std::vector<QString>& directive, const std::vector<size_t>& order) const {
        std::vector<QString> copies(copied.size());
        for (size_t k = 0; k < copied.size(); ++k) {
            if (!copied[k])
                continue;
            // Made once for each table, directive and text: its conditions read from the text.
            const QString key = QString::number(k) + u'\n' + directive[k] + u'\n' + base;
            auto known = areas.find(key);
            if (known == areas.end()) {
                const FromTable& item = from.tables[k];
                const QString as = hashAreaBuildAlias(item.alias);
                const QString conditions = ownConditions(base, from, k, as);
                const QString buildFrom =
                    tableText(base, item) + QStringLiteral(" AS ") + sql::quotedName(as) +
                    directive[k] +
                    (conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions);
                known = areas.insert(
                    key, hashAreaSource(db, item.table, buildFrom, item.alias, buildRows(k),
                                        exactKeys(k), k < readAgain.size() && readAgain[k]));
            }
            copies[k] = *known;
        }
        QString out = rewriteFrom(base, from, directive, order, copies);
        for (size_t k = 0; k < keyColumn.size(); ++k)
            if (!keyColumn[k].isEmpty())
                out = withoutKeyAccess(out, from.tables[k].alias, keyColumn[k],
                                       from.tables.size() == 1);
        return out;
    }
    // The columns of table k of the FROM list a hash area of it may compare itself: each in one
    // equality with another table's column, both of numeric affinity and compared as bytes
    // (hasharea.h).
    QStringList exactKeys(size_t k) const {
        auto numeric = [&](const QString& table, const QString& column) {
            const char* type = nullptr;
            const char* collation = nullptr;
            if (sqlite3_table_column_metadata(db, "main", table.toUtf8().constData(),
                                              column.toUtf8().constData(), &type, &collation,
                                              nullptr, nullptr, nullptr) != SQLITE_OK ||
                (collation && QByteArray(collation).compare("BINARY", Qt::CaseInsensitive) != 0))
                return false;
            const QString t = QString::fromUtf8(type ? type : "").toUpper();
            return t.contains(u"INT") ||
                   (!t.isEmpty() && !t.contains(u"CHAR") && !t.contains(u"CLOB") &&
                    !t.contains(u"TEXT") && !t.contains(u"BLOB"));
        };
        QStringList exact;
        for (const ColumnEquality& e : soleEqualities(base, from, k)) {
            const auto other =
                std::find_if(from.tables.begin(), from.tables.end(),
                             [&](const FromTable& f) { return f.alias == e.otherAlias; });
            if (other != from.tables.end() && !other->table.isEmpty() &&
                numeric(from.tables[k].table, e.column) && numeric(other->table, e.otherColumn))
                exact << e.column;
        }
        return exact;
    }
    // The rows the engine expects of table k of the FROM list, read whole.
    double buildRows(size_t k) const {
        try {
            return PlanEstimates(db).table(from.tables[k].table).rows;
        } catch (const sqlite::Error&) {
            return 1000;
        }
    }
    std::vector<QString> keyColumn;  // a full scan's table: its rowid column
    std::vector<bool> copied;        // a table hashed for its join (rewriteFrom())
    std::vector<bool> readAgain;     // the right table of a RIGHT or FULL join (hasharea.h)
    QHash<QString, QString> peeked;  // bind variables' values (translatePlan())
    // What the steering has found so far, which it asks for again.
    mutable QHash<QString, QString> areas = {};  // hashAreaSource() of each copy
    mutable QHash<QString, std::optional<std::vector<EqpLine>>> plans = {};  // plan() of each text
    mutable QHash<QString, std::vector<PlanRow>> rowsOf = {};                // planRows() of each
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
    // Whether `column` of `table` is declared NOT NULL (or is its primary key).
    bool notNull(const QString& table, const QString& column) const {
        try {
            sqlite::Statement q(db,
                                "SELECT \"notnull\" OR pk > 0 FROM pragma_table_info(?1) "
                                "WHERE name = ?2 COLLATE NOCASE");
            q.bind(1, table);
            q.bind(2, column);
            return q.step() && q.integer(0) != 0;
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

// " INDEXED BY index", quoted.
QString indexedBy(const QString& index);
// The line of SQLite's plan that reads `alias`; empty when none does. A hashed table's copy
// (MATERIALIZE or CO-ROUTINE) is read under the same alias: the loop that searches the copy is
// the table's.
QString lineOf(const std::vector<EqpLine>& lines, const QString& alias);
// The alias of the outermost loop of SQLite's plan (lower case); empty when none.
QString firstLoop(const std::vector<EqpLine>& lines);

// The statement being steered: its tables' directives and order, and the report.
struct Work {
    Planner& p;
    std::vector<QString> directive;
    std::vector<size_t> order;
    std::vector<bool> hinted;  // a hint decides how the table is read
    // How a hint joins each table to those before it.
    enum class Method { Free, NestedLoops, Hash };
    std::vector<Method> method;
    QList<sql::HintUse> report;
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

// The SQLite text of the planned statement (`p.base`) run as the engine draws it
// (subquerysteering.cpp): a RIGHT JOIN of two tables as the LEFT JOIN the other way round, which
// reads the preserved table once; a list of IN or NOT IN that SQLite would look each row's
// value up for in an index of the subquery's table, filled once from the subquery instead (the
// build side of the hash semi or anti join drawn). Only for a query. Cannot fail.
QString steerSubqueries(Planner& p);

// Hash joins, nested loops a hint asks for, and cartesian joins read once into a buffer
// (joinsteering.cpp).
void steerJoins(Work& w);
// Fixes the order of the tables as SQLite runs them in `current` (when no hint did and the
// FROM list may be reordered), with table `last` (if any) moved to the end; false when it
// cannot.
bool keepOrder(Work& w, const std::vector<EqpLine>& current, size_t last = SIZE_MAX);

// A b-tree index keeps no entry whose key columns are all NULL (accesssteering.cpp): whether
// `index` holds every row of `table` the statement needs (a key column declared NOT NULL, or
// one the statement's conditions or aggregates need a value of).
bool holdsNeededRows(const Planner& p, const FromTable& table, const QString& index);
// Each table SQLite reads by an index that lacks rows it needs is read whole, or by a cheaper
// index that has them; an index hint that asked for it is reported unused.
void steerNulls(Work& w);
// The same for the tables of the inline views a statement reads, or of the one such a view
// reads and so on (a page of an ordered or ranked view, a grouping joined to a table): `text`
// with each such table read whole.
QString steerViewNulls(const Planner& p, const QString& text);

}  // namespace qv::embedded::steer
