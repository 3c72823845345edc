#include "core/embedded/embeddedrecordset.h"

#include "core/embedded/embeddeddatabase.h"
#include "core/embedded/fieldtypes.h"
#include "core/embedded/oracledialect.h"

namespace qv::embedded {

EmbeddedRecordset::EmbeddedRecordset(std::shared_ptr<Connection> connection, StatementPtr stmt,
                                     bool onRow, std::vector<FieldInfo> fields, Work work)
    : conn_(std::move(connection)),
      stmt_(std::move(stmt)),
      fields_(std::move(fields)),
      work_(std::move(work)),
      eof_(!onRow) {
    if (onRow) {
        work_.counts[kStatRowsProcessed] += 1;
        conn_->running.insert(this);
        work_.endCall(*conn_, stmt_.get());
    } else {
        finishStatement();
    }
}

EmbeddedRecordset::~EmbeddedRecordset() {
    finishStatement();
}

std::vector<FieldInfo> EmbeddedRecordset::describe(sqlite3_stmt* stmt, bool onRow) {
    std::vector<FieldInfo> fields;
    const int n = sqlite3_column_count(stmt);
    fields.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const char* decl = sqlite3_column_decltype(stmt, i);
        fields.push_back(describeColumn(oracleHeading(stmt, i),
                                        decl ? QString::fromUtf8(decl) : QString(),
                                        onRow ? sqlite3_column_type(stmt, i) : SQLITE_NULL));
    }
    return fields;
}

void EmbeddedRecordset::finishStatement() noexcept {
    if (finished_)
        return;
    finished_ = true;
    conn_->running.erase(this);
    work_.addTo(*conn_, stmt_.get());
    stmt_.reset();
}

void EmbeddedRecordset::checkOpen() const {
    if (closed_ || !conn_->db)
        throw notOpenError();
}

bool EmbeddedRecordset::eof() const {
    checkOpen();
    return eof_;
}

void EmbeddedRecordset::endOfRows(int rc) {
    eof_ = true;
    if (rc == SQLITE_DONE) {
        finishStatement();
        return;
    }
    const DbError error = sqliteError(conn_->db);
    finishStatement();
    throw error;
}

void EmbeddedRecordset::moveNext() {
    checkOpen();
    if (eof_)
        throw noCurrentRecordError();
    const FetchCall call(work_, *conn_);
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) {
        ++work_.counts[kStatRowsProcessed];
        return;
    }
    endOfRows(rc);
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
    sqlite3_stmt* s = stmt_.get();
    switch (sqlite3_column_type(s, index)) {
        case SQLITE_INTEGER:
            work_.counts[kStatBytesSent] += 8;
            return QVariant(qlonglong(sqlite3_column_int64(s, index)));
        case SQLITE_FLOAT:
            work_.counts[kStatBytesSent] += 8;
            return QVariant(sqlite3_column_double(s, index));
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
            const int bytes = sqlite3_column_bytes(s, index);
            work_.counts[kStatBytesSent] += bytes;
            return QVariant(QString::fromUtf8(text, bytes));
        }
        case SQLITE_BLOB: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(s, index));
            const int bytes = sqlite3_column_bytes(s, index);
            work_.counts[kStatBytesSent] += bytes;
            return QVariant(QByteArray(data, bytes));
        }
        default:
            return QVariant();
    }
}

int64_t EmbeddedRecordset::skipRows(int64_t limit) {
    checkOpen();
    if (eof_ || limit <= 0)
        return 0;
    const FetchCall call(work_, *conn_);
    int64_t passed = 0;
    int rc = SQLITE_ROW;
    while (!eof_ && passed < limit) {
        ++passed;  // the row the cursor stands on
        rc = sqlite3_step(stmt_.get());
        if (rc != SQLITE_ROW) {
            endOfRows(rc);
            break;
        }
        ++work_.counts[kStatRowsProcessed];
    }
    return passed;
}

void EmbeddedRecordset::close() {
    checkOpen();
    finishStatement();
    closed_ = true;
}

}  // namespace qv::embedded
