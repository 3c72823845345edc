#include "core/embedded/session/sessionviews.h"

#include "core/db/dberror.h"
#include "core/embedded/session/cursors.h"
#include "core/embedded/session/sessions.h"
#include "core/sqlite/sqlite.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <map>
#include <new>
#include <optional>
#include <variant>
#include <vector>

namespace qv::embedded {

namespace {

enum class View { Session, StatName, SesStat, PlanStatistics, Sql, SqlPlan };

struct ViewTable : sqlite3_vtab {
    View view;
    int64_t ownSid;
    sqlite3* db;
};

// A RAW value: bytes, as HEXTORAW gives them.
struct Raw {
    QByteArray bytes;
};

using Cell = std::variant<std::monostate, int64_t, QByteArray, Raw>;

// Where a view of cursors has its SQL_ID; -1 for the others.
int sqlIdColumn(View view) {
    switch (view) {
        case View::PlanStatistics:
            return 0;
        case View::Sql:
        case View::SqlPlan:
            return 2;
        default:
            return -1;
    }
}

struct ViewCursor : sqlite3_vtab_cursor {
    std::vector<std::vector<Cell>> rows;
    size_t at = 0;
};

struct Identity {
    View view;  // which view a module serves
    int64_t sid;
    int64_t audsid;
};

const char* schemaOf(View view) {
    switch (view) {
        case View::Session:
            return "CREATE TABLE x(SID INTEGER, [SERIAL#] INTEGER, AUDSID INTEGER, USERNAME "
                   "VARCHAR2(128), STATUS VARCHAR2(8), SCHEMANAME VARCHAR2(128), PREV_SQL_ID "
                   "VARCHAR2(13), PREV_CHILD_NUMBER NUMBER, PREV_SQL_ADDR RAW(8))";
        case View::StatName:
            return "CREATE TABLE x([STATISTIC#] INTEGER, NAME VARCHAR2(64), CLASS INTEGER)";
        case View::SesStat:
            return "CREATE TABLE x(SID INTEGER, [STATISTIC#] INTEGER, VALUE NUMBER)";
        case View::PlanStatistics:
            return "CREATE TABLE x(SQL_ID VARCHAR2(13), PLAN_HASH_VALUE NUMBER, CHILD_NUMBER "
                   "NUMBER, OPERATION VARCHAR2(30), OPTIONS VARCHAR2(30), OBJECT_OWNER "
                   "VARCHAR2(128), OBJECT_NAME VARCHAR2(128), ID NUMBER, PARENT_ID NUMBER, DEPTH "
                   "NUMBER, POSITION NUMBER, COST NUMBER, CARDINALITY NUMBER, BYTES NUMBER, "
                   "ACCESS_PREDICATES VARCHAR2(4000), FILTER_PREDICATES VARCHAR2(4000), "
                   "LAST_STARTS NUMBER, LAST_OUTPUT_ROWS NUMBER, LAST_CR_BUFFER_GETS NUMBER, "
                   "LAST_CU_BUFFER_GETS NUMBER, LAST_DISK_READS NUMBER, LAST_ELAPSED_TIME "
                   "NUMBER, ADDRESS RAW(8), QBLOCK_NAME VARCHAR2(128), OBJECT_ALIAS "
                   "VARCHAR2(261), OTHER_XML CLOB)";
        case View::Sql:
            return "CREATE TABLE x(SQL_TEXT VARCHAR2(1000), SQL_FULLTEXT CLOB, SQL_ID "
                   "VARCHAR2(13), EXECUTIONS NUMBER, DISK_READS NUMBER, BUFFER_GETS NUMBER, "
                   "ROWS_PROCESSED NUMBER, COMMAND_TYPE NUMBER, PARSING_SCHEMA_NAME "
                   "VARCHAR2(128), ADDRESS RAW(8), HASH_VALUE NUMBER, PLAN_HASH_VALUE NUMBER, "
                   "CHILD_NUMBER NUMBER, CPU_TIME NUMBER, ELAPSED_TIME NUMBER, LAST_ACTIVE_TIME "
                   "DATE)";
        case View::SqlPlan:
            return "CREATE TABLE x(ADDRESS RAW(8), HASH_VALUE NUMBER, SQL_ID VARCHAR2(13), "
                   "PLAN_HASH_VALUE NUMBER, CHILD_NUMBER NUMBER, TIMESTAMP DATE, OPERATION "
                   "VARCHAR2(30), OPTIONS VARCHAR2(30), OBJECT_OWNER VARCHAR2(128), "
                   "OBJECT_NAME VARCHAR2(128), OBJECT_ALIAS VARCHAR2(261), ID NUMBER, PARENT_ID "
                   "NUMBER, DEPTH NUMBER, POSITION NUMBER, COST NUMBER, CARDINALITY NUMBER, "
                   "BYTES NUMBER, ACCESS_PREDICATES VARCHAR2(4000), FILTER_PREDICATES "
                   "VARCHAR2(4000), QBLOCK_NAME VARCHAR2(128))";
    }
    return nullptr;
}

Cell text(const QString& s) {
    return s.isEmpty() ? Cell{} : Cell{s.toUtf8()};
}

Cell number(const std::optional<int64_t>& n) {
    return n ? Cell{*n} : Cell{};
}

// A cursor's ADDRESS (V$SESSION's PREV_SQL_ADDR for the session that ran it last): eight bytes
// that name this execution of the statement, so that two sessions' executions of one SQL_ID are
// never taken for one.
Cell addressOf(const ExecutedCursor& cursor) {
    QByteArray bytes(8, '\0');
    for (int i = 7, n = 0; i >= 0; --i, n += 8)
        bytes[i] = char((cursor.sequence >> n) & 0xff);
    return Raw{bytes};
}

// The last execution of each statement that each open session ran on `db`'s database (its
// file, or the connection itself for one in memory), each with its own ADDRESS; only `sqlId`'s
// when given.
std::vector<std::shared_ptr<const ExecutedCursor>> cursorsOf(sqlite3* db,
                                                             const std::optional<QString>& sqlId) {
    const QString file = QString::fromUtf8(sqlite3_db_filename(db, "main"));
    std::map<uint64_t, std::shared_ptr<const ExecutedCursor>> bySequence;
    for (const auto& session : openSessions()) {
        for (const auto& cursor : session->cursors()) {
            const bool here = cursor->connection == db || (!file.isEmpty() && cursor->file == file);
            if (here && (!sqlId || cursor->sqlId == *sqlId))
                bySequence[cursor->sequence] = cursor;
        }
    }
    std::vector<std::shared_ptr<const ExecutedCursor>> out;
    for (auto& [sequence, cursor] : bySequence)
        out.push_back(std::move(cursor));
    return out;
}

// The cursor of the statement `session` ran last, when it keeps one.
std::shared_ptr<const ExecutedCursor> previousCursor(const Session& session) {
    const QString previous = session.previousSqlId();
    for (const auto& cursor : session.cursors()) {  // the latest first
        if (cursor->sqlId == previous)
            return cursor;
    }
    return nullptr;
}

// V$SQL_PLAN_STATISTICS_ALL's rows of the statements run on `db`'s database. The plans are
// drawn now, on `db`: only as many as asked for. Throws sqlite::Error.
std::vector<std::vector<Cell>> planStatistics(sqlite3* db, const std::optional<QString>& sqlId) {
    std::vector<std::vector<Cell>> rows;
    for (const auto& cursor : cursorsOf(db, sqlId)) {
        const std::vector<CursorPlanLine> lines = cursorPlan(*cursor, db);
        std::vector<PlanRow> shape;
        for (const CursorPlanLine& l : lines)
            shape.push_back(l.row);
        const int64_t hash = planHashValue(shape);
        for (const CursorPlanLine& l : lines) {
            const PlanRow& r = l.row;
            rows.push_back({cursor->sqlId.toUtf8(), hash, int64_t(0), text(r.operation),
                            text(r.options), text(r.objectOwner), text(r.objectName), int64_t(r.id),
                            r.parentId < 0 ? Cell{} : Cell{int64_t(r.parentId)}, int64_t(l.depth),
                            r.id == 0 ? Cell{} : Cell{int64_t(r.position)},
                            cursor->rule ? Cell{} : Cell{r.cost},
                            cursor->rule ? Cell{} : Cell{r.cardinality},
                            cursor->rule ? Cell{} : Cell{r.bytes}, text(r.accessPredicates),
                            text(r.filterPredicates), number(l.starts), number(l.outputRows),
                            number(l.consistentGets), number(l.currentGets), number(l.diskReads),
                            number(l.elapsedMicros), addressOf(*cursor), text(r.queryBlock),
                            text(r.objectAlias),
                            // No hint usage is kept with a cursor.
                            Cell{}});
        }
    }
    return rows;
}

// Oracle's COMMAND_TYPE of the statement `cursor` ran: by its first word.
Cell commandType(const ExecutedCursor& cursor) {
    const std::vector<sql::Token>& tokens = cursor.statement->tokens();
    if (tokens.empty())
        return {};
    const sql::Token& first = tokens.front();
    const std::pair<const char16_t*, int64_t> kinds[] = {
        {u"SELECT", 3},  {u"WITH", 3},   {u"INSERT", 2},   {u"UPDATE", 6}, {u"DELETE", 7},
        {u"MERGE", 189}, {u"BEGIN", 47}, {u"DECLARE", 47}, {u"CREATE", 1}, {u"EXPLAIN", 50}};
    for (const auto& [word, type] : kinds) {
        if (first.is(word))
            return type;
    }
    return {};
}

// The plan `cursor` ran with, drawn now on `db`; none when it can no longer be drawn (a table
// it read is gone): V$SQL then shows PLAN_HASH_VALUE 0 and V$SQL_PLAN no lines, as Oracle's
// for a cursor without a plan.
std::vector<CursorPlanLine> drawnPlan(const ExecutedCursor& cursor, sqlite3* db) {
    try {
        return cursorPlan(cursor, db);
    } catch (const sqlite::Error&) {
        return {};
    } catch (const DbError&) {
        return {};
    }
}

int64_t hashOf(const std::vector<CursorPlanLine>& lines) {
    if (lines.empty())
        return 0;
    std::vector<PlanRow> shape;
    for (const CursorPlanLine& l : lines)
        shape.push_back(l.row);
    return planHashValue(shape);
}

// V$SQL's or V$SQL_PLAN's rows of the statements run on `db`'s database (`sqlId`'s alone when
// given); their plans are drawn now.
std::vector<std::vector<Cell>> cursorRows(View view, sqlite3* db,
                                          const std::optional<QString>& sqlId) {
    std::vector<std::vector<Cell>> rows;
    for (const auto& cursor : cursorsOf(db, sqlId)) {
        const std::vector<CursorPlanLine> lines = drawnPlan(*cursor, db);
        const int64_t hash = hashOf(lines);
        const Cell hashValue = int64_t(sqlHashValue(cursor->sqlId));
        const QString& sql = cursor->statement->text();
        const ExecutedCursor::Totals& t = cursor->totals;
        if (view == View::Sql) {
            rows.push_back({sql.left(1000).toUtf8(), sql.toUtf8(), cursor->sqlId.toUtf8(),
                            t.executions, t.diskReads, t.bufferGets, t.rows, commandType(*cursor),
                            text(cursor->owner), addressOf(*cursor), hashValue, hash, int64_t(0),
                            t.cpuNanos / 1000, t.elapsedNanos / 1000, text(cursor->lastActive)});
            continue;
        }
        for (const CursorPlanLine& l : lines) {
            const PlanRow& r = l.row;
            rows.push_back({addressOf(*cursor),
                            hashValue,
                            cursor->sqlId.toUtf8(),
                            hash,
                            int64_t(0),
                            text(cursor->lastActive),
                            text(r.operation),
                            text(r.options),
                            text(r.objectOwner),
                            text(r.objectName),
                            text(r.objectAlias),
                            int64_t(r.id),
                            r.parentId < 0 ? Cell{} : Cell{int64_t(r.parentId)},
                            int64_t(l.depth),
                            r.id == 0 ? Cell{} : Cell{int64_t(r.position)},
                            cursor->rule ? Cell{} : Cell{r.cost},
                            cursor->rule ? Cell{} : Cell{r.cardinality},
                            cursor->rule ? Cell{} : Cell{r.bytes},
                            text(r.accessPredicates),
                            text(r.filterPredicates),
                            text(r.queryBlock)});
        }
    }
    return rows;
}

// The rows as they are now: a reading is a consistent snapshot of the session list.
std::vector<std::vector<Cell>> snapshot(View view, int64_t ownSid) {
    std::vector<std::vector<Cell>> rows;
    const auto& catalogue = statisticCatalogue();
    switch (view) {
        case View::Session:
            for (const auto& s : openSessions()) {
                const char* status = s->sid() == ownSid ? "ACTIVE" : "INACTIVE";
                const QString previous = s->previousSqlId();
                const auto cursor = previousCursor(*s);
                const QString schema = s->parameter(QStringLiteral("CURRENT_SCHEMA"));
                // A SID is never given twice: every session is the first of its SID.
                rows.push_back({s->sid(), int64_t(1), s->audsid(), s->user().toUpper().toUtf8(),
                                QByteArray(status),
                                (schema.isEmpty() ? s->user() : schema).toUpper().toUtf8(),
                                text(previous), previous.isEmpty() ? Cell{} : Cell{int64_t(0)},
                                cursor ? addressOf(*cursor) : Cell{}});
            }
            break;
        case View::StatName:
            for (const StatisticInfo& info : catalogue)
                rows.push_back(
                    {int64_t(info.number), QByteArray(info.name), int64_t(info.statClass)});
            break;
        case View::SesStat:
            for (const auto& s : openSessions()) {
                const StatCounters counters = s->counters();
                for (const StatisticInfo& info : catalogue)
                    rows.push_back({s->sid(), int64_t(info.number), counters.shown(info.number)});
            }
            break;
        case View::PlanStatistics:
        case View::Sql:
        case View::SqlPlan:
            break;  // only as many plans as asked for are drawn, when the view is filtered
    }
    return rows;
}

int viewConnect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**) {
    const auto* identity = static_cast<const Identity*>(aux);
    const int rc = sqlite3_declare_vtab(db, schemaOf(identity->view));
    if (rc != SQLITE_OK)
        return rc;
    auto* table = new ViewTable{};
    table->view = identity->view;
    table->ownSid = identity->sid;
    table->db = db;
    *out = table;
    return SQLITE_OK;
}

int viewDisconnect(sqlite3_vtab* table) {
    delete static_cast<ViewTable*>(table);
    return SQLITE_OK;
}

// SQL_ID = '...' of V$SQL_PLAN_STATISTICS_ALL reaches viewFilter(), which then draws that
// statement's plan alone.
int viewBestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
    info->estimatedCost = 100;
    info->estimatedRows = 100;
    const int column = sqlIdColumn(static_cast<const ViewTable*>(vtab)->view);
    if (column < 0)
        return SQLITE_OK;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.usable && c.iColumn == column && c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
            info->aConstraintUsage[i].argvIndex = 1;
            info->idxNum = 1;
            info->estimatedCost = 10;
            info->estimatedRows = 10;
            break;
        }
    }
    return SQLITE_OK;
}

int viewOpen(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    *out = new ViewCursor{};
    return SQLITE_OK;
}

int viewClose(sqlite3_vtab_cursor* cursor) {
    delete static_cast<ViewCursor*>(cursor);
    return SQLITE_OK;
}

int viewFilter(sqlite3_vtab_cursor* cursor, int idxNum, const char*, int argc,
               sqlite3_value** argv) {
    auto* c = static_cast<ViewCursor*>(cursor);
    auto* table = static_cast<ViewTable*>(cursor->pVtab);
    c->at = 0;
    if (sqlIdColumn(table->view) < 0) {
        c->rows = snapshot(table->view, table->ownSid);
        return SQLITE_OK;
    }
    // Drawing a plan reads the estimates of what the statement read, which may be a view of
    // cursors again: read from inside a drawing, such a view has no rows (else it would draw
    // its own plans without end).
    static thread_local int drawing = 0;
    if (drawing > 0) {
        c->rows.clear();
        return SQLITE_OK;
    }
    struct Drawing {
        Drawing() { ++drawing; }
        ~Drawing() { --drawing; }
    } mark;
    std::optional<QString> sqlId;
    if (idxNum == 1 && argc > 0) {
        const auto* raw = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        sqlId = QString::fromUtf8(raw ? raw : "");
    }
    try {
        c->rows = table->view == View::PlanStatistics ? planStatistics(table->db, sqlId)
                                                      : cursorRows(table->view, table->db, sqlId);
    } catch (const DbError& e) {
        c->rows.clear();
        sqlite3_free(table->zErrMsg);
        table->zErrMsg = sqlite3_mprintf("%s", e.description().toUtf8().constData());
        return SQLITE_ERROR;
    } catch (const std::bad_alloc&) {
        // Nothing may cross SQLite's C frames.
        c->rows.clear();
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
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
    if (const auto* number = std::get_if<int64_t>(&cell)) {
        sqlite3_result_int64(ctx, *number);
    } else if (const auto* text = std::get_if<QByteArray>(&cell)) {
        sqlite3_result_text(ctx, text->constData(), int(text->size()), SQLITE_TRANSIENT);
    } else if (const auto* raw = std::get_if<Raw>(&cell)) {
        sqlite3_result_blob(ctx, raw->bytes.constData(), int(raw->bytes.size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_result_null(ctx);
    }
    return SQLITE_OK;
}

int viewRowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* rowid) {
    *rowid = sqlite3_int64(static_cast<const ViewCursor*>(cursor)->at) + 1;
    return SQLITE_OK;
}

// No xCreate: the views exist on every connection under their own names and cannot be made
// with CREATE VIRTUAL TABLE.
sqlite3_module makeViewModule() {
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

const sqlite3_module kViewModule = makeViewModule();

void userenv(sqlite3_context* ctx, int, sqlite3_value** args) {
    const auto* identity = static_cast<const Identity*>(sqlite3_user_data(ctx));
    const char* raw = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const QByteArray parameter = QByteArray(raw ? raw : "").toUpper();
    if (parameter == "SESSIONID")
        sqlite3_result_int64(ctx, identity->audsid);
    else if (parameter == "SID")
        sqlite3_result_int64(ctx, identity->sid);
    else
        sqlite3_result_error(ctx, "ORA-02003: invalid USERENV parameter", -1);
}

// The name the engine's database goes by: its file's, without the directory and extension, in
// upper case ("QUERVIN" for one in memory).
QString databaseName(sqlite3* db) {
    const char* file = sqlite3_db_filename(db, "main");
    const QString name = QFileInfo(QString::fromUtf8(file ? file : "")).completeBaseName();
    return name.isEmpty() ? QStringLiteral("QUERVIN") : name.toUpper();
}

// SYS_CONTEXT('USERENV', parameter), as text (Oracle's SYS_CONTEXT returns VARCHAR2): the
// session's user, ids and NLS settings, the one instance the engine is, the machine it runs on;
// NULL for what nothing has set (MODULE, ACTION, CLIENT_IDENTIFIER, DB_DOMAIN).
std::optional<QString> userenvValue(sqlite3_context* ctx, const Identity& identity,
                                    const QByteArray& parameter) {
    std::shared_ptr<Session> session;
    for (const auto& open : openSessions()) {
        if (open->sid() == identity.sid)
            session = open;
    }
    const auto setting = [&](const char* name) {
        return session ? session->parameter(QString::fromLatin1(name)) : QString();
    };
    if (parameter == "SESSIONID")
        return QString::number(identity.audsid);
    if (parameter == "SID")
        return QString::number(identity.sid);
    if (parameter == "INSTANCE")
        return QStringLiteral("1");
    if (parameter == "SESSION_USER" || parameter == "CURRENT_USER")
        return session ? session->user().toUpper() : QString();
    if (parameter == "CURRENT_SCHEMA") {
        const QString schema = setting("CURRENT_SCHEMA");
        return !schema.isEmpty() ? schema.toUpper()
               : session         ? session->user().toUpper()
                                 : QString();
    }
    if (parameter == "DB_NAME")
        return databaseName(sqlite3_context_db_handle(ctx));
    if (parameter == "INSTANCE_NAME")
        return databaseName(sqlite3_context_db_handle(ctx)).toLower();
    if (parameter == "HOST" || parameter == "SERVER_HOST")
        return QSysInfo::machineHostName();
    if (parameter == "OS_USER") {
        const QByteArray user = qgetenv("USER").isEmpty() ? qgetenv("USERNAME") : qgetenv("USER");
        return user.isEmpty() ? QDir::home().dirName() : QString::fromLocal8Bit(user);
    }
    if (parameter == "LANGUAGE")
        return setting("NLS_LANGUAGE") + u'_' + setting("NLS_TERRITORY") +
               QStringLiteral(".AL32UTF8");
    if (parameter == "NLS_DATE_FORMAT" || parameter == "NLS_DATE_LANGUAGE" ||
        parameter == "NLS_TERRITORY")
        return setting(parameter.constData());
    if (parameter == "DB_UNIQUE_NAME" || parameter == "CON_NAME")
        return databaseName(sqlite3_context_db_handle(ctx));
    // A local connection, as the embedded engine's: no network address, the default service.
    if (parameter == "SERVICE_NAME")
        return QStringLiteral("SYS$USERS");
    if (parameter == "TERMINAL")
        return QSysInfo::machineHostName();
    if (parameter == "ISDBA")
        return QStringLiteral("FALSE");
    if (parameter == "AUTHENTICATION_METHOD")
        return QStringLiteral("PASSWORD");
    if (parameter == "NLS_CALENDAR")
        return QStringLiteral("GREGORIAN");
    if (parameter == "NLS_SORT")
        return QStringLiteral("BINARY");
    if (parameter == "IP_ADDRESS" || parameter == "MODULE" || parameter == "ACTION" ||
        parameter == "CLIENT_IDENTIFIER" || parameter == "CLIENT_INFO" || parameter == "DB_DOMAIN")
        return setting(parameter.constData());
    return std::nullopt;
}

void sysContext(sqlite3_context* ctx, int argc, sqlite3_value** args) {
    const auto* identity = static_cast<const Identity*>(sqlite3_user_data(ctx));
    const auto text = [&](int i) {
        const char* raw = reinterpret_cast<const char*>(sqlite3_value_text(args[i]));
        return QByteArray(raw ? raw : "").trimmed().toUpper();
    };
    const std::optional<QString> value =
        text(0) == "USERENV" ? userenvValue(ctx, *identity, text(1)) : std::nullopt;
    if (!value)
        return sqlite3_result_error(ctx, "ORA-02003: invalid USERENV parameter", -1);
    if (value->isEmpty())
        return sqlite3_result_null(ctx);
    // The third argument is the longest value wanted (256 by default, 4,000 at most).
    const int64_t length =
        argc > 2 ? std::clamp<int64_t>(sqlite3_value_int64(args[2]), 1, 4000) : 256;
    const QByteArray shown = value->left(qsizetype(length)).toUtf8();
    sqlite3_result_text(ctx, shown.constData(), int(shown.size()), SQLITE_TRANSIENT);
}

void deleteIdentity(void* p) {
    delete static_cast<Identity*>(p);
}

}  // namespace

int registerSessionViews(sqlite3* db, int64_t sid, int64_t audsid) {
    const std::pair<const char*, View> views[] = {
        {"v$session", View::Session}, {"v$statname", View::StatName},
        {"v$sesstat", View::SesStat}, {"v$sql_plan_statistics_all", View::PlanStatistics},
        {"v$sql", View::Sql},         {"v$sql_plan", View::SqlPlan},
    };
    for (const auto& [name, view] : views) {
        const int rc = sqlite3_create_module_v2(db, name, &kViewModule,
                                                new Identity{view, sid, audsid}, deleteIdentity);
        if (rc != SQLITE_OK)
            return rc;
    }
    const int rc = sqlite3_create_function_v2(db, "userenv", 1, SQLITE_UTF8,
                                              new Identity{View::Session, sid, audsid}, userenv,
                                              nullptr, nullptr, deleteIdentity);
    if (rc != SQLITE_OK)
        return rc;
    for (const int args : {2, 3}) {
        const int done = sqlite3_create_function_v2(db, "sys_context", args, SQLITE_UTF8,
                                                    new Identity{View::Session, sid, audsid},
                                                    sysContext, nullptr, nullptr, deleteIdentity);
        if (done != SQLITE_OK)
            return done;
    }
    return SQLITE_OK;
}

}  // namespace qv::embedded
