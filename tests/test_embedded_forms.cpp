// The statements an Oracle tuner types beyond plain queries, run by the embedded engine as Oracle
// runs them or refused with Oracle's error: MERGE, the (+) join, LISTAGG, SELECT ... FOR UPDATE,
// the REGEXP_ functions, the operators of hierarchical queries, q'...' literals and
// DBMS_XPLAN.DISPLAY. Each table row is a statement and its rows, or the error it fails with.
#include "core/embedded/plan/xplan.h"
#include "core/embedded/values/oracleerrors.h"
#include "support/embeddedfixture.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qv;
using namespace qv::test;

namespace {

struct Form {
    const char* sql;
    QStringList expected;  // the rows, or "ORA-nnnnn..." as the error's start
};

class EmbeddedForms : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        db_->execute(
            "create table emp (empno number(4) primary key, ename varchar2(10), "
            "mgr number(4), deptno number(2), sal number(7,2))");
        db_->execute(
            "insert into emp values (7839, 'KING', null, 10, 5000), (7566, 'JONES', 7839, 20, "
            "2975), (7902, 'FORD', 7566, 20, 3000), (7369, 'SMITH', 7902, 20, 800), "
            "(7698, 'BLAKE', 7839, 30, 2850), (7499, 'ALLEN', 7698, 30, 1600)");
        db_->execute("create table dept (deptno number(2), dname varchar2(14))");
        db_->execute(
            "insert into dept values (10, 'ACCOUNTING'), (20, 'RESEARCH'), "
            "(40, 'OPERATIONS')");
    }

    void check(std::initializer_list<Form> forms) {
        for (const Form& f : forms) {
            const QString sql = QString::fromUtf8(f.sql);
            const QString first = f.expected.value(0);
            if (first.startsWith(u"ORA-"))
                EXPECT_TRUE(failsWith([&] { rowsOf(*db_, sql); }, kErrOdbcCall, first)) << f.sql;
            else
                EXPECT_EQ(rowsOf(*db_, sql), f.expected) << f.sql;
        }
    }
};

TEST_F(EmbeddedForms, MergeUpdatesInsertsAndDeletesAsOneStatement) {
    db_->execute("create table raise (empno number(4), pct number, ename varchar2(10))");
    db_->execute(
        "insert into raise values (7369, 10, 'SMITH'), (7499, 50, 'ALLEN'), "
        "(8000, 5, 'NEW'), (8001, 1, '')");
    // Both branches, the target's columns qualified by its alias: two updated, two inserted.
    db_->execute(
        "merge into emp e using raise r on (e.empno = r.empno) "
        "when matched then update set e.sal = e.sal * (1 + r.pct / 100) "
        "when not matched then insert (empno, ename, sal) values (r.empno, r.ename, 1)");
    EXPECT_EQ(db_->recordsAffected(), 4);
    check(
        {{"select empno, ename, sal from emp where empno in (7369, 7499) or empno >= 8000 "
          "order by empno",
          {"7369|SMITH|880", "7499|ALLEN|2400", "8000|NEW|1", "8001|null|1"}}});
    // Branches in the other order, a subquery as source, UPDATE's WHERE read before the update
    // and DELETE WHERE after it, on the rows updated only; the row inserted matches DELETE
    // WHERE's condition but stays.
    db_->execute(
        "merge into emp using (select deptno, 0 as sal from dept) d "
        "on (emp.deptno = d.deptno) "
        "when not matched then insert (empno, deptno, sal) values (9000 + d.deptno, "
        "d.deptno, d.sal) "
        "when matched then update set emp.sal = d.sal where emp.sal > 2900 "
        "delete where emp.sal = 0");
    EXPECT_EQ(db_->recordsAffected(), 4);  // KING, JONES and FORD updated (and deleted); 9040
    check(
        {{"select empno from emp where deptno in (10, 20, 40) order by empno", {"7369", "9040"}}});
    // INSERT without columns and with its own WHERE; a source without an alias.
    db_->execute(
        "merge into dept using emp on (dept.deptno = emp.deptno) when not matched then "
        "insert values (emp.deptno, emp.ename) where emp.empno = 7499");
    EXPECT_EQ(db_->recordsAffected(), 1);
    check({{"select dname from dept where deptno = 30", {"ALLEN"}}});
    // Bind variables take their values in every statement the MERGE runs.
    const BindList binds = {{"NO", BindType::Number, "7902"}, {"PAY", BindType::Number, "42"}};
    db_->openRecordset(
        "merge into emp e using dual on (e.empno = :no) when matched then "
        "update set sal = :pay when not matched then insert (empno, sal) "
        "values (:no, :pay)",
        binds);
    EXPECT_EQ(db_->recordsAffected(), 1);
    check({{"select sal from emp where empno = 7902", {"42"}}});
}

// The session's own schema may be named before its tables and columns, as Oracle scripts do;
// another schema is no table of the session's.
TEST_F(EmbeddedForms, TablesOfTheSessionsSchemaMayCarryTheirOwner) {
    check({{"select scott.emp.ename, d.dname from Scott.emp, scott.dept d where "
            "scott.emp.deptno = d.deptno and scott.emp.sal > 2900 order by 1",
            {"FORD|RESEARCH", "JONES|RESEARCH", "KING|ACCOUNTING"}},
           {"select count(*) from scott.emp where empno in (select mgr from scott.emp)", {"4"}},
           {"select * from hr.emp", {"ORA-00942"}}});
    db_->execute("update scott.emp set sal = sal + 1 where empno = 7369");
    db_->execute("delete from scott.emp where empno = 7499");
    check({{"select sal from emp where empno in (7369, 7499)", {"801"}}});
}

TEST_F(EmbeddedForms, MergeRefusesWhatOracleRefusesAndChangesNothingThen) {
    db_->execute("create table src (empno number(4), sal number)");
    db_->execute("insert into src values (7369, 1), (7369, 2), (9999, 3)");
    check({
        // SMITH would be updated twice: nothing is merged, 9999 not inserted either.
        {"merge into emp e using src s on (e.empno = s.empno) when not matched then insert "
         "(empno) values (s.empno) when matched then update set sal = s.sal",
         {"ORA-30926"}},
        {"merge into emp e using src s on (e.empno = s.empno) when matched then update set "
         "e.empno = s.empno + 1",
         {"ORA-38104: Columns referenced in the ON Clause cannot be updated: \"E\".\"EMPNO\""}},
        {"merge emp e using src s on (e.empno = s.empno) when matched then update set sal = 1",
         {"ORA-00925"}},
        {"merge into emp e using src s on e.empno = s.empno when matched then update set sal = "
         "1",
         {"ORA-00906"}},
        {"merge into emp e using src s when matched then update set sal = 1", {"ORA-00969"}},
        {"merge into emp e using src s on (e.empno = s.empno)", {"ORA-00905"}},
        {"merge into emp e using src s on (e.empno = s.empno) when not matched then insert "
         "(empno) select 1 from dual",
         {"ORA-00926"}},
        // The INSERT fails the whole MERGE after its update ran.
        {"merge into emp e using src s on (e.empno = s.empno and s.sal = 1) when matched then "
         "update set sal = 0 when not matched then insert (empno) values (7369)",
         {"ORA-00001"}},
        {"select count(*) from emp where sal = 0 or empno > 9000", {"0"}},
        {"select empno, sal from emp where empno = 7369", {"7369|800"}},
        // No view's rows change: a join view is Oracle's ORA-38106.
        {"create view emp10 as select * from emp where deptno = 10", {}},
        {"create view empdept as select e.empno, e.sal, d.dname from emp e, dept d where "
         "e.deptno = d.deptno",
         {}},
        {"merge into emp10 e using src s on (e.empno = s.empno) when matched then update set "
         "sal = 1",
         {"ORA-01732"}},
        {"merge into empdept e using src s on (e.empno = s.empno) when matched then update set "
         "sal = 1",
         {"ORA-38106"}},
    });
    // A table organized by its key has no ROWID: its rows are told apart by the key.
    db_->execute(
        "create table paid (empno number(4), month varchar2(7), sal number, primary key (empno, "
        "month)) organization index");
    db_->execute("insert into paid values (7369, '2024-01', 800), (7369, '2024-02', 800)");
    db_->execute(
        "merge into paid p using (select 7369 empno, '2024-01' month, 0 sal from dual union all "
        "select 7369, '2024-02', 900 from dual) s on (p.empno = s.empno and p.month = s.month) "
        "when matched then update set p.sal = s.sal delete where p.sal = 0");
    check({{"select month, sal from paid", {"2024-02|900"}}});
}

// (+) joins of two and three tables, with constant conditions on the outer table and filters
// after the join, are the differential test's (test_differential.cpp); here the forms it has not.
TEST_F(EmbeddedForms, OldOuterJoinsRunAsLeftJoinsAndOraclesRefusalsHold) {
    check({
        // A chain, its tables listed before those they are joined to: the manager's department
        // is joined to the outer manager.
        {"select e.ename, m.ename, d.dname from dept d, emp m, emp e where e.mgr = m.empno(+) "
         "and m.deptno = d.deptno(+) and e.deptno = 10",
         {"KING|null|null"}},
        // One table outer-joined to two (Oracle 12c): to the rows of both.
        {"select count(*), count(d.deptno) from emp e, dept d, emp m where e.deptno = "
         "d.deptno(+) and m.deptno = d.deptno(+) and m.empno = 7839",
         {"6|1"}},
        // In a subquery, correlated to the outer query.
        {"select ename, (select d.dname from emp x, dept d where x.deptno = d.deptno(+) and "
         "x.empno = e.empno) from emp e where e.deptno = 30",
         {"BLAKE|null", "ALLEN|null"}},
        {"select * from emp e, dept d where e.deptno(+) = d.deptno and d.deptno(+) = e.deptno",
         {"ORA-01416"}},
        {"select * from emp e, dept d where e.deptno = d.deptno(+) or d.deptno is null",
         {"ORA-01719"}},
        {"select * from emp e, dept d where e.deptno = d.deptno(+) and d.deptno(+) in (10, 20)",
         {"ORA-01719"}},
        {"select * from emp e, dept d, emp m where e.deptno + m.deptno(+) = d.deptno(+)",
         {"ORA-01468"}},
        {"select * from emp e, dept d where e.deptno = (select max(deptno) from dept)(+)",
         {"ORA-01799"}},
        {"select * from emp e join dept d on e.deptno = d.deptno where d.dname(+) = 'x'",
         {"ORA-25156"}},
        {"select * from emp e, dept d where e.deptno = x.deptno(+)", {"ORA-00904"}},
        {"select d.dname(+) from dept d", {"ORA-30563"}},
        // A (+) of a subquery in a condition kept in WHERE stays the subquery's.
        {"select d.dname, k.ename from dept d, emp k where d.deptno = k.deptno(+) and "
         "k.ename(+) = 'KING' and exists (select 1 from emp e, emp m where e.deptno = d.deptno "
         "and e.mgr = m.empno(+) and m.empno is null)",
         {"ACCOUNTING|KING"}},
    });
}

TEST_F(EmbeddedForms, ListaggJoinsOrderedValuesAsAggregateAndAnalytic) {
    check({
        {"select deptno, listagg(ename, ',') within group (order by ename) from emp "
         "group by deptno order by deptno",
         {"10|KING", "20|FORD,JONES,SMITH", "30|ALLEN,BLAKE"}},
        {"select listagg(ename) within group (order by sal desc) from emp where deptno = 30",
         {"BLAKEALLEN"}},
        {"select ename, listagg(ename, ';') within group (order by empno) over (partition by "
         "deptno) from emp where deptno = 30 order by ename",
         {"ALLEN|ALLEN;BLAKE", "BLAKE|ALLEN;BLAKE"}},
        {"select listagg(distinct deptno, '-') within group (order by deptno desc) from emp",
         {"30-20-10"}},
        // NULLs are left out; none left is NULL.
        {"select listagg(mgr, ',') within group (order by mgr nulls first) from emp "
         "where deptno = 10",
         {"null"}},
        {"select listagg(rpad('x', 1000, 'x'), ',') within group (order by empno) from emp",
         {"ORA-01489"}},
        {"select length(listagg(rpad('x', 1000, 'x'), ',' on overflow truncate '~' with count)"
         " within group (order by empno)) from emp",
         {"3007"}},  // three values, their delimiters, then ",~(3)"
        {"select ename, listagg(ename) within group (order by ename) from emp", {"ORA-00937"}},
        {"select listagg(ename) within group (order by ename) over (order by ename) from emp",
         {"ORA-30487"}},
    });
}

TEST_F(EmbeddedForms, RegexpFunctionsFollowOraclesPositionsAndMatchParameters) {
    check({
        {"select ename from emp where regexp_like(ename, '^[a-f]', 'i') order by ename",
         {"ALLEN", "BLAKE", "FORD"}},
        {"select ename from emp where regexp_like(ename, '^[a-f]', 'ic') order by ename", {}},
        {"select regexp_substr('a1b22c333', '[0-9]+', 1, 3), regexp_substr('a1b22', '[0-9]+', "
         "4), regexp_substr('k=v;x=y', '(\\w)=(\\w)', 1, 2, null, 2), regexp_substr('abc', 'z')"
         " from dual",
         {"333|22|y|null"}},
        {"select regexp_instr('a1b22c333', '[0-9]+', 1, 2), regexp_instr('a1b22', '[0-9]+', 1, "
         "2, 1), regexp_instr('abc', 'z') from dual",
         {"4|6|0"}},
        {"select regexp_replace('a.b.c', '\\.'), regexp_replace('2024-05-17', "
         "'(\\d+)-(\\d+)-(\\d+)', '\\3/\\2/\\1'), regexp_replace('aaa', 'a', 'b', 2, 2) "
         "from dual",
         {"abc|17/05/2024|aab"}},
        {"select regexp_count('banana', 'an'), regexp_count('banana', 'A', 3, 'i'), "
         "regexp_count('a\nb', '^b', 1, 'm'), regexp_count('a\nb', 'a.b'), "
         "regexp_count('a\nb', 'a.b', 1, 'n') from dual",
         {"2|2|1|0|1"}},
        {"select regexp_substr('abc', 'a b c', 1, 1, 'x') from dual", {"abc"}},
        // Positions count characters, one outside the BMP too.
        {"select regexp_instr('\U0001F600a\U0001F600b', 'b'), regexp_substr('\U0001F600ab', "
         "'.', 2), regexp_replace('\U0001F600aa', 'a', 'x', 3) from dual",
         {"4|a|\U0001F600ax"}},
        {"select regexp_substr('abc', '(b') from dual", {"ORA-12725"}},
        {"select regexp_substr('abc', '[b') from dual", {"ORA-12726"}},
        {"select regexp_substr('abc', 'b', 1, 1, 'q') from dual", {"ORA-01760"}},
        {"select regexp_substr('abc', 'b', 0) from dual", {"ORA-01428"}},
        // A match the engine gives up on fails the statement, rather than reading as none; an
        // empty match at the very end is still a match.
        {"select regexp_count(rpad('a', 22, 'a') || '!', '(\\w+\\s?)*$') from dual", {"ORA-12724"}},
        {"select count(*) from dual where regexp_like(rpad('a', 30, 'a') || '?', "
         "'^((\\w+\\s?)*!|a)')",
         {"ORA-12724"}},
        {"select regexp_count('abc', 'x*'), regexp_replace('abc', 'x*', '-') from dual",
         {"4|-a-b-c-"}},
    });
}

TEST_F(EmbeddedForms, HierarchicalOperatorsReadTheRootThePathAndTheLeaves) {
    check({
        {"select ename, connect_by_root ename, sys_connect_by_path(ename, '/'), "
         "connect_by_isleaf from emp start with mgr is null connect by prior empno = mgr",
         {"KING|KING|/KING|0", "JONES|KING|/KING/JONES|0", "FORD|KING|/KING/JONES/FORD|0",
          "SMITH|KING|/KING/JONES/FORD/SMITH|1", "BLAKE|KING|/KING/BLAKE|0",
          "ALLEN|KING|/KING/BLAKE/ALLEN|1"}},
        // The leaves are those of the tree, whatever WHERE keeps.
        {"select connect_by_root ename root, ename from emp where connect_by_isleaf = 1 "
         "start with mgr = 7839 connect by prior empno = mgr order by ename",
         {"BLAKE|ALLEN", "JONES|SMITH"}},
        {"select sys_connect_by_path(ename, 'N') from emp start with mgr is null connect by "
         "prior empno = mgr",
         {"ORA-30004"}},
        {"select ename from emp start with connect_by_root ename = 'KING' connect by prior "
         "empno = mgr",
         {"ORA-30007"}},
        {"select ename from emp start with mgr is null connect by prior empno = mgr and "
         "sys_connect_by_path(ename, '/') is not null",
         {"ORA-30002"}},
        // Without PRIOR every row is a root and a child of every row of the level above.
        {"select count(*) from dept connect by level <= 2", {"12"}},
        {"select deptno, level from dept where deptno = 10 connect by level <= 2",
         {"10|1", "10|2", "10|2", "10|2"}},
        // A child whose values of the PRIOR operands are an ancestor's is a loop.
        {"select count(*) from dept connect by prior deptno = deptno and level <= 2",
         {"ORA-01436"}},
        {"select deptno, connect_by_iscycle from dept where deptno < 30 connect by nocycle "
         "prior deptno = deptno and level <= 2",
         {"10|1", "20|1"}},
    });
    // KING reports to SMITH, who reports to him through FORD and JONES.
    db_->execute("update emp set mgr = 7369 where ename = 'KING'");
    check({
        {"select ename from emp start with ename = 'KING' connect by prior empno = mgr",
         {"ORA-01436"}},
        {"select ename, level, connect_by_iscycle from emp start with ename = 'KING' connect by "
         "nocycle prior empno = mgr",
         {"KING|1|0", "JONES|2|0", "FORD|3|0", "SMITH|4|1", "BLAKE|2|0", "ALLEN|3|0"}},
        {"select ename, connect_by_iscycle from emp start with ename = 'KING' connect by prior "
         "empno = mgr",
         {"ORA-30930"}},
    });
}

TEST_F(EmbeddedForms, AlternativeQuotingTakesEveryDelimiter) {
    check({
        {"select q'[it's]', q'{a}b}', q'(c)', q'<d>', q'!e'!', Q'#f#', nq'~g~', NQ'|h|' "
         "from dual",
         {"it's|a}b|c|d|e'|f|g|h"}},
        {"select q'\u00e9x\u00e9', q'\U0001F600y\U0001F600' as y, 'z' from dual", {"x|y|z"}},
        {"select ename from emp where ename = q'[KING]' and q'[a]' || q'{b}' = 'ab'", {"KING"}},
        // An empty alternative literal is Oracle's empty string: NULL.
        {"select nvl(q'[]', 'empty') from dual", {"empty"}},
    });
}

TEST_F(EmbeddedForms, ForUpdateHoldsTheFileUntilCommitOrRollback) {
    auto other = connect();
    db_->execute(planTableCreateStatement(kPlanTable));
    // Nothing open: COMMIT and ROLLBACK succeed with nothing to end.
    db_->execute("commit");
    db_->execute("rollback work");
    EXPECT_EQ(rowsOf(*db_, "select ename from emp where empno = 7839 for update of sal nowait"),
              QStringList("KING"));
    // The session's own changes wait for its COMMIT; another session sees the rows committed,
    // and cannot lock them.
    db_->execute("update emp set sal = 1 where empno = 7839");
    EXPECT_EQ(rowsOf(*other, "select sal from emp where empno = 7839"), QStringList("5000"));
    EXPECT_TRUE(failsWith([&] { rowsOf(*other, "select * from emp for update nowait"); },
                          kErrOdbcCall, "ORA-00054: resource busy"));
    // A reader is never held up by the lock, nor is its plan: the plan table's rows it clears
    // and writes are its session's own.
    other->execute(planDeleteStatement(kPlanTable));
    other->execute(explainPlanStatement(kPlanTable, "select * from emp"));
    EXPECT_FALSE(rowsOf(*other, planQueryStatement(kPlanTable)).isEmpty());
    EXPECT_TRUE(failsWith([&] { rowsOf(*other, "select * from emp for update wait 1"); },
                          kErrOdbcCall, "ORA-30006"));
    EXPECT_EQ(rowsOf(*other, "select ename from emp for update skip locked"), QStringList());
    db_->execute("rollback");
    EXPECT_EQ(rowsOf(*other, "select sal from emp where empno = 7839 for update skip locked"),
              QStringList("5000"));
    EXPECT_TRUE(failsWith([&] { rowsOf(*db_, "select * from emp for update nowait"); },
                          kErrOdbcCall, "ORA-00054"));
    other->execute("commit");
    EXPECT_EQ(rowsOf(*db_, "select ename from emp where mgr is null for update"),
              QStringList("KING"));
    db_->execute("commit");
    // A FOR UPDATE that fails takes no lock.
    EXPECT_TRUE(failsWith([&] { rowsOf(*db_, "select nosuch from emp for update"); }, kErrOdbcCall,
                          "ORA-00904"));
    EXPECT_EQ(rowsOf(*other, "select ename from emp where empno = 7839 for update nowait"),
              QStringList("KING"));
    other->execute("rollback");
    check({{"select * from emp for update wait x", {"ORA-30005"}},
           {"select count(*) from emp for update", {"ORA-01786"}},
           {"select distinct deptno from emp for update", {"ORA-01786"}},
           {"select deptno from emp union select deptno from dept for update", {"ORA-01786"}},
           {"select * from emp for update nowait order by 1", {"ORA-00933"}}});
}

// Without auto-commit, a session's changes wait for its COMMIT or ROLLBACK and no other session
// sees them; DDL commits them first, its plan rows are no change, and a session that ends
// without a commit, closed or killed, leaves the file as it was committed.
TEST_F(EmbeddedForms, ManualCommitKeepsChangesUntilTheSessionEndsThem) {
    auto other = connect();
    db_->execute(planTableCreateStatement(kPlanTable));
    db_->setAutoCommit(false);
    db_->execute(planDeleteStatement(kPlanTable));
    db_->execute(explainPlanStatement(kPlanTable, "update emp set sal = 0"));
    // No transaction of the session's yet, so its reading holds no lock a writer would wait for.
    rowsOf(*db_, "select count(*) from emp");
    other->execute("update emp set sal = sal + 1 where empno = 7902");
    db_->execute("update emp set sal = 1 where empno = 7839");
    EXPECT_EQ(rowsOf(*db_, "select sal from emp where empno = 7839"), QStringList("1"));
    EXPECT_EQ(rowsOf(*other, "select sal from emp where empno = 7839"), QStringList("5000"));
    db_->rollback();
    EXPECT_EQ(rowsOf(*db_, "select sal from emp where empno = 7839"), QStringList("5000"));
    db_->execute("update emp set sal = 2 where empno = 7839");
    db_->execute("create table kept (a number)");  // commits the update before it
    db_->execute("rollback");
    EXPECT_EQ(rowsOf(*other, "select sal from emp where empno = 7839"), QStringList("2"));
    db_->execute("delete from emp where empno = 7839");
    db_->close();
    EXPECT_EQ(rowsOf(*other, "select count(*) from emp where empno = 7839"), QStringList("1"));
    // A process killed with a change pending: the next session finds the file as committed.
    const pid_t child = fork();
    if (child == 0) {
        embedded::EmbeddedDatabase killed(path(), QStringLiteral("SCOTT"));
        killed.setAutoCommit(false);
        killed.execute("delete from emp");
        _exit(rowsOf(killed, "select count(*) from emp") == QStringList("0") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(rowsOf(*connect(), "select count(*) from emp where empno = 7839"), QStringList("1"));
    // A change measured inside a savepoint and rolled back to it leaves what waited before it,
    // and no lock when nothing did.
    auto measured = connect();
    measured->setAutoCommit(false);
    measured->execute("savepoint quervin_measure");
    measured->execute("update emp set sal = 4 where empno = 7839");
    measured->execute("rollback to savepoint quervin_measure");
    other->execute("update emp set sal = sal + 1 where empno = 7902");
    measured->execute("update emp set sal = 5 where empno = 7369");
    measured->execute("savepoint quervin_measure");
    measured->execute("delete from emp");
    measured->execute("rollback to savepoint quervin_measure");
    EXPECT_EQ(rowsOf(*measured, "select sal from emp where empno in (7369, 7839) order by 1"),
              QStringList({"2", "5"}));
    measured->rollback();
    EXPECT_EQ(rowsOf(*measured, "select sal from emp where empno = 7369"), QStringList("800"));
    measured->close();
    // Turned on again, what waits is committed.
    other->setAutoCommit(false);
    other->execute("update emp set sal = 3 where empno = 7839");
    other->setAutoCommit(true);
    other->close();
    EXPECT_EQ(rowsOf(*connect(), "select sal from emp where empno = 7839"), QStringList("3"));
}

// A file open for reading alone takes no row lock: Oracle's answer for a read-only database.
// Root writes every file, so the attempt runs as nobody there.
TEST_F(EmbeddedForms, ForUpdateOnAReadOnlyFileIsOra16000) {
    const QString readOnly = dir_.filePath(QStringLiteral("read-only.db"));
    ASSERT_TRUE(QFile::copy(path(), readOnly));
    ASSERT_EQ(chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    ASSERT_EQ(chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
    auto refused = [&] {
        embedded::EmbeddedDatabase db(readOnly, QStringLiteral("SCOTT"));
        return bool(failsWith([&] { rowsOf(db, "select * from emp for update"); }, kErrOdbcCall,
                              "ORA-16000"));
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(refused());
        return;
    }
    const pid_t child = fork();
    if (child == 0)
        _exit(setgid(65534) == 0 && setuid(65534) == 0 && refused() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(EmbeddedForms, DbmsXplanDisplayPrintsTheLatestPlanAsOracleLaysItOut) {
    // PLAN_TABLE is there without being made, as in every Oracle session.
    // An empty name is NULL, which DISPLAY takes for PLAN_TABLE.
    check({{"select * from table(dbms_xplan.display)",
            {"Error: cannot fetch last explain plan from PLAN_TABLE"}},
           {"select * from table(dbms_xplan.display(''))",
            {"Error: cannot fetch last explain plan from PLAN_TABLE"}}});
    db_->execute(
        "explain plan set statement_id = 'one' for select ename from emp "
        "where empno = 7839");
    db_->execute(
        "explain plan for select e.ename, d.dname from emp e, dept d "
        "where e.deptno = d.deptno and e.sal > 1000");
    // The latest plan; the figures are the plan table's own, and the hash V$SQL_PLAN's form.
    const QStringList shown = rowsOf(*db_, "select * from table(dbms_xplan.display)");
    ASSERT_GE(shown.size(), 12);
    EXPECT_TRUE(shown[0].startsWith("Plan hash value: ")) << shown[0].toStdString();
    EXPECT_EQ(shown[1], "null");
    EXPECT_EQ(shown[2], QString(shown[3].size(), u'-'));
    EXPECT_TRUE(shown[3].startsWith("| Id  | Operation ")) << shown[3].toStdString();
    EXPECT_TRUE(shown[3].endsWith("| Name | Rows  | Bytes | Cost  |")) << shown[3].toStdString();
    EXPECT_EQ(shown[4], shown[2]);
    const QStringList figures =
        rowsOf(*db_,
               "select id, operation || ' ' || options, cardinality, bytes, cost, "
               "access_predicates, filter_predicates from plan_table where statement_id is null "
               "order by id");
    ASSERT_EQ(shown.size(), 5 + figures.size() + 5 + 2);  // one line each predicate
    for (qsizetype k = 0; k < figures.size(); ++k) {
        const QStringList f = figures[k].split(u'|');
        const QString line = shown[5 + k];
        const bool marked = f[5] != "null" || f[6] != "null";
        EXPECT_TRUE(line.startsWith(QStringLiteral("|%1%2 |").arg(marked ? "*" : " ").arg(f[0], 3)))
            << line.toStdString();
        EXPECT_TRUE(line.contains(f[1].trimmed())) << line.toStdString();
        EXPECT_TRUE(line.endsWith(
            QStringLiteral("| %1 | %2 | %3 |").arg(f[2], 5).arg(f[3], 5).arg(f[4], 5)))
            << line.toStdString();
    }
    EXPECT_EQ(shown.mid(shown.size() - 7, 5),
              QStringList({shown[2], "null", "Predicate Information (identified by operation id):",
                           "---------------------------------------------------", "null"}));
    for (const QString& predicate : shown.mid(shown.size() - 2))
        EXPECT_TRUE(predicate.contains(QRegularExpression(R"(^ {3}\d - (access|filter)\(.+\)$)")))
            << predicate.toStdString();
    // By statement id and table, in BASIC: no figures, no predicates.
    const QStringList basic = rowsOf(*db_,
                                     "select plan_table_output from table(sys.dbms_xplan.display("
                                     "'plan_table', 'one', 'BASIC'))");
    ASSERT_GE(basic.size(), 7);
    EXPECT_EQ(basic[3].section(u'|', 1, 1), " Id  ");
    EXPECT_EQ(basic[3].count(u'|'), 4);
    EXPECT_FALSE(basic.join(u'\n').contains(u'*'));
    check({
        {"select * from table(dbms_xplan.display(statement_id => 'none', format => 'TYPICAL'))",
         {"Error: cannot fetch plan for statement_id 'none'"}},
        {"select * from table(dbms_xplan.display('NO_SUCH_TABLE'))", {"ORA-00942"}},
        {"select * from table(dbms_xplan.display_awr)", {"ORA-00900"}},
    });
}

TEST_F(EmbeddedForms, DbmsXplanDisplayOfAHugePlanTableIsBoundedAndStoppable) {
    db_->execute(
        "create table bigpt (statement_id varchar2(30), id number, parent_id number, operation "
        "varchar2(30), options varchar2(30), object_name varchar2(30), cardinality number, "
        "bytes number, cost number)");
    // Wide and shallow: far more text than a statement may hold, each line short.
    db_->execute(
        "insert into bigpt select null, level - 1, case when level > 1 then 0 end, 'OP', null, "
        "null, 1, 1, 1 from dual connect by level <= 20000");
    EXPECT_EQ(rowsOf(*db_, "select * from table(dbms_xplan.display('BIGPT'))").size(), 20000 + 6);
    // Each line the parent of the next: every line as wide as the deepest, more text than a value
    // may be. Refused before it is made, and a stop ends the reading.
    db_->execute("delete from bigpt");
    db_->execute(
        "insert into bigpt select null, level - 1, level - 2, 'OP', null, null, 1, 1, 1 from dual "
        "connect by level <= 10000");
    EXPECT_TRUE(failsWith([&] { rowsOf(*db_, "select * from table(dbms_xplan.display('BIGPT'))"); },
                          kErrOdbcCall, "ORA-04030"));
    sqlite::Connection file(path(), sqlite::Connection::Mode::ReadOnly, 0);
    int asked = 0;
    EXPECT_TRUE(failsWith(
        [&] {
            embedded::XplanRequest request;
            request.table = QStringLiteral("BIGPT");
            embedded::xplanLines(file.handle(), request, [&] { return ++asked > 3; });
        },
        kErrOdbcCall, "ORA-01013"));
}

}  // namespace
