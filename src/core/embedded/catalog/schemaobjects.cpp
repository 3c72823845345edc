#include "core/embedded/base/sandbox.h"
#include "core/embedded/catalog/optimizerstats.h"
#include "core/embedded/catalog/schemacommands.h"
#include "core/embedded/catalog/sequences.h"
#include "core/embedded/translate/oraclecommands.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <algorithm>

namespace qv::embedded {

bool runTableCommand(const Catalog& catalog, const QString& sql, const std::vector<Token>& t,
                     size_t end, const StopCheck& stopped);

namespace {

using sql::quotedName;

// SQLite's IF [NOT] EXISTS at `i`; past it.
bool ifExists(const std::vector<Token>& t, size_t& i, size_t end, bool notExists) {
    const size_t words = notExists ? 3 : 2;
    if (i + words > end || !t[i].is(u"IF") || (notExists && !t[i + 1].is(u"NOT")) ||
        !t[i + words - 1].is(u"EXISTS"))
        return false;
    i += words;
    return true;
}

// CREATE [UNIQUE | BITMAP] INDEX name ON table (columns or expressions [ASC | DESC]) [options]
void createIndex(const Catalog& catalog, const QString& sql, const std::vector<Token>& t,
                 size_t end, const StopCheck& stopped) {
    size_t i = 1;
    const bool unique = t[i].is(u"UNIQUE");
    if (unique || t[i].is(u"BITMAP"))
        ++i;
    ++i;  // INDEX
    const bool ifNotExists = ifExists(t, i, end, true);
    const QString name = objectName(t, i, end);
    if (ifNotExists && !catalog.objectType(name).isEmpty())
        return;
    const QString table = indexedTable(catalog, t, i, end);
    if (i >= end || !t[i].isOp(u'('))
        missingParenthesis();
    const size_t close = sql::closing(t, i, end);
    if (close >= end)
        missingParenthesis();
    catalog.checkFreeName(name);
    // Oracle's options after the list (TABLESPACE, COMPUTE STATISTICS, ONLINE...) are storage.
    const QString oracle =
        QStringLiteral("CREATE %1INDEX %2 ON %3 %4")
            .arg(unique ? QStringLiteral("UNIQUE ") : QString(), quotedName(name),
                 quotedName(catalog.spelled(table)), sql::textOf(sql, t, i, close + 1));
    sqlite::Savepoint savepoint(catalog.db());
    try {
        catalog.userExec(sqliteText(ParsedStatement(oracle), stopped));
    } catch (const sqlite::Error& e) {
        if (e.extendedCode() == SQLITE_CONSTRAINT_UNIQUE)
            throw oracleError(1452, QStringLiteral("ORA-01452: cannot CREATE UNIQUE INDEX; "
                                                   "duplicate keys found"));
        throw;
    }
    // Oracle keeps one index per list of columns (expressions are told apart by their text).
    const QString columns = QStringLiteral(
        "SELECT group_concat(coalesce(name, '?') || ':' || \"desc\", ',') FROM "
        "(SELECT name, \"desc\" FROM pragma_index_xinfo(?) WHERE key ORDER BY seqno)");
    const auto mine = catalog.rows(columns, {name}).front().front();
    const auto expressions = catalog.rows(
        QStringLiteral("SELECT sql FROM main.sqlite_schema WHERE type = 'index' AND name = ?"),
        {name});
    for (const QStringList& other :
         catalog.rows(QStringLiteral("SELECT i.name, s.sql FROM pragma_index_list(?) i LEFT JOIN "
                                     "main.sqlite_schema s ON s.name = i.name WHERE i.name <> ?"),
                      {catalog.spelled(table), name})) {
        const bool sameColumns = catalog.rows(columns, {other[0]}).front().front() == mine;
        const bool sameText =
            !mine.contains(u'?') ||
            other[1].section(u'(', 1, -1) == expressions.front().front().section(u'(', 1, -1);
        if (sameColumns && sameText)
            throw oracleError(1408, QStringLiteral("ORA-01408: such column list already "
                                                   "indexed"));
    }
    // Oracle gathers an index's statistics as it builds it.
    {
        const EngineRights engine(catalog.sandbox());
        gatherStatistics(catalog.db(), name);
    }
    savepoint.commit();
}

void dropIndex(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    size_t i = 2;
    const bool onlyIfExists = ifExists(t, i, end, false);
    const QString name = objectName(t, i, end);
    if (onlyIfExists && catalog.objectType(name) != u"index")
        return;
    while (i < end && sql::isOneOf(t[i], {u"ONLINE", u"FORCE"}))
        ++i;
    if (i != end)
        throw oracleError(933, QStringLiteral("ORA-00933: SQL command not properly ended"));
    if (catalog.objectType(name) != u"index")
        throw oracleError(1418, QStringLiteral("ORA-01418: specified index does not exist"));
    if (const auto c = catalog.constraint(name);
        (c && (c->type == 'U' || c->type == 'P')) ||
        name.startsWith(u"sqlite_autoindex_", Qt::CaseInsensitive))
        throw oracleError(2429, QStringLiteral("ORA-02429: cannot drop index used for "
                                               "enforcement of unique/primary key"));
    sqlite::Savepoint savepoint(catalog.db());
    catalog.userExec(QStringLiteral("DROP INDEX main.%1").arg(quotedName(name)));
    {
        const EngineRights engine(catalog.sandbox());
        forgetIndexStatistics(catalog.db(), name);
    }
    savepoint.commit();
}

void forgetObject(const Catalog& catalog, const QString& name) {
    for (const ConstraintRow& c : catalog.constraintsOf(name))
        catalog.forget(c.name);
    if (catalog.has(kCommentsTable))
        catalog.engineExec(QStringLiteral("DELETE FROM \"QV$COMMENTS\" WHERE TABLE_NAME = "
                                          "upper(?)"),
                           {name});
}

// CREATE [OR REPLACE] [[NO] FORCE] [EDITIONABLE | NONEDITIONABLE] VIEW v [(columns)] AS query
// [WITH READ ONLY | WITH CHECK OPTION] [CONSTRAINT name]
bool createView(const Catalog& catalog, const QString& sql, const std::vector<Token>& t, size_t end,
                const StopCheck& stopped) {
    size_t i = 1;
    bool replace = false;
    if (i + 1 < end && t[i].is(u"OR") && t[i + 1].is(u"REPLACE")) {
        replace = true;
        i += 2;
    }
    bool force = false;
    while (i < end &&
           sql::isOneOf(t[i], {u"FORCE", u"NOFORCE", u"NO", u"EDITIONABLE", u"NONEDITIONABLE"})) {
        force = t[i].is(u"FORCE") && !t[i - 1].is(u"NO");
        ++i;
    }
    if (i >= end || !t[i].is(u"VIEW"))
        return false;
    ++i;
    const bool ifNotExists = ifExists(t, i, end, true);
    const QString name = objectName(t, i, end);
    if (ifNotExists && !catalog.objectType(name).isEmpty())
        return true;
    QString columns;
    if (i < end && t[i].isOp(u'(')) {
        const size_t close = sql::closing(t, i, end);
        columns = u' ' + sql::textOf(sql, t, i, close + 1);
        i = close + 1;
    }
    if (i >= end || !t[i].is(u"AS"))
        throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
    const size_t queryFirst = i + 1;
    size_t queryEnd = end;
    char option = 0;
    QString constraintName;
    for (size_t k = queryFirst + 1; k + 2 < end; ++k) {
        if (t[k].isOp(u'(')) {
            k = sql::closing(t, k, end);
            continue;
        }
        const bool readOnly = t[k + 1].is(u"READ") && t[k + 2].is(u"ONLY");
        if (t[k].is(u"WITH") && (readOnly || (t[k + 1].is(u"CHECK") && t[k + 2].is(u"OPTION")))) {
            option = readOnly ? 'O' : 'V';
            queryEnd = k;
            if (k + 4 < end && t[k + 3].is(u"CONSTRAINT"))
                constraintName = sql::unquoted(t[k + 4]);
            break;
        }
    }
    const QString oracleQuery = sql::textOf(sql, t, queryFirst, queryEnd);
    const QString query = sqliteText(ParsedStatement(oracleQuery), stopped);
    const QString existing = catalog.objectType(name);
    sqlite::Savepoint savepoint(catalog.db());
    if (replace && existing == u"view") {
        catalog.userExec(
            QStringLiteral("DROP VIEW main.%1").arg(quotedName(catalog.spelled(name))));
        forgetObject(catalog, name);
    } else {
        catalog.checkFreeName(name);
    }
    catalog.userExec(
        QStringLiteral("CREATE VIEW %1%2 AS %3").arg(quotedName(name), columns, query));
    // Oracle compiles a view when it is made: a missing table fails it, unless FORCE makes it
    // anyway.
    if (!force &&
        sqlite::Statement(catalog.db(),
                          QStringLiteral("SELECT * FROM main.%1").arg(quotedName(name)).toUtf8())
                .columnCount() > kMaxColumns)
        throw tooManyColumns();
    if (option) {
        ConstraintRow c;
        c.type = option;
        c.table = name.toUpper();
        c.name = constraintName.toUpper();
        if (c.name.isEmpty()) {
            c.name = catalog.systemName();
            c.generated = true;
        }
        catalog.store(c);
    }
    savepoint.commit();
    return true;
}

void dropView(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    size_t i = 2;
    const bool onlyIfExists = ifExists(t, i, end, false);
    const QString name = objectName(t, i, end);
    if (onlyIfExists && catalog.objectType(name) != u"view")
        return;
    if (i + 1 < end && t[i].is(u"CASCADE") && t[i + 1].is(u"CONSTRAINTS"))
        i += 2;
    if (i != end)
        throw oracleError(933, QStringLiteral("ORA-00933: SQL command not properly ended"));
    if (catalog.objectType(name) != u"view")
        throw oracleError(942, QStringLiteral("ORA-00942: table or view does not exist"));
    sqlite::Savepoint savepoint(catalog.db());
    catalog.userExec(QStringLiteral("DROP VIEW main.%1").arg(quotedName(catalog.spelled(name))));
    forgetObject(catalog, name);
    savepoint.commit();
}

// COMMENT ON TABLE t IS '...' | COMMENT ON COLUMN t.c IS '...'
void comment(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    if (end < 6 || !t[1].is(u"ON") || !(t[2].is(u"TABLE") || t[2].is(u"COLUMN")))
        throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
    const bool onColumn = t[2].is(u"COLUMN");
    std::vector<QString> parts;
    size_t i = 3;
    while (i < end && sql::isName(t[i])) {
        parts.push_back(sql::unquoted(t[i++]));
        if (i < end && t[i].isOp(u'.'))
            ++i;
        else
            break;
    }
    if (i + 2 != end || !t[i].is(u"IS") || t[i + 1].kind != sql::TokenKind::String)
        throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
    const size_t needed = onColumn ? 2 : 1;
    if (parts.size() < needed || parts.size() > needed + 1)
        throw oracleError(904, QStringLiteral("ORA-00904: : invalid identifier"));
    const QString table = parts[parts.size() - needed];
    const QString column = onColumn ? parts.back() : QStringLiteral("");  // the table's own
    const QString type = catalog.objectType(table);
    if ((type != u"table" && type != u"view") || isEngineName(table))
        throw oracleError(942, QStringLiteral("ORA-00942: table or view does not exist"));
    if (onColumn && catalog
                        .rows(QStringLiteral("SELECT 1 FROM pragma_table_info(?) WHERE "
                                             "upper(name) = upper(?)"),
                              {catalog.spelled(table), column})
                        .empty())
        throw oracleError(
            904, QStringLiteral("ORA-00904: \"%1\": invalid identifier").arg(column.toUpper()));
    catalog.ensure();
    // An empty comment is Oracle's NULL: the comment is gone.
    const QString text = sql::stringValue(t[i + 1]);
    if (text.isEmpty())
        catalog.engineExec(QStringLiteral("DELETE FROM \"QV$COMMENTS\" WHERE TABLE_NAME = "
                                          "upper(?) AND COLUMN_NAME = upper(?)"),
                           {table, column});
    else
        catalog.engineExec(QStringLiteral("INSERT OR REPLACE INTO \"QV$COMMENTS\" VALUES "
                                          "(upper(?), upper(?), ?)"),
                           {table, column, text});
}

// COMMIT [WORK] and ROLLBACK [WORK] end the transaction when one is open, and succeed when
// none is, as Oracle's always do. DDL commits the transaction open before it (`ddl`), as
// Oracle's does.
bool endTransaction(const Catalog& catalog, const std::vector<Token>& t, size_t end, bool ddl) {
    const bool commit = t[0].is(u"COMMIT");
    if (ddl) {
        if (!sqlite3_get_autocommit(catalog.db()))
            catalog.userExec(QStringLiteral("COMMIT"));
        return false;
    }
    if (!(commit || t[0].is(u"ROLLBACK")) || !(end == 1 || (end == 2 && t[1].is(u"WORK"))))
        return false;
    if (!sqlite3_get_autocommit(catalog.db()))
        catalog.userExec(commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
    return true;
}

// Oracle's statements for what the engine does not have: users, grants, synonyms, materialized
// views, global temporary tables, tablespaces, flashback...
std::optional<QString> unimplemented(const std::vector<Token>& t, size_t end) {
    const Token& verb = t[0];
    if (sql::isOneOf(verb, {u"GRANT", u"REVOKE", u"AUDIT", u"NOAUDIT", u"FLASHBACK", u"PURGE",
                            u"ASSOCIATE", u"DISASSOCIATE"}))
        return verb.text.toString().toUpper();
    if (!sql::isOneOf(verb, {u"CREATE", u"ALTER", u"DROP"}) || end < 2)
        return std::nullopt;
    size_t i = 1;
    if (i + 1 < end && t[i].is(u"OR") && t[i + 1].is(u"REPLACE"))
        i += 2;
    if (i + 1 < end && sql::isOneOf(t[i], {u"PUBLIC", u"GLOBAL", u"PRIVATE", u"SHARED"}))
        return QStringLiteral("%1 %2 %3")
            .arg(verb.text.toString(), t[i].text.toString(), t[i + 1].text.toString())
            .toUpper();
    if (i < end &&
        sql::isOneOf(t[i], {u"SYNONYM",   u"MATERIALIZED", u"USER",    u"ROLE",     u"TABLESPACE",
                            u"DIRECTORY", u"DATABASE",     u"CLUSTER", u"CONTEXT",  u"PROFILE",
                            u"DIMENSION", u"LIBRARY",      u"JAVA",    u"OPERATOR", u"INDEXTYPE",
                            u"OUTLINE",   u"EDITION",      u"SCHEMA",  u"SYSTEM",   u"SESSION"}) &&
        !(verb.is(u"ALTER") && t[i].is(u"SESSION")))
        // CREATE MATERIALIZED VIEW (LOG), named whole.
        return QStringList{
            verb.text.toString(), t[i].text.toString(),
            t[i].is(u"MATERIALIZED") && i + 1 < end ? t[i + 1].text.toString() : QString(),
            t[i].is(u"MATERIALIZED") && i + 3 < end && t[i + 2].is(u"LOG")
                ? t[i + 2].text.toString()
                : QString()}
            .join(u' ')
            .simplified()
            .toUpper();
    return std::nullopt;
}

// RENAME old TO new: a table's or a view's new name.
void rename(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    if (end != 4 || !sql::isName(t[1]) || !t[2].is(u"TO") || !sql::isName(t[3]))
        throw oracleError(946, QStringLiteral("ORA-00946: missing TO keyword"));
    const QString from = sql::unquoted(t[1]);
    const QString to = sql::unquoted(t[3]);
    if (isEngineName(from) || isEngineName(to))
        throw engineNameRefused(isEngineName(from) ? from : to);
    const QString type = catalog.objectType(from);
    if (type != u"table" && type != u"view")
        throw oracleError(942, QStringLiteral("ORA-00942: table or view does not exist"));
    if (type == u"table") {
        const QString alter =
            QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(quotedName(from), quotedName(to));
        alterTable(catalog, alter, sql::tokenize(alter), 6, {});
        return;
    }
    catalog.checkFreeName(to);
    sqlite::Savepoint savepoint(catalog.db());
    const QString definition =
        catalog
            .rows(QStringLiteral("SELECT sql FROM main.sqlite_schema WHERE name = ?"),
                  {catalog.spelled(from)})
            .front()
            .front();
    const std::vector<Token> v = sql::tokenize(definition);
    const size_t as = sql::findTopLevel(v, 0, v.size(), u"AS");
    size_t columns = 3;
    while (columns < as && !v[columns].isOp(u'('))
        ++columns;
    catalog.userExec(QStringLiteral("DROP VIEW main.%1").arg(quotedName(catalog.spelled(from))));
    catalog.userExec(QStringLiteral("CREATE VIEW %1 %2")
                         .arg(quotedName(to), sql::textOf(definition, v, columns, v.size())));
    for (const char* table : {"QV$CONSTRAINTS", "QV$COMMENTS"}) {
        if (catalog.has(QLatin1StringView(table)))
            catalog.engineExec(QStringLiteral("UPDATE \"%1\" SET TABLE_NAME = upper(?2) WHERE "
                                              "TABLE_NAME = upper(?1)")
                                   .arg(QLatin1StringView(table)),
                               {from, to});
    }
    {
        const EngineRights engine(catalog.sandbox());
        renameStatistics(catalog.db(), from, to);
    }
    savepoint.commit();
}

// TRUNCATE TABLE of a parent: Oracle refuses it while enabled foreign keys refer to it, rows or
// not (the truncation itself is translateCommand()'s).
void checkTruncate(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    if (end < 3 || !t[1].is(u"TABLE") || !sql::isName(t[2]))
        return;
    size_t i = 2;
    const QString table = objectName(t, i, end);
    for (const ConstraintRow& fk : catalog.referencing(table)) {
        if (fk.enabled && fk.table.compare(table, Qt::CaseInsensitive) != 0)
            throw oracleError(2266, QStringLiteral("ORA-02266: unique/primary keys in table "
                                                   "referenced by enabled foreign keys"));
    }
}

// ALTER VIEW v COMPILE: the view is compiled when read; a view whose tables are gone compiles
// with errors, which Oracle reports as a warning, not a failure.
void alterView(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    size_t i = 2;
    const QString name = objectName(t, i, end);
    if (catalog.objectType(name) != u"view")
        throw oracleError(942, QStringLiteral("ORA-00942: table or view does not exist"));
    if (i + 1 != end || !t[i].is(u"COMPILE"))
        throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature (ALTER VIEW "
                                               "is understood with COMPILE)"));
}

// ALTER INDEX i REBUILD [options]: SQLite's REINDEX.
void alterIndex(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    size_t i = 2;
    const QString name = objectName(t, i, end);
    if (i >= end || !t[i].is(u"REBUILD"))
        throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature (ALTER INDEX "
                                               "is understood with REBUILD)"));
    if (catalog.objectType(name) != u"index")
        throw oracleError(1418, QStringLiteral("ORA-01418: specified index does not exist"));
    catalog.userExec(QStringLiteral("REINDEX main.%1").arg(quotedName(catalog.spelled(name))));
}

// SQLite's ANALYZE (sqlite_stat1, stat4) with the user's rights, then the engine's own figures.
void gather(const Catalog& catalog, const QString& analyze, const QString& target) {
    sqlite::Savepoint savepoint(catalog.db());
    catalog.userExec(analyze);
    {
        const EngineRights engine(catalog.sandbox());
        gatherStatistics(catalog.db(), target);
    }
    savepoint.commit();
}

}  // namespace

QString indexedTable(const Catalog& catalog, const std::vector<Token>& t, size_t& i, size_t end) {
    if (i >= end || !t[i].is(u"ON"))
        throw oracleError(969, QStringLiteral("ORA-00969: missing ON keyword"));
    ++i;
    QString table = objectName(t, i, end);
    const QString type = catalog.objectType(table);
    if (type == u"view")
        throw oracleError(1702, QStringLiteral("ORA-01702: a view is not appropriate here"));
    if (type != u"table")
        throw oracleError(942, QStringLiteral("ORA-00942: table or view does not exist"));
    return table;
}

QString objectName(const std::vector<Token>& t, size_t& i, size_t end) {
    if (i >= end || !sql::isName(t[i]))
        throw oracleError(903, QStringLiteral("ORA-00903: invalid table name"));
    QString name = sql::unquoted(t[i++]);
    if (i + 1 < end && t[i].isOp(u'.') && sql::isName(t[i + 1])) {
        name = sql::unquoted(t[i + 1]);
        i += 2;
    }
    if (isEngineName(name))
        throw engineNameRefused(name);
    return name;
}

// ALTER TRIGGER [owner.]name ENABLE | DISABLE | COMPILE: ORA-04080 for a trigger the file does
// not have; a trigger SQLite runs is always enabled and needs no compiling, and stays so.
static void alterTrigger(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    size_t at = 2;
    while (at + 2 < end && t[at + 1].isOp(u'.'))
        at += 2;
    if (at >= end || !sql::isName(t[at]))
        throw oracleError(4070, QStringLiteral("ORA-04070: invalid trigger name"));
    const QString name = sql::unquoted(t[at]);
    if (catalog
            .rows(QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type = 'trigger' AND name = "
                                 "?1 COLLATE NOCASE"),
                  {name})
            .empty())
        throw oracleError(
            4080, QStringLiteral("ORA-04080: trigger '%1' does not exist").arg(name.toUpper()));
    if (at + 1 < end && t[at + 1].is(u"DISABLE"))
        throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature (a disabled "
                                               "trigger in the embedded engine)"));
}

bool runSchemaCommand(const Catalog& catalog, const QString& sql, const std::vector<Token>& t,
                      const StopCheck& stopped) {
    const size_t end = statementEnd(sql, t);
    if (end == 0)
        return false;
    for (size_t k = 0; k < end; ++k) {
        if (sql::isName(t[k]) && sql::unquoted(t[k]).toUtf8().size() > 128)
            throw oracleError(972, QStringLiteral("ORA-00972: identifier is too long"));
    }
    const bool ddl =
        sql::isOneOf(t[0], {u"CREATE", u"ALTER", u"DROP", u"COMMENT", u"RENAME", u"TRUNCATE"});
    if (endTransaction(catalog, t, end, ddl))
        return true;
    // Oracle takes no bind variable in DDL (PL/SQL units are refused as such by the translation).
    const bool unit =
        std::any_of(t.begin(), t.begin() + qsizetype(std::min<size_t>(end, 5)), [](const Token& k) {
            return sql::isOneOf(k, {u"TRIGGER", u"PROCEDURE", u"FUNCTION", u"PACKAGE", u"TYPE"});
        });
    if (ddl && !unit && std::any_of(t.begin(), t.begin() + qsizetype(end), [](const Token& k) {
            return k.kind == sql::TokenKind::Param;
        }))
        throw oracleError(1027, QStringLiteral("ORA-01027: bind variables not allowed for data "
                                               "definition operations"));
    if (const auto what = unimplemented(t, end))
        throw oracleError(3001, QStringLiteral("ORA-03001: unimplemented feature (%1 in the "
                                               "embedded engine)")
                                    .arg(*what));
    if (const auto target = statisticsTarget(sql, t, end)) {
        gather(catalog, *translateCommand(sql, t, end), *target);
        return true;
    }
    if (t[0].is(u"RENAME")) {
        rename(catalog, t, end);
        return true;
    }
    if (t[0].is(u"TRUNCATE")) {
        checkTruncate(catalog, t, end);
        return false;
    }
    if (end < 3)
        return false;
    if (t[0].is(u"ALTER") && t[1].is(u"INDEX")) {
        alterIndex(catalog, t, end);
        return true;
    }
    if (t[0].is(u"ALTER") && t[1].is(u"VIEW")) {
        alterView(catalog, t, end);
        return true;
    }
    if (t[0].is(u"ALTER") && t[1].is(u"TRIGGER")) {
        alterTrigger(catalog, t, end);
        return true;
    }
    if (runTableCommand(catalog, sql, t, end, stopped) || runSequenceCommand(catalog, t, end))
        return true;
    const Token& verb = t[0];
    if (verb.is(u"CREATE") &&
        (t[1].is(u"INDEX") || ((t[1].is(u"UNIQUE") || t[1].is(u"BITMAP")) && t[2].is(u"INDEX")))) {
        createIndex(catalog, sql, t, end, stopped);
        return true;
    }
    if (verb.is(u"DROP") && t[1].is(u"INDEX")) {
        dropIndex(catalog, t, end);
        return true;
    }
    if (verb.is(u"CREATE") && createView(catalog, sql, t, end, stopped))
        return true;
    if (verb.is(u"DROP") && t[1].is(u"VIEW")) {
        dropView(catalog, t, end);
        return true;
    }
    if (verb.is(u"COMMENT")) {
        comment(catalog, t, end);
        return true;
    }
    return false;
}

}  // namespace qv::embedded
