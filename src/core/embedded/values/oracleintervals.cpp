// Oracle's INTERVAL YEAR TO MONTH and INTERVAL DAY TO SECOND values. The engine keeps an interval
// as the text Oracle shows for it: '+01-02' (years and months), '+01 02:03:04.000000' (days and
// time, with as many fraction digits as its type keeps, none for a type without seconds), the
// leading field as wide as its precision. A result shows as Oracle shows it, and the operators
// and functions read such text back as an interval (readInterval()).
//   INTERVAL '1-2' YEAR TO MONTH ...   qv_interval('1-2', 'YEAR TO MONTH') (the translation)
//   TO_YMINTERVAL, TO_DSINTERVAL, NUMTOYMINTERVAL, NUMTODSINTERVAL   precision 9, as Oracle's,
//                     shown as its clients show them ('+01 02:03:04.000000', see Shape)
//   date + interval, interval + date, date - interval   a date; a year-month interval moves the
//                     date's month and keeps its day, ORA-01839 for a day the month lacks
//   interval +- interval   an interval of the same kind (precision 9); other mixes ORA-30081
//   interval * number, interval / number
#include "core/embedded/values/oraclevalues.h"
#include "core/embedded/values/sqlfunctions.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace qv::embedded::oracle {

namespace {

constexpr int64_t kNanosPerSecond = 1000000000;

enum Unit { Year, Month, Day, Hour, Minute, Second };

// How an interval is shown: its kind, the digits of its leading field and of its fraction. A
// value of the functions and the operators (types of precision 9) shows as Oracle's clients show
// it: the leading field in two digits or as many as it has, the fraction in six or, when it has
// more, nine (`widened`).
struct Shape {
    bool yearMonth = false;
    int lead = 2;
    int fraction = 6;
    bool widened = true;
};

Shape typed(bool yearMonth, int lead, int fraction) {
    return Shape{yearMonth, lead, fraction, false};
}

struct Interval {
    bool yearMonth = false;
    int64_t months = 0;
    int64_t seconds = 0;  // rounded down: seconds + nanos / 1e9
    int64_t nanos = 0;    // 0 .. 999,999,999
};

[[noreturn]] void mixed() {
    fault("ORA-30081: invalid data type for datetime/interval arithmetic");
}

Interval daysToSecond(long double seconds) {
    const long double whole = std::floor(seconds);
    if (!(std::fabs(whole) < 8.6e13))  // 999,999,999 days
        fault("ORA-01873: the leading precision of the interval is too small");
    Interval v;
    v.seconds = int64_t(whole);
    v.nanos = int64_t(std::llround((seconds - whole) * kNanosPerSecond));
    if (v.nanos >= kNanosPerSecond) {
        ++v.seconds;
        v.nanos -= kNanosPerSecond;
    }
    return v;
}

long double totalSeconds(const Interval& v) {
    return (long double)v.seconds + (long double)v.nanos / kNanosPerSecond;
}

QString leading(int64_t value, int lead, bool widened) {
    const QString digits = QString::number(value);
    if (digits.size() > (widened ? 9 : lead))
        fault("ORA-01873: the leading precision of the interval is too small");
    return digits.rightJustified(lead, u'0');
}

QString intervalText(const Interval& v, const Shape& shape) {
    if (v.yearMonth) {
        const int64_t months = v.months < 0 ? -v.months : v.months;
        return (v.months < 0 ? QStringLiteral("-") : QStringLiteral("+")) +
               leading(months / 12, shape.lead, shape.widened) +
               QString::asprintf("-%02d", int(months % 12));
    }
    const bool negative = v.seconds < 0;
    int64_t seconds = negative ? -v.seconds - (v.nanos ? 1 : 0) : v.seconds;
    int64_t nanos = negative && v.nanos ? kNanosPerSecond - v.nanos : v.nanos;
    const int fraction = shape.widened && nanos % 1000 != 0 ? 9 : shape.fraction;
    int64_t unit = 1;
    for (int k = fraction; k < 9; ++k)
        unit *= 10;
    nanos = (nanos + unit / 2) / unit * unit;
    if (nanos >= kNanosPerSecond) {
        ++seconds;
        nanos = 0;
    }
    QString text = (negative ? QStringLiteral("-") : QStringLiteral("+")) +
                   leading(seconds / kSecondsPerDay, shape.lead, shape.widened) +
                   QString::asprintf(" %02d:%02d:%02d", int(seconds / 3600 % 24),
                                     int(seconds / 60 % 60), int(seconds % 60));
    if (fraction > 0)
        text += u'.' + QString::asprintf("%09lld", qlonglong(nanos)).left(fraction);
    return text;
}

// An interval as the engine keeps it; nullopt for any other text.
std::optional<Interval> readInterval(const QString& text) {
    if (text.size() < 4 || !(text[0] == u'+' || text[0] == u'-'))
        return std::nullopt;
    static const QRegularExpression kStored(
        QStringLiteral(R"(^([+-])(\d{1,9})(?:-(\d\d)|( \d\d):(\d\d):(\d\d)(?:\.(\d{1,9}))?)$)"));
    const QRegularExpressionMatch m = kStored.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int sign = m.capturedView(1) == u"-" ? -1 : 1;
    Interval v;
    if (m.hasCaptured(3)) {
        v.yearMonth = true;
        v.months = sign * (m.capturedView(2).toLongLong() * 12 + m.capturedView(3).toInt());
        return v;
    }
    const int64_t seconds = m.capturedView(2).toLongLong() * kSecondsPerDay +
                            m.capturedView(4).trimmed().toInt() * 3600 +
                            m.capturedView(5).toInt() * 60 + m.capturedView(6).toInt();
    const int64_t nanos = m.captured(7).leftJustified(9, u'0').toLongLong();
    if (sign > 0)
        return Interval{false, 0, seconds, nanos};
    return Interval{false, 0, -seconds - (nanos ? 1 : 0), nanos ? kNanosPerSecond - nanos : 0};
}

std::optional<Interval> intervalOf(const SqlValue& v) {
    if (v.type != SQLITE_TEXT)
        return std::nullopt;
    return readInterval(v.text);
}

SqlValue textValue(QString text) {
    SqlValue v;
    v.type = SQLITE_TEXT;
    v.text = std::move(text);
    return v;
}

// The date `d` moved by `v` (backward when `minus`).
StoredDate moved(StoredDate d, const Interval& v, bool minus) {
    if (v.yearMonth) {
        const QDate date = QDate::fromJulianDay(d.days);
        const int64_t index =
            int64_t(date.year()) * 12 + date.month() - 1 + (minus ? -v.months : v.months);
        const int year = int(floorDiv(index, 12));
        const int month = int(index - floorDiv(index, 12) * 12) + 1;
        if (date.day() > daysInMonth(QDate(year, month, 1)))
            fault("ORA-01839: date not valid for month specified");
        d.days = QDate(year, month, date.day()).toJulianDay();
        return d;
    }
    const bool fraction = d.nanos != 0;  // a TIMESTAMP keeps its fraction, a DATE whole seconds
    const long double shift = minus ? -totalSeconds(v) : totalSeconds(v);
    const long double at = (long double)(d.days * kSecondsPerDay + d.seconds) +
                           (long double)d.nanos / kNanosPerSecond + shift;
    const Interval point = daysToSecond(at);
    return StoredDate{floorDiv(point.seconds, kSecondsPerDay),
                      point.seconds - floorDiv(point.seconds, kSecondsPerDay) * kSecondsPerDay,
                      fraction ? int(point.nanos) : 0};
}

// Reads `text` as an interval from `first` to `last` (Oracle's literal forms: '1-2', '4 5:06:07',
// '-3', '30', '5:06.5' ...), the leading field at most `lead` digits.
Interval parseInterval(const QString& text, Unit first, Unit last, int lead) {
    // One pattern for each pair of fields, made once.
    static const std::vector<QRegularExpression> kPatterns = [] {
        static const char* const kSeparators[] = {"", "-", "", " ", ":", ":"};
        std::vector<QRegularExpression> patterns;
        for (int from = Year; from <= Second; ++from) {
            for (int to = Year; to <= Second; ++to) {
                QString pattern = QStringLiteral(R"(^\s*([+-])?(\d+))");
                for (int u = from + 1; u <= to; ++u)
                    pattern += QString::fromLatin1(kSeparators[u]) + QStringLiteral(R"((\d+))");
                if (to == Second)
                    pattern += QStringLiteral(R"((?:\.(\d{0,9}))?)");
                patterns.emplace_back(pattern + QStringLiteral(R"(\s*$)"));
            }
        }
        return patterns;
    }();
    const QRegularExpressionMatch m = kPatterns[size_t(first * 6 + last)].match(text);
    if (!m.hasMatch() || first > last || (first < Day) != (last < Day))
        fault("ORA-01867: the interval is invalid");
    if (m.capturedView(2).size() > lead)
        fault("ORA-01873: the leading precision of the interval is too small");
    const int sign = m.capturedView(1) == u"-" ? -1 : 1;
    Interval v;
    v.yearMonth = first < Day;
    static const int64_t kUnitSeconds[] = {0, 0, kSecondsPerDay, 3600, 60, 1};
    static const int kLimits[] = {0, 11, 0, 23, 59, 59};
    static const char* const kRangeErrors[] = {"",
                                               "ORA-01843: not a valid month",
                                               "",
                                               "ORA-01850: hour must be between 0 and 23",
                                               "ORA-01851: minutes must be between 0 and 59",
                                               "ORA-01852: seconds must be between 0 and 59"};
    int64_t months = 0;
    int64_t seconds = 0;
    for (int u = first; u <= last; ++u) {
        const int64_t field = m.capturedView(2 + u - first).toLongLong();
        if (u > first && field > kLimits[u])
            fault(kRangeErrors[u]);
        if (v.yearMonth)
            months += u == Year ? field * 12 : field;
        else
            seconds += field * kUnitSeconds[u];
    }
    const int64_t nanos = m.captured(3 + last - first).leftJustified(9, u'0').toLongLong();
    if (v.yearMonth) {
        v.months = sign * months;
        return v;
    }
    if (sign > 0)
        return Interval{false, 0, seconds, nanos};
    return Interval{false, 0, -seconds - (nanos ? 1 : 0), nanos ? kNanosPerSecond - nanos : 0};
}

std::optional<Unit> unitNamed(QStringView name) {
    static const char16_t* const kNames[] = {u"YEAR", u"MONTH",  u"DAY",
                                             u"HOUR", u"MINUTE", u"SECOND"};
    for (int u = Year; u <= Second; ++u) {
        if (name.compare(QStringView(kNames[u]), Qt::CaseInsensitive) == 0)
            return Unit(u);
    }
    return std::nullopt;
}

// qv_interval(text, qualifier): INTERVAL 'text' qualifier, the qualifier written as
// 'DAY(3) TO SECOND(2)', 'SECOND(2,3)', 'YEAR TO MONTH' ...
void intervalLiteral(sqlite3_context* ctx, int, sqlite3_value** argv) {
    static const QRegularExpression kQualifier(
        QStringLiteral(R"(^(\w+)(?:\((\d)(?:,(\d))?\))?(?: TO (\w+)(?:\((\d)\))?)?$)"));
    const std::optional<QString> text = textArgument(argv[0]);
    const QRegularExpressionMatch m = kQualifier.match(rawText(argv[1]));
    const std::optional<Unit> first = unitNamed(m.capturedView(1));
    const std::optional<Unit> last = m.hasCaptured(4) ? unitNamed(m.capturedView(4)) : first;
    if (!m.hasMatch() || !first || !last)
        fault("ORA-00923: FROM keyword not found where expected");
    if (!text)
        return sqlite3_result_null(ctx);
    Shape shape = typed(*first < Day, m.hasCaptured(2) ? m.capturedView(2).toInt() : 2, 0);
    if (*last == Second)
        shape.fraction = m.hasCaptured(3)   ? m.capturedView(3).toInt()
                         : m.hasCaptured(5) ? m.capturedView(5).toInt()
                                            : 6;
    resultText(ctx, intervalText(parseInterval(*text, *first, *last, shape.lead), shape));
}

// TO_YMINTERVAL('y-m'), TO_DSINTERVAL('d hh:mi:ss[.f]'), also in ISO's form ('P1Y2M',
// 'P1DT2H3M4.5S').
Interval isoInterval(const QString& text, bool yearMonth) {
    static const QRegularExpression kIso(QStringLiteral(
        R"(^\s*(-)?P(?:(\d+)Y)?(?:(\d+)M)?(?:(\d+)D)?(?:T(?:(\d+)H)?(?:(\d+)M)?(?:(\d+)(?:\.(\d{0,9}))?S)?)?\s*$)"));
    const QRegularExpressionMatch m = kIso.match(text);
    if (!m.hasMatch() || text.trimmed().size() < 3)
        fault("ORA-01867: the interval is invalid");
    const int sign = m.hasCaptured(1) ? -1 : 1;
    if (yearMonth)
        return Interval{
            true, sign * (m.capturedView(2).toLongLong() * 12 + m.capturedView(3).toLongLong()), 0,
            0};
    const long double seconds =
        m.capturedView(4).toLongLong() * (long double)kSecondsPerDay +
        m.capturedView(5).toLongLong() * 3600.0L + m.capturedView(6).toLongLong() * 60.0L +
        m.capturedView(7).toLongLong() + m.captured(8).leftJustified(9, u'0').toLongLong() / 1e9L;
    return daysToSecond(sign * seconds);
}

template <bool YearMonth>
void toInterval(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<QString> text = textArgument(argv[0]);
    if (!text)
        return sqlite3_result_null(ctx);
    const Interval v = text->trimmed().startsWith(u'P') || text->trimmed().startsWith(u"-P")
                           ? isoInterval(*text, YearMonth)
                       : YearMonth ? parseInterval(*text, Year, Month, 9)
                                   : parseInterval(*text, Day, Second, 9);
    resultText(ctx, intervalText(v, Shape{YearMonth}));
}

// NUMTOYMINTERVAL(n, 'YEAR' | 'MONTH'), NUMTODSINTERVAL(n, 'DAY' | 'HOUR' | 'MINUTE' | 'SECOND').
template <bool YearMonth>
void numberToInterval(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<Value> n = numberArgument(argv[0]);
    const std::optional<QString> unitText = textArgument(argv[1]);
    if (!n || !unitText)
        return sqlite3_result_null(ctx);
    const std::optional<Unit> unit = unitNamed(QStringView(*unitText).trimmed());
    if (!unit || (*unit < Day) != YearMonth)
        fault("ORA-01760: illegal argument for function");
    const long double x = n->kind == Value::Integer ? (long double)n->integer : n->real;
    Interval v;
    if (YearMonth) {
        const long double months = std::trunc(*unit == Year ? x * 12 : x);
        if (!(std::fabs(months) < 1.2e10))
            fault("ORA-01873: the leading precision of the interval is too small");
        v = Interval{true, int64_t(months), 0, 0};
    } else {
        static const int64_t kUnitSeconds[] = {0, 0, kSecondsPerDay, 3600, 60, 1};
        v = daysToSecond(x * kUnitSeconds[*unit]);
    }
    resultText(ctx, intervalText(v, Shape{YearMonth}));
}

// qv_extract(part, value): EXTRACT(part FROM value) of a date or an interval (the sign of an
// interval's on each part), SECOND with its fraction; NULL for anything else.
void extract(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<Unit> unit = unitNamed(rawText(argv[0]));
    const SqlValue raw = sqlValue(argv[1]);
    if (!unit)
        fault("ORA-00907: missing right parenthesis");
    if (const std::optional<Interval> v = intervalOf(raw)) {
        if (v->yearMonth != (*unit < Day))
            fault("ORA-30076: invalid extract field for extract source");
        if (v->yearMonth)
            return sqlite3_result_int64(ctx, *unit == Year ? v->months / 12 : v->months % 12);
        const long double total = totalSeconds(*v);
        const long double size = std::fabs(total);
        const int64_t whole = int64_t(size);
        static const int64_t kUnitSeconds[] = {0, 0, kSecondsPerDay, 3600, 60, 1};
        static const int64_t kModulo[] = {0, 0, 0, 24, 60, 60};
        const int sign = total < 0 ? -1 : 1;
        if (*unit == Second)
            return resultNumber(
                ctx,
                Value{Value::Real, 0, double(sign * (size - (whole - whole % 60))), {}, {}, {}});
        int64_t part = whole / kUnitSeconds[*unit];
        if (kModulo[*unit])
            part %= kModulo[*unit];
        return sqlite3_result_int64(ctx, sign * part);
    }
    const Value v = valueOf(raw);
    if (v.kind != Value::Date)
        return sqlite3_result_null(ctx);
    const QDate date = QDate::fromJulianDay(v.date.days);
    switch (*unit) {
        case Year:
            return sqlite3_result_int64(ctx, date.year());
        case Month:
            return sqlite3_result_int64(ctx, date.month());
        case Day:
            return sqlite3_result_int64(ctx, date.day());
        case Hour:
            return sqlite3_result_int64(ctx, v.date.seconds / 3600);
        case Minute:
            return sqlite3_result_int64(ctx, v.date.seconds / 60 % 60);
        default:
            return resultNumber(
                ctx,
                Value{
                    Value::Real, 0, double(v.date.seconds % 60) + v.date.nanos / 1e9, {}, {}, {}});
    }
}

// The collation of INTERVAL columns (kIntervalCollation): a total order, as an index needs.
int compareIntervals(void*, int sizeA, const void* a, int sizeB, const void* b) {
    const auto textA = QString::fromUtf8(static_cast<const char*>(a), sizeA);
    const auto textB = QString::fromUtf8(static_cast<const char*>(b), sizeB);
    const std::optional<Interval> x = readInterval(textA);
    const std::optional<Interval> y = readInterval(textB);
    const auto rank = [](const std::optional<Interval>& v) {
        return !v ? 2 : v->yearMonth ? 0 : 1;
    };
    if (rank(x) != rank(y))
        return rank(x) < rank(y) ? -1 : 1;
    if (!x) {
        const int c = std::memcmp(a, b, size_t(std::min(sizeA, sizeB)));
        return c != 0 ? c : sizeA - sizeB;
    }
    const auto key = [](const Interval& v) {
        return std::make_pair(v.yearMonth ? v.months : v.seconds, v.nanos);
    };
    return key(*x) < key(*y) ? -1 : key(*y) < key(*x) ? 1 : 0;
}

// Unary minus, qv_negate(x) where x is no number literal: an interval turned round (its text's
// sign, a zero one keeping its +), a number negated, text read as a number (ORA-01722 else).
void negate(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const SqlValue v = sqlValue(argv[0]);
    if (v.type == SQLITE_TEXT && readInterval(v.text)) {
        QString text = v.text;
        const bool zero = std::all_of(text.cbegin() + 1, text.cend(),
                                      [](QChar c) { return !c.isDigit() || c == u'0'; });
        text[0] = zero || text[0] == u'-' ? u'+' : u'-';
        return resultText(ctx, text);
    }
    if (v.type == SQLITE_INTEGER && v.integer != INT64_MIN)
        return sqlite3_result_int64(ctx, -v.integer);
    const std::optional<Value> n = numberArgument(argv[0]);
    if (!n)
        return sqlite3_result_null(ctx);
    resultNumber(ctx, n->kind == Value::Integer && n->integer != INT64_MIN
                          ? Value{Value::Integer, -n->integer, 0, {}, {}, {}}
                          : Value{Value::Real, 0, -n->number(), {}, {}, {}});
}

const FunctionSpec kIntervalFunctions[] = {
    {"qv_negate", 1, 1, guarded<negate>},
    {"qv_extract", 2, 2, guarded<extract>},
    {"qv_interval", 2, 2, guarded<intervalLiteral>},
    {"to_yminterval", 1, 1, guarded<toInterval<true>>},
    {"to_dsinterval", 1, 1, guarded<toInterval<false>>},
    {"numtoyminterval", 2, 2, guarded<numberToInterval<true>>},
    {"numtodsinterval", 2, 2, guarded<numberToInterval<false>>},
};

}  // namespace

std::optional<SqlValue> intervalSum(const SqlValue& a, const SqlValue& b, bool minus) {
    const std::optional<Interval> x = intervalOf(a);
    const std::optional<Interval> y = intervalOf(b);
    if (!x && !y)
        return std::nullopt;
    if (a.type == SQLITE_NULL || b.type == SQLITE_NULL)
        return SqlValue{};
    if (x && y) {
        if (x->yearMonth != y->yearMonth)
            mixed();
        if (x->yearMonth)
            return textValue(intervalText(
                Interval{true, minus ? x->months - y->months : x->months + y->months, 0, 0},
                Shape{true}));
        const long double sum =
            minus ? totalSeconds(*x) - totalSeconds(*y) : totalSeconds(*x) + totalSeconds(*y);
        return textValue(intervalText(daysToSecond(sum), Shape{}));
    }
    // A date moved by an interval; the interval may stand first only to be added.
    const Value date = valueOf(x ? b : a);
    if (date.kind != Value::Date || (x && minus))
        mixed();
    return textValue(storedDateText(moved(date.date, x ? *x : *y, minus), true));
}

std::optional<SqlValue> intervalScaled(const SqlValue& a, const SqlValue& b, bool divide) {
    const std::optional<Interval> x = intervalOf(a);
    if (!x && !intervalOf(b))
        return std::nullopt;
    if (a.type == SQLITE_NULL || b.type == SQLITE_NULL)
        return SqlValue{};
    const Value n = valueOf(x ? b : a);
    if (!n.isNumber() || (divide && !x))
        mixed();
    const Interval v = x ? *x : *intervalOf(b);
    const long double factor = n.kind == Value::Integer ? (long double)n.integer : n.real;
    if (divide && factor == 0)
        fault("ORA-01476: divisor is equal to zero");
    if (v.yearMonth) {
        const long double months = std::trunc(divide ? v.months / factor : v.months * factor);
        return textValue(intervalText(Interval{true, int64_t(months), 0, 0}, Shape{true}));
    }
    const long double seconds = divide ? totalSeconds(v) / factor : totalSeconds(v) * factor;
    return textValue(intervalText(daysToSecond(seconds), Shape{}));
}

void storeInterval(sqlite3_context* ctx, sqlite3_value* value, bool yearMonth, int lead,
                   int fraction) {
    const int type = sqlite3_value_type(value);
    if (type == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const char* expected = yearMonth ? "YEAR TO MONTH" : "DAY TO SECOND";
    if (type != SQLITE_TEXT)
        fault(QStringLiteral("ORA-00932: inconsistent datatypes: expected INTERVAL %1 got %2")
                  .arg(QLatin1String(expected),
                       type == SQLITE_BLOB ? QStringLiteral("BINARY") : QStringLiteral("NUMBER")));
    const QString text = rawText(value);
    if (text.isEmpty())
        return sqlite3_result_null(ctx);
    std::optional<Interval> v = readInterval(text);
    if (!v)
        v = yearMonth ? parseInterval(text, Year, Month, 9) : parseInterval(text, Day, Second, 9);
    if (v->yearMonth != yearMonth)
        fault(QStringLiteral("ORA-00932: inconsistent datatypes: expected INTERVAL %1 got "
                             "INTERVAL %2")
                  .arg(QLatin1String(expected),
                       QLatin1String(yearMonth ? "DAY TO SECOND" : "YEAR TO MONTH")));
    resultText(ctx, intervalText(*v, typed(yearMonth, lead, fraction)));
}

std::optional<std::pair<int, QByteArray>> intervalBytes(const QString& text) {
    const std::optional<Interval> v = readInterval(text);
    if (!v)
        return std::nullopt;
    QByteArray bytes;
    auto offset = [&](int64_t n) {  // four bytes, big-endian, plus 2^31
        const auto u = uint32_t(int64_t(0x80000000LL) + n);
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.append(char((u >> shift) & 0xFF));
    };
    if (v->yearMonth) {
        offset(v->months / 12);  // C++ division keeps the sign with both fields
        bytes.append(char(60 + v->months % 12));
        return std::pair{182, bytes};
    }
    const __int128 total = __int128(v->seconds) * kNanosPerSecond + v->nanos;
    const int sign = total < 0 ? -1 : 1;
    const auto whole = int64_t((total < 0 ? -total : total) / kNanosPerSecond);
    const auto nanos = int64_t((total < 0 ? -total : total) % kNanosPerSecond);
    offset(sign * (whole / kSecondsPerDay));
    for (const int64_t part : {whole / 3600 % 24, whole / 60 % 60, whole % 60})
        bytes.append(char(60 + sign * part));
    offset(sign * nanos);
    return std::pair{183, bytes};
}

int registerIntervalFunctions(sqlite3* db) {
    const int rc = registerFunctions(db, kIntervalFunctions);
    if (rc != SQLITE_OK)
        return rc;
    const QByteArray name = kIntervalCollation.toUtf8();
    return sqlite3_create_collation_v2(db, name.constData(), SQLITE_UTF8, nullptr, compareIntervals,
                                       nullptr);
}

}  // namespace qv::embedded::oracle
