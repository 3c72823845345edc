#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

namespace qv {

// Tells whoever shows a history file (the history windows) that a run was recorded into it.
// The program has one (ProgramState); use it on the windows' thread.
class HistoryNotifier : public QObject {
    Q_OBJECT
  Q_SIGNALS:
    void runRecorded(const QString& path, qint32 runNumber);
};

}  // namespace qv
