#include "core/history/historyconnection.h"

#include "core/privatefile.h"

#include <QThread>

#include <atomic>

namespace qv::history {

namespace {

std::atomic<bool> gStopAll{false};

// The program's tables, of every layout version.
const char* const kOwnTables[] = {"SQL_HIST", "STATS_HIST", "EXPLAN_HIST", "RUN_HIST", "BIND_HIST"};

void configure(sqlite3* db, int option, int value) {
    const int rc = sqlite3_db_config(db, option, value, nullptr);
    if (rc != SQLITE_OK)
        throw sqlite::Error::of(db, rc);
}

}  // namespace

namespace {

// SQLite's own word for a symbolic link that was not followed is "unable to open database
// file"; the user is told what it is.
sqlite::Connection::Mode opening(const QString& path, sqlite::Connection::Mode mode) {
    const QString reason = foreignFileReason(path);
    if (reason == kSymbolicLinkReason)
        throw DbError(kErrOdbcCall, QStringLiteral("履歴ファイル ") + path +
                                        QStringLiteral(" はシンボリックリンクのため開きません。"));
    return mode;
}

}  // namespace

Connection::Connection(const QString& path, Mode mode, const Limits& limits)
    : sqlite::Connection(path, opening(path, mode), limits.busyWaitMs, nullptr,
                         SQLITE_OPEN_NOFOLLOW),
      deadline_(limits.timeLimitMs),
      busyWaitMs_(limits.busyWaitMs) {
    sqlite3* db = handle();
    sqlite3_progress_handler(db, 1000, &Connection::progress, this);
    sqlite3_busy_handler(db, &Connection::busy, this);
    configure(db, SQLITE_DBCONFIG_DEFENSIVE, 1);
    configure(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0);
    configure(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0);
    configure(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0);
    exec("PRAGMA secure_delete = ON; PRAGMA cell_size_check = ON");
}

int Connection::progress(void* self) {
    auto* c = static_cast<Connection*>(self);
    if (gStopAll.load(std::memory_order_relaxed) || c->deadline_.hasExpired())
        c->cutShort_ = true;
    return c->cutShort_ ? 1 : 0;
}

// Waits for a file another program writes in short steps, up to the busy wait, and no longer
// than the time bound or a stop request lets it.
int Connection::busy(void* self, int count) {
    auto* c = static_cast<Connection*>(self);
    if (count == 0)
        c->busyUntil_ = QDeadlineTimer(c->busyWaitMs_);
    if (gStopAll.load(std::memory_order_relaxed) || c->deadline_.hasExpired() ||
        c->busyUntil_.hasExpired())
        return 0;
    QThread::msleep(count < 10 ? 1 : 10);
    return 1;
}

void stopAll() {
    gStopAll.store(true);
}

bool stopRequested() {
    return gStopAll.load();
}

DbError cutShortError(const QString& path) {
    return DbError(kErrOdbcCall,
                   QStringLiteral("履歴ファイル ") + path +
                       QStringLiteral(" の処理が時間内に終わらないか中止されたため、"
                                      "打ち切りました（ファイルは変更していません）。"));
}

QStringList unplainTables(sqlite::Connection& db) {
    QStringList out;
    sqlite::Statement st(db.handle(),
                         "SELECT name, type, coalesce(sql, '') FROM sqlite_schema WHERE name = ? "
                         "COLLATE NOCASE");
    for (const char* name : kOwnTables) {
        st.bind(1, QByteArrayView(name));
        while (st.step()) {
            const bool plain =
                st.text(1) == u"table" &&
                !st.text(2).trimmed().startsWith(u"CREATE VIRTUAL", Qt::CaseInsensitive);
            if (!plain)
                out.append(st.text(0));
        }
        st.reset();
    }
    return out;
}

std::optional<DbError> recordingRefusal(sqlite::Connection& db, const QString& path) {
    QStringList found;
    {
        sqlite::Statement st(db.handle(),
                             "SELECT type, name FROM sqlite_schema WHERE type IN ('trigger', "
                             "'view') ORDER BY type, name");
        while (st.step())
            found.append(st.text(0) + QLatin1Char(' ') + st.text(1));
    }
    for (const QString& name : unplainTables(db))
        found.append(name);
    found.removeDuplicates();
    if (found.isEmpty())
        return std::nullopt;
    return DbError(kErrOdbcCall,
                   QStringLiteral("履歴ファイル ") + path +
                       QStringLiteral(" には履歴の表のほかにトリガー、ビューまたは表でない履歴"
                                      "の表（") +
                       found.join(QStringLiteral(", ")) +
                       QStringLiteral("）があるため、記録に使用できません（読むことはできます。"
                                      "ファイルは変更していません）。"));
}

std::optional<DbError> ownerRefusal(const QString& path) {
    const QString reason = foreignFileReason(path);
    if (reason.isEmpty())
        return std::nullopt;
    return DbError(kErrOdbcCall, QStringLiteral("履歴ファイル ") + path + QStringLiteral(" は") +
                                     reason +
                                     QStringLiteral("。記録には使用できません（読むことはでき"
                                                    "ます）。"));
}

}  // namespace qv::history
