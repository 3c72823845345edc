// The scripted Oracle driver's statements: running a text from the scenario, binds, statement
// attributes, cancelling and the description of a result.

#include "oracledriver/handles.h"

#include <QDateTime>

#include <cstring>

using namespace oradriver;

namespace {

// A constant's name for the log.
struct Named {
    SQLINTEGER value;
    const char* name;
};
#define NAMED(constant)     \
    Named {                 \
        constant, #constant \
    }
QString named(std::initializer_list<Named> names, SQLINTEGER value) {
    for (const Named& n : names)
        if (n.value == value)
            return QString::fromLatin1(n.name);
    return QString::number(value);
}

}  // namespace

QString oradriver::cTypeName(SQLSMALLINT t) {
    return named({NAMED(SQL_C_CHAR), NAMED(SQL_C_WCHAR), NAMED(SQL_C_BINARY),
                  NAMED(SQL_C_TYPE_DATE), NAMED(SQL_C_TYPE_TIMESTAMP)},
                 t);
}

namespace {

QString sqlTypeName(SQLSMALLINT t) {
    return named({NAMED(SQL_VARCHAR), NAMED(SQL_WVARCHAR), NAMED(SQL_NUMERIC), NAMED(SQL_DECIMAL),
                  NAMED(SQL_DOUBLE), NAMED(SQL_TYPE_DATE), NAMED(SQL_TYPE_TIMESTAMP)},
                 t);
}

// The value the program's buffer holds, as the log shows it.
QString boundValue(SQLSMALLINT cType, SQLPOINTER buffer, SQLLEN* indicator) {
    if (indicator && *indicator == SQL_NULL_DATA)
        return QStringLiteral("NULL");
    switch (cType) {
        case SQL_C_WCHAR:
            return fromWide(static_cast<SQLWCHAR*>(buffer),
                            indicator && *indicator >= 0
                                ? SQLINTEGER(*indicator / SQLLEN(sizeof(SQLWCHAR)))
                                : SQL_NTS);
        case SQL_C_CHAR:
            return QString::fromUtf8(static_cast<const char*>(buffer));
        case SQL_C_TYPE_DATE: {
            const auto* d = static_cast<const SQL_DATE_STRUCT*>(buffer);
            return QDate(d->year, d->month, d->day).toString(QStringLiteral("yyyy-MM-dd"));
        }
        case SQL_C_TYPE_TIMESTAMP: {
            const auto* t = static_cast<const SQL_TIMESTAMP_STRUCT*>(buffer);
            const QString seconds =
                QDateTime(QDate(t->year, t->month, t->day), QTime(t->hour, t->minute, t->second))
                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            return t->fraction == 0
                       ? seconds
                       : seconds + QStringLiteral(".%1").arg(t->fraction, 9, 10, QLatin1Char('0'));
        }
        default:
            return QStringLiteral("(not shown)");
    }
}

// The Oracle type Oracle's driver binds a date or time parameter as (Database Development Guide
// 19c, "Using the Oracle ODBC Driver": SQL_TIMESTAMP as TIMESTAMP, as DATE with "Bind TIMESTAMP
// as DATE", BTD=T); nothing for other types.
QString boundOracleType(const Conn& c, SQLSMALLINT sqlType) {
    if (sqlType == SQL_TYPE_DATE)
        return QStringLiteral(" as DATE");
    if (sqlType == SQL_TYPE_TIMESTAMP)
        return c.bindTimestampAsDate ? QStringLiteral(" as DATE") : QStringLiteral(" as TIMESTAMP");
    return QString();
}

// Oracle's answer to a call that SQLCancel stopped (ORA-01013, ODBC's HY008).
Diag cancelledDiag() {
    return oracleError(QStringLiteral("HY008"),
                       QStringLiteral("ORA-01013: user requested cancel of current operation"));
}

// Holds the call until SQLCancel comes from another thread.
void waitForCancel(Stmt& s) {
    std::unique_lock lock(s.mutex);
    s.running = true;
    logCall(s, QStringLiteral("running until SQLCancel"));
    s.cancelled.wait(lock, [&] { return s.cancelRequested; });
    s.running = false;
    s.cancelRequested = false;
}

SQLRETURN execute(Stmt& s, const QString& sql) {
    s.begin();
    s.answer = nullptr;
    s.next = 0;
    s.current = -1;
    Conn& c = *s.conn;
    logCall(s, QStringLiteral("SQLExecDirectW noscan=") +
                   (s.noScan ? QStringLiteral("on ") : QStringLiteral("off ")) + logText(sql));
    const Answer* a = c.scenario->answer(sql, c.session.instance, c.executions[sql]++);
    if (!a) {
        logCall(s, QStringLiteral("no scripted answer"));
        return s.fail(QStringLiteral("HY000"),
                      QStringLiteral("[Scripted Oracle 19]No answer is scripted for this "
                                     "statement in ") +
                          c.scenario->path());
    }
    if (!s.noScan && a->whenScanned)
        a = a->whenScanned.get();
    if (a->blockUntilCancel) {
        waitForCancel(s);
        s.diags.push_back(cancelledDiag());
        return SQL_ERROR;
    }
    if (a->error) {
        s.diags.push_back(*a->error);
        return SQL_ERROR;
    }
    s.answer = a;
    if (!a->warning)
        return SQL_SUCCESS;
    s.diags.push_back(*a->warning);
    return SQL_SUCCESS_WITH_INFO;
}

QString statementAttributeName(SQLINTEGER a) {
    return named(
        {NAMED(SQL_ATTR_NOSCAN), NAMED(SQL_ATTR_ROW_ARRAY_SIZE), NAMED(SQL_ATTR_ROWS_FETCHED_PTR)},
        a);
}

SQLRETURN setStmtAttr(SQLHSTMT h, SQLINTEGER attribute, SQLPOINTER value) {
    Stmt& s = *static_cast<Stmt*>(h);
    s.begin();
    const SQLULEN v = attributeValue(value);
    const bool pointer = attribute == SQL_ATTR_ROWS_FETCHED_PTR;
    logCall(s, QStringLiteral("SQLSetStmtAttr ") + statementAttributeName(attribute) + u'=' +
                   (pointer ? (value ? QStringLiteral("(pointer)") : QStringLiteral("NULL"))
                            : QString::number(v)));
    switch (attribute) {
        case SQL_ATTR_NOSCAN:
            s.noScan = v == SQL_NOSCAN_ON;
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_ARRAY_SIZE:
            s.rowsetSize = std::max<SQLULEN>(v, 1);
            return SQL_SUCCESS;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            s.rowsFetched = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        default:
            return s.fail(QStringLiteral("HYC00"),
                          QStringLiteral("Statement attribute %1 is not scripted").arg(attribute));
    }
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER length) {
    return execute(*static_cast<Stmt*>(h), fromWide(text, length));
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT io,
                                   SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size,
                                   SQLSMALLINT digits, SQLPOINTER buffer, SQLLEN,
                                   SQLLEN* indicator) {
    Stmt& s = *static_cast<Stmt*>(h);
    s.begin();
    logCall(s, QStringLiteral("SQLBindParameter %1 %2 %3 size=%4 digits=%5 value=%6%7")
                   .arg(number)
                   .arg(cTypeName(cType), sqlTypeName(sqlType))
                   .arg(size)
                   .arg(digits)
                   .arg(logText(boundValue(cType, buffer, indicator)),
                        boundOracleType(*s.conn, sqlType)));
    if (io != SQL_PARAM_INPUT)
        return s.fail(QStringLiteral("HYC00"),
                      QStringLiteral("Only input parameters are scripted"));
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
    Stmt& s = *static_cast<Stmt*>(h);
    s.begin();
    *count = s.answer ? SQLSMALLINT(s.answer->columns.size()) : 0;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT number, SQLWCHAR* name,
                                  SQLSMALLINT capacity, SQLSMALLINT* nameLength,
                                  SQLSMALLINT* sqlType, SQLULEN* size, SQLSMALLINT* digits,
                                  SQLSMALLINT* nullable) {
    Stmt& s = *static_cast<Stmt*>(h);
    s.begin();
    if (!s.hasResult() || number < 1 || number > s.answer->columns.size())
        return s.fail(QStringLiteral("07009"), QStringLiteral("Invalid descriptor index"));
    const Column& c = s.answer->columns[number - 1];
    SQLLEN whole = 0;
    const SQLRETURN rc = putText(s, c.name, name, capacity * SQLLEN(sizeof(SQLWCHAR)), &whole);
    if (nameLength)
        *nameLength = SQLSMALLINT(whole / SQLLEN(sizeof(SQLWCHAR)));
    if (sqlType)
        *sqlType = c.sqlType;
    if (size)
        *size = c.size;
    if (digits)
        *digits = c.digits;
    if (nullable)
        *nullable = SQL_NULLABLE;
    return rc;
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
    Stmt& s = *static_cast<Stmt*>(h);
    s.begin();
    *count = s.answer && !s.hasResult() ? s.answer->rowCount : -1;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER) {
    return setStmtAttr(h, a, v);
}
SQLRETURN SQL_API SQLCancel(SQLHSTMT h) {
    Stmt& s = *static_cast<Stmt*>(h);
    std::lock_guard lock(s.mutex);
    logCall(s, s.running ? QStringLiteral("SQLCancel while running")
                         : QStringLiteral("SQLCancel while idle"));
    if (s.running) {
        s.cancelRequested = true;
        s.cancelled.notify_all();
    }
    return SQL_SUCCESS;
}

}  // extern "C"
