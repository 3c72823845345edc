#pragma once

#include <QString>
#include <QStringList>

namespace qv {

// What the ODBC driver manager itself answers, without a connection to any driver. Everything
// else of the program that wants to know about ODBC asks here rather than calling the API.

// The ODBC drivers the driver manager knows (odbcinst.ini on unixODBC, the registry on Windows),
// in the manager's order. Never throws: empty when there are none or the manager fails.
QStringList installedOdbcDrivers();

// The driver manager's SQL_DM_VER text ("03.52.0002.0003"), read from an unconnected
// connection handle. Never throws: empty when the driver manager does not answer.
QString odbcDriverManagerVersion();

}  // namespace qv
