#include "gui/sqleditorcommands.h"

#include "core/settings/sqlfont.h"
#include "gui/findbar.h"
#include "gui/querywindow.h"
#include "gui/windowfont.h"

#include <QAction>
#include <QFontDialog>
#include <QMenu>

#include <algorithm>

namespace qv {

namespace {

SqlFontChooser& fontChooser() {
    static SqlFontChooser c;
    return c;
}

std::optional<QFont> chooseFont(QWidget* parent, const QFont& initial) {
    if (fontChooser())
        return fontChooser()(parent, initial);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, parent, QStringLiteral("SQLフォント"));
    return ok ? std::optional(chosen) : std::nullopt;
}

}  // namespace

void setSqlFontChooser(SqlFontChooser chooser) {
    fontChooser() = std::move(chooser);
}

void addSqlEditorItems(QMenu* sql, std::function<QueryWindow*()> current) {
    auto item = [&](const char* name, const QString& caption, QList<QKeySequence> keys,
                    std::function<void(QueryWindow&)> command) {
        QAction* a = sql->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcuts(keys);
        QObject::connect(a, &QAction::triggered, sql, [current, command] {
            if (QueryWindow* w = current())
                command(*w);
        });
    };
    sql->addSeparator();
    item("findText", QStringLiteral("検索...(&F)"), {QKeySequence(Qt::CTRL | Qt::Key_F)},
         [](QueryWindow& w) { w.findBar()->open(false); });
    item("replaceText", QStringLiteral("置換...(&H)"), {QKeySequence(Qt::CTRL | Qt::Key_H)},
         [](QueryWindow& w) { w.findBar()->open(true); });
    item("findNext", QStringLiteral("次を検索"), {QKeySequence(Qt::Key_F3)},
         [](QueryWindow& w) { w.findBar()->findNext(); });
    item("findPrevious", QStringLiteral("前を検索"), {QKeySequence(Qt::SHIFT | Qt::Key_F3)},
         [](QueryWindow& w) { w.findBar()->findPrevious(); });
    sql->addSeparator();
    item("formatSql", QStringLiteral("整形(&L)"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)},
         [](QueryWindow& w) { w.formatSql(); });
    item("completeSql", QStringLiteral("補完(&C)"),
         {QKeySequence(Qt::CTRL | Qt::Key_Space), QKeySequence(Qt::CTRL | Qt::Key_J)},
         [](QueryWindow& w) { w.completeAtCaret(); });
}

void addSqlFontItem(QMenu* options, SettingsStore& store,
                    std::function<QList<QueryWindow*>()> windows) {
    QAction* a = options->addAction(QStringLiteral("SQLフォント...(&F)"));
    a->setObjectName(QStringLiteral("sqlFont"));
    QObject::connect(a, &QAction::triggered, options, [&store, windows] {
        const QList<QueryWindow*> open = windows();
        const std::optional<QFont> chosen = chooseFont(
            open.isEmpty() ? nullptr : open.last()->window(), sqlBoxFont(SqlFont::load(store)));
        if (!chosen)
            return;
        SqlFont{chosen->family(), std::max(1, chosen->pointSize())}.save(store);
        for (QueryWindow* w : windows())
            w->applySqlFont();
    });
}

}  // namespace qv
