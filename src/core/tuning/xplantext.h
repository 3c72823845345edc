#pragma once

#include "core/tuning/planfigures.h"
#include "core/tuning/runrecord.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace qv {

// A figure as DBMS_XPLAN writes it in a plan's table: as it is up to 99999, else in the first
// unit (K, M, G, T, P, E: powers of 1000, or of 1024 for bytes) that leaves at most four digits,
// rounded ("1352K", "1000K", "11M"). Its cell takes a blank after a figure without a unit.
QString xplanFigure(uint64_t value, FigureScale scale);

// The plan of `run` that the plan grid shows (shownPlanLines(run, whole)) as Oracle's
// DBMS_XPLAN.DISPLAY_CURSOR(format => 'ALLSTATS LAST +COST +BYTES') prints it, one line each:
// - when the figures were read from the cursor, "SQL_ID  <id>, child number <n>", dashes under
//   it and the statement; then "Plan hash value: N" when the hash is known; a blank line after
//   each;
// - the table of Id, Operation (indented a blank per depth), Name, Starts, E-Rows, E-Bytes,
//   Cost, A-Rows, A-Time, Buffers and Reads between dashed lines, a column that no line has a
//   figure for left out; '*' before the id of a line with predicates, '-' before an inactive
//   line of an adaptive plan shown whole (as the ADAPTIVE format marks it);
// - a blank line and the Predicate Information, when a line has predicates, numbered by the
//   ids of the table; a blank line and the Hint Report, when the statement has hints.
// Cost is headed "Cost" and written alone, as DBMS_XPLAN does without CPU costing: the plan
// holds no CPU share of it. No lines for a run without a plan.
QStringList xplanLines(const RunRecord& run, bool whole);

// xplanLines(), each line ended by '\n'; empty for none.
QString xplanText(const RunRecord& run, bool whole);

}  // namespace qv
