#include "core/window/querywindowmodel.h"

#include "core/history/historyfile.h"
#include "core/internalerror.h"
#include "core/program.h"
#include "core/sql/statementclass.h"
#include "core/sql/tokenlist.h"
#include "core/tuning/actualsstep.h"
#include "core/tuning/gridactions.h"
#include "core/tuning/hintusage.h"
#include "core/tuning/planstep.h"
#include "core/tuning/tuningrun.h"
#include "core/tuning/xplantext.h"

#include <utility>

namespace qv {

namespace {

// Seconds to a tenth while a run lasts ("123,456件 取得中…（2.3秒）"), to a millisecond after.
QString seconds(int64_t ms, int decimals = 1) {
    return QString::number(ms / 1000.0, 'f', decimals) + QStringLiteral("秒");
}

}  // namespace

QueryWindowModel::QueryWindowModel(ProgramState& program, WindowPort& port, QObject* parent)
    : QObject(parent),
      program_(program),
      port_(port),
      connectionView_(state_, port),
      connection_(connectionView_, program.settings(), program.store()) {
    connection_.setOpener(program.databaseOpener());
    connection_.setAttemptCounter(program.loginsUnderWay());
    connection_.setInstalledDrivers(program.machine().odbcDrivers);
    progressTimer_.setInterval(kProgressIntervalMs);
    connect(&progressTimer_, &QTimer::timeout, this, &QueryWindowModel::showProgress);
    // The execute command that logged in goes on once the login has ended, connected or not
    // (a run after a failed login reports the failure in each of its steps); not when the user
    // gave the login up.
    connect(
        &connection_, &ConnectionService::attemptEnded, this,
        [this](ConnectionService::Outcome outcome) {
            // The reason is told before anything else: the status bar alone is missed.
            if (outcome == ConnectionService::Outcome::Failed)
                port_.showMessage(
                    kMsgLoginFailed.arg(connection_.login().service, connection_.failureReason()),
                    kLoginFailedTitle);
            refreshCommitState();
            if (outcome == ConnectionService::Outcome::Connected) {
                dictionary_.setSession(connection_.sharedStatsDatabase(), connection_.login().user);
                dictionary_.readOwnSchema();
            }
            if (std::exchange(runAfterLogin_, false) &&
                outcome != ConnectionService::Outcome::Abandoned)
                startRun();
        });
    connect(&dictionary_, &DictionaryLoader::read, this, &QueryWindowModel::dictionaryRead);
}

QueryWindowModel::~QueryWindowModel() {
    if (run_)
        run_->abandon();
}

void QueryWindowModel::load() {
    port_.setSqlText(QString());
    for (auto line : {WindowState::Line::Plan, WindowState::Line::Result, WindowState::Line::Stats,
                      WindowState::Line::Count})
        setLine(line, QString());
    layout_.recordMargins(kQueryWindowWidth, kQueryWindowHeight);
    // Splitter bars are drawn without border until a drag starts (the widget's default).
    state_.setMenuEnabled(WindowState::Menu::Login, true);
    state_.setMenuEnabled(WindowState::Menu::Logout, false);
    program_.settings().set(&Settings::maxDisplayRows, kNewWindowMaxDisplayRows);
    recording_ = false;
    state_.setMenuEnabled(WindowState::Menu::StartRecording, true);
    state_.setMenuEnabled(WindowState::Menu::StopRecording, false);
    state_.setCaption(QStringLiteral("未接続"));
    ringCursor_.setRing(&program_.statementRing());
    refreshCommitState();
}

void QueryWindowModel::execute() {
    if (run_) {
        stop();
        return;
    }
    // The run session is the script's until it ends.
    if (scriptRunning_) {
        port_.showMessage(kMsgScriptRunning, kAppTitle);
        return;
    }
    if (connection_.isConnecting() || runAfterDictionary_)
        return;
    if (!connection_.isConnected()) {
        if (!connection_.logIn())
            return;
        runAfterLogin_ = connection_.isConnecting();
        if (runAfterLogin_)
            return;
    }
    startRun();
}

void QueryWindowModel::startRun() {
    // The statistics session is the run's: a reading of the dictionary on it gives way first.
    // The run starts when the reading has ended, at once unless the driver is slow to cancel.
    if (dictionary_.busy()) {
        runAfterDictionary_ = true;
        dictionary_.interrupt();
        dictionary_.wait(kStopWaitMs);
        return;
    }
    port_.focusSql();
    port_.markSqlError(-1);
    const QString sql = port_.sqlText();
    lastExecutedSql_ = sql;
    const SharedSettings& settings = program_.settings();
    if (const auto refusal = refusalOf(sql, settings)) {
        port_.showMessage(*refusal, kAppTitle);
        return;
    }
    BindList binds;
    if (!askForBinds(sql, settings, binds))
        return;
    setLine(WindowState::Line::Elapsed, QString());
    setLine(WindowState::Line::Note, QString());
    planRun_ = RunRecord();
    BackgroundRun::Window window{this,
                                 &state_,
                                 &port_,
                                 {&planGrid_, &resultGrid_, &statsGrid_},
                                 &program_.statementRing(),
                                 [this](BackgroundRun* run, const RunRecord& record) {
                                     if (run == run_.get())
                                         runFinished(record);
                                 }};
    BackgroundRun::Setup setup{sql,
                               program_.sharedSettings(),
                               connection_.login().user,
                               connection_.login().service,
                               port_.twipsPerBlank(),
                               connection_.sharedQueryDatabase(),
                               connection_.sharedStatsDatabase(),
                               connection_.queryStatisticsLevel(),
                               connection_.queryTransaction(),
                               connection_.sessionMemory(),
                               binds,
                               program_.abandonedRuns(),
                               program_.planStepLock(),
                               connection_.driver()};
    run_ = BackgroundRun::start(std::move(window), std::move(setup));
    state_.setRunning(true);
    refreshCommitState();
    progressTimer_.start();
}

bool QueryWindowModel::askForBinds(const QString& sql, const SharedSettings& settings,
                                   BindList& binds) {
    // Only an execution needs values; Oracle explains a statement with its placeholders.
    const QStringList names = sql::placeholders(sqlToSend(sql)).names;
    if (!settings.runQuery() || names.isEmpty())
        return true;
    const std::optional<BindList> given = port_.askBinds(program_.bindMemory().recall(names));
    if (!given)
        return false;
    program_.bindMemory().remember(*given);
    binds = *given;
    return true;
}

void QueryWindowModel::stop() {
    if (run_)
        run_->stop();
    else
        connection_.abandonAttempt();
}

void QueryWindowModel::showProgress() {
    if (!run_)
        return;
    const RunControl& control = run_->control();
    const QString elapsed =
        QStringLiteral("（") + seconds(control.elapsedMs()) + QStringLiteral("）");
    switch (control.phase()) {
        case RunControl::Phase::Executing:
            setLine(WindowState::Line::Count, QStringLiteral("実行中…") + elapsed);
            break;
        case RunControl::Phase::Fetching:
            setLine(WindowState::Line::Count, groupedRowCount(control.rowsFetched()) +
                                                  QStringLiteral("件 取得中…") + elapsed);
            break;
        default:
            break;
    }
}

QString QueryWindowModel::planCopyText() const {
    return planClipboardText(planGrid_);
}

QString QueryWindowModel::planXplanText() const {
    if (!planGrid_.visible() || shownPlan().isEmpty())
        return QString();
    return xplanText(planRun_, wholePlan_);
}

const QList<PlanLine>& QueryWindowModel::shownPlan() const {
    return shownPlanLines(planRun_, wholePlan_);
}

void QueryWindowModel::setShowInactivePlanLines(bool show) {
    const QString before = adaptivePlanNote(planRun_.adaptive, wholePlan_);
    wholePlan_ = show;
    if (planGrid_.visible() && !planRun_.plan.isEmpty())
        showRunPlan(planRun_, planGrid_, show);
    // The note line says what the plan grid now shows of an adaptive plan.
    if (!before.isEmpty())
        setLine(WindowState::Line::Note,
                state_.line(WindowState::Line::Note)
                    .replace(before, adaptivePlanNote(planRun_.adaptive, show)));
}

void QueryWindowModel::runFinished(const RunRecord& record) {
    result_ = record.result;
    planRun_.plan = record.plan;
    planRun_.adaptive = record.adaptive;
    planRun_.planDiffers = record.planDiffers;
    planRun_.sql = record.sql;
    planRun_.planHash = record.planHash;
    planRun_.sqlId = record.sqlId;
    planRun_.childNumber = record.childNumber;
    planRun_.actualsStep = record.actualsStep;
    if (wholePlan_ && planHasInactiveLines() && planGrid_.visible())
        showRunPlan(planRun_, planGrid_, true);
    // The run told its other notes as it went.
    if (const QString adaptive = adaptivePlanNote(record.adaptive, wholePlan_);
        !adaptive.isEmpty() && planGrid_.visible()) {
        const QString shown = state_.line(WindowState::Line::Note);
        setLine(WindowState::Line::Note,
                shown.isEmpty() ? adaptive : shown + kNoteSeparator + adaptive);
    }
    // The statistics' heading says when the run's own counting weighs on its CPU and times.
    if (statsGrid_.visible())
        statsGrid_.setRowNote(0, record.rowSourceStatistics ? kMsgRowSourceStatistics : QString(),
                              false);
    run_.reset();
    progressTimer_.stop();
    state_.setRunning(false);
    if (record.internalError) {
        // Not recorded: the record holds nothing of what the run did.
        port_.showMessage(internalErrorMessage(*record.internalError), kAppTitle);
        return;
    }
    if (result_.elapsedMs >= 0)
        setLine(WindowState::Line::Elapsed, seconds(result_.elapsedMs, 3));
    // Only while the box still holds the statement the position was found in.
    if (record.errorPosition >= 0 && port_.sqlText() == record.sql)
        port_.markSqlError(record.errorPosition);
    recordingStage(record);
    refreshCommitState();
    // DDL may have added, changed or dropped what completion offers.
    if (sql::classifyStatement(sqlToSend(record.sql)) == sql::StatementClass::Definition ||
        dictionary_.ownSchemaStale())
        dictionary_.readOwnSchema();
}

void QueryWindowModel::dictionaryRead() {
    if (std::exchange(runAfterDictionary_, false))
        startRun();
    else if (dictionary_.ownSchemaStale() && !run_)
        dictionary_.readOwnSchema();
}

Completion QueryWindowModel::completionAt(const QString& text, qsizetype caret) {
    Completion c = completeAt(text, caret, dictionary_.dictionary());
    if (!c.ownerToRead.isEmpty() && !run_ && !runAfterDictionary_)
        dictionary_.readOwner(c.ownerToRead);
    return c;
}

bool QueryWindowModel::waitForRun(int ms) {
    if (runAfterDictionary_)
        dictionary_.wait(ms);
    if (const std::shared_ptr<BackgroundRun> run = run_)
        run->wait(ms);
    return run_ == nullptr;
}

bool QueryWindowModel::settleRunBefore(const QString& question) {
    if (!run_)
        return true;
    if (!port_.confirm(question, Answer::Yes))
        return false;
    stop();
    if (!waitForRun(kStopWaitMs)) {
        // The driver does not come back from the cancel: leave the run its connections.
        run_->abandon();
        run_.reset();
        connection_.abandonConnections();
        progressTimer_.stop();
        state_.setRunning(false);
    }
    return true;
}

void QueryWindowModel::logOut() {
    if (!settleRunBefore(kMsgStopToLogOut) || !settleChangesBefore())
        return;
    // A reading of the dictionary ends before its session closes; one the driver does not give
    // back keeps the session.
    dictionary_.interrupt();
    runAfterDictionary_ = false;
    if (!dictionary_.wait(kStopWaitMs))
        connection_.abandonConnections();
    dictionary_.setSession(nullptr, QString());
    connection_.disconnectFromService();
    refreshCommitState();
}

bool QueryWindowModel::hasPendingChanges() const {
    return connection_.isConnected() && connection_.queryTransaction()->pending;
}

void QueryWindowModel::commitChanges() {
    if (!hasPendingChanges() || run_)
        return;
    try {
        connection_.queryDatabase().commit();
        connection_.queryTransaction()->pending = false;
    } catch (const DbError& e) {
        port_.showMessage(e.description(), kAppTitle);
    }
    refreshCommitState();
}

void QueryWindowModel::rollBackChanges() {
    if (!hasPendingChanges() || run_)
        return;
    try {
        connection_.queryDatabase().rollback();
        connection_.queryTransaction()->pending = false;
    } catch (const DbError& e) {
        port_.showMessage(e.description(), kAppTitle);
    }
    refreshCommitState();
}

bool QueryWindowModel::settleChangesBefore() {
    if (!hasPendingChanges())
        return true;
    switch (port_.ask(kMsgCommitPending)) {
        case Answer::Yes:
            commitChanges();
            break;
        case Answer::No:
            rollBackChanges();
            break;
        case Answer::Cancel:
            return false;
    }
    return !hasPendingChanges();
}

void QueryWindowModel::refreshCommitState() {
    const SessionTransaction& t = *connection_.queryTransaction();
    state_.setCommitMode(commitModeText(connection_.isConnected() ? t : SessionTransaction{},
                                        program_.settings().autoCommit()));
    const bool can = hasPendingChanges() && !run_;
    state_.setMenuEnabled(WindowState::Menu::Commit, can);
    state_.setMenuEnabled(WindowState::Menu::Rollback, can);
}

QString QueryWindowModel::historyFilePath() const {
    if (!program_.recordingFilePath().isEmpty())
        return program_.recordingFilePath();
    return historyPath_.isEmpty() ? HistoryFile::defaultPath() : historyPath_;
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
    if (state == HistoryFileState::Missing || state == HistoryFileState::Incomplete) {
        try {
            file.create();
        } catch (const DbError& e) {
            pending = e;
        }
    } else if (state == HistoryFileState::LaterVersion) {
        port_.showMessage(file.laterVersionMessage(), kAppTitle);
        return;
    } else if (state != HistoryFileState::Ready) {
        // No engine error stands behind a missing table or field; say what is wrong.
        port_.showMessage(QStringLiteral("履歴ファイル ") + file.path() +
                              QStringLiteral(" に履歴の表または列が足りないため使用できません。"),
                          kAppTitle);
        return;
    }
    program_.setRecordingFilePath(file.path());
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

void QueryWindowModel::recordingStage(const RunRecord& record) {
    if (!recording_)
        return;
    HistoryFile::Recorded recorded;
    try {
        recorded = HistoryFile(program_.recordingFilePath()).record(record);
    } catch (const DbError& e) {
        stopRecording();
        port_.showMessage(QStringLiteral("履歴処理エラー:") + e.description() +
                              QStringLiteral("履歴処理を終了しました。"),
                          kAppTitle);
        return;
    }
    state_.setPanelText(3, QString::number(recorded.runCount));
    Q_EMIT program_.historyNotifier().runRecorded(program_.recordingFilePath(), recorded.runNumber);
}

void QueryWindowModel::insertConditionFromCell(int row, int col) {
    const CellCondition cell = conditionFromCell(resultGrid_, result_.columns, row, col);
    if (cell.condition.isEmpty()) {
        if (!cell.reason.isEmpty())
            port_.showStatus(cell.reason);
        return;
    }
    port_.replaceSqlSelection(cell.condition);
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

void QueryWindowModel::clearStatementRing() {
    if (!port_.confirm(QStringLiteral("実行したSQLの履歴（全ウィンドウ共通）をすべて消去します。"
                                      "よろしいですか？"),
                       Answer::No))
        return;
    program_.statementRing().clear();
    port_.showStatus(QStringLiteral("実行したSQLの履歴を消去しました。"));
}

}  // namespace qv
