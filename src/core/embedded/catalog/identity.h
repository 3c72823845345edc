#pragma once

// Oracle's identity columns: a column GENERATED ALWAYS | BY DEFAULT [ON NULL] AS IDENTITY takes
// the next value of a sequence of its own, named ISEQ$$_n as Oracle names it, made and dropped
// with the column. The catalog keeps which column it is in "QV$IDENTITY_COLS" (TABLE_NAME,
// COLUMN_NAME, SEQUENCE_NAME, GENERATION_TYPE ALWAYS or BY DEFAULT, DEFAULT_ON_NULL YES or NO,
// START_WITH as the options last gave it), made the first time a table has one. The column itself
// is an ordinary NOT NULL column of SQLite's: the translation of INSERT gives it the sequence's
// NEXTVAL where the statement leaves it out (ColumnFacts in oracledialect.h), and refuses a value
// for a GENERATED ALWAYS column (ORA-32795, ORA-32796), so the values stand outside transactions
// as every sequence's do (sequences.h). The sequence is not the user's to alter or drop
// (ORA-32793, ORA-32794).

#include "core/embedded/catalog/catalog.h"
#include "core/embedded/catalog/tabledef.h"

#include <QString>

#include <optional>

namespace qv::embedded {

inline const QString kIdentityTable = QStringLiteral("QV$IDENTITY_COLS");

struct IdentityColumn {
    QString table;     // upper case, as the catalog keeps names
    QString column;    // upper case
    QString sequence;  // ISEQ$$_n
    bool always = true;
    bool onNull = false;
};

// The identity column of `table`, nullopt when it has none. Throws sqlite::Error.
std::optional<IdentityColumn> identityOf(const Catalog& catalog, const QString& table);
// Whether the sequence `name` is an identity column's. Throws sqlite::Error.
bool isIdentitySequence(const Catalog& catalog, const QString& name);

// Checks the identity columns of `def` before anything is made: one per table with the one it
// has already (`existing`, ORA-30669), of a numeric type (ORA-30675), without a default
// (ORA-30674).
void checkIdentity(const TableDef& def, bool existing = false);
// Makes the sequence of `def`'s identity column and the catalog's row for it, for a new table or
// a column added. Throws DbError with Oracle's error, sqlite::Error.
void makeIdentity(const Catalog& catalog, const TableDef& def);

// Gives every row of `table` its identity column's next value (ALTER TABLE ADD of one).
void numberRows(const Catalog& catalog, const QString& table);

// ALTER TABLE t MODIFY column GENERATED ... AS IDENTITY [(options)]: the generation and the
// sequence's options; START WITH n, or START WITH LIMIT VALUE (after the column's highest value,
// the lowest for a descending sequence), restarts it. MODIFY column DROP IDENTITY: the column
// keeps its values and its NOT NULL, the sequence goes. ORA-30673 for a column that is no
// identity column, ORA-30669 for a second one.
void modifyIdentity(const Catalog& catalog, const TableDef& def, const ColumnDef& wanted);

// Drops the identity column of `table` (when `column` is empty or names it) and its sequence.
void forgetIdentity(const Catalog& catalog, const QString& table, const QString& column = {});
// Follows a table's or a column's new name.
void renameIdentity(const Catalog& catalog, const QString& table, const QString& newTable,
                    const QString& column = {}, const QString& newColumn = {});

}  // namespace qv::embedded
