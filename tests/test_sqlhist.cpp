#include "history/sqlhist.h"
#include "settings/regstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;

TEST(SQLHist, CursorWalksBySlotAndWraps) {
    clsSQLHist ring;
    clsSQLHistFinder f;
    f.setSQLHist(&ring);
    f.nextSQL();
    f.prevSQL();
    EXPECT_EQ(f.pos(), 0) << "an empty ring stays at 0";
    EXPECT_EQ(f.getSQL(), QString());
    for (const char* t : {"T1", "T2", "T3"})
        ring.add(QString::fromLatin1(t));
    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        f.nextSQL();
        seen << f.getSQL();
    }
    f.prevSQL();
    seen << f.getSQL();
    EXPECT_EQ(seen, (QStringList{u"T2"_s, u"T3"_s, u"T1"_s, u"T3"_s}));
    clsSQLHistFinder other;  // a new window starts at 0
    other.setSQLHist(&ring);
    EXPECT_EQ(other.getSQL(), u"T1"_s);
}

TEST(SQLHist, RingWrapsAfterSlot100) {
    clsSQLHist ring;
    for (int i = 0; i < 101; ++i)
        ring.add(u"S%1"_s.arg(i));
    EXPECT_EQ(ring.nextp(), 101);
    EXPECT_EQ(ring.getMax(), 100);
    ring.add(u"S101"_s);
    EXPECT_EQ(ring.getSQL(0), u"S101"_s);
    EXPECT_EQ(ring.nextp(), 1);
    EXPECT_EQ(ring.getMax(), 100);
    EXPECT_EQ(ring.getSQL(101), QString());
    EXPECT_EQ(ring.getSQL(-1), QString());
    ring.add(u"S101"_s);
    EXPECT_EQ(ring.getSQL(1), ring.getSQL(0)) << "the same text takes two slots";
}

TEST(SQLHist, RestartRestoresLongMultiLineStatements) {
    test::TempStore tmp;
    QString big;
    for (int i = 0; big.size() < 5000; ++i)
        big += u"select 列%1, 'a,b' from t%1\r\n where x = 'y'\n"_s.arg(i);
    for (const QString& s : {u"first"_s, big, u"third"_s})
        gSQLHist().add(s);
    releaseSQLHist();
    QString max, next;
    getRegValue(u"sqlhist_max"_s, max);
    getRegValue(u"sqlhist_nextp"_s, next);
    EXPECT_EQ(max + u"/"_s + next, u"2/3"_s);
    EXPECT_EQ(gSQLHist().getSQL(1), big);
    gSQLHist().add(u"fourth"_s);
    EXPECT_EQ(gSQLHist().getSQL(3), u"fourth"_s);
}

TEST(SQLHist, StoredNumbersAreBroughtIntoRange) {
    const std::tuple<const char*, const char*, int, int> cases[] = {
        {"250", "7", 100, 7}, {"-4", "-9", 0, 0},  {"3", "500", 3, 101}, {"abc", "2", 0, 2},
        {"2.5", "3.5", 2, 4}, {"1e10", "1", 0, 0}, {" 5 ", "+1", 5, 1},  {"100", "101", 100, 101},
    };
    for (const auto& [max, next, wantMax, wantNext] : cases) {
        test::TempStore tmp;
        tmp.put(u"sqlhist_max"_s, QString::fromLatin1(max));
        tmp.put(u"sqlhist_nextp"_s, QString::fromLatin1(next));
        tmp.put(u"sqlhist_2"_s, u"two"_s);
        clsSQLHist& ring = gSQLHist();
        EXPECT_EQ(ring.getMax(), wantMax) << max << "/" << next;
        EXPECT_EQ(ring.nextp(), wantNext) << max << "/" << next;
        EXPECT_EQ(ring.getSQL(2), wantMax >= 2 ? u"two"_s : QString());
        const int expectedSlot = wantNext > 100 ? 0 : wantNext;
        ring.add(u"x"_s);
        EXPECT_EQ(ring.getSQL(expectedSlot), u"x"_s);
        for (int i = 0; i < 103; ++i)
            ring.add(u"x"_s);
        EXPECT_LE(ring.getMax(), 100);
    }
}
