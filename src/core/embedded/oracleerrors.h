#pragma once

#include "core/db/dberror.h"

#include <QByteArray>
#include <QString>

namespace qv::embedded {

// A failure the engine reports in Oracle's words, e.g. (2404, "ORA-02404: ..."). Cannot fail.
DbError oracleError(int oracleCode, const QString& message);

// ORA-00900 for a statement the engine refuses rather than run as something else; `why` says
// what it does not take. Cannot fail.
DbError invalidStatement(const QString& why);

// What the engine answers to a statement that would reach other files or the schema itself.
DbError insufficientPrivileges();

// Oracle's error for a failure SQLite reported: its extended result code, its message, and,
// for a statement that failed to compile, the statement and the byte offset of the error (-1
// when unknown). Code 0 when Oracle has no equivalent. Cannot fail.
struct OracleFailure {
    int code = 0;
    QString message;  // "ORA-nnnnn: Oracle's words (SQLite's words)"
};
OracleFailure oracleFailure(int extendedCode, const QString& message, const QByteArray& sql = {},
                            int offset = -1);

}  // namespace qv::embedded
