// Indexes made with NOSEGMENT: in the creating session's memory alone, seen by its dictionary as
// Oracle's, weighed by its EXPLAIN PLAN from the statistics DBMS_STATS.SET_INDEX_STATS gives them
// when "_use_nosegment_indexes" is TRUE, and never written to the file.
#include "support/embeddedfixture.h"

#include <QFile>

using namespace qv;
using namespace qv::test;

namespace {

constexpr int kRows = 20'000;

// w: kRows rows; grp is 1 in 70% of them, the rest spread over 100 values; code all different,
// in an order of its own.
class EmbeddedVirtualIndexes : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        for (const QString& sql :
             {QStringLiteral("create table w (id number primary key, grp number, code number, "
                             "pad varchar2(60))"),
              QStringLiteral("insert into w with recursive r(v) as (select 1 union all select "
                             "v + 1 from r where v < %1) select v, case when v % 10 < 7 then 1 "
                             "else 2 + v % 100 end, (v * 7919) % %1, 'text to give the rows the "
                             "width of a real table' from r")
                  .arg(kRows),
              planTableCreateStatement(kPlanTable),
              QStringLiteral("begin dbms_stats.gather_table_stats('SCOTT', 'W'); end;")})
            db_->execute(sql);
    }
    // OPERATION OPTIONS OBJECT_NAME of each line, and the root's cost through `cost`.
    QStringList plan(const QString& statement, double* cost = nullptr) {
        db_->execute(planDeleteStatement(kPlanTable));
        db_->execute(explainPlanStatement(kPlanTable, statement));
        QStringList lines;
        for (const QString& row : rowsOf(*db_, planQueryStatement(kPlanTable))) {
            const QStringList f = row.split(u'|');
            lines << QStringList{f[3], f[4], f[6]}.join(u' ').simplified();
            if (cost && lines.size() == 1)
                *cost = f[9].toDouble();
        }
        return lines;
    }
    // The statistics the what-if gives an index on `column`, with `clustering` as its factor.
    void setStats(const char* index, int distinct, int clustering) {
        db_->execute(QStringLiteral("begin dbms_stats.set_index_stats(ownname => 'SCOTT', "
                                    "indname => '%1', numrows => %2, numlblks => 40, numdist => "
                                    "%3, clstfct => %4, indlevel => 1); end;")
                         .arg(QLatin1String(index))
                         .arg(kRows)
                         .arg(distinct)
                         .arg(clustering));
    }
    QByteArray fileBytes() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(EmbeddedVirtualIndexes, LivesInTheSessionAndItsDictionaryAlone) {
    const QByteArray before = fileBytes();
    db_->execute(QStringLiteral("create index w_code on w (code desc) nosegment"));
    EXPECT_EQ(rowsOf(*db_, QStringLiteral("select object_type from user_objects where "
                                          "object_name = 'W_CODE'")),
              QStringList{"INDEX"});
    EXPECT_EQ(rowsOf(*db_, QStringLiteral("select table_name, column_name, column_position, "
                                          "descend from user_ind_columns where index_name = "
                                          "'W_CODE'")),
              QStringList{"W|CODE|1|DESC"});
    EXPECT_TRUE(rowsOf(*db_, QStringLiteral("select 1 from user_indexes where index_name = "
                                            "'W_CODE'"))
                    .isEmpty());
    auto other = connect();
    EXPECT_TRUE(rowsOf(*other, QStringLiteral("select 1 from user_objects where object_name = "
                                              "'W_CODE'"))
                    .isEmpty());
    EXPECT_TRUE(failsWith([&] { db_->execute(QStringLiteral("alter index w_code rebuild")); },
                          kErrOdbcCall, QStringLiteral("ORA-08114")));
    EXPECT_TRUE(failsWith([&] { db_->execute(QStringLiteral("create index w_code on w (grp)")); },
                          kErrOdbcCall, QStringLiteral("ORA-00955")));
    EXPECT_TRUE(failsWith(
        [&] {
            db_->execute(
                QStringLiteral("create index w_x on w (nope) "
                               "nosegment"));
        },
        kErrOdbcCall, QStringLiteral("ORA-00904")));
    // The what-if's whole round leaves the file as it was.
    db_->execute(QStringLiteral("alter session set \"_use_nosegment_indexes\" = true"));
    setStats("W_CODE", kRows, kRows);
    EXPECT_TRUE(
        plan(QStringLiteral("select * from w where code = 5")).contains("INDEX RANGE SCAN W_CODE"));
    db_->execute(QStringLiteral("drop index w_code"));
    EXPECT_TRUE(rowsOf(*db_, QStringLiteral("select 1 from user_objects where object_name = "
                                            "'W_CODE'"))
                    .isEmpty());
    EXPECT_EQ(fileBytes(), before);
    // The session's end forgets them.
    other->execute(QStringLiteral("create index w_grp on w (grp) nosegment"));
    other.reset();
    other = connect();
    EXPECT_TRUE(rowsOf(*other, QStringLiteral("select 1 from user_objects where object_name = "
                                              "'W_GRP'"))
                    .isEmpty());
    // And so does dropping its table.
    db_->execute(QStringLiteral("create index w_pad on w (pad) nosegment"));
    db_->execute(QStringLiteral("drop table w"));
    EXPECT_EQ(rowsOf(*db_, QStringLiteral("select count(*) from user_objects where object_type "
                                          "= 'INDEX'")),
              QStringList{"0"});
}

TEST_F(EmbeddedVirtualIndexes, ThePlanWeighsThemAsRealOnesWhenAsked) {
    const QString selective = QStringLiteral("select * from w where code = 5");
    const QString common = QStringLiteral("select * from w where grp = 1");
    db_->execute(QStringLiteral("create index w_code on w (code) nosegment"));
    db_->execute(QStringLiteral("create index w_grp on w (grp) nosegment"));
    setStats("W_CODE", kRows, kRows);
    setStats("W_GRP", 101, 400);
    EXPECT_FALSE(plan(selective).join(u',').contains(u"W_CODE"));
    db_->execute(QStringLiteral("alter session set \"_use_nosegment_indexes\" = true"));
    double full = 0, indexed = 0;
    plan(common, &full);
    EXPECT_EQ(plan(common).value(1), "TABLE ACCESS FULL W");
    EXPECT_TRUE(plan(selective, &indexed).contains("INDEX RANGE SCAN W_CODE"));
    EXPECT_LT(indexed, full);
    // The clustering factor moves the cost of the rows fetched by rowid.
    const QString range = QStringLiteral("select * from w where code between 100 and 300");
    double clustered = 0, scattered = 0;
    setStats("W_CODE", kRows, 200);
    EXPECT_TRUE(plan(range, &clustered).contains("INDEX RANGE SCAN W_CODE"));
    setStats("W_CODE", kRows, kRows);
    plan(range, &scattered);
    EXPECT_GT(scattered, clustered);
    // Changes the session has not committed stay through a what-if.
    db_->setAutoCommit(false);
    db_->execute(QStringLiteral("delete from w where grp = 1"));
    EXPECT_TRUE(plan(selective).contains("INDEX RANGE SCAN W_CODE"));
    EXPECT_EQ(rowsOf(*db_, QStringLiteral("select count(*) from w")),
              QStringList{QString::number(kRows * 3 / 10)});
    db_->rollback();
    db_->setAutoCommit(true);
    // Under the rule goal, off again, or dropped, the index is not there.
    db_->execute(QStringLiteral("alter session set optimizer_mode = rule"));
    EXPECT_FALSE(plan(selective).join(u',').contains(u"W_CODE"));
    db_->execute(QStringLiteral("alter session set optimizer_mode = all_rows"));
    EXPECT_FALSE(plan(QStringLiteral("select /*+ rule */ * from w where code = 5"))
                     .join(u',')
                     .contains(u"W_CODE"));
    db_->execute(QStringLiteral("alter session set \"_use_nosegment_indexes\" = false"));
    EXPECT_FALSE(plan(selective).join(u',').contains(u"W_CODE"));
    db_->execute(QStringLiteral("alter session set \"_use_nosegment_indexes\" = true"));
    db_->execute(QStringLiteral("drop index w_code"));
    EXPECT_FALSE(plan(selective).join(u',').contains(u"W_CODE"));
    // A query that runs never uses it; the statistics of a real index are set as well.
    EXPECT_EQ(rowsOf(*db_, QStringLiteral("select count(*) from w where grp = 1")),
              QStringList{QString::number(kRows * 7 / 10)});
    db_->execute(QStringLiteral("create index w_real on w (code)"));
    setStats("W_REAL", kRows, 1234);
    EXPECT_EQ(rowsOf(*db_, QStringLiteral("select clustering_factor, blevel from user_indexes "
                                          "where index_name = 'W_REAL'")),
              QStringList{"1234|1"});
}

}  // namespace
