#include "core/tuning/planfigures.h"

#include "core/tuning/runrecord.h"

#include <cmath>

namespace qv {

std::optional<FigureScale> planFigureScale(const QString& heading) {
    if (heading == kPlanHeadings[3])
        return FigureScale::Binary;
    if (heading == kPlanHeadings[1] || heading == kPlanHeadings[2])
        return FigureScale::Decimal;
    // The counts beside the estimates; A-Time is a time and keeps its own form.
    if (kActualHeadings.contains(heading) && heading != kActualHeadings.last())
        return FigureScale::Decimal;
    return std::nullopt;
}

QStringList shortFigureForms(const QString& exact, FigureScale scale) {
    QStringList forms{exact};
    bool ok = false;
    const qulonglong value = exact.toULongLong(&ok);
    if (!ok || exact.startsWith(u'+'))
        return forms;
    const double base = scale == FigureScale::Binary ? 1024.0 : 1000.0;
    static const char units[] = "KMGTPE";
    double divisor = 1.0;
    for (const char unit : QByteArrayView(units)) {
        divisor *= base;
        const double rounded = std::round(static_cast<double>(value) / divisor);
        if (rounded < 1.0)
            break;  // "0G" says less than the form before it
        const QString form = QString::number(static_cast<qulonglong>(rounded)) + QLatin1Char(unit);
        if (form.size() < forms.last().size())
            forms.append(form);
    }
    return forms;
}

}  // namespace qv
