#include "settings/regstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QSettings>

using namespace qv;

TEST(RegStore, MissingStoreGivesMinusOneAndLeavesValue) {
    test::TempStore tmp;
    QString value = QStringLiteral("before");
    EXPECT_EQ(getRegValue(QStringLiteral("f_query"), value), -1);
    EXPECT_EQ(value, QStringLiteral("before"));
    EXPECT_FALSE(QFile::exists(tmp.path()));
}

TEST(RegStore, MissingValueGivesMinusTwo) {
    test::TempStore tmp;
    ASSERT_EQ(setRegValue(QStringLiteral("f_query"), QStringLiteral("1")), 0);
    QString value = QStringLiteral("before");
    EXPECT_EQ(getRegValue(QStringLiteral("f_explan"), value), -2);
    EXPECT_EQ(value, QStringLiteral("before"));
}

TEST(RegStore, ValuesRoundTripWhole) {
    test::TempStore tmp;
    const QString empty;
    const QString long300(300, QLatin1Char('x'));
    QString jp =
        QStringLiteral("select * from 注文 where 名前 = 'O''Brien';\n-- 二行目\r\n\t@end, a=b");
    jp = jp.repeated(200);  // about 9,000 characters with line breaks, commas and quotes
    ASSERT_EQ(setRegValue(QStringLiteral("s_plantablename"), empty), 0);
    ASSERT_EQ(setRegValue(QStringLiteral("long"), long300), 0);
    ASSERT_EQ(setRegValue(QStringLiteral("sqlhist_0"), jp), 0);

    QString v = QStringLiteral("x");
    EXPECT_EQ(getRegValue(QStringLiteral("s_plantablename"), v), 0);
    EXPECT_EQ(v, QString());
    EXPECT_EQ(getRegValue(QStringLiteral("long"), v), 0);
    EXPECT_EQ(v, long300);
    EXPECT_EQ(getRegValue(QStringLiteral("sqlhist_0"), v), 0);
    EXPECT_EQ(v, jp);

    // A second store on the same file (another run of the program) reads the same.
    RegStore other(tmp.path());
    EXPECT_EQ(other.getRegValue(QStringLiteral("sqlhist_0"), v), 0);
    EXPECT_EQ(v, jp);
}

TEST(RegStore, SeesChangesMadeByAnotherWriter) {
    test::TempStore tmp;
    ASSERT_EQ(setRegValue(QStringLiteral("f_query"), QStringLiteral("1")), 0);
    tmp.put(QStringLiteral("f_query"), QStringLiteral("0"));
    QString v;
    EXPECT_EQ(getRegValue(QStringLiteral("f_query"), v), 0);
    EXPECT_EQ(v, QStringLiteral("0"));
}

TEST(RegStore, UnwritableLocationFailsWithoutSideEffects) {
    QTemporaryDir dir;
    // A regular file where the store's directory would have to be: nothing can be created.
    QFile blocker(dir.path() + QStringLiteral("/blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RegStore store(dir.path() + QStringLiteral("/blocked/quervin.ini"));
    EXPECT_EQ(store.setRegValue(QStringLiteral("f_query"), QStringLiteral("1")), -1);
    QString v = QStringLiteral("kept");
    EXPECT_EQ(store.getRegValue(QStringLiteral("f_query"), v), -1);
    EXPECT_EQ(v, QStringLiteral("kept"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{QStringLiteral("blocked")});

    store.beginBatch();
    store.setRegValue(QStringLiteral("a"), QStringLiteral("1"));
    EXPECT_EQ(store.endBatch(), -1);
}

TEST(RegStore, BatchWritesOnceAtTheEnd) {
    test::TempStore tmp;
    RegStore& store = regStore();
    store.beginBatch();
    store.beginBatch();
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(store.setRegValue(QStringLiteral("sqlhist_%1").arg(i), QString::number(i)), 0);
    EXPECT_EQ(store.endBatch(), 0);
    EXPECT_FALSE(QFile::exists(tmp.path())) << "inner endBatch must not write";
    EXPECT_EQ(store.endBatch(), 0);
    ASSERT_TRUE(QFile::exists(tmp.path()));
    RegStore reader(tmp.path());
    QString v;
    EXPECT_EQ(reader.getRegValue(QStringLiteral("sqlhist_49"), v), 0);
    EXPECT_EQ(v, QStringLiteral("49"));
}

TEST(RegStore, HandEditedListValueKeepsItsText) {
    test::TempStore tmp;
    QFile f(tmp.path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\ns_optimizer=ALL_ROWS, RULE\n");
    f.close();
    QString v;
    EXPECT_EQ(getRegValue(QStringLiteral("s_optimizer"), v), 0);
    EXPECT_EQ(v, QStringLiteral("ALL_ROWS, RULE"));
}

TEST(NullToEmpty, NullGivesEmptyOtherValuesTheirText) {
    EXPECT_EQ(nullToEmpty(QVariant()), QString());
    EXPECT_EQ(nullToEmpty(QVariant(QMetaType(QMetaType::QString))), QString());
    EXPECT_EQ(nullToEmpty(QVariant(0)), QStringLiteral("0"));
    EXPECT_EQ(nullToEmpty(QVariant(qlonglong(1234567890123))), QStringLiteral("1234567890123"));
    EXPECT_EQ(nullToEmpty(QVariant(QStringLiteral("ＡＢＣ"))), QStringLiteral("ＡＢＣ"));
}
