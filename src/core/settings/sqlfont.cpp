#include "core/settings/sqlfont.h"

#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"

namespace qv {

namespace {
const QString kSqlFontKey = QStringLiteral("s_sql_font");
}

SqlFont SqlFont::load(SettingsStore& store) {
    SqlFont font;
    QString text;
    if (store.read(kSqlFontKey, text) != StoreStatus::Ok)
        return font;
    // The family may itself hold a comma; the size follows the last one.
    const qsizetype comma = text.lastIndexOf(u',');
    int64_t points = 0;
    if (comma <= 0 || !parseStoredInt(text.mid(comma + 1), 1, 72, points))
        return font;
    font.family = text.left(comma).trimmed();
    font.points = int(points);
    return font.family.isEmpty() ? SqlFont{} : font;
}

void SqlFont::save(SettingsStore& store) const {
    store.write(kSqlFontKey, family + u',' + QString::number(points));
}

}  // namespace qv
