#include "core/embedded/catalog/tabledef.h"

#include "core/embedded/values/oracleerrors.h"

namespace qv::embedded {

using sql::Range;
using sql::Token;
using sql::TokenKind;

namespace {

bool startsColumnClause(const Token& k) {
    return sql::isOneOf(k, {u"CONSTRAINT", u"PRIMARY", u"NOT", u"NULL", u"UNIQUE", u"CHECK",
                            u"REFERENCES", u"DEFAULT", u"COLLATE", u"GENERATED", u"ENABLE",
                            u"DISABLE", u"VISIBLE", u"INVISIBLE", u"SORT", u"AS", u"DROP"});
}

bool startsOutOfLine(const Token& k) {
    return sql::isOneOf(k, {u"CONSTRAINT", u"PRIMARY", u"UNIQUE", u"CHECK", u"FOREIGN"});
}

// A group at `i` or the token there: past it.
size_t pastGroup(const std::vector<Token>& t, size_t i, size_t last) {
    if (t[i].isOp(u'('))
        return sql::closing(t, i, last) + 1;
    return i + 1;
}

// The states after a constraint: ENABLE, DISABLE, VALIDATE, NOVALIDATE, RELY, DEFERRABLE,
// INITIALLY ..., USING INDEX ... (Oracle's index options, passed over).
size_t constraintStates(const std::vector<Token>& t, size_t i, size_t last, ConstraintRow& c) {
    while (i < last) {
        const Token& k = t[i];
        if (k.is(u"ENABLE")) {
            c.enabled = true;
        } else if (k.is(u"DISABLE")) {
            c.enabled = false;
            c.validated = false;
        } else if (k.is(u"VALIDATE")) {
            c.validated = true;
        } else if (k.is(u"NOVALIDATE")) {
            c.validated = false;
        } else if (k.is(u"NOT") && i + 1 < last && t[i + 1].is(u"DEFERRABLE")) {
            ++i;
        } else if (k.is(u"INITIALLY") && i + 1 < last) {
            // Checked at COMMIT rather than at each statement: not what the engine does.
            if (t[i + 1].is(u"DEFERRED"))
                throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature "
                                                       "(INITIALLY DEFERRED constraints)"));
            ++i;
        } else if (k.is(u"USING") && i + 1 < last && t[i + 1].is(u"INDEX")) {
            i += 2;
            while (i < last && !startsColumnClause(t[i]) && !t[i].is(u"ENABLE") &&
                   !t[i].is(u"DISABLE"))
                i = pastGroup(t, i, last);
            continue;
        } else if (!sql::isOneOf(k, {u"RELY", u"NORELY", u"DEFERRABLE"})) {
            break;
        }
        ++i;
    }
    return i;
}

// REFERENCES t [(cols)] [ON DELETE CASCADE | SET NULL | NO ACTION] [ON UPDATE ...]
size_t references(const std::vector<Token>& t, size_t i, size_t last, ConstraintRow& c) {
    if (i >= last || !sql::isName(t[i]))
        missingParenthesis();
    c.refTable = sql::unquoted(t[i++]);
    while (i + 1 < last && t[i].isOp(u'.') && sql::isName(t[i + 1])) {
        c.refTable = sql::unquoted(t[i + 1]);  // schema.table: one schema
        i += 2;
    }
    if (i < last && t[i].isOp(u'('))
        c.refColumns = nameList(t, i, last, i);
    while (i + 2 < last && t[i].is(u"ON") && (t[i + 1].is(u"DELETE") || t[i + 1].is(u"UPDATE"))) {
        const bool onDelete = t[i + 1].is(u"DELETE");
        i += 2;
        QString rule;
        if (t[i].is(u"CASCADE")) {
            rule = QStringLiteral("CASCADE");
            i += 1;
        } else if (i + 1 < last && t[i].is(u"SET") && t[i + 1].is(u"NULL")) {
            rule = QStringLiteral("SET NULL");
            i += 2;
        } else if (i + 1 < last && t[i].is(u"NO") && t[i + 1].is(u"ACTION")) {
            rule = QStringLiteral("NO ACTION");
            i += 2;
        } else if (t[i].is(u"RESTRICT")) {
            rule = QStringLiteral("NO ACTION");
            i += 1;
        } else {
            missingParenthesis();
        }
        if (onDelete)
            c.deleteRule = rule;
        else if (rule != u"NO ACTION")
            throw invalidStatement(QStringLiteral("Oracle has no ON UPDATE rule"));
    }
    return i;
}

// A table made by another program with SQLite's own features, which the engine does not make
// again as they were.
[[noreturn]] void sqliteOwn() {
    throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature (changing a table "
                                           "with AUTOINCREMENT, ON CONFLICT or STRICT)"));
}

// A column's collation in SQLite's terms: Oracle's session-dependent ones (USING_NLS_COMP, as
// DBMS_METADATA writes them) are the binary default, BINARY_CI is SQLite's NOCASE; SQLite's own
// and the engine's are kept as written.
QString collation(const QString& sql, const Token& name) {
    const QString oracle = sql::unquoted(name).toUpper();
    if (oracle.startsWith(u"USING_NLS_"))
        return {};
    if (oracle == u"BINARY_CI")
        return QStringLiteral("NOCASE");
    if (oracle == u"BINARY_AI" || oracle.contains(u"_CI") || oracle.contains(u"_AI"))
        throw oracleError(
            3001, QStringLiteral("ORA-03001: unimplemented feature (collation %1)").arg(oracle));
    return sql.mid(name.begin, name.end - name.begin);
}

ConstraintRow named(char type, const QString& name) {
    ConstraintRow c;
    c.type = type;
    c.name = name.toUpper();
    return c;
}

[[noreturn]] void virtualColumn() {
    throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature (virtual columns)"));
}

// GENERATED [ALWAYS | BY DEFAULT [ON NULL]] AS IDENTITY [(options)] at `i`: past it.
size_t identityClause(const QString& sql, const std::vector<Token>& t, size_t i, size_t last,
                      ColumnDef& col) {
    IdentityClause c;
    ++i;
    if (i < last && t[i].is(u"ALWAYS")) {
        ++i;
    } else if (i + 1 < last && t[i].is(u"BY") && t[i + 1].is(u"DEFAULT")) {
        c.always = false;
        i += 2;
        if (i + 1 < last && t[i].is(u"ON") && t[i + 1].is(u"NULL")) {
            c.onNull = true;
            i += 2;
        }
    }
    if (i + 1 >= last || !t[i].is(u"AS"))
        throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
    if (!t[i + 1].is(u"IDENTITY"))
        virtualColumn();
    i += 2;
    if (i < last && t[i].isOp(u'(')) {
        const size_t close = sql::closing(t, i, last);
        c.options = sql::textOf(sql, t, i + 1, close);
        i = close + 1;
    }
    col.identity = c;
    return i;
}

// An identity column is NOT NULL, by a constraint of its own unless one is written, which must
// be enabled (ORA-30670).
void identityNotNull(TableDef& def, size_t firstConstraint, ColumnDef& col) {
    if (!col.identity || col.identity->drop)
        return;
    for (size_t k = firstConstraint; k < def.constraints.size(); ++k) {
        if (def.constraints[k].type == 'N') {
            if (!def.constraints[k].enabled)
                throw oracleError(30670, QStringLiteral("ORA-30670: invalid NOT NULL constraint "
                                                        "specified on an identity column"));
            return;
        }
    }
    ConstraintRow c = named('N', QString());
    c.columns = QStringList{col.name.toUpper()};
    c.condition = sql::quotedName(col.name.toUpper()) + QStringLiteral(" IS NOT NULL");
    def.constraints.push_back(c);
    col.notNull = true;
}

// One column definition: name type clauses.
void readColumn(const QString& sql, const std::vector<Token>& t, Range item, TableDef& def) {
    size_t i = item.first;
    ColumnDef col;
    col.name = sql::unquoted(t[i++]);
    const size_t typeFirst = i;
    while (i < item.last && !startsColumnClause(t[i]))
        i = pastGroup(t, i, item.last);
    col.type = sql::textOf(sql, t, typeFirst, i);
    // SQLite parses a size only at the end of a type, and no keyword in it: INTERVAL DAY(2) TO
    // SECOND(6) is written as one quoted name, which SQLite keeps as the type, without quotes.
    for (size_t k = typeFirst; k < i; k = pastGroup(t, k, i)) {
        if ((t[k].isOp(u'(') && sql::closing(t, k, i) + 1 < i) || t[k].is(u"TO")) {
            col.type = sql::quotedName(col.type);
            break;
        }
    }
    QString pending;  // CONSTRAINT name
    const size_t firstConstraint = def.constraints.size();
    while (i < item.last) {
        const Token& k = t[i];
        if (k.is(u"CONSTRAINT") && i + 1 < item.last) {
            pending = sql::unquoted(t[i + 1]);
            i += 2;
            continue;
        }
        ConstraintRow c;
        bool isConstraint = true;
        if (k.is(u"PRIMARY") && i + 1 < item.last && t[i + 1].is(u"KEY")) {
            c = named('P', pending);
            i += 2;
            while (i < item.last && sql::isOneOf(t[i], {u"ASC", u"DESC"}))
                ++i;
            if (i < item.last && (t[i].is(u"AUTOINCREMENT") || t[i].is(u"ON")))
                sqliteOwn();
        } else if (k.is(u"UNIQUE")) {
            c = named('U', pending);
            ++i;
        } else if (k.is(u"CHECK") && i + 1 < item.last && t[i + 1].isOp(u'(')) {
            c = named('C', pending);
            const size_t close = sql::closing(t, i + 1, item.last);
            c.condition = sql::textOf(sql, t, i + 2, close);
            i = close + 1;
        } else if (k.is(u"REFERENCES")) {
            c = named('R', pending);
            i = references(t, i + 1, item.last, c);
        } else if (k.is(u"NOT") && i + 1 < item.last && t[i + 1].is(u"NULL")) {
            col.notNull = true;
            c = named('N', pending);
            c.condition = sql::quotedName(col.name.toUpper()) + QStringLiteral(" IS NOT NULL");
            i += 2;
        } else if (k.is(u"NULL")) {
            isConstraint = false;
            ++i;
        } else if (k.is(u"DEFAULT") && i + 1 < item.last) {
            const size_t first = ++i;
            if (t[i].isOp(u'-') || t[i].isOp(u'+'))
                ++i;
            i = pastGroup(t, i, item.last);
            col.defaultText = sql::textOf(sql, t, first, i);
            if (col.defaultText.contains(u"qv_nextval") || col.defaultText.contains(u"qv_currval"))
                throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature (a "
                                                       "sequence as a column's default)"));
            isConstraint = false;
        } else if (k.is(u"COLLATE") && i + 1 < item.last) {
            col.collate = collation(sql, t[i + 1]);
            i += 2;
            isConstraint = false;
        } else if (k.is(u"VISIBLE")) {
            isConstraint = false;
            ++i;
        } else if (k.is(u"GENERATED")) {
            i = identityClause(sql, t, i, item.last, col);
            isConstraint = false;
        } else if (k.is(u"DROP") && i + 1 < item.last && t[i + 1].is(u"IDENTITY")) {
            col.identity = IdentityClause{};
            col.identity->drop = true;
            i += 2;
            isConstraint = false;
        } else if (k.is(u"AS")) {
            virtualColumn();
        } else {
            missingParenthesis();
        }
        if (isConstraint) {
            c.columns = QStringList{col.name.toUpper()};
            ConstraintRow states = c;
            i = constraintStates(t, i, item.last, states);
            if (states.type == 'N' && !states.enabled)
                col.notNull = false;
            def.constraints.push_back(states);
        }
        pending.clear();
    }
    identityNotNull(def, firstConstraint, col);
    def.columns.push_back(col);
}

void readOutOfLine(const QString& sql, const std::vector<Token>& t, Range item, TableDef& def) {
    size_t i = item.first;
    QString name;
    if (t[i].is(u"CONSTRAINT")) {
        if (i + 1 >= item.last || !sql::isName(t[i + 1]))
            missingParenthesis();
        name = sql::unquoted(t[i + 1]);
        i += 2;
    }
    if (i >= item.last)
        missingParenthesis();
    ConstraintRow c;
    const Token& k = t[i];
    if (k.is(u"PRIMARY") && i + 2 < item.last && t[i + 1].is(u"KEY")) {
        c = named('P', name);
        c.columns = nameList(t, i + 2, item.last, i);
    } else if (k.is(u"UNIQUE") && i + 1 < item.last) {
        c = named('U', name);
        c.columns = nameList(t, i + 1, item.last, i);
    } else if (k.is(u"CHECK") && i + 1 < item.last && t[i + 1].isOp(u'(')) {
        c = named('C', name);
        const size_t close = sql::closing(t, i + 1, item.last);
        c.condition = sql::textOf(sql, t, i + 2, close);
        i = close + 1;
    } else if (k.is(u"FOREIGN") && i + 3 < item.last && t[i + 1].is(u"KEY")) {
        c = named('R', name);
        c.columns = nameList(t, i + 2, item.last, i);
        if (i >= item.last || !t[i].is(u"REFERENCES"))
            missingParenthesis();
        i = references(t, i + 1, item.last, c);
    } else {
        missingParenthesis();
    }
    i = constraintStates(t, i, item.last, c);
    if (i != item.last)
        missingParenthesis();
    def.constraints.push_back(c);
}

}  // namespace

void missingParenthesis() {
    throw oracleError(907, QStringLiteral("ORA-00907: missing right parenthesis"));
}

ColumnDef* TableDef::column(const QString& name) {
    for (ColumnDef& c : columns) {
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

std::optional<ConstraintRow> TableDef::primaryKey() const {
    for (const ConstraintRow& c : constraints) {
        if (c.type == 'P')
            return c;
    }
    return std::nullopt;
}

QStringList nameList(const std::vector<Token>& t, size_t open, size_t last, size_t& next) {
    if (open >= last || !t[open].isOp(u'('))
        missingParenthesis();
    const size_t close = sql::closing(t, open, last);
    if (close >= last)
        missingParenthesis();
    QStringList names;
    for (const Range& item : sql::splitTopLevel(t, open + 1, close)) {
        // SQLite's primary key columns may carry COLLATE and ASC or DESC.
        if (item.empty() || !sql::isName(t[item.first]))
            throw oracleError(904, QStringLiteral("ORA-00904: : invalid identifier"));
        names << sql::unquoted(t[item.first]).toUpper();
    }
    next = close + 1;
    return names;
}

void readTableItem(const QString& sql, const std::vector<Token>& t, Range item, TableDef& def) {
    if (item.empty())
        missingParenthesis();
    if (startsOutOfLine(t[item.first]))
        readOutOfLine(sql, t, item, def);
    else if (sql::isName(t[item.first]))
        readColumn(sql, t, item, def);
    else
        throw oracleError(904, QStringLiteral("ORA-00904: : invalid identifier"));
}

TableDef readTableDef(const QString& sql, const std::vector<Token>& t, size_t open, size_t last) {
    TableDef def;
    size_t i = open;
    if (i < last && t[i].isOp(u'(')) {
        const size_t close = sql::closing(t, open, last);
        if (close >= last)
            missingParenthesis();
        for (const Range& item : sql::splitTopLevel(t, open + 1, close))
            readTableItem(sql, t, item, def);
        i = close + 1;
    }
    // Options: SQLite's WITHOUT ROWID, Oracle's organisation and storage (passed over).
    while (i < last) {
        const Token& k = t[i];
        if (startsTableQuery(t, i)) {
            def.query = Range{i + 1, last};
            break;
        }
        if (k.is(u"WITHOUT") && i + 1 < last && t[i + 1].is(u"ROWID")) {
            def.withoutRowid = true;
            i += 2;
        } else if (k.is(u"ORGANIZATION") && i + 1 < last) {
            if (t[i + 1].is(u"EXTERNAL"))
                throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature "
                                                       "(external tables)"));
            def.withoutRowid = t[i + 1].is(u"INDEX");
            i += 2;
        } else if (k.is(u"STRICT")) {
            sqliteOwn();
        } else if (k.isOp(u',')) {
            ++i;  // SQLite's option list, WITHOUT ROWID, STRICT
        } else {
            i = pastGroup(t, i, last);
        }
    }
    return def;
}

namespace {

QString quotedList(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names)
        quoted << sql::quotedName(name);
    return quoted.join(QStringLiteral(", "));
}

QString named(const ConstraintRow& c) {
    return c.name.isEmpty() ? QString()
                            : QStringLiteral("CONSTRAINT %1 ").arg(sql::quotedName(c.name));
}

}  // namespace

QString createTableSql(const TableDef& def) {
    if (def.columns.size() > size_t(kMaxColumns))
        throw tooManyColumns();
    QStringList items;
    for (const ColumnDef& c : def.columns) {
        QString item = sql::quotedName(c.name);
        if (!c.type.isEmpty())
            item += u' ' + c.type;
        if (!c.collate.isEmpty())
            item += QStringLiteral(" COLLATE ") + c.collate;
        if (!c.defaultText.isEmpty())
            item += QStringLiteral(" DEFAULT ") + c.defaultText;
        if (c.notNull)
            item += QStringLiteral(" NOT NULL");
        items << item;
    }
    for (const ConstraintRow& c : def.constraints) {
        if (!c.enabled)
            continue;
        if (c.type == 'P') {
            items << named(c) + QStringLiteral("PRIMARY KEY (%1)").arg(quotedList(c.columns));
        } else if (c.type == 'C') {
            items << named(c) + QStringLiteral("CHECK (%1)").arg(c.condition);
        } else if (c.native && c.type == 'U') {
            items << named(c) + QStringLiteral("UNIQUE (%1)").arg(quotedList(c.columns));
        } else if (c.native && c.type == 'R') {
            const QString to = c.refColumns.isEmpty()
                                   ? QString()
                                   : QStringLiteral(" (%1)").arg(quotedList(c.refColumns));
            items << named(c) + QStringLiteral("FOREIGN KEY (%1) REFERENCES %2%3 ON DELETE %4")
                                    .arg(quotedList(c.columns), sql::quotedName(c.refTable), to,
                                         c.deleteRule);
        }
    }
    return QStringLiteral("CREATE TABLE %1 (%2)%3")
        .arg(sql::quotedName(def.name), items.join(QStringLiteral(", ")),
             def.withoutRowid ? QStringLiteral(" WITHOUT ROWID") : QString());
}

}  // namespace qv::embedded
