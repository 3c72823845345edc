#pragma once

#include "core/db/database.h"
#include "core/embedded/service/embeddedconnection.h"
#include "core/sqlite/sqlite.h"

#include <memory>
#include <vector>

namespace qv::embedded {

// A forward-only result over one SQLite statement. Opened on the statement's first row (or,
// without a statement, already at its end). Rows passed, read or skipped, count as fetched.
// Failures: kErrObjectInvalid once it or its connection is closed; kErrNoCurrentRecord for a
// value or a move at the end; kErrItemNotFound for a field outside the result; kErrOdbcCall
// with SQLite's message when a step fails (the result is then at its end).
class EmbeddedRecordset final : public Recordset {
  public:
    // `stmt` has just been stepped: onRow tells whether it stands on a row. `stmt` may be null
    // for a statement without a result; `fields` then says what columns it would have had.
    // `cursor`, when given, is kept in the session once the statement is done.
    EmbeddedRecordset(std::shared_ptr<Connection> connection, sqlite::Statement stmt, bool onRow,
                      std::vector<FieldInfo> fields, Work work,
                      std::optional<ExecutedCursor> cursor = std::nullopt);
    ~EmbeddedRecordset() override;

    bool eof() const override;
    void moveNext() override;
    int fieldCount() const override;
    const FieldInfo& field(int index) const override;
    QVariant value(int index) override;
    int64_t skipRows(int64_t limit) override;
    void close() override;

    // Ends the statement and adds its work to the session; used when the connection closes.
    void finishStatement() noexcept;

    // The fields of a statement standing on its first row (or finished without one).
    static std::vector<FieldInfo> describe(const sqlite::Statement& stmt, bool onRow);

  private:
    void checkOpen() const;
    // One step of the statement: true on a row; at the end, or when the step fails (which
    // throws Oracle's error), the statement is finished.
    bool step();

    std::shared_ptr<Connection> conn_;
    sqlite::Statement stmt_;
    std::vector<FieldInfo> fields_;
    Work work_;
    std::optional<ExecutedCursor> cursor_;
    bool eof_;
    bool closed_ = false;
    bool finished_ = false;  // the statement is done and its work added to the session
};

}  // namespace qv::embedded
