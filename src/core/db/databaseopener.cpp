#include "core/db/databaseopener.h"

#include "core/db/odbcdatabase.h"
#include "core/embedded/embeddedengine.h"

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
