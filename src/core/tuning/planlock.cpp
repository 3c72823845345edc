#include "core/tuning/planlock.h"

#include <algorithm>

namespace qv {

bool PlanStepLock::acquire(RunControl& control) {
    {
        std::lock_guard lock(mutex_);
        waiters_.push_back(&control);
    }
    // The control's own wait, which a stop request ends; release() wakes it too. The predicate
    // runs under the control's lock and takes no other.
    bool taken = false;
    control.waitUntil([&] {
        bool free = false;
        taken = !control.stopRequested() && held_.compare_exchange_strong(free, true);
        return taken || control.stopRequested();
    });
    std::lock_guard lock(mutex_);
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &control));
    return taken;
}

void PlanStepLock::release() {
    held_.store(false);
    std::lock_guard lock(mutex_);
    for (RunControl* waiter : waiters_)
        waiter->signal([] {});
}

int PlanStepLock::waiting() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(waiters_.size());
}

}  // namespace qv
