#pragma once

#include "core/embedded/sessions.h"

#include <sqlite3.h>

#include <memory>
#include <set>

namespace qv::embedded {

class EmbeddedRecordset;

// What a connection and its results share. A result keeps it alive, so a result used after
// its connection closed fails cleanly instead of touching a freed handle.
struct Connection {
    sqlite3* db = nullptr;  // null once closed
    std::shared_ptr<Session> session;
    std::set<EmbeddedRecordset*> running;  // results whose statement is not finished
    int64_t recordsAffected = 0;
};

// The work of one call, from its start until it is added to the session: the engine's own
// counts plus, when added, SQLite's counters and the CPU and wall-clock time spent. A result
// carries its call's work until its last row, so the fetch is measured with the execution.
class Work {
  public:
    Work();

    StatCounters counts;

    // Adds everything since the last time to the session and starts again. `stmt`, when
    // given, contributes its scan, sort and step counters. Cannot fail.
    void addTo(Connection& c, sqlite3_stmt* stmt);

  private:
    int64_t cpuStart_;
    int64_t wallStart_;
};

}  // namespace qv::embedded
