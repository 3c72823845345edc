#pragma once

#include "tuning/runwindow.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace qv {

inline const QString kMsgGettingStats = QStringLiteral("統計情報を取得中");
inline const QString kMsgNoStatViews =
    QStringLiteral("統計情報ビュー V$SESSTAT,V$STATNAME が存在しないかSELECT権限がありません。");

// One statistic of a session: its number, name and value (after diffStat, the change).
class clsStat {
  public:
    int32_t index = 0;  // 32-bit: statistic numbers above 32,767 are ordinary
    QString name;
    QVariant value = QVariant(qlonglong(0));
};

// The statistics of one reading, in the server's order, keyed by the decimal text of their
// number. Elements are shared: a statistic taken out is the stored one.
class clsStats {
  public:
    // Appends `stat`; throws DbError(457) when its number is already present.
    void addStat(std::shared_ptr<clsStat> stat);
    int count() const { return static_cast<int>(items_.size()); }
    // The statistic with that key; null when there is none.
    clsStat* getStatKey(const QString& key) const;
    // The statistic at 1-based position `index`; null outside 1 .. count().
    clsStat* getStat(int index) const;
    // Replaces every value by its difference to the statistic of the same number in
    // `colStats2`. Pairing is by number, so readings that list the statistics in another order,
    // or one more or less, still give right differences; one missing there counts from 0.
    void diffStat(const clsStats& colStats2);

  private:
    std::vector<std::shared_ptr<clsStat>> items_;
    std::unordered_map<QString, size_t> byKey_;
};

// The statistics query for session `sid`.
QString statsQuery(const QString& sid);

// `a` minus `b` for two statistic values: whole numbers stay whole, otherwise floating.
QVariant subtractValues(const QVariant& a, const QVariant& b);

// Reads every statistic of session `sid` through `db` into `stats`. `mode` 0 is the reading
// before the run, 1 the one after; they read alike. Throws DbError; statistics read before a
// failure stay in `stats`.
void getStatStats(int16_t mode, Database& db, clsStats& stats, const QString& sid);

// Writes `stats` into the statistics grid (laying it out on first use) and shows it.
void setGridStats(const clsStats& stats, GridModel& out);

// The statistics stages of a run: before the statement and after it.
void statsBeforeStage(RunWindow& w, RunState& r, clsStats& before);
void statsAfterStage(RunWindow& w, RunState& r, const clsStats& before);

}  // namespace qv
