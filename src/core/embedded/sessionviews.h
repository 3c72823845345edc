#pragma once

#include <sqlite3.h>

#include <cstdint>

namespace qv::embedded {

// Makes V$SESSION (SID, AUDSID, USERNAME, STATUS), V$STATNAME (STATISTIC#, NAME, CLASS) and
// V$SESSTAT (SID, STATISTIC#, VALUE) readable on `db`, and USERENV('SESSIONID' | 'SID') give
// the session `sid`/`audsid`. The views are read-only virtual tables over the process-wide
// session list: reading them touches no file and no other session's counters.
// Returns SQLite's result code; SQLITE_OK on success.
int registerSessionViews(sqlite3* db, int64_t sid, int64_t audsid);

}  // namespace qv::embedded
