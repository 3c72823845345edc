#pragma once

#include "core/db/bindvalue.h"
#include "core/odbc/odbchandles.h"

#include <QString>

#include <vector>

namespace qv {

// A statement's bind variables as an ODBC driver takes them: the text with a "?" marker in place
// of each placeholder (found on the tokens, so nothing in a literal, a quoted name or a comment
// is touched) and one parameter per marker, a variable written twice bound twice. The buffers
// never move once made, so the driver may read them until this is destroyed, which must not
// happen before the statement is done with them.
class OdbcParameters {
  public:
    // Throws DbError before anything is sent: ORA-01008 for a placeholder without a value in
    // `binds`, ORA-01722 for a NUMBER that is no number, ORA-01861 for a DATE or TIMESTAMP that is
    // none;
    // each names the variable.
    OdbcParameters(const QString& sql, const BindList& binds);
    OdbcParameters(const OdbcParameters&) = delete;
    OdbcParameters& operator=(const OdbcParameters&) = delete;

    // The statement with its markers.
    const QString& sql() const { return sql_; }
    size_t count() const { return parameters_.size(); }
    // Binds every parameter on `stmt`; throws DbError(kErrOdbcCall) when the driver refuses one.
    void bindTo(const StmtHandle& stmt);

  private:
    struct Parameter {
        SQLSMALLINT valueType = SQL_C_WCHAR;
        SQLSMALLINT parameterType = SQL_VARCHAR;
        SQLULEN columnSize = 1;
        SQLSMALLINT decimalDigits = 0;
        QString text;  // SQL_C_WCHAR
        SQL_TIMESTAMP_STRUCT timestamp{};
        SQLLEN indicator = 0;
    };

    static Parameter parameterOf(const BindValue& value);

    QString sql_;
    std::vector<Parameter> parameters_;
};

}  // namespace qv
