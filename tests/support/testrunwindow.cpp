#include "support/testrunwindow.h"

using namespace Qt::StringLiterals;

namespace qv::test {

Reply statRows(const QList<QVariantList>& rows) {
    Reply r;
    r.fields = {FieldInfo{u"SID"_s, FieldType::Numeric, 10},
                FieldInfo{u"STATISTIC#"_s, FieldType::Numeric, 10},
                FieldInfo{u"VALUE"_s, FieldType::Numeric, 20},
                FieldInfo{u"STATISTIC#"_s, FieldType::Numeric, 10},
                FieldInfo{u"NAME"_s, FieldType::Text, 64},
                FieldInfo{u"CLASS"_s, FieldType::Numeric, 10}};
    for (const QVariantList& s : rows)
        r.rows.append(QVariantList{42, s[0], s[2], s[0], s[1], 1});
    return r;
}

Reply numberRows(int n) {
    Reply r = Reply::table({u"N"_s}, {});
    for (int i = 1; i <= n; ++i)
        r.rows.append(QVariantList{i});
    return r;
}

Reply planRows(const QList<QVariantList>& steps) {
    QList<QVariantList> rows;
    for (const QVariantList& step : steps)
        rows.append(QVariantList{rows.size()} + step);
    return Reply::table(
        {u"ID"_s, u"LEVEL-1"_s, u"OPERATION"_s, u"OPTIONS"_s, u"OBJECT_OWNER"_s, u"OBJECT_NAME"_s,
         u"OBJECT_TYPE"_s, u"CARDINALITY"_s, u"COST"_s, u"BYTES"_s, u"OPTIMIZER"_s},
        rows);
}

RunRecord runRecord(const QString& sql, const QList<QVariantList>& changes,
                    const QList<QVariantList>& plan) {
    RunRecord run;
    run.sql = sql;
    run.outcome = RunOutcome::CarriedOut;
    if (!changes.isEmpty())
        run.statisticsStep.outcome = StepOutcome::Done;
    for (const QVariantList& c : changes)
        run.statistics.append({c[0].toInt(), c[1].toString(), QVariant(), c[2], c[2]});
    if (!plan.isEmpty())
        run.planStep.outcome = StepOutcome::Done;
    for (const QVariantList& p : plan) {
        PlanLine line;
        line.id = run.plan.size();
        line.depth = p[0].toInt();
        line.operation = p[1].toString();
        line.cardinality = p.value(2);
        run.plan.append(line);
    }
    return run;
}

void TestRunWindow::scriptSession(const QString& sid, const QList<QList<QVariantList>>& readings) {
    script->onText(u"select SID from v$session where audsid = userenv('SESSIONID')"_s,
                   Reply::table({u"SID"_s}, {{sid}}));
    // Newest rules answer first: add the last reading first.
    for (auto it = readings.crbegin(); it != readings.crend(); ++it)
        script->on(u"SELECT \\*FROM V\\$SESSTAT.*"_s, statRows(*it), 1);
}

}  // namespace qv::test
