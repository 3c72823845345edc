#pragma once

#include "core/db/dberror.h"
#include "core/sqlite/sqlite.h"

#include <QByteArray>
#include <QString>

namespace qv::embedded {

// A failure the engine reports in Oracle's words, e.g. (2404, "ORA-02404: ..."). Cannot fail.
DbError oracleError(int oracleCode, const QString& message);

// ORA-00900 for a statement the engine refuses rather than run as something else; `why` says
// what it does not take. Cannot fail.
DbError invalidStatement(const QString& why);

// What the engine answers to a statement that would reach other files or the schema itself.
DbError insufficientPrivileges();

// A failed SQLite call as Oracle reports it: Oracle's number and words where Oracle has an
// equivalent (ORA-00942, ORA-00904, ORA-00001, ORA-01013 for a cancelled call...), SQLite's
// message kept after them; otherwise `error` as it is. `sql`, given when the statement failed to
// compile, tells which syntax error Oracle would report (from the error's offset in it). Cannot
// fail.
DbError oracleFailure(const sqlite::Error& error, QByteArrayView sql = {});

}  // namespace qv::embedded
