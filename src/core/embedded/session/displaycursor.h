#pragma once

#include "core/sql/sqltokens.h"

#include <QString>
#include <QStringList>

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace qv::embedded {

class Session;

// What SELECT * FROM TABLE(DBMS_XPLAN.DISPLAY_CURSOR[(sql_id, cursor_child_no, format)]) asks.
struct CursorDisplay {
    std::optional<QString> sqlId;  // nullopt: the statement the session ran last
    std::optional<int64_t> child;  // nullopt: every child (the engine keeps child 0 alone)
    bool basic = false;            // BASIC: no figures, no predicates
    bool runtime = false;          // ALLSTATS, IOSTATS, RUNSTATS_LAST...: the run's figures
    bool cost = false;             // the estimates shown beside the run's figures (+COST)
    bool bytes = false;            // (+BYTES)
    bool predicates = true;        // -PREDICATE leaves them out
    bool notes = true;             // -NOTE leaves them out
};

// The request when the query is SELECT * (or PLAN_TABLE_OUTPUT) FROM TABLE([SYS.]DBMS_XPLAN.
// DISPLAY_CURSOR[(...)]) [alias], its arguments literals or NULL, by position or by name (SQL_ID,
// CURSOR_CHILD_NO, FORMAT); nullopt for any other statement. Throws DbError(kErrOdbcCall) with
// ORA-00900 for arguments it cannot read.
std::optional<CursorDisplay> readCursorDisplay(const std::vector<sql::Token>& tokens);

// The lines DBMS_XPLAN.DISPLAY_CURSOR prints for the cursor asked for, found among those the
// sessions on `db`'s database keep (`session`'s own first): "SQL_ID  id, child number 0", the
// statement, "Plan hash value: N", the table of the plan as the engine draws it now on `db`
// (Id, Operation, Name, then Rows, Bytes and Cost; or, for the run's figures, Starts, E-Rows,
// [E-Bytes, Cost,] A-Rows, Buffers and Reads, of the last execution: a column without a figure
// on any line is left out), the predicates, and Oracle's notes (the run's figures not collected,
// a plan made by rule). Oracle's "cannot be found" line for a cursor the engine does not keep,
// and its note that the plan cannot be fetched for one whose plan can no longer be drawn.
QStringList cursorDisplayLines(sqlite3* db, const Session& session, const CursorDisplay& request);

}  // namespace qv::embedded
