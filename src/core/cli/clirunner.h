#pragma once

#include "core/db/databaseopener.h"

#include <QStringList>
#include <QTextStream>

namespace qv {

// Exit statuses of quervin-cli.
inline constexpr int kCliCarriedOut = 0;
inline constexpr int kCliRefused = 1;
inline constexpr int kCliBadArguments = 2;  // also: the connection could not be made
inline constexpr int kCliRecordFailed = 3;

// Runs one tuning run from the command line `args` (args[0] is the program name) through the
// same run as a query window, and prints what the window would show to `out` (text or JSON).
// The statement comes from --sql, --sql-file or `in`. Neither the settings store nor the
// statement ring is read or written. `opener` opens the connections (the program's own by
// default).
int runCli(const QStringList& args, QTextStream& in, QTextStream& out, QTextStream& err,
           DatabaseOpener opener = defaultDatabaseOpener());

}  // namespace qv
