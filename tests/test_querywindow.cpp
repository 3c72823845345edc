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
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

class QueryWindowTest : public ::testing::Test {
  protected:
    QueryWindowTest() {
        setProgramEndHandler([this] { ++ends; });
        frame.show();
    }
    ~QueryWindowTest() override { setProgramEndHandler(nullptr); }

    QStringList texts(FrmMain* f, const QStringList& names) {
        QStringList out;
        for (const QString& n : names)
            out << f->findChild<QLabel*>(n)->text();
        return out;
    }
    // The enabled items among login, logout, start and end of recording.
    QString enabled() {
        QString out;
        for (const char* n : {"mnuLogin", "mnuLogout", "mnuHistStart", "mnuHistEnd"})
            if (frame.action(QString::fromLatin1(n))->isEnabled())
                out += QString::fromLatin1(n) + u" "_s;
        return out.trimmed();
    }
    QString stored(const char* name) {
        QString v = u"<missing>"_s;
        getRegValue(QString::fromLatin1(name), v);
        return v;
    }

    test::TempStore tmp;
    int ends = 0;
    MdiMain frame;
};

}  // namespace

TEST_F(QueryWindowTest, StartUpShowsOneUnconnectedWindowOfTheDefaultSize) {
    EXPECT_EQ(frame.windowTitle(), u"Quervin"_s);
    ASSERT_EQ(frame.forms().size(), 1);
    FrmMain* f = frame.activeForm();
    EXPECT_EQ(f->windowTitle(), u"未接続"_s);
    auto* sub = qobject_cast<QMdiSubWindow*>(f->parentWidget());
    const double dpi = f->logicalDpiY();
    EXPECT_NEAR(pixelsToTwips(sub->width(), dpi), 8550, 1440.0 / dpi);
    EXPECT_NEAR(pixelsToTwips(sub->height(), dpi), 7500, 1440.0 / dpi);
    EXPECT_EQ(enabled(), u"mnuLogin mnuHistStart"_s);
    EXPECT_EQ(texts(f, {u"lblQMessage"_s, u"lblSMessage"_s, u"lblEMessage"_s, u"lblCount"_s}),
              QStringList(4, QString()));
    EXPECT_EQ(texts(f, {u"Label2"_s, u"lblLabel1"_s, u"lblLabel2"_s, u"lblLabel3"_s}),
              (QStringList{u"SQL"_s, u"Query"_s, u"Stats"_s, u"Execution Plan"_s}));
    EXPECT_EQ(f->cmdExec()->text(), u"実 行"_s);
    EXPECT_EQ((QStringList{f->panel(1)->toolTip(), f->panel(2)->toolTip(), f->panel(3)->toolTip()}),
              (QStringList{u"オラクル接続ステータス"_s, u"履歴ステータス"_s, u"履歴件数"_s}));
    EXPECT_GT(f->panel(2)->width(), f->panel(1)->width());
    EXPECT_EQ(gPublicVar().maxDispRows, 1000);
}

TEST_F(QueryWindowTest, ControlsStartWhereTheGeometryTableSays) {
    FrmMain* f = frame.activeForm();
    const double dpi = f->logicalDpiY();
    const std::pair<QWidget*, TwipRect> cases[] = {
        {f->txtSQL(), {120, 300, 8175, 1335}},
        {f->cmdExec(), {6960, 1680, 1335, 315}},
        {f->grdData(), {120, 2100, 8175, 1455}},
        {f->grdStats(), {120, 3840, 8175, 1095}},
        {f->grdExplan(), {120, 5220, 8175, 1455}},
        // The resize rule gives bars 1 to 4 the window's outer width.
        {f->splitBar(1), {0, 1620, 8550, 60}},
        {f->splitBar(4), {120, 6720, 8550, 60}},
    };
    for (const auto& [w, want] : cases) {
        const QRect g = w->geometry();
        const int got[] = {g.x(), g.y(), g.width(), g.height()};
        const int expect[] = {want.left, want.top, want.width, want.height};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(pixelsToTwips(got[i], dpi), expect[i], 1440.0 / dpi)
                << w->objectName().toStdString() << " " << i;
    }
    EXPECT_EQ(f->splitBar(2)->cursor().shape(), Qt::SizeVerCursor);
    const auto& m = f->model().layout().margins();
    EXPECT_EQ((std::vector<int>{m.button, m.planGridHeight, m.count, m.bottomBar}),
              (std::vector<int>{1590, 6045, 6990, 780}));
}

TEST_F(QueryWindowTest, MenuBarReadsExactlyAsDesigned) {
    QStringList titles;
    for (QAction* a : frame.menuBar()->actions())
        if (a->isVisible())
            titles << a->text();
    EXPECT_EQ(titles, (QStringList{u"ﾌｧｲﾙ(&F)"_s, u"ｵﾗｸﾙ(&C)"_s, u"ｵﾌﾟｼｮﾝ(&O)"_s, u"ｳｨﾝﾄﾞｳ(&W)"_s,
                                   u"SQL(&S)"_s, u"ﾍﾙﾌﾟ(&H)"_s}));
    auto items = [&](const char* menu) {
        QStringList out;
        for (QAction* a : frame.findChild<QMenu*>(QString::fromLatin1(menu))->actions())
            out << (a->isSeparator() ? u"-"_s : a->text());
        return out;
    };
    EXPECT_EQ(items("mnuFile"),
              (QStringList{u"履歴開始(&S)"_s, u"履歴終了(&E)"_s, u"-"_s, u"終了(&X)"_s}));
    EXPECT_EQ(items("Edit"), (QStringList{u"切り取り(&X)"_s, u"ｺﾋﾟｰ(&C)"_s, u"貼り付け(&V)"_s}));
    EXPECT_EQ(items("mnuOracle"), (QStringList{u"ログイン...(&L)"_s, u"ログアウト(&D)"_s}));
    EXPECT_EQ(items("mnuOption"), QStringList{u"ｵﾌﾟｼｮﾝ設定...(&E)"_s});
    EXPECT_EQ(items("window").first(), u"新ウィンドウ(&N)"_s);
    EXPECT_EQ(items("mnuSQL"), (QStringList{u"次のSQL(&N)"_s, u"前のSQL(&B)"_s}));
    EXPECT_EQ(items("help"), QStringList{u"ﾊﾞｰｼﾞｮﾝ情報(&V)"_s});
    const QAction* edit = frame.findChild<QMenu*>(u"Edit"_s)->menuAction();
    EXPECT_FALSE(edit->isVisible() || edit->isEnabled());
    EXPECT_EQ(frame.action(u"mnuNextSQL"_s)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(frame.action(u"mnuPrevSQL"_s)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
}

TEST_F(QueryWindowTest, NewWindowsResetTheRowLimitAndAreListed) {
    gPublicVar().maxDispRows = 200;
    frame.action(u"nrewindow"_s)->trigger();
    frame.openForm();
    EXPECT_EQ(gPublicVar().maxDispRows, 1000);
    EXPECT_EQ(frame.windowMenuEntries(),
              (QStringList{u"&1 未接続"_s, u"&2 未接続"_s, u"&3 未接続"_s}));
    QStringList checked;
    for (QAction* a : frame.findChild<QMenu*>(u"window"_s)->actions())
        if (a->isChecked())
            checked << a->text();
    EXPECT_EQ(checked, QStringList{u"&3 未接続"_s}) << "the current window is checked";
}

TEST_F(QueryWindowTest, QuitClosesOneWindowAndTheLastEndsTheProgramSavingSettings) {
    frame.openForm();
    gPublicVar().flgExplan = 0;
    frame.action(u"mnuQuit"_s)->trigger();
    EXPECT_EQ(frame.forms().size(), 1);
    EXPECT_EQ(ends, 0) << "the program goes on while a window is open";
    EXPECT_EQ(stored("f_explan"), u"<missing>"_s) << "nothing saved yet";
    frame.action(u"mnuQuit"_s)->trigger();
    EXPECT_EQ(frame.forms().size(), 0);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(stored("f_explan") + stored("i_maxdisprows") + stored("sqlhist_max"), u"010000"_s);
    EXPECT_FALSE(publicVarExists());
}

TEST_F(QueryWindowTest, ClosingTheFrameClosesAllWindows) {
    frame.openForm();
    frame.close();
    EXPECT_TRUE(frame.forms().isEmpty());
    EXPECT_EQ(ends, 1);
}

TEST_F(QueryWindowTest, RingCommandsFillTheSqlBoxWithTheCaretAtTheEnd) {
    gSQLHist().add(u"select 1 from dual"_s);
    gSQLHist().add(u"select 2\nfrom dual"_s);
    QPlainTextEdit* box = frame.activeForm()->txtSQL();
    frame.action(u"mnuNextSQL"_s)->trigger();
    EXPECT_EQ(box->toPlainText(), u"select 2\nfrom dual"_s);
    EXPECT_EQ(box->textCursor().position(), 18);
    EXPECT_FALSE(box->textCursor().hasSelection());
    frame.action(u"mnuPrevSQL"_s)->trigger();
    EXPECT_EQ(box->toPlainText(), u"select 1 from dual"_s);
}
