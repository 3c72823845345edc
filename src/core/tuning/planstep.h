#pragma once

#include "core/tuning/runwindow.h"

#include <QString>
#include <QVariant>

namespace qv {

inline const QString kStatementId = QStringLiteral("QUERVIN");

// The statements of the plan step for plan table `table`.
QString planDeleteStatement(const QString& table);
QString explainPlanStatement(const QString& table, const QString& sql);
QString planTableCreateStatement(const QString& table);
QString planQueryStatement(const QString& table);

// The text of one plan step in the Operation column: depth blanks, operation, options,
// (owner.name), type and optimizer.
QString operationText(int64_t depth, const QVariant& operation, const QVariant& options,
                      const QVariant& owner, const QVariant& name, const QVariant& type,
                      const QVariant& optimizer);

// The plan step: explains the SQL box's text into the plan table (offering to
// create a missing one) and shows the plan as a tree in `out`. Throws DbError.
void fillPlanGrid(RunWindow& w, Database& db, GridModel& out);

// The plan stage of a run: the plan step with its progress and failure texts in the plan line.
// Leaves the pending error cleared.
void planStage(RunWindow& w, RunState& r);

}  // namespace qv
