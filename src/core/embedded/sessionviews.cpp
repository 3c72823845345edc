#include "core/embedded/sessionviews.h"

#include "core/embedded/sessions.h"

#include <QByteArray>

#include <variant>
#include <vector>

namespace qv::embedded {

namespace {

enum class View { Session, StatName, SesStat };

struct ViewTable : sqlite3_vtab {
    View view;
    int64_t ownSid;
};

using Cell = std::variant<int64_t, QByteArray>;

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
            return "CREATE TABLE x(SID INTEGER, AUDSID INTEGER, USERNAME VARCHAR2(30), "
                   "STATUS VARCHAR2(8))";
        case View::StatName:
            return "CREATE TABLE x([STATISTIC#] INTEGER, NAME VARCHAR2(64), CLASS INTEGER)";
        case View::SesStat:
            return "CREATE TABLE x(SID INTEGER, [STATISTIC#] INTEGER, VALUE NUMBER)";
    }
    return nullptr;
}

// The rows as they are now: a reading is a consistent snapshot of the session list.
std::vector<std::vector<Cell>> snapshot(View view, int64_t ownSid) {
    std::vector<std::vector<Cell>> rows;
    const auto& catalogue = statisticCatalogue();
    switch (view) {
        case View::Session:
            for (const auto& s : openSessions()) {
                const char* status = s->sid() == ownSid ? "ACTIVE" : "INACTIVE";
                rows.push_back({s->sid(), s->audsid(), s->user().toUtf8(), QByteArray(status)});
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
    *out = new ViewCursor{};
    return SQLITE_OK;
}

int viewClose(sqlite3_vtab_cursor* cursor) {
    delete static_cast<ViewCursor*>(cursor);
    return SQLITE_OK;
}

int viewFilter(sqlite3_vtab_cursor* cursor, int, const char*, int, sqlite3_value**) {
    auto* c = static_cast<ViewCursor*>(cursor);
    const auto* table = static_cast<const ViewTable*>(cursor->pVtab);
    c->rows = snapshot(table->view, table->ownSid);
    c->at = 0;
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
    } else {
        const QByteArray& text = std::get<QByteArray>(cell);
        sqlite3_result_text(ctx, text.constData(), int(text.size()), SQLITE_TRANSIENT);
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

void deleteIdentity(void* p) {
    delete static_cast<Identity*>(p);
}

}  // namespace

int registerSessionViews(sqlite3* db, int64_t sid, int64_t audsid) {
    const std::pair<const char*, View> views[] = {
        {"v$session", View::Session},
        {"v$statname", View::StatName},
        {"v$sesstat", View::SesStat},
    };
    for (const auto& [name, view] : views) {
        const int rc = sqlite3_create_module_v2(db, name, &kViewModule,
                                                new Identity{view, sid, audsid}, deleteIdentity);
        if (rc != SQLITE_OK)
            return rc;
    }
    return sqlite3_create_function_v2(db, "userenv", 1, SQLITE_UTF8,
                                      new Identity{View::Session, sid, audsid}, userenv, nullptr,
                                      nullptr, deleteIdentity);
}

}  // namespace qv::embedded
