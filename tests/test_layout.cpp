#include "app/layout.h"

#include <gtest/gtest.h>

using namespace qv;

namespace {

// A window as it loads: initial geometry, margins from the 8550 by 7500 reference size.
QueryWindowLayout freshWindow() {
    QueryWindowLayout l;
    l.recordMargins(8550, 7500);
    return l;
}

// Presses bar k, moves the pointer `dy` twips from where it went down, releases.
bool drag(QueryWindowLayout& l, int k, float dy) {
    l.splitPress(k);
    l.splitMove(dy);
    return l.splitRelease();
}

bool sameGeometry(const QueryWindowLayout& a, const QueryWindowLayout& b) {
    for (int i = 0; i < kCtlCount; ++i) {
        if (!(a.rect(static_cast<Ctl>(i)) == b.rect(static_cast<Ctl>(i))))
            return false;
    }
    return true;
}

int top(const QueryWindowLayout& l, Ctl c) {
    return l.rect(c).top;
}
int height(const QueryWindowLayout& l, Ctl c) {
    return l.rect(c).height;
}

}  // namespace

TEST(LayoutResize, PanesFollowTheWindow) {
    QueryWindowLayout l = freshWindow();
    l.resize(10000, 9000);
    for (Ctl c : {Ctl::TxtSQL, Ctl::GrdData, Ctl::GrdStats, Ctl::GrdExplan})
        EXPECT_EQ(l.rect(c).width, 9625) << static_cast<int>(c);
    EXPECT_EQ(l.rect(Ctl::CmdExec).left, 8410);
    EXPECT_EQ(l.rect(Ctl::LblCount).left, 3010);
    EXPECT_EQ(height(l, Ctl::GrdExplan), 2955);
    EXPECT_EQ(top(l, Ctl::Split4), 8220);
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(l.rect(QueryWindowLayout::splitBar(k)).width, 10000) << k;
    // Bar 0 and the message lines keep their size; nothing moves vertically but bar 4.
    EXPECT_EQ(l.rect(Ctl::Split0).width, 8775);
    EXPECT_EQ(l.rect(Ctl::LblQMessage).width, 8295);
    EXPECT_EQ(top(l, Ctl::GrdExplan), 5220);

    // Back at the reference size the panes are as loaded; the bars take the window's width.
    l.resize(8550, 7500);
    const QueryWindowLayout loaded = freshWindow();
    for (int i = 0; i < kCtlCount; ++i) {
        const Ctl c = static_cast<Ctl>(i);
        TwipRect want = loaded.rect(c);
        if (c == Ctl::Split1 || c == Ctl::Split2 || c == Ctl::Split3 || c == Ctl::Split4)
            want.width = 8550;
        EXPECT_EQ(l.rect(c), want) << i;
    }
}

TEST(LayoutResize, TinySizesKeepWhatWouldBeZeroOrLess) {
    QueryWindowLayout l = freshWindow();
    l.resize(10000, 9000);
    l.resize(375, 6045);
    EXPECT_EQ(l.rect(Ctl::TxtSQL).width, 9625);
    EXPECT_EQ(l.rect(Ctl::GrdExplan).width, 9625);
    EXPECT_EQ(height(l, Ctl::GrdExplan), 2955);
    EXPECT_EQ(l.rect(Ctl::CmdExec).left, 8410);
    EXPECT_EQ(top(l, Ctl::Split4), 6045 - 780) << "bar 4 still follows";
    EXPECT_EQ(l.rect(Ctl::Split1).width, 375);

    l.resize(376, 780);
    EXPECT_EQ(l.rect(Ctl::TxtSQL).width, 1);
    EXPECT_EQ(l.rect(Ctl::GrdStats).width, 1);
    EXPECT_EQ(l.rect(Ctl::CmdExec).left, 8410);
    EXPECT_EQ(top(l, Ctl::Split4), 5265);

    l.resize(2000, 6046);
    EXPECT_EQ(height(l, Ctl::GrdExplan), 1);
    EXPECT_EQ(l.rect(Ctl::CmdExec).left, 410);
    EXPECT_EQ(l.rect(Ctl::LblCount).left, 3010) << "2000 - 6990 is kept out";
}

TEST(LayoutSplitters, PressAndReleaseOnAFreshWindowLaysOutBar1) {
    QueryWindowLayout l = freshWindow();
    EXPECT_FALSE(l.splitBorder());
    l.splitPress(1);
    EXPECT_TRUE(l.drag().dragging);
    EXPECT_EQ(l.drag().index, 1);
    EXPECT_EQ(l.drag().startTop, 1620.0f);
    EXPECT_EQ(l.drag().dropTop, 1620.0f);
    EXPECT_TRUE(l.splitBorder());

    EXPECT_TRUE(l.splitRelease());
    EXPECT_FALSE(l.drag().dragging);
    EXPECT_FALSE(l.splitBorder());
    EXPECT_EQ(height(l, Ctl::TxtSQL), 1320);
    EXPECT_EQ(top(l, Ctl::GrdData), 2020);
    EXPECT_EQ(height(l, Ctl::GrdData), 1520);
    EXPECT_EQ(top(l, Ctl::LblLabel1), 1820);
    EXPECT_EQ(top(l, Ctl::LblQMessage), 2120);
    EXPECT_EQ(top(l, Ctl::CmdExec), 1650);
    EXPECT_EQ(top(l, Ctl::Split1), 1620);
}

TEST(LayoutSplitters, TheBarFollowsThePointerWithoutLimits) {
    QueryWindowLayout l = freshWindow();
    l.splitPress(2);
    l.splitMove(-150);
    EXPECT_EQ(top(l, Ctl::Split2), 3390);
    l.splitMove(30);  // relative to where the bar now is
    EXPECT_EQ(top(l, Ctl::Split2), 3420);
    EXPECT_EQ(l.drag().dropTop, 3420.0f);
    l.splitMove(-5000);
    EXPECT_EQ(top(l, Ctl::Split2), -1580);
    EXPECT_EQ(l.drag().startTop, 3540.0f);
    EXPECT_EQ(height(l, Ctl::GrdData), 1455) << "panes wait for the release";
}

TEST(LayoutSplitters, ADropCloseBelowTheUpperBarIsRefused) {
    QueryWindowLayout l = freshWindow();
    const QueryWindowLayout before = l;
    // 300 below bar 1: lifted to exactly 550 below it, which is not enough.
    EXPECT_FALSE(drag(l, 2, 1920 - 3540));
    EXPECT_TRUE(sameGeometry(l, before));
    EXPECT_FALSE(l.splitBorder());
    EXPECT_FALSE(drag(l, 1, -1500)) << "above the SQL box";
    EXPECT_TRUE(sameGeometry(l, before));
}

TEST(LayoutSplitters, ADropCloseAboveTheLowerBarStops550AboveIt) {
    QueryWindowLayout l = freshWindow();
    EXPECT_TRUE(drag(l, 1, 3340 - 1620));
    EXPECT_EQ(top(l, Ctl::Split1), 2990);
    EXPECT_EQ(height(l, Ctl::TxtSQL), 2690);
    EXPECT_EQ(top(l, Ctl::GrdData), 3390);
    EXPECT_EQ(height(l, Ctl::GrdData), 150);
    EXPECT_EQ(top(l, Ctl::LblLabel1), 3190);
    EXPECT_EQ(top(l, Ctl::LblQMessage), 3490);
    EXPECT_EQ(top(l, Ctl::CmdExec), 3020);

    // Dropped below the lower bar: still pulled back to 550 above it.
    EXPECT_TRUE(drag(l, 2, 6000 - 3540));
    EXPECT_EQ(top(l, Ctl::Split2), 4920 - 550);
}

TEST(LayoutSplitters, Bar2LaysOutTheResultAndStatisticsPanes) {
    QueryWindowLayout l = freshWindow();
    EXPECT_TRUE(drag(l, 2, -450));
    EXPECT_EQ(top(l, Ctl::Split2), 3090);
    EXPECT_EQ(height(l, Ctl::GrdData), 990);
    EXPECT_EQ(top(l, Ctl::GrdStats), 3390);
    EXPECT_EQ(height(l, Ctl::GrdStats), 1530);
    EXPECT_EQ(top(l, Ctl::LblCount), 3140);
    EXPECT_EQ(top(l, Ctl::LblLabel2), 3190);
    EXPECT_EQ(top(l, Ctl::LblSMessage), 3390);
}

TEST(LayoutSplitters, TheLowerLimitWinsOverTheUpperOne) {
    QueryWindowLayout l = freshWindow();
    // A short window brings bar 4 within 1100 of bar 2: no place for bar 3 between them.
    l.resize(8550, 4780);
    ASSERT_EQ(top(l, Ctl::Split4), 4000);
    const QueryWindowLayout before = l;
    EXPECT_FALSE(drag(l, 3, 3600 - 4920));
    EXPECT_TRUE(sameGeometry(l, before));
}

TEST(LayoutSplitters, Bar3KeepsThePlanGridBottomOnLaterResizes) {
    QueryWindowLayout l = freshWindow();
    l.resize(8550, 7500);
    EXPECT_TRUE(drag(l, 3, -500));
    EXPECT_EQ(height(l, Ctl::GrdStats), 580);
    EXPECT_EQ(top(l, Ctl::GrdExplan), 4720);
    EXPECT_EQ(height(l, Ctl::GrdExplan), 2000);
    EXPECT_EQ(top(l, Ctl::LblLabel3), 4520);
    EXPECT_EQ(top(l, Ctl::LblEMessage), 4720);
    EXPECT_EQ(l.margins().planGridHeight, 5500);

    const int bottomGap = 7500 - (top(l, Ctl::GrdExplan) + height(l, Ctl::GrdExplan));
    l.resize(9000, 9000);
    EXPECT_EQ(9000 - (top(l, Ctl::GrdExplan) + height(l, Ctl::GrdExplan)), bottomGap);

    // Bars 1 and 2 leave that margin alone.
    EXPECT_TRUE(drag(l, 2, -100));
    EXPECT_EQ(l.margins().planGridHeight, 5500);
}

TEST(LayoutSplitters, OuterBarsAndStrayReleasesDoNothing) {
    QueryWindowLayout l = freshWindow();
    const QueryWindowLayout before = l;
    for (int k : {0, 4}) {
        l.splitPress(k);
        EXPECT_FALSE(l.drag().dragging) << k;
        EXPECT_FALSE(l.splitBorder()) << k;
        l.splitMove(300);
        EXPECT_FALSE(l.splitRelease()) << k;
    }
    EXPECT_TRUE(sameGeometry(l, before));

    // The second release of a double click must not replay the last drop.
    EXPECT_TRUE(drag(l, 2, -450));
    const QueryWindowLayout afterDrop = l;
    EXPECT_FALSE(l.splitRelease());
    EXPECT_TRUE(sameGeometry(l, afterDrop));
}
