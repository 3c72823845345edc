// The query window's layout in twips: resizing and dragging the splitter bars, first as rules,
// then with the mouse on a real window.
#include "core/window/querywindowlayout.h"
#include "core/window/twips.h"
#include "core/window/windowarrangement.h"
#include "gui/gridview.h"
#include "gui/mainframe.h"
#include "gui/querywindow.h"
#include "gui/splitterbars.h"
#include "support/tempprogram.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

using namespace qv;
using namespace Qt::StringLiterals;
using enum Control;

namespace {

using Want = std::tuple<Control, int TwipRect::*, int>;  // a control, one of its edges, twips
const auto left = [](Control c, int twips) { return Want{c, &TwipRect::left, twips}; };
const auto top = [](Control c, int twips) { return Want{c, &TwipRect::top, twips}; };
const auto width = [](Control c, int twips) { return Want{c, &TwipRect::width, twips}; };
const auto height = [](Control c, int twips) { return Want{c, &TwipRect::height, twips}; };

void expect(const QueryWindowLayout& l, std::initializer_list<Want> wants) {
    for (const auto& [c, edge, twips] : wants)
        EXPECT_EQ(l.rect(c).*edge, twips) << "control " << static_cast<int>(c);
}

auto rects(const QueryWindowLayout& l) {
    std::array<TwipRect, kControlCount> r;
    for (int i = 0; i < kControlCount; ++i)
        r[i] = l.rect(static_cast<Control>(i));
    return r;
}

// A window as it loads: initial geometry, margins from the 8550 by 7500 reference size.
QueryWindowLayout freshWindow() {
    QueryWindowLayout l;
    l.recordMargins(8550, 7500);
    return l;
}

// A mouse event at `y` pixels down `w`, as the bar under the pointer receives it.
void mouse(QWidget* w, QEvent::Type type, int y, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(20, y), w->mapToGlobal(QPointF(20, y)), Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Presses bar k, moves the pointer `dy` twips from where it went down, releases.
bool drag(QueryWindowLayout& l, int k, float dy) {
    l.pressBar(k);
    l.moveBar(dy);
    return l.releaseBar();
}

}  // namespace

// A value that would be 0 or less is not assigned, so a tiny window keeps the last usable one.
// After a bar-3 drop the plan grid keeps its bottom margin on later resizes.
TEST(Layout, PanesFollowTheWindow) {
    QueryWindowLayout l = freshWindow();
    l.resize(10000, 9000);
    // Bar 0 and the message lines keep their size; only bar 4 moves down.
    expect(l, {width(SqlEdit, 9625), width(ResultGrid, 9625), width(StatsGrid, 9625),
               width(PlanGrid, 9625), left(ExecuteButton, 8410), left(CountLabel, 3010),
               height(PlanGrid, 2955), top(Bar4, 8220), width(Bar1, 10000), width(Bar3, 10000),
               width(Bar4, 10000), width(Bar0, 8775), width(ResultMessage, 8295),
               top(PlanGrid, 5220)});
    l.resize(375, 6045);
    expect(l, {width(SqlEdit, 9625), width(PlanGrid, 9625), height(PlanGrid, 2955),
               left(ExecuteButton, 8410), top(Bar4, 6045 - 780), width(Bar1, 375)});
    l.resize(376, 780);
    expect(l, {width(SqlEdit, 1), width(StatsGrid, 1), left(ExecuteButton, 8410), top(Bar4, 5265)});
    l.resize(2000, 6046);
    expect(l, {height(PlanGrid, 1), left(ExecuteButton, 410), left(CountLabel, 3010)});

    // Back at the reference size the panes are as loaded; the bars take the window's width.
    l.resize(8550, 7500);
    QueryWindowLayout loaded = freshWindow();
    for (int k = 1; k <= 4; ++k)
        loaded.rect(QueryWindowLayout::barControl(k)).width = 8550;
    EXPECT_EQ(rects(l), rects(loaded));

    EXPECT_TRUE(drag(l, 3, -500));
    expect(l, {height(StatsGrid, 580), top(PlanGrid, 4720), height(PlanGrid, 2000),
               top(PlanHeading, 4520), top(PlanMessage, 4720)});
    l.resize(9000, 9000);
    expect(l, {top(PlanGrid, 4720), height(PlanGrid, 9000 - 780 - 4720)});
    EXPECT_TRUE(drag(l, 2, -100));  // bars 1 and 2 leave the plan grid's margin alone
    l.resize(9000, 9500);
    EXPECT_EQ(l.rect(PlanGrid).height, 9500 - 780 - 4720);
}

// A press and release lays out the panes around the bar; a drop close to the next bar stops
// 550 above it; the second release of a double click does nothing.
TEST(Layout, PressReleaseAndDropsOnAFreshWindow) {
    QueryWindowLayout l = freshWindow();
    l.pressBar(1);
    EXPECT_TRUE(l.barsFramed());
    EXPECT_TRUE(l.releaseBar());
    EXPECT_FALSE(l.barsFramed());
    EXPECT_FALSE(l.releaseBar());
    expect(l, {height(SqlEdit, 1320), top(ResultGrid, 2020), height(ResultGrid, 1520),
               top(ResultHeading, 1820), top(ResultMessage, 2120), top(ExecuteButton, 1650),
               top(Bar1, 1620)});

    EXPECT_TRUE(drag(l, 1, 3340 - 1620));  // 200 above bar 2
    expect(l,
           {top(Bar1, 2990), height(SqlEdit, 2690), top(ResultGrid, 3390), height(ResultGrid, 150),
            top(ResultHeading, 3190), top(ResultMessage, 3490), top(ExecuteButton, 3020)});
    EXPECT_TRUE(drag(l, 2, 6000 - 3540));  // below bar 3
    EXPECT_EQ(l.rect(Bar2).top, 4920 - 550);
}

// Bars 0 and 4 ignore the mouse. Bars 1 to 3 follow the pointer without limits; a drop that
// leaves no room above the bar, or no room between its neighbours, puts everything back.
TEST(Layout, IgnoredPressesAndRefusedDropsChangeNothing) {
    const std::tuple<int, int, int, bool> cases[] = {
        {7500, 0, 300, false},  // bars 0 and 4
        {7500, 4, 300, false},
        {7500, 2, 1920 - 3540, true},   // 300 below bar 1
        {7500, 1, -1500, true},         // above the SQL box
        {4780, 3, 3600 - 4920, true}};  // bar 4 within 1100 of bar 2
    for (const auto& [height, k, dy, follows] : cases) {
        QueryWindowLayout l = freshWindow();
        l.resize(8550, height);
        const auto before = rects(l);
        const Control bar = QueryWindowLayout::barControl(k);
        l.pressBar(k);
        l.moveBar(dy);
        EXPECT_EQ(std::pair(l.rect(bar).top - before[static_cast<int>(bar)].top, l.barsFramed()),
                  std::pair(follows ? dy : 0, follows))
            << k;
        EXPECT_FALSE(l.releaseBar()) << k;
        EXPECT_EQ(rects(l), before) << k;
    }
}

// Bar 2 lays out the result and statistics panes.
TEST(Layout, DraggingBar2WithTheMouseOnAQueryWindow) {
    test::TempProgram tmp;
    QueryWindow f(tmp.program());
    f.resize(600, 520);
    f.show();
    const double dpi = f.logicalDpiY();
    QLabel* bar2 = f.splitterBar(2);
    const int barY = bar2->y();
    ASSERT_EQ(barY, twipsToPixels(3540, dpi));
    EXPECT_EQ(bar2->cursor().shape(), Qt::SizeVerCursor);
    mouse(bar2, QEvent::MouseButtonPress, 1, Qt::LeftButton);
    for (int k = 0; k <= 4; ++k)
        EXPECT_EQ(f.splitterBar(k)->frameShape(), k % 4 ? QFrame::Box : QFrame::NoFrame) << k;
    // Two steps up; each position is relative to the bar where it then is.
    mouse(bar2, QEvent::MouseMove, -10, Qt::LeftButton);
    mouse(bar2, QEvent::MouseMove, -20, Qt::LeftButton);
    EXPECT_EQ(bar2->y(), barY - 30);
    mouse(bar2, QEvent::MouseButtonRelease, 0, Qt::NoButton);
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(f.splitterBar(k)->frameShape(), QFrame::NoFrame) << k;
    const int drop = 3540 + pixelsToTwips(-30, dpi);
    expect(f.model().layout(),
           {top(Bar2, drop), height(StatsGrid, 4920 - drop - 300), top(CountLabel, drop + 50),
            top(StatsHeading, drop + 100), top(StatsMessage, drop + 300)});
    EXPECT_EQ(std::pair(f.statsGrid()->y(), f.resultGrid()->height()),
              std::pair(twipsToPixels(drop + 300, dpi), twipsToPixels(drop - 2100, dpi)));

    // The next start's windows take the drop, by the release rule: a bar stored below its lower
    // neighbour stops 550 above it; a bar never dropped keeps its place.
    tmp.put(u"i_split1_top"_s, u"9000"_s);
    ProgramState next(tmp.openStore());
    QueryWindow g(next);
    expect(g.model().layout(),
           {top(Bar1, drop - 550), top(Bar2, drop), height(StatsGrid, 4920 - drop - 300),
            top(ResultGrid, drop - 150), top(Bar3, 4920)});
}

// The cascade's arithmetic: own sizes, one step right each, back to the top at the bottom, held
// inside on the right; a window larger than the area gives up the rest.
TEST(Layout, CascadeStepsDownKeepingSizesAndStaysInside) {
    const QSize w(100, 100);
    EXPECT_EQ(
        cascadeGeometry({w, w, w, w, w, QSize(500, 90)}, QSize(200, 150), 30),
        (QList<QRect>{QRect(0, 0, 100, 100), QRect(30, 30, 100, 100), QRect(60, 0, 100, 100),
                      QRect(90, 30, 100, 100), QRect(100, 0, 100, 100), QRect(0, 30, 200, 90)}));
    EXPECT_EQ(cascadeGeometry({w, w}, QSize(120, 110), 30),
              (QList<QRect>{QRect(0, 0, 100, 100), QRect(20, 0, 100, 100)}));
    // A window opened over the frame, then one beside it: right where the screen has room,
    // else left, else over it a step in; always inside the screen.
    const QRect screen(0, 0, 1000, 800);
    EXPECT_EQ(placeOver(QSize(400, 300), QRect(700, 600, 200, 100), screen),
              QRect(600, 500, 400, 300));
    EXPECT_EQ(placeBeside(w, QRect(800, 50, 100, 100), screen, 30), QRect(900, 50, 100, 100));
    EXPECT_EQ(placeBeside(w, QRect(850, 750, 100, 100), screen, 30), QRect(750, 700, 100, 100));
    EXPECT_EQ(placeBeside(QSize(600, 900), QRect(200, 0, 700, 700), screen, 30),
              QRect(230, 0, 600, 800));
}

namespace {

// The controls a user sees: apart from each other and inside the window. A message line lies
// over its grid by design; it only has to stay inside.
void expectApartAndInside(QueryWindow& f, const std::string& when) {
    QList<QWidget*> seen{f.sqlEdit(),   f.executeButton(), f.resultGrid(),
                         f.statsGrid(), f.planGrid(),      f.statusBar()};
    for (const char* name : {"sqlHeading", "sqlFileLabel", "resultHeading", "countLabel",
                             "statsHeading", "planHeading"})
        seen << f.findChild<QLabel*>(QString::fromLatin1(name));
    for (qsizetype i = 0; i < seen.size(); ++i) {
        EXPECT_TRUE(f.rect().contains(seen[i]->geometry()))
            << when << ": " << seen[i]->objectName().toStdString() << " leaves the window";
        for (qsizetype j = i + 1; j < seen.size(); ++j)
            EXPECT_FALSE(seen[i]->geometry().intersects(seen[j]->geometry()))
                << when << ": " << seen[i]->objectName().toStdString() << " meets "
                << seen[j]->objectName().toStdString();
    }
    for (const char* name : {"resultMessage", "statsMessage", "planMessage"}) {
        const QWidget* m = f.findChild<QLabel*>(QString::fromLatin1(name));
        EXPECT_TRUE(f.rect().contains(m->geometry())) << when << ": " << name;
    }
}

}  // namespace

// A window cannot be made smaller than its controls need: at that size and after bars were
// moved and the window shrunk again, nothing overlaps and nothing is pushed out; above it the
// table's geometry holds.
TEST(Layout, AWindowAsSmallAsItMayBeKeepsItsControlsApart) {
    test::TempProgram tmp;
    MainFrame frame(tmp.program());
    frame.resize(1400, 1100);
    frame.show();
    QueryWindow* f = frame.activeQueryWindow();
    auto* sub = qobject_cast<QMdiSubWindow*>(f->parentWidget());
    const QSize first = sub->size();
    expectApartAndInside(*f, "as it opens");
    const QSize least = sub->minimumSize();
    EXPECT_TRUE(least.width() < first.width() && least.height() < first.height());
    sub->resize(1, 1);
    EXPECT_EQ(sub->size(), least);
    expectApartAndInside(*f, "at the minimum");
    // The plan grid keeps three rows in sight under its headings, above the status bar.
    const GridView* plan = f->planGrid();
    EXPECT_GE(plan->height() - 2 * plan->frameWidth() - plan->horizontalHeader()->height(),
              3 * plan->verticalHeader()->defaultSectionSize());
    // A pixel wider and higher than the least: the resize rule places the panes as the table
    // says.
    sub->resize(least + QSize(1, 1));
    const QSize outer = outerSizeTwips(f);
    expect(f->model().layout(),
           {left(CountLabel, outer.width() - 6990), height(PlanGrid, outer.height() - 6045)});

    // Bar 3 far down, bar 1 down, then as small as it goes.
    sub->resize(first);
    for (const auto& [k, dy] : {std::pair(3, 60), std::pair(1, 30), std::pair(2, -10)}) {
        QLabel* bar = f->splitterBar(k);
        mouse(bar, QEvent::MouseButtonPress, 1, Qt::LeftButton);
        mouse(bar, QEvent::MouseMove, dy, Qt::LeftButton);
        mouse(bar, QEvent::MouseButtonRelease, 0, Qt::NoButton);
    }
    ASSERT_GT(f->planGrid()->y(), twipsToPixels(5220, f->logicalDpiY()));
    sub->resize(1, 1);
    EXPECT_GT(sub->height(), least.height()) << "the moved bar 3 needs more height";
    expectApartAndInside(*f, "shrunk after the bars moved");
}

// A movable bar shows its grip while the pointer is over it; the top and bottom bars never do.
TEST(Layout, MovableBarsShowAGripUnderThePointer) {
    test::TempProgram tmp;
    QueryWindow f(tmp.program());
    f.resize(600, 520);
    f.show();
    for (int k : {0, 1, 3, 4}) {
        auto* bar = qobject_cast<SplitterBar*>(f.splitterBar(k));
        ASSERT_TRUE(bar);
        const QImage plain = bar->grab().toImage();
        QEnterEvent enter(QPointF(5, 1), QPointF(5, 1), bar->mapToGlobal(QPointF(5, 1)));
        QApplication::sendEvent(bar, &enter);
        const bool movable = k == 1 || k == 3;
        EXPECT_EQ(bar->gripShown(), movable) << k;
        EXPECT_EQ(bar->grab().toImage() != plain, movable) << k << ": the grip is painted";
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(bar, &leave);
        EXPECT_FALSE(bar->gripShown()) << k;
        EXPECT_EQ(bar->grab().toImage(), plain) << k;
    }
}
