#pragma once

#include "core/odbc/odbcdrivermanager.h"

#include <QStringList>

namespace qv {

// The names among `installed` that contain "oracle" in any case, in their order and case.
QStringList oracleDriverNames(const QStringList& installed);

// The installed drivers whose name contains "oracle" in any case, in the manager's order and
// their own case: the drivers offered for the Oracle connection. Never throws.
QStringList oracleDriverList();

}  // namespace qv
