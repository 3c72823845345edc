#pragma once

#include "core/sql/sqltokens.h"

#include <QString>

#include <vector>

namespace qv::sql {

// What a statement does to the session's transaction, as Oracle has it.
enum class StatementClass {
    Empty,           // nothing to run
    Query,           // SELECT or WITH ... SELECT: reads, changes nothing
    QueryForUpdate,  // SELECT ... FOR UPDATE: locks the rows it reads
    Change,          // INSERT, UPDATE, DELETE, MERGE
    Lock,            // LOCK TABLE
    Block,           // PL/SQL: BEGIN ... END, DECLARE, CALL, EXEC
    Definition,      // DDL, which Oracle commits before and after it runs
    Commit,          // COMMIT [WORK]
    Rollback,        // ROLLBACK [WORK]: the whole transaction
    RollbackToSavepoint,
    Savepoint,
    Session,  // ALTER SESSION, SET TRANSACTION, SET ROLE: no change of data
    Other,
};

// The class of the statement `tokens` (sql::tokenize()'s) stand for. Cannot fail.
StatementClass classifyStatement(const std::vector<Token>& tokens);
StatementClass classifyStatement(const QString& sql);

// Whether a statement of class `c` leaves changes or locks for COMMIT or ROLLBACK to end: a
// change of rows, a lock, rows locked for update, a PL/SQL block (which may change anything).
bool leavesPendingWork(StatementClass c);
// Whether COMMIT or ROLLBACK can take back what a statement of class `c` does: not DDL (Oracle
// commits it), COMMIT, a whole ROLLBACK, nor a PL/SQL block (which may commit within).
bool undoable(StatementClass c);

}  // namespace qv::sql
