#pragma once

#include "oracle/database.h"
#include "tuning/gridmodel.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace qv {

// The tuning-history file: an SQLite database holding, per recorded run, the statement
// (SQL_HIST), the statistics shown (STATS_HIST) and the plan shown (EXPLAN_HIST), tied
// together by the run number NUM. Every routine opens the file and closes it before it returns,
// so other programs can copy or open it between runs.

inline constexpr int kHistorySchemaVersion = 1;

// "quervhst.mdb" in the program's directory, or in the user's data directory when the
// program's directory cannot be written.
QString defaultMdbPath();

// The file in use and the number of runs it held after the last write.
QString mdbPath();
void setMdbPath(const QString& path);
int32_t histCount();
// Forgets both (tests).
void resetMdbState();

// 0 = no file at `path`; 1 = the file holds the three tables with their fields; -2 = a table is
// missing; -3 = a field is missing. Throws DbError when the file cannot be opened or read (in
// use by another program, not a database); a busy file fails within a second.
int16_t checkMdb(const QString& path);

// Makes the file (when missing) and the three tables. 1 = done; -2 = building a table failed,
// with that failure in `error`. Throws DbError when the file cannot be opened or created.
int16_t createMdb(const QString& path, std::optional<DbError>& error);

// Records one run: `execSql`, the rows of the statistics grid when it is visible and the rows
// of the plan grid when it is visible, under the next run number, all in one transaction:
// a failure stores nothing of the run. Re-creates a file that has gone. Sets histCount().
// Returns the run number. Throws DbError; a table-building failure of that re-creation is
// thrown after the run is stored.
int32_t writeHistory(const QString& path, const QString& execSql, const GridModel& stats,
                     const GridModel& explan);

}  // namespace qv
