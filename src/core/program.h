#pragma once

#include <QString>

namespace qv {

// The program's name, which titles its frame and every message box.
inline const QString kAppTitle = QStringLiteral("QuervinStudio");

// The ODBC driver a connection goes through unless the options name another.
inline const QString kDefaultOracleDriver = QStringLiteral("Oracle ODBC Driver");

}  // namespace qv
