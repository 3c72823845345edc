#pragma once

#include "core/db/database.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace qv {

// What a run and whoever started it share across threads: the request to stop it, how far its
// result step has come, and a place to wait for what the other side does. Every member may be
// used from any thread.
class RunControl {
  public:
    enum class Phase { Preparing, Executing, Fetching, Done };
    using Clock = std::chrono::steady_clock;

    RunControl();
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // The connection whose statement a stop cancels: the one the run's statement runs on. Every
    // call it begins after the stop fails at once, so a stop that comes between two calls is
    // not lost and nothing has to send it again. (The statistics connection is not stopped: a
    // stopped run still shows what it cost.)
    void setCancelTarget(std::shared_ptr<Database> db);
    // Marks the run as stopped, cancels the statement in flight and wakes every wait.
    void requestStop();
    bool stopRequested() const { return stop_->load(std::memory_order_relaxed); }

    // Runs `change` under the control's lock, then wakes every wait, so what it changes is seen
    // by the predicate of a wait.
    void signal(const std::function<void()>& change);
    // Waits until `ready` holds (checked under the lock), or until `deadline` when given; true
    // when `ready` holds.
    bool waitUntil(const std::function<bool()>& ready,
                   std::optional<Clock::time_point> deadline = std::nullopt);

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
    std::shared_ptr<std::atomic<bool>> stop_;
    std::atomic<Phase> phase_{Phase::Preparing};
    std::atomic<int64_t> rows_{0};
    std::atomic<int64_t> startedNs_{0};
    std::atomic<int64_t> elapsedNs_{-1};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<Database> cancelTarget_;
};

}  // namespace qv
