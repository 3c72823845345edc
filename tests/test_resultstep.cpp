#include "core/tuning/resultstep.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {

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
        fillResultGrid(w, w.query, w.data, result);
    }
    test::TestRunWindow w;
    ResultState result;
};

}  // namespace

TEST_F(ResultTest, LayoutHeadersWidthsAndCells) {
    Reply r;
    r.fields = {{u"ID"_s, FieldType::Numeric, 10},
                {u"NAME"_s, FieldType::Text, 20},
                {u"NOTE"_s, FieldType::LongText, 4000},
                {u"RAW"_s, FieldType::VarBinary, 2000},
                {u"SCORE"_s, FieldType::Double, 0}};
    r.rows = {{qlonglong(1), u"O'Brien"_s, u"long text"_s, QByteArray("\x0a\xff", 2), 1.5},
              {qlonglong(2), QVariant(), u"more"_s, QVariant(), QVariant()}};
    w.data.setVisible(false);
    run(r);
    const GridModel& g = w.data;
    EXPECT_TRUE(g.visible());
    EXPECT_EQ((QList<int>{g.rows(), g.cols(), g.fixedRows(), g.fixedCols()}),
              (QList<int>{3, 6, 1, 1}));
    EXPECT_EQ(row(g, 0),
              (QStringList{u"ROWNUM"_s, u"ID"_s, u"NAME"_s, u"NOTE"_s, u"RAW"_s, u"SCORE"_s}));
    // 90 twips a blank; 2000 blanks are capped at 5000 twips; size 0 gives a hidden column.
    EXPECT_EQ(
        (QList<int>{g.colWidth(0), g.colWidth(1), g.colWidth(2), g.colWidth(4), g.colWidth(5)}),
        (QList<int>{700, 900, 1800, 5000, 0}));
    EXPECT_EQ(row(g, 1), (QStringList{u"1"_s, u"1"_s, u"O'Brien"_s, {}, u"(0AFF)"_s, u"1.5"_s}));
    EXPECT_EQ(row(g, 2), (QStringList{u"2"_s, u"2"_s, u"(null)"_s, {}, u"(null)"_s, u"(null)"_s}));
    EXPECT_EQ(result.rowCount, 2);
    EXPECT_EQ(toHex(QByteArray("\x00\x0f\x10", 3)), u"000F10"_s);
}

// Past 32767 so that no 16-bit count or row number survives.
TEST_F(ResultTest, RowsBeyondTheLimitAreCountedNotShown) {
    w.options.set(&Settings::maxDisplayRows, 40000);
    for (int n : {40000, 40001}) {
        run(test::numberRows(n));
        EXPECT_EQ(result.rowCount, n);
        EXPECT_EQ(result.rowsOverMax, n > 40000) << "exactly the limit is not over it";
        EXPECT_EQ(w.data.rows(), 40001);
        EXPECT_EQ(w.data.text(40000, 0), u"40000"_s);
    }
    w.options.set(&Settings::maxDisplayRows, 0);
    run(Reply::table({u"M"_s}, {{1}, {2}}));
    EXPECT_EQ(row(w.data, 0), (QStringList{u"ROWNUM"_s, u"M"_s}));
    EXPECT_EQ(w.data.rows(), 1) << "a limit of 0 still lays out the headers";
    EXPECT_EQ(w.data.text(1, 0), QString());
    EXPECT_EQ(result.rowCount, 2);
}

TEST_F(ResultTest, EmptyResultsAndChangesAreCountedAndAFailedFetchKeepsTheOldCount) {
    // A result without rows shows its own headings, never the rows of the run before.
    result.rowCount = 9;
    result.rowsOverMax = true;
    run(test::numberRows(5));
    w.data.setVisible(false);
    run(Reply::table({u"OTHER"_s}, {}));
    EXPECT_EQ(std::pair(result.rowCount, result.rowsOverMax), std::pair(int64_t(0), false));
    EXPECT_EQ(std::tuple(w.data.visible(), w.data.rows(), w.data.text(0, 1)),
              std::tuple(true, 1, u"OTHER"_s));
    // A change, of rows or of none, has no rows to show.
    for (int64_t changed : {3, 0}) {
        w.data.setVisible(false);
        run(Reply::updated(changed));
        EXPECT_EQ(result.rowCount, changed);
        EXPECT_FALSE(w.data.visible()) << changed;
    }
    run(Reply::updated(3));

    Reply broken = test::numberRows(10);
    broken.failAfterRows = 4;
    broken.fetchError = DbError(kErrOdbcCall, u"ORA-03113: end-of-file on communication channel"_s);
    EXPECT_THROW(run(broken), DbError);
    EXPECT_FALSE(w.data.visible());
    EXPECT_EQ(result.rowCount, 3);
}

// Huge values keep their first 64 K characters and say how much is left out, so that the
// memory a result takes does not grow with the size of its values.
TEST_F(ResultTest, HugeCellsKeepTheirStartOnly) {
    const QString mb(1 << 20, u'x');
    QList<QVariantList> rows;
    for (int i = 0; i < 20; ++i)
        rows.append(QVariantList{mb, QByteArray(1 << 20, '\x0f')});
    Reply reply = Reply::table({u"T"_s, u"B"_s}, rows);
    reply.fields[1].type = FieldType::VarBinary;
    run(reply);
    const QString cut = u"…（以下%1文字省略）"_s;
    EXPECT_EQ(w.data.text(20, 1), mb.left(kMaxCellChars) + cut.arg((1 << 20) - kMaxCellChars));
    EXPECT_TRUE(w.data.text(20, 2).endsWith(cut.arg(2 + (2 << 20) - kMaxCellChars)));
    EXPECT_LT(w.data.memoryUsage(), size_t(20 * 2 * 150 * 1024));
}
