#include "core/tuning/gridactions.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace qv {

QString sqlColumnName(const QString& heading) {
    static const QRegularExpression plain(QStringLiteral("^[A-Z][A-Z0-9_$#]*$"));
    if (plain.match(heading).hasMatch())
        return heading;
    QString quoted = heading;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool isExpressionHeading(const QString& heading) {
    // Oracle writes a computed column's heading as its expression without the blanks; a name
    // never holds these characters unquoted, and a quoted name with them is rare.
    static const QRegularExpression expression(QStringLiteral("[()*+/|',-]|^[0-9.]+$"));
    return expression.match(heading).hasMatch();
}

namespace {

// The literal of a date or timestamp cell's text, or nothing when the text has another form
// (a session's NLS_DATE_FORMAT), which then compares as a string converted with that format.
std::optional<QString> dateLiteral(const FieldInfo& field, const QString& text) {
    static const QRegularExpression iso(
        QStringLiteral(R"(^\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2}(\.\d{1,9})?)?$)"));
    const QRegularExpressionMatch m = iso.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    constexpr int64_t kDateWidth = 19;  // yyyy-mm-dd hh:mi:ss
    if (field.size > kDateWidth || m.hasCaptured(2))
        return QStringLiteral("TIMESTAMP '") + text + u'\'';
    return QStringLiteral("TO_DATE('") + text +
           (m.hasCaptured(1) ? QStringLiteral("','YYYY-MM-DD HH24:MI:SS')")
                             : QStringLiteral("','YYYY-MM-DD')"));
}

}  // namespace

CellCondition conditionFromCell(const GridModel& grid, const QList<FieldInfo>& columns, int row,
                                int col) {
    if (row < grid.fixedRows() || row >= grid.rows() || col < grid.fixedCols() ||
        col >= grid.cols())
        return {};
    const QString heading = grid.text(0, col);
    if (isExpressionHeading(heading))
        return {{}, kMsgCellExpression};
    const QString column = sqlColumnName(heading);
    QString value = grid.text(row, col);
    switch (grid.cellKind(row, col)) {
        case CellKind::Null:
            return {column + QStringLiteral(" IS NULL"), {}};
        case CellKind::Binary:
            // The text is "(" hexadecimal digits ")".
            return {column + QStringLiteral(" = HEXTORAW('") + value.mid(1, value.size() - 2) +
                        QStringLiteral("')"),
                    {}};
        case CellKind::Unread:
            return {{}, kMsgCellNotRead};
        case CellKind::Cut:
            return {{}, kMsgCellTooLong};
        case CellKind::Value:
            break;
    }
    const qsizetype field = col - grid.fixedCols();
    // The fields of the run the grid shows (a run under way may not have sent its own yet).
    if (field < columns.size() && columns[field].name == heading &&
        (columns[field].type == FieldType::Date || columns[field].type == FieldType::Timestamp)) {
        if (const std::optional<QString> literal = dateLiteral(columns[field], value))
            return {column + QStringLiteral(" = ") + *literal, {}};
    }
    value.replace(QLatin1Char('\''), QStringLiteral("''"));
    return {column + QStringLiteral(" = '") + value + QLatin1Char('\''), {}};
}

QString planClipboardText(const GridModel& plan) {
    if (!plan.visible())
        return QString();
    QString text = QStringLiteral("");
    for (int n = 1; n <= plan.rows() - 1; ++n) {
        const QString cardinality = plan.text(n, 1);
        const QString cost = plan.text(n, 2);
        const QString bytes = plan.text(n, 3);
        QString line = QString::number(n) + QLatin1Char('\t') + plan.text(n, 0);
        QString estimate;
        if (!cardinality.isEmpty())
            estimate = QStringLiteral("cardinarity=") + cardinality;
        if (!cost.isEmpty()) {
            if (!estimate.isEmpty())
                estimate += QLatin1Char(' ');
            estimate += QStringLiteral("cost=") + cost;
        }
        if (!bytes.isEmpty()) {
            if (!estimate.isEmpty())
                estimate += QLatin1Char(' ');
            estimate += QStringLiteral("byte=") + bytes;
        }
        if (!estimate.isEmpty())
            line += QStringLiteral("\t(") + estimate + QLatin1Char(')');
        text += line + QStringLiteral("\r\n");
    }
    return text;
}

QString delimitedField(const QString& text, QChar separator) {
    if (!text.contains(separator) && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString spreadsheetText(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    static const QString formulaStart = QStringLiteral("=+-@\t\r");
    if (text.isEmpty() || !formulaStart.contains(text.front()) || number.match(text).hasMatch())
        return text;
    return u'\'' + text;
}

QString csvField(const QString& text) {
    return delimitedField(spreadsheetText(text), u',');
}

namespace {

QString cellsText(const GridModel& grid, const QList<int>& rows, const QList<int>& cols,
                  QChar separator, const QString& lineEnd, bool forSpreadsheet) {
    const auto field = [&](int row, int col) {
        if (row > 0 && grid.cellIsNull(row, col))
            return QString();
        const QString text = grid.text(row, col);
        return delimitedField(forSpreadsheet ? spreadsheetText(text) : text, separator);
    };
    QString out;
    QList<int> lines = rows;
    lines.prepend(0);
    for (int row : lines) {
        for (qsizetype i = 0; i < cols.size(); ++i) {
            if (i > 0)
                out += separator;
            out += field(row, cols[i]);
        }
        out += lineEnd;
    }
    return out;
}

}  // namespace

QString gridCellsText(const GridModel& grid, const QList<int>& rows, const QList<int>& cols,
                      QChar separator, const QString& lineEnd) {
    return cellsText(grid, rows, cols, separator, lineEnd, false);
}

QList<int> viewedRows(const GridModel& grid, const RowView& view) {
    QList<int> rows;
    for (int r = grid.fixedRows(); r < grid.rows(); ++r) {
        if (view.nonZeroCol >= 0) {
            bool ok = false;
            const double v = grid.text(r, view.nonZeroCol).toDouble(&ok);
            if (!ok || v == 0)
                continue;
        }
        rows.append(r);
    }
    if (view.sortCol < 0 || view.sortCol >= grid.cols())
        return rows;
    const int col = view.sortCol;
    if (grid.colNumeric(col)) {
        // Numbers by value; a cell that holds none (empty, "(null)") after every number.
        auto key = [&](int r) {
            bool ok = false;
            const double v = grid.text(r, col).toDouble(&ok);
            return ok && std::isfinite(v) ? std::optional(v) : std::nullopt;
        };
        std::vector<std::pair<std::optional<double>, int>> keyed;
        keyed.reserve(size_t(rows.size()));
        for (int r : rows)
            keyed.emplace_back(key(r), r);
        std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& l, const auto& r) {
            if (!l.first || !r.first)
                return l.first.has_value() && !r.first.has_value();
            return view.descending ? *l.first > *r.first : *l.first < *r.first;
        });
        for (qsizetype i = 0; i < rows.size(); ++i)
            rows[i] = keyed[size_t(i)].second;
    } else {
        std::stable_sort(rows.begin(), rows.end(), [&](int l, int r) {
            const int c = QString::localeAwareCompare(grid.text(l, col), grid.text(r, col));
            return view.descending ? c > 0 : c < 0;
        });
    }
    return rows;
}

QString gridCsv(const GridModel& grid) {
    QList<int> rows, cols;
    for (int r = grid.fixedRows(); r < grid.rows(); ++r)
        rows << r;
    for (int c = 0; c < grid.cols(); ++c)
        cols << c;
    return cellsText(grid, rows, cols, u',', QStringLiteral("\r\n"), true);
}

}  // namespace qv
