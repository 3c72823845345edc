#include "core/window/windowarrangement.h"

#include <algorithm>

namespace qv {

QList<QRect> cascadeGeometry(const QList<QSize>& sizes, const QSize& area, int step) {
    QList<QRect> out;
    out.reserve(sizes.size());
    int row = 0;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const QSize size = sizes[i].boundedTo(area).expandedTo(QSize(0, 0));
        // Each window lies a step right of the one before, so no title bar is wholly covered.
        int x = int(i) * step;
        int y = row * step;
        if (row > 0 && y + size.height() > area.height()) {
            row = 0;
            y = 0;
        }
        x = std::min(x, std::max(0, area.width() - size.width()));
        y = std::min(y, std::max(0, area.height() - size.height()));
        out.append(QRect(QPoint(x, y), size));
        ++row;
    }
    return out;
}

}  // namespace qv
