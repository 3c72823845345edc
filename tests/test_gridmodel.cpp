#include "tuning/gridmodel.h"

#include <gtest/gtest.h>

using namespace qv;

namespace {
struct Recorder : GridObserver {
    int changes = 0;
    std::vector<bool> visibility;
    void gridChanged() override { ++changes; }
    void gridVisibilityChanged(bool v) override { visibility.push_back(v); }
};
}  // namespace

TEST(GridModel, NewGridHasTheControlsDefaultShape) {
    GridModel g;
    EXPECT_EQ(g.rows(), 2);
    EXPECT_EQ(g.cols(), 2);
    EXPECT_EQ(g.fixedRows(), 1);
    EXPECT_EQ(g.fixedCols(), 1);
    EXPECT_TRUE(g.visible());
    EXPECT_EQ(g.text(0, 0), QString());
}

TEST(GridModel, CellsAreWrittenAndRewrittenInAnyOrder) {
    GridModel g;
    g.setCols(4);
    g.setRows(3);
    g.setText(1, 2, QStringLiteral("two"));
    g.setText(1, 0, QStringLiteral("zero"));
    g.setText(1, 3, QStringLiteral("three"));
    g.setText(1, 1, QStringLiteral("一"));
    EXPECT_EQ(g.text(1, 0), QStringLiteral("zero"));
    EXPECT_EQ(g.text(1, 1), QStringLiteral("一"));
    EXPECT_EQ(g.text(1, 2), QStringLiteral("two"));
    EXPECT_EQ(g.text(1, 3), QStringLiteral("three"));

    g.setText(1, 1, QStringLiteral("a longer text than before"));
    g.setText(1, 2, QString());
    EXPECT_EQ(g.text(1, 0), QStringLiteral("zero"));
    EXPECT_EQ(g.text(1, 1), QStringLiteral("a longer text than before"));
    EXPECT_EQ(g.text(1, 2), QString());
    EXPECT_EQ(g.text(1, 3), QStringLiteral("three"));
    EXPECT_EQ(g.text(2, 3), QString());
}

TEST(GridModel, OutsideCellsReadEmptyAndIgnoreWrites) {
    GridModel g;
    g.setText(5, 0, QStringLiteral("x"));
    g.setText(0, 9, QStringLiteral("x"));
    g.setText(-1, 0, QStringLiteral("x"));
    EXPECT_EQ(g.rows(), 2);
    EXPECT_EQ(g.text(5, 0), QString());
    EXPECT_EQ(g.text(-1, -1), QString());
    EXPECT_EQ(g.colWidth(7), 0);
}

TEST(GridModel, ClearEmptiesCellsButKeepsShapeAndWidths) {
    GridModel g;
    g.setCols(3);
    g.setRows(4);
    g.setColWidth(2, 6000);
    g.setText(3, 2, QStringLiteral("x"));
    g.clear();
    EXPECT_EQ(g.rows(), 4);
    EXPECT_EQ(g.cols(), 3);
    EXPECT_EQ(g.colWidth(2), 6000);
    EXPECT_EQ(g.text(3, 2), QString());
}

TEST(GridModel, ShrinkingDropsCellsAndGrowingAddsEmptyOnes) {
    GridModel g;
    g.setCols(3);
    g.setRows(3);
    g.setText(1, 0, QStringLiteral("a"));
    g.setText(1, 1, QStringLiteral("b"));
    g.setText(1, 2, QStringLiteral("c"));
    g.setText(2, 0, QStringLiteral("row2"));
    g.setCols(2);
    EXPECT_EQ(g.text(1, 1), QStringLiteral("b"));
    g.setCols(3);
    EXPECT_EQ(g.text(1, 2), QString());
    g.setRows(2);
    g.setRows(3);
    EXPECT_EQ(g.text(2, 0), QString());
    g.setFixedRows(5);
    EXPECT_EQ(g.fixedRows(), 3);
    g.setCols(0);
    EXPECT_EQ(g.fixedCols(), 0);
    EXPECT_EQ(g.text(1, 0), QString());
}

TEST(GridModel, ObserverHearsChangesAndVisibility) {
    GridModel g;
    Recorder r;
    g.setObserver(&r);
    g.setText(1, 1, QStringLiteral("x"));
    g.setRows(10);
    EXPECT_GE(r.changes, 2);
    g.setVisible(false);
    g.setVisible(false);
    g.setVisible(true);
    EXPECT_EQ(r.visibility, (std::vector<bool>{false, true}));
    g.setObserver(nullptr);
    const int before = r.changes;
    g.setText(1, 1, QStringLiteral("y"));
    EXPECT_EQ(r.changes, before);
}

TEST(GridModel, ManyRowsKeepTheirTexts) {
    GridModel g;
    g.setCols(20);
    g.setRows(100001);
    for (int r = 1; r <= 100000; ++r)
        for (int c = 0; c < 20; ++c)
            g.setText(r, c, QString::number(r * 100 + c));
    EXPECT_EQ(g.text(1, 0), QStringLiteral("100"));
    EXPECT_EQ(g.text(54321, 19), QStringLiteral("5432119"));
    EXPECT_EQ(g.text(100000, 7), QStringLiteral("10000007"));
}
