#include "core/tuning/statistics.h"
#include "support/testrunwindow.h"

#include "support/dberror.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {
StatisticSet collection(const QList<QVariantList>& rows) {
    StatisticSet c;
    for (const QVariantList& r : rows)
        c.add(Statistic{r[0].toInt(), r[1].toString(), r[2]});
    return c;
}
}  // namespace

TEST(Statistics, SetIsKeyedByNumberAndRefusesARepeatedOne) {
    StatisticSet c = collection({{5, u"x"_s, 10}, {7, u"y"_s, 3}});
    ASSERT_NE(c.find(7), nullptr);
    EXPECT_EQ(c.find(7)->name, u"y"_s);
    EXPECT_EQ(c.find(8), nullptr);
    EXPECT_EQ(test::errorOf([&] { c.add(Statistic{5, u"dup"_s, 0}); }).number(), 457);
    EXPECT_EQ(c.count(), 2);
}

TEST(Statistics, DifferencesPairByNumberWhateverTheOrder) {
    const StatisticSet before = collection({{5, u"a"_s, 10}, {7, u"b"_s, 3}, {9, u"c"_s, 1.5}});
    StatisticSet after =
        collection({{7, u"b"_s, 3}, {5, u"a"_s, 14}, {11, u"new"_s, 6}, {9, u"c"_s, 4}});
    after.subtract(before);
    QStringList got;
    for (int i = 0; i < after.count(); ++i)
        got << u"%1=%2"_s.arg(after.at(i).number).arg(after.at(i).value.toString());
    EXPECT_EQ(got, (QStringList{u"7=0"_s, u"5=4"_s, u"11=6"_s, u"9=2.5"_s}));
    EXPECT_EQ(subtractValues(u"123456789012"_s, qlonglong(12)), QVariant(qlonglong(123456789000)));
}

TEST(Statistics, ReadingUsesTheExactQueryAndNarrowsNumbersTo32Bits) {
    test::TestRunWindow w;
    w.script->on(u".*"_s, test::statRows({{5, u"user calls"_s, 10}, {u"70000"_s, u"big"_s, 2}}), 1);
    StatisticSet s;
    readStatistics(w.stats, u"42"_s, s);
    EXPECT_EQ(w.script->log, QStringList{u"S: SELECT *FROM V$SESSTAT A, V$STATNAME B WHERE "
                                         u"A.STATISTIC# = B.STATISTIC# and a.sid='42'"_s});
    ASSERT_EQ(s.count(), 2);
    EXPECT_EQ(s.at(1).number, 70000);

    w.script->on(u".*"_s, test::statRows({{1, u"ok"_s, 1}, {u"3000000000"_s, u"x"_s, 1}}), 1);
    StatisticSet t;
    EXPECT_EQ(test::errorOf([&] { readStatistics(w.stats, u"42"_s, t); }).number(), 6)
        << "the number overflows 32 bits";
    EXPECT_EQ(t.count(), 1) << "what was read before the failure stays";
}

TEST(Statistics, GridIsLaidOutOnce) {
    GridModel g;
    fillStatisticsGrid(StatisticSet(), g);
    EXPECT_TRUE(g.visible());
    EXPECT_EQ((QList<int>{g.rows(), g.cols(), g.colWidth(0), g.colWidth(1), g.colWidth(2)}),
              (QList<int>{2, 3, 700, 1000, 6000}));
    EXPECT_EQ((QStringList{g.text(0, 0), g.text(0, 1), g.text(0, 2), g.text(1, 0)}),
              (QStringList{u"Stats#"_s, u"Value"_s, u"Name"_s, {}}));
    fillStatisticsGrid(collection({{1, u"s1"_s, 10}, {2, u"s2"_s, 20}, {3, u"s3"_s, 30}}), g);
    EXPECT_EQ(g.rows(), 4);
    EXPECT_EQ(g.text(3, 1), u"30"_s);
    g.setColWidth(2, 1234);
    fillStatisticsGrid(collection({{9, u"n"_s, 5}}), g);
    EXPECT_EQ(g.text(1, 0), u"9"_s);
    EXPECT_EQ(g.colWidth(2), 1234) << "a laid-out grid is not laid out again";
}

TEST(Statistics, StagesShowTheChangeOrTheFailure) {
    test::TestRunWindow w;
    w.scriptSession(u"42"_s,
                    {{{5, u"x"_s, 10}, {7, u"y"_s, 3}}, {{5, u"x"_s, 14}, {7, u"y"_s, 3}}});
    RunState r;
    r.sid = u"42"_s;
    StatisticSet before;
    statsBeforeStage(w, r, before);
    statsAfterStage(w, r, before);
    EXPECT_EQ((QStringList{w.statistics.text(1, 0), w.statistics.text(1, 1),
                           w.statistics.text(1, 2), w.statistics.text(2, 1)}),
              (QStringList{u"5"_s, u"4"_s, u"x"_s, u"0"_s}));
    EXPECT_EQ(w.shown, (QStringList{u"S:統計情報を取得中"_s, u"S:"_s}));

    test::TestRunWindow v;
    v.script->on(u".*"_s, Reply::fail(u"ORA-03113: end-of-file on communication channel"_s));
    v.script->on(u".*"_s, test::statRows({{5, u"x"_s, 1}}), 1);
    v.statistics.setVisible(false);
    RunState s;
    StatisticSet b;
    statsBeforeStage(v, s, b);
    statsAfterStage(v, s, b);
    EXPECT_EQ(v.statsLine, u"ORA-03113: end-of-file on communication channel"_s)
        << "a failed after-reading shows the bare description";
    EXPECT_FALSE(v.statistics.visible());
    EXPECT_FALSE(s.statsUsable);
}
