#pragma once

#include "core/settings/settingsstore.h"
#include "support/checks.h"

#include <QString>
#include <QTemporaryDir>

namespace qv::test {

// Points the process-wide settings store at an INI file in a fresh temporary directory and
// drops the settings object and the statement ring, so each test starts as a first run.
// Restores a clean state when it goes.
class TempStore {
  public:
    TempStore();
    ~TempStore();

    QString dir() const { return dir_.path(); }
    QString path() const { return path_; }
    // Writes a value straight into the file, as a user editing it would.
    void put(const QString& name, const QString& value);

  private:
    QTemporaryDir dir_;
    QString path_;
};

}  // namespace qv::test
