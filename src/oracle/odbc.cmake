# The database access component over ODBC: handles, connections and results, the driver list.
add_library(quervin_odbc STATIC
  oracle/odbchandles.cpp oracle/odbchandles.h
  oracle/odbcdatabase.cpp oracle/odbcdatabase.h
  oracle/odbcdrivers.cpp oracle/odbcdrivers.h
)
target_include_directories(quervin_odbc PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(quervin_odbc PUBLIC quervin_dbapi ODBC::ODBC)
