#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <exception>
#include <memory>

namespace qv {

// Error numbers a database call can fail with.
inline constexpr int32_t kErrOdbcCall = 3146;         // the driver or the server refused the call
inline constexpr int32_t kErrItemNotFound = 3265;     // no field of that name
inline constexpr int32_t kErrObjectInvalid = 3420;    // the connection or result is not open
inline constexpr int32_t kErrNoCurrentRecord = 3021;  // read or moved past the last row

// One diagnostic record of the driver: SQLSTATE, the server's native code and its text.
struct DiagRecord {
    QString sqlState;
    int32_t nativeError = 0;
    QString message;
};

// A failed database call: a number and a description. For kErrOdbcCall the description is
// built from every diagnostic record, so the server's own message (and its ORA- code) is in it.
class DbError : public std::exception {
  public:
    DbError(int32_t number, QString description, QList<DiagRecord> records = {});

    int32_t number() const { return number_; }
    const QString& description() const { return description_; }
    const QList<DiagRecord>& records() const { return records_; }
    const char* what() const noexcept override { return what_.constData(); }

  private:
    int32_t number_;
    QString description_;
    QList<DiagRecord> records_;
    QByteArray what_;
};

// The type of a result field. The numbers are the codes the program has always used: 12 long
// text, 17 variable-length binary.
enum class FieldType : int {
    Boolean = 1,
    Byte = 2,
    Integer = 3,
    Long = 4,
    Currency = 5,
    Single = 6,
    Double = 7,
    Date = 8,
    Binary = 9,
    Text = 10,
    LongBinary = 11,
    LongText = 12,
    Guid = 15,
    BigInt = 16,
    VarBinary = 17,
    Char = 18,
    Numeric = 19,
    Decimal = 20,
    Float = 21,
    Time = 22,
    Timestamp = 23,
};

// Long text and long binary values are never read into a grid.
inline bool isLongField(FieldType type) {
    return type == FieldType::LongText || type == FieldType::LongBinary;
}

struct FieldInfo {
    QString name;
    FieldType type = FieldType::Text;
    int64_t size = 0;  // defined size: characters for text, bytes for binary, digits for numbers
};

// A forward-only result, positioned on its first row when opened. Values are QVariant: null
// for SQL NULL, qlonglong for whole numbers, double for floating numbers, QByteArray for
// binary, QString for everything else (text, decimals, dates as the source writes them).
// Every operation throws DbError on failure; a closed result fails with kErrObjectInvalid.
class Recordset {
  public:
    virtual ~Recordset() = default;

    virtual bool eof() const = 0;
    virtual void moveNext() = 0;
    virtual int fieldCount() const = 0;
    // Throws kErrItemNotFound for a position outside 0 .. fieldCount() - 1.
    virtual const FieldInfo& field(int index) const = 0;
    // The current row's value at `index`.
    virtual QVariant value(int index) = 0;
    // Moves past every remaining row, the current one included, without reading values;
    // returns how many rows it passed. Afterwards eof() is true.
    virtual int64_t skipToEnd() = 0;
    virtual void close() = 0;

    // Position of the field called `name`, compared without regard to case; -1 when none.
    int fieldIndex(const QString& name) const;
    // The current row's value of the field called `name`; throws kErrItemNotFound.
    QVariant value(const QString& name);
};

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
    // Rows changed by the last statement run on this connection when it had no result set;
    // 0 after a query.
    virtual int64_t recordsAffected() const = 0;
    virtual void close() = 0;
};

// Empty text for a null value, the value's text form otherwise.
QString textOrEmpty(const QVariant& value);

// The error every operation of a connection that is not open gives.
DbError notOpenError();
// The error of reading or moving past the last row of a result.
DbError noCurrentRecordError();
// The error of asking for a field that the result does not have.
DbError itemNotFoundError();

}  // namespace qv
