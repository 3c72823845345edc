// EXPLAIN PLAN of what is not a query: DDL and MERGE drawn with Oracle's lines above the plan of
// the query they read, changes of rows named by their table whatever its alias, and the
// statements Oracle does not explain refused as it refuses them.
#include "support/embeddedfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

// t: 2,000 rows, k = 1 in 60% of them and spread over k = 2..101 in the rest; an index on k.
class PlanStatements : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        for (const char* sql :
             {"create table t (id number(8) constraint pk_t primary key, k number(6), v "
              "varchar2(20), pad varchar2(200))",
              "insert into t select level, case when mod(level, 10) < 6 then 1 else 2 + "
              "mod(level, 100) end, 'v' || level, rpad('x', 200, 'x') from dual connect by level "
              "<= 2000",
              "create index ix_t_k on t (k)", "create table src (id number(8), v varchar2(20))",
              "insert into src select level * 3, 'new' from dual connect by level <= 50",
              "begin dbms_stats.gather_schema_stats('SCOTT'); end;"})
            db_->execute(QString::fromUtf8(sql));
        db_->execute(planTableCreateStatement(kPlanTable));
    }
    // "depth|OPERATION|OPTIONS|OBJECT_NAME" of each line; its CARDINALITY into `cards`.
    QStringList plan(const QString& statement, QList<qlonglong>* cards = nullptr) {
        db_->execute(planDeleteStatement(kPlanTable));
        db_->execute(explainPlanStatement(kPlanTable, statement));
        QStringList lines;
        for (const QString& row : rowsOf(*db_, planQueryStatement(kPlanTable))) {
            const QStringList f = row.split(u'|');
            lines << QStringList{f[2], f[3], f[4], f[6]}.join(u'|');
            if (cards)
                *cards << f[8].toLongLong();
        }
        return lines;
    }
    int objects(const QString& name) {
        return rowsOf(*db_,
                      "select object_name from user_objects where object_name = '" + name + "'")
            .size();
    }
};

TEST_F(PlanStatements, DdlIsDrawnAboveTheQueryItReadsAndExplainingItMakesNothing) {
    EXPECT_EQ(plan("create index ix_t_v on t (v desc)"),
              QStringList({"0|CREATE INDEX STATEMENT|null|null", "1|INDEX BUILD|NON UNIQUE|IX_T_V",
                           "2|SORT|CREATE INDEX|null", "3|TABLE ACCESS|FULL|T"}));
    EXPECT_EQ(plan("create unique index ix_t_u on t (id, v)").value(1),
              "1|INDEX BUILD|UNIQUE|IX_T_U");
    QList<qlonglong> cards;
    EXPECT_EQ(plan("create table t2 as select * from t where k = 1", &cards),
              QStringList({"0|CREATE TABLE STATEMENT|null|null", "1|LOAD AS SELECT|null|T2",
                           "2|OPTIMIZER STATISTICS GATHERING|null|null", "3|TABLE ACCESS|FULL|T"}));
    EXPECT_EQ(cards.front(), 1200);  // the histogram's share of k = 1
    EXPECT_EQ(plan("create table t3 (a number)"),
              QStringList({"0|CREATE TABLE STATEMENT|null|null"}));
    EXPECT_EQ(objects("IX_T_V") + objects("T2") + objects("T3"), 0);
    // Oracle explains no other DDL.
    for (const char* sql : {"drop table t", "alter table t add (w number)", "truncate table t",
                            "create view w as select * from t", "grant select on t to x"})
        EXPECT_TRUE(failsWith([&] { plan(QString::fromUtf8(sql)); }, kErrOdbcCall, "ORA-00900"))
            << sql;
    EXPECT_EQ(rowsOf(*db_, "select count(*) from t"), QStringList{"2000"});
}

TEST_F(PlanStatements, MergeIsItsTargetOverTheJoinThatFindsTheRowsToChange) {
    const QString merge = QStringLiteral(
        "merge into t using src s on (t.id = s.id) when matched then update set v = s.v");
    EXPECT_EQ(plan(merge + " when not matched then insert (id, v) values (s.id, s.v)").mid(0, 4),
              QStringList({"0|MERGE STATEMENT|null|null", "1|MERGE|null|T", "2|VIEW|null|null",
                           "3|NESTED LOOPS|OUTER|null"}));
    EXPECT_EQ(plan(merge).value(3), "3|NESTED LOOPS|null|null");
    EXPECT_TRUE(failsWith([&] { plan("merge into t using src s on (t.id = s.id)"); }, kErrOdbcCall,
                          "ORA-00905"));
}

// Oracle's UPDATE t alias and DELETE t alias run, and their plans name the table, with the rows
// they change estimated from the histogram.
TEST_F(PlanStatements, ChangesNameTheirTableAndEstimateTheRowsTheyChange) {
    EXPECT_EQ(plan("insert into t (id, k) values (5000, 1)"),
              QStringList({"0|INSERT STATEMENT|null|null", "1|LOAD TABLE CONVENTIONAL|null|T"}));
    // NEXTVAL: the sequence's line above the rows it numbers, under the statement's own.
    db_->execute("create sequence s_t start with 9000");
    EXPECT_EQ(plan("insert into t (id, k) values (s_t.nextval, 1)"),
              QStringList({"0|INSERT STATEMENT|null|null", "1|LOAD TABLE CONVENTIONAL|null|T",
                           "2|SEQUENCE|null|S_T"}));
    EXPECT_EQ(plan("insert into t (id, v) select s_t.nextval, v from src").mid(1, 3),
              QStringList({"1|LOAD TABLE CONVENTIONAL|null|T", "2|SEQUENCE|null|S_T",
                           "3|TABLE ACCESS|FULL|SRC"}));
    EXPECT_EQ(plan("select s_t.nextval from dual"),
              QStringList({"0|SELECT STATEMENT|null|null", "1|SEQUENCE|null|S_T",
                           "2|FAST DUAL|null|null"}));
    // A subquery of SET gives values to the rows found: it stands after them, not as a FILTER.
    // The unqualified k is the updated table's, not the subquery's.
    const QString update = QStringLiteral(
        "update t x set v = (select max(s.v) from t s where s.id = x.id + 1) where k = 8");
    EXPECT_EQ(plan(update),
              QStringList({"0|UPDATE STATEMENT|null|null", "1|UPDATE|null|T",
                           "2|TABLE ACCESS|BY INDEX ROWID BATCHED|T", "3|INDEX|RANGE SCAN|IX_T_K",
                           "2|SORT|AGGREGATE|null", "3|TABLE ACCESS|BY INDEX ROWID|T",
                           "4|INDEX|UNIQUE SCAN|PK_T"}));
    db_->execute("explain plan for " + update);
    EXPECT_EQ(rowsOf(*db_,
                     "select id, access_predicates from plan_table where "
                     "access_predicates is not null order by id"),
              QStringList({"3|\"X\".\"K\"=8", "6|\"S\".\"ID\"=\"X\".\"ID\"+1"}));
    // DISTINCT of the column an IN (subquery) gives its values: at most as many as those. The
    // nine ids below 30 meet three values of k.
    QList<qlonglong> distinct;
    const QString listed =
        QStringLiteral("select distinct k from t where k in (select id from src where id < 30)");
    EXPECT_EQ(plan(listed, &distinct).value(1), "1|SORT|UNIQUE NOSORT|null");
    EXPECT_EQ(rowsOf(*db_, listed).size(), 3);
    EXPECT_TRUE(distinct.value(1) >= 3 && distinct.value(1) <= 9) << distinct.value(1);
    // The columns of a select list are no tables: one table's conditions stay unqualified.
    db_->execute("delete from plan_table");
    db_->execute("explain plan for select id, k, v from t where k = 8");
    EXPECT_EQ(rowsOf(*db_, "select access_predicates from plan_table where id = 2"),
              QStringList{"\"K\"=8"});
    for (const char* sql : {"update t x set v = 'w' where x.k = 1", "delete t x where x.k = 8",
                            "delete from t x where x.k = 1"}) {
        const QString statement = QString::fromUtf8(sql);
        QList<qlonglong> cards;
        EXPECT_EQ(plan(statement, &cards).value(1).section(u'|', 3), "T") << sql;
        db_->execute(statement);
        const double changed = double(db_->recordsAffected());
        EXPECT_GT(changed, 0) << sql;
        EXPECT_TRUE(cards.value(1) >= changed / 2 && cards.value(1) <= changed * 2)
            << sql << ": estimated " << cards.value(1) << ", changed " << changed;
    }
}

// A key kept descending is searched by SYS_OP_DESCEND of the column, the comparison turned round
// against the constant's descended bytes, and filtered by the column's own value.
TEST_F(PlanStatements, ADescendingKeyIsSearchedByItsDescendedValue) {
    db_->execute("create index ix_t_v_id on t (v desc, id desc)");
    db_->execute("explain plan for select v from t where v = 'v7' and id between 42 and 84");
    EXPECT_EQ(rowsOf(*db_,
                     "select object_name, access_predicates, filter_predicates from "
                     "plan_table where id = 1"),
              QStringList{"IX_T_V_ID|SYS_OP_DESCEND(\"V\")=HEXTORAW('89C8FF') AND "
                          "SYS_OP_DESCEND(\"ID\")>=HEXTORAW('3EAAFF') AND "
                          "SYS_OP_DESCEND(\"ID\")<=HEXTORAW('3ED4FF')|"
                          "SYS_OP_UNDESCEND(SYS_OP_DESCEND(\"V\"))='v7' AND "
                          "SYS_OP_UNDESCEND(SYS_OP_DESCEND(\"ID\"))>=42 AND "
                          "SYS_OP_UNDESCEND(SYS_OP_DESCEND(\"ID\"))<=84"});
}

TEST_F(PlanStatements, QuotedNamesKeepTheirSpellingAndBlanks) {
    db_->execute(R"(create table "my tab" (id number primary key, "Lower" number))");
    db_->execute(R"(create table "lowert" (id number))");
    db_->execute(R"(create index "my ix" on "my tab" ("Lower"))");
    EXPECT_EQ(
        plan(R"(select * from "my tab" where "Lower" = 1)"),
        QStringList({"0|SELECT STATEMENT|null|null", "1|TABLE ACCESS|BY INDEX ROWID BATCHED|my tab",
                     "2|INDEX|RANGE SCAN|my ix"}));
    const QStringList joined = plan(R"(select * from "lowert" t, "my tab" m where m.id = t.id)");
    EXPECT_TRUE(joined.contains("2|TABLE ACCESS|FULL|lowert")) << joined.join(u' ').toStdString();
    EXPECT_TRUE(joined.contains("2|TABLE ACCESS|FULL|my tab")) << joined.join(u' ').toStdString();
}

}  // namespace
