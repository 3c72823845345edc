#include "core/tuning/gridactions.h"

namespace qv {

QString conditionFromCell(const GridModel& grid, int row, int col) {
    if (row < grid.fixedRows() || row >= grid.rows() || col < 0 || col >= grid.cols())
        return QString();
    const QString header = grid.text(0, col);
    if (grid.cellIsNull(row, col))
        return header + QStringLiteral(" IS NULL");
    QString value = grid.text(row, col);
    value.replace(QLatin1Char('\''), QStringLiteral("''"));
    return header + QStringLiteral(" = ") + QStringLiteral("'") + value + QStringLiteral("'");
}

QString planClipboardText(const GridModel& plan) {
    if (!plan.visible())
        return QString();
    QString text = QStringLiteral("");
    for (int n = 1; n <= plan.rows() - 1; ++n) {
        const QString cardinality = plan.text(n, 1);
        const QString cost = plan.text(n, 2);
        const QString bytes = plan.text(n, 3);
        QString line = QString::number(n) + QLatin1Char('\t') + plan.text(n, 0);
        QString estimate;
        if (!cardinality.isEmpty())
            estimate = QStringLiteral("cardinarity=") + cardinality;
        if (!cost.isEmpty()) {
            if (!estimate.isEmpty())
                estimate += QLatin1Char(' ');
            estimate += QStringLiteral("cost=") + cost;
        }
        if (!bytes.isEmpty()) {
            if (!estimate.isEmpty())
                estimate += QLatin1Char(' ');
            estimate += QStringLiteral("byte=") + bytes;
        }
        if (!estimate.isEmpty())
            line += QStringLiteral("\t(") + estimate + QLatin1Char(')');
        text += line + QStringLiteral("\r\n");
    }
    return text;
}

}  // namespace qv
