// The driver list against the driver manager's real configuration: the tests' odbcinst.ini
// (ODBCSYSINI, from tests/odbc.cmake).
#include "core/db/odbcdrivers.h"

#include <gtest/gtest.h>

using namespace qv;

namespace {

TEST(OdbcDrivers, ListsTheManagersDriversInItsOrderAndFiltersOracleInAnyCase) {
    EXPECT_EQ(installedOdbcDrivers(),
              QStringList({"PostgreSQL Unicode", "Oracle ODBC Driver", "SQLite3", "OraHome92",
                           "Oracle in OraClient19Home1", "Sybase ASE ODBC Driver",
                           "Microsoft ODBC for ORACLE", "DataDirect 8.0 Oracle Wire Protocol"}));
    EXPECT_EQ(oracleDriverList(),
              QStringList({"Oracle ODBC Driver", "Oracle in OraClient19Home1",
                           "Microsoft ODBC for ORACLE", "DataDirect 8.0 Oracle Wire Protocol"}));
}

}  // namespace
