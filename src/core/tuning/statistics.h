#pragma once

#include "core/tuning/runwindow.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace qv {

inline const QString kMsgGettingStats = QStringLiteral("統計情報を取得中");
inline const QString kMsgNoStatistics = QStringLiteral(
    "統計情報ビュー V$SESSTAT,V$STATNAME からこのセッションの行が得られませんでした。");
inline const QString kMsgNoStatViews =
    QStringLiteral("統計情報ビュー V$SESSTAT,V$STATNAME が存在しないかSELECT権限がありません。");

// Whether `e` is Oracle's refusal of a view: ORA-00942 (no such table or view, as a view not
// granted looks) or ORA-01031 (insufficient privileges), by the server's own number.
bool isPrivilegeError(const DbError& e);

// One statistic of a session: its number, name and value (after subtract(), the change).
struct Statistic {
    int32_t number = 0;  // 32-bit: statistic numbers above 32,767 are ordinary
    QString name;
    QVariant value = QVariant(qlonglong(0));
};

// The statistics of one reading, in the server's order, each number at most once.
class StatisticSet {
  public:
    // Appends `stat` unless its number is already present: the first of a number stays. (Read
    // in a CDB root, V$STATNAME may name a statistic once per container.)
    void add(Statistic stat);
    int count() const { return static_cast<int>(items_.size()); }
    // The statistic at position `index` (0 .. count() - 1).
    const Statistic& at(int index) const { return items_[static_cast<size_t>(index)]; }
    // The statistic numbered `number`; null when there is none.
    const Statistic* find(int32_t number) const;

  private:
    std::vector<Statistic> items_;
    std::unordered_map<int32_t, size_t> byNumber_;
};

// The statistics query for session `sid`.
QString statsQuery(const QString& sid);

// `a` minus `b` for two statistic values: whole numbers stay whole, otherwise floating.
QVariant subtractValues(const QVariant& a, const QVariant& b);

// Every statistic of `after` with its value in `before` and the change, in `after`'s order.
// Pairing is by number, so readings that list the statistics in another order, or one more or
// less, still give right changes; one missing from `before` counts from 0.
QList<StatisticReading> readingsOf(const StatisticSet& before, const StatisticSet& after);

// Reads every statistic of session `sid` through `db` into `stats`. Throws DbError;
// statistics read before a failure stay in `stats`.
void readStatistics(Database& db, const QString& sid, StatisticSet& stats);

// Writes the changes of `readings` into the statistics grid, exactly their rows (laying the
// columns out on first use), and shows it.
void fillStatisticsGrid(const QList<StatisticReading>& readings, GridModel& out);

// The statistics stages of a run: before the statement and after it; the after stage keeps the
// readings and the step's outcome in the run's record.
void statsBeforeStage(RunWindow& w, RunState& r, StatisticSet& before);
void statsAfterStage(RunWindow& w, RunState& r, const StatisticSet& before);

}  // namespace qv
