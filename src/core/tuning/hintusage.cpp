#include "core/tuning/hintusage.h"

#include "core/sql/hintreport.h"

namespace qv {

QString hintUsageQuery(const QString& table) {
    return QStringLiteral("SELECT OTHER_XML FROM ") + table +
           QStringLiteral(" WHERE STATEMENT_ID = 'QUERVIN' AND OTHER_XML IS NOT NULL ORDER BY ID");
}

void addHintReport(Database& db, const QString& table, QList<PlanLine>& lines) {
    if (lines.isEmpty())
        return;
    QList<sql::HintUse> hints;
    try {
        std::unique_ptr<Recordset> rs = db.openRecordset(hintUsageQuery(table));
        while (!rs->eof() && hints.isEmpty()) {
            hints = sql::readHintUsage(rs->value(0).toString());
            rs->moveNext();
        }
        rs->close();
    } catch (const DbError&) {
        // A plan table without OTHER_XML: no report, and no word of it.
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
