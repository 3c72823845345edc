#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QThread;

namespace qv {

// Runs `work` on a thread of its own and then `done` on `receiver`'s thread, through its event
// loop; `done` is dropped when `receiver` is gone by then, and `work` runs to its end either
// way (what it holds is released on its thread). An exception `work` lets out ends it there, and
// `done` is given its text (currentExceptionText()); otherwise nothing. The thread object
// deletes itself once it has finished; it may be waited for until then.
QThread* runOffThread(QObject* receiver, std::function<void()> work,
                      std::function<void(const std::optional<QString>& failure)> done);

}  // namespace qv
