#pragma once

#include "core/cli/clirunner.h"

namespace qv {

// quervin-cli --script FILE: runs a SQL script on one session as SQL*Plus would (ScriptRunner)
// and prints each statement's rows, feedback or error with its file and line, then a summary.
// Exit status 0 when every statement ran, 1 when one or more failed, 2 for bad arguments or no
// connection, 4 when stopped (SIGINT, SIGTERM).
int runScriptCli(const QStringList& args, QTextStream& out, QTextStream& err,
                 const ProgramState& program, const CliTerminal& terminal);

// Whether `args` ask for a script run.
bool asksForScript(const QStringList& args);

}  // namespace qv
