#pragma once

#include "core/history/statementringcursor.h"
#include "core/tuning/gridmodel.h"
#include "core/tuning/runwindow.h"
#include "core/window/connectionservice.h"
#include "core/window/querywindowlayout.h"
#include "core/window/windowport.h"
#include "core/window/windowstate.h"

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

    // What a new window shows and knows: empty SQL box and lines, not connected, not recording.
    void load();

    WindowPort& port() { return port_; }
    WindowState& state() { return state_; }
    const WindowState& state() const { return state_; }
    QueryWindowLayout& layout() { return layout_; }
    StatementRingCursor& ringCursor() { return ringCursor_; }
    ConnectionService& connection() { return connection_; }

    // RunWindow: the message lines are repainted at once by the widget.
    QString sqlText() const override { return port_.sqlText(); }
    void setPlanMessage(const QString& text) override { setLine(WindowState::Line::Plan, text); }
    void setResultMessage(const QString& text) override {
        setLine(WindowState::Line::Result, text);
    }
    void setStatsMessage(const QString& text) override { setLine(WindowState::Line::Stats, text); }
    void setCountLabel(const QString& text) override { setLine(WindowState::Line::Count, text); }
    GridModel& planGrid() override { return planGrid_; }
    GridModel& resultGrid() override { return resultGrid_; }
    GridModel& statsGrid() override { return statsGrid_; }
    ResultState& resultState() override { return result_; }
    Answer ask(const QString& text) override { return port_.ask(text); }
    void showMessage(const QString& text) override;
    int blankWidthTwips(int count) const override { return port_.blankWidthTwips(count); }
    Settings& settings() override;
    Database& queryDatabase() override { return connection_.queryDatabase(); }
    Database& statsDatabase() override { return connection_.statsDatabase(); }
    QString userName() const override { return connection_.login().user; }
    QString serviceName() const override { return connection_.login().service; }
    void addToRing(const QString& sql) override;

    // The execute button: logs in when needed, runs the statement, records the run.
    void execute();
    // The SQL box's text as the last execute command left it.
    const QString& lastExecutedSql() const { return lastExecutedSql_; }

    // Double-click on result cell (row, col): writes its condition into the SQL box.
    void insertConditionFromCell(int row, int col);

    // "ログイン...(&L)" and "ログアウト(&D)".
    void logIn() { connection_.logIn(); }
    void logOut() { connection_.disconnectFromService(); }

    // "履歴開始(&S)" and "履歴終了(&E)": recording runs into the history file.
    void startRecording();
    void stopRecording();
    bool isRecording() const { return recording_; }
    // Where the start command looks for the history file (tests point it elsewhere).
    void setHistoryFilePath(const QString& path) { historyPath_ = path; }

    // "次のSQL(&N)" and "前のSQL(&B)".
    void recallNextStatement();
    void recallPreviousStatement();

  private:
    void setLine(WindowState::Line line, const QString& text) { state_.setLine(line, text); }
    // Writes the run into the history file while the window records.
    void recordingStage();

    WindowPort& port_;
    WindowState state_;
    GridModel planGrid_;
    GridModel resultGrid_;
    GridModel statsGrid_;
    QueryWindowLayout layout_;
    StatementRingCursor ringCursor_;
    ConnectionService connection_;
    ResultState result_;
    QString historyPath_;
    QString lastExecutedSql_;
    bool recording_ = false;
};

}  // namespace qv
