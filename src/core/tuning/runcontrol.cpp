#include "core/tuning/runcontrol.h"

#include <chrono>

namespace qv {

namespace {
int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

void RunControl::setCancelTarget(std::shared_ptr<Database> db) {
    std::lock_guard lock(mutex_);
    cancelTarget_ = std::move(db);
}

void RunControl::requestStop() {
    stop_.store(true, std::memory_order_relaxed);
    std::lock_guard lock(mutex_);
    if (cancelTarget_)
        cancelTarget_->cancel();
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

DbError cancelledError() {
    return DbError(kErrOdbcCall,
                   QStringLiteral("ORA-01013: user requested cancel of current operation"));
}

}  // namespace qv
