#include "app/frmmain.h"
#include "app/program.h"
#include "app/splitterbars.h"
#include "support/tempstore.h"
#include "tuning/gridview.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>

using namespace qv;

namespace {

std::array<QLabel*, 5> barsOf(FrmMain& f) {
    return {f.splitBar(0), f.splitBar(1), f.splitBar(2), f.splitBar(3), f.splitBar(4)};
}

void mouse(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButtons buttons) {
    QMouseEvent e(type, pos, w->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class SplitterBarsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setProgramEndHandler([] {});
    }
    void TearDown() override { setProgramEndHandler(nullptr); }
    test::TempStore tmp;
};

}  // namespace

TEST_F(SplitterBarsTest, DraggingBar2MovesItAndRelaysThePanes) {
    FrmMain f;
    SplitterBars bars(
        f.model().layout(), barsOf(f), [&f] { f.applyLayout(); }, &f);
    f.resize(600, 520);
    f.show();
    const double dpi = f.logicalDpiY();
    QLabel* bar2 = f.splitBar(2);
    const int barY = bar2->y();
    ASSERT_EQ(barY, twipsToPixels(3540, dpi));
    EXPECT_EQ(bar2->cursor().shape(), Qt::SizeVerCursor);
    EXPECT_EQ(bar2->frameShape(), QFrame::NoFrame);

    mouse(bar2, QEvent::MouseButtonPress, {20, 1}, Qt::LeftButton);
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(f.splitBar(k)->frameShape(), QFrame::Box)
            << "bar " << k << " framed while dragging";
    EXPECT_EQ(f.splitBar(0)->frameShape(), QFrame::NoFrame);

    // Two steps up; each position is relative to the bar where it then is.
    mouse(bar2, QEvent::MouseMove, {20, -10}, Qt::LeftButton);
    EXPECT_EQ(bar2->y(), barY - 10);
    mouse(bar2, QEvent::MouseMove, {20, -20}, Qt::LeftButton);
    EXPECT_EQ(bar2->y(), barY - 30);
    mouse(bar2, QEvent::MouseButtonRelease, {20, 0}, Qt::NoButton);

    const QueryWindowLayout& l = f.model().layout();
    const int dropTwips = 3540 + pixelsToTwips(-30, dpi);
    EXPECT_EQ(l.rect(Ctl::Split2).top, dropTwips);
    EXPECT_EQ(l.rect(Ctl::GrdStats).top, dropTwips + 300);
    EXPECT_EQ(f.grdStats()->y(), twipsToPixels(dropTwips + 300, dpi));
    EXPECT_EQ(f.grdData()->height(), twipsToPixels(dropTwips - 2100, dpi));
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(f.splitBar(k)->frameShape(), QFrame::NoFrame) << k;
}

TEST_F(SplitterBarsTest, ARefusedDropPutsTheBarBackAndTheOuterBarsIgnoreTheMouse) {
    FrmMain f;
    SplitterBars bars(
        f.model().layout(), barsOf(f), [&f] { f.applyLayout(); }, &f);
    f.resize(600, 520);
    f.show();
    QLabel* bar2 = f.splitBar(2);
    const int barY = bar2->y();
    const int dataHeight = f.grdData()->height();
    mouse(bar2, QEvent::MouseButtonPress, {20, 1}, Qt::LeftButton);
    mouse(bar2, QEvent::MouseMove, QPointF(20, f.splitBar(1)->y() - barY + 5), Qt::LeftButton);
    mouse(bar2, QEvent::MouseButtonRelease, {20, 0}, Qt::NoButton);
    EXPECT_EQ(bar2->y(), barY);
    EXPECT_EQ(f.grdData()->height(), dataHeight);

    QLabel* bar4 = f.splitBar(4);
    const int bar4Y = bar4->y();
    mouse(bar4, QEvent::MouseButtonPress, {20, 1}, Qt::LeftButton);
    EXPECT_EQ(f.splitBar(2)->frameShape(), QFrame::NoFrame);
    mouse(bar4, QEvent::MouseMove, {20, -40}, Qt::LeftButton);
    mouse(bar4, QEvent::MouseButtonRelease, {20, 0}, Qt::NoButton);
    EXPECT_EQ(bar4->y(), bar4Y);
    EXPECT_FALSE(f.model().layout().drag().dragging);
}

TEST_F(SplitterBarsTest, OuterSizeIsTheSubWindowsWhenTheWindowSitsInOne) {
    QMdiArea area;
    area.resize(900, 800);
    auto* f = new FrmMain;
    QMdiSubWindow* sub = area.addSubWindow(f);
    area.show();
    sub->resize(640, 500);
    const double dpi = f->logicalDpiY();
    const QSize outer = outerSizeTwips(f);
    EXPECT_EQ(outer, QSize(pixelsToTwips(640, dpi), pixelsToTwips(500, dpi)));
    EXPECT_GT(outer.height(), pixelsToTwips(f->height(), dpi)) << "the title bar counts";
}
