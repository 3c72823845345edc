#include "core/history/statementring.h"
#include "core/tuning/gridactions.h"
#include "core/tuning/sessionstage.h"
#include "core/window/querywindowmodel.h"
#include "support/oracledriver.h"
#include "support/tempprogram.h"
#include "support/testport.h"

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace qv;

// The sessions of a run on an Oracle 19c server as its documentation has them, through the
// scripted Oracle driver: which session the statistics are read for, where, and what the query
// session is set to; how values reach the server and come back.
namespace {

const QString kTenth = u"select ename from emp where deptno = 10"_s;
const QString kStats =
    u"SELECT *FROM V$SESSTAT A, V$STATNAME B WHERE A.STATISTIC# = B.STATISTIC# and a.sid='137'"_s;

class OracleSession : public test::OracleDriverTest {
  protected:
    QJsonObject run(const QString& scenario, const QString& sql = kTenth,
                    const QStringList& options = {u"--no-plan"_s}) {
        return cli(scenario, options, sql);
    }
    static QJsonArray statRows(const QJsonObject& run) {
        return run[u"stats"_s][u"rows"_s].toArray();
    }
    static QString statsLine(const QJsonObject& run) {
        return run[u"messages"_s][u"stats"_s].toString();
    }
};

// A window logged in to `scenario` through whichever Oracle driver is installed.
struct OracleWindow {
    explicit OracleWindow(const QString& scenario) {
        tmp.settings().set(&Settings::planTable, u"PLAN_TABLE"_s);
        model.load();
        port.logins.append(LoginValues{scenario, u"scott"_s, u"tiger"_s});
        model.connection().logIn();
        EXPECT_TRUE(model.connection().waitForAttempt(30'000));
    }
    // The statement ring is saved on a thread of its own: the program's files go after it.
    ~OracleWindow() {
        StatementRing& ring = tmp.program().statementRing();
        if (ring.saving())
            QSignalSpy(&ring, &StatementRing::savingEnded).wait(30'000);
    }
    void execute(const QString& sql) {
        port.sql = sql;
        model.execute();
        EXPECT_TRUE(model.waitForRun(30'000));
    }
    test::TempProgram tmp;
    test::TestPort port;
    QueryWindowModel model{tmp.program(), port};
};

}  // namespace

// A PLUSTRACE user may not read V$SESSION; V$SESSION gives every session of SYS (AUDSID 0). The
// session's own SYS_CONTEXT names it, and its statistics are read.
TEST_F(OracleSession, TheStatisticsAreTheQuerySessionsWhatV$SessionGives) {
    for (const QString& scenario : {u"plustrace_user"_s, u"sys_session"_s}) {
        const QJsonObject r = run(scenario);
        EXPECT_EQ(statsLine(r), QString()) << scenario.toStdString();
        EXPECT_TRUE(statRows(r).contains(QJsonArray{u"8"_s, u"4"_s, u"user calls"_s}));
        EXPECT_EQ(statements().filter(u"SYS_CONTEXT('USERENV','SID')"_s),
                  QStringList{u"c1 "_s + kOwnSidQuery});
        QFile::remove(logPath());
    }
}

// Read in a CDB root, V$STATNAME names a statistic once per container: each is shown once.
TEST_F(OracleSession, AStatisticReadTwiceIsShownOnce) {
    const QJsonArray rows = statRows(run(u"sys_session"_s));
    QStringList numbers;
    for (const QJsonValue& row : rows)
        numbers << row[0].toString();
    EXPECT_EQ(numbers.size(), 10);
    numbers.removeDuplicates();
    EXPECT_EQ(numbers.size(), 10);
}

TEST_F(OracleSession, ALostConnectionIsToldAsTheServerGaveIt) {
    EXPECT_EQ(statsLine(run(u"lost_connection"_s)),
              u"[Oracle][ODBC][Ora]ORA-03113: end-of-file on communication channel"_s);
}

// On RAC the statistics session connects again until it is on the query session's instance,
// where SID 137 is the query session, and reads the statistics and the cursor's figures there.
TEST_F(OracleSession, TheStatisticsSessionJoinsTheQuerySessionsInstance) {
    const QJsonObject r = run(u"two_instances"_s);
    EXPECT_TRUE(statRows(r).contains(QJsonArray{u"14"_s, u"14"_s, u"session logical reads"_s}));
    EXPECT_EQ(
        statements().filter(u"V$SESS"_s),
        (QStringList{
            u"c3 "_s + kStats, u"c3 "_s + kStats,
            u"c3 SELECT PREV_SQL_ID, PREV_CHILD_NUMBER, PREV_SQL_ADDR FROM V$SESSION WHERE SID = "
            u"137"_s}));
    EXPECT_TRUE(calls().contains(u"c2 SQLDisconnect"_s));
}

TEST_F(OracleSession, StatisticsOfAnotherInstanceAreNeverShown) {
    const QJsonObject r = run(u"instances_apart"_s);
    EXPECT_EQ(std::pair(statsLine(r), r[u"stats"_s][u"visible"_s].toBool()),
              std::pair(kMsgStatsOnOtherInstance, false));
    EXPECT_EQ(statements().filter(u"V$SESS"_s), QStringList());
    EXPECT_EQ(calls().filter(u"SQLDriverConnectW"_s).size(), 2 + kInstanceReconnects);
}

// A CLOB before the column shown is passed by: its LOB is never fetched into the statistics.
TEST_F(OracleSession, AColumnNotShownIsNeverRead) {
    run(u"clob_column"_s, u"select doc, title from quervin_docs order by title"_s);
    const QString handle = calls().filter(u"quervin_docs"_s).value(0).section(u' ', 0, 0);
    const QStringList read = calls().filter(handle + u" SQLGetData"_s);
    EXPECT_EQ(read.filter(u"SQLGetData 1 "_s), QStringList());
    EXPECT_EQ(read.filter(u"SQLGetData 2 "_s).size(), 3);
}

// A DATE reaches the server as DATE, with its time of day; a TIMESTAMP goes with its fraction.
TEST_F(OracleSession, DateAndTimestampVariablesKeepTheirType) {
    const QString sql = u"select ename, hiredate from emp where hiredate >= :d"_s;
    const std::pair<QString, QString> cases[] = {
        {u"DATE"_s, u"1981-09-28 12:30:00"_s},
        {u"TIMESTAMP"_s, u"1981-09-28 12:30:00.25"_s},
    };
    QStringList bound;
    for (const auto& [type, value] : cases)
        run(u"date_bind"_s, sql,
            {u"--no-plan"_s, u"--bind"_s, u"d="_s + value, u"--bind-type"_s, u"d="_s + type});
    for (const QString& line : calls().filter(u"SQLBindParameter"_s))
        bound << line.section(u' ', 2);
    EXPECT_EQ(bound.value(0),
              u"1 SQL_C_TYPE_TIMESTAMP SQL_TYPE_TIMESTAMP size=19 digits=0 "
              u"value=1981-09-28 12:30:00 as DATE"_s);
    EXPECT_TRUE(
        bound.value(1).startsWith(u"1 SQL_C_TYPE_TIMESTAMP SQL_TYPE_TIMESTAMP size=22 "
                                  u"digits=2 value=1981-09-28 12:30:00.250000000"_s))
        << bound.value(1).toStdString();
}

TEST_F(OracleSession, ALoginWarningIsPrinted) {
    EXPECT_EQ(
        run(u"plustrace_user"_s)[u"warnings"_s].toArray(),
        QJsonArray{u"[Oracle][ODBC][Ora]ORA-28002: the password will expire within 7 days"_s});
}

// Without a driver named, the Oracle driver installed (here the scripted one) is used.
TEST_F(OracleSession, TheInstalledOracleDriverServesWhenNoneIsNamed) {
    EXPECT_EQ(resultRows(cli(u"default_session"_s, {u"--no-plan"_s}, kTenth, false)).size(), 3);
    EXPECT_EQ(calls().filter(u"SQLDriverConnectW Driver={Scripted Oracle 19};DBQ="_s).size(), 2);
}

// The goal chosen is set before a plan is explained without a run; chosen back to the system
// default, the session gets the goal it had, as V$PARAMETER gave it, not Oracle's default.
TEST_F(OracleSession, TheOptimizerGoalShownIsTheOneInForce) {
    OracleWindow w(u"sys_session"_s);
    w.tmp.settings().change([](Settings& s) {
        s.runQuery = false;
        s.overrideOptimizer = true;
        s.optimizerGoal = u"FIRST_ROWS_10"_s;
    });
    w.execute(
        u"select /*+ FULL(e) FULL(x) */ e.ename, d.dname from emp e, dept d where "
        u"d.deptno = e.deptno and e.sal > 2900"_s);
    w.tmp.settings().change([](Settings& s) {
        s.runQuery = true;
        s.showPlan = false;
        s.overrideOptimizer = false;
    });
    w.execute(kTenth);
    QStringList goals = statements().filter(QRegularExpression(u"OPTIMIZER_|PARAMETER|EXPLAIN"_s));
    goals.replaceInStrings(QRegularExpression(u" FOR .*"_s), QString());
    EXPECT_EQ(goals,
              (QStringList{u"c1 "_s + kOwnGoalQuery,
                           u"c1 ALTER SESSION SET OPTIMIZER_GOAL = FIRST_ROWS_10"_s,
                           u"c1 ALTER SESSION SET OPTIMIZER_MODE = FIRST_ROWS_10"_s,
                           u"c1 EXPLAIN PLAN SET STATEMENT_ID = 'QUERVIN'  INTO  PLAN_TABLE"_s,
                           u"c1 ALTER SESSION SET OPTIMIZER_GOAL = FIRST_ROWS_100"_s,
                           u"c1 ALTER SESSION SET OPTIMIZER_MODE = FIRST_ROWS_100"_s}));
}

// A double-click makes a condition Oracle takes: a DATE through TO_DATE, a TIMESTAMP as its
// literal; a computed column has no name to compare.
TEST_F(OracleSession, ConditionsFromCellsAreOraclesOwnLiterals) {
    OracleWindow w(u"date_bind"_s);
    w.tmp.settings().set(&Settings::showPlan, false);
    w.execute(
        u"select hiredate, changed_at, count(*) from emp_history group by hiredate, "
        u"changed_at"_s);
    const std::pair<int, QString> cases[] = {
        {1, u"HIREDATE = TO_DATE('1981-09-28 00:00:00','YYYY-MM-DD HH24:MI:SS')"_s},
        {2, u"CHANGED_AT = TIMESTAMP '2024-05-14 10:21:07.123456'"_s},
        {3, QString()},
    };
    for (const auto& [col, condition] : cases) {
        w.port.sql.clear();
        w.port.caret = w.port.selLength = 0;
        w.model.insertConditionFromCell(1, col);
        EXPECT_EQ(w.port.sql, condition) << w.port.events.join(u'|').toStdString();
    }
    EXPECT_EQ(w.port.events.last(), u"status "_s + kMsgCellExpression);
}
