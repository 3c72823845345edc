#pragma once

#include "core/db/dberror.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace qv {

// The type a bind variable is given, as Oracle's tools offer them.
enum class BindType { Varchar2, Number, Date, Null, Timestamp };

// One bind variable's value as the user gave it: `name` as the statement writes it after the
// colon ("1", "B1", "cust_id"), `value` as typed (a number in Oracle's form, a date as
// YYYY-MM-DD or YYYY-MM-DD HH24:MI:SS, a timestamp also with a fraction of up to nine digits
// after the seconds); a Null value has no text.
struct BindValue {
    QString name;
    BindType type = BindType::Varchar2;
    QString value;

    bool operator==(const BindValue&) const = default;
};
using BindList = QList<BindValue>;

// "VARCHAR2", "NUMBER", "DATE", "TIMESTAMP", "NULL": how the dialog, the command line and the
// history file name a type.
QString bindTypeName(BindType type);
// The type of such a name (any case); nothing for another text.
bool bindTypeFromName(const QString& name, BindType& type);

// The value of `binds` for the variable `name`; null when it has none. Oracle's variable names
// compare without regard to case, so ":id" and ":ID" take one value.
const BindValue* findBind(const BindList& binds, const QString& name);

// Oracle's refusal of a statement whose variable `name` has no value (ORA-01008), naming it.
DbError notAllBoundError(const QString& name);

// A NUMBER value in the plain decimal form a driver converts ("-1.5e3" is "-1500"), with its
// count of digits and of those after the point; nothing for a text that is no number.
struct DecimalText {
    QString text;
    int precision = 1;
    int scale = 0;
};
std::optional<DecimalText> decimalOf(const QString& value);

// A DATE value, YYYY-MM-DD with an optional HH24:MI:SS (or HH24:MI) after a blank; invalid
// when the text is no such date.
QDateTime dateTimeOf(const QString& value);

// A TIMESTAMP value: a DATE value whose seconds may carry a fraction of one to nine digits.
struct TimestampText {
    QDateTime dateTime;  // to the second; invalid when the text is no such timestamp
    int nanos = 0;       // the fraction in billionths of a second
    int fractionDigits = 0;
};
TimestampText timestampOf(const QString& value);

}  // namespace qv
