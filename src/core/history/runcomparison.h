#pragma once

#include "core/history/recordedrun.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace qv {

// One statistic in two runs, paired by name. A statistic one run lacks counts from nothing
// there.
struct StatisticChange {
    QString name;
    QVariant a;  // null when run A lacks it
    QVariant b;
    double difference = 0;        // b - a
    std::optional<double> ratio;  // b / a; none when a is 0 or missing
};

// A line of the two plans, matched by operation.
struct PlanLineChange {
    // Changed: the same operation with other estimates or actual rows; Operation: another
    // operation in its place (TABLE ACCESS FULL become TABLE ACCESS BY INDEX ROWID).
    enum class Kind { Same, Changed, Added, Removed, Operation };
    Kind kind = Kind::Same;
    std::optional<RecordedPlanLine> a;  // none for an added line
    std::optional<RecordedPlanLine> b;  // none for a removed line
};

// One bind variable in two runs, paired by name (without regard to case, as Oracle's).
struct BindChange {
    using Kind = PlanLineChange::Kind;  // marked as plan lines are
    Kind kind = Kind::Same;
    QString name;                // as run A writes it, else as run B
    std::optional<BindValue> a;  // none when run A had no such variable
    std::optional<BindValue> b;
};

// A line of the two statement texts.
struct TextLineChange {
    enum class Kind { Same, Added, Removed };
    Kind kind = Kind::Same;
    QString text;
};

// Two plans' lines paired by operation, as the comparison shows them: lines between two
// matched ones read as changed side by side.
QList<PlanLineChange> pairPlans(const QList<RecordedPlanLine>& a, const QList<RecordedPlanLine>& b);

// What changed from run A to run B.
struct RunComparison {
    RecordedRun a;
    RecordedRun b;
    // Every statistic of either run, the largest change first (by its size), then by name.
    QList<StatisticChange> statistics;
    QList<PlanLineChange> plan;
    QList<TextLineChange> sql;
    // The variables of either run, run A's first, each in its run's order; none when neither
    // run had any.
    QList<BindChange> binds;
    // Things to know before reading the numbers: other service or user, facts not recorded.
    QStringList notes;

    // The statistics to show: only those that changed, by at least `threshold` either way.
    QList<StatisticChange> statisticsShown(bool onlyChanged, double threshold = 0) const;
    // The statistics that changed, Oracle's tuning statistics (kTuningStatistics, in that
    // order) first, then the others by the size of their change; names only the engine has
    // come last.
    QList<StatisticChange> leadingStatistics() const;
    // The line a tuner reads first: elapsed and rows A -> B and the first `top` of the
    // leadingStatistics() that changed noticeably (isNoticeable()), none only the engine
    // keeps; when one run counted row
    // source statistics and the other did not (or is not known to), that too, as their CPU
    // and times are not measured alike.
    QString summary(int top = 4) const;
};

RunComparison compareRuns(RecordedRun a, RecordedRun b);

// The statistics a tuner reads first, as autotrace lists them.
inline const QStringList kTuningStatistics = {QStringLiteral("session logical reads"),
                                              QStringLiteral("consistent gets"),
                                              QStringLiteral("physical reads"),
                                              QStringLiteral("sorts (memory)"),
                                              QStringLiteral("sorts (disk)"),
                                              QStringLiteral("rows processed"),
                                              QStringLiteral("bytes sent via SQL*Net to client"),
                                              QStringLiteral("SQL*Net roundtrips to/from client"),
                                              QStringLiteral("redo size")};
// A change worth a headline: at least 10 either way and at least 10% of the larger of
// |before| and 1.
bool isNoticeable(const StatisticChange& change);
// A statistic that only the embedded engine keeps, under the engine's own name ("SQLite VM
// steps"), which no Oracle server reports.
bool isEngineStatistic(const QString& name);

// A value as the comparison shows it: whole numbers as such, others with up to 6 decimals,
// nothing for a missing value.
QString valueText(const QVariant& value);
// A ratio to two decimals ("0.03"), or "-" when there is none.
QString ratioText(const std::optional<double>& ratio);
// Milliseconds as seconds to three decimals ("1.234秒"), or "-".
QString elapsedText(const std::optional<int64_t>& ms);

}  // namespace qv
