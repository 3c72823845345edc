#include "tuning/stats.h"

#include "settings/regstore.h"

#include <cmath>
#include <limits>

namespace qv {

void clsStats::addStat(std::shared_ptr<clsStat> stat) {
    const QString key = QString::number(stat->index);
    if (byKey_.count(key))
        throw DbError(457, QStringLiteral("This key is already associated with an element of "
                                          "this collection."));
    byKey_.emplace(key, items_.size());
    items_.push_back(std::move(stat));
}

clsStat* clsStats::getStatKey(const QString& key) const {
    const auto it = byKey_.find(key.trimmed());
    return it == byKey_.end() ? nullptr : items_[it->second].get();
}

clsStat* clsStats::getStat(int index) const {
    if (index < 1 || index > count())
        return nullptr;
    return items_[static_cast<size_t>(index - 1)].get();
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

void clsStats::diffStat(const clsStats& colStats2) {
    for (const auto& a : items_) {
        const clsStat* b = colStats2.getStatKey(QString::number(a->index));
        a->value = subtractValues(a->value, b ? b->value : QVariant(qlonglong(0)));
    }
}

QString statsQuery(const QString& sid) {
    return QStringLiteral("SELECT *") + QStringLiteral("FROM") +
           QStringLiteral(
               " V$SESSTAT A, V$STATNAME B WHERE A.STATISTIC# = B.STATISTIC# and a.sid=") +
           QStringLiteral("'") + sid + QStringLiteral("'");
}

void getStatStats(int16_t /*mode*/, Database& db, clsStats& stats, const QString& sid) {
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
        auto stat = std::make_shared<clsStat>();
        stat->index = static_cast<int32_t>(std::nearbyint(d));
        stat->name = nullToEmpty(rs->value(QStringLiteral("NAME")));
        stat->value = rs->value(QStringLiteral("VALUE"));
        stats.addStat(std::move(stat));
        rs->moveNext();
    }
    rs->close();
}

void setGridStats(const clsStats& stats, GridModel& out) {
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
    for (int i = 0; i < stats.count(); ++i) {
        const clsStat* s = stats.getStat(i + 1);
        if (out.rows() < i + 2)
            out.setRows(i + 2);
        out.setText(i + 1, 0, QString::number(s->index));
        out.setText(i + 1, 1, nullToEmpty(s->value));
        out.setText(i + 1, 2, s->name);
    }
    out.setVisible(true);
}

void statsBeforeStage(RunWindow& w, RunState& r, clsStats& before) {
    if (!r.statsUsable)
        return;
    w.setSMessage(kMsgGettingStats);
    if (!r.step([&] { getStatStats(0, w.dbStats(), before, r.sid); })) {
        r.statsUsable = false;
        const DbError& e = *r.pending;
        w.setSMessage(e.number() == kErrOdbcCall ? e.description() + kMsgNoStatViews
                                                 : e.description());
    }
}

void statsAfterStage(RunWindow& w, RunState& r, const clsStats& before) {
    clsStats after;
    if (r.statsUsable) {
        if (r.step([&] { getStatStats(1, w.dbStats(), after, r.sid); })) {
            w.setSMessage(QString());
        } else {
            w.setSMessage(r.pending->description());
            r.statsUsable = false;
        }
    }
    if (r.statsUsable) {
        r.step([&] {
            after.diffStat(before);
            setGridStats(after, w.grdStats());
        });
    }
}

}  // namespace qv
