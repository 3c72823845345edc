#pragma once

#include "core/db/bindvalue.h"
#include "core/db/dberror.h"
#include "core/db/recordset.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>

namespace qv {

// One open connection (one server session). Every operation throws DbError on failure;
// operations on a connection that is not open fail with kErrObjectInvalid.
class Database {
  public:
    virtual ~Database() = default;

    virtual bool isOpen() const = 0;
    // Runs a statement; any result it produces is discarded.
    virtual void execute(const QString& sql) = 0;
    // Runs a statement and returns its result; a statement without a result set gives a
    // result that is at its end and has no fields.
    virtual std::unique_ptr<Recordset> openRecordset(const QString& sql) = 0;
    // The same with bind variables: each placeholder of `sql` (":name", ":1"; never one inside
    // a literal, a quoted name or a comment) takes the value of `binds` of its name, through
    // the driver, never pasted into the text; a placeholder written twice is bound twice.
    // Fails, before anything is sent, when a placeholder has no value in `binds`. A connection
    // that cannot bind refuses any bind.
    virtual std::unique_ptr<Recordset> openRecordset(const QString& sql, const BindList& binds) {
        if (!binds.isEmpty())
            throw DbError(kErrOdbcCall, QStringLiteral("This connection cannot bind variables."));
        return openRecordset(sql);
    }
    // Rows changed by the last statement run on this connection when it had no result set;
    // 0 after a query.
    virtual int64_t recordsAffected() const = 0;
    virtual void close() = 0;
    // Asks the server to stop the statement this connection is running, if any; the call in
    // progress then fails. Safe to call from any thread while the connection is open, and again
    // and again: a connection that runs nothing ignores it.
    virtual void cancel() = 0;
    // Whether each statement's changes are committed as it ends: the connection's default, as the
    // driver opens it. Turned off, changes wait for commit() or rollback() (or a COMMIT or
    // ROLLBACK statement); turned on again, what waits is committed, as ODBC has it. A connection
    // that keeps no transaction of its own refuses to turn it off.
    virtual void setAutoCommit(bool on) {
        if (!on)
            throw DbError(kErrOdbcCall,
                          QStringLiteral("This connection commits every statement as it ends."));
    }
    virtual bool autoCommit() const { return true; }
    // Ends the connection's transaction, keeping or undoing its changes. Nothing to end is no
    // failure.
    virtual void commit() {}
    virtual void rollback() {}

    // Opens another session of the same login in place of this one: the new one first, then the
    // old one is closed, so the server cannot hand the same session back. Results open on the
    // old one are closed. Throws DbError; the connection then keeps its old session. A
    // connection that cannot open another refuses.
    virtual void reconnect() {
        throw DbError(kErrOdbcCall, QStringLiteral("This connection cannot open another session."));
    }

    // The warnings the server or the driver gave with calls that succeeded (a password about to
    // expire, a notice), since the last time they were taken; one text each.
    virtual QStringList takeWarnings() { return {}; }

    // The stop request of the run that uses this connection: once it is set, execute and
    // openRecordset fail at once with cancelledError(), before anything reaches the server.
    // It stays until another replaces it; null: none.
    void setStopRequest(std::shared_ptr<const std::atomic<bool>> request) {
        std::atomic_store(&stopRequest_, std::move(request));
    }

  protected:
    // Implementations call this on entry of execute and openRecordset, once the statement can
    // be cancelled (so that a stop arriving now is either seen here or cancels the statement).
    void failIfStopped() const {
        const auto request = std::atomic_load(&stopRequest_);
        if (request && request->load(std::memory_order_relaxed))
            throw cancelledError();
    }

  private:
    std::shared_ptr<const std::atomic<bool>> stopRequest_;
};

}  // namespace qv
