#pragma once

#include "core/db/database.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace qv::test {

// What a scripted server answers to one statement.
struct Reply {
    QList<FieldInfo> fields;  // empty: a statement without a result set
    QList<QVariantList> rows;
    int64_t affected = 0;          // rows changed, for a statement without a result set
    std::optional<DbError> error;  // the statement itself fails
    int failAfterRows = -1;        // moving past this many rows fails with fetchError
    std::optional<DbError> fetchError;
    std::function<void()> whenAnswered;  // what happens meanwhile, e.g. the user stops the run
    // Makes the rows when the statement is answered: a server's state shared by connections.
    std::function<QList<QVariantList>()> rowsNow;

    // A failure as a driver reports it: an ORA- code at the start of `description` is the
    // native error of its one record.
    static Reply fail(const QString& description, int32_t number = kErrOdbcCall);
    static Reply updated(int64_t n) {
        Reply r;
        r.affected = n;
        return r;
    }
    // A result with the named text columns (size 30) and the given rows.
    static Reply table(const QStringList& names, const QList<QVariantList>& rows);
};

// The statements a scripted server saw and the answers it gives, shared by all connections
// of one test. Rules are tried newest first, so a test can override what its fixture set up;
// the first whose pattern matches answers, and a rule added with `times` is dropped after
// answering that often. Statements no rule matches succeed without rows.
class Script {
  public:
    // `pattern` is a regular expression matched against the whole statement text.
    void on(const QString& pattern, Reply reply, int times = -1);
    void onText(const QString& exactText, Reply reply, int times = -1) {
        on(QRegularExpression::escape(exactText), std::move(reply), times);
    }
    Reply answer(const QString& sql);

    // Every statement in order, as "<connection tag>: <text>", whether executed or opened.
    QStringList log;
    // Held while a statement is logged and answered: runs on two threads may share a script.
    std::mutex mutex;
    // Tags of the connections closed, in order.
    QStringList closed;

  private:
    struct Rule {
        QRegularExpression pattern;
        Reply reply;
        int times;
    };
    QList<Rule> rules_;
};

// A connection to the scripted server, logging under its tag ("Q" for the query connection,
// "S" for the statistics one, by convention).
class ScriptedDatabase : public Database {
  public:
    ScriptedDatabase(QString tag, std::shared_ptr<Script> script)
        : tag_(std::move(tag)), script_(std::move(script)) {}

    bool isOpen() const override { return open_; }
    void execute(const QString& sql) override { run(sql, sql); }
    std::unique_ptr<Recordset> openRecordset(const QString& sql) override;
    // As a server binds: refuses a statement with a variable that has no value (ORA-01008),
    // else logs it with its values, " [id=5 (NUMBER), x=NULL]" after the text, in the order
    // the statement first uses them.
    std::unique_ptr<Recordset> openRecordset(const QString& sql, const BindList& binds) override;
    int64_t recordsAffected() const override { return affected_; }
    void close() override;
    // Counted only: a scripted statement never runs long enough to be cancelled.
    void cancel() override { ++cancels; }
    std::atomic<int> cancels = 0;
    // Given once, as a driver gives the warnings of its calls.
    QStringList takeWarnings() override { return std::exchange(warnings, {}); }
    QStringList warnings;
    // The calls a driver takes for the transaction, logged as "<tag>: [autocommit off]",
    // "[autocommit on]", "[commit]" and "[rollback]"; a call whose log text has a rule with an
    // error fails with it.
    void setAutoCommit(bool on) override;
    bool autoCommit() const override { return autoCommit_; }
    void commit() override { transactionCall(u"[commit]"); }
    void rollback() override { transactionCall(u"[rollback]"); }

  private:
    Reply run(const QString& sql, const QString& logged);
    void transactionCall(QStringView call);

    QString tag_;
    std::shared_ptr<Script> script_;
    bool open_ = true;
    int64_t affected_ = 0;
    bool autoCommit_ = true;
};

}  // namespace qv::test
