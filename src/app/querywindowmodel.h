#pragma once

#include "app/layout.h"
#include "app/windowport.h"
#include "app/windowstate.h"
#include "history/sqlhist.h"
#include "oracle/connection.h"
#include "tuning/gridmodel.h"
#include "tuning/runwindow.h"

#include <QObject>
#include <QString>

namespace qv {

// The logic of one query window: everything it knows and every command it carries out, with no
// widget in sight. The widget shows this state and forwards its events here.
class QueryWindowModel : public QObject, public RunWindow {
    Q_OBJECT
  public:
    explicit QueryWindowModel(WindowPort& port, QObject* parent = nullptr);
    ~QueryWindowModel() override;

    // The load sequence of a new window.
    void load();

    WindowPort& port() { return port_; }
    WindowState& state() { return state_; }
    const WindowState& state() const { return state_; }
    GridModel& grdExplan() override { return grdExplan_; }
    GridModel& grdData() override { return grdData_; }
    GridModel& grdStats() override { return grdStats_; }
    QueryWindowLayout& layout() { return layout_; }
    clsSQLHistFinder& sqlHistFinder() { return sqlHistFinder_; }
    ConnectionService& connection() { return connection_; }

    // Message lines of the plan, result and statistics panes; the widget repaints at once.
    void setEMessage(const QString& mes) override { state_.setLine(WindowState::Line::Plan, mes); }
    void setQMessage(const QString& mes) override { state_.setLine(WindowState::Line::Query, mes); }
    void setSMessage(const QString& mes) override { state_.setLine(WindowState::Line::Stats, mes); }
    void setCountLabel(const QString& text) override {
        state_.setLine(WindowState::Line::Count, text);
    }

    // RunWindow
    QString sqlText() const override { return port_.sqlText(); }
    ResultState& resultState() override { return result_; }
    Answer ask(const QString& text) override { return port_.ask(text); }
    void showMessage(const QString& text) override;
    int blankWidthTwips(int count) const override { return port_.blankWidthTwips(count); }
    clsPublicVar& settings() override;
    Database& dbQuery() override { return connection_.dbQuery(); }
    Database& dbStats() override { return connection_.dbStats(); }
    QString oraUser() const override { return connection_.oraUser; }
    QString oraDBQ() const override { return connection_.oraDBQ; }
    void addToRing(const QString& sql) override;

    // The execute button: logs in when needed, runs the statement, records the run.
    void cmdExecClick();

    // Double-click on result cell (row, col): writes its condition into the SQL box.
    void grdDataDblClick(int row, int col);

    bool flgHistory = false;
    // The SQL box's text as the last execute command left it.
    QString ExecSql;

    // "ログイン...(&L)" and "ログアウト(&D)".
    void mnuLoginClick() { connection_.oraLoginProc(); }
    void mnuLogoutClick() { connection_.oraDisconnect(); }

    // "履歴開始(&S)" and "履歴終了(&E)": recording runs into the history file.
    void mnuHistStartClick();
    void mnuHistEndClick();
    // Where the start command looks for the history file (tests point it elsewhere).
    void setHistoryPath(const QString& path) { historyPath_ = path; }

    // "次のSQL(&N)" and "前のSQL(&B)".
    void mnuNextSQLClick();
    void mnuPrevSQLClick();

  private:
    // Writes the run into the history file while the window records.
    void recordingStage();

    WindowPort& port_;
    WindowState state_;
    GridModel grdExplan_;
    GridModel grdData_;
    GridModel grdStats_;
    QueryWindowLayout layout_;
    clsSQLHistFinder sqlHistFinder_;
    ConnectionService connection_;
    ResultState result_;
    QString historyPath_;
};

}  // namespace qv
