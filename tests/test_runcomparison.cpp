// Comparing two recorded runs and writing the comparison out; the history and comparison
// windows on a real file.
#include "core/history/comparisonexport.h"
#include "core/history/historyfile.h"
#include "core/history/historynotifier.h"
#include "gui/comparisonwindow.h"
#include "gui/historywindow.h"
#include "support/checks.h"

#include "support/testrunwindow.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

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
    EXPECT_EQ(kinds, (QList<P>{P::Same, P::Changed, P::Added, P::Same}));
    using T = TextLineChange::Kind;
    EXPECT_EQ(c.sql.last().kind, T::Added);
    EXPECT_EQ(c.notes, QStringList{u"サービスが違います: ORCL と XE"_s});
    EXPECT_EQ(c.summary(2),
              u"#1 → #2　経過時間 1.000秒 → 2.000秒、行数 10 → 10、"
              u"consistent gets 1200 → 30、only in A 3 → "_s);
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

TEST(RunComparison, ExportsCarryTheTablesAndEscapeWhatTheyMust) {
    const RunComparison c = compareRuns(
        run(3, u"select 1"_s, {{1, u"a <b> & \"c\", d"_s, 1LL}}, {u"SELECT | STATEMENT"_s}),
        run(4, u"select 2"_s, {{1, u"a <b> & \"c\", d"_s, 3LL}}, {}));
    const QString md = comparisonMarkdown(c);
    EXPECT_TRUE(md.contains(u"| a &lt;b&gt; &amp; &quot;c&quot;, d | 1 | 3 | 2 | 3.00 |"_s))
        << md.toStdString();
    EXPECT_TRUE(md.contains(u"| - | SELECT \\| STATEMENT  (card=10 cost=5 bytes=100) |  |"_s));
    EXPECT_TRUE(md.contains(u"```diff\n- select 1\n+ select 2\n```"_s));
    EXPECT_EQ(
        comparisonCsv(c),
        u"statistic,run 3,run 4,difference,ratio\r\n\"a <b> & \"\"c\"\", d\",1,3,2,3.00\r\n"_s);
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
                        {{1, script, 1LL}, {2, u"=cmd|' /C calc'!A0"_s, 5LL}},
                        {u"SELECT STATEMENT"_s, u" TABLE ACCESS FULL ("_s + image + u")"_s});
    RecordedRun b = run(8, u"select 2"_s, {{1, script, 3LL}, {3, u"two\nlines|x"_s, 1LL}}, {});
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
    EXPECT_TRUE(md.contains(u"(&lt;img src=x onerror=&#39;alert(1)&#39;&gt;)"_s));
    EXPECT_TRUE(md.contains(u"> ユーザが違います: &lt;img"_s));
    EXPECT_TRUE(md.contains(u"\n````diff\n- select 1\n-   ```\n- <b>x</b>\n+ select 2\n````\n"_s));
    for (const QString& line : md.split(u'\n')) {
        EXPECT_TRUE(!line.startsWith(u"| "_s) || line.endsWith(u" |"_s)) << line.toStdString();
    }

    EXPECT_EQ(comparisonCsv(c),
              u"statistic,run 7,run 8,difference,ratio\r\n"
              u"'=cmd|' /C calc'!A0,5,,-5,0.00\r\n<script>alert(1)</script>,1,3,2,3.00\r\n"
              u"\"two\nlines|x\",,1,1,\r\n\r\nbind variable,run 7,run 8,change\r\n"
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
        md.contains(u"\n\n## バインド変数\n\n|  | 変数 | #5 | #6 |\n|---|---|---|---|\n"
                    u"| ~ | :id | 5 (NUMBER) | 7 (NUMBER) |\n"
                    u"| = | :who | A, &quot;B&quot; (VARCHAR2) | A, &quot;B&quot; (VARCHAR2) |\n"
                    u"| - | :old | 2024-01-31 (DATE) |  |\n"
                    u"| + | :new |  | NULL |\n\n## 統計\n"_s))
        << md.toStdString();
    EXPECT_TRUE(comparisonCsv(c).endsWith(
        u"\r\n\r\nbind variable,run 5,run 6,change\r\n:id,5 (NUMBER),7 (NUMBER),changed\r\n"
        u":who,\"A, \"\"B\"\" (VARCHAR2)\",\"A, \"\"B\"\" (VARCHAR2)\",same\r\n"
        u":old,2024-01-31 (DATE),,removed\r\n:new,,NULL,added\r\n"_s))
        << comparisonCsv(c).toStdString();
    EXPECT_TRUE(comparisonHtml(c).contains(
        u"<h2>バインド変数</h2>\n<table><tr><th>変数</th><th>#5</th><th>#6</th></tr>\n"
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

// The windows on a real file: newest first, filtered, a new run shows at once, and two
// selected runs open their comparison.
TEST(HistoryWindows, ListFilterFollowAndCompare) {
    QTemporaryDir dir;
    const HistoryFile file(dir.filePath(u"h.mdb"_s));
    for (const char* sql : {"select * from emp", "select * from dept"})
        file.record(test::runRecord(QString::fromLatin1(sql), {{5, u"consistent gets"_s, 40}}, {}));
    HistoryWindow window(file.path());
    EXPECT_EQ(window.shownRuns(), (QList<int>{2, 1}));
    window.filterEdit()->setText(u"EMP"_s);
    EXPECT_EQ(window.shownRuns(), QList<int>{1});
    window.filterEdit()->clear();
    const int third =
        file.record(test::runRecord(u"select * from emp"_s, {{5, u"consistent gets"_s, 4}}, {}))
            .runNumber;
    Q_EMIT historyNotifier().runRecorded(file.path(), third);
    EXPECT_EQ(window.shownRuns(), (QList<int>{3, 2, 1}));

    window.runList()->selectRow(0);
    EXPECT_FALSE(window.compareButton()->isEnabled());
    window.comparePreviousButton()->click();
    auto* comparison = qobject_cast<ComparisonWindow*>(window.lastComparison());
    ASSERT_NE(comparison, nullptr);
    EXPECT_EQ(std::pair(comparison->comparison().a.summary.number,
                        comparison->comparison().b.summary.number),
              std::pair(1, 3));
    const QAbstractItemModel* table = comparison->statisticsTable()->model();
    EXPECT_EQ(
        (QStringList{table->index(0, 0).data().toString(), table->index(0, 3).data().toString()}),
        (QStringList{u"consistent gets"_s, u"-36"_s}));
    delete comparison;
}
