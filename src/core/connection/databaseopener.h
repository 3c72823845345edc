#pragma once

#include "core/db/database.h"

#include <QString>

#include <functional>
#include <memory>

namespace qv {

// Opens one connection: the service name as typed, the full connect string and the user.
// Throws DbError when the connection cannot be made.
using DatabaseOpener = std::function<std::unique_ptr<Database>(
    const QString& service, const QString& connectString, const QString& user)>;

// The opener of the program: the embedded engine for "sqlite:" services (its sample in
// `sampleDir`, or where sampleDatabasePath() finds it when empty), ODBC otherwise.
DatabaseOpener defaultDatabaseOpener(const QString& sampleDir = QString());

// What the program's opener connects `service` through, as the history names it: "embedded"
// for the embedded engine, else the ODBC driver `odbcDriver` (the Oracle driver when empty).
QString driverLabel(const QString& service, const QString& odbcDriver);

}  // namespace qv
