#pragma once

// Oracle's sequences, kept in the catalog's "QV$SEQUENCES" (catalog.h), so that a value handed out
// is never handed out again, also after the file is opened anew:
//   CREATE SEQUENCE s [START WITH n] [INCREMENT BY n] [MINVALUE n | NOMINVALUE]
//       [MAXVALUE n | NOMAXVALUE] [CACHE n | NOCACHE] [CYCLE | NOCYCLE] [ORDER | NOORDER]
//   ALTER SEQUENCE s (the same but START WITH, ORA-02283; RESTART [START WITH n] as Oracle 18),
//   DROP SEQUENCE s (ORA-02289); CREATE and DROP with IF [NOT] EXISTS as Oracle 23
// s.NEXTVAL and s.CURRVAL are written by the translation as qv_nextval('S') and qv_currval('S')
// (one NEXTVAL per row: the first mention of a sequence in a statement that asks for its
// NEXTVAL is the call that moves it, every other mention reads CURRVAL). CURRVAL before the
// session's first NEXTVAL is ORA-08002; past MAXVALUE (or below MINVALUE) without CYCLE
// ORA-08004. Without MAXVALUE a sequence ends at the engine's last 64-bit value (USER_SEQUENCES
// shows Oracle's 28 nines, dictionaryviews.h).
//
// As Oracle's, a sequence stands outside transactions: a value handed out is never handed out
// again, whatever becomes of the transaction it was handed out in (sequencevalues.cpp). The
// sessions of a process hand out values from memory that the process shares, as an instance's
// sequence cache; LAST_NUMBER is where the values the process has reserved in the file end (CACHE
// n values at a time, at least one; more at a time for a statement that asks for many, so that
// one SELECT of many values does not write the file per value). SQLite has one writer per file
// and a connection's writes belong to its transaction, so the reservation is written on the
// session's connection; a rollback that takes it back is written again at once on a connection
// of the engine's own, and so is everything when a session closes; the last session of the
// process on the file gives back what it reserved and did not hand out.
// Not as Oracle: processes working on one file at once share no memory, so each reserves its
// own values (never the same ones while the file keeps their reservations); a process that
// dies in the middle of a transaction that reserved values leaves them to be handed out again.

#include "core/embedded/catalog/catalog.h"
#include "core/sql/sqltokens.h"

#include <sqlite3.h>

#include <vector>

namespace qv::embedded {

// Runs CREATE, ALTER or DROP SEQUENCE in tokens [0, end) and returns true; false for any other
// statement. Throws DbError with Oracle's error.
bool runSequenceCommand(const Catalog& catalog, const std::vector<sql::Token>& t, size_t end);

// Registers qv_nextval and qv_currval on `db`, for one session, checked by `sandbox`, which
// outlives the handle, and the connection's rollback hook. Returns SQLite's result code.
int registerSequenceFunctions(sqlite3* db, Sandbox& sandbox);

}  // namespace qv::embedded
