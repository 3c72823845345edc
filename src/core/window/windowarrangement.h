#pragma once

#include <QList>
#include <QRect>
#include <QSize>

namespace qv {

// Where the frame's cascade puts its windows, given their sizes in stacking order (the window
// that ends on top last) and the size of the area that shows them. Each window keeps its own
// size, giving up only what exceeds the area. Each window lies one `step` right of the one
// before and one step lower, except that a window that would cross the bottom edge goes back
// to the top; a window that would cross the right edge moves left just enough to stay inside.
QList<QRect> cascadeGeometry(const QList<QSize>& sizes, const QSize& area, int step);

}  // namespace qv
