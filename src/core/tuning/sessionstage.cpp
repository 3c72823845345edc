#include "core/tuning/sessionstage.h"

#include "core/tuning/actualsstep.h"
#include "core/tuning/statistics.h"
#include "core/tuning/tuningrun.h"

#include <QRegularExpression>

namespace qv {

namespace {

const QString kTraceOff = QStringLiteral("ALTER SESSION SET SQL_TRACE=FALSE");
const QString kTimedStats = QStringLiteral("ALTER SESSION SET TIMED_STATISTICS=TRUE");

// The first column of every row `sql` gives on `db`. Throws DbError.
QStringList firstColumn(Database& db, const QString& sql) {
    QStringList values;
    std::unique_ptr<Recordset> rs = db.openRecordset(sql);
    while (!rs->eof()) {
        values.append(textOrEmpty(rs->value(0)).trimmed());
        rs->moveNext();
    }
    rs->close();
    return values;
}

// Sets `goal` on the query session. Current servers refuse the obsolete OPTIMIZER_GOAL
// (ORA-01986); the same goal then goes through OPTIMIZER_MODE so the choice is not lost.
bool setGoal(RunWindow& w, RunState& r, const QString& goal) {
    Database& db = w.queryDatabase();
    return r.step([&] {
        db.execute(QStringLiteral("ALTER SESSION SET OPTIMIZER_GOAL = ") + goal);
    }) || r.step([&] { db.execute(QStringLiteral("ALTER SESSION SET OPTIMIZER_MODE = ") + goal); });
}

// The goal chosen is set before the plan is explained, so that the plan shown is the goal's
// even when the statement does not run. Without a choice, a session a run had set a goal on
// gets back the goal it had before.
void optimizerGoalStage(RunWindow& w, RunState& r) {
    if (w.settings().storedGoalNotOffered())
        w.showNote(kMsgStoredGoalNotOffered);
    const QString goal = w.settings().sessionOptimizerGoal();
    r.record.optimizerGoal = goal;  // as the history keeps it
    SessionMemory& memory = w.sessionMemory();
    if (goal.isEmpty()) {
        if (!memory.optimizerGoal.isEmpty() && setGoal(w, r, memory.ownOptimizerGoal))
            memory.optimizerGoal.clear();
        return;
    }
    if (memory.optimizerGoal.isEmpty()) {
        // Read before the first goal is set: V$PARAMETER shows the session its own value. A
        // user who may not read it has Oracle's default, unless an administrator changed it.
        QStringList own;
        r.step([&] { own = firstColumn(w.queryDatabase(), kOwnGoalQuery); });
        static const QRegularExpression name(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
        memory.ownOptimizerGoal = own.size() == 1 && name.match(own.first()).hasMatch()
                                      ? own.first().toUpper()
                                      : kDefaultOptimizerGoal;
    }
    if (setGoal(w, r, goal))
        memory.optimizerGoal = goal;
}

// A session id is a number: the statistics query takes nothing else from the server.
bool isSessionId(const QString& sid) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,20}$"));
    return digits.match(sid).hasMatch();
}

// The query session's id, from V$SESSION, else from the session itself.
void sessionIdStage(RunWindow& w, RunState& r) {
    QStringList sids;
    if (!r.step([&] { sids = firstColumn(w.queryDatabase(), kSidQuery); }) &&
        !isPrivilegeError(*r.pending)) {
        // Anything else (a lost connection) is told as the server gave it.
        r.statisticsFailed(w, r.pending->description());
        return;
    }
    const std::optional<DbError> refused = std::exchange(r.pending, std::nullopt);
    if (!refused && sids.size() == 1 && isSessionId(sids.first())) {
        r.sid = sids.first();
        return;
    }
    sids.clear();
    if (!r.step([&] { sids = firstColumn(w.queryDatabase(), kOwnSidQuery); })) {
        // Without this session's id the statistics query would read nothing, or another
        // session: no statistics are shown then, and the line says why.
        r.statisticsFailed(
            w, refused ? refused->description() + kMsgNoVSession : r.pending->description());
        return;
    }
    if (sids.size() != 1 || !isSessionId(sids.first())) {
        r.statisticsFailed(w, kMsgNoSessionId);
        return;
    }
    r.sid = sids.first();
}

// The instance `db`'s session is on; empty when the server cannot say (no such function).
QString instanceOf(Database& db) {
    try {
        const QStringList instance = firstColumn(db, kInstanceQuery);
        return instance.size() == 1 ? instance.first() : QString();
    } catch (const DbError&) {
        return QString();
    }
}

// Whether the statistics session is on the query session's instance, after connecting it again
// a few times when it is not: a service that runs on several instances hands each new session
// to one of them.
bool onQueryInstance(RunWindow& w) {
    const QString query = instanceOf(w.queryDatabase());
    if (query.isEmpty())
        return true;  // a server of one instance, or one that cannot tell
    for (int reconnects = 0;; ++reconnects) {
        const QString stats = instanceOf(w.statsDatabase());
        if (stats.isEmpty() || stats == query)
            return true;
        if (reconnects == kInstanceReconnects)
            return false;
        try {
            w.statsDatabase().reconnect();
        } catch (const DbError&) {
            return false;
        }
        try {
            w.statsDatabase().execute(kTraceOff);
        } catch (const DbError&) {
            // A session statement; never reported.
        }
    }
}

void instanceStage(RunWindow& w, RunState& r) {
    SessionMemory& memory = w.sessionMemory();
    if (memory.statsInstance == SessionMemory::Instance::Unknown)
        memory.statsInstance =
            onQueryInstance(w) ? SessionMemory::Instance::Same : SessionMemory::Instance::Other;
    if (memory.statsInstance == SessionMemory::Instance::Other)
        r.statisticsFailed(w, kMsgStatsOnOtherInstance);
}

}  // namespace

void sessionStage(RunWindow& w, RunState& r) {
    if (w.settings().runQuery())
        r.step([&] { w.statsDatabase().execute(kTraceOff); });
    if (w.settings().showPlan())
        r.step([&] { w.queryDatabase().execute(kTraceOff); });
    optimizerGoalStage(w, r);
    if (w.settings().runQuery()) {
        r.step([&] { w.queryDatabase().execute(kTimedStats); });
        statisticsLevelStage(w, r);
        r.pending.reset();  // session statements are never reported, nor their warnings
        sessionIdStage(w, r);
        if (r.statsUsable)
            instanceStage(w, r);
    }
    r.pending.reset();
    w.queryDatabase().takeWarnings();
    w.statsDatabase().takeWarnings();
}

}  // namespace qv
