#pragma once

#include "core/embedded/translate/oracledialect.h"
#include "core/sql/sqltokens.h"

#include <QString>
#include <QStringList>

#include <sqlite3.h>

#include <array>
#include <optional>
#include <vector>

namespace qv::embedded {

// What SELECT * FROM TABLE(DBMS_XPLAN.DISPLAY[(table_name, statement_id, format)]) asks for.
struct XplanRequest {
    QString table = QStringLiteral("PLAN_TABLE");  // as named, unquoted
    QString schema;                                // empty when none was named
    std::optional<QString> statementId;            // nullopt: the latest plan explained
    bool basic = false;                            // format 'BASIC': no figures, no predicates
};

// The request when the query is SELECT * (or PLAN_TABLE_OUTPUT) FROM TABLE([SYS.]DBMS_XPLAN.
// DISPLAY[(...)]) [alias], its arguments literals or NULL, by position or by name (TABLE_NAME,
// STATEMENT_ID, FORMAT; FILTER_PREDS is not understood); nullopt for any other statement.
// Throws DbError(kErrOdbcCall) with ORA-00900 for DBMS_XPLAN's other functions, and for
// arguments it cannot read.
// A query SELECT * (or PLAN_TABLE_OUTPUT) FROM TABLE([SYS.]DBMS_XPLAN.function[(...)]) [alias]:
// the function as written and the tokens [first, last) of its arguments (empty when none).
struct XplanCall {
    QStringView function;
    size_t first = 0;
    size_t last = 0;
};

// The call when the query is one; nullopt for any other statement. Throws DbError(kErrOdbcCall)
// with ORA-00900 when what follows the function's name is no argument list.
std::optional<XplanCall> readXplanCall(const std::vector<sql::Token>& tokens);

std::optional<XplanRequest> readXplanDisplay(const std::vector<sql::Token>& tokens);

// The literal arguments of DBMS_XPLAN's `function` between `first` and `last`, by position or by
// their `names` (NAME => value): each position's value, nullopt for NULL, '' or none given.
// Throws DbError(kErrOdbcCall) with ORA-00900 for an argument it cannot read.
std::vector<std::optional<QString>> xplanArguments(const std::vector<sql::Token>& t, size_t first,
                                                   size_t last,
                                                   const std::array<const char16_t*, 3>& names,
                                                   const QString& function);

// The lines DBMS_XPLAN.DISPLAY prints for the plan table's rows of the latest statement explained
// (with that statement id, when one is asked for), as Oracle lays them out: "Plan hash value: N",
// the table of Id, Operation, Name, Rows, Bytes and Cost (a column whose figures the table does
// not hold is left out, as Oracle leaves out %CPU and Time without CPU costing), "*" on the ids
// of lines with predicates, then "Predicate Information (identified by operation id):" with each
// line's access and filter. An empty line stands for an empty (NULL) output row. Oracle's error
// lines when there is no such plan. Throws DbError(kErrOdbcCall) with ORA-00942 when the table
// does not exist; ORA-04030 when the text would pass the longest value `db` takes
// (SQLITE_LIMIT_LENGTH), before it is made; ORA-01013 once `stopped` says so. Takes time and
// memory in proportion to the text it makes.
QStringList xplanLines(sqlite3* db, const XplanRequest& request, const StopCheck& stopped = {});

// Keeps `lines` in the connection's own temporary table QV$PLAN_OUTPUT, in place of what an
// earlier call kept there, and returns a query whose rows are `lines`, in order, in one column
// PLAN_TABLE_OUTPUT. Run with the engine's rights. Throws sqlite::Error.
QString linesQuery(sqlite3* db, const QStringList& lines);

}  // namespace qv::embedded
