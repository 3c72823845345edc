#pragma once

#include "core/odbc/odbcdrivermanager.h"
#include "core/program.h"

#include <QStringList>

namespace qv {

// The names among `installed` that contain "oracle" in any case, in their order and case.
QStringList oracleDriverNames(const QStringList& installed);

// The installed drivers whose name contains "oracle" in any case, in the manager's order and
// their own case: the drivers offered for the Oracle connection. Never throws.
QStringList oracleDriverList();

// The driver a connection goes through when the options name `chosen`: that one when it is
// not empty; else "Oracle ODBC Driver" when it is installed (or nothing of Oracle is, and the
// login says that this driver is missing); else the first installed driver whose name
// contains "oracle", as Oracle's installers on Linux register theirs ("Oracle 19 ODBC driver",
// "Oracle in instantclient_19_x"). Never throws.
QString driverToUse(const QString& chosen, const QStringList& installed);

}  // namespace qv
