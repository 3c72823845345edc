#include "core/tuning/planstep.h"

#include "core/tuning/actualsstep.h"
#include "core/tuning/adaptiveplan.h"
#include "core/tuning/hintusage.h"
#include "core/tuning/tuningrun.h"

#include <QLocale>

#include <algorithm>

#include <QElapsedTimer>

namespace qv {

QString planDeleteStatement(const QString& table) {
    return QStringLiteral("delete from ") + table +
           QStringLiteral(" where statement_id = 'QUERVIN'");
}

QString explainPlanStatement(const QString& table, const QString& sql) {
    return QStringLiteral("EXPLAIN PLAN SET STATEMENT_ID = 'QUERVIN' ") +
           QStringLiteral(" INTO  ") + table + QStringLiteral(" FOR ") + sql;
}

QString planTableCreateStatement(const QString& table) {
    static const char* const pieces[] = {
        "statement_id    varchar2(30),", "timestamp       date,", "remarks         varchar2(80),",
        "operation       varchar2(30),", "options         varchar2(30),",
        "object_node     varchar2(128),", "object_owner    varchar2(128),",
        "object_name     varchar2(128),", "object_instance numeric,",
        "object_type     varchar2(30),", "optimizer       varchar2(255),",
        "search_columns  number,", "id      numeric,", "parent_id   numeric,",
        "position    numeric,", "cost        numeric,", "cardinality numeric,",
        "bytes       numeric,", "other_tag       varchar2(255),", "partition_start varchar2(255),",
        "partition_stop  varchar2(255),", "partition_id    numeric,", "other       long,",
        // What Oracle 19c's EXPLAIN PLAN fills besides: the
        // predicates, the query blocks and objects the Hint
        // Report is placed by, OTHER_XML.
        "plan_id     number,", "object_alias varchar2(261),", "depth       numeric,",
        "other_xml   clob,", "distribution varchar2(30),", "cpu_cost    numeric,",
        "io_cost     numeric,", "temp_space  numeric,", "access_predicates varchar2(4000),",
        "filter_predicates varchar2(4000),", "projection  varchar2(4000),", "time        numeric,",
        "qblock_name varchar2(128))"};
    QString s = QStringLiteral("create table ") + table + QStringLiteral(" (");
    for (const char* p : pieces)
        s += QString::fromLatin1(p);
    return s;
}

QString planQueryStatement(const QString& table) {
    return QStringLiteral(
               "SELECT id,timestamp,LEVEL - 1, OPERATION, OPTIONS, OBJECT_OWNER, "
               "OBJECT_NAME, OBJECT_TYPE, ") +
           QStringLiteral("CARDINALITY,COST, BYTES, OPTIMIZER ") + QStringLiteral("FROM ") + table +
           QStringLiteral(" START WITH ID = 0 and STATEMENT_ID = 'QUERVIN' ") +
           QStringLiteral("CONNECT BY PRIOR ID = PARENT_ID AND ") +
           QStringLiteral("STATEMENT_ID = 'QUERVIN' ORDER BY timestamp,ID, PARENT_ID, POSITION");
}

namespace {

std::optional<QString> textOrNone(const QVariant& v) {
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    return v.toString();
}

PlanLine lineAt(Recordset& rs, int position) {
    const QVariant depth = rs.value(QStringLiteral("LEVEL-1"));
    bool ok = false;
    const double d = depth.toDouble(&ok);
    if (!ok)
        throw DbError(kErrTypeMismatch, QStringLiteral("Type mismatch"));
    PlanLine line;
    const QVariant id = numberOf(rs.value(QStringLiteral("ID")));
    line.id = id.isNull() ? position : id.toLongLong();
    line.depth = static_cast<int64_t>(d);
    line.operation = textOrEmpty(rs.value(QStringLiteral("OPERATION")));
    line.options = textOrNone(rs.value(QStringLiteral("OPTIONS")));
    line.objectOwner = textOrEmpty(rs.value(QStringLiteral("OBJECT_OWNER")));
    line.objectName = textOrNone(rs.value(QStringLiteral("OBJECT_NAME")));
    line.objectType = textOrNone(rs.value(QStringLiteral("OBJECT_TYPE")));
    line.optimizer = textOrNone(rs.value(QStringLiteral("OPTIMIZER")));
    line.cardinality = numberOf(rs.value(QStringLiteral("CARDINALITY")));
    line.cost = numberOf(rs.value(QStringLiteral("COST")));
    line.bytes = numberOf(rs.value(QStringLiteral("BYTES")));
    return line;
}

}  // namespace

QList<PlanLine> readPlanLines(Recordset& rs) {
    QList<PlanLine> lines;
    while (!rs.eof()) {
        lines.append(lineAt(rs, static_cast<int>(lines.size())));
        rs.moveNext();
    }
    rs.close();
    return lines;
}

QList<PlanLine> explainPlan(RunWindow& w, Database& db, const QString& table,
                            AdaptivePlan* adaptive) {
    // The name is pasted into SQL: anything but a table name is refused before it is sent.
    if (!isValidPlanTableName(table))
        throw DbError(kErrOdbcCall, QStringLiteral("ORA-00903: invalid table name"));
    try {
        db.openRecordset(planDeleteStatement(table))->close();
    } catch (const DbError&) {
        // The old rows may not exist, or the table itself; the explain below tells.
    }

    const QString explain = explainPlanStatement(table, sqlToSend(w.sqlText()));
    std::unique_ptr<Recordset> rs;
    try {
        rs = db.openRecordset(explain);
    } catch (const DbError& e) {
        if (e.number() != kErrOdbcCall || !e.description().contains(QStringLiteral("ORA-02404")))
            throw;
        w.planGrid().clear();
        const Answer a = w.ask(QStringLiteral("実行計画表 ") + table +
                               QStringLiteral(" が存在しません。作成しますか？"));
        if (a != Answer::Yes)
            throw;
        try {
            db.execute(planTableCreateStatement(table));
        } catch (const DbError&) {
            // The repeated explain reports what went wrong.
        }
        rs = db.openRecordset(explain);
    }
    rs->close();

    rs = db.openRecordset(planQueryStatement(table));
    QList<PlanLine> lines = readPlanLines(*rs);
    addPlanTablePredicates(db, table, lines);
    const QStringList xml = readPlanTableXml(db, table, lines);
    AdaptivePlan found = resolveAdaptivePlan(lines, xml);
    setHintReport(lines, xml);
    setHintReport(found.wholePlan, xml);
    if (adaptive)
        *adaptive = std::move(found);
    return lines;
}

QString planLineToolTip(const PlanLine& line) {
    QStringList parts;
    if (!line.accessPredicates.isEmpty())
        parts << QStringLiteral("access: ") + line.accessPredicates;
    if (!line.filterPredicates.isEmpty())
        parts << QStringLiteral("filter: ") + line.filterPredicates;
    if (const std::optional<double> factor = rowsMisestimate(line)) {
        const QLocale english(QLocale::English);
        parts << QStringLiteral("E-Rows × Starts = %1, A-Rows = %2（見積りの%3倍）")
                     .arg(english.toString(qlonglong(line.cardinality.toDouble() *
                                                     double(*line.actuals->starts))),
                          english.toString(qlonglong(*line.actuals->rows)),
                          english.toString(*factor, 'g', 3));
    }
    return parts.join(u'\n');
}

void fillPlanGrid(const QList<PlanLine>& lines, GridModel& out, const QString& firstLineNote,
                  const QString& note) {
    const bool actuals =
        std::any_of(lines.begin(), lines.end(), [](const PlanLine& l) { return l.actuals; });
    const QStringList headings = actuals ? kPlanHeadings + kActualHeadings : kPlanHeadings;
    static const int widths[] = {5000, 1200, 600, 600, 700, 1000, 1000, 700, 1100};
    out.clear();
    out.setRows(static_cast<int>(lines.size()) + 1);
    out.setFixedRows(1);
    out.setFixedCols(0);
    out.setCols(static_cast<int>(headings.size()));
    for (int c = 0; c < headings.size(); ++c) {
        out.setColWidth(c, widths[c]);
        // Every column after the operation is a figure or a time.
        out.setColNumeric(c, c > 0);
        out.setText(0, c, headings[c]);
    }
    out.setRowNote(0, note, false);
    // DBMS_XPLAN's ADAPTIVE format: '-' before an inactive line, the others moved as far.
    const bool marks =
        std::any_of(lines.begin(), lines.end(), [](const PlanLine& l) { return l.inactive; });
    for (int r = 0; r < lines.size(); ++r) {
        const PlanLine& line = lines[r];
        QStringList cells = planLineCells(line);
        if (marks)
            cells[0].prepend(line.inactive ? QStringLiteral("- ") : QStringLiteral("  "));
        if (actuals)
            cells += planActualCells(line);
        for (int c = 0; c < cells.size(); ++c)
            out.setText(r + 1, c, cells[c]);
        QString tip = planLineToolTip(line);
        if (r == 0 && !firstLineNote.isEmpty())
            tip = tip.isEmpty() ? firstLineNote : firstLineNote + u'\n' + tip;
        if (r == 0 && !line.hintReport.isEmpty())
            tip = tip.isEmpty() ? line.hintReport : tip + u'\n' + line.hintReport;
        out.setRowNote(r + 1, tip, rowsMisestimate(line).has_value());
    }
    out.setVisible(true);
}

const QList<PlanLine>& shownPlanLines(const RunRecord& run, bool whole) {
    return whole && !run.adaptive.wholePlan.isEmpty() ? run.adaptive.wholePlan : run.plan;
}

QStringList runNotes(const RunRecord& run, bool whole) {
    QStringList notes;
    if (run.actualsStep.outcome == StepOutcome::Failed && !run.actualsStep.error.isEmpty())
        notes << run.actualsStep.error;
    else if (run.planDiffers)
        notes << kMsgPlanDiffers;
    if (const QString adaptive = adaptivePlanNote(run.adaptive, whole); !adaptive.isEmpty())
        notes << adaptive;
    return notes;
}

void showRunPlan(const RunRecord& run, GridModel& out, bool whole) {
    fillPlanGrid(shownPlanLines(run, whole), out, runNotes(run, whole).join(u'\n'),
                 adaptivePlanNote(run.adaptive, whole));
}

void planStage(RunWindow& w, RunState& r) {
    w.setPlanMessage(QStringLiteral("実行計画を取得中"));
    QElapsedTimer clock;
    clock.start();
    const PlanStepTurn turn(w.planStepLock(), w.control());
    if (turn.stopped()) {
        r.record.planStep = {StepOutcome::Stopped, kMsgStopped};
        w.setPlanMessage(kMsgStopped);
        return;
    }
    QList<PlanLine> lines;
    // One table for the whole step: its statements, its messages and the error's position.
    const QString table = w.settings().planTable();
    const bool done =
        r.step([&] { lines = explainPlan(w, w.queryDatabase(), table, &r.record.adaptive); });
    r.record.planMs = clock.elapsed();
    if (done && lines.isEmpty()) {
        // Whatever the grid showed belongs to another statement: it goes, and the line says why.
        const QString text = kMsgNoPlanRows.arg(table);
        r.record.planStep = {StepOutcome::Failed, text};
        w.planGrid().clear();
        w.setPlanMessage(withWarnings(text, w.queryDatabase()));
    } else if (done) {
        r.record.planStep = {StepOutcome::Done, QString()};
        r.record.plan = std::move(lines);
        showRunPlan(r.record, w.planGrid());
        w.setPlanMessage(withWarnings(QString(), w.queryDatabase()));
    } else {
        const DbError& e = *r.pending;
        QString text = e.description();
        if (e.number() == kErrOdbcCall && e.description().contains(QStringLiteral("ORA-02404")))
            text += QStringLiteral("実行計画表 ") + table + QStringLiteral(" が存在しません。");
        else if (e.number() == kErrOdbcCall &&
                 e.description().contains(QStringLiteral("ORA-01039")))
            text += QStringLiteral("実表のアクセス権限がありません。");
        r.record.planStep = {
            w.control().stopRequested() ? StepOutcome::Stopped : StepOutcome::Failed, text};
        // The explained statement ends the EXPLAIN PLAN sent.
        const qsizetype prefix = explainPlanStatement(table, QString()).size();
        if (e.position() >= prefix)
            r.record.errorPosition = typedPosition(r.record.sql, e.position() - prefix);
        w.setPlanMessage(withWarnings(text, w.queryDatabase()));
    }
    r.pending.reset();
}

}  // namespace qv
