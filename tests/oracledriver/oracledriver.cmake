# The scripted Oracle driver: a module that unixODBC loads through the tests' own odbcinst.ini,
# as it loads Oracle's driver, answering from the scenario files in oracledriver/scenarios.
# It links no driver manager: the ODBC names it defines are the driver's entry points.
add_library(quervin_oracledriver MODULE
  oracledriver/scenario.cpp oracledriver/scenario.h oracledriver/handles.h
  oracledriver/connection.cpp oracledriver/statement.cpp oracledriver/fetch.cpp
)
target_include_directories(quervin_oracledriver PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${ODBC_INCLUDE_DIRS})
target_link_libraries(quervin_oracledriver PRIVATE quervin_options Qt6::Core)
# Its own calls stay inside it even though the manager defines the same names.
target_link_options(quervin_oracledriver PRIVATE -Wl,-Bsymbolic)
set_target_properties(quervin_oracledriver PROPERTIES AUTOMOC OFF)

set(QUERVIN_ORACLE_DRIVER "Scripted Oracle 19")
set(QUERVIN_ORACLE_INI_DIR "${CMAKE_CURRENT_BINARY_DIR}/oracledriver")
file(GENERATE OUTPUT "${QUERVIN_ORACLE_INI_DIR}/odbcinst.ini" CONTENT "[ODBC]
Trace=No

[${QUERVIN_ORACLE_DRIVER}]
Description=Answers as Oracle's ODBC driver and a 19c server do, from scenario files
Driver=$<TARGET_FILE:quervin_oracledriver>
")
set(QUERVIN_ORACLE_ENV
  "ODBCSYSINI=${QUERVIN_ORACLE_INI_DIR}"
  "ODBCINSTINI=odbcinst.ini"
  "QUERVIN_ORACLE_SCENARIOS=${CMAKE_CURRENT_SOURCE_DIR}/oracledriver/scenarios"
  "QT_QPA_PLATFORM=offscreen"
  "LC_ALL=C.UTF-8"
)

# The program's ODBC layer and quervin-cli through the scripted driver.
add_executable(test_oracle_odbc test_oracle_odbc.cpp)
target_link_libraries(test_oracle_odbc PRIVATE quervin_core quervin_testmain_core)
add_dependencies(test_oracle_odbc quervin_oracledriver quervin-cli)
target_compile_definitions(test_oracle_odbc PRIVATE QUERVIN_CLI="$<TARGET_FILE:quervin-cli>")
add_test(NAME test_oracle_odbc COMMAND test_oracle_odbc)
set_tests_properties(test_oracle_odbc PROPERTIES ENVIRONMENT "${QUERVIN_ORACLE_ENV}" TIMEOUT 300)

# A run's sessions on a 19c server through the scripted driver: quervin-cli and a query window.
add_executable(test_oracle_session test_oracle_session.cpp)
target_link_libraries(test_oracle_session PRIVATE quervin_testsupport)
add_dependencies(test_oracle_session quervin_oracledriver quervin-cli)
target_compile_definitions(test_oracle_session PRIVATE QUERVIN_CLI="$<TARGET_FILE:quervin-cli>")
add_test(NAME test_oracle_session COMMAND test_oracle_session)
set_tests_properties(test_oracle_session PROPERTIES ENVIRONMENT "${QUERVIN_ORACLE_ENV}" TIMEOUT 300)
