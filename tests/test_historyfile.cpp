#include "core/history/historyfile.h"
#include "support/checks.h"
#include "support/sqliteprobe.h"
#include "support/testrunwindow.h"

#include "core/history/historyplace.h"
#include "core/history/recordedrun.h"
#include "core/history/runlist.h"

#include <gtest/gtest.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/resource.h>

#include <csignal>
#endif

using namespace Qt::StringLiterals;
using namespace qv;
using test::SqliteProbe;

namespace {

class HistoryFileTest : public ::testing::Test {
  protected:
    HistoryFileTest()
        : file(dir.filePath(u"quervhst.mdb"_s)),
          run(test::runRecord(
              u"select * from emp"_s, {{5, QString(), 4}, {7, QString(), 0}},
              {{0, u"SELECT STATEMENT"_s}, {1, u"TABLE ACCESS FULL (APP.EMP)"_s, 14}})) {}
    HistoryFile::Recorded record(const QString& sql = u"select * from emp"_s) {
        run.sql = sql;
        return file.record(run);
    }

    QTemporaryDir dir;
    HistoryFile file;
    RunRecord run;
};

}  // namespace

TEST_F(HistoryFileTest, CheckFindsMissingTablesAndFieldsAndAcceptsExtras) {
    EXPECT_EQ(file.check(), HistoryFileState::Missing);
    EXPECT_FALSE(QFile::exists(file.path())) << "checking does not create";
    file.create();
    EXPECT_EQ(file.check(), HistoryFileState::Ready);
    SqliteProbe o(file.path());
    EXPECT_EQ(o.rows("PRAGMA user_version"), QStringList{QString::number(kHistorySchemaVersion)});
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
    // Past the last run number nothing is written, and the message says why.
    o.exec("UPDATE SQL_HIST SET NUM = 2147483647 WHERE NUM = 3");
    try {
        record();
        ADD_FAILURE() << "recorded past the last run number";
    } catch (const DbError& e) {
        EXPECT_EQ(e.description(),
                  u"履歴ファイルの実行番号が上限（2147483647）に達したため、記録で"
                  u"きません。別の履歴ファイルを使ってください。"_s);
    }
    EXPECT_EQ(o.rows("SELECT count(*) FROM SQL_HIST"), QStringList(u"2"_s));
    o.exec("DELETE FROM SQL_HIST");
    EXPECT_EQ(record().runNumber, 1);
    ASSERT_TRUE(QFile::remove(file.path()));
    EXPECT_EQ(record().runNumber, 1) << "a deleted file is made again";
}

TEST_F(HistoryFileTest, StepsNotDoneAddNoRowsAndAFailureStoresNothingOfTheRun) {
    const RunRecord done = run;
    run.statisticsStep.outcome = StepOutcome::Failed;
    run.planStep.outcome = StepOutcome::Skipped;
    record();
    run = done;
    run.plan[1].depth = 0;
    run.plan[1].operation.clear();  // an empty operation is refused, after the statistics
    EXPECT_THROW(record(), DbError);
    EXPECT_EQ(
        SqliteProbe(file.path())
            .rows("SELECT (SELECT count(*) FROM SQL_HIST), (SELECT count(*) FROM STATS_HIST), "
                  "(SELECT count(*) FROM EXPLAN_HIST)"),
        QStringList(u"1|0|0"_s));
}

TEST_F(HistoryFileTest, UnusableOrLockedFilesGiveTheEnginesErrorWithoutHanging) {
    record();
    file.setBusyWait(200);
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

// A file of the first layout, as earlier versions of the program made it, is brought to the
// current one on its next write with nothing lost; one that cannot be is left as it was.
TEST_F(HistoryFileTest, AnOlderFileIsUpgradedOnItsFirstWriteWithoutLoss) {
    const char* const firstLayout =
        "CREATE TABLE SQL_HIST (NUM INTEGER, TIMESTAMP TEXT, SQL TEXT);"
        "CREATE TABLE STATS_HIST (NUM INTEGER, STATS INTEGER, VALUE TEXT);"
        "CREATE TABLE EXPLAN_HIST (NUM INTEGER, EXPLAN_NUM INTEGER, OPERATION TEXT, "
        "CARDINALITY TEXT, COST TEXT, BYTE TEXT);"
        "INSERT INTO SQL_HIST VALUES (1, '2024-01-02 03:04:05', 'select 1');"
        "INSERT INTO STATS_HIST VALUES (1, 5, '4');"
        "PRAGMA user_version = 1;";
    SqliteProbe(file.path()).exec(firstLayout);
    run.service = u"sqlite:sample"_s;
    run.binds = {{u"city"_s, BindType::Varchar2, u"札幌"_s}, {u"1"_s, BindType::Null, {}}};
    run.plan[1].parentId = 0;
    run.plan[1].filterPredicates = u"\"CITY\"=:CITY"_s;
    run.plan[1].actuals = PlanLineActuals{1, 14, 7, std::nullopt, std::nullopt};
    run.planHash = 1234567;
    run.rowSourceStatistics = true;
    run.result.rowCount = 42;
    run.result.elapsedMs = 17;
    run.result.stopped = true;
    run.result.error = u"ORA-01013"_s;
    EXPECT_EQ(record().runNumber, 2);
    EXPECT_EQ(file.schemaVersion(), kHistorySchemaVersion);
    const auto old = file.run(1);
    ASSERT_TRUE(old);
    EXPECT_FALSE(old->summary.facts);
    EXPECT_EQ(std::tuple(old->statistics.size(), old->statistics[0].name, old->statistics[0].value),
              std::tuple(qsizetype(1), u"#5"_s, QVariant(4LL)));
    const auto now = file.run(2);
    ASSERT_TRUE(now && now->summary.facts);
    EXPECT_EQ(std::tuple(now->summary.facts->rowCount, now->summary.facts->elapsedMs,
                         now->summary.facts->end, now->summary.facts->error),
              std::tuple(std::optional<int64_t>(42), std::optional<int64_t>(17), RunEnd::Stopped,
                         u"ORA-01013"_s));
    EXPECT_EQ(std::pair(now->plan.size(), now->plan[1].cardinality),
              std::pair(qsizetype(2), u"14"_s));
    // What version 3 keeps: the binds, each plan line's id, predicates and figures, the hash.
    EXPECT_EQ(now->binds, run.binds);
    const RecordedPlanLine& line = now->plan[1];
    EXPECT_EQ(std::tuple(line.lineId, line.parentId, line.filterPredicates, line.accessPredicates),
              std::tuple(std::optional<int64_t>(1), std::optional<int64_t>(0), u"\"CITY\"=:CITY"_s,
                         QString()));
    ASSERT_TRUE(line.actuals && !now->plan[0].actuals);
    EXPECT_EQ(std::tuple(line.actuals->starts, line.actuals->rows, line.actuals->buffers,
                         line.actuals->reads),
              std::tuple(std::optional<int64_t>(1), std::optional<int64_t>(14),
                         std::optional<int64_t>(7), std::optional<int64_t>()));
    EXPECT_EQ(now->planHash, std::optional<int64_t>(1234567));
    // Version 4: whether the run counted row source statistics; not known of an older run.
    EXPECT_EQ(std::pair(old->rowSourceStatistics, now->rowSourceStatistics),
              std::pair(std::optional<bool>(), std::optional<bool>(true)));

    // A file that already has a table of the new name in another shape cannot be upgraded.
    QFile::remove(file.path());
    SqliteProbe(file.path()).exec(QByteArray(firstLayout).append("CREATE TABLE RUN_HIST (X);"));
    EXPECT_THROW(record(), DbError);
    SqliteProbe o(file.path());
    EXPECT_EQ(o.rows("SELECT (SELECT count(*) FROM SQL_HIST), user_version FROM "
                     "pragma_user_version"),
              QStringList{u"1|1"_s});
}

// The list, newest first, filtered by statement text; a run's previous run of the same text.
TEST_F(HistoryFileTest, RunsAreListedNewestFirstAndFoundByText) {
    for (const char* sql : {"select * from emp", "select * from dept",
                            "SELECT * FROM EMP\n"
                            "where 1=1",
                            "select * from emp"})
        record(QString::fromLatin1(sql));
    QList<int32_t> numbers;
    for (const RunSummary& r : file.runs(u"from emp"_s))
        numbers << r.number;
    EXPECT_EQ(numbers, (QList<int32_t>{4, 3, 1}));
    EXPECT_EQ(file.runs().at(1).oneLine(), u"SELECT * FROM EMP where 1=1"_s);
    EXPECT_EQ(file.previousRunOf(4), std::optional<int32_t>(1));
    EXPECT_EQ(file.previousRunOf(1), std::nullopt);
    EXPECT_EQ(file.run(99), std::nullopt);
}

// The filter's rule: letters of either case alike, blanks and line breaks as one blank.
// A program installed under /usr or /opt keeps its history in the user's data folder; one in
// a build or unpacked folder (even one named usr or opt) keeps it beside itself.
TEST(HistoryPlace, FoldersUnderUsrOrOptArePackageManaged) {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/usr", "/opt/quervin/bin", "/opt/"})
        EXPECT_TRUE(isPackageManagedFolder(QString::fromLatin1(dir))) << dir;
    for (const char* dir : {"/home/dev/build/bin", "/tmp/root/usr/bin", "/usrlocal/bin",
                            "/usr/../home/dev/bin", "/optimal", "usr/bin", ""})
        EXPECT_FALSE(isPackageManagedFolder(QString::fromLatin1(dir))) << dir;
#ifdef Q_OS_UNIX
    // A link elsewhere into /usr is taken where it leads.
    QTemporaryDir tmp;
    const QString link = tmp.filePath(u"bin"_s);
    ASSERT_TRUE(QFile::link(u"/usr/bin"_s, link));
    EXPECT_TRUE(isPackageManagedFolder(link));
    EXPECT_FALSE(isPackageManagedFolder(tmp.path()));
#endif
}

TEST(StatementFilter, CaseAndBlanksAreAlike) {
    const QByteArray sql = "SELECT *\r\n  FROM emp\twhere  ID = 42 -- 東京";
    for (const char* text : {"from emp where id", "* FROM", " emp ", "42 -- 東京", ""})
        EXPECT_TRUE(statementContains(sql, text)) << text;
    for (const char* text : {"fromemp", "id = 421", "東京都"})
        EXPECT_FALSE(statementContains(sql, text)) << text;
}

// A long list reads where its runs are in one pass and each page when it is shown; a run
// deleted meanwhile leaves its row empty; runs recorded since come in at the top.
TEST_F(HistoryFileTest, ListOfManyRunsReadsPagesAndFollowsTheFile) {
    for (int i = 1; i <= 5; ++i)
        record(i % 2 ? u"select *\nfrom emp"_s : u"select * from dept"_s);
    EXPECT_EQ(file.runRefs(u"* FROM EMP"_s).size(), 3);
    RunList list;
    list.load(file.path(), u"from"_s);
    EXPECT_EQ(list.size(), 5);
    SqliteProbe(file.path()).exec("DELETE FROM SQL_HIST WHERE NUM = 4");
    QList<int32_t> read;
    for (qsizetype row = 0; row < list.size(); ++row)
        read << (list.at(row) ? list.at(row)->number : 0);
    EXPECT_EQ(read, (QList<int32_t>{5, 0, 3, 2, 1}));
    EXPECT_EQ(list.at(2)->oneLine(), u"select * from emp"_s);
    EXPECT_EQ(list.refresh(), std::nullopt) << "a run has gone";
    record();
    record(u"select 1 from dual"_s);
    EXPECT_EQ(list.refresh(), std::optional<qsizetype>(2));
    EXPECT_EQ(list.numberAt(0), 7);
}

namespace {

// Another program recording `count` runs labelled `label` into `path`; started, not waited for.
std::unique_ptr<QProcess> recorder(const QString& path, const QString& label, int count) {
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral(STORAGE_HELPER), {u"record"_s, path, label, QString::number(count)});
    EXPECT_TRUE(p->waitForStarted()) << p->errorString().toStdString();
    return p;
}

QByteArray contentsOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

// Ten programs start recording into a file that is not there yet: one makes it, all use it, and
// every run of every program is stored under a number of its own.
TEST_F(HistoryFileTest, TenProgramsRecordingAtOnceStoreEveryRun) {
    std::vector<std::unique_ptr<QProcess>> programs;
    for (int i = 0; i < 10; ++i)
        programs.push_back(recorder(file.path(), u"P"_s + QString::number(i), 20));
    for (auto& p : programs) {
        ASSERT_TRUE(p->waitForFinished(120'000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    EXPECT_EQ(SqliteProbe(file.path())
                  .rows("SELECT count(*), count(DISTINCT NUM), min(NUM), max(NUM), "
                        "count(DISTINCT SQL), (SELECT count(*) FROM STATS_HIST) FROM SQL_HIST"),
              QStringList(u"200|200|1|200|200|200"_s));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList(u"quervhst.mdb"_s))
        << "nothing left of the others' making";
}

// A file left empty or with only some of its tables (as a full disk or a crash left it before
// a file was made all at once) is completed and used; a full disk leaves no file at all.
TEST_F(HistoryFileTest, AFileCutShortIsCompletedAndAFullDiskLeavesNone) {
    QFile empty(file.path());
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_EQ(file.check(), HistoryFileState::Incomplete);
    EXPECT_EQ(record().runNumber, 1);
    EXPECT_EQ(std::pair(file.check(), file.schemaVersion()),
              std::pair(HistoryFileState::Ready, kHistorySchemaVersion));

    ASSERT_TRUE(QFile::remove(file.path()));
    SqliteProbe(file.path())
        .exec(
            "CREATE TABLE SQL_HIST (NUM INTEGER, TIMESTAMP TEXT, SQL TEXT);"
            "CREATE TABLE STATS_HIST (NUM INTEGER, STATS INTEGER, VALUE TEXT);");
    EXPECT_EQ(file.check(), HistoryFileState::Incomplete);
    file.create();
    EXPECT_EQ(record().runNumber, 1);
    EXPECT_EQ(file.check(), HistoryFileState::Ready);

#ifdef Q_OS_UNIX
    // A disk that takes 8 KB more, for a program that is told so rather than stopped.
    ASSERT_TRUE(QFile::remove(file.path()));
    QProcess full;
    full.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    full.start(QStringLiteral(STORAGE_HELPER), {u"record"_s, file.path(), u"full"_s, u"1"_s});
    ASSERT_TRUE(full.waitForFinished(30'000));
    EXPECT_EQ(full.exitCode(), 3) << "the run was not stored, and the program says so";
    EXPECT_FALSE(full.readAllStandardError().isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty()) << "no file, whole or not";
    EXPECT_EQ(record().runNumber, 1) << "with room again, recording goes on";
#endif
}

// A file a later version of the program wrote is not changed by this one in any way.
TEST_F(HistoryFileTest, AFileOfALaterVersionIsNeverWrittenTo) {
    record();
    SqliteProbe(file.path()).exec("PRAGMA user_version = 99");
    const QByteArray before = contentsOf(file.path());
    EXPECT_EQ(file.check(), HistoryFileState::LaterVersion);
    EXPECT_EQ(test::errorOf([&] { record(); }).description(), file.laterVersionMessage());
    EXPECT_THROW(file.create(), DbError);
    EXPECT_EQ(contentsOf(file.path()), before);
    EXPECT_EQ(file.runs().size(), 1) << "it is still read";
}
