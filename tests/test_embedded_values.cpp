// Oracle's rules for values, statement by statement with the answer an Oracle server gives:
// the empty string is NULL, where NULLs sort, LIKE, the text and number functions, CHAR's blank
// padding, the checks and rounding of values stored into NUMBER(p,s), VARCHAR2(n) and CHAR(n)
// columns, numbers shown without binary noise, and the errors Oracle raises.
#include "core/db/bindvalue.h"
#include "core/embedded/values/oraclefunctions.h"
#include "support/embeddedfixture.h"

#include <QScopeGuard>

#include <sqlite3.h>

using namespace qv;
using namespace qv::test;

namespace {

// A statement and Oracle's answer: its rows (values joined by '|', NULL as "null"), or the
// ORA number its error starts with.
struct Case {
    const char* sql;
    QStringList rows;
    const char* error = nullptr;
};

class EmbeddedValues : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        for (const char* statement :
             {"create table acct (id number(4) primary key, amount number(8,2), "
              "code char(5), name varchar2(10), kana varchar2(6 char), note varchar2(20))",
              "insert into acct values (1, 1234.5, 'ab', 'alpha', 'あいう', null)",
              "insert into acct values (2, 0.1, 'b', 'Beta', null, 'second')",
              "insert into acct values (3, 0.2, null, 'gamma', '', 'third')",
              "create index ix_acct_name on acct (name)"})
            db_->execute(QString::fromUtf8(statement));
    }

    void check(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            const QString sql = QString::fromUtf8(c.sql);
            if (c.error) {
                EXPECT_TRUE(failsWith([&] { rowsOf(*db_, sql); }, kErrOdbcCall, c.error)) << c.sql;
            } else {
                try {
                    EXPECT_EQ(rowsOf(*db_, sql), c.rows) << c.sql;
                } catch (const DbError& e) {
                    ADD_FAILURE() << c.sql << ": " << e.description().toStdString();
                }
            }
        }
    }
};

TEST_F(EmbeddedValues, EmptyTextIsNullAndNullsSortAsInOracle) {
    check({
        {"select nvl('', 'empty'), length(''), nvl2('', 1, 2), cast('' as number) from dual",
         {"empty|null|2|null"}},
        {"select count(*) from dual where '' is null", {"1"}},
        {"select count(*) from acct where kana is null", {"2"}},
        {"select 'a' || '' || 'b', concat('', ''), replace('abc', 'abc') from dual",
         {"ab|null|null"}},
        // On a CHAR column too (NULLs last), which the differential test has none of.
        {"select id from acct order by code", {"1", "2", "3"}},
    });
}

TEST_F(EmbeddedValues, TextFunctionsLikeAndCharCompareAsInOracle) {
    check({
        {"select substr('hello', 0, 2), substr('hello', -3), substr('hello', 2, 0), "
         "substr('hello', 9) from dual",
         {"he|llo|null|null"}},
        {"select instr('banana', 'an', 1, 2), instr('banana', 'an', -1), instr('banana', 'x') "
         "from dual",
         {"4|4|0"}},
        {"select lpad('ab', 5, '*'), rpad('abcdef', 3), lpad('x', 0), "
         "trim(both 'x' from 'xxaxx'), trim('  a  '), ltrim('xxa', 'x') from dual",
         {"***ab|abc|null|a|a|a"}},
        {"select count(*) from acct where name like 'AL%'", {"0"}},
        {"select count(*) from acct where name like 'al%'", {"1"}},
        {"select count(*) from dual where 'a_c' like 'a\\_%' escape '\\'", {"1"}},
        {"select count(*) from dual where 'abc' like 'a\\_%' escape '\\'", {"0"}},
        // CHAR(5) is padded with blanks and compared blank-padded.
        {"select code || '|', length(code) from acct where id = 1", {"ab   ||5"}},
        {"select id from acct where code = 'ab'", {"1"}},
        {"select id from acct where code = 'b  '", {"2"}},
        {"select length(kana), lengthb(kana) from acct where id = 1", {"3|9"}},
    });
}

TEST_F(EmbeddedValues, NumbersAreDecimalExactAndShownAsOracleShowsThem) {
    check({
        {"select 0.1 + 0.2, 7 / 2, -0.5, 1 / 4, 2.50 from dual", {".3|3.5|-.5|.25|2.5"}},
        {"select sum(amount) from acct where id > 1", {".3"}},
        {"select 9223372036854775806 + 1 from dual", {"9223372036854775807"}},
        {"select mod(5, 0), mod(-7, 3), mod(7.5, 2) from dual", {"5|-1|1.5"}},
        {"select round(2.5), round(-2.5), trunc(-2.7), round(1234.5678, -2), "
         "round(1.005, 2), trunc(15.79, 1) from dual",
         {"3|-3|-2|1200|1.01|15.7"}},
        {"select to_char(0.5), to_char(1405561.34) from dual", {".5|1405561.34"}},
    });
}

TEST_F(EmbeddedValues, StoredValuesAreRoundedPaddedAndCheckedAgainstTheColumn) {
    db_->execute("update acct set amount = amount * 1.1");
    db_->execute("insert into acct (id, amount, name) values (4, '12.345', 12)");
    db_->execute("insert into acct (id, amount) select id + 10, amount / 3 from acct where id < 3");
    check({
        {"select id, amount, name from acct order by id",
         {"1|1357.95|alpha", "2|.11|Beta", "3|.22|gamma", "4|12.35|12", "11|452.65|null",
          "12|.04|null"}},
        {"insert into acct (id, amount) values (9, 1234567.8)", {}, "ORA-01438"},
        {"insert into acct (id) values (12345)", {}, "ORA-01438"},
        {"update acct set amount = 99999999 where id = 1", {}, "ORA-01438"},
        {"insert into acct (id, name) values (9, 'abcdefghijk')",
         {},
         "ORA-12899: value too large for column \"SCOTT\".\"ACCT\".\"NAME\" (actual: 11, "
         "maximum: 10)"},
        // VARCHAR2(6 CHAR) counts characters, VARCHAR2(10) bytes of UTF-8.
        {"insert into acct (id, kana, name) values (9, 'あいうえおか', 'あいう')", {}},
        {"insert into acct (id, name) values (10, 'あいうえ')", {}, "(actual: 12, maximum: 10)"},
        {"insert into acct (id, code) values (10, 'abcdef')", {}, "ORA-12899"},
        {"insert into acct (id, amount) values (10, 'abc')", {}, "ORA-01722"},
        {"insert into acct (id, amount) select 10, 1, 2 from dual", {}, "ORA-00913"},
        // Padding is never made past Oracle's longest CHAR.
        {"create table wide (c char(40000))", {}},
        {"insert into wide values ('a')", {}, "ORA-00910"},
    });
    // A failed statement stores nothing.
    EXPECT_EQ(rowsOf(*db_, "select count(*) from acct"), QStringList({"7"}));
}

TEST_F(EmbeddedValues, CharacterCodesDumpAndRemainderAsOracle) {
    db_->execute("create table ev (d date)");
    db_->execute("insert into ev values (to_date('2020-01-02 03:04:05', 'YYYY-MM-DD HH24:MI:SS'))");
    check({
        {"select chr(65), chr(50089), chr(196 using nchar_cs), ascii('é'), ascii(7), "
         "initcap('the SOUP-of the_day') from dual",
         {"A|é|Ä|50089|55|The Soup-Of The_Day"}},
        {"select remainder(18, 7), remainder(5, 2), remainder(7, 2), remainder(-18, 7), "
         "remainder(5.5, 2), mod(18, 7) from dual",
         {"-3|1|-1|3|-.5|4"}},
        {"select remainder(1, 0) from dual", {}, "ORA-01476"},
        {"select dump('Tech'), dump('Tech', 16), dump('abc', 1016), dump('ORACLE', 10, 4, 2), "
         "dump(null) from dual",
         {"Typ=96 Len=4: 84,101,99,104|Typ=96 Len=4: 54,65,63,68|"
          "Typ=96 Len=3 CharacterSet=AL32UTF8: 61,62,63|Typ=96 Len=6: 67,76|null"}},
        {"select dump(name), dump(amount), dump(-123, 16), dump(id - 1), dump(0.5) from acct "
         "where id = 1",
         {"Typ=1 Len=5: 97,108,112,104,97|Typ=2 Len=4: 194,13,35,51|Typ=2 Len=4: 3d,64,4e,66|"
          "Typ=2 Len=1: 128|Typ=2 Len=2: 192,51"}},
        {"select dump(d) from ev", {"Typ=12 Len=7: 120,120,1,2,4,5,6"}},
        {"select rawtohex(utl_raw.cast_to_raw('ab')), utl_raw.cast_to_varchar2('6162'), "
         "sys.dbms_lob.getlength(note), dbms_lob.substr(note, 3, 2), dbms_lob.instr(note, 'd'), "
         "dbms_lob.substr(note, 0) from acct where id = 2",
         {"6162|ab|6|eco|6|null"}},
        {"select utl_raw.cast_to_raw('a', 'b') from dual", {}, "ORA-00909"},
        // SQLite's SET names a column alone; the stored value is still checked.
        {"update acct a set a.amount = 1.005, a.name = 'x' where a.id = 1", {}},
        {"select amount, name from acct where id = 1", {"1.01|x"}},
        {"update acct a set a.name = 'abcdefghijk' where a.id = 1", {}, "ORA-12899"},
    });
}

// Intervals are kept and shown as Oracle shows them, with the precision of their type.
TEST_F(EmbeddedValues, IntervalsAddToDatesAndStoreAsOracle) {
    db_->execute(
        "create table iv (id number, ym interval year to month, "
        "ds interval day(3) to second(2))");
    db_->execute("insert into iv values (1, interval '1-2' year to month, '4 5:06:07.129')");
    db_->execute("insert into iv values (2, '-3-4', '-1 00:00:01')");
    check({
        {"select interval '1-2' year to month, interval '3' day, interval '4 5:06:07' day to "
         "second, interval '30' minute, interval '-1' year from dual",
         {"+01-02|+03 00:00:00|+04 05:06:07.000000|+00 00:30:00|-01-00"}},
        {"select to_yminterval('01-02'), to_dsinterval('1 02:03:04'), "
         "numtodsinterval(1.5, 'DAY'), numtoyminterval(14, 'month'), "
         "to_dsinterval('135 08:35:47.123456789') from dual",
         {"+01-02|+01 02:03:04.000000|+01 12:00:00.000000|+01-02|+135 08:35:47.123456789"}},
        {"select to_char(date '2020-01-15' + interval '1-1' year to month, 'YYYY-MM-DD'), "
         "to_char(date '2020-01-15' - interval '1 12:00:00' day to second, 'DD HH24'), "
         "to_char(interval '2' hour + date '2020-01-01', 'HH24'), "
         "interval '1' day + interval '2' hour, interval '3' day / 2 from dual",
         {"2021-02-15|13 12|02|+01 02:00:00.000000|+01 12:00:00.000000"}},
        {"select extract(day from ds), extract(second from ds), extract(hour from interval "
         "'-3 4:05:06' day to second), extract(month from ym), extract(year from date "
         "'2020-03-04'), cast('4 5:06:07' as interval day to second) from iv",
         {"4|7.13|-4|2|2020|+04 05:06:07.000000", "-1|-1|-4|-4|2020|+04 05:06:07.000000"}},
        // Turned round by a minus, and dumped as Oracle stores them.
        {"select -ym, -ds, -interval '0' day, -(-5), dump(ym), dump(ds) from iv where id = 1",
         {"-01-02|-004 05:06:07.13|+00 00:00:00|5|Typ=182 Len=5: 128,0,0,1,62|"
          "Typ=183 Len=11: 128,0,0,4,65,66,67,135,191,164,128"}},
        {"select extract(year from ds) from iv", {}, "ORA-30076"},
        {"select date '2020-01-31' + interval '1' month from dual", {}, "ORA-01839"},
        {"select interval '1' day + interval '1' month from dual", {}, "ORA-30081"},
        {"select interval '1' day - date '2020-01-01' from dual", {}, "ORA-30081"},
        {"select interval '123' day from dual", {}, "ORA-01873"},
        {"select interval '1-12' year to month from dual", {}, "ORA-01843"},
        {"select interval '1:2' day to second from dual", {}, "ORA-01867"},
        {"select id, ym, ds, to_char(date '2020-01-31' + ds, 'MM-DD HH24:MI:SS') from iv "
         "order by ds",
         {"2|-03-04|-001 00:00:01.00|01-29 23:59:59", "1|+01-02|+004 05:06:07.13|02-04 05:06:07"}},
        // A column compares by length of time, whatever precision the other side shows.
        {"select id from iv where ds = interval '4 5:06:07.13' day to second and ym > "
         "interval '-1' year",
         {"1"}},
        {"select data_type, data_precision, data_scale from user_tab_columns where table_name = "
         "'IV' and column_name <> 'ID' order by column_name",
         {"INTERVAL DAY(3) TO SECOND(2)|3|2", "INTERVAL YEAR(2) TO MONTH|2|0"}},
        {"insert into iv (id, ym) values (2, interval '5' day)", {}, "ORA-00932"},
        {"insert into iv (id, ym) values (2, interval '100' year(3))", {}, "ORA-01873"},
        {"insert into iv (id, ym) values (2, 5)", {}, "ORA-00932"},
    });
}

// Text functions build their results within the connection's value limit as they grow (the
// error SQLite gives past it, ORA-01489), never gigabytes before they fail.
TEST_F(EmbeddedValues, TextResultsStayWithinTheValueLimit) {
    check({
        {"select length(regexp_replace(rpad('x', 1e6, 'x'), 'x', rpad('y', 4000, 'y'))) from dual",
         {},
         "ORA-01489"},
        {"select length(replace(rpad('x', 1e6, 'x'), 'x', rpad('y', 4000, 'y'))) from dual",
         {},
         "ORA-01489"},
        {"select length(rpad('x', 4e7, 'x') || 'a' || rpad('x', 4e7, 'x')) from dual",
         {},
         "ORA-01489"},
        {"select length(rpad('x', 7e7, 'y')), length(lpad('x', 7e7)) from dual", {}, "ORA-01489"},
        {"select length(regexp_replace(rpad('x', 1e4, 'x'), 'x', 'yy')), length(rpad('x', 1e6) "
         "|| rpad('x', 1e6)) from dual",
         {"20000|2000000"}},
    });
}

// A stop (sqlite3_interrupt on the connection, as the CLI's --timeout and Esc call it) that
// comes while a text function works is seen by the function, which fails the statement then
// rather than finishing its work first. The stop here comes from a function of the statement
// itself, called just before.
TEST(EngineTextFunctions, LongWorkSeesAStop) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    const auto closeDb = qScopeGuard([db] { sqlite3_close(db); });
    ASSERT_EQ(embedded::registerOracleFunctions(db), SQLITE_OK);
    auto stopNow = [](sqlite3_context* ctx, int, sqlite3_value**) {
        sqlite3_interrupt(sqlite3_context_db_handle(ctx));
        sqlite3_result_text(ctx, "x", 1, SQLITE_STATIC);
    };
    ASSERT_EQ(
        sqlite3_create_function(db, "stop_now", 0, SQLITE_UTF8, nullptr, stopNow, nullptr, nullptr),
        SQLITE_OK);
    for (const char* sql : {
             "select regexp_count(rpad('x', 100000, 'x') || stop_now(), 'x')",
             "select length(regexp_replace(rpad('x', 100000, 'x') || stop_now(), 'x', 'y'))",
             "select length(replace(rpad('x', 100000, 'x') || stop_now(), 'x', 'yy'))",
             "select length(rpad(stop_now(), 1e7, 'x'))",
         }) {
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), SQLITE_OK) << sql;
        EXPECT_EQ(sqlite3_step(stmt), SQLITE_INTERRUPT) << sql;
        sqlite3_finalize(stmt);
    }
}

TEST_F(EmbeddedValues, ErrorsOracleRaisesAreRaised) {
    check({
        {"select cast('abc' as number) from dual", {}, "ORA-01722"},
        {"select '12abc' + 1 from dual", {}, "ORA-01722"},
        {"select to_number('1x') from dual", {}, "ORA-01722"},
        {"select (select id from acct) from dual", {}, "ORA-01427"},
        {"select name, count(*) from acct group by code", {}, "ORA-00979"},
        {"select name, count(*) from acct", {}, "ORA-00937"},
        {"select 1e308 * 10 from dual", {}, "ORA-01426"},
        {"select power(10, 400) from dual", {}, "ORA-01426"},
        {"select -1e400 from dual", {}, "ORA-01426"},
        {"select 9223372036854775807 + 1 from dual", {}, "ORA-01426"},
        {"select sqrt(-1) from dual", {}, "ORA-01428"},
        {"select ln(0) from dual", {}, "ORA-01428"},
        {"select 1 / 0 from dual", {}, "ORA-01476"},
        {"select id from acct where id = :x", {}, "ORA-01008"},
    });
    // A bound empty text is NULL too.
    BindList binds;
    binds.push_back({QStringLiteral("x"), BindType::Varchar2, QString()});
    auto rs = db_->openRecordset("select count(*) from dual where :x is null", binds);
    EXPECT_EQ(rs->value(0).toLongLong(), 1);
}

}  // namespace

// Text given to a DATE (compared with a column, stored into one, TO_DATE and TO_CHAR without a
// format) is read and written by the session's NLS_DATE_FORMAT, as an Oracle client with
// American settings has it; text that does not match fails, never compares as text.
TEST_F(EmbeddedValues, DateTextIsReadByTheSessionsDateFormat) {
    qunsetenv("NLS_DATE_FORMAT");
    qunsetenv("NLS_LANG");
    db_ = connect();
    for (const char* statement :
         {"create table sale (id number, time_id date, label varchar2(10))",
          "insert into sale values (1, '10-FEB-19', '10-FEB-19')",
          "insert into sale (id, time_id) values (2, date '2019-02-11')",
          "insert into sale select 3, to_date('01-mar-19'), null from dual"})
        db_->execute(QString::fromUtf8(statement));
    check({
        {"select id, to_char(time_id) from sale where time_id = '10-FEB-19'", {"1|10-FEB-19"}},
        {"select count(*) from sale s where s.time_id between '01-FEB-19' and '28-feb-2019' "
         "and '01-JAN-19' < s.time_id",
         {"2"}},
        {"select id from sale where time_id not in ('10-FEB-19', '01-MAR-19')", {"2"}},
        // Text columns and text compared with expressions stay text; a text column compared
        // with a DATE column is read as a date.
        {"select id from sale where label = '10-FEB-19'", {"1"}},
        {"select count(*) from sale a, sale b where a.time_id = b.label", {"1"}},
        // So is text compared with an expression that is a date.
        {"select count(*) from sale where (trunc(time_id) = '10-FEB-19' or add_months(time_id, "
         "1) = '11-MAR-19' or time_id + 1 in ('02-MAR-19')) and sysdate < '01-JAN-30'",
         {"3"}},
        {"select to_char(to_date('31-DEC-99') + 1, 'YYYY-MM-DD') from dual", {"2000-01-01"}},
        {"select id from sale where time_id = '2019-02-10'", {}, "ORA-018"},
        {"insert into sale (id, time_id) values (4, 'FEB-10-19')", {}, "ORA-018"},
        {"insert into sale (id, time_id) values (4, 20190210)", {}, "ORA-00932"},
        {"alter session set nls_date_format = 'YYYY-MM-DD'", {}},
        {"update sale set time_id = '2019-03-02' where id = 3", {}},
        {"select id, to_char(time_id) from sale where time_id >= '2019-03-01'", {"3|2019-03-02"}},
        {"select value from nls_session_parameters where parameter = 'NLS_DATE_FORMAT'",
         {"YYYY-MM-DD"}},
        {"select sys_context('USERENV', 'NLS_DATE_FORMAT'), sys_context('userenv', 'language'), "
         "sys_context('USERENV', 'SESSION_USER'), sys_context('USERENV', 'CURRENT_SCHEMA'), "
         "sys_context('USERENV', 'CLIENT_IDENTIFIER'), sys_context('USERENV', 'ISDBA') from dual",
         {"YYYY-MM-DD|AMERICAN_AMERICA.AL32UTF8|SCOTT|SCOTT|null|FALSE"}},
        {"select sys_context('USERENV', 'NO_SUCH') from dual", {}, "ORA-02003"},
        {"alter session set nls_date_format = 'YYYY-QX'", {}, "ORA-01821"},
        {"alter session set nls_date_language = 'JAPANESE'", {}, "ORA-12705"},
    });
    // A client's territory chooses the default of the sessions it opens.
    qputenv("NLS_LANG", "JAPANESE_JAPAN.AL32UTF8");
    const auto guard = qScopeGuard([] { qunsetenv("NLS_LANG"); });
    db_ = connect();
    check({{"select to_char(time_id) from sale where time_id = '19-02-11'", {"19-02-11"}}});
    // A bound text is read by it too; a bound date stays a date.
    for (const QString& value : {u"19-02-11"_qs, u"2019-02-11 00:00:00"_qs}) {
        const BindList binds{{QStringLiteral("d"), BindType::Varchar2, value}};
        auto rs = db_->openRecordset("select count(*) from sale where time_id = :d", binds);
        EXPECT_EQ(rs->value(0).toLongLong(), 1) << value.toStdString();
    }
}

// IS JSON in a check, and JSON_VALUE, JSON_QUERY and JSON_EXISTS with Oracle's NULL ON ERROR.
TEST_F(EmbeddedValues, JsonChecksAndPathsAnswerAsOracleDoes) {
    db_->execute(u"create table doc (id number, j varchar2(200) check (j is json))"_qs);
    db_->execute(uR"(insert into doc values (1, '{"a":{"b":[1,2,3]},"n":"x y"}'))"_qs);
    check({
        {"insert into doc values (2, '{bad')", {}, "ORA-02290"},
        {"select json_value(j, '$.n'), json_value(j, '$.a.b[2]'), json_value(j, '$.a'), "
         "json_query(j, '$.a'), json_query(j, '$.a.b[0 to 1]' with wrapper), "
         "json_query(j, '$.n') from doc",
         {"x y|3|null|{\"b\":[1,2,3]}|[1,2]|null"}},
        {"select count(*) from doc where json_exists(j, '$.a.b') and not json_exists(j, '$.z') "
         "and '[1]' is json and 'x' is not json strict",
         {"1"}},
        {"select json_value('{bad', '$.a') from dual", {"null"}},
        {"select json_value(j, '$.a.b[1]' returning number) + 1, json_value(j, '$.n' returning "
         "number), json_value(j, '$.z' default 'none' on error), json_value(j, '$.z' null on "
         "empty error on error), json_value(j, '$.n' returning varchar2(2)) from doc",
         {"3|null|none|null|null"}},
        {"select json_value(j, '$.z' error on error) from doc", {}, "ORA-40462"},
        {"select json_value(j, '$.a' error on error) from doc", {}, "ORA-40456"},
        {"select json_query(j, '$.n' error on error) from doc", {}, "ORA-40480"},
        {"select json_query('{\"z\":{\"y\":1,\"x\":2}}', '$.z') from dual", {"{\"y\":1,\"x\":2}"}},
    });
    // JSON_TABLE's rows, per document of the table it follows, also from a BLOB; * lists its
    // columns and not the document it is joined by.
    db_->execute(u"create table po (id number, b blob check (b is json))"_qs);
    for (const char* doc : {R"({"items":[{"s":"a","q":2,"t":["x","y"]},{"s":"b","q":1}]})",
                            R"({"items":{"s":"c"}})", "{}"})
        db_->execute(u"insert into po values ((select count(*) from po), utl_raw.cast_to_raw('"_qs +
                     QString::fromUtf8(doc) + u"'))"_qs);
    check({
        {"select p.id, jt.* from po p, json_table(p.b, '$.items[*]' columns (n for ordinality, "
         "s varchar2(5) path '$.s', q number path '$.q', tagged varchar2(5) exists path '$.t', "
         "nested path '$.t[*]' columns (t path '$'))) jt order by 1, 2, 6",
         {"0|1|a|2|true|x", "0|1|a|2|true|y", "0|2|b|1|false|null", "1|1|c|null|false|null"}},
        {"select * from json_table('[3,4]', '$[*]' columns (v number path '$'))", {"3", "4"}},
        // NESTED PATHs side by side take turns.
        {"select * from json_table('{\"a\":[1,2],\"b\":[\"x\"]}', '$' columns (nested path "
         "'$.a[*]' columns (n for ordinality, a number path '$'), nested path '$.b[*]' columns "
         "(b path '$'))) order by b, n",
         {"null|null|x", "1|1|null", "2|2|null"}},
    });
}

// A text column compared with a number is TO_NUMBER(column), as Oracle converts it: '05' is 5,
// and a value that is no number fails the statement.
TEST_F(EmbeddedValues, TextColumnsComparedWithNumbersAreConvertedToNumbers) {
    for (const char* statement :
         {"create table code (c varchar2(5))", "create index ix_c on code (c)",
          "insert into code values ('05')", "insert into code values ('7')"})
        db_->execute(QString::fromUtf8(statement));
    check({
        {"select count(*) from code where c = 5 or 7 = c", {"2"}},
        {"select count(*) from code where c = '5'", {"0"}},
        {"select count(*) from code where c > -1 and c in (5, 7) and c between 1 and 9", {"2"}},
        // Text compared with a number that is no column converts the text: 10 > '9'.
        {"select count(*) from code where length(c) = '2' and '5' = trunc(c + 0.5) and 10 > '9' "
         "and mod(7, 4) >= '03'",
         {"1"}},
        {"select count(*) from dual where abs(-3) = 'x'", {}, "ORA-01722"},
        // An arithmetic operand is a number too, whichever side it stands on; a date plus a
        // number stays a date, and text joined by || stays text.
        {"select count(*) from code where 2 * 3 = '6' and '14' = c * 2 + 0 and (c + 1) * 2 >= "
         "'16' and 1 || 2 = '12' and sysdate + 1 > '01-JAN-00'",
         {"1"}},
        {"select count(*) from dual where 1 + 2 = 'x'", {}, "ORA-01722"},
    });
    db_->execute(u"insert into code values ('x')"_qs);
    check({{"select count(*) from code where c = 5", {}, "ORA-01722"}});
}

// ANY/SOME and ALL compare with every value of their list or query, NULL where the answer turns
// on a NULL: ANY of no rows is false, ALL of none true (for a NULL too), and NOT keeps the NULLs
// out.
TEST_F(EmbeddedValues, QuantifiedComparisonsFollowOraclesThreeValuedRules) {
    for (const char* statement :
         {"create table q (g number, v number)",
          "insert into q select mod(level, 2), level from dual connect by level <= 4",
          "insert into q values (2, null)"})
        db_->execute(QString::fromUtf8(statement));
    const char* const kOdd = "(select v from q where g = 1)";        // 1, 3
    const char* const kWithNull = "(select v from q where g <> 0)";  // 1, 3, NULL
    const char* const kNone = "(select v from q where g = 9)";
    auto count = [](const char* condition, const char* query) {
        return QStringLiteral("select count(*) from q where %1 %2")
            .arg(QString::fromUtf8(condition), QString::fromUtf8(query));
    };
    const struct {
        const char* condition;
        const char* query;
        const char* rows;
    } cases[] = {
        {"v > any", kOdd, "3"},           {"v > all", kOdd, "1"},
        {"v = some", kOdd, "2"},          {"v <> all", kOdd, "2"},
        {"v > all", kWithNull, "0"},      {"not (v > all", kWithNull, "3"},
        {"not (v > any", kWithNull, "0"}, {"v > any", kNone, "0"},
        {"v < all", kNone, "5"},          {"not (v > any", kNone, "5"},
    };
    for (const auto& c : cases) {
        QString sql = count(c.condition, c.query);
        if (QByteArrayView(c.condition).startsWith("not"))
            sql += u')';
        EXPECT_EQ(rowsOf(*db_, sql), QStringList{QString::fromUtf8(c.rows)}) << sql.toStdString();
    }
    check({{"select count(*) from q a where v >= all (select b.v from q b where b.g = a.g and "
            "b.v is not null) and v ^= any (2, 4)",
            {"2"}},
           {"select count(*) from q where v + 1 > any (1, 3) and v = any (with w as (select 3 x "
            "from dual) select x from w)",
            {"1"}}});
}
