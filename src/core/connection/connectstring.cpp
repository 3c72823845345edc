#include "core/connection/connectstring.h"

namespace qv {

QString odbcAttributeValue(const QString& value) {
    const bool special = value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('{')) ||
                         value.contains(QLatin1Char('}')) ||
                         (!value.isEmpty() &&
                          (value.front() == QLatin1Char(' ') || value.back() == QLatin1Char(' ')));
    if (!special)
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + quoted + QLatin1Char('}');
}

QString buildConnectString(const QString& driver, const QString& service, const QString& user,
                           const QString& password) {
    QString name = driver.isEmpty() ? kDefaultOracleDriver : driver;
    // The driver name already stands between braces; only a closing brace needs doubling.
    name.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QStringLiteral("ODBC;Driver={") + name + QStringLiteral("};") + QStringLiteral("DBQ=") +
           odbcAttributeValue(service) + QStringLiteral(";") + QStringLiteral("UID=") +
           odbcAttributeValue(user) + QStringLiteral(";PWD=") + odbcAttributeValue(password) +
           QStringLiteral(";") + kBindTimestampAsDate;
}

}  // namespace qv
