#pragma once

// How the program opens a tuning-history file. History files are exchanged, so one may come
// from anyone: it is opened without following a symbolic link, with SQLite's defensive
// settings (no writes to its schema, no functions of the program run from its schema, no
// triggers or views), with freed space overwritten (a deleted run is gone from the file's
// bytes), and every statement on it has a time bound. Only HistoryFile and its layout use it.

#include "core/db/dberror.h"
#include "core/sqlite/sqlite.h"

#include <QDeadlineTimer>
#include <QString>

#include <optional>

namespace qv::history {

// The files, tables and limits a connection works under.
struct Limits {
    int busyWaitMs = 5'000;    // how long a file another program writes is waited for
    int timeLimitMs = 20'000;  // how long one connection's statements may take in all
};

class Connection : public sqlite::Connection {
  public:
    // Throws DbError (sqlite::Error) when the file cannot be opened, a symbolic link among them.
    Connection(const QString& path, Mode mode, const Limits& limits);

    // Whether the time bound or a stop request ended a statement.
    bool cutShort() const { return cutShort_; }

  private:
    static int progress(void* self);
    static int busy(void* self, int count);
    QDeadlineTimer deadline_;
    QDeadlineTimer busyUntil_;
    int busyWaitMs_;
    bool cutShort_ = false;
};

// Makes every statement on every history connection of this program stop at once, from any
// thread and from a signal's thread (the command line's Ctrl-C): the history calls then fail.
void stopAll();
// Whether stopAll() was called.
bool stopRequested();

// The failure of a call that its time bound or a stop request ended.
DbError cutShortError(const QString& path);

// The program's tables in the file that are not plain tables of their own (a view, a virtual
// table): the file is then read only through plain tables, which these are not. Empty when
// they all are. Throws DbError.
QStringList unplainTables(sqlite::Connection& db);

// Why the program does not record into the open file at `path`: something in it would act when
// it is written (a trigger, a view), or a program table is not a plain table. None when it may
// record. Throws DbError.
std::optional<DbError> recordingRefusal(sqlite::Connection& db, const QString& path);

// The failure to tell for `path` when the file is a symbolic link or another user's (none when
// it is neither): such a file is read, never written.
std::optional<DbError> ownerRefusal(const QString& path);

// Runs `f`, telling a statement the time bound or a stop ended as such. Throws what `f` throws.
template <class F>
auto bounded(const QString& path, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const sqlite::Error& e) {
        if (e.resultCode() != SQLITE_INTERRUPT)
            throw;
        throw cutShortError(path);
    }
}

}  // namespace qv::history
