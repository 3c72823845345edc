// The embedded sample through the real window, from login to logout. The steps' rules and
// texts are the unit tests'; this one shows they are wired together.
#include "core/cli/clirunner.h"
#include "core/history/historyfile.h"
#include "core/history/statementring.h"
#include "core/settings/settings.h"
#include "core/tuning/gridactions.h"
#include "gui/gridview.h"
#include "gui/whatifdialog.h"
#include "support/bindanswerer.h"
#include "support/e2e.h"
#include "support/modalanswerer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest/QTest>

using namespace Qt::StringLiterals;
using namespace qv;
using Line = WindowState::Line;

namespace {
class SampleTest : public test::WindowTest {};
}  // namespace

TEST_F(SampleTest, RunMakesThePlanTableOnRequestAndShowsPlanRowsAndStatistics) {
    test::ModalAnswerer answerer({QMessageBox::Yes});
    login(u"sqlite:sample"_s, u"demo"_s);
    EXPECT_EQ(window()->windowTitle() + window()->statusPanel(1)->text(),
              u"demo@sqlite:sample接続 demo@sqlite:sample"_s);
    EXPECT_TRUE(frame->action(u"logout"_s)->isEnabled());
    run(u"select o.order_id, p.name from orders o join order_items i on i.order_id = o.order_id "
        u"join products p on p.product_id = i.product_id where o.customer_id = 42"_s);
    EXPECT_EQ(answerer.seen,
              QStringList{
                  u"QuervinStudio|実行計画表 QUERVIN$PLAN_TABLE が存在しません。作成しますか？"_s});
    EXPECT_EQ(answerer.buttons, QStringList{u"はい/いいえ/キャンセル"_s});
    EXPECT_EQ(line(Line::Plan) + line(Line::Result) + line(Line::Stats), QString());
    const GridModel& data = model().resultGrid();
    const int rows = data.rows() - 1;
    EXPECT_TRUE(data.visible() && rows > 0);
    EXPECT_EQ((QStringList{data.text(0, 1), line(Line::Count), statValue(u"rows processed"_s)}),
              (QStringList{u"ORDER_ID"_s, u"%1件"_s.arg(rows), QString::number(rows)}));
    ASSERT_TRUE(model().planGrid().visible());
    EXPECT_EQ(model().planGrid().text(1, 0), u"SELECT STATEMENT"_s);

    // Ctrl+C in the plan grid copies the plan as text.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, u"\x03"_s);
    QApplication::sendEvent(window()->planGrid(), &press);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), model().planCopyText());

    run(u"select * from customers where customer_id <= 120"_s);
    EXPECT_EQ(answerer.seen.size(), 1) << "the created table needs no second question";
    EXPECT_EQ(line(Line::Count), u"120件"_s);
    EXPECT_EQ(program().statementRing().statement(1),
              u"select * from customers where customer_id <= 120"_s);

    // Oracle's SQL, typed as into an Oracle server.
    run(u"select nvl(null, 'x') v, decode(city, '京都', 'K', '-') d, to_char(registered, "
        u"'YYYY') y from customers where rownum <= 1"_s);
    EXPECT_EQ(
        (QStringList{line(Line::Result), line(Line::Count), data.text(0, 1), data.text(1, 1)}),
        (QStringList{QString(), u"1件"_s, u"V"_s, u"x"_s}));

    frame->action(u"logout"_s)->trigger();
    EXPECT_EQ(window()->windowTitle() + window()->statusPanel(1)->text(), u"未接続"_s);
    EXPECT_TRUE(frame->action(u"login"_s)->isEnabled());
}

// A statement with a bind variable asks for its value, runs with it, and the plan shows what
// each line did: the LIKE the optimizer takes for a quarter of the customers finds 27 of them,
// and that line is marked.
TEST_F(SampleTest, ABoundStatementRunsWithItsValueAndThePlanShowsWhatEachLineDid) {
    test::ModalAnswerer answerer({QMessageBox::Yes});
    login(u"sqlite:sample"_s, u"demo"_s);
    test::BindAnswerer binds;
    binds.answer = [](BindDialog& d) {
        d.valueEdit(0)->setText(u"木村 悠%"_s);
        d.runButton()->click();
    };
    run(u"select c.name, o.order_id from customers c join orders o on o.customer_id = "
        u"c.customer_id where c.name like :who"_s);
    EXPECT_EQ(binds.offered, QStringList{u":who VARCHAR2 "_s});
    EXPECT_EQ(line(Line::Count), u"294件"_s);
    const GridModel& plan = model().planGrid();
    ASSERT_EQ(plan.text(0, 5), u"A-Rows"_s);
    int customers = 0;
    for (int r = 1; r < plan.rows(); ++r) {
        if (plan.text(r, 0).contains(u"(DEMO.CUSTOMERS)"_s))
            customers = r;
    }
    ASSERT_GT(customers, 0);
    EXPECT_EQ(std::tuple(plan.text(1, 5), plan.text(customers, 5), plan.rowMarked(customers)),
              std::tuple(u"294"_s, u"27"_s, true));
    EXPECT_TRUE(plan.rowToolTip(customers).startsWith(u"filter: \"C\".\"NAME\" LIKE :WHO"_s))
        << plan.rowToolTip(customers).toStdString();
}

// With Oracle's PLAN_TABLE (which has OTHER_XML), a hinted statement's Hint Report ends the
// first plan line's tooltip and the plan's DBMS_XPLAN copy (Ctrl+Shift+X), whose Predicate
// Information numbers the lines as its Id column does; Ctrl+C copies the grid's lines alone.
// quervin-cli --format xplan prints the same text.
TEST_F(SampleTest, TheHintReportEndsTheFirstLinesTooltipAndTheDbmsXplanCopy) {
    login(u"sqlite:sample"_s, u"demo"_s);
    program().settings().set(&Settings::planTable, u"PLAN_TABLE"_s);
    const QString sql = u"select /*+ full(c) fulll */ * from customers c where c.city = '札幌'"_s;
    run(sql);
    const QStringList report = {
        u"Hint Report (identified by operation id / Query Block Name / Object Alias):"_s,
        u"Total hints for statement: 2 (E - Syntax error (1))"_s,
        QString(75, u'-'),
        QString(),
        u"   1 -  SEL$1"_s,
        u"         E -  FULLL"_s,
        QString(),
        u"   1 -  SEL$1 / C@SEL$1"_s,
        u"           -  full(c)"_s};
    const GridModel& plan = model().planGrid();
    ASSERT_TRUE(plan.visible());
    EXPECT_EQ(plan.text(2, 0), u" TABLE ACCESS FULL (DEMO.CUSTOMERS)"_s);
    EXPECT_TRUE(plan.rowToolTip(1).endsWith(report.join(u'\n')))
        << plan.rowToolTip(1).toStdString();
    QApplication::setActiveWindow(frame.get());
    window()->planGrid()->setFocus();
    QTest::keyClick(window()->planGrid(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), planClipboardText(plan));
    QTest::keyClick(window()->planGrid(), Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
    const QString xplan = QGuiApplication::clipboard()->text();
    EXPECT_EQ(xplan, model().planXplanText());
    EXPECT_TRUE(xplan.endsWith(u"\n\n"_s + report.join(u'\n') + u'\n')) << xplan.toStdString();
    const QStringList lines = xplan.split(u'\n');
    EXPECT_TRUE(xplan.startsWith(u"SQL_ID  "_s) && xplan.contains(u"\n\nPlan hash value: "_s));
    // One line has a predicate: '*' before its Id, which numbers the predicate.
    const QStringList starred = lines.filter(QRegularExpression(u"^\\|\\*"_s));
    EXPECT_EQ(std::pair(starred.size(), starred.value(0).left(26)),
              std::pair(qsizetype(1), u"|*  1 |  TABLE ACCESS FULL"_s));
    EXPECT_EQ(lines.filter(QRegularExpression(u"^ +\\d+ - (access|filter)"_s)),
              QStringList{u"   1 - filter(\"C\".\"CITY\"='札幌')"_s});

    // The explained plan alone (no figures to read) is the same in both.
    program().settings().set(&Settings::runQuery, false);
    run(sql);
    QString out, err, input;
    QTextStream in(&input), outStream(&out), errStream(&err);
    EXPECT_EQ(runCli({u"quervin-cli"_s, u"--service"_s, u"sqlite:sample"_s, u"--user"_s, u"demo"_s,
                      u"--no-query"_s, u"--plan-table"_s, u"PLAN_TABLE"_s, u"--format"_s,
                      u"xplan"_s, u"--sql"_s, sql},
                     in, outStream, errStream, program()),
              kCliCarriedOut);
    outStream.flush();
    EXPECT_EQ(out, model().planXplanText());
    EXPECT_TRUE(out.startsWith(u"-----"_s) && out.contains(u"   1 - filter("_s))
        << out.toStdString();
}

TEST_F(SampleTest, DoubleClickOnACellWritesItsConditionAndCellsCopyWithHeadings) {
    test::ModalAnswerer answerer({QMessageBox::No});
    login(u"sqlite:sample"_s, u"demo"_s);
    run(u"select customer_id, name, 'a\tb' as \"Odd \"\"x\"\"\" from customers "
        u"where customer_id in (7, 8) order by 1"_s);
    GridView* grid = window()->resultGrid();
    grid->tableModel()->refresh();
    const QString name = model().resultGrid().text(1, 2);
    ASSERT_FALSE(name.isEmpty());
    window()->sqlEdit()->setText(u"where "_s);
    window()->sqlEdit()->setCaretOffset(6);
    QApplication::setActiveWindow(frame.get());  // the dialogs took activation away
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(window()->sqlEdit()->text(), u"where NAME = '"_s + name + u"'"_s);
    EXPECT_TRUE(window()->sqlEdit()->hasFocus());

    // Ctrl+C on a range: its headings, then its cells, tab-separated.
    grid->setFocus();
    grid->selectionModel()->select(
        QItemSelection(grid->model()->index(0, 1), grid->model()->index(1, 2)),
        QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    const QString second = model().resultGrid().text(2, 2);
    EXPECT_EQ(
        QGuiApplication::clipboard()->text(),
        u"NAME\t\"Odd \"\"x\"\"\"\n"_s + name + u"\t\"a\tb\"\n"_s + second + u"\t\"a\tb\"\n"_s);
    // The whole grid as CSV, or a reason when the file cannot be written.
    QTemporaryDir dir;
    ASSERT_EQ(grid->saveCsv(dir.filePath(u"r.csv"_s)), QString());
    QFile csv(dir.filePath(u"r.csv"_s));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll(), (u"\uFEFFROWNUM,CUSTOMER_ID,NAME,\"Odd \"\"x\"\"\"\r\n1,7,"_s + name +
                              u",a\tb\r\n2,8,"_s + second + u",a\tb\r\n"_s)
                                 .toUtf8());
    EXPECT_NE(grid->saveCsv(dir.filePath(u"missing/r.csv"_s)), QString());
}

namespace {
// Never ends on its own: an endless count, and endless rows.
const QString kEndlessCount =
    u"with recursive r(n) as (select 1 union all select n + 1 from r) select count(*) from r"_s;
const QString kEndlessRows =
    u"with recursive r(n) as (select 1 union all select n + 1 from r) select n from r"_s;
}  // namespace

TEST_F(SampleTest, RunsGoOnWhileTheWindowWorksAndStopAtOnce) {
    program().settings().set(&Settings::showPlan, false);
    login(u"sqlite:sample"_s, u"demo"_s);
    start(kEndlessCount);
    ASSERT_TRUE(waitUntil([&] { return line(Line::Count).startsWith(u"実行中…（"_s); }, 5000));
    EXPECT_EQ(window()->executeButton()->text(), u"中 止"_s);
    // The frame and another window answer meanwhile.
    QueryWindow* first = window();
    frame->action(u"newWindow"_s)->trigger();
    QTest::keyClicks(window()->sqlEdit(), u"select 1"_s);
    EXPECT_EQ(window()->sqlEdit()->text(), u"select 1"_s);
    EXPECT_TRUE(first->model().isRunning());

    QTest::keyClick(first->sqlEdit(), Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return !first->model().isRunning(); }, 2000));
    const WindowState& lines = first->model().state();
    EXPECT_EQ(lines.line(Line::Result),
              u"ORA-01013: user requested cancel of current operation（中止しました）"_s);
    EXPECT_EQ(lines.line(Line::Count), u"0件（中止）"_s);
    EXPECT_TRUE(lines.line(Line::Elapsed).endsWith(u"秒"_s));
    EXPECT_TRUE(first->model().statsGrid().visible()) << "the cost of the stopped run is shown";
    EXPECT_EQ(first->executeButton()->text(), u"実 行"_s);
    EXPECT_EQ(program().statementRing().statement(0), kEndlessCount);

    // Stopped while fetching: the rows counted so far. Ctrl+Enter starts a run as 実 行 does,
    // but never stops one.
    frame->mdiArea()->setActiveSubWindow(frame->mdiArea()->subWindowList().first());
    window()->sqlEdit()->setText(kEndlessRows);
    QTest::keyClick(window()->sqlEdit(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return line(Line::Count).contains(u"件 取得中…（"_s); }, 5000));
    QTest::keyClick(window()->sqlEdit(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(waitUntil([&] { return !model().isRunning(); }, 500));
    window()->executeButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !model().isRunning(); }, 2000));
    const QString count = line(Line::Count);
    // More than a thousand rows, grouped as the live count is.
    EXPECT_TRUE(QRegularExpression(u"^\\d{1,3}(,\\d{3})+件（中止）$"_s).match(count).hasMatch())
        << count.toStdString();
    // The rows fetched before the stop stay to be read, the stop's text in sight above them.
    const GridModel& rows = model().resultGrid();
    EXPECT_TRUE(rows.visible());
    EXPECT_EQ(std::tuple(rows.rows(), rows.text(1, 1), rows.text(1000, 1)),
              std::tuple(1001, u"1"_s, u"1000"_s));
    const QLabel* stopped = window()->findChild<QLabel*>(u"resultMessage"_s);
    EXPECT_TRUE(stopped->text().endsWith(u"（中止しました）"_s));
    EXPECT_GE(window()->resultGrid()->y(), stopped->y() + stopped->fontMetrics().height());
}

// The statistics grid's menu sorts by a heading (numbers as numbers; again, the other way) and
// shows only the statistics that changed; Ctrl+C and the recording keep the server's rows,
// and the next run shows them all in its order again. Numbers stand right, by the column's
// type: a number written as text stands left.
TEST_F(SampleTest, StatisticsViewsSortAndNarrowWhatIsShownOnly) {
    test::ModalAnswerer answerer({QMessageBox::Yes});
    login(u"sqlite:sample"_s, u"demo"_s);
    run(u"select customer_id, '42' as text_id from customers where customer_id <= 50"_s);
    GridView* stats = window()->statsGrid();
    stats->tableModel()->refresh();
    const GridModel& grid = model().statsGrid();
    auto copyAll = [&] {
        stats->selectAll();
        QTest::keyClick(stats, Qt::Key_C, Qt::ControlModifier);
        return QGuiApplication::clipboard()->text();
    };
    const QString whole = copyAll();
    QMenu menu;
    stats->addRowViewItems(menu);
    menu.findChild<QAction*>(u"changedOnly"_s)->trigger();
    QAction* byValue = nullptr;
    for (QAction* a : menu.findChild<QMenu*>(u"sortMenu"_s)->actions())
        if (a->text() == u"Value"_s)
            byValue = a;
    ASSERT_TRUE(byValue);
    byValue->trigger();
    byValue->trigger();
    QList<double> shown;
    for (int r = 0; r < stats->model()->rowCount(); ++r)
        shown << stats->model()->index(r, 0).data().toDouble();
    ASSERT_GT(shown.size(), 2);
    EXPECT_LT(shown.size(), grid.rows() - 1);
    EXPECT_TRUE(std::is_sorted(shown.rbegin(), shown.rend())) << "the larger first";
    EXPECT_FALSE(shown.contains(0.0));
    EXPECT_EQ(copyAll(), whole);
    const auto right = [](QAbstractItemView* v, int col) {
        return v->model()->index(0, col).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight;
    };
    QAbstractItemView* result = window()->resultGrid();
    QAbstractItemView* plan = window()->planGrid();
    EXPECT_EQ((std::array{right(stats, 0), right(stats, 1), right(result, 0), right(result, 1),
                          right(plan, 0), right(plan, 2)}),
              (std::array{int(Qt::AlignRight), 0, int(Qt::AlignRight), 0, 0, int(Qt::AlignRight)}));

    run(u"select 1 from dual"_s);
    stats->tableModel()->refresh();
    EXPECT_EQ(stats->model()->rowCount(), grid.rows() - 1) << "the next run shows every row";
    EXPECT_EQ(stats->model()->index(0, 1).data().toString(), grid.text(1, 2));
}

TEST_F(SampleTest, ClosingDuringARunAsksThenStopsAndKeepsTheStatement) {
    program().settings().set(&Settings::showPlan, false);
    login(u"sqlite:sample"_s, u"demo"_s);
    start(kEndlessCount);
    ASSERT_TRUE(waitUntil([&] { return line(Line::Count).startsWith(u"実行中…"_s); }, 5000));
    {
        test::ModalAnswerer no({QMessageBox::No});
        frame->action(u"quit"_s)->trigger();
        EXPECT_EQ(no.seen, QStringList{u"QuervinStudio|"_s + kMsgStopToClose});
    }
    ASSERT_EQ(frame->queryWindows().size(), 1) << "No keeps the window and its run";
    EXPECT_TRUE(model().isRunning());
    test::ModalAnswerer yes({QMessageBox::Yes});
    frame->action(u"quit"_s)->trigger();
    EXPECT_TRUE(frame->queryWindows().isEmpty());
    EXPECT_EQ(program().statementRing().statement(0), kEndlessCount);
}

// A login that fails says why in a box naming the service; the run it started still reports
// in its panes. Changes and definitions then say what they did; a query's line stays empty.
TEST_F(SampleTest, AFailedLoginIsToldAndStatementsWithoutRowsSayWhatTheyDid) {
    const QString nowhere = u"sqlite:"_s + sampleDir.path() + u"/no/such/dir/nope.db"_s;
    {
        test::ModalAnswerer boxes;
        answerLogin(nowhere, u"demo"_s);
        run(u"select 1 from dual"_s);
        ASSERT_EQ(boxes.seen.size(), 1);
        EXPECT_TRUE(boxes.seen[0].startsWith(u"DB接続エラー|"_s + nowhere +
                                             u" に接続できませんでした。\n"_s))
            << boxes.seen[0].toStdString();
        EXPECT_EQ(boxes.seen[0].section(u'\n', 1), window()->statusPanel(1)->text());
        EXPECT_EQ(boxes.formats, QList<Qt::TextFormat>{Qt::PlainText});
        EXPECT_FALSE(line(Line::Result).isEmpty()) << "the run's own failure stays in its pane";
    }
    login(u"sqlite:sample"_s, u"demo"_s);
    program().settings().set(&Settings::showPlan, false);
    const QList<std::pair<QString, QString>> cases = {
        {u"create table feedback_t (x number)"_s, u"表が作成されました。"_s},
        {u"create index feedback_ix on feedback_t (x)"_s, u"索引が作成されました。"_s},
        {u"insert into feedback_t values (1)"_s, u"1行が作成されました。"_s},
        {u"insert into feedback_t select x + 1 from feedback_t"_s, u"1行が作成されました。"_s},
        {u"update feedback_t set x = x * 10"_s, u"2行が更新されました。"_s},
        {u"select * from feedback_t"_s, QString()},
        {u"delete from feedback_t"_s, u"2行が削除されました。"_s},
        {u"drop table feedback_t"_s, u"表が削除されました。"_s},
    };
    QStringList got, want, counts;
    for (const auto& [sql, said] : cases) {
        run(sql);
        got << line(Line::Result);
        want << said;
        counts << line(Line::Count);
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(counts, (QStringList{u"0件"_s, u"0件"_s, u"1件"_s, u"1件"_s, u"2件"_s, u"2件"_s,
                                   u"2件"_s, u"0件"_s}));
}

// 索引を試す on the sample: the unindexed filter gets its candidate, and 作成して実行 records a run
// before the index and one after it, whose plan uses it.
TEST_F(SampleTest, TryIndexesOffersTheCandidateAndCreateAndRunRecordsBeforeAndAfter) {
    test::ModalAnswerer answerer({QMessageBox::Yes});
    login(u"sqlite:sample"_s, u"demo"_s);
    run(u"select customer_id, name from customers where email = 'customer00077@example.jp'"_s);
    EXPECT_TRUE(frame->action(u"tryIndexes"_s)->isEnabled());
    const QList<RecordedPlanLine> before = comparablePlan(model().shownPlan());
    WhatIfDialog dialog(window()->whatIf(), window());
    dialog.show();
    ASSERT_GE(dialog.candidateTable()->rowCount(), 1)
        << dialog.messageLabel()->text().toStdString();
    EXPECT_EQ(dialog.candidateTable()->item(0, 0)->text(),
              u"CREATE INDEX IX_CUSTOMERS_EMAIL ON DEMO.CUSTOMERS (EMAIL)"_s);
    EXPECT_EQ(dialog.candidateTable()->item(0, 1)->text(),
              u"\"EMAIL\"='customer00077@example.jp'"_s);
    ASSERT_EQ(dialog.currentPlan()->rowCount(), 2);
    EXPECT_EQ(dialog.currentPlan()->item(1, 1)->text(), u" TABLE ACCESS FULL (DEMO.CUSTOMERS)"_s);
    // The window's own plan is as the run left it.
    EXPECT_EQ(comparablePlan(model().shownPlan()).size(), before.size());

    // 試す on the engine: the range scan and its lower cost, with nothing built.
    dialog.candidateTable()->selectRow(0);
    dialog.tryButton()->click();
    ASSERT_EQ(dialog.whatIfPlan()->rowCount(), 3) << dialog.messageLabel()->text().toStdString();
    EXPECT_TRUE(dialog.whatIfPlan()->item(2, 1)->text().contains(u"INDEX RANGE SCAN"_s));
    EXPECT_TRUE(dialog.costLabel()->text().contains(u"→"_s));
    answerer.seen.clear();
    dialog.createButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !dialog.isVisible(); }));
    ASSERT_TRUE(model().waitForRun(60'000));
    EXPECT_EQ(answerer.seen,
              (QStringList{u"QuervinStudio|"_s + kMsgWhatIfNeedsBefore,
                           u"QuervinStudio|"_s + kMsgWhatIfCreate +
                               u"CREATE INDEX IX_CUSTOMERS_EMAIL ON DEMO.CUSTOMERS (EMAIL)"_s}));
    const HistoryFile history(model().historyFilePath());
    ASSERT_EQ(history.runs().size(), 2);
    const auto after = history.run(std::max(history.runs()[0].number, history.runs()[1].number));
    ASSERT_TRUE(after);
    QStringList operations;
    for (const RecordedPlanLine& l : after->plan)
        operations << l.operation.trimmed();
    EXPECT_TRUE(operations.contains(u"INDEX RANGE SCAN (DEMO.IX_CUSTOMERS_EMAIL)"_s))
        << operations.join(u'|').toStdString();
}
