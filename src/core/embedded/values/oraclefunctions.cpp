#include "core/embedded/values/oraclefunctions.h"

#include "core/embedded/values/listagg.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/embedded/values/oraclejson.h"
#include "core/embedded/values/oraclestats.h"
#include "core/embedded/values/regexp.h"
#include "core/embedded/values/sqlfunctions.h"

#include <QByteArray>
#include <QDate>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace qv::embedded {

namespace {

using namespace oracle;

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

SqlValue integerResult(int64_t n) {
    SqlValue v;
    v.type = SQLITE_INTEGER;
    v.integer = n;
    return v;
}

// Oracle's NUMBER: decimal, so 0.1 + 0.2 is 0.3, and never infinite (ORA-01426).
SqlValue realResult(double x) {
    SqlValue v;
    v.type = SQLITE_FLOAT;
    v.real = decimalReal(x);
    return v;
}

SqlValue numberResult(const Value& n) {
    return n.kind == Value::Integer ? integerResult(n.integer) : realResult(n.real);
}

SqlValue textResult(QString text) {
    SqlValue v;
    v.type = SQLITE_TEXT;
    v.text = std::move(text);
    return v;
}

SqlValue dateResult(const StoredDate& d) {
    return textResult(storedDateText(d, false));
}

// The two operands of an arithmetic operator, numbers or dates; nullopt when one is NULL (and
// so is the result). fault() for text that is no number and for bytes.
std::optional<std::pair<Value, Value>> arithmeticOperands(const SqlValue& x, const SqlValue& y) {
    std::pair<Value, Value> operands{valueOf(x), valueOf(y)};
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

SqlValue add(const SqlValue& x, const SqlValue& y) {
    if (std::optional<SqlValue> moved = intervalSum(x, y, false))
        return *moved;
    const auto operands = arithmeticOperands(x, y);
    if (!operands)
        return {};
    const auto& [a, b] = *operands;
    if (a.kind == Value::Date && b.kind == Value::Date)
        fault("ORA-00975: date + date not allowed");
    if (a.kind == Value::Date)
        return dateResult(plusDays(a.date, b.number()));
    if (b.kind == Value::Date)
        return dateResult(plusDays(b.date, a.number()));
    if (a.kind == Value::Integer && b.kind == Value::Integer) {
        int64_t sum = 0;
        if (__builtin_add_overflow(a.integer, b.integer, &sum))
            overflow();
        return integerResult(sum);
    }
    return realResult(a.number() + b.number());
}

SqlValue subtract(const SqlValue& x, const SqlValue& y) {
    if (std::optional<SqlValue> moved = intervalSum(x, y, true))
        return *moved;
    const auto operands = arithmeticOperands(x, y);
    if (!operands)
        return {};
    const auto& [a, b] = *operands;
    if (a.kind == Value::Date && b.kind == Value::Date) {
        const double seconds = double((a.date.days - b.date.days) * kSecondsPerDay +
                                      (a.date.seconds - b.date.seconds)) +
                               (a.date.nanos - b.date.nanos) / 1e9;
        return numberResult(realOrInteger(seconds / kSecondsPerDay));
    }
    if (a.kind == Value::Date)
        return dateResult(plusDays(a.date, -b.number()));
    if (b.kind == Value::Date)
        fault("ORA-00932: inconsistent datatypes: expected NUMBER got DATE");
    if (a.kind == Value::Integer && b.kind == Value::Integer) {
        int64_t difference = 0;
        if (__builtin_sub_overflow(a.integer, b.integer, &difference))
            overflow();
        return integerResult(difference);
    }
    return realResult(a.number() - b.number());
}

SqlValue divide(const SqlValue& x, const SqlValue& y) {
    if (std::optional<SqlValue> scaled = intervalScaled(x, y, true))
        return *scaled;
    const auto operands = arithmeticOperands(x, y);
    if (!operands)
        return {};
    const auto& [a, b] = *operands;
    if (a.kind == Value::Date || b.kind == Value::Date)
        fault("ORA-00932: inconsistent datatypes: expected NUMBER got DATE");
    if (b.number() == 0)
        fault("ORA-01476: divisor is equal to zero");
    // Oracle divides exactly: 7 / 2 is 3.5, where SQLite's integer division gives 3.
    if (a.kind == Value::Integer && b.kind == Value::Integer &&
        !(a.integer == std::numeric_limits<int64_t>::min() && b.integer == -1) &&
        a.integer % b.integer == 0)
        return integerResult(a.integer / b.integer);
    return realResult(a.number() / b.number());
}

// Two numbers of the multiplicative operators; fault() for a date, text or bytes.
std::optional<std::pair<Value, Value>> numberOperands(const SqlValue& x, const SqlValue& y) {
    auto operands = arithmeticOperands(x, y);
    if (operands && (operands->first.kind == Value::Date || operands->second.kind == Value::Date))
        fault("ORA-00932: inconsistent datatypes: expected NUMBER got DATE");
    return operands;
}

SqlValue multiply(const SqlValue& x, const SqlValue& y) {
    if (std::optional<SqlValue> scaled = intervalScaled(x, y, false))
        return *scaled;
    const auto operands = numberOperands(x, y);
    if (!operands)
        return {};
    const auto& [a, b] = *operands;
    if (a.kind == Value::Integer && b.kind == Value::Integer) {
        int64_t product = 0;
        if (__builtin_mul_overflow(a.integer, b.integer, &product))
            overflow();
        return integerResult(product);
    }
    return realResult(a.number() * b.number());
}

// SQLite's % (Oracle writes MOD): the remainder of the two numbers cut to integers, NULL for a
// zero divisor.
SqlValue modulo(const SqlValue& x, const SqlValue& y) {
    const auto operands = numberOperands(x, y);
    if (!operands)
        return {};
    const auto& [a, b] = *operands;
    const auto whole = [](const Value& v) {
        if (v.kind == Value::Integer)
            return v.integer;
        if (!(std::fabs(v.real) < 9.2e18))
            overflow();
        return int64_t(v.real);
    };
    const int64_t dividend = whole(a);
    const int64_t divisor = whole(b);
    if (divisor == 0)
        return {};
    const int64_t rest = divisor == -1 ? 0 : dividend % divisor;
    if (a.kind == Value::Integer && b.kind == Value::Integer)
        return integerResult(rest);
    return realResult(double(rest));
}

// Oracle's ||: NULL counts as empty text, and empty text is NULL.
void appendText(QString& out, const SqlValue& v) {
    switch (v.type) {
        case SQLITE_NULL:
            break;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            out += numberText(valueOf(v));
            break;
        case SQLITE_BLOB:
            out += QString::fromLatin1(v.blob.toHex().toUpper());
            break;
        default:
            out += v.text;
    }
}

// value || next, in place: a chain of many || grows one text rather than copying it each time,
// within the connection's value limit.
void concatenate(SqlValue& value, const SqlValue& next, ResultBudget& budget) {
    if (value.type != SQLITE_TEXT) {
        QString text;
        appendText(text, value);
        value = textResult(std::move(text));
    }
    appendText(value.text, next);
    budget.holds(uint64_t(value.text.size()));
    if (value.text.isEmpty())
        value = {};
}

// `step` applied from the left: ((a step b) step c) ...
template <SqlValue (*Step)(const SqlValue&, const SqlValue&)>
void leftToRight(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    needArguments(argc, 2);
    SqlValue value = sqlValue(argv[0]);
    for (int i = 1; i < argc; ++i)
        value = Step(value, sqlValue(argv[i]));
    setResult(ctx, value);
}

void qvConcat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    ResultBudget budget(ctx);
    QString out;
    for (int i = 0; i < argc; ++i) {
        appendText(out, sqlValue(argv[i]));
        budget.holds(uint64_t(out.size()));
    }
    if (out.isEmpty())
        return sqlite3_result_null(ctx);
    resultText(ctx, out);
}

// qv_arith('<operators>', a, b, ...): an operator chain of one level, + - and || (written '|')
// or * / and %, applied from the left as Oracle applies them, each with its own rules.
void qvArith(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    needArguments(argc, 3);
    const SqlValue operators = sqlValue(argv[0]);
    if (operators.type != SQLITE_TEXT || operators.text.size() != argc - 2)
        fault("ORA-00909: invalid number of arguments");
    ResultBudget budget(ctx);
    SqlValue value = sqlValue(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const SqlValue next = sqlValue(argv[i]);
        switch (operators.text[i - 2].unicode()) {
            case u'+':
                value = add(value, next);
                break;
            case u'-':
                value = subtract(value, next);
                break;
            case u'|':
                concatenate(value, next, budget);
                break;
            case u'*':
                value = multiply(value, next);
                break;
            case u'/':
                value = divide(value, next);
                break;
            case u'%':
                value = modulo(value, next);
                break;
            default:
                fault("ORA-00909: invalid number of arguments");
        }
    }
    setResult(ctx, value);
}

// Equal as SQLite's IS finds two values that have no affinity to apply: NULL to NULL, numbers
// by value, text and bytes as they are.
bool sameValue(const SqlValue& a, const SqlValue& b) {
    const bool numberA = a.type == SQLITE_INTEGER || a.type == SQLITE_FLOAT;
    const bool numberB = b.type == SQLITE_INTEGER || b.type == SQLITE_FLOAT;
    if (numberA && numberB) {
        if (a.type == SQLITE_INTEGER && b.type == SQLITE_INTEGER)
            return a.integer == b.integer;
        if (a.type == SQLITE_FLOAT && b.type == SQLITE_FLOAT)
            return a.real == b.real;
        const int64_t i = a.type == SQLITE_INTEGER ? a.integer : b.integer;
        const double r = a.type == SQLITE_FLOAT ? a.real : b.real;
        // Exact: a double equals an integer only when it is that whole number.
        if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
            return false;
        return int64_t(r) == i && double(int64_t(r)) == r;
    }
    if (a.type != b.type)
        return false;
    if (a.type == SQLITE_TEXT)
        return a.text == b.text;
    if (a.type == SQLITE_BLOB)
        return a.blob == b.blob;
    return a.type == SQLITE_NULL;
}

// qv_decode(value, search, ...): the position of the first search that matches the value (NULL
// matching NULL, as DECODE does), NULL when none does.
void qvDecode(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    needArguments(argc, 2);
    const SqlValue value = sqlValue(argv[0]);
    for (int i = 1; i < argc; ++i) {
        if (sameValue(value, sqlValue(argv[i])))
            return sqlite3_result_int(ctx, i);
    }
    sqlite3_result_null(ctx);
}

// The format argument, or nullopt for an explicit NULL (which makes the result NULL).
std::optional<QString> formatArgument(int argc, sqlite3_value** argv, const QString& fallback) {
    if (argc < 2)
        return fallback;
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return std::nullopt;
    return rawText(argv[1]);
}

// NLS_DATE_FORMAT of the session whose connection calls; the stored form without a session.
const QString& sessionDateFormat(sqlite3_context* ctx) {
    const auto* dates = static_cast<const DateSettings*>(sqlite3_user_data(ctx));
    return dates ? dates->format : kDefaultDateFormat;
}

void toChar(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const Value v = valueOf(argv[0]);
    const auto format = formatArgument(argc, argv, {});
    if (v.kind == Value::Null || !format)
        return sqlite3_result_null(ctx);
    if (argc < 2) {
        switch (v.kind) {
            case Value::Date:
                // A timestamp's fraction after the format, as the stored form has it.
                return resultText(
                    ctx, formatDate(v.date, sessionDateFormat(ctx)) +
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
    const auto format = formatArgument(
        argc, argv,
        timestamp ? kDefaultDateFormat + QStringLiteral(".FF") : sessionDateFormat(ctx));
    if (v.kind == Value::Null || !format)
        return sqlite3_result_null(ctx);
    // A date value is one already; text written as the engine stores dates is one only to
    // TO_TIMESTAMP, as TO_DATE reads text by the session's format.
    if (v.kind == Value::Date && argc < 2 &&
        (timestamp || sqlite3_value_type(argv[0]) != SQLITE_TEXT ||
         sessionDateFormat(ctx) == kDefaultDateFormat))
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

// qv_date_of(x), what is compared with a DATE column: a date (also one bound as text the way the
// engine keeps dates), anything else read as TO_DATE(x) reads it.
void dateOf(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (const Value v = valueOf(argv[0]); v.kind == Value::Date)
        return resultDate(ctx, v.date);  // as a DATE column keeps it
    toDateOrTimestamp(ctx, 1, argv, false);
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
    const std::optional<Value> months = numberArgument(argv[1]);
    if (v.kind == Value::Null || !months)
        return sqlite3_result_null(ctx);
    resultDate(ctx, addMonths(dateArgument(v), int64_t(std::trunc(months->number()))));
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

}  // namespace

// qv_store()'s DATE rule: a date as it is (its fraction dropped), text read by the session's
// format, ORA-00932 for a number or bytes.
void oracle::storeDate(sqlite3_context* ctx, sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_NULL:
            return sqlite3_result_null(ctx);
        case SQLITE_TEXT: {
            const QString text = rawText(value);
            if (text.isEmpty())
                return sqlite3_result_null(ctx);
            if (const std::optional<StoredDate> d = readStoredDate(text)) {
                if (d->nanos == 0)
                    return sqlite3_result_value(ctx, value);
                return resultDate(ctx, StoredDate{d->days, d->seconds, 0});
            }
            StoredDate d = parseDate(text, sessionDateFormat(ctx));
            d.nanos = 0;
            return resultDate(ctx, d);
        }
        case SQLITE_BLOB:
            fault("ORA-00932: inconsistent datatypes: expected DATE got BINARY");
        default:
            fault("ORA-00932: inconsistent datatypes: expected DATE got NUMBER");
    }
}

namespace {

const FunctionSpec kFunctions[] = {
    {"to_char", 1, 3, guarded<toChar>},
    {"to_date", 1, 3, guarded<toDate>},
    {"qv_date_of", 1, 1, guarded<dateOf>},
    {"to_timestamp", 1, 3, guarded<toTimestamp>},
    {"to_number", 1, 3, guarded<toNumber>},
    {"add_months", 2, 2, guarded<addMonthsFunction>},
    {"last_day", 1, 1, guarded<lastDay>},
    {"months_between", 2, 2, guarded<monthsBetween>},
    {"qv_arith", -1, -1, guarded<qvArith>},
    {"qv_div", -1, -1, guarded<leftToRight<divide>>},
    {"qv_concat", -1, -1, guarded<qvConcat>},
    {"qv_decode", -1, -1, guarded<qvDecode>},
    // What statements translated by earlier versions wrote, kept in the views, checks and
    // indexes of their files.
    {"qv_add", 2, 2, guarded<leftToRight<add>>},
    {"qv_sub", 2, 2, guarded<leftToRight<subtract>>},
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

bool namesEngineFunction(QStringView message) {
    for (qsizetype at = message.indexOf(u"qv_"); at >= 0; at = message.indexOf(u"qv_", at + 1)) {
        if (at == 0 || !(message[at - 1].isLetterOrNumber() || message[at - 1] == u'_'))
            return true;
    }
    return false;
}

QString clientDateFormat() {
    const QByteArray format = qgetenv("NLS_DATE_FORMAT").trimmed();
    if (!format.isEmpty())
        return QString::fromLocal8Bit(format);
    // NLS_LANG is LANGUAGE_TERRITORY.CHARACTERSET, each part optional.
    const QString lang = QString::fromLocal8Bit(qgetenv("NLS_LANG")).toUpper();
    const qsizetype underscore = lang.indexOf(u'_');
    const QString territory =
        underscore < 0 ? QString() : lang.mid(underscore + 1).section(u'.', 0, 0).trimmed();
    static const std::pair<const char16_t*, const char16_t*> kTerritories[] = {
        {u"JAPAN", u"RR-MM-DD"},    {u"KOREA", u"RR/MM/DD"},       {u"GERMANY", u"DD.MM.RR"},
        {u"AUSTRIA", u"DD.MM.RR"},  {u"FRANCE", u"DD/MM/RR"},      {u"ITALY", u"DD-MON-RR"},
        {u"SPAIN", u"DD/MM/RR"},    {u"CHINA", u"DD-MON-RR"},      {u"SWITZERLAND", u"DD.MM.RR"},
        {u"SWEDEN", u"RRRR-MM-DD"}, {u"NETHERLANDS", u"DD-MM-RR"},
    };
    for (const auto& [name, dateFormat] : kTerritories) {
        if (territory == QStringView(name))
            return QString::fromUtf16(dateFormat);
    }
    return QStringLiteral("DD-MON-RR");
}

void checkDateFormat(const QString& format) {
    try {
        // Every element of the format is read and written once.
        parseDate(formatDate(StoredDate{2451545, 0, 0}, format), format);
    } catch (const OracleFault&) {
        throw oracleError(1821, QStringLiteral("ORA-01821: date format not recognized"));
    }
}

int registerOracleFunctions(sqlite3* db, std::shared_ptr<const DateSettings> dates) {
    // The date functions read the settings at each call; a function of no use to statements
    // keeps them for as long as the connection is open.
    void* settings = const_cast<DateSettings*>(dates.get());
    int rc = registerFunctions(db, kFunctions, settings);
    if (rc == SQLITE_OK && dates) {
        rc = sqlite3_create_function_v2(
            db, "qv_date_settings", 0, SQLITE_UTF8,
            new std::shared_ptr<const DateSettings>(std::move(dates)), nullptr, nullptr, nullptr,
            [](void* p) { delete static_cast<std::shared_ptr<const DateSettings>*>(p); });
    }
    if (rc == SQLITE_OK)
        rc = registerTextFunctions(db);
    if (rc == SQLITE_OK)
        rc = registerNumberFunctions(db, settings);
    if (rc == SQLITE_OK)
        rc = registerRegexpFunctions(db);
    if (rc == SQLITE_OK)
        rc = registerListagg(db);
    if (rc == SQLITE_OK)
        rc = registerStatistics(db);
    if (rc == SQLITE_OK)
        rc = registerJsonFunctions(db);
    if (rc == SQLITE_OK)
        rc = registerIntervalFunctions(db);
    if (rc == SQLITE_OK)
        rc = registerCodeFunctions(db);
    return rc;
}

}  // namespace qv::embedded
