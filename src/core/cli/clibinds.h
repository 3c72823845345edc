#pragma once

#include "core/db/bindvalue.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace qv {

// The values of --bind NAME=VALUE and the types of --bind-type NAME=TYPE (each repeatable; the
// name with or without its colon, the type VARCHAR2 unless given) as the values a run binds. A
// variable typed NULL needs no --bind. The complaint about the first malformed option, or the
// first name one of them gives twice (names compared without regard to case, as the server
// compares them), if any.
std::optional<QString> readBindOptions(const QStringList& values, const QStringList& types,
                                       BindList& binds);

// The complaint when `sql`, run as the command line sends it, has a variable that `binds` has
// no value for; nothing when every one has one.
std::optional<QString> unboundVariable(const QString& sql, const BindList& binds);

// The values a run used, as the output and the history show them: a JSON array of
// {"name", "type", "value"} (value null for NULL), and a "[binds]" table of variable, type and
// value (nothing without binds).
QJsonArray bindsJson(const BindList& binds);
void printBinds(QTextStream& out, const BindList& binds);

}  // namespace qv
