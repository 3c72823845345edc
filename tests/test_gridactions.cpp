#include "core/tuning/gridactions.h"

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

}  // namespace

// Each kind of cell gives the condition Oracle takes for its column, or the reason there is none.
TEST(GridActions, ConditionsAreValidSql) {
    GridModel g;
    fill(g, {{u"ROWNUM"_s, u"STATUS"_s, u"PIC"_s, u"HIRED"_s, u"AT"_s, u"SAL*12"_s, u"DOC"_s},
             {{},
              u"O'Brien"_s,
              u"(0AFF)"_s,
              u"2020-01-01 00:00:00"_s,
              u"2020-01-01 10:00:00.5"_s,
              u"12000"_s,
              {}},
             {{}, u"(null)"_s, {}, u"01-JAN-20"_s}});
    g.setCellNull(2, 1, true);
    g.setCellKind(1, 2, CellKind::Binary);
    g.setCellKind(1, 6, CellKind::Unread);
    const QList<FieldInfo> fields = {
        {u"STATUS"_s, FieldType::Text, 10},     {u"PIC"_s, FieldType::VarBinary, 2},
        {u"HIRED"_s, FieldType::Timestamp, 19}, {u"AT"_s, FieldType::Timestamp, 26},
        {u"SAL*12"_s, FieldType::Double, 15},   {u"DOC"_s, FieldType::LongText, 0}};
    const struct {
        int row, col;
        QString condition, reason;
    } cases[] = {
        {1, 1, u"STATUS = 'O''Brien'"_s, {}},
        {2, 1, u"STATUS IS NULL"_s, {}},
        {1, 2, u"PIC = HEXTORAW('0AFF')"_s, {}},
        {1, 3, u"HIRED = TO_DATE('2020-01-01 00:00:00','YYYY-MM-DD HH24:MI:SS')"_s, {}},
        {2, 3, u"HIRED = '01-JAN-20'"_s, {}},  // in the session's own format
        {1, 4, u"AT = TIMESTAMP '2020-01-01 10:00:00.5'"_s, {}},
        {1, 5, {}, kMsgCellExpression},
        {1, 6, {}, kMsgCellNotRead},
        {0, 1, {}, {}},  // a heading
        {9, 1, {}, {}},
    };
    for (const auto& c : cases) {
        const CellCondition got = conditionFromCell(g, fields, c.row, c.col);
        EXPECT_EQ(std::pair(got.condition, got.reason), std::pair(c.condition, c.reason))
            << c.row << ',' << c.col;
    }
    // Headings Oracle would not read unquoted as themselves are quoted.
    QStringList names;
    for (const char* h : {"SAL#", "Customer Name", "name", "1X", "A\"B"})
        names << sqlColumnName(QString::fromUtf8(h));
    EXPECT_EQ(names, (QStringList{u"SAL#"_s, u"\"Customer Name\""_s, u"\"name\""_s, u"\"1X\""_s,
                                  u"\"A\"\"B\""_s}));
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

// A view sorts a column of numbers by value (cells without one last, ties in the grid's order),
// one of text as text, either way round, and can leave out the rows whose number is 0.
TEST(GridActions, RowViewsSortNumbersByValueAndLeaveOutZeros) {
    GridModel g;
    fill(g, {{u"#"_s, u"Value"_s, u"Name"_s},
             {u"1"_s, u"9"_s, u"b"_s},
             {u"2"_s, u"10"_s, u"a"_s},
             {u"3"_s, u"0"_s, u"c"_s},
             {u"4"_s, u"(null)"_s, u"d"_s},
             {u"5"_s, u"-10"_s, u"a"_s}});
    g.setFixedRows(1);
    g.setColNumeric(1, true);
    EXPECT_EQ(viewedRows(g, {1, false, -1}), (QList<int>{5, 3, 1, 2, 4}));
    EXPECT_EQ(viewedRows(g, {1, true, 1}), (QList<int>{2, 1, 5}));
    EXPECT_EQ(viewedRows(g, {2, true, -1}), (QList<int>{4, 3, 1, 2, 5}));
    EXPECT_EQ(viewedRows(g, {}), (QList<int>{1, 2, 3, 4, 5}));
}
