#pragma once

#include <QFont>
#include <QList>

#include <functional>
#include <optional>

class QMenu;
class QWidget;

namespace qv {

class QueryWindow;
class SettingsStore;

// The SQL menu's commands on the SQL box: 検索...(&F) Ctrl+F, 置換...(&H) Ctrl+H, 次を検索 F3,
// 前を検索 Shift+F3, 整形(&L) Ctrl+Shift+F and 補完(&C) Ctrl+Space (and Ctrl+J, as Ctrl+Space
// switches the input method on many Japanese desktops), after a separator; each acts on the
// window `current` gives (none: nothing happens).
void addSqlEditorItems(QMenu* sql, std::function<QueryWindow*()> current);

// ｵﾌﾟｼｮﾝ → SQLフォント...(&F): asks for the SQL box's font, keeps it in `store` and shows it in
// every window `windows` gives.
void addSqlFontItem(QMenu* options, SettingsStore& store,
                    std::function<QList<QueryWindow*>()> windows);

// Asks the user for a font, starting from `initial`; nothing when the user gives up. The font
// dialog unless set (tests answer without a dialog); an empty function restores the dialog.
using SqlFontChooser = std::function<std::optional<QFont>(QWidget* parent, const QFont& initial)>;
void setSqlFontChooser(SqlFontChooser chooser);

}  // namespace qv
