// The frame and its query windows as a user first meets them, and the frame's commands.
#include "core/history/statementring.h"
#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "core/window/programexit.h"
#include "core/window/twips.h"
#include "gui/gridview.h"
#include "gui/mainframe.h"
#include "gui/querywindow.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <QTest>
#include <QTextDocument>

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

    test::TempStore tmp;
    int ends = 0;
    MainFrame frame;
};

}  // namespace

TEST_F(QueryWindowTest, StartUpShowsOneUnconnectedWindowWithItsCaptionsAndEmptyLines) {
    ASSERT_EQ(frame.queryWindows().size(), 1);
    QueryWindow* f = frame.activeQueryWindow();
    QStringList texts{frame.windowTitle(), f->windowTitle(), f->executeButton()->text()};
    for (const char* name : {"sqlHeading", "resultHeading", "statsHeading", "planHeading",
                             "resultMessage", "statsMessage", "planMessage", "countLabel"})
        texts << f->findChild<QLabel*>(QString::fromLatin1(name))->text();
    for (int panel = 1; panel <= 3; ++panel)
        texts << f->statusPanel(panel)->toolTip();
    EXPECT_EQ(texts.join(u'|'),
              u"Quervin|未接続|実 行|SQL|Query|Stats|Execution Plan||||"
              u"|オラクル接続ステータス|履歴ステータス|履歴件数"_s);
    EXPECT_GT(f->statusPanel(2)->width(), f->statusPanel(1)->width());
    // Recording started and stopped: the panels go blank, their tooltips still name them.
    WindowState& st = f->model().state();
    st.setPanelToolTip(2, u"/tmp/<b>h</b>.db"_s);
    QTextDocument tip;
    tip.setHtml(f->statusPanel(2)->toolTip());
    EXPECT_EQ(tip.toPlainText(), u"履歴ステータス\n/tmp/<b>h</b>.db"_s) << "shown as it is";
    st.setPanelText(2, QString());
    st.setPanelToolTip(2, QString());
    st.setPanelText(3, QString());
    EXPECT_EQ(f->statusPanel(2)->toolTip() + f->statusPanel(3)->toolTip(),
              u"履歴ステータス履歴件数"_s);
    QString enabled;
    for (const char* name : {"login", "logout", "startRecording", "stopRecording"})
        if (frame.action(QString::fromLatin1(name))->isEnabled())
            enabled += QString::fromLatin1(name) + u' ';
    EXPECT_EQ(enabled, u"login startRecording "_s);
}

TEST_F(QueryWindowTest, WindowAndControlsStartWhereTheGeometryTableSays) {
    QueryWindow* f = frame.activeQueryWindow();
    const auto px = [dpi = f->logicalDpiY()](int twips) { return twipsToPixels(twips, dpi); };
    EXPECT_EQ(f->parentWidget()->size(), QSize(px(8550), px(7500)));
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
    for (const auto& [w, t] : cases)
        EXPECT_EQ(w->geometry(), QRect(px(t.left), px(t.top), px(t.width), px(t.height)))
            << w->objectName().toStdString();
}

// The edit menu exists for its shortcuts only; a user never sees it.
TEST_F(QueryWindowTest, MenuBarReadsExactlyAsDesigned) {
    QStringList menus;
    for (QAction* m : frame.menuBar()->actions()) {
        QStringList items;
        for (QAction* a : m->menu()->actions())
            items << (a->isSeparator()          ? u"-"_s
                      : a->shortcut().isEmpty() ? a->text()
                                                : a->text() + u' ' + a->shortcut().toString());
        if (m->isVisible())
            menus << m->text() + u": "_s + items.join(u'|');
    }
    EXPECT_EQ(menus,
              (QStringList{u"ﾌｧｲﾙ(&F): 開く...(&O) Ctrl+O|上書き保存(&W) Ctrl+S|"
                           u"名前を付けて保存...(&A)|最近使ったファイル(&R)|-|"
                           u"履歴開始(&S)|履歴終了(&E)|履歴の比較(&C)...|-|終了(&X)"_s,
                           u"ｵﾗｸﾙ(&C): ログイン...(&L)|ログアウト(&D)"_s,
                           u"ｵﾌﾟｼｮﾝ(&O): ｵﾌﾟｼｮﾝ設定...(&E)|実行統計を取得(&A)"_s,
                           u"ｳｨﾝﾄﾞｳ(&W): 新ウィンドウ(&N)|重ねて表示(&C)|並べて表示(&T)|"
                           u"アイコンの整列(&A)|-"_s,
                           u"SQL(&S): 次のSQL(&N) Ctrl+N|前のSQL(&B) Ctrl+B"_s,
                           u"ﾍﾙﾌﾟ(&H): ﾊﾞｰｼﾞｮﾝ情報(&V)"_s}));
    const QAction* edit = frame.findChild<QMenu*>(u"editMenu"_s)->menuAction();
    EXPECT_FALSE(edit->isVisible() || edit->isEnabled());
    // The actual figures of each plan line are the program's option, on until turned off.
    QAction* actuals = frame.action(u"collectActuals"_s);
    ASSERT_TRUE(appSettings().collectActuals && actuals->isCheckable());
    actuals->trigger();
    EXPECT_FALSE(appSettings().collectActuals);
    Q_EMIT frame.findChild<QMenu*>(u"optionsMenu"_s)->aboutToShow();
    EXPECT_FALSE(actuals->isChecked());
}

TEST_F(QueryWindowTest, NewWindowsAreListedQuitClosesOneAndTheFrameEndsTheProgramSavingSettings) {
    appSettings().maxDisplayRows = 200;
    frame.action(u"newWindow"_s)->trigger();
    EXPECT_EQ(appSettings().maxDisplayRows, 1000) << "a new window resets the row limit";
    frame.openQueryWindow();
    EXPECT_EQ(frame.windowMenuEntries(),
              (QStringList{u"&1 未接続"_s, u"&2 未接続"_s, u"&3 未接続"_s}));
    QStringList checked;
    for (QAction* a : frame.findChild<QMenu*>(u"windowMenu"_s)->actions())
        if (a->isChecked())
            checked << a->text();
    EXPECT_EQ(checked, QStringList{u"&3 未接続"_s}) << "the current window is checked";

    appSettings().showPlan = false;
    frame.action(u"quit"_s)->trigger();
    QString stored = u"<missing>"_s;
    settingsStore().read(u"f_explan"_s, stored);
    EXPECT_EQ(std::tuple(frame.queryWindows().size(), ends, stored),
              std::tuple(qsizetype(2), 0, u"<missing>"_s))
        << "quit closes the current window only";
    frame.close();
    settingsStore().read(u"f_explan"_s, stored);
    EXPECT_EQ(std::tuple(frame.queryWindows().size(), ends, stored, settingsLoaded()),
              std::tuple(qsizetype(0), 1, u"0"_s, false))
        << "closing the frame closes every window, then the program ends saving the settings";
}

// New windows cascade from the current one, each wholly visible and current; the frame opens
// again where and as large as it was left.
TEST_F(QueryWindowTest, NewWindowsCascadeInsideTheAreaAndTheFrameKeepsItsGeometry) {
    // Nothing stored yet: the frame opens in the middle of the screen.
    const QPoint middle = frame.screen()->availableGeometry().center();
    EXPECT_LE((frame.frameGeometry().center() - middle).manhattanLength(), 16);
    QMdiArea* area = frame.findChild<QMdiArea*>();
    QList<QPoint> at{frame.activeQueryWindow()->parentWidget()->pos()};
    for (int i = 2; i <= 10; ++i) {
        auto* sub = qobject_cast<QMdiSubWindow*>(frame.openQueryWindow()->parentWidget());
        EXPECT_EQ(area->activeSubWindow(), sub);
        EXPECT_TRUE(area->viewport()->rect().contains(sub->geometry())) << i;
        EXPECT_TRUE(sub->pos() == QPoint(0, 0) || sub->pos().x() > at.last().x()) << i;
        at << sub->pos();
    }
    EXPECT_NE(at[2], at[0]) << "the third window does not hide the first";
    // Arrange Icons lines the minimised windows up along the bottom edge again.
    const QList<QMdiSubWindow*> subs = area->subWindowList();
    subs[0]->showMinimized();
    subs[1]->showMinimized();
    subs[1]->move(100, 50);
    frame.action(u"arrangeIcons"_s)->trigger();
    const int bottom = area->viewport()->rect().bottom();
    EXPECT_EQ(std::tuple(subs[0]->geometry().bottom(), subs[1]->geometry().bottom(),
                         subs[1]->x() - subs[0]->x()),
              std::tuple(bottom, bottom, subs[0]->width()));
    frame.resize(760, 540);
    const QSize left = frame.size();
    frame.close();
    MainFrame again;
    EXPECT_EQ(again.size(), left);
    setProgramEndHandler(nullptr);
}

TEST_F(QueryWindowTest, RingCommandsFillTheSqlBoxWithTheCaretAtTheEndAsOneUndoableEdit) {
    statementRing().add(u"select 1 from dual"_s);
    statementRing().add(u"select 2\nfrom dual"_s);
    QPlainTextEdit* box = frame.activeQueryWindow()->sqlEdit();
    QTest::keyClicks(box, u"a long statement typed"_s);
    frame.action(u"nextStatement"_s)->trigger();
    box->undo();
    EXPECT_EQ(box->toPlainText(), u"a long statement typed"_s) << "Ctrl+Z brings it back";
    box->redo();
    EXPECT_EQ(box->toPlainText(), u"select 2\nfrom dual"_s);
    EXPECT_EQ(std::pair(box->textCursor().position(), box->textCursor().hasSelection()),
              std::pair(18, false));
    frame.action(u"previousStatement"_s)->trigger();
    EXPECT_EQ(box->toPlainText(), u"select 1 from dual"_s);
}

// While a window's login waits for the driver, the frame takes commands and Esc in the window
// gives the login up.
TEST_F(QueryWindowTest, EscGivesUpALoginWhileTheFrameStaysUsable) {
    QueryWindow* w = frame.activeQueryWindow();
    auto gate = std::make_shared<QSemaphore>();
    w->model().connection().setOpener(
        [gate](const QString&, const QString&, const QString&) -> std::unique_ptr<Database> {
            gate->tryAcquire(1, 10'000);
            throw DbError(kErrOdbcCall, u"too late"_s);
        });
    w->model().connection().setLogin({u"ORCL"_s, u"scott"_s, QString()});
    w->model().connection().connectToService();
    EXPECT_EQ(w->statusPanel(1)->text(), u"接続中...scott@ORCL"_s);
    frame.action(u"newWindow"_s)->trigger();
    EXPECT_EQ(frame.queryWindows().size(), 2);
    QTest::keyClick(w->sqlEdit(), Qt::Key_Escape);
    EXPECT_FALSE(w->model().isConnecting());
    EXPECT_EQ(w->statusPanel(1)->text(), kMsgConnectAbandoned);
    EXPECT_TRUE(w->model().state().menuEnabled(WindowState::Menu::Login));
    gate->release(2);
}
