// The dictionary a tuner queries and the optimizer statistics behind it, checked against tables
// whose true figures are known, and on the sample.
#include "core/embedded/catalog/optimizerstats.h"
#include "core/embedded/service/embeddedengine.h"
#include "core/embedded/service/sampledb.h"
#include "core/embedded/session/cursors.h"
#include "core/sqlite/sqlite.h"
#include "support/embeddedfixture.h"

#include <cmath>

using namespace qv;
using namespace qv::test;
using namespace qv::embedded;

namespace {

constexpr int kRows = 1000;

class EmbeddedDictionary : public EmbeddedTest {
  protected:
    // T: 1000 rows of some 200 bytes. ID 1..1000 (its key, constraint T_PK), STATUS skewed
    // (900 'A', 60 'B', 40 'C'), GRP i % 10 (even), NOTE NULL on every fourth row, K the same
    // as ID, inserted in key order or scattered, with index T_K on it.
    void makeTable(bool scattered) {
        db_->execute(
            "create table t (id number(6) constraint t_pk primary key, status varchar2(10) not "
            "null, grp number, note varchar2(20 char), k number, d date, pad varchar2(200))");
        db_->execute("create index t_k on t (k)");
        // 7919 is prime to 1000: every key once, far from its neighbours.
        db_->execute(
            QStringLiteral("insert into t select i, case when i <= 900 then 'A' when i <= 960 then "
                           "'B' else 'C' end, mod(i, 10), case when mod(i, 4) = 0 then null else "
                           "'n' end, i, date '2024-03-15', rpad('x', 200, 'x') from (select %1 i "
                           "from dual connect by level <= %2)")
                .arg(scattered ? QStringLiteral("mod((level - 1) * 7919, %1) + 1").arg(kRows)
                               : QStringLiteral("level"))
                .arg(kRows));
    }
    QString one(const QString& sql) {
        const QStringList rows = rowsOf(*db_, sql);
        return rows.size() == 1 ? rows.front() : rows.join(u'/');
    }
};

TEST_F(EmbeddedDictionary, ColumnFiguresAndHistogramsAreTheTableTrueOnes) {
    makeTable(false);
    db_->execute("begin dbms_stats.gather_table_stats(ownname => 'SCOTT', tabname => 'T'); end;");
    EXPECT_EQ(one("select num_rows, avg_row_len > 200, last_analyzed is not null from "
                  "user_tables where table_name = 'T'"),
              "1000|1|1");
    struct Column {
        const char* name;
        const char* figures;  // NUM_DISTINCT|NUM_NULLS|LOW|HIGH|HISTOGRAM|NUM_BUCKETS|AVG_COL_LEN
    };
    const Column columns[] = {
        // 1000 in Oracle's NUMBER form: exponent byte C2, one base-100 digit 10 (+1).
        {"ID", "1000|0|C102|C20B|NONE|1|4"},
        {"STATUS", "3|0|41|43|FREQUENCY|3|2"},
        {"GRP", "10|0|80|C10A|NONE|1|3"},
        {"NOTE", "1|250|6E|6E|NONE|1|2"},
        // A DATE as Oracle keeps it: century and year plus 100, month, day, time plus 1.
        {"D", "1|0|787C030F010101|787C030F010101|NONE|1|8"},
    };
    for (const Column& c : columns) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(one(QStringLiteral("select num_distinct, num_nulls, rawtohex(low_value), "
                                     "rawtohex(high_value), "
                                     "histogram, num_buckets, avg_col_len from user_tab_columns "
                                     "where table_name = 'T' and column_name = '%1'")
                          .arg(QLatin1StringView(c.name))),
                  QLatin1StringView(c.figures));
    }
    // Without a histogram, endpoints 0 and 1 are the lowest and highest value.
    EXPECT_EQ(
        rowsOf(*db_,
               "select column_name, endpoint_number, endpoint_actual_value from "
               "user_tab_histograms where column_name in ('ID', 'STATUS')"),
        QStringList({"ID|0|1", "ID|1|1000", "STATUS|900|A", "STATUS|960|B", "STATUS|1000|C"}));
    // Density: 1/NUM_DISTINCT, half a row of those with a value under a frequency histogram.
    EXPECT_EQ(one("select density from user_tab_col_statistics where column_name in ('GRP', "
                  "'STATUS') order by column_name"),
              ".1/.0005");
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path().toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    const auto table = tableStats(raw, "t");
    const auto status = histogram(raw, "T", "status");
    sqlite3_close(raw);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(table->numRows, kRows);
    EXPECT_EQ(status.size(), 3u);
}

TEST_F(EmbeddedDictionary, PastTwoHundredFiftyFourValuesTheHistogramIsTopFrequencyOrHybrid) {
    // 20,000 rows. TF: 0 on 10,000 rows, 1..253 on 9,950, 50 values once: the 254 most
    // frequent cover 19,950 rows, over 19,921 (all but 1/254). HY: 0 on 10,000, the rest unique.
    db_->execute("create table h (tf number, hy number)");
    db_->execute(
        "insert into h select case when level <= 10000 then 0 when level <= 19950 then "
        "mod(level, 253) + 1 else 1000 + level end, case when level <= 10000 then 0 "
        "else level end from dual connect by level <= 20000");
    db_->execute("analyze table h compute statistics");
    EXPECT_EQ(rowsOf(*db_,
                     "select column_name, histogram, num_distinct, num_buckets <= 254 from "
                     "user_tab_col_statistics"),
              QStringList({"TF|TOP-FREQUENCY|304|1", "HY|HYBRID|10001|1"}));
    // The lowest and highest values are endpoints; a hybrid endpoint counts its own rows.
    EXPECT_EQ(rowsOf(*db_,
                     "select column_name, min(endpoint_number), min(endpoint_value), "
                     "max(endpoint_value), count(*) from user_tab_histograms group by "
                     "column_name order by 1"),
              QStringList({"HY|10000|0|20000|128", "TF|10000|0|21000|254"}));
    EXPECT_EQ(rowsOf(*db_,
                     "select endpoint_repeat_count, (select max(endpoint_number) from "
                     "user_tab_histograms) from user_tab_histograms where column_name = "
                     "'HY' and endpoint_value = 0"),
              QStringList("10000|20000"));
}

TEST_F(EmbeddedDictionary, ClusteringFactorFollowsTheOrderRowsWereInserted) {
    for (const bool scattered : {false, true}) {
        SCOPED_TRACE(scattered ? "scattered" : "in key order");
        if (scattered)
            db_->execute("drop table t");
        makeTable(scattered);
        db_->execute("analyze table t compute statistics");
        const QStringList f =
            one("select t.blocks, i.clustering_factor, i.num_rows, i.distinct_keys, i.blevel, "
                "i.leaf_blocks, i.uniqueness from user_tables t join user_indexes i on "
                "i.table_name = t.table_name where i.index_name = 'T_K'")
                .split(u'|');
        ASSERT_EQ(f.size(), 7);
        const int blocks = f[0].toInt();
        const int clustering = f[1].toInt();
        // Some 17 rows of 230 bytes a 4 KB page.
        EXPECT_GT(blocks, kRows * 200 / 4096);
        EXPECT_LT(blocks, kRows * 400 / 4096);
        // About the rows scattered, about the table's pages in key order.
        if (scattered) {
            EXPECT_GT(clustering, kRows * 9 / 10);
        } else {
            EXPECT_LE(clustering, blocks);
            EXPECT_GT(clustering, blocks / 2);
        }
        EXPECT_EQ(f.mid(2, 3), QStringList({"1000", "1000", "1"}));
        EXPECT_GT(f[5].toInt(), 1);
    }
    EXPECT_EQ(rowsOf(*db_, "select index_name, uniqueness, distinct_keys from user_indexes"),
              QStringList({"T_K|NONUNIQUE|1000", "T_PK|UNIQUE|1000"}));
    EXPECT_EQ(rowsOf(*db_,
                     "select index_name, column_name, column_position, descend from "
                     "user_ind_columns"),
              QStringList({"T_K|K|1|ASC", "T_PK|ID|1|ASC"}));
}

TEST_F(EmbeddedDictionary, StatisticsFollowTheirTableAndStayTheEngines) {
    makeTable(false);
    db_->execute("exec dbms_stats.gather_schema_stats('SCOTT')");
    db_->execute("alter table t drop column note");  // rebuilt: gathered again
    EXPECT_EQ(one("select num_rows from user_tables where table_name = 'T'"), "1000");
    EXPECT_EQ(one("select count(*), count(case when column_name = 'NOTE' then 1 end) from "
                  "user_tab_col_statistics"),
              "6|0");
    db_->execute("create index t_grp on t (grp)");  // gathered as it is built
    EXPECT_EQ(one("select distinct_keys, num_rows from user_indexes where index_name = 'T_GRP'"),
              "10|1000");
    db_->execute("rename t to t2");
    db_ = connect();  // kept in the file
    EXPECT_EQ(one("select table_name, num_rows from all_tables"), "T2|1000");
    EXPECT_EQ(one("select owner from all_indexes where index_name = 'T_K'"), "SCOTT");
    EXPECT_TRUE(failsWith([&] { db_->execute("delete from \"QV$TAB_STATS\""); }, kErrOdbcCall,
                          "ORA-01031"));
    db_->execute("drop table t2");
    db_->execute("create table t2 (a number)");
    for (const char* view : {"user_tab_col_statistics", "user_tab_histograms"})
        EXPECT_EQ(rowsOf(*db_, QStringLiteral("select * from %1").arg(QLatin1StringView(view))),
                  QStringList())
            << view;
    EXPECT_EQ(one("select table_name, num_rows, tablespace_name from user_tables"),
              "T2|null|USERS");
    EXPECT_EQ(rowsOf(*db_, "select object_name, object_type from user_objects"),
              QStringList("T2|TABLE"));
}

TEST_F(EmbeddedDictionary, DeclaredTypesShowAsOraclesDictionary) {
    db_->execute(
        "create table c (n number(7,2) not null, i integer, v varchar2(30), w "
        "varchar2(10 char), ch char(3), nv nvarchar2(5), d date, ts timestamp, b blob)");
    EXPECT_EQ(
        rowsOf(*db_,
               "select column_name, data_type, data_length, data_precision, "
               "data_scale, nullable, column_id from user_tab_columns"),
        QStringList({"N|NUMBER|22|7|2|N|1", "I|NUMBER|22|null|0|Y|2", "V|VARCHAR2|30|null|null|Y|3",
                     "W|VARCHAR2|40|null|null|Y|4", "CH|CHAR|3|null|null|Y|5",
                     "NV|NVARCHAR2|10|null|null|Y|6", "D|DATE|7|null|null|Y|7",
                     "TS|TIMESTAMP(6)|11|null|6|Y|8", "B|BLOB|4000|null|null|Y|9"}));
    // A table WITHOUT ROWID is Oracle's IOT: its key is the table's own b-tree, its rows have
    // no page of their own to cluster on.
    db_->execute("create table iot (id number constraint iot_pk primary key) organization index");
    db_->execute("insert into iot select level from dual connect by level <= 100");
    db_->execute("analyze table iot compute statistics");
    EXPECT_EQ(one("select t.iot_type, i.index_type, i.leaf_blocks, i.clustering_factor from "
                  "user_tables t join user_indexes i on i.table_name = t.table_name"),
              "IOT|IOT - TOP|1|null");
    // Figures never gathered are absent, not zero.
    EXPECT_EQ(one("select num_distinct, num_nulls, histogram from user_tab_columns where "
                  "column_name = 'N'"),
              "null|null|NONE");
}

TEST_F(EmbeddedDictionary, KeyIndexesGoByTheNamesThePlansShow) {
    // R's key is the rowid (INTEGER PRIMARY KEY): no index of SQLite's, the key's to Oracle.
    db_->execute(
        "create table r (id integer constraint r_pk primary key, code varchar2(10) constraint "
        "r_code unique, grp number)");
    db_->execute("create index r_grp on r (grp)");
    db_->execute(
        "insert into r select level, 'c' || level, mod(level, 7) from dual connect by "
        "level <= 2000");
    db_->execute("exec dbms_stats.gather_table_stats('SCOTT', 'R')");
    db_->execute("create table my_plan as select * from plan_table where 1 = 0");
    db_->execute(
        "explain plan set statement_id = 'k' into my_plan for select * from r where id "
        "= 5 or code = 'c9'");
    EXPECT_EQ(rowsOf(*db_,
                     "select distinct object_name from my_plan where statement_id = 'k' "
                     "and operation = 'INDEX' order by 1"),
              QStringList({"R_CODE", "R_PK"}));
    const QStringList indexes = {"R_CODE|UNIQUE|YES|2000|2000", "R_GRP|NONUNIQUE|NO|7|2000",
                                 "R_PK|UNIQUE|YES|2000|2000"};
    for (const char* view : {"user_indexes", "dba_indexes"})
        EXPECT_EQ(rowsOf(*db_, QStringLiteral("select index_name, uniqueness, constraint_index, "
                                              "distinct_keys, num_rows from %1")
                                   .arg(QLatin1StringView(view))),
                  indexes)
            << view;
    EXPECT_EQ(rowsOf(*db_, "select index_name, column_name, column_position from user_ind_columns"),
              QStringList({"R_CODE|CODE|1", "R_GRP|GRP|1", "R_PK|ID|1"}));
    EXPECT_EQ(rowsOf(*db_, "select constraint_name, index_name from user_constraints"),
              QStringList({"R_CODE|R_CODE", "R_PK|R_PK"}));
    // Rows in key order: the key's clustering factor is the table's pages with rows.
    EXPECT_EQ(one("select count(*) from user_ind_statistics s join user_indexes i on "
                  "i.index_name = s.index_name where s.clustering_factor = i.clustering_factor "
                  "and s.leaf_blocks = i.leaf_blocks and s.table_owner = 'SCOTT'"),
              "3");
    const QStringList key = one("select i.clustering_factor, t.blocks from user_indexes i join "
                                "user_tab_statistics t on t.table_name = i.table_name where "
                                "i.index_name = 'R_PK'")
                                .split(u'|');
    ASSERT_EQ(key.size(), 2);
    EXPECT_LE(key[0].toInt(), key[1].toInt());
    EXPECT_GT(key[0].toInt(), key[1].toInt() / 2);
    db_->execute("rename r to r2");  // the key's figures go with its table
    EXPECT_EQ(one("select owner, table_name, num_rows from all_indexes where index_name = 'R_PK'"),
              "SCOTT|R2|2000");
}

TEST_F(EmbeddedDictionary, LowAndHighValuesReadBackAsTheColumnsExtremes) {
    db_->execute("create table v (neg number, small number, big number, s varchar2(10), d date)");
    db_->execute(
        "insert into v values (-123.45, 0, 1000000, 'abc', timestamp '2024-03-15 "
        "10:20:30')");
    db_->execute("insert into v values (-0.5, 0.07, 123456789.125, 'ｱｲｳ', date '1999-12-31')");
    db_->execute("analyze table v compute statistics");
    // Oracle's NUMBER: an exponent byte, then base-100 digits plus 1 (negative: 101 less the
    // digit, and 102 to close).
    const auto number = [](const QByteArray& b) {
        const bool negative = uint8_t(b[0]) < 0x80;
        const int exponent = negative ? 0x3E - uint8_t(b[0]) : uint8_t(b[0]) - 0xC1;
        double v = 0;
        for (int i = 1; i < b.size() && !(negative && uint8_t(b[i]) == 102); ++i)
            v += (negative ? 101 - uint8_t(b[i]) : uint8_t(b[i]) - 1) *
                 std::pow(100.0, exponent - (i - 1));
        return QString::number(negative ? -v : v, 'g', 15);
    };
    const auto date = [](const QByteArray& b) {
        return QStringLiteral("%1-%2-%3 %4:%5:%6")
            .arg((uint8_t(b[0]) - 100) * 100 + uint8_t(b[1]) - 100)
            .arg(int(b[2]), 2, 10, QChar(u'0'))
            .arg(int(b[3]), 2, 10, QChar(u'0'))
            .arg(int(b[4]) - 1, 2, 10, QChar(u'0'))
            .arg(int(b[5]) - 1, 2, 10, QChar(u'0'))
            .arg(int(b[6]) - 1, 2, 10, QChar(u'0'));
    };
    QStringList decoded;
    for (auto rs = db_->openRecordset("select column_name, low_value, high_value from "
                                      "user_tab_col_statistics");
         !rs->eof(); rs->moveNext()) {
        const QString column = rs->value(0).toString();
        for (int k : {1, 2}) {
            const QVariant raw = rs->value(k);
            ASSERT_EQ(raw.typeId(), QMetaType::QByteArray) << column.toStdString();
            const QByteArray b = raw.toByteArray();
            decoded << (column == u"S"   ? QString::fromUtf8(b)
                        : column == u"D" ? date(b)
                                         : number(b));
        }
    }
    EXPECT_EQ(decoded, QStringList({"-123.45", "-0.5", "0", "0.07", "1000000", "123456789.125",
                                    "abc", "ｱｲｳ", "1999-12-31 00:00:00", "2024-03-15 10:20:30"}));
}

TEST_F(EmbeddedDictionary, CursorViewsAndDisplayCursorShowTheRunStatement) {
    makeTable(false);
    db_->execute("analyze table t compute statistics");
    const QString sql =
        "select /*+ gather_plan_statistics */ count(*) from t where k between 10 "
        "and 59 and grp = 3";
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(rowsOf(*db_, sql), QStringList("5"));
    const QString id = sqlIdOf(sql);
    const QStringList shown =
        rowsOf(*db_, "select * from table(dbms_xplan.display_cursor(null, null, 'ALLSTATS LAST'))");
    ASSERT_GT(shown.size(), 10);
    EXPECT_EQ(shown.mid(0, 3), QStringList({"SQL_ID  " + id + ", child number 0",
                                            QString(shown[0].size(), u'-'), sql}));
    EXPECT_EQ(shown[4], "Plan hash value: " + one("select plan_hash_value from v$sql where "
                                                  "sql_id = '" +
                                                  id + "'"));
    EXPECT_TRUE(shown[7].contains("| Starts | E-Rows | A-Rows | Buffers |"))
        << shown[7].toStdString();
    EXPECT_TRUE(shown.contains("   2 - filter(\"GRP\"=3)"));
    EXPECT_FALSE(shown.contains("Note"));
    EXPECT_EQ(one("select executions, rows_processed, child_number, command_type, sql_fulltext, "
                  "parsing_schema_name from v$sql where sql_id = '" +
                  id + "'"),
              "2|2|0|3|" + sql + "|SCOTT");
    // The plan's lines, as V$SQL_PLAN gives them, are those DISPLAY_CURSOR draws.
    QStringList fromView, fromText;
    for (const QString& row :
         rowsOf(*db_,
                "select depth, operation, options, object_name from v$sql_plan where "
                "sql_id = '" +
                    id + "' order by id")) {
        const QStringList f = row.split(u'|');
        fromView << QString(f[0].toInt(), u' ') + f[1] + (f[2] == u"null" ? "" : u' ' + f[2]) +
                        u'|' + (f[3] == u"null" ? "" : f[3]);
    }
    const QStringList basic =
        rowsOf(*db_, "select * from table(dbms_xplan.display_cursor('" + id + "', 0, 'BASIC'))");
    for (const QString& line : basic.mid(9, fromView.size())) {
        QString operation = line.section(u'|', 2, 2).mid(1);  // indented by its depth
        while (operation.endsWith(u' '))
            operation.chop(1);
        fromText << operation + u'|' + line.section(u'|', 3, 3).trimmed();
    }
    EXPECT_EQ(fromText, fromView);
    EXPECT_FALSE(fromView.isEmpty());
    // Without the run's figures, Oracle's note says why; a cursor not kept cannot be found.
    rowsOf(*db_, "select count(*) from t where k = 3");
    EXPECT_TRUE(rowsOf(*db_,
                       "select * from table(dbms_xplan.display_cursor(format => "
                       "'ALLSTATS LAST'))")
                    .contains("   - Warning: basic plan statistics not available. These are "
                              "only collected when:"));
    EXPECT_EQ(rowsOf(*db_, "select * from table(dbms_xplan.display_cursor('zzzzzzzzzzzzz'))"),
              QStringList("SQL_ID: zzzzzzzzzzzzz, child number: 0 cannot be found"));
}

TEST(OracleRawValues, NumbersAndDatesTakeOraclesInternalForm) {
    sqlite::Connection memory(":memory:", sqlite::Connection::Mode::ReadWrite, 0);
    const struct {
        const char* value;
        const char* type;
        const char* hex;
    } cases[] = {
        {"0", "NUMBER", "80"},
        {"-1", "NUMBER", "3E6466"},
        {"0.5", "NUMBER", "C033"},
        {"123.45", "NUMBER", "C202182E"},
        {"-123.45", "NUMBER", "3D644E3866"},
        {"'2024-03-15 10:20:30'", "DATE", "787C030F0B151F"},
        {"'ab'", "VARCHAR2(5)", "6162"},
        {"x'00ff'", "RAW(2)", "00FF"},
    };
    for (const auto& c : cases) {
        sqlite::Statement s(memory.handle(), QByteArray("SELECT ") + c.value);
        ASSERT_TRUE(s.step());
        EXPECT_EQ(oracleRawHex(sqlite3_column_value(s.handle(), 0), c.type), c.hex) << c.value;
    }
}

TEST_F(EmbeddedDictionary, SampleAnswersWithItsGatheredFigures) {
    generateSampleDatabase(sampleDatabasePath(dir_.path()), SampleSize{200, 50, 1000, 4});
    auto db = openEmbeddedDatabase("sqlite:sample", "SCOTT", dir_.path());
    EXPECT_EQ(rowsOf(*db,
                     "select table_name from user_tables where num_rows = case table_name "
                     "when 'CUSTOMERS' then (select count(*) from customers) when 'ORDERS' "
                     "then (select count(*) from orders) when 'PRODUCTS' then (select "
                     "count(*) from products) else (select count(*) from order_items) end"),
              QStringList({"CUSTOMERS", "ORDERS", "ORDER_ITEMS", "PRODUCTS"}));
    EXPECT_EQ(rowsOf(*db,
                     "select count(*) from user_indexes where index_name like 'SQLITE%' or "
                     "index_name like 'QV$%' or clustering_factor is null"),
              QStringList("0"));
    // Its keys are rowids: each table's primary key and its index are PK_ and its name.
    EXPECT_EQ(rowsOf(*db,
                     "select count(*) from user_constraints c join user_indexes i on "
                     "i.index_name = c.index_name and i.index_name = 'PK_' || i.table_name "
                     "where c.constraint_type = 'P' and i.uniqueness = 'UNIQUE'"),
              QStringList("4"));
    EXPECT_EQ(rowsOf(*db, "select count(*) from user_objects where object_name like 'QV$%'"),
              QStringList("0"));
    const QStringList banner = rowsOf(*db, "select banner from v$version");
    ASSERT_EQ(banner.size(), 1);
    EXPECT_TRUE(banner.front().startsWith("QuervinStudio embedded engine on SQLite 3."));
    EXPECT_FALSE(banner.front().contains("Oracle Database"));
    db->execute("alter session set optimizer_goal = first_rows");
    EXPECT_EQ(rowsOf(*db, "select name, value, isdefault from v$parameter"),
              QStringList({"db_block_size|4096|TRUE", "optimizer_mode|FIRST_ROWS|FALSE",
                           "statistics_level|TYPICAL|TRUE"}));
    EXPECT_EQ(rowsOf(*db,
                     "select count(*) = (select count(*) from v$statname), count(distinct "
                     "sid) from v$mystat where sid = userenv('SID')"),
              QStringList("1|1"));
    // What a session may always ask of itself: its id, its audit id, the one instance.
    EXPECT_EQ(rowsOf(*db,
                     "select sys_context('USERENV', 'SID') = to_char(userenv('SID')), "
                     "sys_context('userenv', 'SESSIONID') = to_char(userenv('SESSIONID')), "
                     "sys_context('USERENV', 'INSTANCE') from dual"),
              QStringList("1|1|1"));
}

}  // namespace
