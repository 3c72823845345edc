// Oracle's numeric functions in place of SQLite's, CAST to a number, and the single row of a
// scalar subquery. See oraclevalues.h for the rules they keep.
#include "core/embedded/values/oraclevalues.h"
#include "core/embedded/values/sqlfunctions.h"

#include <cmath>
#include <limits>

namespace qv::embedded::oracle {

namespace {

void resultReal(sqlite3_context* ctx, double x) {
    sqlite3_result_double(ctx, decimalReal(x));
}

// The number `d` times 10^scale when that is a whole number a 64-bit integer holds.
std::optional<int64_t> scaled(const Decimal& d, int scale) {
    const int exponent = d.point + scale - int(d.digits.size());
    if (exponent < 0 || exponent > 18)
        return d.isZero() ? std::optional<int64_t>(0) : std::nullopt;
    bool ok = false;
    int64_t n = d.digits.isEmpty() ? 0 : d.digits.toLongLong(&ok);
    if (!d.digits.isEmpty() && !ok)
        return std::nullopt;
    for (int k = 0; k < exponent; ++k) {
        if (__builtin_mul_overflow(n, int64_t(10), &n))
            return std::nullopt;
    }
    return d.negative ? -n : n;
}

int fractionDigits(const Decimal& d) {
    return std::max(0, int(d.digits.size()) - d.point);
}

// MOD(m, n): m - n * TRUNC(m / n), so the sign is the dividend's, and m itself for n = 0. Exact
// on the decimal digits, as Oracle's NUMBER is (MOD(1, 0.1) is 0, where fmod finds 0.1).
void mod(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<Value> m = numberArgument(argv[0]);
    const std::optional<Value> n = numberArgument(argv[1]);
    if (!m || !n)
        return sqlite3_result_null(ctx);
    if (n->number() == 0)
        return resultNumber(ctx, *m);
    if (m->kind == Value::Integer && n->kind == Value::Integer)
        return sqlite3_result_int64(ctx, n->integer == -1 ? 0 : m->integer % n->integer);
    const Decimal dm = decimalOf(*m);
    const Decimal dn = decimalOf(*n);
    const int scale = std::max(fractionDigits(dm), fractionDigits(dn));
    const std::optional<int64_t> a = scaled(dm, scale);
    const std::optional<int64_t> b = scaled(dn, scale);
    if (a && b && *b != 0)
        return resultReal(ctx, double(*b == -1 ? 0 : *a % *b) / std::pow(10.0, scale));
    resultReal(ctx, std::fmod(m->number(), n->number()));
}

// REMAINDER(m, n): m - n * N, N the whole number nearest m / n (the even one for a half), so
// REMAINDER(18, 7) is -3; ORA-01476 for n = 0. Exact on the decimal digits, as MOD.
void remainder(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<Value> m = numberArgument(argv[0]);
    const std::optional<Value> n = numberArgument(argv[1]);
    if (!m || !n)
        return sqlite3_result_null(ctx);
    if (n->number() == 0)
        fault("ORA-01476: divisor is equal to zero");
    const Decimal dm = decimalOf(*m);
    const Decimal dn = decimalOf(*n);
    const int scale = std::max(fractionDigits(dm), fractionDigits(dn));
    const std::optional<int64_t> a = scaled(dm, scale);
    const std::optional<int64_t> b = scaled(dn, scale);
    if (!a || !b || *b == 0 || *b == std::numeric_limits<int64_t>::min() ||
        std::abs(*a) > (int64_t(1) << 61))
        return resultReal(ctx, std::remainder(m->number(), n->number()));
    int64_t rest = *a % *b;  // the dividend's sign, |rest| < |b|
    const int64_t quotient = *a / *b;
    const uint64_t twice = uint64_t(std::abs(rest)) * 2;
    const uint64_t divisor = uint64_t(std::abs(*b));
    if (twice > divisor || (twice == divisor && quotient % 2 != 0))
        rest -= (rest < 0) == (*b < 0) ? *b : -*b;
    if (m->kind == Value::Integer && n->kind == Value::Integer)
        return sqlite3_result_int64(ctx, rest);
    resultReal(ctx, double(rest) / std::pow(10.0, scale));
}

// The places of ROUND and TRUNC of a number, cut to a whole number.
std::optional<int> places(int argc, sqlite3_value** argv) {
    if (argc < 2)
        return 0;
    const std::optional<Value> p = numberArgument(argv[1]);
    if (!p)
        return std::nullopt;
    return int(std::clamp(std::trunc(p->number()), -1000.0, 1000.0));
}

// ROUND and TRUNC: of a date to the unit of a format ('DD' by default), of a number to a count
// of places (0 by default; before the point when negative).
template <bool Round>
void roundOrTrunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const Value v = valueOf(argv[0]);
    if (v.kind == Value::Null || (argc > 1 && sqlite3_value_type(argv[1]) == SQLITE_NULL))
        return sqlite3_result_null(ctx);
    if (v.kind == Value::Date) {
        const QString format = argc > 1 ? rawText(argv[1]) : QStringLiteral("DD");
        return resultDate(ctx, Round ? roundDate(v.date, format) : truncDate(v.date, format));
    }
    if (!v.isNumber())
        fault(v.kind == Value::Blob
                  ? "ORA-00932: inconsistent datatypes: expected NUMBER got BINARY"
                  : "ORA-01722: invalid number");
    const int p = *places(argc, argv);
    if (v.kind == Value::Integer && p >= 0)
        return sqlite3_result_int64(ctx, v.integer);
    const Decimal d = decimalOf(v);
    resultNumber(ctx, numberValue(Round ? rounded(d, p) : truncated(d, p)));
}

// A function of one number defined where `defined` says, ORA-01428 elsewhere.
template <double (*F)(double), bool (*Defined)(double)>
void unary(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<Value> x = numberArgument(argv[0]);
    if (!x)
        return sqlite3_result_null(ctx);
    if (!Defined(x->number()))
        outOfRange(numberText(*x));
    resultReal(ctx, F(x->number()));
}

bool anywhere(double) {
    return true;
}
bool notNegative(double x) {
    return x >= 0;
}
bool positive(double x) {
    return x > 0;
}
bool withinOne(double x) {
    return std::fabs(x) <= 1;
}

double squareRoot(double x) {
    return std::sqrt(x);
}
double naturalLog(double x) {
    return std::log(x);
}
double exponential(double x) {
    return std::exp(x);
}
double arcCosine(double x) {
    return std::acos(x);
}
double arcSine(double x) {
    return std::asin(x);
}
double hyperbolicCosine(double x) {
    return std::cosh(x);
}
double hyperbolicSine(double x) {
    return std::sinh(x);
}

// LOG(base, x): a positive base other than 1, a positive x.
void logarithm(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<Value> base = numberArgument(argv[0]);
    const std::optional<Value> x = numberArgument(argv[1]);
    if (!base || !x)
        return sqlite3_result_null(ctx);
    if (base->number() <= 0 || base->number() == 1)
        outOfRange(numberText(*base));
    if (x->number() <= 0)
        outOfRange(numberText(*x));
    resultReal(ctx, std::log(x->number()) / std::log(base->number()));
}

// POWER(base, exponent): exact for whole numbers that fit; a negative base takes only a whole
// exponent.
void power(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::optional<Value> base = numberArgument(argv[0]);
    const std::optional<Value> exponent = numberArgument(argv[1]);
    if (!base || !exponent)
        return sqlite3_result_null(ctx);
    if (base->kind == Value::Integer && exponent->kind == Value::Integer &&
        exponent->integer >= 0 && exponent->integer < 64) {
        int64_t result = 1;
        bool overflowed = false;
        for (int64_t k = 0; k < exponent->integer && !overflowed; ++k)
            overflowed = __builtin_mul_overflow(result, base->integer, &result);
        if (!overflowed)
            return sqlite3_result_int64(ctx, result);
    }
    const double x = std::pow(base->number(), exponent->number());
    if (std::isnan(x) || (base->number() == 0 && exponent->number() < 0))
        outOfRange(numberText(*exponent));
    resultReal(ctx, x);
}

// qv_number(x [, precision [, scale]]): CAST(x AS NUMBER(precision, scale)); text that reads
// as no number is ORA-01722, a value with more digits before the point than the type allows
// ORA-01438.
void castNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const Value v = valueOf(argv[0]);
    if (v.kind == Value::Null)
        return sqlite3_result_null(ctx);
    if (v.kind == Value::Date || v.kind == Value::Blob)
        fault("ORA-00932: inconsistent datatypes: expected NUMBER");
    if (v.kind == Value::Text)
        fault("ORA-01722: invalid number");
    if (argc < 2)
        return resultNumber(ctx, v);
    const int precision = sqlite3_value_int(argv[1]);
    const int scale = argc > 2 ? sqlite3_value_int(argv[2]) : 0;
    const Decimal d = rounded(decimalOf(v), scale);
    if (!d.isZero() && d.point > precision - scale)
        fault("ORA-01438: value larger than specified precision allowed for this column");
    resultNumber(ctx, numberValue(d));
}

// 10^digits for 0 <= digits <= 18.
int64_t powerOfTen(int digits) {
    int64_t p = 1;
    while (digits-- > 0)
        p *= 10;
    return p;
}

// qv_store(x, rule, size, scale, column): x as the column keeps it (StoreRule), with Oracle's
// errors naming the column. Called for every value written, so what needs no change (an integer
// that fits, text within the length) is passed on as it is.
void store(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto rule = StoreRule(sqlite3_value_int(argv[1]));
    if (rule == StoreRule::Date)
        return storeDate(ctx, argv[0]);
    if (rule == StoreRule::YearToMonth || rule == StoreRule::DayToSecond)
        return storeInterval(ctx, argv[0], rule == StoreRule::YearToMonth,
                             sqlite3_value_int(argv[2]), sqlite3_value_int(argv[3]));
    const int64_t size = sqlite3_value_int64(argv[2]);
    const int type = sqlite3_value_type(argv[0]);
    if (rule == StoreRule::Number || rule == StoreRule::SizedNumber) {
        const int64_t scale = sqlite3_value_int64(argv[3]);
        const int64_t whole = size - std::min<int64_t>(scale, 0) - std::max<int64_t>(scale, 0);
        if (type == SQLITE_INTEGER && (rule == StoreRule::Number || scale >= 0)) {
            const int64_t v = sqlite3_value_int64(argv[0]);
            if (rule == StoreRule::Number || whole > 18 ||
                (v > -powerOfTen(int(whole)) && v < powerOfTen(int(whole))))
                return sqlite3_result_value(ctx, argv[0]);
        }
        // A REAL with no more places than the scale and within the precision: 1.25 into
        // NUMBER(8,2) is 125 hundredths exactly.
        if (type == SQLITE_FLOAT && rule == StoreRule::SizedNumber && scale >= 0 && scale <= 18 &&
            whole <= 18) {
            const double x = sqlite3_value_double(argv[0]);
            const double units = x * double(powerOfTen(int(scale)));
            if (std::fabs(x) < double(powerOfTen(int(whole))) && std::fabs(units) < 0x1p53 &&
                units == std::nearbyint(units))
                return sqlite3_result_value(ctx, argv[0]);
        }
        if (rule == StoreRule::Number)
            return castNumber(ctx, 1, argv);
        sqlite3_value* number[] = {argv[0], argv[2], argv[3]};
        return castNumber(ctx, 3, number);
    }
    const bool bytes = rule == StoreRule::TextInBytes || rule == StoreRule::CharInBytes;
    const bool padded = rule == StoreRule::CharInBytes || rule == StoreRule::CharInCharacters;
    // Oracle's longest CHAR; padding is never made larger than that.
    constexpr int64_t kLongestChar = 32767;
    if (padded && size > kLongestChar)
        fault("ORA-00910: specified length too long for its datatype");
    std::string converted;
    std::string_view text;
    if (type == SQLITE_TEXT) {
        text = utf8Of(argv[0]);
    } else if (const std::optional<QString> t = textArgument(argv[0])) {
        converted = t->toStdString();
        text = converted;
    }
    if (text.empty())
        return sqlite3_result_null(ctx);
    const int64_t length = bytes ? int64_t(text.size()) : characters(text);
    if (length > size) {
        fault(QStringLiteral("ORA-12899: value too large for column %1 (actual: %2, maximum: %3)")
                  .arg(rawText(argv[4]))
                  .arg(length)
                  .arg(size));
    }
    if (padded && length < size) {
        std::string filled(text);
        filled.append(size_t(size - length), ' ');
        return resultUtf8(ctx, filled);
    }
    if (type == SQLITE_TEXT)
        return sqlite3_result_value(ctx, argv[0]);
    resultUtf8(ctx, text);
}

// qv_scalar(x), an aggregate: the value of a scalar subquery's one row, NULL without a row,
// ORA-01427 from the second row on.
struct ScalarRow {
    int64_t rows;
    sqlite3_value* value;
};

void scalarStep(sqlite3_context* ctx, int, sqlite3_value** argv) noexcept {
    auto* row = static_cast<ScalarRow*>(sqlite3_aggregate_context(ctx, sizeof(ScalarRow)));
    if (!row)
        return sqlite3_result_error_nomem(ctx);
    if (row->rows++ > 0)
        return sqlite3_result_error(ctx, "ORA-01427: single-row subquery returns more than one row",
                                    -1);
    row->value = sqlite3_value_dup(argv[0]);
    if (!row->value)
        sqlite3_result_error_nomem(ctx);
}

void scalarFinal(sqlite3_context* ctx) noexcept {
    auto* row = static_cast<ScalarRow*>(sqlite3_aggregate_context(ctx, 0));
    if (!row || !row->value)
        return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, row->value);
    sqlite3_value_free(row->value);
    row->value = nullptr;
}

const FunctionSpec kNumberFunctions[] = {
    {"mod", 2, 2, guarded<mod>},
    {"remainder", 2, 2, guarded<remainder>},
    {"round", 1, 2, guarded<roundOrTrunc<true>>},
    {"trunc", 1, 2, guarded<roundOrTrunc<false>>},
    {"sqrt", 1, 1, guarded<unary<squareRoot, notNegative>>},
    {"ln", 1, 1, guarded<unary<naturalLog, positive>>},
    {"exp", 1, 1, guarded<unary<exponential, anywhere>>},
    {"acos", 1, 1, guarded<unary<arcCosine, withinOne>>},
    {"asin", 1, 1, guarded<unary<arcSine, withinOne>>},
    {"cosh", 1, 1, guarded<unary<hyperbolicCosine, anywhere>>},
    {"sinh", 1, 1, guarded<unary<hyperbolicSine, anywhere>>},
    {"log", 2, 2, guarded<logarithm>},
    {"power", 2, 2, guarded<power>},
    {"qv_number", 1, 3, guarded<castNumber>},
    {"qv_store", 5, 5, guarded<store>},
};

}  // namespace

int registerNumberFunctions(sqlite3* db, void* dateSettings) {
    const int rc = registerFunctions(db, kNumberFunctions, dateSettings);
    if (rc != SQLITE_OK)
        return rc;
    return sqlite3_create_function_v2(db, "qv_scalar", 1, SQLITE_UTF8 | SQLITE_INNOCUOUS, nullptr,
                                      nullptr, scalarStep, scalarFinal, nullptr);
}

}  // namespace qv::embedded::oracle
