#pragma once

// The DDL a DBA's schema script is made of, carried out by the engine itself rather than handed
// to SQLite as written (catalog.h says where what SQLite cannot hold is kept):
//   CREATE TABLE (constraints inline and out of line, named or given SYS_C names; identity
//   columns, identity.h; Oracle's storage options passed over; ORGANIZATION INDEX as WITHOUT
//   ROWID; AS query), DROP TABLE [CASCADE CONSTRAINTS] [PURGE]              (schematables.cpp)
//   ALTER TABLE ADD | MODIFY | DROP | RENAME | ENABLE | DISABLE ...           (schemaalter.cpp)
//   CREATE [UNIQUE] INDEX, DROP INDEX, CREATE [OR REPLACE] [FORCE] VIEW, DROP VIEW, CREATE | ALTER
//   | DROP SEQUENCE, COMMENT ON TABLE | COLUMN, COMMIT [WORK], ROLLBACK [WORK]  (schemaobjects.cpp)
// Each runs inside one savepoint: a statement that fails leaves the schema as it was.

#include "core/embedded/catalog/catalog.h"
#include "core/embedded/catalog/tabledef.h"
#include "core/embedded/translate/oracledialect.h"

#include <QString>

#include <vector>

namespace qv::embedded {

// Runs `sql` when it is one of the statements above and returns true; false for any other
// statement. Throws DbError with Oracle's error, sqlite::Error for a failure of SQLite's.
bool runSchemaCommand(const Catalog& catalog, const QString& sql, const std::vector<Token>& t,
                      const StopCheck& stopped);

// ---- Shared by the files that carry them out. ----

// The tokens [0, end) without the trailing ';' and SQL*Plus '/'.
size_t statementEnd(const QString& sql, const std::vector<Token>& t);

// The definition of `table` as SQLite's schema holds it, with the catalog's constraints that
// are not in it (unique constraints, foreign keys, disabled ones). ORA-00942 when there is
// no such table.
TableDef currentTableDef(const Catalog& catalog, const QString& table);

// Makes `def` the definition of its table: a new table with the rows of the old one (the
// columns named in `copied`, new name -> old name), its indexes and triggers made again (those
// that name a dropped column are dropped, as Oracle drops them).
void rebuildTable(const Catalog& catalog, const TableDef& def,
                  const std::vector<std::pair<QString, QString>>& copied);

// Gives every unnamed constraint of `def` from the `from`th on (those before are the table's
// already) a SYS_C name, checks their columns, the foreign keys' parents and Oracle's rule of one
// primary key.
void nameConstraints(const Catalog& catalog, TableDef& def, size_t from = 0);
// Checks a foreign key against its parent: ORA-00942, ORA-02268, ORA-02270; fills in the
// parent's primary key columns when none are named.
void checkParent(const Catalog& catalog, const TableDef* self, ConstraintRow& fk);

// ORA-02437, ORA-02299, ORA-02293, ORA-02298 when the rows of the table break `c`.
void validateRows(const Catalog& catalog, const ConstraintRow& c);

// The unique index of a unique constraint, and the triggers of a foreign key.
void enforceOutside(const Catalog& catalog, const ConstraintRow& c);
void stopEnforcingOutside(const Catalog& catalog, const ConstraintRow& c);

// The [schema.]name at `i` (the schema is the session's own), `i` moved past it. ORA-00903 when
// no name stands there, ORA-01031 for a name of the engine's own objects (schemaobjects.cpp).
QString objectName(const std::vector<Token>& t, size_t& i, size_t end);

// The table after ON of a CREATE INDEX at `i`, `i` moved past it: ORA-00969 without ON, ORA-01702
// for a view, ORA-00942 for what is no table (schemaobjects.cpp).
QString indexedTable(const Catalog& catalog, const std::vector<Token>& t, size_t& i, size_t end);

// Oracle's datatype of a declared type, without its length, precision or scale: NUMBER for
// INTEGER, FLOAT and the other names of a number, VARCHAR2 for VARCHAR, and so on. Empty for a
// type Oracle does not have (SQLite's own TEXT, REAL, BLOB ... of a file another program made).
QString datatypeOf(const QString& declared);

// ALTER TABLE (schemaalter.cpp).
void alterTable(const Catalog& catalog, const QString& sql, const std::vector<Token>& t, size_t end,
                const StopCheck& stopped);

}  // namespace qv::embedded
