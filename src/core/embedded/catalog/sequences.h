#pragma once

// Oracle's sequences, kept in the catalog's "QV$SEQUENCES" (catalog.h), so that a value handed out
// is never handed out again, also after the file is opened anew:
//   CREATE SEQUENCE s [START WITH n] [INCREMENT BY n] [MINVALUE n | NOMINVALUE]
//       [MAXVALUE n | NOMAXVALUE] [CACHE n | NOCACHE] [CYCLE | NOCYCLE] [ORDER | NOORDER]
//   ALTER SEQUENCE s (the same but START WITH, ORA-02283; RESTART [START WITH n] as Oracle 18),
//   DROP SEQUENCE s (ORA-02289); CREATE and DROP with IF [NOT] EXISTS as Oracle 23
// s.NEXTVAL and s.CURRVAL are written by the translation as qv_nextval('S') and qv_currval('S')
// (one NEXTVAL per row: the first mention of a sequence in a statement that asks for its
// NEXTVAL is the call that moves it, every other mention reads CURRVAL). qv_nextval writes the
// next value at once, with the engine's rights; as in Oracle a ROLLBACK does not take it back
// (what the file lost with the transaction the session still remembers). CURRVAL before the
// session's first NEXTVAL is ORA-08002; past MAXVALUE (or below MINVALUE) without CYCLE ORA-08004.
// USER_SEQUENCES shows them (dictionaryviews.h); every value is written as it is handed out, so
// LAST_NUMBER is the next value, as Oracle's is for a NOCACHE sequence (CACHE n is taken and
// kept, but no values are held back in memory).

#include "core/embedded/catalog/catalog.h"
#include "core/sql/sqltokens.h"

#include <sqlite3.h>

#include <vector>

namespace qv::embedded {

// Runs CREATE, ALTER or DROP SEQUENCE in tokens [0, end) and returns true; false for any other
// statement. Throws DbError with Oracle's error.
bool runSequenceCommand(const Catalog& catalog, const std::vector<sql::Token>& t, size_t end);

// Registers qv_nextval and qv_currval on `db`, for one session, checked by `sandbox`, which
// outlives the handle. Returns SQLite's result code.
int registerSequenceFunctions(sqlite3* db, Sandbox& sandbox);

}  // namespace qv::embedded
