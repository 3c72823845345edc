#include "core/tuning/runthread.h"

#include "core/internalerror.h"
#include "core/tuning/tuningrun.h"

#include <thread>

namespace qv {

namespace {

// The record of a run that an exception ended.
RunRecord failedRun() {
    RunRecord record;
    record.internalError = currentExceptionText();
    return record;
}

}  // namespace

void RunThread::end(RunRecord record, const std::function<void(const RunRecord&)>& ended) {
    try {
        if (ended)
            ended(record);
    } catch (...) {
        if (!record.internalError)
            record = failedRun();
    }
    // Signalled under the control's lock: once a waiter sees the end, this thread no longer
    // touches the window or its control.
    control_.signal([&] {
        record_ = std::move(record);
        ended_.store(true);
    });
}

std::shared_ptr<RunThread> RunThread::start(RunWindow& window, std::shared_ptr<void> owner,
                                            std::function<void(const RunRecord&)> ended) {
    std::shared_ptr<RunThread> run(new RunThread(window.control()));
    try {
        std::thread([run, &window, owner = std::move(owner), ended]() mutable {
            RunRecord record;
            try {
                record = runTuning(window);
            } catch (...) {
                record = failedRun();
            }
            run->end(std::move(record), ended);
        }).detach();
    } catch (...) {
        // No thread to run on: the run ends before it began, as one that failed.
        run->end(failedRun(), ended);
    }
    return run;
}

bool RunThread::wait(int ms) {
    return control_.waitUntil([this] { return ended_.load(); },
                              RunControl::Clock::now() + std::chrono::milliseconds(ms));
}

bool RunThread::waitForEndOrStop(std::optional<RunControl::Clock::time_point> deadline) {
    control_.waitUntil([this] { return ended_.load() || control_.stopRequested(); }, deadline);
    return ended_.load();
}

}  // namespace qv
