#pragma once

#include "core/db/database.h"

#include <QString>

#include <memory>

namespace qv {

// True for the service names the embedded engine serves: those beginning with "sqlite:".
bool isEmbeddedService(const QString& service);

// Opens one connection (one session of `user`; no password is asked) to an embedded service:
// "sqlite:sample" is the sample database, made on first use at sampleDatabasePath(sampleDir);
// "sqlite:<path>" is that SQLite file, which must exist: a mistyped path is refused, never made
// into a new empty database.
// Throws DbError(kErrOdbcCall) when the path is empty, the file is missing or is not a
// database, or the sample cannot be made.
std::unique_ptr<Database> openEmbeddedDatabase(const QString& service, const QString& user,
                                               const QString& sampleDir = QString());

// Where "sqlite:sample" lives: <folder>/sample.db, the folder being `sampleDir` when given (the
// program's choice, a test's folder), else $QUERVIN_SAMPLE_DIR, else the user's data folder +
// "/QUERVIN" (on Linux ~/.local/share/QUERVIN). Cannot fail.
QString sampleDatabasePath(const QString& sampleDir = QString());

}  // namespace qv
