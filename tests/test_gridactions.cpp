#include "app/querywindowmodel.h"
#include "support/tempstore.h"
#include "support/testport.h"
#include "tuning/gridactions.h"

#include <gtest/gtest.h>

using namespace qv;

namespace {

void fillResult(GridModel& g) {
    g.setCols(3);
    g.setRows(4);
    g.setText(0, 0, QStringLiteral("ROWNUM"));
    g.setText(0, 1, QStringLiteral("STATUS"));
    g.setText(0, 2, QStringLiteral("NAME"));
    g.setText(1, 1, QStringLiteral("OPEN"));
    g.setText(1, 2, QStringLiteral("O'Brien"));
    g.setText(2, 1, QStringLiteral("(null)"));
    g.setCellNull(2, 1, true);
    g.setText(3, 1, QStringLiteral("(null)"));  // the text itself, not a null value
}

}  // namespace

TEST(GridActions, ConditionsAreValidSql) {
    GridModel g;
    fillResult(g);
    EXPECT_EQ(conditionFromCell(g, 1, 1), QStringLiteral("STATUS = 'OPEN'"));
    EXPECT_EQ(conditionFromCell(g, 1, 2), QStringLiteral("NAME = 'O''Brien'"));
    EXPECT_EQ(conditionFromCell(g, 2, 1), QStringLiteral("STATUS IS NULL"));
    EXPECT_EQ(conditionFromCell(g, 3, 1), QStringLiteral("STATUS = '(null)'"));
    EXPECT_EQ(conditionFromCell(g, 0, 1), QString());
    EXPECT_EQ(conditionFromCell(g, 9, 1), QString());
    g.setText(2, 1, QStringLiteral("later"));
    EXPECT_EQ(conditionFromCell(g, 2, 1), QStringLiteral("STATUS = 'later'"))
        << "a rewritten cell is no longer null";
}

TEST(GridActions, DoubleClickReplacesTheSelectionAndFocusesTheSqlBox) {
    test::TempStore tmp;
    test::TestPort port;
    QueryWindowModel m(port);
    m.load();
    fillResult(m.grdData());
    port.sql = QStringLiteral("select * from t where  and x = 1");
    port.caret = 22;
    m.grdDataDblClick(1, 1);
    EXPECT_EQ(port.sql, QStringLiteral("select * from t where STATUS = 'OPEN' and x = 1"));
    EXPECT_EQ(port.caret, 22 + 15);
    EXPECT_TRUE(port.sqlFocused);

    port.sql = QStringLiteral("where XXX");
    port.selStart = 6;
    port.selLength = 3;
    m.grdDataDblClick(1, 2);
    EXPECT_EQ(port.sql, QStringLiteral("where NAME = 'O''Brien'"));
}

TEST(GridActions, PlanCopiesAsLinesWithEstimates) {
    GridModel g;
    g.setCols(4);
    g.setRows(3);
    g.setFixedCols(0);
    g.setText(1, 0, QStringLiteral("SELECT STATEMENT"));
    g.setText(2, 0, QStringLiteral(" TABLE ACCESS FULL (APP.EMP)"));
    g.setText(2, 1, QStringLiteral("14"));
    g.setText(2, 3, QStringLiteral("512"));
    EXPECT_EQ(planClipboardText(g),
              QStringLiteral("1\tSELECT STATEMENT\r\n"
                             "2\t TABLE ACCESS FULL (APP.EMP)\t(cardinarity=14 byte=512)\r\n"));
    g.setText(1, 2, QStringLiteral("3"));
    EXPECT_TRUE(
        planClipboardText(g).startsWith(QStringLiteral("1\tSELECT STATEMENT\t(cost=3)\r\n")));
    g.setVisible(false);
    EXPECT_TRUE(planClipboardText(g).isNull());
}
