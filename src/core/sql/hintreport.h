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
    int line = 0;    // the plan line it is reported at: 0 for the statement; -1 not placed yet
    QString block;   // SEL$1, UPD$1...; empty for a hint of the statement as a whole
    QString alias;   // the object it names, as ALIAS@SEL$1 (no quotes); empty for none
    QString text;    // the hint as written (its name alone for a syntax error)
    QString reason;  // why it was not used; empty when Oracle gives none
};

// The <hint_usage> element of Oracle 19c's OTHER_XML that carries `hints`: the statement's hints
// in <s>, each query block's in a <q> named by its <n>, an object's within the block in a <t>
// named by its <f> ("E"@"SEL$1"); each <h o="EM"> with the hint as written in <x>, why it was not
// used in <r>, and its state in st (none when used, NU unused, UR unresolved, PE a syntax
// error). No plan line: the plan's lines name the blocks and objects (placeHints()). Empty for
// no hints. Cannot fail.
QString hintUsageXml(const QList<HintUse>& hints);

// The hints of the <hint_usage> element in `otherXml` (an OTHER_XML value) in that form, their
// line -1 (to be placed) unless an id attribute gives it; none when it has none or cannot be
// read. Cannot fail.
QList<HintUse> readHintUsage(const QString& otherXml);

// A plan line as a hint is placed on it: its id, its QBLOCK_NAME and its OBJECT_ALIAS as the
// plan table or V$SQL_PLAN holds them (with or without double quotes; empty for none).
struct PlanPlace {
    int id = 0;
    QString block;
    QString alias;
};

// Places each hint not yet placed as DBMS_XPLAN does: the statement's at line 0; an object's on
// the line whose object alias it names, reported under that line's query block; a block's on the
// first line of that block (else of an object of it, else line 1). Cannot fail.
void placeHints(QList<HintUse>& hints, const QList<PlanPlace>& lines);

// DBMS_XPLAN's Hint Report of `hints`: its title, the count by kind, and the hints grouped by
// plan line, query block and object; no lines for no hints. Cannot fail.
QStringList hintReportLines(const QList<HintUse>& hints);

}  // namespace qv::sql
