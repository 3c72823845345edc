#pragma once

#include "core/tuning/gridmodel.h"

#include <QString>

namespace qv {

// The condition a double-click on result cell (row, col) writes into the SQL box:
// header = 'value', with quotes in the value doubled so the condition is valid SQL; a cell
// that shows a null value gives "header IS NULL". Empty for a cell outside the data rows.
QString conditionFromCell(const GridModel& grid, int row, int col);

// The plan as text for the clipboard: one line per plan row, "n<TAB>operation" and, when there
// are estimates, "<TAB>(cardinarity=.. cost=.. byte=..)", each line ended by CR LF. A null
// string when the plan grid is hidden (nothing is copied then).
QString planClipboardText(const GridModel& plan);

}  // namespace qv
