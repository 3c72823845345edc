#pragma once

#include <QStringList>

namespace qv {

// The ODBC drivers the driver manager knows (odbcinst.ini on unixODBC, the registry on Windows),
// in the manager's order. Never throws: empty when there are none or the manager fails.
QStringList installedOdbcDrivers();

// The names among `installed` that contain "oracle" in any case, in their order and case.
QStringList oracleDriverNames(const QStringList& installed);

// The installed drivers whose name contains "oracle" in any case, in the manager's order and
// their own case: the drivers offered for the Oracle connection. Never throws.
QStringList oracleDriverList();

}  // namespace qv
