#pragma once

#include "core/sql/sqltokens.h"

#include <QString>

#include <optional>
#include <vector>

namespace qv::embedded {

// A statement that is a command rather than a query, in SQLite's terms, from the tokens
// [0, end) of `sql` (the trailing ";" left out):
//   TRUNCATE TABLE t          DELETE FROM t
//   ANALYZE TABLE|INDEX x COMPUTE|ESTIMATE STATISTICS, EXEC/EXECUTE/CALL or BEGIN ... END of
//   DBMS_STATS.GATHER_TABLE_STATS, _INDEX_STATS, _SCHEMA_STATS, _DATABASE_STATS   ANALYZE
// nullopt for any other statement. Throws DbError(kErrOdbcCall) with ORA-00900 for SQLite's BEGIN
// [TRANSACTION|DEFERRED|IMMEDIATE|EXCLUSIVE], for PL/SQL
// other than the DBMS_STATS calls (DECLARE, other blocks, CREATE PROCEDURE and the like, a
// CREATE TRIGGER written in Oracle's terms: OR REPLACE, :NEW, REFERENCING, PL/SQL statements;
// SQLite's own CREATE TRIGGER stays SQLite's) and for an ANALYZE or DBMS_STATS call it cannot
// read.
// For ANALYZE, a DBMS_STATS call or a block of them: the object whose statistics they gather
// (a table or an index; empty for all); nullopt for any other statement. Throws what
// translateCommand() throws.
std::optional<QString> statisticsTarget(const QString& sql, const std::vector<sql::Token>& tokens,
                                        size_t end);

// Throws DbError(kErrOdbcCall) with ORA-00911 (invalid character), placed on it, for the first
// ";" of a SQL statement: Oracle takes one only inside PL/SQL (a block, a stored unit, a trigger's
// body) and never reads a second statement after it. A ";" in a string or a comment is no token.
void refuseTerminators(const std::vector<sql::Token>& tokens);

std::optional<QString> translateCommand(const QString& sql, const std::vector<sql::Token>& tokens,
                                        size_t end);

}  // namespace qv::embedded
