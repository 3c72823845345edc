#pragma once

#include "core/history/runcomparison.h"

#include <QString>

namespace qv {

// A comparison written out to be pasted into a ticket or a chat, or opened elsewhere. Each
// takes the statistics the window shows (`onlyChanged`, `threshold` as in statisticsShown).

// Summary, notes, the statistics table, the two plans side by side with each line marked
// (= same, ~ changed, + added, - removed) and the statement's differences.
QString comparisonMarkdown(const RunComparison& c, bool onlyChanged = false, double threshold = 0);
// The statistics table only (name, run A, run B, difference, ratio), RFC 4180 quoting.
QString comparisonCsv(const RunComparison& c, bool onlyChanged = false, double threshold = 0);
// The same as the Markdown, as one HTML page with its style inside and every text escaped.
QString comparisonHtml(const RunComparison& c, bool onlyChanged = false, double threshold = 0);

}  // namespace qv
