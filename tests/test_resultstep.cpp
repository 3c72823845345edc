#include "core/tuning/resultstep.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {

Reply mixedResult() {
    Reply r;
    r.fields = {{u"ID"_s, FieldType::Numeric, 10},
                {u"NAME"_s, FieldType::Text, 20},
                {u"NOTE"_s, FieldType::LongText, 4000},
                {u"RAW"_s, FieldType::VarBinary, 2000},
                {u"EMPTYSIZE"_s, FieldType::Text, 0}};
    r.rows = {{qlonglong(1), u"O'Brien"_s, u"long text"_s, QByteArray("\x0a\xff", 2), u"x"_s},
              {qlonglong(2), QVariant(), u"more"_s, QVariant(), QVariant()}};
    return r;
}

QList<QVariantList> numbers(int n) {
    QList<QVariantList> rows;
    for (int i = 1; i <= n; ++i)
        rows.append(QVariantList{i});
    return rows;
}

QStringList row(const GridModel& g, int r) {
    QStringList out;
    for (int c = 0; c < g.cols(); ++c)
        out << g.text(r, c);
    return out;
}

class ResultTest : public ::testing::Test {
  protected:
    void run(const Reply& reply) {
        w.script->onText(w.sql, reply, 1);
        fillResultGrid(w, w.query, w.data);
    }
    test::TestRunWindow w;
};

}  // namespace

TEST_F(ResultTest, LayoutHeadersWidthsAndCells) {
    w.sql = u"select * from t"_s;
    w.data.setVisible(false);
    run(mixedResult());
    const GridModel& g = w.data;
    EXPECT_TRUE(g.visible());
    EXPECT_EQ((QList<int>{g.rows(), g.cols(), g.fixedRows(), g.fixedCols()}),
              (QList<int>{3, 6, 1, 1}));
    EXPECT_EQ(row(g, 0),
              (QStringList{u"ROWNUM"_s, u"ID"_s, u"NAME"_s, u"NOTE"_s, u"RAW"_s, u"EMPTYSIZE"_s}));
    // 90 twips a blank; 2000 blanks are capped at 5000 twips; size 0 gives a hidden column.
    EXPECT_EQ(
        (QList<int>{g.colWidth(0), g.colWidth(1), g.colWidth(2), g.colWidth(4), g.colWidth(5)}),
        (QList<int>{700, 900, 1800, 5000, 0}));
    EXPECT_EQ(row(g, 1), (QStringList{u"1"_s, u"1"_s, u"O'Brien"_s, {}, u"(0AFF)"_s, u"x"_s}));
    EXPECT_EQ(row(g, 2), (QStringList{u"2"_s, u"2"_s, u"(null)"_s, {}, u"(null)"_s, u"(null)"_s}));
    EXPECT_TRUE(g.cellIsNull(2, 2));
    EXPECT_FALSE(g.cellIsNull(1, 2));
    EXPECT_EQ(w.result.rowCount, 2);
    EXPECT_FALSE(w.result.rowsOverMax);
}

TEST_F(ResultTest, RowsBeyondTheLimitAreCountedNotShown) {
    run(Reply::table({u"N"_s}, numbers(1500)));
    EXPECT_EQ(w.result.rowCount, 1500);
    EXPECT_TRUE(w.result.rowsOverMax);
    EXPECT_EQ(w.data.rows(), 1001);
    EXPECT_EQ(w.data.text(1000, 1), u"1000"_s);
    w.options.maxDisplayRows = 1500;
    run(Reply::table({u"N"_s}, numbers(1500)));
    EXPECT_FALSE(w.result.rowsOverMax) << "exactly the limit is not over it";
    w.options.maxDisplayRows = 0;
    run(Reply::table({u"M"_s}, numbers(5)));
    EXPECT_EQ(row(w.data, 0), (QStringList{u"ROWNUM"_s, u"M"_s}));
    EXPECT_EQ(w.data.rows(), 2) << "a limit of 0 still lays out the headers";
    EXPECT_EQ(w.data.text(1, 0), QString());
    EXPECT_EQ(w.result.rowCount, 5);
}

TEST_F(ResultTest, MoreThan32767RowsAreCountedExactly) {
    w.options.maxDisplayRows = 40000;
    run(Reply::table({u"N"_s}, numbers(40000)));
    EXPECT_EQ(w.result.rowCount, 40000);
    EXPECT_EQ(w.data.text(40000, 0), u"40000"_s);
}

TEST_F(ResultTest, EmptyResultsAndChangedRowsKeepTheOldCells) {
    run(mixedResult());
    w.data.setVisible(false);
    run(Reply::table({u"OTHER"_s}, {}));
    EXPECT_TRUE(w.data.visible());
    EXPECT_EQ(w.data.text(1, 2), u"O'Brien"_s);
    EXPECT_EQ(w.result.rowCount, 0);
    w.data.setVisible(false);
    run(Reply::updated(3));
    EXPECT_EQ(w.result.rowCount, 3);
    EXPECT_FALSE(w.data.visible());
    EXPECT_EQ(w.data.text(1, 2), u"O'Brien"_s);
}

TEST_F(ResultTest, FetchFailureEndsTheStepWithRowsSoFarHidden) {
    Reply r = Reply::table({u"N"_s}, numbers(10));
    r.failAfterRows = 4;
    r.fetchError = DbError(kErrOdbcCall, u"ORA-03113: end-of-file on communication channel"_s);
    w.data.setVisible(false);
    w.result = ResultState{9, true};
    EXPECT_THROW(run(r), DbError);
    EXPECT_FALSE(w.data.visible());
    EXPECT_EQ(w.data.text(4, 1), u"4"_s);
    EXPECT_EQ(w.result.rowCount, 9) << "a failed step leaves the count as it was";
}

TEST(ResultText, HexAndCellTexts) {
    EXPECT_EQ(toHex(QByteArray()), QString());
    EXPECT_EQ(toHex(QByteArray("\x00\x0f\x10\xab", 4)), u"000F10AB"_s);
    EXPECT_EQ(resultCellText(QVariant(1.5), FieldType::Double), u"1.5"_s);
}
