#include "core/embedded/translate/hierarchical.h"

#include "core/embedded/base/sqlitenames.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QStringList>

namespace qv::embedded {

namespace {

using sql::isName;
using sql::Range;

enum Clause { kFrom, kWhere, kStart, kConnect, kOrder, kClauseCount };

[[noreturn]] void unsupported(const QString& what) {
    throw invalidStatement(QStringLiteral("hierarchical query: %1 is not supported").arg(what));
}

class Rewriter {
  public:
    Rewriter(const QString& sql, const std::vector<Token>& tokens) : sql_(sql), t_(tokens) {}

    QString run();

  private:
    void splitClauses();
    void readTable();
    // The expression text of `r` for SQLite: # names quoted, LEVEL replaced by `level`, and,
    // when `priors` is given, each PRIOR operand collected and replaced by the parent's column.
    QString expr(Range r, const QString& level, QStringList* priors = nullptr) const;
    size_t operandEnd(size_t i, size_t last) const;
    QString selectList() const;
    QString pathColumn(size_t open, size_t last, size_t& next) const;
    QString markedNodes(const QString& connect, const QString& inPath) const;

    // What the tree carries per row for the operators of the select list and WHERE: the
    // values of CONNECT_BY_ROOT operands, and SYS_CONNECT_BY_PATH's value and separator.
    struct PathColumn {
        QString value;
        QString separator;
    };
    mutable QStringList roots_;
    mutable std::vector<PathColumn> paths_;
    mutable bool leaf_ = false;   // CONNECT_BY_ISLEAF is read
    mutable bool cycle_ = false;  // CONNECT_BY_ISCYCLE is read
    bool nocycle_ = false;

    const QString& sql_;
    const std::vector<Token>& t_;
    size_t end_ = 0;
    bool distinct_ = false;
    Range items_;
    Range clauses_[kClauseCount];
    QString tableRef_;  // the table with its alias, as written
    QString rowRef_;    // what names the table's rows: the alias, else the table's name
};

QString Rewriter::run() {
    end_ = t_.size();
    while (end_ > 0 && t_[end_ - 1].isOp(u';'))
        --end_;
    splitClauses();
    readTable();

    const QString tree = QStringLiteral("__qv_tree");
    const QString rowid = rowRef_ + QStringLiteral(".rowid");
    const QString level = tree + QStringLiteral(".__qv_level");
    // The final query's parts first: they tell which values the tree must carry.
    const QString items = selectList();
    const QString where = clauses_[kWhere].empty() ? QString() : expr(clauses_[kWhere], level);
    const QString order = clauses_[kOrder].empty() ? QString() : expr(clauses_[kOrder], level);
    QStringList priors;
    const QString connect =
        expr(clauses_[kConnect], QStringLiteral("(%1.__qv_level + 1)").arg(tree), &priors);
    // Neither operator belongs in START WITH or CONNECT BY.
    const QString start =
        clauses_[kStart].empty() ? QString() : expr(clauses_[kStart], QStringLiteral("1"));
    if (start.contains(u"__qv_tree.__qv_r") || connect.contains(u"__qv_tree.__qv_r"))
        throw oracleError(30007, QStringLiteral("ORA-30007: CONNECT BY ROOT operator is not "
                                                "supported in the START WITH or in the CONNECT "
                                                "BY condition"));
    if (start.contains(u"__qv_tree.__qv_s") || connect.contains(u"__qv_tree.__qv_s"))
        throw oracleError(30002, QStringLiteral("ORA-30002: SYS_CONNECT_BY_PATH function is "
                                                "not allowed here"));
    if (cycle_ && !nocycle_)
        throw oracleError(30930, QStringLiteral("ORA-30930: NOCYCLE keyword is required with "
                                                "CONNECT_BY_ISCYCLE pseudocolumn"));
    QString columns = QStringLiteral("__qv_rid, __qv_level, __qv_path, __qv_keys");
    QString rootValues, stepValues;
    QStringList keyParts;
    for (int i = 0; i < priors.size(); ++i) {
        columns += QStringLiteral(", __qv_p%1").arg(i + 1);
        rootValues += QStringLiteral(", ") + priors[i];
        stepValues += QStringLiteral(", ") + priors[i];
        keyParts << QStringLiteral("quote(%1)").arg(priors[i]);
    }
    // A row's key: its values of the PRIOR operands, as its children see them. Oracle finds a
    // loop where a row's key is its ancestor's, and without PRIOR (CONNECT BY LEVEL <= n) finds
    // none: every row is then a child of every row of the level above. Written in hex, so that
    // '/' parts the keys of a path.
    const QString key =
        keyParts.isEmpty()
            ? QString()
            : QStringLiteral("hex(%1)").arg(keyParts.join(QStringLiteral(" || ',' || ")));
    const QString rootKeys =
        key.isEmpty() ? QStringLiteral("NULL") : QStringLiteral("'/' || %1 || '/'").arg(key);
    const QString stepKeys = key.isEmpty()
                                 ? QStringLiteral("NULL")
                                 : QStringLiteral("%1.__qv_keys || %2 || '/'").arg(tree, key);
    const QString inPath = QStringLiteral("instr(%1.__qv_keys, '/' || %2 || '/')").arg(tree, key);
    for (int i = 0; i < roots_.size(); ++i) {
        columns += QStringLiteral(", __qv_r%1").arg(i + 1);
        rootValues += QStringLiteral(", ") + roots_[i];
        stepValues += QStringLiteral(", %1.__qv_r%2").arg(tree).arg(i + 1);
    }
    for (size_t i = 0; i < paths_.size(); ++i) {
        columns += QStringLiteral(", __qv_s%1").arg(i + 1);
        const PathColumn& p = paths_[i];
        rootValues += QStringLiteral(", qv_connect_path(NULL, %1, %2)").arg(p.separator, p.value);
        stepValues += QStringLiteral(", qv_connect_path(%1.__qv_s%2, %3, %4)")
                          .arg(tree)
                          .arg(i + 1)
                          .arg(p.separator, p.value);
    }

    // A row's place in the tree: its ancestors' rowids and its own, zero-padded so that the
    // text sorts depth-first.
    const QString step = QStringLiteral("printf('%020d/', ") + rowid + u')';
    const QString marker = QStringLiteral("printf('/%020d/', ") + rowid + u')';
    QString out = QStringLiteral("WITH RECURSIVE ") + tree + u'(' + columns +
                  QStringLiteral(") AS (SELECT ") + rowid + QStringLiteral(", 1, ") + marker +
                  QStringLiteral(", ") + rootKeys + rootValues + QStringLiteral(" FROM ") +
                  tableRef_;
    if (!start.isEmpty())
        out += QStringLiteral(" WHERE ") + start;
    out += QStringLiteral(" UNION ALL SELECT ") + rowid + QStringLiteral(", ") + tree +
           QStringLiteral(".__qv_level + 1, ") + tree + QStringLiteral(".__qv_path || ") + step +
           QStringLiteral(", ") + stepKeys + stepValues + QStringLiteral(" FROM ") + tree +
           QStringLiteral(" JOIN ") + tableRef_ + QStringLiteral(" ON (") + connect + u')';
    // A child that is its own ancestor: with NOCYCLE the branch ends before it, otherwise the
    // query fails, ORA-01436 (qv_connect_loop), only for a row the condition makes a child.
    if (!key.isEmpty() && nocycle_)
        out += QStringLiteral(" AND %1 = 0").arg(inPath);
    else if (!key.isEmpty())
        out += QStringLiteral(
                   " AND CASE WHEN %1 = 0 THEN 1 WHEN (%2) THEN qv_connect_loop(%3) "
                   "ELSE 0 END")
                   .arg(inPath, connect, key);
    out += QStringLiteral(") ");

    const QString nodes = markedNodes(connect, key.isEmpty() ? QString() : inPath);
    out +=
        QStringLiteral("SELECT ") + (distinct_ ? QStringLiteral("DISTINCT ") : QString()) + items +
        QStringLiteral(" FROM %1 JOIN %2 ON %3 = %4.__qv_rid").arg(nodes, tableRef_, rowid, tree);
    if (!where.isEmpty())
        out += QStringLiteral(" WHERE ") + where;
    out += QStringLiteral(" ORDER BY ");
    if (!order.isEmpty())
        out += order + QStringLiteral(", ");
    out += tree + QStringLiteral(".__qv_path");
    return out;
}

// The tree's rows with what the select list and WHERE read of each beyond its columns: a leaf is
// a row the next one in depth-first order does not descend from; a row is in a cycle (NOCYCLE)
// when a row the condition makes its child is its own ancestor (`inPath` finds a child's key
// among the row's, empty without PRIOR).
QString Rewriter::markedNodes(const QString& connect, const QString& inPath) const {
    QStringList marks;
    if (leaf_)
        marks << QStringLiteral(
            "coalesce(substr(lead(__qv_path) OVER (ORDER BY __qv_path), 1, length(__qv_path)) = "
            "__qv_path, 0) = 0 AS __qv_leaf");
    if (cycle_)
        marks << (inPath.isEmpty() ? QStringLiteral("0 AS __qv_cycle")
                                   : QStringLiteral("EXISTS (SELECT 1 FROM %1 WHERE (%2) AND %3 > "
                                                    "0) AS __qv_cycle")
                                         .arg(tableRef_, connect, inPath));
    return marks.isEmpty() ? QStringLiteral("__qv_tree")
                           : QStringLiteral("(SELECT *, %1 FROM __qv_tree) __qv_tree")
                                 .arg(marks.join(QStringLiteral(", ")));
}

void Rewriter::splitClauses() {
    const size_t from = sql::findTopLevel(t_, 1, end_, u"FROM");
    if (from == end_)
        unsupported(QStringLiteral("a query without FROM"));
    items_ = {1, from};
    if (!items_.empty() && (t_[1].is(u"DISTINCT") || t_[1].is(u"ALL"))) {
        distinct_ = t_[1].is(u"DISTINCT");
        items_.first = 2;
    }
    int current = kFrom;
    clauses_[kFrom].first = from + 1;
    auto open = [&](int clause, size_t at, size_t bodyStart) {
        if (clauses_[clause].first != 0)
            unsupported(QStringLiteral("a repeated clause"));
        clauses_[current].last = at;
        current = clause;
        clauses_[clause].first = bodyStart;
    };
    for (size_t i = from + 1; i < end_; ++i) {
        const Token& t = t_[i];
        if (t.isOp(u'(')) {
            i = sql::closing(t_, i, end_);
            continue;
        }
        const bool hasNext = i + 1 < end_;
        if (t.is(u"WHERE")) {
            open(kWhere, i, i + 1);
        } else if (t.is(u"START") && hasNext && t_[i + 1].is(u"WITH")) {
            open(kStart, i, i + 2);
            ++i;
        } else if (t.is(u"CONNECT") && hasNext && t_[i + 1].is(u"BY")) {
            const bool nocycle = i + 2 < end_ && t_[i + 2].is(u"NOCYCLE");
            nocycle_ = nocycle;
            open(kConnect, i, i + (nocycle ? 3 : 2));
            i += nocycle ? 2 : 1;
        } else if (t.is(u"ORDER") && hasNext && t_[i + 1].is(u"BY")) {
            open(kOrder, i, i + 2);
            ++i;
        } else if (t.is(u"ORDER") && hasNext && t_[i + 1].is(u"SIBLINGS")) {
            unsupported(QStringLiteral("ORDER SIBLINGS BY"));
        } else if (t.is(u"GROUP") || t.is(u"HAVING") || t.is(u"UNION") || t.is(u"INTERSECT") ||
                   t.is(u"EXCEPT") || t.is(u"MINUS") || t.is(u"LIMIT") || t.is(u"WINDOW")) {
            unsupported(t.text.toString().toUpper());
        }
    }
    clauses_[current].last = end_;
    if (clauses_[kConnect].empty())
        unsupported(QStringLiteral("CONNECT BY without a condition"));
    if (items_.empty())
        unsupported(QStringLiteral("an empty select list"));
}

void Rewriter::readTable() {
    const Range r = clauses_[kFrom];
    size_t i = r.first;
    // name, or schema.name
    if (i >= r.last || !isName(t_[i]))
        unsupported(QStringLiteral("this FROM clause"));
    size_t nameAt = i++;
    if (i + 1 < r.last && t_[i].isOp(u'.') && isName(t_[i + 1])) {
        nameAt = i + 1;
        i += 2;
    }
    rowRef_ = sqliteName(t_[nameAt]);
    if (i < r.last && t_[i].is(u"AS"))
        ++i;
    if (i < r.last && isName(t_[i])) {
        rowRef_ = sqliteName(t_[i]);
        ++i;
    }
    if (i != r.last)
        unsupported(QStringLiteral("a FROM clause with more than one table"));
    tableRef_ = sliceText(sql_, t_, r.first, r.last);
}

size_t Rewriter::operandEnd(size_t i, size_t last) const {
    if (i >= last)
        unsupported(QStringLiteral("PRIOR without an operand"));
    if (t_[i].isOp(u'(')) {
        const size_t close = sql::closing(t_, i, last);
        if (close >= last)
            unsupported(QStringLiteral("an unbalanced PRIOR operand"));
        return close + 1;
    }
    if (!isName(t_[i]))
        unsupported(QStringLiteral("this PRIOR operand"));
    size_t j = i + 1;
    while (j + 1 < last && t_[j].isOp(u'.') && isName(t_[j + 1]))
        j += 2;
    return j;
}

QString Rewriter::expr(Range r, const QString& level, QStringList* priors) const {
    QString out;
    int copied = t_[r.first].begin;
    for (size_t i = r.first; i < r.last; ++i) {
        const Token& t = t_[i];
        QString replacement;
        size_t next = i + 1;
        const bool qualified = i > r.first && t_[i - 1].isOp(u'.');
        const bool call = next < r.last && t_[next].isOp(u'(');
        if (t.is(u"LEVEL") && !qualified && !call) {
            replacement = level;
        } else if (priors && t.is(u"PRIOR") && !qualified) {
            next = operandEnd(i + 1, r.last);
            priors->append(expr({i + 1, next}, level));
            replacement = QStringLiteral("__qv_tree.__qv_p%1").arg(priors->size());
        } else if (t.is(u"CONNECT_BY_ROOT") && !qualified) {
            next = operandEnd(i + 1, r.last);
            roots_.append(expr({i + 1, next}, level));
            replacement = QStringLiteral("__qv_tree.__qv_r%1").arg(roots_.size());
        } else if (t.is(u"CONNECT_BY_ISLEAF") && !qualified && !call) {
            leaf_ = true;
            replacement = QStringLiteral("__qv_tree.__qv_leaf");
        } else if (t.is(u"CONNECT_BY_ISCYCLE") && !qualified && !call) {
            cycle_ = true;
            replacement = QStringLiteral("__qv_tree.__qv_cycle");
        } else if (t.is(u"SYS_CONNECT_BY_PATH") && !qualified && call) {
            replacement = pathColumn(next, r.last, next);
        } else if (needsQuoting(t)) {
            replacement = sqliteName(t);
        } else {
            continue;
        }
        out += QStringView(sql_).mid(copied, t.begin - copied);
        out += replacement;
        copied = t_[next - 1].end;
        i = next - 1;
    }
    out += QStringView(sql_).mid(copied, t_[r.last - 1].end - copied);
    return out;
}

// SYS_CONNECT_BY_PATH(value, separator) with its '(' at `open`: the tree's
// column for it; `next` past the call.
QString Rewriter::pathColumn(size_t open, size_t last, size_t& next) const {
    const size_t close = sql::closing(t_, open, last);
    if (close >= last)
        unsupported(QStringLiteral("an unbalanced SYS_CONNECT_BY_PATH"));
    const std::vector<Range> args = sql::splitTopLevel(t_, open + 1, close);
    if (args.size() != 2 || args[0].empty() || args[1].empty())
        throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
    paths_.push_back({expr(args[0], QStringLiteral("__qv_tree.__qv_level")),
                      expr(args[1], QStringLiteral("__qv_tree.__qv_level"))});
    next = close + 1;
    return QStringLiteral("__qv_tree.__qv_s%1").arg(paths_.size());
}

// The items as translateOracle() wrote them, each with its alias; * is the table's columns.
QString Rewriter::selectList() const {
    QStringList out;
    for (const Range& item : sql::splitTopLevel(t_, items_.first, items_.last)) {
        if (item.empty())
            unsupported(QStringLiteral("an empty select item"));
        if (item.size() == 1 && t_[item.first].isOp(u'*'))
            out.append(rowRef_ + QStringLiteral(".*"));
        else
            out.append(expr(item, QStringLiteral("__qv_tree.__qv_level")));
    }
    return out.join(QStringLiteral(", "));
}

}  // namespace

bool isHierarchicalQuery(const std::vector<Token>& tokens) {
    if (tokens.empty() || !tokens.front().is(u"SELECT"))
        return false;
    const size_t at = sql::findTopLevel(tokens, 1, tokens.size(), u"CONNECT");
    return at + 1 < tokens.size() && tokens[at + 1].is(u"BY");
}

QString rewriteHierarchicalQuery(const QString& sql, const std::vector<Token>& tokens) {
    return Rewriter(sql, tokens).run();
}

}  // namespace qv::embedded
