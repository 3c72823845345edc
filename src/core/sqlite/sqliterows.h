#pragma once

#include <sqlite3.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The bytes of the row `stmt` stands on as Oracle sends it to a client: each value with its
 * length byte (three beyond 250 bytes), a NULL as the length byte alone, an integer as Oracle's
 * NUMBER (an exponent byte, a byte per two digits, a terminator when negative), a real (a binary
 * double) as BINARY_DOUBLE's 8 bytes, a text as its UTF-8 bytes, a BLOB as its bytes. 0 when
 * `stmt` stands on no row. Only in our own build of SQLite (not QUERVIN_SYSTEM_SQLITE). */
SQLITE_API sqlite3_int64 quervin_row_bytes(sqlite3_stmt* stmt);

/* What of one statement's run has its instructions' cycles counted (the scan status's
 * SQLITE_SCANSTAT_NCYCLE): the first `whole` steps, then one in `every`, chosen by a
 * pseudo-random sequence from `seed`; `steps` counts the steps taken. Within a clocked step, the
 * run's first `instructions` instructions whole, then each instruction's first few runs and
 * those that may do many rows' work at one go (a sort, a count of a b-tree), and of the others
 * one in `instructionEvery` at random, `gap` (0: not drawn yet) being the instructions to the
 * next. A counted instruction adds its cycles, less what reading the counter adds to them,
 * times what it stands for (a sampled step's `every`, times `instructionEvery` for one picked
 * at random), so the counts are the run's whole as they stand; but one counted more than once
 * that took `longRead` cycles or more (0: no limit), in which the thread did not wait for a
 * read, counts its time past them once. `every` times `instructionEvery` stays below 2^28. */
typedef struct quervin_clock {
    sqlite3_int64 steps;
    sqlite3_int64 whole;
    unsigned every;
    unsigned seed;
    sqlite3_int64 instructions;
    unsigned instructionEvery;
    unsigned gap;
    sqlite3_int64 longRead;
} quervin_clock;

/* Whether the zero-terminated UTF-8 text `z` reads as a number where SQLite gives a value numeric
 * affinity, and then that number in *value (an integer as the nearest double). */
SQLITE_API int quervin_text_number(const char* z, double* value);

/* For the loop of scan status entry `iScan` of `stmt` when nothing runs inside it (the last loop
 * of its query): how often the work after its conditions ran, that is, the rows that met them
 * and went on (into an aggregate, a sorter, the result, a subquery's answer, or an OFFSET that
 * skips some). -1 when the entry is no such loop. Counts of the run since the scan status was last
 * reset. */
SQLITE_API sqlite3_int64 quervin_loop_output(sqlite3_stmt* stmt, int iScan);

/* For the same loop when its query is SELECT DISTINCT: the rows its last check for rows had
 * before let on, each new one once (or, when SQLite found the rows distinct already and checks
 * none, what quervin_loop_output() gives). -1 when the entry is no such loop. */
SQLITE_API sqlite3_int64 quervin_distinct_rows(sqlite3_stmt* stmt, int iScan);

/* For the loop of scan status entry `iScan` of `stmt` when it looks its rows up by the values of
 * one IN operator, one after the other (an IN list, or the values a subquery gave): sets *values
 * to the values it went through and *probes to the lookups it made (fewer when a value is NULL),
 * and returns 1. Returns 0, leaving both alone, for another loop, or one with several such lists.
 * Counts of the run since the scan status was last reset. */
SQLITE_API int quervin_loop_keys(sqlite3_stmt* stmt, int iScan, sqlite3_int64* values,
                                 sqlite3_int64* probes);

/* For the loop of scan status entry `iScan` of `stmt` when the rows it hands on are grouped as
 * they come (GROUP BY in an index's order, or read back from its sorter): the groups made, those a
 * HAVING then drops included. -1 for another loop. Counts of the run since the scan status was
 * last reset. */
SQLITE_API sqlite3_int64 quervin_groups(sqlite3_stmt* stmt, int iScan);

/* For the loop of scan status entry `iScan` of `stmt` when it reads the inner table of an outer
 * join (SQLite's LEFT JOIN): sets *matched to the rows it found that met the join's conditions
 * and *revisits to how many of the loop's visits (SQLITE_SCANSTAT_NVISIT) were no row found but
 * the row of NULLs an outer row that met none is kept with, going through the visit counter
 * again, and returns 1. Returns 0, leaving both alone, for another loop. Counts of the run since
 * the scan status was last reset. */
SQLITE_API int quervin_outer_join_rows(sqlite3_stmt* stmt, int iScan, sqlite3_int64* matched,
                                       sqlite3_int64* revisits);

/* For scan status entry `iScan` of `stmt` when it is a sorter (USE TEMP B-TREE FOR ...): the rows
 * read back from it, fewer than went in when a row limit stopped the reading. -1 for another
 * entry. Counts of the run since the scan status was last reset. */
SQLITE_API sqlite3_int64 quervin_sorted_rows(sqlite3_stmt* stmt, int iScan);

/* The page size of `db`'s main database, read without a statement. */
SQLITE_API int quervin_page_size(sqlite3* db);

/* Whether this build reads a cycle counter (x86 and ARM64). */
SQLITE_API int quervin_has_cycle_counter(void);

/* The cycle counter now; 0 without one. */
SQLITE_API sqlite3_uint64 quervin_cycles(void);

/* Before a step of the statement `clock` belongs to: whether and how the calling thread counts
 * cycles during it, as `clock` says; a null `clock` (after the step) stops counting, and keeps
 * in the clock what the step left of its instructions to count. */
SQLITE_API void quervin_clock_step(quervin_clock* clock);

/* Steps `stmt` (standing on a row) at most `limit` times while it gives rows, in one loop without
 * a call back for each row: sets *rows to the rows it reached and *bytes to their bytes as
 * quervin_row_bytes() counts them, each step clocked by `clock` when not null. Returns
 * SQLITE_ROW when the last step gave a row, otherwise that step's result (SQLITE_DONE at the
 * end, an error code). */
SQLITE_API int quervin_step_rows(sqlite3_stmt* stmt, sqlite3_int64 limit, sqlite3_int64* rows,
                                 sqlite3_int64* bytes, quervin_clock* clock);

#ifdef __cplusplus
}
#endif
