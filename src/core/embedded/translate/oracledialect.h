#pragma once

#include "core/embedded/parse/parsedstatement.h"
#include "core/sql/sqltokens.h"
#include "core/sqlite/sqlite.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace qv::embedded {

using sql::Token;

// Asked now and then while a statement is translated, from the translating thread: true ends
// the translation with ORA-01013, as a cancelled call ends. Empty: never stopped.
using StopCheck = std::function<bool()>;

// A column as the schema declares it: its type as written in CREATE TABLE ("VARCHAR2(10)",
// "NUMBER(8,2)", empty for none).
struct ColumnFacts {
    QString name;
    QString type;
    bool notNull = false;
    // An identity column's sequence (as QV$SEQUENCES names it), empty for any other column: an
    // INSERT that leaves the column out, or gives it DEFAULT (or NULL with `defaultOnNull`), takes
    // the sequence's next value; one that gives a GENERATED ALWAYS column a value is ORA-32795,
    // an UPDATE that sets it ORA-32796.
    QString identity;
    bool generatedAlways = false;
    bool defaultOnNull = false;
};

// A table of the schema: its owner (the schema's user), its name as created and its columns in
// order.
struct TableFacts {
    QString owner;
    QString name;
    std::vector<ColumnFacts> columns;

    // The column named `name` (compared without regard to case); null when there is none.
    const ColumnFacts* column(const QString& name) const;
    // The identity column; null when there is none.
    const ColumnFacts* identityColumn() const;
};

// Asked by the translation of the schema: the table named `table` (compared without regard to
// case), nullopt when there is none. Empty: nothing is known.
using SchemaLookup = std::function<std::optional<TableFacts>(const QString& table)>;

// The statement with Oracle's forms that SQLite lacks written in SQLite's terms, read from the
// tokens, so nothing inside a literal, a quoted name or a comment is touched:
//   DUAL                      a one-row table; FROM DUAL left out when nothing reads its column
//   SYSDATE, CURRENT_DATE     the local date and time as stored text (see oraclefunctions.h)
//   SYSTIMESTAMP, CURRENT_TIMESTAMP, LOCALTIMESTAMP   the same with milliseconds
//   DATE '...', TIMESTAMP '...'  checked and written as stored text
//   NVL, NVL2, DECODE         IFNULL and CASE (DECODE matches NULL with NULL and reads its value
//                             once: Translator::decode())
//   GREATEST, LEAST           multi-argument MAX and MIN
//   CAST(x AS DATE|TIMESTAMP) TO_DATE(x), TO_TIMESTAMP(x)
//   EXTRACT(part FROM d)      the part as a number
//   + - ||                    one call for a chain at one level (|| on a level with + and -, as
//                             in Oracle): qv_concat(a, b, ...) for || alone, else
//                             qv_arith('+-|', a, b, c, ...) applying the operators left to right;
//                             for date arithmetic and NULL-as-empty concatenation
//   * / %                     qv_arith('*/%', a, b, ...) for a chain at one level, below || as
//                             Oracle has them: exact integers (ORA-01426 past 64 bits), exact
//                             division, ORA-01476
//                             (a chain of more than kMaxCallArguments operands is split into calls
//                             nested from the left, which keeps the order)
//   s.NEXTVAL, s.CURRVAL      qv_nextval('S'), qv_currval('S') (sequences.h)
//   ''                        NULL (see oraclevalues.h for the rules of values the translation
//                             keeps: NULLS LAST/FIRST in ORDER BY, TRIM(... FROM ...), CAST to a
//                             number or text, scalar subqueries, grouping errors)
//   ROWNUM                    ROW_NUMBER() OVER () in the select list and ORDER BY;
//                             WHERE ROWNUM <= n, < n, = 1 (an AND term) as a LIMIT, applied before
//                             sorting, grouping and DISTINCT as in Oracle
//   OFFSET n ROWS, FETCH FIRST|NEXT n ROWS ONLY   LIMIT and OFFSET
//   FETCH ... WITH TIES, FETCH FIRST n PERCENT ROWS   the query's rows numbered, ranked and
//                             counted by windows over its ORDER BY in a subquery, the page kept
//                             by the query around it (translatorfetch.cpp)
//   MINUS                     EXCEPT; a parenthesised member of a set operation becomes a subquery
//   SELECT UNIQUE             SELECT DISTINCT
//   CONNECT BY LEVEL on DUAL  a recursive row generator
//   types in CREATE and ALTER VARCHAR2(n BYTE|CHAR), NUMBER(*,s), TIMESTAMP(n) WITH TIME ZONE
//                             reduced to what SQLite parses; other Oracle types are kept as
//                             written, as SQLite accepts any type name
//   DEFAULT expr              parenthesised, as SQLite requires
//   N'text', q'[text]'        SQLite's 'text' (q'...' with any delimiter, nq'...')
//   a.x = b.y(+)              LEFT JOIN (outerjoin.h), before the rest of the translation
//   LISTAGG(...) WITHIN GROUP (ORDER BY ...) [OVER (PARTITION BY ...)]   qv_listagg (listagg.h)
//   MEDIAN, PERCENTILE_CONT|DISC, STDDEV, VARIANCE and their forms, KEEP (DENSE_RANK ...),
//   RATIO_TO_REPORT           the engine's aggregates (translatorstats.cpp, oraclestats.h)
//   ROLLUP, CUBE, GROUPING SETS, GROUPING(), GROUPING_ID(), GROUP_ID()   one GROUP BY over the
//                             rows read once per grouping set (translatorgrouping.cpp)
//   PIVOT, UNPIVOT            the queries they stand for (pivot.cpp)
//   MEDIAN, PERCENTILE_CONT|DISC, STDDEV, VARIANCE and their forms, KEEP (DENSE_RANK ...),
//   RATIO_TO_REPORT           the engine's aggregates (translatorstats.cpp, oraclestats.h)
//   ROLLUP, CUBE, GROUPING SETS, GROUPING(), GROUPING_ID(), GROUP_ID()   one GROUP BY over the
//                             rows read once per grouping set (translatorgrouping.cpp)
//   PIVOT, UNPIVOT            the queries they stand for (pivot.cpp)
//   INTERVAL '...' qualifier, CHR(n USING NCHAR_CS), DUMP('literal'), UTL_RAW.f(...) and
//   DBMS_LOB.f(...)           the engine's functions (translatorfunctions.cpp)
//   UPDATE t a SET a.col = ... the column named alone, as SQLite's SET takes it
// and the statement-level commands of translateCommand() (oraclecommands.h): TRUNCATE, ANALYZE,
// the DBMS_STATS calls. The DDL of a schema (CREATE TABLE, ALTER TABLE, sequences, views,
// comments...) never reaches it: the engine carries it out itself (schemacommands.h), and
// translates the pieces (types, defaults, checks, queries) through it.
// Every select item without a quoted alias gets one with Oracle's heading (upper case, blanks
// removed, at most 4,000 characters), so results are headed as in Oracle; a trailing "/" line
// (SQL*Plus) is dropped.
// Takes time in proportion to the statement's length, however deep it nests (once more for each
// query with (+) joins).
// Throws DbError(kErrOdbcCall) with ORA-00900 for what it refuses rather than run differently
// (and Oracle's own errors for the (+) forms Oracle refuses, see outerjoin.h, ORA-30563 for a (+)
// outside a query's WHERE clause): PL/SQL other than the DBMS_STATS calls (an Oracle trigger among
// it), ROWNUM where no LIMIT can stand for it, FETCH ... PERCENT or WITH TIES after a set
// operation, with DISTINCT or with * of a subquery; with Oracle's date
// errors for a malformed date literal; ORA-00972 for a name (quoted or not) longer than 128 bytes
// of UTF-8; ORA-03095 for parentheses and CASE nested deeper than kMaxNesting (255, Oracle's limit
// for subqueries nested in a WHERE clause); ORA-01013 once `stopped` says so; ORA-00979 and
// ORA-00937 for a column neither grouped nor aggregated. `schema` tells which ORDER BY terms need
// no NULLS LAST or NULLS FIRST and what the columns an INSERT or UPDATE writes hold (values checked
// and rounded on store, oraclevalues.h).
QString translateOracle(const ParsedStatement& statement, const StopCheck& stopped = {},
                        const SchemaLookup& schema = {});

// The statement as SQLite runs it: Oracle's forms translated (translateOracle), then a
// hierarchical query rewritten (hierarchical.h) and identifiers with # quoted. The engine's way
// in for every statement a user sends. Throws what translateOracle and rewriteHierarchicalQuery
// throw.
QString sqliteText(const ParsedStatement& statement, const StopCheck& stopped = {},
                   const SchemaLookup& schema = {});

// The heading of result column `column`: SQLite's name, except that a table column read
// through * or t.* is upper-cased as Oracle's dictionary holds an unquoted name (columns the
// statement names are aliased by translateOracle). Cannot fail.
QString oracleHeading(const sqlite::Statement& stmt, int column);

}  // namespace qv::embedded
