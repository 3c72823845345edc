#pragma once

#include "core/db/database.h"
#include "core/tuning/gridmodel.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace qv {

inline constexpr int kHistorySchemaVersion = 1;

// What a look at a tuning-history file found.
enum class HistoryFileState {
    Missing,       // no file at the path
    Ready,         // the three tables with all their fields
    TableMissing,  // a file, but one of the tables is missing
    FieldMissing,  // the tables are there, but one of them lacks a field
};

// The tuning-history file: an SQLite database holding, per recorded run, the statement
// (SQL_HIST), the statistics shown (STATS_HIST) and the plan shown (EXPLAN_HIST), tied
// together by the run number NUM. Every call opens the file and closes it before it returns,
// so other programs can copy or open it between runs.
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

    // Makes the file (when missing) and the three tables. Returns the failure of building a
    // table, if any (the other tables are still built). Throws DbError when the file cannot
    // be opened or created.
    std::optional<DbError> create() const;

    struct Recorded {
        int32_t runNumber = 0;
        int32_t runCount = 0;  // runs the file holds afterwards, this one included
    };
    // Records one run: `sql`, the rows of the statistics grid when it is visible and the rows
    // of the plan grid when it is visible, under the next run number, all in one transaction:
    // a failure stores nothing of the run. Re-creates a file that has gone. Throws DbError; a
    // table-building failure of that re-creation is thrown after the run is stored.
    Recorded record(const QString& sql, const GridModel& stats, const GridModel& plan) const;

  private:
    QString path_;
};

// The history file the query windows record into, set when a window starts recording; empty
// before that.
QString recordingFilePath();
void setRecordingFilePath(const QString& path);

}  // namespace qv
