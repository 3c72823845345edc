#include "core/tuning/gridactions.h"
#include "core/window/querywindowmodel.h"
#include "support/tempprogram.h"
#include "support/testport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

// Fills `g` with `rows`, the first one its header.
void fill(GridModel& g, const QList<QStringList>& rows) {
    g.setRows(static_cast<int>(rows.size()));
    g.setCols(static_cast<int>(rows[0].size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            g.setText(r, c, rows[r][c]);
}

// Row 2 holds a null, row 3 the text "(null)".
void fillResult(GridModel& g) {
    fill(g, {{u"ROWNUM"_s, u"STATUS"_s, u"NAME"_s},
             {{}, u"OPEN"_s, u"O'Brien"_s},
             {{}, u"(null)"_s},
             {{}, u"(null)"_s}});
    g.setCellNull(2, 1, true);
}

}  // namespace

TEST(GridActions, ConditionsAreValidSql) {
    GridModel g;
    fillResult(g);
    const auto condition = [&](int r, int c) { return conditionFromCell(g, r, c).condition; };
    EXPECT_EQ(condition(2, 1), u"STATUS IS NULL"_s);
    EXPECT_EQ(condition(3, 1), u"STATUS = '(null)'"_s);
    EXPECT_EQ(condition(1, 1), u"STATUS = 'OPEN'"_s);
    EXPECT_EQ(condition(9, 1), QString());
    g.setText(2, 1, u"later"_s);
    EXPECT_EQ(condition(2, 1), u"STATUS = 'later'"_s) << "a rewritten cell is no longer null";
    g.setCellKind(2, 1, CellKind::Cut);
    EXPECT_EQ(conditionFromCell(g, 2, 1).reason, kMsgCellTooLong);
    EXPECT_EQ(condition(2, 1), QString());
    // Headings Oracle would not read unquoted as themselves are quoted.
    QStringList names;
    for (const char* h : {"SAL#", "Customer Name", "COUNT(*)", "name", "1X", "A\"B"})
        names << sqlColumnName(QString::fromUtf8(h));
    EXPECT_EQ(names, (QStringList{u"SAL#"_s, u"\"Customer Name\""_s, u"\"COUNT(*)\""_s,
                                  u"\"name\""_s, u"\"1X\""_s, u"\"A\"\"B\""_s}));
}

TEST(GridActions, DoubleClickReplacesTheSelectionWithTheConditionAndFocusesTheSqlBox) {
    test::TempProgram tmp;
    test::TestPort port;
    QueryWindowModel m(tmp.program(), port);
    m.load();
    fillResult(m.resultGrid());
    port.sql = u"where XXX"_s;
    port.selStart = 6;
    port.selLength = 3;
    m.insertConditionFromCell(1, 2);
    EXPECT_EQ(port.sql, u"where NAME = 'O''Brien'"_s);
    EXPECT_EQ(port.events.last(), u"focusSql"_s);
    m.insertConditionFromCell(0, 2);
    EXPECT_EQ(port.sql, u"where NAME = 'O''Brien'"_s) << "a header inserts nothing";
    m.resultGrid().setCellKind(1, 2, CellKind::Unread);
    m.insertConditionFromCell(1, 2);
    EXPECT_EQ(std::tuple(port.sql, port.events.last()),
              std::tuple(u"where NAME = 'O''Brien'"_s, u"status "_s + kMsgCellNotRead));
}

TEST(GridActions, PlanCopiesAsLinesWithEstimates) {
    GridModel g;
    fill(g, {QStringList(4, QString()),
             {u"SELECT STATEMENT"_s},
             {u" SORT ORDER BY"_s, {}, u"3"_s},
             {u"  TABLE ACCESS FULL (APP.EMP)"_s, u"14"_s, u"7"_s, u"512"_s}});
    EXPECT_EQ(planClipboardText(g),
              u"1\tSELECT STATEMENT\r\n2\t SORT ORDER BY\t(cost=3)\r\n"
              u"3\t  TABLE ACCESS FULL (APP.EMP)\t(cardinarity=14 cost=7 byte=512)\r\n"_s);
    g.setVisible(false);
    EXPECT_TRUE(planClipboardText(g).isNull());
}

// What a spreadsheet would run as a formula is written as text; numbers stay numbers, and the
// clipboard keeps the cells as they are.
TEST(GridActions, CsvWritesFormulasAsTextAndNumbersAsNumbers) {
    GridModel g;
    fill(g, {{u"=HYPERLINK(\"http://x\",\"y\")"_s, u"A"_s, u"B"_s, u"C"_s},
             {u"=cmd|' /C calc'!A0"_s, u"+1+2"_s, u"@SUM(1)"_s, u"\tx"_s},
             {u"-5"_s, u"+3.2"_s, u"-1.5E+10"_s, u"-.5"_s},
             {u"\rx"_s, u"-"_s, u"a=b"_s, u"- 5"_s}});
    g.setFixedRows(1);
    EXPECT_EQ(gridCsv(g),
              u"\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",A,B,C\r\n"
              u"'=cmd|' /C calc'!A0,'+1+2,'@SUM(1),'\tx\r\n"
              u"-5,+3.2,-1.5E+10,-.5\r\n"
              u"\"'\rx\",'-,a=b,'- 5\r\n"_s);
    EXPECT_EQ(gridCellsText(g, {1}, {1, 2}, u'\t', u"\n"_s), u"A\tB\n+1+2\t@SUM(1)\n"_s);
}
