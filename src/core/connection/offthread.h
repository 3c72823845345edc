#pragma once

#include <QObject>

#include <functional>

class QThread;

namespace qv {

// Runs `work` on a thread of its own and then `done` on `receiver`'s thread, through its event
// loop; `done` is dropped when `receiver` is gone by then, and `work` runs to its end either
// way (what it holds is released on its thread). The thread object deletes itself once it has
// finished; it may be waited for until then.
QThread* runOffThread(QObject* receiver, std::function<void()> work, std::function<void()> done);

}  // namespace qv
