#include "core/connection/databaseopener.h"

#include "core/connection/connectstring.h"
#include "core/embedded/service/embeddedengine.h"
#include "core/odbc/odbcdatabase.h"

namespace qv {

DatabaseOpener defaultDatabaseOpener(const QString& sampleDir) {
    return [sampleDir](const QString& service, const QString& connectString,
                       const QString& user) -> std::unique_ptr<Database> {
        if (isEmbeddedService(service))
            return openEmbeddedDatabase(service, user, sampleDir);
        auto db = std::make_unique<OdbcDatabase>();
        db->open(connectString);
        return db;
    };
}

QString driverLabel(const QString& service, const QString& odbcDriver) {
    if (isEmbeddedService(service))
        return QStringLiteral("embedded");
    return odbcDriver.isEmpty() ? kDefaultOracleDriver : odbcDriver;
}

}  // namespace qv
