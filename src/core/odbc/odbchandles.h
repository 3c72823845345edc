#pragma once

#include "core/db/database.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <QList>
#include <QString>

namespace qv {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC API must be UTF-16");

// How long a connection attempt may wait for the server.
inline constexpr int kLoginTimeoutSeconds = 30;

// The warnings among `records`: every record but a value cut into pieces (01004), which is
// how long values are read, not news for the user.
QStringList warningTexts(const QList<DiagRecord>& records);

// The checked call every ODBC call goes through: returns rc when it is SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO or SQL_NO_DATA. Throws DbError(kErrOdbcCall) carrying every diagnostic
// record of `handle` for any other return code.
SQLRETURN odbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);

// The diagnostic records `handle` holds now, in the driver's order (at most 64). Never throws.
QList<DiagRecord> odbcDiagRecords(SQLSMALLINT handleType, SQLHANDLE handle);

// The text as the wide API takes it; valid while `text` lives and is unchanged. Never throws.
inline SQLWCHAR* odbcText(const QString& text) {
    return reinterpret_cast<SQLWCHAR*>(
        const_cast<char16_t*>(reinterpret_cast<const char16_t*>(text.utf16())));
}

// The text of `length` UTF-16 units the wide API gave. Never throws.
inline QString fromOdbcText(const SQLWCHAR* text, qsizetype length) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

// A name or message the driver wrote into `buffer`, whose length it reported as `reported`.
// unixODBC reports the byte length for drivers without the wide API, so the text ends at its
// terminator. Never throws.
inline QString fromOdbcBuffer(const SQLWCHAR* buffer, qsizetype reported, qsizetype capacity) {
    qsizetype length = 0;
    const qsizetype limit = qMin(reported, capacity - 1);
    while (length < limit && buffer[length] != 0)
        ++length;
    return fromOdbcText(buffer, length);
}

// An owned ODBC handle; moving transfers ownership. The owners below free it when destroyed,
// and destruction never throws.
class OdbcHandle {
  public:
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;

    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }

    // odbcCheck on this handle's diagnostics.
    SQLRETURN check(SQLRETURN rc) const { return odbcCheck(rc, type_, handle_); }

  protected:
    explicit OdbcHandle(SQLSMALLINT type) : type_(type) {}
    OdbcHandle(OdbcHandle&& other) noexcept;
    ~OdbcHandle();
    void swap(OdbcHandle& other) noexcept;
    // Allocates a handle of this type under `parent`; throws DbError(kErrOdbcCall).
    void allocate(SQLSMALLINT parentType, SQLHANDLE parent);
    void free() noexcept;

  private:
    SQLSMALLINT type_;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// An environment with ODBC 3 behaviour.
class EnvHandle : public OdbcHandle {
  public:
    EnvHandle() : OdbcHandle(SQL_HANDLE_ENV) {}
    EnvHandle(EnvHandle&&) noexcept = default;
    EnvHandle& operator=(EnvHandle&& other) noexcept;
    ~EnvHandle() = default;

    // Throws DbError(kErrOdbcCall) when the driver manager cannot give an environment.
    static EnvHandle create();
};

// A connection; it is disconnected before it is freed.
class DbcHandle : public OdbcHandle {
  public:
    DbcHandle() : OdbcHandle(SQL_HANDLE_DBC) {}
    DbcHandle(DbcHandle&& other) noexcept;
    DbcHandle& operator=(DbcHandle&& other) noexcept;
    ~DbcHandle() { reset(); }

    // Throws DbError(kErrOdbcCall) when no connection handle can be allocated.
    static DbcHandle create(const EnvHandle& env);
    // Connects without prompting; throws DbError(kErrOdbcCall) with the manager's or the
    // driver's records when the connection cannot be made.
    // SQL_SUCCESS_WITH_INFO when the connection came with warnings (in this handle's records).
    SQLRETURN connect(const QString& connectString);
    bool connected() const { return connected_; }
    // Disconnects and frees the handle.
    void reset() noexcept;

  private:
    bool connected_ = false;
};

// A statement; freeing it closes its cursor.
class StmtHandle : public OdbcHandle {
  public:
    StmtHandle() : OdbcHandle(SQL_HANDLE_STMT) {}
    StmtHandle(StmtHandle&&) noexcept = default;
    StmtHandle& operator=(StmtHandle&& other) noexcept;
    ~StmtHandle() = default;

    // Throws DbError(kErrOdbcCall) when the connection refuses another statement.
    static StmtHandle create(const DbcHandle& dbc);
    void reset() noexcept { free(); }
};

}  // namespace qv
