#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace qv::sql {

// What became of one optimizer hint of a statement, as Oracle 19c keeps it in the <hint_usage>
// of PLAN_TABLE.OTHER_XML and prints it in DBMS_XPLAN's Hint Report.
struct HintUse {
    enum class State { Used, Unused, Unresolved, SyntaxError };
    State state = State::Used;
    int line = 0;    // the plan line it is reported at: 0 for the statement
    QString block;   // SEL$1, UPD$1...; empty for a hint of the statement as a whole
    QString alias;   // the object it names, as ALIAS@SEL$1; empty for none
    QString text;    // the hint as written (its name alone for a syntax error)
    QString reason;  // why it was not used; empty when Oracle gives none
};

// The <hint_usage> element that carries `hints`; empty for no hints. Cannot fail.
QString hintUsageXml(const QList<HintUse>& hints);

// The hints of the <hint_usage> element in `otherXml` (an OTHER_XML value) as hintUsageXml()
// writes it; none when it has none, cannot be read, or gives a hint without its plan line.
// Cannot fail.
QList<HintUse> readHintUsage(const QString& otherXml);

// DBMS_XPLAN's Hint Report of `hints`: its title, the count by kind, and the hints grouped by
// plan line, query block and object; no lines for no hints. Cannot fail.
QStringList hintReportLines(const QList<HintUse>& hints);

}  // namespace qv::sql
