#include "core/history/historyfile.h"
#include "support/dberror.h"
#include "support/sqliteprobe.h"

#include <gtest/gtest.h>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace qv;
using test::SqliteProbe;

namespace {

class HistoryFileTest : public ::testing::Test {
  protected:
    HistoryFileTest() : file(dir.filePath(u"quervhst.mdb"_s)) {
        stats.setCols(3);
        stats.setRows(3);
        const char* cells[][2] = {{"5", "4"}, {"7", "0"}};
        for (int r = 1; r <= 2; ++r)
            for (int c = 0; c < 2; ++c)
                stats.setText(r, c, QString::fromLatin1(cells[r - 1][c]));
        plan.setCols(4);
        plan.setRows(3);
        plan.setText(1, 0, u"SELECT STATEMENT"_s);
        plan.setText(2, 0, u" TABLE ACCESS FULL (APP.EMP)"_s);
        plan.setText(2, 1, u"14"_s);
    }
    HistoryFile::Recorded record(const QString& sql = u"select * from emp"_s) {
        return file.record(sql, stats, plan);
    }

    QTemporaryDir dir;
    HistoryFile file;
    GridModel stats;
    GridModel plan;
};

}  // namespace

TEST_F(HistoryFileTest, CheckFindsMissingTablesAndFieldsAndAcceptsExtras) {
    EXPECT_EQ(file.check(), HistoryFileState::Missing);
    EXPECT_FALSE(QFile::exists(file.path())) << "checking does not create";
    EXPECT_FALSE(file.create());
    EXPECT_EQ(file.check(), HistoryFileState::Ready);
    SqliteProbe o(file.path());
    EXPECT_EQ(o.rows("PRAGMA user_version"), QStringList{u"1"_s});
    o.exec("CREATE TABLE EXTRA (A)");
    o.exec("ALTER TABLE SQL_HIST ADD COLUMN NOTE TEXT");
    EXPECT_EQ(file.check(), HistoryFileState::Ready);
    o.exec("ALTER TABLE EXPLAN_HIST DROP COLUMN COST");
    EXPECT_EQ(file.check(), HistoryFileState::FieldMissing);
    o.exec("DROP TABLE STATS_HIST");
    o.exec("CREATE TABLE stats_hist (NUM, STATS, VALUE)");  // names are case-sensitive
    EXPECT_EQ(file.check(), HistoryFileState::TableMissing);
}

TEST_F(HistoryFileTest, RunsAreNumberedAfterTheHighestStoredOneAndCounted) {
    EXPECT_EQ(record().runNumber, 1);
    EXPECT_EQ(record(u"select 2"_s).runNumber, 2);
    SqliteProbe o(file.path());
    EXPECT_EQ(o.rows("SELECT NUM, SQL FROM SQL_HIST"),
              (QStringList{u"1|select * from emp"_s, u"2|select 2"_s}));
    EXPECT_EQ(o.rows("SELECT NUM, STATS, VALUE, typeof(STATS) FROM STATS_HIST WHERE NUM = 2"),
              (QStringList{u"2|5|4|integer"_s, u"2|7|0|integer"_s}));
    EXPECT_EQ(
        o.rows("SELECT EXPLAN_NUM, OPERATION, CARDINALITY, COST FROM EXPLAN_HIST WHERE NUM = 1"),
        (QStringList{u"1|SELECT STATEMENT||"_s, u"2| TABLE ACCESS FULL (APP.EMP)|14|"_s}));
    o.exec("DELETE FROM SQL_HIST WHERE NUM = 1");
    const HistoryFile::Recorded third = record();
    EXPECT_EQ(third.runNumber, 3);
    EXPECT_EQ(third.runCount, 2) << "the count is the file's, after others' changes";
    o.exec("DELETE FROM SQL_HIST");
    EXPECT_EQ(record().runNumber, 1);
    ASSERT_TRUE(QFile::remove(file.path()));
    EXPECT_EQ(record().runNumber, 1) << "a deleted file is made again";
}

TEST_F(HistoryFileTest, HiddenGridsAddNoRowsAndTheTimeIsSqlitesForm) {
    stats.setVisible(false);
    plan.setVisible(false);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    record();
    GridModel headerOnly;
    headerOnly.setRows(1);
    file.record(u"x"_s, headerOnly, plan);
    SqliteProbe o(file.path());
    EXPECT_EQ(o.rows("SELECT count(*) FROM SQL_HIST UNION ALL SELECT count(*) FROM STATS_HIST "
                     "UNION ALL SELECT count(*) FROM EXPLAN_HIST"),
              (QStringList{u"2"_s, u"0"_s, u"0"_s}));
    const QDateTime t = QDateTime::fromString(o.rows("SELECT TIMESTAMP FROM SQL_HIST").value(0),
                                              u"yyyy-MM-dd HH:mm:ss"_s);
    EXPECT_TRUE(t.isValid() && t >= before.addMSecs(-before.time().msec()) &&
                t <= QDateTime::currentDateTime());
}

TEST_F(HistoryFileTest, FailureInTheMiddleStoresNothingOfTheRun) {
    record();
    stats.setRows(1001);
    for (int r = 1; r <= 1000; ++r) {
        stats.setText(r, 0, QString::number(r));
        stats.setText(r, 1, QString::number(r * 2));
    }
    stats.setText(600, 0, u"abc"_s);  // not a statistic number
    EXPECT_THROW(record(), DbError);
    stats.setText(600, 0, u"600"_s);
    plan.setText(2, 0, QString());  // an empty operation is refused
    EXPECT_THROW(record(), DbError);
    SqliteProbe o(file.path());
    EXPECT_EQ(o.rows("SELECT count(*) FROM SQL_HIST UNION ALL SELECT count(*) FROM STATS_HIST"),
              (QStringList{u"1"_s, u"2"_s}));
}

TEST_F(HistoryFileTest, UnusableOrLockedFilesGiveTheEnginesErrorWithoutHanging) {
    record();
    {
        SqliteProbe o(file.path());
        o.exec("BEGIN EXCLUSIVE");
        const QString locked = test::errorOf([&] { file.check(); }).description();
        EXPECT_TRUE(locked.contains(u"locked"_s)) << locked.toStdString();
        EXPECT_THROW(record(), DbError);
        o.exec("ROLLBACK");
    }
    EXPECT_EQ(record().runNumber, 2);

    QFile junk(file.path());
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    const QString text = test::errorOf([&] { file.check(); }).description();
    EXPECT_TRUE(text.contains(u"not a database"_s)) << text.toStdString();
    EXPECT_THROW(record(), DbError);
    EXPECT_THROW(HistoryFile(dir.filePath(u"no/such/dir/h.mdb"_s)).create(), DbError);
}
