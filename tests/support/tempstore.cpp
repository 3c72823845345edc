#include "support/tempstore.h"

#include "history/sqlhist.h"
#include "settings/publicvar.h"

#include <QSettings>

namespace qv::test {

TempStore::TempStore() : path_(dir_.path() + QStringLiteral("/quervin.ini")) {
    resetPublicVar();
    resetSQLHist();
    setRegStore(std::make_unique<RegStore>(path_));
}

TempStore::~TempStore() {
    resetPublicVar();
    resetSQLHist();
}

void TempStore::put(const QString& name, const QString& value) {
    QSettings s(path_, QSettings::IniFormat);
    s.setValue(name, value);
    s.sync();
}

}  // namespace qv::test
