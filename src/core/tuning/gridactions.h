#pragma once

#include "core/db/recordset.h"
#include "core/tuning/gridmodel.h"

#include <QList>
#include <QString>

namespace qv {

inline const QString kMsgCellNotRead =
    QStringLiteral("この列の値は読み込んでいないため、条件を作れません。");
inline const QString kMsgCellTooLong =
    QStringLiteral("値の一部しか表示していないため、条件を作れません。");
inline const QString kMsgCellExpression = QStringLiteral("この列は式のため、条件を作れません。");

// What a double-click on result cell (row, col) writes into the SQL box, or why nothing.
struct CellCondition {
    QString condition;  // valid Oracle SQL; empty when there is none
    QString reason;     // for the status bar when there is none; empty outside the data rows
};
// column = 'value' with quotes in the value doubled, "column IS NULL" for a null value,
// column = HEXTORAW('0AFF') for bytes; a date as TO_DATE('2020-01-01 00:00:00',
// 'YYYY-MM-DD HH24:MI:SS') (a string would be read with the session's NLS_DATE_FORMAT), a
// timestamp as TIMESTAMP '2020-01-01 00:00:00.123456'. `columns` are the result's fields, one
// for each grid column after the fixed ones: Oracle's driver describes DATE and TIMESTAMP
// alike, a DATE 19 characters wide. The column is the heading as it stands when it is a plain
// upper-case name, else double-quoted. A heading that is an expression (COUNT(*), SAL*12: no
// column of that name), a long column's value (never read) and a value shown only in part give
// no condition but a reason.
CellCondition conditionFromCell(const GridModel& grid, const QList<FieldInfo>& columns, int row,
                                int col);

// Whether `heading` is the text of an expression, as Oracle heads a column it computes: a call,
// an operator or a literal, which no column of a table is called.
bool isExpressionHeading(const QString& heading);

// `heading` as a column in SQL: as it stands when Oracle would read it unquoted as itself,
// else double-quoted with inner double quotes doubled.
QString sqlColumnName(const QString& heading);

// The plan as text for the clipboard: one line per plan row, "n<TAB>operation" and, when there
// are estimates, "<TAB>(cardinarity=.. cost=.. byte=..)", each line ended by CR LF. A null
// string when the plan grid is hidden (nothing is copied then).
QString planClipboardText(const GridModel& plan);

// `text` as one field of a line whose fields `separator` divides: as it is, or, when it holds
// the separator, a quote or a line break, quoted with inner quotes doubled (RFC 4180).
QString delimitedField(const QString& text, QChar separator);

// The cells at rows × cols (grid coordinates, in the order given) under their headings (row
// 0), one line each, fields separated by `separator`, every line ended by `lineEnd`. A null
// value is an empty field; a field holding the separator, a quote or a line break is quoted,
// quotes doubled (as spreadsheets read both tab-separated text and CSV).
QString gridCellsText(const GridModel& grid, const QList<int>& rows, const QList<int>& cols,
                      QChar separator, const QString& lineEnd);
// `text` as a spreadsheet takes it as text, never as a formula (CSV injection): a leading
// apostrophe before text that starts with =, +, -, @, a tab or a carriage return, unless the
// text is a plain number such as -5, +3.2 or -1.5E+10, which stays as it is.
QString spreadsheetText(const QString& text);
// `text` as one CSV field: made spreadsheet text, then quoted as delimitedField does.
QString csvField(const QString& text);

// How a view shows a grid's data rows, without changing the grid: sorted by one column
// (numerically when the column holds numbers; ties keep the grid's order), and only the rows
// whose number in `nonZeroCol` is not 0. The grid itself, its copies and its exports keep every
// row in the order the server gave.
struct RowView {
    int sortCol = -1;  // grid column; -1: the grid's order
    bool descending = false;
    int nonZeroCol = -1;  // grid column; -1: every row
    bool operator==(const RowView&) const = default;
};
// The data rows (grid coordinates, after the fixed ones) in the order `view` shows them.
QList<int> viewedRows(const GridModel& grid, const RowView& view);

// The whole grid, headings and every column included, as CSV (RFC 4180), every cell
// spreadsheet text.
QString gridCsv(const GridModel& grid);

}  // namespace qv
