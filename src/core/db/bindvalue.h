#pragma once

#include <QList>
#include <QString>

namespace qv {

// The type a bind variable is given, as Oracle's tools offer them.
enum class BindType { Varchar2, Number, Date, Null };

// One bind variable's value as the user gave it: `name` as the statement writes it after the
// colon ("1", "B1", "cust_id"), `value` as typed (a number in Oracle's form, a date as
// YYYY-MM-DD or YYYY-MM-DD HH24:MI:SS); a Null value has no text.
struct BindValue {
    QString name;
    BindType type = BindType::Varchar2;
    QString value;

    bool operator==(const BindValue&) const = default;
};
using BindList = QList<BindValue>;

// "VARCHAR2", "NUMBER", "DATE", "NULL": how the dialog, the command line and the history file
// name a type.
QString bindTypeName(BindType type);
// The type of such a name (any case); nothing for another text.
bool bindTypeFromName(const QString& name, BindType& type);

}  // namespace qv
