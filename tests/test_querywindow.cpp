#include "core/history/statementring.h"
#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "core/window/program.h"
#include "core/window/twips.h"
#include "gui/gridview.h"
#include "gui/mainframe.h"
#include "gui/querywindow.h"
#include "support/tempstore.h"

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

    QStringList texts(QueryWindow* f, const QStringList& names) {
        QStringList out;
        for (const QString& n : names)
            out << f->findChild<QLabel*>(n)->text();
        return out;
    }
    // The enabled items among login, logout, start and end of recording.
    QString enabled() {
        QString out;
        for (const char* n : {"login", "logout", "startRecording", "stopRecording"})
            if (frame.action(QString::fromLatin1(n))->isEnabled())
                out += QString::fromLatin1(n) + u" "_s;
        return out.trimmed();
    }
    QString stored(const char* name) {
        QString v = u"<missing>"_s;
        settingsStore().read(QString::fromLatin1(name), v);
        return v;
    }

    test::TempStore tmp;
    int ends = 0;
    MainFrame frame;
};

}  // namespace

TEST_F(QueryWindowTest, StartUpShowsOneUnconnectedWindowOfTheDefaultSize) {
    EXPECT_EQ(frame.windowTitle(), u"Quervin"_s);
    ASSERT_EQ(frame.queryWindows().size(), 1);
    QueryWindow* f = frame.activeQueryWindow();
    EXPECT_EQ(f->windowTitle(), u"未接続"_s);
    auto* sub = qobject_cast<QMdiSubWindow*>(f->parentWidget());
    const double dpi = f->logicalDpiY();
    EXPECT_NEAR(pixelsToTwips(sub->width(), dpi), 8550, 1440.0 / dpi);
    EXPECT_NEAR(pixelsToTwips(sub->height(), dpi), 7500, 1440.0 / dpi);
    EXPECT_EQ(enabled(), u"login startRecording"_s);
    EXPECT_EQ(texts(f, {u"resultMessage"_s, u"statsMessage"_s, u"planMessage"_s, u"countLabel"_s}),
              QStringList(4, QString()));
    EXPECT_EQ(texts(f, {u"sqlHeading"_s, u"resultHeading"_s, u"statsHeading"_s, u"planHeading"_s}),
              (QStringList{u"SQL"_s, u"Query"_s, u"Stats"_s, u"Execution Plan"_s}));
    EXPECT_EQ(f->executeButton()->text(), u"実 行"_s);
    EXPECT_EQ((QStringList{f->statusPanel(1)->toolTip(), f->statusPanel(2)->toolTip(),
                           f->statusPanel(3)->toolTip()}),
              (QStringList{u"オラクル接続ステータス"_s, u"履歴ステータス"_s, u"履歴件数"_s}));
    EXPECT_GT(f->statusPanel(2)->width(), f->statusPanel(1)->width());
    EXPECT_EQ(appSettings().maxDisplayRows, 1000);
}

TEST_F(QueryWindowTest, ControlsStartWhereTheGeometryTableSays) {
    QueryWindow* f = frame.activeQueryWindow();
    const double dpi = f->logicalDpiY();
    const std::pair<QWidget*, TwipRect> cases[] = {
        {f->sqlEdit(), {120, 300, 8175, 1335}},
        {f->executeButton(), {6960, 1680, 1335, 315}},
        {f->resultGrid(), {120, 2100, 8175, 1455}},
        {f->statsGrid(), {120, 3840, 8175, 1095}},
        {f->planGrid(), {120, 5220, 8175, 1455}},
        // The resize rule gives bars 1 to 4 the window's outer width.
        {f->splitterBar(1), {0, 1620, 8550, 60}},
        {f->splitterBar(4), {120, 6720, 8550, 60}},
    };
    for (const auto& [w, want] : cases) {
        const QRect g = w->geometry();
        const int got[] = {g.x(), g.y(), g.width(), g.height()};
        const int expect[] = {want.left, want.top, want.width, want.height};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(pixelsToTwips(got[i], dpi), expect[i], 1440.0 / dpi)
                << w->objectName().toStdString() << " " << i;
    }
    EXPECT_EQ(f->splitterBar(2)->cursor().shape(), Qt::SizeVerCursor);
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
    EXPECT_EQ(items("fileMenu"),
              (QStringList{u"履歴開始(&S)"_s, u"履歴終了(&E)"_s, u"-"_s, u"終了(&X)"_s}));
    EXPECT_EQ(items("editMenu"),
              (QStringList{u"切り取り(&X)"_s, u"ｺﾋﾟｰ(&C)"_s, u"貼り付け(&V)"_s}));
    EXPECT_EQ(items("oracleMenu"), (QStringList{u"ログイン...(&L)"_s, u"ログアウト(&D)"_s}));
    EXPECT_EQ(items("optionsMenu"), QStringList{u"ｵﾌﾟｼｮﾝ設定...(&E)"_s});
    EXPECT_EQ(items("windowMenu").first(), u"新ウィンドウ(&N)"_s);
    EXPECT_EQ(items("sqlMenu"), (QStringList{u"次のSQL(&N)"_s, u"前のSQL(&B)"_s}));
    EXPECT_EQ(items("helpMenu"), QStringList{u"ﾊﾞｰｼﾞｮﾝ情報(&V)"_s});
    const QAction* edit = frame.findChild<QMenu*>(u"editMenu"_s)->menuAction();
    EXPECT_FALSE(edit->isVisible() || edit->isEnabled());
    EXPECT_EQ(frame.action(u"nextStatement"_s)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(frame.action(u"previousStatement"_s)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
}

TEST_F(QueryWindowTest, NewWindowsResetTheRowLimitAndAreListed) {
    appSettings().maxDisplayRows = 200;
    frame.action(u"newWindow"_s)->trigger();
    frame.openQueryWindow();
    EXPECT_EQ(appSettings().maxDisplayRows, 1000);
    EXPECT_EQ(frame.windowMenuEntries(),
              (QStringList{u"&1 未接続"_s, u"&2 未接続"_s, u"&3 未接続"_s}));
    QStringList checked;
    for (QAction* a : frame.findChild<QMenu*>(u"windowMenu"_s)->actions())
        if (a->isChecked())
            checked << a->text();
    EXPECT_EQ(checked, QStringList{u"&3 未接続"_s}) << "the current window is checked";
}

TEST_F(QueryWindowTest, QuitClosesOneWindowAndTheLastEndsTheProgramSavingSettings) {
    frame.openQueryWindow();
    appSettings().showPlan = false;
    frame.action(u"quit"_s)->trigger();
    EXPECT_EQ(frame.queryWindows().size(), 1);
    EXPECT_EQ(ends, 0) << "the program goes on while a window is open";
    EXPECT_EQ(stored("f_explan"), u"<missing>"_s) << "nothing saved yet";
    frame.action(u"quit"_s)->trigger();
    EXPECT_EQ(frame.queryWindows().size(), 0);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(stored("f_explan") + stored("i_maxdisprows") + stored("sqlhist_max"), u"010000"_s);
    EXPECT_FALSE(settingsLoaded());
}

TEST_F(QueryWindowTest, ClosingTheFrameClosesAllWindows) {
    frame.openQueryWindow();
    frame.close();
    EXPECT_TRUE(frame.queryWindows().isEmpty());
    EXPECT_EQ(ends, 1);
}

TEST_F(QueryWindowTest, RingCommandsFillTheSqlBoxWithTheCaretAtTheEnd) {
    statementRing().add(u"select 1 from dual"_s);
    statementRing().add(u"select 2\nfrom dual"_s);
    QPlainTextEdit* box = frame.activeQueryWindow()->sqlEdit();
    frame.action(u"nextStatement"_s)->trigger();
    EXPECT_EQ(box->toPlainText(), u"select 2\nfrom dual"_s);
    EXPECT_EQ(box->textCursor().position(), 18);
    EXPECT_FALSE(box->textCursor().hasSelection());
    frame.action(u"previousStatement"_s)->trigger();
    EXPECT_EQ(box->toPlainText(), u"select 1 from dual"_s);
}
