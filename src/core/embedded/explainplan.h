#pragma once

#include "core/embedded/sqltokens.h"

#include <QString>

#include <sqlite3.h>

#include <vector>

namespace qv::embedded {

// One line of SQLite's EXPLAIN QUERY PLAN output.
struct EqpLine {
    int id;
    int parent;
    QString detail;
};

// One row the engine writes into a plan table.
struct PlanRow {
    int id = 0;
    int parentId = -1;  // -1 for the root: written as NULL
    int position = 0;
    QString operation;
    QString options;      // empty: NULL
    QString objectOwner;  // empty: NULL
    QString objectName;   // empty: NULL
};

// Oracle-like plan rows from SQLite's plan of `statement` (the text as the user wrote it, read
// for the statement kind and table aliases). Ids are given depth-first from the root (id 0), so
// ordering by id gives tree order. SQLite's lines map as follows:
//   SCAN t                            TABLE ACCESS FULL t
//   SCAN t USING INDEX i              TABLE ACCESS BY INDEX ROWID t + INDEX FULL SCAN i
//   SEARCH t USING INDEX i (a=?)      TABLE ACCESS BY INDEX ROWID t + INDEX RANGE SCAN i
//   ... USING COVERING INDEX i        INDEX FULL SCAN / RANGE SCAN i alone
//   SEARCH t USING INTEGER PRIMARY KEY  TABLE ACCESS BY ROWID [RANGE] t
//   SEARCH t USING AUTOMATIC ... INDEX  TABLE ACCESS BY AUTOMATIC INDEX t
//   SCAN t VIRTUAL TABLE ...          FIXED TABLE FULL t
//   SCAN CONSTANT ROW                 FAST DUAL
//   USE TEMP B-TREE FOR ORDER BY / GROUP BY / DISTINCT   SORT ORDER BY / GROUP BY / UNIQUE
//   SCAN of a subquery or CTE         VIEW name
// Any other line keeps SQLite's words as its operation. Loops listed one after another under
// the same parent are nested loops, outermost first. Tables and indexes are owned by MAIN.
// Cannot fail.
std::vector<PlanRow> translatePlan(const QString& statement, const std::vector<EqpLine>& eqp);

// What an EXPLAIN PLAN statement asks for.
struct ExplainRequest {
    QString statementId;  // empty: NULL
    QString table;        // as SQLite reads it; PLAN_TABLE when none was named
    QString statement;    // the statement to explain, as written
};

// True for EXPLAIN PLAN (Oracle's form; SQLite's EXPLAIN QUERY PLAN is not). Cannot fail.
bool isExplainPlan(const std::vector<Token>& tokens);

// Reads "EXPLAIN PLAN [SET STATEMENT_ID = 'id'] [INTO table] FOR statement".
// Throws DbError(kErrOdbcCall, "ORA-00905: missing keyword") when it is malformed.
ExplainRequest parseExplainPlan(const QString& sql, const std::vector<Token>& tokens);

// Writes the plan of `sqliteStatement` (the request's statement rewritten for SQLite) into the
// request's plan table, with `optimizer` on the root row; all rows or none.
// Throws DbError(kErrOdbcCall): "ORA-02404: ..." when the plan table does not exist; SQLite's
// message when the statement cannot be explained or the rows cannot be written.
void writePlan(sqlite3* db, const ExplainRequest& request, const QString& sqliteStatement,
               const QString& optimizer);

}  // namespace qv::embedded
