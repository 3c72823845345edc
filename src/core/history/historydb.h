#pragma once

// The SQLite calls the tuning-history file is read and written with: an open file, a prepared
// statement and a transaction, each closed or rolled back when it goes out of scope. Every
// failure throws DbError with SQLite's result code and message.

#include "core/db/dberror.h"

#include <QString>

#include <sqlite3.h>

#include <cstdint>

namespace qv::history {

constexpr int kBusyTimeoutMs = 500;

inline DbError engineError(sqlite3* db, int rc) {
    const QString text =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    return DbError(rc, text);
}

// One open history file; closed when it goes out of scope.
class HistoryDb {
  public:
    HistoryDb(const QString& path, bool create) {
        const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db_, flags, nullptr);
        if (rc != SQLITE_OK) {
            DbError e = engineError(db_, rc);
            sqlite3_close(db_);
            db_ = nullptr;
            throw e;
        }
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    }
    ~HistoryDb() { sqlite3_close_v2(db_); }
    HistoryDb(const HistoryDb&) = delete;
    HistoryDb& operator=(const HistoryDb&) = delete;

    sqlite3* handle() const { return db_; }

    void exec(const char* sql) {
        char* msg = nullptr;
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &msg);
        if (rc != SQLITE_OK) {
            const QString text =
                msg ? QString::fromUtf8(msg) : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_free(msg);
            throw DbError(rc, text);
        }
    }

  private:
    sqlite3* db_ = nullptr;
};

class Statement {
  public:
    Statement(HistoryDb& db, const char* sql) : db_(db.handle()) {
        const int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr);
        if (rc != SQLITE_OK)
            throw engineError(db_, rc);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, const QString& text) {
        const QByteArray u = text.toUtf8();
        check(sqlite3_bind_text(stmt_, i, u.constData(), static_cast<int>(u.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind(int i, int64_t v) {
        check(sqlite3_bind_int64(stmt_, i, v));
        return *this;
    }
    Statement& bind(int i, double v) {
        check(sqlite3_bind_double(stmt_, i, v));
        return *this;
    }
    Statement& bindNull(int i) {
        check(sqlite3_bind_null(stmt_, i));
        return *this;
    }
    // Steps once; true when a row is there.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            throw engineError(db_, rc);
        return false;
    }
    void run() {
        step();
        sqlite3_reset(stmt_);
    }
    bool isNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
    int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    double real(int col) const { return sqlite3_column_double(stmt_, col); }
    int type(int col) const { return sqlite3_column_type(stmt_, col); }
    QString text(int col) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col)));
    }

  private:
    void check(int rc) {
        if (rc != SQLITE_OK)
            throw engineError(db_, rc);
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Rolls back unless committed.
class Transaction {
  public:
    explicit Transaction(HistoryDb& db) : db_(db) { db_.exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!done_)
            sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit() {
        db_.exec("COMMIT");
        done_ = true;
    }

  private:
    HistoryDb& db_;
    bool done_ = false;
};

}  // namespace qv::history
