#pragma once

#include "core/tuning/runrecord.h"
#include "core/tuning/runwindow.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace qv {

// How long a stopped run may take to end before whoever waits for it gives up on the driver.
inline constexpr int kStopWaitMs = 5000;

// One tuning run on a thread of its own, for the query window and the command line alike: it can
// be stopped at any time and waited for a bounded time. Its end is signalled through the run's
// control, never polled.
class RunThread {
  public:
    // Starts runTuning(window) on a new thread. The thread holds `owner` (whatever keeps
    // `window` alive) until the run has ended, so the starter may leave the run behind. `ended`
    // is called on the run's thread with the record, before the end is signalled. An exception
    // that the run lets out ends it with the record's internalError set; so does a thread that
    // cannot be had, `ended` being called then on the starter's thread before this returns.
    static std::shared_ptr<RunThread> start(RunWindow& window, std::shared_ptr<void> owner,
                                            std::function<void(const RunRecord&)> ended = {});

    // Asks the run to stop: the server cancels the statement in flight and no other starts.
    void stop() { control_.requestStop(); }
    // Waits up to `ms` milliseconds for the run to end; true when it has.
    bool wait(int ms);
    // Waits until the run ends, a stop is asked for, or `deadline` passes; true when it ended.
    bool waitForEndOrStop(std::optional<RunControl::Clock::time_point> deadline);
    bool hasEnded() const { return ended_.load(); }
    // What the run did; only once it has ended.
    const RunRecord& record() const { return record_; }

  private:
    explicit RunThread(RunControl& control) : control_(control) {}
    // Hands `record` to `ended` and signals the end.
    void end(RunRecord record, const std::function<void(const RunRecord&)>& ended);

    RunControl& control_;
    std::atomic<bool> ended_{false};
    RunRecord record_;
};

}  // namespace qv
