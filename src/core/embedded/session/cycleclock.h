#pragma once

#include <sqlite3.h>

#ifndef QUERVIN_SYSTEM_SQLITE
#include "core/sqlite/sqliterows.h"
#endif

#include <cstdint>
#include <optional>

// How the engine times the lines of a measured statement: SQLite counts the cycles of each
// virtual-machine instruction while the thread's statement is clocked, and its scan status adds
// them up per plan line (SQLITE_SCANSTAT_NCYCLE). Reading the counter for every instruction
// makes a plain scan several times slower (a virtual machine may even trap each read), so a run
// is clocked whole for its first kWholeSteps steps (a step is a row handed on, or all the work
// of a statement that hands on one), then one step in kSampledEvery, chosen at random; and
// within a clocked step, its first kWholeInstructions instructions whole, then one in
// kSampledInstructionEvery at random, apart from each instruction's first runs and those that
// may do many rows' work at one go (a sort), always counted. Each counted instruction adds its
// cycles, less what reading the counter adds to them, times what it stands for, as Oracle
// samples its row-source timing; but one counted more than once that took longer than
// kLongReadMicros, not waiting for a read, counts its time past them once (another thread, or
// the host of a virtual machine, took the processor from it). A million-row count, or an
// aggregate that does all its work in one step, measured so runs nearly as fast as one not
// measured (sqliterows.c).
namespace qv::embedded {

class CycleClock {
  public:
    static constexpr int64_t kWholeSteps = 1000;
    static constexpr unsigned kSampledEvery = 256;
    static constexpr int64_t kWholeInstructions = 65536;
    static constexpr unsigned kSampledInstructionEvery = 64;
    // How long an instruction counted more than once may take before the clock counts the
    // rest of its time once, unless it waited for a read.
    static constexpr int64_t kLongReadMicros = 50;

    // A clock that counts when `on` (the run is measured) and this build has a cycle counter.
    explicit CycleClock(bool on = false);

    // Whether the run's cycles are counted at all.
    bool counting() const { return counting_; }
    // Around each step of the statement. Cannot fail.
    void before();
    void after();
    // For quervin_step_rows(), which clocks each step itself: null when not counting.
    void* forSteps();

    // The cycles of scan status entry `index` of `stmt` (-1: the whole statement), each
    // sampled instruction counted as often as it stands for; empty when not counted. Cannot
    // fail.
    std::optional<int64_t> cycles(sqlite3_stmt* stmt, int index) const;

  private:
    bool counting_ = false;
#ifndef QUERVIN_SYSTEM_SQLITE
    quervin_clock state_{
        0, kWholeSteps, kSampledEvery, 0x9e3779b9u, kWholeInstructions, kSampledInstructionEvery, 0,
        0};
#endif
};

// The cycle counter's ticks in a microsecond, measured once per process against the steady
// clock (over 20 ms, the first time it is asked for). Cannot fail.
double cyclesPerMicrosecond();

}  // namespace qv::embedded
