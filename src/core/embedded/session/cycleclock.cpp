#include "core/embedded/session/cycleclock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace qv::embedded {

namespace {

std::optional<int64_t> counted(sqlite3_stmt* stmt, int index) {
#ifdef SQLITE_ENABLE_STMT_SCANSTATUS
    sqlite3_int64 n = 0;
    if (sqlite3_stmt_scanstatus_v2(stmt, index, SQLITE_SCANSTAT_NCYCLE, SQLITE_SCANSTAT_COMPLEX,
                                   &n) != 0)
        return std::nullopt;
    // Each counted instruction is counted less what reading the counter adds to it: a line of
    // next to no work may come out a little below 0.
    return std::max<int64_t>(n, 0);
#else
    (void)stmt;
    (void)index;
    return std::nullopt;
#endif
}

}  // namespace

#ifdef QUERVIN_SYSTEM_SQLITE

// The system's SQLite counts no cycles the engine can switch on.
CycleClock::CycleClock(bool) {}
void CycleClock::before() {}
void CycleClock::after() {}
void* CycleClock::forSteps() {
    return nullptr;
}
double cyclesPerMicrosecond() {
    return 0;
}

#else

CycleClock::CycleClock(bool on) : counting_(on && quervin_has_cycle_counter()) {
    if (counting_)
        state_.longRead = int64_t(cyclesPerMicrosecond() * double(kLongReadMicros));
}

void CycleClock::before() {
    if (counting_)
        quervin_clock_step(&state_);
}

void CycleClock::after() {
    if (counting_)
        quervin_clock_step(nullptr);
}

void* CycleClock::forSteps() {
    return counting_ ? &state_ : nullptr;
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
    return counting_ ? counted(stmt, index) : std::nullopt;
}

}  // namespace qv::embedded
