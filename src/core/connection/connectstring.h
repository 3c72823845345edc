#pragma once

#include "core/program.h"

#include <QString>

namespace qv {

// Oracle's ODBC driver binds an SQL_TYPE_TIMESTAMP parameter as an Oracle TIMESTAMP unless told
// to bind it as DATE ("Bind TIMESTAMP as DATE", BTD=T: Oracle Database Development Guide 19c,
// "Using the Oracle ODBC Driver", Format of the Connection String). Compared with a TIMESTAMP
// the server converts an indexed DATE column, and the index range scan becomes a full scan:
// the program's DATE variables, bound as SQL_TYPE_TIMESTAMP to keep their time of day, reach
// the server as DATE through it. Other drivers pass over an attribute they do not know.
inline const QString kBindTimestampAsDate = QStringLiteral("BTD=T;");

// The ODBC connect string of a window's connections:
// "ODBC;Driver={<driver>};DBQ=<service>;UID=<user>;PWD=<password>;BTD=T;". A value containing ';',
// '{' or '}', or beginning or ending with a blank, is enclosed in braces with '}' doubled, as
// ODBC defines, so any password connects and a typed service name cannot add attributes.
// Other values stand as typed. An empty driver means kDefaultOracleDriver.
QString buildConnectString(const QString& driver, const QString& service, const QString& user,
                           const QString& password);

// One attribute value quoted for a connect string when it needs it.
QString odbcAttributeValue(const QString& value);

}  // namespace qv
