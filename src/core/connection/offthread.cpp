#include "core/connection/offthread.h"

#include <QThread>

namespace qv {

QThread* runOffThread(QObject* receiver, std::function<void()> work, std::function<void()> done) {
    QThread* thread = QThread::create(std::move(work));
    // `receiver` as the context: the call is queued to its thread and disconnected with it.
    QObject::connect(thread, &QThread::finished, receiver, std::move(done), Qt::QueuedConnection);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return thread;
}

}  // namespace qv
