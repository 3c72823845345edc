#include "core/history/runcomparison.h"

#include "core/history/linediff.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <vector>

namespace qv {

namespace {

double numberOf(const QVariant& v) {
    return v.isValid() && !v.isNull() ? v.toDouble() : 0.0;
}

QList<StatisticChange> pairStatistics(const RecordedRun& a, const RecordedRun& b) {
    QList<StatisticChange> out;
    QHash<QString, qsizetype> byName;
    for (const RecordedStatistic& s : a.statistics) {
        byName.insert(s.name, out.size());
        out.append({s.name, s.value, QVariant(), 0, std::nullopt});
    }
    for (const RecordedStatistic& s : b.statistics) {
        const auto it = byName.constFind(s.name);
        if (it == byName.constEnd())
            out.append({s.name, QVariant(), s.value, 0, std::nullopt});
        else
            out[*it].b = s.value;
    }
    for (StatisticChange& c : out) {
        const double x = numberOf(c.a), y = numberOf(c.b);
        c.difference = y - x;
        if (c.a.isValid() && !c.a.isNull() && x != 0)
            c.ratio = y / x;
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const StatisticChange& l, const StatisticChange& r) {
                         const double dl = std::fabs(l.difference), dr = std::fabs(r.difference);
                         return dl != dr ? dl > dr : l.name < r.name;
                     });
    return out;
}

// The same estimates, and the same actual rows where both runs have them.
bool sameEstimates(const RecordedPlanLine& x, const RecordedPlanLine& y) {
    const bool sameRows = !x.actuals || !y.actuals || x.actuals->rows == y.actuals->rows;
    return x.cardinality == y.cardinality && x.cost == y.cost && x.bytes == y.bytes && sameRows;
}

// How much a line's work changed from A to B, for the summary: its actual rows and buffers.
struct LineWork {
    QString text;
    double size = 0;
};

std::optional<LineWork> workChange(const PlanLineChange& p) {
    if (!p.a || !p.b || !p.a->actuals || !p.b->actuals)
        return std::nullopt;
    const PlanLineActuals& x = *p.a->actuals;
    const PlanLineActuals& y = *p.b->actuals;
    LineWork w;
    QStringList parts;
    auto figure = [&](const char* name, const std::optional<int64_t>& from,
                      const std::optional<int64_t>& to) {
        if (!from || !to || *from == *to)
            return;
        w.size = std::max(w.size, std::fabs(double(*to - *from)));
        parts << QStringLiteral("%1 %2 → %3").arg(QLatin1StringView(name)).arg(*from).arg(*to);
    };
    figure("A-Rows", x.rows, y.rows);
    figure("Buffers", x.buffers, y.buffers);
    if (parts.isEmpty())
        return std::nullopt;
    w.text = QStringLiteral("計画 %1 %2").arg(p.b->operation.trimmed(), parts.join(u' '));
    return w;
}

QList<TextLineChange> pairTexts(const QString& a, const QString& b) {
    using Kind = TextLineChange::Kind;
    const QStringList la = a.split(u'\n'), lb = b.split(u'\n');
    const auto anchors = commonLines(la, lb);
    QList<TextLineChange> out;
    int i = 0, j = 0;
    for (const auto& [ai, bj] : anchors) {
        while (i < ai)
            out.append({Kind::Removed, la[i++]});
        while (j < bj)
            out.append({Kind::Added, lb[j++]});
        out.append({Kind::Same, la[ai]});
        i = ai + 1;
        j = bj + 1;
    }
    while (i < la.size())
        out.append({Kind::Removed, la[i++]});
    while (j < lb.size())
        out.append({Kind::Added, lb[j++]});
    return out;
}

QList<BindChange> pairBinds(const BindList& a, const BindList& b) {
    using Kind = BindChange::Kind;
    QList<BindChange> out;
    for (const BindValue& x : a) {
        const BindValue* y = findBind(b, x.name);
        if (!y)
            out.append({Kind::Removed, x.name, x, std::nullopt});
        else
            out.append({x.type == y->type && x.value == y->value ? Kind::Same : Kind::Changed,
                        x.name, x, *y});
    }
    for (const BindValue& y : b) {
        if (!findBind(a, y.name))
            out.append({Kind::Added, y.name, std::nullopt, y});
    }
    return out;
}

}  // namespace

QList<PlanLineChange> pairPlans(const QList<RecordedPlanLine>& a,
                                const QList<RecordedPlanLine>& b) {
    using Kind = PlanLineChange::Kind;
    auto operations = [](const QList<RecordedPlanLine>& plan) {
        QStringList out;
        for (const RecordedPlanLine& line : plan)
            out << line.operation;
        return out;
    };
    const auto anchors = commonLines(operations(a), operations(b));
    QList<PlanLineChange> out;
    int i = 0, j = 0;
    // Between two matched lines, removed and added lines side by side read as changed.
    auto gap = [&](int untilA, int untilB) {
        for (; i < untilA && j < untilB; ++i, ++j) {
            const Kind kind = a[i].operation != b[j].operation ? Kind::Operation
                              : sameEstimates(a[i], b[j])      ? Kind::Same
                                                               : Kind::Changed;
            out.append({kind, a[i], b[j]});
        }
        while (i < untilA)
            out.append({Kind::Removed, a[i++], std::nullopt});
        while (j < untilB)
            out.append({Kind::Added, std::nullopt, b[j++]});
    };
    for (const auto& [ai, bj] : anchors) {
        gap(ai, bj);
        out.append({sameEstimates(a[ai], b[bj]) ? Kind::Same : Kind::Changed, a[ai], b[bj]});
        i = ai + 1;
        j = bj + 1;
    }
    gap(int(a.size()), int(b.size()));
    return out;
}

QString valueText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
        return QString::number(value.toLongLong());
    if (value.typeId() == QMetaType::Double) {
        const double d = value.toDouble();
        if (d == std::floor(d) && std::fabs(d) < 1e15)
            return QString::number(qlonglong(d));
        return QString::number(d, 'f', 6).remove(QRegularExpression(QStringLiteral("0+$")));
    }
    return value.toString();
}

QString ratioText(const std::optional<double>& ratio) {
    return ratio ? QString::number(*ratio, 'f', 2) : QStringLiteral("-");
}

QString elapsedText(const std::optional<int64_t>& ms) {
    return ms ? QString::number(*ms / 1000.0, 'f', 3) + QStringLiteral("秒") : QStringLiteral("-");
}

QList<StatisticChange> RunComparison::statisticsShown(bool onlyChanged, double threshold) const {
    QList<StatisticChange> shown;
    for (const StatisticChange& c : statistics) {
        const bool changed = c.difference != 0 || c.a.isNull() != c.b.isNull();
        if (onlyChanged && (!changed || std::fabs(c.difference) < threshold))
            continue;
        shown.append(c);
    }
    return shown;
}

bool isNoticeable(const StatisticChange& change) {
    const double before = change.a.isValid() && !change.a.isNull() ? change.a.toDouble() : 0;
    const double size = std::fabs(change.difference);
    return size >= 10 && size >= 0.1 * std::max(std::fabs(before), 1.0);
}

bool isEngineStatistic(const QString& name) {
    return name.startsWith(QStringLiteral("SQLite "));
}

QList<StatisticChange> RunComparison::leadingStatistics() const {
    QList<StatisticChange> shown = statisticsShown(true);
    // `statistics` is in the order of the size of the change: a stable sort keeps it within
    // each rank.
    auto rank = [](const StatisticChange& c) {
        const qsizetype tuning = kTuningStatistics.indexOf(c.name);
        return tuning >= 0 ? tuning
                           : kTuningStatistics.size() + (isEngineStatistic(c.name) ? 1 : 0);
    };
    std::stable_sort(
        shown.begin(), shown.end(),
        [&](const StatisticChange& l, const StatisticChange& r) { return rank(l) < rank(r); });
    return shown;
}

QString RunComparison::summary(int top) const {
    auto rows = [](const RecordedRun& r) {
        const auto& f = r.summary.facts;
        return f && f->rowCount ? QString::number(*f->rowCount) : QStringLiteral("-");
    };
    auto elapsed = [](const RecordedRun& r) {
        return elapsedText(r.summary.facts ? r.summary.facts->elapsedMs : std::nullopt);
    };
    QString text = QStringLiteral("No.%1 → No.%2　経過時間 %3 → %4、行数 %5 → %6")
                       .arg(a.summary.number)
                       .arg(b.summary.number)
                       .arg(elapsed(a), elapsed(b), rows(a), rows(b));
    QStringList most;
    for (const StatisticChange& c : leadingStatistics()) {
        if (most.size() == top)
            break;
        if (!isNoticeable(c) || isEngineStatistic(c.name))
            continue;
        most << QStringLiteral("%1 %2 → %3").arg(c.name, valueText(c.a), valueText(c.b));
    }
    if (!most.isEmpty())
        text += QStringLiteral("、") + most.join(QStringLiteral("、"));
    // The plan lines whose work changed most, where both runs read what each line did.
    QList<LineWork> lines;
    for (const PlanLineChange& p : plan) {
        if (const std::optional<LineWork> w = workChange(p))
            lines.append(*w);
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const LineWork& l, const LineWork& r) { return l.size > r.size; });
    for (int i = 0; i < std::min<qsizetype>(lines.size(), 2); ++i)
        text += QStringLiteral("、") + lines[i].text;
    // Counting each plan line's figures costs CPU and time of its own: the two runs' CPU and
    // times are then not measured alike.
    if (a.rowSourceStatistics.value_or(false) != b.rowSourceStatistics.value_or(false)) {
        auto counted = [](const RecordedRun& r) {
            return !r.rowSourceStatistics   ? QStringLiteral("不明")
                   : *r.rowSourceStatistics ? QStringLiteral("あり")
                                            : QStringLiteral("なし");
        };
        text += QStringLiteral("、行ソース統計 %1 → %2（CPU と時間には計測の負荷の差が含まれます）")
                    .arg(counted(a), counted(b));
    }
    return text;
}

RunComparison compareRuns(RecordedRun a, RecordedRun b) {
    RunComparison c;
    c.statistics = pairStatistics(a, b);
    c.plan = pairPlans(a.plan, b.plan);
    c.sql = pairTexts(a.summary.sql, b.summary.sql);
    c.binds = pairBinds(a.binds, b.binds);
    const auto& fa = a.summary.facts;
    const auto& fb = b.summary.facts;
    if (!fa || !fb) {
        c.notes << QStringLiteral("実行時間と行数が記録されていない実行があります。");
    } else {
        if (fa->service != fb->service)
            c.notes << QStringLiteral("サービスが違います: %1 と %2").arg(fa->service, fb->service);
        if (fa->user.compare(fb->user, Qt::CaseInsensitive) != 0)
            c.notes << QStringLiteral("ユーザが違います: %1 と %2").arg(fa->user, fb->user);
    }
    c.a = std::move(a);
    c.b = std::move(b);
    return c;
}

}  // namespace qv
