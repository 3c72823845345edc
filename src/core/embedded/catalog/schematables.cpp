#include "core/embedded/base/sandbox.h"
#include "core/embedded/catalog/identity.h"
#include "core/embedded/catalog/optimizerstats.h"
#include "core/embedded/catalog/schemacommands.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <algorithm>

namespace qv::embedded {

namespace {

using sql::quotedName;

[[noreturn]] void noSuchTable() {
    throw oracleError(942, QStringLiteral("ORA-00942: table or view does not exist"));
}

QString quotedColumns(const QStringList& names, const QString& prefix = {}) {
    QStringList quoted;
    for (const QString& n : names)
        quoted << prefix + quotedName(n);
    return quoted.join(QStringLiteral(", "));
}

// c1 = prefix.r1 AND c2 = prefix.r2
QString matching(const QStringList& left, const QString& leftPrefix, const QStringList& right,
                 const QString& rightPrefix) {
    QStringList terms;
    for (qsizetype k = 0; k < left.size() && k < right.size(); ++k)
        terms << leftPrefix + quotedName(left[k]) + QStringLiteral(" = ") + rightPrefix +
                     quotedName(right[k]);
    return terms.join(QStringLiteral(" AND "));
}

QString allNotNull(const QStringList& columns, const QString& prefix) {
    QStringList terms;
    for (const QString& c : columns)
        terms << prefix + quotedName(c) + QStringLiteral(" IS NOT NULL");
    return terms.join(QStringLiteral(" AND "));
}

// c1 = NULL, c2 = NULL
QString nulls(const QStringList& columns) {
    QStringList terms;
    for (const QString& c : columns)
        terms << quotedName(c) + QStringLiteral(" = NULL");
    return terms.join(QStringLiteral(", "));
}

QString triggerName(const ConstraintRow& c, const char* what) {
    return quotedName(QStringLiteral("qv$fk$%1$%2").arg(c.name, QLatin1StringView(what)));
}

QString raise(const ConstraintRow& c, bool parentMissing) {
    return QStringLiteral("SELECT RAISE(ABORT, %1)")
        .arg(sql::quotedString(
            parentMissing
                ? QStringLiteral("ORA-02291: integrity constraint (%1) violated - parent key not "
                                 "found")
                      .arg(c.name)
                : QStringLiteral("ORA-02292: integrity constraint (%1) violated - child record "
                                 "found")
                      .arg(c.name)));
}

// What [CREATE [GLOBAL TEMPORARY] TABLE] leaves to SQLite: a temporary table is its own.
bool isPlainCreateTable(const std::vector<Token>& t, size_t end) {
    return end > 2 && t[0].is(u"CREATE") && t[1].is(u"TABLE");
}

QString oracleCreateName(const std::vector<Token>& t, size_t& i, size_t end, bool& ifNotExists) {
    if (i + 2 < end && t[i].is(u"IF") && t[i + 1].is(u"NOT") && t[i + 2].is(u"EXISTS")) {
        ifNotExists = true;
        i += 3;
    }
    if (i >= end || !sql::isName(t[i]))
        throw oracleError(903, QStringLiteral("ORA-00903: invalid table name"));
    QString name = sql::unquoted(t[i++]);
    if (i + 1 < end && t[i].isOp(u'.') && sql::isName(t[i + 1])) {
        name = sql::unquoted(t[i + 1]);  // schema.table: the one schema
        i += 2;
    }
    if (isEngineName(name))
        throw engineNameRefused(name);
    return name;
}

// CREATE TABLE t (...) AS query, or without the list: the columns the query gives, with the
// types of the columns it reads.
QStringList queryColumns(const Catalog& catalog, const QString& query, TableDef& def) {
    sqlite::Statement stmt(catalog.db(), query.toUtf8());
    QStringList names;
    for (int c = 0; c < stmt.columnCount(); ++c) {
        if (def.columns.size() > size_t(c)) {
            names << def.columns[size_t(c)].name;
            continue;
        }
        ColumnDef col;
        col.name = stmt.columnName(c);
        col.type = stmt.declaredType(c);
        // A column read as it is keeps its collation too (CHAR's blank padding).
        const char* table = sqlite3_column_table_name(stmt.handle(), c);
        const char* origin = sqlite3_column_origin_name(stmt.handle(), c);
        const char* collation = nullptr;
        if (table && origin &&
            sqlite3_table_column_metadata(
                catalog.db(), sqlite3_column_database_name(stmt.handle(), c), table, origin,
                nullptr, &collation, nullptr, nullptr, nullptr) == SQLITE_OK &&
            collation && QByteArrayView(collation) != "BINARY")
            col.collate = QString::fromUtf8(collation);
        def.columns.push_back(col);
        names << col.name;
    }
    if (def.columns.size() != size_t(stmt.columnCount()))
        throw oracleError(1730, QStringLiteral("ORA-01730: invalid number of column names "
                                               "specified"));
    return names;
}

// Tables whose own (SQLite's) foreign keys refer to `parent`: a file another program made.
QStringList nativeChildren(const Catalog& catalog, const QString& parent) {
    QStringList children;
    for (const QStringList& r : catalog.rows(
             QStringLiteral("SELECT DISTINCT s.name FROM main.sqlite_schema s, "
                            "pragma_foreign_key_list(s.name) f WHERE s.type = 'table' AND "
                            "upper(f.\"table\") = upper(?1) AND upper(s.name) <> upper(?1)"),
             {parent}))
        children << r.front();
    return children;
}

void createTable(const Catalog& catalog, const QString& sql, const std::vector<Token>& t,
                 size_t end, const StopCheck& stopped) {
    size_t i = 2;
    bool ifNotExists = false;
    const QString name = oracleCreateName(t, i, end, ifNotExists);
    if (!catalog.objectType(name).isEmpty() && ifNotExists)
        return;
    catalog.checkFreeName(name);
    size_t queryAt = end;
    size_t k = i;
    while (k < end && !startsTableQuery(t, k))
        k = t[k].isOp(u'(') ? sql::closing(t, k, end) + 1 : k + 1;
    queryAt = k;
    // The definition in SQLite's terms: types and expressions translated.
    const QString definition = QStringLiteral("CREATE TABLE x ") + sql::textOf(sql, t, i, queryAt);
    const QString translated = sqliteText(ParsedStatement(definition), stopped);
    const std::vector<Token> tt = sql::tokenize(translated);
    TableDef def = readTableDef(translated, tt, 3, tt.size());
    def.name = name;
    QString query;
    if (queryAt < end) {
        const QString oracleQuery = sql::textOf(sql, t, queryAt + 1, end);
        query = sqliteText(ParsedStatement(oracleQuery), stopped);
        for (ColumnDef& c : def.columns) {
            if (!c.type.isEmpty())
                throw oracleError(1773, QStringLiteral("ORA-01773: may not specify column "
                                                       "datatypes in this CREATE TABLE"));
        }
    }
    nameConstraints(catalog, def);
    checkIdentity(def);
    catalog.ensure();
    sqlite::Savepoint savepoint(catalog.db());
    QStringList names;
    if (!query.isEmpty())
        names = queryColumns(catalog, query, def);
    catalog.userExec(createTableSql(def));
    makeIdentity(catalog, def);
    if (!query.isEmpty())
        catalog.userExec(QStringLiteral("INSERT INTO %1 (%2) %3")
                             .arg(quotedName(name), quotedColumns(names), query));
    for (const ConstraintRow& c : def.constraints) {
        catalog.store(c);
        if (c.enabled)
            enforceOutside(catalog, c);
    }
    savepoint.commit();
}

void dropTable(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    size_t i = 2;
    bool ifExists = false;
    if (i + 1 < end && t[i].is(u"IF") && t[i + 1].is(u"EXISTS")) {
        ifExists = true;
        i += 2;
    }
    if (i >= end || !sql::isName(t[i]))
        throw oracleError(903, QStringLiteral("ORA-00903: invalid table name"));
    QString name = sql::unquoted(t[i++]);
    if (i + 1 < end && t[i].isOp(u'.') && sql::isName(t[i + 1])) {
        name = sql::unquoted(t[i + 1]);
        i += 2;
    }
    bool cascade = false;
    if (i + 1 < end && t[i].is(u"CASCADE") && t[i + 1].is(u"CONSTRAINTS")) {
        cascade = true;
        i += 2;
    }
    if (i < end && t[i].is(u"PURGE"))
        ++i;
    if (i != end)
        throw oracleError(933, QStringLiteral("ORA-00933: SQL command not properly ended"));
    if (isEngineName(name))
        throw engineNameRefused(name);
    if (catalog.objectType(name) != u"table") {
        if (ifExists)
            return;
        noSuchTable();
    }
    sqlite::Savepoint savepoint(catalog.db());
    for (const ConstraintRow& fk : catalog.referencing(name)) {
        if (fk.table.compare(name, Qt::CaseInsensitive) == 0)
            continue;
        if (!cascade)
            throw oracleError(2449, QStringLiteral("ORA-02449: unique/primary keys in table "
                                                   "referenced by foreign keys"));
        stopEnforcingOutside(catalog, fk);
        catalog.forget(fk.name);
    }
    for (const QString& child : nativeChildren(catalog, name)) {
        if (!cascade)
            throw oracleError(2449, QStringLiteral("ORA-02449: unique/primary keys in table "
                                                   "referenced by foreign keys"));
        TableDef def = currentTableDef(catalog, child);
        std::erase_if(def.constraints, [&](const ConstraintRow& c) {
            return c.native && c.type == 'R' && c.refTable.compare(name, Qt::CaseInsensitive) == 0;
        });
        std::vector<std::pair<QString, QString>> copied;
        for (const ColumnDef& c : def.columns)
            copied.emplace_back(c.name, c.name);
        rebuildTable(catalog, def, copied);
    }
    for (const ConstraintRow& c : catalog.constraintsOf(name)) {
        stopEnforcingOutside(catalog, c);
        catalog.forget(c.name);
    }
    forgetIdentity(catalog, name);
    // With the engine's rights: the table's own triggers (foreign keys') go with it.
    catalog.engineExec(QStringLiteral("DROP TABLE main.%1").arg(quotedName(name)));
    if (catalog.has(kCommentsTable))
        catalog.engineExec(QStringLiteral("DELETE FROM \"QV$COMMENTS\" WHERE TABLE_NAME = "
                                          "upper(?)"),
                           {name});
    {
        const EngineRights engine(catalog.sandbox());
        forgetStatistics(catalog.db(), name);
    }
    savepoint.commit();
}

}  // namespace

void nameConstraints(const Catalog& catalog, TableDef& def, size_t from) {
    QString next = catalog.systemName();
    int primaryKeys = 0;
    for (size_t k = 0; k < def.constraints.size(); ++k) {
        ConstraintRow& c = def.constraints[k];
        if (k < from) {
            primaryKeys += c.type == 'P' ? 1 : 0;
            continue;
        }
        c.table = def.name.toUpper();
        if (c.name.isEmpty()) {
            c.name = next;
            c.generated = true;
            next = QStringLiteral("SYS_C%1").arg(next.mid(5).toLongLong() + 1, 7, 10, QChar(u'0'));
        } else if (catalog.constraint(c.name)) {
            throw oracleError(2264, QStringLiteral("ORA-02264: name already used by an existing "
                                                   "constraint"));
        }
        for (const QString& col : c.columns) {
            if (!def.column(col))
                throw oracleError(904,
                                  QStringLiteral("ORA-00904: \"%1\": invalid identifier").arg(col));
        }
        if (c.type == 'P' && ++primaryKeys > 1)
            throw oracleError(2260, QStringLiteral("ORA-02260: table can have only one primary "
                                                   "key"));
        if (c.type == 'P') {
            for (const QString& col : c.columns) {
                def.column(col)->notNull = true;
            }
        }
        if (c.type == 'R')
            checkParent(catalog, &def, c);
    }
    if (def.withoutRowid && primaryKeys == 0)
        throw oracleError(25175, QStringLiteral("ORA-25175: no PRIMARY KEY constraint found"));
}

void checkParent(const Catalog& catalog, const TableDef* self, ConstraintRow& fk) {
    const bool toSelf = self && fk.refTable.compare(self->name, Qt::CaseInsensitive) == 0;
    if (!toSelf && catalog.objectType(fk.refTable) != u"table")
        noSuchTable();
    // The parent's keys, also those of a table another program made.
    const std::vector<ConstraintRow> keys =
        toSelf ? self->constraints : currentTableDef(catalog, fk.refTable).constraints;
    fk.refTable = fk.refTable.toUpper();
    if (fk.refColumns.isEmpty()) {
        for (const ConstraintRow& c : keys) {
            if (c.type == 'P')
                fk.refColumns = c.columns;
        }
        if (fk.refColumns.isEmpty())
            throw oracleError(2268, QStringLiteral("ORA-02268: referenced table does not have a "
                                                   "primary key"));
    }
    if (fk.refColumns.size() != fk.columns.size())
        throw oracleError(2256, QStringLiteral("ORA-02256: number of referencing columns must "
                                               "match referenced columns"));
    for (const ConstraintRow& c : keys) {
        if ((c.type == 'P' || c.type == 'U') && c.columns == fk.refColumns)
            return;
    }
    throw oracleError(2270, QStringLiteral("ORA-02270: no matching unique or primary key for "
                                           "this column-list"));
}

void enforceOutside(const Catalog& catalog, const ConstraintRow& c) {
    if (c.type == 'U') {
        catalog.userExec(QStringLiteral("CREATE UNIQUE INDEX %1 ON %2 (%3)")
                             .arg(quotedName(c.name), quotedName(catalog.spelled(c.table)),
                                  quotedColumns(c.columns)));
        return;
    }
    if (c.type != 'R')
        return;
    const QString child = quotedName(catalog.spelled(c.table));
    const QString parent = quotedName(catalog.spelled(c.refTable));
    const QString missing =
        QStringLiteral(
            "FOR EACH ROW WHEN %1 AND NOT EXISTS (SELECT 1 FROM %2 WHERE %3) BEGIN "
            "%4; END")
            .arg(allNotNull(c.columns, QStringLiteral("NEW.")), parent,
                 matching(c.refColumns, {}, c.columns, QStringLiteral("NEW.")), raise(c, true));
    // AFTER triggers: SQLite computes the new row a second time for a BEFORE trigger, which
    // would move a sequence twice; after the row is written it also finds itself as its parent.
    catalog.engineExec(QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 %3")
                           .arg(triggerName(c, "ins"), child, missing));
    catalog.engineExec(QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2 ON %3 %4")
                           .arg(triggerName(c, "upd"), quotedColumns(c.columns), child, missing));
    const QString children =
        QStringLiteral("%1 WHERE %2")
            .arg(child, matching(c.columns, {}, c.refColumns, QStringLiteral("OLD.")));
    QString onDelete;
    if (c.deleteRule == u"CASCADE")
        onDelete = QStringLiteral("AFTER DELETE ON %1 FOR EACH ROW BEGIN DELETE FROM %2; END")
                       .arg(parent, children);
    else if (c.deleteRule == u"SET NULL")
        onDelete = QStringLiteral(
                       "AFTER DELETE ON %1 FOR EACH ROW BEGIN UPDATE %2 SET %3 WHERE "
                       "%4; END")
                       .arg(parent, child, nulls(c.columns),
                            matching(c.columns, {}, c.refColumns, QStringLiteral("OLD.")));
    else
        onDelete = QStringLiteral(
                       "AFTER DELETE ON %1 FOR EACH ROW WHEN EXISTS (SELECT 1 FROM "
                       "%2) BEGIN %3; END")
                       .arg(parent, children, raise(c, false));
    catalog.engineExec(QStringLiteral("CREATE TRIGGER %1 %2").arg(triggerName(c, "del"), onDelete));
    QStringList changed;
    for (const QString& r : c.refColumns)
        changed << QStringLiteral("NEW.%1 IS NOT OLD.%1").arg(quotedName(r));
    catalog.engineExec(QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2 ON %3 FOR EACH ROW "
                                      "WHEN (%4) AND EXISTS (SELECT 1 FROM %5) BEGIN %6; END")
                           .arg(triggerName(c, "key"), quotedColumns(c.refColumns), parent,
                                changed.join(QStringLiteral(" OR ")), children, raise(c, false)));
}

void stopEnforcingOutside(const Catalog& catalog, const ConstraintRow& c) {
    if (c.type == 'U') {
        catalog.engineExec(QStringLiteral("DROP INDEX IF EXISTS main.%1").arg(quotedName(c.name)));
    } else if (c.type == 'R') {
        for (const char* what : {"ins", "upd", "del", "key"})
            catalog.engineExec(
                QStringLiteral("DROP TRIGGER IF EXISTS main.%1").arg(triggerName(c, what)));
    }
}

void validateRows(const Catalog& catalog, const ConstraintRow& c) {
    const QString table = quotedName(catalog.spelled(c.table));
    const QString named = catalog.schema() + u'.' + c.name;
    auto any = [&](const QString& query) { return !catalog.rows(query).empty(); };
    if (c.type == 'P' || c.type == 'U') {
        const QString cols = quotedColumns(c.columns);
        if (any(QStringLiteral("SELECT 1 FROM %1 WHERE %2 GROUP BY %3 HAVING count(*) > 1 LIMIT 1")
                    .arg(table, allNotNull(c.columns, {}), cols)))
            throw c.type == 'P'
                ? oracleError(2437, QStringLiteral("ORA-02437: cannot validate (%1) - primary key "
                                                   "violated")
                                        .arg(named))
                : oracleError(2299, QStringLiteral("ORA-02299: cannot validate (%1) - duplicate "
                                                   "keys found")
                                        .arg(named));
        if (c.type == 'P' && any(QStringLiteral("SELECT 1 FROM %1 WHERE NOT (%2) LIMIT 1")
                                     .arg(table, allNotNull(c.columns, {}))))
            throw oracleError(1449, QStringLiteral("ORA-01449: column contains NULL values; "
                                                   "cannot alter to NOT NULL"));
    } else if (c.type == 'N') {
        if (any(QStringLiteral("SELECT 1 FROM %1 WHERE %2 IS NULL LIMIT 1")
                    .arg(table, quotedName(c.columns.value(0)))))
            throw oracleError(2296, QStringLiteral("ORA-02296: cannot enable (%1) - null values "
                                                   "found")
                                        .arg(named));
    } else if (c.type == 'C') {
        if (any(QStringLiteral("SELECT 1 FROM %1 WHERE NOT (%2) LIMIT 1").arg(table, c.condition)))
            throw oracleError(2293, QStringLiteral("ORA-02293: cannot validate (%1) - check "
                                                   "constraint violated")
                                        .arg(named));
    } else if (c.type == 'R') {
        if (any(QStringLiteral("SELECT 1 FROM %1 c WHERE %2 AND NOT EXISTS (SELECT 1 FROM %3 p "
                               "WHERE %4) LIMIT 1")
                    .arg(table, allNotNull(c.columns, QStringLiteral("c.")),
                         quotedName(catalog.spelled(c.refTable)),
                         matching(c.refColumns, QStringLiteral("p."), c.columns,
                                  QStringLiteral("c.")))))
            throw oracleError(2298, QStringLiteral("ORA-02298: cannot validate (%1) - parent keys "
                                                   "not found")
                                        .arg(named));
    }
}

TableDef currentTableDef(const Catalog& catalog, const QString& table) {
    const auto found = catalog.rows(
        QStringLiteral("SELECT name, sql FROM main.sqlite_schema WHERE type = 'table' AND "
                       "upper(name) = upper(?)"),
        {table});
    if (found.empty() || isEngineName(table))
        noSuchTable();
    const QString& text = found.front()[1];
    const std::vector<Token> t = sql::tokenize(text);
    if (t.size() > 1 && t[1].is(u"VIRTUAL"))
        throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature (changing a "
                                               "virtual table)"));
    size_t open = 0;
    while (open < t.size() && !t[open].isOp(u'('))
        ++open;
    TableDef def = readTableDef(text, t, open, t.size());
    def.name = found.front()[0];
    // NOT NULL constraints are the catalog's, below; the columns' flags say the same.
    std::erase_if(def.constraints, [](const ConstraintRow& c) { return c.type == 'N'; });
    for (ConstraintRow& c : def.constraints) {
        c.table = def.name.toUpper();
        c.native = c.type == 'U' || c.type == 'R';
    }
    for (const ConstraintRow& c : catalog.constraintsOf(table)) {
        const bool inTable = std::any_of(def.constraints.begin(), def.constraints.end(),
                                         [&](const ConstraintRow& d) { return d.name == c.name; });
        if (inTable) {
            for (ConstraintRow& d : def.constraints) {
                if (d.name == c.name)
                    d = c;
            }
        } else {
            def.constraints.push_back(c);
        }
    }
    return def;
}

// SQLite's own procedure makes the new table under another name and renames it once the old one
// is dropped; but a rename checks every view and trigger of the schema, and those that name the
// table (a view over it, another table's foreign key trigger) fail that check while it is gone.
// So the rows wait in a temporary table, and the table is made again under its own name: twice
// the copying, and nothing else in the schema touched. The caller holds a savepoint.
void rebuildTable(const Catalog& catalog, const TableDef& def,
                  const std::vector<std::pair<QString, QString>>& copied) {
    const QString table = quotedName(def.name);
    // Rows of other tables whose own (SQLite's) foreign keys refer to this one wait for its rows
    // to come back: the check is left to the end of the transaction.
    if (!nativeChildren(catalog, def.name).isEmpty())
        catalog.engineExec(QStringLiteral("PRAGMA defer_foreign_keys = ON"));
    const auto saved = catalog.rows(
        QStringLiteral("SELECT sql FROM main.sqlite_schema WHERE type IN ('index', 'trigger') AND "
                       "upper(tbl_name) = upper(?) AND sql IS NOT NULL ORDER BY type = 'trigger'"),
        {def.name});
    bool gathered = false;
    {
        const EngineRights engine(catalog.sandbox());
        gathered = hasStatistics(catalog.db(), def.name);
    }
    const bool analyzed =
        catalog.has(QStringLiteral("sqlite_stat1")) &&
        !catalog
             .rows(QStringLiteral("SELECT 1 FROM main.sqlite_stat1 WHERE upper(tbl) = upper(?)"),
                   {def.name})
             .empty();
    QStringList to, from;
    for (const auto& [now, before] : copied) {
        to << quotedName(now);
        from << quotedName(before);
    }
    catalog.engineExec(
        QStringLiteral("CREATE TEMP TABLE \"qv$rebuild\" AS SELECT * FROM main.%1").arg(table));
    catalog.engineExec(QStringLiteral("DROP TABLE main.%1").arg(table));
    catalog.userExec(createTableSql(def));
    // A check enabled without validation holds for new rows only, as in Oracle: the rows copied
    // are not held to it.
    const bool unchecked = std::any_of(
        def.constraints.begin(), def.constraints.end(),
        [](const ConstraintRow& c) { return c.type == 'C' && c.enabled && !c.validated; });
    if (unchecked)
        catalog.engineExec(QStringLiteral("PRAGMA ignore_check_constraints = ON"));
    try {
        catalog.engineExec(
            QStringLiteral("INSERT INTO main.%1 (%2) SELECT %3 FROM temp.\"qv$rebuild\"")
                .arg(table, to.join(QStringLiteral(", ")), from.join(QStringLiteral(", "))));
    } catch (...) {
        if (unchecked)
            catalog.engineExec(QStringLiteral("PRAGMA ignore_check_constraints = OFF"));
        throw;
    }
    if (unchecked)
        catalog.engineExec(QStringLiteral("PRAGMA ignore_check_constraints = OFF"));
    catalog.engineExec(QStringLiteral("DROP TABLE temp.\"qv$rebuild\""));
    for (const QStringList& object : saved) {
        try {
            catalog.engineExec(object.front());
        } catch (const sqlite::Error& e) {
            // An index or trigger on a column that is gone goes with it.
            if (!e.description().contains(u"no such column") &&
                !e.description().contains(u"has no column"))
                throw;
        }
    }
    // The statistics went with the old table; gathered again once its indexes are back, as
    // Oracle keeps them.
    if (analyzed)
        catalog.engineExec(QStringLiteral("ANALYZE main.%1").arg(table));
    if (gathered) {
        const EngineRights engine(catalog.sandbox());
        gatherStatistics(catalog.db(), def.name);
    }
}

size_t statementEnd(const QString& sql, const std::vector<Token>& t) {
    size_t end = t.size();
    if (end > 0 && t[end - 1].isOp(u'/') &&
        (end == 1 || sql.mid(t[end - 2].end, t[end - 1].begin - t[end - 2].end).contains(u'\n')))
        --end;
    while (end > 0 && t[end - 1].isOp(u';'))
        --end;
    return end;
}

// Tables, run from runSchemaCommand (schemaobjects.cpp).
bool runTableCommand(const Catalog& catalog, const QString& sql, const std::vector<Token>& t,
                     size_t end, const StopCheck& stopped) {
    // A session's temporary table is SQLite's own.
    size_t named = 2;
    if (end > 3 && t[2].is(u"IF"))
        named = t[3].is(u"EXISTS") ? 4 : 2;
    if (named < end && sql::isName(t[named]) && (t[0].is(u"DROP") || t[0].is(u"ALTER")) &&
        catalog.isTemporary(sql::unquoted(t[named])))
        return false;
    if (isPlainCreateTable(t, end)) {
        createTable(catalog, sql, t, end, stopped);
        return true;
    }
    if (end > 2 && t[0].is(u"DROP") && t[1].is(u"TABLE")) {
        dropTable(catalog, t, end);
        return true;
    }
    if (end > 2 && t[0].is(u"ALTER") && t[1].is(u"TABLE")) {
        alterTable(catalog, sql, t, end, stopped);
        return true;
    }
    return false;
}

}  // namespace qv::embedded
