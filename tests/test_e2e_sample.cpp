#include "core/history/statementring.h"
#include "core/tuning/gridactions.h"
#include "gui/gridview.h"
#include "support/e2e.h"
#include "support/modalanswerer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest/QTest>

using namespace Qt::StringLiterals;

using namespace qv;
using Line = WindowState::Line;

namespace {
const QString kJoin = QStringLiteral(
    "select o.order_id, p.name from orders o join order_items i on i.order_id = o.order_id "
    "join products p on p.product_id = i.product_id where o.customer_id = 42");
const QString kQuestion =
    u"QuervinStudio|実行計画表 QUERVIN$PLAN_TABLE が存在しません。作成しますか？"_s;

class SampleTest : public test::WindowTest {};
}  // namespace

TEST_F(SampleTest, RunShowsPlanRowsCountAndRealStatistics) {
    test::ModalAnswerer answerer({QMessageBox::Yes});
    login(u"sqlite:sample"_s, u"demo"_s);
    EXPECT_EQ(window()->windowTitle() + window()->statusPanel(1)->text(),
              u"demo@sqlite:sample接続 demo@sqlite:sample"_s);
    EXPECT_TRUE(frame->action(u"logout"_s)->isEnabled());
    run(kJoin);
    EXPECT_EQ(answerer.seen, QStringList{kQuestion}) << "the missing plan table is offered";
    EXPECT_EQ(line(Line::Plan), QString());
    EXPECT_EQ(line(Line::Result), QString());
    EXPECT_EQ(line(Line::Stats), QString());

    const GridModel& data = model().resultGrid();
    ASSERT_TRUE(data.visible());
    const int rows = data.rows() - 1;
    EXPECT_GT(rows, 0);
    EXPECT_EQ(line(Line::Count), u"%1件"_s.arg(rows));
    EXPECT_EQ(data.text(0, 1), u"order_id"_s);
    EXPECT_EQ(statValue(u"rows fetched"_s), QString::number(rows));
    EXPECT_EQ(statValue(u"user calls"_s), u"1"_s);

    const GridModel& plan = model().planGrid();
    ASSERT_TRUE(plan.visible());
    EXPECT_EQ(plan.text(1, 0), u"SELECT STATEMENT"_s);
    EXPECT_GE(plan.rows(), 4);
    EXPECT_TRUE(plan.text(2, 0).startsWith(QLatin1Char(' ')));
    bool deeper = false;
    for (int r = 2; r < plan.rows(); ++r)
        deeper = deeper || plan.text(r, 0).startsWith(u"  "_s);
    EXPECT_TRUE(deeper) << "steps are indented by their depth";

    run(u"select * from customers where customer_id <= 120"_s);
    EXPECT_EQ(answerer.seen.size(), 1) << "the created table needs no second question";
    EXPECT_EQ(line(Line::Count), u"120件"_s);
    EXPECT_EQ(statValue(u"rows fetched"_s), u"120"_s);
    EXPECT_EQ(statementRing().statement(1), u"select * from customers where customer_id <= 120"_s);

    // Ctrl+C in the plan grid copies the plan as text.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, u"\x03"_s);
    QApplication::sendEvent(window()->planGrid(), &press);
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied, planClipboardText(plan));
    EXPECT_TRUE(copied.startsWith(u"1\tSELECT STATEMENT\r\n2\t "_s)) << copied.toStdString();

    frame->action(u"logout"_s)->trigger();
    EXPECT_EQ(window()->windowTitle() + window()->statusPanel(1)->text(), u"未接続"_s);
    EXPECT_TRUE(frame->action(u"login"_s)->isEnabled());
}

TEST_F(SampleTest, ChangesErrorsAndLargeResults) {
    test::ModalAnswerer answerer({QMessageBox::No});
    login(u"sqlite:sample"_s, u"demo"_s);
    run(u"update products set unit_price = unit_price where product_id <= 3"_s);
    EXPECT_EQ(line(Line::Count), u"3件"_s);
    EXPECT_FALSE(model().resultGrid().visible());
    EXPECT_EQ(statValue(u"rows changed"_s), u"3"_s);
    EXPECT_TRUE(line(Line::Plan).endsWith(u"実行計画表 QUERVIN$PLAN_TABLE が存在しません。"_s))
        << "declining the plan table says so";

    run(u"selec * from customers"_s);
    EXPECT_TRUE(line(Line::Result).contains(u"syntax error"_s)) << line(Line::Result).toStdString();
    EXPECT_EQ(line(Line::Count), QString());
    EXPECT_FALSE(model().resultGrid().visible());

    run(u"select * from order_items limit 40000"_s);
    EXPECT_EQ(line(Line::Count), u"40000件中1000件まで表示"_s);
    EXPECT_EQ(statValue(u"rows fetched"_s), u"40000"_s);
    EXPECT_EQ(model().resultGrid().rows(), 1001);
}

TEST_F(SampleTest, DoubleClickOnACellWritesItsCondition) {
    test::ModalAnswerer answerer({QMessageBox::No});
    login(u"sqlite:sample"_s, u"demo"_s);
    run(u"select customer_id, name from customers where customer_id = 7"_s);
    GridView* grid = window()->resultGrid();
    grid->tableModel()->refresh();
    const QString name = model().resultGrid().text(1, 2);
    ASSERT_FALSE(name.isEmpty());
    window()->sqlEdit()->setPlainText(u"where "_s);
    window()->sqlEdit()->moveCursor(QTextCursor::End);
    QApplication::setActiveWindow(frame.get());  // the dialogs took activation away
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(window()->sqlEdit()->toPlainText(), u"where name = '"_s + name + u"'"_s);
    EXPECT_TRUE(window()->sqlEdit()->hasFocus());
}
