#pragma once

#include "core/connection/connectionservice.h"
#include "core/editor/completion.h"
#include "core/history/statementringcursor.h"
#include "core/tuning/gridmodel.h"
#include "core/tuning/runwindow.h"
#include "core/window/backgroundrun.h"
#include "core/window/dictionaryloader.h"
#include "core/window/programstate.h"
#include "core/window/querywindowlayout.h"
#include "core/window/windowconnectionview.h"
#include "core/window/windowport.h"
#include "core/window/windowstate.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace qv {

// The logic of one query window: everything it knows and every command it carries out, with no
// widget in sight. The widget shows this state and forwards its events here. A run goes on a
// thread of its own (BackgroundRun); meanwhile the window stays usable and the execute command
// stops the run. What the windows of a program share (settings, statement ring, the history
// file recorded into) is the program's, which must outlive the window.
class QueryWindowModel : public QObject {
    Q_OBJECT
  public:
    QueryWindowModel(ProgramState& program, WindowPort& port, QObject* parent = nullptr);
    ~QueryWindowModel() override;

    ProgramState& program() { return program_; }

    // What a new window shows and knows: empty SQL box and lines, not connected, not recording;
    // the program's row limit goes back to kNewWindowMaxDisplayRows.
    void load();

    WindowPort& port() { return port_; }
    WindowState& state() { return state_; }
    const WindowState& state() const { return state_; }
    QueryWindowLayout& layout() { return layout_; }
    StatementRingCursor& ringCursor() { return ringCursor_; }
    ConnectionService& connection() { return connection_; }
    GridModel& planGrid() { return planGrid_; }
    GridModel& resultGrid() { return resultGrid_; }
    GridModel& statsGrid() { return statsGrid_; }
    // What the last run's result step left.
    const ResultState& resultState() const { return result_; }
    // The plan lines the last finished run shows, with their predicates and figures; none while
    // a run is under way.
    const QList<PlanLine>& shownPlan() const;
    // Whether the plan shown is adaptive with lines its final plan leaves out.
    bool planHasInactiveLines() const { return !planRun_.adaptive.wholePlan.isEmpty(); }
    // The plan grid's menu: shows every line of an adaptive plan, the inactive ones marked '-'
    // as DBMS_XPLAN's ADAPTIVE format marks them, or the final plan alone; kept for the runs
    // that follow.
    void setShowInactivePlanLines(bool show);
    bool showsInactivePlanLines() const { return wholePlan_; }
    // The plan grid's Ctrl+C text: the plan with its estimates, as planClipboardText() makes it.
    // Null when the plan grid is hidden.
    QString planCopyText() const;
    // The plan grid's "DBMS_XPLAN形式でコピー(&X)": the plan shown as DBMS_XPLAN.DISPLAY_CURSOR
    // prints it (xplanText()). Null when the plan grid is hidden or shows no finished run's plan.
    QString planXplanText() const;

    // The execute button: logs in when needed, asks for the values of the statement's bind
    // variables (the bind dialog) and starts the run; while a run is under way it stops it
    // instead.
    void execute();
    // Stops the run under way, if any: the server cancels the statement, the run ends its
    // stages without it. Else gives up the login under way, if any.
    void stop();
    bool isRunning() const { return run_ != nullptr; }
    // A script runs on the window's run session (ﾌｧｲﾙ → スクリプトの実行): no run starts meanwhile.
    void setScriptRunning(bool running) { scriptRunning_ = running; }
    bool isScriptRunning() const { return scriptRunning_; }
    // Whether a login is under way (its connections are being opened).
    bool isConnecting() const { return connection_.isConnecting(); }
    // Waits up to `ms` milliseconds for the run under way (or about to start once the
    // dictionary's reading has ended) to end and shows all it produced; true when no run is left.
    bool waitForRun(int ms);
    // Before the window closes or logs out: when a run is under way, asks `question` and on Yes
    // stops the run and waits for it (a few seconds at most; a driver that does not return is
    // left behind). False when the user wants to keep the run.
    bool settleRunBefore(const QString& question);
    // The SQL box's text as the last execute command left it.
    const QString& lastExecutedSql() const { return lastExecutedSql_; }

    // Double-click on result cell (row, col): writes its condition into the SQL box.
    void insertConditionFromCell(int row, int col);

    // 補完 at `caret` of `text`, the SQL box's. When it names an owner whose names are not read
    // yet, they are read, unless a run is under way; the dictionary's read() tells when.
    Completion completionAt(const QString& text, qsizetype caret);
    // The names completion offers, read on this window's statistics session: at the login,
    // after each DDL statement, and for another owner when first named.
    DictionaryLoader& dictionary() { return dictionary_; }

    // "ログイン...(&L)" and "ログアウト(&D)".
    void logIn() { connection_.logIn(); }
    void logOut();

    // The ｵﾗｸﾙ menu's "コミット(&M)" and "ロールバック(&R)": end the query session's
    // transaction. A failure is shown, and the changes then stay pending.
    void commitChanges();
    void rollBackChanges();
    // Whether the query session has changes that wait for COMMIT or ROLLBACK.
    bool hasPendingChanges() const;
    // Before the window closes, logs out, the program ends, or auto-commit is turned back on:
    // with changes pending, asks "変更をコミットしますか？" and commits them (Yes), rolls them
    // back (No), or keeps them (Cancel: false, and nothing is decided). True when nothing is
    // left pending.
    bool settleChangesBefore();
    // Shows the commit mode and whether commit and rollback may be chosen, as they are now.
    void refreshCommitState();

    // "履歴開始(&S)" and "履歴終了(&E)": recording runs into the history file.
    void startRecording();
    void stopRecording();
    bool isRecording() const { return recording_; }
    // Where the start command looks for the history file (tests point it elsewhere).
    void setHistoryFilePath(const QString& path) { historyPath_ = path; }
    // The history file runs are recorded into, or would be: the one in use, else this
    // window's.
    QString historyFilePath() const;

    // "次のSQL(&N)" and "前のSQL(&B)".
    void recallNextStatement();
    void recallPreviousStatement();
    // "SQL履歴の消去...(&D)": after a Yes to the question, empties the statement ring of every
    // window, in the settings file too.
    void clearStatementRing();

  private:
    void setLine(WindowState::Line line, const QString& text) { state_.setLine(line, text); }
    // The execute command once the window is logged in: checks the statement, asks for the
    // binds and starts the run.
    void startRun();
    // Asks for the values of the statement's bind variables when the run will execute it;
    // false when the user abandons the run.
    bool askForBinds(const QString& sql, const SharedSettings& settings, BindList& binds);
    void runFinished(const RunRecord& record);
    // The dictionary's reading has ended: a run that waited for it starts, else what waits to
    // be read is read.
    void dictionaryRead();
    void showProgress();
    // Writes the run into the history file while the window records.
    void recordingStage(const RunRecord& record);

    ProgramState& program_;
    WindowPort& port_;
    WindowState state_;
    GridModel planGrid_;
    GridModel resultGrid_;
    GridModel statsGrid_;
    QueryWindowLayout layout_;
    StatementRingCursor ringCursor_;
    WindowConnectionView connectionView_;
    ConnectionService connection_;
    ResultState result_;
    RunRecord planRun_;  // the plan of the last finished run, and what it is
    bool wholePlan_ = false;
    QString historyPath_;
    QString lastExecutedSql_;
    bool recording_ = false;
    bool runAfterLogin_ = false;       // the execute command waits for the login under way
    bool runAfterDictionary_ = false;  // the run waits for the dictionary's reading to end
    DictionaryLoader dictionary_;
    std::shared_ptr<BackgroundRun> run_;
    bool scriptRunning_ = false;
    QTimer progressTimer_;
};

// How often the count label shows the rows fetched while a run lasts.
inline constexpr int kProgressIntervalMs = 250;

// A failed login, told in a message box: the service, then the driver's description.
inline const QString kMsgLoginFailed = QStringLiteral("%1 に接続できませんでした。\n%2");
inline const QString kLoginFailedTitle = QStringLiteral("DB接続エラー");

inline const QString kMsgStopToClose =
    QStringLiteral("SQLを実行中です。中止してウィンドウを閉じますか？");
inline const QString kMsgStopToLogOut =
    QStringLiteral("SQLを実行中です。中止してログアウトしますか？");
inline const QString kMsgCommitPending = QStringLiteral("変更をコミットしますか？");
inline const QString kMsgScriptRunning =
    QStringLiteral("スクリプトの実行中です。終わるか中止してから実行してください。");
inline const QString kMsgScriptNeedsLogin =
    QStringLiteral("スクリプトを実行するには、先にログインしてください。");

}  // namespace qv
