# Tests of the embedded engine, against real SQLite files in temporary folders.
add_library(quervin_embeddedfixture STATIC support/embeddedfixture.cpp support/embeddedfixture.h
  support/sqliteprobe.cpp support/sqliteprobe.h)
target_link_libraries(quervin_embeddedfixture PUBLIC quervin_core quervin_testmain_core)

foreach(name IN ITEMS test_embedded_sql test_embedded_session test_embedded_plan test_embedded_sample
                     test_embedded_sandbox
                     test_embedded_binds test_embedded_actuals test_embedded_values
                     test_embedded_forms test_embedded_ddl test_embedded_dictionary
                     test_embedded_statistics test_embedded_estimates test_embedded_reporting
                     test_embedded_virtualindexes
                     test_plan_statements test_plan_shapes test_plan_joins test_plan_hints)
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE quervin_embeddedfixture)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 300)
endforeach()
# The engine against plain SQLite on generated queries.
add_executable(test_differential test_differential.cpp support/querygenerator.cpp
  support/querygenerator.h support/querybuilder.cpp support/querybuilder.h
  support/queryshapes.cpp support/diffschema.cpp support/diffschema.h)
target_link_libraries(test_differential PRIVATE quervin_embeddedfixture)
add_test(NAME test_differential COMMAND test_differential)
set_tests_properties(test_differential PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 300)
target_compile_definitions(test_embedded_ddl PRIVATE
  QUERVIN_HR_SCHEMA="${CMAKE_CURRENT_SOURCE_DIR}/data/hr_schema.sql"
  QUERVIN_HR_DROP="${CMAKE_CURRENT_SOURCE_DIR}/data/hr_drop.sql")
