#pragma once

#include <QString>

namespace qv {

class SettingsStore;

// The SQL box's font (ｵﾌﾟｼｮﾝ → SQLフォント...), kept in the settings store under "s_sql_font"
// as "family,points" and shared by every window and every copy of the program.
struct SqlFont {
    QString family = QStringLiteral("ＭＳ 明朝");
    int points = 9;

    bool operator==(const SqlFont&) const = default;

    // The stored font; the default when none is stored or the value is no family and size
    // (1 to 72 points).
    static SqlFont load(SettingsStore& store);
    void save(SettingsStore& store) const;
};

}  // namespace qv
