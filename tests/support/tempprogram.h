#pragma once

#include "core/settings/settingsstore.h"
#include "core/window/programstate.h"
#include "support/checks.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace qv::test {

// A program's state over a settings file of its own in a fresh temporary directory, so that a
// test starts as a first run of the program and shares nothing with another. The program's end
// (its last query window closing) is counted instead of quitting the event loop.
class TempProgram {
  public:
    TempProgram();

    QString dir() const { return dir_.path(); }
    // The settings file.
    QString path() const { return path_; }
    // Writes a value straight into the file, as a user editing it would.
    void put(const QString& name, const QString& value);
    // Another store on the same file: the program's next start, or a second copy running.
    std::unique_ptr<SettingsStore> openStore() const;

    ProgramState& program() { return program_; }
    SettingsStore& store() { return program_.store(); }
    SharedSettings& settings() { return program_.settings(); }
    // How often the program has ended.
    int ends() const { return ends_; }

  private:
    QTemporaryDir dir_;
    QString path_;
    ProgramState program_;
    int ends_ = 0;
};

}  // namespace qv::test
