#include "core/tuning/statistics.h"

#include "core/tuning/tuningrun.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qv {

bool isPrivilegeError(const DbError& e) {
    for (const DiagRecord& record : e.records()) {
        if (record.nativeError == 942 || record.nativeError == 1031)
            return true;
    }
    return false;
}

void StatisticSet::add(Statistic stat) {
    if (!byNumber_.emplace(stat.number, items_.size()).second)
        return;
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

QList<StatisticReading> readingsOf(const StatisticSet& before, const StatisticSet& after) {
    QList<StatisticReading> out;
    out.reserve(after.count());
    for (int i = 0; i < after.count(); ++i) {
        const Statistic& a = after.at(i);
        const Statistic* b = before.find(a.number);
        const QVariant old = b ? b->value : QVariant();
        out.append({a.number, a.name, old, a.value,
                    subtractValues(a.value, b ? old : QVariant(qlonglong(0)))});
    }
    return out;
}

QString statsQuery(const QString& sid) {
    return QStringLiteral("SELECT *") + QStringLiteral("FROM") +
           QStringLiteral(
               " V$SESSTAT A, V$STATNAME B WHERE A.STATISTIC# = B.STATISTIC# and a.sid=") +
           QStringLiteral("'") + sid + QStringLiteral("'");
}

void readStatistics(Database& db, const QString& sid, StatisticSet& stats) {
    // The id is pasted into the query: only a number goes in.
    if (sid.isEmpty() ||
        !std::all_of(sid.cbegin(), sid.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        throw DbError(kErrOdbcCall, kMsgNoSessionId);
    std::unique_ptr<Recordset> rs = db.openRecordset(statsQuery(sid));
    while (!rs->eof()) {
        const QVariant number = rs->value(QStringLiteral("STATISTIC#"));
        bool ok = false;
        const double d = number.toDouble(&ok);
        if (!ok)
            throw DbError(kErrTypeMismatch, QStringLiteral("Type mismatch"));
        if (!std::isfinite(d) || std::nearbyint(d) < std::numeric_limits<int32_t>::min() ||
            std::nearbyint(d) > std::numeric_limits<int32_t>::max())
            throw DbError(kErrOverflow, QStringLiteral("Overflow"));
        stats.add(Statistic{static_cast<int32_t>(std::nearbyint(d)),
                            textOrEmpty(rs->value(QStringLiteral("NAME"))),
                            rs->value(QStringLiteral("VALUE"))});
        rs->moveNext();
    }
    rs->close();
}

void fillStatisticsGrid(const QList<StatisticReading>& readings, GridModel& out) {
    if (out.cols() < 3) {
        out.clear();
        out.setRows(2);
        out.setFixedRows(1);
        out.setFixedCols(1);
        out.setCols(3);
        for (int c = 0; c < 3; ++c)
            out.setText(0, c, kStatisticHeadings[c]);
        out.setColWidth(0, 700);
        out.setColWidth(1, 1000);
        out.setColWidth(2, 6000);
        out.setColNumeric(0, true);
        out.setColNumeric(1, true);
    }
    // Exactly this reading's rows: none of an earlier run or another server stays.
    out.setRows(static_cast<int>(readings.size()) + 1);
    for (int i = 0; i < readings.size(); ++i) {
        const QStringList cells = statisticCells(readings[i]);
        for (int c = 0; c < 3; ++c)
            out.setText(i + 1, c, cells[c]);
    }
    out.setVisible(true);
}

void statsBeforeStage(RunWindow& w, RunState& r, StatisticSet& before) {
    if (!r.statsUsable)
        return;
    w.setStatsMessage(kMsgGettingStats);
    if (!r.step([&] { readStatistics(w.statsDatabase(), r.sid, before); })) {
        const DbError& e = *r.pending;
        r.statisticsFailed(
            w, isPrivilegeError(e) ? e.description() + kMsgNoStatViews : e.description());
    }
}

void statsAfterStage(RunWindow& w, RunState& r, const StatisticSet& before) {
    if (!r.statsUsable)
        return;
    StatisticSet after;
    if (!r.step([&] { readStatistics(w.statsDatabase(), r.sid, after); })) {
        r.statisticsFailed(w, r.pending->description());
        return;
    }
    w.setStatsMessage(withWarnings(QString(), w.statsDatabase()));
    if (after.count() == 0) {
        r.statisticsFailed(w, kMsgNoStatistics);
        return;
    }
    r.record.statistics = readingsOf(before, after);
    r.record.statisticsStep = {StepOutcome::Done, QString()};
    fillStatisticsGrid(r.record.statistics, w.statsGrid());
}

}  // namespace qv
