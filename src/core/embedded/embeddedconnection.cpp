#include "core/embedded/embeddedconnection.h"

namespace qv::embedded {

namespace {

int64_t takeDbStatus(sqlite3* db, int op) {
    int current = 0;
    int highwater = 0;
    sqlite3_db_status(db, op, &current, &highwater, 1);
    return current;
}

}  // namespace

Work::Work() : cpuStart_(threadCpuNanos()), wallStart_(wallNanos()) {}

void Work::addTo(Connection& c, sqlite3_stmt* stmt) {
    if (stmt) {
        counts[kStatTableScanRows] += sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_FULLSCAN_STEP, 1);
        counts[kStatSorts] += sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_SORT, 1);
        counts[kStatAutoIndexes] += sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_AUTOINDEX, 1);
        counts[kStatVmSteps] += sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_VM_STEP, 1);
    }
    if (c.db) {
        // The page cache counters belong to the connection, which is the session: whatever
        // touched the cache since the last call is this session's work.
        const int64_t hits = takeDbStatus(c.db, SQLITE_DBSTATUS_CACHE_HIT);
        const int64_t misses = takeDbStatus(c.db, SQLITE_DBSTATUS_CACHE_MISS);
        counts[kStatLogicalReads] += hits + misses;
        counts[kStatPhysicalReads] += misses;
        counts[kStatPhysicalWrites] += takeDbStatus(c.db, SQLITE_DBSTATUS_CACHE_WRITE);
    }
    const int64_t cpu = threadCpuNanos();
    const int64_t wall = wallNanos();
    counts[kStatCpuTime] += cpu - cpuStart_;
    counts[kStatElapsed] += wall - wallStart_;
    cpuStart_ = cpu;
    wallStart_ = wall;
    if (c.session)
        c.session->add(counts);
    counts = StatCounters{};
}

}  // namespace qv::embedded
