#pragma once

// What the engine keeps of a user's schema that SQLite's own schema cannot hold, in the same
// file, so that it lasts as long as the objects it describes and travels with them:
//
//   "QV$CONSTRAINTS"  one row per named constraint, Oracle's USER_CONSTRAINTS in small:
//                     NAME, TABLE_NAME, TYPE (P primary key, U unique, C check, N not null,
//                     R foreign key, O read-only view, V view check option), COLUMNS and R_COLUMNS
//                     (names separated by commas), R_TABLE, DELETE_RULE (NO ACTION, CASCADE, SET
//                     NULL), STATUS (ENABLED, DISABLED), VALIDATED, SEARCH_CONDITION (a check's
//                     condition in SQLite's terms) and GENERATED (USER NAME, GENERATED NAME).
//   "QV$SEQUENCES"    one row per sequence: its bounds, step, flags, LAST_NUMBER (where the
//                     values handed out or reserved end, sequences.h) and a STAMP that tells a
//                     sequence made again under the same name from the one before.
//   "QV$COMMENTS"     COMMENT ON TABLE (COLUMN_NAME empty) and COMMENT ON COLUMN.
//   "QV$IDENTITY_COLS" the identity columns and their sequences (identity.h).
//   "QV$TAB_STATS", "QV$COL_STATS", "QV$IND_STATS", "QV$HISTOGRAMS"
//                     the optimizer statistics of tables, columns and indexes and the columns'
//                     histograms, as ANALYZE and DBMS_STATS gather them (optimizerstats.h).
// All names in them are upper case, as Oracle's dictionary holds unquoted names; SQLite's own
// schema keeps the names as the user wrote them, and looks them up without regard to case.
//
// How each constraint is kept in SQLite's schema:
//   NOT NULL          the column's NOT NULL (a primary key's columns are NOT NULL without a
//                     constraint of their own).
//   PRIMARY KEY, CHECK  in the table's definition, under the constraint's name, so that SQLite's
//                     failure names it. A check enabled without validation lets the rows it
//                     found stay when the table is rebuilt (ignore_check_constraints, the
//                     engine's alone).
//   UNIQUE            a unique index named after the constraint, as Oracle makes one.
//   FOREIGN KEY       triggers named "qv$fk$<name>$<what>" on the child (insert, update) and the
//                     parent (delete, key update), which raise Oracle's errors with the
//                     constraint's name; they run after the row is written, so that an
//                     expression of the row (a NEXTVAL) is computed once. SQLite's own foreign
//                     keys are never written, so a table can be rebuilt, and a constraint
//                     disabled, without touching its rows.
//   WITH READ ONLY    a row of type O; writing into the view gives ORA-42399.
// A disabled constraint is left out of SQLite's schema and kept here alone. Changing what a
// table's definition holds rebuilds the table (rebuildTable(), schemacommands.h).
//
// The tables are made the first time a statement needs them. A user's statement may read them
// but never write, drop or alter them, nor create or drop an object named qv$... (sandbox.cpp).

#include "core/db/dberror.h"
#include "core/sqlite/sqlite.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace qv::embedded {

class Sandbox;

inline const QString kConstraintsTable = QStringLiteral("QV$CONSTRAINTS");
inline const QString kSequencesTable = QStringLiteral("QV$SEQUENCES");
inline const QString kCommentsTable = QStringLiteral("QV$COMMENTS");

// Names starting so belong to the engine.
bool isEngineName(QStringView name);

// A constraint as the catalog keeps it.
struct ConstraintRow {
    QString name;
    QString table;
    char type = 'C';
    QStringList columns;
    QString refTable;
    QStringList refColumns;
    QString deleteRule = QStringLiteral("NO ACTION");
    bool enabled = true;
    bool validated = true;
    QString condition;
    bool generated = false;
    // Written in SQLite's own table definition by another program (a unique constraint or
    // foreign key the engine did not make): kept there as it is.
    bool native = false;
};

// The statements the engine runs on one connection for a DDL statement, with its rights.
class Catalog {
  public:
    Catalog(sqlite3* db, Sandbox& sandbox, QString user)
        : db_(db), sandbox_(sandbox), user_(std::move(user)) {}

    sqlite3* db() const { return db_; }
    Sandbox& sandbox() const { return sandbox_; }
    // The schema name in Oracle's errors: the session's user, upper case.
    QString schema() const { return user_.toUpper(); }

    // Runs `sql` with the user's rights (an object of the user's); throws sqlite::Error.
    void userExec(const QString& sql) const;
    // Runs `sql` with the engine's rights; throws sqlite::Error.
    void engineExec(const QString& sql, const QStringList& binds = {}) const;
    // The rows of an engine query, each value as text (NULL empty); throws sqlite::Error.
    std::vector<QStringList> rows(const QString& sql, const QStringList& binds = {}) const;

    // Makes the catalog's tables when missing.
    void ensure() const;
    bool has(const QString& table) const;

    // The type ('table', 'view', 'index', 'trigger') of the main schema's object `name`; empty
    // when there is none.
    QString objectType(const QString& name) const;
    // A temporary table or view of the session's (SQLite's own, left to SQLite) and none of the
    // file's by that name.
    bool isTemporary(const QString& name) const;
    // The name as SQLite's schema spells it (the table, view or index `name`), or `name`.
    QString spelled(const QString& name) const;
    // ORA-00955 when `name` is taken by a table, view, index or sequence.
    void checkFreeName(const QString& name) const;

    std::vector<ConstraintRow> constraints(const QString& where, const QStringList& binds) const;
    std::optional<ConstraintRow> constraint(const QString& name) const;
    std::vector<ConstraintRow> constraintsOf(const QString& table) const;
    // Foreign keys of other tables (or the same) referring to `table`.
    std::vector<ConstraintRow> referencing(const QString& table) const;
    void store(const ConstraintRow& c) const;
    void forget(const QString& constraintName) const;
    // A name of Oracle's form for an unnamed constraint, SYS_Cnnnnnnn, not yet used.
    QString systemName() const;

  private:
    sqlite3* db_;
    Sandbox& sandbox_;
    QString user_;
};

// Oracle's error for a failed statement that broke a constraint, with the constraint's name:
// ORA-00001 (the primary key, unique constraint or unique index), ORA-01400 with the schema,
// ORA-02290, the foreign keys' ORA-02291 and ORA-02292 with the schema, ORA-42399 for a
// read-only view; nullopt for any other failure. Cannot fail.
std::optional<DbError> constraintFailure(sqlite3* db, Sandbox& sandbox, const QString& user,
                                         const sqlite::Error& error);

}  // namespace qv::embedded
