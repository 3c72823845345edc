#include "history/mdbproc.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace qv;

namespace {

// Another program's connection to the history file.
class Other {
  public:
    explicit Other(const QString& path) { sqlite3_open(path.toUtf8().constData(), &db_); }
    ~Other() { sqlite3_close(db_); }
    void exec(const char* sql) {
        char* msg = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, &msg), SQLITE_OK) << (msg ? msg : "");
    }
    QStringList rows(const char* sql) {
        QStringList out;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList cols;
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                cols << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
            out << cols.join(QLatin1Char('|'));
        }
        sqlite3_finalize(st);
        return out;
    }

  private:
    sqlite3* db_ = nullptr;
};

class HistoryFileTest : public ::testing::Test {
  protected:
    HistoryFileTest() : path(dir.filePath(QStringLiteral("quervhst.mdb"))) {
        resetMdbState();
        stats.setCols(3);
        stats.setRows(3);
        stats.setText(1, 0, QStringLiteral("5"));
        stats.setText(1, 1, QStringLiteral("4"));
        stats.setText(2, 0, QStringLiteral("7"));
        stats.setText(2, 1, QStringLiteral("0"));
        plan.setCols(4);
        plan.setRows(3);
        plan.setText(1, 0, QStringLiteral("SELECT STATEMENT"));
        plan.setText(2, 0, QStringLiteral(" TABLE ACCESS FULL (APP.EMP)"));
        plan.setText(2, 1, QStringLiteral("14"));
    }
    void create() {
        std::optional<DbError> err;
        ASSERT_EQ(createMdb(path, err), 1);
        ASSERT_FALSE(err);
    }
    void write(const QString& sql = QStringLiteral("select * from emp")) {
        writeHistory(path, sql, stats, plan);
    }

    QTemporaryDir dir;
    QString path;
    GridModel stats;
    GridModel plan;
};

}  // namespace

TEST_F(HistoryFileTest, CreatedFileChecksOutAndCarriesItsVersion) {
    EXPECT_EQ(checkMdb(path), 0);
    EXPECT_FALSE(QFile::exists(path)) << "checking does not create";
    create();
    EXPECT_EQ(checkMdb(path), 1);
    Other o(path);
    EXPECT_EQ(o.rows("PRAGMA user_version"), QStringList{QStringLiteral("1")});
}

TEST_F(HistoryFileTest, CheckFindsMissingTablesAndFieldsAndAcceptsExtras) {
    create();
    {
        Other o(path);
        o.exec("CREATE TABLE EXTRA (A)");
        o.exec("ALTER TABLE SQL_HIST ADD COLUMN NOTE TEXT");
    }
    EXPECT_EQ(checkMdb(path), 1);
    {
        Other o(path);
        o.exec("ALTER TABLE EXPLAN_HIST DROP COLUMN COST");
    }
    EXPECT_EQ(checkMdb(path), -3);
    {
        Other o(path);
        o.exec("DROP TABLE STATS_HIST");
        o.exec("CREATE TABLE stats_hist (NUM, STATS, VALUE)");  // names are case-sensitive
    }
    EXPECT_EQ(checkMdb(path), -2);
}

TEST_F(HistoryFileTest, OneRunIsOneRecordNumberedAfterTheHighest) {
    write();
    EXPECT_EQ(histCount(), 1);
    ASSERT_TRUE(QFile::exists(path)) << "a missing file is created by the write";
    write(QStringLiteral("select 2"));
    EXPECT_EQ(histCount(), 2);
    Other o(path);
    EXPECT_EQ(o.rows("SELECT NUM, SQL FROM SQL_HIST ORDER BY NUM"),
              (QStringList{QStringLiteral("1|select * from emp"), QStringLiteral("2|select 2")}));
    EXPECT_EQ(o.rows("SELECT NUM, STATS, VALUE, typeof(STATS) FROM STATS_HIST WHERE NUM = 2"),
              (QStringList{QStringLiteral("2|5|4|integer"), QStringLiteral("2|7|0|integer")}));
    EXPECT_EQ(
        o.rows("SELECT EXPLAN_NUM, OPERATION, CARDINALITY, COST FROM EXPLAN_HIST WHERE NUM = 1"),
        (QStringList{QStringLiteral("1|SELECT STATEMENT||"),
                     QStringLiteral("2| TABLE ACCESS FULL (APP.EMP)|14|")}));

    o.exec("DELETE FROM SQL_HIST WHERE NUM = 1");
    write();
    EXPECT_EQ(histCount(), 2) << "the count includes rows of others, after their changes";
    EXPECT_EQ(o.rows("SELECT max(NUM) FROM SQL_HIST"), QStringList{QStringLiteral("3")});
    o.exec("DELETE FROM SQL_HIST");
    write();
    EXPECT_EQ(o.rows("SELECT NUM FROM SQL_HIST"), QStringList{QStringLiteral("1")});
}

TEST_F(HistoryFileTest, HiddenGridsAddNoRows) {
    stats.setVisible(false);
    plan.setVisible(false);
    write();
    GridModel headerOnly;
    headerOnly.setRows(1);
    writeHistory(path, QStringLiteral("x"), headerOnly, plan);
    Other o(path);
    EXPECT_EQ(o.rows("SELECT count(*) FROM SQL_HIST"), QStringList{QStringLiteral("2")});
    EXPECT_EQ(o.rows("SELECT count(*) FROM STATS_HIST"), QStringList{QStringLiteral("0")});
    EXPECT_EQ(o.rows("SELECT count(*) FROM EXPLAN_HIST"), QStringList{QStringLiteral("0")});
}

TEST_F(HistoryFileTest, TimestampIsSqlitesOwnDateForm) {
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    write();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    Other o(path);
    const QString stamp = o.rows("SELECT TIMESTAMP FROM SQL_HIST").value(0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(stamp)
                    .hasMatch())
        << stamp.toStdString();
    const QDateTime t = QDateTime::fromString(stamp, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_TRUE(t >= before.addMSecs(-before.time().msec()) && t <= after);
    EXPECT_EQ(o.rows("SELECT datetime(TIMESTAMP) = TIMESTAMP FROM SQL_HIST"),
              QStringList{QStringLiteral("1")});
}

TEST_F(HistoryFileTest, FailureInTheMiddleStoresNothingOfTheRun) {
    write();
    stats.setRows(1001);
    for (int r = 1; r <= 1000; ++r) {
        stats.setText(r, 0, QString::number(r));
        stats.setText(r, 1, QString::number(r * 2));
    }
    stats.setText(600, 0, QStringLiteral("abc"));  // not a statistic number
    EXPECT_THROW(write(), DbError);
    EXPECT_EQ(histCount(), 1);
    Other o(path);
    EXPECT_EQ(o.rows("SELECT count(*) FROM SQL_HIST"), QStringList{QStringLiteral("1")});
    EXPECT_EQ(o.rows("SELECT count(*) FROM STATS_HIST"), QStringList{QStringLiteral("2")});

    stats.setText(600, 0, QStringLiteral("600"));
    plan.setText(2, 0, QString());  // an empty operation is refused
    EXPECT_THROW(write(), DbError);
    EXPECT_EQ(o.rows("SELECT count(*) FROM STATS_HIST"), QStringList{QStringLiteral("2")});
}

TEST_F(HistoryFileTest, DeletedFileStartsOverAtOne) {
    write();
    write();
    ASSERT_TRUE(QFile::remove(path));
    write();
    Other o(path);
    EXPECT_EQ(o.rows("SELECT NUM FROM SQL_HIST"), QStringList{QStringLiteral("1")});
    EXPECT_EQ(histCount(), 1);
}

TEST_F(HistoryFileTest, UnusableFilesGiveTheEnginesError) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    try {
        checkMdb(path);
        ADD_FAILURE() << "no error";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("not a database")))
            << e.description().toStdString();
    }
    EXPECT_THROW(write(), DbError);

    std::optional<DbError> err;
    EXPECT_THROW(createMdb(dir.filePath(QStringLiteral("no/such/dir/h.mdb")), err), DbError);
}

TEST_F(HistoryFileTest, FileLockedByAnotherProgramFailsInsteadOfHanging) {
    create();
    Other o(path);
    o.exec("BEGIN EXCLUSIVE");
    try {
        checkMdb(path);
        ADD_FAILURE() << "no error";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("locked")))
            << e.description().toStdString();
    }
    EXPECT_THROW(write(), DbError);
    o.exec("ROLLBACK");
    write();
    EXPECT_EQ(histCount(), 1);
}
