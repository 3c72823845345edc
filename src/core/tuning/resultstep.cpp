#include "core/tuning/resultstep.h"

#include "core/sql/tokenlist.h"
#include "core/tuning/tuningrun.h"

#include <algorithm>

namespace qv {

QString toHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex().toUpper());
}

ResultCell resultCell(const QVariant& value, FieldType type) {
    if (value.isNull() || !value.isValid())
        return {QStringLiteral("(null)"), CellKind::Null};
    ResultCell cell;
    qsizetype length = 0;  // of the whole text, cut or not
    if (type == FieldType::VarBinary || type == FieldType::Binary ||
        value.metaType().id() == QMetaType::QByteArray) {
        // Two digits a byte: cut the bytes first, so a huge value is never made twice as big.
        const QByteArray bytes = value.toByteArray();
        cell = {QStringLiteral("(") + toHex(bytes.left(kMaxCellChars)) + QStringLiteral(")"),
                CellKind::Binary};
        length = 2 + 2 * bytes.size();
    } else {
        cell.text = value.toString();
        length = cell.text.size();
    }
    if (length <= kMaxCellChars)
        return cell;
    cell.text.truncate(kMaxCellChars);
    return {cell.text + kMsgCellCut.arg(length - kMaxCellChars), CellKind::Cut};
}

namespace {

void layOutResult(RunWindow& w, Recordset& rs, GridModel& g) {
    const int k = rs.fieldCount();
    g.clear();
    g.setRows(2);
    g.setFixedRows(1);
    g.setFixedCols(1);
    g.setCols(k + 1);
    g.setText(0, 0, QStringLiteral("ROWNUM"));
    g.setColWidth(0, 700);
    for (int i = 0; i < k; ++i) {
        const FieldInfo& f = rs.field(i);
        // Beyond 5000 blanks the column is capped anyway; never measure a huge string.
        const int blanks = static_cast<int>(std::clamp<int64_t>(f.size, 0, kMaxColumnTwips));
        const int width = blanks == 0 ? 0 : std::min(w.blankWidthTwips(blanks), kMaxColumnTwips);
        g.setColWidth(i + 1, width);
        g.setColNumeric(i + 1, isNumericField(f.type));
        g.setText(0, i + 1, f.name);
    }
}

}  // namespace

namespace {

// Rows passed unread between two looks at the stop request and two progress reports.
constexpr int64_t kSkipChunk = 1000;

void fill(RunWindow& w, Database& db, GridModel& out, ResultState& st, int64_t& n, bool& laidOut) {
    RunControl& control = w.control();
    if (control.stopRequested())
        throw cancelledError();
    const QString sql = sqlToSend(w.sqlText());
    std::unique_ptr<Recordset> rs =
        sql::placeholders(sql).empty() ? db.openRecordset(sql) : db.openRecordset(sql, w.binds());
    const int k = rs->fieldCount();
    for (int i = 0; i < k; ++i)
        st.columns.append(rs->field(i));
    if (k == 0) {
        // No result set (DML, DDL): the count is the rows changed, and no grid is shown.
        st.rowCount = db.recordsAffected();
        st.rowsOverMax = false;
        rs->close();
        return;
    }

    // The headings are this statement's even when it returns no row.
    layOutResult(w, *rs, out);
    laidOut = true;
    // Long columns are never shown, and never read: a LOB before a column shown would cost the
    // server round trips and bytes that the statistics of this very run would count.
    QList<int> shown;
    for (int i = 0; i < k; ++i) {
        if (!isLongField(rs->field(i).type))
            shown.append(i);
    }
    rs->readOnly(shown);
    out.setRows(1);
    control.startFetching();
    bool over = false;
    while (!rs->eof()) {
        if (control.stopRequested())
            throw cancelledError();
        // Read afresh for every row shown: a limit changed during the run counts at once.
        const int32_t limit = w.settings().maxDisplayRows();
        if (n + 1 > limit) {
            // Rows past the limit are counted, not read: the count stays exact and cheap.
            over = true;
            st.rowLimit = limit;
            while (!rs->eof()) {
                n += rs->skipRows(kSkipChunk);
                control.setRowsFetched(n);
                if (control.stopRequested())
                    throw cancelledError();
            }
            break;
        }
        ++n;
        control.setRowsFetched(n);
        const int row = static_cast<int>(n);
        out.setRows(row + 1);
        out.setText(row, 0, QString::number(n));
        for (int i = 0; i < k; ++i) {
            const FieldType type = rs->field(i).type;
            if (isLongField(type)) {
                out.setCellKind(row, i + 1, CellKind::Unread);
                continue;
            }
            const ResultCell cell = resultCell(rs->value(i), type);
            out.setText(row, i + 1, cell.text);  // a written cell is a plain value
            if (cell.kind != CellKind::Value)
                out.setCellKind(row, i + 1, cell.kind);
        }
        rs->moveNext();
    }
    st.rowCount = n;
    st.rowsOverMax = over;
    rs->close();
    out.setVisible(true);
}

}  // namespace

void fillResultGrid(RunWindow& w, Database& db, GridModel& out, ResultState& st) {
    RunControl& control = w.control();
    st.stopped = false;
    st.error.clear();
    st.columns.clear();
    int64_t n = 0;
    bool laidOut = false;
    control.startExecuting();
    try {
        fill(w, db, out, st, n, laidOut);
    } catch (const DbError& e) {
        control.finishResultStep();
        st.elapsedMs = control.elapsedMs();
        st.error = e.description();
        if (control.stopRequested()) {
            st.stopped = true;
            st.rowCount = n;
            // The rows fetched before the stop are this statement's: they stay to be read.
            if (laidOut)
                out.setVisible(true);
        }
        throw;
    }
    control.finishResultStep();
    st.elapsedMs = control.elapsedMs();
}
}  // namespace qv
