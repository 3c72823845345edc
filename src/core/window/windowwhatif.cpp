// A query window's what-ifs (windowwhatif.h).
#include "core/window/windowwhatif.h"

#include "core/window/querywindowmodel.h"

namespace qv {

WindowWhatIf::WindowWhatIf(QueryWindowModel& model, QObject* parent)
    : QObject(parent), model_(model) {
    connect(&model_.connection(), &ConnectionService::attemptEnded, this, [this] {
        if (model_.connection().isConnected())
            loggedIn();
    });
    connect(&model_.state(), &WindowState::runningChanged, this, [this](bool running) {
        if (running)
            return;
        if (std::exchange(leftoversPending_, false))
            dropLeftovers();
        if (model_.isRecording())
            recordedSql_ = model_.lastExecutedSql();
        if (std::exchange(awaitingBefore_, false))
            Q_EMIT beforeRunEnded();
    });
}

void WindowWhatIf::loggedIn() {
    whatIf_.reset();
    session_ = nullptr;
    recordedSql_.clear();
    // A run the login was for may already use the session: the leftovers wait for its end.
    if (model_.isRunning())
        leftoversPending_ = true;
    else
        dropLeftovers();
}

void WindowWhatIf::dropLeftovers() {
    // A killed program's virtual indexes, of sessions that are gone.
    if (model_.connection().isConnected())
        WhatIf::dropLeftovers(model_.connection().queryDatabase());
}

WhatIf* WindowWhatIf::session() {
    if (!model_.connection().isConnected())
        return nullptr;
    Database* db = &model_.connection().queryDatabase();
    if (!whatIf_ || session_ != db) {
        whatIf_ = std::make_unique<WhatIf>(*db, model_.connection().login().user,
                                           model_.program().settings().planTable());
        session_ = db;
    }
    return whatIf_.get();
}

bool WindowWhatIf::canStart() const {
    return model_.connection().isConnected() && !model_.isRunning() && !model_.isScriptRunning();
}

QList<IndexCandidate> WindowWhatIf::candidates(QList<PlanLine>* current) {
    WhatIf* w = session();
    if (!w || !canStart())
        throw DbError(kErrOdbcCall, QStringLiteral("ログインしていないか、実行中です。"));
    return w->candidates(model_.port().sqlText(), current);
}

WhatIfResult WindowWhatIf::tryIndexes(const QStringList& texts, ClusteringAssumption clustering) {
    WhatIfResult result;
    QList<IndexDefinition> indexes;
    for (const QString& text : texts) {
        const std::optional<IndexDefinition> index = readCreateIndex(text);
        if (!index) {
            result.message = kMsgNotCreateIndex + text;
            return result;
        }
        indexes.append(*index);
    }
    WhatIf* w = session();
    if (!w || !canStart() || indexes.isEmpty()) {
        result.outcome = WhatIfOutcome::Refused;
        return result;
    }
    result = w->run(model_.port().sqlText(), indexes, clustering,
                    *model_.connection().queryTransaction(),
                    [this](const QString& q) { return model_.port().ask(q); });
    // The session's goal, as the window's runs set it: RULE and CHOOSE never weigh a virtual
    // index, so the plans then look alike whatever the index would do.
    const QString goal = model_.connection().sessionMemory()->optimizerGoal.toUpper();
    if (result.done() && (goal == u"RULE" || goal == u"CHOOSE"))
        result.message = kMsgWhatIfRuleGoal.arg(goal);
    return result;
}

void WindowWhatIf::closeDown() {
    if (whatIf_ && model_.connection().isConnected() && !model_.isRunning())
        whatIf_->dropAll();
}

bool WindowWhatIf::hasRecordedBefore() const {
    return model_.isRecording() && !recordedSql_.isEmpty() &&
           recordedSql_ == model_.port().sqlText();
}

void WindowWhatIf::recordBefore() {
    if (!model_.isRecording())
        model_.startRecording();
    if (!model_.isRecording())
        return;
    awaitingBefore_ = true;
    model_.execute();
    if (!model_.isRunning())
        awaitingBefore_ = false;
}

QString WindowWhatIf::createAndRun(const QString& createText) {
    if (!canStart())
        return QStringLiteral("ログインしていないか、実行中です。");
    if (model_.hasPendingChanges())
        return kMsgWhatIfPending;
    try {
        model_.connection().queryDatabase().execute(createText);
    } catch (const DbError& e) {
        return e.description();
    }
    model_.execute();
    return QString();
}

QList<RecordedPlanLine> comparablePlan(const QList<PlanLine>& plan) {
    QList<RecordedPlanLine> out;
    for (const PlanLine& line : plan) {
        const QStringList cells = planLineCells(line);
        RecordedPlanLine r;
        r.operation = cells.value(0);
        r.cardinality = cells.value(1);
        r.cost = cells.value(2);
        r.bytes = cells.value(3);
        r.lineId = line.id;
        r.parentId = line.parentId;
        r.accessPredicates = line.accessPredicates;
        r.filterPredicates = line.filterPredicates;
        out.append(r);
    }
    return out;
}

QString costChangeText(const QList<PlanLine>& before, const QList<PlanLine>& after) {
    auto text = [](const QVariant& v) { return v.isNull() ? QStringLiteral("-") : v.toString(); };
    return QStringLiteral("コスト: ") + text(planCost(before)) + QStringLiteral(" → ") +
           text(planCost(after));
}

}  // namespace qv
