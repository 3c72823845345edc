// Index candidates read from a plan's predicates and the statement's clauses
// (indexcandidates.h).
#include "core/tuning/indexcandidates.h"

#include "core/sql/sqltokens.h"
#include "core/sql/tokenlist.h"

#include <optional>

namespace qv {

using sql::Range;
using sql::Token;
using sql::TokenKind;

namespace {

// A column as a predicate or a clause names it: its qualifier (an alias or table; empty when
// not written) and its name, both as Oracle stores names.
struct ColumnRef {
    QString qualifier;
    QString name;
};

QString nameOf(const Token& t) {
    return t.kind == TokenKind::Quoted ? sql::unquoted(t) : t.text.toString().toUpper();
}

// A column reference filling [first, last) exactly: name or qualifier.name.
std::optional<ColumnRef> columnAt(const std::vector<Token>& t, size_t first, size_t last) {
    if (last == first + 1 && sql::isName(t[first]) && !sql::isKeyword(t[first]))
        return ColumnRef{QString(), nameOf(t[first])};
    if (last == first + 3 && sql::isName(t[first]) && t[first + 1].isOp(u'.') &&
        sql::isName(t[first + 2]))
        return ColumnRef{nameOf(t[first]), nameOf(t[first + 2])};
    return std::nullopt;
}

// A value an index can be searched for: a literal, a bind variable, or an expression of them.
bool isValue(const std::vector<Token>& t, size_t first, size_t last) {
    if (first >= last)
        return false;
    for (size_t i = first; i < last; ++i) {
        if (sql::isName(t[i]) && !(i + 1 < last && t[i + 1].isOp(u'(')) && !t[i].is(u"SYSDATE") &&
            !t[i].is(u"NULL"))
            return false;  // a column (a function's name is followed by its arguments)
    }
    return true;
}

// One term of a predicate as an index sees it.
struct Term {
    enum Kind { Equal, Range, Join } kind;
    ColumnRef column;
    ColumnRef other;  // of a join
    QString text;
};

// The comparison of `c` written as "a op b" at the top level: its operator's position.
size_t comparisonAt(const std::vector<Token>& t, Range c) {
    int depth = 0;
    for (size_t i = c.first; i < c.last; ++i) {
        if (t[i].isOp(u'('))
            ++depth;
        else if (t[i].isOp(u')'))
            --depth;
        else if (depth == 0 &&
                 (t[i].isOp(u"=") || t[i].isOp(u"<") || t[i].isOp(u">") || t[i].isOp(u"<=") ||
                  t[i].isOp(u">=") || t[i].is(u"LIKE") || t[i].is(u"BETWEEN") || t[i].is(u"IN")))
            return i;
    }
    return c.last;
}

std::optional<Term> termOf(const QString& text, const std::vector<Token>& t, Range c);

// ("A"=1 OR "A"=2): an IN-list as the plan writes it, an equality on one column.
std::optional<Term> inListOf(const QString& text, const std::vector<Token>& t, Range c) {
    if (c.size() < 2 || !t[c.first].isOp(u'(') || sql::closing(t, c.first, c.last) != c.last - 1)
        return std::nullopt;
    std::optional<Term> same;
    size_t start = c.first + 1;
    for (size_t i = start; i <= c.last - 1; ++i) {
        const bool end = i == c.last - 1;
        if (!end && !t[i].is(u"OR")) {
            if (t[i].isOp(u'('))
                i = sql::closing(t, i, c.last - 1);
            continue;
        }
        const std::optional<Term> one = termOf(text, t, Range{start, i});
        if (!one || one->kind != Term::Equal ||
            (same && (same->column.name != one->column.name ||
                      same->column.qualifier != one->column.qualifier)))
            return std::nullopt;
        same = one;
        start = i + 1;
    }
    if (same)
        same->text = sql::textOf(text, t, c.first, c.last);
    return same;
}

std::optional<Term> termOf(const QString& text, const std::vector<Token>& t, Range c) {
    if (c.empty())
        return std::nullopt;
    const size_t op = comparisonAt(t, c);
    if (op == c.last)
        return inListOf(text, t, c);
    const QString whole = sql::textOf(text, t, c.first, c.last);
    const std::optional<ColumnRef> left = columnAt(t, c.first, op);
    const bool equal = t[op].isOp(u"=") || t[op].is(u"IN");
    if (left && t[op].is(u"LIKE")) {
        // Only a pattern that does not begin with a wildcard bounds a range.
        const bool bounded = op + 1 < c.last && t[op + 1].kind == TokenKind::String &&
                             !sql::stringValue(t[op + 1]).startsWith(u'%') &&
                             !sql::stringValue(t[op + 1]).startsWith(u'_');
        return bounded ? std::optional<Term>(Term{Term::Range, *left, {}, whole}) : std::nullopt;
    }
    if (left && isValue(t, op + 1, c.last))
        return Term{equal ? Term::Equal : Term::Range, *left, {}, whole};
    const std::optional<ColumnRef> right = columnAt(t, op + 1, c.last);
    if (right && isValue(t, c.first, op))
        return Term{equal ? Term::Equal : Term::Range, *right, {}, whole};
    if (left && right && equal && left->qualifier != right->qualifier)
        return Term{Term::Join, *left, *right, whole};
    return std::nullopt;
}

QList<Term> termsOf(const QString& predicate) {
    QList<Term> terms;
    const std::vector<Token> t = sql::tokenize(predicate);
    for (Range c : sql::conjuncts(t, 0, t.size())) {
        if (std::optional<Term> term = termOf(predicate, t, c))
            terms.append(*term);
    }
    return terms;
}

// The tables of the statement's outermost FROM clause: alias (or name) to table name.
struct StatementShape {
    QHash<QString, QString> tableOf;  // alias or table name -> table name
    int tables = 0;
    QList<ColumnRef> selected;  // the select list, when it is made of columns only
    bool selectsColumnsOnly = false;
    QList<ColumnRef> ordered;  // ORDER BY, else GROUP BY, when made of columns only
    QString orderText;
};

QList<ColumnRef> columnList(const std::vector<Token>& t, size_t first, size_t last, bool& ok) {
    QList<ColumnRef> columns;
    ok = first < last;
    for (Range item : sql::splitTopLevel(t, first, last)) {
        size_t end = item.last;
        while (end > item.first && (t[end - 1].is(u"ASC") || t[end - 1].is(u"DESC")))
            --end;
        const std::optional<ColumnRef> c = columnAt(t, item.first, end);
        ok = ok && c.has_value();
        if (c)
            columns.append(*c);
    }
    return columns;
}

void readFromClause(const std::vector<Token>& t, size_t from, size_t end, StatementShape& s) {
    static const std::initializer_list<const char16_t*> joinWords = {
        u"JOIN", u"INNER", u"LEFT", u"RIGHT", u"FULL", u"OUTER", u"CROSS", u"NATURAL"};
    bool expectTable = true;
    for (size_t i = from; i < end; ++i) {
        if (t[i].isOp(u'(')) {
            i = sql::closing(t, i, end);
            expectTable = false;
            continue;
        }
        if (t[i].isOp(u',') || t[i].is(u"JOIN")) {
            expectTable = true;
            continue;
        }
        if (!expectTable || !sql::isName(t[i]) || sql::isOneOf(t[i], joinWords))
            continue;
        size_t at = i;
        if (at + 2 < end && t[at + 1].isOp(u'.') && sql::isName(t[at + 2]))
            at += 2;
        const QString table = nameOf(t[at]);
        QString alias = table;
        size_t next = at + 1;
        if (next < end && t[next].is(u"AS"))
            ++next;
        if (next < end && sql::isName(t[next]) && !sql::isKeyword(t[next]))
            alias = nameOf(t[next]);
        s.tableOf.insert(alias, table);
        s.tableOf.insert(table, table);
        ++s.tables;
        expectTable = false;
        i = at;
    }
}

StatementShape shapeOf(const QString& text) {
    StatementShape s;
    const std::vector<Token> t = sql::tokenize(text);
    size_t start = 0;
    while (start < t.size() && !t[start].is(u"SELECT"))
        ++start;
    if (start == t.size())
        return s;
    const size_t from = sql::findTopLevel(t, start, t.size(), u"FROM");
    size_t listStart = start + 1;
    if (listStart < from && (t[listStart].is(u"DISTINCT") || t[listStart].is(u"UNIQUE")))
        ++listStart;
    s.selected = columnList(t, listStart, from, s.selectsColumnsOnly);
    size_t fromEnd = t.size();
    for (const char16_t* w : {u"WHERE", u"GROUP", u"ORDER", u"HAVING", u"CONNECT", u"START",
                              u"UNION", u"MINUS", u"INTERSECT", u"FETCH"})
        fromEnd = std::min(fromEnd, sql::findTopLevel(t, from, t.size(), QStringView(w)));
    readFromClause(t, from + 1, fromEnd, s);
    for (const char16_t* w : {u"ORDER", u"GROUP"}) {
        const size_t at = sql::findTopLevel(t, from, t.size(), QStringView(w));
        if (at + 1 >= t.size() || !t[at + 1].is(u"BY"))
            continue;
        size_t end = t.size();
        for (const char16_t* stop : {u"HAVING", u"ORDER", u"FETCH", u"OFFSET", u"FOR"})
            end = std::min(end, sql::findTopLevel(t, at + 2, t.size(), QStringView(stop)));
        bool ok = false;
        const QList<ColumnRef> columns = columnList(t, at + 2, end, ok);
        if (ok) {
            s.ordered = columns;
            s.orderText = sql::textOf(text, t, at, end);
        }
        break;
    }
    return s;
}

// The alias a plan line reads its table under ("E"@"SEL$1", E@SEL$1), else the table's name.
QString aliasOf(const PlanLine& line) {
    QString alias = line.objectAlias.section(u'@', 0, 0).trimmed();
    if (alias.startsWith(u'"') && alias.endsWith(u'"') && alias.size() >= 2)
        return alias.mid(1, alias.size() - 2);
    return alias.isEmpty() ? line.objectName.value_or(QString()) : alias;
}

// The table a line reads, as the statement names it.
struct TableRead {
    QString alias;
    QString table;
    const StatementShape& shape;
};

// Whether `c` names a column of the table `read`: qualified by its alias or name (or by an
// alias the statement gives that table when the plan has no alias), or not qualified in a
// statement of one table, or on the table's own line.
bool belongsTo(const ColumnRef& c, const TableRead& read, bool ownLine) {
    if (c.qualifier.isEmpty())
        return ownLine || read.shape.tables <= 1;
    return c.qualifier == read.alias || c.qualifier == read.table ||
           (read.alias == read.table && read.shape.tableOf.value(c.qualifier) == read.table);
}

void addUnique(QStringList& list, const QString& value) {
    if (!list.contains(value))
        list.append(value);
}

bool alreadyIndexed(const QStringList& columns, const QList<QStringList>& existing) {
    for (const QStringList& index : existing) {
        if (index.size() >= columns.size() && index.mid(0, columns.size()) == columns)
            return true;
    }
    return false;
}

// Whether a table line is worth an index: a full scan, or rowid fetches that throw rows away.
bool wantsIndex(const PlanLine& line) {
    if (line.operation != u"TABLE ACCESS" || !line.objectName)
        return false;
    const QString options = line.options.value_or(QString());
    return options.endsWith(u"FULL") ||
           (options.startsWith(u"BY INDEX ROWID") && !line.filterPredicates.isEmpty());
}

// The terms of `plan` on the table read by `line`: its own line's and its index's, and the
// join conditions of the other lines.
QList<Term> termsFor(const QList<PlanLine>& plan, const PlanLine& line, const TableRead& read) {
    QList<Term> found;
    // The index the rows are fetched by first: its columns lead, as they already do there.
    QList<const PlanLine*> order;
    for (const PlanLine& other : plan) {
        if (other.parentId && *other.parentId == line.id && other.operation == u"INDEX")
            order.prepend(&other);
        else
            order.append(&other);
    }
    for (const PlanLine* o : order) {
        const PlanLine& other = *o;
        const bool own = other.id == line.id || (other.parentId && *other.parentId == line.id &&
                                                 other.operation == u"INDEX");
        for (const QString& p : {other.accessPredicates, other.filterPredicates}) {
            for (const Term& term : termsOf(p)) {
                if (term.kind == Term::Join) {
                    const bool mine = belongsTo(term.column, read, false);
                    if (mine || belongsTo(term.other, read, false))
                        found.append(Term{Term::Join, mine ? term.column : term.other,
                                          mine ? term.other : term.column, term.text});
                } else if (belongsTo(term.column, read, own)) {
                    found.append(term);
                }
            }
        }
    }
    return found;
}

}  // namespace

QString IndexCandidate::createText(const QString& name) const {
    const QString on = owner.isEmpty() ? table : owner + u'.' + table;
    return QStringLiteral("CREATE INDEX ") + name + QStringLiteral(" ON ") + on +
           QStringLiteral(" (") + columns.join(QStringLiteral(", ")) + u')';
}

QString IndexCandidate::suggestedName() const {
    QString name = QStringLiteral("IX_") + table + u'_' + columns.value(0);
    if (covering)
        name += QStringLiteral("_C");
    return name.left(30);
}

QList<IndexCandidate> indexCandidates(const QList<PlanLine>& plan, const QString& sql,
                                      const ExistingIndexes& existing) {
    const StatementShape shape = shapeOf(sql);
    QList<IndexCandidate> out;
    auto propose = [&](IndexCandidate c) {
        if (c.columns.isEmpty() || alreadyIndexed(c.columns, existing.value(c.table)))
            return;
        for (const IndexCandidate& o : out) {
            if (o.table == c.table && o.columns == c.columns)
                return;
        }
        out.append(std::move(c));
    };
    for (const PlanLine& line : plan) {
        if (!wantsIndex(line))
            continue;
        const QString table = *line.objectName;
        const TableRead read{aliasOf(line), table, shape};
        const QList<Term> terms = termsFor(plan, line, read);
        QStringList equal, joins, served;
        const Term* range = nullptr;
        for (const Term& term : terms) {
            if (term.kind == Term::Equal) {
                addUnique(equal, term.column.name);
                addUnique(served, term.text);
            } else if (term.kind == Term::Join) {
                addUnique(joins, term.column.name);
            } else if (!range) {
                range = &term;
            }
        }
        if (range)
            addUnique(served, range->text);
        const auto keyOf = [&](const QStringList& leading) {
            QStringList key = leading;
            if (range && !key.contains(range->column.name))
                key.append(range->column.name);
            return key;
        };
        QStringList key = keyOf(equal);
        // The ORDER BY / GROUP BY columns follow when the index then gives their order: after
        // the equalities alone, or after the range column when it is the first of them.
        bool ordered = !shape.ordered.isEmpty();
        for (const ColumnRef& c : shape.ordered)
            ordered = ordered && belongsTo(c, read, false);
        if (ordered && (!range || shape.ordered.first().name == range->column.name)) {
            for (const ColumnRef& c : shape.ordered)
                addUnique(key, c.name);
            served.append(shape.orderText);
        }
        IndexCandidate base{line.objectOwner, table, key, served.join(QStringLiteral(" AND "))};
        propose(base);
        // Join columns lead a second candidate, for a nested loop into the table; when an index
        // already starts with them, only for a table the plan fetches by it and then filters.
        const bool fullScan = line.options.value_or(QString()).endsWith(u"FULL");
        if (!joins.isEmpty() && !(fullScan && alreadyIndexed(joins, existing.value(table)))) {
            QStringList joinServed;
            for (const Term& term : terms) {
                if (term.kind == Term::Join)
                    addUnique(joinServed, term.text);
            }
            IndexCandidate join{line.objectOwner, table, keyOf(joins + equal),
                                (joinServed + served).join(QStringLiteral(" AND "))};
            propose(join);
        }
        // The covering variant: the select list's columns of this table after the key, so the
        // table itself need not be read.
        if (shape.selectsColumnsOnly && shape.selected.size() <= 4 && !key.isEmpty()) {
            IndexCandidate covering = base;
            for (const ColumnRef& c : shape.selected) {
                if (belongsTo(c, read, false))
                    addUnique(covering.columns, c.name);
            }
            covering.covering = true;
            if (covering.columns.size() > key.size()) {
                covering.serves += QStringLiteral("（選択リストを含む）");
                propose(covering);
            }
        }
    }
    return out;
}

std::optional<IndexDefinition> readCreateIndex(const QString& text) {
    const std::vector<Token> t = sql::tokenize(text);
    IndexDefinition d;
    size_t i = 0;
    if (i >= t.size() || !t[i++].is(u"CREATE"))
        return std::nullopt;
    if (i < t.size() && (t[i].is(u"UNIQUE") || t[i].is(u"BITMAP"))) {
        d.unique = t[i].is(u"UNIQUE");
        d.bitmap = t[i].is(u"BITMAP");
        ++i;
    }
    if (i >= t.size() || !t[i++].is(u"INDEX"))
        return std::nullopt;
    if (i < t.size() && !t[i].is(u"ON")) {
        if (i + 2 < t.size() && t[i + 1].isOp(u'.'))
            i += 2;
        if (!sql::isName(t[i]))
            return std::nullopt;
        d.name = nameOf(t[i++]);
    }
    if (i >= t.size() || !t[i++].is(u"ON") || i >= t.size() || !sql::isName(t[i]))
        return std::nullopt;
    if (i + 2 < t.size() && t[i + 1].isOp(u'.') && sql::isName(t[i + 2])) {
        d.owner = nameOf(t[i]);
        i += 2;
    }
    d.table = nameOf(t[i++]);
    if (i >= t.size() || !t[i].isOp(u'('))
        return std::nullopt;
    const size_t close = sql::closing(t, i, t.size());
    if (close == t.size() || close == i + 1)
        return std::nullopt;
    for (Range item : sql::splitTopLevel(t, i + 1, close)) {
        if (item.empty())
            return std::nullopt;
        d.columns.append(sql::textOf(text, t, item.first, item.last));
        size_t end = item.last;
        if (end > item.first + 1 && (t[end - 1].is(u"ASC") || t[end - 1].is(u"DESC")))
            --end;
        const bool plain = end == item.first + 1 && sql::isName(t[item.first]);
        d.columnNames.append(plain ? nameOf(t[item.first]) : d.columns.last());
    }
    return d;
}

}  // namespace qv
