#pragma once

#include <QString>

#include <functional>

class QMenu;
class QWidget;

namespace qv {

class QueryWindow;
class SettingsStore;

// The ﾌｧｲﾙ menu's commands on the SQL box of a query window: open a SQL file into it, save it
// back (in the encoding and line ends it was read in), save it under a new name, and open one
// of the files used last. What a file is and how it is read and written is the core's
// (core/window/sqlfile.h); these only ask the user and show the outcome.

// Adds 開く...(&O) Ctrl+O, 上書き保存(&W) Ctrl+S, 名前を付けて保存...(&A) and the submenu
// 最近使ったファイル(&R) (the list `store` keeps), then a separator, to `file`; each acts on the
// window `current` gives (none: nothing happens).
void addSqlFileItems(QMenu* file, SettingsStore& store, std::function<QueryWindow*()> current);

// 開く...: asks which file, then opens it as openSqlFile() does.
void chooseAndOpenSqlFile(QueryWindow& w);
// Asks which SQL file to read (the chooser setSqlFileChooser() set, else a file dialog that
// starts where 開く... does); empty when none was chosen.
QString chooseSqlFile(QueryWindow& w);
// Reads `path` into the SQL box as one undoable edit, the caret at the start, and remembers it
// as the window's file and a recent file. When the box holds edits of another file not yet
// saved, asks first whether to save them (Yes saves, No drops them, Cancel opens nothing). A
// file that cannot be read is reported in a message box and left off the recent files when it
// is gone. True when the box now holds the file.
bool openSqlFile(QueryWindow& w, const QString& path);
// Before the box's text is given up (another file opened, the window closed): when it holds
// edits of its file not yet saved, asks whether to save them. Yes saves, No drops them; false
// when the user chose Cancel or the save failed, and the text must stay.
bool settleSqlFileBefore(QueryWindow& w);
// 上書き保存: writes the box to the window's file; without one, as saveSqlFileAs(). A text the
// file's encoding cannot hold is offered to be saved as UTF-8 instead. True when written.
bool saveSqlFile(QueryWindow& w);
// 名前を付けて保存...: asks for a name, then saves as saveSqlFileTo() does.
bool saveSqlFileAs(QueryWindow& w);
// Writes the box to `path` (the window's encoding and line ends, or UTF-8 for a window without
// a file) and makes it the window's file. True when written.
bool saveSqlFileTo(QueryWindow& w, const QString& path);

// Asks the user for a file: to open (`save` false) or to save to, starting in the folder
// `start`; empty when the user gives up. The platform's file dialog unless set (tests answer
// without a dialog); an empty function restores the dialog.
using SqlFileChooser = std::function<QString(QWidget* parent, bool save, const QString& start)>;
void setSqlFileChooser(SqlFileChooser chooser);

}  // namespace qv
