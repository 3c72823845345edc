#pragma once

#include "core/db/database.h"

#include <QString>

#include <memory>

namespace qv {

// True for the service names the embedded engine serves: those beginning with "sqlite:".
bool isEmbeddedService(const QString& service);

// Opens one connection (one session of `user`; no password is asked) to an embedded service:
// "sqlite:sample" is the sample database, made on first use at sampleDatabasePath();
// "sqlite:<path>" is that SQLite file, which must exist: a mistyped path is refused, never made
// into a new empty database.
// Throws DbError(kErrOdbcCall) when the path is empty, the file is missing or is not a
// database, or the sample cannot be made.
std::unique_ptr<Database> openEmbeddedDatabase(const QString& service, const QString& user);

// Where "sqlite:sample" lives: <folder>/sample.db, the folder being the one given to
// setSampleDirectory(), else $QUERVIN_SAMPLE_DIR, else the user's data folder + "/QUERVIN"
// (on Linux ~/.local/share/QUERVIN). Cannot fail.
QString sampleDatabasePath();

// Puts the sample in `dir` from now on (tests); an empty text goes back to the default.
void setSampleDirectory(const QString& dir);

}  // namespace qv
