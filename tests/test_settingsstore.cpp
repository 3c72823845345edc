#include "core/settings/settingsstore.h"
#include "support/tempprogram.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace qv;

TEST(SettingsStore, ReadingCreatesNothingLeavesMissingValuesAndKeepsHandEditedText) {
    test::TempProgram tmp;
    SettingsStore& store = tmp.store();
    QString value = u"before"_s;
    EXPECT_EQ(store.read(u"f_query"_s, value), StoreStatus::Unavailable);
    EXPECT_FALSE(QFile::exists(tmp.path()));
    // Written by hand after the store was made; the comma must not split the value.
    QFile f(tmp.path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\ns_optimizer=ALL_ROWS, RULE\n");
    f.close();
    EXPECT_EQ(store.read(u"f_explan"_s, value), StoreStatus::NoSuchValue);
    EXPECT_EQ(value, u"before"_s);
    EXPECT_EQ(store.read(u"s_optimizer"_s, value), StoreStatus::Ok);
    EXPECT_EQ(value, u"ALL_ROWS, RULE"_s);
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
    test::TempProgram tmp;
    SettingsStore& store = tmp.store();
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
