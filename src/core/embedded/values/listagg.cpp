#include "core/embedded/values/listagg.h"

#include "core/embedded/values/sqlfunctions.h"

#include <QHash>
#include <QString>

#include <algorithm>
#include <deque>
#include <optional>
#include <vector>

namespace qv::embedded {

namespace {

struct ListaggState {
    std::deque<QString> values;
    QHash<QString, int> seen;  // with DISTINCT: how often each value is in `values`
    QString delimiter;
    QString indicator;
    int mode = 0;
    bool started = false;
};

// The state of the group or window being aggregated; null before its first row when `create`
// is false.
ListaggState* stateOf(sqlite3_context* ctx, bool create) {
    auto** slot =
        static_cast<ListaggState**>(sqlite3_aggregate_context(ctx, create ? sizeof(void*) : 0));
    if (!slot)
        return nullptr;
    if (!*slot && create)
        *slot = new ListaggState;
    return *slot;
}

void step(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ListaggState* s = stateOf(ctx, true);
    if (!s)
        return sqlite3_result_error_nomem(ctx);
    if (!s->started) {
        s->started = true;
        s->delimiter = oracle::textArgument(argv[1]).value_or(QString());
        s->mode = int(sqlite3_value_int(argv[2]));
        s->indicator = oracle::textArgument(argv[3]).value_or(QString());
    }
    std::optional<QString> value = oracle::textArgument(argv[0]);
    if (!value)
        return;
    if (s->mode & kListaggDistinct) {
        if (s->seen[*value]++ > 0)
            return;
    }
    s->values.push_back(std::move(*value));
}

// A row leaves the window: the first one still in it, as the frame moves on in order.
void inverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ListaggState* s = stateOf(ctx, false);
    if (!s)
        return;
    const std::optional<QString> value = oracle::textArgument(argv[0]);
    if (!value)
        return;
    if (s->mode & kListaggDistinct) {
        auto it = s->seen.find(*value);
        if (it == s->seen.end() || --it.value() > 0)
            return;
        s->seen.erase(it);
        const auto at = std::find(s->values.begin(), s->values.end(), *value);
        if (at != s->values.end())
            s->values.erase(at);
        return;
    }
    if (!s->values.empty())
        s->values.pop_front();
}

void result(sqlite3_context* ctx, const ListaggState* s) {
    if (!s || s->values.empty())
        return sqlite3_result_null(ctx);
    QByteArray out;
    const QByteArray delimiter = s->delimiter.toUtf8();
    std::vector<qsizetype> ends;  // the length after each value taken
    bool over = false;
    for (const QString& v : s->values) {
        const QByteArray bytes = v.toUtf8();
        const qsizetype joiner = ends.empty() ? 0 : delimiter.size();
        if (out.size() + joiner + bytes.size() > kListaggMaxBytes) {
            over = true;
            break;
        }
        if (joiner > 0)
            out += delimiter;
        out += bytes;
        ends.push_back(out.size());
    }
    if (over) {
        if (!(s->mode & kListaggTruncate))
            oracle::fault("ORA-01489: result of string concatenation is too long");
        // Whole values only, with room for what says how many were left out.
        const QByteArray indicator = s->indicator.toUtf8();
        auto ending = [&](size_t shown) {
            QByteArray e = delimiter + indicator;
            if (s->mode & kListaggWithCount)
                e += '(' + QByteArray::number(qulonglong(s->values.size() - shown)) + ')';
            return e;
        };
        size_t kept = ends.size();
        while (kept > 0 && ends[kept - 1] + ending(kept).size() > kListaggMaxBytes)
            --kept;
        out.truncate(kept > 0 ? ends[kept - 1] : 0);
        out += ending(kept);
    }
    sqlite3_result_text(ctx, out.constData(), int(out.size()), SQLITE_TRANSIENT);
}

void currentValue(sqlite3_context* ctx, int, sqlite3_value**) {
    result(ctx, stateOf(ctx, false));
}

void value(sqlite3_context* ctx) noexcept {
    oracle::guarded<currentValue>(ctx, 0, nullptr);
}

void final(sqlite3_context* ctx) noexcept {
    ListaggState* s = stateOf(ctx, false);
    oracle::guarded<currentValue>(ctx, 0, nullptr);
    delete s;
}

}  // namespace

int registerListagg(sqlite3* db) {
    return sqlite3_create_window_function(
        db, "qv_listagg", 4, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
        oracle::guarded<step>, final, value, oracle::guarded<inverse>, nullptr);
}

}  // namespace qv::embedded
