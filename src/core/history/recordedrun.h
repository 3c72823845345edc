#pragma once

#include "core/tuning/runrecord.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

namespace qv {

// How a recorded run ended.
enum class RunEnd { Done, Failed, Stopped };

// The names the history file keeps them under: "done", "failed", "stopped".
QString runEndName(RunEnd end);
RunEnd runEndFromName(const QString& name);

// What the history keeps of a run beside its statement and its two grids.
struct RunFacts {
    QString service;
    QString user;
    QString driver;                   // the ODBC driver, or "embedded"
    QString optimizer;                // the goal set for the run; empty: the session's own
    std::optional<int64_t> rowCount;  // none when the statement was not run
    bool rowsOverMax = false;
    std::optional<int64_t> elapsedMs;  // of the execute-and-fetch step
    RunEnd end = RunEnd::Done;
    QString error;  // the result step's error, when it failed or was stopped
};

// One recorded run as the history lists it. `facts` is empty for a run recorded before the
// file kept them.
struct RunSummary {
    int32_t number = 0;
    QString timestamp;  // "yyyy-MM-dd HH:mm:ss"
    QString sql;
    std::optional<RunFacts> facts;

    // The whole statement on one line: every run of blanks and line breaks made one blank.
    QString oneLine() const;
};

// Where a recorded run is kept: its number and the row of SQL_HIST that holds its statement.
struct RunRef {
    int32_t number = 0;
    int64_t rowId = 0;
    bool operator==(const RunRef&) const = default;
};

// Whether the statement `sql` contains `text` as the run list's filter reads it: letters of
// either case alike (A to Z), and every run of blanks and line breaks, in either, as one blank,
// so that what the list shows on one line is found however the statement was broken up.
bool statementContains(QByteArrayView sql, QByteArrayView text);

struct RecordedStatistic {
    int32_t number = 0;
    QString name;    // "#<number>" for a statistic recorded before names were kept
    QVariant value;  // qlonglong or double; the stored text when it is not a number
};

struct RecordedPlanLine {
    QString operation;  // indented by depth, as the plan grid showed it
    QString cardinality;
    QString cost;
    QString bytes;
    // Kept from version 3 of the file on; absent or empty in runs recorded before.
    std::optional<int64_t> lineId;
    std::optional<int64_t> parentId;
    QString accessPredicates;
    QString filterPredicates;
    std::optional<PlanLineActuals> actuals;
};

// A recorded run with what its grids showed; a grid that was hidden has no rows.
struct RecordedRun {
    RunSummary summary;
    BindList binds;
    QList<RecordedStatistic> statistics;
    QList<RecordedPlanLine> plan;
    std::optional<int64_t> planHash;  // of the plan that ran, when its figures were read
    bool planDiffers = false;         // the plan that ran was not the one explained
    // Whether it ran with row source statistics, its CPU and times weighed by their counting;
    // not known for a run recorded before the file kept it.
    std::optional<bool> rowSourceStatistics;
};

// The facts the history keeps of `run`.
RunFacts runFactsOf(const RunRecord& run);

// A statistic's value as the grid's text gives it: a whole number, else a floating one, else
// null.
QVariant numberFromText(const QString& text);

}  // namespace qv
