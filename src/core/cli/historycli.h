#pragma once

#include <QStringList>
#include <QTextStream>

namespace qv {

// quervin-cli history list | show N | compare A B: the recorded runs of a tuning-history file,
// one of them, or what changed between two. `args` are the words after "history". Exit
// status 0, or 2 for bad arguments, a missing file or a missing run.
int runHistoryCli(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace qv
