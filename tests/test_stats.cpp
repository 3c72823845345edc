#include "support/testrunwindow.h"
#include "tuning/stats.h"

#include <gtest/gtest.h>

using namespace qv;
using test::Reply;

namespace {
std::shared_ptr<clsStat> stat(int32_t index, const QString& name, QVariant value) {
    auto s = std::make_shared<clsStat>();
    s->index = index;
    s->name = name;
    s->value = std::move(value);
    return s;
}
}  // namespace

TEST(Stats, CollectionIsKeyedByNumberAndPositionedFromOne) {
    clsStats c;
    c.addStat(stat(5, QStringLiteral("x"), 10));
    c.addStat(stat(7, QStringLiteral("y"), 3));
    EXPECT_EQ(c.count(), 2);
    ASSERT_NE(c.getStatKey(QStringLiteral("7")), nullptr);
    EXPECT_EQ(c.getStatKey(QStringLiteral("7"))->name, QStringLiteral("y"));
    EXPECT_EQ(c.getStatKey(QStringLiteral("8")), nullptr);
    EXPECT_EQ(c.getStat(3), nullptr);
    EXPECT_EQ(c.getStat(0), nullptr);
    EXPECT_EQ(c.getStat(1)->index, 5);
    c.getStat(1)->value = 99;
    EXPECT_EQ(c.getStatKey(QStringLiteral("5"))->value.toInt(), 99) << "elements are shared";
    try {
        c.addStat(stat(5, QStringLiteral("dup"), 0));
        ADD_FAILURE() << "duplicate accepted";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), 457);
    }
    EXPECT_EQ(c.count(), 2);
    c.addStat(stat(40000, QStringLiteral("wide"), 1));  // numbers above 16 bits are ordinary
    EXPECT_NE(c.getStatKey(QStringLiteral("40000")), nullptr);
}

TEST(Stats, DifferencesPairByNumberWhateverTheOrder) {
    clsStats before;
    before.addStat(stat(5, QStringLiteral("a"), 10));
    before.addStat(stat(7, QStringLiteral("b"), 3));
    before.addStat(stat(9, QStringLiteral("c"), 1.5));
    clsStats after;
    after.addStat(stat(7, QStringLiteral("b"), 3));
    after.addStat(stat(5, QStringLiteral("a"), 14));
    after.addStat(stat(11, QStringLiteral("new"), 6));
    after.addStat(stat(9, QStringLiteral("c"), 4));
    after.diffStat(before);
    EXPECT_EQ(after.getStatKey(QStringLiteral("5"))->value.toLongLong(), 4);
    EXPECT_EQ(after.getStatKey(QStringLiteral("7"))->value.toLongLong(), 0);
    EXPECT_EQ(after.getStatKey(QStringLiteral("11"))->value.toLongLong(), 6);
    EXPECT_DOUBLE_EQ(after.getStatKey(QStringLiteral("9"))->value.toDouble(), 2.5);
    EXPECT_EQ(after.getStat(1)->index, 7) << "order is the after-reading's";
    EXPECT_EQ(subtractValues(QVariant(QStringLiteral("123456789012")), QVariant(qlonglong(12))),
              QVariant(qlonglong(123456789000)));
}

TEST(Stats, ReadingUsesTheExactQueryAndNarrowsNumbersTo32Bits) {
    test::TestRunWindow w;
    w.script->on(QStringLiteral(".*"),
                 test::statRows({{5, QStringLiteral("user calls"), 10},
                                 {QStringLiteral("70000"), QStringLiteral("big"), 2}}),
                 1);
    clsStats s;
    getStatStats(0, w.stats, s, QStringLiteral("42"));
    EXPECT_EQ(w.script->log,
              QStringList{QStringLiteral("S: SELECT *FROM V$SESSTAT A, V$STATNAME B WHERE "
                                         "A.STATISTIC# = B.STATISTIC# and a.sid='42'")});
    ASSERT_EQ(s.count(), 2);
    EXPECT_EQ(s.getStat(2)->index, 70000);
    EXPECT_EQ(s.getStat(1)->name, QStringLiteral("user calls"));

    w.script->on(QStringLiteral(".*"),
                 test::statRows({{1, QStringLiteral("ok"), 1},
                                 {QStringLiteral("3000000000"), QStringLiteral("x"), 1}}),
                 1);
    clsStats t;
    try {
        getStatStats(1, w.stats, t, QStringLiteral("42"));
        ADD_FAILURE() << "no overflow";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_EQ(t.count(), 1) << "what was read before the failure stays";
}

TEST(Stats, GridIsLaidOutOnceAndItsRowsOnlyGrow) {
    GridModel g;
    clsStats empty;
    setGridStats(empty, g);
    EXPECT_TRUE(g.visible());
    EXPECT_EQ(g.rows(), 2);
    EXPECT_EQ(g.cols(), 3);
    EXPECT_EQ(g.text(0, 0), QStringLiteral("Stats#"));
    EXPECT_EQ(g.text(0, 1), QStringLiteral("Value"));
    EXPECT_EQ(g.text(0, 2), QStringLiteral("Name"));
    EXPECT_EQ(g.colWidth(0), 700);
    EXPECT_EQ(g.colWidth(1), 1000);
    EXPECT_EQ(g.colWidth(2), 6000);
    EXPECT_EQ(g.text(1, 0), QString());

    clsStats three;
    for (int i = 1; i <= 3; ++i)
        three.addStat(stat(i, QStringLiteral("s%1").arg(i), i * 10));
    setGridStats(three, g);
    EXPECT_EQ(g.rows(), 4);
    EXPECT_EQ(g.text(3, 1), QStringLiteral("30"));

    g.setColWidth(2, 1234);
    clsStats one;
    one.addStat(stat(9, QStringLiteral("n"), 5));
    setGridStats(one, g);
    EXPECT_EQ(g.rows(), 4);
    EXPECT_EQ(g.text(1, 0), QStringLiteral("9"));
    EXPECT_EQ(g.text(2, 0), QStringLiteral("2")) << "rows of an earlier run stay";
    EXPECT_EQ(g.colWidth(2), 1234) << "a laid-out grid is not laid out again";
}

TEST(Stats, RunShowsEveryStatisticWithItsChange) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("select 1 from dual");
    w.options.flgExplan = 0;
    w.scriptSession(QStringLiteral("42"),
                    {{{5, QStringLiteral("x"), 10}, {7, QStringLiteral("y"), 3}},
                     {{5, QStringLiteral("x"), 14}, {7, QStringLiteral("y"), 3}}});
    w.script->onText(w.sql, Reply::table({QStringLiteral("1")}, {{1}}));
    RunState r;
    r.sid = QStringLiteral("42");
    clsStats before;
    statsBeforeStage(w, r, before);
    statsAfterStage(w, r, before);
    EXPECT_EQ(w.statGrid.text(1, 0), QStringLiteral("5"));
    EXPECT_EQ(w.statGrid.text(1, 1), QStringLiteral("4"));
    EXPECT_EQ(w.statGrid.text(1, 2), QStringLiteral("x"));
    EXPECT_EQ(w.statGrid.text(2, 0), QStringLiteral("7"));
    EXPECT_EQ(w.statGrid.text(2, 1), QStringLiteral("0"));
    EXPECT_EQ(w.sLine, QString());
}

TEST(Stats, FailedAfterReadingShowsTheBareDescription) {
    test::TestRunWindow w;
    w.script->on(QStringLiteral(".*V\\$SESSTAT.*"),
                 Reply::fail(QStringLiteral("ORA-03113: end-of-file on communication channel")));
    w.script->on(QStringLiteral(".*V\\$SESSTAT.*"), test::statRows({{5, QStringLiteral("x"), 1}}),
                 1);
    w.statGrid.setVisible(false);
    RunState r;
    clsStats before;
    statsBeforeStage(w, r, before);
    statsAfterStage(w, r, before);
    EXPECT_EQ(w.sLine, QStringLiteral("ORA-03113: end-of-file on communication channel"));
    EXPECT_FALSE(w.statGrid.visible());
    EXPECT_FALSE(r.statsUsable);
}
