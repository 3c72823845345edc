// Reporting SQL in the embedded engine: ROLLUP, CUBE, GROUPING SETS, PIVOT and UNPIVOT, the
// statistical aggregates, percentiles and KEEP, against the same data grouped here by hand, and
// the plan lines Oracle draws for them.
#include "support/embeddedfixture.h"

#include <QDate>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <optional>

using namespace qv;
using namespace qv::test;

namespace {

struct Sale {
    int id;
    QString region, product;  // empty: NULL
    int qty;
    std::optional<int> amount;
    std::optional<QDate> sold;
};

QString text(const QString& s) {
    return s.isEmpty() ? QStringLiteral("null") : s;
}

// Rows compare as the engine gives them: numbers to 12 significant digits.
::testing::AssertionResult sameRows(QStringList actual, QStringList expected, bool sorted = true) {
    if (sorted) {
        actual.sort();
        expected.sort();
    }
    auto same = [](const QString& a, const QString& b) {
        bool ok1 = false, ok2 = false;
        const double x = a.toDouble(&ok1), y = b.toDouble(&ok2);
        return a == b || (ok1 && ok2 && std::fabs(x - y) <= 1e-12 * std::max(1.0, std::fabs(y)));
    };
    bool equal = actual.size() == expected.size();
    for (qsizetype i = 0; equal && i < actual.size(); ++i) {
        const QStringList a = actual[i].split(u'|'), e = expected[i].split(u'|');
        equal = a.size() == e.size() && std::equal(a.begin(), a.end(), e.begin(), same);
    }
    if (equal)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\n  got:      " << actual.join(u' ').toStdString()
                                         << "\n  expected: " << expected.join(u' ').toStdString();
}

// 30 sales in three regions and none, three products and none, with ties in every column.
class Reporting : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        db_->execute(
            "create table sales (id number primary key, region varchar2(10), product "
            "varchar2(10), qty number, amount number(8,2), sold date)");
        const QStringList regions{"EAST", "WEST", "NORTH", ""};
        QStringList values;
        for (int i = 1; i <= 30; ++i) {
            Sale s{
                i, regions[i % 4], i % 7 == 0 ? QString() : QString(QChar(u'A' + i % 3)), i % 5, {},
                {}};
            if (i % 6 != 0)
                s.amount = (i * 13) % 40 + 5;
            if (i % 9 != 0)
                s.sold = QDate(2024, 1, 1).addDays((i * 11) % 60);
            auto quoted = [](const QString& v) { return v.isEmpty() ? "null" : "'" + v + "'"; };
            values << QStringLiteral("(%1, %2, %3, %4, %5, %6)")
                          .arg(i)
                          .arg(quoted(s.region), quoted(s.product))
                          .arg(s.qty)
                          .arg(s.amount ? QString::number(*s.amount) : "null",
                               s.sold ? "date '" + s.sold->toString(Qt::ISODate) + "'" : "null");
            data_.push_back(s);
        }
        db_->execute("insert into sales values " + values.join(QStringLiteral(", ")));
        db_->execute(planTableCreateStatement(kPlanTable));
    }

    // "region|product|sum(qty)|count(*)|grouping_id" per group of each set, a set saying whether
    // it groups by region and by product.
    QStringList groupedBy(const std::vector<std::pair<bool, bool>>& sets) const {
        QStringList rows;
        for (const auto& [byRegion, byProduct] : sets) {
            std::map<std::pair<QString, QString>, std::pair<int, int>> groups;
            for (const Sale& s : data_) {
                auto& g = groups[{byRegion ? s.region : QString(), byProduct ? s.product : ""}];
                g.first += s.qty;
                g.second += 1;
            }
            for (const auto& [key, sums] : groups)
                rows << QStringLiteral("%1|%2|%3|%4|%5")
                            .arg(text(key.first), text(key.second))
                            .arg(sums.first)
                            .arg(sums.second)
                            .arg((byRegion ? 0 : 2) + (byProduct ? 0 : 1));
        }
        return rows;
    }

    QStringList plan(const QString& sql) {
        db_->execute(planDeleteStatement(kPlanTable));
        db_->execute(explainPlanStatement(kPlanTable, sql));
        QStringList lines;
        for (const QString& row :
             rowsOf(*db_, QStringLiteral("SELECT ID || ':' || PARENT_ID || ' ' || OPERATION || ' ' "
                                         "|| OPTIONS || ' ' || OBJECT_NAME FROM %1 ORDER BY ID")
                              .arg(kPlanTable)))
            lines << row.simplified();
        return lines;
    }

    std::vector<Sale> data_;
};

TEST_F(Reporting, RollupCubeAndGroupingSetsGiveEverySetsGroups) {
    const QString items =
        "select region, product, sum(qty), count(*), grouping_id(region, "
        "product) from sales s group by ";
    const std::pair<bool, bool> both{true, true}, region{true, false}, product{false, true},
        none{false, false};
    EXPECT_TRUE(
        sameRows(rowsOf(*db_, items + "rollup(region, product)"), groupedBy({both, region, none})));
    EXPECT_TRUE(sameRows(rowsOf(*db_, items + "cube(region, product)"),
                         groupedBy({both, region, product, none})));
    EXPECT_TRUE(sameRows(rowsOf(*db_, items + "grouping sets ((region), s.product, ())"),
                         groupedBy({region, product, none})));
    // Concatenated and composite groupings.
    EXPECT_TRUE(
        sameRows(rowsOf(*db_, items + "region, rollup(product)"), groupedBy({both, region})));
    EXPECT_TRUE(
        sameRows(rowsOf(*db_, items + "rollup((region, product))"), groupedBy({both, none})));
    // Without ORDER BY the groups come as SORT GROUP BY ROLLUP hands them on: by region, then
    // product, NULLs last and each subtotal after the rows it sums.
    QStringList ordered = groupedBy({both, region, none});
    auto key = [](const QString& row) {
        const QStringList f = row.split(u'|');
        const int id = f[4].toInt();
        return std::tuple(id >> 1, f[0] == u"null", f[0], id & 1, f[1] == u"null", f[1]);
    };
    std::sort(ordered.begin(), ordered.end(),
              [&](const QString& a, const QString& b) { return key(a) < key(b); });
    EXPECT_TRUE(sameRows(rowsOf(*db_, items + "rollup(region, product)"), ordered, false));
    // GROUPING() in HAVING and ORDER BY; a set named twice is told apart by GROUP_ID().
    QStringList expected;
    for (const QString& row : groupedBy({none, region})) {
        const QStringList f = row.split(u'|');
        if (f[4] == u"3" || f[3].toInt() > 7)
            expected << f[0] + u'|' + f[2];
    }
    EXPECT_TRUE(sameRows(rowsOf(*db_,
                                "select region, sum(qty) from sales group by rollup(region) "
                                "having grouping(region) = 1 or count(*) > 7 order by "
                                "grouping(region) desc, region"),
                         expected, false));
    // GROUP BY () is one group, as there is none without rows; a table may be called CUBE.
    EXPECT_EQ(rowsOf(*db_, "select count(*) from sales group by ()"), QStringList({"30"}));
    EXPECT_EQ(rowsOf(*db_, "select count(*) from sales where id < 0 group by rollup(region)"),
              QStringList());
    db_->execute("create table cube (n number)");
    db_->execute("insert into cube (n) select sum(qty) from sales group by rollup(region)");
    EXPECT_EQ(rowsOf(*db_, "select count(*), sum(n) from cube"), QStringList({"5|120"}));
    EXPECT_EQ(rowsOf(*db_,
                     "select g, count(*) from (select region, group_id() g from sales "
                     "group by grouping sets (region, region, ())) group by g order by 1"),
              QStringList({"0|5", "1|4"}));
}

TEST_F(Reporting, PivotAndUnpivotTurnRowsAndColumns) {
    auto rs = db_->openRecordset(
        "select * from (select region, product, qty from sales) pivot (sum(qty) s, count(*) c "
        "for product in ('A' as a, 'B' b, 'C' as c3)) order by region");
    EXPECT_EQ(fieldNames(*rs), QStringList({"REGION", "A_S", "A_C", "B_S", "B_C", "C3_S", "C3_C"}));
    rs.reset();
    QStringList expected;
    for (const QString region : {"EAST", "NORTH", "WEST", ""}) {
        QString row = text(region);
        for (const QString product : {"A", "B", "C"}) {
            int sum = 0, count = 0;
            for (const Sale& s : data_) {
                if (s.region == region && s.product == product)
                    sum += s.qty, ++count;
            }
            row += u'|' + (count ? QString::number(sum) : "null") + u'|' + QString::number(count);
        }
        expected << row;
    }
    EXPECT_TRUE(sameRows(rowsOf(*db_,
                                "select * from (select region, product, qty from sales) pivot "
                                "(sum(qty) s, count(*) c for product in ('A' as a, 'B' b, 'C' as "
                                "c3)) order by region"),
                         expected, false));
    // No other column: one row; an unaliased value names its column as written.
    const QString whole =
        "select * from (select product, qty from sales) pivot (max(qty) for "
        "product in ('A', 'B'))";
    EXPECT_EQ(fieldNames(*db_->openRecordset(whole)), QStringList({"'A'", "'B'"}));
    EXPECT_EQ(rowsOf(*db_, whole), QStringList({"4|4"}));
    // UNPIVOT: a row per column, NULLs left out unless INCLUDE NULLS keeps them.
    expected.clear();
    for (const Sale& s : data_) {
        expected << QStringLiteral("%1|Q|%2").arg(s.id).arg(s.qty);
        if (s.amount)
            expected << QStringLiteral("%1|AMT|%2").arg(s.id).arg(*s.amount);
    }
    EXPECT_TRUE(sameRows(rowsOf(*db_,
                                "with s as (select id, qty, amount from sales) select id, "
                                "what, val from s unpivot (val for what in (qty as 'Q', amount "
                                "as 'AMT'))"),
                         expected, false));
    EXPECT_EQ(rowsOf(*db_,
                     "select count(*), count(v1) from sales unpivot include nulls ((v1, v2) for "
                     "(n1, n2) in ((amount, qty) as ('X', 1), (qty, amount) as ('Y', 2)))"),
              QStringList({"60|55"}));
    // A table may be called PIVOT.
    db_->execute("create table pivot (id number)");
    db_->execute("insert into pivot (id) values (7)");
    EXPECT_EQ(rowsOf(*db_, "select * from pivot unpivot (v for c in (id))"), QStringList({"ID|7"}));
}

// MEDIAN and the percentiles over the values in order.
double percentile(std::vector<double> v, double p, bool descending = false) {
    std::sort(v.begin(), v.end());
    if (descending)
        std::reverse(v.begin(), v.end());
    const double at = p * double(v.size() - 1);
    const auto below = size_t(std::floor(at)), above = size_t(std::ceil(at));
    return v[below] + (at - double(below)) * (v[above] - v[below]);
}

// kind 0: VARIANCE, 1: VAR_SAMP, 2: VAR_POP; "null" where Oracle gives NULL.
QString variance(const std::vector<double>& v, int kind, bool root = false) {
    if (v.empty() || (v.size() == 1 && kind == 1))
        return "null";
    double mean = 0, squares = 0;
    for (double x : v)
        mean += x / double(v.size());
    for (double x : v)
        squares += (x - mean) * (x - mean);
    const double var = v.size() == 1 ? 0 : squares / double(kind == 2 ? v.size() : v.size() - 1);
    return QString::number(root ? std::sqrt(var) : var, 'g', 15);
}

TEST_F(Reporting, StatisticsPercentilesAndKeepAsAggregatesAndAnalytics) {
    QStringList expected, analytic;
    for (const QString region : {"EAST", "NORTH", "WEST", ""}) {
        std::vector<const Sale*> rows;
        std::vector<double> qty, amount;
        std::vector<QDate> sold;
        for (const Sale& s : data_) {
            if (s.region != region)
                continue;
            rows.push_back(&s);
            qty.push_back(s.qty);
            if (s.amount)
                amount.push_back(*s.amount);
            if (s.sold)
                sold.push_back(*s.sold);
        }
        std::sort(sold.begin(), sold.end());
        const QDate disc = sold[size_t(std::ceil(0.6 * double(sold.size()))) - 1];
        // KEEP: the rows ranking first or last by the keys, NULLs last unless told.
        auto ranked = [&](auto rank, auto pick) {
            std::optional<double> best;
            for (const Sale* s : rows)
                best = !best || rank(*s) < *best ? rank(*s) : *best;
            double result = 0;
            for (const Sale* s : rows)
                result = rank(*s) == *best ? pick(result, *s) : result;
            return QString::number(result);
        };
        const QString keep =
            ranked([](const Sale& s) { return s.amount ? -*s.amount : 1e9; },
                   [](double r, const Sale& s) { return r == 0 || s.id < r ? s.id : r; }) +
            u'|' +
            ranked([](const Sale& s) { return s.sold ? -s.sold->toJulianDay() : -1e9; },
                   [](double r, const Sale& s) { return std::max(r, double(s.id)); }) +
            u'|' +
            ranked([](const Sale& s) { return -s.qty * 1e4 + (s.amount ? *s.amount : 1e3); },
                   [](double r, const Sale& s) { return r + s.qty; });
        expected << QStringList{text(region),
                                QString::number(percentile(qty, 0.5)),
                                QString::number(percentile(amount, 0.3, true)),
                                disc.toString(Qt::ISODate),
                                variance(amount, 0, true),
                                variance(amount, 2),
                                variance(qty, 0),
                                variance(qty, 1, true),
                                keep}
                        .join(u'|');
        const double total = std::accumulate(qty.begin(), qty.end(), 0.0);
        for (const Sale* s : rows)
            analytic << QStringLiteral("%1|%2|%3|%4")
                            .arg(s->id)
                            .arg(percentile(amount, 0.5))
                            .arg(double(s->qty) / total, 0, 'g', 15)
                            .arg(variance(qty, 2, true));
    }
    EXPECT_TRUE(sameRows(
        rowsOf(*db_,
               "select region, median(qty), percentile_cont(0.3) within group (order by amount "
               "desc), percentile_disc(0.6) within group (order by sold), stddev(amount), "
               "var_pop(amount), variance(qty), stddev_samp(qty), min(id) keep (dense_rank first "
               "order by amount desc nulls last), max(id) keep (dense_rank last order by sold), "
               "sum(qty) keep (dense_rank first order by qty desc, amount) from sales group by "
               "region order by region"),
        expected, false));
    EXPECT_TRUE(sameRows(rowsOf(*db_,
                                "select id, median(amount) over (partition by region), "
                                "ratio_to_report(qty) over (partition by region), stddev_pop(qty) "
                                "over (partition by region) from sales"),
                         analytic));
    // One row: STDDEV and VARIANCE are 0, their _SAMP forms NULL; a date between two others.
    EXPECT_EQ(rowsOf(*db_,
                     "select stddev(qty), stddev_samp(qty), variance(qty), var_samp(qty), "
                     "var_pop(qty), median(qty) from sales where id = 7"),
              QStringList({"0|null|0|null|0|2"}));
    EXPECT_EQ(rowsOf(*db_, "select median(sold) from sales where id in (1, 2)"),
              QStringList({"2024-01-17 12:00:00"}));
    EXPECT_TRUE(failsWith(
        [&] { rowsOf(*db_, "select percentile_cont(1.5) within group (order by qty) from sales"); },
        kErrOdbcCall, "ORA-30493"));
}

TEST_F(Reporting, PlansDrawOraclesGroupingAndPivotLines) {
    EXPECT_EQ(plan("select region, product, sum(qty) from sales group by rollup(region, product)"),
              QStringList({"0: SELECT STATEMENT", "1:0 SORT GROUP BY ROLLUP",
                           "2:1 TABLE ACCESS FULL SALES"}));
    EXPECT_EQ(plan("select region, product, sum(qty) from sales group by cube(region, product)"),
              QStringList({"0: SELECT STATEMENT", "1:0 SORT GROUP BY", "2:1 GENERATE CUBE",
                           "3:2 SORT GROUP BY", "4:3 TABLE ACCESS FULL SALES"}));
    const QString temp = "(CURSOR DURATION MEMORY) SYS_TEMP_0FD9D66";
    EXPECT_EQ(
        plan("select region, product, sum(qty) from sales group by grouping sets (region, "
             "product) order by 1"),
        QStringList({"0: SELECT STATEMENT", "1:0 TEMP TABLE TRANSFORMATION",
                     "2:1 LOAD AS SELECT " + temp + "20_5B8E3F", "3:2 TABLE ACCESS FULL SALES",
                     "4:1 LOAD AS SELECT " + temp + "21_5B8E3F", "5:4 HASH GROUP BY",
                     "6:5 TABLE ACCESS FULL SYS_TEMP_0FD9D6620_5B8E3F",
                     "7:1 LOAD AS SELECT " + temp + "21_5B8E3F", "8:7 HASH GROUP BY",
                     "9:8 TABLE ACCESS FULL SYS_TEMP_0FD9D6620_5B8E3F", "10:1 SORT ORDER BY",
                     "11:10 VIEW", "12:11 TABLE ACCESS FULL SYS_TEMP_0FD9D6621_5B8E3F"}));
    EXPECT_EQ(plan("select * from (select region, product, qty from sales) pivot (sum(qty) for "
                   "product in ('A', 'B'))"),
              QStringList({"0: SELECT STATEMENT", "1:0 HASH GROUP BY PIVOT",
                           "2:1 TABLE ACCESS FULL SALES"}));
    EXPECT_EQ(
        plan("select * from (select product, qty from sales) pivot (sum(qty) for product "
             "in ('A', 'B'))"),
        QStringList({"0: SELECT STATEMENT", "1:0 SORT AGGREGATE", "2:1 TABLE ACCESS FULL SALES"}));
    EXPECT_EQ(plan("select * from (select region, qty, amount from sales) unpivot (v for c in "
                   "(qty, amount))"),
              QStringList({"0: SELECT STATEMENT", "1:0 VIEW", "2:1 UNPIVOT",
                           "3:2 TABLE ACCESS FULL SALES"}));
}

}  // namespace
