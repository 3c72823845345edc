#pragma once

#include "core/embedded/translate/oracledialect.h"
#include "core/sql/sqltokens.h"

#include <sqlite3.h>

#include <optional>
#include <vector>

namespace qv::embedded {

class Sandbox;

// How long a statement waits for another connection's lock on the file before it fails.
inline constexpr int kBusyTimeoutMs = 5000;

// SELECT ... FOR UPDATE [OF columns] [NOWAIT | WAIT n | SKIP LOCKED] at the end of a query.
// SQLite has one writer per file, so the rows a session locks are the whole file: the session
// takes the file's write lock (BEGIN IMMEDIATE) and keeps it until its COMMIT or ROLLBACK.
struct ForUpdate {
    enum Wait { Forever, NoWait, Seconds, SkipLocked };
    Wait wait = Forever;
    int seconds = 0;
    size_t at = 0;  // the FOR token: the query ends before it
};

// The FOR UPDATE clause of a query, nullopt when it has none. Throws DbError(kErrOdbcCall) with
// ORA-30005 for a WAIT without a whole number of seconds and ORA-00933 for anything else after
// the clause.
std::optional<ForUpdate> readForUpdate(const std::vector<sql::Token>& tokens);

// Takes the write lock of `db` for its session, waiting as `lock` says (until `stopped` for
// Forever). True when the session holds it (also when it held it already); false for SKIP
// LOCKED when another connection holds it. In a transaction the session has open already, its
// own writes take the lock as they come. Throws DbError(kErrOdbcCall) with ORA-00054 (NOWAIT),
// ORA-30006 (WAIT n run out) or ORA-01013 (stopped).
bool lockFile(sqlite3* db, Sandbox& sandbox, const ForUpdate& lock, const StopCheck& stopped);

}  // namespace qv::embedded
