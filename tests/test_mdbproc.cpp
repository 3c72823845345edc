#include "history/mdbproc.h"
#include "support/sqliteprobe.h"

#include "support/dberror.h"

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
    HistoryFileTest() : path(dir.filePath(u"quervhst.mdb"_s)) {
        resetMdbState();
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
    int write(const QString& sql = u"select * from emp"_s) {
        return writeHistory(path, sql, stats, plan);
    }
    void writeJunk(const QString& file) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }

    QTemporaryDir dir;
    QString path;
    GridModel stats;
    GridModel plan;
};

}  // namespace

TEST_F(HistoryFileTest, CheckFindsMissingTablesAndFieldsAndAcceptsExtras) {
    EXPECT_EQ(checkMdb(path), 0);
    EXPECT_FALSE(QFile::exists(path)) << "checking does not create";
    std::optional<DbError> err;
    ASSERT_EQ(createMdb(path, err), 1);
    EXPECT_EQ(checkMdb(path), 1);
    SqliteProbe o(path);
    EXPECT_EQ(o.rows("PRAGMA user_version"), QStringList{u"1"_s});
    o.exec("CREATE TABLE EXTRA (A)");
    o.exec("ALTER TABLE SQL_HIST ADD COLUMN NOTE TEXT");
    EXPECT_EQ(checkMdb(path), 1);
    o.exec("ALTER TABLE EXPLAN_HIST DROP COLUMN COST");
    EXPECT_EQ(checkMdb(path), -3);
    o.exec("DROP TABLE STATS_HIST");
    o.exec("CREATE TABLE stats_hist (NUM, STATS, VALUE)");  // names are case-sensitive
    EXPECT_EQ(checkMdb(path), -2);
}

TEST_F(HistoryFileTest, RunsAreNumberedAfterTheHighestStoredOne) {
    EXPECT_EQ(write(), 1);
    EXPECT_EQ(histCount(), 1);
    EXPECT_EQ(write(u"select 2"_s), 2);
    SqliteProbe o(path);
    EXPECT_EQ(o.rows("SELECT NUM, SQL FROM SQL_HIST"),
              (QStringList{u"1|select * from emp"_s, u"2|select 2"_s}));
    EXPECT_EQ(o.rows("SELECT NUM, STATS, VALUE, typeof(STATS) FROM STATS_HIST WHERE NUM = 2"),
              (QStringList{u"2|5|4|integer"_s, u"2|7|0|integer"_s}));
    EXPECT_EQ(
        o.rows("SELECT EXPLAN_NUM, OPERATION, CARDINALITY, COST FROM EXPLAN_HIST WHERE NUM = 1"),
        (QStringList{u"1|SELECT STATEMENT||"_s, u"2| TABLE ACCESS FULL (APP.EMP)|14|"_s}));
    o.exec("DELETE FROM SQL_HIST WHERE NUM = 1");
    EXPECT_EQ(write(), 3);
    EXPECT_EQ(histCount(), 2) << "the count is the file's, after others' changes";
    o.exec("DELETE FROM SQL_HIST");
    EXPECT_EQ(write(), 1);
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(write(), 1) << "a deleted file is made again";
}

TEST_F(HistoryFileTest, HiddenGridsAddNoRowsAndTheTimeIsSqlitesForm) {
    stats.setVisible(false);
    plan.setVisible(false);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    write();
    GridModel headerOnly;
    headerOnly.setRows(1);
    writeHistory(path, u"x"_s, headerOnly, plan);
    SqliteProbe o(path);
    EXPECT_EQ(o.rows("SELECT count(*) FROM SQL_HIST UNION ALL SELECT count(*) FROM STATS_HIST "
                     "UNION ALL SELECT count(*) FROM EXPLAN_HIST"),
              (QStringList{u"2"_s, u"0"_s, u"0"_s}));
    EXPECT_EQ(o.rows("SELECT datetime(TIMESTAMP) = TIMESTAMP FROM SQL_HIST"),
              (QStringList{u"1"_s, u"1"_s}));
    const QDateTime t = QDateTime::fromString(o.rows("SELECT TIMESTAMP FROM SQL_HIST").value(0),
                                              u"yyyy-MM-dd HH:mm:ss"_s);
    EXPECT_TRUE(t.isValid() && t >= before.addMSecs(-before.time().msec()) &&
                t <= QDateTime::currentDateTime());
}

TEST_F(HistoryFileTest, FailureInTheMiddleStoresNothingOfTheRun) {
    write();
    stats.setRows(1001);
    for (int r = 1; r <= 1000; ++r) {
        stats.setText(r, 0, QString::number(r));
        stats.setText(r, 1, QString::number(r * 2));
    }
    stats.setText(600, 0, u"abc"_s);  // not a statistic number
    EXPECT_THROW(write(), DbError);
    stats.setText(600, 0, u"600"_s);
    plan.setText(2, 0, QString());  // an empty operation is refused
    EXPECT_THROW(write(), DbError);
    EXPECT_EQ(histCount(), 1);
    SqliteProbe o(path);
    EXPECT_EQ(o.rows("SELECT count(*) FROM SQL_HIST UNION ALL SELECT count(*) FROM STATS_HIST"),
              (QStringList{u"1"_s, u"2"_s}));
}

TEST_F(HistoryFileTest, UnusableFilesGiveTheEnginesError) {
    writeJunk(path);
    const QString junk = test::errorOf([&] { checkMdb(path); }).description();
    EXPECT_TRUE(junk.contains(u"not a database"_s)) << junk.toStdString();
    EXPECT_THROW(write(), DbError);
    std::optional<DbError> err;
    EXPECT_THROW(createMdb(dir.filePath(u"no/such/dir/h.mdb"_s), err), DbError);
}

TEST_F(HistoryFileTest, FileLockedByAnotherProgramFailsInsteadOfHanging) {
    write();
    SqliteProbe o(path);
    o.exec("BEGIN EXCLUSIVE");
    const QString locked = test::errorOf([&] { checkMdb(path); }).description();
    EXPECT_TRUE(locked.contains(u"locked"_s)) << locked.toStdString();
    EXPECT_THROW(write(), DbError);
    o.exec("ROLLBACK");
    EXPECT_EQ(write(), 2);
}
