#pragma once

// A scenario: what the scripted Oracle driver answers, read from a JSON file. The driver matches
// each statement's text exactly and hands out the answer written for it; it computes nothing.

#include <sql.h>
#include <sqlext.h>

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace oradriver {

// One diagnostic record as Oracle's driver gives it: SQLSTATE, native error and message.
struct Diag {
    QString state;
    SQLINTEGER native = 0;
    QString message;
};

// A column as Oracle's ODBC driver describes it (SQLDescribeColW) for an Oracle type.
struct Column {
    QString name;
    QString oracleType;  // as the scenario writes it: NUMBER(10,2), VARCHAR2(30), CLOB...
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    bool binary = false;  // RAW, LONG RAW, BLOB: values are written in hex
};

// The description of `oracleType`, or none for a type the driver does not know.
std::optional<Column> describeOracleType(const QString& name, const QString& oracleType);

using Value = std::optional<QString>;  // none: NULL
using Row = std::vector<Value>;

// What one execution of a statement gets.
struct Answer {
    std::vector<Column> columns;  // none: a statement without a result set
    std::vector<Row> rows;
    qsizetype repeatRows = 1;  // the rows given, this many times over
    SQLLEN rowCount = 0;       // rows changed, for a statement without a result set
    std::optional<Diag> error;
    std::optional<Diag> warning;
    bool blockUntilCancel = false;
    // The answer when the driver scans the text for ODBC escape sequences (SQL_NOSCAN_OFF).
    std::shared_ptr<Answer> whenScanned;

    qsizetype rowTotal() const { return qsizetype(rows.size()) * repeatRows; }
};

// What one connection is on the server: the instance and the session it opened.
struct Session {
    int instance = 1;
    int sid = 0;
};

class Scenario {
  public:
    // Reads `path`; throws std::runtime_error saying what is wrong with it.
    explicit Scenario(const QString& path);

    const QString& path() const { return path_; }
    // The session the `n`th connection (from 0) to this scenario gets: they are taken in turn.
    Session session(int n) const { return sessions_[size_t(n) % sessions_.size()]; }
    const std::optional<Diag>& loginWarning() const { return loginWarning_; }
    // The answer to the `occurrence`th execution (from 0) of `sql` on a connection to
    // `instance`: the answers written for that text on that instance, else for that text, in
    // turn, the last one again after them. Null when none is written.
    const Answer* answer(const QString& sql, int instance, int occurrence) const;

  private:
    QString path_;
    std::vector<Session> sessions_;
    std::optional<Diag> loginWarning_;
    // By text, or by "@<instance> " and the text for an answer of one instance only.
    QHash<QString, std::vector<std::shared_ptr<Answer>>> answers_;
};

// The scenario of `path`, read once per process. Throws std::runtime_error.
std::shared_ptr<const Scenario> loadScenario(const QString& path);

// A diagnostic as Oracle's driver words it: a server's "ORA-00942: ..." as
// "[Oracle][ODBC][Ora]ORA-00942: ..." with the ORA number as the native error, any other
// message as the driver's own ("[Oracle][ODBC]...", native 0).
Diag oracleError(const QString& state, const QString& message);

}  // namespace oradriver
