#include "core/tuning/statistics.h"

#include <cmath>
#include <limits>

namespace qv {

void StatisticSet::add(Statistic stat) {
    if (byNumber_.count(stat.number))
        throw DbError(457, QStringLiteral("This key is already associated with an element of "
                                          "this collection."));
    byNumber_.emplace(stat.number, items_.size());
    items_.push_back(std::move(stat));
}

const Statistic* StatisticSet::find(int32_t number) const {
    const auto it = byNumber_.find(number);
    return it == byNumber_.end() ? nullptr : &items_[it->second];
}

QVariant subtractValues(const QVariant& a, const QVariant& b) {
    auto whole = [](const QVariant& v, qlonglong& out) {
        if (v.isNull())
            return out = 0, true;
        switch (v.metaType().id()) {
            case QMetaType::LongLong:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Long:
                out = v.toLongLong();
                return true;
            default: {
                bool ok = false;
                out = v.toString().trimmed().toLongLong(&ok);
                return ok;
            }
        }
    };
    qlonglong x = 0;
    qlonglong y = 0;
    if (whole(a, x) && whole(b, y)) {
        qlonglong d = 0;
        if (!__builtin_sub_overflow(x, y, &d))
            return QVariant(d);
    }
    return QVariant(a.toDouble() - b.toDouble());
}

void StatisticSet::subtract(const StatisticSet& before) {
    for (Statistic& a : items_) {
        const Statistic* b = before.find(a.number);
        a.value = subtractValues(a.value, b ? b->value : QVariant(qlonglong(0)));
    }
}

QString statsQuery(const QString& sid) {
    return QStringLiteral("SELECT *") + QStringLiteral("FROM") +
           QStringLiteral(
               " V$SESSTAT A, V$STATNAME B WHERE A.STATISTIC# = B.STATISTIC# and a.sid=") +
           QStringLiteral("'") + sid + QStringLiteral("'");
}

void readStatistics(Database& db, const QString& sid, StatisticSet& stats) {
    std::unique_ptr<Recordset> rs = db.openRecordset(statsQuery(sid));
    while (!rs->eof()) {
        const QVariant number = rs->value(QStringLiteral("STATISTIC#"));
        bool ok = false;
        const double d = number.toDouble(&ok);
        if (!ok)
            throw DbError(13, QStringLiteral("Type mismatch"));
        if (!std::isfinite(d) || std::nearbyint(d) < std::numeric_limits<int32_t>::min() ||
            std::nearbyint(d) > std::numeric_limits<int32_t>::max())
            throw DbError(6, QStringLiteral("Overflow"));
        stats.add(Statistic{static_cast<int32_t>(std::nearbyint(d)),
                            textOrEmpty(rs->value(QStringLiteral("NAME"))),
                            rs->value(QStringLiteral("VALUE"))});
        rs->moveNext();
    }
    rs->close();
}

void fillStatisticsGrid(const StatisticSet& stats, GridModel& out) {
    if (out.cols() < 3) {
        out.clear();
        out.setRows(2);
        out.setFixedRows(1);
        out.setFixedCols(1);
        out.setCols(3);
        out.setText(0, 0, QStringLiteral("Stats#"));
        out.setText(0, 1, QStringLiteral("Value"));
        out.setText(0, 2, QStringLiteral("Name"));
        out.setColWidth(0, 700);
        out.setColWidth(1, 1000);
        out.setColWidth(2, 6000);
    }
    // Exactly this reading's rows: none of an earlier run or another server stays.
    out.setRows(stats.count() + 1);
    for (int i = 0; i < stats.count(); ++i) {
        const Statistic& s = stats.at(i);
        out.setText(i + 1, 0, QString::number(s.number));
        out.setText(i + 1, 1, textOrEmpty(s.value));
        out.setText(i + 1, 2, s.name);
    }
    out.setVisible(true);
}

void statsBeforeStage(RunWindow& w, RunState& r, StatisticSet& before) {
    if (!r.statsUsable)
        return;
    w.setStatsMessage(kMsgGettingStats);
    if (!r.step([&] { readStatistics(w.statsDatabase(), r.sid, before); })) {
        r.statsUsable = false;
        const DbError& e = *r.pending;
        w.setStatsMessage(e.number() == kErrOdbcCall ? e.description() + kMsgNoStatViews
                                                     : e.description());
    }
}

void statsAfterStage(RunWindow& w, RunState& r, const StatisticSet& before) {
    StatisticSet after;
    if (r.statsUsable) {
        if (r.step([&] { readStatistics(w.statsDatabase(), r.sid, after); })) {
            w.setStatsMessage(withWarnings(QString(), w.statsDatabase()));
        } else {
            w.setStatsMessage(r.pending->description());
            r.statsUsable = false;
        }
    }
    if (r.statsUsable && after.count() == 0) {
        w.setStatsMessage(kMsgNoStatistics);
        return;
    }
    if (r.statsUsable) {
        r.step([&] {
            after.subtract(before);
            fillStatisticsGrid(after, w.statsGrid());
        });
    }
}

}  // namespace qv
