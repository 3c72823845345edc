#pragma once

#include "core/embedded/session/cursors.h"
#include "core/embedded/values/oraclefunctions.h"

#include <QHash>
#include <QSet>
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
// Rows travel to the client in arrays of kFetchArrayRows; a row's bytes are those of its values
// as Oracle sends them (rowBytes() in embeddedconnection.h).
enum Statistic : int {
    kStatParseCount = 2,       // the client's statements parsed, failures included
    kStatBytesSent = 5,        // bytes of every row fetched, its values read or not
    kStatSorts = 7,            // sorts that wrote no temporary file
    kStatAutoIndexRows = 8,    // rows SQLite stepped over to fill automatic (temporary) indexes
    kStatVmSteps = 9,          // SQLite virtual machine steps
    kStatLogicalReads = 10,    // consistent gets + db block gets
    kStatPhysicalReads = 11,   // pages read from the database file or its WAL (counting VFS)
    kStatPhysicalWrites = 12,  // blocks the session wrote itself (physical writes direct)
    kStatCpuTime = 14,         // CPU time of the thread inside the engine's calls
    kStatDbTime = 15,          // wall-clock time inside the engine's calls
    kStatUserCalls = 16,       // the client's calls: one per statement, one per fetch array
    kStatRecursiveCalls = 17,  // statements SQLite started that the client did not send
    kStatExecuteCount = 18,    // statements run: the client's and the recursive ones
    kStatOpenedCursors = 19,   // SQLite statements started for the first time
    kStatTableScanRows = 20,   // rows full table scans stepped through (scan status, below)
    kStatRowsProcessed = 21,   // rows passed to the client, or inserted, updated or deleted
    kStatRoundtrips = 22,      // as user calls: each call crosses to the server and back
    kStatConsistentGets = 23,  // pages requested from the page cache
    kStatDbBlockGets = 24,     // pages a changing statement wrote: the blocks it changed
    // From SQLite's scan status (measuredByScanStatus()):
    kStatTableFetchByRowid = 25,  // rows read by rowid: found through an index, or named by it
    kStatIndexFetchByKey = 26,    // rows found by one value of a unique key
    kStatSortRows = 27,           // rows put into sorts (ORDER BY, GROUP BY, DISTINCT)
    kStatParseCountHard = 28,     // parses of a text the session had not parsed before
    kStatRedoSize = 29,           // bytes written to the rollback journal or WAL (counting VFS)
    kStatBytesReceived = 30,      // bytes of the statement texts and bind values sent
    kStatSortsDisk = 31,          // sorts that wrote runs to a temporary file (counting VFS)
    // Blocks the session wrote itself, past the cache: a CREATE TABLE ... AS query's new table,
    // and a sort's runs in its temporary file. Also in physical writes (12), which counts no
    // block of an ordinary change: the cache writes those back, not the session.
    kStatPhysicalWritesDirect = 32,
};
inline constexpr int kHighestStatistic = 32;
inline constexpr int kFetchArrayRows = 15;  // SQL*Plus's default ARRAYSIZE

// Whether this build of SQLite reports per-loop scan status, from which table scan rows and
// the three statistics after it are measured. Without it they are not listed at all: never a figure
// made up.
bool measuredByScanStatus();
// The statistics Oracle has and the engine would measure with scan status, but this build
// cannot: empty when nothing is missing.
QStringList unmeasuredStatistics();

struct StatisticInfo {
    Statistic number;
    const char* name;
    int statClass;  // Oracle's classes: 1 user, 2 redo, 8 cache, 64 SQL, 128 debug
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
    // NLS_DATE_FORMAT is checked (ORA-01821) and read by the connection's date functions;
    // NLS_DATE_LANGUAGE takes AMERICAN or ENGLISH, whose names the engine writes (ORA-12705).
    void setParameter(const QString& name, const QString& value);
    QString parameter(const QString& name) const;
    // The date settings the connection's functions read (registerOracleFunctions()).
    std::shared_ptr<const DateSettings> dateSettings() const { return dates_; }

    // Whether the session has parsed `sql` before, as Oracle's session cursor cache would find
    // it; remember() adds it, forgetting the oldest beyond kParsedTexts. Only the session's own
    // connection uses them.
    bool parsedBefore(const QString& sql) const { return parsed_.contains(sql); }
    void rememberParsed(const QString& sql);
    static constexpr qsizetype kParsedTexts = 256;

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
    std::shared_ptr<DateSettings> dates_ = std::make_shared<DateSettings>(clientDateFormat());
    QSet<QString> parsed_;
    QStringList parsedOrder_;  // the oldest first
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
