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

// What the engine answers to VACUUM, which would attach, copy or reshape database files.
DbError insufficientPrivileges();
// What the engine answers to a statement that would make, rename or drop an object whose name
// is one of the engine's own (catalog.h). Cannot fail.
DbError engineNameRefused(const QString& name);
// The most columns Oracle's tables and views have, and its error past them. Cannot fail.
inline constexpr int kMaxColumns = 1000;
DbError tooManyColumns();

// A failed SQLite call as Oracle reports it, always with an ORA number: Oracle's number and words
// for the same condition (ORA-00942, ORA-00904, ORA-00001, ORA-01013 for a cancelled call,
// ORA-01031 for what the sandbox refuses...), Oracle's closest limit or syntax error where it has
// no such condition, ORA-00900 for anything else SQLite will not run and ORA-00600 for a fault of
// the engine's; SQLite's message kept after Oracle's words. `sql`, given when the statement
// failed to compile, tells which syntax error Oracle would report (from the error's offset in
// it). Cannot fail.
DbError oracleFailure(const sqlite::Error& error, QByteArrayView sql = {});

}  // namespace qv::embedded
