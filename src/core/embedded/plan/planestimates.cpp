#include "core/embedded/plan/planestimates.h"

#include "core/sql/tokenlist.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace qv::embedded {

namespace {

// The rows the width and distinct values are sampled from.
constexpr int kSample = 1000;
// Up to this many rows the distinct values are counted, not sampled.
constexpr double kExactCount = 200000;
constexpr double kBlockBytes = 3700;  // a 4 KB page, less what SQLite keeps for itself

// A name that SQL takes no other way than written into it (the table of count(*), the
// column of min()), as a quoted identifier.
QByteArray quoted(const QString& name) {
    return sql::quotedName(name).toUtf8();
}

// The first column of the statement's one row; nullopt when it gives no row or NULL.
std::optional<double> firstNumber(sqlite::Statement&& st) {
    if (!st.step() || st.isNull(0))
        return std::nullopt;
    return st.real(0);
}

}  // namespace

sqlite::Statement PlanEstimates::statement(const QByteArray& sql) const {
    return sqlite::Statement(db_, sql);
}

bool PlanEstimates::analyzed() {
    if (!analyzed_) {
        analyzed_ = statement("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_stat1'").step();
    }
    return *analyzed_;
}

namespace {
thread_local PlanEstimates::SharedTables* sharedTables = nullptr;
}  // namespace

PlanEstimates::SharedTables::SharedTables(sqlite3* db)
    : db_(db), outer_(std::exchange(sharedTables, this)) {}

PlanEstimates::SharedTables::~SharedTables() {
    sharedTables = outer_;
}

const PlanEstimates::Table& PlanEstimates::table(const QString& name) {
    const QString key = name.toLower();
    if (const auto it = tables_.constFind(key); it != tables_.constEnd())
        return *it;
    QHash<QString, Table>* shared =
        sharedTables && sharedTables->db_ == db_ ? &sharedTables->tables_ : nullptr;
    if (shared)
        if (const auto it = shared->constFind(key); it != shared->constEnd())
            return *tables_.insert(key, *it);
    Table t;
    sqlite::Statement info = statement(
        "SELECT lower(name), pk = 1 AND upper(type) = 'INTEGER', ltrim(upper(type), 'N') GLOB "
        "'[VC][AH]*' AND upper(type) GLOB '*CHAR*' FROM pragma_table_info(?)");
    info.bind(1, key);
    while (info.step()) {
        t.columns << info.text(0);
        if (info.integer(2))
            t.texts << t.columns.last();
        if (info.integer(1))
            t.rowidColumn = t.columns.last();
    }
    if (!t.columns.isEmpty()) {
        sqlite::Statement kind =
            statement("SELECT type IN ('table', 'virtual') AND NOT wr FROM pragma_table_list(?)");
        kind.bind(1, key);
        t.hasRowid = kind.step() && kind.integer(0) != 0;
        // ANALYZE's count when there is one; counting otherwise.
        std::optional<double> rows;
        if (analyzed()) {
            sqlite::Statement stat = statement(
                "SELECT CAST(stat AS INTEGER) FROM sqlite_stat1 WHERE lower(tbl) = ? LIMIT 1");
            stat.bind(1, key);
            rows = firstNumber(std::move(stat));
        }
        t.rows = rows.value_or(-1);
        if (t.rows < 0)
            t.rows = firstNumber(statement("SELECT count(*) FROM " + quoted(key))).value_or(0);
        QStringList lengths;
        for (const QString& c : t.columns)
            lengths << QStringLiteral("avg(coalesce(length(CAST(%1 AS BLOB)), 1))")
                           .arg(QString::fromUtf8(quoted(c)));
        sqlite::Statement avg = statement("SELECT " + lengths.join(u',').toUtf8() +
                                          " FROM (SELECT * FROM " + quoted(key) + " LIMIT ?)");
        avg.bind(1, int64_t(kSample));
        const bool read = avg.step();
        t.width = 0;
        for (int c = 0; c < t.columns.size(); ++c) {
            const double w = read && !avg.isNull(c) ? avg.real(c) : 10;
            t.widths << w;
            t.width += w;
        }
    }
    t.rows = std::max(t.rows, 1.0);
    t.pages = std::max(1.0, std::ceil(t.rows * (t.width + 10) / kBlockBytes));
    if (const Gathered* g = t.columns.isEmpty() ? nullptr : gathered(key)) {
        t.rows = std::max<double>(1, g->table.numRows);
        if (g->table.blocks)
            t.pages = std::max<double>(1, *g->table.blocks);
    }
    if (shared)
        shared->insert(key, t);
    return *tables_.insert(key, t);
}

const PlanEstimates::Index& PlanEstimates::index(const QString& name) {
    const QString key = name.toLower();
    if (const auto it = indexes_.constFind(key); it != indexes_.constEnd())
        return *it;
    Index i;
    sqlite::Statement table = statement(
        "SELECT lower(tbl_name) FROM sqlite_master WHERE type = 'index' AND lower(name) = ?");
    table.bind(1, key);
    if (table.step())
        i.table = table.text(0);
    sqlite::Statement columns =
        statement("SELECT name, desc FROM pragma_index_xinfo(?) WHERE key ORDER BY seqno");
    columns.bind(1, key);
    while (columns.step()) {
        i.columns << columns.text(0).toLower();
        i.descending << (columns.integer(1) != 0);
    }
    i.shown = name;
    if (key.startsWith(u"sqlite_autoindex_") && !i.table.isEmpty()) {
        if (const QString constraint = keyName(i.table, i.columns); !constraint.isEmpty())
            i.shown = constraint;
    }
    if (!i.table.isEmpty()) {
        sqlite::Statement unique =
            statement("SELECT \"unique\" FROM pragma_index_list(?) WHERE lower(name) = ?");
        unique.bind(1, i.table).bind(2, key);
        i.unique = firstNumber(std::move(unique)).value_or(0) > 0;
        const Table& t = this->table(i.table);
        // A key is its columns, plus the rowid it points to.
        i.keyWidth = 6;
        for (const QString& c : i.columns)
            i.keyWidth += t.widths.value(t.columns.indexOf(c), 10);
        i.leafPages = std::max(1.0, std::ceil(t.rows * (i.keyWidth + 4) / kBlockBytes));
    }
    return *indexes_.insert(key, i);
}

QString PlanEstimates::keyName(const QString& table, const QStringList& columns) {
    if (!statement("SELECT 1 FROM sqlite_master WHERE name = 'QV$CONSTRAINTS'").step())
        return {};
    sqlite::Statement key = statement(
        "SELECT NAME FROM \"QV$CONSTRAINTS\" WHERE TABLE_NAME = "
        "upper(?) AND TYPE IN ('P', 'U') AND COLUMNS = upper(?)");
    key.bind(1, table).bind(2, columns.join(u','));
    return key.step() ? key.text(0) : QString();
}

double PlanEstimates::rowsPerKey(const QString& name, int columns) {
    const Index& i = index(name);
    const double rows = table(i.table).rows;
    if (columns <= 0)
        return rows;
    if (i.unique && columns >= i.columns.size())
        return 1;
    // sqlite_stat1: "rows per-key-of-1-column per-key-of-2-columns ..."
    QStringList stat;
    if (analyzed()) {
        sqlite::Statement st = statement("SELECT stat FROM sqlite_stat1 WHERE lower(idx) = ?");
        st.bind(1, name.toLower());
        if (st.step())
            stat = st.text(0).split(u' ');
    }
    bool ok = false;
    const double perKey = stat.value(std::min<qsizetype>(columns, i.columns.size())).toDouble(&ok);
    if (ok && perKey > 0)
        return perKey;
    // Not analyzed: the distinct values of the leading column say it.
    return std::max(1.0, rows / distinct(i.table, i.columns.value(0)));
}

double PlanEstimates::distinct(const QString& table, const QString& column) {
    const QString key = table.toLower() + u'.' + column.toLower();
    if (const auto it = distinct_.constFind(key); it != distinct_.constEnd())
        return *it;
    const Table& t = this->table(table);
    double n = 1;
    if (const ColumnStats* c = gathered(table, column)) {
        n = double(c->numDistinct);
    } else if (t.columns.contains(column.toLower())) {
        const QByteArray count = "SELECT count(DISTINCT " + quoted(column) + ") FROM ";
        if (t.rows <= kExactCount) {
            n = firstNumber(statement(count + quoted(table))).value_or(1);
        } else {
            // Rows spread over the whole table: the first ones are often loaded in some order
            // and would tell little about the rest. A table without rowids is read from the
            // start.
            double seen = -1;
            if (t.hasRowid) {
                sqlite::Statement spread =
                    statement(count + quoted(table) + " WHERE rowid % ? = 0");
                spread.bind(1, int64_t(t.rows / kSample) + 1);
                seen = firstNumber(std::move(spread)).value_or(-1);
            }
            if (seen <= 0) {
                sqlite::Statement first = statement(count + "(SELECT " + quoted(column) + " FROM " +
                                                    quoted(table) + " LIMIT ?)");
                first.bind(1, int64_t(kSample));
                seen = firstNumber(std::move(first)).value_or(1);
            }
            // All different in the sample: as many as the rows, as far as the sample can tell.
            n = seen >= kSample * 0.9 ? t.rows : seen;
        }
    }
    return *distinct_.insert(key, std::max(n, 1.0));
}

bool PlanEstimates::numberOf(const QString& literal, double& value) {
    bool ok = false;
    value = literal.toDouble(&ok);
    if (ok)
        return true;
    const QString text = literal.trimmed();
    const QDate day = QDate::fromString(text.left(10), Qt::ISODate);
    if (!day.isValid())
        return false;
    // A time after the date counts as a share of the day.
    const QTime time = text.size() > 11 ? QTime::fromString(text.mid(11, 8), Qt::ISODate) : QTime();
    value =
        double(day.toJulianDay()) + (time.isValid() ? time.msecsSinceStartOfDay() / 86400000.0 : 0);
    return true;
}

bool PlanEstimates::bounds(const QString& table, const QString& column, double& low, double& high) {
    const QString key = table.toLower() + u'.' + column.toLower();
    auto it = bounds_.constFind(key);
    if (it == bounds_.constEnd()) {
        std::pair<double, double> b{std::nan(""), std::nan("")};
        const std::vector<HistogramBucket>& ends =
            gathered(table, column) ? buckets(table, column) : std::vector<HistogramBucket>{};
        if (!ends.empty()) {
            // LOW_VALUE and HIGH_VALUE: the first and last endpoints.
            if (ends.front().endpointValue && ends.back().endpointValue) {
                b = {*ends.front().endpointValue, *ends.back().endpointValue};
            } else if (!ends.front().endpointValue && !ends.front().actualValue.isEmpty()) {
                std::vector<QByteArray> texts;
                for (const HistogramBucket& k : ends)
                    texts.push_back(k.actualValue.toUtf8());
                textEnds_.insert(key, texts);
                b = {0, double(texts.size() - 1)};
            }
        } else if (this->table(table).columns.contains(column.toLower())) {
            // min() and max() of an indexed column are two index look-ups.
            sqlite::Statement st =
                statement("SELECT (SELECT min(" + quoted(column) + ") FROM " + quoted(table) +
                          "), (SELECT max(" + quoted(column) + ") FROM " + quoted(table) + ")");
            auto read = [&](int c, double& v) {
                const int type = st.type(c);
                if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                    v = st.real(c);
                    return true;
                }
                return type == SQLITE_TEXT && numberOf(st.text(c), v);
            };
            double lo = 0, hi = 0;
            if (st.step() && read(0, lo) && read(1, hi))
                b = {lo, hi};
        }
        it = bounds_.insert(key, b);
    }
    low = it->first;
    high = it->second;
    return !std::isnan(low) && !std::isnan(high);
}

QString PlanEstimates::tableOf(const QString& column, const QStringList& tables) {
    QString found;
    for (const QString& t : tables) {
        if (table(t).columns.contains(column.toLower())) {
            // A table read under several aliases is still one table.
            if (!found.isEmpty() && found.compare(t, Qt::CaseInsensitive) != 0)
                return QString();
            found = t;
        }
    }
    return found;
}

double PlanEstimates::selectivity(const Predicate& p, const QString& table) {
    if (p.subquery)
        return 1;  // left to the FILTER or the join that reads the subquery
    if (p.op == u"AND")
        return branchSelectivity(p, table);  // the conditions of one branch of an OR
    if (p.op == u"OR") {
        // With statistics, s1 + s2 - s1 x s2 for each branch; without, as its first branch.
        if (!gathered(table))
            return branchSelectivity(p.branches.front(), table);
        double sel = 0;
        for (const Predicate& b : p.branches) {
            const double s = branchSelectivity(b, table);
            sel = sel + s - sel * s;
        }
        return sel;
    }
    // A join by a range: Oracle's 5% of the pairs.
    if (p.isJoin() && p.isRange())
        return 0.05;
    if (const std::optional<double> sel = gatheredSelectivity(p, table))
        return *sel;
    if (p.function || p.op.startsWith(u"IS "))
        return 1;  // not counted without statistics
    if (p.op == u"=")
        return 1 / distinct(table, p.column);
    if (p.op == u"IN")
        return std::min(1.0, p.values / distinct(table, p.column));
    if (p.op == u"LIKE")
        return 0.25;
    if (p.op == u"<>" || p.op == u"!=")
        return 1 - 1 / distinct(table, p.column);
    return 1.0 / 3;  // a range
}

double PlanEstimates::branchSelectivity(const Predicate& p, const QString& table) {
    if (p.op == u"AND")
        return selectivity(QList<Predicate>(p.branches.begin(), p.branches.end()), table, {}, {});
    return p.isRange() && !p.function ? rangeSelectivity({p}, table, p.column)
                                      : selectivity(p, table);
}

double PlanEstimates::rangeSelectivity(const QList<Predicate>& conditions, const QString& table,
                                       const QString& column) {
    double low = -HUGE_VAL, high = HUGE_VAL, min = 0, max = 0, value = 0;
    const bool known = bounds(table, column, min, max);
    double sel = 1;
    bool bounded = false;
    bool closedLow = false, closedHigh = false;  // >=, <=, BETWEEN: the end value is in
    for (const Predicate& p : conditions) {
        if (p.column != column || !p.isRange() || p.isJoin() || p.function)
            continue;
        bool used = false;
        const bool closed = p.op.endsWith(u'=') || p.op == u"BETWEEN";
        if (known && !p.low.isEmpty() && valueOf(table, column, p.low, value)) {
            if (value > low || (value == low && !closed))
                closedLow = closed;
            low = std::max(low, value);
            used = true;
        }
        if (known && !p.high.isEmpty() && valueOf(table, column, p.high, value)) {
            if (value < high || (value == high && !closed))
                closedHigh = closed;
            high = std::min(high, value);
            used = true;
        }
        bounded |= used;
        if (!used)
            sel /= 3;
    }
    if (bounded)
        sel *= spanSelectivity(table, column, low, closedLow, high, closedHigh);
    return sel;
}

double PlanEstimates::spanSelectivity(const QString& table, const QString& column, double low,
                                      bool closedLow, double high, bool closedHigh) {
    double min = 0, max = 0;
    bounds(table, column, min, max);
    const double rows = this->table(table).rows;
    const ColumnStats* c = gathered(table, column);
    const double nonnull = c ? std::max(0.0, rows - double(c->numNulls)) / rows : 1.0;
    const double least = std::min(1 / rows, nonnull);
    if (c) {
        if (const std::optional<double> share =
                histogramShare(table, *c, low, closedLow, high, closedHigh))
            return std::clamp(*share * nonnull, least, nonnull);
    }
    // The share of the column's span the range covers, and one value's worth for its ends.
    low = std::max(low, min);
    high = std::min(high, max);
    const double share = high < low ? 0 : max > min ? (high - low) / (max - min) : 1;
    if (!c)
        return std::clamp(share + 1 / distinct(table, column), 1 / rows, 1.0);
    // Oracle's: the span's share, a value's worth for each closed end, of the rows with a value.
    const double ends = (closedLow ? 1 : 0) + (closedHigh ? 1 : 0);
    return std::clamp((share + ends / distinct(table, column)) * nonnull, least, nonnull);
}

bool PlanEstimates::valueOf(const QString& table, const QString& column, const QString& literal,
                            double& value) {
    const QString v = peeked(literal);
    if (v.isEmpty())
        return false;
    const QString key = table.toLower() + u'.' + column.toLower();
    if (textEnds_.contains(key)) {
        value = textPlace(key, v.toUtf8());
        return true;
    }
    return numberOf(v, value);
}

double PlanEstimates::textPlace(const QString& key, const QByteArray& text) const {
    const auto found = textEnds_.constFind(key);
    if (found == textEnds_.constEnd() || found->empty())
        return 0;
    const std::vector<QByteArray>& ends = *found;
    const auto above = std::upper_bound(ends.begin(), ends.end(), text);
    if (above == ends.begin())
        return -1;
    const size_t at = size_t(above - ends.begin()) - 1;
    if (ends[at] == text)
        return double(at);
    if (above == ends.end())
        return double(ends.size());
    // Six bytes past what the two endpoints begin with, as a fraction.
    qsizetype common = 0;
    while (common < std::min(ends[at].size(), above->size()) &&
           ends[at][common] == (*above)[common])
        ++common;
    auto position = [&](const QByteArray& t) {
        double p = 0, scale = 1;
        for (qsizetype i = common; i < common + 6; ++i) {
            scale /= 256;
            p += (i < t.size() ? uint8_t(t[i]) : 0) * scale;
        }
        return p;
    };
    const double low = position(ends[at]), high = position(*above);
    const double share = high > low ? (position(text) - low) / (high - low) : 0.5;
    return double(at) + std::clamp(share, 0.0, 0.999);
}

QString PlanEstimates::peeked(const QString& literal) const {
    if (literal.startsWith(u':'))
        return peeked_.value(literal.mid(1).toUpper());
    return literal.startsWith(u'?') ? QString() : literal;
}

double PlanEstimates::fullScanCost(double blocks) {
    if (!pageSize_)
        pageSize_ = firstNumber(statement("SELECT page_size FROM pragma_page_size")).value_or(4096);
    constexpr double kMbrc = 8, kSeekTime = 10, kTransferSpeed = 4096;
    const double singleRead = kSeekTime + *pageSize_ / kTransferSpeed;
    const double multiRead = kSeekTime + kMbrc * *pageSize_ / kTransferSpeed;
    return std::ceil(blocks / kMbrc * multiRead / singleRead) + 1;
}

// The conditions that the index does not take care of; a join condition counts at the later
// of its two tables.
double PlanEstimates::selectivity(const QList<Predicate>& conditions, const QString& table,
                                  const QStringList& indexColumns, const QStringList& outer) {
    double sel = 1;
    QStringList ranges;
    for (const Predicate& p : conditions) {
        if (indexColumns.contains(p.column))
            continue;
        if (p.isJoin() && !outer.contains(p.otherAlias))
            continue;  // counted at the other table, which comes later
        if (p.isRange() && !p.isJoin() && !p.function) {
            if (!ranges.contains(p.column))
                ranges << p.column;
            continue;
        }
        sel *= selectivity(p, table);
    }
    for (const QString& column : ranges)
        sel *= rangeSelectivity(conditions, table, column);
    return sel;
}

}  // namespace qv::embedded
