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

// Where a window of `size` opens over the window `over` (the frame): centred on it, moved just
// enough to lie inside `screen`, and no larger than the screen.
QRect placeOver(const QSize& size, const QRect& over, const QRect& screen);

// Where a window of `size` opens next to `anchor` (the history list) so that it covers none of
// it: right of it, else left of it, where the screen has room; else over it, one `step` right of
// and below its top left corner, so that the anchor's title and edge still show. Always inside
// `screen`.
QRect placeBeside(const QSize& size, const QRect& anchor, const QRect& screen, int step);

}  // namespace qv
