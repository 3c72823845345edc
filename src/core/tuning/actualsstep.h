#pragma once

#include "core/tuning/runwindow.h"

#include <QList>
#include <QString>

#include <optional>

namespace qv {

inline const QString kMsgNoActualsViews = QStringLiteral(
    "実行統計ビュー V$SESSION,V$SQL_PLAN_STATISTICS_ALL が存在しないかSELECT権限がありません。");
inline const QString kMsgActualsFailed = QStringLiteral("実行統計を取得できませんでした: ");
inline const QString kMsgNoActualRows =
    QStringLiteral("実行統計を取得できませんでした: この文の実行計画行が見つかりません。");
inline const QString kMsgPlanDiffers = QStringLiteral(
    "実行された計画は EXPLAIN PLAN の計画と異なります。実行された計画を表示しています。");

// The session statement that has the server count what each plan line does (ALL) or not
// (TYPICAL).
QString statisticsLevelStatement(bool all);
// The statements of the actual-figures step: the run session's last statement, and the plan
// lines of that statement's cursor with their figures, OTHER_XML and what places its hints. The
// cursor is the one V$SESSION names: its parent's address (hex digits of PREV_SQL_ADDR), SQL_ID
// and child number, so that no line of another cursor of the same SQL_ID comes with it.
QString previousStatementQuery(const QString& sid);
QString planStatisticsQuery(const QString& address, const QString& sqlId,
                            const QString& childNumber);
// The predicates of the explained plan, when the plan table has columns for them.
QString planPredicatesQuery(const QString& table);

// Sets the query session's STATISTICS_LEVEL as the settings ask, when a run on that connection
// has not already set it so. A failure is not reported, as of every session statement. The
// record keeps whether the session counts each plan line's figures (rowSourceStatistics).
void statisticsLevelStage(RunWindow& w, RunState& r);

// Adds the predicates that the plan table holds for the explained statement to `lines`, when it
// has columns for them; a table without them adds none, and nothing fails.
void addPlanTablePredicates(Database& db, const QString& table, QList<PlanLine>& lines);

// The last stage of a run: the plan that ran, with what each line did, from the server's cursor
// statistics, read on the statistics session. It shows in the plan grid in place of the
// explained plan; a plan of another shape says so, and then its own OTHER_XML gives its Hint
// Report and, for an adaptive plan, its final lines. A failure is one note, and no figures.
void actualsStage(RunWindow& w, RunState& r);

// Whether two plans have the same shape: operation, options and object at each id.
bool sameShape(const QList<PlanLine>& a, const QList<PlanLine>& b);

// Whether `line` writes the rows it is given into a table and passes none on, so that its A-Rows
// is 0 whatever its estimate: the top line of a data-changing statement (UPDATE STATEMENT, ...),
// its UPDATE, DELETE, MERGE or insert line (LOAD TABLE CONVENTIONAL, MULTI-TABLE INSERT), and
// LOAD AS SELECT (a direct-path insert, or a WITH query's materialization).
bool writesRowsOnly(const PlanLine& line);

// A-Rows against E-Rows x Starts when they part by ten times or more either way (Oracle's
// E-Rows is per start, A-Rows the total): the factor A / (E x S); nothing otherwise, when a
// figure is missing, or for a line that writes rows only (its estimate counts the rows written).
std::optional<double> rowsMisestimate(const PlanLine& line);

// Oracle's "Predicate Information (identified by operation id):" block for `lines`; empty when
// no line has a predicate.
QString predicateInformation(const QList<PlanLine>& lines, const QString& lineEnd);

}  // namespace qv
