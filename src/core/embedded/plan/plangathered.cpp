// The plan's estimates from the statistics DBMS_STATS gathered (planestimates.h has the model).
#include "core/embedded/plan/planestimates.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace qv::embedded {

namespace {

// Whether the bucket holds `literal`: a number or a date by its value, text as written.
bool holds(const HistogramBucket& b, const QString& literal) {
    double value = 0;
    if (b.endpointValue && PlanEstimates::numberOf(literal, value))
        return std::abs(*b.endpointValue - value) < 1e-9 * std::max(1.0, std::abs(value));
    return b.actualValue == literal;
}

}  // namespace

const PlanEstimates::Gathered* PlanEstimates::gathered(const QString& table) {
    const QString key = table.toLower();
    auto it = gathered_.constFind(key);
    if (it == gathered_.constEnd()) {
        std::optional<Gathered> g;
        if (const std::optional<TableStats> t = tableStats(db_, key)) {
            g = Gathered{*t, {}};
            for (ColumnStats& c : columnStats(db_, key))
                g->columns.insert(c.column.toLower(), c);
        }
        it = gathered_.insert(key, g);
    }
    return it->has_value() ? &**it : nullptr;
}

const ColumnStats* PlanEstimates::gathered(const QString& table, const QString& column) {
    const Gathered* g = gathered(table);
    if (!g)
        return nullptr;
    const auto it = g->columns.constFind(column.toLower());
    return it == g->columns.constEnd() ? nullptr : &*it;
}

const std::vector<HistogramBucket>& PlanEstimates::buckets(const QString& table,
                                                           const QString& column) {
    const QString key = table.toLower() + u'.' + column.toLower();
    auto it = buckets_.find(key);
    if (it == buckets_.end())
        it = buckets_.insert(key, histogram(db_, table, column));
    return *it;
}

std::optional<IndexStats> PlanEstimates::indexCosts(const QString& index) {
    std::optional<IndexStats> s = indexStats(db_, index);
    if (!s || !s->blevel || !s->leafBlocks || !s->clusteringFactor)
        return std::nullopt;
    return s;
}

double PlanEstimates::equalSelectivity(const QString& table, const ColumnStats& c,
                                       const QString& literal) {
    const double rows = std::max<double>(1, gathered(table)->table.numRows);
    const double nonnull = std::max<double>(0, rows - c.numNulls) / rows;
    const double ndv = std::max<double>(1, c.numDistinct);
    const QString value = peeked(literal);
    if (value.isEmpty() || c.histogram.isEmpty() || c.histogram == u"NONE")
        return nonnull / ndv;
    const std::vector<HistogramBucket>& b = buckets(table, c.column);
    const double total = b.empty() ? 0 : double(b.back().endpointNumber);
    if (total <= 0)
        return nonnull / ndv;
    if (c.histogram == u"HYBRID") {
        // A popular value repeats more often than an average bucket holds rows.
        const double bucketRows = total / std::max<double>(1, c.numBuckets);
        for (const HistogramBucket& k : b) {
            if (holds(k, value) && k.repeatCount > bucketRows)
                return nonnull * k.repeatCount / total;
        }
        return nonnull * c.density.value_or(1 / ndv);
    }
    // FREQUENCY, TOP-FREQUENCY: a bucket for each value, its rows the step in endpoint numbers.
    double least = total;
    int64_t previous = 0;
    for (const HistogramBucket& k : b) {
        const double count = double(k.endpointNumber - previous);
        previous = k.endpointNumber;
        if (holds(k, value))
            return nonnull * count / total;
        least = std::min(least, count);
    }
    if (c.histogram == u"FREQUENCY")
        return nonnull * least / 2 / total;
    // TOP-FREQUENCY: what the buckets leave, spread over the values they leave.
    const double left = std::max(1.0, ndv - double(b.size()));
    const double nonnullRows = std::max(1.0, rows - double(c.numNulls));
    return std::max(0.0, nonnullRows - total) / left / rows;
}

std::optional<double> PlanEstimates::gatheredSelectivity(const Predicate& p, const QString& table) {
    const Gathered* g = gathered(table);
    if (!g)
        return std::nullopt;
    if (p.function) {
        if (p.op == u"IN")
            return std::min(1.0, p.values * 0.01);
        return p.op == u"=" ? 0.01 : 0.05;
    }
    const ColumnStats* c = gathered(table, p.column);
    if (!c)
        return std::nullopt;
    const double rows = std::max<double>(1, g->table.numRows);
    const double nulls = std::min(1.0, double(c->numNulls) / rows);
    if (p.isJoin())
        return p.op == u"=" ? std::optional(joinSelectivity(*c, 1 - nulls, p)) : std::nullopt;
    if (p.op == u"IS NULL")
        return nulls;
    if (p.op == u"IS NOT NULL")
        return 1 - nulls;
    if (p.op == u"=")
        return equalSelectivity(table, *c, p.value);
    if (p.op == u"IN") {
        if (p.list.isEmpty())
            return std::min(1.0, p.values * equalSelectivity(table, *c, QString()));
        double sum = 0;
        for (const QString& v : p.list)
            sum += equalSelectivity(table, *c, v);
        return std::min(1.0, sum);
    }
    if (p.op == u"<>" || p.op == u"!=")
        return std::max(0.0, 1 - nulls - equalSelectivity(table, *c, p.value));
    if (p.op == u"LIKE")
        return likeSelectivity(p, table);
    return std::nullopt;
}

std::optional<double> PlanEstimates::likeSelectivity(const Predicate& p, const QString& table) {
    const ColumnStats* c = gathered(table, p.column);
    const QString pattern = peeked(p.value);
    const qsizetype wildcard = pattern.indexOf(QRegularExpression(QStringLiteral("[%_]")));
    if (pattern.isEmpty() || wildcard == 0)
        return 0.05;
    if (wildcard < 0)
        return equalSelectivity(table, *c, pattern);
    // The texts that begin with the prefix: from it up to it followed by the highest bytes.
    double min = 0, max = 0, low = 0;
    const QByteArray prefix = pattern.left(wildcard).toUtf8();
    if (!bounds(table, p.column, min, max) ||
        !valueOf(table, p.column, pattern.left(wildcard), low))
        return 0.05;
    const double high =
        textPlace(table.toLower() + u'.' + p.column.toLower(), prefix + QByteArray(16, char(0xff)));
    return spanSelectivity(table, p.column, low, true, high, false);
}

std::optional<double> PlanEstimates::histogramShare(const QString& table, const ColumnStats& c,
                                                    double low, bool closedLow, double high,
                                                    bool closedHigh) {
    if (c.histogram.isEmpty() || c.histogram == u"NONE")
        return std::nullopt;
    const std::vector<HistogramBucket>& b = buckets(table, c.column);
    const double total = b.empty() ? 0 : double(b.back().endpointNumber);
    if (total <= 0)
        return std::nullopt;
    const bool hybrid = c.histogram == u"HYBRID" || c.histogram == u"HEIGHT BALANCED";
    const QString key = table.toLower() + u'.' + c.column.toLower();
    auto place = [&](const HistogramBucket& k) {
        return k.endpointValue ? *k.endpointValue : textPlace(key, k.actualValue.toUtf8());
    };
    // The rows below `x` (at it too when `inclusive`), as the buckets tell them.
    auto below = [&](double x, bool inclusive) {
        double previousPlace = place(b.front());
        double previousEnd = 0;
        for (const HistogramBucket& k : b) {
            const double at = place(k), end = double(k.endpointNumber);
            const double repeats = hybrid ? double(k.repeatCount) : end - previousEnd;
            if (x == at)
                return inclusive ? end : end - repeats;
            if (x < at) {
                // The bucket's other rows lie between the previous endpoint and this one.
                const double between = std::max(0.0, end - repeats - previousEnd);
                const double part =
                    at > previousPlace ? (x - previousPlace) / (at - previousPlace) : 0;
                return previousEnd + between * std::clamp(part, 0.0, 1.0);
            }
            previousPlace = at;
            previousEnd = end;
        }
        return total;
    };
    const double from = low == -HUGE_VAL ? 0 : below(low, !closedLow);
    const double to = high == HUGE_VAL ? total : below(high, closedHigh);
    return std::max(0.0, to - from) / total;
}

double PlanEstimates::joinSelectivity(const ColumnStats& c, double nonnull, const Predicate& join) {
    const ColumnStats* other =
        join.otherTable.isEmpty() ? nullptr : gathered(join.otherTable, join.otherColumn);
    if (!other)
        return nonnull / std::max<double>(1, c.numDistinct);
    // Oracle's: 1 / the larger of the two distinct counts, of the rows with a value on each side.
    const double otherRows = std::max<double>(1, gathered(join.otherTable)->table.numRows);
    const double otherNonnull = std::max(0.0, otherRows - double(other->numNulls)) / otherRows;
    return nonnull * otherNonnull /
           std::max<double>(1, double(std::max(c.numDistinct, other->numDistinct)));
}

double PlanEstimates::keySelectivity(const QList<Predicate>& conditions, const QString& table,
                                     const QString& column) {
    // A literal's condition first, a join's next.
    for (const bool join : {false, true}) {
        for (const Predicate& p : conditions) {
            if (p.column == column && p.isJoin() == join && !p.function && !p.subquery &&
                (p.op == u"=" || p.op == u"IN" || p.op == u"OR"))
                return selectivity(p, table);
        }
    }
    const ColumnStats* c = gathered(table, column);
    return c ? equalSelectivity(table, *c, QString()) : 1 / distinct(table, column);
}

}  // namespace qv::embedded
