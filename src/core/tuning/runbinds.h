#pragma once

#include "core/db/bindvalue.h"

#include <QString>
#include <QStringList>

namespace qv {

// Why a run is refused when one of its variables has no value (`%1`: ":name").
inline const QString kMsgUnboundVariable =
    QStringLiteral("バインド変数 %1 の値が指定されていないため、実行できません。");

// The values a run of `sql` (as it is sent) binds: one for each of its variables, in the order
// of first use and named as the statement first writes it, with the type and value `given` has
// for it. The first variable `given` has no value for goes to `missing` (empty when none).
BindList bindsForRun(const QString& sql, const BindList& given, QString& missing);

// How the command line, the history and the comparison show a variable's value: "5 (NUMBER)",
// "abc (VARCHAR2)", "NULL".
QString bindValueText(const BindValue& value);

}  // namespace qv
