#pragma once

#include "core/embedded/values/oraclefunctions.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

// The values, numbers and dates of Oracle's SQL functions and their format models, apart from
// the SQLite functions that use them (oraclefunctions.cpp).
namespace qv::embedded::oracle {

constexpr int64_t kSecondsPerDay = 86400;

// An Oracle error met inside a function; the SQLite callback turns it into the message.
struct OracleFault {
    QByteArray message;
};

[[noreturn]] inline void fault(const char* message) {
    throw OracleFault{QByteArray(message)};
}

[[noreturn]] inline void fault(const QString& message) {
    throw OracleFault{message.toUtf8()};
}

// ORA-01426 for a result past what a NUMBER (or a 64-bit integer) holds.
[[noreturn]] inline void overflow() {
    fault("ORA-01426: numeric overflow");
}

// ORA-01428 naming the argument a function cannot take, as Oracle names it.
[[noreturn]] void outOfRange(const QString& argument);

inline int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// An argument as Oracle sees it: text that reads as a date or a number is one.
struct Value {
    enum Kind { Null, Integer, Real, Date, Text, Blob } kind = Null;
    int64_t integer = 0;
    double real = 0;
    StoredDate date;
    QString text;
    QByteArray blob;

    bool isNumber() const { return kind == Integer || kind == Real; }
    double number() const { return kind == Integer ? double(integer) : real; }
};

// A number when the text reads as one (blanks around it allowed); nullopt otherwise.
std::optional<Value> numberFromText(const QString& raw);

// A number as decimal digits, value = 0.d1d2d3... x 10^point: `point` digits stand before the
// decimal point. Oracle's NUMBER is decimal; a double is read back to the 15 digits it holds
// exactly, so 0.1 + 0.2 formats as .3 as it would in Oracle.
struct Decimal {
    bool negative = false;
    QByteArray digits;  // no leading or trailing zeros; empty for zero
    int point = 0;

    bool isZero() const { return digits.isEmpty(); }
};

// Without trailing zeros; zero when no digit is left.
Decimal trimmed(Decimal d);
// The number `v` (an Integer or Real) as decimal digits.
Decimal decimalOf(const Value& v);
// Cut (not rounded) to `places` digits after the point (before it when negative).
Decimal truncated(Decimal d, int places);
// Rounded half away from zero to `places` digits after the point (before it when negative).
Decimal rounded(Decimal d, int places);
// `x` as the NUMBER Oracle would hold: the double nearest to its first 15 significant digits,
// so that 0.1 + 0.2 equals 0.3; zero below 1E-130. overflow() from 1E126 on, for an infinity and
// for what is no number.
double decimalReal(double x);
// TO_CHAR(n) without a format: no trailing zeros, no zero before the point (.5), at most 15
// significant digits of a double.
QString numberText(const Value& v);
// The decimal as an Integer when it is one that fits, else a Real.
Value numberValue(const Decimal& d);
// TO_CHAR(n, model); fault() for a model Oracle refuses.
QString formatNumber(const Value& v, const QString& model);

inline const QString kDefaultDateFormat = QStringLiteral("YYYY-MM-DD HH24:MI:SS");

// An interval's type code and bytes as DUMP shows them, as Oracle stores one: INTERVAL YEAR TO
// MONTH (182) its years plus 2^31 in four bytes and its months plus 60; INTERVAL DAY TO SECOND
// (183) its days likewise, hours, minutes and seconds plus 60, nanoseconds plus 2^31 in four.
// nullopt for text that is no interval as the engine keeps one (oracleintervals.cpp).
std::optional<std::pair<int, QByteArray>> intervalBytes(const QString& text);

// TO_CHAR(date, format), in English names; fault() for an unknown element.
QString formatDate(const StoredDate& stored, const QString& format);
// TO_DATE(text, format); fault() with Oracle's date errors for text that does not match.
StoredDate parseDate(const QString& text, const QString& format);
// TRUNC(date, format).
StoredDate truncDate(const StoredDate& d, const QString& format);
// ROUND(date, format): the unit TRUNC gives, or the next one from its half on (a year from July
// 1, a month from its 16th, a quarter from the 16th of its second month).
StoredDate roundDate(const StoredDate& d, const QString& format);
int daysInMonth(const QDate& date);

}  // namespace qv::embedded::oracle
