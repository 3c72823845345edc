#pragma once

#include <QByteArray>
#include <QString>

namespace qv::embedded {

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
