// The dictionary views a tuner queries about tables, indexes, columns and their optimizer
// statistics (optimizerstats.h), registered with the others by registerDictionaryViews().
#include "core/embedded/session/dictionaryviewlist.h"

#include "core/embedded/session/sessions.h"
#include "core/embedded/values/oraclevalues.h"
#include "core/embedded/values/sqlfunctions.h"

#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <cctype>

#include <sqlite3.h>

namespace qv::embedded {

namespace {

#define QV_USER_TABLE                                                    \
    "s.type = 'table' AND lower(substr(s.name, 1, 7)) <> 'sqlite_' AND " \
    "lower(substr(s.name, 1, 3)) <> 'qv$' AND s.sql NOT LIKE 'CREATE VIRTUAL%'"

// The indexes of the table ?1 as Oracle's dictionary names them: SQLite's, and a rowid key
// (INTEGER PRIMARY KEY, the table's own b-tree, which the plans read as the key's index).
// `sname` is where their figures are kept (%1, QV$IND_STATS: a rowid key's under the table's
// name); `name` the name the plans show: a primary key's or unique constraint's index is named
// after the constraint (%2, QV$CONSTRAINTS), one of a constraint the engine did not name gets a
// SYS_ name, and a rowid key without a constraint of the engine's PK_ and the table's name.
#define QV_INDEX_LIST                                                                          \
    "(SELECT l.name AS sname, CASE WHEN substr(l.name, 1, 17) = 'sqlite_autoindex_' THEN "     \
    "coalesce((SELECT k.NAME FROM %2 k WHERE k.TABLE_NAME = upper(?1) AND k.TYPE IN ('P', "    \
    "'U') AND k.COLUMNS = (SELECT group_concat(upper(n.name), ',') FROM (SELECT name FROM "    \
    "pragma_index_info(l.name) ORDER BY seqno) n)), 'SYS_' || upper(substr(l.name, 18))) "     \
    "ELSE upper(l.name) END AS name, l.\"unique\" AS uniq, l.origin AS origin, 0 AS rowidkey " \
    "FROM pragma_index_list(?1) l UNION ALL SELECT ?1, coalesce((SELECT k.NAME FROM %2 k "     \
    "WHERE k.TABLE_NAME = upper(?1) AND k.TYPE IN ('P', 'U') AND k.COLUMNS = upper(p.name) "   \
    "ORDER BY k.TYPE LIMIT 1), 'PK_' || upper(?1)), 1, 'pk', 1 FROM pragma_table_info(?1) p "  \
    "WHERE p.pk = 1 AND upper(p.type) = 'INTEGER' AND (SELECT count(*) FROM "                  \
    "pragma_table_info(?1) WHERE pk > 0) = 1 AND (SELECT wr FROM pragma_table_list(?1) WHERE " \
    "schema = 'main') = 0)"

// Whether the index `ix` (of QV_INDEX_LIST) is one a constraint made.
#define QV_CONSTRAINT_INDEX                                                                \
    "CASE WHEN ix.origin <> 'c' OR EXISTS (SELECT 1 FROM %2 k WHERE k.NAME = ix.name AND " \
    "k.TYPE IN ('P', 'U')) THEN 'YES' ELSE 'NO' END"

// The key columns of the session's virtual indexes on the table ?1 (virtualindexes.h), which
// USER_INDEXES leaves out as Oracle does.
#define QV_VIRTUAL_COLUMNS                                                                    \
    "SELECT v.value ->> 'name', upper(?1), k.value ->> 'name', k.key + 1, CASE WHEN k.value " \
    "->> 'desc' THEN 'DESC' ELSE 'ASC' END FROM json_each(qv_virtual_indexes()) v JOIN "      \
    "json_each(v.value, '$.columns') k WHERE v.value ->> 'table' = upper(?1)"

#define QV_OWNER "(SELECT upper(USERNAME) FROM v$session WHERE SID = userenv('SID'))"

#define QV_TABLES_COLUMNS                                                                   \
    "TABLE_NAME VARCHAR2(128), TABLESPACE_NAME VARCHAR2(30), STATUS VARCHAR2(8), NUM_ROWS " \
    "NUMBER, BLOCKS NUMBER, AVG_ROW_LEN NUMBER, SAMPLE_SIZE NUMBER, LAST_ANALYZED DATE, "   \
    "IOT_TYPE VARCHAR2(12), TEMPORARY VARCHAR2(1), PARTITIONED VARCHAR2(3))"

#define QV_TABLES_QUERY                                                                         \
    "SELECT upper(s.name), 'USERS', 'VALID', t.NUM_ROWS, t.BLOCKS, t.AVG_ROW_LEN, t.NUM_ROWS, " \
    "t.LAST_ANALYZED, CASE WHEN l.wr THEN 'IOT' END, 'N', 'NO' FROM main.sqlite_schema s JOIN " \
    "pragma_table_list l ON l.schema = 'main' AND l.name = s.name LEFT JOIN %1 t ON "           \
    "t.TABLE_NAME = upper(s.name) WHERE " QV_USER_TABLE " ORDER BY 1"

#define QV_INDEXES_COLUMNS                                                                     \
    "INDEX_NAME VARCHAR2(128), INDEX_TYPE VARCHAR2(27), TABLE_NAME VARCHAR2(128), TABLE_TYPE " \
    "VARCHAR2(11), UNIQUENESS VARCHAR2(9), TABLESPACE_NAME VARCHAR2(30), BLEVEL NUMBER, "      \
    "LEAF_BLOCKS NUMBER, DISTINCT_KEYS NUMBER, AVG_LEAF_BLOCKS_PER_KEY NUMBER, "               \
    "AVG_DATA_BLOCKS_PER_KEY NUMBER, CLUSTERING_FACTOR NUMBER, STATUS VARCHAR2(8), NUM_ROWS "  \
    "NUMBER, SAMPLE_SIZE NUMBER, LAST_ANALYZED DATE, PARTITIONED VARCHAR2(3), TEMPORARY "      \
    "VARCHAR2(1), CONSTRAINT_INDEX VARCHAR2(3))"

#define QV_INDEXES_QUERY                                                                        \
    "SELECT ix.name, CASE WHEN EXISTS (SELECT 1 FROM pragma_index_xinfo(ix.sname) x WHERE "     \
    "x.key = 1 AND x.cid = -2) THEN 'FUNCTION-BASED NORMAL' WHEN ix.origin = 'pk' AND (SELECT " \
    "wr FROM pragma_table_list(?1) WHERE schema = 'main') THEN 'IOT - TOP' ELSE 'NORMAL' END, " \
    "upper(?1), 'TABLE', CASE ix.uniq WHEN 1 THEN 'UNIQUE' ELSE 'NONUNIQUE' END, 'USERS', "     \
    "i.BLEVEL, i.LEAF_BLOCKS, i.DISTINCT_KEYS, i.AVG_LEAF_BLOCKS_PER_KEY, "                     \
    "i.AVG_DATA_BLOCKS_PER_KEY, i.CLUSTERING_FACTOR, 'VALID', i.NUM_ROWS, i.NUM_ROWS, "         \
    "i.LAST_ANALYZED, 'NO', 'N', " QV_CONSTRAINT_INDEX " FROM " QV_INDEX_LIST                   \
    " ix LEFT JOIN %1 "                                                                         \
    "i ON i.INDEX_NAME = upper(ix.sname) ORDER BY 1"

const DictionaryView kViews[] = {
    {"user_tables", "CREATE TABLE x(" QV_TABLES_COLUMNS, QV_TABLES_QUERY, "QV$TAB_STATS"},
    {"user_indexes", "CREATE TABLE x(" QV_INDEXES_COLUMNS, QV_INDEXES_QUERY,
     "QV$IND_STATS QV$CONSTRAINTS", true},
    {"user_ind_columns",
     "CREATE TABLE x(INDEX_NAME VARCHAR2(128), TABLE_NAME VARCHAR2(128), COLUMN_NAME "
     "VARCHAR2(4000), COLUMN_POSITION NUMBER, DESCEND VARCHAR2(4))",
     // A key that is an expression is a hidden column to Oracle, SYS_NCnnnnn$.
     "SELECT ix.name, upper(?1), coalesce(upper(x.name), 'SYS_NC' || substr('00000' || (x.seqno "
     "+ 1), -5) || '$'), x.seqno + 1, CASE x.desc WHEN 1 THEN 'DESC' ELSE 'ASC' END FROM "
     "" QV_INDEX_LIST " ix JOIN pragma_index_xinfo(ix.sname) x ON x.key = 1 WHERE ix.rowidkey = "
     "0 UNION ALL SELECT ix.name, upper(?1), upper(p.name), 1, 'ASC' FROM " QV_INDEX_LIST " ix "
     "JOIN pragma_table_info(?1) p ON p.pk = 1 WHERE ix.rowidkey = 1 UNION ALL " QV_VIRTUAL_COLUMNS
     " ORDER BY 1, 4",
     "QV$IND_STATS QV$CONSTRAINTS", true},
    {"user_ind_statistics",
     "CREATE TABLE x(INDEX_NAME VARCHAR2(128), TABLE_OWNER VARCHAR2(128), TABLE_NAME "
     "VARCHAR2(128), PARTITION_NAME VARCHAR2(128), PARTITION_POSITION NUMBER, "
     "SUBPARTITION_NAME VARCHAR2(128), SUBPARTITION_POSITION NUMBER, OBJECT_TYPE VARCHAR2(12), "
     "BLEVEL NUMBER, LEAF_BLOCKS NUMBER, DISTINCT_KEYS NUMBER, AVG_LEAF_BLOCKS_PER_KEY NUMBER, "
     "AVG_DATA_BLOCKS_PER_KEY NUMBER, CLUSTERING_FACTOR NUMBER, NUM_ROWS NUMBER, SAMPLE_SIZE "
     "NUMBER, LAST_ANALYZED DATE, GLOBAL_STATS VARCHAR2(3), USER_STATS VARCHAR2(3), "
     "STATTYPE_LOCKED VARCHAR2(5))",
     "SELECT ix.name, " QV_OWNER ", upper(?1), NULL, NULL, NULL, NULL, 'INDEX', i.BLEVEL, "
     "i.LEAF_BLOCKS, i.DISTINCT_KEYS, i.AVG_LEAF_BLOCKS_PER_KEY, i.AVG_DATA_BLOCKS_PER_KEY, "
     "i.CLUSTERING_FACTOR, i.NUM_ROWS, i.NUM_ROWS, i.LAST_ANALYZED, CASE WHEN i.LAST_ANALYZED "
     "IS NULL THEN 'NO' ELSE 'YES' END, 'NO', NULL FROM " QV_INDEX_LIST " ix LEFT JOIN %1 i ON "
     "i.INDEX_NAME = upper(ix.sname) ORDER BY 1",
     "QV$IND_STATS QV$CONSTRAINTS", true},
    {"user_tab_statistics",
     "CREATE TABLE x(TABLE_NAME VARCHAR2(128), PARTITION_NAME VARCHAR2(128), "
     "PARTITION_POSITION NUMBER, SUBPARTITION_NAME VARCHAR2(128), SUBPARTITION_POSITION NUMBER, "
     "OBJECT_TYPE VARCHAR2(12), NUM_ROWS NUMBER, BLOCKS NUMBER, EMPTY_BLOCKS NUMBER, AVG_SPACE "
     "NUMBER, CHAIN_CNT NUMBER, AVG_ROW_LEN NUMBER, SAMPLE_SIZE NUMBER, LAST_ANALYZED DATE, "
     "GLOBAL_STATS VARCHAR2(3), USER_STATS VARCHAR2(3), STATTYPE_LOCKED VARCHAR2(5))",
     // DBMS_STATS leaves EMPTY_BLOCKS, AVG_SPACE and CHAIN_CNT at 0 for what it gathers.
     "SELECT upper(s.name), NULL, NULL, NULL, NULL, 'TABLE', t.NUM_ROWS, t.BLOCKS, CASE WHEN "
     "t.LAST_ANALYZED IS NOT NULL THEN 0 END, CASE WHEN t.LAST_ANALYZED IS NOT NULL THEN 0 END, "
     "CASE WHEN t.LAST_ANALYZED IS NOT NULL THEN 0 END, t.AVG_ROW_LEN, t.NUM_ROWS, "
     "t.LAST_ANALYZED, CASE WHEN t.LAST_ANALYZED IS NULL THEN 'NO' ELSE 'YES' END, 'NO', NULL "
     "FROM main.sqlite_schema s LEFT JOIN %1 t ON t.TABLE_NAME = upper(s.name) WHERE "
     "" QV_USER_TABLE " ORDER BY 1",
     "QV$TAB_STATS"},
    {"user_tab_columns",
     "CREATE TABLE x(TABLE_NAME VARCHAR2(128), COLUMN_NAME VARCHAR2(128), DATA_TYPE "
     "VARCHAR2(128), DATA_LENGTH NUMBER, DATA_PRECISION NUMBER, DATA_SCALE NUMBER, NULLABLE "
     "VARCHAR2(1), COLUMN_ID NUMBER, NUM_DISTINCT NUMBER, LOW_VALUE RAW(1000), HIGH_VALUE "
     "RAW(1000), DENSITY NUMBER, NUM_NULLS NUMBER, NUM_BUCKETS NUMBER, LAST_ANALYZED DATE, "
     "SAMPLE_SIZE NUMBER, AVG_COL_LEN NUMBER, HISTOGRAM VARCHAR2(15), CHAR_LENGTH NUMBER, "
     "DATA_DEFAULT LONG, IDENTITY_COLUMN VARCHAR2(3), DEFAULT_ON_NULL VARCHAR2(3))",
     "SELECT upper(?1), upper(p.name), qv_data_type(p.type, 'TYPE'), qv_data_type(p.type, "
     "'LENGTH'), qv_data_type(p.type, 'PRECISION'), qv_data_type(p.type, 'SCALE'), CASE WHEN "
     "p.\"notnull\" OR p.pk THEN 'N' ELSE 'Y' END, p.cid + 1, c.NUM_DISTINCT, "
     "hextoraw(c.LOW_VALUE), "
     "hextoraw(c.HIGH_VALUE), c.DENSITY, c.NUM_NULLS, c.NUM_BUCKETS, c.LAST_ANALYZED, "
     "c.SAMPLE_SIZE, "
     "c.AVG_COL_LEN, coalesce(c.HISTOGRAM, 'NONE'), qv_data_type(p.type, 'CHAR_LENGTH'), "
     // An identity column's default is its sequence's NEXTVAL, as Oracle shows it.
     "CASE WHEN i.SEQUENCE_NAME IS NULL THEN p.dflt_value ELSE '\"' || " QV_OWNER " || '\".\"' "
     "|| i.SEQUENCE_NAME || '\".nextval' END, CASE WHEN i.SEQUENCE_NAME IS NULL THEN 'NO' ELSE "
     "'YES' END, coalesce(i.DEFAULT_ON_NULL, 'NO') FROM pragma_table_info(?1) p LEFT JOIN %1 c "
     "ON c.TABLE_NAME = upper(?1) AND c.COLUMN_NAME = upper(p.name) LEFT JOIN %2 i ON "
     "i.TABLE_NAME = upper(?1) AND i.COLUMN_NAME = upper(p.name) ORDER BY p.cid",
     "QV$COL_STATS QV$IDENTITY_COLS", true},
    {"user_tab_col_statistics",
     "CREATE TABLE x(TABLE_NAME VARCHAR2(128), COLUMN_NAME VARCHAR2(128), NUM_DISTINCT NUMBER, "
     "LOW_VALUE RAW(1000), HIGH_VALUE RAW(1000), DENSITY NUMBER, NUM_NULLS NUMBER, NUM_BUCKETS "
     "NUMBER, LAST_ANALYZED DATE, SAMPLE_SIZE NUMBER, AVG_COL_LEN NUMBER, HISTOGRAM "
     "VARCHAR2(15))",
     "SELECT c.TABLE_NAME, c.COLUMN_NAME, c.NUM_DISTINCT, hextoraw(c.LOW_VALUE), "
     "hextoraw(c.HIGH_VALUE), "
     "c.DENSITY, "
     "c.NUM_NULLS, c.NUM_BUCKETS, c.LAST_ANALYZED, c.SAMPLE_SIZE, c.AVG_COL_LEN, c.HISTOGRAM "
     "FROM %1 c JOIN main.sqlite_schema s ON upper(s.name) = c.TABLE_NAME AND s.type = 'table' "
     "ORDER BY c.TABLE_NAME, c.rowid",
     "QV$COL_STATS", false, true},
    {"user_tab_histograms",
     "CREATE TABLE x(TABLE_NAME VARCHAR2(128), COLUMN_NAME VARCHAR2(4000), ENDPOINT_NUMBER "
     "NUMBER, ENDPOINT_VALUE NUMBER, ENDPOINT_ACTUAL_VALUE VARCHAR2(4000), "
     "ENDPOINT_REPEAT_COUNT NUMBER)",
     "SELECT h.TABLE_NAME, h.COLUMN_NAME, h.ENDPOINT_NUMBER, h.ENDPOINT_VALUE, "
     "h.ENDPOINT_ACTUAL_VALUE, h.ENDPOINT_REPEAT_COUNT FROM %1 h JOIN main.sqlite_schema s ON "
     "upper(s.name) = h.TABLE_NAME AND s.type = 'table' ORDER BY h.TABLE_NAME, h.COLUMN_NAME, "
     "h.ENDPOINT_NUMBER",
     "QV$HISTOGRAMS", false, true},
    {"user_objects",
     "CREATE TABLE x(OBJECT_NAME VARCHAR2(128), OBJECT_TYPE VARCHAR2(23), STATUS VARCHAR2(7), "
     "TEMPORARY VARCHAR2(1), GENERATED VARCHAR2(1))",
     "SELECT upper(s.name), upper(s.type), 'VALID', 'N', 'N' FROM main.sqlite_schema s WHERE "
     "s.type IN ('table', 'view', 'index', 'trigger') AND lower(substr(s.name, 1, 7)) <> "
     "'sqlite_' AND lower(substr(s.name, 1, 3)) <> 'qv$' AND (s.type <> 'table' OR s.sql NOT "
     "LIKE 'CREATE VIRTUAL%') UNION ALL SELECT q.NAME, 'SEQUENCE', 'VALID', 'N', 'N' FROM %1 q "
     "UNION ALL SELECT v.value ->> 'name', 'INDEX', 'VALID', 'N', 'N' FROM "
     "json_each(qv_virtual_indexes()) v ORDER BY 1, 2",
     "QV$SEQUENCES"},
    {"v$version", "CREATE TABLE x(BANNER VARCHAR2(80))",
     "SELECT 'QuervinStudio embedded engine on SQLite " SQLITE_VERSION " (Oracle SQL stand-in)'",
     ""},
    {"v$parameter",
     "CREATE TABLE x(NAME VARCHAR2(80), TYPE NUMBER, VALUE VARCHAR2(4000), DISPLAY_VALUE "
     "VARCHAR2(4000), ISDEFAULT VARCHAR2(9), ISSES_MODIFIABLE VARCHAR2(5))",
     // What the engine has: the optimizer goal of ALTER SESSION (Oracle's default ALL_ROWS),
     // STATISTICS_LEVEL (ALL measures every plan line), the page size as the block size.
     "SELECT NAME, TYPE, coalesce(v, d), coalesce(v, d), CASE WHEN v IS NULL THEN 'TRUE' ELSE "
     "'FALSE' END, m FROM (SELECT 'optimizer_mode' AS NAME, 2 AS TYPE, "
     "qv_session_parameter('OPTIMIZER_MODE') AS v, 'ALL_ROWS' AS d, 'TRUE' AS m UNION ALL "
     "SELECT 'statistics_level', 2, qv_session_parameter('STATISTICS_LEVEL'), 'TYPICAL', 'TRUE' "
     "UNION ALL SELECT 'db_block_size', 3, NULL, (SELECT page_size FROM pragma_page_size), "
     "'FALSE') ORDER BY NAME",
     ""},
    {"nls_session_parameters", "CREATE TABLE x(PARAMETER VARCHAR2(30), VALUE VARCHAR2(64))",
     "SELECT 'NLS_LANGUAGE', qv_session_parameter('NLS_LANGUAGE') UNION ALL SELECT "
     "'NLS_TERRITORY', qv_session_parameter('NLS_TERRITORY') UNION ALL SELECT "
     "'NLS_NUMERIC_CHARACTERS', '.,' UNION ALL SELECT 'NLS_CALENDAR', 'GREGORIAN' UNION ALL "
     "SELECT 'NLS_DATE_FORMAT', qv_session_parameter('NLS_DATE_FORMAT') UNION ALL SELECT "
     "'NLS_DATE_LANGUAGE', qv_session_parameter('NLS_DATE_LANGUAGE') UNION ALL SELECT "
     "'NLS_TIMESTAMP_FORMAT', 'YYYY-MM-DD HH24:MI:SS.FF'",
     ""},
    {"v$mystat", "CREATE TABLE x(SID NUMBER, [STATISTIC#] NUMBER, VALUE NUMBER)",
     "SELECT SID, \"STATISTIC#\", VALUE FROM v$sesstat WHERE SID = userenv('SID') ORDER BY 2", ""},
};

#undef QV_USER_TABLE
#undef QV_INDEX_LIST
#undef QV_CONSTRAINT_INDEX
#undef QV_OWNER

struct DataType {
    DataType(QString t, std::optional<int64_t> l = std::nullopt,
             std::optional<int64_t> p = std::nullopt, std::optional<int64_t> s = std::nullopt,
             std::optional<int64_t> c = std::nullopt)
        : type(std::move(t)), length(l), precision(p), scale(s), charLength(c) {}
    QString type;
    std::optional<int64_t> length, precision, scale, charLength;
};

// A declared type as Oracle's dictionary shows it.
DataType dataTypeOf(const QString& declared) {
    const std::optional<StoreCheck> interval = storeCheck(declared);
    if (interval && interval->rule == StoreRule::YearToMonth)
        return {QStringLiteral("INTERVAL YEAR(%1) TO MONTH").arg(interval->size), 5, interval->size,
                0};
    if (interval && interval->rule == StoreRule::DayToSecond)
        return {QStringLiteral("INTERVAL DAY(%1) TO SECOND(%2)")
                    .arg(interval->size)
                    .arg(interval->scale),
                11, interval->size, interval->scale};
    static const QRegularExpression kDecl(
        QStringLiteral(
            R"(^\s*([A-Za-z][A-Za-z0-9_ ]*?)\s*(?:\(\s*(\d+)\s*(?:,\s*(-?\d+)\s*)?(BYTE|CHAR)?\s*\))?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = kDecl.match(declared);
    if (!m.hasMatch())
        return {declared.toUpper()};
    const QString base = m.captured(1).toUpper().simplified();
    const bool sized = m.hasCaptured(2);
    const int64_t size = m.captured(2).toLongLong();
    const std::optional<StoreCheck> check = storeCheck(declared);
    if (base == u"INTEGER" || base == u"INT" || base == u"SMALLINT")
        return {QStringLiteral("NUMBER"), 22, std::nullopt, 0};
    if (check && (check->rule == StoreRule::Number || check->rule == StoreRule::SizedNumber))
        return {QStringLiteral("NUMBER"), 22, sized ? std::optional<int64_t>(size) : std::nullopt,
                m.hasCaptured(3) || sized ? std::optional<int64_t>(check->scale) : std::nullopt};
    if (check && check->rule != StoreRule::Date) {
        const bool national = base.startsWith(u'N');
        const bool characters = check->rule == StoreRule::TextInCharacters ||
                                check->rule == StoreRule::CharInCharacters;
        const bool fixed =
            check->rule == StoreRule::CharInBytes || check->rule == StoreRule::CharInCharacters;
        const QString type = national
                                 ? (fixed ? QStringLiteral("NCHAR") : QStringLiteral("NVARCHAR2"))
                                 : (fixed ? QStringLiteral("CHAR") : QStringLiteral("VARCHAR2"));
        // Bytes: AL16UTF16 for the national types, up to 4 of AL32UTF8 per character otherwise.
        const int64_t length =
            national ? check->size * 2 : (characters ? check->size * 4 : check->size);
        return {type, length, std::nullopt, std::nullopt, check->size};
    }
    if (base == u"DATE")
        return {base, 7};
    if (base.startsWith(u"TIMESTAMP"))
        return {QStringLiteral("TIMESTAMP(%1)").arg(sized ? size : 6), 11, std::nullopt,
                sized ? size : 6};
    if (base == u"FLOAT")
        return {base, 22, sized ? size : 126};
    if (base == u"BINARY_DOUBLE")
        return {base, 8};
    if (base == u"BINARY_FLOAT")
        return {base, 4};
    if (base == u"CLOB" || base == u"BLOB" || base == u"NCLOB")
        return {base, 4000};
    if (base == u"RAW" && sized)
        return {base, size};
    return {base};
}

void dataType(sqlite3_context* ctx, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const QByteArray part =
        QByteArray(reinterpret_cast<const char*>(sqlite3_value_text(args[1]))).toUpper();
    const DataType t = dataTypeOf(QString::fromUtf8(text ? text : ""));
    if (part == "TYPE") {
        const QByteArray type = t.type.toUtf8();
        if (type.isEmpty())
            sqlite3_result_null(ctx);
        else
            sqlite3_result_text(ctx, type.constData(), int(type.size()), SQLITE_TRANSIENT);
        return;
    }
    const std::optional<int64_t> value = part == "LENGTH"      ? t.length
                                         : part == "PRECISION" ? t.precision
                                         : part == "SCALE"     ? t.scale
                                                               : t.charLength;
    if (value)
        sqlite3_result_int64(ctx, *value);
    else
        sqlite3_result_null(ctx);
}

void sessionParameter(sqlite3_context* ctx, int, sqlite3_value** args) {
    const int64_t sid = *static_cast<const int64_t*>(sqlite3_user_data(ctx));
    const auto* name = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    for (const auto& session : openSessions()) {
        if (session->sid() != sid)
            continue;
        const QByteArray value = session->parameter(QString::fromUtf8(name ? name : "")).toUtf8();
        if (value.isEmpty())
            break;
        sqlite3_result_text(ctx, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        return;
    }
    sqlite3_result_null(ctx);
}

// RAWTOHEX(raw): the bytes in upper-case hex, as Oracle writes a RAW (LOW_VALUE, HIGH_VALUE).
void rawToHex(sqlite3_context* ctx, int, sqlite3_value** args) {
    if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const QByteArray hex = QByteArray(static_cast<const char*>(sqlite3_value_blob(args[0])),
                                      sqlite3_value_bytes(args[0]))
                               .toHex()
                               .toUpper();
    sqlite3_result_text(ctx, hex.constData(), int(hex.size()), SQLITE_TRANSIENT);
}

// HEXTORAW(text): the bytes the hex digits stand for, NULL for NULL or empty text; ORA-01465
// for text that is no hex. The dictionary keeps LOW_VALUE and HIGH_VALUE as hex text and shows
// them as RAW through it (SQLite's own unhex() is younger than some systems' SQLite).
void hexToRaw(sqlite3_context* ctx, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const int size = sqlite3_value_bytes(args[0]);
    if (!text || size == 0) {
        sqlite3_result_null(ctx);
        return;
    }
    const QByteArray hex(text, size);
    const bool valid = size % 2 == 0 && std::all_of(hex.begin(), hex.end(), [](char c) {
                           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                       });
    if (!valid) {
        sqlite3_result_error(ctx, "ORA-01465: invalid hex number", -1);
        return;
    }
    const QByteArray raw = QByteArray::fromHex(hex);
    sqlite3_result_blob(ctx, raw.constData(), int(raw.size()), SQLITE_TRANSIENT);
}

}  // namespace

int registerSessionParameterFunction(sqlite3* db, int64_t sid) {
    return sqlite3_create_function_v2(db, "qv_session_parameter", 1, SQLITE_UTF8, new int64_t(sid),
                                      oracle::guarded<sessionParameter>, nullptr, nullptr,
                                      [](void* p) { delete static_cast<int64_t*>(p); });
}

std::span<const DictionaryView> statisticsViews() {
    return kViews;
}

int registerDataTypeFunction(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    const int rc = sqlite3_create_function_v2(db, "qv_data_type", 2, flags, nullptr,
                                              oracle::guarded<dataType>, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    const int raw = sqlite3_create_function_v2(
        db, "rawtohex", 1, flags, nullptr, oracle::guarded<rawToHex>, nullptr, nullptr, nullptr);
    if (raw != SQLITE_OK)
        return raw;
    return sqlite3_create_function_v2(db, "hextoraw", 1, flags, nullptr, oracle::guarded<hexToRaw>,
                                      nullptr, nullptr, nullptr);
}

}  // namespace qv::embedded
