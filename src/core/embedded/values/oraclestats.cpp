// Oracle's statistical aggregates: variance and standard deviation, percentiles, and the
// KEEP (DENSE_RANK FIRST | LAST ...) form of the plain aggregates (oraclestats.h). Each keeps the
// rows of its group or window and reads them when asked for its value.
#include "core/embedded/values/oraclestats.h"

#include "core/embedded/values/sqlfunctions.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

namespace qv::embedded {

namespace {

using oracle::fault;
using oracle::SqlValue;
using oracle::Value;

using Row = std::vector<SqlValue>;

struct Rows {
    std::deque<Row> rows;
};

Rows* rowsOf(sqlite3_context* ctx, bool create) {
    auto** slot = static_cast<Rows**>(sqlite3_aggregate_context(ctx, create ? sizeof(void*) : 0));
    if (!slot)
        return nullptr;
    if (!*slot && create)
        *slot = new Rows;
    return *slot;
}

void step(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    Rows* s = rowsOf(ctx, true);
    if (!s)
        return sqlite3_result_error_nomem(ctx);
    Row row;
    row.reserve(size_t(argc));
    for (int i = 0; i < argc; ++i)
        row.push_back(oracle::sqlValue(argv[i]));
    s->rows.push_back(std::move(row));
}

// A row leaves the window: the first one still in it, as the frame moves on in order.
void inverse(sqlite3_context* ctx, int, sqlite3_value**) {
    if (Rows* s = rowsOf(ctx, false); s && !s->rows.empty())
        s->rows.pop_front();
}

// A number as Oracle shows it: an integer when it is one.
void resultReal(sqlite3_context* ctx, double x) {
    Value v;
    if (std::isfinite(x) && x == std::floor(x) && std::fabs(x) < 9e15) {
        v.kind = Value::Integer;
        v.integer = int64_t(x);
    } else {
        v.kind = Value::Real;
        v.real = x;
    }
    oracle::resultNumber(ctx, v);
}

// The number a statistic reads from `raw`; nullopt for NULL.
std::optional<double> numberOf(const SqlValue& raw) {
    const Value v = oracle::valueOf(raw);
    if (v.kind == Value::Null)
        return std::nullopt;
    if (v.kind == Value::Text)
        fault("ORA-01722: invalid number");
    if (!v.isNumber())
        fault("ORA-00932: inconsistent datatypes: expected NUMBER got DATE");
    return v.number();
}

// VARIANCE (kind 0), VAR_SAMP (1), VAR_POP (2) of `values`; nullopt where Oracle gives NULL.
std::optional<double> variance(const std::vector<double>& values, int kind) {
    const size_t n = values.size();
    if (n == 0 || (n == 1 && kind == 1))
        return std::nullopt;
    if (n == 1)
        return 0.0;
    long double mean = 0;
    for (double x : values)
        mean += x;
    mean /= n;
    long double squares = 0;
    for (double x : values)
        squares += (x - mean) * (x - mean);
    return double(squares / (kind == 2 ? n : n - 1));
}

void resultSpread(sqlite3_context* ctx, const std::vector<double>& values, int kind, bool root) {
    const std::optional<double> v = variance(values, kind);
    if (!v)
        return sqlite3_result_null(ctx);
    resultReal(ctx, oracle::decimalReal(root ? std::sqrt(*v) : *v));
}

// qv_variance(x) and its forms, by the user data: the kind (kVariance...) and whether the root
// is taken.
struct Spread {
    int kind;
    bool root;
};

void spread(sqlite3_context* ctx, const Rows& s) {
    std::vector<double> values;
    for (const Row& r : s.rows) {
        if (const auto x = numberOf(r[0]))
            values.push_back(*x);
    }
    const auto* form = static_cast<const Spread*>(sqlite3_user_data(ctx));
    resultSpread(ctx, values, form->kind, form->root);
}

// A value a percentile sorts: a number or a date as seconds; the original kept for DISC.
struct Ranked {
    double key;
    const SqlValue* raw;
};

constexpr double kSecondsPerDay = 86400;

void percentile(sqlite3_context* ctx, const Rows& s) {
    std::vector<Ranked> values;
    double p = 0;
    bool descending = false;
    bool dates = false;
    for (const Row& r : s.rows) {
        const Value v = oracle::valueOf(r[1]);
        if (v.kind == Value::Null)
            continue;
        const std::optional<double> share = numberOf(r[0]);
        if (!share || *share < 0 || *share > 1)
            fault("ORA-30493: The percentile value should be a number between 0 and 1.");
        p = *share;
        descending = r[2].integer != 0;
        if (v.kind == Value::Date) {
            dates = true;
            values.push_back(
                {double(v.date.days) * kSecondsPerDay + double(v.date.seconds), &r[1]});
        } else if (v.isNumber()) {
            values.push_back({v.number(), &r[1]});
        } else {
            fault("ORA-00932: inconsistent datatypes: expected NUMBER got CHAR");
        }
    }
    if (values.empty())
        return sqlite3_result_null(ctx);
    std::stable_sort(values.begin(), values.end(), [&](const Ranked& a, const Ranked& b) {
        return descending ? a.key > b.key : a.key < b.key;
    });
    const size_t n = values.size();
    if (!sqlite3_user_data(ctx)) {
        // DISC: the first value whose cumulative share, row / n, reaches p.
        const size_t row = std::max<size_t>(1, size_t(std::ceil(p * double(n) - 1e-12)));
        return oracle::setResult(ctx, *values[std::min(row, n) - 1].raw);
    }
    const double at = p * double(n - 1);  // row 1 + at, counted from 0
    const auto below = size_t(std::floor(at));
    const auto above = size_t(std::ceil(at));
    const double low = values[below].key;
    const double high = values[above].key;
    const double x =
        below == above ? low : (double(above) - at) * low + (at - double(below)) * high;
    if (!dates)
        return resultReal(ctx, oracle::decimalReal(x));
    // A date between two others: to the second, as Oracle's DATE holds it.
    const auto seconds = int64_t(std::llround(x));
    oracle::resultDate(ctx, StoredDate{oracle::floorDiv(seconds, 86400),
                                       seconds - oracle::floorDiv(seconds, 86400) * 86400, 0});
}

// Oracle's order of two sort keys: NULLs as the flags place them, numbers by value, dates by
// time, text by its characters.
int compareKeys(const SqlValue& a, const SqlValue& b, int flags) {
    const Value x = oracle::valueOf(a);
    const Value y = oracle::valueOf(b);
    int order = 0;
    if (x.kind == Value::Null || y.kind == Value::Null) {
        if (x.kind == y.kind)
            return 0;
        const int nullFirst = (flags & kKeepNullsFirst) ? -1 : 1;
        return x.kind == Value::Null ? nullFirst : -nullFirst;
    }
    if (x.isNumber() && y.isNumber())
        order = x.number() < y.number() ? -1 : x.number() > y.number() ? 1 : 0;
    else if (x.kind == Value::Date && y.kind == Value::Date)
        order = std::tie(x.date.days, x.date.seconds, x.date.nanos) <
                        std::tie(y.date.days, y.date.seconds, y.date.nanos)
                    ? -1
                : std::tie(x.date.days, x.date.seconds, x.date.nanos) ==
                        std::tie(y.date.days, y.date.seconds, y.date.nanos)
                    ? 0
                    : 1;
    else
        order = QString::compare(x.text, y.text);
    order = order < 0 ? -1 : order > 0 ? 1 : 0;
    return (flags & kKeepDescending) ? -order : order;
}

// qv_keep(function, last, x, key1, flags1, ...): the rows that rank first (or last) by the keys
// handed to the plain aggregate.
void keep(sqlite3_context* ctx, const Rows& s) {
    if (s.rows.empty())
        return sqlite3_result_null(ctx);
    const Row& head = s.rows.front();
    const QString function = head[0].text.toUpper();
    const bool last = head[1].integer != 0;
    auto compare = [](const Row& a, const Row& b) {
        for (size_t k = 3; k + 1 < a.size(); k += 2) {
            if (const int c = compareKeys(a[k], b[k], int(a[k + 1].integer)))
                return c;
        }
        return 0;
    };
    const Row* best = &head;
    for (const Row& r : s.rows) {
        const int c = compare(r, *best);
        if (last ? c > 0 : c < 0)
            best = &r;
    }
    std::vector<const SqlValue*> kept;
    for (const Row& r : s.rows) {
        if (compare(r, *best) == 0 && oracle::valueOf(r[2]).kind != Value::Null)
            kept.push_back(&r[2]);
    }
    if (function == u"COUNT")
        return sqlite3_result_int64(ctx, int64_t(kept.size()));
    if (kept.empty())
        return sqlite3_result_null(ctx);
    if (function == u"MIN" || function == u"MAX") {
        const SqlValue* pick = kept.front();
        for (const SqlValue* v : kept) {
            const int c = compareKeys(*v, *pick, 0);
            if (function == u"MIN" ? c < 0 : c > 0)
                pick = v;
        }
        return oracle::setResult(ctx, *pick);
    }
    std::vector<double> values;
    long double sum = 0;
    for (const SqlValue* v : kept) {
        values.push_back(*numberOf(*v));
        sum += values.back();
    }
    if (function == u"SUM")
        return resultReal(ctx, oracle::decimalReal(double(sum)));
    if (function == u"AVG")
        return resultReal(ctx, oracle::decimalReal(double(sum / values.size())));
    if (function == u"VARIANCE" || function == u"STDDEV")
        return resultSpread(ctx, values, 0, function == u"STDDEV");
    fault("ORA-00904: invalid identifier");
}

template <void (*Compute)(sqlite3_context*, const Rows&)>
void currentValue(sqlite3_context* ctx, int, sqlite3_value**) {
    Rows* s = rowsOf(ctx, false);
    if (!s)
        return Compute(ctx, Rows{});
    Compute(ctx, *s);
}

template <void (*Compute)(sqlite3_context*, const Rows&)>
void value(sqlite3_context* ctx) noexcept {
    oracle::guarded<currentValue<Compute>>(ctx, 0, nullptr);
}

template <void (*Compute)(sqlite3_context*, const Rows&)>
void final(sqlite3_context* ctx) noexcept {
    Rows* s = rowsOf(ctx, false);
    oracle::guarded<currentValue<Compute>>(ctx, 0, nullptr);
    delete s;
}

template <void (*Compute)(sqlite3_context*, const Rows&)>
int define(sqlite3* db, const char* name, int args, void* userData) {
    return sqlite3_create_window_function(
        db, name, args, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, userData,
        oracle::guarded<step>, final<Compute>, value<Compute>, oracle::guarded<inverse>, nullptr);
}

}  // namespace

int registerStatistics(sqlite3* db) {
    static const Spread kSpreads[] = {{0, false}, {1, false}, {2, false},
                                      {0, true},  {1, true},  {2, true}};
    static const char* const kNames[] = {"qv_variance", "qv_var_samp",    "qv_var_pop",
                                         "qv_stddev",   "qv_stddev_samp", "qv_stddev_pop"};
    static char cont = 1;
    int rc = SQLITE_OK;
    for (size_t i = 0; i < std::size(kNames) && rc == SQLITE_OK; ++i)
        rc = define<spread>(db, kNames[i], 1, const_cast<Spread*>(&kSpreads[i]));
    if (rc == SQLITE_OK)
        rc = define<percentile>(db, "qv_percentile_cont", 3, &cont);
    if (rc == SQLITE_OK)
        rc = define<percentile>(db, "qv_percentile_disc", 3, nullptr);
    if (rc == SQLITE_OK)
        rc = define<keep>(db, "qv_keep", -1, nullptr);
    return rc;
}

}  // namespace qv::embedded
