#include "embedded/embeddedengine.h"
#include "oracle/connection.h"
#include "oracle/odbcdatabase.h"

namespace qv {

DatabaseOpener defaultDatabaseOpener() {
    return [](const QString& service, const QString& connectString,
              const QString& user) -> std::unique_ptr<Database> {
        if (isEmbeddedService(service))
            return openEmbeddedDatabase(service, user);
        auto db = std::make_unique<OdbcDatabase>();
        db->open(connectString);
        return db;
    };
}

}  // namespace qv
