#include "core/embedded/sessions.h"

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

const std::array<StatisticInfo, kStatisticCount>& statisticCatalogue() {
    static const std::array<StatisticInfo, kStatisticCount> catalogue{{
        {kStatUserCalls, "user calls", 1},
        {kStatParseCount, "parse count (total)", 64},
        {kStatExecuteCount, "execute count", 64},
        {kStatRowsFetched, "rows fetched", 64},
        {kStatBytesSent, "bytes sent via SQL*Net to client", 1},
        {kStatTableScanRows, "table scan rows gotten", 64},
        {kStatSorts, "sorts (memory)", 64},
        {kStatAutoIndexes, "automatic index rows", 64},
        {kStatVmSteps, "virtual machine steps", 64},
        {kStatLogicalReads, "session logical reads", 8},
        {kStatPhysicalReads, "physical reads", 8},
        {kStatPhysicalWrites, "physical writes", 8},
        {kStatRowsChanged, "rows changed", 64},
        {kStatCpuTime, "CPU used by this session", 1},
        {kStatElapsed, "elapsed time (centiseconds)", 1},
    }};
    return catalogue;
}

void StatCounters::add(const StatCounters& other) {
    for (size_t i = 0; i < v.size(); ++i)
        v[i] += other.v[i];
}

int64_t StatCounters::shown(Statistic s) const {
    if (s == kStatCpuTime || s == kStatElapsed)
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

void Session::setParameter(const QString& name, const QString& value) {
    const QString key = name.toUpper();
    // Oracle knows the optimizer goal under both names; either sets it.
    if (key == u"OPTIMIZER_GOAL" || key == u"OPTIMIZER_MODE") {
        parameters_.insert(QStringLiteral("OPTIMIZER_GOAL"), value);
        parameters_.insert(QStringLiteral("OPTIMIZER_MODE"), value);
        return;
    }
    parameters_.insert(key, value);
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
