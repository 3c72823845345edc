# Counting a million rows through our ODBC layer against a plain ODBC loop (PostgreSQL driver).
find_library(QUERVIN_BENCH_PSQLODBC NAMES psqlodbcw.so PATH_SUFFIXES odbc)
if(QUERVIN_BENCH_PSQLODBC)
  add_executable(bench_odbc_count bench_odbc_count.cpp)
  target_link_libraries(bench_odbc_count PRIVATE quervin_core)
  target_compile_definitions(bench_odbc_count PRIVATE
    QUERVIN_PSQLODBC="${QUERVIN_BENCH_PSQLODBC}"
    QUERVIN_PG_FIXTURE="${PROJECT_SOURCE_DIR}/tests/support/pg_fixture.sh")
else()
  message(STATUS "bench_odbc_count left out: the PostgreSQL ODBC driver is not installed")
endif()
# What ten bind variables add to a run, through the SQLite ODBC driver (no server needed).
find_library(QUERVIN_BENCH_SQLITEODBC NAMES libsqlite3odbc.so PATH_SUFFIXES odbc)
if(QUERVIN_BENCH_SQLITEODBC)
  add_executable(bench_binds bench_binds.cpp)
  target_link_libraries(bench_binds PRIVATE quervin_core)
  target_compile_definitions(bench_binds PRIVATE QUERVIN_SQLITEODBC="${QUERVIN_BENCH_SQLITEODBC}")
else()
  message(STATUS "bench_binds left out: the SQLite ODBC driver is not installed")
endif()
