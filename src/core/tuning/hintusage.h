#pragma once

#include "core/db/database.h"
#include "core/tuning/runrecord.h"

#include <QList>
#include <QString>

namespace qv {

// The query that reads the hint usage of the statement explained into plan table `table`: its
// lines with all their columns, among them OTHER_XML, where Oracle 19c keeps a <hint_usage>.
QString hintUsageQuery(const QString& table);

// Reads the hint usage of the statement just explained into `table` and keeps its Hint Report
// on the first of `lines`: from OTHER_XML, or from OTHER in a plan table without OTHER_XML
// (the tool's own, as it creates it). A server that answers nothing, text that is no hint usage
// and a statement without hints leave the lines as they are. Cannot fail.
void addHintReport(Database& db, const QString& table, QList<PlanLine>& lines);

// The Hint Report of `lines` (kept on the first), each line ended by `lineEnd`; empty for none.
QString hintReportText(const QList<PlanLine>& lines, const QString& lineEnd);

}  // namespace qv
