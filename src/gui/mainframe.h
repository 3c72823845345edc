#pragma once

#include "core/db/bindvalue.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace qv {

class ProgramState;
class QueryWindow;

// The application frame: holds the query windows and the menu bar, which shows and acts on
// the current query window. Its windows and dialogs share `program`, which must outlive it;
// the frame ends the program when its last query window closes.
class MainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainFrame(ProgramState& program, QWidget* parent = nullptr);
    ~MainFrame() override;

    ProgramState& program() { return program_; }

    // Opens a new query window of kQueryWindowWidth by kQueryWindowHeight twips.
    QueryWindow* openQueryWindow();
    // Opens a new query window and logs it in like the current one (same service, user and
    // driver), asking only the password when the service needs one. Null when the current
    // window is not connected or the password was not given.
    QueryWindow* openLoggedInWindow();
    // A recorded run (the history window's クエリウィンドウで開く): a new query window holding
    // its statement, whose bind dialog offers the run's values.
    QueryWindow* openRecordedRun(const QString& statement, const BindList& binds);
    // The history window on `window`'s history file, over the frame.
    void showHistory(QueryWindow& window);
    // The Window menu's cascade: each window keeps its size.
    void cascadeWindows();
    // すべて閉じる: closes the query windows one by one, each asking what closing it asks; a
    // window the user keeps open (キャンセル) keeps the rest open too. True when none is left;
    // the last one closing ends the program.
    bool closeAllQueryWindows();
    // The query window the menus act on; null when none is open.
    QueryWindow* activeQueryWindow() const;
    QList<QueryWindow*> queryWindows() const { return windows_; }
    QMdiArea* mdiArea() const { return mdiArea_; }

    // A menu item by its object name ("login", "newWindow", ...), for the tests.
    QAction* action(const QString& name) const;
    // Captions of the query windows listed in the Window menu, as it would show now.
    QStringList windowMenuEntries();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenus();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption);
    void rebuildWindowMenu();
    void updateMenus();
    // The ｵﾌﾟｼｮﾝ menu's 自動コミット and 実行後にロールバック.
    void addCommitOptions(QMenu* option);
    void queryWindowClosed(QueryWindow* window);
    void arrangeIcons();
    // The frame's geometry in the settings store, read at start and written when the last
    // query window closes.
    void restoreFrameGeometry();
    void saveFrameGeometry();

    ProgramState& program_;
    QMdiArea* mdiArea_;
    QList<QueryWindow*> windows_;
    QMenu* windowMenu_ = nullptr;
    QAction* windowListSep_ = nullptr;
    QList<QAction*> windowList_;
    QMetaObject::Connection stateConnection_;
};

}  // namespace qv
