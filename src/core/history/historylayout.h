#pragma once

// The layout of the tuning-history file: its tables at each version, what a file holds, and
// making, completing and upgrading one. Only HistoryFile uses it.

#include "core/db/dberror.h"
#include "core/history/historyconnection.h"
#include "core/history/historyfile.h"
#include "core/sqlite/sqlite.h"

#include <QString>

namespace qv::historylayout {

// The version the file says it has (PRAGMA user_version). Throws DbError.
int versionOf(sqlite::Connection& db);

// What the open file holds. Throws DbError.
HistoryFileState inspect(sqlite::Connection& db);

// Inside the caller's transaction: brings the file to the current version, making first the
// tables that a half-made file of ours lacks. Throws the later-version error for a file
// written by a later version of the program, the refusal for a file the program does not
// write into (history::ownerRefusal(), history::recordingRefusal()), and DbError when a
// statement fails (the caller rolls back, so the file is left as it was).
void bringUpToDate(sqlite::Connection& db, const QString& path);

// Makes the file at `path`, readable by the user alone: built whole under another name and
// then put in place, never over a file that is there; when another program put one there
// first, or a file is there already, that one is completed and brought up to date in one
// transaction. Throws DbError, and then leaves no file of its own behind.
void make(const QString& path, const history::Limits& limits);

// The failure of writing to a file of a later version than this program writes.
DbError laterVersionError(const QString& path);

// Whether `e` is SQLite giving up on a file that another connection holds.
bool isBusy(const DbError& e);

}  // namespace qv::historylayout
