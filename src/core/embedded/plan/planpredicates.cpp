// The statement's conditions on the plan lines that apply them, in Oracle's notation: see
// attachPredicates().
#include "core/embedded/plan/planpredicates.h"

#include "core/embedded/plan/descendedkeys.h"

#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/values/oraclefunctions.h"

#include <QDate>
#include <QMap>
#include <QSet>
#include <QTime>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace qv::embedded {

namespace {

using sql::isName;
using sql::Range;
using sql::Token;
using sql::TokenKind;
using sql::unquoted;

constexpr size_t kTopLevel = size_t(-1);

// Words that stand for values or operators in a condition, never for a column.
bool isValueWord(const Token& t) {
    return sql::isOneOf(t, {u"NULL",
                            u"TRUE",
                            u"FALSE",
                            u"SYSDATE",
                            u"SYSTIMESTAMP",
                            u"CURRENT_DATE",
                            u"CURRENT_TIMESTAMP",
                            u"LOCALTIMESTAMP",
                            u"USER",
                            u"ROWNUM",
                            u"LEVEL",
                            u"PRIOR",
                            u"DATE",
                            u"TIMESTAMP",
                            u"INTERVAL",
                            u"CASE",
                            u"WHEN",
                            u"THEN",
                            u"ELSE",
                            u"END"});
}

bool isWordish(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted ||
           t.kind == TokenKind::Number || t.kind == TokenKind::String ||
           t.kind == TokenKind::Param || t.kind == TokenKind::Blob;
}

// A name as Oracle prints it: in double quotes, upper case unless it was quoted.
QString oracleName(const Token& t) {
    return u'"' + (t.kind == TokenKind::Quoted ? unquoted(t) : unquoted(t).toUpper()) + u'"';
}

// One condition (an AND term) and what it names.
struct Condition {
    Range range;
    size_t scope = kTopLevel;  // the '(' of the innermost query it stands in
    bool having = false;
    bool on = false;  // of a join's ON clause
    bool subquery = false;
    bool unresolved = false;  // a column whose table cannot be told
    bool converted = false;   // a character column compared with a number: TO_NUMBER(column)
    QSet<QString> aliases;
    QHash<QString, QStringList> columns;  // alias -> columns it names of that table
};

class Placer {
  public:
    Placer(const std::vector<Token>& t, const QHash<QString, QString>& aliases,
           PlanEstimates& estimates, std::vector<PlanRow>& rows)
        : t_(t), aliases_(aliases), estimates_(estimates), rows_(rows) {
        qualify_ = aliases_.size() > 1;
        for (const QString& table : aliases_)
            tables_ << table;
    }

    void place(Range range, bool having, bool on, const QString& only) {
        Condition c = read(range, having);
        c.on = on;
        if (c.range.empty() || (!only.isEmpty() && !c.aliases.contains(only)))
            return;
        PlanRow* target = nullptr;
        bool access = false;
        if (c.having) {
            target = single(PlanRole::Having);
        } else if (c.subquery) {
            target = single(PlanRole::Filter);
        } else if (!c.unresolved && !c.aliases.isEmpty()) {
            target = lineFor(c, access);
        }
        if (target && !(access && descending(c, *target)))
            (access ? access_ : filter_)[target->id] << render(c);
    }

    // The join JOIN ... USING (column) makes, written as Oracle prints it: the column of the
    // table before the join equal to the joined table's.
    void placeUsing(const Predicate& p) {
        if (p.column == u"*") {
            // NATURAL JOIN: each column both tables have.
            const QStringList other = estimates_.table(aliases_.value(p.otherAlias)).columns;
            for (const QString& column : estimates_.table(aliases_.value(p.alias)).columns) {
                Predicate one = p;
                one.column = one.otherColumn = column;
                if (other.contains(column))
                    placeUsing(one);
            }
            return;
        }
        if (!estimates_.table(aliases_.value(p.alias)).columns.contains(p.column)) {
            // Of three tables or more: the one other table before the join that has it.
            Predicate left = p;
            for (auto it = aliases_.begin(); it != aliases_.end(); ++it) {
                if (it.key() != p.otherAlias &&
                    estimates_.table(it.value()).columns.contains(p.column))
                    left.alias = left.alias == p.alias ? it.key() : QString();
            }
            if (!left.alias.isEmpty() && left.alias != p.alias)
                placeUsing(left);
            return;
        }
        Condition c;
        c.range = {p.at, p.at + 1};
        c.scope = scopeOf(p.at);
        c.on = true;
        for (const QString& alias : {p.alias, p.otherAlias}) {
            if (!aliases_.contains(alias))
                return;
            c.aliases.insert(alias);
            c.columns[alias] << p.column;
        }
        bool access = false;
        if (PlanRow* target = lineFor(c, access)) {
            const QString column = p.column == unquoted(t_[p.at]).toLower()
                                       ? oracleName(t_[p.at])
                                       : u'"' + p.column.toUpper() + u'"';
            auto side = [&](const QString& alias) {
                return u'"' + alias.toUpper() + QStringLiteral("\".") + column;
            };
            (access ? access_ : filter_)[target->id] << side(p.alias) + u'=' + side(p.otherAlias);
        }
    }

    // Writes the conditions placed on each line, joined by AND; an OR among several keeps its
    // own parentheses.
    void finish() {
        auto joined = [](const QStringList& conditions) {
            if (conditions.size() == 1)
                return conditions.front();
            QStringList grouped;
            for (const QString& c : conditions)
                grouped << (c.contains(QStringLiteral(" OR ")) ? u'(' + c + u')' : c);
            return grouped.join(QStringLiteral(" AND "));
        };
        for (auto it = access_.cbegin(); it != access_.cend(); ++it)
            rows_[size_t(it.key())].accessPredicates = joined(it.value());
        for (auto it = filter_.cbegin(); it != filter_.cend(); ++it)
            rows_[size_t(it.key())].filterPredicates = joined(it.value());
    }

  private:
    Condition read(Range range, bool having) const;
    // The alias an unqualified `column` written at token `at` belongs to: the one table that
    // has it, or where a table is read under several aliases, the one declared in the
    // innermost query around `at`. Empty when it cannot be told.
    QString aliasOf(const QString& column, size_t at) const;
    // Where `alias` is declared: the alias (or table name) after FROM, JOIN, a comma, UPDATE or
    // DELETE; kTopLevel when it is not found.
    size_t declaredAt(const QString& alias) const;
    PlanRow* single(PlanRole role) {
        PlanRow* found = nullptr;
        for (PlanRow& r : rows_) {
            if (r.role != role)
                continue;
            if (found)
                return nullptr;
            found = &r;
        }
        return found;
    }
    const PlanRow* accessLine(const QString& alias, const Condition& c) const;
    PlanRow* lineFor(const Condition& c, bool& access);
    // Places `c`, a comparison of a column `index` keeps in descending order, as Oracle searches
    // such an index: by SYS_OP_DESCEND of both sides (a constant's folded, descendedConstant()),
    // the comparison turned round, the bounds of a range in the index's order; and again with
    // the column's own value as a filter. False when `c` is no such comparison.
    bool descending(const Condition& c, const PlanRow& index);
    bool findsBy(const Condition& c, const QString& alias, const QStringList& keys) const;
    size_t scopeOf(size_t at) const;
    QString render(const Condition& c) const;
    QString renderTerm(size_t first, size_t last, bool subquery, bool inAnd) const;
    QString renderRange(size_t first, size_t last) const;
    QString reference(size_t i, size_t& next) const;
    // Whether the column written at [i, next) has a character type and is compared with a
    // number, which Oracle does by TO_NUMBER of the column.
    bool convertedColumn(size_t i, size_t next) const;

    const std::vector<Token>& t_;
    const QHash<QString, QString>& aliases_;
    PlanEstimates& estimates_;
    std::vector<PlanRow>& rows_;
    QStringList tables_;
    bool qualify_ = false;
    QMap<int, QStringList> access_;  // line id -> its conditions, in the statement's order
    QMap<int, QStringList> filter_;
};

// The '(' that opens the innermost parenthesized query around token `at`; kTopLevel for none.
size_t Placer::scopeOf(size_t at) const {
    int depth = 0;
    for (size_t i = at; i-- > 0;) {
        if (t_[i].isOp(u')')) {
            ++depth;
        } else if (t_[i].isOp(u'(')) {
            if (depth > 0) {
                --depth;
            } else if (i + 1 < t_.size() && (t_[i + 1].is(u"SELECT") || t_[i + 1].is(u"WITH"))) {
                return i;
            }
        }
    }
    return kTopLevel;
}

// The alias of the one table that has `column`; empty when none or several have it, or the
// statement reads that table more than once.
QString Placer::aliasOf(const QString& column, size_t at) const {
    const QString table = estimates_.tableOf(column, tables_);
    if (table.isEmpty())
        return {};
    if (tables_.count(table) == 1)
        return aliases_.key(table);
    for (size_t scope = scopeOf(at);; scope = scopeOf(scope)) {
        for (auto it = aliases_.begin(); it != aliases_.end(); ++it) {
            const size_t declared = it.value() == table ? declaredAt(it.key()) : kTopLevel;
            if (declared != kTopLevel && scopeOf(declared) == scope)
                return it.key();
        }
        if (scope == kTopLevel)
            return {};
    }
}

size_t Placer::declaredAt(const QString& alias) const {
    for (size_t i = 1; i < t_.size(); ++i) {
        if (!isName(t_[i]) || unquoted(t_[i]).compare(alias, Qt::CaseInsensitive) != 0)
            continue;
        // table [AS] alias, or the table standing as its own alias
        size_t before = i - 1;
        if (t_[before].is(u"AS") && before > 0)
            --before;
        if (isName(t_[before]) && before > 0 && !sql::isKeyword(t_[before]))
            --before;
        else
            before = i - 1;
        const Token& k = t_[before];
        if (k.is(u"FROM") || k.is(u"JOIN") || k.isOp(u',') || k.is(u"UPDATE") || k.is(u"DELETE"))
            return i;
    }
    return kTopLevel;
}

Condition Placer::read(Range range, bool having) const {
    Condition c;
    c.range = range;
    c.having = having;
    c.scope = scopeOf(range.first);
    for (size_t i = range.first; i < range.last; ++i) {
        const Token& k = t_[i];
        if (k.is(u"ROWNUM") || k.is(u"LEVEL") || k.is(u"PRIOR"))
            return {};
        if (k.isOp(u'(') && i + 1 < range.last &&
            (t_[i + 1].is(u"SELECT") || t_[i + 1].is(u"WITH"))) {
            c.subquery = true;
            i = sql::closing(t_, i, range.last);
            continue;
        }
        if (!isName(k) || sql::isKeyword(k) || isValueWord(k) ||
            (i + 1 < range.last && t_[i + 1].isOp(u'(')) || (i > 0 && t_[i - 1].isOp(u'.')))
            continue;
        QString alias;
        QString column;
        const bool qualified = i + 2 < range.last && t_[i + 1].isOp(u'.') && isName(t_[i + 2]);
        if (qualified) {
            alias = unquoted(k).toLower();
            column = unquoted(t_[i + 2]).toLower();
        } else {
            column = unquoted(k).toLower();
            alias = aliasOf(column, i);
        }
        if (alias.isEmpty() || !aliases_.contains(alias)) {
            c.unresolved = true;
        } else {
            c.aliases.insert(alias);
            c.columns[alias] << column;
            c.converted |= convertedColumn(i, i + (qualified ? 3 : 1));
        }
    }
    return c;
}

// The line that hands on the rows of `alias` for condition `c`: the one loop reading that name,
// or where several do, the one of the query the condition stands in.
const PlanRow* Placer::accessLine(const QString& alias, const Condition& c) const {
    std::vector<const PlanRow*> lines;
    for (const PlanRow& r : rows_) {
        const bool belowIterator =
            r.parentId >= 0 && rows_[size_t(r.parentId)].role == PlanRole::Iterator;
        if ((r.role == PlanRole::Access || r.role == PlanRole::Iterator) && r.alias == alias &&
            !belowIterator)
            lines.push_back(&r);
    }
    if (lines.size() == 1)
        return lines.front();
    const PlanRow* known = nullptr;
    const PlanRow* unknown = nullptr;
    int knownCount = 0, unknownCount = 0;
    for (const PlanRow* r : lines) {
        if (r->block.empty()) {
            unknown = r;
            ++unknownCount;
        } else if (r->block.first <= c.range.first && c.range.last <= r->block.last &&
                   scopeOf(r->block.first) == c.scope) {
            known = r;
            ++knownCount;
        }
    }
    if (knownCount == 1)
        return known;
    // A subquery's own lines do not know its text: only a condition inside a subquery can be
    // theirs.
    if (knownCount == 0 && unknownCount == 1 && c.scope != kTopLevel)
        return unknown;
    return nullptr;
}

// Whether `c` finds rows of `alias` by `keys`: each column it names of that table is a key, and
// it compares rather than excludes.
bool Placer::findsBy(const Condition& c, const QString& alias, const QStringList& keys) const {
    const QStringList columns = c.columns.value(alias);
    if (columns.isEmpty() || keys.isEmpty() || c.converted)
        return false;
    // A function-based index is searched by the function of its columns.
    const bool expression = keys.contains(QStringLiteral("<expr>"));
    for (const QString& column : columns) {
        if (!keys.contains(column))
            return false;
    }
    for (size_t i = c.range.first; i < c.range.last; ++i) {
        const Token& k = t_[i];
        if (k.is(u"IN") && i + 1 < c.range.last && t_[i + 1].isOp(u'(')) {
            i = sql::closing(t_, i + 1, c.range.last);  // the list of values it looks up
            continue;
        }
        if (k.is(u"OR") || k.is(u"NOT") || k.isOp(u"<>") || k.isOp(u"!=") ||
            (k.isOp(u'(') && !expression))
            return false;
    }
    return true;
}

PlanRow* Placer::lineFor(const Condition& c, bool& access) {
    // The table the condition can be applied at: the last one read of those it names. SQLite's
    // loops tell the order they run in, where a scalar subquery's lines stand before the lines
    // of the rows it is evaluated for.
    const PlanRow* last = nullptr;
    QString lastAlias;
    auto later = [](const PlanRow& a, const PlanRow& b) {
        return a.loop >= 0 && b.loop >= 0 ? a.loop > b.loop : a.id > b.id;
    };
    for (const QString& alias : c.aliases) {
        const PlanRow* line = accessLine(alias, c);
        if (!line)
            return nullptr;
        if (!last || later(*line, *last)) {
            last = line;
            lastAlias = alias;
        }
    }
    PlanRow* target = &rows_[size_t(last->id)];
    for (PlanRow& r : rows_) {
        // The index of the table's own loop, or of the loop that filled its hash area.
        if ((r.loop != target->loop || r.loop < 0) && r.parentId != target->id)
            continue;
        if (r.role == PlanRole::Index && findsBy(c, lastAlias, r.keys)) {
            access = true;
            return &r;
        }
        // A key column's IS NOT NULL: the index holds no other entries, read past the NULLs.
        const QStringList columns = c.columns.value(lastAlias);
        if (r.role == PlanRole::Index && columns.size() == 1 && r.keys.contains(columns.front()) &&
            c.range.size() >= 4 && t_[c.range.last - 3].is(u"IS") &&
            t_[c.range.last - 2].is(u"NOT") && t_[c.range.last - 1].is(u"NULL")) {
            access = false;
            return &r;
        }
    }
    // A line below an INLIST ITERATOR hands the rows on.
    if (target->role == PlanRole::Iterator && size_t(target->id) + 1 < rows_.size())
        target = &rows_[size_t(target->id) + 1];
    // A WHERE condition on the inner table of an outer join keeps or drops the joined rows,
    // NULLs included: the join applies it. (Not one of a view's own query, which SQLite merged.)
    if (!c.on) {
        for (const PlanRow* line = target; line->parentId >= 0;) {
            PlanRow& parent = rows_[size_t(line->parentId)];
            if ((parent.operation == u"NESTED LOOPS" || parent.operation == u"HASH JOIN") &&
                inNestedQuery(t_, parent.block, c.range.first))
                break;
            if (parent.operation == u"NESTED LOOPS" || parent.operation == u"HASH JOIN") {
                // The inner table: second, or first when a RIGHT OUTER join builds on it; either
                // table of a FULL OUTER join.
                if ((parent.options == u"OUTER" && line->position == 2) ||
                    (parent.options == u"RIGHT OUTER" && line->position == 1) ||
                    parent.options == u"FULL OUTER")
                    return &parent;
                break;
            }
            line = &parent;
        }
    }
    if (c.aliases.size() > 1) {
        for (PlanRow& r : rows_) {
            if (r.role == PlanRole::HashJoin && r.alias == lastAlias && r.id < target->id &&
                r.block.first == target->block.first && r.block.last == target->block.last) {
                access = findsBy(c, lastAlias, r.keys);
                return &r;
            }
        }
    }
    // A full scan finds no row by a key, whatever SQLite searched its copy by: it filters.
    access = target->options != u"FULL" && findsBy(c, lastAlias, target->keys);
    return target;
}

bool Placer::descending(const Condition& c, const PlanRow& index) {
    if (index.operation != u"INDEX" || c.converted || c.aliases.size() != 1)
        return false;
    const PlanEstimates::Index& i = estimates_.index(index.objectName);
    size_t first = c.range.first, last = c.range.last, next = first;
    if (first >= last || !isName(t_[first]) || sql::isKeyword(t_[first]))
        return false;
    const QString name = u"SYS_OP_DESCEND("_s + reference(first, next) + u')';
    const qsizetype at = i.columns.indexOf(unquoted(t_[next - 1]).toLower());
    if (at < 0 || !i.descending.value(at) || next >= last)
        return false;
    static const QHash<QString, QString> kTurned = {{u"="_s, u"="_s},
                                                    {u"<"_s, u">"_s},
                                                    {u">"_s, u"<"_s},
                                                    {u"<="_s, u">="_s},
                                                    {u">="_s, u"<="_s}};
    QList<std::pair<QString, Range>> sides;  // operator and value
    if (t_[next].is(u"BETWEEN")) {
        const size_t split = sql::findTopLevel(t_, next + 1, last, u"AND");
        if (split >= last)
            return false;
        sides = {{u">="_s, {next + 1, split}}, {u"<="_s, {split + 1, last}}};
    } else if (t_[next].kind == TokenKind::Op && kTurned.contains(t_[next].text.toString())) {
        sides = {{t_[next].text.toString(), {next + 1, last}}};
    } else {
        return false;
    }
    QStringList searched, kept;
    for (const auto& [op, value] : sides) {
        if (value.empty() || sql::findTopLevel(t_, value.first, value.last, u"OR") < value.last)
            return false;
        const QString v = renderRange(value.first, value.last);
        searched.prepend(name + kTurned.value(op) +
                         descendedConstant(t_, value).value_or(u"SYS_OP_DESCEND("_s + v + u')'));
        kept << u"SYS_OP_UNDESCEND("_s + name + u')' + op + v;
    }
    access_[index.id] << searched.join(QStringLiteral(" AND "));
    filter_[index.id] << kept.join(QStringLiteral(" AND "));
    return true;
}

// A column reference at `i` as Oracle prints it; `next` is set past it.
QString Placer::reference(size_t i, size_t& next) const {
    if (i + 2 < t_.size() && t_[i + 1].isOp(u'.') && isName(t_[i + 2])) {
        next = i + 3;
        return oracleName(t_[i]) + u'.' + oracleName(t_[i + 2]);
    }
    next = i + 1;
    const QString column = unquoted(t_[i]).toLower();
    const QString alias = qualify_ ? aliasOf(column, i) : QString();
    if (alias.isEmpty())
        return oracleName(t_[i]);
    return u'"' + alias.toUpper() + QStringLiteral("\".") + oracleName(t_[i]);
}

bool Placer::convertedColumn(size_t i, size_t next) const {
    auto comparison = [&](size_t k) {
        if (k >= t_.size() || t_[k].kind != TokenKind::Op)
            return false;
        const QStringView op = t_[k].text;
        return op == u"=" || op == u"<>" || op == u"!=" || op == u"^=" || op == u"<" ||
               op == u">" || op == u"<=" || op == u">=";
    };
    // The number after the operator, its sign aside; an IN list's first value.
    auto number = [&](size_t k) {
        if (k < t_.size() && t_[k].isOp(u'('))
            ++k;
        if (k + 1 < t_.size() && (t_[k].isOp(u'-') || t_[k].isOp(u'+')))
            ++k;
        // The number alone: not an operand of more (5 || 'x' is text).
        const bool operand = k + 1 < t_.size() && t_[k + 1].kind == TokenKind::Op &&
                             QStringView(u"|+-*/.").contains(t_[k + 1].text.front());
        return k < t_.size() && t_[k].kind == TokenKind::Number && !operand;
    };
    size_t op = next;
    if (op < t_.size() && t_[op].is(u"NOT"))
        ++op;
    const bool after =
        (comparison(op) || (op < t_.size() && (t_[op].is(u"BETWEEN") || t_[op].is(u"IN")))) &&
        number(op + 1);
    const bool before = i >= 2 && comparison(i - 1) && t_[i - 2].kind == TokenKind::Number;
    if (!after && !before)
        return false;
    const QString column = unquoted(t_[next - 1]).toLower();
    const QString alias = next == i + 3 ? unquoted(t_[i]).toLower() : aliasOf(column, i);
    QString table = aliases_.value(alias);
    if (table.isEmpty() && aliases_.size() == 1)
        table = aliases_.begin().value();
    return !table.isEmpty() && estimates_.table(table).texts.contains(column);
}

// DATE 'yyyy-mm-dd' as Oracle writes the date it stands for.
std::optional<QString> dateLiteral(const Token& keyword, const Token& text) {
    if (!keyword.is(u"DATE") || text.kind != TokenKind::String)
        return std::nullopt;
    const std::optional<StoredDate> d = readStoredDate(sql::stringValue(text).trimmed());
    if (!d)
        return std::nullopt;
    const QString when = QDate::fromJulianDay(d->days).toString(QStringLiteral("yyyy-MM-dd")) +
                         u' ' +
                         QTime::fromMSecsSinceStartOfDay(int(d->seconds * 1000))
                             .toString(QStringLiteral("HH:mm:ss"));
    return QStringLiteral("TO_DATE(' %1', 'syyyy-mm-dd hh24:mi:ss')").arg(when);
}

QString Placer::renderRange(size_t first, size_t last) const {
    static const QSet<QString> kSpaced = {u"AND"_s,    u"OR"_s,     u"NOT"_s, u"LIKE"_s,
                                          u"IS"_s,     u"NULL"_s,   u"IN"_s,  u"ESCAPE"_s,
                                          u"EXISTS"_s, u"BETWEEN"_s};
    QString out;
    bool lastWord = false;    // what was written last reads as a word
    bool lastSpaced = false;  // ... as a keyword that stands apart
    bool lastOpen = true;     // ... as an opening parenthesis (or nothing was)
    // No blank around operators, inside parentheses or before a comma; one around keywords and
    // between two words.
    auto write = [&](const QString& piece, bool word, bool spaced) {
        if (!lastOpen && piece != u")" && piece != u"," &&
            (spaced || lastSpaced || (word && lastWord)))
            out += u' ';
        out += piece;
        lastWord = word;
        lastSpaced = spaced;
        lastOpen = piece == u"(";
    };
    for (size_t i = first; i < last;) {
        const Token& k = t_[i];
        if (i + 1 < last) {
            if (const std::optional<QString> date = dateLiteral(k, t_[i + 1])) {
                write(*date, true, false);
                i += 2;
                continue;
            }
        }
        if (k.kind == TokenKind::Word && (sql::isKeyword(k) || isValueWord(k))) {
            const QString word = k.text.toString().toUpper();
            write(word, true, kSpaced.contains(word) || sql::isKeyword(k));
            ++i;
        } else if (isName(k) && i + 1 < last && t_[i + 1].isOp(u'(') && k.kind == TokenKind::Word) {
            write(k.text.toString().toUpper(), false, false);  // a function's name
            ++i;
        } else if (isName(k) && !(i > 0 && t_[i - 1].isOp(u'.'))) {
            size_t next = i + 1;
            const QString name = reference(i, next);
            write(convertedColumn(i, next) ? QStringLiteral("TO_NUMBER(") + name + u')' : name,
                  true, false);
            i = next;
        } else if (k.kind == TokenKind::Param) {
            write(k.text.toString().toUpper(), true, false);
            ++i;
        } else if (k.kind == TokenKind::String) {
            write(sql::quotedString(sql::stringValue(k)), true, false);
            ++i;
        } else if (k.isOp(u"!=") || k.isOp(u"^=")) {
            write(QStringLiteral("<>"), false, false);
            ++i;
        } else {
            write(k.text.toString(), isWordish(k), false);
            ++i;
        }
    }
    return out;
}

// BETWEEN as two comparisons and an IN list as comparisons joined by OR, as Oracle prints them;
// anything else as written. Each side of an OR, and each term of an AND inside it, is rendered
// so on its own.
QString Placer::render(const Condition& c) const {
    return renderTerm(c.range.first, c.range.last, c.subquery, false);
}

QString Placer::renderTerm(size_t first, size_t last, bool subquery, bool inAnd) const {
    if (last > first + 2 && t_[first].isOp(u'(') && !t_[first + 1].is(u"SELECT") &&
        sql::closing(t_, first, last) == last - 1)
        return u'(' + renderTerm(first + 1, last - 1, subquery, false) + u')';
    std::vector<Range> sides;
    for (size_t from = first;;) {
        const size_t orAt = sql::findTopLevel(t_, from, last, u"OR");
        sides.push_back({from, orAt});
        if (orAt >= last)
            break;
        from = orAt + 1;
    }
    if (sides.size() > 1) {
        QStringList parts;
        for (const Range& side : sides)
            parts << renderTerm(side.first, side.last, subquery, false);
        const QString joined = parts.join(QStringLiteral(" OR "));
        return inAnd ? u'(' + joined + u')' : joined;
    }
    if (const std::vector<Range> terms = sql::conjuncts(t_, first, last); terms.size() > 1) {
        QStringList parts;
        for (const Range& term : terms)
            parts << renderTerm(term.first, term.last, subquery, true);
        return parts.join(QStringLiteral(" AND "));
    }
    auto leftOf = [&](size_t keyword, bool& negated) {
        negated = keyword > first && t_[keyword - 1].is(u"NOT");
        return renderRange(first, negated ? keyword - 1 : keyword);
    };
    bool negated = false;
    if (const size_t between = sql::findTopLevel(t_, first, last, u"BETWEEN"); between < last) {
        const size_t split = sql::findTopLevel(t_, between + 1, last, u"AND");
        if (between == first || split == last)
            return renderRange(first, last);
        const QString left = leftOf(between, negated);
        const QString low = renderRange(between + 1, split);
        const QString high = renderRange(split + 1, last);
        if (negated) {
            const QString either = left + u'<' + low + QStringLiteral(" OR ") + left + u'>' + high;
            return inAnd ? u'(' + either + u')' : either;
        }
        return left + QStringLiteral(">=") + low + QStringLiteral(" AND ") + left +
               QStringLiteral("<=") + high;
    }
    const size_t in = sql::findTopLevel(t_, first, last, u"IN");
    if (in == first || in + 1 >= last || !t_[in + 1].isOp(u'(') ||
        sql::closing(t_, in + 1, last) != last - 1 || subquery)
        return renderRange(first, last);
    const QString left = leftOf(in, negated);
    QStringList terms;
    for (const Range& value : sql::splitTopLevel(t_, in + 2, last - 1))
        terms << left + (negated ? QStringLiteral("<>") : QStringLiteral("=")) +
                     renderRange(value.first, value.last);
    const QString joined = terms.join(negated ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
    return inAnd && !negated && terms.size() > 1 ? u'(' + joined + u')' : joined;
}

}  // namespace

void attachPredicates(const std::vector<Token>& t, const QHash<QString, QString>& aliases,
                      PlanEstimates& estimates, std::vector<PlanRow>& rows, const QString& only) {
    Placer placer(t, aliases, estimates, rows);
    for (const ConditionClause& clause : conditionClauses(t)) {
        for (const Range& term : sql::conjuncts(t, clause.range.first, clause.range.last))
            placer.place(term, clause.having, clause.on, only);
    }
    if (only.isEmpty() && std::any_of(t.begin(), t.end(), [](const Token& k) {
            return k.is(u"USING") || k.is(u"NATURAL");
        })) {
        for (const Predicate& p : readPredicates(t)) {
            if (p.usingColumn)
                placer.placeUsing(p);
        }
    }
    placer.finish();
    if (only.isEmpty())
        placeListLookups(t, aliases, estimates, rows);
}

}  // namespace qv::embedded
