#include "core/tuning/planstep.h"

#include "core/tuning/tuningrun.h"

#include <algorithm>

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
    static const char* const pieces[] = {"statement_id    varchar2(30),",
                                         "timestamp       date,",
                                         "remarks         varchar2(80),",
                                         "operation       varchar2(30),",
                                         "options         varchar2(30),",
                                         "object_node     varchar2(128),",
                                         "object_owner    varchar2(30),",
                                         "object_name     varchar2(30),",
                                         "object_instance numeric,",
                                         "object_type     varchar2(30),",
                                         "optimizer       varchar2(255),",
                                         "search_columns  number,",
                                         "id      numeric,",
                                         "parent_id   numeric,",
                                         "position    numeric,",
                                         "cost        numeric,",
                                         "cardinality numeric,",
                                         "bytes       numeric,",
                                         "other_tag       varchar2(255),",
                                         "partition_start varchar2(255),",
                                         "partition_stop  varchar2(255),",
                                         "partition_id    numeric,",
                                         "other       long)"};
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
bool isNull(const QVariant& v) {
    return v.isNull() || !v.isValid();
}
}  // namespace

QString operationText(int64_t depth, const QVariant& operation, const QVariant& options,
                      const QVariant& owner, const QVariant& name, const QVariant& type,
                      const QVariant& optimizer) {
    QString t(static_cast<qsizetype>(std::clamp<int64_t>(depth, 0, 1000)), QLatin1Char(' '));
    t += textOrEmpty(operation);
    if (!isNull(options))
        t += QLatin1Char(' ') + options.toString();
    if (!isNull(name))
        t += QStringLiteral(" (") + textOrEmpty(owner) + QLatin1Char('.') + name.toString() +
             QLatin1Char(')');
    if (!isNull(type))
        t += QLatin1Char(' ') + type.toString();
    if (!isNull(optimizer))
        t += QStringLiteral(" OPTIMIZER = ") + optimizer.toString();
    return t;
}

void fillPlanGrid(RunWindow& w, Database& db, GridModel& out) {
    // The name is pasted into SQL: anything but a table name is refused before it is sent.
    if (!isValidPlanTableName(w.settings().planTable))
        throw DbError(kErrOdbcCall, QStringLiteral("ORA-00903: invalid table name"));
    try {
        db.openRecordset(planDeleteStatement(w.settings().planTable))->close();
    } catch (const DbError&) {
        // The old rows may not exist, or the table itself; the explain below tells.
    }

    const QString table = w.settings().planTable;
    const QString explain = explainPlanStatement(table, sqlToSend(w.sqlText()));
    std::unique_ptr<Recordset> rs;
    try {
        rs = db.openRecordset(explain);
    } catch (const DbError& e) {
        if (e.number() != kErrOdbcCall || !e.description().contains(QStringLiteral("ORA-02404")))
            throw;
        out.clear();
        const Answer a = w.ask(QStringLiteral("実行計画表 ") + table +
                               QStringLiteral(" が存在しません。作成しますか？"));
        if (a != Answer::Yes)
            throw;
        try {
            db.execute(planTableCreateStatement(w.settings().planTable));
        } catch (const DbError&) {
            // The repeated explain reports what went wrong.
        }
        rs = db.openRecordset(explain);
    }
    rs->close();

    rs = db.openRecordset(planQueryStatement(w.settings().planTable));
    int n = 0;
    while (!rs->eof()) {
        ++n;
        if (n == 1) {
            out.clear();
            out.setRows(2);
            out.setFixedRows(1);
            out.setFixedCols(0);
            out.setCols(4);
            const int widths[] = {5000, 1200, 600, 600};
            const char* headers[] = {"Operation", "Cardinality", "Cost", "Byte"};
            for (int c = 0; c < 4; ++c) {
                out.setColWidth(c, widths[c]);
                out.setText(0, c, QString::fromLatin1(headers[c]));
            }
        }
        out.setRows(n + 1);
        const QVariant depth = rs->value(QStringLiteral("LEVEL-1"));
        bool ok = false;
        const double d = depth.toDouble(&ok);
        if (!ok)
            throw DbError(13, QStringLiteral("Type mismatch"));
        out.setText(n, 0,
                    operationText(static_cast<int64_t>(d), rs->value(QStringLiteral("OPERATION")),
                                  rs->value(QStringLiteral("OPTIONS")),
                                  rs->value(QStringLiteral("OBJECT_OWNER")),
                                  rs->value(QStringLiteral("OBJECT_NAME")),
                                  rs->value(QStringLiteral("OBJECT_TYPE")),
                                  rs->value(QStringLiteral("OPTIMIZER"))));
        out.setText(n, 1, textOrEmpty(rs->value(QStringLiteral("CARDINALITY"))));
        out.setText(n, 2, textOrEmpty(rs->value(QStringLiteral("COST"))));
        out.setText(n, 3, textOrEmpty(rs->value(QStringLiteral("BYTES"))));
        rs->moveNext();
    }
    rs->close();
    out.setVisible(true);
}

void planStage(RunWindow& w, RunState& r) {
    w.setPlanMessage(QStringLiteral("実行計画を取得中"));
    if (r.step([&] { fillPlanGrid(w, w.queryDatabase(), w.planGrid()); })) {
        w.setPlanMessage(withWarnings(QString(), w.queryDatabase()));
    } else {
        const DbError& e = *r.pending;
        QString text = e.description();
        if (e.number() == kErrOdbcCall && e.description().contains(QStringLiteral("ORA-02404")))
            text += QStringLiteral("実行計画表 ") + w.settings().planTable +
                    QStringLiteral(" が存在しません。");
        else if (e.number() == kErrOdbcCall &&
                 e.description().contains(QStringLiteral("ORA-01039")))
            text += QStringLiteral("実表のアクセス権限がありません。");
        w.setPlanMessage(withWarnings(text, w.queryDatabase()));
    }
    r.pending.reset();
}

}  // namespace qv
