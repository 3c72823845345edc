#include "core/tuning/hintusage.h"

#include "core/sql/hintreport.h"

namespace qv {

QString hintUsageQuery(const QString& table) {
    return QStringLiteral("SELECT * FROM ") + table +
           QStringLiteral(" WHERE STATEMENT_ID = 'QUERVIN' ORDER BY ID");
}

void addHintReport(Database& db, const QString& table, QList<PlanLine>& lines) {
    if (lines.isEmpty())
        return;
    QList<sql::HintUse> hints;
    QList<sql::PlanPlace> places;
    try {
        std::unique_ptr<Recordset> rs = db.openRecordset(hintUsageQuery(table));
        // OTHER_XML where the table has it (Oracle 10g and later); else OTHER, which every plan
        // table has and the embedded engine writes the same XML into. Oracle 19c places a hint
        // by the query block and object alias its plan lines name.
        int usage = -1, id = -1, block = -1, alias = -1;
        for (int i = 0; i < rs->fieldCount(); ++i) {
            const QString name = rs->field(i).name.toUpper();
            if (name == u"OTHER_XML" || (name == u"OTHER" && usage < 0))
                usage = i;
            else if (name == u"ID")
                id = i;
            else if (name == u"QBLOCK_NAME")
                block = i;
            else if (name == u"OBJECT_ALIAS")
                alias = i;
        }
        for (; usage >= 0 && !rs->eof(); rs->moveNext()) {
            if (hints.isEmpty())
                hints = sql::readHintUsage(rs->value(usage).toString());
            if (id >= 0)
                places.append({rs->value(id).toInt(),
                               block >= 0 ? rs->value(block).toString() : QString(),
                               alias >= 0 ? rs->value(alias).toString() : QString()});
        }
        rs->close();
    } catch (const DbError&) {
        // No plan table to read: no report, and no word of it.
    }
    db.takeWarnings();
    sql::placeHints(hints, places);
    lines.first().hintReport = sql::hintReportLines(hints).join(u'\n');
}

QString hintReportText(const QList<PlanLine>& lines, const QString& lineEnd) {
    if (lines.isEmpty() || lines.first().hintReport.isEmpty())
        return {};
    QString text = lines.first().hintReport;
    text.replace(u'\n', lineEnd);
    return text + lineEnd;
}

}  // namespace qv
