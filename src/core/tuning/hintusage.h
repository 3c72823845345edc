#pragma once

#include "core/db/database.h"
#include "core/tuning/runrecord.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace qv {

// The query that reads the hint usage of the statement explained into plan table `table`: its
// lines with all their columns, among them OTHER_XML, where Oracle 19c keeps a <hint_usage>.
QString hintUsageQuery(const QString& table);

// Reads the rows of the statement just explained into `table`: each line's QBLOCK_NAME and
// OBJECT_ALIAS onto the line of `lines` with its id, and gives the OTHER_XML values (from
// OTHER in a plan table without OTHER_XML: the tool's own, as it creates it) that are not
// empty. A server that answers nothing gives nothing and leaves the lines as they are. Cannot
// fail.
QStringList readPlanTableXml(Database& db, const QString& table, QList<PlanLine>& lines);

// Keeps on the first of `lines` the Hint Report of the first of `otherXml` that has a hint
// usage, each hint placed on `lines` as DBMS_XPLAN places it (by their ids, query blocks and
// object aliases); an empty report for none. Cannot fail.
void setHintReport(QList<PlanLine>& lines, const QStringList& otherXml);

// Reads the hint usage of the statement just explained into `table` and keeps its Hint Report
// on the first of `lines` (readPlanTableXml(), then setHintReport()). Cannot fail.
void addHintReport(Database& db, const QString& table, QList<PlanLine>& lines);

// The Hint Report of `lines` (kept on the first), each line ended by `lineEnd`; empty for none.
QString hintReportText(const QList<PlanLine>& lines, const QString& lineEnd);

}  // namespace qv
