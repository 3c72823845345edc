#pragma once

#include "core/db/database.h"
#include "core/history/recordedrun.h"
#include "core/tuning/runrecord.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace qv {

// 1: the three tables. 2: statistic names and numeric values, the facts of each run (RUN_HIST).
// 3: the binds of each run (BIND_HIST), each plan line's id, predicates and actual figures.
inline constexpr int kHistorySchemaVersion = 3;

// What a look at a tuning-history file found.
enum class HistoryFileState {
    Missing,       // no file at the path
    Ready,         // the three tables with all their fields
    TableMissing,  // a file, but one of the tables is missing
    FieldMissing,  // the tables are there, but one of them lacks a field
};

// The tuning-history file: an SQLite database holding, per recorded run, the statement
// (SQL_HIST), the statistics shown (STATS_HIST, with their names and numeric values from
// version 2 on), the plan shown (EXPLAN_HIST) and the facts of the run (RUN_HIST, version 2),
// tied together by the run number NUM. Every call opens the file and closes it before it
// returns, so other programs can copy or open it between runs.
class HistoryFile {
  public:
    explicit HistoryFile(QString path) : path_(std::move(path)) {}

    // "quervhst.mdb" in the program's directory, or in the user's data directory when the
    // program's directory cannot be written.
    static QString defaultPath();

    const QString& path() const { return path_; }

    // Throws DbError when the file cannot be opened or read (in use by another program, not a
    // database); a busy file fails within a second.
    HistoryFileState check() const;

    // Makes the file (when missing) and its tables, at the current version. Returns the
    // failure of building a table, if any (the other tables are still built). Throws DbError
    // when the file cannot be opened or created.
    std::optional<DbError> create() const;
    // The layout version the file says it has (PRAGMA user_version). Throws DbError.
    int schemaVersion() const;

    struct Recorded {
        int32_t runNumber = 0;
        int32_t runCount = 0;  // runs the file holds afterwards, this one included
    };
    // Records `run`: its statement, its statistics and its plan when those steps were done, and
    // its facts, under the next run number, all in one transaction: a failure stores nothing
    // of the run. A file of an older layout is brought to
    // the current one first, in a transaction of its own; a file that cannot be is left as it
    // was and the failure thrown. Re-creates a file that has gone. Throws DbError; a
    // table-building failure of that re-creation is thrown after the run is stored.
    Recorded record(const RunRecord& run) const;

    // The recorded runs, newest first; with `containing`, those whose statement contains it
    // (in any case). Files of any version are read as they are. Throws DbError.
    QList<RunSummary> runs(const QString& containing = {}) const;
    // One recorded run with its statistics and plan; none when there is no such run.
    // Throws DbError.
    std::optional<RecordedRun> run(int32_t number) const;
    // The latest run before `number` of the very same statement; none when there is none.
    // Throws DbError.
    std::optional<int32_t> previousRunOf(int32_t number) const;

  private:
    QString path_;
};

// The history file the query windows record into, set when a window starts recording; empty
// before that.
QString recordingFilePath();
void setRecordingFilePath(const QString& path);

}  // namespace qv
