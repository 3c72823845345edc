// Oracle's dates: TO_CHAR and TO_DATE with a date format model, and TRUNC of a date.
#include "core/embedded/values/oracleformats.h"

#include <QDate>
#include <QStringList>

#include <vector>

namespace qv::embedded::oracle {

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

// What a TO_DATE text gives for each field its format names; -1 for a field it leaves out.
struct DateFields {
    int year = -1, yearDigits = 4, month = -1, day = -1, dayOfYear = -1;
    int64_t julian = -1;
    int hour = -1, minute = 0, second = 0, secondsOfDay = -1, nanos = 0;
    bool rr = false, twelve = false, pm = false;
};

// `text` read by the format's items; fault() with Oracle's error where it does not match.
static DateFields readDateFields(const QString& text, const std::vector<DateFormatItem>& items) {
    DateFields f;
    const int n = int(text.size());
    int q = 0;
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
            // YY and RR take a year of four digits too, as Oracle reads YYYY and RRRR in their
            // place.
            const bool twoOrFour = e == u"YY" || e == u"RR";
            const int width = e == u"SYYYY" || twoOrFour ? 4 : int(e.size());
            f.year = digits(width, &f.yearDigits);
            if (e == u"YYY" || e == u"Y" || (twoOrFour && f.yearDigits <= 2))
                f.yearDigits = qMin(f.yearDigits, twoOrFour ? 2 : width);
            f.rr = e.startsWith(u"R") && f.yearDigits <= 2;
        } else if (e == u"MM" && !(q < n && text[q].isLetter())) {
            f.month = digits(2);
        } else if (e == u"MM" || e == u"MON" || e == u"MONTH" || e == u"RM") {
            // MM takes a month's name too, MON its whole name and MONTH its abbreviation.
            const QString word = letters();
            f.month = -2;
            for (int m = 0; m < 12; ++m) {
                const QString name = QString::fromLatin1(kMonths[m]);
                const bool match = e == u"RM" ? word == QLatin1StringView(kRoman[m])
                                              : word == name || word == name.left(3);
                if (match)
                    f.month = m + 1;
            }
            if (f.month < 0)
                fault("ORA-01843: not a valid month");
        } else if (e == u"DD") {
            f.day = digits(2);
        } else if (e == u"DDD") {
            f.dayOfYear = digits(3);
        } else if (e == u"J") {
            f.julian = digits(7);
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
            f.hour = digits(2);
            f.twelve = true;
        } else if (e == u"HH24") {
            f.hour = digits(2);
        } else if (e == u"MI") {
            f.minute = digits(2);
        } else if (e == u"SS") {
            f.second = digits(2);
        } else if (e == u"SSSSS") {
            f.secondsOfDay = digits(5);
        } else if (e.startsWith(u"FF")) {
            int read = 0;
            f.nanos = digits(9, &read);
            for (; read < 9; ++read)
                f.nanos *= 10;
        } else if (e == u"AM" || e == u"PM" || e == u"A.M." || e == u"P.M.") {
            const QString word = letters().remove(u'.');
            if (word != u"AM" && word != u"PM")
                fault("ORA-01855: AM/A.M. or PM/P.M. required");
            f.pm = word == u"PM";
        } else {
            fault("ORA-01820: format code cannot appear in date input format");
        }
    }
    skipBlanks();
    if (q < n)
        fault("ORA-01830: date format picture ends before converting entire input string");
    return f;
}

// The date the fields give: today's year and month where they are left out.
static StoredDate composedDate(const DateFields& f) {
    const QDate today = QDate::currentDate();
    if (f.year == 0 && f.yearDigits >= 4)
        fault("ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    const int y = f.year < 0 ? today.year() : completedYear(f.year, f.yearDigits, f.rr);
    QDate date;
    if (f.julian >= 0) {
        date = QDate::fromJulianDay(f.julian);
    } else if (f.dayOfYear >= 0) {
        date = QDate(y, 1, 1).addDays(f.dayOfYear - 1);
        if (f.dayOfYear < 1 || date.year() != y)
            fault("ORA-01848: day of year must be between 1 and 365 (366 for leap year)");
    } else {
        const int m = f.month < 0 ? today.month() : f.month;
        if (m < 1 || m > 12)
            fault("ORA-01843: not a valid month");
        const int dd = f.day < 0 ? 1 : f.day;
        if (dd < 1 || dd > 31)
            fault("ORA-01847: day of month must be between 1 and last day of month");
        date = QDate(y, m, dd);
        if (!date.isValid())
            fault("ORA-01839: date not valid for month specified");
    }
    int h = f.hour < 0 ? 0 : f.hour;
    if (f.twelve) {
        if (h < 1 || h > 12)
            fault("ORA-01849: hour must be between 1 and 12");
        h = h % 12 + (f.pm ? 12 : 0);
    } else if (h > 23) {
        fault("ORA-01850: hour must be between 0 and 23");
    }
    if (f.minute > 59)
        fault("ORA-01851: minutes must be between 0 and 59");
    if (f.second > 59)
        fault("ORA-01852: seconds must be between 0 and 59");
    int64_t seconds = h * 3600 + f.minute * 60 + f.second;
    if (f.secondsOfDay >= 0) {
        if (f.secondsOfDay > 86399)
            fault("ORA-01853: seconds in day must be between 0 and 86399");
        seconds = f.secondsOfDay;
    }
    return {date.toJulianDay(), seconds, f.nanos};
}

StoredDate parseDate(const QString& text, const QString& format) {
    return composedDate(readDateFields(text, dateFormatItems(format)));
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

StoredDate roundDate(const StoredDate& d, const QString& format) {
    const QString f = format.trimmed().toUpper();
    const StoredDate down = truncDate(d, f);
    const QDate date = QDate::fromJulianDay(d.days);
    const QDate start = QDate::fromJulianDay(down.days);
    auto day = [](const QDate& at) { return StoredDate{at.toJulianDay(), 0, 0}; };
    // The units that round up on a given day rather than at their half.
    if (f == u"YYYY" || f == u"SYYYY" || f == u"YEAR" || f == u"SYEAR" || f == u"YYY" ||
        f == u"YY" || f == u"Y")
        return date.month() >= 7 ? day(start.addYears(1)) : down;
    if (f == u"MM" || f == u"MON" || f == u"MONTH" || f == u"RM")
        return date.day() >= 16 ? day(start.addMonths(1)) : down;
    if (f == u"Q") {
        const int inQuarter = date.month() - start.month();
        return inQuarter == 2 || (inQuarter == 1 && date.day() >= 16) ? day(start.addMonths(3))
                                                                      : down;
    }
    if (f == u"CC" || f == u"SCC")
        return (date.year() - 1) % 100 >= 50 ? day(start.addYears(100)) : down;
    // The others from the half of the unit on.
    int64_t span = 0;  // seconds
    if (f == u"HH" || f == u"HH12" || f == u"HH24")
        span = 3600;
    else if (f == u"MI")
        span = 60;
    else if (f == u"DD" || f == u"DDD" || f == u"J")
        span = kSecondsPerDay;
    else if (f == u"IYYY" || f == u"IYY" || f == u"IY" || f == u"I")
        span = (truncDate({down.days + 371, 0, 0}, f).days - down.days) * kSecondsPerDay;
    else
        span = 7 * kSecondsPerDay;  // the weeks: IW, WW, W, DAY
    const int64_t from = down.days * kSecondsPerDay + down.seconds;
    const int64_t elapsed = d.days * kSecondsPerDay + d.seconds - from;
    if (2 * elapsed < span)
        return down;
    const int64_t up = from + span;
    return {floorDiv(up, kSecondsPerDay), up - floorDiv(up, kSecondsPerDay) * kSecondsPerDay, 0};
}

int daysInMonth(const QDate& date) {
    return date.daysInMonth();
}

}  // namespace qv::embedded::oracle
