#include "core/tuning/runthread.h"

#include "core/tuning/tuningrun.h"

#include <thread>

namespace qv {

std::shared_ptr<RunThread> RunThread::start(RunWindow& window, std::shared_ptr<void> owner,
                                            std::function<void(const RunRecord&)> ended) {
    std::shared_ptr<RunThread> run(new RunThread(window.control()));
    std::thread([run, &window, owner = std::move(owner), ended = std::move(ended)]() mutable {
        RunRecord record = runTuning(window);
        if (ended)
            ended(record);
        // Signalled under the control's lock: once a waiter sees the end, this thread no
        // longer touches the window or its control.
        run->control_.signal([&] {
            run->record_ = std::move(record);
            run->ended_.store(true);
        });
    }).detach();
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
