#pragma once

#include "core/tuning/runwindow.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>

namespace qv {

inline constexpr int kMaxColumnTwips = 5000;
// A cell keeps this many characters of its value; the rest is only counted, so a result of
// huge values cannot take the program's memory.
inline constexpr qsizetype kMaxCellChars = 64 * 1024;
inline const QString kMsgCellCut = QStringLiteral("…（以下%1文字省略）");

// Two upper-case hexadecimal digits per byte, no separators.
QString toHex(const QByteArray& bytes);

// What a result cell shows for a value of a field of `type`: its text, cut after kMaxCellChars
// characters with kMsgCellCut saying how many more there were, and what the text stands for
// (Null, Binary, Cut or Value).
struct ResultCell {
    QString text;
    CellKind kind = CellKind::Value;
};
ResultCell resultCell(const QVariant& value, FieldType type);

// The result step: runs the SQL box's text on `db`; for a statement that changed
// rows records their number, otherwise counts every row of the result and shows up to
// maxDisplayRows of them in `out`. What it found goes into `result`: the count, the columns,
// the time; a failure leaves the count as it was. Reports the rows counted to the run's control and
// stops at its request, with cancelledError() when the driver has not failed first; the rows
// counted until then are in `result`, marked stopped, and those read stay shown in `out`.
// Throws DbError.
void fillResultGrid(RunWindow& w, Database& db, GridModel& out, ResultState& result);

}  // namespace qv
