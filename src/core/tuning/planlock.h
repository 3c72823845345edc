#pragma once

#include "core/tuning/runcontrol.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace qv {

// The plan step of one run at a time. Every window explains into the same rows of its plan
// table (STATEMENT_ID 'QUERVIN', committed as they are written), so two plan steps at once
// would read each other's plan, a mixture, or none: the program owns one of these for all its
// windows. Any member may be used from any thread.
class PlanStepLock {
  public:
    // Waits until the step is this run's, or until `control` is asked to stop, which ends the
    // wait at once. True when the step is this run's: call release() after it.
    bool acquire(RunControl& control);
    void release();
    // How many runs wait for the step now.
    int waiting() const;

  private:
    std::atomic<bool> held_{false};
    mutable std::mutex mutex_;  // guards waiters_; a waiter's control outlives its entry
    std::vector<RunControl*> waiters_;
};

// Holds the plan step for one run while it lives; empty (not held) when there is no lock to
// take or the run was stopped while it waited.
class PlanStepTurn {
  public:
    PlanStepTurn(PlanStepLock* lock, RunControl& control)
        : lock_(lock && lock->acquire(control) ? lock : nullptr), stopped_(lock && !lock_) {}
    ~PlanStepTurn() {
        if (lock_)
            lock_->release();
    }
    PlanStepTurn(const PlanStepTurn&) = delete;
    PlanStepTurn& operator=(const PlanStepTurn&) = delete;
    // The run was stopped before the step was its turn.
    bool stopped() const { return stopped_; }

  private:
    PlanStepLock* lock_;
    bool stopped_;
};

}  // namespace qv
