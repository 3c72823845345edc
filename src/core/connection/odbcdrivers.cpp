#include "core/connection/odbcdrivers.h"

namespace qv {

QStringList oracleDriverNames(const QStringList& installed) {
    QStringList oracle;
    for (const QString& name : installed) {
        if (name.toLower().contains(QLatin1String("oracle")))
            oracle.append(name);
    }
    return oracle;
}

QStringList oracleDriverList() {
    return oracleDriverNames(installedOdbcDrivers());
}

}  // namespace qv
