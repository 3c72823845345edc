#include "gui/windowfont.h"

#include "core/settings/sqlfont.h"

#include <QFontDatabase>
#include <QStringList>

namespace qv {

namespace {

const QStringList& windowFamilies() {
    static const QStringList families = {QStringLiteral("ＭＳ 明朝"), QStringLiteral("MS Mincho"),
                                         QStringLiteral("Noto Serif CJK JP"),
                                         QStringLiteral("Noto Sans CJK JP"),
                                         QStringLiteral("IPAMincho")};
    return families;
}

}  // namespace

QFont windowFont() {
    QFont f;
    f.setFamilies(windowFamilies());
    f.setPointSize(9);
    return f;
}

QFont sqlBoxFont(const SqlFont& font) {
    QString family = font.family;
    if (family == SqlFont{}.family) {
        for (const QString& candidate : windowFamilies()) {
            if (QFontDatabase::hasFamily(candidate)) {
                family = candidate;
                break;
            }
        }
    }
    return QFont(family, font.points);
}

}  // namespace qv
