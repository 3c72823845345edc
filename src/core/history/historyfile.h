#pragma once

#include "core/db/database.h"
#include "core/history/historyconnection.h"
#include "core/history/recordedrun.h"
#include "core/tuning/runrecord.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace qv {

// 1: the three tables. 2: statistic names and numeric values, the facts of each run (RUN_HIST).
// 3: the binds of each run (BIND_HIST), each plan line's id, predicates and actual figures.
// 4: whether a run counted each plan line's figures (RUN_HIST.ROW_SOURCE_STATS).
inline constexpr int kHistorySchemaVersion = 4;

// What a look at a tuning-history file found.
enum class HistoryFileState {
    Missing,       // no file at the path
    Ready,         // the three tables with all their fields
    TableMissing,  // a file, but one of the tables is missing
    FieldMissing,  // the tables are there, but one of them lacks a field
    Incomplete,    // a file of ours whose making was cut short (0 bytes, or some tables)
    LaterVersion,  // written by a later version of the program: never written to
};

// The tuning-history file: an SQLite database holding, per recorded run, the statement
// (SQL_HIST), the statistics shown (STATS_HIST, with their names and numeric values from
// version 2 on), the plan shown (EXPLAN_HIST) and the facts of the run (RUN_HIST, version 2),
// tied together by the run number NUM. Every call opens the file and closes it before it
// returns, so other programs can copy or open it between runs. Several programs may record
// into one file at the same time: a file another program is writing is waited for. A file
// that is a symbolic link is not opened; one that is another user's, or holds triggers, views
// or program tables that are not plain tables, is read but never written (check()). Every
// call has a time bound (setTimeLimit()), and history::stopAll() stops them all.
class HistoryFile {
  public:
    // How long a call waits for a file that another program is writing.
    static constexpr int kDefaultBusyWaitMs = 5'000;

    explicit HistoryFile(QString path) : path_(std::move(path)) {}

    // "quervhst.mdb" in the program's directory when that is the user's own folder, no one else
    // can write to it (isPrivateFolder()) and no package manager owns it
    // (isPackageManagedFolder()); else in the user's data directory (a folder the program makes
    // readable by the user alone).
    static QString defaultPath();

    const QString& path() const { return path_; }
    void setBusyWait(int ms) { limits_.busyWaitMs = ms; }
    // How long one call may work on the file before it gives up (a file made to keep the
    // program busy); history::Limits' default unless set.
    void setTimeLimit(int ms) { limits_.timeLimitMs = ms; }

    // Throws DbError when the file cannot be opened or read (held by another program past the
    // busy wait, not a database), and with the reason when the program does not record into
    // it: a symbolic link, another user's file, or one holding triggers, views or program
    // tables that are not plain tables (history::recordingRefusal()).
    HistoryFileState check() const;

    // Makes the file at the current version, all at once: another program never finds it half
    // made, and of several programs making it at the same time one makes it and the others use
    // it. A file there already (0 bytes or half made by an earlier version, or older) is
    // completed and brought to the current version in one transaction. Throws DbError when the
    // file cannot be made (no right to the directory, disk full), and then leaves none behind.
    void create() const;
    // What the program says of a file of a later version (check() gives LaterVersion), which
    // it does not write to.
    QString laterVersionMessage() const;
    // The layout version the file says it has (PRAGMA user_version). Throws DbError.
    int schemaVersion() const;

    struct Recorded {
        int32_t runNumber = 0;
        int32_t runCount = 0;  // runs the file holds afterwards, this one included
    };
    // Records `run`: its statement, its statistics and its plan when those steps were done, and
    // its facts, under the next run number, all in one transaction: a failure stores nothing
    // of the run. A file of an older layout is brought to the current one in the same
    // transaction; a file that cannot be is left as it was. Makes a file that is missing or
    // completes one left half made (create()). A file of a later version is not written to.
    // A file other programs are writing is waited for, up to twice the busy wait. Throws
    // DbError exactly when the run was not stored.
    Recorded record(const RunRecord& run) const;

    // The recorded runs, newest first; with `containing`, those whose statement contains it
    // (statementContains()). Files of any version are read as they are. Throws DbError.
    QList<RunSummary> runs(const QString& containing = {}) const;
    // The same runs as runs(), only where each one is: read in one pass over the statements,
    // without the rest of their rows, so that a list of many runs can read each page of them
    // when it is shown (summaries()). Throws DbError.
    QList<RunRef> runRefs(const QString& containing = {}) const;
    // The runs `refs` name, in their order; a run no longer in the file is left out.
    // Throws DbError.
    QList<RunSummary> summaries(const QList<RunRef>& refs) const;
    // One recorded run with its statistics and plan; none when there is no such run.
    // Throws DbError.
    std::optional<RecordedRun> run(int32_t number) const;
    // The latest run before `number` of the very same statement; none when there is none.
    // Throws DbError.
    std::optional<int32_t> previousRunOf(int32_t number) const;

    // Deletes the runs `numbers` names, every row of each, in one transaction; freed space is
    // overwritten, so their statements, binds and plans are gone from the file's bytes. How
    // many of them were in the file. Throws DbError, and then deletes nothing; a file the
    // program does not record into (check()) is not changed.
    int deleteRuns(const QList<int32_t>& numbers) const;

  private:
    QString path_;
    history::Limits limits_{kDefaultBusyWaitMs};
};

}  // namespace qv
