#include "core/window/querywindowmodel.h"

#include "core/history/historyfile.h"
#include "core/history/statementring.h"
#include "core/settings/settings.h"
#include "core/tuning/gridactions.h"
#include "core/tuning/tuningrun.h"
#include "core/window/program.h"

namespace qv {

QueryWindowModel::QueryWindowModel(WindowPort& port, QObject* parent)
    : QObject(parent), port_(port), connection_(state_, port) {}

QueryWindowModel::~QueryWindowModel() = default;

void QueryWindowModel::load() {
    port_.setSqlText(QString());
    setPlanMessage(QString());
    setResultMessage(QString());
    setStatsMessage(QString());
    setCountLabel(QString());
    layout_.recordMargins(kQueryWindowWidth, kQueryWindowHeight);
    // Splitter bars are drawn without border until a drag starts (the widget's default).
    state_.setMenuEnabled(WindowState::Menu::Login, true);
    state_.setMenuEnabled(WindowState::Menu::Logout, false);
    appSettings().maxDisplayRows = 1000;
    recording_ = false;
    state_.setMenuEnabled(WindowState::Menu::StartRecording, true);
    state_.setMenuEnabled(WindowState::Menu::StopRecording, false);
    state_.setCaption(QStringLiteral("未接続"));
    ringCursor_.setRing(&statementRing());
}

void QueryWindowModel::showMessage(const QString& text) {
    port_.showMessage(text, kAppTitle);
}

Settings& QueryWindowModel::settings() {
    return appSettings();
}

void QueryWindowModel::addToRing(const QString& sql) {
    statementRing().add(sql);
}

void QueryWindowModel::execute() {
    if (!connection_.isConnected() && !connection_.logIn())
        return;
    port_.focusSql();
    state_.setExecEnabled(false);
    const RunOutcome outcome = runTuning(*this);
    state_.setExecEnabled(true);
    lastExecutedSql_ = port_.sqlText();
    if (outcome == RunOutcome::Refused)
        return;
    recordingStage();
}

void QueryWindowModel::startRecording() {
    const HistoryFile file(historyPath_.isEmpty() ? HistoryFile::defaultPath() : historyPath_);
    HistoryFileState state = HistoryFileState::Missing;
    try {
        state = file.check();
    } catch (const DbError& e) {
        port_.showMessage(e.description(), kAppTitle);
        return;
    }
    std::optional<DbError> pending;
    if (state == HistoryFileState::Missing) {
        try {
            pending = file.create();
        } catch (const DbError& e) {
            pending = e;
        }
    } else if (state != HistoryFileState::Ready) {
        // No engine error stands behind a missing table or field; say what is wrong.
        port_.showMessage(QStringLiteral("履歴ファイル ") + file.path() +
                              QStringLiteral(" に履歴の表または列が足りないため使用できません。"),
                          kAppTitle);
        return;
    }
    setRecordingFilePath(file.path());
    if (pending) {
        state_.setPanelText(2, pending->description());
        return;
    }
    state_.setMenuEnabled(WindowState::Menu::StartRecording, false);
    state_.setMenuEnabled(WindowState::Menu::StopRecording, true);
    recording_ = true;
    state_.setPanelText(2, QStringLiteral("履歴処理:") + file.path());
    state_.setPanelToolTip(2, file.path());
    state_.setPanelText(3, QString());
}

void QueryWindowModel::stopRecording() {
    state_.setMenuEnabled(WindowState::Menu::StartRecording, true);
    state_.setMenuEnabled(WindowState::Menu::StopRecording, false);
    recording_ = false;
    state_.setPanelText(2, QString());
    state_.setPanelToolTip(2, QString());
    state_.setPanelText(3, QString());
}

void QueryWindowModel::recordingStage() {
    if (!recording_)
        return;
    HistoryFile::Recorded recorded;
    try {
        recorded = HistoryFile(recordingFilePath()).record(lastExecutedSql_, statsGrid_, planGrid_);
    } catch (const DbError& e) {
        stopRecording();
        port_.showMessage(QStringLiteral("履歴処理エラー:") + e.description() +
                              QStringLiteral("履歴処理を終了しました。"),
                          kAppTitle);
        return;
    }
    state_.setPanelText(3, QString::number(recorded.runCount));
}

void QueryWindowModel::insertConditionFromCell(int row, int col) {
    const QString condition = conditionFromCell(resultGrid_, row, col);
    if (condition.isEmpty())
        return;
    port_.replaceSqlSelection(condition);
    port_.focusSql();
}

void QueryWindowModel::recallNextStatement() {
    ringCursor_.next();
    port_.setSqlText(ringCursor_.statement());
}

void QueryWindowModel::recallPreviousStatement() {
    ringCursor_.previous();
    port_.setSqlText(ringCursor_.statement());
}

}  // namespace qv
