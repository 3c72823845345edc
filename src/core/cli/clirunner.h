#pragma once

#include "core/window/programstate.h"

#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

namespace qv {

// Exit statuses of quervin-cli.
inline constexpr int kCliCarriedOut = 0;
inline constexpr int kCliRefused = 1;
inline constexpr int kCliBadArguments = 2;  // also: the connection could not be made
inline constexpr int kCliRecordFailed = 3;
inline constexpr int kCliStopped = 4;  // SIGINT, SIGTERM or --timeout stopped the run
// An exception nothing else caught (memory or threads running out): "internal error: <its
// text>" on standard error.
inline constexpr int kCliInternalError = 5;

// Tells `err` of the exception being handled and gives kCliInternalError; call it in a catch
// block.
int reportInternalError(QTextStream& err);

// The largest statement the runner reads from a file or standard input.
inline constexpr qint64 kMaxStatementBytes = 16 * 1024 * 1024;

// What the runner needs of the terminal it runs in. `arm` is called just before the run's thread
// starts; `watchStop` just after, with what to call (on any thread) each time the user asks to
// stop the run (Ctrl-C, SIGTERM). `readPassword` shows its prompt and reads a line without
// echo; nothing when there is no terminal.
struct CliTerminal {
    std::function<void()> arm;
    std::function<void(std::function<void()> stop)> watchStop;
    std::function<std::optional<QString>(const QString& prompt)> readPassword;
};

// Runs one tuning run from the command line `args` (args[0] is the program name) through the
// same run as a query window, and prints what the window would show to `out` (text or JSON).
// The statement comes from --sql, --sql-file or `in`. Of `program` only the way connections are
// opened is used (databaseOpener()): neither its settings nor its statement ring is read or
// written. The run goes on a thread of its own; when `terminal` reports a stop request, or
// --timeout passes, the statement is cancelled on the server, what was done is printed and the
// status is kCliStopped. An exception that nothing else catches, on this thread or the run's,
// is reported (reportInternalError) rather than let out.
int runCli(const QStringList& args, QTextStream& in, QTextStream& out, QTextStream& err,
           const ProgramState& program, CliTerminal terminal = {});

}  // namespace qv
