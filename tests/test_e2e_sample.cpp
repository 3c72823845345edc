#include "support/e2e.h"
#include "support/modalanswerer.h"
#include "tuning/gridactions.h"
#include "tuning/gridview.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest/QTest>

using namespace qv;
using Line = WindowState::Line;

namespace {
const QString kJoin = QStringLiteral(
    "select o.order_id, p.name from orders o join order_items i on i.order_id = o.order_id "
    "join products p on p.product_id = i.product_id where o.customer_id = 42");
const QString kQuestion =
    QStringLiteral("QuervinStudio|実行計画表 QUERVIN$PLAN_TABLE が存在しません。作成しますか？");

class SampleTest : public test::WindowTest {};
}  // namespace

TEST_F(SampleTest, LogsInToTheSampleAndOut) {
    login(QStringLiteral("sqlite:sample"), QStringLiteral("demo"));
    EXPECT_EQ(form()->windowTitle(), QStringLiteral("demo@sqlite:sample"));
    EXPECT_EQ(form()->panel(1)->text(), QStringLiteral("接続 demo@sqlite:sample"));
    EXPECT_FALSE(frame->action(QStringLiteral("mnuLogin"))->isEnabled());
    EXPECT_TRUE(frame->action(QStringLiteral("mnuLogout"))->isEnabled());
    frame->action(QStringLiteral("mnuLogout"))->trigger();
    EXPECT_EQ(form()->windowTitle(), QStringLiteral("未接続"));
    EXPECT_EQ(form()->panel(1)->text(), QString());
    EXPECT_TRUE(frame->action(QStringLiteral("mnuLogin"))->isEnabled());
}

TEST_F(SampleTest, RunShowsPlanRowsCountAndRealStatistics) {
    test::ModalAnswerer answerer({QMessageBox::Yes});
    login(QStringLiteral("sqlite:sample"), QStringLiteral("demo"));
    run(kJoin);
    EXPECT_EQ(answerer.seen, QStringList{kQuestion}) << "the missing plan table is offered";
    EXPECT_EQ(line(Line::Plan), QString());
    EXPECT_EQ(line(Line::Query), QString());
    EXPECT_EQ(line(Line::Stats), QString());

    const GridModel& data = model().grdData();
    ASSERT_TRUE(data.visible());
    const int rows = data.rows() - 1;
    EXPECT_GT(rows, 0);
    EXPECT_EQ(line(Line::Count), QStringLiteral("%1件").arg(rows));
    EXPECT_EQ(data.text(0, 1), QStringLiteral("order_id"));
    EXPECT_EQ(statValue(QStringLiteral("rows fetched")), QString::number(rows));
    EXPECT_EQ(statValue(QStringLiteral("user calls")), QStringLiteral("1"));

    const GridModel& plan = model().grdExplan();
    ASSERT_TRUE(plan.visible());
    EXPECT_EQ(plan.text(1, 0), QStringLiteral("SELECT STATEMENT"));
    EXPECT_GE(plan.rows(), 4);
    EXPECT_TRUE(plan.text(2, 0).startsWith(QLatin1Char(' ')));
    bool deeper = false;
    for (int r = 2; r < plan.rows(); ++r)
        deeper = deeper || plan.text(r, 0).startsWith(QStringLiteral("  "));
    EXPECT_TRUE(deeper) << "steps are indented by their depth";

    run(QStringLiteral("select * from customers where customer_id <= 120"));
    EXPECT_EQ(answerer.seen.size(), 1) << "the created table needs no second question";
    EXPECT_EQ(line(Line::Count), QStringLiteral("120件"));
    EXPECT_EQ(statValue(QStringLiteral("rows fetched")), QStringLiteral("120"));
    EXPECT_EQ(gSQLHist().getSQL(1),
              QStringLiteral("select * from customers where customer_id <= 120"));

    // Ctrl+C in the plan grid copies the plan as text.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"));
    QApplication::sendEvent(form()->grdExplan(), &press);
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied, planClipboardText(plan));
    EXPECT_TRUE(copied.startsWith(QStringLiteral("1\tSELECT STATEMENT\r\n2\t ")))
        << copied.toStdString();
}

TEST_F(SampleTest, ChangesErrorsAndLargeResults) {
    test::ModalAnswerer answerer({QMessageBox::No});
    login(QStringLiteral("sqlite:sample"), QStringLiteral("demo"));
    run(QStringLiteral("update products set unit_price = unit_price where product_id <= 3"));
    EXPECT_EQ(line(Line::Count), QStringLiteral("3件"));
    EXPECT_FALSE(model().grdData().visible());
    EXPECT_EQ(statValue(QStringLiteral("rows changed")), QStringLiteral("3"));
    EXPECT_TRUE(
        line(Line::Plan).endsWith(QStringLiteral("実行計画表 QUERVIN$PLAN_TABLE が存在しません。")))
        << "declining the plan table says so";

    run(QStringLiteral("selec * from customers"));
    EXPECT_TRUE(line(Line::Query).contains(QStringLiteral("syntax error")))
        << line(Line::Query).toStdString();
    EXPECT_EQ(line(Line::Count), QString());
    EXPECT_FALSE(model().grdData().visible());

    run(QStringLiteral("select * from order_items limit 40000"));
    EXPECT_EQ(line(Line::Count), QStringLiteral("40000件中1000件まで表示"));
    EXPECT_EQ(statValue(QStringLiteral("rows fetched")), QStringLiteral("40000"));
    EXPECT_EQ(model().grdData().rows(), 1001);
}

TEST_F(SampleTest, DoubleClickOnACellWritesItsCondition) {
    test::ModalAnswerer answerer({QMessageBox::No});
    login(QStringLiteral("sqlite:sample"), QStringLiteral("demo"));
    run(QStringLiteral("select customer_id, name from customers where customer_id = 7"));
    GridView* grid = form()->grdData();
    grid->tableModel()->refresh();
    const QString name = model().grdData().text(1, 2);
    ASSERT_FALSE(name.isEmpty());
    form()->txtSQL()->setPlainText(QStringLiteral("where "));
    form()->txtSQL()->moveCursor(QTextCursor::End);
    QApplication::setActiveWindow(frame.get());  // the dialogs took activation away
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(form()->txtSQL()->toPlainText(),
              QStringLiteral("where name = '") + name + QStringLiteral("'"));
    EXPECT_TRUE(form()->txtSQL()->hasFocus());
}
