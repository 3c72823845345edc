#include "core/tuning/xplantext.h"

#include "core/tuning/actualsstep.h"
#include "core/tuning/planstep.h"
#include "core/tuning/tuningrun.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace qv {

namespace {

// One column of the table: its heading and cells as they stand between the bars, before
// padding; `trail` adds a blank after the padded text (the Name column's).
struct Column {
    QString heading;
    bool right = false;
    bool trail = false;
    QStringList cells;
};

std::optional<uint64_t> wholeFigure(const QVariant& value) {
    const QVariant n = numberOf(value);
    if (n.isNull())
        return std::nullopt;
    const double v = n.typeId() == QMetaType::LongLong ? double(n.toLongLong()) : n.toDouble();
    if (!(v >= 0))
        return std::nullopt;
    return n.typeId() == QMetaType::LongLong ? uint64_t(n.toLongLong()) : uint64_t(std::llround(v));
}

// A figure's cell: the figure, and the blank that stands for its unit when it has none.
QString figureCell(std::optional<uint64_t> value, FigureScale scale) {
    if (!value)
        return {};
    const QString f = xplanFigure(*value, scale);
    return f.back().isDigit() ? f + u' ' : f;
}

std::optional<uint64_t> actual(const PlanLine& l, std::optional<int64_t> PlanLineActuals::*m) {
    if (!l.actuals || !((*l.actuals).*m) || *((*l.actuals).*m) < 0)
        return std::nullopt;
    return uint64_t(*((*l.actuals).*m));
}

bool hasPredicates(const PlanLine& l) {
    return !l.accessPredicates.isEmpty() || !l.filterPredicates.isEmpty();
}

// The table's columns for `lines`, those without a figure in any line left out.
QList<Column> tableColumns(const QList<PlanLine>& lines) {
    const bool adaptive =
        std::any_of(lines.begin(), lines.end(), [](const PlanLine& l) { return l.inactive; });
    Column id{adaptive ? QStringLiteral("   Id  ") : QStringLiteral(" Id  "), true, false, {}};
    Column operation{QStringLiteral(" Operation"), false, false, {}};
    Column name{QStringLiteral(" Name"), false, true, {}};
    using A = PlanLineActuals;
    struct Figure {
        Column column;
        std::function<QString(const PlanLine&)> cell;
    };
    const auto counted = [](std::optional<int64_t> A::*m) {
        return [m](const PlanLine& l) { return figureCell(actual(l, m), FigureScale::Decimal); };
    };
    QList<Figure> figures = {
        {{QStringLiteral(" Starts "), true, false, {}}, counted(&A::starts)},
        {{QStringLiteral(" E-Rows "), true, false, {}},
         [](const PlanLine& l) {
             return figureCell(wholeFigure(l.cardinality), FigureScale::Decimal);
         }},
        {{QStringLiteral("E-Bytes"), true, false, {}},
         [](const PlanLine& l) { return figureCell(wholeFigure(l.bytes), FigureScale::Binary); }},
        {{QStringLiteral(" Cost  "), true, false, {}},
         [](const PlanLine& l) { return figureCell(wholeFigure(l.cost), FigureScale::Decimal); }},
        {{QStringLiteral(" A-Rows "), true, false, {}}, counted(&A::rows)},
        {{QStringLiteral("   A-Time   "), false, false, {}},
         [](const PlanLine& l) {
             const std::optional<uint64_t> t = actual(l, &A::elapsedMicros);
             return t ? planTimeText(int64_t(*t)) + u' ' : QString();
         }},
        {{QStringLiteral(" Buffers "), true, false, {}}, counted(&A::buffers)},
        {{QStringLiteral(" Reads  "), true, false, {}}, counted(&A::reads)},
    };
    for (const PlanLine& l : lines) {
        const QString mark = hasPredicates(l) ? QStringLiteral("*") : QStringLiteral(" ");
        id.cells << (adaptive ? QString(l.inactive ? u'-' : u' ') + u' ' : QString()) + mark +
                        QString::number(l.id).rightJustified(3) + u' ';
        QString op = QString(qsizetype(std::clamp<int64_t>(l.depth, 0, 1000)), u' ') + l.operation;
        if (l.options)
            op += u' ' + *l.options;
        operation.cells << u' ' + op;
        name.cells << u' ' + l.objectName.value_or(QString());
        for (Figure& f : figures)
            f.column.cells << f.cell(l);
    }
    QList<Column> columns = {id, operation, name};
    for (const Figure& f : figures) {
        if (std::any_of(f.column.cells.begin(), f.column.cells.end(),
                        [](const QString& c) { return !c.isEmpty(); }))
            columns << f.column;
    }
    return columns;
}

// The table between its dashed lines.
QStringList tableLines(const QList<PlanLine>& lines) {
    const QList<Column> columns = tableColumns(lines);
    QList<qsizetype> widths;
    for (const Column& c : columns) {
        qsizetype w = c.heading.size();
        for (const QString& cell : c.cells)
            w = std::max(w, cell.size());
        widths << w;
    }
    const auto line = [&](int row) {
        QString out = QStringLiteral("|");
        for (int k = 0; k < columns.size(); ++k) {
            const Column& c = columns[k];
            const QString& text = row < 0 ? c.heading : c.cells[row];
            out += row >= 0 && c.right ? text.rightJustified(widths[k])
                                       : text.leftJustified(widths[k]);
            out += c.trail ? QStringLiteral(" |") : QStringLiteral("|");
        }
        return out;
    };
    const QString heading = line(-1);
    const QString rule(heading.size(), u'-');
    QStringList out = {rule, heading, rule};
    for (int r = 0; r < lines.size(); ++r)
        out << line(r);
    out << rule;
    return out;
}

// The statement as the cursor holds it: its lines without trailing blanks, empty ones left out.
QStringList statementLines(const QString& sql) {
    QStringList out;
    for (QString l : sqlToSend(sql).split(u'\n')) {
        while (!l.isEmpty() && l.back().isSpace())
            l.chop(1);
        if (!l.isEmpty())
            out << l;
    }
    return out;
}

}  // namespace

QString xplanFigure(uint64_t value, FigureScale scale) {
    if (value <= 99999)
        return QString::number(value);
    const double base = scale == FigureScale::Binary ? 1024.0 : 1000.0;
    double divisor = 1.0;
    for (const char unit : QByteArrayView("KMGTPE")) {
        divisor *= base;
        const double rounded = std::round(double(value) / divisor);
        if (rounded <= 9999)
            return QString::number(uint64_t(rounded)) + QLatin1Char(unit);
    }
    return QString::number(value);
}

QStringList xplanLines(const RunRecord& run, bool whole) {
    const QList<PlanLine>& lines = shownPlanLines(run, whole);
    if (lines.isEmpty())
        return {};
    QStringList out;
    if (!run.sqlId.isEmpty()) {
        QString head = QStringLiteral("SQL_ID  ") + run.sqlId;
        if (run.childNumber)
            head += QStringLiteral(", child number %1").arg(*run.childNumber);
        out << head << QString(head.size(), u'-') << statementLines(run.sql) << QString();
    }
    if (run.planHash)
        out << QStringLiteral("Plan hash value: %1").arg(*run.planHash) << QString();
    out << tableLines(lines);
    if (const QString predicates = predicateInformation(lines, QStringLiteral("\n"));
        !predicates.isEmpty())
        out << QString() << predicates.chopped(1).split(u'\n');
    if (!lines.first().hintReport.isEmpty())
        out << QString() << lines.first().hintReport.split(u'\n');
    return out;
}

QString xplanText(const RunRecord& run, bool whole) {
    const QStringList lines = xplanLines(run, whole);
    return lines.isEmpty() ? QString() : lines.join(u'\n') + u'\n';
}

}  // namespace qv
