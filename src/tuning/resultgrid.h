#pragma once

#include "tuning/runwindow.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>

namespace qv {

inline constexpr int kMaxColumnTwips = 5000;

// Two upper-case hexadecimal digits per byte, no separators.
QString toHex(const QByteArray& bytes);

// The text a result cell shows for a value of a field of `type`.
QString resultCellText(const QVariant& value, int type);

// Fills a grid from the database: `dispmode` 1 is the execution plan into the plan grid, 3 runs
// the statement of the SQL box and shows its result. Throws DbError on failure; the grid is
// then not made visible.
void setGrid(int16_t dispmode, RunWindow& w, Database& dbOracle, GridModel& out);

// The result step (mode 3): runs the SQL box's text on `db`; for a statement that changed
// rows records their number, otherwise counts every row of the result and shows up to
// maxDispRows of them in `out`. Throws DbError.
void setGridResult(RunWindow& w, Database& db, GridModel& out);

}  // namespace qv
