// Statements and results of the embedded engine: names with #, hierarchical queries, values,
// field types and sizes, row counts and errors, all against real SQLite files.
#include "core/embedded/fieldtypes.h"
#include "core/embedded/sqltokens.h"
#include "support/embeddedfixture.h"

#include <sqlite3.h>

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

TEST(EmbeddedSqlText, HashNamesQuotedOutsideLiteralsAndDeclaredTypesGiveCodesAndSizes) {
    const auto quoted = [](const QString& sql) { return quoteIdentifiers(sql, tokenize(sql)); };
    EXPECT_EQ(quoted("SELECT *FROM V$SESSTAT A WHERE A.STATISTIC# = 1"),
              "SELECT *FROM V$SESSTAT A WHERE A.[STATISTIC#] = 1");
    EXPECT_EQ(quoted("select 'a#b', 'it''s #', \"c#\" from t -- x#\n/* y# */ where s#=1"),
              "select 'a#b', 'it''s #', \"c#\" from t -- x#\n/* y# */ where [s#]=1");
    // Declared type, or none for an expression, which the storage class of its first value
    // types like the declared type of that class; type code; defined size.
    // clang-format off
    const std::tuple<const char*, int, FieldType, int64_t> cases[] = {
        {"varchar2(30)", 0, FieldType::Text, 30}, {"text", 0, FieldType::Text, kUnsizedText},
        {"char(3)", 0, FieldType::Text, 3}, {"CLOB", 0, FieldType::LongText, kUnsizedText},
        {"long", 0, FieldType::LongText, kUnsizedText}, {"long raw", 0, FieldType::LongBinary, kUnsizedText},
        {"raw(16)", 0, FieldType::VarBinary, 16}, {"blob", 0, FieldType::VarBinary, kUnsizedText},
        {"number(10)", 0, FieldType::BigInt, 10}, {"number(4)", 0, FieldType::Integer, 4},
        {"number(7)", 0, FieldType::Long, 7}, {"number(7,2)", 0, FieldType::Numeric, 7},
        {"numeric", 0, FieldType::Numeric, kUnsizedNumber}, {"integer", 0, FieldType::Long, 10},
        {"bigint", 0, FieldType::BigInt, 19}, {"real", 0, FieldType::Double, kUnsizedNumber},
        {"date", 0, FieldType::Date, kDateSize}, {"timestamp", 0, FieldType::Date, kTimestampSize},
        {"", SQLITE_INTEGER, FieldType::BigInt, 19}, {"", SQLITE_FLOAT, FieldType::Double, kUnsizedNumber},
        {"", SQLITE_TEXT, FieldType::Text, kUnsizedText}, {"", SQLITE_BLOB, FieldType::VarBinary, kUnsizedText},
        {"", SQLITE_NULL, FieldType::Text, kUnsizedText}};
    // clang-format on
    for (const auto& [decl, storage, type, size] : cases) {
        // A declared type wins over the storage class, whichever it is.
        const FieldInfo f = describeColumn("c", decl, storage ? storage : SQLITE_BLOB);
        EXPECT_EQ(std::pair(f.type, f.size), std::pair(type, size)) << decl << storage;
    }
}

class EmbeddedSql : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        db_->execute(
            "create table emp (empno number(4), ename varchar2(10), mgr number(4), "
            "\"SAL#\" number(7,2))");
        // A small organisation; rows are inserted out of tree order on purpose.
        db_->execute(
            "insert into emp values (7566, 'JONES', 7839, 2975), (7839, 'KING', null, 5000), "
            "(7902, 'FORD', 7566, 3000), (7698, 'BLAKE', 7839, 2850), "
            "(7369, 'SMITH', 7902, 800), (7499, 'ALLEN', 7698, 1600)");
    }
};

TEST_F(EmbeddedSql, HierarchicalQueriesComeInTreeOrderWithLevels) {
    const QString tree = " start with mgr is null connect by prior empno = mgr";
    // Depth-first; siblings in the order their rows were stored.
    EXPECT_EQ(
        rowsOf(*db_, "select ename, level, LEVEL - 1 from emp" + tree),
        QStringList({"KING|1|0", "JONES|2|1", "FORD|3|2", "SMITH|4|3", "BLAKE|2|1", "ALLEN|3|2"}));
    // WHERE drops rows but not their subtrees; SMITH (800) fails the CONNECT BY condition;
    // ORDER BY sorts everything, ties in tree order.
    EXPECT_EQ(rowsOf(*db_, "select ename from emp where ename <> 'JONES'" + tree +
                               " and sal# > 1000 order by level desc"),
              QStringList({"FORD", "ALLEN", "BLAKE", "KING"}));
    // Columns are named as Oracle heads them; a plain column keeps its declared type and size.
    auto rs = db_->openRecordset(
        "SELECT e.ename, LEVEL - 1, sal# pay, upper(ename) FROM emp e "
        "START WITH mgr IS NULL CONNECT BY PRIOR e.empno = e.mgr");
    EXPECT_EQ(fieldNames(*rs), QStringList({"ENAME", "LEVEL-1", "pay", "UPPER(ENAME)"}));
    EXPECT_EQ(rs->field(0).size, 10);
    // A cycle ends its branch.
    db_->execute("update emp set mgr = 7369 where ename = 'KING'");
    EXPECT_EQ(rowsOf(*db_,
                     "select ename from emp start with ename = 'KING' connect by nocycle "
                     "prior empno = mgr"),
              QStringList({"KING", "JONES", "FORD", "SMITH", "BLAKE", "ALLEN"}));
    for (const QString& sql : {"select ename from emp, emp e2" + tree,
                               "select mgr, count(*) from emp" + tree + " group by mgr",
                               "select ename from emp" + tree + " order siblings by ename"})
        EXPECT_TRUE(failsWith([&] { db_->openRecordset(sql); }, kErrOdbcCall, "not supported"));
}

TEST_F(EmbeddedSql, ResultsKeepKindsCountRowsAndErrorsLeaveTheFileUsable) {
    auto rs = db_->openRecordset("select 42, 2.5, '日本語', x'0AFF', null, ename from emp");
    // Qt compares variants of different types as unequal (numbers aside), so kinds count too.
    EXPECT_EQ(QVariantList({rs->value(0), rs->value(1), rs->value(2), rs->value(3), rs->value(4)}),
              QVariantList({42LL, 2.5, QStringLiteral("日本語"), QByteArray("\x0A\xFF", 2), {}}));
    EXPECT_EQ(std::tuple(rs->field(1).type, rs->field(5).type, rs->field(5).size),
              std::tuple(FieldType::Double, FieldType::Text, int64_t(10)));
    // Declared types also without a row.
    rs = db_->openRecordset("select empno, sal# from emp where 1 = 0");
    EXPECT_EQ(std::tuple(rs->eof(), rs->field(0).type, rs->field(1).type),
              std::tuple(true, FieldType::Integer, FieldType::Numeric));
    db_->execute("create table t# (n# integer, v varchar2(5))");
    db_->execute("insert into t# (n#, v) values (1, 'a'), (2, 'b')");
    // Found by name only when the name comes back as written, unquoted.
    EXPECT_EQ(db_->openRecordset("select n#, v from t# where n# > 1 order by n#")->value("N#"),
              QVariant(2LL));
    rs = db_->openRecordset("update emp set sal# = sal# + 1 where mgr = 7839");
    EXPECT_EQ(std::tuple(rs->eof(), rs->fieldCount(), db_->recordsAffected()),
              std::tuple(true, 0, int64_t(2)));
    rs = db_->openRecordset("select ename from emp order by empno");
    EXPECT_EQ(std::pair(db_->recordsAffected(), rs->value(0)),
              std::pair(int64_t(0), QVariant("SMITH")));
    rs->moveNext();
    EXPECT_EQ(rs->skipToEnd(), 5);
    EXPECT_TRUE(failsWith([&] { rs->value(0); }, kErrNoCurrentRecord));
    EXPECT_TRUE(failsWith([&] { rs->moveNext(); }, kErrNoCurrentRecord));
    EXPECT_TRUE(failsWith([&] { rs->field(1); }, kErrItemNotFound));
    const std::pair<const char*, const char*> errors[] = {
        {"selec * from emp", "near \"selec\": syntax error"},
        {"select 1; select 2", "one statement"},
        {"select * from nothing_here", "no such table: nothing_here"},
        {"insert into emp (nope) values (1)", "no column"}};
    for (const auto& [sql, text] : errors)
        EXPECT_TRUE(failsWith([&] { db_->openRecordset(sql); }, kErrOdbcCall, text)) << sql;
    db_->execute("delete from emp");
    EXPECT_EQ(db_->recordsAffected(), 6);
}

TEST_F(EmbeddedSql, OpeningFailsClearlyAndEverythingFailsAfterClose) {
    EXPECT_TRUE(failsWith([&] { EmbeddedDatabase(dir_.filePath("no/such/x.db"), "u"); },
                          kErrOdbcCall, "does not exist"));
    QFile foreign(dir_.filePath("notes.txt"));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly) && foreign.write(QByteArray(2048, 'x')) > 0);
    foreign.close();
    EXPECT_TRUE(failsWith([&] { EmbeddedDatabase(foreign.fileName(), "u"); }, kErrOdbcCall));
    auto open = db_->openRecordset("select ename from emp");
    auto other = connect();
    auto closed = other->openRecordset("select 1");
    closed->close();
    db_->close();
    EXPECT_FALSE(db_->isOpen());
    const std::vector<std::function<void()>> uses = {
        [&] { db_->execute("select 1"); }, [&] { db_->openRecordset("select 1"); },
        [&] { db_->recordsAffected(); },   [&] { open->moveNext(); },
        [&] { open->value(0); },           [&] { closed->eof(); }};
    for (const auto& use : uses)
        EXPECT_TRUE(failsWith(use, kErrObjectInvalid));
    db_->close();  // a second close is harmless
    EXPECT_EQ(rowsOf(*other, "select count(*) from emp"), QStringList("6"));
}

}  // namespace
