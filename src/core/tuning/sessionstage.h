#pragma once

#include "core/tuning/runwindow.h"

#include <QString>

namespace qv {

// The statement that asks the query session for its own id: the one V$SESSION gives the
// session whose AUDSID is this one's, and what a session may always ask of itself when that
// view is not granted (a user with the PLUSTRACE role alone) or gives other than one row
// (sessions of SYS share AUDSID 0).
inline const QString kSidQuery =
    QStringLiteral("select SID from v$session where audsid = userenv('SESSIONID')");
inline const QString kOwnSidQuery = QStringLiteral("SELECT SYS_CONTEXT('USERENV','SID') FROM DUAL");
// The instance a session is on: V$ views show the sessions of that instance only.
inline const QString kInstanceQuery =
    QStringLiteral("SELECT SYS_CONTEXT('USERENV','INSTANCE') FROM DUAL");
// The query session's own optimizer goal, as V$PARAMETER shows it for the session that reads it.
inline const QString kOwnGoalQuery =
    QStringLiteral("SELECT VALUE FROM V$PARAMETER WHERE NAME = 'optimizer_mode'");
// Oracle's goal when nothing else is set (Database Reference 19c, OPTIMIZER_MODE).
inline const QString kDefaultOptimizerGoal = QStringLiteral("ALL_ROWS");

inline const QString kMsgStatsOnOtherInstance =
    QStringLiteral("統計用セッションが別のインスタンスに接続されたため、統計を取得できません。");

// How often the statistics session connects again to land on the query session's instance.
inline constexpr int kInstanceReconnects = 5;

// The session stage of a run: the session statements of both sessions, the optimizer goal (on
// every run that has one, and the session's own goal back on the first run without one after),
// and, for a run that reads statistics, the query session's id and the statistics session on
// the same instance. Nothing of it is shown unless the statistics cannot be read: the line
// then says why.
void sessionStage(RunWindow& w, RunState& r);

}  // namespace qv
