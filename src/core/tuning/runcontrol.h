#pragma once

#include "core/db/database.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace qv {

// What a run and whoever started it share across threads: the request to stop it and how far
// its result step has come. Every member may be used from any thread.
class RunControl {
  public:
    enum class Phase { Preparing, Executing, Fetching, Done };

    // The connection whose statement a stop cancels on the server.
    void setCancelTarget(std::shared_ptr<Database> db);
    // Marks the run as stopped and cancels the statement in flight. Calling it again cancels
    // again, which also catches a statement that started just after the first call.
    void requestStop();
    bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }

    // The result step's progress.
    void startExecuting();
    void startFetching() { phase_.store(Phase::Fetching, std::memory_order_relaxed); }
    void setRowsFetched(int64_t rows) { rows_.store(rows, std::memory_order_relaxed); }
    void finishResultStep();
    Phase phase() const { return phase_.load(std::memory_order_relaxed); }
    int64_t rowsFetched() const { return rows_.load(std::memory_order_relaxed); }
    // Milliseconds since the statement was sent (while the step lasts), or the step's whole
    // time once it is done; 0 before it starts.
    int64_t elapsedMs() const;

  private:
    std::atomic<bool> stop_{false};
    std::atomic<Phase> phase_{Phase::Preparing};
    std::atomic<int64_t> rows_{0};
    std::atomic<int64_t> startedNs_{0};
    std::atomic<int64_t> elapsedNs_{-1};
    mutable std::mutex mutex_;
    std::shared_ptr<Database> cancelTarget_;
};

// The error a run reports when it stopped itself between two calls of the driver.
DbError cancelledError();

}  // namespace qv
