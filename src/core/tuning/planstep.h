#pragma once

#include "core/tuning/runwindow.h"

#include <QString>
#include <QVariant>

namespace qv {

inline const QString kStatementId = QStringLiteral("QUERVIN");
// The plan query found no row of this statement: %1 is the plan table.
inline const QString kMsgNoPlanRows =
    QStringLiteral("実行計画表 %1 からこの文の実行計画が得られませんでした。");

// The statements of the plan step for plan table `table`.
QString planDeleteStatement(const QString& table);
QString explainPlanStatement(const QString& table, const QString& sql);
QString planTableCreateStatement(const QString& table);
QString planQueryStatement(const QString& table);

// The plan step: explains the SQL box's text into the plan table `table` on `db` (offering to
// create a missing one) and reads the plan back, root first: for an adaptive plan the final
// plan, as DBMS_XPLAN shows it, and in `adaptive` what was found of it. Throws DbError.
QList<PlanLine> explainPlan(RunWindow& w, Database& db, const QString& table,
                            AdaptivePlan* adaptive = nullptr);

// Shows `lines` in the plan grid `out` as an indented tree with its estimates and, when the
// lines have them, what each did (Starts, A-Rows, Buffers, Reads, A-Time). A line's tooltip has
// its predicates; a line whose actual rows part from the estimate by ten times is marked, the
// factor in its tooltip; the first line's tooltip begins with `firstLineNote` (the run's
// notes) and ends with the statement's Hint Report. Lines marked inactive are shown with a '-'
// before them, as DBMS_XPLAN's ADAPTIVE format shows them; `note` is the headings' tooltip.
void fillPlanGrid(const QList<PlanLine>& lines, GridModel& out,
                  const QString& firstLineNote = QString(), const QString& note = QString());

// What a tuner should know before reading `run`'s plan: the per-line figures could not be read
// (why), the plan that ran is not the one explained, the plan is adaptive (what is shown of
// it, `whole` or not).
QStringList runNotes(const RunRecord& run, bool whole);

// The lines the plan grid shows of `run`: its plan, or with `whole` every line of an adaptive
// plan, the inactive ones marked (none when the plan is not adaptive, or its lines could not be
// told apart: its plan then).
const QList<PlanLine>& shownPlanLines(const RunRecord& run, bool whole);
// Shows `run`'s plan in `out` (fillPlanGrid()), whole or not, with its runNotes() in the first
// line's tooltip and the note on an adaptive plan in the headings' tooltip.
void showRunPlan(const RunRecord& run, GridModel& out, bool whole = false);

// The lines of the plan query (planQueryStatement()) as `rs` gives them, to its end; closes it.
// Throws DbError(kErrTypeMismatch) for a depth that is no number.
QList<PlanLine> readPlanLines(Recordset& rs);

// A plan line's tooltip as the plan grid shows it; empty when there is nothing to say.
QString planLineToolTip(const PlanLine& line);

// The plan stage of a run: the plan step with its progress and failure texts in the plan line,
// its outcome and lines kept in the run's record. The step waits for the program's turn
// (RunWindow::planStepLock()); a stop while it waits ends the stage at once. Leaves the pending
// error cleared.
void planStage(RunWindow& w, RunState& r);

}  // namespace qv
