// Virtual indexes (virtualindexes.h): the session's list, their DDL, their making real for one
// plan, and the function the dictionary views read them through.
#include "core/embedded/catalog/virtualindexes.h"

#include "core/embedded/base/sandbox.h"
#include "core/embedded/catalog/schemacommands.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <mutex>

namespace qv::embedded {

namespace {

using sql::quotedName;

// Every session's virtual indexes, by the session's handle. Each session reads and changes its
// own list alone; the map is shared.
std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}

std::map<sqlite3*, std::vector<VirtualIndex>>& registry() {
    static std::map<sqlite3*, std::vector<VirtualIndex>> r;
    return r;
}

std::optional<VirtualIndex> findVirtual(sqlite3* db, const QString& name) {
    std::lock_guard lock(registryMutex());
    const auto it = registry().find(db);
    if (it == registry().end())
        return std::nullopt;
    for (const VirtualIndex& v : it->second) {
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    }
    return std::nullopt;
}

bool removeVirtual(sqlite3* db, const QString& name) {
    std::lock_guard lock(registryMutex());
    const auto it = registry().find(db);
    if (it == registry().end())
        return false;
    auto& list = it->second;
    const auto found = std::find_if(list.begin(), list.end(), [&](const VirtualIndex& v) {
        return v.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (found == list.end())
        return false;
    list.erase(found);
    return true;
}

// The key columns of [first, last) (a CREATE INDEX's list without its parentheses): a column's
// name, or for an expression Oracle's hidden column, and whether it is DESC.
void readKeys(const std::vector<Token>& t, size_t first, size_t last, VirtualIndex& v) {
    for (const sql::Range& r : sql::splitTopLevel(t, first, last)) {
        size_t end = r.last;
        bool desc = false;
        if (end > r.first + 1 && sql::isOneOf(t[end - 1], {u"ASC", u"DESC"})) {
            desc = t[end - 1].is(u"DESC");
            --end;
        }
        if (end == r.first)
            throw oracleError(936, QStringLiteral("ORA-00936: missing expression"));
        if (end == r.first + 1 && sql::isName(t[r.first]))
            v.columns << sql::unquoted(t[r.first]).toUpper();
        else
            v.columns << QStringLiteral("SYS_NC%1$").arg(v.columns.size() + 1, 5, 10, QChar(u'0'));
        v.descending << desc;
    }
}

// CREATE [UNIQUE | BITMAP] INDEX name ON table (keys) ... NOSEGMENT ...
void createVirtual(const Catalog& catalog, const QString& sql, const std::vector<Token>& t,
                   size_t end, const StopCheck& stopped) {
    VirtualIndex v;
    size_t i = 1;
    v.unique = t[i].is(u"UNIQUE");
    if (v.unique || t[i].is(u"BITMAP"))
        ++i;
    ++i;  // INDEX
    v.name = objectName(t, i, end);
    const QString table = indexedTable(catalog, t, i, end);
    const size_t close = i < end && t[i].isOp(u'(') ? sql::closing(t, i, end) : end;
    if (close >= end)
        throw oracleError(907, QStringLiteral("ORA-00907: missing right parenthesis"));
    catalog.checkFreeName(v.name);
    if (findVirtual(catalog.db(), v.name))
        throw oracleError(955, QStringLiteral("ORA-00955: name is already used by an existing "
                                              "object"));
    v.table = catalog.spelled(table);
    readKeys(t, i + 1, close, v);
    const QString oracle =
        QStringLiteral("CREATE %1INDEX %2 ON %3 %4")
            .arg(v.unique ? QStringLiteral("UNIQUE ") : QString(), quotedName(v.name),
                 quotedName(v.table), sql::textOf(sql, t, i, close + 1));
    v.sqliteCreate = sqliteText(ParsedStatement(oracle), stopped);
    // Compiled, never run: SQLite checks the columns and expressions as it would build it.
    try {
        const EngineRights engine(catalog.sandbox());
        sqlite::Statement check(catalog.db(), v.sqliteCreate.toUtf8());
    } catch (const sqlite::Error& e) {
        const QString message = e.description();
        const qsizetype at = message.indexOf(QStringLiteral("no such column: "));
        if (at >= 0)
            throw oracleError(904, QStringLiteral("ORA-00904: \"%1\": invalid identifier")
                                       .arg(message.mid(at + 16).section(u' ', 0, 0).toUpper()));
        throw oracleFailure(e);
    }
    std::lock_guard lock(registryMutex());
    registry()[catalog.db()].push_back(std::move(v));
}

// DROP TABLE [owner.]name ...: the table's virtual indexes go with it, as Oracle drops its
// indexes. The statement itself is left to the table's commands.
void forgetTableIndexes(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    size_t i = 2;
    if (i >= end || !sql::isName(t[i]) || t[i].is(u"IF"))
        return;
    const QString name = objectName(t, i, end);
    if (catalog.objectType(name) != u"table")
        return;
    const QString table = catalog.spelled(name);
    std::lock_guard lock(registryMutex());
    const auto it = registry().find(catalog.db());
    if (it == registry().end())
        return;
    auto& list = it->second;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const VirtualIndex& v) {
                                  return v.table.compare(table, Qt::CaseInsensitive) == 0;
                              }),
               list.end());
}

}  // namespace

std::vector<VirtualIndex> virtualIndexes(sqlite3* db) {
    std::lock_guard lock(registryMutex());
    const auto it = registry().find(db);
    return it == registry().end() ? std::vector<VirtualIndex>() : it->second;
}

void forgetVirtualIndexes(sqlite3* db) {
    std::lock_guard lock(registryMutex());
    registry().erase(db);
}

void keepVirtualIndexStats(sqlite3* db, const QString& name, const IndexStats& stats) {
    std::lock_guard lock(registryMutex());
    for (VirtualIndex& v : registry()[db]) {
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            v.stats = stats;
    }
}

std::optional<VirtualIndex> virtualIndex(sqlite3* db, const QString& name) {
    return findVirtual(db, name);
}

bool runVirtualIndexCommand(const Catalog& catalog, const QString& sql, const std::vector<Token>& t,
                            const StopCheck& stopped) {
    const size_t end = statementEnd(sql, t);
    if (end < 3)
        return false;
    if (t[0].is(u"CREATE")) {
        const size_t at = t[1].is(u"INDEX") ? 1 : 2;
        if (at >= end || !t[at].is(u"INDEX") ||
            (at == 2 && !t[1].is(u"UNIQUE") && !t[1].is(u"BITMAP")))
            return false;
        if (sql::findTopLevel(t, at, end, u"NOSEGMENT") != end) {
            createVirtual(catalog, sql, t, end, stopped);
            return true;
        }
        // A real index takes no name of the session's virtual ones.
        size_t i = at + 1;
        if (i < end && sql::isName(t[i]) && findVirtual(catalog.db(), objectName(t, i, end)))
            throw oracleError(955, QStringLiteral("ORA-00955: name is already used by an "
                                                  "existing object"));
        return false;
    }
    if (t[0].is(u"DROP") && t[1].is(u"TABLE")) {
        forgetTableIndexes(catalog, t, end);
        return false;
    }
    if (!(t[0].is(u"DROP") || t[0].is(u"ALTER")) || !t[1].is(u"INDEX"))
        return false;
    size_t i = 2;
    if (t[0].is(u"DROP") && i + 1 < end && t[i].is(u"IF") && t[i + 1].is(u"EXISTS"))
        i += 2;
    if (i >= end || !sql::isName(t[i]))
        return false;
    if (i + 2 < end && t[i + 1].isOp(u'.') && sql::isName(t[i + 2]))
        i += 2;
    const QString name = sql::unquoted(t[i]);
    if (!findVirtual(catalog.db(), name))
        return false;
    if (t[0].is(u"ALTER"))
        throw oracleError(8114, QStringLiteral("ORA-08114: can not alter a fake index"));
    removeVirtual(catalog.db(), name);
    return true;
}

bool weighsVirtualIndexes(const QString& parameter, const QString& goal) {
    return parameter.compare(u"TRUE", Qt::CaseInsensitive) == 0 &&
           goal.compare(u"RULE", Qt::CaseInsensitive) != 0 &&
           goal.compare(u"CHOOSE", Qt::CaseInsensitive) != 0;
}

VirtualIndexPlanning::VirtualIndexPlanning(sqlite3* db, const std::vector<VirtualIndex>& indexes)
    : db_(db) {
    if (indexes.empty())
        return;
    // A transaction of its own ends in a ROLLBACK: a savepoint released after it was rolled back
    // to would commit, and mark the file as changed.
    outermost_ = sqlite3_get_autocommit(db_) != 0;
    sqlite::exec(db_, "SAVEPOINT qv_virtual_indexes");
    open_ = true;
    try {
        // Built in the page cache alone: nothing reaches the file before the rollback.
        sqlite::exec(db_, "PRAGMA cache_spill = 0");
        bool withStats = false;
        for (const VirtualIndex& v : indexes) {
            try {
                try {
                    sqlite::exec(db_, v.sqliteCreate.toUtf8().constData());
                } catch (const sqlite::Error& e) {
                    // Too large for memory: built through the file, whose pages the rollback
                    // puts back as they were.
                    if (e.resultCode() != SQLITE_NOMEM || sqlite3_get_autocommit(db_))
                        throw;
                    sqlite::exec(db_, "PRAGMA cache_spill = 1");
                    sqlite::exec(db_, v.sqliteCreate.toUtf8().constData());
                }
            } catch (const sqlite::Error& e) {
                // Its table or a column is gone, or its keys are not unique: left out. Anything
                // else (a lock, memory, a cancel) fails the explanation.
                const int code = e.resultCode();
                if (code != SQLITE_ERROR && code != SQLITE_CONSTRAINT)
                    throw;
                continue;
            }
            if (!v.stats)
                continue;
            if (!withStats)
                ensureStatisticsTables(db_);
            withStats = true;
            writeIndexStats(db_, v.name, v.table, *v.stats);
        }
    } catch (...) {
        undo();
        throw;
    }
    // Building them is no reading of the statement's.
    for (int op :
         {SQLITE_DBSTATUS_CACHE_HIT, SQLITE_DBSTATUS_CACHE_MISS, SQLITE_DBSTATUS_CACHE_WRITE}) {
        int current = 0, highest = 0;
        sqlite3_db_status(db_, op, &current, &highest, 1);
    }
}

void VirtualIndexPlanning::undo() {
    if (!open_)
        return;
    open_ = false;
    sqlite3_exec(
        db_, outermost_ ? "ROLLBACK" : "ROLLBACK TO qv_virtual_indexes; RELEASE qv_virtual_indexes",
        nullptr, nullptr, nullptr);
    sqlite3_exec(db_, "PRAGMA cache_spill = 1", nullptr, nullptr, nullptr);
}

namespace {

void listVirtualIndexes(sqlite3_context* ctx, int, sqlite3_value**) {
    QJsonArray list;
    for (const VirtualIndex& v : virtualIndexes(sqlite3_context_db_handle(ctx))) {
        QJsonArray columns;
        for (qsizetype k = 0; k < v.columns.size(); ++k)
            columns.append(QJsonObject{{QStringLiteral("name"), v.columns[k]},
                                       {QStringLiteral("desc"), v.descending.value(k)}});
        list.append(QJsonObject{{QStringLiteral("name"), v.name.toUpper()},
                                {QStringLiteral("table"), v.table.toUpper()},
                                {QStringLiteral("unique"), v.unique},
                                {QStringLiteral("columns"), columns}});
    }
    const QByteArray json = QJsonDocument(list).toJson(QJsonDocument::Compact);
    sqlite3_result_text(ctx, json.constData(), int(json.size()), SQLITE_TRANSIENT);
}

}  // namespace

int registerVirtualIndexFunction(sqlite3* db) {
    return sqlite3_create_function(db, "qv_virtual_indexes", 0, SQLITE_UTF8, nullptr,
                                   listVirtualIndexes, nullptr, nullptr);
}

}  // namespace qv::embedded
