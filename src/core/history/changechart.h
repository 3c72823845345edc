#pragma once

#include "core/history/runcomparison.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace qv {

// One statistic in the comparison's chart: its change from run A to run B as a share of run A's
// value, so that a statistic of hundreds and one of millions stand on one scale.
struct ChangeBar {
    QString name;
    QVariant a;
    QVariant b;
    double difference = 0;          // b - a
    std::optional<double> percent;  // 100 * (b - a) / a; none when run A had 0 or nothing
    // How far the bar reaches, in percent: the change held within the chart's scale; a change
    // from nothing reaches the end of the scale on its side.
    double length = 0;
    bool increase = false;  // b > a: the run did more of it
    // What the bar's row says: the name, both values and the change ("consistent gets  1200 →
    // 30 (-97.5%)").
    QString label;
};

// The chart of the largest changes: the bars and the scale of the axis, which runs from
// -scale to +scale percent in whole steps of `tick`.
struct ChangeChart {
    QList<ChangeBar> bars;  // the largest change first
    int scale = 100;        // 10, 20, 50 or 100: the smallest that holds every bar, at most 100
    int tick = 50;          // scale / 2
};

// The first `count` of the comparison's leading statistics (Oracle's tuning statistics first,
// then the others that changed most) as bars of percent.
ChangeChart changeChart(const RunComparison& comparison, int count = 12);

// A change in percent with its sign and one decimal, two below one percent ("+12.5%", "-97.5%",
// "-0.03%").
QString percentText(double percent);

}  // namespace qv
