#pragma once

#include "app/layout.h"
#include "app/windowport.h"
#include "app/windowstate.h"
#include "history/sqlhist.h"
#include "oracle/connection.h"
#include "tuning/gridmodel.h"

#include <QObject>
#include <QString>

namespace qv {

// The logic of one query window: everything it knows and every command it carries out, with no
// widget in sight. The widget shows this state and forwards its events here.
class QueryWindowModel : public QObject {
    Q_OBJECT
public:
    explicit QueryWindowModel(WindowPort& port, QObject* parent = nullptr);
    ~QueryWindowModel() override;

    // The load sequence of a new window.
    void load();

    WindowPort& port() { return port_; }
    WindowState& state() { return state_; }
    const WindowState& state() const { return state_; }
    GridModel& grdExplan() { return grdExplan_; }
    GridModel& grdData() { return grdData_; }
    GridModel& grdStats() { return grdStats_; }
    QueryWindowLayout& layout() { return layout_; }
    clsSQLHistFinder& sqlHistFinder() { return sqlHistFinder_; }
    ConnectionService& connection() { return connection_; }

    // Message lines of the plan, result and statistics panes; the widget repaints at once.
    void setEMessage(const QString& mes) { state_.setLine(WindowState::Line::Plan, mes); }
    void setQMessage(const QString& mes) { state_.setLine(WindowState::Line::Query, mes); }
    void setSMessage(const QString& mes) { state_.setLine(WindowState::Line::Stats, mes); }
    void setCountLabel(const QString& text) { state_.setLine(WindowState::Line::Count, text); }

    bool flgHistory = false;
    // The SQL box's text as the last execute command left it.
    QString ExecSql;

    // "ログイン...(&L)" and "ログアウト(&D)".
    void mnuLoginClick() { connection_.oraLoginProc(); }
    void mnuLogoutClick() { connection_.oraDisconnect(); }

    // "次のSQL(&N)" and "前のSQL(&B)".
    void mnuNextSQLClick();
    void mnuPrevSQLClick();

private:
    WindowPort& port_;
    WindowState state_;
    GridModel grdExplan_;
    GridModel grdData_;
    GridModel grdStats_;
    QueryWindowLayout layout_;
    clsSQLHistFinder sqlHistFinder_;
    ConnectionService connection_;
};

}  // namespace qv
