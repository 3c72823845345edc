#pragma once

#include "core/cli/clirunner.h"

namespace qv {

// quervin-cli --what-if "CREATE INDEX ..." [--what-if ...]: explains the statement as it stands
// and as if those indexes existed, without building them, and prints both plans with their
// costs; --what-if-suggest prints the indexes worth trying as CREATE INDEX statements. Exit
// status 0 when the what-if (or the suggestion) ran, 1 when the server refused it (a missing
// privilege, told on standard error), 2 for bad arguments or no connection.
int runWhatIfCli(const QStringList& args, QTextStream& in, QTextStream& out, QTextStream& err,
                 const ProgramState& program, const CliTerminal& terminal);

// Whether `args` ask for a what-if.
bool asksForWhatIf(const QStringList& args);

}  // namespace qv
