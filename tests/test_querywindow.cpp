// The frame and its query windows as a user first meets them, and the frame's commands.
#include "core/history/statementring.h"
#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "core/tuning/actualsstep.h"
#include "core/tuning/planfigures.h"
#include "core/tuning/planstep.h"
#include "core/window/twips.h"
#include "gui/gridview.h"
#include "gui/mainframe.h"
#include "gui/passwordprompt.h"
#include "gui/querywindow.h"
#include "gui/whatifdialog.h"
#include "support/modalanswerer.h"
#include "support/scripteddb.h"
#include "support/tempprogram.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

class QueryWindowTest : public ::testing::Test {
  protected:
    QueryWindowTest() { frame.show(); }

    test::TempProgram tmp;
    MainFrame frame{tmp.program()};
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
    EXPECT_EQ(
        menus,
        (QStringList{u"ﾌｧｲﾙ(&F): 開く...(&O) Ctrl+O|上書き保存(&W) Ctrl+S|"
                     u"名前を付けて保存...(&A)|スクリプトの実行...(&P)|最近使ったファイル(&R)|-|"
                     u"履歴開始(&S)|履歴終了(&E)|履歴の比較(&C)...|-|終了(&X)"_s,
                     u"ｵﾗｸﾙ(&C): ログイン...(&L)|ログアウト(&D)|-|コミット(&M)|ロールバック(&R)|-|"
                     u"索引を試す...(&I)"_s,
                     u"ｵﾌﾟｼｮﾝ(&O): ｵﾌﾟｼｮﾝ設定...(&E)|SQLフォント...(&F)|実行統計を取得(&A)|"
                     u"自動コミット(&C)|実行後にロールバック(&U)"_s,
                     u"ｳｨﾝﾄﾞｳ(&W): 新ウィンドウ(&N)|同じ接続で新ウィンドウ(&S) Ctrl+Shift+N|"
                     u"重ねて表示(&C)|並べて表示(&T)|アイコンの整列(&A)|すべて閉じる(&L)|-"_s,
                     u"SQL(&S): 次のSQL(&N) Ctrl+N|前のSQL(&B) Ctrl+B|SQL履歴の消去...(&D)|-|"
                     u"検索...(&F) Ctrl+F|"
                     u"置換...(&H) Ctrl+H|次を検索 F3|前を検索 Shift+F3|-|"
                     u"整形(&L) Ctrl+Shift+F|補完(&C) Ctrl+Space"_s,
                     u"ﾍﾙﾌﾟ(&H): ﾊﾞｰｼﾞｮﾝ情報(&V)"_s}));
    // Ctrl+Space switches the input method on many Japanese desktops.
    EXPECT_EQ(frame.action(u"completeSql"_s)->shortcuts().value(1), QKeySequence(u"Ctrl+J"_s));
    const QAction* edit = frame.findChild<QMenu*>(u"editMenu"_s)->menuAction();
    EXPECT_FALSE(edit->isVisible() || edit->isEnabled());
    // The actual figures of each plan line are the program's option, on until turned off.
    QAction* actuals = frame.action(u"collectActuals"_s);
    ASSERT_TRUE(tmp.settings().collectActuals() && actuals->isCheckable());
    actuals->trigger();
    EXPECT_FALSE(tmp.settings().collectActuals());
    Q_EMIT frame.findChild<QMenu*>(u"optionsMenu"_s)->aboutToShow();
    EXPECT_FALSE(actuals->isChecked());
}

TEST_F(QueryWindowTest, NewWindowsAreListedQuitClosesOneAndTheFrameEndsTheProgramSavingSettings) {
    tmp.settings().set(&Settings::maxDisplayRows, 200);
    frame.action(u"newWindow"_s)->trigger();
    EXPECT_EQ(tmp.settings().maxDisplayRows(), 1000) << "a new window resets the row limit";
    frame.openQueryWindow();
    EXPECT_EQ(frame.windowMenuEntries(),
              (QStringList{u"&1 未接続"_s, u"&2 未接続"_s, u"&3 未接続"_s}));
    QStringList checked;
    for (QAction* a : frame.findChild<QMenu*>(u"windowMenu"_s)->actions())
        if (a->isChecked())
            checked << a->text();
    EXPECT_EQ(checked, QStringList{u"&3 未接続"_s}) << "the current window is checked";

    tmp.settings().set(&Settings::showPlan, false);
    frame.action(u"quit"_s)->trigger();
    QString stored = u"<missing>"_s;
    tmp.store().read(u"f_explan"_s, stored);
    EXPECT_EQ(std::tuple(frame.queryWindows().size(), tmp.ends(), stored),
              std::tuple(qsizetype(2), 0, u"<missing>"_s))
        << "quit closes the current window only";
    frame.close();
    tmp.store().read(u"f_explan"_s, stored);
    EXPECT_EQ(std::tuple(frame.queryWindows().size(), tmp.ends(), stored),
              std::tuple(qsizetype(0), 1, u"0"_s))
        << "closing the frame closes every window, then the program ends saving the settings";
}

// New windows cascade from the current one, each wholly visible and current; the frame opens
// again where and as large as it was left.
TEST_F(QueryWindowTest, NewWindowsCascadeInsideTheAreaAndTheFrameKeepsItsGeometry) {
    // Nothing stored yet: the frame opens in the middle of the screen.
    const QPoint middle = frame.screen()->availableGeometry().center();
    EXPECT_LE((frame.frameGeometry().center() - middle).manhattanLength(), 16);
    // Room for a window a step down: a window keeps three plan rows, so it cannot give up
    // the height the frame's first size lacks.
    frame.resize(frame.size() + QSize(0, 40));
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
    ProgramState restarted(tmp.openStore());
    restarted.setEndHandler(nullptr);
    MainFrame again(restarted);
    EXPECT_EQ(again.size(), left);
}

// Maximised windows and the bind values used open the next start as they were left.
TEST_F(QueryWindowTest, MaximisedWindowsAndBindValuesOutliveTheProgram) {
    auto restart = [&] {
        auto next = std::make_unique<ProgramState>(tmp.openStore());
        next->setEndHandler(nullptr);
        return next;
    };
    frame.activeQueryWindow()->parentWidget()->showMaximized();
    tmp.program().bindMemory().remember(
        {{u"id"_s, BindType::Number, u"7"_s}, {u"d"_s, BindType::Date, u"2024-01-02"_s}});
    frame.close();
    auto next = restart();
    next->bindMemory().remember({{u"ID"_s, BindType::Number, u"8"_s}});
    EXPECT_EQ(next->bindMemory().recall({u"Id"_s, u"d"_s, u"x"_s}),
              (BindList{{u"Id"_s, BindType::Number, u"8"_s},
                        {u"d"_s, BindType::Date, u"2024-01-02"_s},
                        {u"x"_s, BindType::Varchar2, QString()}}));
    {
        MainFrame again(*next);
        QWidget* sub = again.activeQueryWindow()->parentWidget();
        EXPECT_TRUE(sub->isMaximized());
        sub->showNormal();
    }
    EXPECT_EQ(restart()->bindMemory().recall({u"id"_s}).first().value, u"8"_s);
    auto third = restart();
    MainFrame thirdFrame(*third);
    EXPECT_FALSE(thirdFrame.activeQueryWindow()->parentWidget()->isMaximized());
}

TEST_F(QueryWindowTest, RingCommandsFillTheSqlBoxWithTheCaretAtTheEndAsOneUndoableEdit) {
    tmp.program().statementRing().add(u"select 1 from dual"_s);
    tmp.program().statementRing().add(u"select 2\nfrom dual"_s);
    SqlEditor* box = frame.activeQueryWindow()->sqlEdit();
    QTest::keyClicks(box, u"a long statement typed"_s);
    frame.action(u"nextStatement"_s)->trigger();
    box->undo();
    EXPECT_EQ(box->text(), u"a long statement typed"_s) << "Ctrl+Z brings it back";
    box->redo();
    EXPECT_EQ(box->text(), u"select 2\nfrom dual"_s);
    EXPECT_EQ(std::pair(box->caretOffset(), box->hasSelectedText()),
              std::pair(qsizetype(18), false));
    frame.action(u"previousStatement"_s)->trigger();
    EXPECT_EQ(box->text(), u"select 1 from dual"_s);

    // SQL履歴の消去 asks first, with No under Enter; a Yes empties the ring.
    test::ModalAnswerer answers({QMessageBox::No, QMessageBox::Yes});
    frame.action(u"clearStatementRing"_s)->trigger();
    EXPECT_EQ(tmp.program().statementRing().statement(1), u"select 2\nfrom dual"_s);
    EXPECT_EQ(answers.presets.value(0), QMessageBox::No);
    frame.action(u"clearStatementRing"_s)->trigger();
    EXPECT_EQ(answers.seen.size(), 2);
    EXPECT_EQ(tmp.program().statementRing().highestSlot(), 0);
    frame.action(u"nextStatement"_s)->trigger();
    EXPECT_EQ(box->text(), QString());
}

// While a window's login waits for the driver, the frame takes commands; F5 and Ctrl+Enter
// press 実 行 (which then does nothing) and Esc gives the login up from any control.
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
    QSignalSpy presses(w->executeButton(), &QPushButton::clicked);
    QTest::keyClick(w->statsGrid(), Qt::Key_F5);
    QTest::keyClick(w->planGrid(), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(w->executeButton(), Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    QTest::keyClick(w->resultGrid(), Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_EQ(presses.size(), 3);
    frame.action(u"newWindow"_s)->trigger();
    EXPECT_EQ(frame.queryWindows().size(), 2);
    QTest::keyClick(w->resultGrid(), Qt::Key_Escape);
    EXPECT_FALSE(w->model().isConnecting());
    EXPECT_EQ(w->statusPanel(1)->text(), kMsgConnectAbandoned);
    EXPECT_TRUE(w->model().state().menuEnabled(WindowState::Menu::Login));
    gate->release(2);
}

// Cascade keeps every window's size, one title bar apart, all inside the area, with the window
// in use on top.
TEST_F(QueryWindowTest, CascadeKeepsEachWindowsSizeInsideTheArea) {
    QMdiArea* area = frame.mdiArea();
    frame.resize(1600, 1000);
    for (int n = 2; n <= 10; ++n) {
        frame.openQueryWindow();
        const QList<QMdiSubWindow*> subs = area->subWindowList();
        QList<QSize> sizes;
        QSet<std::pair<int, int>> places;
        for (int i = 0; i < n; ++i) {
            subs[i]->resize(subs[i]->minimumSize() + QSize(7 * i, 5 * (n - i)));
            sizes << subs[i]->size();
        }
        area->setActiveSubWindow(subs[n / 2]);
        frame.action(u"cascadeWindows"_s)->trigger();
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(subs[i]->size(), sizes[i]) << n << ' ' << i;
            EXPECT_TRUE(area->viewport()->rect().contains(subs[i]->geometry())) << n << ' ' << i;
            places.insert({subs[i]->x(), subs[i]->y()});
        }
        EXPECT_EQ(places.size(), n) << "no window hides another";
        EXPECT_EQ(area->activeSubWindow(), subs[n / 2]);
        EXPECT_EQ(area->subWindowList(QMdiArea::StackingOrder).last(), subs[n / 2]);
    }
}

// Tab goes SQL box, button, result, statistics and plan grids and round again.
TEST_F(QueryWindowTest, TabReachesEveryGridAndTheButtonInTheirOrderOnTheScreen) {
    QueryWindow* w = frame.activeQueryWindow();
    for (GridModel* g : {&w->model().resultGrid(), &w->model().statsGrid(), &w->model().planGrid()})
        g->setVisible(true);
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    w->sqlEdit()->setFocus();
    QStringList order;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(order, (QStringList{u"executeButton"_s, u"resultGrid"_s, u"statsGrid"_s,
                                  u"planGrid"_s, u"sqlEdit"_s}));
}

// Ctrl+Shift+N: a new window logged in as the current one, through its driver, after asking
// only the password; cancelled, no window opens.
TEST_F(QueryWindowTest, ANewWindowOnTheSameLoginAsksOnlyThePassword) {
    QAction* same = frame.action(u"newLoggedInWindow"_s);
    EXPECT_FALSE(same->isEnabled()) << "nothing to copy before a login";
    QueryWindow* first = frame.activeQueryWindow();
    auto script = std::make_shared<test::Script>();
    first->model().connection().setOpener([script](const QString&, const QString&, const QString&) {
        return std::make_unique<test::ScriptedDatabase>(u"Q"_s, script);
    });
    tmp.settings().set(&Settings::odbcDriver, u"Driver A"_s);
    first->model().connection().setLogin({u"ORCL"_s, u"scott"_s, u"tiger"_s});
    first->model().connection().connectToService();
    ASSERT_TRUE(first->model().connection().waitForAttempt(10'000));
    ASSERT_TRUE(same->isEnabled());
    tmp.settings().set(&Settings::odbcDriver,
                       u"Driver B"_s);  // changed since: the copy keeps the first's

    auto answer = [](const QString& password) {
        QTimer::singleShot(0, [password] {
            auto* prompt = qobject_cast<PasswordPrompt*>(QApplication::activeModalWidget());
            ASSERT_TRUE(prompt);
            EXPECT_EQ(prompt->focusWidget(), prompt->passwordEdit());
            if (password.isNull()) {
                prompt->reject();
                return;
            }
            QTest::keyClicks(prompt->passwordEdit(), password);
            prompt->connectButton()->click();
        });
    };
    answer(QString());
    EXPECT_EQ(frame.openLoggedInWindow(), nullptr);
    EXPECT_EQ(frame.queryWindows().size(), 1);

    // No driver is installed here: the new window's login fails and its box is answered.
    test::ModalAnswerer boxes;
    answer(u"s;cret"_s);
    QueryWindow* second = frame.openLoggedInWindow();
    ASSERT_TRUE(second);
    ConnectionService& c = second->model().connection();
    QSignalSpy ended(&c, &ConnectionService::attemptEnded);
    ASSERT_TRUE(c.isConnecting() && ended.wait(10'000));
    EXPECT_EQ((QStringList{c.login().service, c.login().user, c.login().password, c.driver()}),
              (QStringList{u"ORCL"_s, u"scott"_s, u"s;cret"_s, u"Driver A"_s}));
    EXPECT_EQ(frame.activeQueryWindow(), second);
    tmp.settings().set(&Settings::odbcDriver, QString());
}

// A cross join's figures are too wide for the plan grid's narrow columns: each is shown in the
// longest DBMS_XPLAN form that fits, exact in its tooltip and in Ctrl+C's text; widths set by
// hand last while the columns stay the same.
TEST_F(QueryWindowTest, PlanFiguresFitTheirColumnsAndHandSetWidthsLastForTheSameColumns) {
    QueryWindow* w = frame.activeQueryWindow();
    GridView* view = w->planGrid();
    PlanLine join;
    join.operation = u"MERGE JOIN"_s;
    join.options = u"CARTESIAN"_s;
    join.cardinality = qlonglong(122600820);
    join.cost = qlonglong(122601);
    join.bytes = qlonglong(62336);
    PlanLine index = join;
    index.depth = 1;
    index.operation = u"INDEX"_s;
    index.options = u"RANGE SCAN"_s;
    index.objectOwner = u"SCOTT"_s;
    index.objectName = u"IX_ORDERS_CUSTOMER_<ID>"_s;
    index.cardinality = qlonglong(7);
    index.cost = QVariant();
    auto fill = [&](QList<PlanLine> lines) {
        fillPlanGrid(lines, w->model().planGrid());
        view->tableModel()->refresh();
    };
    fill({join, index});
    auto shown = [&](int row, int col) { return view->shownText(view->model()->index(row, col)); };
    // Each figure shows the longest of its forms that fits its column (the shortest when none
    // does), whatever the font.
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    auto fits = [&](int row, int col) {
        const QModelIndex i = view->model()->index(row, col);
        const QStringList forms =
            shortFigureForms(i.data().toString(), *planFigureScale(kPlanHeadings[col]));
        const qsizetype k = forms.indexOf(shown(row, col));
        // The style's text room, less the pixel kept for a last digit's bearing.
        const int room = view->visualRect(i).width() - 2 * margin - 1;
        const QFontMetrics metrics(view->font());
        auto whole = [&](const QString& form) {
            return metrics.horizontalAdvance(form) <= room &&
                   metrics.elidedText(form, Qt::ElideRight, room) == form;
        };
        return k >= 0 && (whole(forms[k]) || k == forms.size() - 1) &&
               (k == 0 || !whole(forms[k - 1]));
    };
    for (int col = 1; col <= 3; ++col)
        EXPECT_TRUE(fits(0, col) && fits(1, col)) << col;
    EXPECT_EQ(QStringList({shown(1, 1), shown(1, 2)}), QStringList({u"7"_s, QString()}));
    const QString tip = view->model()->index(1, 0).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(u"IX_ORDERS_CUSTOMER_&lt;ID&gt;"_s)) << tip.toStdString();
    EXPECT_TRUE(view->model()->index(0, 3).data(Qt::ToolTipRole).toString().contains(u"62336"_s));
    EXPECT_TRUE(w->model().planCopyText().startsWith(
        u"1\tMERGE JOIN CARTESIAN\t(cardinarity=122600820 cost=122601 byte=62336)\r\n"_s));

    // A cut operation is whole in its tooltip; a double-click on the divider fits the column.
    // A narrow operation column cuts the operation's words and keeps the object it names.
    QHeaderView* header = view->horizontalHeader();
    const QModelIndex operation = view->model()->index(1, 0);
    const QString object = u" (SCOTT.IX_ORDERS_CUSTOMER_<ID>)"_s;
    header->resizeSection(0, QFontMetrics(view->font()).horizontalAdvance(object) + 60);
    EXPECT_TRUE(shown(1, 0).endsWith(object) && shown(1, 0).startsWith(u" IN"_s) &&
                shown(1, 0).contains(u"…"_s))
        << shown(1, 0).toStdString();
    header->resizeSection(0, 60);
    EXPECT_TRUE(view->isCut(operation) && !view->isCut(view->model()->index(1, 1)));
    const int edge = header->sectionViewportPosition(0) + header->sectionSize(0) - 1;
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(edge, header->height() / 2));
    EXPECT_FALSE(view->isCut(operation)) << header->sectionSize(0);

    // Narrowed and widened by hand: the next plan with the same columns keeps both widths.
    const int cost = header->sectionSize(2);
    header->resizeSection(1, QFontMetrics(view->font()).horizontalAdvance(u"0000"_s) + 2 * margin);
    header->resizeSection(3, 200);
    fill({join});
    EXPECT_EQ(
        std::tuple(header->sectionSize(1) < 60, header->sectionSize(2), header->sectionSize(3)),
        std::tuple(true, cost, 200));
    EXPECT_TRUE(fits(0, 1));
    EXPECT_EQ(QStringList({shown(0, 1), shown(0, 3)}), QStringList({u"123M"_s, u"62336"_s}));

    // Other columns bring the grid's own widths back, and those stay when the columns return.
    join.actuals = PlanLineActuals{1, 5, 9, 0, 10};
    fill({join});
    EXPECT_NE(header->sectionSize(3), 200);
    join.actuals.reset();
    fill({join});
    EXPECT_NE(header->sectionSize(3), 200);
}

// Manual commit as a user meets it: the mode beside the panels, コミット and ロールバック only
// while changes wait, and a window that closes with changes asks what becomes of them.
TEST_F(QueryWindowTest, PendingChangesShowInTheModeAndAreDecidedBeforeTheWindowCloses) {
    QueryWindow* w = frame.activeQueryWindow();
    EXPECT_EQ(w->commitModeLabel()->text(), kModeAutoCommit);
    auto script = std::make_shared<test::Script>();
    int opened = 0;
    w->model().connection().setOpener([script, &opened](const QString&, const QString&,
                                                        const QString&) {
        return std::make_unique<test::ScriptedDatabase>(opened++ == 0 ? u"Q"_s : u"S"_s, script);
    });
    w->model().connection().setLogin({u"ORCL"_s, u"scott"_s, u"tiger"_s});
    w->model().connection().connectToService();
    ASSERT_TRUE(w->model().connection().waitForAttempt(10'000));
    frame.action(u"autoCommit"_s)->setChecked(false);
    EXPECT_EQ(w->commitModeLabel()->text(), kModeManualCommit);
    QAction* commit = frame.action(u"commit"_s);
    QAction* rollback = frame.action(u"rollback"_s);
    auto runUpdate = [&] {
        w->setSqlText(u"update emp set sal = 0"_s);
        w->model().execute();
        ASSERT_TRUE(w->model().waitForRun(10'000));
    };
    runUpdate();
    EXPECT_EQ(w->commitModeLabel()->text(), kModePending);
    EXPECT_TRUE(commit->isEnabled() && rollback->isEnabled());
    rollback->trigger();
    EXPECT_EQ(script->log.filter(u"["_s),
              QStringList({u"Q: [autocommit off]"_s, u"Q: [rollback]"_s}));
    EXPECT_EQ(w->commitModeLabel()->text(), kModeManualCommit);
    EXPECT_FALSE(commit->isEnabled() || rollback->isEnabled());
    // Turning auto-commit back on asks first; キャンセル keeps manual commit and the change.
    runUpdate();
    {
        test::ModalAnswerer boxes({QMessageBox::Cancel});
        frame.action(u"autoCommit"_s)->setChecked(true);
        EXPECT_EQ(boxes.seen.size(), 1);
    }
    EXPECT_FALSE(tmp.settings().autoCommit());
    EXPECT_EQ(w->commitModeLabel()->text(), kModePending);
    test::ModalAnswerer boxes({QMessageBox::Yes});
    w->parentWidget()->close();
    EXPECT_EQ(boxes.seen, QStringList{kAppTitle + u'|' + kMsgCommitPending});
    EXPECT_EQ(script->log.filter(u"["_s).last(), u"Q: [commit]"_s);
    EXPECT_TRUE(frame.queryWindows().isEmpty());
}

// What a run could not do is told beside the status bar's panels and in the first plan line's
// tooltip; the panels and the plan's line keep their own texts. The next run starts without it.
TEST_F(QueryWindowTest, RunNotesShowBesideThePanelsAndInThePlansFirstLine) {
    QueryWindow* w = frame.activeQueryWindow();
    test::TestRunWindow scripted;  // its script answers the session's id as 42
    scripted.scriptSession(u"42"_s, {});
    auto script = scripted.script;
    script->onText(planQueryStatement(tmp.settings().planTable()),
                   test::planRows({{0, u"SELECT STATEMENT"_s},
                                   {1, u"TABLE ACCESS"_s, u"FULL"_s, u"SCOTT"_s, u"EMP"_s}}));
    script->onText(previousStatementQuery(u"42"_s),
                   test::Reply::fail(u"ORA-00942: table or view does not exist"_s));
    w->model().connection().setOpener([script](const QString&, const QString&, const QString&) {
        return std::make_unique<test::ScriptedDatabase>(u"Q"_s, script);
    });
    w->model().connection().setLogin({u"ORCL"_s, u"scott"_s, u"tiger"_s});
    w->model().connection().connectToService();
    ASSERT_TRUE(w->model().connection().waitForAttempt(10'000));
    const QString panels = w->statusPanel(1)->text() + w->statusPanel(2)->text();
    w->setSqlText(u"select * from emp"_s);
    w->model().execute();
    ASSERT_TRUE(w->model().waitForRun(10'000));
    EXPECT_EQ(w->noteLabel()->text(), kMsgNoActualsViews);
    EXPECT_TRUE(w->statusPanel(1)->isVisible() && w->statusPanel(2)->isVisible());
    EXPECT_EQ(w->statusPanel(1)->text() + w->statusPanel(2)->text(), panels);
    EXPECT_EQ(w->model().state().line(WindowState::Line::Plan), QString());
    EXPECT_TRUE(w->model().planGrid().rowToolTip(1).startsWith(kMsgNoActualsViews));
    script->onText(previousStatementQuery(u"42"_s), test::Reply::table({u"X"_s}, {}));
    w->model().execute();
    ASSERT_TRUE(w->model().waitForRun(10'000));
    EXPECT_FALSE(w->noteLabel()->text().contains(kMsgNoActualsViews)) << "the next run starts anew";
}

// 索引を試す on an Oracle server: leftovers looked for at login, the candidate from the plan, the
// what-if plan beside the current one with its changed lines marked, the clustering assumption
// sent, and nothing left behind when the dialog closes.
TEST_F(QueryWindowTest, TryIndexesShowsTheWhatIfPlanBesideTheCurrentOne) {
    QueryWindow* w = frame.activeQueryWindow();
    auto script = std::make_shared<test::Script>();
    auto on = std::make_shared<bool>(false);
    test::Reply set;
    set.whenAnswered = [on] { *on = true; };
    script->on(u"ALTER SESSION SET \"_use_nosegment_indexes\" = TRUE"_s, set);
    test::Reply reset;
    reset.whenAnswered = [on] { *on = false; };
    script->on(u"ALTER SESSION SET \"_use_nosegment_indexes\" = FALSE"_s, reset);
    const test::Reply current =
        test::planRows({{0, u"SELECT STATEMENT"_s, {}, {}, {}, {}, 80, 1104},
                        {1, u"TABLE ACCESS"_s, u"FULL"_s, u"SCOTT"_s, u"EMP"_s, {}, 80, 1104}});
    const test::Reply indexed = test::planRows(
        {{0, u"SELECT STATEMENT"_s, {}, {}, {}, {}, 80, 300},
         {1, u"TABLE ACCESS"_s, u"BY INDEX ROWID"_s, u"SCOTT"_s, u"EMP"_s, {}, 80, 300},
         {2, u"INDEX"_s, u"RANGE SCAN"_s, u"SCOTT"_s, u"QVWI_42_7_1"_s, {}, 80, 2}});
    test::Reply plan = current;
    plan.rowsNow = [on, current, indexed] { return *on ? indexed.rows : current.rows; };
    script->on(u"SELECT id,timestamp.*'QUERVIN_WI'.*"_s, plan);
    script->on(u"SELECT ID, ACCESS_PREDICATES.*"_s,
               test::Reply::table({u"ID"_s, u"ACCESS_PREDICATES"_s, u"FILTER_PREDICATES"_s},
                                  {{1, QVariant(), u"\"DEPTNO\"=10"_s}}));
    script->onText(kOwnSessionQuery, test::Reply::table({u"SID"_s, u"SERIAL#"_s}, {{42, 7}}));
    script->on(u"SELECT NUM_ROWS, BLOCKS FROM USER_TABLES.*"_s,
               test::Reply::table({u"NUM_ROWS"_s, u"BLOCKS"_s}, {{1000, 40}}));
    w->model().connection().setOpener([script](const QString&, const QString&, const QString&) {
        return std::make_unique<test::ScriptedDatabase>(u"Q"_s, script);
    });
    w->model().connection().setLogin({u"ORCL"_s, u"scott"_s, u"tiger"_s});
    w->model().connection().connectToService();
    ASSERT_TRUE(w->model().connection().waitForAttempt(10'000));
    EXPECT_TRUE(script->log.contains(u"Q: "_s + kLeftoversQuery));
    EXPECT_TRUE(frame.action(u"tryIndexes"_s)->isEnabled());
    w->setSqlText(u"select * from emp where deptno = 10"_s);

    const int planRows = w->model().planGrid().rows();
    WhatIfDialog dialog(w->whatIf(), w);
    ASSERT_EQ(dialog.candidateTable()->rowCount(), 1);
    EXPECT_EQ(dialog.candidateTable()->item(0, 0)->text(),
              u"CREATE INDEX IX_EMP_DEPTNO ON SCOTT.EMP (DEPTNO)"_s);
    {
        test::ModalAnswerer boxes({QMessageBox::Yes});
        dialog.tryButton()->click();
        EXPECT_EQ(boxes.seen, QStringList{kAppTitle + u'|' + kMsgWhatIfDdl});
    }
    EXPECT_EQ(dialog.costLabel()->text(), u"コスト: 1104 → 300"_s);
    QStringList marks;
    for (int r = 0; r < dialog.whatIfPlan()->rowCount(); ++r)
        marks << dialog.whatIfPlan()->item(r, 0)->text() + dialog.whatIfPlan()->item(r, 1)->text();
    EXPECT_EQ(marks,
              (QStringList{u"~SELECT STATEMENT"_s, u"≠ TABLE ACCESS BY INDEX ROWID (SCOTT.EMP)"_s,
                           u"+  INDEX RANGE SCAN (SCOTT.QVWI_42_7_1)"_s}));
    EXPECT_TRUE(script->log.filter(u"SET_INDEX_STATS"_s).last().contains(u"clstfct => 40,"_s));
    dialog.clusteringBox()->setCurrentIndex(1);
    dialog.tryButton()->click();
    EXPECT_TRUE(script->log.filter(u"SET_INDEX_STATS"_s).last().contains(u"clstfct => 1000,"_s));
    EXPECT_EQ(script->log.filter(u"DROP INDEX"_s).size(), 2);
    EXPECT_FALSE(*on);
    // The window's own plan rows and grid are not touched.
    EXPECT_TRUE(script->log.filter(u"'QUERVIN'"_s).isEmpty());
    EXPECT_EQ(w->model().planGrid().rows(), planRows);
}
