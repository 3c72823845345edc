#include "core/embedded/oraclefunctions.h"

#include "core/embedded/oracleformats.h"

#include <QByteArray>
#include <QDate>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <utility>

namespace qv::embedded {

namespace {

using namespace oracle;

QString rawText(sqlite3_value* arg) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(arg));
    return QString::fromUtf8(text, sqlite3_value_bytes(arg));
}

Value valueOf(sqlite3_value* arg) {
    Value v;
    switch (sqlite3_value_type(arg)) {
        case SQLITE_INTEGER:
            v.kind = Value::Integer;
            v.integer = sqlite3_value_int64(arg);
            break;
        case SQLITE_FLOAT:
            v.kind = Value::Real;
            v.real = sqlite3_value_double(arg);
            break;
        case SQLITE_BLOB: {
            const auto* data = static_cast<const char*>(sqlite3_value_blob(arg));
            v.kind = Value::Blob;
            v.blob = QByteArray(data, sqlite3_value_bytes(arg));
            break;
        }
        case SQLITE_TEXT:
            v.text = rawText(arg);
            // Oracle has no empty string: '' is NULL.
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

// ---- SQL functions ----

void resultText(sqlite3_context* ctx, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void resultNumber(sqlite3_context* ctx, const Value& v) {
    if (v.kind == Value::Integer)
        sqlite3_result_int64(ctx, v.integer);
    else
        sqlite3_result_double(ctx, v.real);
}

void resultDate(sqlite3_context* ctx, const StoredDate& d, bool keepFraction = false) {
    resultText(ctx, storedDateText(d, keepFraction));
}

// A number of days (or months) or the like, where Oracle converts text but nothing else.
Value numberArgument(sqlite3_value* arg) {
    const Value v = valueOf(arg);
    if (v.kind == Value::Date || v.kind == Value::Blob)
        fault("ORA-00932: inconsistent datatypes: expected NUMBER");
    if (v.kind == Value::Text)
        fault("ORA-01722: invalid number");
    return v;
}

StoredDate dateArgument(const Value& v) {
    if (v.kind != Value::Date)
        fault("ORA-01861: literal does not match format string");
    return v.date;
}

StoredDate plusDays(const StoredDate& d, double days) {
    // A DATE keeps whole seconds.
    const int64_t seconds =
        d.days * kSecondsPerDay + d.seconds + std::llround(days * kSecondsPerDay);
    return {floorDiv(seconds, kSecondsPerDay),
            seconds - floorDiv(seconds, kSecondsPerDay) * kSecondsPerDay, 0};
}

Value realOrInteger(double x) {
    Value v;
    if (std::nearbyint(x) == x && std::fabs(x) < 9e15) {
        v.kind = Value::Integer;
        v.integer = int64_t(x);
    } else {
        v.kind = Value::Real;
        v.real = x;
    }
    return v;
}

// The two operands of an arithmetic operator, numbers or dates; nullopt when one is NULL (and
// so is the result). fault() for text that is no number and for bytes.
std::optional<std::pair<Value, Value>> arithmeticOperands(sqlite3_value** argv) {
    std::pair<Value, Value> operands{valueOf(argv[0]), valueOf(argv[1])};
    if (operands.first.kind == Value::Null || operands.second.kind == Value::Null)
        return std::nullopt;
    for (const Value* v : {&operands.first, &operands.second}) {
        if (v->kind == Value::Text)
            fault("ORA-01722: invalid number");
        if (v->kind == Value::Blob)
            fault("ORA-00932: inconsistent datatypes: expected NUMBER got BINARY");
    }
    return operands;
}

void qvAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto operands = arithmeticOperands(argv);
    if (!operands)
        return sqlite3_result_null(ctx);
    const auto& [a, b] = *operands;
    if (a.kind == Value::Date && b.kind == Value::Date)
        fault("ORA-00975: date + date not allowed");
    if (a.kind == Value::Date)
        return resultDate(ctx, plusDays(a.date, b.number()));
    if (b.kind == Value::Date)
        return resultDate(ctx, plusDays(b.date, a.number()));
    int64_t sum = 0;
    if (a.kind == Value::Integer && b.kind == Value::Integer &&
        !__builtin_add_overflow(a.integer, b.integer, &sum))
        return sqlite3_result_int64(ctx, sum);
    sqlite3_result_double(ctx, a.number() + b.number());
}

void qvSub(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto operands = arithmeticOperands(argv);
    if (!operands)
        return sqlite3_result_null(ctx);
    const auto& [a, b] = *operands;
    if (a.kind == Value::Date && b.kind == Value::Date) {
        const double seconds = double((a.date.days - b.date.days) * kSecondsPerDay +
                                      (a.date.seconds - b.date.seconds)) +
                               (a.date.nanos - b.date.nanos) / 1e9;
        return resultNumber(ctx, realOrInteger(seconds / kSecondsPerDay));
    }
    if (a.kind == Value::Date)
        return resultDate(ctx, plusDays(a.date, -b.number()));
    if (b.kind == Value::Date)
        fault("ORA-00932: inconsistent datatypes: expected NUMBER got DATE");
    int64_t difference = 0;
    if (a.kind == Value::Integer && b.kind == Value::Integer &&
        !__builtin_sub_overflow(a.integer, b.integer, &difference))
        return sqlite3_result_int64(ctx, difference);
    sqlite3_result_double(ctx, a.number() - b.number());
}

void qvDiv(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto operands = arithmeticOperands(argv);
    if (!operands)
        return sqlite3_result_null(ctx);
    const auto& [a, b] = *operands;
    if (a.kind == Value::Date || b.kind == Value::Date)
        fault("ORA-00932: inconsistent datatypes: expected NUMBER got DATE");
    if (b.number() == 0)
        fault("ORA-01476: divisor is equal to zero");
    // Oracle divides exactly: 7 / 2 is 3.5, where SQLite's integer division gives 3.
    if (a.kind == Value::Integer && b.kind == Value::Integer &&
        !(a.integer == std::numeric_limits<int64_t>::min() && b.integer == -1) &&
        a.integer % b.integer == 0)
        return sqlite3_result_int64(ctx, a.integer / b.integer);
    sqlite3_result_double(ctx, a.number() / b.number());
}

void qvConcat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    QString out;
    for (int i = 0; i < argc; ++i) {
        switch (sqlite3_value_type(argv[i])) {
            case SQLITE_NULL:
                break;
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                out += numberText(valueOf(argv[i]));
                break;
            case SQLITE_BLOB:
                out += QString::fromLatin1(valueOf(argv[i]).blob.toHex().toUpper());
                break;
            default:
                out += rawText(argv[i]);
        }
    }
    if (out.isEmpty())
        return sqlite3_result_null(ctx);
    resultText(ctx, out);
}

// The format argument, or nullopt for an explicit NULL (which makes the result NULL).
std::optional<QString> formatArgument(int argc, sqlite3_value** argv, const QString& fallback) {
    if (argc < 2)
        return fallback;
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return std::nullopt;
    return rawText(argv[1]);
}

void toChar(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const Value v = valueOf(argv[0]);
    const auto format = formatArgument(argc, argv, {});
    if (v.kind == Value::Null || !format)
        return sqlite3_result_null(ctx);
    if (argc < 2) {
        switch (v.kind) {
            case Value::Date:
                return resultText(
                    ctx, formatDate(v.date, kDefaultDateFormat) +
                             (v.date.nanos ? storedDateText(v.date, true).mid(19) : QString()));
            case Value::Integer:
            case Value::Real:
                return resultText(
                    ctx, sqlite3_value_type(argv[0]) == SQLITE_TEXT ? v.text : numberText(v));
            case Value::Blob:
                return resultText(ctx, QString::fromLatin1(v.blob.toHex().toUpper()));
            default:
                return resultText(ctx, v.text);
        }
    }
    if (v.kind == Value::Date)
        return resultText(ctx, formatDate(v.date, *format));
    if (v.isNumber())
        return resultText(ctx, formatNumber(v, *format));
    if (v.kind == Value::Blob)
        fault("ORA-00932: inconsistent datatypes: expected NUMBER got BINARY");
    fault("ORA-01722: invalid number");
}

void toDateOrTimestamp(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool timestamp) {
    const Value v = valueOf(argv[0]);
    const auto format = formatArgument(argc, argv, kDefaultDateFormat + QStringLiteral(".FF"));
    if (v.kind == Value::Null || !format)
        return sqlite3_result_null(ctx);
    if (v.kind == Value::Date && argc < 2)
        return resultDate(ctx, v.date, timestamp);
    if (v.kind == Value::Blob)
        fault("ORA-00932: inconsistent datatypes: expected DATE got BINARY");
    const QString text = v.isNumber() ? numberText(v) : v.text;
    StoredDate d = parseDate(text, *format);
    if (!timestamp)
        d.nanos = 0;
    resultDate(ctx, d, timestamp);
}

void toDate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    toDateOrTimestamp(ctx, argc, argv, false);
}

void toTimestamp(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    toDateOrTimestamp(ctx, argc, argv, true);
}

void toNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const Value v = valueOf(argv[0]);
    if (v.kind == Value::Null)
        return sqlite3_result_null(ctx);
    if (v.isNumber() && argc < 2)
        return resultNumber(ctx, v);
    if (v.kind == Value::Blob || v.kind == Value::Date)
        fault("ORA-01722: invalid number");
    QString text = sqlite3_value_type(argv[0]) == SQLITE_TEXT ? v.text : numberText(v);
    if (argc >= 2 && sqlite3_value_type(argv[1]) != SQLITE_NULL) {
        // What a format model adds to the digits: group separators, a currency sign, a sign
        // written after the number or in angle brackets.
        const QString format = rawText(argv[1]).toUpper();
        text = text.trimmed();
        if (format.contains(u',') || format.contains(u'G'))
            text.remove(u',');
        if (format.contains(u'$'))
            text.remove(u'$');
        if (format.endsWith(u"MI") && text.endsWith(u'-'))
            text = u'-' + text.chopped(1);
        if (format.endsWith(u"PR") && text.startsWith(u'<') && text.endsWith(u'>'))
            text = u'-' + text.mid(1).chopped(1);
    }
    const auto number = numberFromText(text);
    if (!number)
        fault("ORA-01722: invalid number");
    resultNumber(ctx, *number);
}

void trunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const Value v = valueOf(argv[0]);
    if (v.kind == Value::Null || (argc > 1 && sqlite3_value_type(argv[1]) == SQLITE_NULL))
        return sqlite3_result_null(ctx);
    if (v.kind == Value::Date)
        return resultDate(ctx,
                          truncDate(v.date, argc > 1 ? rawText(argv[1]) : QStringLiteral("DD")));
    if (!v.isNumber())
        fault(v.kind == Value::Blob
                  ? "ORA-00932: inconsistent datatypes: expected NUMBER got BINARY"
                  : "ORA-01722: invalid number");
    int places = 0;
    if (argc > 1) {
        const Value p = numberArgument(argv[1]);
        places = int(std::trunc(p.number()));
    }
    if (v.kind == Value::Integer && places >= 0)
        return sqlite3_result_int64(ctx, v.integer);
    Decimal d = truncated(decimalOf(v), places);
    resultNumber(ctx, numberValue(d));
}

StoredDate addMonths(const StoredDate& d, int64_t months) {
    const QDate date = QDate::fromJulianDay(d.days);
    const int64_t index = int64_t(date.year()) * 12 + date.month() - 1 + months;
    const QDate first(int(floorDiv(index, 12)), int(index - floorDiv(index, 12) * 12) + 1, 1);
    // The last day of a month stays the last day, as in Oracle.
    const bool last = date.day() == daysInMonth(date);
    const int day = last ? daysInMonth(first) : qMin(date.day(), daysInMonth(first));
    return {QDate(first.year(), first.month(), day).toJulianDay(), d.seconds, 0};
}

void addMonthsFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const Value v = valueOf(argv[0]);
    const Value n = valueOf(argv[1]);
    if (v.kind == Value::Null || n.kind == Value::Null)
        return sqlite3_result_null(ctx);
    const double months = numberArgument(argv[1]).number();
    resultDate(ctx, addMonths(dateArgument(v), int64_t(std::trunc(months))));
}

void lastDay(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const Value v = valueOf(argv[0]);
    if (v.kind == Value::Null)
        return sqlite3_result_null(ctx);
    const StoredDate d = dateArgument(v);
    const QDate date = QDate::fromJulianDay(d.days);
    resultDate(ctx,
               {QDate(date.year(), date.month(), daysInMonth(date)).toJulianDay(), d.seconds, 0});
}

void monthsBetween(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const Value a = valueOf(argv[0]);
    const Value b = valueOf(argv[1]);
    if (a.kind == Value::Null || b.kind == Value::Null)
        return sqlite3_result_null(ctx);
    const StoredDate da = dateArgument(a);
    const StoredDate db = dateArgument(b);
    const QDate x = QDate::fromJulianDay(da.days);
    const QDate y = QDate::fromJulianDay(db.days);
    const int months = (x.year() - y.year()) * 12 + x.month() - y.month();
    // Whole months between the same day of two months, or between two last days; otherwise
    // Oracle counts the rest in 31sts of a month.
    if (x.day() == y.day() || (x.day() == daysInMonth(x) && y.day() == daysInMonth(y)))
        return sqlite3_result_int64(ctx, months);
    const double rest = (x.day() - y.day()) + double(da.seconds - db.seconds) / kSecondsPerDay;
    sqlite3_result_double(ctx, months + rest / 31);
}

// SQLite calls the functions from C: no exception may leave them. Oracle's errors become the
// statement's error; anything else fails the statement rather than the program.
template <void (*F)(sqlite3_context*, int, sqlite3_value**)>
void guarded(sqlite3_context* ctx, int argc, sqlite3_value** argv) noexcept {
    try {
        F(ctx, argc, argv);
    } catch (const OracleFault& f) {
        sqlite3_result_error(ctx, f.message, -1);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    } catch (...) {
        sqlite3_result_error(ctx, "unexpected failure in a function of the embedded engine", -1);
    }
}

struct FunctionSpec {
    const char* name;
    int minArgs;
    int maxArgs;
    void (*function)(sqlite3_context*, int, sqlite3_value**);
};

const FunctionSpec kFunctions[] = {
    {"to_char", 1, 3, guarded<toChar>},
    {"to_date", 1, 3, guarded<toDate>},
    {"to_timestamp", 1, 3, guarded<toTimestamp>},
    {"to_number", 1, 3, guarded<toNumber>},
    {"trunc", 1, 2, guarded<trunc>},
    {"add_months", 2, 2, guarded<addMonthsFunction>},
    {"last_day", 1, 1, guarded<lastDay>},
    {"months_between", 2, 2, guarded<monthsBetween>},
    {"qv_add", 2, 2, guarded<qvAdd>},
    {"qv_sub", 2, 2, guarded<qvSub>},
    {"qv_div", 2, 2, guarded<qvDiv>},
    {"qv_concat", -1, -1, guarded<qvConcat>},
};

}  // namespace

std::optional<StoredDate> readStoredDate(QStringView text) {
    static const QRegularExpression kDate(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,9}))?)?)?$)"));
    const QRegularExpressionMatch m = kDate.match(text.toString());
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.capturedView(1).toInt(), m.capturedView(2).toInt(),
                     m.capturedView(3).toInt());
    const int hour = m.capturedView(4).toInt();
    const int minute = m.capturedView(5).toInt();
    const int second = m.capturedView(6).toInt();
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const int nanos = m.captured(7).leftJustified(9, u'0').toInt();
    return StoredDate{date.toJulianDay(), hour * 3600 + minute * 60 + second, nanos};
}

QString storedDateText(const StoredDate& d, bool keepFraction) {
    const QDate date = QDate::fromJulianDay(d.days);
    QString text = QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
    const bool fraction = keepFraction && d.nanos != 0;
    if (d.seconds == 0 && !fraction)
        return text;
    text += QString::asprintf(" %02d:%02d:%02d", int(d.seconds / 3600), int(d.seconds / 60 % 60),
                              int(d.seconds % 60));
    if (fraction) {
        QString digits = QString::asprintf("%09d", d.nanos);
        while (digits.endsWith(u'0'))
            digits.chop(1);
        text += u'.' + digits;
    }
    return text;
}

int registerOracleFunctions(sqlite3* db) {
    for (const FunctionSpec& f : kFunctions) {
        for (int args = f.minArgs; args <= f.maxArgs; ++args) {
            const int rc = sqlite3_create_function_v2(
                db, f.name, args, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                f.function, nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK)
                return rc;
        }
    }
    return SQLITE_OK;
}

}  // namespace qv::embedded
