#include "core/embedded/hierarchical.h"

#include "core/db/database.h"
#include "core/embedded/oracledialect.h"
#include "core/embedded/sqlitecall.h"

namespace qv::embedded {

namespace {

struct Range {
    size_t first = 0;
    size_t last = 0;
    bool present() const { return last > first; }
};

enum Clause { kFrom, kWhere, kStart, kConnect, kOrder, kClauseCount };

[[noreturn]] void unsupported(const QString& what) {
    throw oracleError(900, QStringLiteral("ORA-00900: invalid SQL statement (hierarchical query: "
                                          "%1 is not supported)")
                               .arg(what));
}

bool isName(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}

// Words that end an expression rather than name it, so they are never taken for an alias.
bool isKeyword(const Token& t) {
    static const char16_t* const kWords[] = {
        u"AND",  u"OR",   u"NOT",  u"IS",   u"NULL", u"IN", u"LIKE",   u"GLOB",    u"BETWEEN",
        u"CASE", u"WHEN", u"THEN", u"ELSE", u"END",  u"AS", u"ESCAPE", u"COLLATE", u"DISTINCT"};
    for (const char16_t* w : kWords) {
        if (t.is(QStringView(w)))
            return true;
    }
    return false;
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
    QString heading(Range r) const;

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
    QStringList priors;
    const QString connect =
        expr(clauses_[kConnect], QStringLiteral("(%1.__qv_level + 1)").arg(tree), &priors);
    QString columns = QStringLiteral("__qv_rid, __qv_level, __qv_path");
    QString priorValues;
    for (int i = 0; i < priors.size(); ++i) {
        columns += QStringLiteral(", __qv_p%1").arg(i + 1);
        priorValues += QStringLiteral(", ") + priors[i];
    }

    // A row's place in the tree: its ancestors' rowids and its own, zero-padded so that the
    // text sorts depth-first; also how a row already on the path is recognised.
    const QString step = QStringLiteral("printf('%020d/', ") + rowid + u')';
    const QString marker = QStringLiteral("printf('/%020d/', ") + rowid + u')';
    QString out = QStringLiteral("WITH RECURSIVE ") + tree + u'(' + columns +
                  QStringLiteral(") AS (SELECT ") + rowid + QStringLiteral(", 1, ") + marker +
                  priorValues + QStringLiteral(" FROM ") + tableRef_;
    if (clauses_[kStart].present())
        out += QStringLiteral(" WHERE ") + expr(clauses_[kStart], QStringLiteral("1"));
    out += QStringLiteral(" UNION ALL SELECT ") + rowid + QStringLiteral(", ") + tree +
           QStringLiteral(".__qv_level + 1, ") + tree + QStringLiteral(".__qv_path || ") + step +
           priorValues + QStringLiteral(" FROM ") + tree + QStringLiteral(" JOIN ") + tableRef_ +
           QStringLiteral(" ON (") + connect + QStringLiteral(") AND instr(") + tree +
           QStringLiteral(".__qv_path, ") + marker + QStringLiteral(") = 0) ");

    const QString level = tree + QStringLiteral(".__qv_level");
    out += QStringLiteral("SELECT ") + (distinct_ ? QStringLiteral("DISTINCT ") : QString()) +
           selectList() +
           QStringLiteral(" FROM %1 JOIN %2 ON %3 = %1.__qv_rid").arg(tree, tableRef_, rowid);
    if (clauses_[kWhere].present())
        out += QStringLiteral(" WHERE ") + expr(clauses_[kWhere], level);
    out += QStringLiteral(" ORDER BY ");
    if (clauses_[kOrder].present())
        out += expr(clauses_[kOrder], level) + QStringLiteral(", ");
    out += tree + QStringLiteral(".__qv_path");
    return out;
}

void Rewriter::splitClauses() {
    const size_t from = findTopLevel(t_, 1, end_, u"FROM");
    if (from == end_)
        unsupported(QStringLiteral("a query without FROM"));
    items_ = {1, from};
    if (items_.present() && (t_[1].is(u"DISTINCT") || t_[1].is(u"ALL"))) {
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
    int depth = 0;
    for (size_t i = from + 1; i < end_; ++i) {
        const Token& t = t_[i];
        if (t.isOp(u'(')) {
            ++depth;
            continue;
        }
        if (t.isOp(u')')) {
            --depth;
            continue;
        }
        if (depth != 0)
            continue;
        const bool hasNext = i + 1 < end_;
        if (t.is(u"WHERE")) {
            open(kWhere, i, i + 1);
        } else if (t.is(u"START") && hasNext && t_[i + 1].is(u"WITH")) {
            open(kStart, i, i + 2);
            ++i;
        } else if (t.is(u"CONNECT") && hasNext && t_[i + 1].is(u"BY")) {
            const bool nocycle = i + 2 < end_ && t_[i + 2].is(u"NOCYCLE");
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
    if (!clauses_[kConnect].present())
        unsupported(QStringLiteral("CONNECT BY without a condition"));
    if (!items_.present())
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
        int depth = 0;
        for (size_t j = i; j < last; ++j) {
            if (t_[j].isOp(u'('))
                ++depth;
            else if (t_[j].isOp(u')') && --depth == 0)
                return j + 1;
        }
        unsupported(QStringLiteral("an unbalanced PRIOR operand"));
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

// Oracle's column heading of an unaliased item: a plain column gives its name, anything else
// the text in upper case without blanks.
QString Rewriter::heading(Range r) const {
    const Token& last = t_[r.last - 1];
    const bool column = isName(last) && (r.last - r.first == 1 || t_[r.last - 2].isOp(u'.'));
    if (column && last.kind == TokenKind::Quoted)
        return last.text.mid(1, last.text.size() - 2).toString();
    if (column)
        return last.text.toString().toUpper();
    QString text;
    for (size_t i = r.first; i < r.last; ++i)
        text += t_[i].text.toString().toUpper();
    return text;
}

QString Rewriter::selectList() const {
    QStringList out;
    size_t start = items_.first;
    int depth = 0;
    for (size_t i = items_.first; i <= items_.last; ++i) {
        if (i < items_.last) {
            if (t_[i].isOp(u'('))
                ++depth;
            else if (t_[i].isOp(u')'))
                --depth;
            if (depth != 0 || !t_[i].isOp(u','))
                continue;
        }
        const Range item{start, i};
        start = i + 1;
        if (!item.present())
            unsupported(QStringLiteral("an empty select item"));
        const size_t n = item.last - item.first;
        const Token& last = t_[item.last - 1];
        if (n == 1 && last.isOp(u'*')) {
            out.append(rowRef_ + QStringLiteral(".*"));
            continue;
        }
        const QString text = expr(item, QStringLiteral("__qv_tree.__qv_level"));
        if (last.isOp(u'*')) {
            out.append(text);  // t.*
            continue;
        }
        const Token* before = n >= 2 ? &t_[item.last - 2] : nullptr;
        const bool aliased =
            before && isName(last) && !isKeyword(last) &&
            (before->is(u"AS") || (!before->isOp(u'.') && !isKeyword(*before) &&
                                   (isName(*before) || before->kind == TokenKind::Number ||
                                    before->kind == TokenKind::String || before->isOp(u')'))));
        if (aliased) {
            out.append(text);
            continue;
        }
        QString name = heading(item);
        name.replace(u'"', QStringLiteral("\"\""));
        out.append(text + QStringLiteral(" AS \"") + name + u'"');
    }
    return out.join(QStringLiteral(", "));
}

}  // namespace

bool isHierarchicalQuery(const std::vector<Token>& tokens) {
    if (tokens.empty() || !tokens.front().is(u"SELECT"))
        return false;
    const size_t at = findTopLevel(tokens, 1, tokens.size(), u"CONNECT");
    return at + 1 < tokens.size() && tokens[at + 1].is(u"BY");
}

QString rewriteHierarchicalQuery(const QString& sql, const std::vector<Token>& tokens) {
    return Rewriter(sql, tokens).run();
}

QString sqliteText(const QString& sql, const std::vector<Token>& tokens) {
    const QString translated = translateOracle(sql, tokens);
    const std::vector<Token> translatedTokens = tokenize(translated);
    if (isHierarchicalQuery(translatedTokens))
        return rewriteHierarchicalQuery(translated, translatedTokens);
    return quoteIdentifiers(translated, translatedTokens);
}

}  // namespace qv::embedded
