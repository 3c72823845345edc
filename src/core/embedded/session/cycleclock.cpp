#include "core/embedded/session/cycleclock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace qv::embedded {

namespace {

int64_t counted(sqlite3_stmt* stmt, int index) {
    sqlite3_int64 n = -1;
#ifdef SQLITE_ENABLE_STMT_SCANSTATUS
    if (sqlite3_stmt_scanstatus_v2(stmt, index, SQLITE_SCANSTAT_NCYCLE, SQLITE_SCANSTAT_COMPLEX,
                                   &n) != 0)
        return -1;
#else
    (void)stmt;
    (void)index;
#endif
    return n;
}

}  // namespace

#ifdef QUERVIN_SYSTEM_SQLITE

// The system's SQLite counts no cycles the engine can switch on.
CycleClock::CycleClock(bool) {}
void CycleClock::before() {}
void CycleClock::after(sqlite3_stmt*) {}
void* CycleClock::forSteps(int64_t&) {
    return nullptr;
}
double cyclesPerMicrosecond() {
    return 0;
}

#else

CycleClock::CycleClock(bool on) : counting_(on && quervin_has_cycle_counter()) {}

void CycleClock::before() {
    if (counting_)
        quervin_clock_step(&state_);
}

void CycleClock::after(sqlite3_stmt* stmt) {
    if (!counting_)
        return;
    quervin_clock_step(nullptr);
    if (state_.steps != state_.whole || !whole_.empty() || !stmt)
        return;
    for (int i = 0;; ++i) {
        const int64_t n = counted(stmt, i);
        sqlite3_int64 loops = 0;
        if (sqlite3_stmt_scanstatus_v2(stmt, i, SQLITE_SCANSTAT_NLOOP, SQLITE_SCANSTAT_COMPLEX,
                                       &loops) != 0)
            break;
        whole_.push_back(n);
    }
    whole_.push_back(counted(stmt, -1));
}

void* CycleClock::forSteps(int64_t& limit) {
    if (!counting_)
        return nullptr;
    if (state_.steps < state_.whole)
        limit = std::min<int64_t>(limit, state_.whole - state_.steps);
    return &state_;
}

double cyclesPerMicrosecond() {
    static const double ratio = [] {
        using Clock = std::chrono::steady_clock;
        const auto t0 = Clock::now();
        const sqlite3_uint64 c0 = quervin_cycles();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const sqlite3_uint64 c1 = quervin_cycles();
        const auto t1 = Clock::now();
        const double micros = std::chrono::duration<double, std::micro>(t1 - t0).count();
        return micros > 0 && c1 > c0 ? double(c1 - c0) / micros : 0.0;
    }();
    return ratio;
}

#endif

std::optional<int64_t> CycleClock::cycles(sqlite3_stmt* stmt, int index) const {
    if (!counting_)
        return std::nullopt;
    const int64_t n = counted(stmt, index);
    if (n < 0)
        return std::nullopt;
    if (whole_.empty())
        return n;
    const size_t k = index < 0 ? whole_.size() - 1 : size_t(index);
    if (k >= whole_.size() || whole_[k] < 0)
        return std::nullopt;
    return whole_[k] + (n - whole_[k]) * int64_t(kSampledEvery);
}

}  // namespace qv::embedded
