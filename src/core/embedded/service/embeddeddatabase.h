#pragma once

#include "core/db/database.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace qv::embedded {

struct Connection;
class Sandbox;

// One connection of the embedded engine: a SQLite file and one Oracle-like session on it.
// ALTER SESSION SET, EXPLAIN PLAN, MERGE (merge.h), SELECT ... FOR UPDATE (rowlocks.h), COMMIT
// and ROLLBACK with no transaction open, and DBMS_XPLAN.DISPLAY (xplan.h) are answered by the
// engine; every other statement goes to SQLite as sqliteText() writes it (oracledialect.h),
// compiled in the connection's sandbox (sandbox.h). Every call is measured into the session's
// statistics (V$SESSTAT). execute and openRecordset throw DbError(kErrOdbcCall) with Oracle's
// number and words (ORA-00922, ORA-02404, ORA-01031 for what the sandbox refuses, SQLite's failures
// through oracleFailure()); every operation after close() throws kErrObjectInvalid.
class EmbeddedDatabase final : public Database {
  public:
    enum class OpenMode { Existing, CreateIfMissing };

    // Opens `path` (":memory:" for a private in-memory database) as a new session of `user`.
    // A service never creates its file: a mistyped path is an error, not a new empty database.
    // Throws DbError(kErrOdbcCall) naming the path when the file (or, to create it, its
    // folder) is missing, the file is not a database or the session cannot be set up on it;
    // nothing of the attempt stays open.
    EmbeddedDatabase(const QString& path, const QString& user, OpenMode mode = OpenMode::Existing);
    ~EmbeddedDatabase() override;

    bool isOpen() const override;
    void execute(const QString& sql) override;
    // Placeholders left without a value are NULL, as SQLite leaves them.
    std::unique_ptr<Recordset> openRecordset(const QString& sql) override;
    // Each placeholder takes its value from `binds` (bindvalues.h), through sqlite3_bind_*;
    // fails before anything runs with ORA-01008 when one has none, ORA-01722 or TO_DATE's error
    // for a value that is no NUMBER or DATE. EXPLAIN PLAN takes no values, as Oracle's.
    std::unique_ptr<Recordset> openRecordset(const QString& sql, const BindList& binds) override;
    int64_t recordsAffected() const override;
    // The lines PL/SQL blocks wrote with DBMS_OUTPUT.PUT_LINE since the last call, as SQL*Plus
    // shows them after a block with SERVEROUTPUT on.
    QStringList takeWarnings() override;
    // Ends the session; results still open become unusable (kErrObjectInvalid).
    void close() override;
    // sqlite3_interrupt: the statement running or being translated now fails. Not while
    // close() runs.
    void cancel() override;
    // Turned off, the changes of the session's statements wait in one transaction, begun by the
    // first statement that changes a table of the file's and ended by COMMIT or ROLLBACK, or by
    // the next DDL statement, which Oracle commits before it runs; the session's plan rows are
    // no change. Turned on, what waits is committed. Closing the connection undoes what waits, and
    // so does the next opening of the file after a process ends without closing it. Each throws
    // kErrObjectInvalid after close(); commit and rollback throw kErrOdbcCall with Oracle's error
    // when SQLite fails them.
    void setAutoCommit(bool on) override;
    bool autoCommit() const override;
    void commit() override;
    void rollback() override;

    // V$SESSION.SID of this connection; throws kErrObjectInvalid once closed.
    int64_t sessionId() const;
    // A value set with ALTER SESSION SET (upper case for a bare word), empty when never set;
    // throws kErrObjectInvalid once closed.
    QString sessionParameter(const QString& name) const;

  private:
    std::shared_ptr<Connection> conn_;
    // Outlives the handle, which close() (and so the destructor) closes before it goes.
    std::unique_ptr<Sandbox> sandbox_;
};

}  // namespace qv::embedded
