#pragma once

#include <QIcon>

namespace qv {

// The program's icon (":/icons/quervinstudio.svg"), for the frame, its query windows, the about
// box and the application. Drawn from the SVG, so it is sharp at every size.
QIcon appIcon();

}  // namespace qv
