#pragma once

#include "core/db/bindvalue.h"
#include "core/sqlite/sqlite.h"

namespace qv::embedded {

// Gives every parameter of `stmt` (just compiled, not yet stepped) the value of `binds` of its
// name, compared without regard to case as Oracle compares a bind variable's name ("1" for
// ":1"), each in the form the engine stores: a VARCHAR2 as text, a NUMBER as an integer or a
// real, a DATE as the engine's date text; an empty value, and a NULL one, as NULL (Oracle's
// empty string). Values in `binds` that no parameter names are not used.
// Throws DbError(kErrOdbcCall): ORA-01008 when a parameter has no value (a bare "?" never has
// one), ORA-01722 for a NUMBER that is no number, the error TO_DATE gives for a DATE that does
// not read as YYYY-MM-DD [HH24:MI:SS] (ORA-01861, ORA-01843, ...); nothing is bound then.
void bindValues(sqlite::Statement& stmt, const BindList& binds);

}  // namespace qv::embedded
