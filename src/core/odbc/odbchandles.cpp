#include "core/odbc/odbchandles.h"

#include <QStringList>

#include <utility>
#include <vector>

namespace qv {

namespace {

// A statement that fails in a loop can pile up thousands of records; the first ones say why.
constexpr SQLSMALLINT kMaxDiagRecords = 64;

bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA;
}

QString returnCodeText(SQLRETURN rc) {
    switch (rc) {
        case SQL_INVALID_HANDLE:
            return QStringLiteral("ODBC call failed: invalid handle.");
        case SQL_NEED_DATA:
            return QStringLiteral("ODBC call failed: the driver needs data.");
        case SQL_STILL_EXECUTING:
            return QStringLiteral("ODBC call failed: still executing.");
        default:
            return QStringLiteral("ODBC call failed (return code %1).").arg(rc);
    }
}

}  // namespace

QList<DiagRecord> odbcDiagRecords(SQLSMALLINT handleType, SQLHANDLE handle) {
    QList<DiagRecord> records;
    if (handle == SQL_NULL_HANDLE)
        return records;
    std::vector<SQLWCHAR> text(1024);
    for (SQLSMALLINT i = 1; i <= kMaxDiagRecords; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, i, state, &native, text.data(),
                                      static_cast<SQLSMALLINT>(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size()) &&
            length < 32000) {
            // The message did not fit; the length is known now.
            text.resize(static_cast<size_t>(length) + 1);
            rc = SQLGetDiagRecW(handleType, handle, i, state, &native, text.data(),
                                static_cast<SQLSMALLINT>(text.size()), &length);
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
            break;
        records.append(DiagRecord{fromOdbcBuffer(state, 5, 6), native,
                                  fromOdbcBuffer(text.data(), length, qsizetype(text.size()))});
    }
    return records;
}

QStringList warningTexts(const QList<DiagRecord>& records) {
    QStringList texts;
    for (const DiagRecord& r : records) {
        if (r.sqlState != u"01004")
            texts.append(r.message.trimmed());
    }
    return texts;
}

SQLRETURN odbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle) {
    if (succeeded(rc))
        return rc;
    QList<DiagRecord> records =
        rc == SQL_INVALID_HANDLE ? QList<DiagRecord>{} : odbcDiagRecords(handleType, handle);
    // Drivers end some messages with a line break; the description is read on one screen.
    QStringList texts;
    for (const DiagRecord& r : records)
        texts.append(r.message.trimmed());
    QString description = texts.join(u'\n');
    if (description.isEmpty())
        description = returnCodeText(rc);
    throw DbError(kErrOdbcCall, description, std::move(records));
}

OdbcHandle::OdbcHandle(OdbcHandle&& other) noexcept
    : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}

OdbcHandle::~OdbcHandle() {
    free();
}

void OdbcHandle::swap(OdbcHandle& other) noexcept {
    std::swap(handle_, other.handle_);
}

void OdbcHandle::allocate(SQLSMALLINT parentType, SQLHANDLE parent) {
    free();
    SQLHANDLE h = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(type_, parent, &h);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && h != SQL_NULL_HANDLE) {
        // A handle allocated in error carries the reason and must still be freed.
        try {
            odbcCheck(rc, type_, h);
        } catch (...) {
            SQLFreeHandle(type_, h);
            throw;
        }
    }
    odbcCheck(rc, parentType, parent);
    handle_ = h;
}

void OdbcHandle::free() noexcept {
    if (handle_ != SQL_NULL_HANDLE) {
        SQLFreeHandle(type_, handle_);
        handle_ = SQL_NULL_HANDLE;
    }
}

EnvHandle& EnvHandle::operator=(EnvHandle&& other) noexcept {
    if (this != &other) {
        free();
        swap(other);
    }
    return *this;
}

EnvHandle EnvHandle::create() {
    EnvHandle env;
    env.allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    env.check(SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION,
                            reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0));
    return env;
}

DbcHandle::DbcHandle(DbcHandle&& other) noexcept
    : OdbcHandle(std::move(other)), connected_(std::exchange(other.connected_, false)) {}

DbcHandle& DbcHandle::operator=(DbcHandle&& other) noexcept {
    if (this != &other) {
        reset();
        swap(other);
        connected_ = std::exchange(other.connected_, false);
    }
    return *this;
}

DbcHandle DbcHandle::create(const EnvHandle& env) {
    DbcHandle dbc;
    dbc.allocate(env.type(), env.get());
    return dbc;
}

SQLRETURN DbcHandle::connect(const QString& connectString) {
    // An unreachable host must not hold the window for minutes.
    SQLSetConnectAttr(get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(kLoginTimeoutSeconds)), 0);
    const SQLRETURN rc = check(SQLDriverConnectW(get(), nullptr, odbcText(connectString), SQL_NTS,
                                                 nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    if (rc == SQL_NO_DATA)  // a dialog was cancelled, which never happens without prompting
        throw DbError(kErrOdbcCall, QStringLiteral("The connection was cancelled."));
    connected_ = true;
    return rc;
}

void DbcHandle::reset() noexcept {
    if (connected_) {
        SQLDisconnect(get());
        connected_ = false;
    }
    free();
}

StmtHandle& StmtHandle::operator=(StmtHandle&& other) noexcept {
    if (this != &other) {
        free();
        swap(other);
    }
    return *this;
}

StmtHandle StmtHandle::create(const DbcHandle& dbc) {
    StmtHandle stmt;
    stmt.allocate(dbc.type(), dbc.get());
    return stmt;
}

}  // namespace qv
