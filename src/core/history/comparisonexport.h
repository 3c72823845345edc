#pragma once

#include "core/history/runcomparison.h"

#include <QString>

namespace qv {

// A comparison written out to be pasted into a ticket or a chat, or opened elsewhere. Each
// takes the statistics the window shows (`onlyChanged`, `threshold` as in statisticsShown).
// Every text in them, names and values alike (a history file may hold any text as a value),
// is written as text in the format's own way.

// How the CSV and JSON name a change: "same", "changed", "added", "removed", "operation".
QString changeName(PlanLineChange::Kind kind);

// Each shows the bind variables of the two runs side by side, marked as plan lines are, when
// either run had any.

// The marks of plan lines that differ ("≠", "~", "+", "-"; "=" for the same) and what each says,
// for a legend beside the plan.
QString changeMark(PlanLineChange::Kind kind);
QList<std::pair<PlanLineChange::Kind, QString>> planLegend(const RunComparison& c);

// Summary, notes, the statistics table, the two plans side by side with each line marked
// (= same, ≠ another operation, ~ changed, + added, - removed) and the statement's differences.
QString comparisonMarkdown(const RunComparison& c, bool onlyChanged = false, double threshold = 0);
// The statistics table (name, run A, run B, difference, ratio), RFC 4180 quoting; the bind
// variables in a table of their own after a blank line.
QString comparisonCsv(const RunComparison& c, bool onlyChanged = false, double threshold = 0);
// The same as the Markdown, as one HTML page with its style inside and every text escaped.
QString comparisonHtml(const RunComparison& c, bool onlyChanged = false, double threshold = 0);

}  // namespace qv
