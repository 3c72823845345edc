#include "core/embedded/session/displaycursor.h"

#include "core/embedded/plan/xplan.h"
#include "core/embedded/session/cursors.h"
#include "core/embedded/session/sessions.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"
#include "core/sqlite/sqlite.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace qv::embedded {

namespace {

using sql::Range;
using sql::Token;
using sql::TokenKind;

[[noreturn]] void unreadable(const QString& why) {
    throw invalidStatement(QStringLiteral("DBMS_XPLAN: %1").arg(why));
}

void readFormat(const QString& format, CursorDisplay& r) {
    for (const QString& word : format.toUpper().split(u' ', Qt::SkipEmptyParts)) {
        const bool minus = word.startsWith(u'-');
        const QString name = word.startsWith(u'+') || minus ? word.mid(1) : word;
        if (name == u"BASIC")
            r.basic = true;
        else if (name == u"ALLSTATS" || name == u"IOSTATS" || name.startsWith(u"RUNSTATS"))
            r.runtime = !minus;
        else if (name == u"COST")
            r.cost = !minus;
        else if (name == u"BYTES")
            r.bytes = !minus;
        else if (name == u"PREDICATE")
            r.predicates = !minus;
        else if (name == u"NOTE")
            r.notes = !minus;
    }
}

void readArguments(const std::vector<Token>& t, size_t first, size_t last, CursorDisplay& r) {
    const std::vector<std::optional<QString>> args =
        xplanArguments(t, first, last, {u"SQL_ID", u"CURSOR_CHILD_NO", u"FORMAT"},
                       QStringLiteral("DISPLAY_CURSOR"));
    for (size_t position = 0; position < args.size(); ++position) {
        const std::optional<QString>& value = args[position];
        if (position == 0) {
            r.sqlId = value;
        } else if (position == 1 && value) {
            bool ok = false;
            r.child = value->toLongLong(&ok);
            if (!ok)
                unreadable(QStringLiteral("CURSOR_CHILD_NO is a number"));
        } else if (position == 2 && value) {
            readFormat(*value, r);
        }
    }
}

// The cursor of `sqlId` (the session's last statement when none is given) among those the
// sessions on `db`'s database keep: the session's own first, then the latest.
std::shared_ptr<const ExecutedCursor> findCursor(sqlite3* db, const Session& session,
                                                 const std::optional<QString>& sqlId) {
    const QString wanted = sqlId ? *sqlId : session.previousSqlId();
    for (const auto& cursor : session.cursors()) {
        if (cursor->sqlId == wanted)
            return cursor;
    }
    if (!sqlId)
        return nullptr;
    const QString file = QString::fromUtf8(sqlite3_db_filename(db, "main"));
    std::shared_ptr<const ExecutedCursor> found;
    for (const auto& other : openSessions()) {
        for (const auto& cursor : other->cursors()) {
            const bool here = cursor->connection == db || (!file.isEmpty() && cursor->file == file);
            if (here && cursor->sqlId == wanted && (!found || cursor->sequence > found->sequence))
                found = cursor;
        }
    }
    return found;
}

// A figure in at most five characters, as DBMS_XPLAN writes it: past 99999 in thousands (K),
// millions (M) and so on; bytes in units of 1024. With the blank that stands for a unit.
QString figure(const std::optional<int64_t>& value, bool binary = false) {
    if (!value || *value < 0)
        return {};
    if (*value <= 99999)
        return QString::number(*value) + u' ';
    const double base = binary ? 1024.0 : 1000.0;
    double divisor = 1;
    for (const char unit : QByteArrayView("KMGTPE")) {
        divisor *= base;
        const double rounded = std::round(double(*value) / divisor);
        if (rounded <= 9999)
            return QString::number(int64_t(rounded)) + QLatin1Char(unit);
    }
    return QString::number(*value);
}

struct Column {
    QString heading;
    std::function<QString(const CursorPlanLine&)> cell;
};

// The table between its dashed lines; a figure column without a figure on any line left out.
QStringList table(const std::vector<CursorPlanLine>& lines, const CursorDisplay& r, bool byRule) {
    using L = CursorPlanLine;
    const auto estimate = [byRule](int64_t PlanRow::*m, bool binary) {
        return [=](const L& l) { return byRule ? QString() : figure(l.row.*m, binary); };
    };
    const auto actual = [](std::optional<int64_t> L::*m) {
        return [=](const L& l) { return figure(l.*m); };
    };
    std::vector<Column> figures;
    if (r.basic) {
    } else if (!r.runtime) {
        figures = {{QStringLiteral(" Rows  "), estimate(&PlanRow::cardinality, false)},
                   {QStringLiteral(" Bytes "), estimate(&PlanRow::bytes, true)},
                   {QStringLiteral(" Cost  "), estimate(&PlanRow::cost, false)}};
    } else {
        figures.push_back({QStringLiteral(" Starts "), actual(&L::starts)});
        figures.push_back({QStringLiteral(" E-Rows "), estimate(&PlanRow::cardinality, false)});
        if (r.bytes)
            figures.push_back({QStringLiteral(" E-Bytes"), estimate(&PlanRow::bytes, true)});
        if (r.cost)
            figures.push_back({QStringLiteral(" Cost  "), estimate(&PlanRow::cost, false)});
        figures.push_back({QStringLiteral(" A-Rows "), actual(&L::outputRows)});
        figures.push_back({QStringLiteral(" Buffers "), [](const L& l) -> QString {
                               if (!l.consistentGets)
                                   return {};
                               return figure(*l.consistentGets + l.currentGets.value_or(0));
                           }});
        figures.push_back({QStringLiteral(" Reads  "), actual(&L::diskReads)});
    }
    std::vector<QString> headings = {QStringLiteral(" Id  "), QStringLiteral(" Operation"),
                                     QStringLiteral(" Name ")};
    std::vector<QStringList> cells(3);
    for (const L& l : lines) {
        const bool marked =
            !r.basic && r.predicates &&
            (!l.row.accessPredicates.isEmpty() || !l.row.filterPredicates.isEmpty());
        cells[0] << QString(marked ? u'*' : u' ') + QString::number(l.row.id).rightJustified(3) +
                        u' ';
        cells[1] << u' ' + QString(l.depth, u' ') + l.row.operation +
                        (l.row.options.isEmpty() ? QString() : u' ' + l.row.options);
        cells[2] << u' ' + l.row.objectName + u' ';
    }
    for (const Column& c : figures) {
        QStringList column;
        for (const L& l : lines)
            column << c.cell(l);
        if (std::all_of(column.begin(), column.end(), [](const QString& s) { return s.isEmpty(); }))
            continue;
        headings.push_back(c.heading);
        cells.push_back(column);
    }
    std::vector<qsizetype> widths;
    for (size_t k = 0; k < headings.size(); ++k) {
        qsizetype w = headings[k].size();
        for (const QString& cell : cells[k])
            w = std::max(w, cell.size());
        widths.push_back(w);
    }
    const auto line = [&](int row) {
        QString out = QStringLiteral("|");
        for (size_t k = 0; k < headings.size(); ++k) {
            const QString& text = row < 0 ? headings[k] : cells[k][row];
            const bool right = row >= 0 && k != 1 && k != 2;
            out += (right ? text.rightJustified(widths[k]) : text.leftJustified(widths[k])) + u'|';
        }
        return out;
    };
    const QString heading = line(-1);
    const QString rule(heading.size(), u'-');
    QStringList out = {rule, heading, rule};
    for (int n = 0; n < int(lines.size()); ++n)
        out << line(n);
    out << rule;
    return out;
}

QStringList predicateLines(const std::vector<CursorPlanLine>& lines) {
    QStringList out;
    for (const CursorPlanLine& l : lines) {
        QString number = QStringLiteral("%1 - ").arg(l.row.id, 4);
        if (!l.row.accessPredicates.isEmpty()) {
            out << number + QStringLiteral("access(%1)").arg(l.row.accessPredicates);
            number = QString(number.size(), u' ');
        }
        if (!l.row.filterPredicates.isEmpty())
            out << number + QStringLiteral("filter(%1)").arg(l.row.filterPredicates);
    }
    if (out.isEmpty())
        return out;
    const QString title = QStringLiteral("Predicate Information (identified by operation id):");
    return QStringList{QString(), title, QString(title.size(), u'-'), QString()} + out;
}

}  // namespace

std::optional<CursorDisplay> readCursorDisplay(const std::vector<Token>& t) {
    const std::optional<XplanCall> call = readXplanCall(t);
    if (!call || call->function.compare(u"DISPLAY_CURSOR", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    CursorDisplay request;
    if (call->last > call->first)
        readArguments(t, call->first, call->last, request);
    return request;
}

QStringList cursorDisplayLines(sqlite3* db, const Session& session, const CursorDisplay& r) {
    const auto cursor = findCursor(db, session, r.sqlId);
    const QString sqlId = r.sqlId ? *r.sqlId : session.previousSqlId();
    if (!cursor || r.child.value_or(0) != 0)
        return {QStringLiteral("SQL_ID: %1, child number: %2 cannot be found")
                    .arg(sqlId)
                    .arg(r.child.value_or(0))};
    const QString head = QStringLiteral("SQL_ID  %1, child number 0").arg(cursor->sqlId);
    QStringList out = {head, QString(head.size(), u'-')};
    for (QString l : cursor->statement->text().split(u'\n')) {
        while (!l.isEmpty() && l.back().isSpace())
            l.chop(1);
        if (!l.isEmpty())
            out << l;
    }
    out << QString();
    std::vector<CursorPlanLine> lines;
    try {
        lines = cursorPlan(*cursor, db);
    } catch (const sqlite::Error&) {
    } catch (const DbError&) {
    }
    // A plan that can no longer be drawn (a table it read is gone) is no longer in the cache.
    if (lines.empty())
        return out << QStringLiteral("NOTE: cannot fetch plan for SQL_ID: %1, CHILD_NUMBER: 0")
                          .arg(cursor->sqlId)
                   << QStringLiteral("      Please verify value of SQL_ID and CHILD_NUMBER;")
                   << QStringLiteral(
                          "      It could also be that the plan is no longer in "
                          "cursor cache (check v$sql_plan)");
    std::vector<PlanRow> shape;
    for (const CursorPlanLine& l : lines)
        shape.push_back(l.row);
    out << QStringLiteral("Plan hash value: %1").arg(planHashValue(shape)) << QString()
        << table(lines, r, cursor->rule);
    if (!r.basic && r.predicates)
        out << predicateLines(lines);
    QStringList notes;
    if (cursor->rule)
        notes << QStringLiteral("   - rule based optimizer used (consider using cbo)");
    if (r.runtime && !cursor->measured)
        notes << QStringLiteral(
                     "   - Warning: basic plan statistics not available. These are only "
                     "collected when:")
              << QStringLiteral(
                     "       * hint 'gather_plan_statistics' is used for the "
                     "statement or")
              << QStringLiteral(
                     "       * parameter 'statistics_level' is set to 'ALL', at "
                     "session or system level");
    if (!r.basic && r.notes && !notes.isEmpty())
        out << QString() << QStringLiteral("Note") << QStringLiteral("-----") << notes;
    return out;
}

}  // namespace qv::embedded
