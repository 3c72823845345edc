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

QStringList statisticCells(const StatisticReading& s) {
    return {QString::number(s.number), textOrEmpty(s.delta), s.name};
}

}  // namespace qv
