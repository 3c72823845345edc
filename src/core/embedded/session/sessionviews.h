#pragma once

#include <sqlite3.h>

#include <cstdint>

namespace qv::embedded {

// Makes V$SESSION (SID, SERIAL# (1: a SID is never given twice), AUDSID, USERNAME in upper case,
// STATUS, SCHEMANAME, PREV_SQL_ID, PREV_CHILD_NUMBER, PREV_SQL_ADDR the ADDRESS of that cursor),
// V$STATNAME
// (STATISTIC#, NAME, CLASS), V$SESSTAT (SID, STATISTIC#, VALUE) and V$SQL_PLAN_STATISTICS_ALL
// readable on `db`, and USERENV('SESSIONID' | 'SID') give the session `sid`/`audsid`, as
// SYS_CONTEXT('USERENV', 'SESSIONID' | 'SID' | 'INSTANCE') does (instance 1); SYS_CONTEXT also
// tells the session's user (SESSION_USER, CURRENT_USER, CURRENT_SCHEMA), DB_NAME (the file's
// name), INSTANCE_NAME, HOST, SERVER_HOST, OS_USER, LANGUAGE, NLS_DATE_FORMAT and what a local
// connection of a user who is no DBA shows (ISDBA, SERVICE_NAME ...), and NULL for MODULE,
// ACTION, CLIENT_IDENTIFIER, IP_ADDRESS and DB_DOMAIN, which nothing sets. The views
// are read-only virtual tables over the process-wide session list: reading them touches no other
// session's counters. V$SQL_PLAN_STATISTICS_ALL holds the plan lines of the statements the open
// sessions on the same database ran last (a few each, one child cursor per statement: the last
// execution, under an ADDRESS of its own; no OTHER_XML), with their actual figures when they ran
// with STATISTICS_LEVEL = ALL (cursors.h); its plans are drawn when it is read, with the estimates
// read then, for the statement asked for by SQL_ID = '...' alone. V$SQL (one row a cursor:
// SQL_TEXT, SQL_FULLTEXT, EXECUTIONS and the BUFFER_GETS, DISK_READS, ROWS_PROCESSED, CPU_TIME
// and ELAPSED_TIME of those the session kept, HASH_VALUE, PLAN_HASH_VALUE 0 for a plan that can
// no longer be drawn) and V$SQL_PLAN (its lines with their estimates) read the same cursors.
// A view of cursors read while one of their plans is drawn (for its estimates) has no rows.
// Returns SQLite's result code;
// SQLITE_OK on success.
int registerSessionViews(sqlite3* db, int64_t sid, int64_t audsid);

}  // namespace qv::embedded
