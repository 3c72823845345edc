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

QString driverToUse(const QString& chosen, const QStringList& installed) {
    if (!chosen.isEmpty())
        return chosen;
    const QStringList oracle = oracleDriverNames(installed);
    if (oracle.isEmpty() || oracle.contains(kDefaultOracleDriver, Qt::CaseInsensitive))
        return kDefaultOracleDriver;
    return oracle.first();
}

}  // namespace qv
