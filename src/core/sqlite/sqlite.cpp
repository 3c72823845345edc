#include "core/sqlite/sqlite.h"

#include <utility>

namespace qv::sqlite {

Error::Error(int extendedCode, const QString& message, int offset)
    : DbError(kErrOdbcCall, message, {DiagRecord{QStringLiteral("HY000"), extendedCode, message}}),
      extendedCode_(extendedCode),
      offset_(offset) {}

Error Error::of(sqlite3* db, int rc) {
    if (!db)
        return Error(rc, QString::fromUtf8(sqlite3_errstr(rc)));
    return Error(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)),
                 sqlite3_error_offset(db));
}

Connection::Connection(const QString& path, Mode mode, int busyTimeoutMs, const char* vfs,
                       int moreFlags) {
    const int flags =
        moreFlags | (mode == Mode::ReadOnly          ? SQLITE_OPEN_READONLY
                     : mode == Mode::ReadWriteCreate ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                                     : SQLITE_OPEN_READWRITE);
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db_, flags, vfs);
    if (rc != SQLITE_OK) {
        // A failed open may still leave a handle (for its message); none is kept.
        const Error e = Error::of(db_, rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw e;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyTimeoutMs);
}

Connection::~Connection() {
    sqlite3_close_v2(db_);
}

void exec(sqlite3* db, const char* sql) {
    char* msg = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        const QString text = msg ? QString::fromUtf8(msg) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(msg);
        throw Error(sqlite3_extended_errcode(db), text);
    }
}

void turnOffUnsoundRewrites(sqlite3* db) {
    // SQLite's own bit for the rewrite (SQLITE_ExistsToJoin of sqlite3.c, not in sqlite3.h); a
    // build without it ignores the bit.
    constexpr unsigned kExistsToJoin = 0x40000000;
    sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db, kExistsToJoin);
}

void Connection::exec(const char* sql) {
    sqlite::exec(db_, sql);
}

Statement::Statement(sqlite3* db, QByteArrayView sql) : db_(db) {
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        throw Error::of(db, rc);
    }
    tail_ = tail ? tail - sql.data() : sql.size();
}

Statement Statement::single(sqlite3* db, QByteArrayView sql) {
    Statement first(db, sql);
    QByteArrayView rest = sql.sliced(first.tailOffset());
    while (!rest.isEmpty() &&
           (rest.front() == ' ' || (rest.front() >= '\t' && rest.front() <= '\r')))
        rest = rest.sliced(1);
    if (rest.isEmpty())
        return first;
    // Something follows: comments are fine, a second statement (or anything SQLite cannot
    // read) is not.
    sqlite3_stmt* next = nullptr;
    const int rc = sqlite3_prepare_v2(db, rest.data(), int(rest.size()), &next, nullptr);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next != nullptr)
        throw Error(SQLITE_ERROR, QString::fromLatin1(kOneStatementOnly),
                    int(sql.size() - rest.size()));
    return first;
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)), tail_(other.tail_) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        db_ = other.db_;
        stmt_ = std::exchange(other.stmt_, nullptr);
        tail_ = other.tail_;
    }
    return *this;
}

namespace {
void checkBind(sqlite3* db, int rc) {
    if (rc != SQLITE_OK)
        throw Error::of(db, rc);
}
}  // namespace

Statement& Statement::bind(int index, const QString& text) {
    return bind(index, QByteArrayView(text.toUtf8()));
}

Statement& Statement::bind(int index, QByteArrayView utf8) {
    // A null view would bind NULL; an empty text is a text.
    checkBind(db_, sqlite3_bind_text64(stmt_, index, utf8.data() ? utf8.data() : "",
                                       static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                                       SQLITE_UTF8));
    return *this;
}

Statement& Statement::bind(int index, int64_t value) {
    checkBind(db_, sqlite3_bind_int64(stmt_, index, value));
    return *this;
}

Statement& Statement::bind(int index, double value) {
    checkBind(db_, sqlite3_bind_double(stmt_, index, value));
    return *this;
}

Statement& Statement::bindBlob(int index, QByteArrayView bytes) {
    checkBind(db_,
              sqlite3_bind_blob64(stmt_, index, bytes.data() ? bytes.data() : "",
                                  static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bindNull(int index) {
    checkBind(db_, sqlite3_bind_null(stmt_, index));
    return *this;
}

QString Statement::parameterName(int index) const {
    return QString::fromUtf8(sqlite3_bind_parameter_name(stmt_, index));
}

void Statement::run() {
    while (step()) {
    }
    sqlite3_reset(stmt_);
}

QString Statement::text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return QString::fromUtf8(p, sqlite3_column_bytes(stmt_, col));
}

QByteArray Statement::blob(int col) const {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
    return QByteArray(p, sqlite3_column_bytes(stmt_, col));
}

QString Statement::columnName(int col) const {
    return QString::fromUtf8(sqlite3_column_name(stmt_, col));
}

QString Statement::declaredType(int col) const {
    return QString::fromUtf8(sqlite3_column_decltype(stmt_, col));
}

QString Statement::originName(int col) const {
    return QString::fromUtf8(sqlite3_column_origin_name(stmt_, col));
}

QString Statement::sql() const {
    return QString::fromUtf8(sqlite3_sql(stmt_));
}

Transaction::Transaction(sqlite3* db, const char* begin)
    : Transaction(db, begin, "COMMIT", "ROLLBACK") {}

Transaction::Transaction(sqlite3* db, const char* begin, const char* commit, const char* rollback)
    : db_(db), commit_(commit), rollback_(rollback) {
    exec(db_, begin);
}

Transaction::~Transaction() {
    if (done_)
        return;
    try {
        exec(db_, rollback_);
    } catch (const Error&) {
        // Nothing to undo any more: the transaction ended with the failure that unwinds it.
    }
}

void Transaction::commit() {
    exec(db_, commit_);
    done_ = true;
}

}  // namespace qv::sqlite
