#pragma once

#include <QFont>

namespace qv {

struct SqlFont;

// The font of every window and dialog: "ＭＳ 明朝" 9 pt, with Japanese fonts found on this
// machine after it.
QFont windowFont();

// The SQL box's font: the family chosen, at its size. "ＭＳ 明朝", which few machines but
// Windows have, is the first of windowFont()'s families this machine has, because the box takes
// one family only.
QFont sqlBoxFont(const SqlFont& font);

}  // namespace qv
