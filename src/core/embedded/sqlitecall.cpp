#include "core/embedded/sqlitecall.h"

#include "core/embedded/oracleerrors.h"

namespace qv::embedded {

DbError sqliteError(sqlite3* db, const QByteArray& sql) {
    // A statement stopped by cancel() reads as Oracle reports a cancelled call.
    if (sqlite3_errcode(db) == SQLITE_INTERRUPT)
        return oracleError(1013, QStringLiteral("ORA-01013: user requested cancel of current "
                                                "operation"));
    if (sqlite3_errcode(db) == SQLITE_AUTH)
        return insufficientPrivileges();
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    const OracleFailure oracle = oracleFailure(sqlite3_extended_errcode(db), message, sql,
                                               sql.isEmpty() ? -1 : sqlite3_error_offset(db));
    if (oracle.code != 0)
        return oracleError(oracle.code, oracle.message);
    // SQLSTATE HY000 (general error) carries SQLite's extended code as the native error.
    return DbError(kErrOdbcCall, message,
                   {DiagRecord{QStringLiteral("HY000"), sqlite3_extended_errcode(db), message}});
}

StatementPtr prepareOne(sqlite3* db, const QByteArray& sql) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, &tail) != SQLITE_OK)
        throw sqliteError(db, sql);
    StatementPtr stmt(raw);
    const char* end = sql.constData() + sql.size();
    while (tail && tail < end && (*tail == ' ' || (*tail >= '\t' && *tail <= '\r')))
        ++tail;
    if (tail && tail < end) {
        // Something follows: comments are fine, a second statement is not.
        sqlite3_stmt* next = nullptr;
        const int rc = sqlite3_prepare_v2(db, tail, int(end - tail), &next, nullptr);
        sqlite3_finalize(next);
        if (rc != SQLITE_OK || next != nullptr) {
            throw oracleError(911, QStringLiteral("ORA-00911: invalid character (only one "
                                                  "statement can be run at a time)"));
        }
    }
    return stmt;
}

void execInternal(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw sqliteError(db);
}

}  // namespace qv::embedded
