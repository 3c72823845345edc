// Oracle's statistical aggregates: variance and standard deviation, percentiles, and the
// KEEP (DENSE_RANK FIRST | LAST ...) form of the plain aggregates (oraclestats.h). Each keeps the
// rows of its group or window and reads them when asked for its value, once until a row comes
// or goes: SQLite asks for the value of a whole partition again at each of its rows.
#include "core/embedded/values/oraclestats.h"

#include "core/embedded/values/sqlfunctions.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <optional>
#include <vector>

namespace qv::embedded {

namespace {

using oracle::fault;
using oracle::SqlValue;
using oracle::Value;

using Row = std::vector<SqlValue>;

struct Rows {
    std::deque<Row> rows;
    std::optional<SqlValue> value;  // of the rows as they are
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
    s->value.reset();
}

// A row leaves the window: the first one still in it, as the frame moves on in order.
void inverse(sqlite3_context* ctx, int, sqlite3_value**) {
    if (Rows* s = rowsOf(ctx, false); s && !s->rows.empty()) {
        s->rows.pop_front();
        s->value.reset();
    }
}

const SqlValue kNull;

// A number as Oracle shows it: an integer when it is one, else to the digits a NUMBER holds.
SqlValue number(double x) {
    SqlValue v;
    if (std::isfinite(x) && x == std::floor(x) && std::fabs(x) < 9e15) {
        v.type = SQLITE_INTEGER;
        v.integer = int64_t(x);
    } else {
        v.type = SQLITE_FLOAT;
        v.real = oracle::decimalReal(x);
    }
    return v;
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

SqlValue spreadOf(const std::vector<double>& values, int kind, bool root) {
    const std::optional<double> v = variance(values, kind);
    return v ? number(root ? std::sqrt(*v) : *v) : kNull;
}

// qv_variance(x) and its forms, by the user data: the kind (kVariance...) and whether the root
// is taken.
struct Spread {
    int kind;
    bool root;
};

SqlValue spread(sqlite3_context* ctx, const Rows& s) {
    std::vector<double> values;
    for (const Row& r : s.rows) {
        if (const auto x = numberOf(r[0]))
            values.push_back(*x);
    }
    const auto* form = static_cast<const Spread*>(sqlite3_user_data(ctx));
    return spreadOf(values, form->kind, form->root);
}

// A value a percentile sorts: a number or a date as seconds; the original kept for DISC.
struct Ranked {
    double key;
    const SqlValue* raw;
};

constexpr double kSecondsPerDay = 86400;

SqlValue percentile(sqlite3_context* ctx, const Rows& s) {
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
        return kNull;
    std::stable_sort(values.begin(), values.end(), [&](const Ranked& a, const Ranked& b) {
        return descending ? a.key > b.key : a.key < b.key;
    });
    const size_t n = values.size();
    if (!sqlite3_user_data(ctx)) {
        // DISC: the first value whose cumulative share, row / n, reaches p.
        const size_t row = std::max<size_t>(1, size_t(std::ceil(p * double(n) - 1e-12)));
        return *values[std::min(row, n) - 1].raw;
    }
    const double at = p * double(n - 1);  // row 1 + at, counted from 0
    const auto below = size_t(std::floor(at));
    const auto above = size_t(std::ceil(at));
    const double low = values[below].key;
    const double high = values[above].key;
    const double x =
        below == above ? low : (double(above) - at) * low + (at - double(below)) * high;
    if (!dates)
        return number(x);
    // A date between two others: to the second, as Oracle's DATE holds it.
    const auto seconds = int64_t(std::llround(x));
    const int64_t days = oracle::floorDiv(seconds, 86400);
    SqlValue date;
    date.type = SQLITE_TEXT;
    date.text = storedDateText(StoredDate{days, seconds - days * 86400, 0}, false);
    return date;
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
SqlValue keep(sqlite3_context*, const Rows& s) {
    if (s.rows.empty())
        return kNull;
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
        return number(double(kept.size()));
    if (kept.empty())
        return kNull;
    if (function == u"MIN" || function == u"MAX") {
        const SqlValue* pick = kept.front();
        for (const SqlValue* v : kept) {
            const int c = compareKeys(*v, *pick, 0);
            if (function == u"MIN" ? c < 0 : c > 0)
                pick = v;
        }
        return *pick;
    }
    std::vector<double> values;
    long double sum = 0;
    for (const SqlValue* v : kept) {
        values.push_back(*numberOf(*v));
        sum += values.back();
    }
    if (function == u"SUM")
        return number(double(sum));
    if (function == u"AVG")
        return number(double(sum / values.size()));
    if (function == u"VARIANCE" || function == u"STDDEV")
        return spreadOf(values, 0, function == u"STDDEV");
    fault("ORA-00904: invalid identifier");
}

using Compute = SqlValue (*)(sqlite3_context*, const Rows&);

template <Compute F>
void currentValue(sqlite3_context* ctx, int, sqlite3_value**) {
    Rows* s = rowsOf(ctx, false);
    if (!s)
        return oracle::setResult(ctx, F(ctx, Rows{}));
    if (!s->value)
        s->value = F(ctx, *s);
    oracle::setResult(ctx, *s->value);
}

template <Compute F>
void value(sqlite3_context* ctx) noexcept {
    oracle::guarded<currentValue<F>>(ctx, 0, nullptr);
}

template <Compute F>
void final(sqlite3_context* ctx) noexcept {
    Rows* s = rowsOf(ctx, false);
    oracle::guarded<currentValue<F>>(ctx, 0, nullptr);
    delete s;
}

template <Compute F>
int define(sqlite3* db, const char* name, int args, void* userData) {
    return sqlite3_create_window_function(
        db, name, args, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, userData,
        oracle::guarded<step>, final<F>, value<F>, oracle::guarded<inverse>, nullptr);
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
