#include "app/querywindowmodel.h"

#include "app/program.h"
#include "history/mdbproc.h"
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

void QueryWindowModel::showMessage(const QString& text) {
    port_.showMessage(text, kAppTitle);
}

clsPublicVar& QueryWindowModel::settings() {
    return gPublicVar();
}

void QueryWindowModel::addToRing(const QString& sql) {
    gSQLHist().add(sql);
}

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

void QueryWindowModel::mnuHistStartClick() {
    const QString path = historyPath_.isEmpty() ? defaultMdbPath() : historyPath_;
    int16_t check = 0;
    try {
        check = checkMdb(path);
    } catch (const DbError& e) {
        port_.showMessage(e.description(), kAppTitle);
        return;
    }
    std::optional<DbError> pending;
    if (check == 0) {
        try {
            createMdb(path, pending);
        } catch (const DbError& e) {
            pending = e;
        }
    }
    if (check < 0) {
        // No engine error stands behind a missing table or field; say what is wrong.
        port_.showMessage(QStringLiteral("履歴ファイル ") + path +
                              QStringLiteral(" に履歴の表または列が足りないため使用できません。"),
                          kAppTitle);
        return;
    }
    setMdbPath(path);
    if (pending) {
        state_.setPanelText(2, pending->description());
        return;
    }
    state_.setMenuEnabled(WindowState::Menu::HistStart, false);
    state_.setMenuEnabled(WindowState::Menu::HistEnd, true);
    flgHistory = true;
    state_.setPanelText(2, QStringLiteral("履歴処理:") + path);
    state_.setPanelToolTip(2, path);
    state_.setPanelText(3, QString());
}

void QueryWindowModel::mnuHistEndClick() {
    state_.setMenuEnabled(WindowState::Menu::HistStart, true);
    state_.setMenuEnabled(WindowState::Menu::HistEnd, false);
    flgHistory = false;
    state_.setPanelText(2, QString());
    state_.setPanelToolTip(2, QString());
    state_.setPanelText(3, QString());
}

void QueryWindowModel::recordingStage() {
    if (!flgHistory)
        return;
    try {
        writeHistory(mdbPath(), ExecSql, grdStats_, grdExplan_);
    } catch (const DbError& e) {
        mnuHistEndClick();
        port_.showMessage(QStringLiteral("履歴処理エラー:") + e.description() +
                              QStringLiteral("履歴処理を終了しました。"),
                          kAppTitle);
        return;
    }
    state_.setPanelText(3, QString::number(histCount()));
}

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
