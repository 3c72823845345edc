#include "core/embedded/explainplan.h"

#include "core/embedded/oracleerrors.h"
#include "core/embedded/planestimates.h"
#include "core/embedded/sqlitenames.h"
#include "core/sql/tokenlist.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

namespace qv::embedded {

namespace {

using sql::isName;
using sql::TokenKind;
using sql::unquoted;

// alias (lower case) -> table, from "FROM|JOIN|, table [AS] alias" in the statement; a table
// without an alias is its own.
QHash<QString, QString> tableAliases(const std::vector<Token>& t) {
    QHash<QString, QString> aliases;
    for (size_t i = 1; i < t.size(); ++i) {
        const Token& before = t[i - 1];
        if (!isName(t[i]) || !(before.is(u"FROM") || before.is(u"JOIN") || before.isOp(u',')))
            continue;
        size_t j = i;
        if (j + 2 < t.size() && t[j + 1].isOp(u'.') && isName(t[j + 2]))
            j += 2;
        const QString table = unquoted(t[j]);
        ++j;
        if (j < t.size() && t[j].is(u"AS"))
            ++j;
        if (j < t.size() && isName(t[j]) && !sql::isKeyword(t[j]))
            aliases.insert(unquoted(t[j]).toLower(), table);
        else
            aliases.insert(table.toLower(), table);
    }
    return aliases;
}

QString statementKind(const std::vector<Token>& t) {
    if (t.empty())
        return QStringLiteral("SELECT");
    const Token& first = t.front();
    if (first.is(u"WITH")) {
        for (const char16_t* verb : {u"INSERT", u"UPDATE", u"DELETE", u"REPLACE"}) {
            if (sql::findTopLevel(t, 1, t.size(), QStringView(verb)) != t.size())
                return QStringView(verb) == u"REPLACE" ? QStringLiteral("INSERT")
                                                       : QString::fromUtf16(verb);
        }
        return QStringLiteral("SELECT");
    }
    if (first.is(u"VALUES"))
        return QStringLiteral("SELECT");
    if (first.is(u"REPLACE"))
        return QStringLiteral("INSERT");
    return first.text.toString().toUpper();
}

// A table or index name as the user or SQLite wrote it, quotes removed.
QString unquotedName(const QString& name) {
    if (name.size() >= 2 &&
        (name.startsWith(u'"') || name.startsWith(u'[') || name.startsWith(u'`')))
        return name.mid(1, name.size() - 2);
    return name;
}

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
           0};
    if (!s.children.empty()) {
        s.card = s.children.front().card;
        s.cost = s.children.front().cost;
        s.width = s.children.front().width;
    }
    return s;
}

double cpu(double rows) {
    return rows / 1000;
}

double sortCost(double rows) {
    return rows * std::log2(std::max(rows, 2.0)) / 1000;
}

// A condition of the WHERE or ON clauses on one column: `alias.column op value`, or a join
// `alias.column = otherAlias.otherColumn`.
struct Predicate {
    QString alias;  // lower case; empty when the column is not qualified
    QString column;
    QString op;             // =, <, >, LIKE, IN, BETWEEN...
    int values = 1;         // of an IN list
    bool subquery = false;  // IN (SELECT ...)
    QString low, high;      // the literals a range is bounded by, as written
    QString otherAlias;
    QString otherColumn;
    bool isJoin() const { return !otherColumn.isEmpty(); }
    bool isRange() const {
        return op == u"<" || op == u">" || op == u"<=" || op == u">=" || op == u"BETWEEN";
    }
};

struct EqpNode {
    QString detail;
    std::vector<int> children;
};

class Builder {
  public:
    Builder(const QString& statement, const std::vector<EqpLine>& eqp, QString owner, sqlite3* db)
        : tokens_(sql::tokenize(statement)), owner_(std::move(owner)), estimates_(db) {
        aliases_ = tableAliases(tokens_);
        for (const EqpLine& line : eqp) {
            nodes_[line.id].detail = line.detail;
            if (line.parent == 0)
                roots_.push_back(line.id);
            else
                nodes_[line.parent].children.push_back(line.id);
        }
        readPredicates();
    }

    std::vector<PlanRow> rows();

  private:
    // The tokens of the query a block of the plan runs; empty when it cannot be told.
    struct Text {
        size_t first = 0;
        size_t last = 0;
        bool known() const { return first < last; }
    };
    Step block(const std::vector<int>& lines, Text text);
    Step compound(const std::vector<int>& parts, Text text);
    // "( SELECT ... ) name" in a FROM clause or "name AS ( SELECT ... )" in a WITH clause.
    Text subqueryText(const QString& name) const;
    // The position of the parenthesis that closes the one at `open`; `n` when none does.
    // Whether a join condition ties `alias` to one of the tables joined before it.
    bool joinedTo(const QString& alias, const QStringList& outer) const;
    size_t closing(size_t open) const;
    // The groups a GROUP BY or the rows a DISTINCT of one plain column gives: its distinct
    // values; `fallback` for anything else.
    double groupsOf(QStringView keyword, Text text, double fallback);
    // One loop of a block; `hashed` tells a transient index stands for a hash join.
    Step loop(const QString& detail, const QStringList& outer, bool& hashed);
    // `searched`: SQLite's SEARCH rather than SCAN.
    Step tableAccess(const QString& name, const QString& usingText, const QStringList& outer,
                     bool& hashed, bool searched = false);
    double otherSelectivity(const QString& alias, const QString& table,
                            const QStringList& indexColumns, const QStringList& outer);
    double selectivity(const Predicate& p, const QString& table);
    // The share of rows the range conditions on one column keep.
    double rangeSelectivity(const QList<Predicate>& conditions, const QString& table,
                            const QString& column);
    // The alias an unqualified column belongs to, seen from `alias` reading `table`.
    QString ownerOf(const QString& column, const QString& alias, const QString& table);
    QList<Predicate> conditionsOn(const QString& alias, const QString& table);
    // Average bytes of the columns of the table the statement names.
    double usedWidth(const QString& alias, const PlanEstimates::Table& t) const;
    void readPredicates();
    void readConjuncts(size_t first, size_t last);
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

bool isValueToken(const Token& t) {
    return t.kind == TokenKind::String || t.kind == TokenKind::Number ||
           t.kind == TokenKind::Param || t.kind == TokenKind::Blob;
}

void Builder::readPredicates() {
    const size_t n = tokens_.size();
    for (size_t i = 0; i < n; ++i) {
        // Subqueries' conditions too: they tell the rows of the tables read inside them.
        if (!(tokens_[i].is(u"WHERE") || tokens_[i].is(u"ON")))
            continue;
        size_t end = i + 1;
        int d = 0;
        for (; end < n; ++end) {
            const Token& t = tokens_[end];
            if (t.isOp(u'('))
                ++d;
            else if (t.isOp(u')') && --d < 0)
                break;
            if (d == 0 &&
                (t.is(u"GROUP") || t.is(u"ORDER") || t.is(u"JOIN") || t.is(u"INNER") ||
                 t.is(u"LEFT") || t.is(u"WHERE") || t.is(u"HAVING") || t.is(u"UNION") ||
                 t.is(u"MINUS") || t.is(u"EXCEPT") || t.is(u"INTERSECT") || t.is(u"START") ||
                 t.is(u"CONNECT") || t.is(u"FETCH") || t.is(u"LIMIT") || t.isOp(u';')))
                break;
        }
        readConjuncts(i + 1, end);
    }
}

void Builder::readConjuncts(size_t first, size_t last) {
    // A column reference at `i`: name or alias.name; returns the position after it.
    auto reference = [&](size_t i, QString& alias, QString& column) -> size_t {
        if (i >= last || !isName(tokens_[i]))
            return 0;
        if (i + 2 < last && tokens_[i + 1].isOp(u'.') && isName(tokens_[i + 2])) {
            alias = unquoted(tokens_[i]).toLower();
            column = unquoted(tokens_[i + 2]).toLower();
            return i + 3;
        }
        column = unquoted(tokens_[i]).toLower();
        return i + 1;
    };
    auto comparison = [&](size_t i, QString& op) -> size_t {
        if (i >= last)
            return 0;
        const Token& t = tokens_[i];
        if (t.is(u"LIKE") || t.is(u"IN") || t.is(u"BETWEEN")) {
            op = t.text.toString().toUpper();
            return i + 1;
        }
        if (t.kind != TokenKind::Op)
            return 0;
        op = t.text.toString();
        size_t j = i + 1;
        while (j < last && tokens_[j].kind == TokenKind::Op &&
               QStringView(u"<>=!").contains(tokens_[j].text.front()) && op.size() < 2)
            op += tokens_[j++].text.toString();
        return QStringList{u"="_qs, u"<"_qs, u">"_qs, u"<="_qs, u">="_qs, u"<>"_qs, u"!="_qs}
                       .contains(op)
                   ? j
                   : 0;
    };
    // A literal at `i`: a number (with its sign), a string, or DATE/TIMESTAMP 'text'; returns the
    // position after it and its text without quotes.
    auto literal = [&](size_t i, size_t end, QString& text) -> size_t {
        if (i + 1 < end && (tokens_[i].is(u"DATE") || tokens_[i].is(u"TIMESTAMP")) &&
            tokens_[i + 1].kind == TokenKind::String)
            ++i;
        QString sign;
        if (i + 1 < end && (tokens_[i].isOp(u'-') || tokens_[i].isOp(u'+')) &&
            tokens_[i + 1].kind == TokenKind::Number)
            sign = tokens_[i++].text.toString();
        if (i >= end || !isValueToken(tokens_[i]))
            return 0;
        const Token& t = tokens_[i];
        text = t.kind == TokenKind::String ? t.text.mid(1, t.text.size() - 2).toString()
                                           : sign + t.text.toString();
        return i + 1;
    };
    // The bounds `op value` puts on a column; `flipped` when the value is written first.
    auto bound = [](Predicate& p, const QString& value, bool flipped) {
        const bool above = p.op.startsWith(u'>') != flipped;
        if (p.op.startsWith(u'>') || p.op.startsWith(u'<'))
            (above ? p.low : p.high) = value;
    };
    size_t start = first;
    int depth = 0;
    bool between = false;  // BETWEEN x AND y is one condition
    for (size_t i = first; i <= last; ++i) {
        if (i < last && tokens_[i].isOp(u'('))
            ++depth;
        else if (i < last && tokens_[i].isOp(u')'))
            --depth;
        else if (i < last && depth == 0 && tokens_[i].is(u"BETWEEN"))
            between = true;
        if (i < last && !(depth == 0 && tokens_[i].is(u"AND")))
            continue;
        if (i < last && between) {
            between = false;
            continue;
        }
        Predicate p;
        QString op;
        size_t j = reference(start, p.alias, p.column);
        size_t k = j ? comparison(j, op) : 0;
        QString value;
        if (k) {
            p.op = op;
            QString otherAlias, otherColumn;
            if (op == u"IN" && k < last && tokens_[k].isOp(u'(')) {
                p.subquery =
                    k + 1 < i && (tokens_[k + 1].is(u"SELECT") || tokens_[k + 1].is(u"WITH"));
                for (size_t m = k + 1; m < i && !tokens_[m].isOp(u')') && !p.subquery; ++m)
                    p.values += tokens_[m].isOp(u',') ? 1 : 0;
                predicates_.append(p);
            } else if (const size_t after = literal(k, i, value)) {
                if (op == u"BETWEEN") {
                    p.low = value;
                    if (after + 1 < i && tokens_[after].is(u"AND"))
                        literal(after + 1, i, p.high);
                } else {
                    bound(p, value, false);
                }
                predicates_.append(p);
            } else if (const size_t r = reference(k, otherAlias, otherColumn);
                       r == i && op == u"=") {
                p.otherAlias = otherAlias;
                p.otherColumn = otherColumn;
                predicates_.append(p);
            }
        } else if (const size_t after = literal(start, i, value)) {
            // value op column
            if (const size_t c = comparison(after, op); c && reference(c, p.alias, p.column)) {
                p.op = op;
                bound(p, value, true);
                predicates_.append(p);
            }
        }
        start = i + 1;
    }
}

double Builder::selectivity(const Predicate& p, const QString& table) {
    if (p.subquery)
        return 1;  // left to the FILTER or the join that reads the subquery
    if (p.op == u"=")
        return 1 / estimates_.distinct(table, p.column);
    if (p.op == u"IN")
        return std::min(1.0, p.values / estimates_.distinct(table, p.column));
    if (p.op == u"LIKE")
        return 0.25;
    if (p.op == u"<>" || p.op == u"!=")
        return 1 - 1 / estimates_.distinct(table, p.column);
    return 1.0 / 3;  // a range
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

double Builder::rangeSelectivity(const QList<Predicate>& conditions, const QString& table,
                                 const QString& column) {
    double low = -HUGE_VAL, high = HUGE_VAL, min = 0, max = 0, value = 0;
    const bool known = estimates_.bounds(table, column, min, max);
    double sel = 1;
    bool bounded = false;
    for (const Predicate& p : conditions) {
        if (p.column != column || !p.isRange() || p.isJoin())
            continue;
        bool used = false;
        if (known && !p.low.isEmpty() && PlanEstimates::numberOf(p.low, value)) {
            low = std::max(low, value);
            used = true;
        }
        if (known && !p.high.isEmpty() && PlanEstimates::numberOf(p.high, value)) {
            high = std::min(high, value);
            used = true;
        }
        bounded |= used;
        if (!used)
            sel /= 3;
    }
    if (bounded) {
        // The share of the column's span the range covers, and one value's worth for its ends.
        const double rows = estimates_.table(table).rows;
        low = std::max(low, min);
        high = std::min(high, max);
        const double share = high < low ? 0 : max > min ? (high - low) / (max - min) : 1;
        sel *= std::clamp(share + 1 / estimates_.distinct(table, column), 1 / rows, 1.0);
    }
    return sel;
}

// The conditions on `alias` that the index does not take care of; a join condition counts at
// the later of its two tables.
double Builder::otherSelectivity(const QString& alias, const QString& table,
                                 const QStringList& indexColumns, const QStringList& outer) {
    const QList<Predicate> conditions = conditionsOn(alias, table);
    double sel = 1;
    QStringList ranges;
    for (const Predicate& p : conditions) {
        if (indexColumns.contains(p.column))
            continue;
        if (p.isJoin() && !outer.contains(p.otherAlias))
            continue;  // counted at the other table, which comes later
        if (p.isRange() && !p.isJoin()) {
            if (!ranges.contains(p.column))
                ranges << p.column;
            continue;
        }
        sel *= selectivity(p, table);
    }
    for (const QString& column : ranges)
        sel *= rangeSelectivity(conditions, table, column);
    return sel;
}

double Builder::usedWidth(const QString& alias, const PlanEstimates::Table& t) const {
    const size_t n = tokens_.size();
    double width = 0;
    QSet<QString> seen;
    for (size_t i = 0; i < n; ++i) {
        const Token& tok = tokens_[i];
        const bool qualified = i >= 2 && tokens_[i - 1].isOp(u'.');
        if (tok.isOp(u'*')) {
            // SELECT *, SELECT a, *, alias.*: every column
            const bool star = i > 0 && (tokens_[i - 1].is(u"SELECT") || tokens_[i - 1].isOp(u',') ||
                                        tokens_[i - 1].is(u"DISTINCT"));
            if ((star && !qualified) ||
                (qualified && unquoted(tokens_[i - 2]).compare(alias, Qt::CaseInsensitive) == 0))
                return t.width;
            continue;
        }
        if (!isName(tok) ||
            (qualified && unquoted(tokens_[i - 2]).compare(alias, Qt::CaseInsensitive) != 0))
            continue;
        const QString name = unquoted(tok).toLower();
        const qsizetype c = t.columns.indexOf(name);
        if (c >= 0 && !seen.contains(name)) {
            seen.insert(name);
            width += t.widths.value(c, 10);
        }
    }
    return width;
}

Step Builder::tableAccess(const QString& name, const QString& usingText, const QStringList& outer,
                          bool& hashed, bool searched) {
    static const QRegularExpression kIndex(
        QStringLiteral(R"(^(COVERING )?INDEX (\S+)(?: \((.*)\))?$)"));
    static const QRegularExpression kConstraint(QStringLiteral(R"(^(\w+)(=|>|<|>=|<=)\?$)"));
    const QString alias = name.toLower();
    const QString tableText = tableName(name);
    const PlanEstimates::Table& t = estimates_.table(tableText);
    const QString object = unquotedName(tableText);
    const double width = usedWidth(alias, t);
    const QList<Predicate> conditions = conditionsOn(alias, tableText);
    // Whether the key values of `column` come from an IN (subquery).
    auto fromList = [&](const QString& column) {
        return std::any_of(conditions.begin(), conditions.end(),
                           [&](const Predicate& p) { return p.subquery && p.column == column; });
    };

    if (usingText.isEmpty() || usingText.startsWith(u"AUTOMATIC")) {
        // A transient index on the inner table: Oracle would hash the inner rows instead.
        hashed = usingText.startsWith(u"AUTOMATIC");
        Step s = named(step(QStringLiteral("TABLE ACCESS"), QStringLiteral("FULL")), object);
        // Hashed, the table is read once: the join conditions count at the join.
        s.card = t.rows * otherSelectivity(alias, tableText, {}, hashed ? QStringList{} : outer);
        if (hashed)
            s.probeShare = otherSelectivity(alias, tableText, {}, outer) /
                           otherSelectivity(alias, tableText, {}, {});
        s.cost = t.pages + cpu(t.rows);
        s.width = width;
        return s;
    }
    if (usingText.startsWith(u"INTEGER PRIMARY KEY")) {
        const bool single = usingText.contains(u"rowid=?");
        // The INTEGER PRIMARY KEY column is the rowid: searched by its name it is the primary
        // key's index to an Oracle user; searched as ROWID, a rowid access.
        const bool byKey =
            !t.rowidColumn.isEmpty() &&
            std::any_of(conditions.begin(), conditions.end(),
                        [&](const Predicate& p) { return p.column == t.rowidColumn; });
        const QString key = byKey ? t.rowidColumn : QStringLiteral("rowid");
        // "rowid=?" is also how SQLite searches an IN list of keys, one after the other: what
        // Oracle shows as an INLIST ITERATOR over the unique scan.
        const auto inList =
            std::find_if(conditions.begin(), conditions.end(), [&](const Predicate& p) {
                return !p.subquery && p.op == u"IN" && p.column == key && p.values > 0;
            });
        const double keys = single && inList != conditions.end() ? inList->values : 1;
        const double found = single ? keys : t.rows * rangeSelectivity(conditions, tableText, key);
        const double card =
            found * otherSelectivity(alias, tableText,
                                     {t.rowidColumn, u"rowid"_qs, u"_rowid_"_qs, u"oid"_qs}, outer);
        if (!byKey) {
            Step s = named(
                step(QStringLiteral("TABLE ACCESS"),
                     single ? QStringLiteral("BY USER ROWID") : QStringLiteral("BY ROWID RANGE")),
                object);
            s.card = card;
            s.cost = single ? 1 : t.pages * found / t.rows + cpu(found);
            s.width = width;
            return s;
        }
        Step index = named(step(QStringLiteral("INDEX"), single ? QStringLiteral("UNIQUE SCAN")
                                                                : QStringLiteral("RANGE SCAN")),
                           QStringLiteral("PK_") + object);
        index.card = found;
        index.cost = single ? keys : 1 + t.pages * found / t.rows / 4 + cpu(found);
        index.width = t.widths.value(t.columns.indexOf(t.rowidColumn), 4);
        Step s =
            named(step(QStringLiteral("TABLE ACCESS"), QStringLiteral("BY INDEX ROWID"), {index}),
                  object);
        s.card = card;
        s.cost = index.cost + (single ? keys : t.pages * found / t.rows + cpu(found));
        s.width = width;
        s.listDriven = fromList(t.rowidColumn);
        s.tableRows = t.rows;
        if (keys > 1) {
            Step iterator = step(QStringLiteral("INLIST ITERATOR"), QString(), {s});
            iterator.card = s.card;
            iterator.cost = s.cost;
            iterator.width = s.width;
            iterator.tableRows = t.rows;
            return iterator;
        }
        return s;
    }
    const QRegularExpressionMatch m = kIndex.match(usingText);
    if (!m.hasMatch())  // a form this engine does not know: read it as a full scan
        return tableAccess(name, QString(), outer, hashed);
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
            range *= rangeSelectivity(conditions, tableText, column) < 1
                         ? rangeSelectivity(conditions, tableText, column)
                         : 1.0 / 3;  // bounded by a join or a bind variable
        used << column;
    }
    const bool search = !used.isEmpty();
    // SEARCH without any condition: the first or last key, for min() or max().
    const bool minMax = !search && searched;
    const double found = minMax ? 1 : estimates_.rowsPerKey(indexName, equal) * range;
    const double share = found / t.rows;
    QString scan = QStringLiteral("FULL SCAN");
    if (minMax)
        scan = QStringLiteral("FULL SCAN (MIN/MAX)");
    else if (search)
        scan = index.unique && equal >= index.columns.size() ? QStringLiteral("UNIQUE SCAN")
                                                             : QStringLiteral("RANGE SCAN");
    Step indexStep = named(step(QStringLiteral("INDEX"), scan), indexName);
    indexStep.card = found;
    indexStep.cost = (search || minMax ? 2 : 0) + index.leafPages * share + cpu(found);
    indexStep.width = covering ? std::min(width, index.keyWidth) : index.keyWidth;
    indexStep.listDriven = equal > 0 && fromList(used.front());
    const double card = found * otherSelectivity(alias, tableText, used, outer);
    if (covering) {
        indexStep.card = card;
        return indexStep;
    }
    // Oracle shows the table access above the index scan that feeds it its rowids.
    Step s =
        named(step(QStringLiteral("TABLE ACCESS"), QStringLiteral("BY INDEX ROWID"), {indexStep}),
              object);
    s.card = card;
    s.cost = indexStep.cost + t.pages * share + cpu(found);
    s.width = width;
    s.listDriven = indexStep.listDriven;
    s.tableRows = t.rows;
    return s;
}

Step Builder::loop(const QString& detail, const QStringList& outer, bool& hashed) {
    static const QRegularExpression kVirtual(QStringLiteral(R"(^SCAN (\S+) VIRTUAL TABLE)"));
    static const QRegularExpression kLoop(
        QStringLiteral(R"(^(SCAN|SEARCH) (\S+)(?: USING (.*))?$)"));
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
        const QString usingText = m.captured(3);
        hashed = usingText.startsWith(u"AUTOMATIC");
        Step s = step(QStringLiteral("VIEW"), QString(), {views_.value(view)});
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
    return tableAccess(name, m.captured(3), outer, hashed, m.captured(1) == u"SEARCH");
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

size_t Builder::closing(size_t open) const {
    int depth = 0;
    for (size_t i = open; i < tokens_.size(); ++i) {
        if (tokens_[i].isOp(u'('))
            ++depth;
        else if (tokens_[i].isOp(u')') && --depth == 0)
            return i;
    }
    return tokens_.size();
}

Builder::Text Builder::subqueryText(const QString& name) const {
    const size_t n = tokens_.size();
    for (size_t i = 0; i < n; ++i) {
        if (!isName(tokens_[i]) || unquoted(tokens_[i]).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        // name [(columns)] AS ( query )
        size_t j = i + 1;
        if (j < n && tokens_[j].isOp(u'(') && !(j + 1 < n && tokens_[j + 1].is(u"SELECT")))
            j = closing(j) + 1;
        if (j + 1 < n && tokens_[j].is(u"AS") && tokens_[j + 1].isOp(u'('))
            return {j + 2, closing(j + 1)};
        // ( query ) [AS] name
        size_t k = i;
        if (k > 0 && tokens_[k - 1].is(u"AS"))
            --k;
        if (k == 0 || !tokens_[k - 1].isOp(u')'))
            continue;
        for (size_t open = k - 1; open-- > 0;) {
            if (tokens_[open].isOp(u'(') && closing(open) == k - 1)
                return tokens_[open + 1].is(u"SELECT") || tokens_[open + 1].is(u"WITH")
                           ? Text{open + 1, k - 1}
                           : Text{};
        }
    }
    return {};
}

Step Builder::compound(const std::vector<int>& parts, Text text) {
    // Each part's own text, between the set operators at the top of the query.
    std::vector<Text> texts;
    if (text.known()) {
        int depth = 0;
        size_t start = text.first;
        for (size_t i = text.first; i < text.last; ++i) {
            const Token& t = tokens_[i];
            depth += t.isOp(u'(') ? 1 : t.isOp(u')') ? -1 : 0;
            if (depth != 0)
                continue;
            if (t.is(u"UNION") || t.is(u"MINUS") || t.is(u"EXCEPT") || t.is(u"INTERSECT")) {
                texts.push_back({start, i});
                start = i + 1 < text.last && tokens_[i + 1].is(u"ALL") ? i + 2 : i + 1;
            }
        }
        texts.push_back({start, text.last});
    }
    if (texts.size() != parts.size())
        texts.assign(parts.size(), Text{});
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

double Builder::groupsOf(QStringView keyword, Text text, double fallback) {
    const size_t n = text.last;
    size_t at = sql::findTopLevel(tokens_, text.first, n, keyword);
    if (at == n)
        return std::max(1.0, fallback);
    at += keyword == u"GROUP" ? 2 : 1;  // past GROUP BY, or past DISTINCT
    QString alias, column;
    size_t end = at;
    if (end < n && isName(tokens_[end])) {
        column = unquoted(tokens_[end++]).toLower();
        if (end + 1 < n && tokens_[end].isOp(u'.') && isName(tokens_[end + 1])) {
            alias = column;
            column = unquoted(tokens_[end + 1]).toLower();
            end += 2;
        }
    }
    const bool single =
        !column.isEmpty() && (end == n || tokens_[end].is(u"FROM") || tokens_[end].is(u"ORDER") ||
                              tokens_[end].is(u"HAVING") || tokens_[end].isOp(u';'));
    if (!single)
        return std::max(1.0, fallback);
    QStringList tables;
    for (const QString& a : aliases_)
        tables << a;
    if (tables.isEmpty()) {
        const size_t from = sql::findTopLevel(tokens_, text.first, n, u"FROM");
        if (from + 1 < n && isName(tokens_[from + 1]))
            tables << unquoted(tokens_[from + 1]);
    }
    const QString table = !alias.isEmpty() ? tableName(alias) : estimates_.tableOf(column, tables);
    return table.isEmpty() ? std::max(1.0, fallback) : estimates_.distinct(table, column);
}

Step Builder::block(const std::vector<int>& lines, Text text) {
    std::vector<Step> sources;
    std::vector<bool> hashedAt;
    std::set<size_t> cartesianAt;
    QStringList outer;  // aliases joined so far
    struct Subquery {
        Step plan;
        bool correlated;
        bool list;  // of IN (subquery)
    };
    std::vector<Subquery> subqueries;
    bool sortOrder = false, sortGroup = false, sortDistinct = false, isCompound = false;
    for (int id : lines) {
        const EqpNode& node = nodes_[id];
        const QString& d = node.detail;
        static const QRegularExpression kView(
            QStringLiteral(R"(^(?:MATERIALIZE|CO-ROUTINE) (.+)$)"));
        static const QRegularExpression kSub(
            QStringLiteral(R"(^(CORRELATED )?(?:SCALAR|LIST) SUBQUERY)"));
        QRegularExpressionMatch m;
        if (d.startsWith(u"USE TEMP B-TREE FOR ")) {
            sortGroup |= d.endsWith(u"GROUP BY");
            sortDistinct |= d.endsWith(u"DISTINCT");
            sortOrder |= d.endsWith(u"ORDER BY");
        } else if ((m = kView.match(d)).hasMatch()) {
            views_.insert(m.captured(1).toLower(),
                          block(node.children, subqueryText(m.captured(1))));
        } else if ((m = kSub.match(d)).hasMatch()) {
            subqueries.push_back(
                {block(node.children, Text{}), !m.captured(1).isEmpty(), d.contains(u"LIST")});
        } else if (d == u"COMPOUND QUERY") {
            sources.push_back(compound(node.children, text));
            hashedAt.push_back(false);
            isCompound = true;
        } else if (d == u"MULTI-INDEX OR") {
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
            sources.push_back(concat);
            hashedAt.push_back(false);
        } else if (d.startsWith(u"SCAN ") || d.startsWith(u"SEARCH ")) {
            bool hashed = false;
            sources.push_back(loop(d, outer, hashed));
            hashedAt.push_back(hashed);
            static const QRegularExpression kName(QStringLiteral(R"(^(?:SCAN|SEARCH) (\S+))"));
            const QString alias = kName.match(d).captured(1).toLower();
            // A table read in full with no condition tying it to the tables before it: each
            // of its rows meets each of theirs.
            if (!outer.isEmpty() && !hashed && d.startsWith(u"SCAN ") && !joinedTo(alias, outer))
                cartesianAt.insert(sources.size() - 1);
            outer << alias;
        }
        // Anything else (bloom filters, the parts of a multi-index OR) adds no step of its own.
    }
    if (sources.empty())
        sources.push_back(step(QStringLiteral("FAST DUAL"), QString()));

    // What the query asks for, read from its own text.
    const size_t n = text.last;
    const bool known = text.known() && !isCompound;
    const size_t selectAt = known ? sql::findTopLevel(tokens_, text.first, n, u"SELECT") : n;
    const bool groupBy = known && sql::findTopLevel(tokens_, text.first, n, u"GROUP") != n;
    const bool orderBy = known && sql::findTopLevel(tokens_, text.first, n, u"ORDER") != n;
    const bool distinct = known && selectAt + 1 < n && tokens_[selectAt + 1].is(u"DISTINCT");
    bool aggregate = false;
    if (known && selectAt < n) {
        const size_t from = sql::findTopLevel(tokens_, selectAt, n, u"FROM");
        for (size_t i = selectAt; i + 1 < from && !aggregate; ++i)
            aggregate = (tokens_[i].is(u"COUNT") || tokens_[i].is(u"SUM") ||
                         tokens_[i].is(u"AVG") || tokens_[i].is(u"MIN") || tokens_[i].is(u"MAX")) &&
                        tokens_[i + 1].isOp(u'(');
    }
    // A covering index read whole, in no particular order: Oracle reads it with multiblock
    // reads.
    const bool inOrder =
        (groupBy && !sortGroup) || (orderBy && !sortOrder) || (distinct && !sortDistinct);
    for (size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].operation == u"INDEX" && sources[i].options == u"FULL SCAN" &&
            !(i == 0 && inOrder))
            sources[i].options = QStringLiteral("FAST FULL SCAN");
    }
    // IN (subquery) feeding the keys of the first table: its distinct rows drive a nested loop.
    for (auto it = subqueries.begin(); it != subqueries.end(); ++it) {
        if (!sources.front().listDriven || it->correlated || !it->list)
            continue;
        Step unique = step(QStringLiteral("SORT"), QStringLiteral("UNIQUE"), {it->plan});
        unique.cost += sortCost(unique.card);
        Step& driven = sources.front();
        Step join = step(QStringLiteral("NESTED LOOPS"), QString(), {unique, driven});
        // Each row of the table at most once, however many times the subquery names it.
        join.card =
            std::min(unique.card * driven.card, driven.tableRows > 0 ? driven.tableRows : HUGE_VAL);
        join.cost = unique.cost + unique.card * driven.cost;
        join.width = driven.width;
        driven = join;
        subqueries.erase(it);
        break;
    }

    // Joins: left-deep, the outermost loop first.
    Step tree = sources.front();
    for (size_t i = 1; i < sources.size(); ++i) {
        const Step& inner = sources[i];
        if (cartesianAt.count(i)) {
            // Oracle reads such a table once into a buffer and pairs every row with it.
            Step buffer = step(QStringLiteral("BUFFER"), QStringLiteral("SORT"), {inner});
            buffer.card = inner.card;
            buffer.cost = inner.cost + sortCost(inner.card);
            buffer.width = inner.width;
            Step join =
                step(QStringLiteral("MERGE JOIN"), QStringLiteral("CARTESIAN"), {tree, buffer});
            join.card = tree.card * inner.card;
            join.cost = tree.cost + buffer.cost + cpu(join.card);
            join.width = tree.width + inner.width;
            tree = join;
            continue;
        }
        Step join = step(hashedAt[i] ? QStringLiteral("HASH JOIN") : QStringLiteral("NESTED LOOPS"),
                         QString(), {tree, inner});
        join.card = tree.card * inner.card * inner.probeShare;
        join.cost = hashedAt[i] ? tree.cost + inner.cost + cpu(tree.card + inner.card)
                                : tree.cost + tree.card * inner.cost;
        join.width = tree.width + inner.width;
        tree = join;
    }
    if (!subqueries.empty()) {
        Step filter = step(QStringLiteral("FILTER"), QString(), {tree});
        for (const Subquery& sub : subqueries) {
            filter.children.push_back(sub.plan);
            filter.cost += sub.correlated ? tree.card * sub.plan.cost : sub.plan.cost;
            // Oracle's guess for a row kept by a subquery it cannot estimate: one in twenty.
            filter.card *= 0.05;
        }
        tree = filter;
    }

    // Grouping, DISTINCT and ORDER BY above the rows they work on.
    if (sortGroup || groupBy) {
        const QString options = !sortGroup              ? QStringLiteral("GROUP BY NOSORT")
                                : orderBy && !sortOrder ? QStringLiteral("GROUP BY")
                                                        : QString();
        Step group = step(options.isEmpty() ? QStringLiteral("HASH") : QStringLiteral("SORT"),
                          options.isEmpty() ? QStringLiteral("GROUP BY") : options, {tree});
        group.card = std::min(tree.card, groupsOf(u"GROUP", text, tree.card / 10));
        group.cost += sortGroup ? sortCost(tree.card) : 0;
        tree = group;
    } else if (aggregate) {
        Step sum = step(QStringLiteral("SORT"), QStringLiteral("AGGREGATE"), {tree});
        sum.card = 1;
        tree = sum;
    }
    if (sortDistinct || distinct) {
        Step unique =
            step(QStringLiteral("SORT"),
                 sortDistinct ? QStringLiteral("UNIQUE") : QStringLiteral("UNIQUE NOSORT"), {tree});
        unique.card = std::min(tree.card, groupsOf(u"DISTINCT", text, tree.card / 2));
        unique.cost += sortDistinct ? sortCost(tree.card) : 0;
        tree = unique;
    }
    if (sortOrder) {
        Step order = step(QStringLiteral("SORT"), QStringLiteral("ORDER BY"), {tree});
        order.cost += sortCost(tree.card);
        tree = order;
    }
    return tree;
}

std::vector<PlanRow> Builder::rows() {
    const QString kind = statementKind(tokens_);
    Step body = block(roots_, Text{0, tokens_.size()});
    if (kind == u"INSERT" || kind == u"UPDATE" || kind == u"DELETE") {
        // The table changed, above the rows that find what to change.
        const size_t n = tokens_.size();
        const size_t at = sql::findTopLevel(tokens_, 0, n,
                                            kind == u"UPDATE"   ? u"UPDATE"
                                            : kind == u"DELETE" ? u"FROM"
                                                                : u"INTO");
        const QString target =
            at + 1 < n && isName(tokens_[at + 1]) ? unquoted(tokens_[at + 1]) : QString();
        // A DELETE removes the rows the index finds by their rowids without reading them.
        if (kind == u"DELETE" && body.options == u"BY INDEX ROWID" &&
            body.object.compare(unquotedName(target), Qt::CaseInsensitive) == 0)
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

[[noreturn]] void missingKeyword() {
    throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
}

}  // namespace

std::vector<PlanRow> translatePlan(const QString& statement, const std::vector<EqpLine>& eqp,
                                   const QString& owner, sqlite3* db) {
    return Builder(statement, eqp, owner, db).rows();
}

bool isExplainPlan(const std::vector<Token>& tokens) {
    return tokens.size() >= 2 && tokens[0].is(u"EXPLAIN") && tokens[1].is(u"PLAN");
}

ExplainRequest parseExplainPlan(const QString& sql, const std::vector<Token>& t) {
    ExplainRequest request;
    request.table = sql::quotedName(QStringLiteral("PLAN_TABLE"));
    size_t i = 2;
    if (i < t.size() && t[i].is(u"SET")) {
        if (i + 3 >= t.size() || !t[i + 1].is(u"STATEMENT_ID") || !t[i + 2].isOp(u'=') ||
            t[i + 3].kind != TokenKind::String)
            missingKeyword();
        request.statementId = sql::stringValue(t[i + 3]);
        i += 4;
    }
    if (i < t.size() && t[i].is(u"INTO")) {
        // [schema.]table, which becomes part of the INSERT that writes the rows.
        QStringList parts;
        size_t j = i + 1;
        while (j < t.size() && isName(t[j]) && !t[j].is(u"FOR")) {
            parts << sql::quotedName(unquoted(t[j]));
            if (++j >= t.size() || !t[j].isOp(u'.'))
                break;
            ++j;
        }
        if (parts.isEmpty() || j >= t.size() || !t[j].is(u"FOR"))
            missingKeyword();
        request.table = parts.join(u'.');
        i = j;
    }
    if (i + 1 >= t.size() || !t[i].is(u"FOR"))
        missingKeyword();
    request.statement = sql.mid(t[i + 1].begin);
    return request;
}

namespace {

// SQLite's plan of `statement`, line by line.
std::vector<EqpLine> queryPlan(sqlite3* db, const QString& statement) {
    const QByteArray sql = "EXPLAIN QUERY PLAN " + statement.toUtf8();
    sqlite::Statement eqp;
    try {
        eqp = sqlite::Statement::single(db, sql);
    } catch (const sqlite::Error& e) {
        throw oracleFailure(e, sql);
    }
    std::vector<EqpLine> lines;
    while (eqp.step())
        lines.push_back({int(eqp.integer(0)), int(eqp.integer(1)), eqp.text(3)});
    return lines;
}

}  // namespace

void writePlan(sqlite3* db, const ExplainRequest& request, const QString& sqliteStatement,
               const QString& optimizer, const QString& owner) {
    const QByteArray insertSql =
        "INSERT INTO " + request.table.toUtf8() +
        " (statement_id, timestamp, operation, options, object_owner, object_name, optimizer, id, "
        "parent_id, position, cardinality, cost, bytes) VALUES "
        "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    sqlite::Statement insert;
    try {
        insert = sqlite::Statement::single(db, insertSql);
    } catch (const sqlite::Error& e) {
        if (e.description().contains(u"no such table"))
            throw oracleError(2404, QStringLiteral("ORA-02404: specified plan table not found"));
        throw oracleFailure(e, insertSql);
    }
    try {
        // Read before the rows are written: an EXPLAIN of a change stays a busy writer until
        // it is finalized, and would block the savepoint.
        const std::vector<EqpLine> lines = queryPlan(db, sqliteStatement);
        const std::vector<PlanRow> rows = translatePlan(request.statement, lines, owner, db);
        const QString timestamp =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        // Empty texts and the root's parent and position are NULL.
        auto text = [&](int index, const QString& value) {
            if (value.isEmpty())
                insert.bindNull(index);
            else
                insert.bind(index, value);
        };
        auto number = [&](int index, int64_t value, bool null) {
            if (null)
                insert.bindNull(index);
            else
                insert.bind(index, value);
        };
        sqlite::Savepoint savepoint(db);
        for (const PlanRow& row : rows) {
            text(1, request.statementId);
            text(2, timestamp);
            text(3, row.operation);
            text(4, row.options);
            text(5, row.objectOwner);
            text(6, row.objectName);
            text(7, row.id == 0 ? optimizer : QString());
            number(8, row.id, false);
            number(9, row.parentId, row.parentId < 0);
            number(10, row.position, row.id == 0);
            number(11, row.cardinality, false);
            number(12, row.cost, false);
            number(13, row.bytes, false);
            insert.run();
        }
        savepoint.release();
    } catch (const sqlite::Error& e) {
        throw oracleFailure(e);
    }
}

}  // namespace qv::embedded
