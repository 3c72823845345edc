#pragma once

#include "core/embedded/session/cursors.h"
#include "core/embedded/session/iocounting.h"
#include "core/embedded/session/sessions.h"
#include "core/sqlite/sqlite.h"

#include <sqlite3.h>

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>
#include <set>

namespace qv::embedded {

class EmbeddedRecordset;

// What a connection and its results share. A result keeps it alive, so a result used after
// its connection closed fails cleanly instead of touching a freed handle.
struct Connection {
    std::unique_ptr<sqlite::Connection> file;
    sqlite3* db = nullptr;  // file's handle; null once closed
    std::shared_ptr<Session> session;
    std::set<EmbeddedRecordset*> running;  // results whose statement is not finished
    int64_t recordsAffected = 0;
    // What PL/SQL blocks wrote with DBMS_OUTPUT.PUT_LINE, until the client takes it.
    QStringList output;
    // Each statement's changes are committed as it ends (EmbeddedDatabase::setAutoCommit).
    bool autoCommit = true;
    // The savepoints of the open transaction, upper case, oldest first, and whether the first
    // of them began it (settleSavepoints()).
    QStringList savepoints;
    bool openedBySavepoint = false;
    // A savepoint rolled back to whose transaction has ended: it begins the next one.
    QString pendingSavepoint;
    // Statements the engine is running for one of the client's (a MERGE's parts): their texts
    // never crossed from the client.
    int engineDepth = 0;
    // Of those, the parts of the client's statement (a MERGE's): they are no call, parse or
    // execution of the client's and hand no rows to it; their reading and writing is the
    // statement's.
    int partOfStatement = 0;
    // Statement starts SQLite reported since a call last took them (see watchStatements).
    int64_t statementStarts = 0;
    int64_t cursorsOpened = 0;  // of those, statements that had never run before
    // The file I/O up to which calls on the connection have counted it: a statement the engine
    // runs inside another's call (MERGE) counts its own, and the outer call only the rest.
    IoCounts ioCounted;
    // Table name (lower case) -> whether it is a table of the file (not a view, a WITH query or a
    // subquery), whose full scans count as table scans; forgotten with uniqueIndexes.
    QHash<QString, bool> storedTables;
    // Index name (lower case) -> whether one value of all its columns finds one row at most;
    // forgotten whenever a statement may have changed the schema.
    QHash<QString, bool> uniqueIndexes;
    // cancel() was called since the client's call began: the translation stops on it, and so
    // does a call that SQLite would start after forgetting the interrupt (it forgets one that
    // comes while no statement runs).
    std::atomic<bool> cancelled{false};
};

// Has SQLite report every statement it starts on `c.db` (the client's, the engine's own,
// each trigger and each statement of a trigger) into `c`, and stop any of them once
// `c.cancelled` is set. Call once `c.db` is open.
void watchStatements(Connection& c);

// The work of the client's calls on one statement, from the statement until it is added to
// the session: the engine's own counts plus, when added, SQLite's counters. A result carries
// its statement's work until its last row, so the fetches are measured with the execution.
// Times and recursive statements are taken per call, so the client's own time between two
// calls is nobody's.
class Work {
  public:
    // The client's call that sends the statement begins now.
    Work();

    StatCounters counts;
    // The statement's rows go to the client: counts[kStatRowsProcessed] rows in arrays of
    // kFetchArrayRows, each array one call; the fetch that finds the end is one more.
    bool fetches = false;
    // The statement writes a new table's blocks itself (CREATE TABLE ... AS query), as Oracle's
    // direct-path load does, past the cache.
    bool directLoad = false;

    // Another call of the client on the same statement (a fetch) begins now. Fetch calls are
    // counted from the rows fetched, however the client asks for them.
    void beginCall();
    // The call running, if any, is over: its time and the statements SQLite started meanwhile
    // are counted. `stmt` is the client's statement, whose own start is no
    // recursive call; it is taken only once, so a later call may pass it again.
    void endCall(Connection& c, sqlite3_stmt* stmt);
    // Ends the call running and adds everything since the last time to the session, then
    // starts again; returns what it added. `stmt`, when given, contributes its scan, sort and
    // step counters. Cannot fail.
    StatCounters addTo(Connection& c, sqlite3_stmt* stmt);

  private:
    // Reads the thread's CPU clock when `force` or when a while has passed since the last
    // reading, and credits the calls since then with their CPU time.
    void clockCpu(int64_t wall, bool force);

    bool inCall_ = false;
    int64_t callStart_ = 0;    // wall clock at the start of the call running
    int64_t unclocked_ = 0;    // wall-clock time inside calls since the CPU clock was read
    int64_t cpuRead_ = 0;      // the CPU clock when last read
    int64_t cpuReadWall_ = 0;  // the wall clock then
    IoCounts ioStart_;         // the thread's file I/O when the call running began
    int64_t sortSpills_ = 0;   // temporary files sorts wrote during the calls
    int64_t sortBytes_ = 0;    // and the bytes they wrote to them
};

// The bytes the row `stmt` stands on takes on the way to the client, as quervin_row_bytes()
// (core/sqlite/sqliterows.h) tells; `columns` is the statement's column count.
int64_t rowBytes(sqlite3_stmt* stmt, int columns);

// The client's statement `stmt` is done: ends `work` on it (Work::addTo) and, when `cursor` is
// given, keeps in the session what its run did (its plan lines with their counters, the rows it
// gave, the pages it read) for V$SQL_PLAN_STATISTICS_ALL. Cannot fail.
void finishStatement(Connection& c, sqlite3_stmt* stmt, Work& work,
                     std::optional<ExecutedCursor>& cursor);

// One fetch call of the client: from construction to destruction.
class FetchCall {
  public:
    FetchCall(Work& work, Connection& c) : work_(work), c_(c) { work_.beginCall(); }
    ~FetchCall() { work_.endCall(c_, nullptr); }
    FetchCall(const FetchCall&) = delete;
    FetchCall& operator=(const FetchCall&) = delete;

  private:
    Work& work_;
    Connection& c_;
};

}  // namespace qv::embedded
