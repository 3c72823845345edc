// The DDL of a DBA's schema script on the embedded engine: each row a statement as a DBA runs it
// and what Oracle answers (its rows, or its ORA error and the words that name the object).
#include "support/embeddedfixture.h"

#include <QFile>

#include <sqlite3.h>

using namespace qv;
using namespace qv::test;

namespace {

struct Step {
    const char* sql;
    int ora = 0;              // 0: succeeds
    const char* expect = "";  // a query's rows joined by " / ", or words of the error
};

class EmbeddedDdl : public EmbeddedTest {
  public:
    void run(std::initializer_list<Step> steps) {
        for (const Step& s : steps) {
            const QString sql = QString::fromUtf8(s.sql);
            SCOPED_TRACE(s.sql);
            if (s.ora != 0) {
                // Run once: a failed statement may still have moved a sequence.
                const DbError e = errorOf([&] { db_->execute(sql); });
                EXPECT_EQ(e.number(), kErrOdbcCall);
                EXPECT_TRUE(e.description().startsWith(
                    QStringLiteral("ORA-%1").arg(s.ora, 5, 10, QChar(u'0'))))
                    << e.what();
                EXPECT_TRUE(e.description().contains(QString::fromUtf8(s.expect))) << e.what();
            } else if (sql.startsWith(u"select", Qt::CaseInsensitive)) {
                try {
                    EXPECT_EQ(rowsOf(*db_, sql).join(QStringLiteral(" / ")),
                              QString::fromUtf8(s.expect));
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
         "references emp (empno) on delete set null, constraint ck_name check (ename = "
         "upper(ename)))"},
        {"create table dept (x number)", 955, "name is already used"},
        {"insert into dept values (10, 'SALES', 'NY')"},
        {"insert into dept values (10, 'OPS', 'LA')", 1,
         "unique constraint (SCOTT.PK_DEPT) violated"},
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
        {"select constraint_name, constraint_type, delete_rule, r_constraint_name from "
         "user_constraints where table_name = 'EMP' and generated = 'USER NAME' order by 1",
         0, "CK_NAME|C|null|null / FK_MGR|R|SET NULL|PK_EMP / PK_EMP|P|null|null"},
        {"create table bad (a number, constraint p1 primary key (a), constraint p2 primary key "
         "(a))",
         2260, "only one primary key"},
        {"create table bad (a number references dept (dname))", 2270, "no matching unique"},
        {"create table bad (a number references nowhere)", 942},
        {"create table bad (a number references dept deferrable initially deferred)", 3001},
        {"create table ok (a number constraint ok_fk references dept deferrable initially "
         "immediate using index tablespace users enable)"},
    });
}

TEST_F(EmbeddedDdl, CreateTableFormsKeepDeclaredTypes) {
    run({
        {"create table src (id number(8) primary key, name varchar2(10) collate nocase, price "
         "number(8,2), code char(5))"},
        {"insert into src values (1, 'a', 1.5, 'x')"},
        {"create table copy2 as select id from src where id = :1", 1027},
        {"create table copy as select id, name, price * 2 as dbl from src"},
        {"select count(*) from copy where name = 'A'", 0, "1"},
        {"select name, type from pragma_table_info('COPY') order by cid", 0,
         "ID|number(8) / NAME|varchar2(10) / DBL|"},
        {"select id, name, dbl from copy", 0, "1|a|3"},
        // As DBMS_METADATA.GET_DDL writes a table.
        {"CREATE TABLE \"SCOTT\".\"BONUS\" (\"ENAME\" VARCHAR2(10 BYTE) COLLATE "
         "\"USING_NLS_COMP\" NOT NULL ENABLE, \"JOB\" VARCHAR2(9 BYTE) COLLATE \"BINARY_CI\", "
         "\"SAL\" NUMBER, CONSTRAINT \"BONUS_PK\" PRIMARY KEY (\"ENAME\") USING INDEX PCTFREE 10 "
         "INITRANS 2 COMPUTE STATISTICS STORAGE(INITIAL 65536 NEXT 1048576) TABLESPACE \"USERS\" "
         "ENABLE) DEFAULT COLLATION \"USING_NLS_COMP\" SEGMENT CREATION DEFERRED PCTFREE 10 "
         "PCTUSED 40 INITRANS 1 MAXTRANS 255 NOCOMPRESS LOGGING TABLESPACE \"USERS\""},
        {"create table sales (id number(10), sold timestamp(6) with local time zone, span "
         "interval day(2) to second(6), doc clob, amount binary_double) lob (doc) store as "
         "securefile (enable storage in row) partition by range (sold) interval "
         "(numtoyminterval(1, 'MONTH')) (partition p0 values less than (date '2020-01-01'))"},
        {"select name, type from pragma_table_info('SALES') where name in ('span', 'doc')", 0,
         "span|interval day(2) to second(6) / doc|clob"},
        {"insert into bonus values ('KING', 'boss', 1)"},
        {"select ename from bonus where job = 'BOSS'", 0, "KING"},
        {"insert into bonus values ('KING', 'x', 2)", 1, "(SCOTT.BONUS_PK)"},
        {"create table iot (k varchar2(10) primary key, v number) organization index"},
        {"select wr from pragma_table_list('IOT')", 0, "1"},
        {"create table iot2 (k number) organization index", 25175},
        {"create index src_name on src (upper(name), price desc) tablespace users compute "
         "statistics online"},
        {"create unique index src_code on src (code)"},
        {"insert into src values (2, 'b', 1, 'x')", 1, "(SCOTT.SRC_CODE) violated"},
        {"create index src_name on src (price)", 955},
        {"create index src_price on src (price)"},
        {"create index src_price2 on src (price)", 1408},
        {"create index src_upper on src (upper(name), price desc)", 1408},
        {"create index src_id on src (id)", 1408},
        {"create index src_lower on src (lower(name), price desc)"},
        {"drop index src_price"},
        {"drop index src_name"},
        {"drop index src_name", 1418},
        {"drop index if exists src_name"},
        {"create index if not exists src_code on src (price)"},
        {"create table virt (a number, b number generated always as (a * 2) virtual)", 3001},
        {"create sequence s23456789012345678901234567890123456789012345678901234567890123456789012"
         "345678901234567890123456789012345678901234567890123456789",
         972},
        {"alter index src_code rebuild online"},
        {"alter index src_code rename to x", 3001},
        {"alter table src move tablespace users"},
        {"alter table src enable row movement"},
        {"rename copy to copy2"},
        {"select count(*) from copy2", 0, "1"},
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
        {"alter table c add constraint c_qty2 check (qty > -5) enable novalidate"},
        {"alter table c add constraint c_qty3 check (qty > 0) enable novalidate"},
        {"select qty from c order by id", 0, "5 / -1"},
        {"insert into c values (9, 1, -2)", 2290, "(SCOTT.C_QTY3)"},
        {"alter table c drop constraint c_qty3"},
        {"alter table c drop constraint c_qty2"},
        {"pragma ignore_check_constraints = on", 1031},
        {"update c set p_id = 2, qty = 1 where id = 2"},
        {"alter table c add (constraint c_fk foreign key (p_id) references p on delete cascade, "
         "constraint c_qty check (qty > 0))"},
        {"insert into c values (3, 2, 0)", 2290, "(SCOTT.C_QTY)"},
        {"select name from pragma_index_list('C') where name = 'c_p'", 0, "c_p"},
        {"alter table c disable constraint c_fk"},
        {"insert into c values (4, 9, 1)"},
        {"alter table c enable constraint c_fk", 2298},
        {"alter table c modify constraint c_fk enable novalidate"},
        {"insert into c values (5, 8, 1)", 2291, "(SCOTT.C_FK)"},
        {"select status, validated from user_constraints where constraint_name = 'C_FK'", 0,
         "ENABLED|NOT VALIDATED"},
        {"alter table p drop primary key", 2273},
        {"alter table p disable constraint p_pk", 2297},
        {"alter table p modify primary key disable", 2297},
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
        {"analyze table t compute statistics"},
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
        {"select count(*) > 0 from sqlite_stat1 where upper(tbl) = 'T'", 0, "1"},
        {"alter table t drop (a)"},
        {"alter table t add constraint t_bd unique (b, d)"},
        {"alter table t drop column d", 12991},
        {"alter table t drop column d cascade constraints"},
        {"alter table t rename column b to bee"},
        {"alter table t rename to t2"},
        {"select count(*) from user_col_comments where table_name = 'T2' and comments is not null",
         0, "0"},
        {"select * from t2 order by bee", 0, "x|7 / null|7"},
        {"alter table nothere add (x number)", 942},
        {"create table nn (k number(3) constraint nn_k not null, v number)"},
        {"insert into nn values (null, 1)", 1400},
        {"alter table nn disable constraint nn_k"},
        {"insert into nn values (null, 1)"},
        {"alter table nn enable constraint nn_k", 2296, "(SCOTT.NN_K) - null values found"},
        {"delete from nn"},
        {"alter table nn enable constraint nn_k"},
        {"insert into nn values (null, 2)", 1400},
        {"alter table nn drop constraint nn_k"},
        {"insert into nn values (null, 3)"},
        {"alter table nn modify (v default 0 not null, k default null)"},
        {"insert into nn (k) values (4)"},
        {"select constraint_type, search_condition from user_constraints where table_name = 'NN'",
         0, "C|\"V\" IS NOT NULL"},
        {"alter table nn modify v null"},
        {"select count(*) from user_constraints where table_name = 'NN'", 0, "0"},
        {"insert into nn values (5, null)"},
        // A new type must hold the values; a longer CHAR pads them.
        {"create table ty (c char, v varchar2(10), n number(6,2))"},
        {"insert into ty values ('a', 'abcdefgh', 1.5)"},
        {"select count(*) from ty where c = 'a  '", 0, "1"},
        {"alter table ty modify (v varchar2(7))", 1441},
        {"alter table ty modify (n number(5,2))", 1440},
        {"alter table ty modify (v varchar2(8), n number(9,2), c char(4))"},
        {"select c || '|', v, n from ty where c = 'a'", 0, "a   ||abcdefgh|1.5"},
        {"insert into ty (v) values ('123456789')", 12899, "(actual: 9, maximum: 8)"},
        // A column holding a value keeps its datatype, '123' or not; CHAR and VARCHAR2 of one
        // size trade places, and a DATE becomes a TIMESTAMP. An empty column takes any type.
        {"create table dt (s varchar2(4), d date, c char(3), e varchar2(5))"},
        {"insert into dt values ('123', date '2024-05-06', 'ab', null)"},
        {"alter table dt modify (s number)", 1439},
        {"alter table dt modify (d number)", 1439},
        {"alter table dt modify (c varchar2(4))", 1439},
        {"alter table dt modify (c varchar2(3))"},
        {"alter table dt modify (d timestamp)"},
        {"alter table dt modify (d date)", 1439},
        {"alter table dt modify (e number(3))"},
        {"select s + 1, to_char(d, 'YYYY-MM-DD'), c || '|' from dt", 0, "124|2024-05-06|ab |"},
    });
}

// Oracle's tables and views have at most 1,000 columns.
TEST_F(EmbeddedDdl, ATableOrViewHoldsAThousandColumnsAtMost) {
    QStringList columns;
    for (int k = 0; k < 1000; ++k)
        columns << QStringLiteral("c%1 number").arg(k);
    EXPECT_TRUE(failsWith(
        [&] { db_->execute("create table wide (" + columns.join(u", ") + ", c1000 number)"); },
        kErrOdbcCall, "ORA-01792"));
    db_->execute("create table wide (" + columns.join(u", ") + ")");
    EXPECT_TRUE(failsWith([&] { db_->execute("alter table wide add (extra number)"); },
                          kErrOdbcCall, "ORA-01792"));
    EXPECT_TRUE(failsWith([&] { db_->execute("create view wv as select w.*, 1 x from wide w"); },
                          kErrOdbcCall, "ORA-01792"));
    EXPECT_EQ(rowsOf(*db_, "select count(*) from user_tab_columns where table_name = 'WIDE'"),
              QStringList("1000"));
}

TEST_F(EmbeddedDdl, SequencesHandOutEachValueOnce) {
    run({
        {"create sequence s start with 10 increment by 5 maxvalue 20 nocycle nocache noorder"},
        {"select s.currval from dual", 8002, "S.CURRVAL is not yet defined"},
        {"select s.nextval, s.currval, s.nextval from dual", 0, "10|10|10"},
        {"create table t (id number(5), v number(5))"},
        {"insert into t values (s.nextval, s.currval)"},
        {"update t set v = s.nextval"},
        {"select id, v from t", 0, "15|20"},
        {"select s.nextval from dual", 8004, "S.NEXTVAL exceeds MAXVALUE"},
        {"alter sequence s maxvalue 100 increment by 50"},
        {"select s.nextval from dual", 0, "70"},
        {"alter sequence s start with 1", 2283},
        {"alter sequence s restart start with 20"},
        {"select s.nextval from dual", 0, "20"},
        {"alter sequence s restart start with 1000", 4008},
        {"create sequence down increment by -1 minvalue -2 maxvalue 0 cycle nocache"},
        {"select down.nextval from dual", 0, "0"},
        {"insert into t select down.nextval, 0 from t"},
        // Once per row, CURRVAL the row's own.
        {"create sequence many nocache"},
        {"insert into t select many.currval, many.nextval from t"},
        {"select id, v from t where v between 1 and 2 order by id", 0, "1|1 / 2|2"},
        {"select down.nextval from dual", 0, "-2"},
        {"select down.nextval from dual", 0, "0"},
        {"create sequence keep start with 100 nocache"},
        {"select keep.nextval from dual", 0, "100"},
    });
    // Another session takes the next value, and has a CURRVAL of its own.
    const auto other = connect();
    EXPECT_EQ(rowsOf(*other, "select keep.nextval, keep.currval from dual"),
              QStringList("101|101"));
    // A rollback takes no value back.
    db_->setAutoCommit(false);
    run({
        {"select keep.currval from dual", 0, "100"},
        {"select keep.nextval from dual", 0, "102"},
        {"rollback"},
        {"select keep.nextval from dual", 0, "103"},
        {"select sequence_name, min_value, max_value, increment_by, cycle_flag, last_number from "
         "user_sequences",
         0,
         "DOWN|-2|0|-1|Y|-1 / KEEP|1|9999999999999999999999999999|1|N|104 / "
         "MANY|1|9999999999999999999999999999|1|N|3 / S|1|100|50|N|70"},
        {"create sequence s", 955},
        {"create table s (x number)", 955},
        {"create sequence bad start with 5 maxvalue 3", 4008},
        {"create sequence bad increment by 0", 4002},
        {"create sequence bad minvalue 1 maxvalue 10 cycle cache 10", 4013},
        {"drop sequence s"},
        {"drop sequence s", 2289},
        {"drop sequence if exists s"},
        {"create sequence if not exists keep start with 1"},
        {"select keep.currval from dual", 0, "103"},
        {"select s.nextval from dual", 2289},
    });
    // The value handed out lasts: a later session goes on from it.
    db_ = connect();
    run({{"select keep.nextval, down.nextval from dual", 0, "104|-1"},
         {"select keep.currval from dual", 0, "104"}});
}

// Oracle's sequences stand outside transactions: what a session was given stays given, however
// its transaction ends, and sessions running at once share the values reserved.
TEST_F(EmbeddedDdl, SequenceValuesOutliveTheirTransactions) {
    run({{"create sequence s"},
         {"create table t (n number)"},
         {"insert into t select level from dual connect by level <= 50"},
         {"create sequence hi start with 9223372036854775806 maxvalue "
          "9999999999999999999999999999"},
         {"create sequence lo increment by -1 start with -9223372036854775807"}});
    // A session that ends inside the transaction of its FOR UPDATE.
    EXPECT_EQ(rowsOf(*db_, "select s.nextval from dual for update"), QStringList("1"));
    db_.reset();
    db_ = connect();
    {
        // A second session takes values while the first still reads its result.
        const auto reading = db_->openRecordset(QStringLiteral("select s.nextval from t"));
        const auto other = connect();
        EXPECT_EQ(rowsOf(*other, "select s.nextval from dual"), QStringList("3"));
        EXPECT_EQ(reading->value(0).toLongLong(), 2);
    }
    // What the sessions reserved and did not hand out goes back once the last one ends.
    db_.reset();
    db_ = connect();
    run(
        {{"select sequence_name, max_value, last_number from user_sequences where sequence_name "
          "= 'S'",
          0, "S|9999999999999999999999999999|4"}});
    // The engine's values end at 64 bits, wherever MAXVALUE (or MINVALUE) is beyond them.
    run({{"select hi.nextval from dual", 0, "9223372036854775806"},
         {"select hi.nextval from dual", 0, "9223372036854775807"},
         {"select hi.nextval from dual", 8004, "HI.NEXTVAL exceeds MAXVALUE"},
         {"select lo.nextval from dual", 0, "-9223372036854775807"},
         {"select lo.nextval from dual", 0, "-9223372036854775808"},
         {"select lo.nextval from dual", 8004, "LO.NEXTVAL goes below MINVALUE"}});
    db_ = connect();
    run({{"select hi.nextval from dual", 8004}, {"select lo.nextval from dual", 8004}});
}

// Where Oracle takes NEXTVAL and CURRVAL ("Sequence Pseudocolumns", SQL Language Reference).
TEST_F(EmbeddedDdl, SequenceValuesOnlyWhereOracleTakesThem) {
    run({
        {"create sequence s"},
        {"create table t (n number, m number)"},
        {"insert into t values (s.nextval, 0)"},
        {"insert into t (n) select s.nextval from t"},
        {"insert into t (n) (select s.nextval + 10 from dual)"},
        {"update t set m = s.nextval where n = 1"},
        {"select n, s.currval, nvl(s.nextval, 0) from t where n < 3 for update", 0,
         "1|5|5 / 2|6|6"},
        {"with q as (select n from t) select s.nextval from q where n = 1", 0, "7"},
        {"select s.nextval from t where s.currval > 0", 2287},
        {"select s.nextval from t order by n", 2287},
        {"select s.nextval, count(*) from t group by n", 2287},
        {"select distinct s.nextval from t", 2287},
        {"select s.nextval from t union all select 1 from dual", 2287},
        {"select * from (select s.nextval from dual)", 2287},
        {"select (select s.nextval from dual) from dual", 2287},
        {"with q as (select s.nextval v from dual) select v from q", 2287},
        {"insert into t (n) select s.nextval from t order by 1", 2287},
        {"insert into t values ((select s.nextval from dual), 0)", 2287},
        {"update t set m = 0 where n = s.currval", 2287},
        {"delete from t where n = s.currval", 2287},
        {"select s.currval from dual", 0, "7"},
    });
}

// Identity columns (CREATE TABLE's identity_clause): each takes its own sequence's next value
// where an INSERT leaves it out, whatever becomes of the transaction, also in the file reopened.
TEST_F(EmbeddedDdl, IdentityColumnsTakeTheirOwnSequencesValues) {
    db_->execute(planTableCreateStatement(kPlanTable));
    run({
        {"create table t (id number generated always as identity, n varchar2(10))"},
        {"create table d (id number(10) generated by default on null as identity (start with 100 "
         "increment by 10 nocache) primary key, n varchar2(10))"},
        {"create table b (id integer generated by default as identity, n varchar2(10))"},
        {"create table x (id varchar2(9) generated always as identity)", 30675},
        {"create table x (a number generated as identity, b number generated as identity)", 30669},
        {"create table x (a number generated as identity default 1)", 30674},
        {"insert into t (n) values ('a')"},
        {"insert into t values (default, 'b')"},
        {"insert into t (n) select 'c' from dual union all select 'd' from dual"},
        {"insert into t values (9, 'e')", 32795, "generated always identity column"},
        {"insert into t (id, n) select 9, 'e' from dual", 32795},
        {"update t set n = 'z', id = 9", 32796, "cannot update a generated always"},
        {"update t x set (x.id) = (select 9 from dual)", 32796},
        {"merge into t using (select 'm' n from dual) s on (t.n = s.n) when not matched then "
         "insert (n) values (s.n)"},
        {"select id, n from t order by id", 0, "1|a / 2|b / 3|c / 4|d / 5|m"},
        {"insert into d (n) values ('a')"},
        {"insert into d values (null, 'b'), (5, 'c')"},
        {"update d set id = 6 where id = 5"},
        {"insert into b values (7, 'a')"},
        {"insert into b values (null, 'b')", 1400, "(\"SCOTT\".\"B\".\"ID\")"},
        {"insert into b (n) values ('c')"},
        {"select id, n from d order by n", 0, "100|a / 110|b / 6|c"},
        {"select id from b order by id", 0, "1 / 7"},
        {"select column_name, nullable, data_default, identity_column, default_on_null from "
         "user_tab_columns where table_name in ('T', 'D') order by table_name, column_id",
         0,
         "ID|N|\"SCOTT\".\"ISEQ$$_2\".nextval|YES|YES / N|Y|null|NO|NO / "
         "ID|N|\"SCOTT\".\"ISEQ$$_1\".nextval|YES|NO / N|Y|null|NO|NO"},
        {"select * from user_tab_identity_cols order by table_name", 0,
         "B|ID|BY DEFAULT|ISEQ$$_3|START WITH: 1, INCREMENT BY: 1, MAX_VALUE: "
         "9999999999999999999999999999, MIN_VALUE: 1, CYCLE_FLAG: N, CACHE_SIZE: 20, ORDER_FLAG: "
         "N, SCALE_FLAG: N, EXTEND_FLAG: N, KEEP_VALUE: N / D|ID|BY DEFAULT|ISEQ$$_2|START WITH: "
         "100, INCREMENT BY: 10, MAX_VALUE: 9999999999999999999999999999, MIN_VALUE: 1, "
         "CYCLE_FLAG: N, CACHE_SIZE: 0, ORDER_FLAG: N, SCALE_FLAG: N, EXTEND_FLAG: N, KEEP_VALUE: "
         "N / T|ID|ALWAYS|ISEQ$$_1|START WITH: 1, INCREMENT BY: 1, MAX_VALUE: "
         "9999999999999999999999999999, MIN_VALUE: 1, CYCLE_FLAG: N, CACHE_SIZE: 20, ORDER_FLAG: "
         "N, SCALE_FLAG: N, EXTEND_FLAG: N, KEEP_VALUE: N"},
        {"select constraint_type, search_condition from user_constraints where table_name = 'T'", 0,
         "C|\"ID\" IS NOT NULL"},
        {"select sequence_name from user_sequences", 0, "ISEQ$$_1 / ISEQ$$_2 / ISEQ$$_3"},
        {"drop sequence iseq$$_1", 32794},
        {"alter sequence iseq$$_1 cache 5", 32793},
        {"alter table t modify n generated always as identity", 30673},
        {"alter table t modify id null", 30671},
        {"explain plan into quervin$plan_table for insert into t (n) select n from t"},
        {"select operation, object_name from quervin$plan_table where id < 2 order by id", 0,
         "INSERT STATEMENT|null / LOAD TABLE CONVENTIONAL|T"},
    });
    // A rolled-back insert used its value, and the file keeps the numbering.
    db_->setAutoCommit(false);
    run({{"insert into t (n) values ('r')"}, {"rollback"}});
    db_.reset();
    db_ = connect();
    run({
        {"insert into t (n) values ('f')"},
        {"select max(id) from t", 0, "7"},
        {"alter table b modify id generated always as identity (start with limit value)"},
        {"insert into b (n) values ('d')"},
        {"insert into b (id) values (1)", 32795},
        {"alter table b modify (id drop identity)"},
        {"insert into b (id, n) values (1, 'e')"},
        {"select id, n from b order by id, n", 0, "1|c / 1|e / 7|a / 8|d"},
        {"create table e (n varchar2(5))"},
        {"insert into e values ('x')"},
        {"alter table e add (id number generated always as identity (start with 10))"},
        {"insert into e (n) values ('y')"},
        {"select n, id from e order by id", 0, "x|10 / y|11"},
        {"drop table e"},
        {"drop table t"},
        {"select sequence_name from user_sequences", 0, "ISEQ$$_2"},
        {"select count(*) from user_tab_identity_cols", 0, "1"},
    });
}

TEST_F(EmbeddedDdl, ViewsCommentsAndDrops) {
    run({
        {"create table dept (deptno number(2) primary key, dname varchar2(14))"},
        {"create table emp (empno number(4) primary key, deptno number(2) references dept)"},
        {"insert into dept values (10, 'SALES')"},
        {"create or replace force view dept_v (no, name) as select deptno, dname from dept with "
         "read only"},
        {"select no, name from dept_v", 0, "10|SALES"},
        {"insert into dept_v values (20, 'X')", 42399, "read-only view"},
        {"create or replace view dept_v as select deptno from dept"},
        {"insert into dept_v values (20)", 1732},
        {"create view dept_v as select 1 from dual", 955},
        {"create view lost_v as select * from nowhere", 942},
        {"create force view lost_v as select * from nowhere"},
        {"select * from lost_v", 942},
        {"alter view lost_v compile"},
        {"alter view lost_v read only", 3001},
        {"create sequence s"},
        {"create view seq_v as select s.nextval n from dept", 2287},
        {"create table seq_t (a number default s.nextval)", 3001},
        {"comment on table dept is 'Departments'"},
        {"comment on column dept.dname is 'Name of the department'"},
        {"comment on column dept.nothing is 'x'", 904},
        {"comment on table nothing is 'x'", 942},
        {"select table_name, table_type, comments from user_tab_comments order by 1", 0,
         "DEPT|TABLE|Departments / DEPT_V|VIEW|null / EMP|TABLE|null / LOST_V|VIEW|null"},
        {"select column_name, comments from user_col_comments where table_name = 'DEPT'", 0,
         "DEPTNO|null / DNAME|Name of the department"},
        {"comment on table dept is ''"},
        {"select comments from user_tab_comments where table_name = 'DEPT'", 0, "null"},
        {"create index dept_v_no on dept_v (deptno)", 1702},
        {"drop view dept_v"},
        {"drop view dept_v", 942},
        {"drop view if exists dept_v"},
        {"create view if not exists emp as select 1 from dual"},
        {"truncate table dept", 2266},
        {"drop table dept", 2449, "referenced by foreign keys"},
        {"drop table dept cascade constraints purge"},
        {"insert into emp values (1, 99)"},
        {"drop table dept", 942},
        {"drop index nothing", 1418},
        {"select count(*) from user_constraints where table_name = 'DEPT'", 0, "0"},
    });
}

// COMMIT and ROLLBACK always succeed; what the engine does not run is refused, never run as
// something else; its catalog is its own.
TEST_F(EmbeddedDdl, TransactionsRefusalsAndTheCatalog) {
    run({
        {"commit"},
        {"rollback work"},
        {"commit work"},
        {"create table t (a number(3) primary key)"},
        {"begin transaction", 900},
        {"alter trigger nosuch disable", 4080},
    });
    db_->setAutoCommit(false);
    run({
        {"insert into t values (1)"},
        {"rollback"},
        {"select count(*) from t", 0, "0"},
        {"insert into t values (2)"},
        {"create table v (a number)"},
        {"rollback"},
        {"select count(*) from t", 0, "1"},
        {"grant select on t to public", 3001},
        {"create public synonym ts for t", 3001},
        {"create global temporary table g (a number) on commit preserve rows", 3001},
        {"create or replace procedure p is begin null; end;", 900},
        {"create trigger t_bi before insert on t for each row begin :new.a := 1; end;", 900},
        {"create trigger t_bi before insert or update on t begin select 1; end;", 900},
        {"insert into qv$constraints (name, table_name, type) values ('X', 'T', 'C')", 1031},
        {"delete from \"QV$CONSTRAINTS\"", 1031},
        {"create table u (a number(3) references t)"},
        {"drop trigger \"qv$fk$SYS_C0010002$ins\"", 1031},
        {"select count(*) from qv$constraints", 0, "2"},
        {"insert into u values (5)", 2291},
        {"create table qv$mine (a number)", 1031},
    });
}

// A file another program made, with SQLite's own foreign keys: a parent can be altered, and is
// dropped as Oracle drops a parent.
TEST_F(EmbeddedDdl, SqlitesOwnForeignKeysOfAnotherProgramsFile) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw,
                           "create table np (id integer primary key, name text);"
                           "create table nc (id integer primary key, np_id integer references np "
                           "(id));"
                           "insert into np values (1, 'a'); insert into nc values (1, 1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    run({
        {"alter table np add constraint np_name check (name is not null)"},
        {"insert into np values (2, null)", 2290, "(SCOTT.NP_NAME)"},
        {"insert into nc values (2, 99)", 2291},
        {"drop table np", 2449},
        {"drop table np cascade constraints"},
        {"insert into nc values (2, 99)"},
        {"select count(*) from nc", 0, "2"},
    });
}

// A plan names the index of a key after the key's constraint, as Oracle names the index it makes.
TEST_F(EmbeddedDdl, PlansNameAKeysIndexAfterItsConstraint) {
    run({{"create table d (deptno number(2) constraint pk_d primary key, code varchar2(5))"},
         {"create table r (id integer constraint r_key primary key, v number)"}});
    db_->execute(planTableCreateStatement(kPlanTable));
    const std::pair<const char*, const char*> plans[] = {
        {"select * from d where deptno = 10", "INDEX|UNIQUE SCAN|SCOTT|PK_D"},
        {"select * from r where id = 1", "INDEX|UNIQUE SCAN|SCOTT|R_KEY"},
    };
    for (const auto& [statement, line] : plans) {
        db_->execute(planDeleteStatement(kPlanTable));
        db_->execute(explainPlanStatement(kPlanTable, QString::fromUtf8(statement)));
        EXPECT_TRUE(rowsOf(*db_, planQueryStatement(kPlanTable)).join(u'/').contains(line))
            << rowsOf(*db_, planQueryStatement(kPlanTable)).join(u'/').toStdString();
    }
}

// The statements of a SQL*Plus script, as SQL*Plus sends them: each ends with a line ending in
// ';', which is not sent, or a line "/".
QStringList scriptStatements(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QStringList statements;
    QString current;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed == u"/") {
            statements << current;
            current.clear();
            continue;
        }
        if (trimmed.startsWith(u"--") && current.trimmed().isEmpty())
            continue;
        if (trimmed.endsWith(u';')) {
            statements << current + line.left(line.lastIndexOf(u';'));
            current.clear();
            continue;
        }
        current += line + u'\n';
    }
    EXPECT_TRUE(current.trimmed().isEmpty()) << "unterminated: " << current.toStdString();
    return statements;
}

void runScript(Database& db, const QString& path) {
    for (const QString& statement : scriptStatements(path)) {
        try {
            db.execute(statement);
        } catch (const DbError& e) {
            ADD_FAILURE() << statement.toStdString() << ": " << e.what();
        }
    }
}

// What the HR script leaves, as the session sees it.
void checkHrSchema(EmbeddedDdl& test) {
    test.run({
        {"select employee_id, full_name, department_name, region_name from emp_details_view "
         "order by 1",
         0,
         "100|Steven King|Administration|Americas / 101|Neena Kochhar|Marketing|Europe / "
         "102|Lex De Haan|Marketing|Europe"},
        {"select department_id, headcount from dept_sizes order by 1", 0, "10|1 / 20|2"},
        {"update emp_details_view set full_name = 'x'", 42399},
        {"insert into employees (employee_id, last_name, email, salary, department_id) values "
         "(employees_seq.nextval, 'Ernst', 'BERNST', 6000, 30)",
         2291, "(SCOTT.EMP_DEPT_FK)"},
        {"insert into employees (employee_id, last_name, email, salary) values (1, 'Ernst', "
         "'SKING', 6000)",
         1, "(SCOTT.EMP_EMAIL_UK)"},
        {"insert into employees (employee_id, last_name, email, salary) values (1, 'Ernst', "
         "'BERNST', 0)",
         2290, "(SCOTT.EMP_SALARY_MIN)"},
        {"insert into job_history values (101, date '2021-01-01', date '2020-01-01', 20)", 2290,
         "(SCOTT.JHIST_DATE_INTERVAL)"},
        {"delete from regions where region_id = 1", 2292, "(SCOTT.DEPT_REG_FK)"},
        // The failed insert took 103, as Oracle's does.
        {"select employees_seq.nextval from dual", 0, "104"},
        {"select comments from user_tab_comments where table_name = 'REGIONS'", 0,
         "Regions of the company"},
        {"select comments from user_col_comments where table_name = 'EMPLOYEES' and column_name "
         "= 'SALARY'",
         0, "Monthly salary, more than zero"},
        {"select type from pragma_table_info('employees') where name = 'salary'", 0, "NUMBER(8,2)"},
        {"select count(*) from employees where hire_date is not null", 0, "3"},
        {"delete from employees where employee_id = 101"},
        {"select count(*) from job_history", 0, "0"},
        {"delete from departments where department_id = 20", 2292, "(SCOTT.EMP_DEPT_FK)"},
    });
}

TEST_F(EmbeddedDdl, AHrSchemaScriptRunsStatementByStatementAndLastsInTheFile) {
    runScript(*db_, QStringLiteral(QUERVIN_HR_SCHEMA));
    checkHrSchema(*this);
    // Opened again later: the constraints, comments and sequences are still there, and the
    // schema can be dropped and made again from the same script.
    db_.reset();
    db_ = connect();
    run({{"select employees_seq.nextval from dual", 0, "105"},
         {"delete from regions where region_id = 2", 2292, "(SCOTT.DEPT_REG_FK)"}});
    runScript(*db_, QStringLiteral(QUERVIN_HR_DROP));
    run({{"select count(*) from qv$constraints", 0, "0"}});
    runScript(*db_, QStringLiteral(QUERVIN_HR_SCHEMA));
    checkHrSchema(*this);
}

}  // namespace
