#include "core/history/changechart.h"

#include <algorithm>
#include <cmath>

namespace qv {

QString percentText(double percent) {
    // Below one percent two decimals, so that a change of a few in thousands does not read 0.0.
    const double size = std::fabs(percent);
    const QString digits = QString::number(size, 'f', size < 1 ? 2 : 1);
    return (percent < 0 ? u'-' : u'+') + digits + u'%';
}

ChangeChart changeChart(const RunComparison& comparison, int count) {
    ChangeChart chart;
    double largest = 0;
    for (const StatisticChange& s : comparison.leadingStatistics()) {
        if (chart.bars.size() == count)
            break;
        ChangeBar bar{s.name, s.a, s.b, s.difference, std::nullopt, 0, s.difference > 0, {}};
        const double from = s.a.isValid() && !s.a.isNull() ? s.a.toDouble() : 0;
        if (from != 0) {
            bar.percent = 100 * s.difference / std::fabs(from);
            largest = std::max(largest, std::fabs(*bar.percent));
        }
        bar.label = QStringLiteral("%1  %2 → %3").arg(s.name, valueText(s.a), valueText(s.b));
        if (bar.percent)
            bar.label += QStringLiteral(" (%1)").arg(percentText(*bar.percent));
        chart.bars.append(bar);
    }
    // The scale follows the changes up to a doubling: beyond it a bar is held at the end and its
    // label tells how far it went, so that a change of a few percent stays visible beside it.
    chart.scale = 100;
    for (const int scale : {10, 20, 50}) {
        if (largest <= scale) {
            chart.scale = scale;
            break;
        }
    }
    chart.tick = chart.scale / 2;
    for (ChangeBar& bar : chart.bars) {
        const double end = bar.difference > 0 ? chart.scale : bar.difference < 0 ? -chart.scale : 0;
        bar.length =
            bar.percent ? std::clamp(*bar.percent, -double(chart.scale), double(chart.scale)) : end;
    }
    return chart;
}

}  // namespace qv
