#include "core/odbc/odbcdatabase.h"
#include "core/odbc/odbcdrivermanager.h"
#include "support/oracledriver.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <thread>

using namespace Qt::StringLiterals;
using namespace qv;

// The program's ODBC layer and quervin-cli against the scripted Oracle driver: unixODBC loads it
// from the tests' odbcinst.ini as it loads Oracle's, it answers from the scenarios in
// tests/oracledriver/scenarios and logs every call it gets.
namespace {

const QString kDefaultSql =
    u"select /*+ FULL(e) FULL(x) */ e.ename, d.dname from emp e, dept d where d.deptno = e.deptno "
    u"and e.sal > 2900"_s;

using OracleDriverTest = test::OracleDriverTest;

// The text of statement `index` of `scenario`, as its file writes it.
QString scenarioSql(const QString& scenario, int index = 0) {
    QFile f(qEnvironmentVariable("QUERVIN_ORACLE_SCENARIOS") + u'/' + scenario + u".json"_s);
    return f.open(QIODevice::ReadOnly)
               ? QJsonDocument::fromJson(f.readAll())[u"statements"_s][index][u"sql"_s].toString()
               : QString();
}

}  // namespace

TEST_F(OracleDriverTest, UnixOdbcLoadsTheDriverRegisteredInTheTestsOwnOdbcinstIni) {
    EXPECT_EQ(installedOdbcDrivers(), QStringList{u"Scripted Oracle 19"_s});
    {
        const auto query = open(u"default_session"_s);
        OdbcDatabase stats;  // a password in braces is masked whole
        stats.open(u"Driver={Scripted Oracle 19};DBQ=default_session;UID=scott;PWD={ti;g}}er};"_s);
        const QString sid = u"SELECT SYS_CONTEXT('USERENV','SID') FROM DUAL"_s;
        EXPECT_EQ(column(*query, sid) + column(stats, sid), (QVariantList{u"137"_s, u"142"_s}));
    }
    const QStringList log = calls();
    EXPECT_EQ(log.mid(0, 3), (QStringList{u"c1 SQLSetConnectAttr SQL_ATTR_LOGIN_TIMEOUT=30"_s,
                                          u"c1 SQLSetConnectAttr SQL_ATTR_ANSI_APP=0"_s,
                                          u"c1 SQLDriverConnectW Driver={Scripted Oracle 19};"
                                          u"DBQ=default_session;UID=scott;PWD=***;"_s}));
    EXPECT_FALSE(log.join(u'\n').contains(u"tiger"_s) || log.join(u'\n').contains(u"ti;g"_s));
    EXPECT_TRUE(
        log.contains(u"c2 SQLDriverConnectW Driver={Scripted Oracle 19};DBQ=default_session;"
                     u"UID=scott;PWD=***;"_s));
    EXPECT_EQ(log.filter(u" SQLDisconnect"_s),
              (QStringList{u"c2 SQLDisconnect"_s, u"c1 SQLDisconnect"_s}));
    // An unknown service is Oracle's ORA-12154.
    OdbcDatabase db;
    try {
        db.open(u"Driver={Scripted Oracle 19};DBQ=NOSUCH;UID=scott;PWD=tiger;"_s);
        ADD_FAILURE() << "connected to a service no scenario names";
    } catch (const DbError& e) {
        EXPECT_EQ(e.records().value(0).nativeError, 12154) << e.description().toStdString();
    }
}

TEST_F(OracleDriverTest, ColumnsAreDescribedAsOraclesDriverDescribesTheirTypes) {
    const auto db = open(u"default_session"_s);
    auto rs =
        db->openRecordset(u"SELECT * FROM PLAN_TABLE WHERE STATEMENT_ID = 'QUERVIN' ORDER BY ID"_s);
    const std::pair<int, FieldType> expected[] = {
        {0, FieldType::Text},     {1, FieldType::Double},    {2, FieldType::Timestamp},
        {14, FieldType::Decimal}, {25, FieldType::LongText}, {35, FieldType::LongText}};
    for (const auto& [index, type] : expected)
        EXPECT_EQ(rs->field(index).type, type) << rs->field(index).name.toStdString();
    EXPECT_EQ(rs->value(2).toString() + u'|' + rs->value(14).toString(),
              u"2024-05-14 10:21:07|0"_s);
    rs = db->openRecordset(
        u"SELECT PREV_SQL_ID, PREV_CHILD_NUMBER, PREV_SQL_ADDR FROM V$SESSION WHERE SID = 137"_s);
    EXPECT_EQ(rs->field(2).type, FieldType::VarBinary);
    EXPECT_EQ(rs->value(2), QVariant(QByteArray::fromHex("00000000A3F1C2D8")));
    EXPECT_EQ(rs->value(1), QVariant(0.0)) << "an unconstrained NUMBER is a SQL_DOUBLE";
    rs = db->openRecordset(
        u"SELECT *FROM V$SESSTAT A, V$STATNAME B WHERE A.STATISTIC# = B.STATISTIC# and a.sid='137'"_s);
    QStringList names;
    for (int i = 0; i < rs->fieldCount(); ++i)
        names << rs->field(i).name;
    EXPECT_EQ(names.join(u','),
              u"SID,STATISTIC#,VALUE,CON_ID,STATISTIC#,NAME,CLASS,STAT_ID,"
              u"DISPLAY_NAME,CON_ID"_s);
}

TEST_F(OracleDriverTest, ErrorsAndWarningsCarryOraclesStateNumberAndText) {
    const auto db = open(u"default_session"_s);
    try {
        db->openRecordset(u"select * from no_such_table"_s);
        ADD_FAILURE() << "no error";
    } catch (const DbError& e) {
        ASSERT_EQ(e.records().size(), 1);
        const DiagRecord& r = e.records().first();
        EXPECT_EQ(std::tuple(r.sqlState, r.nativeError, r.message),
                  std::tuple(u"42S02"_s, 942,
                             u"[Oracle][ODBC][Ora]ORA-00942: table or view does not exist"_s));
    }
    EXPECT_THROW(db->execute(u"select 'no scenario writes this' from dual"_s), DbError);
    EXPECT_TRUE(calls().contains(u"c1.2 no scripted answer"_s));
}

TEST_F(OracleDriverTest, RowsPassInBlocksAndLongValuesComeInPieces) {
    const auto db = open(u"default_session"_s);
    auto rs = db->openRecordset(u"select level n from dual connect by level <= 2500"_s);
    EXPECT_EQ(rs->skipRows(10'000), 2500);
    const QStringList log = calls();
    EXPECT_TRUE(log.contains(u"c1.1 SQLSetStmtAttr SQL_ATTR_ROW_ARRAY_SIZE=1000"_s));
    EXPECT_EQ(log.filter(u"c1.1 SQLFetch rowset=1000"_s),
              (QStringList{u"c1.1 SQLFetch rowset=1000 -> 1000 rows"_s,
                           u"c1.1 SQLFetch rowset=1000 -> 1000 rows"_s,
                           u"c1.1 SQLFetch rowset=1000 -> 499 rows"_s}));

    rs = db->openRecordset(u"select dbms_lob.getlength(text) len, text from quervin_notes"_s);
    EXPECT_EQ(rs->field(1).type, FieldType::LongText);
    EXPECT_EQ(rs->value(1).toString(), u"0123456789"_s.repeated(500));
    EXPECT_GE(calls().filter(u"c1.2 SQLGetData 2 SQL_C_WCHAR"_s).size(), 2);
}

// The statement runs until SQLCancel arrives from another thread; the test waits for the driver
// to say it is running before it cancels.
TEST_F(OracleDriverTest, CancelFromAnotherThreadStopsARunningStatement) {
    const auto db = open(u"default_session"_s);
    std::optional<DbError> failure;
    std::thread run([&] {
        try {
            db->openRecordset(u"select count(*) from big_table a, big_table b"_s);
        } catch (const DbError& e) {
            failure = e;
        }
    });
    while (!calls().contains(u"c1.1 running until SQLCancel"_s))
        QThread::yieldCurrentThread();
    db->cancel();
    run.join();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->records().value(0).sqlState + failure->description(),
              u"HY008[Oracle][ODBC][Ora]ORA-01013: user requested cancel of current operation"_s);
    EXPECT_TRUE(calls().contains(u"c1.1 SQLCancel while running"_s));
}

TEST_F(OracleDriverTest, CommitModesReachTheDriver) {
    const auto db = open(u"default_session"_s);
    db->setAutoCommit(false);
    EXPECT_FALSE(db->autoCommit());
    db->commit();
    db->rollback();
    db->setAutoCommit(true);
    EXPECT_EQ(calls().mid(4),
              (QStringList{u"c1 SQLSetConnectAttr SQL_ATTR_AUTOCOMMIT=SQL_AUTOCOMMIT_OFF"_s,
                           u"c1 SQLGetConnectAttr SQL_ATTR_AUTOCOMMIT -> SQL_AUTOCOMMIT_OFF"_s,
                           u"c1 SQLEndTran SQL_COMMIT"_s, u"c1 SQLEndTran SQL_ROLLBACK"_s,
                           u"c1 SQLSetConnectAttr SQL_ATTR_AUTOCOMMIT=SQL_AUTOCOMMIT_ON"_s}));
}

// A default run: its statements, in order, on the connection each belongs to; nothing of the
// commit mode is sent.
TEST_F(OracleDriverTest, DefaultRunSendsTheRunsStatementsAndShowsTheServersAnswers) {
    const QJsonObject run =
        cli(u"default_session"_s, {u"--plan-table"_s, u"PLAN_TABLE"_s}, kDefaultSql);
    EXPECT_EQ(run[u"count"_s].toString(), u"4件"_s);
    EXPECT_EQ(resultRows(run)[3], (QJsonArray{u"4"_s, u"FORD"_s, u"RESEARCH"_s}));
    const QJsonArray plan = run[u"plan"_s][u"rows"_s].toArray();
    EXPECT_EQ(plan[2],
              (QJsonArray{u"  TABLE ACCESS FULL (SCOTT.DEPT) TABLE OPTIMIZER = ANALYZED"_s, u"4"_s,
                          u"3"_s, u"52"_s, u"1"_s, u"4"_s, u"7"_s, u"0"_s, u"00:00:00.00"_s}));
    EXPECT_TRUE(run[u"stats"_s][u"rows"_s].toArray().contains(
        QJsonArray{u"14"_s, u"14"_s, u"session logical reads"_s}));
    const QString stats =
        u"SELECT *FROM V$SESSTAT A, V$STATNAME B WHERE A.STATISTIC# = "
        u"B.STATISTIC# and a.sid='137'"_s;
    const QString table = u" PLAN_TABLE WHERE STATEMENT_ID = 'QUERVIN' ORDER BY ID"_s;
    EXPECT_EQ(
        statements(),
        (QStringList{
            u"c2 ALTER SESSION SET SQL_TRACE=FALSE"_s, u"c1 ALTER SESSION SET SQL_TRACE=FALSE"_s,
            u"c1 ALTER SESSION SET TIMED_STATISTICS=TRUE"_s,
            u"c1 ALTER SESSION SET STATISTICS_LEVEL = ALL"_s,
            u"c1 select SID from v$session where audsid = userenv('SESSIONID')"_s,
            u"c1 SELECT SYS_CONTEXT('USERENV','INSTANCE') FROM DUAL"_s,
            u"c2 SELECT SYS_CONTEXT('USERENV','INSTANCE') FROM DUAL"_s,
            u"c1 delete from PLAN_TABLE where statement_id = 'QUERVIN'"_s,
            u"c1 EXPLAIN PLAN SET STATEMENT_ID = 'QUERVIN'  INTO  PLAN_TABLE FOR "_s + kDefaultSql,
            u"c1 SELECT id,timestamp,LEVEL - 1, OPERATION, OPTIONS, OBJECT_OWNER, OBJECT_NAME, "
            u"OBJECT_TYPE, CARDINALITY,COST, BYTES, OPTIMIZER FROM PLAN_TABLE START WITH ID = 0 "
            u"and STATEMENT_ID = 'QUERVIN' CONNECT BY PRIOR ID = PARENT_ID AND STATEMENT_ID = "
            u"'QUERVIN' ORDER BY timestamp,ID, PARENT_ID, POSITION"_s,
            u"c1 SELECT ID, ACCESS_PREDICATES, FILTER_PREDICATES FROM"_s + table,
            u"c1 SELECT * FROM"_s + table, u"c2 "_s + stats, u"c1 "_s + kDefaultSql,
            u"c2 "_s + stats,
            u"c2 SELECT PREV_SQL_ID, PREV_CHILD_NUMBER, PREV_SQL_ADDR FROM V$SESSION WHERE SID = "
            u"137"_s,
            u"c2 SELECT ID, PARENT_ID, DEPTH, OPERATION, OPTIONS, OBJECT_OWNER, OBJECT_NAME, "
            u"CARDINALITY, COST, BYTES, ACCESS_PREDICATES, FILTER_PREDICATES, LAST_STARTS, "
            u"LAST_OUTPUT_ROWS, LAST_CR_BUFFER_GETS, LAST_CU_BUFFER_GETS, LAST_DISK_READS, "
            u"LAST_ELAPSED_TIME, PLAN_HASH_VALUE, QBLOCK_NAME, OBJECT_ALIAS, OTHER_XML FROM "
            u"V$SQL_PLAN_STATISTICS_ALL WHERE ADDRESS = HEXTORAW('00000000A3F1C2D8') AND SQL_ID = "
            u"'4f7hrmnc3w2xa' AND CHILD_NUMBER = 0 ORDER BY ID"_s}));
    // Only the cursor V$SESSION names: an earlier parent cursor of the same SQL_ID and child
    // number adds no line.
    EXPECT_EQ(run[u"plan"_s][u"lines"_s].toArray().size(), 4);
    EXPECT_TRUE(run[u"rowSourceStatistics"_s].toBool());
    const QString log = calls().join(u'\n');
    EXPECT_FALSE(log.contains(u"SQL_ATTR_AUTOCOMMIT"_s) || log.contains(u"SQLEndTran"_s));
    EXPECT_EQ(calls().filter(u"noscan=off"_s), QStringList()) << "every statement goes unscanned";

    // The Hint Report from OTHER_XML's <hint_usage>, each hint at the line DBMS_XPLAN puts it.
    const QString text = QString::fromUtf8(
        cliOutput(u"default_session"_s, {u"--plan-table"_s, u"PLAN_TABLE"_s}, kDefaultSql));
    EXPECT_TRUE(
        text.contains(u"Total hints for statement: 2 (N - Unresolved (1))\n"_s + QString(75, u'-') +
                      u"\n\n   1 -  SEL$1\n         N -  FULL(x)\n\n   3 -  SEL$1 / E@SEL$1\n"
                      u"           -  FULL(e)\n"_s))
        << text.toStdString();
}

// An adaptive plan as DBMS_XPLAN shows it: the final plan of the explained statement, then the
// plan that ran (the other join), each numbered, indented and with its Hint Report placed on its
// own lines; --adaptive shows every line, the inactive ones marked.
TEST_F(OracleDriverTest, AnAdaptivePlanShowsItsFinalLinesOrAllOfThemMarked) {
    const QString sql =
        u"select /*+ LEADING(e) FULL(e) */ e.ename, d.dname from emp e, dept d where d.deptno = "
        u"e.deptno and e.job = 'CLERK'"_s;
    const QStringList table{u"--plan-table"_s, u"PLAN_TABLE"_s};
    struct Case {
        QStringList options;
        QStringList operations;  // the Operation column, each line's figures after a '|'
        QString note;
        QString hintLines;  // the Hint Report's lines of the hint on E
    };
    const QString analyzed = u" TABLE OPTIMIZER = ANALYZED"_s;
    const Case cases[] = {
        {{u"--no-query"_s},
         {u"SELECT STATEMENT OPTIMIZER = ALL_ROWS"_s, u" NESTED LOOPS"_s, u"  NESTED LOOPS"_s,
          u"   TABLE ACCESS FULL (SCOTT.EMP)"_s + analyzed,
          u"   INDEX UNIQUE SCAN (SCOTT.PK_DEPT) INDEX (UNIQUE) OPTIMIZER = ANALYZED"_s,
          u"  TABLE ACCESS BY INDEX ROWID (SCOTT.DEPT)"_s + analyzed},
         u"適応計画: 使われない 3 行を省略"_s,
         u"   3 -  SEL$1 / E@SEL$1\n           -  FULL(e)"_s},
        {{},
         {u"SELECT STATEMENT|4"_s, u" HASH JOIN|4"_s, u"  TABLE ACCESS FULL (SCOTT.EMP)|12"_s,
          u"  TABLE ACCESS FULL (SCOTT.DEPT)|4"_s},
         u"適応計画: 使われない 5 行を省略"_s,
         u"   2 -  SEL$1 / E@SEL$1\n           -  FULL(e)"_s},
        {{u"--adaptive"_s},
         {u"  SELECT STATEMENT|4"_s, u"   HASH JOIN|4"_s, u"-   NESTED LOOPS|"_s,
          u"-    NESTED LOOPS|"_s, u"-     STATISTICS COLLECTOR|12"_s,
          u"       TABLE ACCESS FULL (SCOTT.EMP)|12"_s,
          u"-     INDEX UNIQUE SCAN (SCOTT.PK_DEPT)|"_s,
          u"-    TABLE ACCESS BY INDEX ROWID (SCOTT.DEPT)|"_s,
          u"    TABLE ACCESS FULL (SCOTT.DEPT)|4"_s},
         u"適応計画: 使われない 5 行を「-」で表示"_s,
         u"   5 -  SEL$1 / E@SEL$1\n           -  FULL(e)"_s},
    };
    for (const Case& c : cases) {
        const QJsonObject run = cli(u"adaptive_join"_s, table + c.options, sql);
        QStringList operations;
        for (const QJsonValue& row : run[u"plan"_s][u"rows"_s].toArray()) {
            const QJsonArray cells = row.toArray();
            operations << cells[0].toString() +
                              (cells.size() > 5 ? u'|' + cells[5].toString() : QString());
        }
        EXPECT_EQ(operations, c.operations) << c.options.join(u' ').toStdString();
        EXPECT_EQ(run[u"notes"_s].toArray().first().toString(), c.note);
        const QString text =
            QString::fromUtf8(cliOutput(u"adaptive_join"_s, table + c.options, sql));
        EXPECT_TRUE(text.contains(c.hintLines)) << text.toStdString();
    }
}

TEST_F(OracleDriverTest, RollbackRunMeasuresTheChangeInsideASavepointAndUndoesIt) {
    const QJsonObject run = cli(u"default_session"_s, {u"--no-plan"_s, u"--rollback"_s},
                                u"update emp set sal = sal * 1.1 where deptno = 20"_s);
    EXPECT_TRUE(run[u"rolledBack"_s].toBool());
    EXPECT_EQ(run[u"messages"_s][u"query"_s].toString(), u"5行が更新されました。"_s);
    static const QRegularExpression measured(u"AUTOCOMMIT|SAVEPOINT|update emp|SQLEndTran"_s);
    QStringList steps = calls().filter(measured);
    steps.replaceInStrings(QRegularExpression(u"^c1\\.\\d+ SQLExecDirectW noscan=on "_s), u"c1 "_s);
    EXPECT_EQ(steps,
              (QStringList{u"c1 SQLSetConnectAttr SQL_ATTR_AUTOCOMMIT=SQL_AUTOCOMMIT_OFF"_s,
                           u"c1 SAVEPOINT QUERVIN_MEASURE"_s,
                           u"c1 update emp set sal = sal * 1.1 where deptno = 20"_s,
                           u"c1 ROLLBACK TO SAVEPOINT QUERVIN_MEASURE"_s,
                           u"c1 SQLSetConnectAttr SQL_ATTR_AUTOCOMMIT=SQL_AUTOCOMMIT_ON"_s}));
}

// Each scenario's statement runs through the program, which shows the rows the server gave;
// every statement the run sent has an answer in the scenario.
TEST_F(OracleDriverTest, EveryScenarioRunsThroughTheProgram) {
    struct Case {
        QString scenario;
        QStringList options;
        QString sql;
        QJsonArray lastRow;
    };
    const QString tenth = u"select ename from emp where deptno = 10"_s;
    const QStringList noPlan{u"--no-plan"_s};
    const Case cases[] = {
        {u"adaptive_join"_s,
         {u"--plan-table"_s, u"PLAN_TABLE"_s},
         u"select /*+ LEADING(e) FULL(e) */ e.ename, d.dname from emp e, dept d where d.deptno = "
         u"e.deptno and e.job = 'CLERK'"_s,
         {u"4"_s, u"MILLER"_s, u"ACCOUNTING"_s}},
        {u"plustrace_user"_s, noPlan, tenth, {u"3"_s, u"MILLER"_s}},
        {u"two_instances"_s, noPlan, tenth, {u"3"_s, u"MILLER"_s}},
        {u"instances_apart"_s, noPlan, tenth, {u"3"_s, u"MILLER"_s}},
        {u"sys_session"_s, noPlan, tenth, {u"3"_s, u"MILLER"_s}},
        {u"lost_connection"_s, noPlan, tenth, {u"3"_s, u"MILLER"_s}},
        {u"clob_column"_s,
         noPlan,
         u"select doc, title from quervin_docs order by title"_s,
         {u"3"_s, u""_s, u"Price list 2024"_s}},
        // Sent as typed: the driver reads no ODBC escape into MATCH_RECOGNIZE's {2,}.
        {u"match_recognize"_s,
         noPlan,
         scenarioSql(u"match_recognize"_s),
         {u"2"_s, u"ACME"_s, u"2011-04-14 00:00:00"_s, u"2011-04-16 00:00:00"_s,
          u"2011-04-18 00:00:00"_s}},
        {u"date_bind"_s,
         {u"--no-plan"_s, u"--bind"_s, u"d=1981-09-28"_s, u"--bind-type"_s, u"d=DATE"_s},
         u"select ename, hiredate from emp where hiredate >= :d"_s,
         {u"7"_s, u"ADAMS"_s, u"1987-05-23 00:00:00"_s}},
    };
    for (const Case& c : cases) {
        QFile::remove(logPath());
        const QJsonArray rows = resultRows(cli(c.scenario, c.options, c.sql));
        EXPECT_EQ(rows.isEmpty() ? QJsonValue() : rows.last(), c.lastRow)
            << c.scenario.toStdString();
        EXPECT_EQ(calls().filter(u"no scripted answer"_s), QStringList())
            << c.scenario.toStdString();
    }
}

// quervin-cli --what-if through the driver: a killed program's leftover dropped, then the
// virtual index, the parameter, its statistics, both explains, and everything cleaned up.
TEST_F(OracleDriverTest, WhatIfSendsTheVirtualIndexStatementsInTheirOrder) {
    const QString sql = u"select ename from emp where deptno = 10"_s;
    const QJsonObject o = cli(u"virtual_index"_s,
                              {u"--plan-table"_s, u"PLAN_TABLE"_s, u"--what-if"_s,
                               u"create index ix_emp_deptno on emp (deptno)"_s},
                              sql);
    EXPECT_EQ(o[u"current"_s][u"cost"_s].toInt(), 3);
    EXPECT_EQ(o[u"whatIf"_s][u"cost"_s].toInt(), 2);
    EXPECT_EQ(calls().filter(u"no scripted answer"_s), QStringList());
    QStringList sent;
    for (const QString& s : statements()) {
        if (!s.startsWith(u"c1 SELECT"_s))
            sent << s.mid(3);
    }
    const QString explain =
        u"EXPLAIN PLAN SET STATEMENT_ID = 'QUERVIN_WI'  INTO  PLAN_TABLE FOR "_s + sql;
    const QString remove = u"delete from PLAN_TABLE where statement_id = 'QUERVIN_WI'"_s;
    EXPECT_EQ(sent, (QStringList{u"DROP INDEX QVWI_99_1_1"_s, explain, remove,
                                 u"CREATE INDEX QVWI_137_4711_1 ON EMP (deptno) NOSEGMENT"_s,
                                 u"ALTER SESSION SET \"_use_nosegment_indexes\" = TRUE"_s,
                                 scenarioSql(u"virtual_index"_s, 14), explain, remove,
                                 u"DROP INDEX QVWI_137_4711_1"_s,
                                 u"ALTER SESSION SET \"_use_nosegment_indexes\" = FALSE"_s}));
}
