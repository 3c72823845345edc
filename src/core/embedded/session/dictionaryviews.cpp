#include "core/embedded/session/dictionaryviews.h"

#include "core/embedded/catalog/optimizerstats.h"
#include "core/embedded/session/dictionaryviewlist.h"
#include "core/sqlite/sqlite.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <new>
#include <vector>

namespace qv::embedded {

namespace {

// The user's objects: neither SQLite's nor the engine's own.
#define QV_USER_OBJECT                                                              \
    "s.type IN ('table', 'view') AND lower(substr(s.name, 1, 7)) <> 'sqlite_' AND " \
    "lower(substr(s.name, 1, 3)) <> 'qv$'"

const DictionaryView kViews[] = {
    {"user_tab_comments",
     "CREATE TABLE x(TABLE_NAME VARCHAR2(128), TABLE_TYPE VARCHAR2(11), COMMENTS "
     "VARCHAR2(4000))",
     "SELECT upper(s.name), CASE s.type WHEN 'view' THEN 'VIEW' ELSE 'TABLE' END, c.COMMENTS "
     "FROM main.sqlite_schema s LEFT JOIN %1 c ON c.TABLE_NAME = upper(s.name) AND "
     "c.COLUMN_NAME = '' WHERE " QV_USER_OBJECT " ORDER BY 1",
     "QV$COMMENTS"},
    {"user_col_comments",
     "CREATE TABLE x(TABLE_NAME VARCHAR2(128), COLUMN_NAME VARCHAR2(128), COMMENTS "
     "VARCHAR2(4000))",
     // Per object: a view whose tables are gone (made with FORCE) has no columns to show, and
     // the others still do.
     "SELECT upper(?1), upper(p.name), c.COMMENTS FROM pragma_table_info(?1) p LEFT JOIN %1 c "
     "ON c.TABLE_NAME = upper(?1) AND c.COLUMN_NAME = upper(p.name) ORDER BY p.cid",
     "QV$COMMENTS", true},
    {"user_sequences",
     "CREATE TABLE x(SEQUENCE_NAME VARCHAR2(128), MIN_VALUE NUMBER, MAX_VALUE NUMBER, "
     "INCREMENT_BY NUMBER, CYCLE_FLAG VARCHAR2(1), ORDER_FLAG VARCHAR2(1), CACHE_SIZE NUMBER, "
     "LAST_NUMBER NUMBER)",
     // Without a bound of its own a sequence shows Oracle's: 28 nines up, 27 down.
     "SELECT NAME, CASE MIN_VALUE WHEN -9223372036854775808 THEN "
     "'-999999999999999999999999999' ELSE MIN_VALUE END, CASE MAX_VALUE WHEN "
     "9223372036854775807 THEN '9999999999999999999999999999' ELSE MAX_VALUE END, INCREMENT_BY, "
     "CYCLE_FLAG, ORDER_FLAG, CACHE_SIZE, "
     "LAST_NUMBER FROM %1 ORDER BY NAME",
     "QV$SEQUENCES", false, true},
    {"user_tab_identity_cols",
     "CREATE TABLE x(TABLE_NAME VARCHAR2(128), COLUMN_NAME VARCHAR2(128), GENERATION_TYPE "
     "VARCHAR2(10), SEQUENCE_NAME VARCHAR2(128), IDENTITY_OPTIONS VARCHAR2(298))",
     "SELECT i.TABLE_NAME, i.COLUMN_NAME, i.GENERATION_TYPE, i.SEQUENCE_NAME, 'START WITH: ' || "
     "i.START_WITH || ', INCREMENT BY: ' || q.INCREMENT_BY || ', MAX_VALUE: ' || CASE "
     "q.MAX_VALUE WHEN 9223372036854775807 THEN '9999999999999999999999999999' ELSE q.MAX_VALUE "
     "END || ', MIN_VALUE: ' || CASE q.MIN_VALUE WHEN -9223372036854775808 THEN "
     "'-999999999999999999999999999' ELSE q.MIN_VALUE END || ', CYCLE_FLAG: ' || q.CYCLE_FLAG || "
     "', CACHE_SIZE: ' || q.CACHE_SIZE || ', ORDER_FLAG: ' || q.ORDER_FLAG || ', SCALE_FLAG: N, "
     "EXTEND_FLAG: N, KEEP_VALUE: N' FROM %1 i JOIN %2 q ON q.NAME = i.SEQUENCE_NAME ORDER BY "
     "i.TABLE_NAME",
     "QV$IDENTITY_COLS QV$SEQUENCES", false, true},
    {"user_constraints",
     "CREATE TABLE x(CONSTRAINT_NAME VARCHAR2(128), CONSTRAINT_TYPE VARCHAR2(1), TABLE_NAME "
     "VARCHAR2(128), SEARCH_CONDITION VARCHAR2(4000), R_CONSTRAINT_NAME VARCHAR2(128), "
     "DELETE_RULE VARCHAR2(9), STATUS VARCHAR2(8), VALIDATED VARCHAR2(13), GENERATED "
     "VARCHAR2(14), INDEX_NAME VARCHAR2(128))",
     // A NOT NULL constraint is a check to Oracle's dictionary; a foreign key names the key it
     // refers to; a primary key's or unique constraint's index is named after it.
     "SELECT c.NAME, CASE c.TYPE WHEN 'N' THEN 'C' ELSE c.TYPE END, c.TABLE_NAME, "
     "c.SEARCH_CONDITION, (SELECT k.NAME FROM %1 k WHERE k.TABLE_NAME = c.R_TABLE AND k.TYPE IN "
     "('P', 'U') AND k.COLUMNS = c.R_COLUMNS), c.DELETE_RULE, c.STATUS, c.VALIDATED, "
     "c.GENERATED, CASE WHEN c.TYPE IN ('P', 'U') THEN c.NAME END FROM %1 c UNION ALL "
     // The rowid key (INTEGER PRIMARY KEY) of a table the engine did not make: PK_ and the
     // table's name, as the plans name its index.
     "SELECT 'PK_' || upper(s.name), 'P', upper(s.name), NULL, NULL, NULL, 'ENABLED', "
     "'VALIDATED', 'USER NAME', 'PK_' || upper(s.name) FROM main.sqlite_schema s JOIN "
     "pragma_table_info(s.name) p ON p.pk = 1 AND upper(p.type) = 'INTEGER' WHERE s.type = "
     "'table' AND lower(substr(s.name, 1, 7)) <> 'sqlite_' AND lower(substr(s.name, 1, 3)) <> "
     "'qv$' AND s.sql NOT LIKE 'CREATE VIRTUAL%' AND (SELECT count(*) FROM "
     "pragma_table_info(s.name) WHERE pk > 0) = 1 AND (SELECT wr FROM pragma_table_list(s.name) "
     "WHERE schema = 'main') = 0 AND NOT EXISTS (SELECT 1 FROM %1 k WHERE k.TABLE_NAME = "
     "upper(s.name) AND k.TYPE = 'P') ORDER BY 3, 1",
     "QV$CONSTRAINTS"},
};

struct ViewTable : sqlite3_vtab {
    const DictionaryView* view;
    sqlite3* db;
};

// A value as the catalog holds it: NULL, an integer, a real, text or bytes (a RAW).
struct Cell {
    int type = SQLITE_NULL;
    int64_t integer = 0;
    double real = 0;
    QByteArray text;
};

struct ViewCursor : sqlite3_vtab_cursor {
    std::vector<std::vector<Cell>> rows;
    size_t at = 0;
};

int viewConnect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**) {
    const auto* view = static_cast<const DictionaryView*>(aux);
    const int rc = sqlite3_declare_vtab(db, view->schema);
    if (rc != SQLITE_OK)
        return rc;
    auto* table = new (std::nothrow) ViewTable{};
    if (!table)
        return SQLITE_NOMEM;
    table->view = view;
    table->db = db;
    *out = table;
    return SQLITE_OK;
}

int viewDisconnect(sqlite3_vtab* table) {
    delete static_cast<ViewTable*>(table);
    return SQLITE_OK;
}

int viewBestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
    info->estimatedCost = 100;
    info->estimatedRows = 100;
    return SQLITE_OK;
}

int viewOpen(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    *out = new (std::nothrow) ViewCursor{};
    return *out ? SQLITE_OK : SQLITE_NOMEM;
}

int viewClose(sqlite3_vtab_cursor* cursor) {
    delete static_cast<ViewCursor*>(cursor);
    return SQLITE_OK;
}

// The rows of `query` (with ?1 bound to `object` when given) added to the cursor's; SQLite's
// result code.
int addRows(sqlite3* db, const QByteArray& query, const QByteArray& object, ViewCursor* c) {
    try {
        sqlite::Statement stmt(db, query);
        if (!object.isNull())
            stmt.bind(1, QByteArrayView(object));
        while (stmt.step()) {
            std::vector<Cell> row;
            for (int k = 0; k < stmt.columnCount(); ++k) {
                Cell cell;
                cell.type = stmt.type(k);
                if (cell.type == SQLITE_INTEGER)
                    cell.integer = stmt.integer(k);
                else if (cell.type == SQLITE_FLOAT)
                    cell.real = stmt.real(k);
                else if (cell.type != SQLITE_NULL)
                    cell.text = stmt.blob(k);
                row.push_back(std::move(cell));
            }
            c->rows.push_back(std::move(row));
        }
        return SQLITE_OK;
    } catch (const sqlite::Error& e) {
        return e.extendedCode();
    }
}

// Whether the file has the catalog table `table`; not when that cannot be read.
bool catalogPresent(sqlite3* db, const QString& table) {
    try {
        sqlite::Statement probe(
            db, "SELECT 1 FROM main.sqlite_schema WHERE type = 'table' AND name = ?");
        probe.bind(1, table);
        return probe.step();
    } catch (const sqlite::Error&) {
        return false;
    }
}

// What a view reads in place of a catalog table the file does not have yet: no rows, the same
// columns.
QString emptyCatalog(const QString& table) {
    QString columns = statisticsColumns(table);
    if (table == u"QV$COMMENTS")
        columns = QStringLiteral("TABLE_NAME,COLUMN_NAME,COMMENTS");
    else if (table == u"QV$SEQUENCES")
        columns = QStringLiteral("NAME");
    else if (table == u"QV$CONSTRAINTS")
        columns = QStringLiteral(
            "NAME,TABLE_NAME,TYPE,COLUMNS,R_TABLE,R_COLUMNS,DELETE_RULE,"
            "STATUS,VALIDATED,SEARCH_CONDITION,GENERATED");
    else if (table == u"QV$IDENTITY_COLS")
        columns = QStringLiteral("TABLE_NAME,COLUMN_NAME,SEQUENCE_NAME,DEFAULT_ON_NULL");
    QStringList nulls;
    for (const QString& c : columns.split(u',', Qt::SkipEmptyParts))
        nulls << QStringLiteral("NULL AS ") + c;
    return QStringLiteral("(SELECT %1 WHERE 0)").arg(nulls.join(QStringLiteral(", ")));
}

// The rows, read now; none when the view needs a catalog table the file does not have yet.
int readRows(ViewTable* table, ViewCursor* c) {
    QString text = QString::fromLatin1(table->view->query);
    const QStringList catalogs =
        QString::fromLatin1(table->view->catalog).split(u' ', Qt::SkipEmptyParts);
    for (qsizetype k = 0; k < catalogs.size(); ++k) {
        const bool present = catalogPresent(table->db, catalogs[k]);
        if (!present && k == 0 && table->view->needsCatalog)
            return SQLITE_OK;
        text.replace(
            QStringLiteral("%") + QString::number(k + 1),
            present ? QStringLiteral("main.\"%1\"").arg(catalogs[k]) : emptyCatalog(catalogs[k]));
    }
    const QByteArray query = text.toUtf8();
    int rc = SQLITE_OK;
    if (!table->view->perObject)
        return addRows(table->db, query, QByteArray(), c);
    ViewCursor objects;
    rc = addRows(table->db,
                 "SELECT s.name FROM main.sqlite_schema s WHERE " QV_USER_OBJECT
                 " ORDER BY upper(s.name)",
                 QByteArray(), &objects);
    if (rc != SQLITE_OK)
        return rc;
    for (const auto& object : objects.rows) {
        const size_t before = c->rows.size();
        if (addRows(table->db, query, object.front().text, c) != SQLITE_OK)
            c->rows.resize(before);
    }
    return SQLITE_OK;
}

int viewFilter(sqlite3_vtab_cursor* cursor, int, const char*, int, sqlite3_value**) {
    auto* c = static_cast<ViewCursor*>(cursor);
    auto* table = static_cast<ViewTable*>(cursor->pVtab);
    c->at = 0;
    c->rows.clear();
    try {
        return readRows(table, c);
    } catch (const std::bad_alloc&) {
        c->rows.clear();
        return SQLITE_NOMEM;
    } catch (...) {
        c->rows.clear();
        return SQLITE_ERROR;
    }
}

int viewNext(sqlite3_vtab_cursor* cursor) {
    ++static_cast<ViewCursor*>(cursor)->at;
    return SQLITE_OK;
}

int viewEof(sqlite3_vtab_cursor* cursor) {
    const auto* c = static_cast<const ViewCursor*>(cursor);
    return c->at >= c->rows.size();
}

int viewColumn(sqlite3_vtab_cursor* cursor, sqlite3_context* ctx, int column) {
    const auto* c = static_cast<const ViewCursor*>(cursor);
    const Cell& cell = c->rows[c->at][size_t(column)];
    if (cell.type == SQLITE_NULL)
        sqlite3_result_null(ctx);
    else if (cell.type == SQLITE_INTEGER)
        sqlite3_result_int64(ctx, cell.integer);
    else if (cell.type == SQLITE_FLOAT)
        sqlite3_result_double(ctx, cell.real);
    else if (cell.type == SQLITE_BLOB)
        sqlite3_result_blob(ctx, cell.text.constData(), int(cell.text.size()), SQLITE_TRANSIENT);
    else
        sqlite3_result_text(ctx, cell.text.constData(), int(cell.text.size()), SQLITE_TRANSIENT);
    return SQLITE_OK;
}

int viewRowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* rowid) {
    *rowid = sqlite3_int64(static_cast<const ViewCursor*>(cursor)->at) + 1;
    return SQLITE_OK;
}

sqlite3_module makeModule() {
    sqlite3_module m{};
    m.xConnect = viewConnect;
    m.xBestIndex = viewBestIndex;
    m.xDisconnect = viewDisconnect;
    m.xDestroy = viewDisconnect;
    m.xOpen = viewOpen;
    m.xClose = viewClose;
    m.xFilter = viewFilter;
    m.xNext = viewNext;
    m.xEof = viewEof;
    m.xColumn = viewColumn;
    m.xRowid = viewRowid;
    return m;
}

const sqlite3_module kModule = makeModule();

#undef QV_USER_OBJECT

}  // namespace

int registerDictionaryViews(sqlite3* db) {
    const std::span<const DictionaryView> userViews(kViews);
    for (const std::span<const DictionaryView> views :
         {userViews, statisticsViews(), ownerViews(userViews, statisticsViews())}) {
        for (const DictionaryView& view : views) {
            const int rc = sqlite3_create_module_v2(db, view.name, &kModule,
                                                    const_cast<DictionaryView*>(&view), nullptr);
            if (rc != SQLITE_OK)
                return rc;
        }
    }
    return registerDataTypeFunction(db);
}

}  // namespace qv::embedded
