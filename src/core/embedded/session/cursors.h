#pragma once

#include "core/embedded/parse/parsedstatement.h"
#include "core/embedded/plan/planbuilder.h"
#include "core/embedded/session/cycleclock.h"

#include <QHash>
#include <QString>

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// What the engine keeps of the statements a session ran, for V$SESSION.PREV_SQL_ID and
// V$SQL_PLAN_STATISTICS_ALL: Oracle's cursors in the shared pool, one child each.
namespace qv::embedded {

// One line of SQLite's plan of a statement as its scan status gives it after the run: EXPLAIN
// QUERY PLAN's id, parent and text, and the line's counters (-1 where SQLite keeps none).
struct ScanLine {
    int id = 0;
    int parent = 0;
    QString detail;
    int64_t loops = -1;
    int64_t visits = -1;
    std::optional<int64_t> cycles;  // of the instructions that read its tables or its sorter
    // When it is the last loop of its query: the rows that met its conditions and went on.
    int64_t output = -1;
    // When it looks its rows up by the values of an IN operator: the values it went through and
    // the lookups it made.
    int64_t keys = -1;
    int64_t probes = -1;
    // When the rows it hands on are grouped as they come: the groups made.
    int64_t groups = -1;
    // Of a sorter: the rows read back from it.
    int64_t sorted = -1;
    // Of the inner table of an outer join: the rows it found that met the join's conditions.
    int64_t matched = -1;
    // When it is the last loop of a SELECT DISTINCT: the distinct rows of those that went on.
    int64_t distinct = -1;
};

// The last execution of one statement.
struct ExecutedCursor {
    QString sqlId;
    // As the client sent it, read once: its plan is drawn from it when the cursor is read.
    std::shared_ptr<const ParsedStatement> statement;
    QString sqliteText;  // as SQLite ran it
    QString owner;       // the session's user, in upper case: the owner of what it names
    // The plan that ran, from its scan status; empty when SQLite reported no line of it (a
    // count(*) of a whole table, which it answers without a loop).
    std::vector<ScanLine> plan;
    // Of a statement SQLite ran as others (a MERGE), whose plan is drawn from a query it did
    // not run: the lines of the one of those that did that query's work, with their counters
    // (linesRanFor()).
    std::vector<ScanLine> ranInstead;
    // Run with STATISTICS_LEVEL = ALL (or the GATHER_PLAN_STATISTICS hint): its figures were
    // collected. Without, its lines show none, as Oracle's do.
    bool measured = false;
    // Times the lines of a measured run (cycleclock.h).
    CycleClock clock;
    std::optional<int64_t> cycles;  // of the whole run, when clocked
    // Planned by rule (steering.h): its plan lines have no cost, cardinality or bytes.
    bool rule = false;
    // The bind values its plan was made for (translatePlan()).
    QHash<QString, QString> peeked;
    int64_t rows = 0;  // returned to the client, or changed
    // Pages the whole statement read from the page cache, split as V$SESSTAT splits them
    // (consistent gets for a query, db block gets for a change), and of those read from the
    // file.
    int64_t consistentGets = 0;
    int64_t currentGets = 0;
    int64_t diskReads = 0;
    int64_t elapsedNanos = 0;  // wall-clock and CPU time inside the engine's calls for it
    int64_t cpuNanos = 0;
    // Every execution the session kept of the statement, this one included (V$SQL): their
    // count and their figures summed.
    struct Totals {
        int64_t executions = 0;
        int64_t rows = 0;
        int64_t bufferGets = 0;
        int64_t diskReads = 0;
        int64_t elapsedNanos = 0;
        int64_t cpuNanos = 0;
    } totals;
    QString lastActive;  // when it ended: YYYY-MM-DD HH:MM:SS, local time
    // Which database it ran on: its file, or (in memory) its connection.
    QString file;
    const void* connection = nullptr;
    uint64_t sequence = 0;  // the order executions ended in, over all sessions
};

// Oracle's form of a SQL_ID for `text` exactly as sent: 13 characters of Oracle's base-32
// alphabet (0-9 and the letters other than e, i, l, o) for 64 bits of the text's SHA-256. The
// same text always has the same id; it is not the id Oracle would give it, which is made from
// another hash. Cannot fail.
QString sqlIdOf(const QString& text);
// The HASH_VALUE Oracle shows with a SQL_ID: the low 32 bits of the number it writes. 0 for
// text that is no SQL_ID. Cannot fail.
uint32_t sqlHashValue(const QString& sqlId);

// The lines of `stmt`'s plan as its scan status reports them, in EXPLAIN QUERY PLAN's order,
// with their counters of the run since the scan status was last reset, and their cycles as
// `clock` counted them. Empty in a build without scan status. Cannot fail.
std::vector<ScanLine> scanLines(sqlite3_stmt* stmt, const CycleClock& clock = CycleClock());

// The lines of a plan that SQLite did not run as such (`drawn`, EXPLAIN QUERY PLAN's lines of it)
// with the counters of their counterparts in the plan of a statement it ran for it (`ran`): the
// same line under the same lines, the ran statement's own lines above them left aside, an outer
// join's inner line matching the inner join's. A drawn line with no counterpart, or with more
// than one, has none of the counters. Cannot fail.
std::vector<ScanLine> linesRanFor(const std::vector<EqpLine>& drawn,
                                  const std::vector<ScanLine>& ran);

// Whether `sql` (as the client sent it) asks for its plan statistics with Oracle's hint
// GATHER_PLAN_STATISTICS. Cannot fail.
bool asksPlanStatistics(const QString& sql);

// One line of V$SQL_PLAN_STATISTICS_ALL.
struct CursorPlanLine {
    PlanRow row;
    int depth = 0;
    std::optional<int64_t> starts;
    std::optional<int64_t> outputRows;
    std::optional<int64_t> consistentGets;
    std::optional<int64_t> currentGets;
    std::optional<int64_t> diskReads;
    std::optional<int64_t> elapsedMicros;  // the line's time, its children's included
};

// The plan lines of `cursor`, drawn as EXPLAIN PLAN draws them (translatePlan()) with the
// estimates read now on `db` (a connection to the file it ran on), and with the figures its run
// measured when it was measured. A figure the engine cannot attribute to a line is empty: the
// pages read belong to the statement line alone. A line's time is the cycles of the SQLite loops
// and sorters it draws (those of a loop two lines draw go to the lower one) and its children's,
// the statement line's the whole run's; in microseconds by cyclesPerMicrosecond(); empty
// without a cycle count. Throws sqlite::Error when the estimates cannot be read.
std::vector<CursorPlanLine> cursorPlan(const ExecutedCursor& cursor, sqlite3* db);

}  // namespace qv::embedded
