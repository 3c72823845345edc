#include "support/testrunwindow.h"
#include "tuning/resultgrid.h"

#include <gtest/gtest.h>

using namespace qv;
using test::Reply;

namespace {

Reply mixedResult() {
    Reply r;
    r.fields = {FieldInfo{QStringLiteral("ID"), dbNumeric, 10},
                FieldInfo{QStringLiteral("NAME"), dbText, 20},
                FieldInfo{QStringLiteral("NOTE"), dbMemo, 4000},
                FieldInfo{QStringLiteral("RAW"), dbVarBinary, 2000},
                FieldInfo{QStringLiteral("EMPTYSIZE"), dbText, 0}};
    r.rows = {{qlonglong(1), QStringLiteral("O'Brien"), QStringLiteral("long text"),
               QByteArray("\x0a\xff", 2), QStringLiteral("x")},
              {qlonglong(2), QVariant(), QStringLiteral("more"), QVariant(), QVariant()}};
    return r;
}

QList<QVariantList> numbers(int n) {
    QList<QVariantList> rows;
    rows.reserve(n);
    for (int i = 1; i <= n; ++i)
        rows.append(QVariantList{i});
    return rows;
}

}  // namespace

TEST(ResultGrid, LayoutHeadersWidthsAndCells) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("select * from t");
    w.script->onText(w.sql, mixedResult());
    w.data.setVisible(false);
    setGrid(3, w, w.query, w.data);

    const GridModel& g = w.data;
    EXPECT_TRUE(g.visible());
    EXPECT_EQ(g.rows(), 3);
    EXPECT_EQ(g.cols(), 6);
    EXPECT_EQ(g.fixedRows(), 1);
    EXPECT_EQ(g.fixedCols(), 1);
    const QStringList headers = {QStringLiteral("ROWNUM"), QStringLiteral("ID"),
                                 QStringLiteral("NAME"),   QStringLiteral("NOTE"),
                                 QStringLiteral("RAW"),    QStringLiteral("EMPTYSIZE")};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(g.text(0, c), headers[c]);
    EXPECT_EQ(g.colWidth(0), 700);
    EXPECT_EQ(g.colWidth(1), 10 * 90);
    EXPECT_EQ(g.colWidth(2), 20 * 90);
    EXPECT_EQ(g.colWidth(4), 5000) << "2000 blanks are capped at 5000 twips";
    EXPECT_EQ(g.colWidth(5), 0);

    EXPECT_EQ(g.text(1, 0), QStringLiteral("1"));
    EXPECT_EQ(g.text(1, 1), QStringLiteral("1"));
    EXPECT_EQ(g.text(1, 2), QStringLiteral("O'Brien"));
    EXPECT_EQ(g.text(1, 3), QString()) << "long text is not read";
    EXPECT_EQ(g.text(1, 4), QStringLiteral("(0AFF)"));
    EXPECT_EQ(g.text(2, 0), QStringLiteral("2"));
    EXPECT_EQ(g.text(2, 2), QStringLiteral("(null)"));
    EXPECT_TRUE(g.cellIsNull(2, 2));
    EXPECT_FALSE(g.cellIsNull(1, 2));
    EXPECT_EQ(g.text(2, 4), QStringLiteral("(null)"));
    EXPECT_EQ(w.result.rowCount, 2);
    EXPECT_FALSE(w.result.rowsOverMax);
}

TEST(ResultGrid, RowsBeyondTheLimitAreCountedNotShown) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("select n from t");
    w.script->onText(w.sql, Reply::table({QStringLiteral("N")}, numbers(1500)));
    setGrid(3, w, w.query, w.data);
    EXPECT_EQ(w.result.rowCount, 1500);
    EXPECT_TRUE(w.result.rowsOverMax);
    EXPECT_EQ(w.data.rows(), 1001);
    EXPECT_EQ(w.data.text(1000, 1), QStringLiteral("1000"));

    w.options.maxDispRows = 1500;
    setGrid(3, w, w.query, w.data);
    EXPECT_FALSE(w.result.rowsOverMax) << "exactly the limit is not over it";
    EXPECT_EQ(w.data.rows(), 1501);
}

TEST(ResultGrid, MoreThan32767RowsAreCountedExactly) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("select n from big");
    w.script->onText(w.sql, Reply::table({QStringLiteral("N")}, numbers(40000)));
    w.options.maxDispRows = 40000;
    setGrid(3, w, w.query, w.data);
    EXPECT_EQ(w.result.rowCount, 40000);
    EXPECT_EQ(w.data.text(40000, 0), QStringLiteral("40000"));
    EXPECT_EQ(w.data.text(32768, 1), QStringLiteral("32768"));
}

TEST(ResultGrid, LimitZeroStillLaysOutTheHeaders) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("select n from t");
    w.options.maxDispRows = 0;
    w.script->onText(w.sql, Reply::table({QStringLiteral("N")}, numbers(5)));
    setGrid(3, w, w.query, w.data);
    EXPECT_EQ(w.data.rows(), 2);
    EXPECT_EQ(w.data.text(0, 1), QStringLiteral("N"));
    EXPECT_EQ(w.data.text(1, 0), QString());
    EXPECT_EQ(w.result.rowCount, 5);
    EXPECT_TRUE(w.result.rowsOverMax);
}

TEST(ResultGrid, EmptyResultKeepsTheOldCellsAndShowsThem) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("select * from t");
    w.script->onText(w.sql, mixedResult(), 1);
    setGrid(3, w, w.query, w.data);
    w.data.setVisible(false);
    w.script->onText(w.sql, Reply::table({QStringLiteral("OTHER")}, {}));
    setGrid(3, w, w.query, w.data);
    EXPECT_TRUE(w.data.visible());
    EXPECT_EQ(w.data.text(0, 1), QStringLiteral("ID"));
    EXPECT_EQ(w.data.text(1, 2), QStringLiteral("O'Brien"));
    EXPECT_EQ(w.result.rowCount, 0);
}

TEST(ResultGrid, ChangedRowsAreCountedAndTheGridIsLeftAlone) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("delete from t");
    w.script->onText(w.sql, Reply::updated(3));
    w.data.setVisible(false);
    w.data.setText(1, 1, QStringLiteral("old"));
    setGrid(3, w, w.query, w.data);
    EXPECT_EQ(w.result.rowCount, 3);
    EXPECT_FALSE(w.result.rowsOverMax);
    EXPECT_FALSE(w.data.visible());
    EXPECT_EQ(w.data.text(1, 1), QStringLiteral("old"));
}

TEST(ResultGrid, FetchFailureEndsTheStepWithRowsSoFarHidden) {
    test::TestRunWindow w;
    w.sql = QStringLiteral("select n from t");
    Reply r = Reply::table({QStringLiteral("N")}, numbers(10));
    r.failAfterRows = 4;
    r.fetchError =
        DbError(kErrOdbcCall, QStringLiteral("ORA-03113: end-of-file on communication channel"));
    w.script->onText(w.sql, r);
    w.data.setVisible(false);
    w.result = ResultState{9, true};
    try {
        setGrid(3, w, w.query, w.data);
        ADD_FAILURE() << "no error";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("ORA-03113")));
    }
    EXPECT_FALSE(w.data.visible());
    EXPECT_EQ(w.data.text(4, 1), QStringLiteral("4"));
    EXPECT_EQ(w.result.rowCount, 9);
    EXPECT_TRUE(w.result.rowsOverMax);
}

TEST(ResultGrid, HexAndCellTexts) {
    EXPECT_EQ(toHex(QByteArray()), QString());
    EXPECT_EQ(toHex(QByteArray("\x00\x0f\x10\xab", 4)), QStringLiteral("000F10AB"));
    EXPECT_EQ(resultCellText(QVariant(), dbText), QStringLiteral("(null)"));
    EXPECT_EQ(resultCellText(QVariant(1.5), dbDouble), QStringLiteral("1.5"));
    EXPECT_EQ(resultCellText(QVariant(QStringLiteral("2026-03-05 09:07:03")), dbDate),
              QStringLiteral("2026-03-05 09:07:03"));
    EXPECT_EQ(resultCellText(QVariant(QByteArray("\x0a\xff", 2)), dbVarBinary),
              QStringLiteral("(0AFF)"));
}
