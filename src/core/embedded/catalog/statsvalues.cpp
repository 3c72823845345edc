// Values in Oracle's internal forms, for LOW_VALUE and HIGH_VALUE (optimizerstats.h).
#include "core/embedded/catalog/optimizerstats.h"

#include <QByteArray>
#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace qv::embedded {

namespace {

constexpr qsizetype kShownBytes = 32;

// A decimal number written as printf's %.15g writes it ([-]digits[.digits][e[+-]n]) in Oracle's
// NUMBER form: an exponent byte, then base-100 digits, each plus one (positive) or subtracted
// from 101 (negative, closed by 102 when fewer than 20 digits).
QByteArray oracleNumber(std::string_view decimal) {
    size_t i = 0;
    const bool negative = i < decimal.size() && decimal[i] == '-';
    if (i < decimal.size() && (decimal[i] == '-' || decimal[i] == '+'))
        ++i;
    std::string digits;
    long point = -1;  // the digits before the decimal point
    for (; i < decimal.size(); ++i) {
        const char c = decimal[i];
        if (c >= '0' && c <= '9')
            digits += c;
        else if (c == '.' && point < 0)
            point = long(digits.size());
        else
            break;
    }
    if (point < 0)
        point = long(digits.size());
    if (i < decimal.size() && (decimal[i] == 'e' || decimal[i] == 'E'))
        point += std::strtol(decimal.substr(i + 1).data(), nullptr, 10);
    const size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos)
        return QByteArray(1, char(0x80));
    digits.erase(0, lead);
    point -= long(lead);
    digits.erase(digits.find_last_not_of('0') + 1);
    // Base-100 pairs aligned on the decimal point.
    if (point % 2 != 0) {
        digits.insert(digits.begin(), '0');
        ++point;
    }
    if (digits.size() % 2 != 0)
        digits += '0';
    const int exponent = int(point / 2) - 1;
    QByteArray out;
    out.append(char(negative ? 62 - exponent : 193 + exponent));
    for (size_t k = 0; k < digits.size() && out.size() < 21; k += 2) {
        const int pair = (digits[k] - '0') * 10 + (digits[k + 1] - '0');
        out.append(char(negative ? 101 - pair : pair + 1));
    }
    if (negative && out.size() < 21)
        out.append(char(102));
    return out;
}

QByteArray oracleNumber(double value) {
    char text[40];
    const int n = std::snprintf(text, sizeof text, "%.15g", value);
    return oracleNumber(std::string_view(text, size_t(std::max(n, 0))));
}

// The bytes of an integer in Oracle's NUMBER form, counted without writing them.
int64_t oracleNumberLength(int64_t value) {
    if (value == 0)
        return 1;
    const bool negative = value < 0;
    uint64_t v = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    while (v % 100 == 0)
        v /= 100;
    int64_t pairs = 0;
    for (; v > 0; v /= 100)
        ++pairs;
    return 1 + pairs + (negative && pairs < 20 ? 1 : 0);
}

// 'YYYY-MM-DD[ HH:MM:SS[.fff]]' in Oracle's DATE form (7 bytes: century and year of century
// plus 100, month, day, hour, minute and second plus 1), TIMESTAMP's 11 with a fraction.
std::optional<QByteArray> oracleDate(const QString& text) {
    static const QRegularExpression kForm(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,9}))?)?)?$)"));
    const QRegularExpressionMatch m = kForm.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int year = m.captured(1).toInt();
    QByteArray out;
    out.append(char(year / 100 + 100));
    out.append(char(year % 100 + 100));
    out.append(char(m.captured(2).toInt()));
    out.append(char(m.captured(3).toInt()));
    for (int k : {4, 5, 6})
        out.append(char(m.captured(k).toInt() + 1));
    const QString fraction = m.captured(7);
    if (!fraction.isEmpty() && fraction.toLongLong() != 0) {
        const quint32 nanos = quint32((fraction + QString(9 - fraction.size(), u'0')).toLong());
        for (int shift : {24, 16, 8, 0})
            out.append(char((nanos >> shift) & 0xff));
    }
    return out;
}

bool isDateType(const QString& declaredType) {
    const QString t = declaredType.trimmed().toUpper();
    return t.startsWith(u"DATE") || t.startsWith(u"TIMESTAMP");
}

}  // namespace

QString oracleRawHex(sqlite3_value* value, const QString& declaredType, int64_t* bytes) {
    QByteArray raw;
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            raw = oracleNumber(std::to_string(sqlite3_value_int64(value)));
            break;
        case SQLITE_FLOAT:
            raw = oracleNumber(sqlite3_value_double(value));
            break;
        case SQLITE_TEXT: {
            const QByteArray text(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                  sqlite3_value_bytes(value));
            const std::optional<QByteArray> date =
                isDateType(declaredType) ? oracleDate(QString::fromUtf8(text)) : std::nullopt;
            raw = date ? *date : text;
            break;
        }
        case SQLITE_BLOB:
            raw = QByteArray(static_cast<const char*>(sqlite3_value_blob(value)),
                             sqlite3_value_bytes(value));
            break;
        default:
            break;
    }
    if (bytes)
        *bytes = raw.size();
    return QString::fromLatin1(raw.left(kShownBytes).toHex().toUpper());
}

int64_t oracleLength(sqlite3_value* value, const QString& declaredType) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            return oracleNumberLength(sqlite3_value_int64(value));
        case SQLITE_FLOAT:
            return oracleNumber(sqlite3_value_double(value)).size();
        case SQLITE_TEXT: {
            const int bytes = sqlite3_value_bytes(value);
            // Only what may be a date is read again as one.
            if (bytes >= 10 && bytes <= 29 && isDateType(declaredType)) {
                int64_t size = 0;
                oracleRawHex(value, declaredType, &size);
                return size;
            }
            return bytes;
        }
        case SQLITE_BLOB:
            return sqlite3_value_bytes(value);
        default:
            return 0;
    }
}

// ENDPOINT_VALUE: a number as it is, a date of a date column as its Julian day and fraction
// (Oracle's 'J'), nothing for text.
std::optional<double> endpointValue(sqlite3_value* value, const QString& declaredType) {
    const int type = sqlite3_value_type(value);
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
        return sqlite3_value_double(value);
    if (type != SQLITE_TEXT || !isDateType(declaredType))
        return std::nullopt;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                           sqlite3_value_bytes(value));
    const QDate day = QDate::fromString(text.left(10), Qt::ISODate);
    if (!day.isValid())
        return std::nullopt;
    double seconds = 0;
    if (text.size() >= 19)
        seconds =
            text.mid(11, 2).toInt() * 3600 + text.mid(14, 2).toInt() * 60 + text.mid(17, 2).toInt();
    return double(day.toJulianDay()) + seconds / 86400.0;
}

}  // namespace qv::embedded
