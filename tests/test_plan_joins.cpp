// The plans of subqueries, IN lists, skip scans, outer joins and hierarchical queries on tables
// made through Oracle DDL: the lines Oracle draws for what the engine does, nested as Oracle
// nests them, and the actual figures each line reads from the run.
#include "support/embeddedfixture.h"
#include "support/sqliteprobe.h"

using namespace qv;
using namespace qv::test;

namespace {

// The columns of a plan line as the run reads them.
const QString kLinesQuery = QStringLiteral(
    "SELECT DEPTH, OPERATION, OPTIONS, OBJECT_NAME, CARDINALITY, LAST_STARTS, LAST_OUTPUT_ROWS, "
    "ID, PARENT_ID, ACCESS_PREDICATES, LAST_CR_BUFFER_GETS FROM V$SQL_PLAN_STATISTICS_ALL WHERE "
    "SQL_ID = '%1' AND "
    "CHILD_NUMBER = %2 "
    "ORDER BY ID");

class PlanJoins : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        for (const char* ddl :
             {"create table dept (dept_id number(6) not null, dname varchar2(30) not null, "
              "constraint pk_dept primary key (dept_id))",
              "create table emp (emp_id number(8) not null, dept_id number(6), ename "
              "varchar2(40) not null, salary number(10,2), status varchar2(10), mgr_id "
              "number(8), constraint pk_emp primary key (emp_id))",
              "create index ix_emp_dept on emp (dept_id)",
              "create index ix_emp_status_sal on emp (status, salary)",
              "create index ix_emp_mgr on emp (mgr_id)"})
            db_->execute(QString::fromLatin1(ddl));
        // 50 departments; 2,000 employees in the first 40 of them (every 50th in none), salary
        // i % 1000, three statuses, and employee i reporting to i / 5 below the four roots.
        SqliteProbe probe(path());
        ASSERT_TRUE(probe.exec(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < 50) "
            "insert into dept select i, 'dept ' || i from n;"
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < 2000) "
            "insert into emp select i, case when i % 50 = 0 then null else 1 + i % 40 end, "
            "'emp ' || i, i % 1000, 'S' || (i % 3), case when i < 5 then null else i / 5 end "
            "from n;"))
            << probe.error.toStdString();
        for (const char* table : {"DEPT", "EMP"})
            db_->execute(QStringLiteral("begin dbms_stats.gather_table_stats('SCOTT', '%1'); end;")
                             .arg(QLatin1String(table)));
        stats_ = connect();
        db_->execute("ALTER SESSION SET STATISTICS_LEVEL = ALL");
    }

    // Runs `sql` to its end and reads its plan lines from a second session: "depth|OPERATION
    // OPTIONS|OBJECT|starts|rows" of each, its cardinality into `cards`. Fails the test when a
    // line's parent is not the line above it at one depth less.
    QStringList lines(const QString& sql, QList<qlonglong>* cards = nullptr) {
        auto rs = db_->openRecordset(sql);
        rs->skipToEnd();
        rs->close();
        const QStringList id =
            rowsOf(*stats_, QStringLiteral("SELECT PREV_SQL_ID, PREV_CHILD_NUMBER FROM V$SESSION "
                                           "WHERE SID = %1")
                                .arg(db_->sessionId()))
                .value(0)
                .split(u'|');
        QStringList out;
        QList<QStringList> rows;
        access_.clear();
        for (const QString& row : rowsOf(*stats_, kLinesQuery.arg(id.value(0), id.value(1)))) {
            const QStringList f = row.split(u'|');
            rows << f;
            if (f[9] != u"null")
                access_[f[7].toInt()] = f[9];
            if (f[7] == u"0")
                gets_ = f[10].toLongLong();
            const QString operation = f[2] == u"null" ? f[1] : f[1] + u' ' + f[2];
            out << QStringList{f[0], operation, f[3], f[5], f[6]}.join(u'|');
            if (cards)
                *cards << f[4].toLongLong();
            // The parent: the nearest line above at one depth less.
            const int depth = f[0].toInt();
            QString parent = QStringLiteral("null");
            for (qsizetype up = rows.size() - 2; up >= 0; --up) {
                if (rows[up][0].toInt() == depth - 1) {
                    parent = rows[up][7];
                    break;
                }
            }
            EXPECT_EQ(f[8], parent) << sql.toStdString() << " line " << f[7].toStdString();
        }
        return out;
    }

    // What EXPLAIN PLAN writes for `sql`: "depth|OPERATION OPTIONS|OBJECT" of each line, its
    // cardinality into `cards`.
    QStringList explained(const QString& sql, QList<qlonglong>& cards) {
        db_->execute(planTableCreateStatement(kPlanTable));
        db_->execute(explainPlanStatement(kPlanTable, sql));
        QStringList out;
        for (const QString& row : rowsOf(*db_, planQueryStatement(kPlanTable))) {
            const QStringList f = row.split(u'|');
            out << QStringList{f[2], f[4] == u"null" ? f[3] : f[3] + u' ' + f[4], f[6]}.join(u'|');
            cards << f[8].toLongLong();
        }
        return out;
    }

    std::unique_ptr<embedded::EmbeddedDatabase> stats_;
    QMap<int, QString> access_;  // line id -> its access predicate, of the last lines()
    qlonglong gets_ = 0;         // the consistent gets of the last lines()' statement
};

// NOT IN / IN of a subquery SQLite fills once: a hash join with the subquery as its build side;
// a correlated subquery that looks one key up for each row: a nested loops semi or anti join;
// any other correlated subquery: a FILTER whose subquery starts once for each row.
TEST_F(PlanJoins, SubqueriesOfTheWhereClauseAreSemiAndAntiJoinsOrAFilter) {
    // EMP.DEPT_ID may be null: null-aware. The 18 employees earning above 990 work in 9
    // departments; SQLite finds them by skipping through the statuses.
    EXPECT_EQ(
        lines("select * from dept d where d.dept_id not in (select dept_id from emp "
              "where salary > 990)"),
        QStringList({"0|SELECT STATEMENT|null|1|41", "1|HASH JOIN RIGHT ANTI NA|null|1|41",
                     "2|TABLE ACCESS BY INDEX ROWID|EMP|1|18",
                     "3|INDEX SKIP SCAN|IX_EMP_STATUS_SAL|1|18", "2|TABLE ACCESS FULL|DEPT|1|50"}));
    // DEPT.DEPT_ID is NOT NULL, EMP.DEPT_ID is not: single null-aware.
    EXPECT_EQ(lines("select emp_id from emp e where e.dept_id not in (select dept_id from dept "
                    "where dept_id > 30)")
                  .value(1),
              "1|HASH JOIN RIGHT ANTI SNA|null|1|1470");
    EXPECT_EQ(lines("select emp_id from emp e where e.dept_id is not null and e.dept_id not in "
                    "(select dept_id from dept where dept_id > 30)")
                  .value(1),
              "1|HASH JOIN RIGHT ANTI|null|1|1470");
    // NOT EXISTS probes EMP's index for each department when few are read, and otherwise
    // reads the index once into a list each department is looked up in, as costs less.
    QList<qlonglong> cards;
    const QString notExists = QStringLiteral(
        "select * from dept d where %1not exists (select 1 "
        "from emp e where e.dept_id = d.dept_id)");
    const QStringList hashed = lines(notExists.arg(QString()), &cards);
    ASSERT_EQ(hashed.size(), 4);
    EXPECT_EQ(hashed.mid(0, 2),
              QStringList({"0|SELECT STATEMENT|null|1|10", "1|HASH JOIN RIGHT ANTI|null|1|10"}));
    EXPECT_TRUE(hashed[2].startsWith(u"2|INDEX FAST FULL SCAN|IX_EMP_DEPT|1|"))
        << hashed[2].toStdString();
    EXPECT_EQ(hashed[3], "2|TABLE ACCESS FULL|DEPT|1|50");
    EXPECT_EQ(access_.value(1), "\"E\".\"DEPT_ID\"=\"D\".\"DEPT_ID\"");
    // The departments whose key none of EMP.DEPT_ID's 40 values meets.
    EXPECT_EQ(cards.value(1), 10);
    EXPECT_EQ(rowsOf(*db_, notExists.arg(QString())).size(), 10);
    EXPECT_EQ(
        lines(notExists.arg(QStringLiteral("d.dept_id = 45 and "))),
        QStringList({"0|SELECT STATEMENT|null|1|1", "1|NESTED LOOPS ANTI|null|1|1",
                     "2|TABLE ACCESS BY INDEX ROWID|DEPT|1|1", "3|INDEX UNIQUE SCAN|PK_DEPT|1|1",
                     "2|INDEX RANGE SCAN|IX_EMP_DEPT|1|0"}));
    // EXISTS too, and with conditions of the subquery's own: they filter the list it fills.
    const QString exists = QStringLiteral(
        "select * from dept d where %1exists (select 1 from emp e where e.dept_id = d.dept_id "
        "and e.salary > 990)");
    const QStringList semi = lines(exists.arg(QString()));
    ASSERT_GE(semi.size(), 4);
    EXPECT_EQ(semi[1], "1|HASH JOIN RIGHT SEMI|null|1|" +
                           QString::number(rowsOf(*db_, exists.arg(QString())).size()));
    EXPECT_EQ(semi[2].section(u'|', 3),
              "1|" + rowsOf(*db_, "select count(*) from emp where salary > 990").value(0));
    EXPECT_EQ(semi.last(), "2|TABLE ACCESS FULL|DEPT|1|50");
    QStringList once = rowsOf(*db_, exists.arg(QString()));
    QStringList each = rowsOf(*db_, exists.arg(QStringLiteral("d.dept_id > 0 and ")));
    once.sort();
    each.sort();
    EXPECT_EQ(once, each);
    EXPECT_EQ(
        rowsOf(*db_,
               QStringLiteral("select count(*) from (%1)").arg(exists.arg(QStringLiteral("not "))))
            .value(0)
            .toInt(),
        50 - once.size());
    // The values of IN read in order from DEPT's key, each looked up in EMP's index; without
    // the hint, reading EMP whole against the list costs less.
    EXPECT_EQ(lines("select /*+ index(e ix_emp_status_sal) */ emp_id from emp e where e.salary "
                    "in (select dept_id from dept)")
                  .mid(1, 2),
              QStringList({"1|NESTED LOOPS|null|1|100", "2|INDEX FULL SCAN|PK_DEPT|1|null"}));
    EXPECT_EQ(access_, (QMap<int, QString>{{4, "\"E\".\"SALARY\"=\"DEPT\".\"DEPT_ID\""}}));
    // The list's own condition filters the scan that fills it.
    EXPECT_EQ(lines("select emp_id from emp e where e.dept_id in (select d.dept_id from dept d "
                    "where d.dname = 'dept 7')")
                  .mid(1, 2),
              QStringList({"1|HASH JOIN RIGHT SEMI|null|1|50", "2|TABLE ACCESS FULL|DEPT|1|1"}));
    EXPECT_EQ(access_, (QMap<int, QString>{{1, "\"E\".\"DEPT_ID\"=\"D\".\"DEPT_ID\""}}));
    EXPECT_EQ(
        lines("select emp_id from emp e where e.salary in (select dept_id from dept)").mid(1, 2),
        QStringList({"1|HASH JOIN RIGHT SEMI|null|1|100", "2|INDEX FULL SCAN|PK_DEPT|1|null"}));
    // No key of EMP is compared: the subquery reads the index for each department, and finds
    // a salary of 0 for every one.
    EXPECT_EQ(lines("select * from dept d where not exists (select 1 from emp e where "
                    "e.salary + 0 < d.dept_id)"),
              QStringList({"0|SELECT STATEMENT|null|1|0", "1|FILTER|null|1|0",
                           "2|TABLE ACCESS FULL|DEPT|1|50",
                           "2|INDEX FAST FULL SCAN|IX_EMP_STATUS_SAL|50|50"}));
}

// A NOT IN whose column an index of the subquery's table holds is filled once from the
// subquery, not looked up in the index for each row: each input starts once, the list holds
// the rows it read, and a NULL among them leaves no row, as NOT IN must.
TEST_F(PlanJoins, ANotInListIsReadOnceFromItsSubquery) {
    const QString notIn = QStringLiteral(
        "select d.dept_id from dept d where d.dept_id not in (select e.dept_id from emp e%1)");
    // EMP.DEPT_ID may be NULL: the list is read from the table, which holds the NULLs.
    EXPECT_EQ(
        lines(notIn.arg(QString())).mid(1, 2),
        QStringList({"1|HASH JOIN RIGHT ANTI NA|null|1|0", "2|TABLE ACCESS FULL|EMP|1|2000"}));
    const QStringList plan = lines(notIn.arg(QStringLiteral(" where e.dept_id is not null")));
    ASSERT_EQ(plan.size(), 4);
    const QString filled = rowsOf(*db_, QStringLiteral("select count(dept_id) from emp")).value(0);
    // The subquery keeps no NULL, DEPT.DEPT_ID has none: a plain anti join.
    EXPECT_EQ(plan[1], "1|HASH JOIN RIGHT ANTI|null|1|10");
    EXPECT_TRUE(plan[2].startsWith(u"2|INDEX ") && plan[2].endsWith(QStringLiteral("|1|") + filled))
        << plan[2].toStdString();
    EXPECT_TRUE(plan[3].endsWith(u"|1|50")) << plan[3].toStdString();
    QStringList got = rowsOf(*db_, notIn.arg(QStringLiteral(" where e.dept_id is not null")));
    QStringList expected =
        rowsOf(*db_, QStringLiteral("select d.dept_id from dept d where not exists (select 1 "
                                    "from emp e where e.dept_id = d.dept_id)"));
    got.sort();
    expected.sort();
    EXPECT_EQ(got, expected);
    // NOT EXISTS keeps the 40 employees without a department, whose NULL meets no key, as the
    // probe for each row does.
    const QString byDept = QStringLiteral(
        "select e.emp_id from emp e where not exists (select 1 "
        "from dept d where d.dept_id = e.dept_id%1)");
    EXPECT_EQ(lines(byDept.arg(QString())).value(1), "1|HASH JOIN RIGHT ANTI|null|1|40");
    got = rowsOf(*db_, byDept.arg(QString()));
    expected = rowsOf(*db_, byDept.arg(QStringLiteral(" and d.dname is not null")));
    EXPECT_EQ(got.size(), 40);
    got.sort();
    expected.sort();
    EXPECT_EQ(got, expected);
}

// Each value of an IN list is a unique scan of the key made by the DDL, under the iterator.
TEST_F(PlanJoins, AnInListOnTheKeyIteratesOverItsValues) {
    QList<qlonglong> cards;
    EXPECT_EQ(
        lines("select * from emp where emp_id in (3, 7, 11)", &cards),
        QStringList({"0|SELECT STATEMENT|null|1|3", "1|INLIST ITERATOR|null|1|3",
                     "2|TABLE ACCESS BY INDEX ROWID|EMP|3|3", "3|INDEX UNIQUE SCAN|PK_EMP|3|3"}));
    EXPECT_EQ(cards.value(1), 3);
    EXPECT_EQ(cards.value(3), 3);
}

// A range on the second column of an index whose first no condition names.
TEST_F(PlanJoins, AnIndexSearchedPastItsLeadingColumnIsASkipScan) {
    EXPECT_EQ(lines("select /*+ index(emp ix_emp_status_sal) */ emp_id from emp where salary "
                    "between 10 and 11"),
              QStringList({"0|SELECT STATEMENT|null|1|4", "1|TABLE ACCESS BY INDEX ROWID|EMP|1|4",
                           "2|INDEX SKIP SCAN|IX_EMP_STATUS_SAL|1|4"}));
}

// An outer join whose inner table SQLite indexes for the join is Oracle's hash outer join.
TEST_F(PlanJoins, AnOuterJoinThroughATransientIndexIsAHashJoinOuter) {
    const QStringList plan =
        lines("select d.dname, e.emp_id from dept d left join emp e on e.ename = d.dname");
    ASSERT_EQ(plan.size(), 4);
    EXPECT_EQ(plan.mid(0, 3),
              QStringList({"0|SELECT STATEMENT|null|1|50", "1|HASH JOIN OUTER|null|1|50",
                           "2|TABLE ACCESS FULL|DEPT|1|50"}));
    EXPECT_TRUE(plan[3].startsWith(u"2|TABLE ACCESS FULL|EMP|")) << plan[3].toStdString();
    // RIGHT and FULL joins keep the rows of EMP that met none: 40 without a department, and
    // for FULL the 10 departments without employees too. The RIGHT join runs as the LEFT join
    // the other way round: DEPT hashed, EMP read once and each row's department found in it.
    const QString right = QStringLiteral(
        "select d.dname, e.emp_id from dept d right join emp e on e.dept_id = "
        "d.dept_id");
    EXPECT_EQ(lines(right).mid(1, 3),
              QStringList({"1|HASH JOIN RIGHT OUTER|null|1|2000", "2|TABLE ACCESS FULL|DEPT|1|50",
                           "2|TABLE ACCESS FULL|EMP|1|2000"}));
    QStringList got = rowsOf(*db_, right);
    QStringList left = rowsOf(*db_, QStringLiteral("select d.dname, e.emp_id from emp e left join "
                                                   "dept d on d.dept_id = e.dept_id"));
    got.sort();
    left.sort();
    EXPECT_EQ(got, left);
    EXPECT_EQ(got.filter(QStringLiteral("null|")).size(), 40);
    // A FULL join, and a RIGHT join SQLite runs as written (it has a third table), hash the
    // table whose rows they keep (a FULL join of two the smaller, or the table joined to a view):
    // each input is read once, the pass over the rows that met none reads the hash area again,
    // and the join counts those rows too (into an aggregate as well).
    // A WHERE condition on the table a RIGHT join keeps filters it as it is read.
    EXPECT_EQ(lines("select d.dname, e.emp_id from dept d full join emp e on e.dept_id = "
                    "d.dept_id"),
              QStringList({"0|SELECT STATEMENT|null|1|2010", "1|HASH JOIN FULL OUTER|null|1|2010",
                           "2|TABLE ACCESS FULL|DEPT|1|50", "2|TABLE ACCESS FULL|EMP|1|2000"}));
    EXPECT_EQ(lines("select count(*), count(e.emp_id) from dept d full join emp e on e.dept_id = "
                    "d.dept_id")
                  .value(2),
              "2|HASH JOIN FULL OUTER|null|1|2010");
    SqliteProbe probe(path());
    for (const char* sql :
         {"select d.dname, e.emp_id, e.ename from dept d full join emp e on e.dept_id = d.dept_id "
          "and e.salary > 500",
          "select d.dname, e.emp_id from emp e full join (select * from dept where dept_id > 10) "
          "d on e.dept_id = d.dept_id",
          "select d.dname, e.emp_id, m.ename from emp m join dept d on d.dept_id = m.emp_id "
          "full join emp e on e.dept_id = d.dept_id",
          "select d.dname, e.emp_id, m.ename from emp m join dept d on d.dept_id = m.emp_id "
          "right join emp e on e.dept_id = d.dept_id where e.salary < 100 and e.status = 'S1'",
          "select d.dname, e.emp_id from dept d full join emp e using (dept_id) where d.dept_id "
          "> 35 or e.emp_id < 5",
          "select d.dname, e.emp_id, x.dname from dept d right join emp e on e.dept_id = "
          "d.dept_id join dept x on x.dept_id = e.dept_id where e.emp_id < 30"}) {
        const QStringList plan = lines(QString::fromLatin1(sql));
        for (const QString& line : plan) {
            if (line.contains(u"|TABLE ACCESS FULL|") || line.contains(u"|HASH JOIN") ||
                line.contains(u"|VIEW|")) {
                EXPECT_EQ(line.section(u'|', 3, 3), "1") << sql << " " << line.toStdString();
            }
        }
        // SQLite's own RIGHT and FULL joins give the rows (a NULL as an empty text).
        QStringList got;
        for (const QString& row : rowsOf(*db_, QString::fromLatin1(sql))) {
            QStringList fields = row.split(u'|');
            fields.replaceInStrings(QStringLiteral("null"), QString());
            got << fields.join(u'|');
        }
        QStringList want = probe.rows(sql);
        got.sort();
        want.sort();
        EXPECT_EQ(got, want) << sql;
    }
    // The pass reads no table again: no more blocks than the LEFT join that hashes EMP alike.
    lines("select max(e.ename), max(d.dname) from dept d left join emp e on e.dept_id = d.dept_id");
    const qlonglong leftGets = gets_;
    lines("select max(e.ename), max(d.dname) from dept d full join emp e on e.dept_id = d.dept_id");
    EXPECT_LE(gets_, leftGets);
    // The table a RIGHT join keeps, joined to one more: the HASH JOIN OUTER is the inner join's
    // input.
    EXPECT_EQ(lines("select d.dname, e.emp_id from dept d right join emp e on e.dept_id = "
                    "d.dept_id join dept x on x.dept_id = e.dept_id where e.emp_id < 3")
                  .mid(1, 2),
              QStringList({"1|HASH JOIN|null|1|2", "2|HASH JOIN OUTER|null|1|2"}));
    const QStringList kept = lines(
        "select count(*) from emp m join dept d on d.dept_id = m.emp_id right join emp e on "
        "e.dept_id = d.dept_id where e.salary < 100");
    EXPECT_EQ(kept.value(2), "2|HASH JOIN OUTER|null|1|200");
    EXPECT_EQ(kept.value(3), "3|TABLE ACCESS FULL|EMP|1|200");
}

// An equi-join whose inner table would be probed for many rows is a hash join that reads each
// input once, on the smaller first, its keys on the join line; few rows keep the nested loop and
// its index; no join condition is a cartesian join over the table read once into its buffer.
TEST_F(PlanJoins, JoinsAreHashedNestedOrCartesianAsTheirRowsCost) {
    const struct {
        const char* sql;
        QStringList lines;
        const char* access;  // of line 1
    } cases[] = {
        {"select d.dname, e.ename from emp e join dept d on d.dept_id = e.dept_id",
         {"0|SELECT STATEMENT|null|1|1960", "1|HASH JOIN|null|1|1960",
          "2|TABLE ACCESS FULL|DEPT|1|50", "2|TABLE ACCESS FULL|EMP|1|2000"},
         R"("D"."DEPT_ID"="E"."DEPT_ID")"},
        // Six employees (two without a department), read whole as the table costs less than
        // a skip scan of its status index, wherever it stands in the join; their departments
        // found by the key.
        {"select d.dname, e.ename from emp e, dept d where d.dept_id = e.dept_id and e.salary < 3",
         {"0|SELECT STATEMENT|null|1|4", "1|NESTED LOOPS|null|1|4", "2|TABLE ACCESS FULL|EMP|1|6",
          "2|TABLE ACCESS BY INDEX ROWID|DEPT|6|4", "3|INDEX UNIQUE SCAN|PK_DEPT|6|4"},
         ""},
        {"select d.dname, e.ename from emp e, dept d where d.dept_id = e.dept_id and e.salary < "
         "900",
         {"0|SELECT STATEMENT|null|1|1764", "1|HASH JOIN|null|1|1764",
          "2|TABLE ACCESS FULL|DEPT|1|50", "2|TABLE ACCESS FULL|EMP|1|1800"},
         R"("D"."DEPT_ID"="E"."DEPT_ID")"},
        // The three employees read once, then paired with each department: the buffer hands
        // on each of them once per department.
        {"select d.dname, e.ename from dept d cross join emp e where e.emp_id < 4",
         {"0|SELECT STATEMENT|null|1|150", "1|MERGE JOIN CARTESIAN|null|1|150",
          "2|TABLE ACCESS FULL|DEPT|1|50", "2|BUFFER SORT|null|50|150",
          "3|TABLE ACCESS BY INDEX ROWID BATCHED|EMP|1|3", "4|INDEX RANGE SCAN|PK_EMP|1|3"},
         ""},
        {"select d.dname, e.ename from dept d, emp e where e.emp_id = 4",
         {"0|SELECT STATEMENT|null|1|50", "1|NESTED LOOPS|null|1|50",
          "2|TABLE ACCESS BY INDEX ROWID|EMP|1|1", "3|INDEX UNIQUE SCAN|PK_EMP|1|1",
          "2|TABLE ACCESS FULL|DEPT|1|50"},
         ""},
        {"select d.dname from dept d, dept x",
         {"0|SELECT STATEMENT|null|1|2500", "1|MERGE JOIN CARTESIAN|null|1|2500",
          "2|TABLE ACCESS FULL|DEPT|1|50", "2|BUFFER SORT|null|50|2500",
          "3|TABLE ACCESS FULL|DEPT|1|50"},
         ""},
        // A view SQLite runs again for each department: its lines show one run, the buffer's
        // filling, and the buffer hands its 19 groups to each of the three.
        {"select d.dname, v.c from dept d, (select salary, count(*) c from emp where emp_id < 20 "
         "group by salary) v where d.dept_id < 4",
         {"0|SELECT STATEMENT|null|1|57", "1|MERGE JOIN CARTESIAN|null|1|57",
          "2|TABLE ACCESS BY INDEX ROWID BATCHED|DEPT|1|3", "3|INDEX RANGE SCAN|PK_DEPT|1|3",
          "2|BUFFER SORT|null|3|57", "3|VIEW|null|1|19", "4|HASH GROUP BY|null|1|19",
          "5|TABLE ACCESS BY INDEX ROWID BATCHED|EMP|1|19", "6|INDEX RANGE SCAN|PK_EMP|1|19"},
         ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lines(QString::fromLatin1(c.sql)), c.lines) << c.sql;
        EXPECT_EQ(access_.value(1), QString::fromLatin1(c.access)) << c.sql;
    }
    // A hint hashes EMP, read by its key's range: the range is the index line's access, and
    // DEPT, the probe, is read as it is, no area of its own.
    EXPECT_EQ(lines("select /*+ use_hash(e) */ d.dname, e.ename from dept d join emp e on "
                    "e.dept_id = d.dept_id where e.emp_id < 100"),
              QStringList({"0|SELECT STATEMENT|null|1|98", "1|HASH JOIN|null|1|98",
                           "2|TABLE ACCESS FULL|DEPT|1|50",
                           "2|TABLE ACCESS BY INDEX ROWID BATCHED|EMP|1|99",
                           "3|INDEX RANGE SCAN|PK_EMP|1|99"}));
    EXPECT_EQ(access_.value(4), R"("E"."EMP_ID"<100)");
    // What the engine has SQLite read to hash a table adds no column to *.
    EXPECT_EQ(lines("select * from emp e join dept d on d.dept_id = e.dept_id").value(1),
              "1|HASH JOIN|null|1|1960");
    EXPECT_EQ(db_->openRecordset("select * from emp e join dept d on d.dept_id = e.dept_id")
                  ->fieldCount(),
              8);
}

// A hash join gives the rows of the nested loops USE_NL asks for instead, whether its keys are
// NULL or texts, its rows repeat, or an outer join keeps rows that met none; every line of it
// starts once.
TEST_F(PlanJoins, AHashJoinGivesTheRowsOfTheNestedLoops) {
    // A table without a key: rows that repeat, keys that are NULL.
    db_->execute("create table bonus (dept_id number(6), amount number(8))");
    SqliteProbe probe(path());
    ASSERT_TRUE(
        probe.exec("with recursive n(i) as (select 1 union all select i + 1 from n "
                   "where i < 300) insert into bonus select nullif(i % 60, 0), i % 3 "
                   "from n"));
    db_->execute("begin dbms_stats.gather_table_stats('SCOTT', 'BONUS'); end;");
    const struct {
        const char* sql;  // %1: the hint
        const char* hint;
    } cases[] = {
        {"select %1 d.dname, e.ename from emp e join dept d on d.dept_id = e.dept_id", "use_nl(e)"},
        {"select %1 d.dname, b.amount from dept d join bonus b on b.dept_id = d.dept_id",
         "use_nl(b)"},
        {"select %1 e.ename, b.amount from emp e join bonus b on b.dept_id = e.dept_id",
         "use_nl(e)"},
        {"select %1 d.dname, e.emp_id from dept d left join emp e on e.ename = d.dname",
         "use_nl(e)"},
    };
    for (const auto& c : cases) {
        const QString sql = QString::fromLatin1(c.sql);
        const QString hint = QStringLiteral("/*+ %1 */").arg(QLatin1String(c.hint));
        const QStringList hashed = lines(sql.arg(QString()));
        const QStringList nested = lines(sql.arg(hint));
        ASSERT_GT(hashed.size(), 1);
        EXPECT_TRUE(hashed[1].contains(u"|HASH JOIN")) << hashed[1].toStdString();
        EXPECT_TRUE(nested.value(1).contains(u"|NESTED LOOPS")) << c.sql;
        for (const QString& line : hashed)
            EXPECT_EQ(line.section(u'|', 3, 3), "1") << c.sql << ": " << line.toStdString();
        QStringList once = rowsOf(*db_, sql.arg(QString()));
        QStringList each = rowsOf(*db_, sql.arg(hint));
        once.sort();
        each.sort();
        EXPECT_FALSE(once.isEmpty());
        EXPECT_EQ(once, each) << c.sql;
    }
    // Keys a hash may not tell apart where SQLite's comparison does, or tells apart where it
    // does not: blank-padded CHAR, numbers in text, two columns; and a condition on the hashed
    // table alone, which filters its rows before they go into the hash.
    db_->execute("create table codes (code char(4), num varchar2(6), label varchar2(10))");
    ASSERT_TRUE(
        probe.exec("insert into codes values ('S0', '5', 'a'), ('S1  ', '05', 'b'), "
                   "('s2', '5.0', 'c'), ('S2', ' 12', 'd'), (null, null, 'e')"));
    db_->execute("begin dbms_stats.gather_table_stats('SCOTT', 'CODES'); end;");
    db_->execute("create table rates (dept_id binary_double, rate number(4))");
    ASSERT_TRUE(probe.exec("insert into rates values (5, 1), (5.5, 2), (7, 3), (7, 4), (null, 5)"));
    db_->execute("begin dbms_stats.gather_table_stats('SCOTT', 'RATES'); end;");
    for (const char* sql :
         {"select %1 e.emp_id, c.label from emp e join codes c on c.code = e.status",
          "select %1 e.emp_id, c.label from emp e join codes c on c.num = e.dept_id",
          "select %1 e.emp_id, c.label from emp e join codes c on c.num = to_char(e.dept_id)",
          "select %1 e.emp_id, r.rate from emp e join rates r on r.dept_id = e.dept_id",
          "select %1 r.rate, e.emp_id from rates r join emp e on e.dept_id = r.dept_id",
          "select /*+ use_hash(r) */ %1 e.emp_id, r.rate from emp e join rates r on r.dept_id = "
          "e.dept_id",
          "select %1 e.ename, d.dname from emp e join dept d on d.dept_id = e.dept_id and "
          "d.dname = 'dept ' || e.dept_id",
          "select %1 e.ename, d.dname from emp e join dept d on d.dept_id = e.dept_id where "
          "d.dname < 'dept 3' and e.salary > 100"}) {
        const QString text = QString::fromLatin1(sql);
        const bool hinted = text.contains(u"use_hash(r)");
        if (hinted) {  // integer keys met by reals in the hash
            EXPECT_EQ(lines(text.arg(QString())).value(1).section(u'|', 1, 1), "HASH JOIN");
        }
        QStringList once = rowsOf(*db_, text.arg(QString()));
        QStringList each = rowsOf(
            *db_, hinted ? QString(text)
                               .replace(QStringLiteral("use_hash(r)"), QStringLiteral("use_nl(r)"))
                               .arg(QString())
                         : text.arg(QStringLiteral("/*+ use_nl(c) use_nl(d) use_nl(e) */")));
        once.sort();
        each.sort();
        EXPECT_EQ(once, each) << sql;
    }
    const QString filtered = QStringLiteral(
        "select e.ename, d.dname from emp e join dept d on d.dept_id = e.dept_id where d.dname > "
        "'dept 2' and e.salary > 100");
    const QStringList plan = lines(filtered);
    ASSERT_EQ(plan.value(1).section(u'|', 1, 1), "HASH JOIN");
    EXPECT_EQ(plan.value(2),
              "2|TABLE ACCESS FULL|DEPT|1|" +
                  rowsOf(*db_, "select count(*) from dept where dname > 'dept 2'").value(0));
}

// A join hands on the rows it made, into an aggregate too; the inner table of an outer join the
// rows that met the join's conditions, not the rows of NULLs that keep the outer rows that met
// none.
TEST_F(PlanJoins, EveryJoinLineHasTheRowsItHandedOn) {
    auto count = [&](const QString& sql) { return rowsOf(*db_, sql).value(0); };
    const QString listed = QStringLiteral("dname in ('dept 3', 'dept 5', 'dept 7')");
    const QString reports = QStringLiteral("emp m on m.mgr_id = e.emp_id where e.dept_id = 10");
    const QString bosses = QStringLiteral(
        "emp m on m.emp_id = e.mgr_id and m.ename like 'emp 1%' where e.dept_id = 10");
    const QString found = count("select count(*) from emp e join dept d on d.dept_id = e.dept_id");
    const struct {
        QString sql;
        std::vector<std::pair<int, QString>> lines;  // id, "OPERATION OPTIONS|rows"; rows "":
                                                     // the statement's own count
    } cases[] = {
        {"select count(*) from emp e, dept d where e.dept_id = d.dept_id", {{2, "HASH JOIN|"}}},
        {"select count(*) from emp e, dept d", {{2, "MERGE JOIN CARTESIAN|"}}},
        {"select count(*) from dept d where not exists (select 1 from emp e where e.dept_id = "
         "d.dept_id)",
         {{2, "HASH JOIN RIGHT ANTI|"}}},
        // NESTED LOOPS over SORT UNIQUE of the three departments, the index searched for each.
        {"select count(*) from emp where dept_id in (select dept_id from dept where " + listed +
             ")",
         {{4, "TABLE ACCESS FULL|" + count("select count(*) from dept where " + listed)},
          {5, "INDEX RANGE SCAN|"}}},
        {"select /*+ use_nl(d) */ d.dname, e.emp_id from dept d right join emp e on e.dept_id = "
         "d.dept_id",
         {{3, "TABLE ACCESS BY INDEX ROWID|" + found}, {4, "INDEX UNIQUE SCAN|" + found}}},
        {"select e.ename, m.ename from emp e left join " + reports,
         {{3, "TABLE ACCESS BY INDEX ROWID BATCHED|" +
                  count("select count(*) from emp e join " + reports)},
          {4, "INDEX RANGE SCAN|" + count("select count(*) from emp e join " + reports)}}},
        // The index finds each manager; the table hands on those the name condition keeps.
        {"select e.ename, m.ename from emp e left join " + bosses,
         {{3, "TABLE ACCESS BY INDEX ROWID|" + count("select count(*) from emp e join " + bosses)},
          {4, "INDEX UNIQUE SCAN|" +
                  count("select count(*) from emp where dept_id = 10 and mgr_id is not null")}}},
    };
    for (const auto& c : cases) {
        const QStringList plan = lines(c.sql);
        for (const auto& [id, expected] : c.lines) {
            const QStringList f = plan.value(id).split(u'|');
            const QString want = expected.endsWith(u'|') ? expected + count(c.sql) : expected;
            EXPECT_EQ(f.value(1) + u'|' + f.value(4), want) << c.sql.toStdString();
        }
    }
    // Under a semi-join the hash join's rows are the join's, not its build input's: no line of
    // DEPT's shows more rows than its 50.
    for (const QString& line :
         lines("select count(*) from emp e join dept d on d.dept_id = e.dept_id where exists "
               "(select 1 from emp x where x.mgr_id = e.emp_id)")) {
        const QStringList f = line.split(u'|');
        if (f.value(2).endsWith(u"DEPT") && f.value(4) != u"null") {
            EXPECT_LE(f.value(4).toInt(), 50) << line.toStdString();
        }
    }
}

// CONNECT BY: the START WITH rows, then each row's children by the connect key; from DUAL,
// rows made without reading any table.
TEST_F(PlanJoins, AHierarchicalQueryIsConnectByOverItsStartAndItsChildren) {
    EXPECT_EQ(
        lines("select emp_id, level from emp start with mgr_id is null connect by prior "
              "emp_id = mgr_id"),
        QStringList({"0|SELECT STATEMENT|null|1|2000", "1|CONNECT BY WITH FILTERING|null|1|2000",
                     "2|TABLE ACCESS BY INDEX ROWID BATCHED|EMP|1|4",
                     "3|INDEX RANGE SCAN|IX_EMP_MGR|1|4", "2|NESTED LOOPS|null|null|1996",
                     "3|CONNECT BY PUMP|null|null|2000",
                     "3|TABLE ACCESS BY INDEX ROWID BATCHED|EMP|2000|1996",
                     "4|INDEX RANGE SCAN|IX_EMP_MGR|2000|1996"}));
    // EXPLAIN PLAN draws the same lines with the same estimates; the tree is estimated to
    // reach every row of the table.
    const QString tree = QStringLiteral(
        "select ename, level from emp start with mgr_id is null connect by prior emp_id = mgr_id");
    QList<qlonglong> ran, planned;
    QStringList shapes;
    for (const QString& line : lines(tree, &ran))
        shapes << line.section(u'|', 0, 2);
    EXPECT_EQ(explained(tree, planned), shapes);
    EXPECT_EQ(planned, ran);
    EXPECT_EQ(planned.value(1), 2000);
    EXPECT_EQ(lines("select level from dual connect by level <= 10"),
              QStringList({"0|SELECT STATEMENT|null|1|10",
                           "1|CONNECT BY WITHOUT FILTERING|null|1|10", "2|FAST DUAL|null|1|1"}));
}

}  // namespace
