#include "core/odbc/odbcparameters.h"

#include "core/sql/tokenlist.h"

#include <algorithm>

namespace qv {

namespace {

DbError valueError(const char* oracleMessage, const QString& name) {
    return DbError(kErrOdbcCall,
                   QString::fromLatin1(oracleMessage) + QStringLiteral(" (:") + name + u')');
}

}  // namespace

OdbcParameters::OdbcParameters(const QString& sql, const BindList& binds) {
    const sql::Placeholders found = sql::placeholders(sql);
    parameters_.reserve(found.occurrences.size());
    int copied = 0;
    for (const sql::Placeholder& p : found.occurrences) {
        const BindValue* value = findBind(binds, p.name);
        if (!value)
            throw notAllBoundError(p.name);
        parameters_.push_back(parameterOf(BindValue{p.name, value->type, value->value}));
        sql_ += QStringView(sql).mid(copied, p.begin - copied);
        sql_ += u'?';
        copied = p.end;
    }
    sql_ += QStringView(sql).mid(copied);
}

OdbcParameters::Parameter OdbcParameters::parameterOf(const BindValue& value) {
    Parameter p;
    switch (value.type) {
        case BindType::Null:
            p.indicator = SQL_NULL_DATA;
            return p;
        case BindType::Number: {
            // As text the driver converts into an exact number, so that no digit is lost to a
            // double and Oracle compares it with a NUMBER column as it would a literal.
            const std::optional<DecimalText> d = decimalOf(value.value);
            if (!d)
                throw valueError("ORA-01722: invalid number", value.name);
            p.parameterType = SQL_NUMERIC;
            p.text = d->text;
            p.columnSize = SQLULEN(d->precision);
            p.decimalDigits = SQLSMALLINT(d->scale);
            break;
        }
        case BindType::Date:
        case BindType::Timestamp: {
            // Both as SQL_TYPE_TIMESTAMP: a DATE holds a time of day, which SQL_TYPE_DATE
            // drops. The connect string's BTD=T has Oracle's driver send one without a fraction
            // as a DATE, so an indexed DATE column is compared as it is (see buildConnectString).
            const TimestampText t = value.type == BindType::Date
                                        ? TimestampText{dateTimeOf(value.value), 0, 0}
                                        : timestampOf(value.value);
            if (!t.dateTime.isValid())
                throw valueError("ORA-01861: literal does not match format string", value.name);
            const QDate date = t.dateTime.date();
            const QTime time = t.dateTime.time();
            p.valueType = SQL_C_TYPE_TIMESTAMP;
            p.parameterType = SQL_TYPE_TIMESTAMP;
            p.timestamp = {SQLSMALLINT(date.year()),    SQLUSMALLINT(date.month()),
                           SQLUSMALLINT(date.day()),    SQLUSMALLINT(time.hour()),
                           SQLUSMALLINT(time.minute()), SQLUSMALLINT(time.second()),
                           SQLUINTEGER(t.nanos)};
            // "yyyy-mm-dd hh:mm:ss", and the point and digits of a fraction.
            p.decimalDigits = SQLSMALLINT(t.fractionDigits);
            p.columnSize = t.fractionDigits > 0 ? 20 + SQLULEN(t.fractionDigits) : 19;
            p.indicator = sizeof(SQL_TIMESTAMP_STRUCT);
            return p;
        }
        case BindType::Varchar2:
            // SQL_VARCHAR, not SQL_WVARCHAR: Oracle's driver binds the wide type as NVARCHAR2,
            // which would convert an indexed VARCHAR2 column and change the plan being tuned.
            p.text = value.value;
            p.columnSize = std::max<SQLULEN>(SQLULEN(p.text.size()), 1);
            break;
    }
    p.indicator = SQLLEN(p.text.size() * qsizetype(sizeof(SQLWCHAR)));
    return p;
}

void OdbcParameters::bindTo(const StmtHandle& stmt) {
    for (size_t i = 0; i < parameters_.size(); ++i) {
        Parameter& p = parameters_[i];
        SQLPOINTER buffer = p.valueType == SQL_C_TYPE_TIMESTAMP ? SQLPOINTER(&p.timestamp)
                                                                : SQLPOINTER(odbcText(p.text));
        stmt.check(SQLBindParameter(stmt.get(), SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, p.valueType,
                                    p.parameterType, p.columnSize, p.decimalDigits, buffer,
                                    p.indicator > 0 ? p.indicator : 0, &p.indicator));
    }
}

}  // namespace qv
