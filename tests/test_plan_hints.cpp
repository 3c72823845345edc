// The optimizer's hints and goals in the embedded engine: what they do to the plan explained
// and to the run, the Hint Report Oracle 19c prints for them, plans made by rule, and the
// engine's own cost choosing a full scan over an index whose rows lie all over the table.
#include "core/tuning/gridmodel.h"
#include "core/tuning/hintusage.h"
#include "support/embeddedfixture.h"

#include <QRegularExpression>

using namespace qv;
using namespace qv::test;

namespace {

const QString kOracleTable = QStringLiteral("PLAN_TABLE");

// The run's plan lines as V$SQL_PLAN_STATISTICS_ALL gives them.
const QString kRunLines = QStringLiteral(
    "SELECT OPERATION, OPTIONS, OBJECT_NAME, CARDINALITY, COST, BYTES, LAST_CR_BUFFER_GETS "
    "FROM V$SQL_PLAN_STATISTICS_ALL WHERE SQL_ID = '%1' ORDER BY ID");

// t: 20,000 rows; status 'A' in two rows of five, spread over the whole table, so the index on
// it reaches a new block for nearly every row; grp a permutation of the rows' numbers.
// u: the same rows without gathered statistics. d: 100 rows keyed by k.
class PlanHints : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        const QString rows = QStringLiteral(
            "insert into %1 with recursive r(v) as (select 1 union all select v + 1 from r "
            "where v < 20000) select v, case when mod(v, 5) < 2 then 'A' else 'B' || mod(v, 5) "
            "end, mod(v, 7), mod(v * 7919, 20000), 'some text to give the rows a width' from r");
        for (const QString& table : {QStringLiteral("t"), QStringLiteral("u")}) {
            db_->execute(QStringLiteral("create table %1 (id number primary key, status "
                                        "varchar2(10) not null, n number, grp number not null, "
                                        "pad varchar2(60))")
                             .arg(table));
            db_->execute(rows.arg(table));
            db_->execute(QStringLiteral("create index %1_status on %1 (status, n)").arg(table));
            db_->execute(QStringLiteral("create index %1_grp on %1 (grp)").arg(table));
        }
        for (const char* sql : {"create table d (k number primary key, label varchar2(20))",
                                "insert into d select id, 'label ' || id from t where id <= 100",
                                "begin dbms_stats.gather_table_stats('SCOTT', 'T'); end;",
                                "begin dbms_stats.gather_table_stats('SCOTT', 'D'); end;",
                                "ALTER SESSION SET STATISTICS_LEVEL = ALL"})
            db_->execute(QString::fromLatin1(sql));
        stats_ = connect();
    }
    // "OPERATION OPTIONS NAME" of each line of the plan explained into PLAN_TABLE.
    QStringList plan(const QString& sql) {
        QStringList lines;
        for (const QString& row : explained(sql)) {
            const QStringList f = row.split(u'|');
            lines << QStringList{f[3], f[4], f[6]}
                         .filter(QRegularExpression("^(?!null$)"))
                         .join(u' ');
        }
        return lines;
    }
    QStringList explained(const QString& sql) {
        db_->execute(planDeleteStatement(kOracleTable));
        db_->execute(explainPlanStatement(kOracleTable, sql));
        return rowsOf(*db_, planQueryStatement(kOracleTable));
    }
    // The lines of the run of `sql` as `plan()` writes them, and the buffers it read.
    std::pair<QStringList, qlonglong> run(const QString& sql) {
        rowsOf(*db_, sql);
        const QString id =
            rowsOf(*stats_, QStringLiteral("SELECT PREV_SQL_ID FROM V$SESSION WHERE SID = %1")
                                .arg(db_->sessionId()))
                .value(0);
        lastRun_ = rowsOf(*stats_, kRunLines.arg(id));
        QStringList lines;
        for (const QString& row : lastRun_) {
            const QStringList f = row.split(u'|');
            lines << QStringList{f[0], f[1], f[2]}
                         .filter(QRegularExpression("^(?!null$)"))
                         .join(u' ');
        }
        return {lines, lastRun_.value(0).split(u'|').value(6).toLongLong()};
    }

    std::unique_ptr<embedded::EmbeddedDatabase> stats_;
    QStringList lastRun_;
};

// Each hint changes the plan as it says, and the run follows the plan explained.
TEST_F(PlanHints, HintsSteerThePlanAndTheRunFollowsIt) {
    const struct {
        const char* sql;
        QStringList lines;
    } cases[] = {
        {"select /*+ full(t) */ * from t where grp = 5",
         {"SELECT STATEMENT", "TABLE ACCESS FULL T"}},
        {"select /*+ full(@sel$1 t) */ * from t where grp = 5",
         {"SELECT STATEMENT", "TABLE ACCESS FULL T"}},
        {"update /*+ full(t) */ t set pad = 'x' where grp = 5",
         {"UPDATE STATEMENT", "UPDATE T", "TABLE ACCESS FULL T"}},
        {"select /*+ no_index(t t_grp) */ * from t where grp = 5",
         {"SELECT STATEMENT", "TABLE ACCESS FULL T"}},
        {"select /*+ index(x t_status) */ * from t x where status = 'A'",
         {"SELECT STATEMENT", "TABLE ACCESS BY INDEX ROWID BATCHED T",
          "INDEX RANGE SCAN T_STATUS"}},
        {"select --+ index(t)\n * from t where status = 'A'",
         {"SELECT STATEMENT", "TABLE ACCESS BY INDEX ROWID BATCHED T",
          "INDEX RANGE SCAN T_STATUS"}},
        {"select /*+ index_ffs(t t_status) */ status, n from t",
         {"SELECT STATEMENT", "INDEX FAST FULL SCAN T_STATUS"}},
    };
    for (const auto& c : cases) {
        const QString sql = QString::fromLatin1(c.sql);
        EXPECT_EQ(plan(sql), c.lines) << c.sql;
        EXPECT_EQ(run(sql).first, c.lines) << c.sql;
    }
    // LEADING and ORDERED: the table read first, whichever SQLite would take.
    const std::pair<const char*, const char*> orders[] = {
        {"select /*+ leading(d t) */ d.label from d, t where d.k = t.n and t.grp = 5", "D"},
        {"select /*+ leading(t d) */ d.label from d, t where d.k = t.n and t.grp < 5000", "T"},
        {"select /*+ ordered */ d.label from d, t where d.k = t.n and t.grp = 5", "D"},
        {"select /*+ ordered */ d.label from t, d where d.k = t.n and t.grp < 5000", "T"}};
    for (const auto& [text, first] : orders) {
        const QString sql = QString::fromLatin1(text);
        const QStringList lines = plan(sql);
        const QStringList tables = lines.filter(QRegularExpression(" [TD]$"));
        EXPECT_TRUE(!tables.isEmpty() && tables[0].endsWith(u' ' + QLatin1String(first)))
            << text << ": " << lines.join(", ").toStdString();
        EXPECT_EQ(run(sql).first, lines) << text;
    }
    // What the run read follows the plan: one row found by its index against the whole table.
    const qlonglong full =
        run(QStringLiteral("select /*+ full(t) */ * from t where grp = 5")).second;
    const qlonglong indexed = run(QStringLiteral("select * from t where grp = 5")).second;
    EXPECT_GT(full, 10 * indexed);
}

// The join hints choose how each table is joined, and the Hint Report tells whether the plan
// follows them; the run follows the plan explained. D is probed for each of T's rows unless
// hashed.
TEST_F(PlanHints, JoinHintsChooseTheJoinAndAreReportedTruthfully) {
    const QStringList hashed = {"SELECT STATEMENT", "HASH JOIN", "TABLE ACCESS FULL D",
                                "INDEX FAST FULL SCAN T_STATUS"};
    const QStringList nested = {"SELECT STATEMENT", "NESTED LOOPS", "INDEX FAST FULL SCAN T_STATUS",
                                "TABLE ACCESS BY INDEX ROWID D", "INDEX UNIQUE SCAN SYS_C0010007"};
    const QStringList fewFirst = {"SELECT STATEMENT", "HASH JOIN",
                                  "TABLE ACCESS BY INDEX ROWID BATCHED T",
                                  "INDEX RANGE SCAN SYS_C0010001", "TABLE ACCESS FULL D"};
    const struct {
        const char* sql;
        QStringList lines;
        const char* report;  // the hint's line in the Hint Report (U: unused)
    } cases[] = {
        {"select d.label from t, d where d.k = t.n", hashed, nullptr},
        {"select /*+ use_nl(d) */ d.label from t, d where d.k = t.n", nested, "  -  use_nl(d)"},
        {"select /*+ no_use_hash(d) */ d.label from t, d where d.k = t.n", nested,
         "  -  no_use_hash(d)"},
        {"select /*+ swap_join_inputs(t) */ d.label from t, d where d.k = t.n",
         {hashed[0], hashed[1], hashed[3], hashed[2]},
         "  -  swap_join_inputs(t)"},
        // 49 rows of T: probing D for each costs less, unless a hint says otherwise.
        {"select /*+ use_hash(d) */ d.label from t, d where d.k = t.grp and t.id < 50", fewFirst,
         "  -  use_hash(d)"},
        {"select /*+ leading(t d) */ d.label from d join t on d.k = t.grp where t.id < 50",
         {fewFirst[0], "NESTED LOOPS", fewFirst[2], fewFirst[3], "TABLE ACCESS BY INDEX ROWID D",
          "INDEX UNIQUE SCAN SYS_C0010007"},
         "  -  leading(t d)"},
        {"select /*+ use_hash(t) */ * from t where id = 5",
         {"SELECT STATEMENT", "TABLE ACCESS BY INDEX ROWID T", "INDEX UNIQUE SCAN SYS_C0010001"},
         "U -  use_hash(t)"},
    };
    for (const auto& c : cases) {
        const QString sql = QString::fromLatin1(c.sql);
        EXPECT_EQ(plan(sql), c.lines) << c.sql;
        const QStringList display =
            rowsOf(*db_, QStringLiteral("select * from table(dbms_xplan.display)"));
        if (c.report) {
            EXPECT_TRUE(display.contains(QString(9, u' ') + QLatin1String(c.report))) << c.sql;
        }
        EXPECT_EQ(run(sql).first, c.lines) << c.sql;
    }
}

// DBMS_XPLAN.DISPLAY ends with the Hint Report, which the tool reads from OTHER_XML: hints used,
// unused, naming no table of the query, and malformed.
TEST_F(PlanHints, TheHintReportTellsWhatBecameOfEachHint) {
    const QString sql = QStringLiteral(
        "select /*+ all_rows full(e) index(e no_such_ix) fulll(e) full(t) */ * from t e "
        "where grp = 5");
    const QStringList rows = explained(sql);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows[0].split(u'|').value(11), QStringLiteral("HINT: ALL_ROWS"));
    const QStringList report = {
        "Hint Report (identified by operation id / Query Block Name / Object Alias):",
        "Total hints for statement: 5 (U - Unused (1), N - Unresolved (1), E - Syntax error (1))",
        QString(75, u'-'),
        "",
        "   0 -  STATEMENT",
        "           -  all_rows",
        "",
        "   1 -  SEL$1",
        "         E -  FULLL",
        "         N -  full(t)",
        "",
        "   1 -  SEL$1 / E@SEL$1",
        "           -  full(e)",
        "         U -  index(e no_such_ix) / index specified in the hint doesn't exist"};
    const QStringList display =
        rowsOf(*db_, QStringLiteral("select * from table(dbms_xplan.display)"));
    ASSERT_GE(display.size(), report.size());
    EXPECT_EQ(display.mid(display.size() - report.size()).replaceInStrings("null", ""), report);

    // The tool's reading: the first plan line's tooltip ends with it.
    QList<PlanLine> lines;
    for (const QString& row : rows) {
        PlanLine line;
        line.id = lines.size();
        line.operation = row.split(u'|').value(3);
        lines << line;
    }
    addHintReport(*db_, kOracleTable, lines);
    EXPECT_EQ(lines[0].hintReport, report.join(u'\n'));
    EXPECT_EQ(hintReportText(lines, QStringLiteral("\r\n")),
              report.join(QStringLiteral("\r\n")) + "\r\n");
    GridModel grid;
    fillPlanGrid(lines, grid);
    EXPECT_TRUE(grid.rowToolTip(1).endsWith(report.join(u'\n')));
    EXPECT_EQ(grid.rowToolTip(2), QString());

    // The tool's own plan table has no OTHER_XML: the usage goes into OTHER and is read there.
    db_->execute(planTableCreateStatement(kPlanTable));
    db_->execute(explainPlanStatement(kPlanTable, sql));
    lines[0].hintReport.clear();
    addHintReport(*db_, kPlanTable, lines);
    EXPECT_EQ(lines[0].hintReport, report.join(u'\n'));
    // No plan table to read: no report, and no failure.
    lines[0].hintReport.clear();
    addHintReport(*db_, QStringLiteral("NO_SUCH_PLAN_TABLE"), lines);
    EXPECT_EQ(lines[0].hintReport, QString());
}

// A plan made by rule takes the index over the full scan and has no figures: NULL in the plan
// table and V$SQL_PLAN_STATISTICS_ALL, empty cells in the plan grid.
TEST_F(PlanHints, RulePlansRankTheIndexFirstAndHaveNoFigures) {
    const QString sql = QStringLiteral("select * from t where status = 'A'");
    db_->execute(QStringLiteral("ALTER SESSION SET OPTIMIZER_MODE = RULE"));
    const QStringList rows = explained(sql);
    ASSERT_EQ(rows.size(), 3);
    for (const QString& row : rows)
        EXPECT_EQ(row.split(u'|').mid(8, 3), (QStringList{"null", "null", "null"}))
            << row.toStdString();
    EXPECT_EQ(rows[0].split(u'|').value(11), QStringLiteral("RULE"));
    EXPECT_EQ(plan(sql).value(2), QStringLiteral("INDEX RANGE SCAN T_STATUS"));
    run(sql);
    ASSERT_EQ(lastRun_.size(), 3);
    EXPECT_EQ(lastRun_[1].split(u'|').mid(3, 3), (QStringList{"null", "null", "null"}));

    QList<PlanLine> lines;
    for (auto rs = db_->openRecordset(planQueryStatement(kOracleTable)); !rs->eof();
         rs->moveNext()) {
        PlanLine line;
        line.operation = rs->value(QStringLiteral("OPERATION")).toString();
        line.cardinality = numberOf(rs->value(QStringLiteral("CARDINALITY")));
        line.cost = numberOf(rs->value(QStringLiteral("COST")));
        line.bytes = numberOf(rs->value(QStringLiteral("BYTES")));
        lines << line;
    }
    GridModel grid;
    fillPlanGrid(lines, grid);
    EXPECT_EQ((QStringList{grid.text(2, 1), grid.text(2, 2), grid.text(2, 3)}),
              (QStringList{"", "", ""}));
}

// FIRST_ROWS reads the rows in the ORDER BY's order through an index rather than sort them all
// first; ALL_ROWS sorts.
TEST_F(PlanHints, FirstRowsTakesTheIndexThatGivesTheOrder) {
    const QString sql = QStringLiteral("select * from t where status = 'B1' order by grp");
    EXPECT_TRUE(plan(sql).contains(QStringLiteral("SORT ORDER BY")));
    const QStringList first = {"SELECT STATEMENT", "TABLE ACCESS BY INDEX ROWID T",
                               "INDEX FULL SCAN T_GRP"};
    EXPECT_EQ(plan(QStringLiteral("select /*+ first_rows(10) */ * from t where status = 'B1' "
                                  "order by grp")),
              first);
    db_->execute(QStringLiteral("ALTER SESSION SET OPTIMIZER_GOAL = FIRST_ROWS"));
    EXPECT_EQ(plan(sql), first);
    EXPECT_EQ(run(sql).first, first);
}

// With statistics, the clustering factor of t_status prices its 8,000 rows at nearly a block
// each: the full scan is cheaper, is the plan, and reads fewer buffers than the index the hint
// forces. Without statistics (u) SQLite's choice stands.
TEST_F(PlanHints, TheClusteringFactorMakesTheFullScanTheCheaperPlan) {
    const QString sql = QStringLiteral("select * from t where status = 'A'");
    const QString hinted =
        QStringLiteral("select /*+ index(t t_status) */ * from t where status = 'A'");
    EXPECT_EQ(plan(sql), (QStringList{"SELECT STATEMENT", "TABLE ACCESS FULL T"}));
    const qlonglong cost = explained(sql).value(0).split(u'|').value(9).toLongLong();
    const qlonglong hintedCost = explained(hinted).value(0).split(u'|').value(9).toLongLong();
    EXPECT_LT(cost, hintedCost);
    const auto [lines, buffers] = run(sql);
    EXPECT_EQ(lines, (QStringList{"SELECT STATEMENT", "TABLE ACCESS FULL T"}));
    EXPECT_LT(buffers, run(hinted).second);
    EXPECT_EQ(plan(QStringLiteral("select * from u where status = 'A'")),
              (QStringList{"SELECT STATEMENT", "TABLE ACCESS BY INDEX ROWID BATCHED U",
                           "INDEX RANGE SCAN U_STATUS"}));
}

}  // namespace
