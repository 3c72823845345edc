#include "core/tuning/runrecord.h"

#include <algorithm>

namespace qv {

QString PlanLine::text() const {
    QString t(static_cast<qsizetype>(std::clamp<int64_t>(depth, 0, 1000)), QLatin1Char(' '));
    t += operation;
    if (options)
        t += QLatin1Char(' ') + *options;
    if (objectName)
        t += QStringLiteral(" (") + objectOwner + QLatin1Char('.') + *objectName + QLatin1Char(')');
    if (objectType)
        t += QLatin1Char(' ') + *objectType;
    if (optimizer)
        t += QStringLiteral(" OPTIMIZER = ") + *optimizer;
    return t;
}

QVariant numberOf(const QVariant& value) {
    if (value.isNull() || !value.isValid())
        return QVariant();
    switch (value.metaType().id()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
            return QVariant(value.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return QVariant(value.toDouble());
        default:
            break;
    }
    // Exact numbers come from the driver as text.
    bool ok = false;
    const QString text = value.toString().trimmed();
    const qlonglong whole = text.toLongLong(&ok);
    if (ok)
        return whole;
    const double real = text.toDouble(&ok);
    return ok ? QVariant(real) : QVariant();
}

QStringList planLineCells(const PlanLine& line) {
    return {line.text(), textOrEmpty(line.cardinality), textOrEmpty(line.cost),
            textOrEmpty(line.bytes)};
}

int AdaptivePlan::omittedLines() const {
    return static_cast<int>(std::count_if(wholePlan.begin(), wholePlan.end(),
                                          [](const PlanLine& l) { return l.inactive; }));
}

QString adaptivePlanNote(const AdaptivePlan& plan, bool whole) {
    if (!plan.adaptive)
        return {};
    if (plan.wholePlan.isEmpty())
        return QStringLiteral("適応計画: 使われない行を判別できないため、すべての行を表示");
    if (whole)
        return QStringLiteral("適応計画: 使われない %1 行を「-」で表示").arg(plan.omittedLines());
    return QStringLiteral("適応計画: 使われない %1 行を省略").arg(plan.omittedLines());
}

QString planTimeText(int64_t micros) {
    const int64_t centis = (micros + 5'000) / 10'000;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(centis / 360'000, 2, 10, QLatin1Char('0'))
        .arg(centis / 6'000 % 60, 2, 10, QLatin1Char('0'))
        .arg(centis / 100 % 60, 2, 10, QLatin1Char('0'))
        .arg(centis % 100, 2, 10, QLatin1Char('0'));
}

QStringList planActualCells(const PlanLine& line) {
    if (!line.actuals)
        return QStringList(5, QString());
    const PlanLineActuals& a = *line.actuals;
    auto number = [](const std::optional<int64_t>& v) {
        return v ? QString::number(*v) : QString();
    };
    return {number(a.starts), number(a.rows), number(a.buffers), number(a.reads),
            a.elapsedMicros ? planTimeText(*a.elapsedMicros) : QString()};
}

QStringList statisticCells(const StatisticReading& s) {
    return {QString::number(s.number), textOrEmpty(s.delta), s.name};
}

}  // namespace qv
