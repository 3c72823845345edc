#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

namespace qv {

// Tells whoever shows a history file (the history windows) that a run was recorded into it.
class HistoryNotifier : public QObject {
    Q_OBJECT
  Q_SIGNALS:
    void runRecorded(const QString& path, qint32 runNumber);
};

// The process-wide notifier; use it on the user-interface thread.
HistoryNotifier& historyNotifier();

}  // namespace qv
