#include "support/tempprogram.h"

#include <QSettings>

namespace qv::test {

TempProgram::TempProgram()
    : path_(dir_.path() + QStringLiteral("/quervin.ini")),
      program_(std::make_unique<SettingsStore>(path_)) {
    program_.setEndHandler([this] { ++ends_; });
}

void TempProgram::put(const QString& name, const QString& value) {
    QSettings s(path_, QSettings::IniFormat);
    s.setValue(name, value);
    s.sync();
}

std::unique_ptr<SettingsStore> TempProgram::openStore() const {
    return std::make_unique<SettingsStore>(path_);
}

}  // namespace qv::test
