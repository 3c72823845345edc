#include "core/tuning/runcontrol.h"

namespace qv {

namespace {
int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               RunControl::Clock::now().time_since_epoch())
        .count();
}
}  // namespace

RunControl::RunControl() : stop_(std::make_shared<std::atomic<bool>>(false)) {}

void RunControl::setCancelTarget(std::shared_ptr<Database> db) {
    std::lock_guard lock(mutex_);
    cancelTarget_ = std::move(db);
    if (cancelTarget_)
        cancelTarget_->setStopRequest(stop_);
}

void RunControl::requestStop() {
    std::lock_guard lock(mutex_);
    stop_->store(true, std::memory_order_relaxed);
    if (cancelTarget_)
        cancelTarget_->cancel();
    changed_.notify_all();
}

void RunControl::signal(const std::function<void()>& change) {
    // Notified under the lock: a waiter that sees the change cannot go on (and perhaps destroy
    // this control) before the notification is over.
    std::lock_guard lock(mutex_);
    change();
    changed_.notify_all();
}

bool RunControl::waitUntil(const std::function<bool()>& ready,
                           std::optional<Clock::time_point> deadline) {
    std::unique_lock lock(mutex_);
    if (!deadline) {
        changed_.wait(lock, ready);
        return true;
    }
    return changed_.wait_until(lock, *deadline, ready);
}

void RunControl::startExecuting() {
    rows_.store(0, std::memory_order_relaxed);
    elapsedNs_.store(-1, std::memory_order_relaxed);
    startedNs_.store(nowNs(), std::memory_order_relaxed);
    phase_.store(Phase::Executing, std::memory_order_relaxed);
}

void RunControl::finishResultStep() {
    const int64_t started = startedNs_.load(std::memory_order_relaxed);
    elapsedNs_.store(started ? nowNs() - started : 0, std::memory_order_relaxed);
    phase_.store(Phase::Done, std::memory_order_relaxed);
}

int64_t RunControl::elapsedMs() const {
    const int64_t done = elapsedNs_.load(std::memory_order_relaxed);
    if (done >= 0)
        return done / 1'000'000;
    const int64_t started = startedNs_.load(std::memory_order_relaxed);
    return started ? (nowNs() - started) / 1'000'000 : 0;
}

}  // namespace qv
