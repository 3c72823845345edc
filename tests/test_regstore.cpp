#include "settings/regstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace qv;

TEST(RegStore, MissingStoreAndMissingValueLeaveTheValue) {
    test::TempStore tmp;
    QString value = u"before"_s;
    EXPECT_EQ(getRegValue(u"f_query"_s, value), -1);
    EXPECT_FALSE(QFile::exists(tmp.path())) << "reading creates nothing";
    ASSERT_EQ(setRegValue(u"f_query"_s, u"1"_s), 0);
    EXPECT_EQ(getRegValue(u"f_explan"_s, value), -2);
    EXPECT_EQ(value, u"before"_s);
}

TEST(RegStore, ValuesOfAnyLengthRoundTripWhole) {
    test::TempStore tmp;
    const QString long300(300, u'x');
    const QString jp =
        u"select * from 注文 where 名前 = 'O''Brien';\n-- 二行目\r\n\t@end, a=b"_s.repeated(200);
    for (const QString& v : {QString(), long300, jp})
        ASSERT_EQ(setRegValue(u"v%1"_s.arg(v.size()), v), 0);
    RegStore other(tmp.path());  // another run of the program reads the same
    for (const QString& v : {QString(), long300, jp}) {
        QString got = u"unset"_s;
        EXPECT_EQ(other.getRegValue(u"v%1"_s.arg(v.size()), got), 0);
        EXPECT_EQ(got, v);
    }
    tmp.put(u"v0"_s, u"changed elsewhere"_s);
    QString got;
    EXPECT_EQ(getRegValue(u"v0"_s, got), 0);
    EXPECT_EQ(got, u"changed elsewhere"_s);
}

TEST(RegStore, UnwritableLocationFailsWithoutSideEffects) {
    QTemporaryDir dir;
    QFile blocker(dir.path() + u"/blocked"_s);  // a file where the directory would have to be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RegStore store(dir.path() + u"/blocked/quervin.ini"_s);
    EXPECT_EQ(store.setRegValue(u"f_query"_s, u"1"_s), -1);
    QString v = u"kept"_s;
    EXPECT_EQ(store.getRegValue(u"f_query"_s, v), -1);
    EXPECT_EQ(v, u"kept"_s);
    store.beginBatch();
    store.setRegValue(u"a"_s, u"1"_s);
    EXPECT_EQ(store.endBatch(), -1);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{u"blocked"_s});
}

TEST(RegStore, BatchWritesOnceAtTheOutermostEnd) {
    test::TempStore tmp;
    RegStore& store = regStore();
    store.beginBatch();
    store.beginBatch();
    for (int i = 0; i < 50; ++i)
        store.setRegValue(u"sqlhist_%1"_s.arg(i), QString::number(i));
    EXPECT_EQ(store.endBatch(), 0);
    EXPECT_FALSE(QFile::exists(tmp.path())) << "the inner end writes nothing";
    EXPECT_EQ(store.endBatch(), 0);
    QString v;
    EXPECT_EQ(RegStore(tmp.path()).getRegValue(u"sqlhist_49"_s, v), 0);
    EXPECT_EQ(v, u"49"_s);
}

TEST(RegStore, HandEditedListValueKeepsItsText) {
    test::TempStore tmp;
    QFile f(tmp.path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\ns_optimizer=ALL_ROWS, RULE\n");
    f.close();
    QString v;
    EXPECT_EQ(getRegValue(u"s_optimizer"_s, v), 0);
    EXPECT_EQ(v, u"ALL_ROWS, RULE"_s);
}

TEST(NullToEmpty, NullGivesEmptyOtherValuesTheirText) {
    EXPECT_EQ(nullToEmpty(QVariant()), QString());
    EXPECT_EQ(nullToEmpty(QVariant(QMetaType(QMetaType::QString))), QString());
    EXPECT_EQ(nullToEmpty(QVariant(0)), u"0"_s);
    EXPECT_EQ(nullToEmpty(QVariant(qlonglong(1234567890123))), u"1234567890123"_s);
}
