// The scripted Oracle driver's handles, connections, transactions and diagnostics: the ODBC
// entry points unixODBC calls before and around the statements.

#include "oracledriver/handles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

using namespace oradriver;

namespace oradriver {

void logCall(const QString& logPath, const QString& who, const QString& line) {
    if (logPath.isEmpty())
        return;
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    if (std::FILE* f = std::fopen(QFile::encodeName(logPath).constData(), "a")) {
        std::fputs((who + u' ' + line + u'\n').toUtf8().constData(), f);
        std::fclose(f);
    }
}

QString logText(const QString& text) {
    QString out = text;
    out.replace(u'\\', QStringLiteral("\\\\")).replace(u'\n', QStringLiteral("\\n"));
    return out.replace(u'\r', QStringLiteral("\\r")).replace(u'\t', QStringLiteral("\\t"));
}

QString fromWide(const SQLWCHAR* text, SQLINTEGER length) {
    if (!text)
        return QString();
    if (length == SQL_NTS)
        for (length = 0; text[length]; ++length) {
        }
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

SQLRETURN putText(Handle& h, const QString& text, SQLPOINTER buffer, SQLLEN capacity,
                  SQLLEN* length) {
    constexpr SQLLEN unit = sizeof(SQLWCHAR);
    const SQLLEN bytes = SQLLEN(text.size()) * unit;
    if (length)
        *length = bytes;
    if (!buffer || capacity < unit)
        return bytes == 0 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
    const SQLLEN fits = std::min<SQLLEN>(bytes, (capacity - unit) / unit * unit);
    std::memcpy(buffer, text.utf16(), size_t(fits));
    std::memset(static_cast<char*>(buffer) + fits, 0, size_t(unit));
    if (fits == bytes)
        return SQL_SUCCESS;
    h.diags.push_back(
        Diag{QStringLiteral("01004"), 0, QStringLiteral("String data, right truncated")});
    return SQL_SUCCESS_WITH_INFO;
}

}  // namespace oradriver

namespace {

Handle* handleOf(SQLSMALLINT type, SQLHANDLE h) {
    switch (type) {
        case SQL_HANDLE_ENV:
            return static_cast<Env*>(h);
        case SQL_HANDLE_DBC:
            return static_cast<Conn*>(h);
        case SQL_HANDLE_STMT:
            return static_cast<Stmt*>(h);
        default:
            return nullptr;
    }
}

// The connect string's attributes by upper-case name; a value may stand in braces, "}}" in it
// being one brace.
std::map<QString, QString> attributesOf(const QString& s) {
    std::map<QString, QString> out;
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype eq = s.indexOf(u'=', i);
        if (eq < 0)
            break;
        const QString key = s.mid(i, eq - i).trimmed().toUpper();
        QString value;
        i = eq + 1;
        if (i < s.size() && s[i] == u'{') {
            for (++i; i < s.size(); ++i) {
                if (s[i] == u'}' && !(i + 1 < s.size() && s[i + 1] == u'}'))
                    break;
                value += s[i];
                i += s[i] == u'}' ? 1 : 0;
            }
            i = s.indexOf(u';', i);
        } else {
            const qsizetype end = s.indexOf(u';', i);
            value = s.mid(i, end < 0 ? -1 : end - i);
            i = end;
        }
        out[key] = value;
        if (i < 0)
            break;
        ++i;
    }
    return out;
}

QString scenarioPath(const QString& dbq) {
    if (QFileInfo(dbq).isAbsolute())
        return dbq;
    return QDir(qEnvironmentVariable("QUERVIN_ORACLE_SCENARIOS"))
        .filePath(dbq + QStringLiteral(".json"));
}

// The connections that wrote to each log, for their names: c1, c2... in each log.
int connectionNumber(const QString& logPath) {
    static std::mutex mutex;
    static std::map<QString, int> count;
    std::lock_guard lock(mutex);
    return ++count[logPath];
}

// The sessions of each scenario that connections hold: a connection takes the first one free, so
// a window's two connections are the scenario's first two sessions whatever came before.
std::mutex slotMutex;
std::map<QString, std::vector<bool>> heldSessions;
int takeSlot(const QString& path) {
    std::lock_guard lock(slotMutex);
    std::vector<bool>& held = heldSessions[path];
    const auto free = std::find(held.begin(), held.end(), false);
    const auto n = int(free - held.begin());
    if (free == held.end())
        held.push_back(true);
    else
        *free = true;
    return n;
}
void releaseSlot(const QString& path, int n) {
    std::lock_guard lock(slotMutex);
    heldSessions[path][size_t(n)] = false;
}

SQLRETURN connect(Conn& c, const QString& connectString) {
    const std::map<QString, QString> a = attributesOf(connectString);
    const auto value = [&](const char* key) {
        const auto it = a.find(QLatin1String(key));
        return it == a.end() ? QString() : it->second;
    };
    c.logPath =
        a.count(QStringLiteral("LOG")) ? value("LOG") : qEnvironmentVariable("QUERVIN_ORACLE_LOG");
    c.name = QStringLiteral("c%1").arg(connectionNumber(c.logPath));
    for (const QString& line : std::exchange(c.beforeConnecting, {}))
        logCall(c, line);
    static const QRegularExpression password(QStringLiteral("(PWD=)(\\{(?:[^}]|\\}\\})*\\}|[^;]*)"),
                                             QRegularExpression::CaseInsensitiveOption);
    QString shown = connectString;
    logCall(c, QStringLiteral("SQLDriverConnectW ") +
                   logText(shown.replace(password, QStringLiteral("\\1***"))));
    const QString path = scenarioPath(value("DBQ"));
    if (!QFileInfo::exists(path))
        return c.diags.push_back(oracleError(
                   QStringLiteral("08001"),
                   QStringLiteral("ORA-12154: TNS:could not resolve the connect identifier "
                                  "specified"))),
               SQL_ERROR;
    try {
        c.scenario = loadScenario(path);
    } catch (const std::runtime_error& e) {
        return c.fail(QStringLiteral("HY000"), QString::fromUtf8(e.what()));
    }
    c.slot = takeSlot(path);
    c.session = c.scenario->session(c.slot);
    c.bindTimestampAsDate = value("BTD").compare(QStringLiteral("T"), Qt::CaseInsensitive) == 0;
    logCall(
        c, QStringLiteral("session instance=%1 sid=%2").arg(c.session.instance).arg(c.session.sid));
    if (!c.scenario->loginWarning())
        return SQL_SUCCESS;
    c.diags.push_back(*c.scenario->loginWarning());
    logCall(c, QStringLiteral("SQL_SUCCESS_WITH_INFO ") + c.diags.back().message);
    return SQL_SUCCESS_WITH_INFO;
}

QString autoCommitName(SQLULEN v) {
    return v == SQL_AUTOCOMMIT_OFF ? QStringLiteral("SQL_AUTOCOMMIT_OFF")
                                   : QStringLiteral("SQL_AUTOCOMMIT_ON");
}

SQLRETURN setConnectAttr(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value) {
    Conn& c = *static_cast<Conn*>(h);
    c.begin();
    const SQLULEN v = attributeValue(value);
    switch (attribute) {
        case SQL_ATTR_AUTOCOMMIT:
            logCall(c,
                    QStringLiteral("SQLSetConnectAttr SQL_ATTR_AUTOCOMMIT=") + autoCommitName(v));
            c.autoCommit = v != SQL_AUTOCOMMIT_OFF;
            return SQL_SUCCESS;
        case SQL_ATTR_LOGIN_TIMEOUT:
            logCall(c, QStringLiteral("SQLSetConnectAttr SQL_ATTR_LOGIN_TIMEOUT=%1").arg(v));
            return SQL_SUCCESS;
        case SQL_ATTR_ANSI_APP:  // unixODBC tells a wide application; the driver is the same to
                                 // both
            logCall(c, QStringLiteral("SQLSetConnectAttr SQL_ATTR_ANSI_APP=%1").arg(v));
            return SQL_SUCCESS;
        default:
            logCall(c, QStringLiteral("SQLSetConnectAttr %1=%2 refused").arg(attribute).arg(v));
            return c.fail(QStringLiteral("HYC00"),
                          QStringLiteral("Connection attribute %1 is not scripted").arg(attribute));
    }
}

SQLRETURN getConnectAttr(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value) {
    Conn& c = *static_cast<Conn*>(h);
    c.begin();
    if (attribute != SQL_ATTR_AUTOCOMMIT)
        return c.fail(QStringLiteral("HYC00"),
                      QStringLiteral("Connection attribute %1 is not scripted").arg(attribute));
    *static_cast<SQLUINTEGER*>(value) = c.autoCommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    logCall(c, QStringLiteral("SQLGetConnectAttr SQL_ATTR_AUTOCOMMIT -> ") +
                   autoCommitName(c.autoCommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF));
    return SQL_SUCCESS;
}

// unixODBC asks what a commit or rollback does to open cursors; Oracle keeps them open.
SQLRETURN getInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value) {
    Conn& c = *static_cast<Conn*>(h);
    c.begin();
    if (type == SQL_CURSOR_COMMIT_BEHAVIOR || type == SQL_CURSOR_ROLLBACK_BEHAVIOR) {
        *static_cast<SQLUSMALLINT*>(value) = SQL_CB_PRESERVE;
        return SQL_SUCCESS;
    }
    logCall(c, QStringLiteral("SQLGetInfo %1 refused").arg(type));
    return c.fail(QStringLiteral("HY096"),
                  QStringLiteral("Information type %1 is not scripted").arg(type));
}

}  // namespace

// The functions of this file and of the statements' files, for SQLGetFunctions.
static const SQLUSMALLINT kFunctions[] = {
    SQL_API_SQLALLOCHANDLE,    SQL_API_SQLFREEHANDLE,  SQL_API_SQLSETENVATTR,
    SQL_API_SQLDRIVERCONNECT,  SQL_API_SQLDISCONNECT,  SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLGETCONNECTATTR, SQL_API_SQLENDTRAN,     SQL_API_SQLGETINFO,
    SQL_API_SQLGETFUNCTIONS,   SQL_API_SQLGETDIAGREC,  SQL_API_SQLEXECDIRECT,
    SQL_API_SQLNUMRESULTCOLS,  SQL_API_SQLDESCRIBECOL, SQL_API_SQLROWCOUNT,
    SQL_API_SQLBINDPARAMETER,  SQL_API_SQLSETSTMTATTR, SQL_API_SQLFETCH,
    SQL_API_SQLGETDATA,        SQL_API_SQLCANCEL,
};

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    switch (type) {
        case SQL_HANDLE_ENV:
            *output = new Env;
            return SQL_SUCCESS;
        case SQL_HANDLE_DBC:
            *output = new Conn;
            return SQL_SUCCESS;
        case SQL_HANDLE_STMT: {
            Conn& c = *static_cast<Conn*>(input);
            auto* s = new Stmt;
            s->conn = &c;
            s->name = c.name + QStringLiteral(".%1").arg(++c.statements);
            *output = s;
            return SQL_SUCCESS;
        }
        default:
            return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
    if (type == SQL_HANDLE_STMT)
        logCall(*static_cast<Stmt*>(h), QStringLiteral("SQLFreeHandle"));
    delete handleOf(type, h);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC h, SQLHWND, SQLWCHAR* in, SQLSMALLINT inLength,
                                    SQLWCHAR* out, SQLSMALLINT outCapacity, SQLSMALLINT* outLength,
                                    SQLUSMALLINT) {
    Conn& c = *static_cast<Conn*>(h);
    c.begin();
    const QString connectString = fromWide(in, inLength);
    SQLRETURN rc = connect(c, connectString);
    if (SQL_SUCCEEDED(rc) && out) {
        SQLLEN whole = 0;
        putText(c, connectString, out, outCapacity * SQLLEN(sizeof(SQLWCHAR)), &whole);
        if (outLength)
            *outLength = SQLSMALLINT(whole / SQLLEN(sizeof(SQLWCHAR)));
    }
    return rc;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
    Conn& c = *static_cast<Conn*>(h);
    logCall(c, QStringLiteral("SQLDisconnect"));
    if (c.slot >= 0)
        releaseSlot(c.scenario->path(), std::exchange(c.slot, -1));
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER) {
    return setConnectAttr(h, a, v);
}
SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER) {
    return setConnectAttr(h, a, v);
}
SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER,
                                     SQLINTEGER*) {
    return getConnectAttr(h, a, v);
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
    if (type != SQL_HANDLE_DBC)
        return SQL_ERROR;
    Conn& c = *static_cast<Conn*>(h);
    c.begin();
    logCall(c, completion == SQL_COMMIT ? QStringLiteral("SQLEndTran SQL_COMMIT")
                                        : QStringLiteral("SQLEndTran SQL_ROLLBACK"));
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT,
                              SQLSMALLINT*) {
    return getInfo(h, type, value);
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC, SQLUSMALLINT id, SQLUSMALLINT* supported) {
    if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
        std::memset(supported, 0, sizeof(SQLUSMALLINT) * SQL_API_ODBC3_ALL_FUNCTIONS_SIZE);
        for (const SQLUSMALLINT f : kFunctions)
            supported[f >> 4] |= SQLUSMALLINT(1 << (f & 0xF));
    } else {
        *supported =
            std::find(std::begin(kFunctions), std::end(kFunctions), id) != std::end(kFunctions)
                ? SQL_TRUE
                : SQL_FALSE;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLWCHAR* state,
                                 SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT capacity,
                                 SQLSMALLINT* length) {
    Handle* handle = handleOf(type, h);
    if (!handle || record < 1 || size_t(record) > handle->diags.size())
        return SQL_NO_DATA;
    const Diag d = handle->diags[size_t(record - 1)];
    if (state) {
        const QString s = d.state.left(5);
        std::memcpy(state, s.utf16(), size_t(s.size()) * sizeof(SQLWCHAR));
        state[s.size()] = 0;
    }
    if (native)
        *native = d.native;
    Handle scratch;  // a cut message is told by the return code, not by a record of its own
    SQLLEN whole = 0;
    const SQLRETURN rc =
        putText(scratch, d.message, message, capacity * SQLLEN(sizeof(SQLWCHAR)), &whole);
    if (length)
        *length = SQLSMALLINT(whole / SQLLEN(sizeof(SQLWCHAR)));
    return rc;
}

// unixODBC reads a driver's records with SQLGetDiagRecW, and takes them only from a driver that
// also has this.
SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                   SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT capacity,
                                   SQLSMALLINT* length) {
    Handle* handle = handleOf(type, h);
    if (field == SQL_DIAG_NUMBER) {
        *static_cast<SQLINTEGER*>(value) = SQLINTEGER(handle->diags.size());
        return SQL_SUCCESS;
    }
    if (record < 1 || size_t(record) > handle->diags.size())
        return SQL_NO_DATA;
    const Diag& d = handle->diags[size_t(record - 1)];
    if (field == SQL_DIAG_NATIVE) {
        *static_cast<SQLINTEGER*>(value) = d.native;
        return SQL_SUCCESS;
    }
    if (field != SQL_DIAG_SQLSTATE && field != SQL_DIAG_MESSAGE_TEXT)
        return SQL_ERROR;
    Handle scratch;
    SQLLEN whole = 0;
    const SQLRETURN rc =
        putText(scratch, field == SQL_DIAG_SQLSTATE ? d.state : d.message, value, capacity, &whole);
    if (length)
        *length = SQLSMALLINT(whole);
    return rc;
}

}  // extern "C"
