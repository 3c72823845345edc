#include "core/history/historyfile.h"
#include "support/checks.h"
#include "support/sqliteprobe.h"

#include <gtest/gtest.h>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace qv;
using test::SqliteProbe;

namespace {

// Fills the rows below the header row with `rows`, one list of cells each.
void fill(GridModel& g, int cols, const QList<QStringList>& rows) {
    g.setCols(cols);
    g.setRows(int(rows.size()) + 1);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            g.setText(r + 1, c, rows[r][c]);
}

class HistoryFileTest : public ::testing::Test {
  protected:
    HistoryFileTest() : file(dir.filePath(u"quervhst.mdb"_s)) {
        fill(stats, 3, {{u"5"_s, u"4"_s}, {u"7"_s, u"0"_s}});
        fill(plan, 4, {{u"SELECT STATEMENT"_s}, {u" TABLE ACCESS FULL (APP.EMP)"_s, u"14"_s}});
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
    ASSERT_TRUE(o.exec("CREATE TABLE EXTRA (A)") &&
                o.exec("ALTER TABLE SQL_HIST ADD COLUMN NOTE TEXT"))
        << o.error.toStdString();
    EXPECT_EQ(file.check(), HistoryFileState::Ready);
    o.exec("ALTER TABLE EXPLAN_HIST DROP COLUMN COST");
    EXPECT_EQ(file.check(), HistoryFileState::FieldMissing);
    o.exec("DROP TABLE STATS_HIST");
    o.exec("CREATE TABLE stats_hist (NUM, STATS, VALUE)");  // names are case-sensitive
    EXPECT_EQ(file.check(), HistoryFileState::TableMissing);
}

TEST_F(HistoryFileTest, RunsAreNumberedAfterTheHighestStoredOneAndCounted) {
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
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
    // The time in SQLite's own text form, so that its date functions read it.
    const QDateTime t = QDateTime::fromString(o.rows("SELECT TIMESTAMP FROM SQL_HIST").value(0),
                                              u"yyyy-MM-dd HH:mm:ss"_s);
    EXPECT_TRUE(t.isValid() && t >= before.addMSecs(-before.time().msec()) &&
                t <= QDateTime::currentDateTime());
    o.exec("DELETE FROM SQL_HIST WHERE NUM = 1");
    const HistoryFile::Recorded third = record();
    EXPECT_EQ(std::pair(third.runNumber, third.runCount), std::pair(3, 2))
        << "the count is the file's, after others' changes";
    o.exec("DELETE FROM SQL_HIST");
    EXPECT_EQ(record().runNumber, 1);
    ASSERT_TRUE(QFile::remove(file.path()));
    EXPECT_EQ(record().runNumber, 1) << "a deleted file is made again";
}

TEST_F(HistoryFileTest, HiddenGridsAddNoRowsAndAFailureStoresNothingOfTheRun) {
    stats.setVisible(false);
    plan.setVisible(false);
    record();
    stats.setVisible(true);
    plan.setVisible(true);
    stats.setText(2, 0, u"abc"_s);  // not a statistic number
    EXPECT_THROW(record(), DbError);
    stats.setText(2, 0, u"7"_s);
    plan.setText(2, 0, QString());  // an empty operation is refused, after the statistics
    EXPECT_THROW(record(), DbError);
    EXPECT_EQ(
        SqliteProbe(file.path())
            .rows("SELECT (SELECT count(*) FROM SQL_HIST), (SELECT count(*) FROM STATS_HIST), "
                  "(SELECT count(*) FROM EXPLAN_HIST)"),
        QStringList(u"1|0|0"_s));
}

TEST_F(HistoryFileTest, UnusableOrLockedFilesGiveTheEnginesErrorWithoutHanging) {
    record();
    {
        SqliteProbe o(file.path());
        o.exec("BEGIN EXCLUSIVE");
        EXPECT_TRUE(test::errorOf([&] { file.check(); }).description().contains(u"locked"_s));
        EXPECT_THROW(record(), DbError);
    }
    EXPECT_EQ(record().runNumber, 2) << "usable again once the other program lets go";
    QFile junk(file.path());
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    EXPECT_TRUE(test::errorOf([&] { file.check(); }).description().contains(u"not a database"_s));
    EXPECT_THROW(HistoryFile(dir.filePath(u"no/such/dir/h.mdb"_s)).create(), DbError);
}
