#pragma once

#include "core/program.h"

#include <QString>

namespace qv {

// The ODBC connect string of a window's connections:
// "ODBC;Driver={<driver>};DBQ=<service>;UID=<user>;PWD=<password>;". A value containing ';',
// '{' or '}', or beginning or ending with a blank, is enclosed in braces with '}' doubled, as
// ODBC defines, so any password connects and a typed service name cannot add attributes.
// Other values stand as typed. An empty driver means kDefaultOracleDriver.
QString buildConnectString(const QString& driver, const QString& service, const QString& user,
                           const QString& password);

// One attribute value quoted for a connect string when it needs it.
QString odbcAttributeValue(const QString& value);

}  // namespace qv
