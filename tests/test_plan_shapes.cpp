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
    "LAST_STARTS, LAST_OUTPUT_ROWS, ACCESS_PREDICATES FROM V$SQL_PLAN_STATISTICS_ALL WHERE SQL_ID "
    "= '%1' AND "
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
                 "create table emp (emp_id number(8) primary key, dept_id number(6) not null "
                 "references dept, ename varchar2(40), salary number(10,2) not null, hired date)",
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
        lastSqlId_ = id.value(0);
        access_.clear();
        for (const QString& row : rowsOf(*stats_, kRunLines.arg(id.value(0), id.value(1)))) {
            QStringList f = row.split(u'|');
            f.replaceInStrings(QStringLiteral("null"), QString());
            const QString line = QStringList{f[2], f[3], f[4]}.join(u' ').simplified().prepend(
                f[0] + u':' + f[1] + u' ');
            out << line + u'|' + f[7] + u'|' + f[8];
            ran << line + u'|' + f[5];
            if (!f[6].isEmpty())
                filters_[f[0].toInt()] = f[6];
            if (!f[9].isEmpty())
                access_[f[0].toInt()] = f[9];
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

    // The pages the statement of the last lines() read.
    qlonglong buffers() {
        return rowsOf(*stats_, QStringLiteral("SELECT LAST_CR_BUFFER_GETS FROM "
                                              "V$SQL_PLAN_STATISTICS_ALL WHERE SQL_ID = '%1' AND "
                                              "ID = 0")
                                   .arg(lastSqlId_))
            .value(0)
            .toLongLong();
    }

    std::unique_ptr<embedded::EmbeddedDatabase> stats_;
    QString lastSqlId_;
    QMap<int, QString> filters_;  // line id -> its filter, of the last lines()
    QMap<int, QString> access_;   // line id -> its access predicate, of the last lines()
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
              (QStringList{"0: SELECT STATEMENT|1|5", "1:0 UNION-ALL|1|5", "2:1 COUNT STOPKEY|1|3",
                           "3:2 TABLE ACCESS FULL EMP|1|3", "4:1 COUNT STOPKEY|1|2",
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
    // The skipped rows are numbered and handed on too.
    EXPECT_EQ(
        lines("select ename from emp order by hired offset 10 rows fetch next 4 rows only"),
        (QStringList{"0: SELECT STATEMENT|1|4", "1:0 VIEW|1|4", "2:1 WINDOW SORT PUSHED RANK|1|14",
                     "3:2 TABLE ACCESS FULL EMP|1|5000"}));
    EXPECT_EQ(lines("select emp_id from emp order by salary fetch first 2 rows only").mid(1, 2),
              (QStringList{"1:0 VIEW|1|2", "2:1 WINDOW NOSORT STOPKEY|1|2"}));
    const QStringList ranked = lines(
        "select * from (select ename, row_number() over (order by hired) rn from emp) "
        "where rn <= 3");
    EXPECT_EQ(ranked.mid(1, 3), (QStringList{"1:0 VIEW|1|3", "2:1 WINDOW SORT PUSHED RANK|1|3",
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

// Paging through an index: the window stops at the last rank kept and the index stops with it,
// read backwards for a descending order; rowids fetched for an order or a STOPKEY one by one,
// others in batches; a function-based index is searched by its expression.
TEST_F(PlanShapes, PagesStopEarlyAndIndexesGiveTheirOrder) {
    const QString page = QStringLiteral(
        "select * from (select emp_id, row_number() over (order by salary%1) rn from emp) "
        "where rn %2");
    EXPECT_EQ(
        lines(page.arg("", "between 3 and 5")),
        (QStringList{"0: SELECT STATEMENT|1|3", "1:0 VIEW|1|3", "2:1 WINDOW NOSORT STOPKEY|1|5",
                     "3:2 TABLE ACCESS BY INDEX ROWID EMP|1|6",
                     "4:3 INDEX FULL SCAN IX_EMP_SALARY|1|6"}));
    EXPECT_EQ(filters_.value(1), R"("RN">=3 AND "RN"<=5)");
    EXPECT_EQ(filters_.value(2), R"(ROW_NUMBER() OVER ( ORDER BY "SALARY")<=5)");
    // The rows are those of the same ranking read to its end.
    EXPECT_EQ(rowsOf(*db_, page.arg(" desc", "<= 12")),
              rowsOf(*db_, page.arg(" desc", "+ 0 <= 12")));
    EXPECT_EQ(lines(page.arg(" desc", "<= 12")).value(4),
              "4:3 INDEX FULL SCAN DESCENDING IX_EMP_SALARY|1|13");
    // Numbered again outside the view that ROWNUM stops: one VIEW under the count.
    EXPECT_EQ(lines("select * from (select a.*, rownum rnum from (select ename from emp order by "
                    "hired) a where rownum <= 20) where rnum > 10")
                  .mid(1, 4),
              (QStringList{"1:0 VIEW|1|10", "2:1 COUNT STOPKEY|1|20", "3:2 VIEW|1|20",
                           "4:3 SORT ORDER BY STOPKEY|1|20"}));
    EXPECT_EQ(filters_.value(4), "ROWNUM<=20");
    EXPECT_EQ(filters_.value(1), R"("RNUM">10)");
    EXPECT_EQ(
        lines("select ename from emp where emp_id between 100 and 129 order by emp_id desc").mid(1),
        (QStringList{"1:0 TABLE ACCESS BY INDEX ROWID EMP|1|30",
                     "2:1 INDEX RANGE SCAN DESCENDING SYS_C0010002|1|30"}));
    EXPECT_EQ(lines("select ename from emp where emp_id between 100 and 129").value(1),
              "1:0 TABLE ACCESS BY INDEX ROWID BATCHED EMP|1|30");
    db_->execute("create index ix_emp_upper on emp (upper(ename))");
    db_->execute("begin dbms_stats.gather_table_stats('SCOTT', 'EMP'); end;");
    EXPECT_EQ(lines("select emp_id from emp where upper(ename) = 'EMP 77'").mid(1),
              (QStringList{"1:0 TABLE ACCESS BY INDEX ROWID BATCHED EMP|1|1",
                           "2:1 INDEX RANGE SCAN IX_EMP_UPPER|1|1"}));
    EXPECT_EQ(access_.value(2), R"(UPPER("ENAME")='EMP 77')");
    db_->execute(explainPlanStatement(kPlanTable,
                                      "create table top5 as select * from emp "
                                      "where rownum <= 5"));
    EXPECT_EQ(
        rowsOf(*db_, "select operation || ' ' || options from " + kPlanTable + " where id = 3"),
        QStringList{"COUNT STOPKEY"});
}

// RANK and DENSE_RANK read through an index stop after the last tie of the last rank kept, with
// the rows of the same ranking read to its end (ties, NULLs first or last, descending, a bind);
// read in a sort (an index that lacks the NULL keys gives no order of all rows, nor one of NULLs
// first), or ranked within partitions, every row is read.
TEST_F(PlanShapes, RanksReadInIndexOrderStopAfterTheirLastTie) {
    for (const char* sql :
         {"create table rk (id number primary key, k number not null, n number, p number not "
          "null, v varchar2(20))",
          "insert into rk select level, trunc(mod(level * 7919, 20000) / 4), case when mod(level, "
          "9) = 0 then null else mod(level, 700) end, mod(level, 4), 'v' || mod(level, 977) from "
          "dual connect by level <= 20000",
          "create index ix_rk_k on rk (k)", "create index ix_rk_n on rk (n)",
          "create index ix_rk_pk on rk (p, k)", "create index ix_rk_kn on rk (k, n, id)",
          "begin dbms_stats.gather_table_stats('SCOTT', "
          "'RK'); end;"})
        db_->execute(QString::fromUtf8(sql));
    const QString page =
        QStringLiteral("select * from (select id, %1 over (%2) r from rk%3) where r %4");
    const struct {
        QStringList arguments;  // of `page`
        QString window;         // its line, when its rows are all the query's
    } cases[] = {
        {{"rank()", "order by k", "", "<= 10"}, "NOSORT STOPKEY"},
        {{"dense_rank()", "order by k desc", "", "< 4"}, "NOSORT STOPKEY"},
        // n's index lacks the rows whose n is NULL: sorted.
        {{"rank()", "order by n", "", "<= 30"}, "SORT PUSHED RANK"},
        {{"rank()", "order by n desc", "", "= 1"}, "SORT PUSHED RANK"},      // the NULLs
        {{"dense_rank()", "order by n", "", "<= 701"}, "SORT PUSHED RANK"},  // all
        {{"rank()", "order by k", " where p = 1", "between 4 and 8"}, "NOSORT STOPKEY"},
        {{"rank()", "order by v", "", "<= 10"}, "SORT PUSHED RANK"},
        {{"row_number()", "partition by p order by k", "", "<= 2"}, "NOSORT"},
        // (k, n, id)'s index has every row, its NULLs after the other values as Oracle's has them:
        // SQLite sorts each k's rows again for that, Oracle reads in the index's order.
        {{"row_number()", "order by k, n", "", "<= 10"}, "NOSORT STOPKEY"},
        {{"row_number()", "order by k desc, n desc nulls first", "", "<= 10"}, "NOSORT STOPKEY"},
    };
    for (const auto& c : cases) {
        const QString sql =
            page.arg(c.arguments[0], c.arguments[1], c.arguments[2], c.arguments[3]);
        QStringList full = rowsOf(*db_, page.arg(c.arguments[0], c.arguments[1], c.arguments[2],
                                                 "+ 0 " + c.arguments[3]));
        const QStringList ran = lines(sql);
        const qlonglong gets = buffers();
        QStringList kept = rowsOf(*db_, sql);
        std::sort(full.begin(), full.end());
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(kept, full) << sql.toStdString();
        // The window hands on the rows ranked up to the last rank kept.
        const bool stopped = c.window == u"NOSORT STOPKEY";
        const QString window = ran.value(2).section(u' ', 1);
        EXPECT_EQ(window.section(u'|', 0, 1), "WINDOW " + c.window + "|1") << sql.toStdString();
        if (stopped && !sql.contains("between")) {
            EXPECT_EQ(window.section(u'|', 2), QString::number(full.size())) << sql.toStdString();
        }
        // Stopped, a few pages for each row kept; read whole, the table's ~130 pages once.
        if (stopped && full.size() < 100) {
            EXPECT_LT(gets, full.size() + 50) << sql.toStdString();
        } else {
            EXPECT_GT(gets, 100) << sql.toStdString();
        }
        if (c.window == u"SORT PUSHED RANK") {
            EXPECT_LT(gets, 200) << sql.toStdString();
        }
    }
    // The last rank kept told by a bind variable when it runs.
    const QString bound = page.arg("rank()", "order by k desc", "", "<= :n");
    EXPECT_EQ(db_->openRecordset(bound, {{"n", BindType::Number, "6"}})->skipToEnd(),
              rowsOf(*db_, page.arg("rank()", "order by k desc", "", "<= 6")).size());
}

// An OR of conditions each found by an index is expanded into a branch per condition, each
// later one dropping what an earlier one found; costlier than a full scan, it is not.
TEST_F(PlanShapes, AnOrOfIndexedConditionsIsExpandedWhenCheaper) {
    // Some salaries unknown: LNNVL keeps their rows in the later branch.
    db_->execute("alter table emp modify (salary null)");
    db_->execute("update emp set salary = null where mod(emp_id, 7) = 0");
    const QString sql =
        QStringLiteral("select emp_id from emp where salary = 20 or emp_id = %1 order by emp_id");
    const QStringList expanded = lines(sql.arg(14));
    ASSERT_EQ(expanded.size(), 8) << expanded.join(u'\n').toStdString();
    EXPECT_TRUE(expanded[2].startsWith("2:1 VIEW VW_ORE_")) << expanded[2].toStdString();
    EXPECT_EQ(expanded.mid(3),
              (QStringList{"3:2 UNION-ALL|1|10", "4:3 TABLE ACCESS BY INDEX ROWID BATCHED EMP|1|9",
                           "5:4 INDEX RANGE SCAN IX_EMP_SALARY|1|9",
                           "6:3 TABLE ACCESS BY INDEX ROWID EMP|1|1",
                           "7:6 INDEX UNIQUE SCAN SYS_C0010002|1|1"}));
    EXPECT_EQ(access_.value(5), R"("SALARY"=20)");
    EXPECT_EQ(filters_.value(6), R"(LNNVL("SALARY"=20))");
    for (const int id : {14, 2})
        EXPECT_EQ(rowsOf(*db_, sql.arg(id)),
                  rowsOf(*db_, "select /*+ full(emp) */" + sql.arg(id).mid(6)));
    EXPECT_EQ(lines("select emp_id from emp where salary = 20 or dept_id < 40").value(1),
              "1:0 TABLE ACCESS FULL EMP|1|3900");
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
        (QStringList{"0: SELECT STATEMENT|1|50", "1:0 FILTER|1|50", "2:1 SORT GROUP BY NOSORT|1|50",
                     "3:2 INDEX FULL SCAN IX_EMP_DEPT|1|5000"}));
    EXPECT_EQ(filters_.value(1), "COUNT(*)>99");
    EXPECT_EQ(filters_.value(2), "");
    EXPECT_EQ(
        lines("select e.ename, (select d.dname from dept d where d.dept_id = e.dept_id) dn "
              "from emp e where e.salary < 20"),
        (QStringList{"0: SELECT STATEMENT|1|20", "1:0 TABLE ACCESS BY INDEX ROWID DEPT|20|20",
                     "2:1 INDEX UNIQUE SCAN PK_DEPT|20|20", "3:0 TABLE ACCESS FULL EMP|1|20"}));
}

// Set operations as 19c draws them: UNION is SORT UNIQUE over UNION-ALL, MINUS and INTERSECT
// sort each member unique below them; a figure the merge does not count is left empty, a
// member's own DISTINCT counts its distinct rows.
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
          "5:4 TABLE ACCESS BY INDEX ROWID BATCHED EMP|1|10",
          "6:5 INDEX RANGE SCAN IX_EMP_SALARY|1|10"}},
        // A department's hundred employees earn ten salaries: its SORT UNIQUE, the member's
        // DISTINCT and the MINUS's own in one, hands on ten.
        {"select distinct salary from emp where dept_id = 3 minus select distinct salary from emp "
         "where emp_id < 100",
         {"0: SELECT STATEMENT|1|8", "1:0 MINUS|1|8", "2:1 SORT UNIQUE|1|10",
          "3:2 TABLE ACCESS FULL EMP|1|100", "4:1 SORT UNIQUE|1|99",
          "5:4 TABLE ACCESS BY INDEX ROWID BATCHED EMP|1|99",
          "6:5 INDEX RANGE SCAN SYS_C0010002|1|99"}},
        // A UNION's SORT UNIQUE is the MINUS's; a query in parentheses is a SELECT.
        {"select dept_id from emp union select dept_id from dept minus (select dept_id from "
         "dept where dept_id > 3)",
         {"0: SELECT STATEMENT|1|3", "1:0 MINUS|1|3", "2:1 SORT UNIQUE|1|", "3:2 UNION-ALL|1|5050",
          "4:3 INDEX FAST FULL SCAN IX_EMP_DEPT|1|5000", "5:3 INDEX FAST FULL SCAN PK_DEPT|1|50",
          "6:1 SORT UNIQUE|1|", "7:6 INDEX RANGE SCAN PK_DEPT|1|47"}},
        // One row found by its key: what the member's one lookup handed on.
        {"select dept_id from dept where dept_id < 4 minus select dept_id from emp where emp_id = "
         "5",
         {"0: SELECT STATEMENT|1|3", "1:0 MINUS|1|3", "2:1 SORT UNIQUE|1|",
          "3:2 INDEX RANGE SCAN PK_DEPT|1|3", "4:1 SORT UNIQUE|1|",
          "5:4 TABLE ACCESS BY INDEX ROWID EMP|1|1", "6:5 INDEX UNIQUE SCAN SYS_C0010002|1|1"}},
        {"select ename from emp where salary < 20 union all select dname from dept order by 1",
         {"0: SELECT STATEMENT|1|70", "1:0 SORT ORDER BY|1|70", "2:1 UNION-ALL|1|70",
          "3:2 TABLE ACCESS FULL EMP|1|20", "4:2 TABLE ACCESS FULL DEPT|1|50"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lines(QString::fromLatin1(c.sql)), c.lines) << c.sql;
    EXPECT_EQ(lines("(select dept_id from dept) intersect (select dept_id from emp)").value(0),
              "0: SELECT STATEMENT|1|50");
    // Members reading one table, each by conditions of its own: estimated, found and filtered
    // by those alone, the row limit on its count.
    EXPECT_EQ(lines("select ename from emp where salary < 20 and rownum <= 5 minus select ename "
                    "from emp where salary >= 4900"),
              (QStringList{"0: SELECT STATEMENT|1|5", "1:0 MINUS|1|5", "2:1 SORT UNIQUE|1|",
                           "3:2 COUNT STOPKEY|1|5", "4:3 TABLE ACCESS BY INDEX ROWID EMP|1|5",
                           "5:4 INDEX RANGE SCAN IX_EMP_SALARY|1|5", "6:1 SORT UNIQUE|1|",
                           "7:6 TABLE ACCESS BY INDEX ROWID BATCHED EMP|1|100",
                           "8:7 INDEX RANGE SCAN IX_EMP_SALARY|1|100"}));
    EXPECT_EQ(filters_, (QMap<int, QString>{{3, "ROWNUM<=5"}}));
    EXPECT_EQ(access_, (QMap<int, QString>{{5, R"("SALARY"<20)"}, {8, R"("SALARY">=4900)"}}));
    EXPECT_EQ(
        rowsOf(*db_, QStringLiteral("SELECT CARDINALITY FROM %1 WHERE ID >= 6").arg(kPlanTable)),
        (QStringList{"100", "100", "100"}));
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

// A b-tree keeps no entry whose key is NULL: the index on a column empty in nine rows of ten
// serves neither IS NULL nor a read of all rows, only rows with a value. Reading every row in
// the order of an index whose keys are scattered costs a fetch per row: a full scan and a sort
// cost less, and the run reads as few pages as the plan says.
TEST_F(PlanShapes, IndexesServeOnlyTheRowsTheyHoldAndFullScansSortBigTables) {
    for (const char* sql : {"alter table emp add bonus number",
                            "update emp set bonus = salary where mod(emp_id, 10) = 0",
                            "create index ix_emp_bonus on emp (bonus)",
                            "begin dbms_stats.gather_table_stats('SCOTT', 'EMP'); end;"})
        db_->execute(QString::fromUtf8(sql));
    // Line and starts: the rows under an aggregate are not all counted.
    auto started = [&](const char* sql) { return lines(sql).value(2).section(u'|', 0, 1); };
    EXPECT_EQ(started("select count(*) from emp where bonus is null"),
              "2:1 TABLE ACCESS FULL EMP|1");
    EXPECT_EQ(lines("select bonus from emp order by bonus").mid(1),
              (QStringList{"1:0 SORT ORDER BY|1|5000", "2:1 TABLE ACCESS FULL EMP|1|5000"}));
    EXPECT_EQ(started("select count(bonus) from emp"), "2:1 INDEX FAST FULL SCAN IX_EMP_BONUS|1");
    // IS NOT NULL alone: the index read whole, its 500 entries estimated from NUM_NULLS, the
    // condition a filter on the index line.
    EXPECT_EQ(lines("select count(*) from emp where bonus is not null").value(2),
              "2:1 INDEX FAST FULL SCAN IX_EMP_BONUS|1|500");
    EXPECT_EQ(
        rowsOf(*db_, QStringLiteral("SELECT CARDINALITY FROM %1 WHERE ID = 2").arg(kPlanTable)),
        QStringList{"500"});
    EXPECT_EQ(filters_.value(2), R"("BONUS" IS NOT NULL)");
    // A view grouping by BONUS, joined to a table, has the group of NULLs: read whole. The
    // table it is joined to is hashed with its own condition.
    const QStringList grouped = lines(
        "select d.dname, v.c from dept d join (select bonus, count(*) c from emp group by bonus) "
        "v on v.bonus = d.dept_id where d.dname > 'dept 40'");
    EXPECT_EQ(grouped.filter(u"IX_EMP_BONUS").size(), 0) << grouped.join(u' ').toStdString();
    EXPECT_EQ(grouped.filter(u"TABLE ACCESS FULL DEPT|1|").value(0).section(u'|', 2),
              rowsOf(*db_, "select count(*) from dept where dname > 'dept 40'").value(0));
    // A view's own condition filters its table under an outer join, not the join's rows.
    const QStringList outerView = lines(
        "select count(*) from emp e left join (select * from dept where dname > 'dept 40') d on "
        "d.dept_id = e.dept_id");
    const qsizetype deptLine = outerView.indexOf(
        outerView.filter(QRegularExpression(QStringLiteral(R"(^\d+:\d+ TABLE ACCESS .* DEPT\|)")))
            .value(0));
    ASSERT_GE(deptLine, 0) << outerView.join(u' ').toStdString();
    EXPECT_EQ(filters_.value(int(deptLine)), R"("DEPT"."DNAME">'dept 40')")
        << outerView.join(u' ').toStdString();
    // An outer join keeps the rows its ON condition fails: the index lacks those of EMP. An
    // inner join drops them.
    for (const char* join : {"left", "full", "inner"}) {
        const QStringList plan =
            lines(QStringLiteral("select count(*) from emp e %1 join dept d on d.dept_id = e.bonus")
                      .arg(QLatin1String(join)));
        EXPECT_EQ(plan.filter(u"IX_EMP_BONUS").size(), join == std::string_view("inner") ? 1 : 0)
            << join << " " << plan.join(u' ').toStdString();
    }
    EXPECT_EQ(lines("select /*+ index(emp ix_emp_bonus) */ ename from emp where bonus is not "
                    "null order by bonus")
                  .value(2),
              "2:1 INDEX FULL SCAN IX_EMP_BONUS|1|500");
    EXPECT_EQ(filters_.value(2), R"("BONUS" IS NOT NULL)");
    EXPECT_EQ(lines("select ename from emp where bonus = 100").mid(1),
              (QStringList{"1:0 TABLE ACCESS BY INDEX ROWID BATCHED EMP|1|10",
                           "2:1 INDEX RANGE SCAN IX_EMP_BONUS|1|10"}));
    // Each department's employees lie on every page: the index read whole fetches a page per row.
    EXPECT_EQ(lines("select dept_id, sum(salary) from emp group by dept_id").mid(1),
              (QStringList{"1:0 HASH GROUP BY|1|50", "2:1 TABLE ACCESS FULL EMP|1|5000"}));
    EXPECT_EQ(lines("select * from emp order by dept_id").mid(1),
              (QStringList{"1:0 SORT ORDER BY|1|5000", "2:1 TABLE ACCESS FULL EMP|1|5000"}));
    const qlonglong full = buffers();
    EXPECT_EQ(lines("select /*+ index(emp ix_emp_dept) */ * from emp order by dept_id").mid(1),
              (QStringList{"1:0 TABLE ACCESS BY INDEX ROWID EMP|1|5000",
                           "2:1 INDEX FULL SCAN IX_EMP_DEPT|1|5000"}));
    EXPECT_LT(10 * full, buffers());
}

// FETCH FIRST ... WITH TIES keeps the rows equal to the last one kept on the ORDER BY keys, past
// an OFFSET; PERCENT keeps that share of all rows, rounded up. The rows are numbered, ranked and
// counted by one window over one read of the table.
TEST_F(PlanShapes, FetchWithTiesAndPercentKeepTheRowsOfOracle) {
    for (const char* sql :
         {"create table pg (id integer primary key, v number, pad varchar2(200))",
          "insert into pg select level, case when mod(level, 7) = 0 then null else "
          "mod(level * 31, 13) end, rpad('x', 200, 'x') from dual connect by level <= 3000",
          "begin dbms_stats.gather_table_stats('SCOTT', 'PG'); end;"})
        db_->execute(QString::fromUtf8(sql));
    // Sorted as Oracle sorts v ascending (NULLs last), then by id.
    std::vector<std::pair<int, int>> rows;  // (v or 99 for NULL, id)
    for (const QString& row : rowsOf(*db_, "select id, nvl(v, 99) from pg"))
        rows.push_back({row.section(u'|', 1).toInt(), row.section(u'|', 0, 0).toInt()});
    std::sort(rows.begin(), rows.end());
    // The ids from position `from` on, up to `to`, and those tied with the last one kept.
    auto kept = [&](const std::vector<std::pair<int, int>>& sorted, size_t from, size_t to,
                    bool ties) {
        QStringList ids;
        for (size_t k = from; k < sorted.size(); ++k) {
            if (k >= to && !(ties && sorted[k].first == sorted[to - 1].first))
                break;
            ids << QString::number(sorted[k].second);
        }
        if (ties)  // in no order among themselves
            ids.sort();
        return ids;
    };
    auto sortedIds = [&](const QString& sql) {
        QStringList ids = rowsOf(*db_, sql);
        ids.sort();
        return ids;
    };
    // A second read of the table would show: the rows sorted once cost this much.
    const qlonglong once = (lines("select id, v from pg order by v"), buffers());
    EXPECT_EQ(sortedIds("select id from pg order by v fetch first 10 rows with ties"),
              kept(rows, 0, 10, true));
    // The window hands on the rows ranked up to the count: those the view keeps.
    const QString tied = QString::number(kept(rows, 0, 10, true).size());
    EXPECT_EQ(lines("select id from pg order by v fetch first 10 rows with ties").mid(1),
              (QStringList{"1:0 VIEW|1|" + tied, "2:1 WINDOW SORT PUSHED RANK|1|" + tied,
                           "3:2 TABLE ACCESS FULL PG|1|3000"}));
    EXPECT_EQ(filters_.value(1), R"("from$_subquery$_002"."rowlimit_$$_rank"<=10)");
    EXPECT_EQ(filters_.value(2), R"(RANK() OVER ( ORDER BY "PG"."V")<=10)");
    EXPECT_EQ(lines("select count(*) from (select id from pg order by v fetch first 10 rows with "
                    "ties)")
                  .value(3),
              "3:2 VIEW|1|" + tied);
    EXPECT_LE(buffers(), once);
    // Descending, the NULLs come first and tie with each other.
    std::vector<std::pair<int, int>> descending = rows;
    std::stable_sort(descending.begin(), descending.end(),
                     [](auto a, auto b) { return a.first > b.first; });
    EXPECT_EQ(sortedIds("select id from pg order by v desc offset 420 rows fetch next 10 rows with "
                        "ties"),
              kept(descending, 420, 430, true));
    // The rows skipped are ranked up to the count too.
    EXPECT_EQ(
        lines("select id from pg order by v desc offset 420 rows fetch next 10 rows with ties")
            .value(2),
        "2:1 WINDOW SORT PUSHED RANK|1|" +
            QString::number(420 + kept(descending, 420, 430, true).size()));
    const QString share = QStringLiteral(
        "select id from pg order by v, id fetch first 7.45 percent "
        "rows only");
    EXPECT_EQ(rowsOf(*db_, share), kept(rows, 0, 224, false));  // in the ORDER BY's order
    // A share of all rows needs them all counted: the window hands every one on.
    EXPECT_EQ(lines(share).mid(1, 2), (QStringList{"1:0 VIEW|1|224", "2:1 WINDOW SORT|1|3000"}));
    EXPECT_EQ(filters_.value(1), R"("from$_subquery$_002"."rowlimit_$$_rownumber"<=CEIL("from$_)"
                                 R"(subquery$_002"."rowlimit_$$_total"*7.45/100))");
    EXPECT_LE(buffers(), once);
    EXPECT_EQ(
        lines("select id from pg order by id fetch first 5 percent rows only").mid(2, 2),
        (QStringList{"2:1 WINDOW NOSORT|1|3000", "3:2 TABLE ACCESS BY INDEX ROWID PG|1|3000"}));
    EXPECT_EQ(sortedIds("select id from pg order by v offset 2800 rows fetch first 10 percent "
                        "rows with ties"),
              kept(rows, 2800, 3000, true));
    // An ORDER BY an index on a column that is never NULL: read in its order up to the last tie.
    EXPECT_EQ(lines("select id, v from pg order by id fetch first 5 rows with ties").value(2),
              "2:1 WINDOW NOSORT STOPKEY|1|5");
    EXPECT_LT(10 * buffers(), once);
    EXPECT_EQ(
        rowsOf(*db_, "select id from pg order by id offset 2 rows fetch next 3 rows with ties"),
        (QStringList{"3", "4", "5"}));
    // So with the OFFSET and the count told by bind variables when it runs.
    EXPECT_EQ(db_->openRecordset(
                     "select id, v from pg order by id offset :o rows fetch next :n rows with ties",
                     {{"o", BindType::Number, "2"}, {"n", BindType::Number, "3"}})
                  ->skipToEnd(),
              3);
    lastSqlId_ = rowsOf(*stats_, QStringLiteral("SELECT PREV_SQL_ID FROM V$SESSION WHERE SID = %1")
                                     .arg(db_->sessionId()))
                     .value(0);
    EXPECT_LT(10 * buffers(), once);
    // The rowid is the primary key: read backwards through its index, three rows and no more.
    const QString key = rowsOf(*db_,
                               "select index_name from user_indexes where table_name = "
                               "'PG'")
                            .value(0);
    EXPECT_EQ(
        lines("select id, v from pg order by id desc fetch first 3 rows only").mid(2),
        (QStringList{"2:1 WINDOW NOSORT STOPKEY|1|3", "3:2 TABLE ACCESS BY INDEX ROWID PG|1|3",
                     "4:3 INDEX FULL SCAN DESCENDING " + key + "|1|3"}));
    EXPECT_LT(10 * buffers(), once);
    // The index on v holds no row whose v is NULL: a page of all rows in v's order sorts the
    // table, unless the view's conditions want a value.
    db_->execute("create index ix_pg_v on pg (v)");
    db_->execute("begin dbms_stats.gather_table_stats('SCOTT', 'PG'); end;");
    const QString top = QStringLiteral(
        "select * from (select id, v from pg%1 order by v desc) "
        "where rownum <= 3");
    EXPECT_EQ(lines(top.arg("")).mid(2),
              (QStringList{"2:1 VIEW|1|3", "3:2 SORT ORDER BY STOPKEY|1|3",
                           "4:3 TABLE ACCESS FULL PG|1|3000"}));
    EXPECT_EQ(rowsOf(*db_, top.arg("")).filter(QRegularExpression(R"(^\d+\|null$)")).size(), 3);
    // So for the ordered view under the numbered one of a page.
    const QString paged = QStringLiteral(
        "select * from (select a.*, rownum rn from (select id, v from pg order by v desc) a "
        "where rownum <= 3) where rn > 1");
    EXPECT_EQ(lines(paged).mid(4),
              (QStringList{"4:3 SORT ORDER BY STOPKEY|1|3", "5:4 TABLE ACCESS FULL PG|1|3000"}));
    EXPECT_EQ(rowsOf(*db_, paged).filter(QRegularExpression(R"(^\d+\|null\|[23]$)")).size(), 2);
    EXPECT_EQ(lines("select * from (select p.*, row_number() over (order by v desc) rn from pg p) "
                    "where rn <= 5")
                  .mid(2),
              (QStringList{"2:1 WINDOW SORT PUSHED RANK|1|5", "3:2 TABLE ACCESS FULL PG|1|3000"}));
    EXPECT_EQ(
        lines(top.arg(" where v > 0")).filter("INDEX RANGE SCAN DESCENDING IX_PG_V|1|3").size(), 1);
    EXPECT_EQ(rowsOf(*db_, top.arg(" where v > 0")).join(u' ').count(u"|12"), 3);
}

}  // namespace

namespace {

// DISTINCT ordered by what it selects is one sort; a join condition of any form joins the
// tables (hashed or nested, its predicate on the join), never as a cartesian product.
TEST_F(PlanShapes, DistinctSortsOnceAndEveryJoinConditionJoins) {
    EXPECT_EQ(lines("select distinct ename from emp order by ename").mid(1),
              (QStringList{"1:0 SORT UNIQUE|1|5000", "2:1 TABLE ACCESS FULL EMP|1|5000"}));
    EXPECT_EQ(lines("select distinct dept_id d, salary s from emp order by s desc, d").value(1),
              "1:0 SORT UNIQUE|1|500");
    const QString on = "select d.dname, e.ename from emp e join dept d on d.dept_id = e.dept_id";
    const QString byUsing = "select d.dname, e.ename from emp e join dept d using (dept_id)";
    EXPECT_EQ(lines(byUsing).value(1), "1:0 HASH JOIN|1|5000");
    EXPECT_EQ(access_.value(1), R"("E"."DEPT_ID"="D"."DEPT_ID")");
    EXPECT_EQ(rowsOf(*db_, byUsing + " order by 1, 2"), rowsOf(*db_, on + " order by 1, 2"));
    // The column of the table before the join that has it.
    lines("select count(*) from emp e join dept d using (dept_id) join emp f using (emp_id)");
    EXPECT_TRUE(access_.values().contains(R"("E"."EMP_ID"="F"."EMP_ID")"))
        << access_.values().join(u' ').toStdString();
    EXPECT_EQ(lines("select d.dname, e.ename from emp e natural join dept d").value(1),
              "1:0 HASH JOIN|1|5000");
    EXPECT_EQ(access_.value(1), R"("E"."DEPT_ID"="D"."DEPT_ID")");
    EXPECT_EQ(lines("select e.emp_id, d.dname from emp e, dept d where e.dept_id = d.dept_id + 1")
                  .value(1),
              "1:0 HASH JOIN|1|4900");
    EXPECT_EQ(access_.value(1), R"("E"."DEPT_ID"="D"."DEPT_ID"+1)");
    // Each department k meets the 100 (k - 1) employees of the departments before it.
    const QString below = "select count(*) from emp e join dept d on e.dept_id < d.dept_id";
    const QStringList nested = lines(below);
    EXPECT_EQ(nested.value(2).section(u'|', 0, 1), "2:1 NESTED LOOPS|1")
        << nested.join(u'\n').toStdString();
    EXPECT_EQ(nested.value(4).section(u'|', 1), "50|122500");
    // Estimated as Oracle guesses a join by a range: 5% of the pairs.
    EXPECT_EQ(rowsOf(*db_, "select cardinality from " + kPlanTable + " where id = 2"),
              QStringList{"12500"});
    EXPECT_EQ(rowsOf(*db_, below), QStringList{"122500"});
    // Between two of a department's values: its own and the next department's employees.
    EXPECT_EQ(lines("select count(*) from emp e join dept d on e.dept_id between d.dept_id and "
                    "d.dept_id + 1")
                  .value(4),
              "4:2 INDEX RANGE SCAN IX_EMP_DEPT|50|9900");
}

// An index keeps a column declared DESC descending: read forwards for a descending order, and
// backwards (DESCENDING) for an ascending one. A character column compared with a number is
// converted, which no index on it serves.
TEST_F(PlanShapes, DescendingKeysAndConvertedColumnsAreReadAsOracleReadsThem) {
    for (const char* sql : {"create index ix_emp_dsal on emp (dept_id, salary desc)",
                            "alter table emp add phone varchar2(12)",
                            "update emp set phone = to_char(5550000 + emp_id)",
                            "create index ix_emp_phone on emp (phone)",
                            "begin dbms_stats.gather_table_stats('SCOTT', 'EMP'); end;"})
        db_->execute(QString::fromUtf8(sql));
    const QString top =
        "select%1 salary from emp where dept_id = 5 order by salary%2 fetch first 3 rows only";
    EXPECT_EQ(lines(top.arg("", " desc")).value(3), "3:2 INDEX RANGE SCAN IX_EMP_DSAL|1|3");
    EXPECT_EQ(lines(top.arg("", "")).value(3), "3:2 INDEX RANGE SCAN DESCENDING IX_EMP_DSAL|1|3");
    for (const char* order : {"", " desc"})
        EXPECT_EQ(rowsOf(*db_, top.arg("", order)),
                  rowsOf(*db_, top.arg(" /*+ full(emp) */", order)));
    EXPECT_EQ(lines("select emp_id from emp where phone = 5551234"),
              (QStringList{"0: SELECT STATEMENT|1|1", "1:0 TABLE ACCESS FULL EMP|1|1"}));
    EXPECT_EQ(filters_.value(1), R"(TO_NUMBER("PHONE")=5551234)");
    // A function of the column: Oracle's 1% of the rows.
    EXPECT_EQ(rowsOf(*db_, "select cardinality from " + kPlanTable + " where id = 1"),
              QStringList{"50"});
    EXPECT_EQ(lines("select emp_id from emp where phone = '5551234'").value(2),
              "2:1 INDEX RANGE SCAN IX_EMP_PHONE|1|1");
    db_->execute("update emp set phone = 'none' where emp_id = 4000");
    EXPECT_TRUE(failsWith([&] { rowsOf(*db_, "select emp_id from emp where phone = 5551234"); },
                          kErrOdbcCall, "ORA-01722"));
}

// ROLLUP, CUBE and GROUPING SETS make the groups of each of their sets, as a GROUP BY of the
// set's columns would; PIVOT groups by the columns it neither spreads nor aggregates. A view
// the database keeps draws them as the statement's own query would.
TEST_F(PlanShapes, GroupingSetsAndPivotsAreEstimatedAndDrawnInViewsToo) {
    auto estimated = [&](int id) {
        return rowsOf(*db_, "select cardinality from " + kPlanTable +
                                " where id = " + QString::number(id))
            .value(0);
    };
    EXPECT_EQ(lines("select dept_id, count(*) from emp group by rollup(dept_id)").value(1),
              "1:0 SORT GROUP BY ROLLUP|1|51");
    EXPECT_EQ(estimated(1), "51");
    const QStringList sets =
        lines("select dept_id, salary, count(*) from emp group by grouping sets (dept_id, salary)");
    EXPECT_EQ(sets.value(1), "1:0 TEMP TABLE TRANSFORMATION|1|550");
    EXPECT_EQ(QStringList({estimated(1), estimated(5), estimated(8)}),
              QStringList({"550", "50", "500"}));
    const QString pivot =
        "select * from (select dept_id, salary from emp) pivot (count(*) for "
        "dept_id in (1 as a, 2 as b))";
    EXPECT_EQ(lines(pivot).value(1), "1:0 HASH GROUP BY PIVOT|1|500");
    EXPECT_EQ(estimated(1), "500");
    // Department 1 has employees at 10 salaries.
    const QStringList viewed = lines("select * from (" + pivot + ") where a > 0");
    EXPECT_EQ(viewed.value(1), "1:0 VIEW|1|10");
    EXPECT_EQ(viewed.value(2).section(u'|', 0, 1), "2:1 HASH GROUP BY PIVOT|1");
    EXPECT_EQ(filters_.value(1), R"("A">0)");
    db_->execute("create view v_pivot as " + pivot);
    db_->execute(
        "create view v_rollup as select dept_id, sum(salary) s from emp group by "
        "rollup(dept_id)");
    // (The line and its starts: what a grouping under a view hands on is not all counted.)
    EXPECT_EQ(lines("select * from v_pivot").value(2).section(u'|', 0, 1),
              "2:1 HASH GROUP BY PIVOT|1");
    EXPECT_EQ(lines("select * from v_rollup where s > 0").value(2).section(u'|', 0, 1),
              "2:1 SORT GROUP BY ROLLUP|1");
    EXPECT_EQ(estimated(2), "51");
    // A merged view's own conditions stand on the lines of its table, as do the statement's on
    // the view's columns, whether the database keeps the view or the statement writes it; both
    // count in the lines' estimates.
    const QString top = "select emp_id, ename, salary from emp where salary > 4900";
    db_->execute("create view v_top as " + top);
    for (const QString& view : {QStringLiteral("v_top"), '(' + top + ')'}) {
        EXPECT_EQ(lines("select * from " + view + " t where t.emp_id < 3000").mid(1),
                  (QStringList{"1:0 TABLE ACCESS BY INDEX ROWID BATCHED EMP|1|54",
                               "2:1 INDEX RANGE SCAN IX_EMP_SALARY|1|90"}));
        EXPECT_EQ(access_.value(2), R"("SALARY">4900)");
        EXPECT_EQ(filters_.value(1), R"("T"."EMP_ID"<3000)");
        EXPECT_EQ(QStringList({estimated(1), estimated(2)}), QStringList({"54", "90"}));
    }
}

}  // namespace
