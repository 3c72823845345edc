#include "core/tuning/hintusage.h"

#include "core/sql/hintreport.h"

namespace qv {

QString hintUsageQuery(const QString& table) {
    return QStringLiteral("SELECT * FROM ") + table +
           QStringLiteral(" WHERE STATEMENT_ID = 'QUERVIN' ORDER BY ID");
}

QStringList readPlanTableXml(Database& db, const QString& table, QList<PlanLine>& lines) {
    QStringList xml;
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
        for (; !rs->eof(); rs->moveNext()) {
            if (usage >= 0) {
                if (const QString text = rs->value(usage).toString(); !text.isEmpty())
                    xml << text;
            }
            if (id < 0)
                continue;
            const int64_t lineId = rs->value(id).toLongLong();
            for (PlanLine& line : lines) {
                if (line.id != lineId)
                    continue;
                line.queryBlock = block >= 0 ? rs->value(block).toString() : QString();
                line.objectAlias = alias >= 0 ? rs->value(alias).toString() : QString();
            }
        }
        rs->close();
    } catch (const DbError&) {
        // No plan table to read: no report, and no word of it.
    }
    db.takeWarnings();
    return xml;
}

void setHintReport(QList<PlanLine>& lines, const QStringList& otherXml) {
    if (lines.isEmpty())
        return;
    QList<sql::HintUse> hints;
    for (const QString& text : otherXml) {
        hints = sql::readHintUsage(text);
        if (!hints.isEmpty())
            break;
    }
    QList<sql::PlanPlace> places;
    for (const PlanLine& line : lines)
        places.append({static_cast<int>(line.id), line.queryBlock, line.objectAlias});
    sql::placeHints(hints, places);
    lines.first().hintReport = sql::hintReportLines(hints).join(u'\n');
}

void addHintReport(Database& db, const QString& table, QList<PlanLine>& lines) {
    setHintReport(lines, readPlanTableXml(db, table, lines));
}

QString hintReportText(const QList<PlanLine>& lines, const QString& lineEnd) {
    if (lines.isEmpty() || lines.first().hintReport.isEmpty())
        return {};
    QString text = lines.first().hintReport;
    text.replace(u'\n', lineEnd);
    return text + lineEnd;
}

}  // namespace qv
