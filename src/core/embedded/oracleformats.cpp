#include "core/embedded/oracleformats.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace qv::embedded::oracle {

std::optional<Value> numberFromText(const QString& raw) {
    static const QRegularExpression kNumber(
        QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
    const QString text = raw.trimmed();
    if (!kNumber.match(text).hasMatch())
        return std::nullopt;
    Value v;
    bool ok = false;
    if (!text.contains(u'.') && !text.contains(u'e') && !text.contains(u'E')) {
        v.integer = text.toLongLong(&ok);
        if (ok) {
            v.kind = Value::Integer;
            return v;
        }
    }
    v.kind = Value::Real;
    v.real = text.toDouble(&ok);
    return v;
}

Decimal trimmed(Decimal d) {
    while (d.digits.endsWith('0'))
        d.digits.chop(1);
    if (d.digits.isEmpty())
        return {};
    return d;
}

Decimal decimalOf(const Value& v) {
    Decimal d;
    if (v.kind == Value::Integer) {
        d.negative = v.integer < 0;
        const uint64_t magnitude = d.negative ? 0 - uint64_t(v.integer) : uint64_t(v.integer);
        if (magnitude == 0)
            return {};
        d.digits = QByteArray::number(quint64(magnitude));
        d.point = int(d.digits.size());
        return trimmed(d);
    }
    const double x = v.number();
    if (x == 0 || !std::isfinite(x))
        return {};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(x));
    const char* e = std::strchr(buffer, 'e');
    for (const char* p = buffer; p < e; ++p) {
        if (*p != '.')
            d.digits += *p;
    }
    d.negative = x < 0;
    d.point = std::atoi(e + 1) + 1;
    return trimmed(d);
}

// Rounded half away from zero to `places` digits after the point (before it when negative).
static Decimal rounded(Decimal d, int places) {
    const int keep = d.point + places;
    if (keep >= d.digits.size())
        return d;
    if (keep < 0)
        return {};
    const bool up = d.digits[keep] >= '5';
    d.digits.truncate(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9')
            d.digits[i--] = '0';
        if (i < 0) {
            d.digits.prepend('1');
            ++d.point;
        } else {
            d.digits[i] = char(d.digits[i] + 1);
        }
    }
    return trimmed(d);
}

Decimal truncated(Decimal d, int places) {
    const int keep = d.point + places;
    if (keep >= d.digits.size())
        return d;
    if (keep <= 0)
        return {};
    d.digits.truncate(keep);
    return trimmed(d);
}

static QByteArray integerDigits(const Decimal& d) {
    if (d.point <= 0)
        return {};
    return d.digits.left(d.point).leftJustified(d.point, '0');
}

static QByteArray fractionDigits(const Decimal& d) {
    if (d.point >= d.digits.size())
        return {};
    if (d.point < 0)
        return QByteArray(-d.point, '0') + d.digits;
    return d.digits.mid(d.point);
}

static QString plainText(const Decimal& d) {
    if (d.isZero())
        return QStringLiteral("0");
    QString s = d.negative ? QStringLiteral("-") : QString();
    s += QString::fromLatin1(integerDigits(d));
    const QByteArray fraction = fractionDigits(d);
    if (!fraction.isEmpty())
        s += u'.' + QString::fromLatin1(fraction);
    return s;
}

// TO_CHAR(n) without a format: no trailing zeros, no zero before the point (.5), and the
// scientific form only for numbers too long to write out.
QString numberText(const Value& v) {
    if (v.kind == Value::Integer)
        return QString::number(v.integer);
    const Decimal d = decimalOf(v);
    if (d.point <= 40 && d.point >= -38)
        return plainText(d);
    QString s = d.negative ? QStringLiteral("-") : QString();
    s += QChar(d.digits[0]);
    if (d.digits.size() > 1)
        s += u'.' + QString::fromLatin1(d.digits.mid(1));
    const int exponent = d.point - 1;
    return s + QStringLiteral("E%1%2")
                   .arg(QChar(exponent < 0 ? u'-' : u'+'))
                   .arg(std::abs(exponent), 2, 10, QChar(u'0'));
}

Value numberValue(const Decimal& d) {
    Value v;
    bool ok = false;
    const QString text = plainText(d);
    if (fractionDigits(d).isEmpty()) {
        v.integer = text.toLongLong(&ok);
        if (ok) {
            v.kind = Value::Integer;
            return v;
        }
    }
    v.kind = Value::Real;
    v.real = text.toDouble();
    return v;
}

// ---- Number format models ----

[[noreturn]] static void badNumberFormat() {
    fault("ORA-01481: invalid number format model");
}

QString formatNumber(const Value& v, const QString& model) {
    QString f = model.toUpper();
    bool fm = false;
    if (f.startsWith(u"FM")) {
        fm = true;
        f = f.mid(2);
    }
    if (f == u"TM" || f == u"TM9" || f == u"TME")
        return numberText(v);
    bool dollar = false, leadingSign = false, trailingSign = false, minus = false;
    bool brackets = false, scientific = false, point = false;
    int intDigits = 0, fracDigits = 0, firstZero = -1;
    QList<int> groups;  // how many integer digits come before each separator
    QString fracKinds;  // '9' or '0' for each fraction digit
    int i = 0;
    const int n = int(f.size());
    if (i < n && f[i] == u'S') {
        leadingSign = true;
        ++i;
    }
    while (i < n) {
        const QChar c = f[i];
        const QStringView rest = QStringView(f).mid(i);
        if (c == u'9' || c == u'0') {
            if (scientific)
                badNumberFormat();
            if (point) {
                fracKinds += c;
                ++fracDigits;
            } else {
                if (c == u'0' && firstZero < 0)
                    firstZero = intDigits;
                ++intDigits;
            }
            ++i;
        } else if (c == u',' || c == u'G') {
            if (point || scientific)
                badNumberFormat();
            groups << intDigits;
            ++i;
        } else if (c == u'.' || c == u'D') {
            if (point || scientific)
                badNumberFormat();
            point = true;
            ++i;
        } else if (c == u'$' && !scientific) {
            dollar = true;
            ++i;
        } else if (rest.startsWith(u"EEEE") && !scientific) {
            scientific = true;
            i += 4;
        } else if (rest == u"MI") {
            minus = true;
            i = n;
        } else if (rest == u"PR") {
            brackets = true;
            i = n;
        } else if (rest == u"S" && !leadingSign) {
            trailingSign = true;
            i = n;
        } else {
            badNumberFormat();
        }
    }
    if (intDigits + fracDigits == 0)
        badNumberFormat();

    Decimal d = decimalOf(v);
    QString lead;  // blanks for positions left empty
    QString body;
    if (scientific) {
        int exponent = 0;
        if (!d.isZero()) {
            exponent = d.point - 1;
            d.point = 1;
            d = rounded(d, fracDigits);
            if (d.point == 2) {
                ++exponent;
                d.point = 1;
            }
        }
        lead = QString(qMax(0, intDigits - 1), u' ');
        body = d.isZero() ? QStringLiteral("0") : QString(QChar(d.digits[0]));
        if (point)
            body += u'.' + QString::fromLatin1(fractionDigits(d).leftJustified(fracDigits, '0'));
        body += QStringLiteral("E%1%2")
                    .arg(QChar(exponent < 0 ? u'-' : u'+'))
                    .arg(std::abs(exponent), 2, 10, QChar(u'0'));
    } else {
        d = rounded(d, fracDigits);
        const QByteArray whole = integerDigits(d);
        if (whole.size() > intDigits)
            return QString(int(f.size()) + 1, u'#');
        int firstShown = intDigits - int(whole.size());
        if (firstZero >= 0)
            firstShown = qMin(firstShown, firstZero);
        // With no fraction to show, zero is written as 0 rather than as nothing.
        if (whole.isEmpty() && fracDigits == 0 && intDigits > 0)
            firstShown = qMin(firstShown, intDigits - 1);
        const QByteArray padded = QByteArray(intDigits - whole.size(), '0') + whole;
        for (int p = 0; p <= intDigits; ++p) {
            for (int g : groups) {
                if (g != p)
                    continue;
                if (p > firstShown && p > 0)
                    body += u',';
                else
                    lead += u' ';
            }
            if (p == intDigits)
                break;
            if (p >= firstShown)
                body += QChar(padded[p]);
            else
                lead += u' ';
        }
        if (point) {
            QString fraction =
                QString::fromLatin1(fractionDigits(d).leftJustified(fracDigits, '0'));
            // Fill mode drops the trailing zeros that 9s stand for (and may leave "1.").
            for (int k = fracDigits - 1;
                 fm && k >= 0 && fracKinds[k] == u'9' && fraction[k] == u'0'; --k)
                fraction.chop(1);
            body += u'.' + fraction;
        }
    }
    const bool negative = d.negative && !d.isZero();
    if (dollar)
        body.prepend(u'$');
    QString out;
    if (leadingSign)
        out = lead + (negative ? u'-' : u'+') + body;
    else if (trailingSign)
        out = lead + body + (negative ? u'-' : u'+');
    else if (minus)
        out = lead + body + (negative ? u'-' : u' ');
    else if (brackets)
        out = lead + (negative ? u'<' + body + u'>' : u' ' + body + u' ');
    else
        out = lead + (negative ? u'-' : u' ') + body;
    return fm ? out.trimmed() : out;
}

// ---- Dates ----

const char* const kMonths[] = {"JANUARY",   "FEBRUARY", "MARCH",    "APRIL",
                               "MAY",       "JUNE",     "JULY",     "AUGUST",
                               "SEPTEMBER", "OCTOBER",  "NOVEMBER", "DECEMBER"};
const char* const kDays[] = {"SUNDAY",   "MONDAY", "TUESDAY", "WEDNESDAY",
                             "THURSDAY", "FRIDAY", "SATURDAY"};
const char* const kRoman[] = {"I",   "II",   "III", "IV", "V",  "VI",
                              "VII", "VIII", "IX",  "X",  "XI", "XII"};

// The elements of a date format model, longest first so that a prefix never wins.
const char* const kDateElements[] = {
    "SYYYY", "SSSSS", "MONTH", "HH24", "HH12", "YYYY", "IYYY", "RRRR", "A.M.", "P.M.", "YYY", "IYY",
    "DDD",   "MON",   "DAY",   "FF1",  "FF2",  "FF3",  "FF4",  "FF5",  "FF6",  "FF7",  "FF8", "FF9",
    "SCC",   "YY",    "IY",    "RR",   "MM",   "RM",   "DD",   "DY",   "HH",   "MI",   "SS",  "FF",
    "AM",    "PM",    "WW",    "IW",   "CC",   "FM",   "FX",   "Y",    "Q",    "W",    "D",   "J"};

struct DateFormatItem {
    QString element;  // upper case; empty for literal text
    QString written;  // as written, for the case of names
    QString literal;
};

static std::vector<DateFormatItem> dateFormatItems(const QString& format) {
    std::vector<DateFormatItem> items;
    int i = 0;
    const int n = int(format.size());
    while (i < n) {
        const QChar c = format[i];
        if (c == u'"') {
            const int close = int(format.indexOf(u'"', i + 1));
            const int end = close < 0 ? n : close;
            items.push_back({{}, {}, format.mid(i + 1, end - i - 1)});
            i = end + 1;
            continue;
        }
        if (!c.isLetter()) {
            items.push_back({{}, {}, QString(c)});
            ++i;
            continue;
        }
        bool found = false;
        for (const char* element : kDateElements) {
            const QLatin1StringView e(element);
            if (QStringView(format).mid(i).startsWith(e, Qt::CaseInsensitive)) {
                items.push_back({QString(e), format.mid(i, e.size()), {}});
                i += int(e.size());
                found = true;
                break;
            }
        }
        if (!found)
            fault("ORA-01821: date format not recognized");
    }
    return items;
}

// A name in the case the element was written in: MONTH, Month or month.
static QString inCaseOf(const QString& written, const char* name) {
    const QString upper = QString::fromLatin1(name);
    if (written.isEmpty() || written[0].isLower())
        return upper.toLower();
    if (written.size() > 1 && written[1].isUpper())
        return upper;
    return upper.left(1) + upper.mid(1).toLower();
}

struct Broken {
    QDate date;
    int hour = 0, minute = 0, second = 0, nanos = 0;
};

static Broken broken(const StoredDate& d) {
    return {QDate::fromJulianDay(d.days), int(d.seconds / 3600), int(d.seconds / 60 % 60),
            int(d.seconds % 60), d.nanos};
}

static int isoYear(const QDate& date) {
    int year = 0;
    date.weekNumber(&year);
    return year;
}

QString formatDate(const StoredDate& stored, const QString& format) {
    const Broken b = broken(stored);
    const QDate& date = b.date;
    QString out;
    bool fm = false;
    auto number = [&](int64_t value, int width) {
        return fm ? QString::number(value)
                  : QStringLiteral("%1").arg(value, width, 10, QChar(u'0'));
    };
    auto padded = [&](const QString& name, int width) {
        return fm ? name : name.leftJustified(width, u' ');
    };
    for (const DateFormatItem& item : dateFormatItems(format)) {
        const QString& e = item.element;
        if (e.isEmpty())
            out += item.literal;
        else if (e == u"FM")
            fm = !fm;
        else if (e == u"FX")
            continue;
        else if (e == u"YYYY" || e == u"SYYYY" || e == u"RRRR")
            out += number(date.year(), 4);
        else if (e == u"YYY")
            out += number(date.year() % 1000, 3);
        else if (e == u"YY" || e == u"RR")
            out += number(date.year() % 100, 2);
        else if (e == u"Y")
            out += number(date.year() % 10, 1);
        else if (e == u"IYYY")
            out += number(isoYear(date), 4);
        else if (e == u"IYY")
            out += number(isoYear(date) % 1000, 3);
        else if (e == u"IY")
            out += number(isoYear(date) % 100, 2);
        else if (e == u"CC" || e == u"SCC")
            out += number((date.year() + 99) / 100, 2);
        else if (e == u"Q")
            out += number((date.month() + 2) / 3, 1);
        else if (e == u"MM")
            out += number(date.month(), 2);
        else if (e == u"MON")
            out += inCaseOf(item.written, kMonths[date.month() - 1]).left(3);
        else if (e == u"MONTH")
            out += padded(inCaseOf(item.written, kMonths[date.month() - 1]), 9);
        else if (e == u"RM")
            out += padded(inCaseOf(item.written, kRoman[date.month() - 1]), 4);
        else if (e == u"WW")
            out += number((date.dayOfYear() - 1) / 7 + 1, 2);
        else if (e == u"IW")
            out += number(date.weekNumber(), 2);
        else if (e == u"W")
            out += number((date.day() - 1) / 7 + 1, 1);
        else if (e == u"DDD")
            out += number(date.dayOfYear(), 3);
        else if (e == u"DD")
            out += number(date.day(), 2);
        else if (e == u"D")
            out += number(date.dayOfWeek() % 7 + 1, 1);
        else if (e == u"DAY")
            out += padded(inCaseOf(item.written, kDays[date.dayOfWeek() % 7]), 9);
        else if (e == u"DY")
            out += inCaseOf(item.written, kDays[date.dayOfWeek() % 7]).left(3);
        else if (e == u"J")
            out += number(date.toJulianDay(), 7);
        else if (e == u"HH" || e == u"HH12")
            out += number(b.hour % 12 == 0 ? 12 : b.hour % 12, 2);
        else if (e == u"HH24")
            out += number(b.hour, 2);
        else if (e == u"MI")
            out += number(b.minute, 2);
        else if (e == u"SS")
            out += number(b.second, 2);
        else if (e == u"SSSSS")
            out += number(stored.seconds, 5);
        else if (e.startsWith(u"FF"))
            out += QStringLiteral("%1")
                       .arg(b.nanos, 9, 10, QChar(u'0'))
                       .left(e == u"FF" ? 6 : e.mid(2).toInt());
        else if (e == u"AM" || e == u"PM")
            out += inCaseOf(item.written, b.hour < 12 ? "AM" : "PM");
        else if (e == u"A.M." || e == u"P.M.")
            out += inCaseOf(item.written, b.hour < 12 ? "A.M." : "P.M.");
    }
    return out;
}

// Years written with fewer digits, completed as Oracle does: YY from this century, RR to the
// nearest (00-49 with 50-99 on either side of a century).
static int completedYear(int value, int digits, bool rr) {
    const int current = QDate::currentDate().year();
    if (digits >= 4)
        return value;
    if (rr && digits <= 2) {
        const int century = current / 100 * 100;
        const bool low = current % 100 < 50;
        if (value < 50)
            return low ? century + value : century + 100 + value;
        return low ? century - 100 + value : century + value;
    }
    int scale = 1;
    for (int k = 0; k < digits; ++k)
        scale *= 10;
    return current / scale * scale + value;
}

StoredDate parseDate(const QString& text, const QString& format) {
    const std::vector<DateFormatItem> items = dateFormatItems(format);
    const int n = int(text.size());
    int q = 0;
    int year = -1, yearDigits = 4, month = -1, day = -1, dayOfYear = -1;
    int64_t julian = -1;
    int hour = -1, minute = 0, second = 0, secondsOfDay = -1, nanos = 0;
    bool rr = false, twelve = false, pm = false;
    auto skipBlanks = [&] {
        while (q < n && text[q].isSpace())
            ++q;
    };
    auto digits = [&](int width, int* count = nullptr) {
        skipBlanks();
        int value = 0, read = 0;
        while (q < n && read < width && text[q].isDigit()) {
            value = value * 10 + text[q].digitValue();
            ++q;
            ++read;
        }
        if (read == 0)
            fault("ORA-01858: a non-numeric character was found where a numeric was expected");
        if (count)
            *count = read;
        return value;
    };
    auto letters = [&] {
        skipBlanks();
        const int start = q;
        while (q < n && (text[q].isLetter() || text[q] == u'.'))
            ++q;
        return text.mid(start, q - start).toUpper();
    };
    for (const DateFormatItem& item : items) {
        const QString& e = item.element;
        if (e.isEmpty()) {
            const QString& literal = item.literal;
            if (literal.size() == 1 && !literal[0].isLetterOrNumber()) {
                // Any punctuation or blank stands for any other, as Oracle allows.
                if (q < n && !text[q].isLetterOrNumber())
                    ++q;
            } else if (QStringView(text).mid(q).startsWith(literal, Qt::CaseInsensitive)) {
                q += int(literal.size());
            } else {
                fault("ORA-01861: literal does not match format string");
            }
        } else if (e == u"FM" || e == u"FX") {
            continue;
        } else if (e == u"YYYY" || e == u"SYYYY" || e == u"RRRR" || e == u"YYY" || e == u"YY" ||
                   e == u"RR" || e == u"Y") {
            const int width = e == u"SYYYY" ? 4 : int(e.size());
            year = digits(width, &yearDigits);
            if (e == u"YYY" || e == u"YY" || e == u"Y")
                yearDigits = qMin(yearDigits, width);
            rr = e.startsWith(u"R");
        } else if (e == u"MM") {
            month = digits(2);
        } else if (e == u"MON" || e == u"MONTH" || e == u"RM") {
            const QString word = letters();
            month = -2;
            for (int m = 0; m < 12; ++m) {
                const QString name = QString::fromLatin1(kMonths[m]);
                const bool match = e == u"RM" ? word == QLatin1StringView(kRoman[m])
                                              : word == name || word == name.left(3);
                if (match)
                    month = m + 1;
            }
            if (month < 0)
                fault("ORA-01843: not a valid month");
        } else if (e == u"DD") {
            day = digits(2);
        } else if (e == u"DDD") {
            dayOfYear = digits(3);
        } else if (e == u"J") {
            julian = digits(7);
        } else if (e == u"DAY" || e == u"DY") {
            const QString word = letters();
            bool match = false;
            for (const char* name : kDays)
                match = match || word == QLatin1StringView(name) ||
                        word == QLatin1StringView(name).left(3);
            if (!match)
                fault("ORA-01846: not a valid day of the week");
        } else if (e == u"D") {
            digits(1);
        } else if (e == u"HH" || e == u"HH12") {
            hour = digits(2);
            twelve = true;
        } else if (e == u"HH24") {
            hour = digits(2);
        } else if (e == u"MI") {
            minute = digits(2);
        } else if (e == u"SS") {
            second = digits(2);
        } else if (e == u"SSSSS") {
            secondsOfDay = digits(5);
        } else if (e.startsWith(u"FF")) {
            int read = 0;
            nanos = digits(9, &read);
            for (; read < 9; ++read)
                nanos *= 10;
        } else if (e == u"AM" || e == u"PM" || e == u"A.M." || e == u"P.M.") {
            const QString word = letters().remove(u'.');
            if (word != u"AM" && word != u"PM")
                fault("ORA-01855: AM/A.M. or PM/P.M. required");
            pm = word == u"PM";
        } else {
            fault("ORA-01820: format code cannot appear in date input format");
        }
    }
    skipBlanks();
    if (q < n)
        fault("ORA-01830: date format picture ends before converting entire input string");

    const QDate today = QDate::currentDate();
    if (year == 0 && yearDigits >= 4)
        fault("ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    const int y = year < 0 ? today.year() : completedYear(year, yearDigits, rr);
    QDate date;
    if (julian >= 0) {
        date = QDate::fromJulianDay(julian);
    } else if (dayOfYear >= 0) {
        date = QDate(y, 1, 1).addDays(dayOfYear - 1);
        if (dayOfYear < 1 || date.year() != y)
            fault("ORA-01848: day of year must be between 1 and 365 (366 for leap year)");
    } else {
        const int m = month < 0 ? today.month() : month;
        if (m < 1 || m > 12)
            fault("ORA-01843: not a valid month");
        const int dd = day < 0 ? 1 : day;
        if (dd < 1 || dd > 31)
            fault("ORA-01847: day of month must be between 1 and last day of month");
        date = QDate(y, m, dd);
        if (!date.isValid())
            fault("ORA-01839: date not valid for month specified");
    }
    int h = hour < 0 ? 0 : hour;
    if (twelve) {
        if (h < 1 || h > 12)
            fault("ORA-01849: hour must be between 1 and 12");
        h = h % 12 + (pm ? 12 : 0);
    } else if (h > 23) {
        fault("ORA-01850: hour must be between 0 and 23");
    }
    if (minute > 59)
        fault("ORA-01851: minutes must be between 0 and 59");
    if (second > 59)
        fault("ORA-01852: seconds must be between 0 and 59");
    int64_t seconds = h * 3600 + minute * 60 + second;
    if (secondsOfDay >= 0) {
        if (secondsOfDay > 86399)
            fault("ORA-01853: seconds in day must be between 0 and 86399");
        seconds = secondsOfDay;
    }
    return {date.toJulianDay(), seconds, nanos};
}

StoredDate truncDate(const StoredDate& d, const QString& format) {
    const QString f = format.trimmed().toUpper();
    const QDate date = QDate::fromJulianDay(d.days);
    const int y = date.year();
    QDate day = date;
    int64_t seconds = 0;
    if (f == u"DD" || f == u"DDD" || f == u"J") {
    } else if (f == u"MM" || f == u"MON" || f == u"MONTH" || f == u"RM") {
        day = QDate(y, date.month(), 1);
    } else if (f == u"YYYY" || f == u"SYYYY" || f == u"YEAR" || f == u"SYEAR" || f == u"YYY" ||
               f == u"YY" || f == u"Y") {
        day = QDate(y, 1, 1);
    } else if (f == u"IYYY" || f == u"IYY" || f == u"IY" || f == u"I") {
        const QDate jan4(isoYear(date), 1, 4);
        day = jan4.addDays(1 - jan4.dayOfWeek());
    } else if (f == u"Q") {
        day = QDate(y, (date.month() - 1) / 3 * 3 + 1, 1);
    } else if (f == u"CC" || f == u"SCC") {
        day = QDate((y - 1) / 100 * 100 + 1, 1, 1);
    } else if (f == u"DAY" || f == u"DY" || f == u"D") {
        day = date.addDays(-(date.dayOfWeek() % 7));  // weeks start on Sunday (AMERICA)
    } else if (f == u"IW") {
        day = date.addDays(1 - date.dayOfWeek());
    } else if (f == u"WW") {
        day = date.addDays(-(QDate(y, 1, 1).daysTo(date) % 7));
    } else if (f == u"W") {
        day = date.addDays(-((date.day() - 1) % 7));
    } else if (f == u"HH" || f == u"HH12" || f == u"HH24") {
        seconds = d.seconds / 3600 * 3600;
    } else if (f == u"MI") {
        seconds = d.seconds / 60 * 60;
    } else {
        fault("ORA-01821: date format not recognized");
    }
    return {day.toJulianDay(), seconds, 0};
}

int daysInMonth(const QDate& date) {
    return date.daysInMonth();
}

}  // namespace qv::embedded::oracle
