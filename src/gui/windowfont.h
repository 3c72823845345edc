#pragma once

#include <QFont>

namespace qv {

// The font of every window and dialog: "ＭＳ 明朝" 9 pt, with Japanese fonts found on this
// machine after it.
QFont windowFont();

}  // namespace qv
