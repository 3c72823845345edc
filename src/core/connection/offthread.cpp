#include "core/connection/offthread.h"

#include "core/internalerror.h"

#include <QThread>

#include <memory>

namespace qv {

QThread* runOffThread(QObject* receiver, std::function<void()> work,
                      std::function<void(const std::optional<QString>& failure)> done) {
    auto failure = std::make_shared<std::optional<QString>>();
    QThread* thread = QThread::create([work = std::move(work), failure] {
        try {
            work();
        } catch (...) {
            *failure = currentExceptionText();
        }
    });
    // `receiver` as the context: the call is queued to its thread and disconnected with it.
    QObject::connect(
        thread, &QThread::finished, receiver, [done = std::move(done), failure] { done(*failure); },
        Qt::QueuedConnection);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return thread;
}

}  // namespace qv
