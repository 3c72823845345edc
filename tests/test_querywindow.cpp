#include "app/frmmain.h"
#include "app/mdimain.h"
#include "app/program.h"
#include "settings/publicvar.h"
#include "settings/regstore.h"
#include "support/tempstore.h"
#include "tuning/gridview.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace qv;

namespace {

class QueryWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setProgramEndHandler([this] { ++ends; });
    }
    void TearDown() override { setProgramEndHandler(nullptr); }

    QString labelText(FrmMain* f, const char* name) {
        auto* l = f->findChild<QLabel*>(QString::fromLatin1(name));
        return l ? l->text() : QStringLiteral("<missing>");
    }

    test::TempStore tmp;
    int ends = 0;
};

double dpiOf(QWidget* w) {
    return w->logicalDpiY();
}

}  // namespace

TEST_F(QueryWindowTest, StartUpShowsOneUnconnectedWindowOfTheDefaultSize) {
    MdiMain frame;
    frame.show();
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Quervin"));
    ASSERT_EQ(frame.forms().size(), 1);
    FrmMain* f = frame.activeForm();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("未接続"));
    EXPECT_EQ(f->model().state().caption(), QStringLiteral("未接続"));

    auto* sub = qobject_cast<QMdiSubWindow*>(f->parentWidget());
    ASSERT_NE(sub, nullptr);
    const double dpi = dpiOf(f);
    EXPECT_NEAR(pixelsToTwips(sub->width(), dpi), 8550, 1440.0 / dpi);
    EXPECT_NEAR(pixelsToTwips(sub->height(), dpi), 7500, 1440.0 / dpi);

    EXPECT_TRUE(frame.action(QStringLiteral("mnuLogin"))->isEnabled());
    EXPECT_FALSE(frame.action(QStringLiteral("mnuLogout"))->isEnabled());
    EXPECT_TRUE(frame.action(QStringLiteral("mnuHistStart"))->isEnabled());
    EXPECT_FALSE(frame.action(QStringLiteral("mnuHistEnd"))->isEnabled());

    for (const char* name : {"lblQMessage", "lblSMessage", "lblEMessage", "lblCount"})
        EXPECT_EQ(labelText(f, name), QString()) << name;
    EXPECT_EQ(labelText(f, "Label2"), QStringLiteral("SQL"));
    EXPECT_EQ(labelText(f, "lblLabel1"), QStringLiteral("Query"));
    EXPECT_EQ(labelText(f, "lblLabel2"), QStringLiteral("Stats"));
    EXPECT_EQ(labelText(f, "lblLabel3"), QStringLiteral("Execution Plan"));
    EXPECT_EQ(f->cmdExec()->text(), QStringLiteral("実 行"));
    EXPECT_EQ(f->txtSQL()->toPlainText(), QString());
    EXPECT_EQ(f->panel(1)->toolTip(), QStringLiteral("オラクル接続ステータス"));
    EXPECT_EQ(f->panel(2)->toolTip(), QStringLiteral("履歴ステータス"));
    EXPECT_EQ(f->panel(3)->toolTip(), QStringLiteral("履歴件数"));
    EXPECT_GT(f->panel(2)->width(), f->panel(1)->width());
    EXPECT_EQ(gPublicVar().maxDispRows, 1000);
    EXPECT_EQ(ends, 0);
}

TEST_F(QueryWindowTest, ControlsStartWhereTheGeometryTableSays) {
    MdiMain frame;
    frame.show();
    FrmMain* f = frame.activeForm();
    const double dpi = dpiOf(f);
    auto twips = [&](QWidget* w) {
        return TwipRect{pixelsToTwips(w->x(), dpi), pixelsToTwips(w->y(), dpi),
                        pixelsToTwips(w->width(), dpi), pixelsToTwips(w->height(), dpi)};
    };
    const double tol = 1440.0 / dpi;
    struct Case {
        QWidget* w;
        TwipRect want;
    };
    const Case cases[] = {
        {f->txtSQL(), {120, 300, 8175, 1335}},
        {f->cmdExec(), {6960, 1680, 1335, 315}},
        {f->grdData(), {120, 2100, 8175, 1455}},
        {f->grdStats(), {120, 3840, 8175, 1095}},
        {f->grdExplan(), {120, 5220, 8175, 1455}},
        // The resize rule gives bars 1 to 4 the window's outer width.
        {f->splitBar(1), {0, 1620, 8550, 60}},
        {f->splitBar(4), {120, 6720, 8550, 60}},
    };
    for (const Case& c : cases) {
        const TwipRect got = twips(c.w);
        EXPECT_NEAR(got.left, c.want.left, tol) << c.w->objectName().toStdString();
        EXPECT_NEAR(got.top, c.want.top, tol) << c.w->objectName().toStdString();
        EXPECT_NEAR(got.width, c.want.width, tol) << c.w->objectName().toStdString();
        EXPECT_NEAR(got.height, c.want.height, tol) << c.w->objectName().toStdString();
    }
    EXPECT_EQ(f->splitBar(2)->cursor().shape(), Qt::SizeVerCursor);
    EXPECT_EQ(f->model().layout().margins().button, 1590);
    EXPECT_EQ(f->model().layout().margins().planGridHeight, 6045);
    EXPECT_EQ(f->model().layout().margins().count, 6990);
    EXPECT_EQ(f->model().layout().margins().bottomBar, 780);
}

TEST_F(QueryWindowTest, MenuBarReadsExactlyAsDesigned) {
    MdiMain frame;
    QStringList titles;
    for (QAction* a : frame.menuBar()->actions())
        if (a->isVisible())
            titles << a->text();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("ｵﾗｸﾙ(&C)"),
                                   QStringLiteral("ｵﾌﾟｼｮﾝ(&O)"), QStringLiteral("ｳｨﾝﾄﾞｳ(&W)"),
                                   QStringLiteral("SQL(&S)"), QStringLiteral("ﾍﾙﾌﾟ(&H)")}));
    auto* edit = frame.findChild<QMenu*>(QStringLiteral("Edit"));
    ASSERT_NE(edit, nullptr);
    EXPECT_FALSE(edit->menuAction()->isVisible());
    EXPECT_FALSE(edit->menuAction()->isEnabled());

    auto items = [&](const char* menu) {
        QStringList out;
        for (QAction* a : frame.findChild<QMenu*>(QString::fromLatin1(menu))->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    EXPECT_EQ(items("mnuFile"),
              (QStringList{QStringLiteral("履歴開始(&S)"), QStringLiteral("履歴終了(&E)"),
                           QStringLiteral("-"), QStringLiteral("終了(&X)")}));
    EXPECT_EQ(items("Edit"),
              (QStringList{QStringLiteral("切り取り(&X)"), QStringLiteral("ｺﾋﾟｰ(&C)"),
                           QStringLiteral("貼り付け(&V)")}));
    EXPECT_EQ(items("mnuOracle"),
              (QStringList{QStringLiteral("ログイン...(&L)"), QStringLiteral("ログアウト(&D)")}));
    EXPECT_EQ(items("mnuOption"), QStringList{QStringLiteral("ｵﾌﾟｼｮﾝ設定...(&E)")});
    EXPECT_EQ(items("window").first(), QStringLiteral("新ウィンドウ(&N)"));
    EXPECT_EQ(items("mnuSQL"),
              (QStringList{QStringLiteral("次のSQL(&N)"), QStringLiteral("前のSQL(&B)")}));
    EXPECT_EQ(items("help"), QStringList{QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&V)")});
    EXPECT_EQ(frame.action(QStringLiteral("mnuNextSQL"))->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(frame.action(QStringLiteral("mnuPrevSQL"))->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_B));
}

TEST_F(QueryWindowTest, ASecondWindowSetsTheRowLimitBackTo1000) {
    MdiMain frame;
    frame.show();
    gPublicVar().maxDispRows = 200;
    frame.action(QStringLiteral("nrewindow"))->trigger();
    EXPECT_EQ(frame.forms().size(), 2);
    EXPECT_EQ(gPublicVar().maxDispRows, 1000);
    EXPECT_EQ(frame.activeForm(), frame.forms().last());
    EXPECT_EQ(frame.activeForm()->windowTitle(), QStringLiteral("未接続"));
}

TEST_F(QueryWindowTest, WindowMenuListsEveryWindowAndChecksTheCurrentOne) {
    MdiMain frame;
    frame.show();
    frame.openForm();
    frame.openForm();
    const QStringList entries = frame.windowMenuEntries();
    EXPECT_EQ(entries, (QStringList{QStringLiteral("&1 未接続"), QStringLiteral("&2 未接続"),
                                    QStringLiteral("&3 未接続")}));
    auto* menu = frame.findChild<QMenu*>(QStringLiteral("window"));
    int checked = 0;
    for (QAction* a : menu->actions())
        checked += a->isChecked() ? 1 : 0;
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(menu->actions().last()->isChecked());
}

TEST_F(QueryWindowTest, QuitClosesOneWindowAndTheLastEndsTheProgramSavingSettings) {
    MdiMain frame;
    frame.show();
    frame.openForm();
    ASSERT_EQ(frame.forms().size(), 2);
    gPublicVar().flgExplan = 0;

    frame.action(QStringLiteral("mnuQuit"))->trigger();
    EXPECT_EQ(frame.forms().size(), 1);
    EXPECT_EQ(ends, 0) << "the program goes on while a window is open";
    QString v;
    EXPECT_EQ(getRegValue(QStringLiteral("f_explan"), v), -1) << "nothing saved yet";

    frame.action(QStringLiteral("mnuQuit"))->trigger();
    EXPECT_EQ(frame.forms().size(), 0);
    EXPECT_EQ(ends, 1);
    ASSERT_EQ(getRegValue(QStringLiteral("f_explan"), v), 0);
    EXPECT_EQ(v, QStringLiteral("0"));
    ASSERT_EQ(getRegValue(QStringLiteral("i_maxdisprows"), v), 0);
    EXPECT_EQ(v, QStringLiteral("1000"));
    ASSERT_EQ(getRegValue(QStringLiteral("sqlhist_max"), v), 0);
    EXPECT_FALSE(publicVarExists());
}

TEST_F(QueryWindowTest, ClosingTheFrameClosesAllWindows) {
    MdiMain frame;
    frame.show();
    frame.openForm();
    frame.close();
    EXPECT_TRUE(frame.forms().isEmpty());
    EXPECT_EQ(ends, 1);
}

TEST_F(QueryWindowTest, RingCommandsFillTheSqlBoxWithTheCaretAtTheEnd) {
    MdiMain frame;
    frame.show();
    gSQLHist().add(QStringLiteral("select 1 from dual"));
    gSQLHist().add(QStringLiteral("select 2\nfrom dual"));
    FrmMain* f = frame.activeForm();
    frame.action(QStringLiteral("mnuNextSQL"))->trigger();
    EXPECT_EQ(f->txtSQL()->toPlainText(), QStringLiteral("select 2\nfrom dual"));
    EXPECT_EQ(f->txtSQL()->textCursor().position(), 18);
    EXPECT_FALSE(f->txtSQL()->textCursor().hasSelection());
    frame.action(QStringLiteral("mnuPrevSQL"))->trigger();
    EXPECT_EQ(f->txtSQL()->toPlainText(), QStringLiteral("select 1 from dual"));
}
