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
    try {
        std::unique_ptr<Recordset> rs = db.openRecordset(hintUsageQuery(table));
        // OTHER_XML where the table has it (Oracle 10g and later); else OTHER, which every plan
        // table has and the embedded engine writes the same XML into.
        int column = -1;
        for (int i = 0; i < rs->fieldCount(); ++i) {
            const QString name = rs->field(i).name.toUpper();
            if (name == u"OTHER_XML" || (name == u"OTHER" && column < 0))
                column = i;
        }
        while (column >= 0 && !rs->eof() && hints.isEmpty()) {
            hints = sql::readHintUsage(rs->value(column).toString());
            rs->moveNext();
        }
        rs->close();
    } catch (const DbError&) {
        // No plan table to read: no report, and no word of it.
    }
    db.takeWarnings();
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
