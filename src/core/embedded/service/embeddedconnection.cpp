#include "core/embedded/service/embeddedconnection.h"

#ifndef QUERVIN_SYSTEM_SQLITE
#include "core/sqlite/sqliterows.h"
#endif

#include <algorithm>
#include <utility>

namespace qv::embedded {

namespace {

// Reading the thread's CPU clock is a system call that costs more than a fetch call of one row,
// so it is read at most about this often (nanoseconds) while calls follow each other.
constexpr int64_t kCpuClockPeriod = 1'000'000;

// Virtual machine instructions between two looks at the stop flag: a few microseconds.
constexpr int kCancelCheckInstructions = 1000;

int64_t takeDbStatus(sqlite3* db, int op) {
    int current = 0;
    int highwater = 0;
    sqlite3_db_status(db, op, &current, &highwater, 1);
    return current;
}

int64_t takeStmtStatus(sqlite3_stmt* stmt, int op) {
    return sqlite3_stmt_status(stmt, op, 1);
}

int onStatementStart(unsigned, void* context, void* stmt, void*) {
    auto* c = static_cast<Connection*>(context);
    ++c->statementStarts;
    // A trigger reports the statement that fired it, which has run already: only a statement's
    // first start opens its cursor, its later runs reuse it.
    if (sqlite3_stmt_status(static_cast<sqlite3_stmt*>(stmt), SQLITE_STMTSTATUS_RUN, 0) == 0)
        ++c->cursorsOpened;
    return 0;
}

// The blocks of the file's size that `bytes` fill, rounded up.
int64_t sortBlocks(Connection& c, int64_t bytes) {
    if (bytes <= 0)
        return 0;
#ifdef QUERVIN_SYSTEM_SQLITE
    int64_t block = 4096;
    try {
        sqlite::Statement size(c.db, "PRAGMA main.page_size");
        if (size.step() && size.integer(0) > 0)
            block = size.integer(0);
    } catch (const sqlite::Error&) {
        // SQLite's default page size, then.
    }
#else
    const int64_t block = std::max(512, quervin_page_size(c.db));
#endif
    return (bytes + block - 1) / block;
}

#ifdef SQLITE_ENABLE_STMT_SCANSTATUS

// Whether index `name` is unique with exactly `keys` columns: an equality on each of them finds
// one row at most. Read from the schema once per index and kept by the connection.
bool isUniqueLookup(Connection& c, const QString& name, int keys) {
    const QString key = name.toLower();
    auto it = c.uniqueIndexes.find(key);
    if (it == c.uniqueIndexes.end()) {
        bool unique = false;
        int columns = 0;
        try {
            sqlite::Statement st(
                c.db,
                "SELECT il.\"unique\", (SELECT count(*) FROM pragma_index_info(?1)) "
                "FROM sqlite_schema s, pragma_index_list(s.tbl_name) il "
                "WHERE s.type = 'index' AND s.name = ?1 COLLATE NOCASE "
                "AND il.name = s.name");
            st.bind(1, name);
            if (st.step()) {
                unique = st.integer(0) != 0;
                columns = static_cast<int>(st.integer(1));
            }
        } catch (const sqlite::Error&) {
            // An index the schema no longer has finds nothing by key.
        }
        it = c.uniqueIndexes.insert(key, unique ? columns : 0);
    }
    return it.value() > 0 && it.value() == keys;
}

// Whether `name`, the object of a loop "SCAN name", is a table of the file: a view, a WITH query
// or a subquery is scanned as a temporary result, not read from a table.
bool isStoredTable(Connection& c, const QString& name) {
    const QString key = name.toLower();
    auto it = c.storedTables.find(key);
    if (it == c.storedTables.end()) {
        bool stored = false;
        try {
            sqlite::Statement st(c.db,
                                 "SELECT 1 FROM sqlite_schema WHERE type = 'table' "
                                 "AND name = ?1 COLLATE NOCASE UNION ALL "
                                 "SELECT 1 FROM sqlite_temp_schema WHERE type = 'table' "
                                 "AND name = ?1 COLLATE NOCASE");
            st.bind(1, name);
            stored = st.step();
        } catch (const sqlite::Error&) {
            // A table the schema no longer has is scanned by nobody.
        }
        it = c.storedTables.insert(key, stored);
    }
    return it.value();
}

// The number of terms in SQLite's "(a=? AND b=?)" when every one is an equality; 0 otherwise.
int equalityTerms(QLatin1StringView terms) {
    if (!terms.startsWith(u'(') || !terms.endsWith(u')'))
        return 0;
    const QString inside = QString(terms.mid(1, terms.size() - 2));
    int n = 0;
    for (const QStringView term : QStringView(inside).split(u" AND ")) {
        if (!term.endsWith(u"=?") || term.contains(u'<') || term.contains(u'>'))
            return 0;
        ++n;
    }
    return n;
}

// What the statement's loops did since they were last taken, from SQLite's scan status: rows
// full scans of tables stepped through ("SCAN t", each row it stands on, not "SCAN t USING
// [COVERING] INDEX i", which reads an index; the scans that fill automatic indexes too), rows
// read by rowid (through an index that does not hold every column needed, or named by their
// rowid), rows found by one value of a unique key, and rows put into sorts.
void takeScanStatus(Connection& c, sqlite3_stmt* stmt, StatCounters& counts) {
    static const QLatin1StringView kIntegerKey(" USING INTEGER PRIMARY KEY (rowid=?)");
    for (int i = 0;; ++i) {
        const char* explain = nullptr;
        if (sqlite3_stmt_scanstatus_v2(stmt, i, SQLITE_SCANSTAT_EXPLAIN, SQLITE_SCANSTAT_COMPLEX,
                                       &explain) != 0)
            break;
        sqlite3_int64 visits = 0;
        sqlite3_stmt_scanstatus_v2(stmt, i, SQLITE_SCANSTAT_NVISIT, SQLITE_SCANSTAT_COMPLEX,
                                   &visits);
        const QLatin1StringView d(explain ? explain : "");
        if (d.startsWith(QLatin1StringView("SCAN ")) && !d.contains(QLatin1StringView(" INDEX")) &&
            !d.contains(QLatin1StringView(" VIRTUAL TABLE"))) {
            // The table's own name: the text names it by its alias.
            const char* table = nullptr;
            sqlite3_stmt_scanstatus_v2(stmt, i, SQLITE_SCANSTAT_NAME, SQLITE_SCANSTAT_COMPLEX,
                                       &table);
            if (table && isStoredTable(c, QString::fromUtf8(table)))
                counts[kStatTableScanRows] += visits;
        } else if (d.startsWith(QLatin1StringView("CREATE AUTOMATIC INDEX ON "))) {
            // Filling the index reads its table in full (a partial one keeps only some rows:
            // those are what SQLite counts).
            const QLatin1StringView rest = d.mid(26);
            const qsizetype paren = rest.indexOf(u'(');
            if (paren > 0 && isStoredTable(c, QString(rest.left(paren))))
                counts[kStatTableScanRows] += visits;
        } else if (d.startsWith(QLatin1StringView("USE TEMP B-TREE FOR "))) {
            counts[kStatSortRows] += visits;
        } else if (d.startsWith(QLatin1StringView("SEARCH ")) && d.endsWith(kIntegerKey)) {
            counts[kStatTableFetchByRowid] += visits;
            counts[kStatIndexFetchByKey] += visits;
        } else if (d.startsWith(QLatin1StringView("SEARCH "))) {
            // "SEARCH t USING [COVERING] INDEX i (a=? AND b=?)"
            const qsizetype at = d.indexOf(QLatin1StringView(" INDEX "));
            if (at < 0)
                continue;
            // An automatic index holds every column the loop needs ("AUTOMATIC [PARTIAL]
            // COVERING INDEX").
            const bool covering = d.indexOf(QLatin1StringView(" COVERING INDEX ")) >= 0;
            const QLatin1StringView rest = d.mid(at + 7);
            const qsizetype blank = rest.indexOf(u' ');
            const QString index = QString(blank < 0 ? rest : rest.left(blank));
            if (!covering)
                counts[kStatTableFetchByRowid] += visits;
            if (blank >= 0 && isUniqueLookup(c, index, equalityTerms(rest.mid(blank + 1))))
                counts[kStatIndexFetchByKey] += visits;
        }
    }
    sqlite3_stmt_scanstatus_reset(stmt);
}

#endif

}  // namespace

void watchStatements(Connection& c) {
    sqlite3_trace_v2(c.db, SQLITE_TRACE_STMT, &onStatementStart, &c);
    // SQLite forgets an interrupt that comes while no statement runs, or just before one starts;
    // the flag is kept, so a statement that starts after a stop ends at its first look here.
    sqlite3_progress_handler(
        c.db, kCancelCheckInstructions,
        [](void* context) {
            return static_cast<Connection*>(context)->cancelled.load(std::memory_order_relaxed) ? 1
                                                                                                : 0;
        },
        &c);
}

Work::Work() : cpuRead_(threadCpuNanos()), cpuReadWall_(wallNanos()) {
    ++counts[kStatUserCalls];
    ++counts[kStatRoundtrips];
    beginCall();
}

void Work::clockCpu(int64_t wall, bool force) {
    if (!force && wall - cpuReadWall_ < kCpuClockPeriod)
        return;
    const int64_t cpu = threadCpuNanos();
    // Between two readings the thread also ran the client's code: the calls get their own
    // length, unless the thread used less CPU than that (it waited, or another thread ran).
    counts[kStatCpuTime] += std::min(unclocked_, cpu - cpuRead_);
    unclocked_ = 0;
    cpuRead_ = cpu;
    cpuReadWall_ = wall;
}

void Work::beginCall() {
    inCall_ = true;
    ioStart_ = threadIoCounts();
    callStart_ = wallNanos();
    clockCpu(callStart_, false);
}

void Work::endCall(Connection& c, sqlite3_stmt* stmt) {
    if (!inCall_)
        return;
    inCall_ = false;
    const int64_t wall = wallNanos();
    counts[kStatDbTime] += wall - callStart_;
    unclocked_ += wall - callStart_;
    clockCpu(wall, false);
    // SQLite reports the client's statement once when it starts, even when it has to compile
    // it again and start over, while its run counter counts both starts.
    const int64_t own = stmt && takeStmtStatus(stmt, SQLITE_STMTSTATUS_RUN) > 0 ? 1 : 0;
    const int64_t recursive = c.statementStarts - own;
    counts[kStatRecursiveCalls] += recursive;
    counts[kStatExecuteCount] += recursive;
    counts[kStatOpenedCursors] += c.cursorsOpened;
    c.statementStarts = 0;
    c.cursorsOpened = 0;
    // What the files saw since the call began, less what a statement run inside it counted.
    const IoCounts now = threadIoCounts();
    IoCounts from = ioStart_;
    if (c.ioCounted.thread == now.thread) {
        from.pageReads = std::max(from.pageReads, c.ioCounted.pageReads);
        from.journalBytes = std::max(from.journalBytes, c.ioCounted.journalBytes);
        from.sortSpills = std::max(from.sortSpills, c.ioCounted.sortSpills);
        from.sortBytes = std::max(from.sortBytes, c.ioCounted.sortBytes);
    }
    counts[kStatPhysicalReads] += now.pageReads - from.pageReads;
    counts[kStatRedoSize] += now.journalBytes - from.journalBytes;
    sortSpills_ += now.sortSpills - from.sortSpills;
    sortBytes_ += now.sortBytes - from.sortBytes;
    c.ioCounted = now;
}

StatCounters Work::addTo(Connection& c, sqlite3_stmt* stmt) {
    endCall(c, stmt);
    if (unclocked_ > 0)
        clockCpu(wallNanos(), true);
    if (fetches) {
        const int64_t fetchCalls = counts[kStatRowsProcessed] / kFetchArrayRows + 1;
        counts[kStatUserCalls] += fetchCalls;
        counts[kStatRoundtrips] += fetchCalls;
        fetches = false;
    }
    if (c.partOfStatement > 0) {
        for (Statistic s : {kStatUserCalls, kStatRoundtrips, kStatRowsProcessed, kStatBytesSent})
            counts[s] = 0;
    }
    if (stmt) {
        counts[kStatAutoIndexRows] += takeStmtStatus(stmt, SQLITE_STMTSTATUS_AUTOINDEX);
        // A sort that spills writes its runs to one temporary file, a large one sometimes to a
        // second to merge them.
        const int64_t sorts = takeStmtStatus(stmt, SQLITE_STMTSTATUS_SORT);
        const int64_t spilled = std::min(sorts, sortSpills_);
        counts[kStatSorts] += sorts - spilled;
        counts[kStatSortsDisk] += spilled;
        counts[kStatVmSteps] += takeStmtStatus(stmt, SQLITE_STMTSTATUS_VM_STEP);
    }
    sortSpills_ = 0;
    if (c.db) {
        // The page cache counters belong to the connection, which is the session: whatever
        // touched the cache since the last call is this session's work. Oracle reads a block
        // as it was (a consistent get) to find rows, and gets it current to change it; SQLite
        // reads every page through its cache and writes the ones it changed.
        const int64_t gets = takeDbStatus(c.db, SQLITE_DBSTATUS_CACHE_HIT) +
                             takeDbStatus(c.db, SQLITE_DBSTATUS_CACHE_MISS);
        const int64_t written = takeDbStatus(c.db, SQLITE_DBSTATUS_CACHE_WRITE);
        counts[kStatConsistentGets] += gets;
        counts[kStatDbBlockGets] += written;
        counts[kStatLogicalReads] += gets + written;
        // A block is read from the file only after it was asked of the cache: what else the
        // thread read meanwhile (a checkpoint copying the log into the file) is not the
        // statement's reading.
        counts[kStatPhysicalReads] = std::min(counts[kStatPhysicalReads], gets + written);
        // Changed blocks go back to the file from the cache, which is the database writer's
        // work, not the session's; the blocks a direct load or a sort writes itself are.
        const int64_t direct = (directLoad ? written : 0) + sortBlocks(c, sortBytes_);
        counts[kStatPhysicalWrites] += direct;
        counts[kStatPhysicalWritesDirect] += direct;
    }
    sortBytes_ = 0;
#ifdef SQLITE_ENABLE_STMT_SCANSTATUS
    if (stmt && c.db) {
        takeScanStatus(c, stmt, counts);
        // Looking an index up in the schema is the engine's business, not the statement's work.
        for (int op : {SQLITE_DBSTATUS_CACHE_HIT, SQLITE_DBSTATUS_CACHE_MISS})
            takeDbStatus(c.db, op);
        c.statementStarts = 0;
        c.cursorsOpened = 0;
        if (!sqlite3_stmt_readonly(stmt)) {
            c.uniqueIndexes.clear();
            c.storedTables.clear();
        }
    }
#endif
    if (c.session)
        c.session->add(counts);
    return std::exchange(counts, StatCounters{});
}

#ifdef QUERVIN_SYSTEM_SQLITE

namespace {

// As quervin_row_bytes() in our own build of SQLite (src/core/sqlite/sqliterows.c).
int64_t numberBytes(sqlite3_int64 value) {
    if (value == 0)
        return 1;
    uint64_t rest = value < 0 ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    while (rest % 100 == 0)
        rest /= 100;
    int64_t digits = 0;
    for (; rest > 0; rest /= 100)
        ++digits;
    return 1 + digits + (value < 0 ? 1 : 0);
}

int64_t withLength(int64_t bytes) {
    return bytes + (bytes > 250 ? 3 : 1);
}

}  // namespace

int64_t rowBytes(sqlite3_stmt* stmt, int columns) {
    int64_t bytes = 0;
    for (int i = 0; i < columns; ++i) {
        switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER:
                bytes += withLength(numberBytes(sqlite3_column_int64(stmt, i)));
                break;
            case SQLITE_FLOAT:
                bytes += withLength(8);
                break;
            case SQLITE_TEXT:
            case SQLITE_BLOB:
                bytes += withLength(sqlite3_column_bytes(stmt, i));
                break;
            default:
                bytes += 1;
        }
    }
    return bytes;
}

#else

int64_t rowBytes(sqlite3_stmt* stmt, int) {
    // Read without the connection's lock for each column: a fetch of a million rows pays for
    // it in next to nothing.
    return quervin_row_bytes(stmt);
}

#endif

void finishStatement(Connection& c, sqlite3_stmt* stmt, Work& work,
                     std::optional<ExecutedCursor>& cursor) {
    if (!cursor) {
        work.addTo(c, stmt);
        return;
    }
    // Read before addTo() takes the scan status for the statistics and resets it. A statement
    // the engine answered itself (a MERGE) has no loops of its own.
    if (stmt) {
        cursor->plan = scanLines(stmt, cursor->clock);
        cursor->cycles = cursor->clock.cycles(stmt, -1);
    }
    cursor->rows = work.counts[kStatRowsProcessed];
    const StatCounters added = work.addTo(c, stmt);
    cursor->consistentGets = added[kStatConsistentGets];
    cursor->currentGets = added[kStatDbBlockGets];
    cursor->diskReads = added[kStatPhysicalReads];
    cursor->elapsedNanos = added[kStatDbTime];
    cursor->cpuNanos = added[kStatCpuTime];
    if (c.session)
        c.session->keepCursor(std::move(*cursor));
    cursor.reset();
}

}  // namespace qv::embedded
