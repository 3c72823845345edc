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

namespace {

// `r` moved just enough to lie inside `screen`, and cut to its size.
QRect inside(QRect r, const QRect& screen) {
    r.setSize(r.size().boundedTo(screen.size()));
    r.moveLeft(std::clamp(r.left(), screen.left(), screen.right() + 1 - r.width()));
    r.moveTop(std::clamp(r.top(), screen.top(), screen.bottom() + 1 - r.height()));
    return r;
}

}  // namespace

QRect placeOver(const QSize& size, const QRect& over, const QRect& screen) {
    QRect r(QPoint(0, 0), size);
    r.moveCenter(over.center());
    return inside(r, screen);
}

QRect placeBeside(const QSize& size, const QRect& anchor, const QRect& screen, int step) {
    const QSize fit = size.boundedTo(screen.size());
    if (screen.right() - anchor.right() >= fit.width())
        return inside(QRect(QPoint(anchor.right() + 1, anchor.top()), fit), screen);
    if (anchor.left() - screen.left() >= fit.width())
        return inside(QRect(QPoint(anchor.left() - fit.width(), anchor.top()), fit), screen);
    return inside(QRect(anchor.topLeft() + QPoint(step, step), fit), screen);
}

}  // namespace qv
