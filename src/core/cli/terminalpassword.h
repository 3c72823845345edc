#pragma once

#include <QString>

#include <optional>

namespace qv {

// Shows `prompt` on the terminal the program runs in (not standard input, which may carry the
// statement) and reads a line there without echo; nothing when there is no terminal. The
// terminal is given back as it was however the reading ends: a line, an exception, or Ctrl-C,
// SIGTERM, SIGHUP or SIGQUIT, which then end the program as they would have.
std::optional<QString> readTerminalPassword(const QString& prompt);

}  // namespace qv
