#include "core/db/database.h"
#include "core/settings/settingsstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace qv;

TEST(SettingsStore, MissingStoreAndMissingValueLeaveTheValue) {
    test::TempStore tmp;
    SettingsStore& store = settingsStore();
    QString value = u"before"_s;
    EXPECT_EQ(store.read(u"f_query"_s, value), StoreStatus::Unavailable);
    EXPECT_FALSE(QFile::exists(tmp.path())) << "reading creates nothing";
    ASSERT_EQ(store.write(u"f_query"_s, u"1"_s), StoreStatus::Ok);
    EXPECT_EQ(store.read(u"f_explan"_s, value), StoreStatus::NoSuchValue);
    EXPECT_EQ(value, u"before"_s);
}

TEST(SettingsStore, ValuesOfAnyLengthRoundTripWhole) {
    test::TempStore tmp;
    const QString long300(300, u'x');
    const QString jp =
        u"select * from 注文 where 名前 = 'O''Brien';\n-- 二行目\r\n\t@end, a=b"_s.repeated(200);
    for (const QString& v : {QString(), long300, jp})
        ASSERT_EQ(settingsStore().write(u"v%1"_s.arg(v.size()), v), StoreStatus::Ok);
    SettingsStore other(tmp.path());  // another run of the program reads the same
    for (const QString& v : {QString(), long300, jp}) {
        QString got = u"unset"_s;
        EXPECT_EQ(other.read(u"v%1"_s.arg(v.size()), got), StoreStatus::Ok);
        EXPECT_EQ(got, v);
    }
    tmp.put(u"v0"_s, u"changed elsewhere"_s);
    QString got;
    EXPECT_EQ(settingsStore().read(u"v0"_s, got), StoreStatus::Ok);
    EXPECT_EQ(got, u"changed elsewhere"_s);
}

TEST(SettingsStore, UnwritableLocationFailsWithoutSideEffects) {
    QTemporaryDir dir;
    QFile blocker(dir.path() + u"/blocked"_s);  // a file where the directory would have to be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsStore store(dir.path() + u"/blocked/quervin.ini"_s);
    EXPECT_EQ(store.write(u"f_query"_s, u"1"_s), StoreStatus::Unavailable);
    QString v = u"kept"_s;
    EXPECT_EQ(store.read(u"f_query"_s, v), StoreStatus::Unavailable);
    EXPECT_EQ(v, u"kept"_s);
    store.beginBatch();
    store.write(u"a"_s, u"1"_s);
    EXPECT_EQ(store.endBatch(), StoreStatus::Unavailable);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{u"blocked"_s});
}

TEST(SettingsStore, BatchWritesOnceAtTheOutermostEnd) {
    test::TempStore tmp;
    SettingsStore& store = settingsStore();
    store.beginBatch();
    store.beginBatch();
    for (int i = 0; i < 50; ++i)
        store.write(u"sqlhist_%1"_s.arg(i), QString::number(i));
    EXPECT_EQ(store.endBatch(), StoreStatus::Ok);
    EXPECT_FALSE(QFile::exists(tmp.path())) << "the inner end writes nothing";
    EXPECT_EQ(store.endBatch(), StoreStatus::Ok);
    QString v;
    EXPECT_EQ(SettingsStore(tmp.path()).read(u"sqlhist_49"_s, v), StoreStatus::Ok);
    EXPECT_EQ(v, u"49"_s);
}

TEST(SettingsStore, HandEditedListValueKeepsItsText) {
    test::TempStore tmp;
    QFile f(tmp.path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\ns_optimizer=ALL_ROWS, RULE\n");
    f.close();
    QString v;
    EXPECT_EQ(settingsStore().read(u"s_optimizer"_s, v), StoreStatus::Ok);
    EXPECT_EQ(v, u"ALL_ROWS, RULE"_s);
}

TEST(TextOrEmpty, NullGivesEmptyOtherValuesTheirText) {
    EXPECT_EQ(textOrEmpty(QVariant()), QString());
    EXPECT_EQ(textOrEmpty(QVariant(QMetaType(QMetaType::QString))), QString());
    EXPECT_EQ(textOrEmpty(QVariant(qlonglong(1234567890123))), u"1234567890123"_s);
}
