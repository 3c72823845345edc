# The SQLite that the embedded engine and the history file are built on: our own build of the
# official amalgamation (scripts/deps.sh fetches it), so the engine gets the measurements and
# the safety it needs whatever the system's SQLite was built with. A packager can build on the
# system's SQLite instead; the engine then leaves out what that build cannot measure.
option(QUERVIN_SYSTEM_SQLITE "Build on the system's SQLite instead of our own build of it" OFF)

set(QUERVIN_SQLITE_VERSION 3520000)
set(QUERVIN_SQLITE_SHA256 f6b50b0c103392af32a8be15b2b9d25959de9a00a70c3979128aafeaa5338b3f)
set(QUERVIN_SQLITE_TARBALL "${PROJECT_SOURCE_DIR}/.deps/sqlite-autoconf-${QUERVIN_SQLITE_VERSION}.tar.gz"
    CACHE FILEPATH "SQLite's autoconf tarball (scripts/deps.sh fetches it)")

if(QUERVIN_SYSTEM_SQLITE)
  find_package(SQLite3 REQUIRED)
  add_library(quervin_sqlite3 INTERFACE)
  target_link_libraries(quervin_sqlite3 INTERFACE SQLite::SQLite3)
  target_compile_definitions(quervin_sqlite3 INTERFACE QUERVIN_SYSTEM_SQLITE)
  return()
endif()

if(NOT EXISTS "${QUERVIN_SQLITE_TARBALL}")
  message(FATAL_ERROR "${QUERVIN_SQLITE_TARBALL} is missing: run scripts/deps.sh, or configure "
                      "with -DQUERVIN_SYSTEM_SQLITE=ON to build on the system's SQLite")
endif()
file(SHA256 "${QUERVIN_SQLITE_TARBALL}" _quervin_sqlite_sum)
if(NOT _quervin_sqlite_sum STREQUAL QUERVIN_SQLITE_SHA256)
  message(FATAL_ERROR "${QUERVIN_SQLITE_TARBALL} is not SQLite ${QUERVIN_SQLITE_VERSION}'s "
                      "tarball (SHA-256 ${_quervin_sqlite_sum}); delete it and run scripts/deps.sh")
endif()
set(_quervin_sqlite_dir "${CMAKE_BINARY_DIR}/_deps/sqlite-autoconf-${QUERVIN_SQLITE_VERSION}")
if(NOT EXISTS "${_quervin_sqlite_dir}/sqlite3.c")
  file(ARCHIVE_EXTRACT INPUT "${QUERVIN_SQLITE_TARBALL}" DESTINATION "${CMAKE_BINARY_DIR}/_deps"
       PATTERNS "*/sqlite3.c" "*/sqlite3.h" "*/sqlite3ext.h")
endif()

# The amalgamation with the engine's row measure (src/core/sqlite/sqliterows.c includes it).
add_library(quervin_sqlite3 STATIC "${PROJECT_SOURCE_DIR}/src/core/sqlite/sqliterows.c")
target_include_directories(quervin_sqlite3 SYSTEM PUBLIC "${_quervin_sqlite_dir}")
target_include_directories(quervin_sqlite3 PRIVATE "${PROJECT_SOURCE_DIR}/src")
# Every option is the engine's need or its safety:
target_compile_definitions(quervin_sqlite3
  PUBLIC
    # Per plan line: loops, rows and cycles (actual figures next to the estimates).
    SQLITE_ENABLE_STMT_SCANSTATUS
  PRIVATE
    # Histograms of skewed columns for the estimates (ANALYZE gathers sqlite_stat4).
    SQLITE_ENABLE_STAT4
    # Page counts per table and index for the engine's own statistics gathering.
    SQLITE_ENABLE_DBSTAT_VTAB
    # The table and column a result column comes from (Oracle's headings of SELECT *).
    SQLITE_ENABLE_COLUMN_METADATA
    # SQRT, LN, POWER, ... as Oracle has them.
    SQLITE_ENABLE_MATH_FUNCTIONS
    SQLITE_SOUNDEX
    # "x" is a name, never a string, as in Oracle.
    SQLITE_DQS=0
    # Oracle enforces foreign keys.
    SQLITE_DEFAULT_FOREIGN_KEYS=1
    # No code from outside: no extension loading, and no full-text search with its
    # replaceable tokenizer pointer.
    SQLITE_OMIT_LOAD_EXTENSION
    # Connections run on their own threads; a stop interrupts one from another.
    SQLITE_THREADSAFE=1
    # Memory statistics on, as SQLite has them by default: the engine's hard heap limit
    # (src/core/embedded/sandbox.cpp) counts on them, at a lock per allocation.
    SQLITE_DEFAULT_MEMSTATUS=1
    SQLITE_LIKE_DOESNT_MATCH_BLOBS
    # LIKE tells capitals from small letters, as in Oracle; an index on the column still serves
    # LIKE 'ab%'.
    SQLITE_CASE_SENSITIVE_LIKE
    SQLITE_OMIT_DEPRECATED
    SQLITE_OMIT_SHARED_CACHE
    # Oracle takes 65,535 bind variables in a statement; SQLite's default ceiling is 32,766.
    SQLITE_MAX_VARIABLE_NUMBER=65535
)
# Strict ISO C: SQLite's own cycle counter is left out. With scan status it would read it twice
# for every virtual-machine instruction of every statement, which made a plain scan 3.6 times
# slower (0.05 s -> 0.18 s for a million rows); sqliterows.c gives it one that reads the counter
# only while the thread's statement is clocked (the plan lines' A-Time of a measured run).
set_target_properties(quervin_sqlite3 PROPERTIES
  C_STANDARD 11
  C_EXTENSIONS OFF
  C_VISIBILITY_PRESET hidden
  POSITION_INDEPENDENT_CODE ON)
# Hidden from every other module of the process: a system libsqlite3 that a driver loads (the
# SQLite ODBC driver) keeps its own symbols, and ours are never taken for its.
target_compile_definitions(quervin_sqlite3 PUBLIC "SQLITE_API=__attribute__((visibility(\"hidden\")))")
find_package(Threads REQUIRED)
target_link_libraries(quervin_sqlite3 PUBLIC Threads::Threads ${CMAKE_DL_LIBS} m)
# The amalgamation is not ours to warn about.
target_compile_options(quervin_sqlite3 PRIVATE -w)
