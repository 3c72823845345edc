// The DDL of a DBA's schema script on the embedded engine: each row a statement as a DBA runs it
// and what Oracle answers (its rows, or its ORA error and the words that name the object).
#include "support/embeddedfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

struct Step {
    const char* sql;
    int ora = 0;              // 0: succeeds
    const char* expect = "";  // a query's rows joined by " / ", or words of the error
};

class EmbeddedDdl : public EmbeddedTest {
  protected:
    void run(std::initializer_list<Step> steps) {
        for (const Step& s : steps) {
            const QString sql = QString::fromUtf8(s.sql);
            SCOPED_TRACE(s.sql);
            if (s.ora != 0) {
                const QString code = QStringLiteral("ORA-%1").arg(s.ora, 5, 10, QChar(u'0'));
                EXPECT_TRUE(failsWith([&] { db_->execute(sql); }, kErrOdbcCall, code));
                EXPECT_TRUE(failsWith([&] { db_->execute(sql); }, kErrOdbcCall,
                                      QString::fromUtf8(s.expect)));
            } else if (sql.startsWith(u"select", Qt::CaseInsensitive)) {
                try {
                    EXPECT_EQ(rowsOf(*db_, sql).join(QStringLiteral(" / ")), QString::fromUtf8(s.expect));
                } catch (const DbError& e) {
                    ADD_FAILURE() << e.what();
                }
            } else {
                try {
                    db_->execute(sql);
                } catch (const DbError& e) {
                    ADD_FAILURE() << e.what();
                }
            }
        }
    }
};

TEST_F(EmbeddedDdl, ConstraintsOfCreateTableRaiseOraclesErrorsWithTheirNames) {
    run({
        {"create table dept (deptno number(2) constraint pk_dept primary key, dname varchar2(14) "
         "not null, loc varchar2(13) unique) tablespace users pctfree 10 storage (initial 64k) "
         "nologging"},
        {"create table emp (empno number(4), ename varchar2(10) not null, sal number(7,2) "
         "default 0 check (sal >= 0), deptno number(2) references dept on delete cascade, mgr "
         "number(4), constraint pk_emp primary key (empno), constraint fk_mgr foreign key (mgr) "
         "references emp (empno) on delete set null, constraint ck_name check (ename = upper(ename)))"},
        {"create table dept (x number)", 955, "name is already used"},
        {"insert into dept values (10, 'SALES', 'NY')"},
        {"insert into dept values (10, 'OPS', 'LA')", 1, "unique constraint (SCOTT.PK_DEPT) violated"},
        {"insert into dept values (20, 'OPS', 'NY')", 1, "(SCOTT.SYS_C"},
        {"insert into dept (deptno, loc) values (30, 'LA')", 1400,
         "cannot insert NULL into (\"SCOTT\".\"DEPT\".\"DNAME\")"},
        {"insert into emp (empno, ename, deptno) values (1, 'KING', 10)"},
        {"insert into emp (empno, ename, deptno) values (2, 'ford', 10)", 2290,
         "check constraint (SCOTT.CK_NAME) violated"},
        {"insert into emp (empno, ename, sal) values (2, 'FORD', -1)", 2290, "(SCOTT.SYS_C"},
        {"insert into emp (empno, ename, deptno) values (2, 'FORD', 99)", 2291,
         "integrity constraint (SCOTT.SYS_C"},
        {"insert into emp (empno, ename, deptno, mgr) values (2, 'FORD', 10, 7)", 2291,
         "(SCOTT.FK_MGR) violated - parent key not found"},
        {"insert into emp (empno, ename, deptno, mgr) values (2, 'FORD', 10, 1)"},
        {"update emp set mgr = 5 where empno = 2", 2291, "(SCOTT.FK_MGR)"},
        {"update dept set deptno = 11", 2292, "child record found"},
        {"select empno, sal, mgr from emp order by empno", 0, "1|0|null / 2|0|1"},
        {"delete from emp where empno = 1"},
        {"select empno, mgr from emp", 0, "2|null"},
        {"delete from dept"},
        {"select count(*) from emp", 0, "0"},
        {"select constraint_name, constraint_type, delete_rule from user_constraints where "
         "table_name = 'EMP' and generated = 'USER NAME' order by 1",
         0, "CK_NAME|C|null / FK_MGR|R|SET NULL / PK_EMP|P|null"},
        {"create table bad (a number, constraint p1 primary key (a), constraint p2 primary key (a))",
         2260, "only one primary key"},
        {"create table bad (a number references dept (dname))", 2270, "no matching unique"},
        {"create table bad (a number references nowhere)", 942},
    });
}

TEST_F(EmbeddedDdl, CreateTableFormsKeepDeclaredTypes) {
    run({
        {"create table src (id number(8) primary key, name varchar2(10) collate binary, price "
         "number(8,2), code char(5))"},
        {"insert into src values (1, 'a', 1.5, 'x')"},
        {"create table copy as select id, name, price * 2 as dbl from src"},
        {"select name, type from pragma_table_info('COPY') order by cid", 0,
         "ID|number(8) / NAME|varchar2(10) / DBL|"},
        {"select id, name, dbl from copy", 0, "1|a|3"},
        {"create table iot (k varchar2(10) primary key, v number) organization index"},
        {"select wr from pragma_table_list('IOT')", 0, "1"},
        {"create table iot2 (k number) organization index", 25175},
        {"create index src_name on src (upper(name), price desc) tablespace users compute "
         "statistics online"},
        {"create unique index src_code on src (code)"},
        {"insert into src values (2, 'b', 1, 'x')", 1, "(SCOTT.SRC_CODE) violated"},
        {"create index src_name on src (price)", 955},
        {"drop index src_name"},
        {"drop index src_name", 1418},
        {"create table ident (id number generated always as identity)", 900},
    });
}

TEST_F(EmbeddedDdl, AlterTableAddsConstraintsOnlyWhenTheRowsKeepThem) {
    run({
        {"create table p (id number(5), name varchar2(20))"},
        {"create table c (id number(5), p_id number(5), qty number(3))"},
        {"create index c_p on c (p_id)"},
        {"insert into p values (1, 'a'), (1, 'b'), (2, 'c')"},
        {"insert into c values (1, 1, 5), (2, 3, -1)"},
        {"alter table p add constraint p_pk primary key (id)", 2437, "(SCOTT.P_PK)"},
        {"select count(*) from p", 0, "3"},
        {"delete from p where name = 'b'"},
        {"alter table p add constraint p_pk primary key (id)"},
        {"alter table p add constraint p_uk unique (name)"},
        {"insert into p values (3, 'a')", 1, "(SCOTT.P_UK)"},
        {"alter table c add (constraint c_fk foreign key (p_id) references p on delete cascade, "
         "constraint c_qty check (qty > 0))",
         2298, "(SCOTT.C_FK) - parent keys not found"},
        {"alter table c add constraint c_qty check (qty > 0)", 2293, "(SCOTT.C_QTY)"},
        {"update c set p_id = 2, qty = 1 where id = 2"},
        {"alter table c add (constraint c_fk foreign key (p_id) references p on delete cascade, "
         "constraint c_qty check (qty > 0))"},
        {"insert into c values (3, 2, 0)", 2290, "(SCOTT.C_QTY)"},
        {"select name from pragma_index_list('C') where name = 'c_p'", 0, "c_p"},
        {"alter table c disable constraint c_fk"},
        {"insert into c values (4, 9, 1)"},
        {"alter table c enable constraint c_fk", 2298},
        {"alter table c enable novalidate constraint c_fk"},
        {"insert into c values (5, 8, 1)", 2291, "(SCOTT.C_FK)"},
        {"select status, validated from user_constraints where constraint_name = 'C_FK'", 0,
         "ENABLED|NOT VALIDATED"},
        {"alter table p drop primary key", 2273},
        {"alter table p disable constraint p_pk", 2297},
        {"delete from p where id = 2"},
        {"select id from c order by id", 0, "1 / 4"},
        {"alter table c drop constraint c_fk"},
        {"alter table c drop constraint c_fk", 2443},
        {"alter table p drop primary key"},
        {"insert into p values (1, 'z')"},
    });
}

TEST_F(EmbeddedDdl, AlterTableChangesColumns) {
    run({
        {"create table t (a number(5) primary key, b varchar2(10), c char(3))"},
        {"comment on column t.c is 'gone soon'"},
        {"insert into t values (1, 'x', 'ab')"},
        {"alter table t add (d date default date '2024-01-31', e number(3) not null)", 1758},
        {"alter table t add (d date default date '2024-01-31', e number(3) default 7 not null)"},
        {"alter table t add b number", 1430},
        {"select a, d, e from t", 0, "1|2024-01-31|7"},
        {"alter table t modify (b varchar2(40) not null)"},
        {"alter table t modify b not null", 1442},
        {"insert into t (a, c) values (2, 'q')", 1400, "\"T\".\"B\""},
        {"alter table t modify (b null)"},
        {"alter table t modify (c default 'zz')"},
        {"insert into t (a) values (2)"},
        {"alter table t modify c not null"},
        {"alter table t modify d not null", 0},
        {"update t set b = null where a = 2"},
        {"select type from pragma_table_info('T') where name = 'b'", 0, "varchar2(40)"},
        {"alter table t drop column c"},
        {"alter table t drop (a)"},
        {"alter table t rename column b to bee"},
        {"alter table t rename to t2"},
        {"select count(*) from user_col_comments where table_name = 'T2' and comments is not null",
         0, "0"},
        {"select * from t2 order by bee", 0, "x|2024-01-31|7 / null|2024-01-31|7"},
        {"alter table nothere add (x number)", 942},
    });
}

}  // namespace
