// The embedded sample through the real window, from login to logout. The steps' rules and
// texts are the unit tests'; this one shows they are wired together.
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
    EXPECT_EQ(line(Line::Plan) + line(Line::Result) + line(Line::Stats), QString());
    const GridModel& data = model().resultGrid();
    const int rows = data.rows() - 1;
    EXPECT_TRUE(data.visible() && rows > 0);
    EXPECT_EQ((QStringList{data.text(0, 1), line(Line::Count), statValue(u"rows fetched"_s)}),
              (QStringList{u"order_id"_s, u"%1件"_s.arg(rows), QString::number(rows)}));
    ASSERT_TRUE(model().planGrid().visible());
    EXPECT_EQ(model().planGrid().text(1, 0), u"SELECT STATEMENT"_s);

    // Ctrl+C in the plan grid copies the plan as text.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, u"\x03"_s);
    QApplication::sendEvent(window()->planGrid(), &press);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), planClipboardText(model().planGrid()));

    run(u"select * from customers where customer_id <= 120"_s);
    EXPECT_EQ(answerer.seen.size(), 1) << "the created table needs no second question";
    EXPECT_EQ(line(Line::Count), u"120件"_s);
    EXPECT_EQ(statementRing().statement(1), u"select * from customers where customer_id <= 120"_s);

    frame->action(u"logout"_s)->trigger();
    EXPECT_EQ(window()->windowTitle() + window()->statusPanel(1)->text(), u"未接続"_s);
    EXPECT_TRUE(frame->action(u"login"_s)->isEnabled());
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
