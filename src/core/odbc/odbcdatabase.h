#pragma once

#include "core/db/database.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace qv {

// A connection through the ODBC driver manager; each one has its own environment and is its
// own server session. Results it opens stay valid until they or the database are closed;
// closing the database closes them.
class OdbcDatabase : public Database {
  public:
    OdbcDatabase();
    ~OdbcDatabase() override;
    OdbcDatabase(const OdbcDatabase&) = delete;
    OdbcDatabase& operator=(const OdbcDatabase&) = delete;

    // Connects without prompting; a leading "ODBC;" is dropped first, and an open connection
    // is closed first. Throws DbError(kErrOdbcCall) carrying the manager's or the driver's
    // records; the database is then not open.
    void open(const QString& connectString);
    // Connects again with the same string, the new session before the old one is left. Throws
    // DbError: kErrObjectInvalid when not open, else as open(); the old session then stays.
    void reconnect() override;

    // Never throws.
    bool isOpen() const override;
    // Every statement is sent with SQL_ATTR_NOSCAN on: the driver passes the text on as typed,
    // never reading a '{' in it as an ODBC escape (MATCH_RECOGNIZE's {2,}).
    // Throws DbError: kErrObjectInvalid when not open, kErrOdbcCall when the statement fails.
    void execute(const QString& sql) override;
    // Throws DbError: kErrObjectInvalid when not open, kErrOdbcCall when the statement fails.
    std::unique_ptr<Recordset> openRecordset(const QString& sql) override;
    // Binds each placeholder through SQLBindParameter (see OdbcParameters). Throws DbError: as
    // openRecordset(sql), and before anything is sent for a variable without a usable value.
    std::unique_ptr<Recordset> openRecordset(const QString& sql, const BindList& binds) override;
    // Throws DbError(kErrObjectInvalid) when not open.
    int64_t recordsAffected() const override;
    // Never throws; closing a database that is not open does nothing.
    void close() override;
    // SQLCancel on the statement a call is working on. Never throws; not while open(),
    // reconnect() or close() run.
    void cancel() override;
    // Warnings of the connection and of the statements since the last call. Never throws.
    QStringList takeWarnings() override;
    // SQL_ATTR_AUTOCOMMIT of the connection; SQLEndTran. Each throws DbError: kErrObjectInvalid
    // when not open, kErrOdbcCall when the driver refuses.
    void setAutoCommit(bool on) override;
    bool autoCommit() const override;
    void commit() override;
    void rollback() override;

    // The handles of an open connection and the results open on it.
    struct Session;

  private:
    Session& session() const;

    std::unique_ptr<Session> session_;
    QString connectString_;  // as the driver got it, for reconnect()
    int64_t recordsAffected_ = 0;
    QStringList warnings_;  // of the connection itself
};

}  // namespace qv
