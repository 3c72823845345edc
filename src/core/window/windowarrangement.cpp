#include "core/window/windowarrangement.h"

#include <algorithm>

namespace qv {

QList<QRect> cascadeGeometry(const QList<QSize>& sizes, const QSize& area, int step) {
    QList<QRect> out;
    out.reserve(sizes.size());
    int start = 0;  // left edge of the staircase's first window
    int row = 0;
    for (const QSize& own : sizes) {
        const QSize size = own.boundedTo(area).expandedTo(QSize(0, 0));
        int x = start + row * step;
        int y = row * step;
        if (row > 0 && y + size.height() > area.height()) {
            start += step;
            row = 0;
            x = start;
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
