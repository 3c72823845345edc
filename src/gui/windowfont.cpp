#include "gui/windowfont.h"

#include <QStringList>

namespace qv {

QFont windowFont() {
    QFont f;
    f.setFamilies({QStringLiteral("ＭＳ 明朝"), QStringLiteral("MS Mincho"),
                   QStringLiteral("Noto Serif CJK JP"), QStringLiteral("Noto Sans CJK JP"),
                   QStringLiteral("IPAMincho")});
    f.setPointSize(9);
    return f;
}

}  // namespace qv
