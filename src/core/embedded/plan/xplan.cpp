#include "core/embedded/plan/xplan.h"

#include "core/embedded/plan/planbuilder.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/hintreport.h"
#include "core/sql/tokenlist.h"
#include "core/sqlite/sqlite.h"

#include <algorithm>
#include <map>

namespace qv::embedded {

namespace {

using sql::Range;
using sql::Token;
using sql::TokenKind;

[[noreturn]] void unreadable(const QString& why) {
    throw invalidStatement(QStringLiteral("DBMS_XPLAN: %1").arg(why));
}

// One line of the plan as the plan table holds it.
struct XplanRow {
    PlanRow row;
    std::optional<int64_t> cardinality, bytes, cost;
    int depth = 0;
};

// Rows, Bytes and Cost as DBMS_XPLAN writes them in five characters: past 99999 in thousands
// (K), millions (M), and so on, rounded.
QString figure(const std::optional<int64_t>& value) {
    if (!value)
        return {};
    double v = double(*value);
    static const char kUnits[] = {'K', 'M', 'G', 'T', 'P', 'E'};
    if (v < 100000)
        return QString::number(*value);
    for (char unit : kUnits) {
        v /= 1000;
        if (v < 99999.5)
            return QString::number(qint64(v + 0.5)) + QLatin1Char(unit);
    }
    return QString::number(*value);
}

struct Column {
    QString heading;
    bool right;  // figures are aligned right
    int width;
};

// The engine's answer to a plan text longer than a value may be.
[[noreturn]] void tooLong(int64_t characters) {
    throw oracleError(4030, QStringLiteral("ORA-04030: out of process memory when trying to "
                                           "allocate %1 bytes (DBMS_XPLAN, plan text)")
                                .arg(characters));
}

[[noreturn]] void cancelled() {
    throw oracleError(1013,
                      QStringLiteral("ORA-01013: user requested cancel of current operation"));
}

// How often long work asks whether it is to stop.
constexpr size_t kStopEvery = 256;

// The table of the plan's lines and the predicates below it, in at most `limit` characters.
QStringList layout(const std::vector<XplanRow>& rows, bool basic, int64_t limit,
                   const StopCheck& stopped) {
    const bool showFigures[3] = {
        !basic && std::any_of(rows.begin(), rows.end(), [](auto& r) { return r.cardinality; }),
        !basic && std::any_of(rows.begin(), rows.end(), [](auto& r) { return r.bytes; }),
        !basic && std::any_of(rows.begin(), rows.end(), [](auto& r) { return r.cost; })};
    std::vector<Column> columns = {{QStringLiteral("Id"), true, 3},
                                   {QStringLiteral("Operation"), false, 9},
                                   {QStringLiteral("Name"), false, 4}};
    static const char* const kFigures[3] = {"Rows", "Bytes", "Cost"};
    for (int k = 0; k < 3; ++k) {
        if (showFigures[k])
            columns.push_back({QLatin1StringView(kFigures[k]), true, 5});
    }
    auto cells = [&](const XplanRow& r) {
        QStringList c = {QString::number(r.row.id),
                         QString(r.depth, u' ') + r.row.operation +
                             (r.row.options.isEmpty() ? QString() : u' ' + r.row.options),
                         r.row.objectName};
        const std::optional<int64_t>* figures[3] = {&r.cardinality, &r.bytes, &r.cost};
        for (int k = 0; k < 3; ++k) {
            if (showFigures[k])
                c << figure(*figures[k]);
        }
        return c;
    };
    for (size_t n = 0; n < rows.size(); ++n) {
        const QStringList c = cells(rows[n]);
        for (size_t k = 1; k < columns.size(); ++k)
            columns[k].width = std::max(columns[k].width, int(c[int(k)].size()));
        if (n % kStopEvery == 0 && stopped && stopped())
            cancelled();
    }
    // Every line of the table is as wide as the widest: a plan nested deep enough would make
    // more text than any value may hold. Told before a line of it is made.
    int64_t lineWidth = 2;
    for (const Column& col : columns)
        lineWidth += col.width + 3;
    if (int64_t(rows.size() + 4) * lineWidth > limit)
        tooLong(int64_t(rows.size() + 4) * lineWidth);
    auto line = [&](const QStringList& c, QChar mark, bool heading) {
        QString out = u'|' + QString(heading ? u' ' : mark);
        for (size_t k = 0; k < columns.size(); ++k) {
            const Column& col = columns[k];
            const QString& text = c[int(k)];
            if (k > 0)
                out += u' ';
            if (heading && k == 0)
                out += text.leftJustified(col.width);
            else
                out += col.right && !heading ? text.rightJustified(col.width)
                                             : text.leftJustified(col.width);
            // The Operation column's longest line meets its bar, as Oracle prints it.
            out += k == 1 ? QStringLiteral("|") : QStringLiteral(" |");
        }
        return out;
    };
    QStringList headings;
    for (const Column& c : columns)
        headings << c.heading;
    const QString header = line(headings, u' ', true);
    const QString rule(header.size(), u'-');
    QStringList out = {rule, header, rule};
    int64_t size = 3 * rule.size();
    for (const XplanRow& r : rows) {
        if (out.size() % kStopEvery == 0 && stopped && stopped())
            cancelled();
        const bool marked =
            !basic && (!r.row.accessPredicates.isEmpty() || !r.row.filterPredicates.isEmpty());
        out << line(cells(r), marked ? u'*' : u' ', false);
    }
    out << rule;
    if (basic)
        return out;
    QStringList predicates;
    for (const XplanRow& r : rows) {
        QString number = QStringLiteral("%1 - ").arg(r.row.id, 4);
        if (!r.row.accessPredicates.isEmpty()) {
            predicates << number + QStringLiteral("access(%1)").arg(r.row.accessPredicates);
            number = QString(number.size(), u' ');
        }
        if (!r.row.filterPredicates.isEmpty())
            predicates << number + QStringLiteral("filter(%1)").arg(r.row.filterPredicates);
        size += r.row.accessPredicates.size() + r.row.filterPredicates.size() + 20;
        if (size > limit)
            tooLong(size);
    }
    if (!predicates.isEmpty()) {
        const QString title = QStringLiteral("Predicate Information (identified by operation id):");
        out << QString() << title << QString(title.size(), u'-') << QString() << predicates;
    }
    return out;
}

// A literal argument: text, a number, or NULL ('' being NULL, as everywhere in Oracle).
std::optional<QString> literal(const std::vector<Token>& t, Range r) {
    if (r.size() == 1 &&
        (t[r.first].kind == TokenKind::String || t[r.first].kind == TokenKind::Number)) {
        const QString value = t[r.first].kind == TokenKind::String ? sql::stringValue(t[r.first])
                                                                   : t[r.first].text.toString();
        return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
    }
    if (r.size() == 1 && t[r.first].is(u"NULL"))
        return std::nullopt;
    unreadable(QStringLiteral("its arguments are understood as literals"));
}

void readArguments(const std::vector<Token>& t, size_t first, size_t last, XplanRequest& r) {
    const std::vector<std::optional<QString>> args = xplanArguments(
        t, first, last, {u"TABLE_NAME", u"STATEMENT_ID", u"FORMAT"}, QStringLiteral("DISPLAY"));
    for (size_t position = 0; position < args.size(); ++position) {
        const std::optional<QString>& value = args[position];
        if (position == 0 && value) {
            const QStringList parts = value->split(u'.');
            r.table = parts.last().toUpper();
            if (parts.size() == 2)
                r.schema = parts.first().toUpper();
        } else if (position == 1) {
            r.statementId = value;
        } else if (position == 2 && value) {
            r.basic =
                value->trimmed().section(u' ', 0, 0).compare(u"BASIC", Qt::CaseInsensitive) == 0;
        }
    }
}

}  // namespace

std::vector<std::optional<QString>> xplanArguments(const std::vector<Token>& t, size_t first,
                                                   size_t last,
                                                   const std::array<const char16_t*, 3>& names,
                                                   const QString& function) {
    std::vector<std::optional<QString>> values(names.size());
    const std::vector<Range> args = sql::splitTopLevel(t, first, last);
    for (size_t k = 0; k < args.size(); ++k) {
        Range a = args[k];
        if (a.empty())
            unreadable(QStringLiteral("an empty argument"));
        size_t position = k;
        if (a.size() >= 3 && t[a.first + 1].isOp(u'=') && t[a.first + 2].isOp(u'>')) {
            position = names.size();
            for (size_t n = 0; n < names.size(); ++n) {
                if (t[a.first].is(names[n]))
                    position = n;
            }
            a.first += 3;
        }
        if (position >= names.size())
            unreadable(QStringLiteral("%1 takes %2, %3 and %4")
                           .arg(function, QString::fromUtf16(names[0]),
                                QString::fromUtf16(names[1]), QString::fromUtf16(names[2])));
        values[position] = literal(t, a);
    }
    return values;
}

std::optional<XplanCall> readXplanCall(const std::vector<Token>& t) {
    size_t end = t.size();
    while (end > 0 && t[end - 1].isOp(u';'))
        --end;
    // SELECT * | PLAN_TABLE_OUTPUT FROM TABLE ( [SYS .] DBMS_XPLAN . name [(...)] ) [alias]
    if (end < 9 || !t[0].is(u"SELECT") || !(t[1].isOp(u'*') || t[1].is(u"PLAN_TABLE_OUTPUT")) ||
        !t[2].is(u"FROM") || !t[3].is(u"TABLE") || !t[4].isOp(u'('))
        return std::nullopt;
    const size_t close = sql::closing(t, 4, end);
    if (close >= end || close + 2 < end)
        return std::nullopt;
    size_t i = 5;
    if (t[i].is(u"SYS") && t[i + 1].isOp(u'.'))
        i += 2;
    if (i + 2 >= close || !t[i].is(u"DBMS_XPLAN") || !t[i + 1].isOp(u'.'))
        return std::nullopt;
    XplanCall call{t[i + 2].text, close, close};
    i += 3;
    if (i < close) {
        if (!t[i].isOp(u'(') || sql::closing(t, i, close) != close - 1)
            unreadable(QStringLiteral("%1's arguments are unreadable")
                           .arg(call.function.toString().toUpper()));
        call.first = i + 1;
        call.last = close - 1;
    }
    return call;
}

std::optional<XplanRequest> readXplanDisplay(const std::vector<Token>& t) {
    const std::optional<XplanCall> call = readXplanCall(t);
    if (!call)
        return std::nullopt;
    if (call->function.compare(u"DISPLAY", Qt::CaseInsensitive) != 0)
        unreadable(
            QStringLiteral("of its functions only DISPLAY and DISPLAY_CURSOR are understood"));
    XplanRequest request;
    if (call->last > call->first)
        readArguments(t, call->first, call->last, request);
    return request;
}

QStringList xplanLines(sqlite3* db, const XplanRequest& request, const StopCheck& stopped) {
    QString table = sql::quotedName(request.table);
    if (!request.schema.isEmpty())
        table.prepend(sql::quotedName(request.schema) + u'.');
    try {
        bool predicates = false;
        bool otherXml = false;
        bool other = false;  // where the engine writes the hint usage when OTHER_XML is missing
        int blockNames = 0;  // QBLOCK_NAME and OBJECT_ALIAS, which place the hints
        {
            sqlite::Statement columns(db, "SELECT lower(name) FROM pragma_table_info(?1)");
            columns.bind(1, request.table);
            while (columns.step()) {
                predicates |= columns.text(0) == u"access_predicates";
                otherXml |= columns.text(0) == u"other_xml";
                other |= columns.text(0) == u"other";
                blockNames +=
                    columns.text(0) == u"qblock_name" || columns.text(0) == u"object_alias";
            }
        }
        const QByteArray which = request.statementId ? " AND statement_id IS ?1" : "";
        const QByteArray whichRows = request.statementId ? " AND statement_id IS ?2" : "";
        sqlite::Statement root(db, "SELECT rowid FROM " + table.toUtf8() + " WHERE id = 0" + which +
                                       " ORDER BY rowid DESC LIMIT 1");
        if (request.statementId)
            root.bind(1, *request.statementId);
        if (!root.step()) {
            if (request.statementId)
                return {QStringLiteral("Error: cannot fetch plan for statement_id '%1'")
                            .arg(*request.statementId)};
            return {
                QStringLiteral("Error: cannot fetch last explain plan from %1").arg(request.table)};
        }
        const int64_t first = root.integer(0);
        sqlite::Statement rows(
            db,
            "SELECT id, parent_id, operation, options, object_name, cardinality, bytes, "
            "cost, " +
                QByteArray(predicates ? "access_predicates, filter_predicates" : "NULL, NULL") +
                QByteArray(otherXml ? ", other_xml"
                           : other  ? ", other"
                                    : ", NULL") +
                QByteArray(blockNames == 2 ? ", qblock_name, object_alias" : ", NULL, NULL") +
                " FROM " + table.toUtf8() +
                " WHERE rowid >= ?1 AND rowid < coalesce((SELECT min(rowid) FROM " +
                table.toUtf8() + " WHERE id = 0 AND rowid > ?1), 9223372036854775807)" + whichRows +
                " ORDER BY id");
        rows.bind(1, first);
        if (request.statementId)
            rows.bind(2, *request.statementId);
        std::vector<XplanRow> lines;
        std::vector<PlanRow> shape;
        QList<sql::HintUse> hints;
        QList<sql::PlanPlace> places;
        std::map<int, int> depths;
        while (rows.step()) {
            if (lines.size() % kStopEvery == 0 && stopped && stopped())
                cancelled();
            XplanRow r;
            r.row.id = int(rows.integer(0));
            r.row.parentId = rows.isNull(1) ? -1 : int(rows.integer(1));
            r.row.operation = rows.text(2);
            r.row.options = rows.text(3);
            r.row.objectName = rows.text(4);
            if (!rows.isNull(5))
                r.cardinality = rows.integer(5);
            if (!rows.isNull(6))
                r.bytes = rows.integer(6);
            if (!rows.isNull(7))
                r.cost = rows.integer(7);
            r.row.accessPredicates = rows.text(8);
            r.row.filterPredicates = rows.text(9);
            if (r.row.id == 0)
                hints = sql::readHintUsage(rows.text(10));
            places.append({r.row.id, rows.text(11), rows.text(12)});
            const auto parent = depths.find(r.row.parentId);
            r.depth = parent == depths.end() ? 0 : parent->second + 1;
            depths[r.row.id] = r.depth;
            shape.push_back(r.row);
            lines.push_back(std::move(r));
        }
        QStringList out = {QStringLiteral("Plan hash value: %1").arg(planHashValue(shape)),
                           QString()};
        out << layout(lines, request.basic, sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1), stopped);
        sql::placeHints(hints, places);
        if (!request.basic && !hints.isEmpty())
            out << QString() << sql::hintReportLines(hints);
        return out;
    } catch (const sqlite::Error& e) {
        if (e.description().contains(u"no such table"))
            throw oracleError(942, QStringLiteral("ORA-00942: table or view does not exist"));
        throw oracleFailure(e);
    }
}

QString linesQuery(sqlite3* db, const QStringList& lines) {
    sqlite::exec(db,
                 "CREATE TEMP TABLE IF NOT EXISTS \"QV$PLAN_OUTPUT\" (line INTEGER PRIMARY KEY, "
                 "text TEXT); DELETE FROM temp.\"QV$PLAN_OUTPUT\"");
    sqlite::Statement insert(db, "INSERT INTO temp.\"QV$PLAN_OUTPUT\" VALUES (?1, ?2)");
    for (qsizetype k = 0; k < lines.size(); ++k) {
        insert.bind(1, int64_t(k));
        // An empty line is a NULL row, as Oracle's.
        if (lines[k].isEmpty())
            insert.bindNull(2);
        else
            insert.bind(2, lines[k]);
        insert.run();
    }
    return QStringLiteral(
        "SELECT text AS PLAN_TABLE_OUTPUT FROM temp.\"QV$PLAN_OUTPUT\" ORDER BY line");
}

}  // namespace qv::embedded
