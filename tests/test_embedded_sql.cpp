// Statements and results of the embedded engine: names with #, hierarchical queries, values,
// field types and sizes, row counts and errors, operator chains, the limits of names and
// nesting, and stops during translation, all against real SQLite files.
#include "core/embedded/service/embeddedengine.h"
#include "core/embedded/translate/oracledialect.h"
#include "core/embedded/values/fieldtypes.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/sqltokens.h"
#include "support/embeddedfixture.h"

#include <QThread>

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {

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

TEST_F(EmbeddedSql, HierarchicalQueriesFilterSortAndNameTheirRowsAsOracleDoes) {
    const QString tree = " start with mgr is null connect by prior empno = mgr";
    // WHERE drops rows but not their subtrees; SMITH (800) fails the CONNECT BY condition;
    // ORDER BY sorts everything, ties in tree order.
    EXPECT_EQ(rowsOf(*db_, "select ename from emp where ename <> 'JONES'" + tree +
                               " and sal# > 1000 order by level desc"),
              QStringList({"FORD", "ALLEN", "BLAKE", "KING"}));
    // Columns are named as Oracle heads them; a plain column keeps its declared type and size.
    auto rs = db_->openRecordset(
        "SELECT e.ename, LEVEL - 1, sal# pay, upper(ename) FROM emp e "
        "START WITH mgr IS NULL CONNECT BY PRIOR e.empno = e.mgr");
    EXPECT_EQ(fieldNames(*rs), QStringList({"ENAME", "LEVEL-1", "PAY", "UPPER(ENAME)"}));
    EXPECT_EQ(rs->field(0).size, 10);
    // A cycle ends its branch.
    db_->execute("update emp set mgr = 7369 where ename = 'KING'");
    EXPECT_EQ(rowsOf(*db_,
                     "select ename from emp start with ename = 'KING' connect by nocycle "
                     "prior empno = mgr"),
              QStringList({"KING", "JONES", "FORD", "SMITH", "BLAKE", "ALLEN"}));
}

TEST_F(EmbeddedSql, ResultsKeepKindsCountRowsAndErrorsLeaveTheFileUsable) {
    // A # inside a literal or a quoted name is left as it is.
    auto rs = db_->openRecordset("select 42, 2.5, 'it''s #', x'0AFF', null as \"n#\" from emp");
    // Qt compares variants of different types as unequal (numbers aside), so kinds count too.
    EXPECT_EQ(QVariantList({rs->value(0), rs->value(1), rs->value(2), rs->value(3), rs->value(4)}),
              QVariantList({42LL, 2.5, QStringLiteral("it's #"), QByteArray("\x0A\xFF", 2), {}}));
    EXPECT_EQ(std::pair(rs->field(3).type, rs->field(4).name),
              std::pair(FieldType::VarBinary, QString("n#")));
    // Declared types also without a row. Long columns are never shown, binary ones in hex, and
    // sizes set the widths.
    db_->execute(
        "create table kinds (a long raw, b clob, c raw(16), d timestamp, e number(4), "
        "f number(7,2))");
    rs = db_->openRecordset("select * from kinds");
    QList<FieldType> types;
    QList<int64_t> sizes;
    for (int i = 0; i < rs->fieldCount(); ++i) {
        types << rs->field(i).type;
        sizes << rs->field(i).size;
    }
    EXPECT_EQ(types, QList({FieldType::LongBinary, FieldType::LongText, FieldType::VarBinary,
                            FieldType::Date, FieldType::Integer, FieldType::Numeric}));
    EXPECT_EQ(sizes, QList<int64_t>({kUnsizedText, kUnsizedText, 16, kTimestampSize, 4, 7}));
    rs = db_->openRecordset("update emp set sal# = sal# + 1 where mgr = 7839");
    EXPECT_EQ(std::tuple(rs->eof(), rs->fieldCount(), db_->recordsAffected()),
              std::tuple(true, 0, int64_t(2)));
    // A name with # is found only when it comes back as written, unquoted.
    rs = db_->openRecordset("select ename, sal# from emp order by empno");
    EXPECT_EQ(std::tuple(db_->recordsAffected(), rs->value(0), rs->value("SAL#")),
              std::tuple(int64_t(0), QVariant("SMITH"), QVariant(800LL)));
    rs->moveNext();
    EXPECT_EQ(rs->skipToEnd(), 5);
    EXPECT_TRUE(failsWith([&] { rs->value(0); }, kErrNoCurrentRecord));
    EXPECT_TRUE(failsWith([&] { rs->moveNext(); }, kErrNoCurrentRecord));
    EXPECT_TRUE(failsWith([&] { rs->field(2); }, kErrItemNotFound));
    // A row that fails while the rest are counted fails the count with its own error, and
    // ends the statement.
    rs = db_->openRecordset(
        "with recursive r(n) as (select 1 union all select n + 1 from r where n < 3000) "
        "select to_number(case n when 2500 then 'x' else '1' end) from r");
    EXPECT_TRUE(failsWith([&] { rs->skipToEnd(); }, kErrOdbcCall, "ORA-01722"));
    EXPECT_TRUE(rs->eof());
    const std::pair<const char*, const char*> errors[] = {
        {"selec * from emp", "near \"selec\": syntax error"},
        {"select 1 from dual; select 2 from dual", "ORA-00911: invalid character"},
        {"select * from nothing_here", "no such table: nothing_here"},
        {"-- only a comment", "ORA-00900: invalid SQL statement"},
        {"\t\r\n/* and another */\t", "ORA-00900: invalid SQL statement"}};
    for (const auto& [sql, text] : errors)
        EXPECT_TRUE(failsWith([&] { db_->openRecordset(sql); }, kErrOdbcCall, text)) << sql;
    db_->execute("delete from emp");
    EXPECT_EQ(db_->recordsAffected(), 6);
}

TEST_F(EmbeddedSql, OpeningFailsClearlyAndEverythingFailsAfterClose) {
    // A service never makes its file: a typo must not give a run against an empty database.
    const QString missing = dir_.filePath("typo.db");
    EXPECT_TRUE(failsWith([&] { openEmbeddedDatabase("sqlite:" + missing, "u"); }, kErrOdbcCall,
                          missing + ": there is no such database file"));
    EXPECT_FALSE(QFileInfo::exists(missing));
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

// Every form of Oracle's SQL the engine promises to understand runs as Oracle runs it; what it
// cannot translate is refused, and SQLite's failures come with Oracle's numbers. Each row is a
// statement and what comes of it: its rows; "ORA-nnnnn...", the error it fails with; or
// "-> text", what translateOracle() makes of it. Rows run in order on one database. NVL, NVL2,
// DECODE, COALESCE, MINUS, UNIQUE and OFFSET ... FETCH in plain queries are the differential
// test's (test_differential.cpp), which runs thousands of them.
TEST_F(EmbeddedSql, OracleFormsRunAsInOracleOrAreRefused) {
    const std::pair<const char*, QStringList> forms[] = {
        {"select 1 from dual", {"1"}},
        {"select dummy from sys.dual", {"X"}},
        {"select count(*) from dual where sysdate > date '2024-01-01' and systimestamp > "
         "current_date - 1 and localtimestamp > timestamp '2024-01-01 10:00:00'",
         {"1"}},
        {"select greatest(3, 7, 5), least(3, 7, 5), greatest(2) from dual", {"7|3|2"}},
        {"select extract(year from date '2024-05-17'), extract(month from date '2024-05-17'), "
         "extract(day from date '2024-05-17') from dual",
         {"2024|5|17"}},
        {"select extract(timezone_hour from systimestamp) from dual", {"ORA-00900"}},
        {"select to_char(date '2024-01-31', 'DD-MON-YYYY'), to_char(to_date('2024/02/29 13:05', "
         "'YYYY/MM/DD HH24:MI'), 'YYYY-MM-DD HH24:MI:SS'), to_number('12.50') * 2, "
         "to_char(1234.5, '9,990.00'), trunc(date '2024-05-17', 'MM') from dual",
         {"31-JAN-2024|2024-02-29 13:05:00|25| 1,234.50|2024-05-01"}},
        {"select add_months(date '2024-01-31', 1), last_day(date '2024-02-10'), "
         "months_between(date '2024-03-31', date '2024-01-31') from dual",
         {"2024-02-29|2024-02-29|2"}},
        // || on a level with + and -, below * and /; division exact.
        {"select 'n=' || 2 * 3, 7 / 2, cast('31-JAN-24' as date) + 1 from dual",
         {"n=6|3.5|2024-02-01"}},
        {"select q'[it's]' || N'!' from dual", {"it's!"}},
        {"select 1 from dual\n/", {"1"}},
        {"select rownum, ename from emp where rownum <= 2", {"1|JONES", "2|KING"}},
        {"select ename from emp where rownum < 2", {"JONES"}},
        {"select ename from emp where 1 = rownum", {"JONES"}},
        // The first two rows found, then sorted: not the first two of the sorted rows.
        {"select ename from emp e where rownum <= 2 order by ename", {"JONES", "KING"}},
        {"select ename from emp where rownum > 2", {"ORA-00900"}},
        {"select ename from emp where rownum <= 2 or mgr is null", {"ORA-00900"}},
        // A percentage rounds up; ties of the last row kept come too, past the skipped rows.
        {"select ename from emp order by sal# desc fetch first 34 percent rows only",
         {"KING", "FORD", "JONES"}},
        {"select mgr from emp order by mgr offset 2 rows fetch next 1 rows with ties",
         {"7839", "7839"}},
        {"select * from (select ename, sal# from emp) order by 2 desc fetch first 2 rows with ties",
         {"KING|5000", "FORD|3000"}},
        // Below zero is zero, a fraction is cut off, NULL keeps no row.
        {"select ename from emp order by sal# fetch first -1 rows only", {}},
        {"select ename from emp order by sal# offset 4.7 rows fetch first 1.9 rows only", {"FORD"}},
        {"select ename from emp order by sal# offset null rows", {}},
        {"select ename from emp union all select ename from emp fetch first 10 percent rows only",
         {"ORA-00900"}},
        {"select ename from emp where mgr = 7839 order by rownum desc", {"BLAKE", "JONES"}},
        {"(select ename from emp where mgr is null) union all (select ename from emp where "
         "empno = 7902)",
         {"KING", "FORD"}},
        {"select level, rownum from dual connect by level <= 3", {"1|1", "2|2", "3|3"}},
        // Depth-first; siblings in the order their rows were stored.
        {"select ename, level, LEVEL - 1 from emp start with mgr is null connect by prior empno "
         "= mgr",
         {"KING|1|0", "JONES|2|1", "FORD|3|2", "SMITH|4|3", "BLAKE|2|1", "ALLEN|3|2"}},
        {"select ename from emp, emp e2 start with mgr is null connect by prior empno = mgr",
         {"ORA-00900"}},
        {"select mgr, count(*) from emp start with mgr is null connect by prior empno = mgr "
         "group by mgr",
         {"ORA-00900"}},
        {"select ename from emp start with mgr is null connect by prior empno = mgr order "
         "siblings by ename",
         {"ORA-00900"}},
        {"create table o (id number(10) primary key, note varchar2(20 char) not null, due date "
         "default sysdate, amount number(*,2), body clob, pic blob, tag raw(16))",
         {}},
        {"insert into o (id, note, due) values (1, 'a', date '2024-01-31')", {}},
        {"select id, note, due + 1 from o", {"1|a|2024-02-01"}},
        {"insert into o (id, note) values (1, 'b')", {"ORA-00001"}},
        {"insert into o (id) values (2)", {"ORA-01400"}},
        {"truncate table o", {"-> DELETE FROM o"}},
        {"truncate table o", {}},
        {"select count(*) from o", {"0"}},
        {"analyze table emp compute statistics", {"-> ANALYZE emp"}},
        {"exec dbms_stats.gather_table_stats('SCOTT', 'EMP')", {"-> ANALYZE \"EMP\""}},
        {"begin dbms_stats.gather_schema_stats(ownname => 'SCOTT'); end;", {}},
        {"select stat from sqlite_stat1 where tbl = 'emp'", {"6"}},
        {"select * from nowhere", {"ORA-00942"}},
        {"select nosuch from emp", {"ORA-00904"}},
        {"insert into emp (nosuch) values (1)", {"ORA-00904"}},
        {"select *", {"ORA-00923"}},
        {"select ename emp x from emp", {"ORA-00923"}},
        {"select * from emp e on e.empno = 1", {"ORA-00933"}},
        {"select * from emp(1)", {"ORA-00933"}},
        {"select * from emp where (empno, mgr) = 1", {"ORA-00920"}},
        {"select ename from emp where", {"ORA-00921"}},
        {"select 1 / 0 from dual", {"ORA-01476"}},
        {"select to_date('2024-02-30', 'YYYY-MM-DD') from dual", {"ORA-01839"}},
    };
    for (const auto& [sql, expected] : forms) {
        const QString text = QString::fromUtf8(sql);
        const QString first = expected.value(0);
        if (first.startsWith("ORA-"))
            EXPECT_TRUE(failsWith([&] { rowsOf(*db_, text); }, kErrOdbcCall, first)) << sql;
        else if (first.startsWith("-> "))
            EXPECT_EQ(translateOracle(ParsedStatement(text)), first.mid(3)) << sql;
        else
            EXPECT_EQ(rowsOf(*db_, text), expected) << sql;
    }
    // Nothing refused ran: the rows are all still there.
    EXPECT_EQ(rowsOf(*db_, "select count(*) from emp"), QStringList("6"));
}

namespace {

// n operands, the i-th (from 1) written by `operand`, joined by `op`.
QString joined(int n, const QString& op, const std::function<QString(int)>& operand) {
    QStringList parts;
    for (int i = 1; i <= n; ++i)
        parts << operand(i);
    return parts.join(op);
}

}  // namespace

// + - and || chains of any length are one call at their level, which applies them from the left
// as Oracle does, with its rules for dates, NULL and text; SQLite alone would nest them as deep
// as they are long. Each row: an expression selected from DUAL and its value, or its error.
// SQLite's rewrite of EXISTS into a join answered wrongly: it counted the rows an OFFSET skips
// before it dropped a row's second match, and lost every row of an EXISTS nested in another
// under an outer join. The engine runs without it.
TEST_F(EmbeddedSql, ExistsAnswersAsOracleWithOffsetsAndNesting) {
    db_->execute("create table e (id number, mgr number)");
    db_->execute("insert into e values (1, null), (2, 1), (3, 1), (4, 3), (5, 1), (6, 5)");
    // The managers are 1, 3 and 5: one is left after two are skipped.
    EXPECT_EQ(rowsOf(*db_,
                     "select id from e where exists (select 1 from e x where x.mgr = "
                     "e.id) offset 2 rows")
                  .size(),
              1);
    db_->execute("create table a (id number)");
    db_->execute("insert into a values (1), (2)");
    db_->execute("create table b (a_id number)");
    EXPECT_EQ(rowsOf(*db_,
                     "select count(*) from a, b where b.a_id(+) = a.id and exists "
                     "(select 1 from e t where exists (select 1 from e p where p.id = "
                     "t.mgr))"),
              QStringList("2"));
}

TEST_F(EmbeddedSql, OperatorChainsOfAnyLengthKeepOraclesOrderAndRules) {
    auto number = [](int i) { return QString::number(i); };
    QString digits;
    for (int i = 1; i <= 1000; ++i)
        digits += number(i);
    const std::pair<QString, QString> chains[] = {
        {joined(32, " + ", [](int) { return QStringLiteral("1"); }), "32"},
        {joined(1000, " + ", number), "500500"},
        {joined(32, " || ", [](int) { return QStringLiteral("'a'"); }), QString(32, u'a')},
        // Split into calls of at most 100, still in order.
        {joined(1000, " || ", number), digits},
        {"0 " + joined(300, " ", [](int i) { return (i % 2 ? "+ " : "- ") + QString::number(i); }),
         "-150"},
        {joined(150, " / ", [](int) { return QStringLiteral("1"); }), "1"},
        {"1000 / 10 / 10 * 3 / 30", "1"},
        // || on a level with + and -, from the left: (1 + 2) || 3, (1 || 2) + 3.
        {"1 + 2 || 3", "33"},
        {"1 || 2 + 3", "15"},
        {"10 - 2 || 1 - 1", "80"},
        {"'a' || null || 'b'", "ab"},
        {"null || null", "null"},
        {"1 + null + 2", "null"},
        {"'x' || null + 1", "ORA-01722"},
        {"date '2024-01-31' + 1 + 1 - 3 + 0.5", "2024-01-30 12:00:00"},
        {"1 + date '2024-02-28' + 1", "2024-03-01"},
        {"date '2024-03-01' - date '2024-02-01' + 1", "30"},
        {"date '2024-01-01' + 1 + date '2024-01-01'", "ORA-00975"},
        {"1 + 1 / 0", "ORA-01476"},
    };
    for (const auto& [expression, value] : chains) {
        const QString sql = "select " + expression + " from dual";
        if (value.startsWith("ORA-"))
            EXPECT_TRUE(failsWith([&] { rowsOf(*db_, sql); }, kErrOdbcCall, value))
                << expression.toStdString();
        else
            EXPECT_EQ(rowsOf(*db_, sql), QStringList(value)) << expression.left(60).toStdString();
    }
}

// Oracle takes names of up to 128 bytes of UTF-8, quoted or not; SQLite would take any.
TEST_F(EmbeddedSql, NamesLongerThan128BytesAreRefused) {
    const QString ascii(128, u'n');
    const QString twoByte(64, QChar(0xE9));      // é: 128 bytes
    const QString threeByte(43, QChar(0x3042));  // あ: 129 bytes in 43 characters
    const std::pair<QString, bool> names[] = {{ascii, true},
                                              {ascii + u'n', false},
                                              {'"' + ascii + '"', true},
                                              {"\"" + ascii + "n\"", false},
                                              {twoByte, true},
                                              {"\"" + threeByte + "\"", false},
                                              {threeByte, false}};
    for (const auto& [name, taken] : names) {
        const QString sql = "select 1 " + name + " from dual";
        if (taken)
            EXPECT_EQ(rowsOf(*db_, sql), QStringList("1")) << name.size();
        else
            EXPECT_TRUE(failsWith([&] { rowsOf(*db_, sql); }, kErrOdbcCall,
                                  "ORA-00972: identifier is too long"))
                << name.size();
    }
    // A literal is no name.
    EXPECT_EQ(rowsOf(*db_, "select length('" + QString(1000, u'x') + "') from dual"),
              QStringList("1000"));
}

// No message names a call the translation wrote in place of an operator.
TEST_F(EmbeddedSql, MessagesNameNoCallOfTheTranslation) {
    db_->execute("create table checked (a number check (a + 1 > 0))");
    const std::pair<std::function<void()>, QString> failures[] = {
        {[&] { db_->execute("insert into checked values (-5)"); },
         "ORA-02290: check constraint (SCOTT.SYS_C0010001) violated"},
        {[] {
             throw oracleFailure(
                 sqlite::Error(SQLITE_ERROR, "too many arguments on function qv_concat"));
         },
         "ORA-00909: invalid number of arguments"}};
    for (const auto& [action, message] : failures)
        EXPECT_EQ(errorOf(action).description(), message);
}

// Groups nest as deep as Oracle nests subqueries, on a thread with as little stack as Windows
// gives one; deeper ones, and what SQLite itself cannot nest, are refused with Oracle's error.
TEST_F(EmbeddedSql, DeepNestingRunsToOraclesLimitAndIsRefusedBeyond) {
    auto parentheses = [](int n) {
        return "select " + QString(n, u'(') + "1" + QString(n, u')') + " from dual";
    };
    auto subqueries = [](int n, const QString& body) {
        return "select " + QString("(select 1 + ").repeated(n) + body +
               QString(" from dual where rownum <= 1)").repeated(n) + " from dual";
    };
    EXPECT_EQ(rowsOf(*db_, parentheses(255)), QStringList("1"));
    for (int n : {256, 10000})
        EXPECT_TRUE(failsWith([&] { rowsOf(*db_, parentheses(n)); }, kErrOdbcCall,
                              "ORA-03095: expression level is too deep, maximum 255"))
            << n;
    EXPECT_TRUE(failsWith([&] { rowsOf(*db_, subqueries(200, "1")); }, kErrOdbcCall,
                          "ORA-03095: expression level is too deep"));
    // A DECODE in another's value is written once, not once per search of the one around it.
    const QString decodes = "select " + QString("decode(").repeated(40) + "ename" +
                            QString(", mgr, 1, empno, 2, 3)").repeated(40) + " from emp";
    EXPECT_LT(translateOracle(ParsedStatement(decodes)).size(), 8 * decodes.size());
    EXPECT_EQ(rowsOf(*db_, decodes + " where empno = 7839"), QStringList("3"));
    const QString deepest = subqueries(254, "(1)");
    bool translated = false;
    std::unique_ptr<QThread> thread(QThread::create(
        [&] { translated = !translateOracle(ParsedStatement(deepest)).isEmpty(); }));
    thread->setStackSize(1024 * 1024);
    thread->start();
    thread->wait();
    EXPECT_TRUE(translated);
}

// A stop asked for while a statement is translated ends it, as it ends a running statement;
// one asked for before a call is over when the next call begins.
TEST_F(EmbeddedSql, AStopEndsATranslationInProgress) {
    const QString sql = "select count(*) from dual where 1 in (" +
                        joined(100000, ", ", [](int i) { return QString::number(i); }) + ")";
    int asked = 0;
    const StopCheck stopOnThirdQuestion = [&] { return ++asked == 3; };
    EXPECT_TRUE(failsWith([&] { translateOracle(ParsedStatement(sql), stopOnThirdQuestion); },
                          kErrOdbcCall, "ORA-01013: user requested cancel of current operation"));
    EXPECT_EQ(asked, 3);
    db_->cancel();
    EXPECT_EQ(rowsOf(*db_, sql), QStringList("1"));
}

// Where SQLite stopped reading the translated text is told in the text the client sent: the
// translation's rewrites before the place (SYSDATE, DECODE, NVL, aliases, (+), MINUS) shift it,
// multi-byte characters do not count as bytes, and a name SQLite gives no offset for is found
// where the statement names it. `at` is what the position must point at (its last occurrence).
TEST_F(EmbeddedSql, AnErrorsPositionPointsIntoTheStatementAsSent) {
    const struct {
        const char* sql;
        const char* at;
        const char* ora;
    } cases[] = {
        {"select sysdate, decode(mgr, 7839, 'top', 'other') as kind frm emp", "frm emp",
         "ORA-00923"},
        {"select sysdate frm emp", "emp", "ORA-00923"},
        {"select '東京' as 都市, sysdate 日付\n  -- 注\n  frm emp", "frm emp", "ORA-00923"},
        {"select decode(mgr, 1, 'a', 'b') from emp wher empno = 1", "empno = 1", "ORA-00933"},
        {"select nvl(nosuch, 0) from emp where sysdate > sysdate", "nosuch", "ORA-00904"},
        {"select * from emp a, emp b where a.empno = b.mgr(+) and a.ename = 'X' orde by 1",
         "orde by", "ORA-00933"},
        {"select ename from emp minus select ename frm emp", "emp", "ORA-00933"},
        {"select sysdate from emp e join nosuch n on n.x = e.empno", "nosuch n", "ORA-00942"},
        {"update emp set nosuch = nvl(mgr, 0) where empno = 1", "nosuch", "ORA-00904"},
        {"select ename from emp where (empno = 1", "", "ORA-00921"},
        // One syntax error, one number: the plan's is the statement's.
        {"EXPLAIN PLAN SET STATEMENT_ID = 'X' INTO PLAN_TABLE FOR\n"
         "select sysdate, decode(mgr, 1, 2, 3) x frm emp",
         "frm emp", "ORA-00923"},
        // A SQL statement takes no terminator, in its plan neither.
        {"select ename from emp where rownum <= 3;", ";", "ORA-00911"},
        {"EXPLAIN PLAN FOR select ename from emp where ename = ';';", ";", "ORA-00911"},
    };
    for (const auto& c : cases) {
        const QString sql = QString::fromUtf8(c.sql);
        const DbError e = errorOf([&] { db_->execute(sql); });
        EXPECT_EQ(std::pair(e.description().left(9), e.position()),
                  std::pair(QString::fromLatin1(c.ora), sql.lastIndexOf(QString::fromUtf8(c.at))))
            << c.sql;
    }
    // A failure of running, not of reading the statement, has no place in it.
    EXPECT_EQ(errorOf([&] { db_->execute("select 1 / 0 from emp"); }).position(), -1);
}

// Anonymous blocks as install scripts write them run as one statement: variables, loops, IF,
// SELECT INTO, handlers; an error no handler takes undoes the block, and what a block cannot do
// is refused by name.
TEST_F(EmbeddedSql, PlsqlBlocksRunAsOneStatement) {
    db_->execute(u"create table acct (id number primary key, name varchar2(20), amount number)"_s);
    db_->execute(
        u"declare\n  n number := 0;\n  id number := 99;\n  who varchar2(20);\nbegin\n"
        "  for i in 1 .. 3 loop\n    insert into acct values (i, 'a' || i, i * 10);\n"
        "  end loop;\n"
        "  for r in (select amount from acct) loop n := n + r.amount; end loop;\n"
        "  select name into who from acct where id = 2;\n"
        "  if n > 100 then null; elsif n = 60 then\n"
        "    insert into acct values (4, who || '!', n);\n  else null; end if;\n"
        "  update acct set amount = amount + 1 where id = id;\n"
        "  dbms_output.put_line('sum ' || n);\nend;"_s);
    EXPECT_EQ(db_->takeWarnings(), QStringList{u"sum 60"_s});
    db_->execute(u"call dbms_output.put_line('called')"_s);
    EXPECT_EQ(db_->takeWarnings(), QStringList{u"called"_s});
    // The column ID wins over the variable ID: every row was updated.
    EXPECT_EQ(rowsOf(*db_, u"select id, name, amount from acct order by id"_s),
              (QStringList{u"1|a1|11"_s, u"2|a2|21"_s, u"3|a3|31"_s, u"4|a2!|61"_s}));
    EXPECT_TRUE(failsWith(
        [&] {
            db_->execute(
                u"begin insert into acct values (5, 'x', 0); "
                "insert into acct values (1, 'dup', 0); end;"_s);
        },
        kErrOdbcCall, u"ORA-00001"_s));
    db_->execute(
        u"declare n number; begin insert into acct values (6, 'y', 0); "
        "select 1 into n from dual where 1 = 0; "
        "exception when too_many_rows then null; when no_data_found or others then "
        "insert into acct values (7, substr(sqlerrm, 1, 9), sqlcode); end;"_s);
    EXPECT_EQ(rowsOf(*db_, u"select id, name, amount from acct where id >= 5 order by id"_s),
              (QStringList{u"6|y|0"_s, u"7|ORA-01403|100"_s}));
    for (const QString& refused : {u"declare cursor c is select 1 from dual; begin null; end;"_s,
                                   u"begin p(1); end;"_s, u"begin select 1 from dual; end;"_s})
        EXPECT_TRUE(failsWith([&] { db_->execute(refused); }, kErrOdbcCall, u"ORA-0"_s))
            << refused.toStdString();
    // In manual commit the block's changes wait with the session's; a COMMIT in it stands.
    db_->setAutoCommit(false);
    db_->execute(
        u"begin insert into acct values (8, 'kept', 0); commit; "
        "insert into acct values (9, 'undone', 0); end;"_s);
    db_->rollback();
    EXPECT_EQ(rowsOf(*db_, u"select id from acct where id >= 8"_s), QStringList{u"8"_s});
    // DDL by EXECUTE IMMEDIATE stands as a written one does, and a later error undoes only what
    // came after it; a savepoint in the block is rolled back to.
    EXPECT_TRUE(failsWith(
        [&] {
            db_->execute(
                u"begin insert into acct values (10, 'ddl', 0); execute immediate 'create table "
                "t2 (x number)'; insert into acct values (11, 'after', 0); savepoint s; "
                "insert into acct values (12, 'sp', 0); rollback to s; "
                "insert into acct values (10, 'dup', 0); end;"_s);
        },
        kErrOdbcCall, u"ORA-00001"_s));
    db_->commit();
    EXPECT_EQ(rowsOf(*db_, u"select id from acct where id >= 10"_s), QStringList{u"10"_s});
}
