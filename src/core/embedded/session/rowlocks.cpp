#include "core/embedded/session/rowlocks.h"

#include "core/embedded/base/sandbox.h"
#include "core/embedded/translate/translator.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QDeadlineTimer>
#include <QScopeGuard>

namespace qv::embedded {

namespace {

// What the busy handler waits for while the lock is asked for.
struct Waiting {
    QDeadlineTimer deadline;
    const StopCheck& stopped;
};

int stillWaiting(void* p, int) {
    const auto* w = static_cast<const Waiting*>(p);
    try {
        if (w->deadline.hasExpired() || (w->stopped && w->stopped()))
            return 0;
    } catch (...) {
        return 0;  // nothing may leave a callback of SQLite's
    }
    sqlite3_sleep(10);
    return 1;
}

// Oracle locks the rows a query reads from its tables; a query whose rows are made of several
// (grouped, distinct, combined) locks none and is refused.
void checkLockable(const std::vector<sql::Token>& t, size_t end) {
    bool refused = end > 1 && (t[1].is(u"DISTINCT") || t[1].is(u"UNIQUE"));
    for (size_t i = 0; i < end && !refused; ++i) {
        if (isAggregate(t[i]) && i + 1 < end && t[i + 1].isOp(u'(')) {
            const size_t close = sql::closing(t, i + 1, end);
            refused = !(close + 1 < end && t[close + 1].is(u"OVER"));
            i = close;
        } else if (t[i].isOp(u'(') || t[i].is(u"CASE")) {
            i = sql::closing(t, i, end);
        } else {
            refused =
                isSetOperator(t[i]) || (t[i].is(u"GROUP") && i + 1 < end && t[i + 1].is(u"BY"));
        }
    }
    if (refused)
        throw oracleError(1786, QStringLiteral("ORA-01786: FOR UPDATE of this query expression "
                                               "is not allowed"));
}

}  // namespace

std::optional<ForUpdate> readForUpdate(const std::vector<sql::Token>& t) {
    size_t end = t.size();
    while (end > 0 && t[end - 1].isOp(u';'))
        --end;
    if (end == 0 || !(t[0].is(u"SELECT") || t[0].is(u"WITH")))
        return std::nullopt;
    size_t at = sql::findTopLevel(t, 0, end, u"FOR");
    while (at + 1 < end && !t[at + 1].is(u"UPDATE"))
        at = sql::findTopLevel(t, at + 1, end, u"FOR");
    if (at + 1 >= end)
        return std::nullopt;
    ForUpdate lock;
    lock.at = at;
    size_t i = at + 2;
    if (i < end && t[i].is(u"OF")) {
        // The columns say which tables' rows Oracle locks; here the file is locked whole.
        ++i;
        while (i < end && !t[i].is(u"NOWAIT") && !t[i].is(u"WAIT") && !t[i].is(u"SKIP"))
            ++i;
    }
    if (i < end && t[i].is(u"NOWAIT")) {
        lock.wait = ForUpdate::NoWait;
        ++i;
    } else if (i < end && t[i].is(u"WAIT")) {
        bool whole = false;
        if (i + 1 < end && t[i + 1].kind == sql::TokenKind::Number)
            lock.seconds = t[i + 1].text.toInt(&whole);
        if (!whole || lock.seconds < 0)
            throw oracleError(30005, QStringLiteral("ORA-30005: missing or invalid WAIT "
                                                    "interval"));
        lock.wait = ForUpdate::Seconds;
        i += 2;
    } else if (i + 1 < end && t[i].is(u"SKIP") && t[i + 1].is(u"LOCKED")) {
        lock.wait = ForUpdate::SkipLocked;
        i += 2;
    }
    if (i != end)
        throw oracleError(933, QStringLiteral("ORA-00933: SQL command not properly ended"));
    checkLockable(t, at);
    return lock;
}

bool lockFile(sqlite3* db, Sandbox& sandbox, const ForUpdate& lock, const StopCheck& stopped) {
    // A file open for reading alone takes no lock a writer would: Oracle's standby refuses it.
    if (sqlite3_db_readonly(db, "main") == 1)
        throw oracleError(16000, QStringLiteral("ORA-16000: database or pluggable database open "
                                                "for read-only access"));
    // A transaction the session opened already (by an earlier FOR UPDATE, or SQLite's BEGIN)
    // is its own: its writes take the lock as they come.
    if (!sqlite3_get_autocommit(db))
        return true;
    QDeadlineTimer deadline(QDeadlineTimer::Forever);
    if (lock.wait == ForUpdate::Seconds)
        deadline.setRemainingTime(qint64(lock.seconds) * 1000);
    else if (lock.wait != ForUpdate::Forever)
        deadline.setRemainingTime(0);
    Waiting waiting{deadline, stopped};
    sqlite3_busy_handler(db, stillWaiting, &waiting);
    // Held until the session's COMMIT or ROLLBACK, not to the end of a scope of ours.
    try {
        const auto restore = qScopeGuard([db] { sqlite3_busy_timeout(db, kBusyTimeoutMs); });
        const EngineRights engine(sandbox);
        sqlite::exec(db, "BEGIN IMMEDIATE");
        return true;
    } catch (const sqlite::Error& e) {
        if (e.resultCode() != SQLITE_BUSY)
            throw oracleFailure(e);
    }
    if (stopped && stopped())
        throw oracleError(1013, QStringLiteral("ORA-01013: user requested cancel of current "
                                               "operation"));
    switch (lock.wait) {
        case ForUpdate::SkipLocked:
            return false;
        case ForUpdate::Seconds:
            throw oracleError(30006, QStringLiteral("ORA-30006: resource busy; acquire with "
                                                    "WAIT timeout expired"));
        default:
            throw oracleError(54, QStringLiteral("ORA-00054: resource busy and acquire with "
                                                 "NOWAIT specified or timeout expired"));
    }
}

}  // namespace qv::embedded
