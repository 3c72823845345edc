#pragma once

// A table's definition read from the tokens of a CREATE TABLE (Oracle's, once translated, or
// SQLite's as its schema keeps it), and written back as SQLite's CREATE TABLE with the
// constraints kept the catalog's way (catalog.h). Every column keeps its declared type and
// COLLATE clause exactly as written.

#include "core/embedded/catalog/catalog.h"
#include "core/sql/sqltokens.h"
#include "core/sql/tokenlist.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace qv::embedded {

// GENERATED [ALWAYS | BY DEFAULT [ON NULL]] AS IDENTITY [(options)], or ALTER TABLE MODIFY's
// DROP IDENTITY (identity.h).
struct IdentityClause {
    bool always = true;
    bool onNull = false;
    bool drop = false;
    QString options;  // the identity options as written, without the parentheses
};

struct ColumnDef {
    QString name;         // as written, without quotes
    QString type;         // as written, may be empty
    QString collate;      // the collation after COLLATE, empty when none
    QString defaultText;  // the expression after DEFAULT as written, empty when none
    bool notNull = false;
    std::optional<IdentityClause> identity;
};

struct TableDef {
    QString name;
    std::vector<ColumnDef> columns;
    std::vector<ConstraintRow> constraints;  // P, U, C, R, names upper case or empty
    bool withoutRowid = false;
    sql::Range query;  // CREATE TABLE ... AS query: the query's tokens

    ColumnDef* column(const QString& name);
    std::optional<ConstraintRow> primaryKey() const;
};

// Reads the definition in tokens [open, last) of `sql`: the parenthesised list at `open` (if
// any) and the options after it. Oracle's storage options are passed over; ORGANIZATION INDEX
// sets withoutRowid. Throws ORA-00907, ORA-00904 or ORA-00900 for what it cannot read.
TableDef readTableDef(const QString& sql, const std::vector<sql::Token>& t, size_t open,
                      size_t last);

// Reads one column definition or out-of-line constraint (an item of the list) into `def`.
void readTableItem(const QString& sql, const std::vector<sql::Token>& t, sql::Range item,
                   TableDef& def);

// The column names of a parenthesised list at `open`, upper case; past its ')' in `next`.
QStringList nameList(const std::vector<sql::Token>& t, size_t open, size_t last, size_t& next);

// SQLite's CREATE TABLE for `def`: its columns, the enabled primary key and checks; unique
// constraints and foreign keys are kept outside it.
// Throws DbError(kErrOdbcCall) with ORA-01792 for more than kMaxColumns columns.
QString createTableSql(const TableDef& def);

// The AS at `k` that starts CREATE TABLE's query, not LOB ... STORE AS's.
inline bool startsTableQuery(const std::vector<sql::Token>& t, size_t k) {
    return t[k].is(u"AS") && !(k > 0 && t[k - 1].is(u"STORE"));
}

// ORA-00907 for a malformed definition.
[[noreturn]] void missingParenthesis();

}  // namespace qv::embedded
