#include "core/embedded/service/embeddedrecordset.h"

#include "core/embedded/service/embeddeddatabase.h"
#include "core/embedded/translate/oracledialect.h"
#include "core/embedded/values/fieldtypes.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/embedded/values/oracleformats.h"

#ifndef QUERVIN_SYSTEM_SQLITE
#include "core/sqlite/sqliterows.h"
#endif

namespace qv::embedded {

EmbeddedRecordset::EmbeddedRecordset(std::shared_ptr<Connection> connection, sqlite::Statement stmt,
                                     bool onRow, std::vector<FieldInfo> fields, Work work,
                                     std::optional<ExecutedCursor> cursor)
    : conn_(std::move(connection)),
      stmt_(std::move(stmt)),
      fields_(std::move(fields)),
      work_(std::move(work)),
      cursor_(std::move(cursor)),
      eof_(!onRow) {
    // A result with columns is fetched, even when it has no row; a statement run without its
    // rows going to the client has none.
    work_.fetches = onRow || !fields_.empty();
    if (onRow) {
        work_.counts[kStatRowsProcessed] += 1;
        work_.counts[kStatBytesSent] += rowBytes(stmt_.handle(), int(fields_.size()));
        conn_->running.insert(this);
        work_.endCall(*conn_, stmt_.handle());
    } else {
        finishStatement();
    }
}

EmbeddedRecordset::~EmbeddedRecordset() {
    finishStatement();
}

std::vector<FieldInfo> EmbeddedRecordset::describe(const sqlite::Statement& stmt, bool onRow) {
    std::vector<FieldInfo> fields;
    const int n = stmt.columnCount();
    fields.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        fields.push_back(describeColumn(oracleHeading(stmt, i), stmt.declaredType(i),
                                        onRow ? stmt.type(i) : SQLITE_NULL));
    }
    return fields;
}

void EmbeddedRecordset::finishStatement() noexcept {
    if (finished_)
        return;
    finished_ = true;
    conn_->running.erase(this);
    embedded::finishStatement(*conn_, stmt_.handle(), work_, cursor_);
    stmt_ = {};
}

void EmbeddedRecordset::checkOpen() const {
    if (closed_ || !conn_->db)
        throw notOpenError();
}

bool EmbeddedRecordset::eof() const {
    checkOpen();
    return eof_;
}

bool EmbeddedRecordset::step() {
    CycleClock* clock = cursor_ ? &cursor_->clock : nullptr;
    try {
        if (clock)
            clock->before();
        const bool row = stmt_.step();
        if (clock)
            clock->after();
        if (row) {
            // Every row fetched crosses to the client whole, its values read or not.
            work_.counts[kStatBytesSent] += rowBytes(stmt_.handle(), int(fields_.size()));
            return true;
        }
    } catch (const sqlite::Error& e) {
        if (clock)
            clock->after();
        eof_ = true;
        finishStatement();
        throw oracleFailure(e);
    }
    eof_ = true;
    finishStatement();
    return false;
}

void EmbeddedRecordset::moveNext() {
    checkOpen();
    if (eof_)
        throw noCurrentRecordError();
    const FetchCall call(work_, *conn_);
    if (step())
        ++work_.counts[kStatRowsProcessed];
}

int EmbeddedRecordset::fieldCount() const {
    checkOpen();
    return int(fields_.size());
}

const FieldInfo& EmbeddedRecordset::field(int index) const {
    checkOpen();
    if (index < 0 || size_t(index) >= fields_.size())
        throw itemNotFoundError();
    return fields_[size_t(index)];
}

QVariant EmbeddedRecordset::value(int index) {
    field(index);
    if (eof_)
        throw noCurrentRecordError();
    switch (stmt_.type(index)) {
        case SQLITE_INTEGER:
            return QVariant(qlonglong(stmt_.integer(index)));
        case SQLITE_FLOAT: {
            // As Oracle's driver hands a NUMBER: its decimal text (.3, 1405561.34), never the
            // binary double's noise.
            const oracle::Value number{oracle::Value::Real, 0, stmt_.real(index), {}, {}, {}};
            return QVariant(oracle::numberText(number));
        }
        case SQLITE_TEXT:
            return QVariant(stmt_.text(index));
        case SQLITE_BLOB:
            return QVariant(stmt_.blob(index));
        default:
            return QVariant();
    }
}

int64_t EmbeddedRecordset::skipRows(int64_t limit) {
    checkOpen();
    if (eof_ || limit <= 0)
        return 0;
    const FetchCall call(work_, *conn_);
#ifdef QUERVIN_SYSTEM_SQLITE
    int64_t passed = 0;
    while (!eof_ && passed < limit) {
        ++passed;  // the row the cursor stands on
        if (step())
            ++work_.counts[kStatRowsProcessed];
    }
    return passed;
#else
    // The rows are stepped over and measured in one loop inside SQLite.
    sqlite3_int64 rows = 0;
    sqlite3_int64 bytes = 0;
    void* clock = cursor_ ? cursor_->clock.forSteps() : nullptr;
    const int rc =
        quervin_step_rows(stmt_.handle(), limit, &rows, &bytes, static_cast<quervin_clock*>(clock));
    work_.counts[kStatRowsProcessed] += rows;
    work_.counts[kStatBytesSent] += bytes;
    if (rc == SQLITE_ROW)
        return rows;
    // The row the cursor stood on when the step found the end, or failed, is passed too.
    eof_ = true;
    if (rc != SQLITE_DONE) {
        const sqlite::Error e = sqlite::Error::of(conn_->db, rc);
        finishStatement();
        throw oracleFailure(e);
    }
    finishStatement();
    return rows + 1;
#endif
}

void EmbeddedRecordset::close() {
    checkOpen();
    finishStatement();
    closed_ = true;
}

}  // namespace qv::embedded
