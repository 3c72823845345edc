#pragma once

#include "core/db/dberror.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <cstdint>

namespace qv {

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

// A field whose values are numbers (shown right-aligned), by its type, not by its text.
inline bool isNumericField(FieldType type) {
    switch (type) {
        case FieldType::Byte:
        case FieldType::Integer:
        case FieldType::Long:
        case FieldType::Currency:
        case FieldType::Single:
        case FieldType::Double:
        case FieldType::BigInt:
        case FieldType::Numeric:
        case FieldType::Decimal:
        case FieldType::Float:
            return true;
        default:
            return false;
    }
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
    // Says that of every row only the columns `wanted` (positions, in any order) will be asked
    // for: a driver that hands a row's columns out one after another then passes the others by
    // without reading them (a LOB ahead of the column wanted costs nothing). Asking for another
    // column afterwards fails with kErrItemNotFound. By default every column can be read.
    virtual void readOnly(const QList<int>& wanted) { Q_UNUSED(wanted) }
    // Moves past up to about `limit` rows, the current one included, without reading values;
    // returns how many rows it passed (a driver that fetches in blocks may pass a block more).
    // After the last row eof() is true. Once rows were skipped, values can no longer be read.
    virtual int64_t skipRows(int64_t limit) = 0;
    // skipRows until the end; returns how many rows it passed.
    int64_t skipToEnd();
    virtual void close() = 0;

    // Position of the field called `name`, compared without regard to case; -1 when none.
    int fieldIndex(const QString& name) const;
    // The current row's value of the field called `name`; throws kErrItemNotFound.
    QVariant value(const QString& name);
};

// Empty text for a null value, the value's text form otherwise.
QString textOrEmpty(const QVariant& value);

}  // namespace qv
