#pragma once

// The scripted Oracle driver's handles and what its entry points share: the diagnostics each
// handle keeps, the call log, text in and out of the wide API.

#include "oracledriver/scenario.h"

#include <sqlucode.h>

#include <QString>

#include <condition_variable>
#include <map>
#include <mutex>

namespace oradriver {

struct Handle {
    std::vector<Diag> diags;
    // Each call starts with no records.
    void begin() { diags.clear(); }
    SQLRETURN fail(const QString& state, const QString& message) {
        diags.push_back(Diag{state, 0, QStringLiteral("[Oracle][ODBC]") + message});
        return SQL_ERROR;
    }
};

struct Env : Handle {};

struct Conn : Handle {
    std::shared_ptr<const Scenario> scenario;
    Session session;
    QString logPath;
    QString name;   // "c1", "c2"... in the order of connection to its log
    int slot = -1;  // the scenario's session it holds while connected
    QStringList beforeConnecting;
    bool autoCommit = true;
    // BTD=T in the connect string: SQL_TYPE_TIMESTAMP parameters are bound as Oracle DATE.
    bool bindTimestampAsDate = false;
    int statements = 0;
    std::map<QString, int> executions;  // of each text, to take its answers in turn
};

struct Stmt : Handle {
    Conn* conn = nullptr;
    QString name;  // "c1.3": the third statement of connection c1
    bool noScan = false;
    SQLULEN rowsetSize = 1;
    SQLULEN* rowsFetched = nullptr;

    // The result of the last execution.
    const Answer* answer = nullptr;
    qsizetype next = 0;                  // the row the next fetch starts at
    qsizetype current = -1;              // the row SQLGetData reads
    std::map<int, qsizetype> readBytes;  // of each column of the current row, for pieces

    // A running statement waits here for SQLCancel from another thread.
    std::mutex mutex;
    std::condition_variable cancelled;
    bool running = false;
    bool cancelRequested = false;

    bool hasResult() const { return answer && !answer->columns.empty(); }
    const Row& row(qsizetype n) const { return answer->rows[size_t(n) % answer->rows.size()]; }
};

// Appends one line to the connection's call log: "<handle name> <call> <details>". The log is
// the file the connect string's LOG= names, else QUERVIN_ORACLE_LOG; no file, no log.
void logCall(const QString& logPath, const QString& who, const QString& line);
// Before the connection is made its calls wait, to be logged as it connects.
inline void logCall(Conn& c, const QString& line) {
    if (c.name.isEmpty())
        c.beforeConnecting << line;
    else
        logCall(c.logPath, c.name, line);
}
inline void logCall(const Stmt& s, const QString& line) {
    logCall(s.conn->logPath, s.name, line);
}
QString cTypeName(SQLSMALLINT cType);
// A text on one line of the log: backslash, line feed, carriage return and tab escaped as in C.
QString logText(const QString& text);

QString fromWide(const SQLWCHAR* text, SQLINTEGER length);
// Writes `text` into a caller's buffer of `capacity` bytes as UTF-16 with its terminator; the
// text's whole length in bytes goes to `length`. SQL_SUCCESS_WITH_INFO (01004) when cut.
SQLRETURN putText(Handle& h, const QString& text, SQLPOINTER buffer, SQLLEN capacity,
                  SQLLEN* length);

// The value a handle's owner keeps a pointer to as an SQLLEN or SQLULEN in an attribute call.
inline SQLULEN attributeValue(SQLPOINTER value) {
    return SQLULEN(reinterpret_cast<uintptr_t>(value));
}

}  // namespace oradriver
