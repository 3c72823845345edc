#include "core/embedded/values/sqlfunctions.h"

namespace qv::embedded::oracle {

QString rawText(sqlite3_value* arg) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(arg));
    return QString::fromUtf8(text, sqlite3_value_bytes(arg));
}

SqlValue sqlValue(sqlite3_value* arg) {
    SqlValue v;
    v.type = sqlite3_value_type(arg);
    switch (v.type) {
        case SQLITE_INTEGER:
            v.integer = sqlite3_value_int64(arg);
            break;
        case SQLITE_FLOAT:
            v.real = sqlite3_value_double(arg);
            break;
        case SQLITE_BLOB:
            v.blob = QByteArray(static_cast<const char*>(sqlite3_value_blob(arg)),
                                sqlite3_value_bytes(arg));
            break;
        case SQLITE_TEXT:
            v.text = rawText(arg);
            break;
        default:
            break;
    }
    return v;
}

Value valueOf(const SqlValue& raw) {
    Value v;
    switch (raw.type) {
        case SQLITE_INTEGER:
            v.kind = Value::Integer;
            v.integer = raw.integer;
            break;
        case SQLITE_FLOAT:
            v.kind = Value::Real;
            v.real = raw.real;
            break;
        case SQLITE_BLOB:
            v.kind = Value::Blob;
            v.blob = raw.blob;
            break;
        case SQLITE_TEXT:
            v.text = raw.text;
            if (v.text.isEmpty())
                break;
            if (const auto date = readStoredDate(v.text)) {
                v.kind = Value::Date;
                v.date = *date;
            } else if (const auto number = numberFromText(v.text)) {
                v.kind = number->kind;
                v.integer = number->integer;
                v.real = number->real;
            } else {
                v.kind = Value::Text;
            }
            break;
        default:
            break;
    }
    return v;
}

Value valueOf(sqlite3_value* arg) {
    return valueOf(sqlValue(arg));
}

std::optional<Value> numberArgument(sqlite3_value* arg) {
    switch (sqlite3_value_type(arg)) {
        case SQLITE_NULL:
            return std::nullopt;
        case SQLITE_INTEGER:
            return Value{Value::Integer, sqlite3_value_int64(arg), 0, {}, {}, {}};
        case SQLITE_FLOAT:
            return Value{Value::Real, 0, sqlite3_value_double(arg), {}, {}, {}};
        default:
            break;
    }
    const Value v = valueOf(arg);
    if (v.kind == Value::Null)
        return std::nullopt;
    if (v.kind == Value::Date || v.kind == Value::Blob)
        fault("ORA-00932: inconsistent datatypes: expected NUMBER");
    if (v.kind == Value::Text)
        fault("ORA-01722: invalid number");
    return v;
}

std::optional<QString> textArgument(sqlite3_value* arg) {
    switch (sqlite3_value_type(arg)) {
        case SQLITE_NULL:
            return std::nullopt;
        case SQLITE_INTEGER:
            return QString::number(sqlite3_value_int64(arg));
        case SQLITE_FLOAT:
            return numberText(Value{Value::Real, 0, sqlite3_value_double(arg), {}, {}, {}});
        case SQLITE_BLOB: {
            const QByteArray bytes(static_cast<const char*>(sqlite3_value_blob(arg)),
                                   sqlite3_value_bytes(arg));
            if (bytes.isEmpty())
                return std::nullopt;
            return QString::fromLatin1(bytes.toHex().toUpper());
        }
        default: {
            QString text = rawText(arg);
            if (text.isEmpty())
                return std::nullopt;
            return text;
        }
    }
}

void resultText(sqlite3_context* ctx, const QString& text) {
    if (text.isEmpty())
        return sqlite3_result_null(ctx);
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void resultUtf8(sqlite3_context* ctx, std::string_view text) {
    if (text.empty())
        return sqlite3_result_null(ctx);
    sqlite3_result_text64(ctx, text.data(), sqlite3_uint64(text.size()), SQLITE_TRANSIENT,
                          SQLITE_UTF8);
}

void resultNumber(sqlite3_context* ctx, const Value& v) {
    if (v.kind == Value::Integer)
        sqlite3_result_int64(ctx, v.integer);
    else
        sqlite3_result_double(ctx, decimalReal(v.real));
}

void resultDate(sqlite3_context* ctx, const StoredDate& d, bool keepFraction) {
    resultText(ctx, storedDateText(d, keepFraction));
}

void setResult(sqlite3_context* ctx, const SqlValue& v) {
    switch (v.type) {
        case SQLITE_INTEGER:
            return sqlite3_result_int64(ctx, v.integer);
        case SQLITE_FLOAT:
            return sqlite3_result_double(ctx, v.real);
        case SQLITE_TEXT:
            return resultText(ctx, v.text);
        case SQLITE_BLOB:
            return sqlite3_result_blob64(ctx, v.blob.constData(), sqlite3_uint64(v.blob.size()),
                                         SQLITE_TRANSIENT);
        default:
            return sqlite3_result_null(ctx);
    }
}

}  // namespace qv::embedded::oracle
