#pragma once

#include "core/history/runcomparison.h"
#include "core/tuning/whatif.h"

#include <QObject>

#include <memory>

namespace qv {

class QueryWindowModel;

// A query window's what-ifs (索引を試す): the WhatIf of its login's run session, the leftovers
// dropped at each login, what is left dropped when the dialog or the window closes or the user
// logs out, and the steps of 作成して実行 (a recorded run before, the index built, a recorded run
// after). A what-if never touches the window's plan rows, ring or history.
class WindowWhatIf : public QObject {
    Q_OBJECT
  public:
    explicit WindowWhatIf(QueryWindowModel& model, QObject* parent = nullptr);

    // The run session's what-ifs; null while the window is not logged in.
    WhatIf* session();
    // Whether a what-if may start: logged in, no run or script under way.
    bool canStart() const;
    // The candidates of the SQL box's statement, and its current plan. Throws DbError.
    QList<IndexCandidate> candidates(QList<PlanLine>* current);
    // Tries `texts` (CREATE INDEX statements) on the SQL box's statement. A text that is no
    // CREATE INDEX fails with kMsgNotCreateIndex.
    WhatIfResult tryIndexes(const QStringList& texts, ClusteringAssumption clustering);
    // Drops what a what-if could not drop; before the window closes or logs out.
    void closeDown();

    // 作成して実行: whether a recorded run of the SQL box's statement comes before the index.
    bool hasRecordedBefore() const;
    // Starts recording and one run of the statement, when the user agreed to it.
    void recordBefore();
    // Builds `createText` on the run session and starts a recorded run; the failure's text, else
    // empty. Refused while changes are pending (DDL would commit them).
    QString createAndRun(const QString& createText);

  Q_SIGNALS:
    // The run recordBefore() started has ended.
    void beforeRunEnded();

  private:
    void loggedIn();
    void dropLeftovers();

    QueryWindowModel& model_;
    std::unique_ptr<WhatIf> whatIf_;
    Database* session_ = nullptr;  // the connection whatIf_ works on
    QString recordedSql_;          // the statement of the last run recorded by this window
    bool awaitingBefore_ = false;
    bool leftoversPending_ = false;  // the login's run had the session first
};

// The plan lines as the comparison pairs them (pairPlans()).
QList<RecordedPlanLine> comparablePlan(const QList<PlanLine>& plan);

// "コスト: 1104 → 300", a missing cost as "-".
QString costChangeText(const QList<PlanLine>& before, const QList<PlanLine>& after);

inline const QString kMsgWhatIfCreate =
    QStringLiteral("次の索引を作成して実行します。よろしいですか？\n\n");
inline const QString kMsgWhatIfRuleGoal = QStringLiteral(
    "オプティマイザ目標 %1 では仮想索引は考慮されません。ALL_ROWS などの目標で試してください。");
inline const QString kMsgWhatIfNeedsBefore = QStringLiteral(
    "索引の効果を比べるには、作成前の実行が履歴に必要です。履歴開始して、先に一度実行しますか？");

}  // namespace qv
