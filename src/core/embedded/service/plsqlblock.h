#pragma once

#include "core/embedded/service/statementcall.h"

namespace qv::embedded::service {

// An anonymous PL/SQL block as install scripts write them, run in the session as one statement:
//   [DECLARE name [CONSTANT] type [NOT NULL] [:= | DEFAULT expr]; ...]
//   BEGIN statements [EXCEPTION WHEN name [OR name] THEN statements ...] END;
// with the statements: SQL (INSERT, UPDATE, DELETE, MERGE, SELECT ... INTO, COMMIT, ROLLBACK,
// SAVEPOINT, LOCK TABLE), NULL, name := expr, IF / ELSIF / ELSE, FOR i IN [REVERSE] a .. b LOOP,
// FOR r IN (query) LOOP, WHILE cond LOOP, LOOP with EXIT [WHEN cond], nested blocks, EXECUTE
// IMMEDIATE of a text, DBMS_OUTPUT.PUT_LINE (its lines kept on the connection for the client:
// Connection::output) and RAISE_APPLICATION_ERROR. The handlers know OTHERS and Oracle's named
// exceptions (NO_DATA_FOUND, TOO_MANY_ROWS, DUP_VAL_ON_INDEX, ZERO_DIVIDE, VALUE_ERROR,
// INVALID_NUMBER); SQLCODE and SQLERRM read the error handled. A variable in a SQL statement
// is bound by name, unless a column of a table the statement names has that name (as Oracle,
// the column wins).
// An error no handler takes ends the block with that error and undoes every change the block
// made since its start or its last COMMIT, ROLLBACK or DDL; a handler keeps what was done before
// the error. Anything else (stored procedures, cursors, records, collections, other exceptions)
// is refused with ORA-00900 naming it. A block of DBMS_STATS calls alone is left to the
// statistics commands (answers false), as is everything that is no block.
bool plsqlBlockCall(Call& call);

}  // namespace qv::embedded::service
