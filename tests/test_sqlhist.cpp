#include "history/sqlhist.h"
#include "settings/regstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>

using namespace qv;

TEST(SQLHist, EmptyRingStepsStayAtZero) {
    clsSQLHist ring;
    clsSQLHistFinder f;
    f.setSQLHist(&ring);
    f.nextSQL();
    EXPECT_EQ(f.pos(), 0);
    EXPECT_EQ(f.getSQL(), QString());
    f.prevSQL();
    EXPECT_EQ(f.pos(), 0);
    EXPECT_EQ(f.getSQL(), QString());
}

TEST(SQLHist, CursorWalksBySlotAndWraps) {
    clsSQLHist ring;
    ring.add(QStringLiteral("T1"));
    ring.add(QStringLiteral("T2"));
    ring.add(QStringLiteral("T3"));
    clsSQLHistFinder f;
    f.setSQLHist(&ring);
    f.nextSQL();
    EXPECT_EQ(f.getSQL(), QStringLiteral("T2"));
    f.nextSQL();
    EXPECT_EQ(f.getSQL(), QStringLiteral("T3"));
    f.nextSQL();
    EXPECT_EQ(f.getSQL(), QStringLiteral("T1"));
    EXPECT_EQ(f.pos(), 0);
    f.prevSQL();
    EXPECT_EQ(f.getSQL(), QStringLiteral("T3"));

    clsSQLHistFinder other;  // a second window starts at 0, whatever the first one did
    other.setSQLHist(&ring);
    EXPECT_EQ(other.getSQL(), QStringLiteral("T1"));
}

TEST(SQLHist, RingWrapsAfterSlot100) {
    clsSQLHist ring;
    for (int i = 0; i < 101; ++i)
        ring.add(QStringLiteral("S%1").arg(i));
    EXPECT_EQ(ring.nextp(), 101);
    EXPECT_EQ(ring.getMax(), 100);
    EXPECT_EQ(ring.getSQL(100), QStringLiteral("S100"));
    ring.add(QStringLiteral("S101"));
    EXPECT_EQ(ring.getSQL(0), QStringLiteral("S101"));
    EXPECT_EQ(ring.nextp(), 1);
    EXPECT_EQ(ring.getMax(), 100);
    EXPECT_EQ(ring.getSQL(101), QString());
    EXPECT_EQ(ring.getSQL(-1), QString());
}

TEST(SQLHist, SameTextTakesTwoSlots) {
    clsSQLHist ring;
    ring.add(QStringLiteral("select 1"));
    ring.add(QStringLiteral("select 1"));
    EXPECT_EQ(ring.getMax(), 1);
    EXPECT_EQ(ring.getSQL(0), ring.getSQL(1));
}

TEST(SQLHist, SetMaxOnlyUpTo100) {
    clsSQLHist ring;
    ring.setMax(101);
    EXPECT_EQ(ring.getMax(), 0);
    ring.setMax(5);
    EXPECT_EQ(ring.getMax(), 5);
}

TEST(SQLHist, RestartRestoresLongMultiLineStatements) {
    test::TempStore tmp;
    QString big;
    for (int i = 0; big.size() < 5000; ++i)
        big += QStringLiteral("select 列%1, 'a,b' from t%1\r\n where x = 'y'\n").arg(i);
    gSQLHist().add(QStringLiteral("first"));
    gSQLHist().add(big);
    gSQLHist().add(QStringLiteral("third"));
    releaseSQLHist();
    EXPECT_FALSE(sqlHistExists());

    QString v;
    ASSERT_EQ(getRegValue(QStringLiteral("sqlhist_max"), v), 0);
    EXPECT_EQ(v, QStringLiteral("2"));
    ASSERT_EQ(getRegValue(QStringLiteral("sqlhist_nextp"), v), 0);
    EXPECT_EQ(v, QStringLiteral("3"));

    clsSQLHist& ring = gSQLHist();
    EXPECT_EQ(ring.getMax(), 2);
    EXPECT_EQ(ring.getSQL(1), big);
    ring.add(QStringLiteral("fourth"));
    EXPECT_EQ(ring.getSQL(3), QStringLiteral("fourth"));
}

TEST(SQLHist, StoredNextOf101OrMoreWritesSlotZeroNext) {
    test::TempStore tmp;
    tmp.put(QStringLiteral("sqlhist_max"), QStringLiteral("100"));
    tmp.put(QStringLiteral("sqlhist_nextp"), QStringLiteral("101"));
    tmp.put(QStringLiteral("sqlhist_0"), QStringLiteral("old0"));
    gSQLHist().add(QStringLiteral("new"));
    EXPECT_EQ(gSQLHist().getSQL(0), QStringLiteral("new"));
    EXPECT_EQ(gSQLHist().nextp(), 1);
}

TEST(SQLHist, OutOfRangeStoredNumbersAreBroughtIntoRange) {
    struct Case {
        const char* max;
        const char* nextp;
        int wantMax;
        int wantNext;
    };
    const Case cases[] = {
        {"250", "7", 100, 7}, {"-4", "-9", 0, 0},  {"3", "500", 3, 101}, {"abc", "2", 0, 2},
        {"2.5", "3.5", 2, 4}, {"1e10", "1", 0, 0}, {" 5 ", "+1", 5, 1},  {"", "", 0, 0},
    };
    for (const Case& c : cases) {
        test::TempStore tmp;
        tmp.put(QStringLiteral("sqlhist_max"), QString::fromLatin1(c.max));
        tmp.put(QStringLiteral("sqlhist_nextp"), QString::fromLatin1(c.nextp));
        clsSQLHist& ring = gSQLHist();
        EXPECT_EQ(ring.getMax(), c.wantMax) << c.max << "/" << c.nextp;
        EXPECT_EQ(ring.nextp(), c.wantNext) << c.max << "/" << c.nextp;
        for (int i = 0; i < 103; ++i)
            ring.add(QStringLiteral("x"));  // must never write outside 0..100
        EXPECT_LE(ring.getMax(), 100);
    }
}

TEST(SQLHist, MissingSlotsStayEmpty) {
    test::TempStore tmp;
    tmp.put(QStringLiteral("sqlhist_max"), QStringLiteral("3"));
    tmp.put(QStringLiteral("sqlhist_nextp"), QStringLiteral("4"));
    tmp.put(QStringLiteral("sqlhist_2"), QStringLiteral("two"));
    EXPECT_EQ(gSQLHist().getSQL(0), QString());
    EXPECT_EQ(gSQLHist().getSQL(2), QStringLiteral("two"));
    EXPECT_EQ(gSQLHist().getSQL(3), QString());
}
