#include "core/embedded/session/sessions.h"

#include "core/embedded/values/oracleerrors.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>

#include <time.h>

namespace qv::embedded {

namespace {

// One lock for the list and every session's counters: readings are rare and short.
std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}

struct Registry {
    int64_t nextSid = 1;
    uint64_t nextCursor = 1;
    // Audit session ids come from their own sequence, as Oracle's do, so they never equal a SID
    // by accident and a lookup by the wrong one fails visibly.
    int64_t nextAudsid = 100001;
    std::map<int64_t, std::shared_ptr<Session>> sessions;
};

Registry& registry() {
    static Registry r;
    return r;
}

constexpr int64_t kNanosPerCentisecond = 10'000'000;

}  // namespace

bool measuredByScanStatus() {
#ifdef SQLITE_ENABLE_STMT_SCANSTATUS
    return true;
#else
    return false;
#endif
}

QStringList unmeasuredStatistics() {
    if (measuredByScanStatus())
        return {};
    return {QStringLiteral("table scan rows gotten"), QStringLiteral("table fetch by rowid"),
            QStringLiteral("index fetch by key"), QStringLiteral("sorts (rows)")};
}

const std::vector<StatisticInfo>& statisticCatalogue() {
    // Oracle's names wherever the engine measures what Oracle's statistic counts; the two
    // that Oracle has no counterpart for say they are SQLite's.
    static const std::vector<StatisticInfo> catalogue = [] {
        std::vector<StatisticInfo> all{{
            {kStatParseCount, "parse count (total)", 64},
            {kStatBytesSent, "bytes sent via SQL*Net to client", 1},
            {kStatSorts, "sorts (memory)", 64},
            {kStatAutoIndexRows, "SQLite automatic index rows", 128},
            {kStatVmSteps, "SQLite VM steps", 128},
            {kStatLogicalReads, "session logical reads", 1},
            {kStatPhysicalReads, "physical reads", 8},
            {kStatPhysicalWrites, "physical writes", 8},
            {kStatCpuTime, "CPU used by this session", 1},
            {kStatDbTime, "DB time", 1},
            {kStatUserCalls, "user calls", 1},
            {kStatRecursiveCalls, "recursive calls", 1},
            {kStatExecuteCount, "execute count", 64},
            {kStatOpenedCursors, "opened cursors cumulative", 1},
            // V$SESSTAT in Oracle counts no rows a statement gives or changes; autotrace and tkprof
            // report them under this name, the one a tuner looks for.
            {kStatRowsProcessed, "rows processed", 64},
            {kStatRoundtrips, "SQL*Net roundtrips to/from client", 1},
            {kStatConsistentGets, "consistent gets", 8},
            {kStatDbBlockGets, "db block gets", 8},
        }};
        if (measuredByScanStatus()) {
            all.push_back({kStatTableScanRows, "table scan rows gotten", 64});
            all.push_back({kStatTableFetchByRowid, "table fetch by rowid", 64});
            all.push_back({kStatIndexFetchByKey, "index fetch by key", 64});
            all.push_back({kStatSortRows, "sorts (rows)", 64});
        }
        all.push_back({kStatParseCountHard, "parse count (hard)", 64});
        all.push_back({kStatRedoSize, "redo size", 2});
        all.push_back({kStatBytesReceived, "bytes received via SQL*Net from client", 1});
        all.push_back({kStatSortsDisk, "sorts (disk)", 64});
        all.push_back({kStatPhysicalWritesDirect, "physical writes direct", 8});
        std::sort(all.begin(), all.end(), [](const StatisticInfo& a, const StatisticInfo& b) {
            return a.number < b.number;
        });
        return all;
    }();
    return catalogue;
}

void StatCounters::add(const StatCounters& other) {
    for (size_t i = 0; i < v.size(); ++i)
        v[i] += other.v[i];
}

int64_t StatCounters::shown(Statistic s) const {
    if (s == kStatCpuTime || s == kStatDbTime)
        return v[s] / kNanosPerCentisecond;
    return v[s];
}

Session::Session(int64_t sid, int64_t audsid, QString user)
    : sid_(sid), audsid_(audsid), user_(std::move(user)) {}

void Session::add(const StatCounters& delta) {
    std::lock_guard lock(registryMutex());
    counters_.add(delta);
}

StatCounters Session::counters() const {
    std::lock_guard lock(registryMutex());
    return counters_;
}

QString Session::parameter(const QString& name) const {
    const QString key = name.toUpper();
    if (key == u"NLS_DATE_FORMAT")
        return dates_->format;
    if (key == u"NLS_DATE_LANGUAGE" || key == u"NLS_LANGUAGE")
        return parameters_.value(key, QStringLiteral("AMERICAN"));
    if (key == u"NLS_TERRITORY") {
        // NLS_LANG is LANGUAGE_TERRITORY.CHARACTERSET, as the client's environment has it.
        const QString lang = QString::fromLocal8Bit(qgetenv("NLS_LANG")).toUpper();
        const QString territory = lang.section(u'_', 1).section(u'.', 0, 0).trimmed();
        return territory.isEmpty() ? QStringLiteral("AMERICA") : territory;
    }
    return parameters_.value(key);
}

void Session::setParameter(const QString& name, const QString& value) {
    const QString key = name.toUpper();
    if (key == u"NLS_DATE_FORMAT") {
        checkDateFormat(value);
        dates_->format = value;
        return;
    }
    if ((key == u"NLS_DATE_LANGUAGE" || key == u"NLS_LANGUAGE") && value.toUpper() != u"AMERICAN" &&
        value.toUpper() != u"ENGLISH")
        throw oracleError(12705, QStringLiteral("ORA-12705: Cannot access NLS data files or "
                                                "invalid environment specified"));
    // Oracle knows the optimizer goal under both names; either sets it.
    if (key == u"OPTIMIZER_GOAL" || key == u"OPTIMIZER_MODE") {
        parameters_.insert(QStringLiteral("OPTIMIZER_GOAL"), value);
        parameters_.insert(QStringLiteral("OPTIMIZER_MODE"), value);
        return;
    }
    parameters_.insert(key, value);
}

void Session::rememberParsed(const QString& sql) {
    if (parsed_.contains(sql))
        return;
    parsed_.insert(sql);
    parsedOrder_.append(sql);
    if (parsedOrder_.size() > kParsedTexts)
        parsed_.remove(parsedOrder_.takeFirst());
}

void Session::setPreviousSqlId(const QString& sqlId) {
    std::lock_guard lock(registryMutex());
    previousSqlId_ = sqlId;
}

QString Session::previousSqlId() const {
    std::lock_guard lock(registryMutex());
    return previousSqlId_;
}

void Session::keepCursor(ExecutedCursor cursor) {
    std::lock_guard lock(registryMutex());
    cursor.sequence = registry().nextCursor++;
    cursor.lastActive =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    for (const auto& kept : cursors_) {
        if (kept->sqlId == cursor.sqlId)
            cursor.totals = kept->totals;
    }
    ExecutedCursor::Totals& t = cursor.totals;
    t.executions += 1;
    t.rows += cursor.rows;
    t.bufferGets += cursor.consistentGets + cursor.currentGets;
    t.diskReads += cursor.diskReads;
    t.elapsedNanos += cursor.elapsedNanos;
    t.cpuNanos += cursor.cpuNanos;
    std::erase_if(cursors_, [&](const auto& kept) { return kept->sqlId == cursor.sqlId; });
    cursors_.insert(cursors_.begin(), std::make_shared<const ExecutedCursor>(std::move(cursor)));
    if (cursors_.size() > kKeptCursors)
        cursors_.pop_back();
}

std::vector<std::shared_ptr<const ExecutedCursor>> Session::cursors() const {
    std::lock_guard lock(registryMutex());
    return cursors_;
}

std::shared_ptr<Session> openSession(const QString& user) {
    std::lock_guard lock(registryMutex());
    Registry& r = registry();
    auto session = std::make_shared<Session>(r.nextSid++, r.nextAudsid++, user);
    r.sessions.emplace(session->sid(), session);
    return session;
}

void closeSession(int64_t sid) {
    std::lock_guard lock(registryMutex());
    registry().sessions.erase(sid);
}

std::vector<std::shared_ptr<Session>> openSessions() {
    std::lock_guard lock(registryMutex());
    std::vector<std::shared_ptr<Session>> out;
    out.reserve(registry().sessions.size());
    for (const auto& entry : registry().sessions)
        out.push_back(entry.second);
    return out;
}

int64_t threadCpuNanos() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

int64_t wallNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace qv::embedded
