// Comparing two recorded runs and writing the comparison out; the history and comparison
// windows on a real file.
#include "core/history/changechart.h"
#include "core/history/comparisonexport.h"
#include "core/history/historyfile.h"
#include "core/history/historynotifier.h"
#include "gui/comparisonwindow.h"
#include "gui/historyrunmodel.h"
#include "gui/historywindow.h"
#include "gui/mainframe.h"
#include "gui/plaintext.h"
#include "gui/querywindow.h"
#include "support/checks.h"

#include "support/modalanswerer.h"
#include "support/tempprogram.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

RecordedRun run(int number, const QString& sql, const QList<RecordedStatistic>& stats,
                const QStringList& plan, const QString& service = u"ORCL"_s) {
    RecordedRun r;
    r.summary.number = number;
    r.summary.sql = sql;
    RunFacts facts;
    facts.service = service;
    facts.user = u"scott"_s;
    facts.rowCount = 10;
    facts.elapsedMs = number * 1000;
    r.summary.facts = facts;
    r.statistics = stats;
    for (const QString& op : plan) {
        RecordedPlanLine line;
        line.operation = op;
        line.cardinality = u"10"_s;
        line.cost = u"5"_s;
        line.bytes = u"100"_s;
        r.plan.append(line);
    }
    return r;
}

}  // namespace

TEST(RunComparison, StatisticsPairByNameAndTheLargestChangeComesFirst) {
    const RunComparison c = compareRuns(
        run(1, u"select *\nfrom t"_s,
            {{5, u"consistent gets"_s, 1200LL},
             {7, u"sorts (memory)"_s, 1LL},
             {9, u"only in A"_s, 3LL},
             {11, u"unchanged"_s, 8LL}},
            {u"SELECT STATEMENT"_s, u" TABLE ACCESS FULL (APP.T)"_s, u" SORT ORDER BY"_s}),
        run(2, u"select *\nfrom t\nwhere x = 1"_s,
            {{6, u"consistent gets"_s, 30LL},
             {7, u"sorts (memory)"_s, 1LL},
             {12, u"only in B"_s, 2.5},
             {11, u"unchanged"_s, 8LL}},
            {u"SELECT STATEMENT"_s, u" TABLE ACCESS BY INDEX ROWID (APP.T)"_s,
             u"  INDEX RANGE SCAN (APP.IX)"_s, u" SORT ORDER BY"_s},
            u"XE"_s));
    QStringList order;
    for (const StatisticChange& s : c.statistics)
        order << s.name + u"="_s + valueText(QVariant(s.difference)) + u"/"_s + ratioText(s.ratio);
    EXPECT_EQ(order, (QStringList{u"consistent gets=-1170/0.03"_s, u"only in A=-3/0.00"_s,
                                  u"only in B=2.5/-"_s, u"sorts (memory)=0/1.00"_s,
                                  u"unchanged=0/1.00"_s}));
    EXPECT_EQ(c.statisticsShown(true).size(), 3);
    EXPECT_EQ(c.statisticsShown(true, 5).size(), 1) << "a threshold like runstats'";
    using P = PlanLineChange::Kind;
    QList<P> kinds;
    for (const PlanLineChange& p : c.plan)
        kinds << p.kind;
    EXPECT_EQ(kinds, (QList<P>{P::Same, P::Operation, P::Added, P::Same}));
    using T = TextLineChange::Kind;
    EXPECT_EQ(c.sql.last().kind, T::Added);
    EXPECT_EQ(c.notes, QStringList{u"サービスが違います: ORCL と XE"_s});
    EXPECT_EQ(c.summary(2),
              u"No.1 → No.2　経過時間 1.000秒 → 2.000秒、行数 10 → 10、"
              u"consistent gets 1200 → 30"_s)
        << "a change of 3 is no headline";
}

// The headline and the chart lead with Oracle's tuning statistics, in autotrace's order, and
// never with a statistic only the engine keeps; the headline names changes of at least 10 and
// 10% only.
TEST(RunComparison, HeadlineAndChartLeadWithOracleTuningStatistics) {
    const RunComparison c = compareRuns(run(1, u"x"_s,
                                            {{1, u"SQLite VM steps"_s, 900000LL},
                                             {2, u"DB time"_s, 5000LL},
                                             {3, u"sorts (memory)"_s, 0LL},
                                             {4, u"consistent gets"_s, 2000LL},
                                             {5, u"physical reads"_s, 1000LL},
                                             {6, u"redo size"_s, 95LL}},
                                            {}),
                                        run(2, u"x"_s,
                                            {{1, u"SQLite VM steps"_s, 20000LL},
                                             {2, u"DB time"_s, 9000LL},
                                             {3, u"sorts (memory)"_s, 12LL},
                                             {4, u"consistent gets"_s, 1900LL},
                                             {5, u"physical reads"_s, 1095LL},
                                             {6, u"redo size"_s, 120LL}},
                                            {}));
    const QString headline = c.summary(9);
    EXPECT_EQ(headline.mid(headline.indexOf(u"、"_s, headline.indexOf(u"行数"_s)) + 1),
              u"sorts (memory) 0 → 12、redo size 95 → 120、DB time 5000 → 9000"_s)
        << "physical reads +95 (9.5%) and consistent gets -100 (5%) are under 10%";
    QStringList chart;
    for (const ChangeBar& bar : changeChart(c, 4).bars)
        chart << bar.name;
    EXPECT_EQ(chart, (QStringList{u"consistent gets"_s, u"physical reads"_s, u"sorts (memory)"_s,
                                  u"redo size"_s}));
}

// Runs that read what each plan line did compare it line by line: a line whose actual rows
// changed is a change, the summary names the lines whose work changed most, the exports carry
// the figures.
TEST(RunComparison, WhatEachPlanLineDidIsComparedLineByLine) {
    RecordedRun a = run(5, u"select * from t where k = :k"_s, {},
                        {u"SELECT STATEMENT"_s, u" TABLE ACCESS FULL (APP.T)"_s});
    RecordedRun b =
        run(6, a.summary.sql, {}, {u"SELECT STATEMENT"_s, u" TABLE ACCESS FULL (APP.T)"_s});
    a.plan[1].actuals = PlanLineActuals{1, 40, 120, {}, {}};
    b.plan[1].actuals = PlanLineActuals{1, 40000, 9100, {}, {}};
    a.plan[0].actuals = b.plan[0].actuals = PlanLineActuals{1, 1, 0, {}, {}};
    const RunComparison c = compareRuns(a, b);
    EXPECT_EQ(
        (QList<PlanLineChange::Kind>{c.plan[0].kind, c.plan[1].kind}),
        (QList<PlanLineChange::Kind>{PlanLineChange::Kind::Same, PlanLineChange::Kind::Changed}));
    EXPECT_TRUE(c.summary().endsWith(
        u"、計画 TABLE ACCESS FULL (APP.T) A-Rows 40 → 40000 Buffers 120 → 9100"_s))
        << c.summary().toStdString();
    EXPECT_TRUE(comparisonMarkdown(c).contains(
        u"TABLE ACCESS FULL (APP.T)  (card=10 cost=5 bytes=100 starts=1 a-rows=40000 "
        u"buffers=9100)"_s));
}

// Counting each plan line's figures weighs on CPU and time: runs that differ in it say so in
// the headline; runs alike in it, or an old run against one without, do not.
TEST(RunComparison, TheHeadlineSaysWhenOnlyOneRunCountedRowSourceStatistics) {
    const QString said = u"、行ソース統計 %1 → %2（CPU と時間には計測の負荷の差が含まれます）"_s;
    const std::tuple<std::optional<bool>, std::optional<bool>, QString> cases[] = {
        {false, true, said.arg(u"なし"_s, u"あり"_s)},
        {std::nullopt, true, said.arg(u"不明"_s, u"あり"_s)},
        {true, true, QString()},
        {std::nullopt, false, QString()},
    };
    for (const auto& [first, second, expected] : cases) {
        RecordedRun a = run(1, u"select 1 from dual"_s, {}, {});
        RecordedRun b = run(2, a.summary.sql, {}, {});
        a.rowSourceStatistics = first;
        b.rowSourceStatistics = second;
        const QString headline = compareRuns(a, b).summary();
        EXPECT_EQ(headline.endsWith(u"）"_s) ? headline.mid(headline.indexOf(u"、行ソース"_s))
                                             : QString(),
                  expected);
    }
}

TEST(RunComparison, ExportsCarryTheTablesAndEscapeWhatTheyMust) {
    const RunComparison c = compareRuns(
        run(3, u"select 1"_s, {{1, u"a <b> & \"c\", d"_s, 1LL}}, {u"SELECT | STATEMENT"_s}),
        run(4, u"select 2"_s, {{1, u"a <b> & \"c\", d"_s, 3LL}}, {}));
    const QString md = comparisonMarkdown(c);
    EXPECT_TRUE(md.contains(u"| a &lt;b&gt; &amp; &quot;c&quot;, d | 1 | 3 | 2 | 3.00 |"_s))
        << md.toStdString();
    EXPECT_TRUE(md.contains(u"| - | SELECT \\| STATEMENT  (card=10 cost=5 bytes=100) |  |"_s));
    EXPECT_TRUE(md.contains(u"```diff\n- select 1\n+ select 2\n```"_s));
    EXPECT_EQ(comparisonCsv(c),
              u"statistic,No.3,No.4,difference,ratio\r\n\"a <b> & \"\"c\"\", d\",1,3,2,3.00\r\n"_s);
    const QString html = comparisonHtml(c);
    EXPECT_TRUE(html.contains(u"<td>a &lt;b&gt; &amp; &quot;c&quot;, d</td>"_s));
    EXPECT_FALSE(html.contains(u"<b>"_s));
}

// Names and values that look like markup or formulas stay text in every export: no cell
// opens a tag or breaks its row, no statement line closes its fence, no CSV cell is a formula.
TEST(RunComparison, HostileTextStaysTextInEveryExport) {
    const QString script = u"<script>alert(1)</script>"_s;
    const QString image = u"<img src=x onerror='alert(1)'>"_s;
    RecordedRun a = run(7, u"select 1\n  ```\n<b>x</b>"_s,
                        {{1, script, 1LL},
                         {2, u"=cmd|' /C calc'!A0"_s, 5LL},
                         {4, u"value"_s, QVariant(script + u"|x\ny"_s)}},
                        {u"SELECT STATEMENT"_s, u" TABLE ACCESS FULL ("_s + image + u")"_s});
    RecordedRun b = run(8, u"select 2"_s,
                        {{1, script, 3LL},
                         {3, u"two\nlines|x"_s, 1LL},
                         {4, u"value"_s, QVariant(u"=HYPERLINK(\"http://x\")"_s)}},
                        {});
    a.binds = {{u"v"_s, BindType::Varchar2, u"@SUM(1)"_s}};
    b.binds = {{u"v"_s, BindType::Varchar2, u"=HYPERLINK(\"http://x\")"_s}};
    a.summary.facts->user = image;
    const RunComparison c = compareRuns(a, b);

    const QString md = comparisonMarkdown(c);
    const QString beforeFence = md.left(md.indexOf(u"## SQL"_s));
    EXPECT_FALSE(beforeFence.contains(u"<script"_s) || beforeFence.contains(u"<img"_s) ||
                 beforeFence.contains(u"<b>"_s))
        << md.toStdString();
    EXPECT_TRUE(md.contains(u"| &lt;script&gt;alert(1)&lt;/script&gt; | 1 | 3 | 2 | 3.00 |\n"_s));
    EXPECT_TRUE(md.contains(u"| two<br>lines\\|x |  | 1 | 1 | - |\n"_s)) << md.toStdString();
    EXPECT_TRUE(
        md.contains(u"| value | &lt;script&gt;alert(1)&lt;/script&gt;\\|x<br>y | "
                    u"=HYPERLINK(&quot;http://x&quot;) | 0 | - |\n"_s));
    EXPECT_TRUE(md.contains(u"(&lt;img src=x onerror=&#39;alert(1)&#39;&gt;)"_s));
    EXPECT_TRUE(md.contains(u"> ユーザが違います: &lt;img"_s));
    EXPECT_TRUE(md.contains(u"\n````diff\n- select 1\n-   ```\n- <b>x</b>\n+ select 2\n````\n"_s));
    for (const QString& line : md.split(u'\n')) {
        EXPECT_TRUE(!line.startsWith(u"| "_s) || line.endsWith(u" |"_s)) << line.toStdString();
    }

    EXPECT_EQ(comparisonCsv(c),
              u"statistic,No.7,No.8,difference,ratio\r\n"
              u"'=cmd|' /C calc'!A0,5,,-5,0.00\r\n<script>alert(1)</script>,1,3,2,3.00\r\n"
              u"\"two\nlines|x\",,1,1,\r\n"
              u"value,\"<script>alert(1)</script>|x\ny\",\"'=HYPERLINK(\"\"http://x\"\")\",0,\r\n"
              u"\r\nbind variable,No.7,No.8,change\r\n"
              u":v,'@SUM(1) (VARCHAR2),\"'=HYPERLINK(\"\"http://x\"\") (VARCHAR2)\",changed\r\n"_s);

    const QString html = comparisonHtml(c);
    EXPECT_FALSE(html.contains(u"<script"_s) || html.contains(u"<img"_s) ||
                 html.contains(u"<b>"_s));
    EXPECT_TRUE(html.contains(u"<td>&lt;script&gt;alert(1)&lt;/script&gt;</td>"_s));
}

// Bind values side by side by name, marked as plan lines are, in every export and the window;
// without binds nothing of them shows.
TEST(RunComparison, BindValuesPairByNameAndShowMarkedInExportsAndWindow) {
    using T = BindType;
    RecordedRun a = run(5, u"select :id, :who, :old"_s, {{1, u"n"_s, 1LL}}, {});
    RecordedRun b = run(6, u"select :ID, :who, :new"_s, {{1, u"n"_s, 1LL}}, {});
    a.binds = {{u"id"_s, T::Number, u"5"_s},
               {u"who"_s, T::Varchar2, u"A, \"B\""_s},
               {u"old"_s, T::Date, u"2024-01-31"_s}};
    b.binds = {{u"ID"_s, T::Number, u"7"_s},
               {u"who"_s, T::Varchar2, u"A, \"B\""_s},
               {u"new"_s, T::Null, QString()}};
    const RunComparison c = compareRuns(a, b);
    const QString md = comparisonMarkdown(c);
    EXPECT_TRUE(
        md.contains(u"\n\n## バインド変数\n\n|  | 変数 | No.5 | No.6 |\n|---|---|---|---|\n"
                    u"| ~ | :id | 5 (NUMBER) | 7 (NUMBER) |\n"
                    u"| = | :who | A, &quot;B&quot; (VARCHAR2) | A, &quot;B&quot; (VARCHAR2) |\n"
                    u"| - | :old | 2024-01-31 (DATE) |  |\n"
                    u"| + | :new |  | NULL |\n\n## 統計\n"_s))
        << md.toStdString();
    EXPECT_TRUE(comparisonCsv(c).endsWith(
        u"\r\n\r\nbind variable,No.5,No.6,change\r\n:id,5 (NUMBER),7 (NUMBER),changed\r\n"
        u":who,\"A, \"\"B\"\" (VARCHAR2)\",\"A, \"\"B\"\" (VARCHAR2)\",same\r\n"
        u":old,2024-01-31 (DATE),,removed\r\n:new,,NULL,added\r\n"_s))
        << comparisonCsv(c).toStdString();
    EXPECT_TRUE(comparisonHtml(c).contains(
        u"<h2>バインド変数</h2>\n<table><tr><th>変数</th><th>No.5</th><th>No.6</th></tr>\n"
        u"<tr class=\"changed\"><td>:id</td><td>5 (NUMBER)</td><td>7 (NUMBER)</td></tr>\n"
        u"<tr><td>:who</td><td>A, &quot;B&quot; (VARCHAR2)</td>"_s));
    ComparisonWindow window(c);
    ASSERT_NE(window.bindTable(), nullptr);
    EXPECT_EQ(window.tabs()->tabText(window.tabs()->indexOf(window.bindTable())),
              u"バインド変数"_s);
    QStringList rows;
    for (int r = 0; r < window.bindTable()->rowCount(); ++r)
        rows << window.bindTable()->item(r, 0)->text() + u'|' +
                    window.bindTable()->item(r, 2)->text();
    EXPECT_EQ(rows, (QStringList{u":id|7 (NUMBER)"_s, u":who|A, \"B\" (VARCHAR2)"_s, u":old|"_s,
                                 u":new|NULL"_s}));
    EXPECT_NE(window.bindTable()->item(0, 0)->background(),
              window.bindTable()->item(1, 0)->background())
        << "a changed value is marked";

    a.binds.clear();
    b.binds.clear();
    const RunComparison none = compareRuns(a, b);
    EXPECT_FALSE((comparisonMarkdown(none) + comparisonCsv(none) + comparisonHtml(none))
                     .contains(u"バインド変数"_s));
    EXPECT_EQ(ComparisonWindow(none).bindTable(), nullptr);
}

// The chart's bars are percent of run A's value on a scale of whole steps that holds the
// small changes; beyond a doubling a bar is held at the end and its label tells how far it went.
TEST(RunComparison, ChartShowsPercentOnAWholeScaleThatKeepsSmallChangesVisible) {
    const RunComparison c = compareRuns(
        run(2, u"select 1"_s,
            {{1, u"consistent gets"_s, 40000LL}, {2, u"sorts"_s, 200LL}, {3, u"new"_s, 0LL}}, {}),
        run(4, u"select 1"_s,
            {{1, u"consistent gets"_s, 30000LL}, {2, u"sorts"_s, 206LL}, {3, u"new"_s, 5LL}}, {}));
    const ChangeChart chart = changeChart(c);
    QStringList bars;
    for (const ChangeBar& b : chart.bars)
        bars << b.label + u'|' + QString::number(b.length) + u'|' + (b.increase ? u'+' : u'-');
    EXPECT_EQ(bars, (QStringList{u"consistent gets  40000 → 30000 (-25.0%)|-25|-"_s,
                                 u"sorts  200 → 206 (+3.0%)|3|+"_s, u"new  0 → 5|50|+"_s}));
    EXPECT_EQ(std::pair(chart.scale, chart.tick), std::pair(50, 25));

    const RunComparison doubled =
        compareRuns(run(1, u"x"_s, {{1, u"reads"_s, 10LL}, {2, u"gets"_s, 100LL}}, {}),
                    run(2, u"x"_s, {{1, u"reads"_s, 400LL}, {2, u"gets"_s, 95LL}}, {}));
    const ChangeChart held = changeChart(doubled);
    EXPECT_EQ(std::pair(held.scale, held.bars[0].length), std::pair(100, 100.0));
    EXPECT_EQ(held.bars[0].label, u"reads  10 → 400 (+3900.0%)"_s);
    EXPECT_EQ(held.bars[1].length, -5.0);
    EXPECT_EQ(percentText(-100.0 / 3028), u"-0.03%"_s);
}

// The window on two runs: the plan's legend and the figures that changed, before → after; the
// headline, the title and every export name the runs alike; Esc and 閉じる close it.
TEST(ComparisonWindows, PlanFiguresLegendNamingAndClosing) {
    RecordedRun a = run(2, u"select * from t"_s, {{1, u"gets"_s, 10LL}},
                        {u"SELECT STATEMENT"_s, u" TABLE ACCESS FULL (APP.T)"_s});
    RecordedRun b = run(
        4, a.summary.sql, {{1, u"gets"_s, 3LL}},
        {u"SELECT STATEMENT"_s, u" TABLE ACCESS FULL (APP.T)"_s, u"  INDEX RANGE SCAN (APP.IX)"_s});
    b.plan[1].cost = u"12"_s;
    const RunComparison c = compareRuns(a, b);
    EXPECT_TRUE(c.summary().startsWith(u"No.2 → No.4　"_s));
    const QString md = comparisonMarkdown(c);
    EXPECT_TRUE(md.startsWith(u"# 実行の比較 No.2 → No.4\n"_s));
    EXPECT_TRUE(
        md.contains(u"凡例: ≠ 操作が変わった行、~ 見積りか実績が変わった行、+ No.4 で加わった行、"
                    u"- No.4 でなくなった行\n\n|  | No.2 | No.4 |"_s))
        << md.toStdString();
    EXPECT_FALSE((md + comparisonHtml(c) + comparisonCsv(c)).contains(u"#2"_s));

    auto* window = new ComparisonWindow(c);
    window->show();
    EXPECT_EQ(window->windowTitle(), u"実行の比較 No.2 → No.4"_s);
    EXPECT_TRUE(window->planLegend()->text().contains(u"No.4 で加わった行"_s));
    const QTableWidget* plan = window->planTable();
    auto row = [plan](int r) {
        QStringList cells;
        for (int col = 0; col < plan->columnCount(); ++col)
            cells << (plan->item(r, col) ? plan->item(r, col)->text() : QString());
        return cells.join(u'|');
    };
    EXPECT_EQ(row(1), u"~| TABLE ACCESS FULL (APP.T)| TABLE ACCESS FULL (APP.T)|10|5 → 12|100"_s);
    EXPECT_EQ(row(2), u"+||  INDEX RANGE SCAN (APP.IX)|10|5|100"_s);
    EXPECT_TRUE(plan->item(1, 4)->font().bold());
    EXPECT_FALSE(plan->item(1, 3)->font().bold());

    // Another operation in a line's place is marked as such, not as other figures.
    RecordedRun indexed = b;
    indexed.plan[1].operation = u" TABLE ACCESS BY INDEX ROWID (APP.T)"_s;
    auto* replaced = new ComparisonWindow(compareRuns(a, indexed));
    EXPECT_EQ(replaced->planTable()->item(1, 0)->text(), u"≠"_s);
    EXPECT_NE(replaced->planTable()->item(1, 0)->background(), plan->item(1, 0)->background());
    delete replaced;

    // Closed windows are deleted by the event loop; here, by hand.
    QTest::keyClick(window->planTable(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible()) << "Esc closes the comparison";
    delete window;
    window = new ComparisonWindow(c);
    window->show();
    window->findChild<QPushButton*>(u"closeButton"_s)->click();
    EXPECT_FALSE(window->isVisible());
    delete window;
}

namespace {

// A file of `count` runs: every seventh statement broken over lines, the others on one.
void recordRuns(const HistoryFile& file, int count) {
    for (int i = 1; i <= count; ++i) {
        const QString sql = i % 7 == 0 ? u"select *\n  from   emp\nwhere id = %1"_s.arg(i)
                                       : u"select * from dept where id = %1"_s.arg(i);
        file.record(test::runRecord(sql, {{5, u"consistent gets"_s, i}}, {}));
    }
}

}  // namespace

// The list on a file of many runs: each row read as it is shown, every run there in order; the
// filter searches whole statements, line breaks and blanks alike, a moment after the typing;
// a new run comes in at the top keeping the selection; the statement shows on one line, whole
// in its tooltip and in the pane below.
TEST(HistoryWindows, ManyRunsListFilterPreviewAndFollow) {
    QTemporaryDir dir;
    const HistoryFile file(dir.filePath(u"h.mdb"_s));
    constexpr int kRuns = 200;
    recordRuns(file, kRuns);
    HistoryNotifier notifier;
    HistoryWindow window(file.path(), notifier);
    QList<int> all(kRuns);
    std::iota(all.rbegin(), all.rend(), 1);
    EXPECT_EQ(window.shownRuns(), all);
    const QAbstractItemModel* m = window.runList()->model();
    EXPECT_EQ(m->index(kRuns - 7, HistoryRunModel::Sql).data().toString(),
              u"select * from emp where id = 7"_s);
    EXPECT_EQ(m->index(kRuns - 7, HistoryRunModel::Sql).data(Qt::ToolTipRole).toString(),
              plainToolTip(u"select *\n  from   emp\nwhere id = 7"_s));
    EXPECT_EQ(m->index(0, HistoryRunModel::Time).data().toString().size(), 19);

    QSignalSpy shown(&window, &HistoryWindow::runsShown);
    window.filterEdit()->setText(u"FROM EMP WHERE ID = 1"_s);
    ASSERT_TRUE(shown.wait());
    EXPECT_EQ(window.shownRuns(), (QList<int>{196, 189, 182, 175, 168, 161, 154, 147, 140, 133, 126,
                                              119, 112, 105, 14}));
    window.runList()->selectRow(1);
    EXPECT_EQ(window.preview()->toPlainText(), u"select *\n  from   emp\nwhere id = 189"_s);
    EXPECT_TRUE(window.comparePreviousButton()->isEnabled());

    const int next = file.record(test::runRecord(u"select * from emp where id = 1000"_s,
                                                 {{5, u"consistent gets"_s, 1}}, {}))
                         .runNumber;
    Q_EMIT notifier.runRecorded(file.path(), next);
    EXPECT_EQ(window.shownRuns().mid(0, 3), (QList<int>{next, 196, 189}));
    EXPECT_EQ(window.runList()->selectionModel()->selectedRows().value(0).row(), 2)
        << "the selected run stays selected";

    window.filterEdit()->clear();
    ASSERT_TRUE(shown.wait());
    EXPECT_EQ(window.shownRuns().size(), kRuns + 1);
}

// One history window: asked for again it comes to the front; Esc and 閉じる close it; two
// selected runs open their comparison.
TEST(HistoryWindows, OneWindowClosingAndCompare) {
    QTemporaryDir dir;
    const HistoryFile file(dir.filePath(u"h.mdb"_s));
    for (int i : {40, 4})
        file.record(test::runRecord(u"select * from emp"_s, {{5, u"consistent gets"_s, i}}, {}));
    QWidget frame;
    HistoryNotifier notifier;
    HistoryWindow* first = showHistoryWindow(file.path(), notifier, &frame);
    EXPECT_EQ(showHistoryWindow(file.path(), notifier, &frame), first);
    EXPECT_EQ(frame.findChildren<HistoryWindow*>().size(), 1);
    EXPECT_EQ(first->focusWidget(), first->filterEdit()) << "typing goes to the filter";

    first->runList()->selectAll();
    ASSERT_TRUE(first->compareButton()->isEnabled());
    first->compareButton()->click();
    auto* comparison = qobject_cast<ComparisonWindow*>(first->lastComparison());
    ASSERT_NE(comparison, nullptr);
    EXPECT_EQ(std::pair(comparison->comparison().a.summary.number,
                        comparison->comparison().b.summary.number),
              std::pair(1, 2));
    const QAbstractItemModel* table = comparison->statisticsTable()->model();
    EXPECT_EQ(table->index(0, 3).data().toString(), u"-36"_s);
    delete comparison;

    // 削除 asks first: No deletes nothing, Yes the selected run.
    first->runList()->selectRow(0);
    {
        test::ModalAnswerer answers({QMessageBox::No, QMessageBox::Yes});
        first->deleteSelectedRuns();
        EXPECT_EQ(first->shownRuns(), (QList<int>{2, 1}));
        first->deleteSelectedRuns();
        EXPECT_EQ(answers.seen.size(), 2);
    }
    EXPECT_EQ(first->shownRuns(), QList<int>{1});

    // Closed windows are deleted by the event loop; here, by hand.
    QTest::keyClick(first->filterEdit(), Qt::Key_Escape);
    EXPECT_FALSE(first->isVisible()) << "Esc closes the history window";
    delete first;
    HistoryWindow* second = showHistoryWindow(file.path(), notifier, &frame);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->isVisible());
    second->closeButton()->click();
    EXPECT_FALSE(second->isVisible());
}

// The history window opens over the frame and a comparison beside it or a step into it, never
// over its corner; クエリウィンドウで開く gives a new query window the run's statement, and
// its bind dialog the run's values.
TEST(HistoryWindows, OpenOverTheFrameAndARunInANewQueryWindow) {
    test::TempProgram tmp;
    const HistoryFile file(tmp.dir() + u"/h.mdb"_s);
    RunRecord recorded = test::runRecord(u"select * from emp\nwhere id = :id"_s, {}, {});
    recorded.binds = {{u"id"_s, BindType::Number, u"7"_s}};
    file.record(recorded);
    file.record(test::runRecord(u"select 2 from dual"_s, {}, {}));
    tmp.program().setRecordingFilePath(file.path());
    MainFrame frame(tmp.program());
    frame.show();
    frame.action(u"compareHistory"_s)->trigger();
    auto* history = frame.findChild<HistoryWindow*>();
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->frameGeometry().contains(frame.frameGeometry().center()));
    history->runList()->selectAll();
    history->compareButton()->click();
    const QRect comparison = history->lastComparison()->frameGeometry();
    EXPECT_FALSE(comparison.contains(history->frameGeometry().topLeft()));
    EXPECT_TRUE(history->screen()->availableGeometry().contains(comparison));

    history->runList()->selectRow(1);
    history->openSelectedRun();
    ASSERT_EQ(frame.queryWindows().size(), 2);
    EXPECT_EQ(frame.activeQueryWindow()->sqlText(), u"select * from emp\nwhere id = :id"_s);
    EXPECT_EQ(tmp.program().bindMemory().recall({u"ID"_s}),
              (BindList{{u"ID"_s, BindType::Number, u"7"_s}}));
}
