#pragma once

#include "core/db/bindvalue.h"
#include "core/db/recordset.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <optional>

namespace qv {

// How one step of a run ended.
enum class StepOutcome {
    Skipped,  // not asked for, or not possible (the statistics without the session's id)
    Done,
    Failed,   // `error` says why
    Stopped,  // the user stopped the run while the step was under way
};

struct StepResult {
    StepOutcome outcome = StepOutcome::Skipped;
    QString error;  // the text the run showed for a failure or a stop

    bool done() const { return outcome == StepOutcome::Done; }
};

// What one plan line did when the statement ran (V$SQL_PLAN_STATISTICS_ALL's LAST_ figures).
// A figure the server did not give is absent, never made up.
struct PlanLineActuals {
    std::optional<int64_t> starts;
    std::optional<int64_t> rows;           // A-Rows: over all starts
    std::optional<int64_t> buffers;        // consistent and current gets
    std::optional<int64_t> reads;          // disk reads
    std::optional<int64_t> elapsedMicros;  // A-Time
};

// One line of the execution plan as the plan query gave it.
struct PlanLine {
    int64_t id = 0;
    std::optional<int64_t> parentId;
    int64_t depth = 0;
    QString operation;
    std::optional<QString> options;
    QString objectOwner;
    std::optional<QString> objectName;
    std::optional<QString> objectType;
    std::optional<QString> optimizer;
    // The optimizer's estimates: null when the plan gives none, else qlonglong or double.
    QVariant cardinality;
    QVariant cost;
    QVariant bytes;
    // Oracle's words for how the line finds its rows and which it throws away; empty: none.
    QString accessPredicates;
    QString filterPredicates;
    // On the first line: DBMS_XPLAN's Hint Report of the statement's hints (lines joined by
    // '\n'); empty when there is none.
    QString hintReport;
    // The query block and object alias that place a hint on the line (QBLOCK_NAME and
    // OBJECT_ALIAS as the server writes them); empty for none.
    QString queryBlock;
    QString objectAlias;
    // In an adaptive plan shown whole: an alternative the statement does not take, which
    // DBMS_XPLAN's ADAPTIVE format marks '-'.
    bool inactive = false;
    // When the statement ran with statistics of each line.
    std::optional<PlanLineActuals> actuals;

    // The Operation column: depth blanks, operation, options, (owner.name), type and optimizer.
    QString text() const;
};

// An adaptive plan (Oracle 12c and later; 19c's default for joins): the plan table and the cursor
// hold two alternatives and a STATISTICS COLLECTOR that picks one while the statement runs, and
// OTHER_XML's <display_map> says which lines are inactive and how DBMS_XPLAN numbers and indents
// the others.
struct AdaptivePlan {
    bool adaptive = false;
    // Every line with the ids and depths the server gave, the inactive ones marked; empty when
    // no display map said which they are (a plan table without OTHER_XML), and for a plan that
    // is not adaptive.
    QList<PlanLine> wholePlan;

    // The lines the final plan leaves out.
    int omittedLines() const;
};

// One session statistic across the run: its values before and after, and the change. A value
// is qlonglong or double as the server gave it (text for a value that is no number); `before`
// is null when the first reading lacked the statistic, which then counts from 0.
struct StatisticReading {
    int32_t number = 0;
    QString name;
    QVariant before;
    QVariant after;
    QVariant delta;
};

// What the result step found.
struct ResultState {
    int64_t rowCount = 0;  // wide: a result of any size is counted
    bool rowsOverMax = false;
    int32_t rowLimit = 0;      // with rowsOverMax: the row limit that held the rows back, as read
    bool stopped = false;      // the user stopped the result step; rowCount is what it counted
    int64_t elapsedMs = -1;    // the execute-and-fetch step's time; -1 when it did not run
    QString error;             // why the result step failed, when it did
    QList<FieldInfo> columns;  // of the result; none for a statement without one
};

// Whether the run went through its stages at all.
enum class RunOutcome {
    CarriedOut,  // the run went through its stages, whatever failed inside them
    Refused,     // nothing was sent: no statement, or neither plan nor query chosen
};

// Everything one tuning run did, as values: what the grids, the history file, the comparison
// and the command line's output are made from.
struct RunRecord {
    QString sql;     // as typed
    BindList binds;  // the values its bind variables ran with, in order of first use
    // The optimizer goal chosen for its session (empty: the server's own), as the run read it.
    QString optimizerGoal;
    QString service;
    QString user;
    QString driver;  // what the connection went through ("embedded", or the ODBC driver)
    QDateTime started;

    RunOutcome outcome = RunOutcome::Refused;
    StepResult planStep;
    StepResult resultStep;
    StepResult statisticsStep;

    QList<PlanLine> plan;  // when the plan step was done
    // The plan that ran, with each line's actual figures, when they could be read: it replaces
    // `plan` in what the grid shows. Its step's text says why there are none, or that the plan
    // that ran is not the one explained.
    StepResult actualsStep;
    std::optional<int64_t> planHash;  // of the plan that ran
    // The cursor the figures were read from: its SQL_ID and child number (empty, none: not read).
    QString sqlId;
    std::optional<int64_t> childNumber;
    bool planDiffers = false;  // the plan that ran has another shape than the explained
    // Whether `plan` is adaptive: then it is the final plan, as DBMS_XPLAN shows it, and this
    // holds every line.
    AdaptivePlan adaptive;
    // The statement ran with STATISTICS_LEVEL = ALL, so that each plan line's figures were
    // counted: its CPU and times include that instrumentation.
    bool rowSourceStatistics = false;
    QList<StatisticReading> statistics;  // when the statistics step was done
    ResultState result;
    // Where in `sql` the server stopped reading the statement it refused, when the driver says
    // (the embedded engine does; Oracle's ODBC driver does not): the result step's, else the
    // plan step's. -1 when no step says.
    qsizetype errorPosition = -1;
    // The statement changed data, its figures were measured, and its change rolled back
    // (実行後にロールバック): the data is as before the run.
    bool rolledBack = false;
    int64_t planMs = -1;  // the plan step's time; -1 when it did not run
    int64_t totalMs = 0;  // the whole run's
    // Set when an exception that nothing in the run caught (memory or threads running out) ended
    // it: the exception's text, empty when it had none. The record then holds nothing of what
    // the run did.
    std::optional<QString> internalError;
};

// A number from the server's value for a figure: qlonglong for a whole number that fits,
// double for another number, null for a null or a value that is no number.
QVariant numberOf(const QVariant& value);

// The cells of a plan line in the plan grid (Operation, Cardinality, Cost, Byte) and of a
// statistic in the statistics grid (Stats#, Value, Name), as the grids and the command line
// show them.
QStringList planLineCells(const PlanLine& line);
// What the plan grid and the command line say beside an adaptive plan: how many lines the final
// plan leaves out, or with `whole` that they are marked; that the lines could not be told apart
// for a plan without a display map. Empty for a plan that is not adaptive.
QString adaptivePlanNote(const AdaptivePlan& plan, bool whole = false);
// What the statistics grid's heading says of a run with row source statistics.
inline const QString kMsgRowSourceStatistics =
    QStringLiteral("行ソース統計を取得した実行です。CPU と時間には計測の負荷が含まれます。");
QStringList statisticCells(const StatisticReading& s);
// What a plan line did, in the columns the plan grid shows right of the estimates (Starts,
// A-Rows, Buffers, Reads, A-Time); empty cells for figures the server did not give.
QStringList planActualCells(const PlanLine& line);
inline const QStringList kActualHeadings = {QStringLiteral("Starts"), QStringLiteral("A-Rows"),
                                            QStringLiteral("Buffers"), QStringLiteral("Reads"),
                                            QStringLiteral("A-Time")};
// Microseconds as Oracle's plans show a time: "00:00:01.23".
QString planTimeText(int64_t micros);
inline const QStringList kPlanHeadings = {QStringLiteral("Operation"),
                                          QStringLiteral("Cardinality"), QStringLiteral("Cost"),
                                          QStringLiteral("Byte")};
inline const QStringList kStatisticHeadings = {QStringLiteral("Stats#"), QStringLiteral("Value"),
                                               QStringLiteral("Name")};

}  // namespace qv
