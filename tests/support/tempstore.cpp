#include "support/tempstore.h"

#include "core/history/statementring.h"
#include "core/settings/settings.h"

#include <QSettings>

namespace qv::test {

TempStore::TempStore() : path_(dir_.path() + QStringLiteral("/quervin.ini")) {
    discardSettings();
    discardStatementRing();
    setSettingsStore(std::make_unique<SettingsStore>(path_));
}

TempStore::~TempStore() {
    discardSettings();
    discardStatementRing();
}

void TempStore::put(const QString& name, const QString& value) {
    QSettings s(path_, QSettings::IniFormat);
    s.setValue(name, value);
    s.sync();
}

}  // namespace qv::test
