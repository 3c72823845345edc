#pragma once

#include "core/embedded/plan/steering.h"
#include "core/sql/sqltokens.h"

#include <QString>

#include <functional>
#include <memory>

#include <sqlite3.h>

#include <vector>

namespace qv::embedded {

using sql::Token;

// What an EXPLAIN PLAN statement asks for.
struct ExplainRequest {
    QString statementId;  // empty: NULL
    QString schema;       // as named; empty when none was
    QString name;         // the table's name as named, PLAN_TABLE when none was
    QString table;        // [schema.]name quoted as SQL reads it
    int statementAt = 0;  // where the statement to explain begins in the client's text
};

// True for EXPLAIN PLAN (Oracle's form; SQLite's EXPLAIN QUERY PLAN is not). Cannot fail.
bool isExplainPlan(const std::vector<Token>& tokens);

// Reads "EXPLAIN PLAN [SET STATEMENT_ID = 'id'] [INTO [schema.]table] FOR statement".
// Throws DbError(kErrOdbcCall, "ORA-00905: missing keyword") when it is malformed.
ExplainRequest parseExplainPlan(const std::vector<Token>& tokens);

// The Oracle query whose SQLite plan stands under the plan of `statement` (planstatements.h): the
// statement itself (null), or the query a CREATE INDEX, CREATE TABLE ... AS or MERGE reads, a
// text of its own; an empty text for a CREATE TABLE without a query. Throws DbError(kErrOdbcCall)
// with ORA-00900 for a statement EXPLAIN PLAN does not take, and a MERGE's or CREATE INDEX's
// syntax error.
std::unique_ptr<const ParsedStatement> explainedQuery(const ParsedStatement& statement);

// Oracle's PLAN_TABLE, which every Oracle session has (a global temporary table since 10g): made
// as the session's own temporary table when a statement names it (or DBMS_XPLAN, which reads
// it) and the file has no table of that name. A DELETE FROM a plan table of the file works on
// the session's own copy, made here (the rows EXPLAIN PLAN writes are the session's alone). Run
// with the engine's rights. Throws sqlite::Error when it cannot be made.
void providePlanTable(sqlite3* db, const std::vector<Token>& tokens);

// Writes the plan of `explained` (the statement EXPLAIN PLAN names), which SQLite runs as
// `steering`'s text (explainedQuery() rewritten for SQLite and steered, steering.h; empty: none),
// into the session's own rows of the request's plan table (a temporary table of the same name that
// this connection alone reads and writes, made on first use): SQLite's plan drawn as Oracle's
// (translatePlan(), planbuilder.h), the objects owned by `owner`, with the steering's goal on the
// root row, and each line's predicates when the table has Oracle's ACCESS_PREDICATES and
// FILTER_PREDICATES columns; the hints' usage as Oracle 19c keeps it, a <hint_usage> in the root
// row's OTHER_XML, when the table has that column and the statement has hints. A plan made by rule
// has no cost, cardinality or bytes (NULL). All rows or none. Throws DbError(kErrOdbcCall):
// "ORA-02404: ..." when the plan table does not exist; SQLite's message when the statement cannot
// be explained or the rows cannot be written. `drawn`, when given, is called once the plan is
// drawn, before its rows are written (what stood in the schema for the drawing alone goes then).
void writePlan(sqlite3* db, const ExplainRequest& request, const ParsedStatement& explained,
               const Steering& steering, const QString& owner,
               const std::function<void()>& drawn = {});

}  // namespace qv::embedded
