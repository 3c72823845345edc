# Tests of the ODBC layer against real drivers: the PostgreSQL Unicode driver on a throw-away
# server that a fixture starts, and the SQLite 3 driver on temporary files.
#
# Other tests can use the same server:
#   set_tests_properties(x PROPERTIES FIXTURES_REQUIRED pg
#                        ENVIRONMENT "${QUERVIN_PG_ENV};QT_QPA_PLATFORM=offscreen")
# and connect with "Driver={${QUERVIN_PG_DRIVER}};UID=quervin;PWD=;" (libpq takes the server,
# port and database from the environment; the driver ignores DBQ).

find_library(QUERVIN_PSQLODBC NAMES psqlodbcw.so PATH_SUFFIXES odbc)
find_library(QUERVIN_SQLITEODBC NAMES libsqlite3odbc.so PATH_SUFFIXES odbc)
foreach(driver QUERVIN_PSQLODBC QUERVIN_SQLITEODBC)
  if(NOT ${driver})
    message(WARNING "${driver}: ODBC driver library not found; scripts/deps.sh test installs it")
  endif()
endforeach()

# A port per build tree, so two trees on one machine can run their tests at the same time.
string(MD5 _quervin_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_quervin_hash}" 0 4 _quervin_hex)
math(EXPR _quervin_port "20000 + 0x${_quervin_hex} % 10000")
set(QUERVIN_PG_PORT ${_quervin_port} CACHE STRING "Port of the tests' PostgreSQL server on 127.0.0.1")
set(QUERVIN_PG_DIR "${CMAKE_CURRENT_BINARY_DIR}/pg")
set(QUERVIN_PG_DRIVER "PostgreSQL Unicode")

# Clients use the server's socket unless its path is too long for a socket address.
set(_quervin_socket "${QUERVIN_PG_DIR}/.s.PGSQL.${QUERVIN_PG_PORT}")
string(LENGTH "${_quervin_socket}" _quervin_socket_length)
if(_quervin_socket_length LESS 100)
  set(_quervin_pghost "${QUERVIN_PG_DIR}")
else()
  set(_quervin_pghost 127.0.0.1)
endif()

# The tests' own driver manager configuration: the real drivers by full path, and names that
# only exist to be listed (their libraries are missing on purpose).
set(QUERVIN_ODBC_INI_DIR "${CMAKE_CURRENT_BINARY_DIR}/odbc")
file(CONFIGURE OUTPUT "${QUERVIN_ODBC_INI_DIR}/odbcinst.ini" @ONLY CONTENT "[ODBC]
Trace=No

[${QUERVIN_PG_DRIVER}]
Description=PostgreSQL ODBC driver (Unicode)
Driver=${QUERVIN_PSQLODBC}

[Oracle ODBC Driver]
Description=Listed only; its library is missing
Driver=/nonexistent/quervin-test/libsqora.so.19.1

[SQLite3]
Description=SQLite3 ODBC driver
Driver=${QUERVIN_SQLITEODBC}

[OraHome92]
Driver=/nonexistent/quervin-test/libora92.so

[Oracle in OraClient19Home1]
Driver=/nonexistent/quervin-test/libsqora.so.19.1

[Sybase ASE ODBC Driver]
Driver=/nonexistent/quervin-test/libsybdrvodb.so

[Microsoft ODBC for ORACLE]
Driver=/nonexistent/quervin-test/msorcl32.so

[DataDirect 8.0 Oracle Wire Protocol]
Driver=/nonexistent/quervin-test/libddora28.so
")
file(CONFIGURE OUTPUT "${QUERVIN_ODBC_INI_DIR}/odbc.ini" @ONLY CONTENT "")

set(QUERVIN_PG_ENV
  "ODBCSYSINI=${QUERVIN_ODBC_INI_DIR}"
  "PGHOST=${_quervin_pghost}"
  "PGPORT=${QUERVIN_PG_PORT}"
  "PGUSER=quervin"
  "PGDATABASE=quervin"
  "PGSSLMODE=disable"
  "PGCONNECT_TIMEOUT=20"
  "LC_ALL=C.UTF-8"
)

set(_quervin_fixture "${CMAKE_CURRENT_SOURCE_DIR}/support/pg_fixture.sh")
add_test(NAME pg_start COMMAND "${_quervin_fixture}" start "${QUERVIN_PG_DIR}" ${QUERVIN_PG_PORT})
set_tests_properties(pg_start PROPERTIES FIXTURES_SETUP pg TIMEOUT 120)
add_test(NAME pg_stop COMMAND "${_quervin_fixture}" stop "${QUERVIN_PG_DIR}")
set_tests_properties(pg_stop PROPERTIES FIXTURES_CLEANUP pg TIMEOUT 120)

add_executable(test_odbcdatabase test_odbcdatabase.cpp)
target_link_libraries(test_odbcdatabase PRIVATE quervin_core quervin_testmain_core)
add_test(NAME test_odbcdatabase COMMAND test_odbcdatabase)
set_tests_properties(test_odbcdatabase PROPERTIES
  FIXTURES_REQUIRED pg ENVIRONMENT "${QUERVIN_PG_ENV}" TIMEOUT 300)
