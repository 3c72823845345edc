#include "core/tuning/actualsstep.h"

#include "core/tuning/adaptiveplan.h"
#include "core/tuning/hintusage.h"
#include "core/tuning/planstep.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

// What Oracle says when a view is missing or not granted.
bool isMissingView(const DbError& e) {
    return e.number() == kErrOdbcCall && (e.description().contains(QStringLiteral("ORA-00942")) ||
                                          e.description().contains(QStringLiteral("ORA-01031")));
}

// Only plain ids go into the statements: they come from the server, but never pasted unseen.
bool isPlainId(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^[0-9A-Za-z]{1,64}$"));
    return plain.match(text).hasMatch();
}

// A RAW address as hex digits: the bytes Oracle's driver gives for it (SQL_VARBINARY), or the
// digits a driver that converts it to text gives.
QString addressDigits(const QVariant& v) {
    if (v.typeId() == QMetaType::QByteArray)
        return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{1,64}$"));
    const QString text = textOrEmpty(v);
    return hex.match(text).hasMatch() ? text.toUpper() : QString();
}

std::optional<int64_t> wholeOrNone(const QVariant& v) {
    const QVariant n = numberOf(v);
    if (n.isNull())
        return std::nullopt;
    return n.typeId() == QMetaType::LongLong ? n.toLongLong()
                                             : static_cast<int64_t>(std::llround(n.toDouble()));
}

std::optional<QString> textOrNone(const QVariant& v) {
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    return v.toString();
}

std::optional<int64_t> sum(std::optional<int64_t> a, std::optional<int64_t> b) {
    if (!a && !b)
        return std::nullopt;
    return a.value_or(0) + b.value_or(0);
}

// One line of the cursor's plan with its figures.
PlanLine cursorLine(Recordset& rs) {
    PlanLine line;
    line.id = wholeOrNone(rs.value(QStringLiteral("ID"))).value_or(0);
    line.parentId = wholeOrNone(rs.value(QStringLiteral("PARENT_ID")));
    line.depth = wholeOrNone(rs.value(QStringLiteral("DEPTH"))).value_or(0);
    line.operation = textOrEmpty(rs.value(QStringLiteral("OPERATION")));
    line.options = textOrNone(rs.value(QStringLiteral("OPTIONS")));
    line.objectOwner = textOrEmpty(rs.value(QStringLiteral("OBJECT_OWNER")));
    line.objectName = textOrNone(rs.value(QStringLiteral("OBJECT_NAME")));
    line.cardinality = numberOf(rs.value(QStringLiteral("CARDINALITY")));
    line.cost = numberOf(rs.value(QStringLiteral("COST")));
    line.bytes = numberOf(rs.value(QStringLiteral("BYTES")));
    line.accessPredicates = textOrEmpty(rs.value(QStringLiteral("ACCESS_PREDICATES")));
    line.filterPredicates = textOrEmpty(rs.value(QStringLiteral("FILTER_PREDICATES")));
    line.queryBlock = textOrEmpty(rs.value(QStringLiteral("QBLOCK_NAME")));
    line.objectAlias = textOrEmpty(rs.value(QStringLiteral("OBJECT_ALIAS")));
    PlanLineActuals a;
    a.starts = wholeOrNone(rs.value(QStringLiteral("LAST_STARTS")));
    a.rows = wholeOrNone(rs.value(QStringLiteral("LAST_OUTPUT_ROWS")));
    a.buffers = sum(wholeOrNone(rs.value(QStringLiteral("LAST_CR_BUFFER_GETS"))),
                    wholeOrNone(rs.value(QStringLiteral("LAST_CU_BUFFER_GETS"))));
    a.reads = wholeOrNone(rs.value(QStringLiteral("LAST_DISK_READS")));
    a.elapsedMicros = wholeOrNone(rs.value(QStringLiteral("LAST_ELAPSED_TIME")));
    line.actuals = a;
    return line;
}

struct CursorPlan {
    QList<PlanLine> lines;  // as DBMS_XPLAN shows them, the Hint Report on the first
    AdaptivePlan adaptive;
    std::optional<int64_t> hash;
    QString sqlId;
    std::optional<int64_t> childNumber;
};

// The plan of the run session's last statement, from its cursor. Throws DbError; `missing`
// says why there is none when the server answers but has no such cursor.
CursorPlan readCursorPlan(Database& db, const QString& sid, QString& missing) {
    QString sqlId;
    QString child;
    QString address;
    {
        std::unique_ptr<Recordset> rs = db.openRecordset(previousStatementQuery(sid));
        if (!rs->eof()) {
            sqlId = textOrEmpty(rs->value(QStringLiteral("PREV_SQL_ID")));
            child = textOrEmpty(numberOf(rs->value(QStringLiteral("PREV_CHILD_NUMBER"))));
            address = addressDigits(rs->value(QStringLiteral("PREV_SQL_ADDR")));
        }
        rs->close();
    }
    CursorPlan plan;
    if (!isPlainId(sqlId) || !isPlainId(child) || address.isEmpty()) {
        missing = kMsgNoActualRows;
        return plan;
    }
    plan.sqlId = sqlId;
    plan.childNumber = child.toLongLong();
    QStringList xml;
    std::unique_ptr<Recordset> rs = db.openRecordset(planStatisticsQuery(address, sqlId, child));
    while (!rs->eof()) {
        plan.lines.append(cursorLine(*rs));
        if (!plan.hash)
            plan.hash = wholeOrNone(rs->value(QStringLiteral("PLAN_HASH_VALUE")));
        if (const QString text = textOrEmpty(rs->value(QStringLiteral("OTHER_XML")));
            !text.isEmpty())
            xml << text;
        rs->moveNext();
    }
    rs->close();
    if (plan.lines.isEmpty())
        missing = kMsgNoActualRows;
    plan.adaptive = resolveAdaptivePlan(plan.lines, xml);
    setHintReport(plan.lines, xml);
    setHintReport(plan.adaptive.wholePlan, xml);
    return plan;
}

// The explained lines with the figures and predicates of the same lines of the cursor.
void addCursorFigures(QList<PlanLine>& explained, const QList<PlanLine>& cursor) {
    for (int i = 0; i < explained.size(); ++i) {
        const PlanLine& ran = cursor[i];
        PlanLine& line = explained[i];
        line.actuals = ran.actuals;
        if (!ran.accessPredicates.isEmpty() || !ran.filterPredicates.isEmpty()) {
            line.accessPredicates = ran.accessPredicates;
            line.filterPredicates = ran.filterPredicates;
        }
        if (!line.parentId)
            line.parentId = ran.parentId;
    }
}

}  // namespace

QString statisticsLevelStatement(bool all) {
    return all ? QStringLiteral("ALTER SESSION SET STATISTICS_LEVEL = ALL")
               : QStringLiteral("ALTER SESSION SET STATISTICS_LEVEL = TYPICAL");
}

QString previousStatementQuery(const QString& sid) {
    return QStringLiteral(
               "SELECT PREV_SQL_ID, PREV_CHILD_NUMBER, PREV_SQL_ADDR FROM V$SESSION WHERE SID = ") +
           sid;
}

QString planStatisticsQuery(const QString& address, const QString& sqlId,
                            const QString& childNumber) {
    return QStringLiteral(
               "SELECT ID, PARENT_ID, DEPTH, OPERATION, OPTIONS, OBJECT_OWNER, OBJECT_NAME, "
               "CARDINALITY, COST, BYTES, ACCESS_PREDICATES, FILTER_PREDICATES, LAST_STARTS, "
               "LAST_OUTPUT_ROWS, LAST_CR_BUFFER_GETS, LAST_CU_BUFFER_GETS, LAST_DISK_READS, "
               "LAST_ELAPSED_TIME, PLAN_HASH_VALUE, QBLOCK_NAME, OBJECT_ALIAS, OTHER_XML FROM "
               "V$SQL_PLAN_STATISTICS_ALL WHERE ADDRESS = HEXTORAW('") +
           address + QStringLiteral("') AND SQL_ID = '") + sqlId +
           QStringLiteral("' AND CHILD_NUMBER = ") + childNumber + QStringLiteral(" ORDER BY ID");
}

QString planPredicatesQuery(const QString& table) {
    return QStringLiteral("SELECT ID, ACCESS_PREDICATES, FILTER_PREDICATES FROM ") + table +
           QStringLiteral(" WHERE STATEMENT_ID = 'QUERVIN' ORDER BY ID");
}

void statisticsLevelStage(RunWindow& w, RunState& r) {
    const QString statement = statisticsLevelStatement(w.settings().collectActuals());
    if (w.sessionStatisticsLevel() == statement) {
        r.record.rowSourceStatistics = w.settings().collectActuals();
        return;
    }
    if (r.step([&] { w.queryDatabase().execute(statement); }))
        w.sessionStatisticsLevel() = statement;
    r.record.rowSourceStatistics = w.sessionStatisticsLevel() == statisticsLevelStatement(true);
}

void addPlanTablePredicates(Database& db, const QString& table, QList<PlanLine>& lines) {
    try {
        std::unique_ptr<Recordset> rs = db.openRecordset(planPredicatesQuery(table));
        while (!rs->eof()) {
            const std::optional<int64_t> id = wholeOrNone(rs->value(QStringLiteral("ID")));
            for (PlanLine& line : lines) {
                if (id && line.id == *id) {
                    line.accessPredicates =
                        textOrEmpty(rs->value(QStringLiteral("ACCESS_PREDICATES")));
                    line.filterPredicates =
                        textOrEmpty(rs->value(QStringLiteral("FILTER_PREDICATES")));
                }
            }
            rs->moveNext();
        }
        rs->close();
    } catch (const DbError&) {
        // The program's own plan table has no such columns: no predicates, and no word of it.
    }
    db.takeWarnings();
}

bool sameShape(const QList<PlanLine>& a, const QList<PlanLine>& b) {
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].id != b[i].id || a[i].operation != b[i].operation ||
            a[i].options.value_or(QString()) != b[i].options.value_or(QString()) ||
            a[i].objectName.value_or(QString()) != b[i].objectName.value_or(QString()))
            return false;
    }
    return true;
}

void actualsStage(RunWindow& w, RunState& r) {
    RunRecord& record = r.record;
    if (!w.settings().runQuery() || !w.settings().collectActuals() || !isPlainId(r.sid) ||
        record.resultStep.outcome == StepOutcome::Failed)
        return;
    QString missing;
    CursorPlan cursor;
    if (!r.step([&] { cursor = readCursorPlan(w.statsDatabase(), r.sid, missing); })) {
        const DbError& e = *r.pending;
        missing = isMissingView(e) ? kMsgNoActualsViews : kMsgActualsFailed + e.description();
        r.pending.reset();
    }
    w.statsDatabase().takeWarnings();
    if (!missing.isEmpty()) {
        record.actualsStep = {StepOutcome::Failed, missing};
        w.showNote(missing);
        // Shown anew, the note in its first line's tooltip.
        if (w.settings().showPlan() && record.planStep.done()) {
            w.planGrid().setVisible(false);
            showRunPlan(record, w.planGrid());
        }
        return;
    }
    record.actualsStep = {StepOutcome::Done, QString()};
    record.planHash = cursor.hash;
    record.sqlId = cursor.sqlId;
    record.childNumber = cursor.childNumber;
    if (record.planStep.done() && sameShape(record.plan, cursor.lines)) {
        addCursorFigures(record.plan, cursor.lines);
        if (sameShape(record.adaptive.wholePlan, cursor.adaptive.wholePlan))
            addCursorFigures(record.adaptive.wholePlan, cursor.adaptive.wholePlan);
        else if (cursor.adaptive.adaptive)
            record.adaptive = cursor.adaptive;
    } else {
        // Binds, or a plan that changed since: what ran is what the figures belong to.
        record.planDiffers = record.planStep.done();
        // A server that keeps no hint usage with the cursor (the embedded engine) leaves the
        // explained plan's report, whose hints are the statement's whichever plan ran.
        const QString explainedReport =
            record.plan.isEmpty() ? QString() : record.plan.first().hintReport;
        record.plan = cursor.lines;
        record.adaptive = cursor.adaptive;
        if (!record.plan.isEmpty() && record.plan.first().hintReport.isEmpty())
            record.plan.first().hintReport = explainedReport;
        if (record.planDiffers) {
            record.actualsStep.error = kMsgPlanDiffers;
            w.showNote(kMsgPlanDiffers);
        }
    }
    if (w.settings().showPlan()) {
        // Shown anew, so the window takes the grid with its figures.
        w.planGrid().setVisible(false);
        showRunPlan(record, w.planGrid());
    }
}

bool writesRowsOnly(const PlanLine& line) {
    static const QStringList kWriters = {QStringLiteral("UPDATE STATEMENT"),
                                         QStringLiteral("DELETE STATEMENT"),
                                         QStringLiteral("INSERT STATEMENT"),
                                         QStringLiteral("MERGE STATEMENT"),
                                         QStringLiteral("UPDATE"),
                                         QStringLiteral("DELETE"),
                                         QStringLiteral("INSERT"),
                                         QStringLiteral("MERGE"),
                                         QStringLiteral("MULTI-TABLE INSERT"),
                                         QStringLiteral("LOAD TABLE CONVENTIONAL"),
                                         QStringLiteral("LOAD AS SELECT")};
    return kWriters.contains(line.operation);
}

std::optional<double> rowsMisestimate(const PlanLine& line) {
    if (writesRowsOnly(line) || !line.actuals || !line.actuals->rows || !line.actuals->starts ||
        line.cardinality.isNull())
        return std::nullopt;
    const double estimated =
        std::max(1.0, line.cardinality.toDouble() * double(*line.actuals->starts));
    const double actual = std::max(1.0, double(*line.actuals->rows));
    const double factor = actual / estimated;
    if (factor >= 10 || factor <= 0.1)
        return factor;
    return std::nullopt;
}

QString predicateInformation(const QList<PlanLine>& lines, const QString& lineEnd) {
    QString block;
    for (const PlanLine& line : lines) {
        bool first = true;
        for (const auto& [kind, text] :
             {std::pair(QStringLiteral("access"), line.accessPredicates),
              std::pair(QStringLiteral("filter"), line.filterPredicates)}) {
            if (text.isEmpty())
                continue;
            const QString head = first ? QStringLiteral("%1 - ").arg(line.id, 4) : QString(7, u' ');
            block += head + kind + u'(' + text + u')' + lineEnd;
            first = false;
        }
    }
    if (block.isEmpty())
        return block;
    const QString title = QStringLiteral("Predicate Information (identified by operation id):");
    return title + lineEnd + QString(title.size(), u'-') + lineEnd + lineEnd + block;
}

}  // namespace qv
