#include "core/odbc/odbcdatabase.h"

#include "core/odbc/odbchandles.h"
#include "core/odbc/odbcparameters.h"

#include <QList>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

namespace qv {

namespace {

// Rows per block when passing rows unread: large enough that the driver's own speed dominates.
constexpr SQLULEN kSkipRowsetSize = 1000;

constexpr size_t kInitialBufferBytes = 4096;
// Longer values come in several pieces of this size.
constexpr SQLLEN kMaxBufferBytes = SQLLEN(64) << 20;

// How a column's text becomes a value.
enum class ValueKind { Text, Integer, Floating, Exact, Binary };

struct ColumnType {
    FieldType fieldType;
    ValueKind kind;
};

ColumnType columnType(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
            return {FieldType::Text, ValueKind::Text};
        case SQL_LONGVARCHAR:
        case SQL_WLONGVARCHAR:
            return {FieldType::LongText, ValueKind::Text};
        case SQL_BINARY:
        case SQL_VARBINARY:
            return {FieldType::VarBinary, ValueKind::Binary};
        case SQL_LONGVARBINARY:
            return {FieldType::LongBinary, ValueKind::Binary};
        case SQL_BIT:
            return {FieldType::Boolean, ValueKind::Integer};
        case SQL_TINYINT:
            return {FieldType::Byte, ValueKind::Integer};
        case SQL_SMALLINT:
            return {FieldType::Integer, ValueKind::Integer};
        case SQL_INTEGER:
            return {FieldType::Long, ValueKind::Integer};
        case SQL_BIGINT:
            return {FieldType::BigInt, ValueKind::Integer};
        case SQL_NUMERIC:
            return {FieldType::Numeric, ValueKind::Exact};
        case SQL_DECIMAL:
            return {FieldType::Decimal, ValueKind::Exact};
        case SQL_REAL:
            return {FieldType::Single, ValueKind::Floating};
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return {FieldType::Double, ValueKind::Floating};
        case SQL_TYPE_DATE:
        case SQL_DATE:
            return {FieldType::Date, ValueKind::Text};
        case SQL_TYPE_TIME:
        case SQL_TIME:
            return {FieldType::Time, ValueKind::Text};
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP:
            return {FieldType::Timestamp, ValueKind::Text};
        case SQL_GUID:
            return {FieldType::Guid, ValueKind::Text};
        default:
            return {FieldType::Text, ValueKind::Text};
    }
}

QVariant textValue(QString text, ValueKind kind, SQLSMALLINT scale) {
    bool ok = false;
    switch (kind) {
        case ValueKind::Integer: {
            const qlonglong n = text.toLongLong(&ok);
            return ok ? QVariant(n) : QVariant(text);
        }
        case ValueKind::Floating: {
            const double d = text.toDouble(&ok);
            return ok ? QVariant(d) : QVariant(text);
        }
        case ValueKind::Exact:
            if (scale == 0) {
                const qlonglong n = text.toLongLong(&ok);
                if (ok)
                    return n;
            }
            return text;
        default:
            return text;
    }
}

}  // namespace

class OdbcRecordset;

struct OdbcDatabase::Session {
    EnvHandle env;  // declared first: freed after the connection
    DbcHandle dbc;
    std::vector<OdbcRecordset*> results;
    // The statement a call is working on now, so that cancel() on another thread can stop it.
    std::mutex busyMutex;
    SQLHSTMT busy = SQL_NULL_HSTMT;

    // Marks `stmt` busy for the lifetime of the guard.
    class BusyGuard {
      public:
        BusyGuard(Session& s, const StmtHandle& stmt) : s_(s) {
            std::lock_guard lock(s_.busyMutex);
            s_.busy = stmt.get();
        }
        ~BusyGuard() {
            std::lock_guard lock(s_.busyMutex);
            s_.busy = SQL_NULL_HSTMT;
        }
        BusyGuard(const BusyGuard&) = delete;
        BusyGuard& operator=(const BusyGuard&) = delete;

      private:
        Session& s_;
    };

    // Runs `sql` on `stmt`; the number of columns of its result, 0 when it has none, and the rows
    // it changed when it has none.
    // A stop of `owner`'s run that came before the statement could be cancelled fails it here.
    SQLSMALLINT run(const OdbcDatabase& owner, StmtHandle& stmt, const QString& sql,
                    int64_t& recordsAffected);
    // A statement handle whose text the driver sends as it is: the program uses no ODBC escape
    // sequences, and Oracle's driver would otherwise take a '{' of the statement for one. A
    // driver that refuses the attribute scans, as it always did.
    StmtHandle newStatement() {
        StmtHandle stmt = StmtHandle::create(dbc);
        try {
            stmt.check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_NOSCAN,
                                      reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0));
        } catch (const DbError&) {
        }
        return stmt;
    }
    // Opens the connection `connectString` names; the warnings it gave go to `warnings`.
    static std::unique_ptr<Session> connect(const QString& connectString,
                                            QStringList& connectionWarnings);
    // The warnings of the calls since they were last taken.
    QStringList warnings;
    void noteWarnings(SQLRETURN rc, const StmtHandle& stmt) {
        if (rc == SQL_SUCCESS_WITH_INFO)
            warnings += warningTexts(odbcDiagRecords(SQL_HANDLE_STMT, stmt.get()));
    }
};

// A forward-only result over one statement handle. The handle is freed as soon as the last row
// has been passed, and when the database closes.
class OdbcRecordset final : public Recordset {
  public:
    OdbcRecordset(OdbcDatabase::Session& session, StmtHandle stmt, SQLSMALLINT columns,
                  std::unique_ptr<OdbcParameters> parameters = nullptr);
    ~OdbcRecordset() override { close(); }

    bool eof() const override;
    void moveNext() override;
    int fieldCount() const override;
    const FieldInfo& field(int index) const override;
    QVariant value(int index) override;
    void readOnly(const QList<int>& wanted) override;
    int64_t skipRows(int64_t limit) override;
    void close() override;

    // The database is closing: the result becomes closed without telling it back.
    void detach() noexcept;

  private:
    struct Column {
        SQLSMALLINT scale = 0;
        ValueKind kind = ValueKind::Text;
    };

    void requireOpen() const;
    void describe(SQLSMALLINT columns);
    // Fetches the next row; at the end, frees the statement and sets eof.
    void fetch();
    void forgetRow() noexcept;
    void reachedEnd() noexcept;
    QVariant readColumn(int index);

    OdbcDatabase::Session* session_;
    // The values the statement was bound to; freed after it.
    std::unique_ptr<OdbcParameters> parameters_;
    StmtHandle stmt_;
    QList<FieldInfo> fields_;
    std::vector<Column> columns_;
    bool eof_ = false;
    // The current row's values read so far: drivers hand out columns only in ascending order,
    // callers ask for them in any order.
    std::vector<QVariant> row_;
    int readCount_ = 0;           // columns before this one are read or passed by
    std::vector<bool> unwanted_;  // columns never asked for: passed by unread
    std::vector<char> buffer_;
    SQLULEN rowsFetched_ = 0;
    bool skipping_ = false;  // fetching in blocks, without values
};

SQLSMALLINT OdbcDatabase::Session::run(const OdbcDatabase& owner, StmtHandle& stmt,
                                       const QString& sql, int64_t& recordsAffected) {
    recordsAffected = 0;
    SQLRETURN rc;
    {
        const BusyGuard busyNow(*this, stmt);
        owner.failIfStopped();
        rc = stmt.check(
            SQLExecDirectW(stmt.get(), odbcText(sql), static_cast<SQLINTEGER>(sql.size())));
    }
    noteWarnings(rc, stmt);
    if (rc == SQL_NO_DATA)  // a searched update or delete that touched no row
        return 0;
    SQLSMALLINT columns = 0;
    stmt.check(SQLNumResultCols(stmt.get(), &columns));
    if (columns == 0) {
        SQLLEN rows = 0;
        stmt.check(SQLRowCount(stmt.get(), &rows));
        recordsAffected = std::max<SQLLEN>(rows, 0);  // -1: the driver cannot tell
    }
    return columns;
}

OdbcDatabase::OdbcDatabase() = default;

OdbcDatabase::~OdbcDatabase() {
    close();
}

std::unique_ptr<OdbcDatabase::Session> OdbcDatabase::Session::connect(
    const QString& connectString, QStringList& connectionWarnings) {
    auto session = std::make_unique<Session>();
    session->env = EnvHandle::create();
    session->dbc = DbcHandle::create(session->env);
    const SQLRETURN rc = session->dbc.connect(connectString);
    connectionWarnings.clear();
    if (rc == SQL_SUCCESS_WITH_INFO)
        connectionWarnings = warningTexts(odbcDiagRecords(SQL_HANDLE_DBC, session->dbc.get()));
    return session;
}

void OdbcDatabase::open(const QString& connectString) {
    close();
    static const QString daoPrefix = QStringLiteral("ODBC;");
    const QString driverString = connectString.startsWith(daoPrefix, Qt::CaseInsensitive)
                                     ? connectString.mid(daoPrefix.size())
                                     : connectString;
    session_ = Session::connect(driverString, warnings_);
    connectString_ = driverString;
    recordsAffected_ = 0;
}

void OdbcDatabase::reconnect() {
    session();
    QStringList warnings;
    std::unique_ptr<Session> fresh = Session::connect(connectString_, warnings);
    close();
    session_ = std::move(fresh);
    warnings_ = warnings;
}

bool OdbcDatabase::isOpen() const {
    return session_ != nullptr;
}

OdbcDatabase::Session& OdbcDatabase::session() const {
    if (!session_)
        throw notOpenError();
    return *session_;
}

void OdbcDatabase::execute(const QString& sql) {
    Session& s = session();
    StmtHandle stmt = s.newStatement();
    s.run(*this, stmt, sql, recordsAffected_);
}

std::unique_ptr<Recordset> OdbcDatabase::openRecordset(const QString& sql) {
    Session& s = session();
    StmtHandle stmt = s.newStatement();
    const SQLSMALLINT columns = s.run(*this, stmt, sql, recordsAffected_);
    return std::make_unique<OdbcRecordset>(s, std::move(stmt), columns);
}

std::unique_ptr<Recordset> OdbcDatabase::openRecordset(const QString& sql, const BindList& binds) {
    Session& s = session();
    auto parameters = std::make_unique<OdbcParameters>(sql, binds);
    if (parameters->count() == 0)
        return openRecordset(sql);
    StmtHandle stmt = s.newStatement();
    parameters->bindTo(stmt);
    const SQLSMALLINT columns = s.run(*this, stmt, parameters->sql(), recordsAffected_);
    return std::make_unique<OdbcRecordset>(s, std::move(stmt), columns, std::move(parameters));
}

QStringList OdbcDatabase::takeWarnings() {
    QStringList taken = std::exchange(warnings_, {});
    if (session_)
        taken += std::exchange(session_->warnings, {});
    return taken;
}

void OdbcDatabase::cancel() {
    if (!session_)
        return;
    std::lock_guard lock(session_->busyMutex);
    if (session_->busy != SQL_NULL_HSTMT)
        SQLCancel(session_->busy);
}

void OdbcDatabase::setAutoCommit(bool on) {
    Session& s = session();
    s.dbc.check(SQLSetConnectAttrW(s.dbc.get(), SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(
                                       on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                   SQL_IS_UINTEGER));
}

bool OdbcDatabase::autoCommit() const {
    Session& s = session();
    SQLUINTEGER value = SQL_AUTOCOMMIT_ON;
    s.dbc.check(
        SQLGetConnectAttrW(s.dbc.get(), SQL_ATTR_AUTOCOMMIT, &value, SQL_IS_UINTEGER, nullptr));
    return value != SQL_AUTOCOMMIT_OFF;
}

void OdbcDatabase::commit() {
    Session& s = session();
    s.dbc.check(SQLEndTran(SQL_HANDLE_DBC, s.dbc.get(), SQL_COMMIT));
}

void OdbcDatabase::rollback() {
    Session& s = session();
    s.dbc.check(SQLEndTran(SQL_HANDLE_DBC, s.dbc.get(), SQL_ROLLBACK));
}

int64_t OdbcDatabase::recordsAffected() const {
    session();
    return recordsAffected_;
}

void OdbcDatabase::close() {
    if (!session_)
        return;
    // Statements go before their connection.
    for (OdbcRecordset* result : session_->results)
        result->detach();
    session_.reset();
    recordsAffected_ = 0;
}

OdbcRecordset::OdbcRecordset(OdbcDatabase::Session& session, StmtHandle stmt, SQLSMALLINT columns,
                             std::unique_ptr<OdbcParameters> parameters)
    : session_(&session), parameters_(std::move(parameters)), stmt_(std::move(stmt)) {
    if (columns > 0) {
        describe(columns);
        buffer_.resize(kInitialBufferBytes);
        fetch();
    } else {
        reachedEnd();
    }
    session_->results.push_back(this);
}

void OdbcRecordset::describe(SQLSMALLINT columns) {
    std::vector<SQLWCHAR> name(128);
    fields_.reserve(columns);
    columns_.reserve(columns);
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columns); ++i) {
        SQLSMALLINT nameLength = 0, sqlType = 0, scale = 0, nullable = 0;
        SQLULEN size = 0;
        for (;;) {
            stmt_.check(SQLDescribeColW(stmt_.get(), i, name.data(),
                                        static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                        &sqlType, &size, &scale, &nullable));
            if (nameLength < static_cast<SQLSMALLINT>(name.size()))
                break;
            name.resize(static_cast<size_t>(nameLength) + 1);
        }
        const ColumnType type = columnType(sqlType);
        FieldInfo field;
        field.name = fromOdbcBuffer(name.data(), nameLength, qsizetype(name.size()));
        field.type = type.fieldType;
        // Drivers that cannot tell answer SQL_NO_TOTAL, which arrives here as a huge number.
        field.size = size <= static_cast<SQLULEN>(std::numeric_limits<int64_t>::max())
                         ? static_cast<int64_t>(size)
                         : 0;
        fields_.append(field);
        columns_.push_back(Column{scale, type.kind});
    }
    row_.resize(columns_.size());
}

void OdbcRecordset::requireOpen() const {
    if (!session_)
        throw notOpenError();
}

bool OdbcRecordset::eof() const {
    requireOpen();
    return eof_;
}

void OdbcRecordset::fetch() {
    forgetRow();
    SQLRETURN rc;
    {
        const OdbcDatabase::Session::BusyGuard busyNow(*session_, stmt_);
        rc = stmt_.check(SQLFetch(stmt_.get()));
    }
    session_->noteWarnings(rc, stmt_);
    if (rc == SQL_NO_DATA)
        reachedEnd();
}

void OdbcRecordset::forgetRow() noexcept {
    std::fill(row_.begin(), row_.end(), QVariant());
    readCount_ = 0;
}

void OdbcRecordset::reachedEnd() noexcept {
    forgetRow();
    eof_ = true;
    stmt_.reset();
}

void OdbcRecordset::moveNext() {
    requireOpen();
    if (eof_)
        throw noCurrentRecordError();
    fetch();
}

int OdbcRecordset::fieldCount() const {
    requireOpen();
    return static_cast<int>(fields_.size());
}

const FieldInfo& OdbcRecordset::field(int index) const {
    requireOpen();
    if (index < 0 || index >= fields_.size())
        throw itemNotFoundError();
    return fields_[index];
}

QVariant OdbcRecordset::value(int index) {
    requireOpen();
    if (index < 0 || index >= fields_.size() || (!unwanted_.empty() && unwanted_[index]))
        throw itemNotFoundError();
    if (eof_)
        throw noCurrentRecordError();
    // The driver hands the columns out in ascending order only: those before `index` are read
    // now when they will be asked for, and passed by otherwise.
    while (readCount_ <= index) {
        if (unwanted_.empty() || !unwanted_[readCount_])
            row_[readCount_] = readColumn(readCount_);
        ++readCount_;
    }
    return row_[index];
}

void OdbcRecordset::readOnly(const QList<int>& wanted) {
    requireOpen();
    unwanted_.assign(fields_.size(), true);
    for (int i : wanted) {
        if (i >= 0 && i < fields_.size())
            unwanted_[i] = false;
    }
}

QVariant OdbcRecordset::readColumn(int index) {
    const Column& column = columns_[index];
    const bool binary = column.kind == ValueKind::Binary;
    const SQLSMALLINT target = binary ? SQL_C_BINARY : SQL_C_WCHAR;
    const SQLLEN terminator = binary ? 0 : sizeof(SQLWCHAR);
    QByteArray bytes;
    QString text;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLLEN capacity = static_cast<SQLLEN>(buffer_.size());
        const SQLRETURN rc =
            stmt_.check(SQLGetData(stmt_.get(), static_cast<SQLUSMALLINT>(index + 1), target,
                                   buffer_.data(), capacity, &indicator));
        if (rc == SQL_NO_DATA)  // the previous piece was the last one
            break;
        if (indicator == SQL_NULL_DATA)
            return QVariant();
        // Long data comes in pieces: a full buffer with 01004 until the last piece.
        const SQLLEN room = capacity - terminator;
        const bool truncated =
            rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator > room);
        const SQLLEN piece = truncated ? room : std::clamp<SQLLEN>(indicator, 0, room);
        if (binary)
            bytes.append(buffer_.data(), piece);
        else
            text.append(fromOdbcText(reinterpret_cast<const SQLWCHAR*>(buffer_.data()),
                                     piece / static_cast<SQLLEN>(sizeof(SQLWCHAR))));
        if (!truncated)
            break;
        // Read the rest in one more call when the driver says how much is left. The size stays
        // even so that a buffer sized for binary data holds whole characters.
        const SQLLEN rest =
            indicator == SQL_NO_TOTAL ? capacity * 2 : indicator - room + terminator;
        if (rest > capacity)
            buffer_.resize(static_cast<size_t>(std::min<SQLLEN>(rest + 1, kMaxBufferBytes)) &
                           ~size_t(1));
    }
    if (binary)
        return bytes;
    return textValue(std::move(text), column.kind, column.scale);
}

int64_t OdbcRecordset::skipRows(int64_t limit) {
    requireOpen();
    if (eof_ || limit <= 0)
        return 0;
    int64_t passed = 0;
    if (!skipping_) {
        skipping_ = true;
        passed = 1;  // the current row
        forgetRow();
        try {
            stmt_.check(SQLSetStmtAttr(stmt_.get(), SQL_ATTR_ROW_ARRAY_SIZE,
                                       reinterpret_cast<SQLPOINTER>(kSkipRowsetSize), 0));
        } catch (const DbError&) {
            // A driver without block cursors fetches one row at a time and still counts right.
        }
        stmt_.check(SQLSetStmtAttr(stmt_.get(), SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched_, 0));
    }
    bool end = false;
    {
        const OdbcDatabase::Session::BusyGuard busyNow(*session_, stmt_);
        while (passed < limit) {
            rowsFetched_ = 0;
            if (stmt_.check(SQLFetch(stmt_.get())) == SQL_NO_DATA) {
                end = true;
                break;
            }
            passed += static_cast<int64_t>(rowsFetched_);
        }
    }
    if (end)
        reachedEnd();
    return passed;
}

void OdbcRecordset::close() {
    if (!session_)
        return;
    auto& results = session_->results;
    results.erase(std::remove(results.begin(), results.end(), this), results.end());
    detach();
}

void OdbcRecordset::detach() noexcept {
    stmt_.reset();
    session_ = nullptr;
}

}  // namespace qv
