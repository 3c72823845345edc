#include "core/tuning/gridactions.h"
#include "core/window/querywindowmodel.h"
#include "support/tempstore.h"
#include "support/testport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace qv;

namespace {

void fillResult(GridModel& g) {
    g.setCols(3);
    g.setRows(4);
    g.setText(0, 0, u"ROWNUM"_s);
    g.setText(0, 1, u"STATUS"_s);
    g.setText(0, 2, u"NAME"_s);
    g.setText(1, 1, u"OPEN"_s);
    g.setText(1, 2, u"O'Brien"_s);
    g.setText(2, 1, u"(null)"_s);
    g.setCellNull(2, 1, true);
    g.setText(3, 1, u"(null)"_s);  // the text itself, not a null value
}

}  // namespace

TEST(GridActions, ConditionsAreValidSql) {
    GridModel g;
    fillResult(g);
    EXPECT_EQ(conditionFromCell(g, 1, 1), u"STATUS = 'OPEN'"_s);
    EXPECT_EQ(conditionFromCell(g, 1, 2), u"NAME = 'O''Brien'"_s);
    EXPECT_EQ(conditionFromCell(g, 2, 1), u"STATUS IS NULL"_s);
    EXPECT_EQ(conditionFromCell(g, 3, 1), u"STATUS = '(null)'"_s);
    EXPECT_EQ(conditionFromCell(g, 0, 1), QString());
    EXPECT_EQ(conditionFromCell(g, 9, 1), QString());
    g.setText(2, 1, u"later"_s);
    EXPECT_EQ(conditionFromCell(g, 2, 1), u"STATUS = 'later'"_s)
        << "a rewritten cell is no longer null";
}

TEST(GridActions, DoubleClickReplacesTheSelectionAndFocusesTheSqlBox) {
    test::TempStore tmp;
    test::TestPort port;
    QueryWindowModel m(port);
    m.load();
    fillResult(m.resultGrid());
    port.sql = u"select * from t where  and x = 1"_s;
    port.caret = 22;
    m.insertConditionFromCell(1, 1);
    EXPECT_EQ(port.sql, u"select * from t where STATUS = 'OPEN' and x = 1"_s);
    EXPECT_EQ(port.caret, 22 + 15);
    EXPECT_TRUE(port.sqlFocused);

    port.sql = u"where XXX"_s;
    port.selStart = 6;
    port.selLength = 3;
    m.insertConditionFromCell(1, 2);
    EXPECT_EQ(port.sql, u"where NAME = 'O''Brien'"_s);
}

TEST(GridActions, PlanCopiesAsLinesWithEstimates) {
    GridModel g;
    g.setCols(4);
    g.setRows(3);
    g.setFixedCols(0);
    g.setText(1, 0, u"SELECT STATEMENT"_s);
    g.setText(2, 0, u" TABLE ACCESS FULL (APP.EMP)"_s);
    g.setText(2, 1, u"14"_s);
    g.setText(2, 3, u"512"_s);
    EXPECT_EQ(planClipboardText(g),
              QStringLiteral("1\tSELECT STATEMENT\r\n"
                             "2\t TABLE ACCESS FULL (APP.EMP)\t(cardinarity=14 byte=512)\r\n"));
    g.setText(1, 2, u"3"_s);
    EXPECT_TRUE(planClipboardText(g).startsWith(u"1\tSELECT STATEMENT\t(cost=3)\r\n"_s));
    g.setVisible(false);
    EXPECT_TRUE(planClipboardText(g).isNull());
}
