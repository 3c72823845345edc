#include "core/tuning/statistics.h"
#include "support/testrunwindow.h"

#include "support/checks.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {
// Statistics from {number, name, value} rows.
StatisticSet collection(const QList<QVariantList>& rows) {
    StatisticSet c;
    for (const QVariantList& r : rows)
        c.add(Statistic{r[0].toInt(), r[1].toString(), r[2]});
    return c;
}

// The changes of a run whose statistics went from nothing to `rows`.
QList<StatisticReading> changes(const QList<QVariantList>& rows) {
    return readingsOf(StatisticSet(), collection(rows));
}
}  // namespace

TEST(Statistics, DifferencesPairByNumberWhateverTheOrderAndNumbersDoNotRepeat) {
    const StatisticSet before = collection({{5, u"a"_s, 10}, {7, u"b"_s, 3}, {9, u"c"_s, 1.5}});
    StatisticSet after =
        collection({{7, u"b"_s, 3}, {5, u"a"_s, 14}, {11, u"new"_s, 6}, {9, u"c"_s, 4}});
    QStringList got;
    for (const StatisticReading& r : readingsOf(before, after))
        got << u"%1:%2>%3=%4"_s.arg(r.number).arg(r.before.isNull() ? u"-"_s : r.before.toString(),
                                                  r.after.toString(), r.delta.toString());
    EXPECT_EQ(got, (QStringList{u"7:3>3=0"_s, u"5:10>14=4"_s, u"11:->6=6"_s, u"9:1.5>4=2.5"_s}));
    EXPECT_EQ(subtractValues(u"123456789012"_s, qlonglong(12)), QVariant(qlonglong(123456789000)));
    after.add(Statistic{5, u"dup"_s, 0});
    EXPECT_EQ(std::pair(after.count(), after.find(5)->name), std::pair(4, u"a"_s));
}

TEST(Statistics, ReadingUsesTheExactQueryAndNarrowsNumbersTo32Bits) {
    test::TestRunWindow w;
    w.script->on(u".*"_s, test::statRows({{u"70000"_s, u"big"_s, 2}, {3000000000LL, u"x"_s, 1}}));
    StatisticSet s;
    EXPECT_EQ(test::errorOf([&] { readStatistics(w.stats, u"42"_s, s); }).number(), 6)
        << "the number overflows 32 bits";
    EXPECT_EQ(w.script->log, QStringList{u"S: SELECT *FROM V$SESSTAT A, V$STATNAME B WHERE "
                                         u"A.STATISTIC# = B.STATISTIC# and a.sid='42'"_s});
    ASSERT_EQ(s.count(), 1) << "what was read before the failure stays";
    EXPECT_EQ(s.at(0).number, 70000);
    // The id is pasted into the query: anything but a number from the server is not.
    EXPECT_THROW(readStatistics(w.stats, u"57' or '1'='1"_s, s), DbError);
    EXPECT_EQ(w.script->log.size(), 1);
}

TEST(Statistics, GridIsLaidOutOnceAndShowsExactlyEachReadingsRows) {
    GridModel g;
    fillStatisticsGrid({}, g);
    EXPECT_TRUE(g.visible());
    EXPECT_EQ((QList<int>{g.rows(), g.cols(), g.colWidth(0), g.colWidth(1), g.colWidth(2)}),
              (QList<int>{1, 3, 700, 1000, 6000}));
    EXPECT_EQ((QStringList{g.text(0, 0), g.text(0, 1), g.text(0, 2)}),
              (QStringList{u"Stats#"_s, u"Value"_s, u"Name"_s}));
    g.setColWidth(2, 1234);
    fillStatisticsGrid(changes({{1, u"s1"_s, 10}, {2, u"s2"_s, 20}, {3, u"s3"_s, 30}}), g);
    EXPECT_EQ(g.rows(), 4);
    EXPECT_EQ((QStringList{g.text(3, 0), g.text(3, 1), g.text(3, 2)}),
              (QStringList{u"3"_s, u"30"_s, u"s3"_s}));
    EXPECT_EQ(g.colWidth(2), 1234) << "a laid-out grid is not laid out again";
    fillStatisticsGrid(changes({{9, u"s9"_s, 90}}), g);
    EXPECT_EQ(std::pair(g.rows(), g.text(1, 2)), std::pair(2, u"s9"_s))
        << "a shorter reading leaves nothing of the longer one";
}
