// The lines Oracle draws for row limits, analytic functions, HAVING, the scalar subqueries of a
// select list and WITH queries read more than once: their nesting, their filters, and what each
// line did in the run on the line EXPLAIN PLAN gives the same id.
#include "support/embeddedfixture.h"

#include <QRegularExpression>

using namespace qv;
using namespace qv::test;

namespace {

const QString kRunLines = QStringLiteral(
    "SELECT ID, PARENT_ID, OPERATION, OPTIONS, OBJECT_NAME, CARDINALITY, FILTER_PREDICATES, "
    "LAST_STARTS, LAST_OUTPUT_ROWS FROM V$SQL_PLAN_STATISTICS_ALL WHERE SQL_ID = '%1' AND "
    "CHILD_NUMBER = %2 ORDER BY ID");

// dept: 50 departments. emp: 5,000 employees, 100 in each department, salaries 0 to 4,990 in
// steps of ten (each ten times), indexed.
class PlanShapes : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        for (const char* sql : {
                 "create table dept (dept_id number(6) constraint pk_dept primary key, dname "
                 "varchar2(30) not null)",
                 "create table emp (emp_id number(8) primary key, dept_id number(6) references "
                 "dept, ename varchar2(40), salary number(10,2), hired date)",
                 "insert into dept select level, 'dept ' || level from dual connect by level <= 50",
                 "insert into emp select level, 1 + mod(level, 50), 'emp ' || level, "
                 "10 * mod(level, 500), date '2020-01-01' + mod(level, 900) from dual "
                 "connect by level <= 5000",
                 "create index ix_emp_salary on emp (salary)",
                 "create index ix_emp_dept on emp (dept_id)",
                 "begin dbms_stats.gather_schema_stats('SCOTT'); end;",
             })
            db_->execute(QString::fromUtf8(sql));
        db_->execute(planTableCreateStatement(kPlanTable));
        stats_ = connect();
        db_->execute("ALTER SESSION SET STATISTICS_LEVEL = ALL");
    }

    // "id:parent OPERATION OPTIONS OBJECT|starts|rows" of each line the run measured, after
    // checking that EXPLAIN PLAN gives the same lines, ids and estimates.
    QStringList lines(const QString& sql) {
        auto rs = db_->openRecordset(sql);
        rs->skipToEnd();
        rs->close();
        const int64_t sid = db_->sessionId();
        const QStringList id = rowsOf(*stats_, QStringLiteral("SELECT PREV_SQL_ID, "
                                                              "PREV_CHILD_NUMBER FROM "
                                                              "V$SESSION WHERE SID = %1")
                                                   .arg(sid))
                                   .value(0)
                                   .split(u'|');
        QStringList out, ran;
        filters_.clear();
        for (const QString& row : rowsOf(*stats_, kRunLines.arg(id.value(0), id.value(1)))) {
            QStringList f = row.split(u'|');
            f.replaceInStrings(QStringLiteral("null"), QString());
            const QString line = QStringList{f[2], f[3], f[4]}.join(u' ').simplified().prepend(
                f[0] + u':' + f[1] + u' ');
            out << line + u'|' + f[7] + u'|' + f[8];
            ran << line + u'|' + f[5];
            if (!f[6].isEmpty())
                filters_[f[0].toInt()] = f[6];
        }
        db_->execute(planDeleteStatement(kPlanTable));
        db_->execute(explainPlanStatement(kPlanTable, sql));
        QStringList explained;
        for (const QString& row :
             rowsOf(*db_, QStringLiteral("SELECT ID, PARENT_ID, OPERATION, OPTIONS, OBJECT_NAME, "
                                         "CARDINALITY FROM %1 ORDER BY ID")
                              .arg(kPlanTable))) {
            QStringList f = row.split(u'|');
            f.replaceInStrings(QStringLiteral("null"), QString());
            explained << QStringList{f[2], f[3], f[4]}.join(u' ').simplified().prepend(
                             f[0] + u':' + f[1] + u' ') +
                             u'|' + f[5];
        }
        EXPECT_EQ(explained, ran) << sql.toStdString();
        return out;
    }

    std::unique_ptr<embedded::EmbeddedDatabase> stats_;
    QMap<int, QString> filters_;  // line id -> its filter, of the last lines()
};

// ROWNUM stops the query at its COUNT STOPKEY; FETCH FIRST numbers the rows in a window its VIEW
// filters; a ranking filtered outside its view is pushed into the window.
TEST_F(PlanShapes, RowLimitsStopTheRowsTheirLinesCount) {
    EXPECT_EQ(lines("select ename from emp where rownum <= 5"),
              (QStringList{"0: SELECT STATEMENT|1|5", "1:0 COUNT STOPKEY|1|5",
                           "2:1 TABLE ACCESS FULL EMP|1|5"}));
    EXPECT_EQ(filters_.value(1), "ROWNUM<=5");
    // Numbered before they are sorted: the engine's own subquery stops at the fifth row.
    EXPECT_EQ(lines("select ename from emp where rownum <= 5 order by hired"),
              (QStringList{"0: SELECT STATEMENT|1|5", "1:0 SORT ORDER BY|1|5",
                           "2:1 COUNT STOPKEY|1|5", "3:2 TABLE ACCESS FULL EMP|1|5"}));
    EXPECT_EQ(filters_.value(2), "ROWNUM<=5");
    // Each member of a set operation has its own.
    EXPECT_EQ(lines("select ename from emp where rownum <= 3 union all select dname from dept "
                    "where rownum <= 2"),
              (QStringList{"0: SELECT STATEMENT|1|5", "1:0 UNION-ALL|1|5", "2:1 COUNT STOPKEY|1|",
                           "3:2 TABLE ACCESS FULL EMP|1|3", "4:1 COUNT STOPKEY|1|",
                           "5:4 TABLE ACCESS FULL DEPT|1|2"}));
    EXPECT_EQ(filters_.value(4), "ROWNUM<=2");
    EXPECT_EQ(lines("select * from (select ename, hired from emp order by hired desc) "
                    "where rownum <= 3"),
              (QStringList{"0: SELECT STATEMENT|1|3", "1:0 COUNT STOPKEY|1|3", "2:1 VIEW|1|3",
                           "3:2 SORT ORDER BY STOPKEY|1|3", "4:3 TABLE ACCESS FULL EMP|1|5000"}));
    EXPECT_EQ(filters_.value(3), "ROWNUM<=3");
    EXPECT_EQ(lines("select ename, hired from emp order by hired desc fetch first 4 rows only"),
              (QStringList{"0: SELECT STATEMENT|1|4", "1:0 VIEW|1|4",
                           "2:1 WINDOW SORT PUSHED RANK|1|4", "3:2 TABLE ACCESS FULL EMP|1|5000"}));
    EXPECT_EQ(filters_.value(1), R"("from$_subquery$_002"."rowlimit_$$_rownumber"<=4)");
    EXPECT_EQ(filters_.value(2),
              R"(ROW_NUMBER() OVER ( ORDER BY INTERNAL_FUNCTION("EMP"."HIRED") DESC )<=4)");
    // The skipped rows are numbered too, but not counted.
    EXPECT_EQ(lines("select ename from emp order by hired offset 10 rows fetch next 4 rows only"),
              (QStringList{"0: SELECT STATEMENT|1|4", "1:0 VIEW|1|4",
                           "2:1 WINDOW SORT PUSHED RANK|1|", "3:2 TABLE ACCESS FULL EMP|1|5000"}));
    EXPECT_EQ(lines("select emp_id from emp order by salary fetch first 2 rows only").mid(1, 2),
              (QStringList{"1:0 VIEW|1|2", "2:1 WINDOW NOSORT STOPKEY|1|2"}));
    const QStringList ranked = lines(
        "select * from (select ename, row_number() over (order by hired) rn from emp) "
        "where rn <= 3");
    EXPECT_EQ(ranked.mid(1, 3), (QStringList{"1:0 VIEW|1|3", "2:1 WINDOW SORT PUSHED RANK|1|",
                                             "3:2 TABLE ACCESS FULL EMP|1|5000"}));
    EXPECT_EQ(filters_.value(1), R"("RN"<=3)");
    // Ranked within partitions and joined: each department keeps its first.
    const QStringList joined = lines(
        "select v.ename, d.dname from (select dept_id, ename, row_number() over (partition by "
        "dept_id order by salary desc) rn from emp) v join dept d on d.dept_id = v.dept_id "
        "where v.rn = 1");
    const QStringList view = joined.filter(QRegularExpression(R"(^\d+:\d+ VIEW\|)"));
    ASSERT_EQ(view.size(), 1) << joined.join(u'\n').toStdString();
    EXPECT_EQ(view[0].section(u' ', 1), "VIEW|1|50");
    EXPECT_EQ(filters_.value(view[0].section(u':', 0, 0).toInt()), R"("V"."RN"=1)");
    EXPECT_EQ(joined.filter("WINDOW").value(0).section(u' ', 1), "WINDOW SORT PUSHED RANK|1|");
}

// A window sorts its rows, or numbers them as they come when an index or a sorted grouping gives
// their order.
TEST_F(PlanShapes, AnalyticFunctionsDrawTheirWindow) {
    EXPECT_EQ(lines("select ename, sum(salary) over (partition by dept_id order by hired) s "
                    "from emp"),
              (QStringList{"0: SELECT STATEMENT|1|5000", "1:0 WINDOW SORT|1|5000",
                           "2:1 TABLE ACCESS BY INDEX ROWID EMP|1|5000",
                           "3:2 INDEX FULL SCAN IX_EMP_DEPT|1|5000"}));
    const QStringList grouped = lines(
        "select dept_id, count(*), rank() over (order by count(*) desc) r from emp group by "
        "dept_id");
    EXPECT_EQ(grouped.mid(0, 3), (QStringList{"0: SELECT STATEMENT|1|50", "1:0 WINDOW SORT|1|50",
                                              "2:1 SORT GROUP BY NOSORT|1|50"}));
    // What the index hands the window is not counted apart from what the window hands on.
    EXPECT_EQ(
        lines("select salary, row_number() over (order by salary) n from emp").mid(1, 2),
        (QStringList{"1:0 WINDOW NOSORT|1|5000", "2:1 INDEX FULL SCAN IX_EMP_SALARY|1|5000"}));
}

// HAVING filters the groups above their GROUP BY; a scalar subquery of the select list stands
// before the query it is evaluated for, once per row.
TEST_F(PlanShapes, HavingFiltersGroupsAndScalarSubqueriesServeTheirRows) {
    EXPECT_EQ(
        lines("select dept_id, count(*) from emp group by dept_id having count(*) > 99"),
        (QStringList{"0: SELECT STATEMENT|1|50", "1:0 FILTER|1|50", "2:1 SORT GROUP BY NOSORT|1|",
                     "3:2 INDEX FULL SCAN IX_EMP_DEPT|1|5000"}));
    EXPECT_EQ(filters_.value(1), "COUNT(*)>99");
    EXPECT_EQ(filters_.value(2), "");
    EXPECT_EQ(lines("select e.ename, (select d.dname from dept d where d.dept_id = e.dept_id) dn "
                    "from emp e where e.salary < 20"),
              (QStringList{"0: SELECT STATEMENT|1|20", "1:0 TABLE ACCESS BY INDEX ROWID DEPT|20|20",
                           "2:1 INDEX UNIQUE SCAN PK_DEPT|20|20",
                           "3:0 TABLE ACCESS BY INDEX ROWID EMP|1|20",
                           "4:3 INDEX RANGE SCAN IX_EMP_SALARY|1|20"}));
}

// Set operations as 19c draws them: UNION is SORT UNIQUE over UNION-ALL, MINUS and INTERSECT
// sort each member unique below them; a figure the merge does not count is left empty.
TEST_F(PlanShapes, SetOperationsSortTheirMembersAsOracleDoes) {
    const struct {
        const char* sql;
        QStringList lines;
    } cases[] = {
        {"select dept_id from emp union select dept_id from dept",
         {"0: SELECT STATEMENT|1|50", "1:0 SORT UNIQUE|1|50", "2:1 UNION-ALL|1|5050",
          "3:2 INDEX FAST FULL SCAN IX_EMP_DEPT|1|5000", "4:2 INDEX FAST FULL SCAN PK_DEPT|1|50"}},
        // Every department has someone earning above 4,000; the merge stops reading EMP once
        // DEPT is done.
        {"select dept_id from dept minus select dept_id from emp where salary > 4000",
         {"0: SELECT STATEMENT|1|0", "1:0 MINUS|1|0", "2:1 SORT UNIQUE|1|",
          "3:2 INDEX FAST FULL SCAN PK_DEPT|1|50", "4:1 SORT UNIQUE|1|",
          "5:4 TABLE ACCESS BY INDEX ROWID EMP|1|971", "6:5 INDEX FULL SCAN IX_EMP_DEPT|1|4909"}},
        // The merge stops reading DEPT once EMP is done.
        {"select dept_id from dept intersect select dept_id from emp where salary < 10",
         {"0: SELECT STATEMENT|1|1", "1:0 INTERSECTION|1|1", "2:1 SORT UNIQUE|1|",
          "3:2 INDEX FAST FULL SCAN PK_DEPT|1|2", "4:1 SORT UNIQUE|1|",
          "5:4 TABLE ACCESS BY INDEX ROWID EMP|1|10", "6:5 INDEX RANGE SCAN IX_EMP_SALARY|1|10"}},
        {"select ename from emp where salary < 20 union all select dname from dept order by 1",
         {"0: SELECT STATEMENT|1|70", "1:0 SORT ORDER BY|1|70", "2:1 UNION-ALL|1|70",
          "3:2 TABLE ACCESS BY INDEX ROWID EMP|1|20", "4:3 INDEX RANGE SCAN IX_EMP_SALARY|1|20",
          "5:2 TABLE ACCESS FULL DEPT|1|50"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lines(QString::fromLatin1(c.sql)), c.lines) << c.sql;
}

// A WITH query read twice is loaded once into a temporary table that both read; read once, it is
// a view of its own.
TEST_F(PlanShapes, AWithQueryReadTwiceIsLoadedIntoATemporaryTable) {
    const QStringList shared = lines(
        "with w as (select dept_id, count(*) c from emp group by dept_id) "
        "select x.dept_id, y.c from w x, w y where x.dept_id = y.dept_id + 1");
    ASSERT_GE(shared.size(), 6);
    EXPECT_EQ(shared[1], "1:0 TEMP TABLE TRANSFORMATION|1|49");
    EXPECT_TRUE(shared[2].startsWith("2:1 LOAD AS SELECT SYS_TEMP_0FD9D66"))
        << shared[2].toStdString();
    EXPECT_TRUE(shared.filter(QRegularExpression(R"(^\d+:\d+ VIEW\|1\|50$)")).size() >= 1)
        << shared.join(u'\n').toStdString();
    EXPECT_EQ(shared.filter("TABLE ACCESS FULL SYS_TEMP_0FD9D66").size(), 2)
        << shared.join(u'\n').toStdString();
    const QStringList once = lines(
        "with w as (select dept_id, count(*) c from emp group by dept_id) select * from w "
        "where c > 10");
    EXPECT_TRUE(once.filter("TEMP TABLE").isEmpty()) << once.join(u'\n').toStdString();
}

}  // namespace
