#include "app/querywindowmodel.h"

#include "app/program.h"
#include "settings/publicvar.h"
#include "tuning/execdriver.h"
#include "tuning/gridactions.h"

namespace qv {

QueryWindowModel::QueryWindowModel(WindowPort& port, QObject* parent)
    : QObject(parent), port_(port), connection_(state_, port) {}

QueryWindowModel::~QueryWindowModel() = default;

void QueryWindowModel::load() {
    port_.setSqlText(QString());
    setEMessage(QString());
    setQMessage(QString());
    setSMessage(QString());
    setCountLabel(QString());
    layout_.recordMargins(gMainWidth, gMainHeight);
    // Splitter bars are drawn without border until a drag starts (the widget's default).
    connection_.oraLogined = false;
    state_.setMenuEnabled(WindowState::Menu::Login, true);
    state_.setMenuEnabled(WindowState::Menu::Logout, false);
    gPublicVar().maxDispRows = 1000;
    flgHistory = false;
    state_.setMenuEnabled(WindowState::Menu::HistStart, true);
    state_.setMenuEnabled(WindowState::Menu::HistEnd, false);
    state_.setCaption(QStringLiteral("未接続"));
    sqlHistFinder_.setSQLHist(&gSQLHist());
}

void QueryWindowModel::showMessage(const QString& text) { port_.showMessage(text, kAppTitle); }

clsPublicVar& QueryWindowModel::settings() { return gPublicVar(); }

void QueryWindowModel::addToRing(const QString& sql) { gSQLHist().add(sql); }

void QueryWindowModel::cmdExecClick() {
    if (!connection_.oraLogined && connection_.oraLoginProc() != 0)
        return;
    port_.focusSql();
    state_.setExecEnabled(false);
    const int16_t result = execProc(*this);
    state_.setExecEnabled(true);
    ExecSql = port_.sqlText();
    if (result == 1)
        return;
    recordingStage();
}

void QueryWindowModel::recordingStage() {}

void QueryWindowModel::grdDataDblClick(int row, int col) {
    const QString condition = conditionFromCell(grdData_, row, col);
    if (condition.isEmpty())
        return;
    port_.replaceSqlSelection(condition);
    port_.focusSql();
}

void QueryWindowModel::mnuNextSQLClick() {
    sqlHistFinder_.nextSQL();
    port_.setSqlText(sqlHistFinder_.getSQL());
}

void QueryWindowModel::mnuPrevSQLClick() {
    sqlHistFinder_.prevSQL();
    port_.setSqlText(sqlHistFinder_.getSQL());
}

}  // namespace qv
