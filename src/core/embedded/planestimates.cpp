#include "core/embedded/planestimates.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <cmath>

namespace qv::embedded {

namespace {

// The rows the width and distinct values are sampled from.
constexpr int kSample = 1000;
// Up to this many rows the distinct values are counted, not sampled.
constexpr double kExactCount = 200000;
constexpr double kBlockBytes = 3700;  // a 4 KB page, less what SQLite keeps for itself

QByteArray quoted(const QString& name) {
    QString n = name;
    n.replace(u'"', QStringLiteral("\"\""));
    return ('"' + n + '"').toUtf8();
}

}  // namespace

double PlanEstimates::number(const QByteArray& sql, double fallback) {
    sqlite3_stmt* stmt = nullptr;
    double value = fallback;
    if (sqlite3_prepare_v2(db_, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL)
        value = sqlite3_column_double(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

const PlanEstimates::Table& PlanEstimates::table(const QString& name) {
    const QString key = name.toLower();
    if (const auto it = tables_.constFind(key); it != tables_.constEnd())
        return *it;
    Table t;
    sqlite3_stmt* stmt = nullptr;
    const QByteArray info =
        "SELECT lower(name), pk = 1 AND upper(type) = 'INTEGER' FROM "
        "pragma_table_info('" +
        key.toUtf8().replace('\'', "''") + "')";
    if (sqlite3_prepare_v2(db_, info.constData(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            t.columns << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
            if (sqlite3_column_int(stmt, 1))
                t.rowidColumn = t.columns.last();
        }
    }
    sqlite3_finalize(stmt);
    if (!t.columns.isEmpty()) {
        // ANALYZE's count when there is one; counting otherwise.
        const QByteArray stat =
            "SELECT CAST(stat AS INTEGER) FROM sqlite_stat1 WHERE lower(tbl) = '" +
            key.toUtf8().replace('\'', "''") + "' LIMIT 1";
        const bool analyzed =
            number("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_stat1'", 0) > 0;
        t.rows = analyzed ? number(stat, -1) : -1;
        if (t.rows < 0)
            t.rows = number("SELECT count(*) FROM " + quoted(key), 0);
        QStringList lengths;
        for (const QString& c : t.columns)
            lengths << QStringLiteral("avg(coalesce(length(CAST(%1 AS BLOB)), 1))")
                           .arg(QString::fromUtf8(quoted(c)));
        sqlite3_stmt* avg = nullptr;
        const QByteArray sql = "SELECT " + lengths.join(u',').toUtf8() + " FROM (SELECT * FROM " +
                               quoted(key) + " LIMIT " + QByteArray::number(kSample) + ")";
        const bool read =
            sqlite3_prepare_v2(db_, sql.constData(), -1, &avg, nullptr) == SQLITE_OK &&
            sqlite3_step(avg) == SQLITE_ROW;
        t.width = 0;
        for (int c = 0; c < t.columns.size(); ++c) {
            const double w = read && sqlite3_column_type(avg, c) != SQLITE_NULL
                                 ? sqlite3_column_double(avg, c)
                                 : 10;
            t.widths << w;
            t.width += w;
        }
        sqlite3_finalize(avg);
    }
    t.rows = std::max(t.rows, 1.0);
    t.pages = std::max(1.0, std::ceil(t.rows * (t.width + 10) / kBlockBytes));
    return *tables_.insert(key, t);
}

const PlanEstimates::Index& PlanEstimates::index(const QString& name) {
    const QString key = name.toLower();
    if (const auto it = indexes_.constFind(key); it != indexes_.constEnd())
        return *it;
    Index i;
    const QByteArray literal = "'" + key.toUtf8().replace('\'', "''") + "'";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_,
                           ("SELECT lower(tbl_name) FROM sqlite_master WHERE type = 'index' AND "
                            "lower(name) = " +
                            literal)
                               .constData(),
                           -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        i.table = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    if (sqlite3_prepare_v2(db_, ("SELECT name FROM pragma_index_info(" + literal + ")").constData(),
                           -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW)
            i.columns << QString::fromUtf8(
                             reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)))
                             .toLower();
    }
    sqlite3_finalize(stmt);
    if (!i.table.isEmpty()) {
        i.unique =
            number("SELECT \"unique\" FROM pragma_index_list('" +
                       i.table.toUtf8().replace('\'', "''") + "') WHERE lower(name) = " + literal,
                   0) > 0;
        const Table& t = table(i.table);
        // A key is its columns, plus the rowid it points to.
        i.keyWidth = 6;
        for (const QString& c : i.columns)
            i.keyWidth += t.widths.value(t.columns.indexOf(c), 10);
        i.leafPages = std::max(1.0, std::ceil(t.rows * (i.keyWidth + 4) / kBlockBytes));
    }
    return *indexes_.insert(key, i);
}

double PlanEstimates::rowsPerKey(const QString& name, int columns) {
    const Index& i = index(name);
    const double rows = table(i.table).rows;
    if (columns <= 0)
        return rows;
    if (i.unique && columns >= i.columns.size())
        return 1;
    // sqlite_stat1: "rows per-key-of-1-column per-key-of-2-columns ..."
    sqlite3_stmt* stmt = nullptr;
    QStringList stat;
    if (sqlite3_prepare_v2(db_,
                           ("SELECT stat FROM sqlite_stat1 WHERE lower(idx) = '" +
                            name.toLower().toUtf8().replace('\'', "''") + "'")
                               .constData(),
                           -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        stat = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)))
                   .split(u' ');
    sqlite3_finalize(stmt);
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
    if (t.columns.contains(column.toLower())) {
        if (t.rows <= kExactCount) {
            n = number("SELECT count(DISTINCT " + quoted(column) + ") FROM " + quoted(table), 1);
        } else {
            // Rows spread over the whole table: the first ones are often loaded in some order
            // and would tell little about the rest.
            const QByteArray step = QByteArray::number(qint64(t.rows / kSample) + 1);
            const double sampled = number("SELECT count(DISTINCT " + quoted(column) + ") FROM " +
                                              quoted(table) + " WHERE rowid % " + step + " = 0",
                                          -1);
            const double fallback = number(
                "SELECT count(DISTINCT " + quoted(column) + ") FROM (SELECT " + quoted(column) +
                    " FROM " + quoted(table) + " LIMIT " + QByteArray::number(kSample) + ")",
                1);
            const double seen = sampled > 0 ? sampled : fallback;
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
        const Table& t = this->table(table);
        sqlite3_stmt* stmt = nullptr;
        // min() and max() of an indexed column are two index look-ups.
        const QByteArray sql = "SELECT (SELECT min(" + quoted(column) + ") FROM " + quoted(table) +
                               "), (SELECT max(" + quoted(column) + ") FROM " + quoted(table) + ")";
        if (t.columns.contains(column.toLower()) &&
            sqlite3_prepare_v2(db_, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            double lo = 0, hi = 0;
            auto read = [&](int c, double& v) {
                const int type = sqlite3_column_type(stmt, c);
                if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                    v = sqlite3_column_double(stmt, c);
                    return true;
                }
                return type == SQLITE_TEXT &&
                       numberOf(QString::fromUtf8(
                                    reinterpret_cast<const char*>(sqlite3_column_text(stmt, c))),
                                v);
            };
            if (read(0, lo) && read(1, hi))
                b = {lo, hi};
        }
        sqlite3_finalize(stmt);
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
            if (!found.isEmpty())
                return QString();
            found = t;
        }
    }
    return found;
}

}  // namespace qv::embedded
