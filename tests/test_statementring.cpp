#include "core/history/statementring.h"
#include "core/history/statementringcursor.h"
#include "core/settings/settingsstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;

TEST(StatementRing, CursorWalksBySlotAndWraps) {
    StatementRing ring;
    StatementRingCursor f;
    f.setRing(&ring);
    f.next();
    f.previous();
    EXPECT_EQ(f.position(), 0) << "an empty ring stays at 0";
    EXPECT_EQ(f.statement(), QString());
    for (const char* t : {"T1", "T2", "T3"})
        ring.add(QString::fromLatin1(t));
    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        f.next();
        seen << f.statement();
    }
    f.previous();
    seen << f.statement();
    EXPECT_EQ(seen, (QStringList{u"T2"_s, u"T3"_s, u"T1"_s, u"T3"_s}));
    StatementRingCursor other;  // a new window starts at 0
    other.setRing(&ring);
    EXPECT_EQ(other.statement(), u"T1"_s);
}

TEST(StatementRing, RingWrapsAfterSlot100) {
    StatementRing ring;
    for (int i = 0; i < 101; ++i)
        ring.add(u"S%1"_s.arg(i));
    EXPECT_EQ(std::pair(ring.nextSlot(), ring.highestSlot()), std::pair(101, 100));
    ring.add(u"S101"_s);
    EXPECT_EQ(std::pair(ring.nextSlot(), ring.highestSlot()), std::pair(1, 100));
    EXPECT_EQ(QStringList({ring.statement(0), ring.statement(101), ring.statement(-1)}),
              QStringList({u"S101"_s, QString(), QString()}));
    ring.add(u"S101"_s);
    EXPECT_EQ(ring.statement(1), ring.statement(0)) << "the same text takes two slots";
}

TEST(StatementRing, RestartRestoresLongStatementsWithAnyCharacters) {
    test::TempStore tmp;
    QString big;
    for (int i = 0; big.size() < 5000; ++i)
        big += u"select 列%1, 'a,b;c' from t%1\r\n\twhere x = 'O''Brien' -- @end, a=b\n"_s.arg(i);
    for (const QString& s : {u"first"_s, big, u"third"_s})
        statementRing().add(s);
    saveAndReleaseStatementRing();
    QString max, next;
    settingsStore().read(u"sqlhist_max"_s, max);
    settingsStore().read(u"sqlhist_nextp"_s, next);
    EXPECT_EQ(max + u"/"_s + next, u"2/3"_s);
    EXPECT_EQ(statementRing().statement(1), big);
    statementRing().add(u"fourth"_s);
    EXPECT_EQ(statementRing().statement(3), u"fourth"_s);
}

TEST(StatementRing, StoredNumbersAreBroughtIntoRange) {
    const std::tuple<const char*, const char*, int, int> cases[] = {
        {"250", "7", 100, 7}, {"-4", "-9", 0, 0},  {"3", "500", 3, 101}, {"abc", "2", 0, 2},
        {"2.5", "3.5", 2, 4}, {"1e10", "1", 0, 0}, {" 5 ", "+1", 5, 1},
    };
    for (const auto& [max, next, wantMax, wantNext] : cases) {
        test::TempStore tmp;
        tmp.put(u"sqlhist_max"_s, QString::fromLatin1(max));
        tmp.put(u"sqlhist_nextp"_s, QString::fromLatin1(next));
        tmp.put(u"sqlhist_2"_s, u"two"_s);
        StatementRing& ring = statementRing();
        EXPECT_EQ(std::tuple(ring.highestSlot(), ring.nextSlot(), ring.statement(2)),
                  std::tuple(wantMax, wantNext, wantMax >= 2 ? u"two"_s : QString()))
            << max << "/" << next;
        const int expectedSlot = wantNext > 100 ? 0 : wantNext;
        ring.add(u"x"_s);
        EXPECT_EQ(ring.statement(expectedSlot), u"x"_s);
    }
}
