#include "app/querywindowmodel.h"

#include "app/program.h"
#include "settings/publicvar.h"

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

void QueryWindowModel::mnuNextSQLClick() {
    sqlHistFinder_.nextSQL();
    port_.setSqlText(sqlHistFinder_.getSQL());
}

void QueryWindowModel::mnuPrevSQLClick() {
    sqlHistFinder_.prevSQL();
    port_.setSqlText(sqlHistFinder_.getSQL());
}

}  // namespace qv
