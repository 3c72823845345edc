#pragma once

// The one way the program talks to SQLite: an open file, a prepared statement and a
// transaction, each released when it goes out of scope, and every call checked. A failed call
// throws sqlite::Error. The history file and the embedded engine both use it; nothing else
// calls sqlite3_prepare or sqlite3_bind.

#include "core/db/dberror.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sqlite3.h>

#include <cstdint>

namespace qv::sqlite {

// The message of the Error that Statement::single() throws when a second statement follows.
inline constexpr char kOneStatementOnly[] = "only one statement can be run at a time";

// A failed SQLite call. As every failed database call, its number() is kErrOdbcCall; its one
// diagnostic record carries SQLite's extended result code as the native code and its message.
class Error : public DbError {
  public:
    Error(int extendedCode, const QString& message, int offset = -1);
    // The last failure on `db` (or the bare code `rc` when there is no handle).
    static Error of(sqlite3* db, int rc);

    int resultCode() const { return extendedCode_ & 0xff; }
    int extendedCode() const { return extendedCode_; }
    // Byte offset in the statement text where compiling failed; -1 when not known.
    int offset() const { return offset_; }

  private:
    int extendedCode_;
    int offset_;
};

// Runs statements that take no values and return no rows on `db`. Throws Error.
void exec(sqlite3* db, const char* sql);

// Turns off the query rewrites of SQLite that answer wrongly: 3.52's EXISTS-to-join rewrite
// counts the rows an OFFSET skips before it drops a row's second match, and loses every row of
// an EXISTS nested in another under a LEFT JOIN. Cannot fail.
void turnOffUnsoundRewrites(sqlite3* db);

// One open database file; closed when it goes out of scope.
class Connection {
  public:
    enum class Mode { ReadOnly, ReadWrite, ReadWriteCreate };
    // Opens `path` through the VFS named `vfs` (SQLite's default when null), with SQLite's open
    // flags `moreFlags` besides those of `mode` (SQLITE_OPEN_NOFOLLOW); throws Error, and then
    // holds no handle at all.
    Connection(const QString& path, Mode mode, int busyTimeoutMs, const char* vfs = nullptr,
               int moreFlags = 0);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return db_; }

    // Runs statements that take no values and return no rows. Throws Error.
    void exec(const char* sql);

  private:
    sqlite3* db_ = nullptr;
};

// One prepared statement. Values are always bound, never pasted into its text.
class Statement {
  public:
    // An empty statement, which steps to nothing.
    Statement() = default;
    // Compiles the first statement of `sql`; throws Error. A text of blanks and comments only
    // gives an empty statement, which steps to nothing.
    Statement(sqlite3* db, QByteArrayView sql);
    // Compiles `sql`, which holds at most one statement: only blanks and comments may follow
    // it. Throws Error, with kOneStatementOnly as its message when more follows.
    static Statement single(sqlite3* db, QByteArrayView sql);
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isEmpty() const { return stmt_ == nullptr; }
    // Where the text after the compiled statement begins.
    qsizetype tailOffset() const { return tail_; }
    sqlite3_stmt* handle() const { return stmt_; }
    sqlite3* database() const { return db_; }

    // Binding, by position from 1. Each throws Error.
    Statement& bind(int index, const QString& text);
    Statement& bind(int index, QByteArrayView utf8);
    Statement& bind(int index, int64_t value);
    Statement& bind(int index, double value);
    Statement& bindBlob(int index, QByteArrayView bytes);
    Statement& bindNull(int index);
    // The statement's parameters: how many positions there are, and the name of one as
    // written (":name", "?1"; empty for a bare "?"). Named parameters written twice share one
    // position.
    int parameterCount() const { return sqlite3_bind_parameter_count(stmt_); }
    QString parameterName(int index) const;

    // Steps once: true when a row is there, false when the statement is done. Throws Error.
    bool step() {
        if (!stmt_)
            return false;
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            throw Error::of(db_, rc);
        return false;
    }
    // Steps to the end, then makes the statement ready to run again with new values.
    void run();
    // Makes the statement ready to run again; the values bound stay.
    void reset() { sqlite3_reset(stmt_); }

    int columnCount() const { return sqlite3_column_count(stmt_); }
    int type(int col) const { return sqlite3_column_type(stmt_, col); }
    bool isNull(int col) const { return type(col) == SQLITE_NULL; }
    int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    double real(int col) const { return sqlite3_column_double(stmt_, col); }
    QString text(int col) const;
    QByteArray blob(int col) const;

    // What SQLite knows of a result column: its name, its declared type and the table column it
    // reads (both empty for an expression).
    QString columnName(int col) const;
    QString declaredType(int col) const;
    QString originName(int col) const;
    // The statement's text as it was compiled.
    QString sql() const;

  private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
    qsizetype tail_ = 0;
};

// A transaction that rolls back unless committed.
class Transaction {
  public:
    explicit Transaction(sqlite3* db, const char* begin = "BEGIN IMMEDIATE");
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

  protected:
    // Throws Error when `begin` fails.
    Transaction(sqlite3* db, const char* begin, const char* commit, const char* rollback);

  private:
    sqlite3* db_;
    const char* commit_ = "COMMIT";
    const char* rollback_ = "ROLLBACK";
    bool done_ = false;
};

// A savepoint that rolls back to where it began unless committed (released). Works inside a
// transaction as well as without one.
class Savepoint : public Transaction {
  public:
    // Throws Error.
    explicit Savepoint(sqlite3* db)
        : Transaction(db, "SAVEPOINT quervin", "RELEASE quervin",
                      "ROLLBACK TO quervin; RELEASE quervin") {}
};

}  // namespace qv::sqlite
