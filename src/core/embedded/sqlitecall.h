#pragma once

#include "core/db/database.h"
#include "core/embedded/oracleerrors.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <memory>

namespace qv::embedded {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// The failure of the last SQLite call on `db`: Oracle's number and words where Oracle has an
// equivalent (ORA-00942, ORA-00904, ORA-00001...; see oracleFailure), SQLite's message kept
// after them; otherwise SQLite's message with its extended code as the native error. `sql`, the
// statement that failed to compile, tells which syntax error Oracle would report.
DbError sqliteError(sqlite3* db, const QByteArray& sql = {});

// Compiles the single statement in `sql`; null when the text holds only blanks and comments.
// Throws sqliteError, or DbError(kErrOdbcCall) when more than one statement follows.
StatementPtr prepareOne(sqlite3* db, const QByteArray& sql);

// Runs a statement of the engine's own (no result wanted). Throws sqliteError.
void execInternal(sqlite3* db, const char* sql);

}  // namespace qv::embedded
