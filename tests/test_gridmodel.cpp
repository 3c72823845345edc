#include "core/tuning/gridmodel.h"

#include <gtest/gtest.h>
#include <QStringList>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {
struct Recorder : GridObserver {
    int changes = 0;
    std::vector<bool> visibility;
    void gridChanged() override { ++changes; }
    void gridVisibilityChanged(bool v) override { visibility.push_back(v); }
};

QStringList row(const GridModel& g, int r) {
    QStringList out;
    for (int c = 0; c < g.cols(); ++c)
        out << g.text(r, c);
    return out;
}
}  // namespace

TEST(GridModel, CellsAreWrittenAndRewrittenInAnyOrderAndTheObserverHears) {
    GridModel g;
    Recorder rec;
    g.setObserver(&rec);
    EXPECT_EQ((std::vector<int>{g.rows(), g.cols(), g.fixedRows(), g.fixedCols()}),
              (std::vector<int>{2, 2, 1, 1}))
        << "the grid control's default shape";
    g.setCols(4);
    g.setRows(3);
    g.setText(1, 2, u"two"_s);
    g.setText(1, 0, u"zero"_s);
    g.setText(1, 3, u"three"_s);
    g.setText(1, 1, u"一"_s);
    g.setText(1, 1, u"a longer text than before"_s);
    g.setText(1, 2, QString());
    EXPECT_EQ(row(g, 1), (QStringList{u"zero"_s, u"a longer text than before"_s, {}, u"three"_s}));
    EXPECT_GE(rec.changes, 6) << "each of the six writes is heard";
    // Outside the grid: reads are empty, writes are ignored.
    g.setText(5, 0, u"x"_s);
    g.setText(-1, 9, u"x"_s);
    EXPECT_EQ(g.rows(), 3);
    EXPECT_EQ(g.text(5, 0), QString());
    EXPECT_EQ(g.colWidth(7), 0);
    g.setVisible(false);
    g.setVisible(false);
    g.setVisible(true);
    EXPECT_EQ(rec.visibility, (std::vector<bool>{false, true}));
}

TEST(GridModel, ClearKeepsShapeAndShrinkingDropsCells) {
    GridModel g;
    g.setCols(3);
    g.setRows(4);
    g.setColWidth(2, 6000);
    g.setText(3, 2, u"x"_s);
    g.setCellNull(3, 2, true);
    g.clear();
    EXPECT_EQ(g.rows(), 4);
    EXPECT_EQ(g.colWidth(2), 6000);
    EXPECT_EQ(g.text(3, 2), QString());
    EXPECT_FALSE(g.cellIsNull(3, 2));

    g.setText(1, 1, u"b"_s);
    g.setText(1, 2, u"c"_s);
    g.setCellNull(1, 2, true);
    g.setCols(2);
    g.setCols(3);
    EXPECT_EQ(row(g, 1), (QStringList{{}, u"b"_s, {}}));
    EXPECT_FALSE(g.cellIsNull(1, 2));
    g.setFixedRows(9);
    EXPECT_EQ(g.fixedRows(), 4);
}
