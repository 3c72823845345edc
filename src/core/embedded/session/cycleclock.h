#pragma once

#include <sqlite3.h>

#ifndef QUERVIN_SYSTEM_SQLITE
#include "core/sqlite/sqliterows.h"
#endif

#include <cstdint>
#include <optional>
#include <vector>

// How the engine times the lines of a measured statement: SQLite counts the cycles of each
// virtual-machine instruction while the thread's statement is clocked, and its scan status adds
// them up per plan line (SQLITE_SCANSTAT_NCYCLE). Reading the counter for every instruction
// makes a plain scan several times slower (a virtual machine may even trap each read), so a run
// is clocked whole for its first kWholeSteps steps (a step is a row handed on, or all the work
// of a statement that hands on one), then one step in kSampledEvery, chosen at random; the
// cycles of the sampled steps count kSampledEvery times, as Oracle samples its row-source
// timing. A million-row count measured so runs as fast as one not measured.
namespace qv::embedded {

class CycleClock {
  public:
    static constexpr int64_t kWholeSteps = 1000;
    static constexpr unsigned kSampledEvery = 256;

    // A clock that counts when `on` (the run is measured) and this build has a cycle counter.
    explicit CycleClock(bool on = false);

    // Whether the run's cycles are counted at all.
    bool counting() const { return counting_; }
    // Around each step of the statement; after() keeps what the whole-clocked steps counted
    // once they are over. Cannot fail.
    void before();
    void after(sqlite3_stmt* stmt);
    // For quervin_step_rows(): null when not counting. At most as many steps as `limit` before
    // the whole-clocked steps end, so that after() sees their end.
    void* forSteps(int64_t& limit);

    // The cycles of scan status entry `index` of `stmt` (-1: the whole statement), sampled
    // steps counted as often as they stand for; empty when not counted. Cannot fail.
    std::optional<int64_t> cycles(sqlite3_stmt* stmt, int index) const;

  private:
    bool counting_ = false;
#ifndef QUERVIN_SYSTEM_SQLITE
    quervin_clock state_{0, kWholeSteps, kSampledEvery, 0x9e3779b9u};
#endif
    std::vector<int64_t> whole_;  // per entry, then the statement's (last), after the first steps
};

// The cycle counter's ticks in a microsecond, measured once per process against the steady
// clock (over 20 ms, the first time it is asked for). Cannot fail.
double cyclesPerMicrosecond();

}  // namespace qv::embedded
