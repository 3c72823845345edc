#pragma once

#include "core/embedded/cursors.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace qv::embedded {

// Statistic numbers (V$STATNAME.STATISTIC#). The program pairs readings and stores them by
// number, so a number, once given, keeps its meaning forever; new statistics get new numbers.
// Given before and no longer used, never to be given again: 1 (user calls without the fetch
// calls), 3 (execute count without recursive statements), 4 (rows fetched), 6 (table scan rows
// gotten without the scans that fill automatic indexes), 13 (rows changed).
enum Statistic : int {
    kStatParseCount = 2,       // the client's statements parsed, failures included
    kStatBytesSent = 5,        // bytes of the values the client read
    kStatSorts = 7,            // sorts, spilled to a file or not: SQLite does not tell
    kStatAutoIndexRows = 8,    // rows SQLite stepped over to fill automatic (temporary) indexes
    kStatVmSteps = 9,          // SQLite virtual machine steps
    kStatLogicalReads = 10,    // pages requested from the page cache
    kStatPhysicalReads = 11,   // pages read from the file (cache misses)
    kStatPhysicalWrites = 12,  // pages written to the file
    kStatCpuTime = 14,         // CPU time of the thread inside the engine's calls
    kStatDbTime = 15,          // wall-clock time inside the engine's calls
    kStatUserCalls = 16,       // calls of the client: statements and fetches
    kStatRecursiveCalls = 17,  // statements SQLite started that the client did not send
    kStatExecuteCount = 18,    // statements run: the client's and the recursive ones
    kStatOpenedCursors = 19,   // SQLite statements started for the first time
    kStatTableScanRows = 20,   // steps of full scans to their next row (not to the first)
    kStatRowsProcessed = 21,   // rows passed to the client, or inserted, updated or deleted
    kStatRoundtrips = 22,      // calls from the client, each one crossing into the engine
    kStatConsistentGets = 23,  // of the logical reads, those of statements that only read
    kStatDbBlockGets = 24,     // of the logical reads, those of statements that change data
    // From SQLite's scan status (measuredByScanStatus()):
    kStatTableFetchByRowid = 25,  // rows read by rowid: found through an index, or named by it
    kStatIndexFetchByKey = 26,    // rows found by one value of a unique key
    kStatSortRows = 27,           // rows put into sorts (ORDER BY, GROUP BY, DISTINCT)
};
inline constexpr int kHighestStatistic = 27;

// Whether this build of SQLite reports per-loop scan status, from which the last three
// statistics are measured. Without it they are not listed at all: never a figure made up.
bool measuredByScanStatus();
// The statistics Oracle has and the engine would measure with scan status, but this build
// cannot: empty when nothing is missing.
QStringList unmeasuredStatistics();

struct StatisticInfo {
    Statistic number;
    const char* name;
    int statClass;  // Oracle's classes: 1 user, 8 cache, 64 SQL, 128 debug
};

// Every statistic this build measures, in number order. None of the functions below fail.
const std::vector<StatisticInfo>& statisticCatalogue();

// Counters indexed by statistic number; times are kept in nanoseconds.
struct StatCounters {
    std::array<int64_t, kHighestStatistic + 1> v{};

    int64_t& operator[](Statistic s) { return v[s]; }
    int64_t operator[](Statistic s) const { return v[s]; }
    void add(const StatCounters& other);
    // The value V$SESSTAT shows: times in centiseconds, everything else as counted.
    int64_t shown(Statistic s) const;
};

// One connection's server session: its ids, its user and what it has done.
class Session {
  public:
    Session(int64_t sid, int64_t audsid, QString user);

    int64_t sid() const { return sid_; }
    int64_t audsid() const { return audsid_; }
    const QString& user() const { return user_; }

    // Adds the work of one call; safe against concurrent readers of the counters.
    void add(const StatCounters& delta);
    StatCounters counters() const;

    // ALTER SESSION values, by upper-case name. Only the session's own connection uses them.
    void setParameter(const QString& name, const QString& value);
    QString parameter(const QString& name) const { return parameters_.value(name.toUpper()); }

    // The statement the session ran last (V$SESSION.PREV_SQL_ID); empty before the first. Safe
    // against concurrent readers.
    void setPreviousSqlId(const QString& sqlId);
    QString previousSqlId() const;
    // Keeps the last execution of a statement in place of an earlier one of the same SQL_ID; the
    // session keeps its kKeptCursors latest statements. Safe against concurrent readers.
    void keepCursor(ExecutedCursor cursor);
    std::vector<std::shared_ptr<const ExecutedCursor>> cursors() const;
    static constexpr size_t kKeptCursors = 8;

  private:
    const int64_t sid_;
    const int64_t audsid_;
    const QString user_;
    StatCounters counters_;
    QHash<QString, QString> parameters_;
    QString previousSqlId_;
    std::vector<std::shared_ptr<const ExecutedCursor>> cursors_;  // the latest first
};

// The process-wide list of open sessions, shared by every connection.
// Starts a session with fresh, never reused SID and AUDSID. Cannot fail.
std::shared_ptr<Session> openSession(const QString& user);
// Ends a session: it leaves V$SESSION and V$SESSTAT. Unknown ids are ignored.
void closeSession(int64_t sid);
// The open sessions in SID order.
std::vector<std::shared_ptr<Session>> openSessions();

// Clocks for the time statistics, in nanoseconds.
int64_t threadCpuNanos();
int64_t wallNanos();

}  // namespace qv::embedded
