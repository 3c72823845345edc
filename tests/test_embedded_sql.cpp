// Statements and results of the embedded engine: names with #, hierarchical queries, values,
// field types and sizes, row counts and errors, all against real SQLite files.
#include "embedded/fieldtypes.h"
#include "embedded/hierarchical.h"
#include "embedded/sqltokens.h"
#include "support/embeddedfixture.h"

#include <sqlite3.h>

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

QString quoted(const QString& sql) {
    return quoteIdentifiers(sql, tokenize(sql));
}

TEST(EmbeddedTokens, QuotesNamesWithHashOnlyOutsideLiteralsAndComments) {
    EXPECT_EQ(quoted("SELECT *FROM V$SESSTAT A WHERE A.STATISTIC# = 1"),
              "SELECT *FROM V$SESSTAT A WHERE A.[STATISTIC#] = 1");
    EXPECT_EQ(quoted("select 'a#b', \"c#\" from t -- x#\n/* y# */ where s#=1"),
              "select 'a#b', \"c#\" from t -- x#\n/* y# */ where [s#]=1");
    EXPECT_EQ(quoted("select 'it''s #' from dual"), "select 'it''s #' from dual");
    const QString plain = "select a from t where b = 'x'";
    EXPECT_EQ(quoted(plain), plain);
}

class EmbeddedSql : public EmbeddedTest {
  protected:
    void SetUp() override {
        db_ = connect();
        db_->execute(
            "create table emp (empno number(4), ename varchar2(10), mgr number(4), "
            "\"SAL#\" number(7,2))");
        // A small organisation; rows are inserted out of tree order on purpose.
        db_->execute(
            "insert into emp values (7566, 'JONES', 7839, 2975), "
            "(7839, 'KING', null, 5000), (7902, 'FORD', 7566, 3000), "
            "(7698, 'BLAKE', 7839, 2850), (7369, 'SMITH', 7902, 800), "
            "(7499, 'ALLEN', 7698, 1600)");
    }
    std::unique_ptr<EmbeddedDatabase> db_;
};

TEST_F(EmbeddedSql, NamesWithHashWorkInEveryClause) {
    db_->execute("create table t# (n# integer, v varchar2(5))");
    db_->execute("insert into t# (n#, v) values (1, 'a'), (2, 'b')");
    auto rs = db_->openRecordset("select n#, v from t# where n# > 1 order by n#");
    EXPECT_EQ(rs->field(0).name, "n#");
    EXPECT_EQ(rs->value("N#").toLongLong(), 2);
    EXPECT_EQ(rs->value(1).toString(), "b");
}

TEST_F(EmbeddedSql, HierarchicalQueryReturnsTreeOrderWithLevels) {
    const auto rows = readAll(*db_,
                              "select ename, level, LEVEL - 1 from emp start with mgr is null "
                              "connect by prior empno = mgr");
    std::vector<std::pair<QString, int>> got;
    for (const auto& r : rows)
        got.emplace_back(r[0].toString(), r[1].toInt());
    // Depth-first; siblings in the order their rows were stored.
    const std::vector<std::pair<QString, int>> expected = {
        {"KING", 1}, {"JONES", 2}, {"FORD", 3}, {"SMITH", 4}, {"BLAKE", 2}, {"ALLEN", 3}};
    EXPECT_EQ(got, expected);
    for (const auto& r : rows)
        EXPECT_EQ(r[2].toInt(), r[1].toInt() - 1);
}

TEST_F(EmbeddedSql, HierarchicalQueryNamesColumnsAsOracleHeadsThem) {
    auto rs = db_->openRecordset(
        "SELECT e.ename, LEVEL - 1, sal# pay, upper(ename) FROM emp e "
        "START WITH mgr IS NULL CONNECT BY PRIOR e.empno = e.mgr");
    ASSERT_EQ(rs->fieldCount(), 4);
    EXPECT_EQ(rs->field(0).name, "ENAME");
    EXPECT_EQ(rs->field(1).name, "LEVEL-1");
    EXPECT_EQ(rs->field(2).name, "pay");
    EXPECT_EQ(rs->field(3).name, "UPPER(ENAME)");
    // A plain column keeps its declared type and size.
    EXPECT_EQ(rs->field(0).type, dbText);
    EXPECT_EQ(rs->field(0).size, 10);
}

TEST_F(EmbeddedSql, HierarchicalQueryFiltersAfterBuildingAndSortsWholeResult) {
    // WHERE drops rows but not their subtrees; ORDER BY sorts everything, ties in tree order.
    const auto rows = readAll(*db_,
                              "select ename from emp where ename <> 'JONES' start with mgr is "
                              "null connect by prior empno = mgr and sal# > 1000 order by level "
                              "desc");
    QStringList names;
    for (const auto& r : rows)
        names << r[0].toString();
    // SMITH (800) fails the CONNECT BY condition, so FORD has no child.
    EXPECT_EQ(names, QStringList({"FORD", "ALLEN", "BLAKE", "KING"}));
}

TEST_F(EmbeddedSql, HierarchicalQueryStopsAtCycles) {
    db_->execute("update emp set mgr = 7369 where ename = 'KING'");
    const auto rows = readAll(*db_,
                              "select ename from emp start with ename = 'KING' connect by "
                              "nocycle prior empno = mgr");
    EXPECT_EQ(rows.size(), 6u);
}

TEST_F(EmbeddedSql, HierarchicalFormsItCannotRunAreRefused) {
    for (const QString sql : {"select ename from emp, emp e2 connect by prior empno = mgr",
                              "select mgr, count(*) from emp connect by prior empno = mgr "
                              "group by mgr",
                              "select ename from emp connect by prior empno = mgr order "
                              "siblings by ename"}) {
        try {
            db_->openRecordset(sql);
            ADD_FAILURE() << sql.toStdString();
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), kErrOdbcCall);
            EXPECT_TRUE(e.description().contains("not supported")) << e.what();
        }
    }
}

TEST_F(EmbeddedSql, ValuesComeAsTheirStorageClass) {
    db_->execute("create table v (i integer, r real, t text, b blob, n integer)");
    db_->execute("insert into v values (42, 2.5, '日本語', x'0AFF', null)");
    auto rs = db_->openRecordset("select * from v");
    EXPECT_EQ(rs->value(0).typeId(), QMetaType::LongLong);
    EXPECT_EQ(rs->value(0).toLongLong(), 42);
    EXPECT_EQ(rs->value(1).typeId(), QMetaType::Double);
    EXPECT_EQ(rs->value(2).toString(), QString::fromUtf8("日本語"));
    EXPECT_EQ(rs->value(3).toByteArray(), QByteArray("\x0A\xFF", 2));
    EXPECT_TRUE(rs->value(4).isNull());
}

TEST(EmbeddedFieldTypes, DeclaredTypesGiveCodesAndSizes) {
    struct Case {
        const char* decl;
        int type;
        int64_t size;
    };
    const Case cases[] = {
        {"varchar2(30)", dbText, 30},
        {"VARCHAR(255)", dbText, 255},
        {"text", dbText, kUnsizedText},
        {"char(3)", dbText, 3},
        {"long", dbMemo, kUnsizedText},
        {"CLOB", dbMemo, kUnsizedText},
        {"long raw", dbLongBinary, kUnsizedText},
        {"raw(16)", dbVarBinary, 16},
        {"blob", dbVarBinary, kUnsizedText},
        {"number(10)", dbBigInt, 10},
        {"number(4)", dbInteger, 4},
        {"number(7)", dbLong, 7},
        {"number(7,2)", dbNumeric, 7},
        {"numeric", dbNumeric, kUnsizedNumber},
        {"integer", dbLong, 10},
        {"bigint", dbBigInt, 19},
        {"real", dbDouble, kUnsizedNumber},
        {"date", dbDate, kDateSize},
        {"timestamp", dbDate, kTimestampSize},
    };
    for (const Case& c : cases) {
        const FieldInfo f = describeColumn("c", c.decl, SQLITE_TEXT);
        EXPECT_EQ(f.type, c.type) << c.decl;
        EXPECT_EQ(f.size, c.size) << c.decl;
    }
}

TEST(EmbeddedFieldTypes, ExpressionsAreTypedByTheirFirstValue) {
    EXPECT_EQ(describeColumn("x", "", SQLITE_INTEGER).type, dbBigInt);
    EXPECT_EQ(describeColumn("x", "", SQLITE_FLOAT).type, dbDouble);
    EXPECT_EQ(describeColumn("x", "", SQLITE_TEXT).type, dbText);
    EXPECT_EQ(describeColumn("x", "", SQLITE_BLOB).type, dbVarBinary);
    EXPECT_EQ(describeColumn("x", "", SQLITE_NULL).type, dbText);
    for (int storage : {SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL})
        EXPECT_GT(describeColumn("x", "", storage).size, 0);
}

TEST_F(EmbeddedSql, ResultFieldsCarryDeclaredTypes) {
    auto rs = db_->openRecordset("select ename, empno, sal#, ename || '!' from emp");
    EXPECT_EQ(rs->field(0).type, dbText);
    EXPECT_EQ(rs->field(0).size, 10);
    EXPECT_EQ(rs->field(1).type, dbInteger);
    EXPECT_EQ(rs->field(2).type, dbNumeric);
    EXPECT_EQ(rs->field(3).type, dbText);
    EXPECT_THROW(rs->field(4), DbError);
}

TEST_F(EmbeddedSql, RecordsAffectedCountsChangesOnlyForStatementsWithoutRows) {
    auto rs = db_->openRecordset("update emp set sal# = sal# + 1 where mgr = 7839");
    EXPECT_TRUE(rs->eof());
    EXPECT_EQ(rs->fieldCount(), 0);
    EXPECT_EQ(db_->recordsAffected(), 2);
    db_->execute("create table other (x)");
    EXPECT_EQ(db_->recordsAffected(), 0);
    scalar(*db_, "select count(*) from emp");
    EXPECT_EQ(db_->recordsAffected(), 0);
    db_->execute("delete from emp");
    EXPECT_EQ(db_->recordsAffected(), 6);
}

TEST_F(EmbeddedSql, QueryWithoutRowsKeepsItsFields) {
    auto rs = db_->openRecordset("select ename, empno from emp where 1 = 0");
    EXPECT_TRUE(rs->eof());
    ASSERT_EQ(rs->fieldCount(), 2);
    EXPECT_EQ(rs->field(0).size, 10);
    EXPECT_EQ(rs->skipToEnd(), 0);
}

TEST_F(EmbeddedSql, SkipToEndCountsTheCurrentRowAndTheRest) {
    auto rs = db_->openRecordset("select ename from emp order by empno");
    EXPECT_EQ(rs->value(0).toString(), "SMITH");
    rs->moveNext();
    EXPECT_EQ(rs->skipToEnd(), 5);
    EXPECT_TRUE(rs->eof());
    EXPECT_THROW(rs->value(0), DbError);
    EXPECT_THROW(rs->moveNext(), DbError);
}

TEST_F(EmbeddedSql, ErrorsCarrySqliteMessageAndLeaveTheFileUsable) {
    auto expectError = [&](const QString& sql, const QString& text) {
        try {
            db_->openRecordset(sql);
            ADD_FAILURE() << "no error for " << sql.toStdString();
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), kErrOdbcCall);
            EXPECT_TRUE(e.description().contains(text)) << e.what();
        }
    };
    expectError("selec * from emp", "near \"selec\": syntax error");
    expectError("select * from nothing_here", "no such table: nothing_here");
    expectError("select 1; select 2", "one statement");
    expectError("insert into emp (nope) values (1)", "no column");
    EXPECT_EQ(scalar(*db_, "select count(*) from emp").toInt(), 6);
}

TEST_F(EmbeddedSql, EverythingFailsWithObjectInvalidAfterClose) {
    auto rs = db_->openRecordset("select ename from emp");
    db_->close();
    EXPECT_FALSE(db_->isOpen());
    auto number = [](auto&& call) {
        try {
            call();
        } catch (const DbError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number([&] { db_->execute("select 1"); }), kErrObjectInvalid);
    EXPECT_EQ(number([&] { db_->openRecordset("select 1"); }), kErrObjectInvalid);
    EXPECT_EQ(number([&] { db_->recordsAffected(); }), kErrObjectInvalid);
    EXPECT_EQ(number([&] { rs->moveNext(); }), kErrObjectInvalid);
    EXPECT_EQ(number([&] { rs->value(0); }), kErrObjectInvalid);
    db_->close();  // a second close is harmless

    auto again = connect();
    EXPECT_EQ(scalar(*again, "select count(*) from emp").toInt(), 6);
    auto closedResult = again->openRecordset("select 1");
    closedResult->close();
    EXPECT_EQ(number([&] { closedResult->eof(); }), kErrObjectInvalid);
}

TEST_F(EmbeddedSql, OpeningFailsClearlyForMissingFolderOrForeignFile) {
    try {
        EmbeddedDatabase db(dir_.filePath("no/such/folder/x.db"), "u");
        ADD_FAILURE();
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), kErrOdbcCall);
        EXPECT_TRUE(e.description().contains("does not exist")) << e.what();
    }
    QFile foreign(dir_.filePath("notes.txt"));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write(QByteArray(2048, 'x'));
    foreign.close();
    EXPECT_THROW(EmbeddedDatabase(foreign.fileName(), "u"), DbError);
}

}  // namespace
