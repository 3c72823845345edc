#include "core/embedded/base/sandbox.h"
#include "core/embedded/catalog/identity.h"
#include "core/embedded/catalog/optimizerstats.h"
#include "core/embedded/catalog/schemacommands.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/embedded/values/oraclevalues.h"
#include "core/sql/tokenlist.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace qv::embedded {

namespace {

using sql::quotedName;
using sql::Range;

std::vector<std::pair<QString, QString>> sameColumns(const TableDef& def) {
    std::vector<std::pair<QString, QString>> copied;
    for (const ColumnDef& c : def.columns)
        copied.emplace_back(c.name, c.name);
    return copied;
}

[[noreturn]] void noSuchConstraint() {
    throw oracleError(2443, QStringLiteral("ORA-02443: Cannot drop constraint  - nonexistent "
                                           "constraint"));
}

// The items of ADD or MODIFY in SQLite's terms: one item, or a parenthesised list of them.
struct Items {
    QString text;
    std::vector<Token> tokens;
    std::vector<Range> ranges;
};

Items translatedItems(const QString& sql, const std::vector<Token>& t, size_t first, size_t end,
                      const StopCheck& stopped) {
    const QString wrapped =
        QStringLiteral("CREATE TABLE x (") +
        (first < end && t[first].isOp(u'(') && sql::closing(t, first, end) == end - 1
             ? sql::textOf(sql, t, first + 1, end - 1)
             : sql::textOf(sql, t, first, end)) +
        u')';
    Items items;
    items.text = sqliteText(ParsedStatement(wrapped), stopped);
    items.tokens = sql::tokenize(items.text);
    const size_t close = sql::closing(items.tokens, 3, items.tokens.size());
    items.ranges = sql::splitTopLevel(items.tokens, 4, close);
    return items;
}

void keyDependents(const Catalog& catalog, const ConstraintRow& c, bool cascade, bool dropping);

// ADD constraint | ADD (column or constraint, ...) | ADD column
void addItems(const Catalog& catalog, TableDef def, const Items& items) {
    const size_t columnsBefore = def.columns.size();
    const size_t constraintsBefore = def.constraints.size();
    const auto copied = sameColumns(def);
    for (const Range& r : items.ranges)
        readTableItem(items.text, items.tokens, r, def);
    TableDef newColumns;
    newColumns.name = def.name;
    newColumns.columns.assign(def.columns.begin() + qsizetype(columnsBefore), def.columns.end());
    checkIdentity(newColumns, identityOf(catalog, def.name).has_value());
    for (size_t k = columnsBefore; k < def.columns.size(); ++k) {
        for (size_t j = 0; j < k; ++j) {
            if (def.columns[j].name.compare(def.columns[k].name, Qt::CaseInsensitive) == 0)
                throw oracleError(1430, QStringLiteral("ORA-01430: column being added already "
                                                       "exists in table"));
        }
        if (def.columns[k].notNull && def.columns[k].defaultText.isEmpty() &&
            !def.columns[k].identity &&
            !catalog.rows(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(quotedName(def.name)))
                 .empty())
            throw oracleError(1758, QStringLiteral("ORA-01758: table must be empty to add "
                                                   "mandatory (NOT NULL) column"));
    }
    std::vector<ConstraintRow> added(def.constraints.begin() + qsizetype(constraintsBefore),
                                     def.constraints.end());
    def.constraints.resize(constraintsBefore);
    TableDef probe = def;  // the names and rules checked with every constraint of the table
    probe.constraints.insert(probe.constraints.end(), added.begin(), added.end());
    nameConstraints(catalog, probe, constraintsBefore);
    added.assign(probe.constraints.begin() + qsizetype(constraintsBefore), probe.constraints.end());
    def.columns = probe.columns;
    bool rebuild = def.columns.size() != columnsBefore;
    for (const ConstraintRow& c : added) {
        if (c.enabled && c.validated && def.columns.size() == columnsBefore)
            validateRows(catalog, c);
        rebuild = rebuild || (c.enabled && (c.type == 'P' || c.type == 'C'));
    }
    def.constraints.insert(def.constraints.end(), added.begin(), added.end());
    // An identity column added to a table with rows numbers them, then is made NOT NULL.
    ColumnDef* numbered = nullptr;
    for (const ColumnDef& c : newColumns.columns) {
        if (c.identity &&
            !catalog.rows(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(quotedName(def.name)))
                 .empty())
            numbered = def.column(c.name);
    }
    if (numbered)
        numbered->notNull = false;
    catalog.ensure();
    sqlite::Savepoint savepoint(catalog.db());
    if (rebuild)
        rebuildTable(catalog, def, copied);
    makeIdentity(catalog, newColumns);
    if (numbered) {
        numberRows(catalog, def.name);
        numbered->notNull = true;
        rebuildTable(catalog, def, sameColumns(def));
    }
    for (const ConstraintRow& c : added) {
        catalog.store(c);
        if (c.enabled)
            enforceOutside(catalog, c);
    }
    savepoint.commit();
}

}  // namespace

QString datatypeOf(const QString& declared) {
    static const QRegularExpression kSizes(QStringLiteral(R"(\([^)]*\))"));
    QString t = QString(declared).remove(kSizes).toUpper().simplified();
    if (t.endsWith(u" CHAR") && t != u"NATIONAL CHAR")  // VARCHAR2(n CHAR) as the schema keeps it
        t.chop(5);
    static const QHash<QString, QString> kNames = {
        {QStringLiteral("NUMBER"), QStringLiteral("NUMBER")},
        {QStringLiteral("NUMERIC"), QStringLiteral("NUMBER")},
        {QStringLiteral("DECIMAL"), QStringLiteral("NUMBER")},
        {QStringLiteral("DEC"), QStringLiteral("NUMBER")},
        {QStringLiteral("INTEGER"), QStringLiteral("NUMBER")},
        {QStringLiteral("INT"), QStringLiteral("NUMBER")},
        {QStringLiteral("SMALLINT"), QStringLiteral("NUMBER")},
        {QStringLiteral("FLOAT"), QStringLiteral("NUMBER")},
        {QStringLiteral("DOUBLE PRECISION"), QStringLiteral("NUMBER")},
        {QStringLiteral("CHAR"), QStringLiteral("CHAR")},
        {QStringLiteral("CHARACTER"), QStringLiteral("CHAR")},
        {QStringLiteral("NCHAR"), QStringLiteral("NCHAR")},
        {QStringLiteral("NATIONAL CHAR"), QStringLiteral("NCHAR")},
        {QStringLiteral("NATIONAL CHARACTER"), QStringLiteral("NCHAR")},
        {QStringLiteral("VARCHAR2"), QStringLiteral("VARCHAR2")},
        {QStringLiteral("VARCHAR"), QStringLiteral("VARCHAR2")},
        {QStringLiteral("CHARACTER VARYING"), QStringLiteral("VARCHAR2")},
        {QStringLiteral("CHAR VARYING"), QStringLiteral("VARCHAR2")},
        {QStringLiteral("NVARCHAR2"), QStringLiteral("NVARCHAR2")},
        {QStringLiteral("NCHAR VARYING"), QStringLiteral("NVARCHAR2")},
        {QStringLiteral("NATIONAL CHARACTER VARYING"), QStringLiteral("NVARCHAR2")},
        {QStringLiteral("NATIONAL CHAR VARYING"), QStringLiteral("NVARCHAR2")},
        {QStringLiteral("DATE"), QStringLiteral("DATE")},
        {QStringLiteral("TIMESTAMP"), QStringLiteral("TIMESTAMP")},
        {QStringLiteral("TIMESTAMP WITH TIME ZONE"), QStringLiteral("TIMESTAMP WITH TIME ZONE")},
        {QStringLiteral("TIMESTAMP WITH LOCAL TIME ZONE"),
         QStringLiteral("TIMESTAMP WITH LOCAL TIME ZONE")},
        {QStringLiteral("CLOB"), QStringLiteral("CLOB")},
        {QStringLiteral("NCLOB"), QStringLiteral("NCLOB")},
        {QStringLiteral("BLOB"), QStringLiteral("BLOB")},
        {QStringLiteral("RAW"), QStringLiteral("RAW")},
        {QStringLiteral("LONG"), QStringLiteral("LONG")},
        {QStringLiteral("LONG RAW"), QStringLiteral("LONG RAW")},
        {QStringLiteral("BINARY_FLOAT"), QStringLiteral("BINARY_FLOAT")},
        {QStringLiteral("BINARY_DOUBLE"), QStringLiteral("BINARY_DOUBLE")},
        {QStringLiteral("ROWID"), QStringLiteral("ROWID")},
        {QStringLiteral("UROWID"), QStringLiteral("UROWID")},
        {QStringLiteral("INTERVAL YEAR TO MONTH"), QStringLiteral("INTERVAL YEAR TO MONTH")},
        {QStringLiteral("INTERVAL DAY TO SECOND"), QStringLiteral("INTERVAL DAY TO SECOND")},
    };
    return kNames.value(t);
}

namespace {

// Whether a column holding values may change from `before` to `after`, two different datatypes:
// CHAR and VARCHAR2 (or NCHAR and NVARCHAR2) of the same size, and DATE to TIMESTAMP.
bool keepsValues(const QString& before, const QString& after, const QString& beforeType,
                 const QString& afterType) {
    if (before == u"DATE" && after == u"TIMESTAMP")
        return true;
    const bool chars = (before == u"CHAR" && after == u"VARCHAR2") ||
                       (before == u"VARCHAR2" && after == u"CHAR") ||
                       (before == u"NCHAR" && after == u"NVARCHAR2") ||
                       (before == u"NVARCHAR2" && after == u"NCHAR");
    if (!chars)
        return false;
    const std::optional<StoreCheck> from = storeCheck(beforeType);
    const std::optional<StoreCheck> to = storeCheck(afterType);
    auto inCharacters = [](StoreRule r) {
        return r == StoreRule::TextInCharacters || r == StoreRule::CharInCharacters;
    };
    return from && to && from->size == to->size &&
           inCharacters(from->rule) == inCharacters(to->rule);
}

// A column's new type must hold its values, as Oracle has it: a column that holds a value keeps
// its datatype (ORA-01439) but for keepsValues()' changes; text no longer than the new length
// (ORA-01441); a number's precision or scale lowered only while the column holds none
// (ORA-01440). An empty column takes any type.
void checkNewType(const Catalog& catalog, const QString& table, const ColumnDef& col,
                  const QString& type) {
    const QString column = quotedName(col.name);
    auto any = [&](const QString& condition) {
        return !catalog
                    .rows(QStringLiteral("SELECT 1 FROM %1 WHERE %2 LIMIT 1")
                              .arg(quotedName(table), condition))
                    .empty();
    };
    const QString from = datatypeOf(col.type);
    const QString to = datatypeOf(type);
    if (!from.isEmpty() && !to.isEmpty() && from != to && !keepsValues(from, to, col.type, type)) {
        if (any(column + QStringLiteral(" IS NOT NULL")))
            throw oracleError(1439, QStringLiteral("ORA-01439: column to be modified must be empty "
                                                   "to change datatype"));
        return;
    }
    const std::optional<StoreCheck> after = storeCheck(type);
    if (!after)
        return;
    const std::optional<StoreCheck> before = storeCheck(col.type);
    switch (after->rule) {
        case StoreRule::Number:
        case StoreRule::Date:
        case StoreRule::YearToMonth:
        case StoreRule::DayToSecond:
            return;
        case StoreRule::SizedNumber:
            if (before && before->rule == StoreRule::SizedNumber &&
                after->size - after->scale >= before->size - before->scale &&
                after->scale >= before->scale)
                return;
            if (any(column + QStringLiteral(" IS NOT NULL")))
                throw oracleError(1440, QStringLiteral("ORA-01440: column to be modified must be "
                                                       "empty to decrease precision or scale"));
            return;
        default: {
            const bool bytes =
                after->rule == StoreRule::TextInBytes || after->rule == StoreRule::CharInBytes;
            const QString length = bytes ? QStringLiteral("length(CAST(%1 AS BLOB))").arg(column)
                                         : QStringLiteral("length(%1)").arg(column);
            if (any(QStringLiteral("%1 > %2").arg(length).arg(after->size)))
                throw oracleError(1441, QStringLiteral("ORA-01441: cannot decrease column length "
                                                       "because some value is too big"));
        }
    }
}

// A CHAR column made longer holds its values padded to the new length, as Oracle pads them.
void padCharColumns(const Catalog& catalog, TableDef& def, const Items& items) {
    for (const Range& r : items.ranges) {
        TableDef change;
        readTableItem(items.text, items.tokens, r, change);
        const ColumnDef* col =
            change.columns.empty() ? nullptr : def.column(change.columns.front().name);
        const std::optional<StoreCheck> check =
            col && !change.columns.front().type.isEmpty() ? storeCheck(col->type) : std::nullopt;
        if (!check ||
            (check->rule != StoreRule::CharInBytes && check->rule != StoreRule::CharInCharacters))
            continue;
        const QString column = quotedName(col->name);
        catalog.engineExec(QStringLiteral("UPDATE %1 SET %2 = qv_store(%2, %3, %4, 0, ?1) WHERE %2 "
                                          "IS NOT NULL")
                               .arg(quotedName(def.name), column)
                               .arg(int(check->rule))
                               .arg(check->size),
                           {col->name});
    }
}

// MODIFY (column [type] [DEFAULT expr] [NULL | NOT NULL], ...)
void modifyColumns(const Catalog& catalog, TableDef def, const Items& items) {
    const auto copied = sameColumns(def);
    std::vector<ConstraintRow> added;
    QStringList removed;
    qint64 next = catalog.systemName().mid(5).toLongLong();
    std::vector<ColumnDef> identities;  // GENERATED ... AS IDENTITY, DROP IDENTITY
    const std::optional<IdentityColumn> identity = identityOf(catalog, def.name);
    for (const Range& r : items.ranges) {
        TableDef change;
        readTableItem(items.text, items.tokens, r, change);
        if (change.columns.empty())
            throw oracleError(904, QStringLiteral("ORA-00904: : invalid identifier"));
        const ColumnDef& wanted = change.columns.front();
        ColumnDef* col = def.column(wanted.name);
        if (!col)
            throw oracleError(
                904,
                QStringLiteral("ORA-00904: \"%1\": invalid identifier").arg(wanted.name.toUpper()));
        if (wanted.identity) {
            identities.push_back(wanted);
            continue;
        }
        if (!wanted.type.isEmpty()) {
            checkNewType(catalog, def.name, *col, wanted.type);
            col->type = wanted.type;
        }
        if (!wanted.collate.isEmpty())
            col->collate = wanted.collate;
        if (!wanted.defaultText.isEmpty())
            col->defaultText = wanted.defaultText;
        // NULL alone, not NOT NULL nor DEFAULT NULL.
        bool saysNull = false;
        for (size_t k = r.first + 1; k < r.last; ++k) {
            const Token& x = items.tokens[k];
            if (x.is(u"DEFAULT") && k + 1 < r.last && items.tokens[k + 1].isOp(u'('))
                k = sql::closing(items.tokens, k + 1, r.last);
            else if (x.is(u"DEFAULT"))
                ++k;
            else
                saysNull = saysNull || (x.is(u"NULL") && !items.tokens[k - 1].is(u"NOT"));
        }
        if (wanted.notNull) {
            if (col->notNull)
                throw oracleError(1442, QStringLiteral("ORA-01442: column to be modified to NOT "
                                                       "NULL is already NOT NULL"));
            for (ConstraintRow c : change.constraints) {
                if (c.type != 'N')
                    continue;
                c.table = def.name.toUpper();
                if (c.name.isEmpty()) {
                    c.name = QStringLiteral("SYS_C%1").arg(next++, 7, 10, QChar(u'0'));
                    c.generated = true;
                } else if (catalog.constraint(c.name)) {
                    throw oracleError(2264, QStringLiteral("ORA-02264: name already used by an "
                                                           "existing constraint"));
                }
                validateRows(catalog, c);
                added.push_back(c);
            }
            col->notNull = true;
        } else if (saysNull) {
            if (!col->notNull)
                throw oracleError(1451, QStringLiteral("ORA-01451: column to be modified to NULL "
                                                       "cannot be modified to NULL"));
            if (identity && identity->column == col->name.toUpper())
                throw oracleError(30671, QStringLiteral("ORA-30671: cannot modify NOT NULL "
                                                        "constraint on an identity column"));
            const auto pk = def.primaryKey();
            if (pk && pk->columns.contains(col->name.toUpper()))
                throw oracleError(1451, QStringLiteral("ORA-01451: column to be modified to NULL "
                                                       "cannot be modified to NULL"));
            col->notNull = false;
            for (const ConstraintRow& c : def.constraints) {
                if (c.type == 'N' && c.columns == QStringList{col->name.toUpper()})
                    removed << c.name;
            }
        }
    }
    sqlite::Savepoint savepoint(catalog.db());
    for (const ColumnDef& c : identities)
        modifyIdentity(catalog, def, c);
    if (identities.size() < items.ranges.size()) {
        rebuildTable(catalog, def, copied);
        padCharColumns(catalog, def, items);
    }
    for (const QString& name : removed)
        catalog.forget(name);
    for (const ConstraintRow& c : added)
        catalog.store(c);
    savepoint.commit();
}

// DROP COLUMN c | DROP (c, ...) [CASCADE CONSTRAINTS]
void dropColumns(const Catalog& catalog, TableDef def, const QStringList& names, bool cascade) {
    for (const QString& name : names) {
        if (!def.column(name))
            throw oracleError(904,
                              QStringLiteral("ORA-00904: \"%1\": invalid identifier").arg(name));
    }
    if (qsizetype(def.columns.size()) <= names.size())
        throw oracleError(12983, QStringLiteral("ORA-12983: cannot drop all columns in a table"));
    std::vector<ConstraintRow> kept;
    for (const ConstraintRow& c : def.constraints) {
        const bool touched = std::any_of(names.begin(), names.end(),
                                         [&](const QString& n) { return c.columns.contains(n); });
        if (!touched) {
            kept.push_back(c);
            continue;
        }
        if (c.columns.size() > 1 && !cascade)
            throw oracleError(12991, QStringLiteral("ORA-12991: column is referenced in a "
                                                    "multi-column constraint"));
        for (const ConstraintRow& fk : catalog.referencing(def.name)) {
            if (fk.refColumns == c.columns && !cascade)
                throw oracleError(12992, QStringLiteral("ORA-12992: cannot drop parent key "
                                                        "column"));
        }
    }
    sqlite::Savepoint savepoint(catalog.db());
    for (const ConstraintRow& c : def.constraints) {
        if (std::none_of(kept.begin(), kept.end(),
                         [&](const ConstraintRow& k) { return k.name == c.name; }))
            keyDependents(catalog, c, true, true);
    }
    for (const ConstraintRow& c : def.constraints) {
        if (std::none_of(kept.begin(), kept.end(),
                         [&](const ConstraintRow& k) { return k.name == c.name; })) {
            stopEnforcingOutside(catalog, c);
            catalog.forget(c.name);
        }
    }
    def.constraints = kept;
    std::erase_if(def.columns,
                  [&](const ColumnDef& c) { return names.contains(c.name.toUpper()); });
    rebuildTable(catalog, def, sameColumns(def));
    for (const QString& name : names)
        forgetIdentity(catalog, def.name, name);
    if (catalog.has(kCommentsTable)) {
        for (const QString& name : names)
            catalog.engineExec(QStringLiteral("DELETE FROM \"QV$COMMENTS\" WHERE TABLE_NAME = "
                                              "upper(?) AND COLUMN_NAME = ?"),
                               {def.name, name});
    }
    savepoint.commit();
}

// The constraint an ALTER TABLE names: CONSTRAINT n, PRIMARY KEY or UNIQUE (cols); past it.
ConstraintRow namedConstraint(const Catalog& catalog, const TableDef& def,
                              const std::vector<Token>& t, size_t& i, size_t end) {
    if (i + 1 < end && t[i].is(u"CONSTRAINT") && sql::isName(t[i + 1])) {
        const QString name = sql::unquoted(t[i + 1]).toUpper();
        i += 2;
        for (const ConstraintRow& c : def.constraints) {
            if (c.name == name)
                return c;
        }
        (void)catalog;
        noSuchConstraint();
    }
    if (i + 1 < end && t[i].is(u"PRIMARY") && t[i + 1].is(u"KEY")) {
        i += 2;
        if (const auto pk = def.primaryKey())
            return *pk;
        throw oracleError(2441, QStringLiteral("ORA-02441: Cannot drop nonexistent primary key"));
    }
    if (i < end && t[i].is(u"UNIQUE")) {
        const QStringList cols = nameList(t, i + 1, end, i);
        for (const ConstraintRow& c : def.constraints) {
            if (c.type == 'U' && c.columns == cols)
                return c;
        }
        noSuchConstraint();
    }
    throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
}

// Foreign keys of enabled rows on `c`'s key: ORA-02273 / ORA-02297, or dropped with CASCADE.
void keyDependents(const Catalog& catalog, const ConstraintRow& c, bool cascade, bool dropping) {
    if (c.type != 'P' && c.type != 'U')
        return;
    for (const ConstraintRow& fk : catalog.referencing(c.table)) {
        if (fk.refColumns != c.columns || (!dropping && !fk.enabled))
            continue;
        if (!cascade)
            throw dropping
                ? oracleError(2273, QStringLiteral("ORA-02273: this unique/primary key is "
                                                   "referenced by some foreign keys"))
                : oracleError(2297, QStringLiteral("ORA-02297: cannot disable constraint (%1.%2) "
                                                   "- dependencies exist")
                                        .arg(catalog.schema(), c.name));
        stopEnforcingOutside(catalog, fk);
        if (dropping) {
            catalog.forget(fk.name);
        } else {
            ConstraintRow off = fk;
            off.enabled = false;
            off.validated = false;
            catalog.store(off);
        }
    }
}

// A NOT NULL constraint's column as `c` leaves it (a primary key's column stays NOT NULL).
void setNotNull(TableDef& def, const ConstraintRow& c, bool notNull) {
    const auto pk = def.primaryKey();
    if (ColumnDef* col = def.column(c.columns.value(0)))
        col->notNull = notNull || (pk && pk->columns.contains(c.columns.value(0)));
}

void dropConstraint(const Catalog& catalog, TableDef def, const ConstraintRow& c, bool cascade) {
    sqlite::Savepoint savepoint(catalog.db());
    if (c.type == 'N')
        setNotNull(def, c, false);
    keyDependents(catalog, c, cascade, true);
    stopEnforcingOutside(catalog, c);
    catalog.forget(c.name);
    std::erase_if(def.constraints, [&](const ConstraintRow& d) { return d.name == c.name; });
    if (c.enabled && (c.type == 'P' || c.type == 'C' || c.type == 'N'))
        rebuildTable(catalog, def, sameColumns(def));
    savepoint.commit();
}

void setState(const Catalog& catalog, TableDef def, ConstraintRow c, bool enable, bool validate,
              bool cascade) {
    if (enable && validate)
        validateRows(catalog, c);
    sqlite::Savepoint savepoint(catalog.db());
    if (!enable)
        keyDependents(catalog, c, cascade, false);
    const bool wasEnabled = c.enabled;
    c.enabled = enable;
    c.validated = enable && validate;
    catalog.store(c);
    if (wasEnabled != enable) {
        if (enable)
            enforceOutside(catalog, c);
        else
            stopEnforcingOutside(catalog, c);
        for (ConstraintRow& d : def.constraints) {
            if (d.name == c.name)
                d = c;
        }
        if (c.type == 'N')
            setNotNull(def, c, enable);
        if (c.type == 'P' || c.type == 'C' || c.type == 'N')
            rebuildTable(catalog, def, sameColumns(def));
    }
    savepoint.commit();
}

void renameTable(const Catalog& catalog, const TableDef& def, const QString& to) {
    if (isEngineName(to))
        throw engineNameRefused(to);
    catalog.checkFreeName(to);
    sqlite::Savepoint savepoint(catalog.db());
    catalog.engineExec(QStringLiteral("ALTER TABLE main.%1 RENAME TO %2")
                           .arg(quotedName(def.name), quotedName(to)));
    if (catalog.has(kConstraintsTable)) {
        catalog.engineExec(QStringLiteral("UPDATE \"QV$CONSTRAINTS\" SET TABLE_NAME = upper(?2) "
                                          "WHERE TABLE_NAME = upper(?1)"),
                           {def.name, to});
        catalog.engineExec(QStringLiteral("UPDATE \"QV$CONSTRAINTS\" SET R_TABLE = upper(?2) "
                                          "WHERE R_TABLE = upper(?1)"),
                           {def.name, to});
    }
    if (catalog.has(kCommentsTable))
        catalog.engineExec(QStringLiteral("UPDATE \"QV$COMMENTS\" SET TABLE_NAME = upper(?2) WHERE "
                                          "TABLE_NAME = upper(?1)"),
                           {def.name, to});
    renameIdentity(catalog, def.name, to);
    {
        const EngineRights engine(catalog.sandbox());
        renameStatistics(catalog.db(), def.name, to);
    }
    savepoint.commit();
}

void renameColumn(const Catalog& catalog, const TableDef& def, const QString& from,
                  const QString& to) {
    sqlite::Savepoint savepoint(catalog.db());
    catalog.engineExec(QStringLiteral("ALTER TABLE main.%1 RENAME COLUMN %2 TO %3")
                           .arg(quotedName(def.name), quotedName(from), quotedName(to)));
    auto renamed = [&](QStringList names) {
        for (QString& n : names) {
            if (n == from.toUpper())
                n = to.toUpper();
        }
        return names;
    };
    for (ConstraintRow c : catalog.constraintsOf(def.name)) {
        c.columns = renamed(c.columns);
        catalog.store(c);
    }
    for (ConstraintRow c : catalog.referencing(def.name)) {
        c.refColumns = renamed(c.refColumns);
        catalog.store(c);
    }
    if (catalog.has(kCommentsTable))
        catalog.engineExec(QStringLiteral("UPDATE \"QV$COMMENTS\" SET COLUMN_NAME = upper(?3) "
                                          "WHERE TABLE_NAME = upper(?1) AND COLUMN_NAME = "
                                          "upper(?2)"),
                           {def.name, from, to});
    renameIdentity(catalog, def.name, def.name, from, to);
    {
        const EngineRights engine(catalog.sandbox());
        renameColumnStatistics(catalog.db(), def.name, from, to);
    }
    savepoint.commit();
}

}  // namespace

void alterTable(const Catalog& catalog, const QString& sql, const std::vector<Token>& t, size_t end,
                const StopCheck& stopped) {
    size_t i = 2;
    const QString name = objectName(t, i, end);
    const TableDef def = currentTableDef(catalog, name);
    if (i >= end)
        throw oracleError(1735, QStringLiteral("ORA-01735: invalid ALTER TABLE option"));
    const Token& verb = t[i];
    auto done = [&](size_t at) {
        if (at != end)
            throw oracleError(933, QStringLiteral("ORA-00933: SQL command not properly ended"));
    };
    auto cascadeConstraints = [&](size_t& at) {
        const bool cascade = at + 1 < end && t[at].is(u"CASCADE") && t[at + 1].is(u"CONSTRAINTS");
        if (cascade)
            at += 2;
        return cascade;
    };
    // Where and how the rows are stored: nothing for SQLite to change.
    const bool rowMovement = (verb.is(u"ENABLE") || verb.is(u"DISABLE")) && i + 2 < end &&
                             t[i + 1].is(u"ROW") && t[i + 2].is(u"MOVEMENT");
    if (rowMovement ||
        sql::isOneOf(verb, {u"MOVE", u"LOGGING", u"NOLOGGING", u"PCTFREE", u"PCTUSED", u"INITRANS",
                            u"MAXTRANS", u"STORAGE", u"CACHE", u"NOCACHE", u"PARALLEL",
                            u"NOPARALLEL", u"COMPRESS", u"NOCOMPRESS", u"MONITORING",
                            u"NOMONITORING", u"DEALLOCATE", u"ALLOCATE", u"SHRINK"}))
        return;
    if (verb.is(u"ADD")) {
        const size_t first = i + 1 < end && t[i + 1].is(u"COLUMN") ? i + 2 : i + 1;  // SQLite's
        addItems(catalog, def, translatedItems(sql, t, first, end, stopped));
    } else if (verb.is(u"MODIFY") && i + 1 < end &&
               (t[i + 1].is(u"CONSTRAINT") || t[i + 1].is(u"PRIMARY") || t[i + 1].is(u"UNIQUE"))) {
        // MODIFY CONSTRAINT c | PRIMARY KEY | UNIQUE (cols) ENABLE | DISABLE [VALIDATE |
        // NOVALIDATE]
        ++i;
        const ConstraintRow c = namedConstraint(catalog, def, t, i, end);
        if (i >= end || !(t[i].is(u"ENABLE") || t[i].is(u"DISABLE")))
            throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
        const bool enable = t[i++].is(u"ENABLE");
        bool validate = enable;
        if (i < end && (t[i].is(u"VALIDATE") || t[i].is(u"NOVALIDATE")))
            validate = t[i++].is(u"VALIDATE");
        const bool cascade = cascadeConstraints(i) || (i < end && t[i].is(u"CASCADE") && ++i);
        done(i);
        setState(catalog, def, c, enable, validate, cascade);
    } else if (verb.is(u"MODIFY")) {
        modifyColumns(catalog, def, translatedItems(sql, t, i + 1, end, stopped));
    } else if (verb.is(u"DROP") && i + 1 < end && t[i + 1].isOp(u'(')) {
        size_t next = 0;
        const QStringList names = nameList(t, i + 1, end, next);
        const bool cascade = cascadeConstraints(next);
        done(next);
        dropColumns(catalog, def, names, cascade);
    } else if (verb.is(u"DROP") && i + 2 < end && t[i + 1].is(u"COLUMN")) {
        size_t next = i + 3;
        const bool cascade = cascadeConstraints(next);
        done(next);
        dropColumns(catalog, def, {sql::unquoted(t[i + 2]).toUpper()}, cascade);
    } else if (verb.is(u"DROP")) {
        ++i;
        const ConstraintRow c = namedConstraint(catalog, def, t, i, end);
        const bool cascade = i < end && t[i].is(u"CASCADE");
        done(i + (cascade ? 1 : 0));
        dropConstraint(catalog, def, c, cascade);
    } else if (verb.is(u"ENABLE") || verb.is(u"DISABLE")) {
        ++i;
        bool validate = verb.is(u"ENABLE");
        if (i < end && (t[i].is(u"VALIDATE") || t[i].is(u"NOVALIDATE")))
            validate = t[i++].is(u"VALIDATE");
        const ConstraintRow c = namedConstraint(catalog, def, t, i, end);
        const bool cascade = i < end && t[i].is(u"CASCADE");
        done(i + (cascade ? 1 : 0));
        setState(catalog, def, c, verb.is(u"ENABLE"), validate, cascade);
    } else if (verb.is(u"RENAME") && i + 2 < end && t[i + 1].is(u"TO")) {
        done(i + 3);
        renameTable(catalog, def, sql::unquoted(t[i + 2]));
    } else if (verb.is(u"RENAME") && i + 4 < end && t[i + 1].is(u"COLUMN") && t[i + 3].is(u"TO")) {
        done(i + 5);
        if (!const_cast<TableDef&>(def).column(sql::unquoted(t[i + 2])))
            throw oracleError(904, QStringLiteral("ORA-00904: \"%1\": invalid identifier")
                                       .arg(sql::unquoted(t[i + 2]).toUpper()));
        renameColumn(catalog, def, sql::unquoted(t[i + 2]), sql::unquoted(t[i + 4]));
    } else {
        throw oracleError(1735, QStringLiteral("ORA-01735: invalid ALTER TABLE option"));
    }
}

}  // namespace qv::embedded
