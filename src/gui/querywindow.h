#pragma once

#include "core/window/querywindowmodel.h"
#include "core/window/sqlfile.h"
#include "core/window/windowport.h"
#include "core/window/windowwhatif.h"
#include "gui/sqleditor.h"

#include <QWidget>

#include <array>

class QLabel;
class QPushButton;
class QStatusBar;

namespace qv {

class FindBar;
class GridView;

// A query window: the SQL box, the execute button, the result, statistics and plan panes with
// their message lines, the splitter bars and the status bar. It shows its QueryWindowModel and
// forwards events to it.
class QueryWindow : public QWidget, public WindowPort {
    Q_OBJECT
  public:
    // `program` is what the program's windows share; it must outlive the window.
    explicit QueryWindow(ProgramState& program, QWidget* parent = nullptr);
    ~QueryWindow() override;

    QueryWindowModel& model() { return *model_; }

    // WindowPort
    QString sqlText() const override;
    void setSqlText(const QString& text) override;
    void replaceSqlSelection(const QString& text) override;
    void focusSql() override;
    void markSqlError(qsizetype position) override;
    void repaintNow() override;
    Answer ask(const QString& text) override;
    void showMessage(const QString& text, const QString& title) override;
    void showStatus(const QString& text) override;
    bool runLoginDialog(LoginValues& values) override;
    bool confirm(const QString& text, Answer preset) override;
    std::optional<BindList> askBinds(const BindList& prefilled) override;
    double twipsPerBlank() const override;

    SqlEditor* sqlEdit() const { return sqlEdit_; }
    // The SQL box's find bar (検索..., 置換...), over the bottom of the box while it shows.
    FindBar* findBar() const { return findBar_; }
    QPushButton* executeButton() const { return executeButton_; }
    GridView* resultGrid() const { return resultGrid_; }
    GridView* statsGrid() const { return statsGrid_; }
    GridView* planGrid() const { return planGrid_; }
    // Status-bar panels 1 (connection), 2 (history file) and 3 (runs recorded).
    QLabel* statusPanel(int i) const { return panels_[static_cast<size_t>(i - 1)]; }
    // Splitter bars 0 to 4, top to bottom.
    QLabel* splitterBar(int k) const { return bars_[static_cast<size_t>(k)]; }
    QStatusBar* statusBar() const { return statusBar_; }
    // The commit mode, right of the status bar's panels.
    QLabel* commitModeLabel() const { return commitMode_; }
    // The last run's notes, between the panels and the commit mode.
    QLabel* noteLabel() const { return noteLabel_; }
    // The file the SQL box was last read from or saved to (the ﾌｧｲﾙ menu's commands).
    SqlFile& sqlFile() { return sqlFile_; }
    const SqlFile& sqlFile() const { return sqlFile_; }
    // The box now holds what sqlFile() holds: edits from here on are unsaved ones.
    void sqlFileSaved();
    // The file's name, with a "*" while the box holds edits not saved to it; empty without a
    // file. Shown right of the SQL heading and in the frame's list of windows.
    QString sqlFileName() const;
    QLabel* sqlFileLabel() const { return sqlFileLabel_; }

    // 補完: the names that complete the word at the SQL box's caret, in a list under it;
    // `namesOnly` leaves keywords and functions out (the list a typed dot opens).
    void completeAtCaret(bool namesOnly = false);
    // 整形: lays out the selection, or the whole statement, as one undo step.
    void formatSql();
    // Takes the SQL box's font from the settings store (SQLフォント...).
    void applySqlFont();

    // 索引を試す...(&I): the what-if dialog of the SQL box's statement, while logged in and no
    // run is under way.
    void tryIndexes();
    WindowWhatIf& whatIf() { return *whatIf_; }

    // Places every control where the model's layout says.
    void applyLayout();
    // Keeps the window (its QMdiSubWindow when it sits in one) from becoming so small that its
    // controls would overlap.
    void updateMinimumSize();

  Q_SIGNALS:
    void captionChanged(const QString& caption);
    // Status-bar panel 2 (the history file) was clicked.
    void historyPanelClicked();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLabel* makeLabel(const char* name, const QString& text);
    void place(QWidget* w, Control c);
    void makeStatusBar();
    void bindState();
    // The five splitter bars and their dragging; a drop is kept for the next windows.
    void setUpSplitters();
    void setUpKeyboard();
    // The plan grid's menu and keys: Ctrl+C, the DBMS_XPLAN copy, the adaptive plan's lines.
    void setUpPlanGrid();
    void keepMessagesInSight();
    // The execute button from the keyboard: starts a run, never stops one.
    void runFromKeyboard();
    double dpi() const;

    QueryWindowModel* model_;
    WindowWhatIf* whatIf_;
    SqlEditor* sqlEdit_ = nullptr;
    FindBar* findBar_ = nullptr;
    // The completion that waits for an owner's names, and where it was asked for.
    QString completionOwner_;
    qsizetype completionCaret_ = -1;
    bool completionNamesOnly_ = false;
    QPushButton* executeButton_ = nullptr;
    QLabel* sqlHeading_ = nullptr;
    QLabel* sqlFileLabel_ = nullptr;
    QLabel* resultHeading_ = nullptr;
    QLabel* statsHeading_ = nullptr;
    QLabel* planHeading_ = nullptr;
    QLabel* resultMessage_ = nullptr;
    QLabel* statsMessage_ = nullptr;
    QLabel* planMessage_ = nullptr;
    QLabel* countLabel_ = nullptr;
    QLabel* elapsedLabel_ = nullptr;
    GridView* resultGrid_ = nullptr;
    GridView* statsGrid_ = nullptr;
    GridView* planGrid_ = nullptr;
    std::array<QLabel*, 5> bars_{};
    QStatusBar* statusBar_ = nullptr;
    std::array<QLabel*, 3> panels_{};
    QLabel* commitMode_ = nullptr;
    QLabel* noteLabel_ = nullptr;
    SqlFile sqlFile_;
};

}  // namespace qv
