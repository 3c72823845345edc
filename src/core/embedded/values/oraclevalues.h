#pragma once

// Oracle's rules for values, and how the embedded engine keeps each over SQLite. Every value is
// stored in SQLite's own types (an INTEGER or REAL number, TEXT, a BLOB), so that indexes,
// range scans, statistics and histograms work as SQLite's planner expects; the rules are kept
// where values are made, compared, sorted and shown:
//
// The empty string is NULL.
//   literals       '' is written as NULL by the translation (Translator::primary()), so
//                  '' IS NULL, NVL('', x) and LENGTH('') answer as Oracle's.
//   binds          an empty value binds NULL (bindvalues.h).
//   functions      every function of the engine hands back NULL rather than empty text: ||,
//                  CONCAT, SUBSTR, REPLACE, TRIM, LTRIM, RTRIM, LPAD, RPAD, TO_CHAR, CAST
//                  (oracletext.cpp, oraclefunctions.cpp), and takes empty text as NULL. They
//                  stand in for SQLite's functions of the same names. SQLite's other functions
//                  only pass on an empty text they are given (LOWER, UPPER, COALESCE, IFNULL).
//   stored values  rows written through the engine never hold '' (qv_store() and the literals
//                  above). A file written by another program may: the engine's functions take
//                  such a value as NULL, but SQLite's IS NULL and = still see it as text.
//
// NULLs sort last ascending and first descending, as if larger than any value.
//   Each ORDER BY term without NULLS FIRST or NULLS LAST gets Oracle's default written out
//   (NULLS LAST after ASC, NULLS FIRST after DESC), in a query's ORDER BY, in OVER (...) and in
//   WITHIN GROUP (...) (Translator::orderBy()). A term the schema says is never NULL (a column
//   declared NOT NULL, an INTEGER PRIMARY KEY, ROWID) is left as written, so that an index on
//   several columns still gives the order without a sort; on one column (or past the equality
//   terms of an index) SQLite reads an index in Oracle's NULL order anyway.
//
// LIKE is case-sensitive, with ESCAPE.
//   SQLite is built with SQLITE_CASE_SENSITIVE_LIKE (cmake/sqlite.cmake): its own LIKE, so its
//   LIKE optimization still turns LIKE 'ab%' on an indexed column (BINARY, as every column the
//   engine makes) into an index range scan. On a system SQLite the engine sets the same once at
//   open (PRAGMA case_sensitive_like, which no user statement may set).
//
// Text functions as Oracle defines them (oracletext.cpp), in characters (code points):
//   SUBSTR(s, p [, n])   p = 0 counts as 1, p < 0 counts from the end; n < 1, and p beyond the
//                        text, give NULL.
//   INSTR(s, t [, p [, k]])  the k-th match from p on (backward from the end for p < 0,
//                        matches may overlap); 0 when none or p = 0; k < 1 is ORA-01428.
//   LENGTH(x)            a number's length as TO_CHAR writes it; NULL for NULL.
//   LPAD, RPAD(s, n [, f])  blanks by default; cut to n characters when longer; n < 1 NULL.
//   REPLACE(s, t [, r])  without r (or r NULL) every t is removed; t NULL gives s.
//   TRIM([LEADING|TRAILING|BOTH] [c] FROM s)  one character c (ORA-30001), written by the
//                        translation as qv_trim(s, 'L'|'T'|'B', c); LTRIM and RTRIM take a set.
// CHAR values compare blank-padded: 'a' = 'a  '.
//   The collation named by kBlankPaddedCollation compares two texts as if the shorter were filled
//   with blanks; a column declared with it (COLLATE BLANK_PADDED, as CHAR columns are made)
//   compares, sorts and indexes its values so, however they were stored. Text literals compared
//   with each other compare without padding.
//
// Numbers (oraclefunctions.cpp, oraclemath.cpp, oraclenumbers.cpp).
//   exact integers  + - * of two integers stay 64-bit integers; past that range ORA-01426 (never
//                   a silent REAL). / is exact (7 / 2 = 3.5). SQLite's own * and % are not used
//                   by a translated statement: each chain of + - || or of * / % is one qv_arith
//                   call (translatorchains.cpp).
//   decimal reals   a REAL result of the engine's arithmetic and functions is the double nearest
//                   to its first 15 significant digits (decimalReal()), so 0.1 + 0.2 = 0.3 holds
//                   and sums of amounts stay amounts; beyond NUMBER's range (1E126), or infinite,
//                   it is ORA-01426; POWER(10, 400) and 1E308 * 10 so too.
//   domains         SQRT of a negative number, LN and LOG of zero or less, ACOS and ASIN beyond
//                   1, a negative POWER base with a fractional exponent: ORA-01428.
//   MOD(m, n)       m - n * TRUNC(m / n): the dividend's sign, m itself for n = 0, exact on the
//                   decimal digits.
//   ROUND, TRUNC    of a number to places (negative: before the point), half away from zero on
//                   the decimal digits; of a date to a format's unit ('DD' by default; ROUND
//                   from the unit's half on: a month from its 16th, a year from July 1).
//   CAST(x AS NUMBER[(p[,s])] | INTEGER ...)  qv_number(x [, p, s]): rounded to s, ORA-01438
//                   beyond p, ORA-01722 for text that is no number (where SQLite gives 0).
//   CAST(x AS VARCHAR2(n) ...)  qv_text(x): a number as TO_CHAR writes it.
//   text as number  text that reads as no number is ORA-01722 wherever the engine's arithmetic
//                   and functions take a number ('12abc' + 1, TO_NUMBER('x')).
//   shown           a REAL value reaches the result as Oracle's text of it (TO_CHAR without a
//                   format: .3, 1405561.34, at most 15 significant digits), as Oracle's ODBC
//                   driver hands a NUMBER; an integer as an integer (EmbeddedRecordset::value()).
//                   Oracle's own text is the one form for every cell: .3 and -.5 as SQL*Plus and
//                   TO_CHAR write them, so a number reads the same in a result and in TO_CHAR's.
//
// Values stored into a column (translatorstore.cpp, qv_store() in oraclemath.cpp).
//   The column's declared type, as CREATE TABLE wrote it, is the engine's metadata: SQLite keeps
//   it (PRAGMA table_xinfo) and the translation reads it when an INSERT (VALUES or a query) or an
//   UPDATE ... SET column = value writes the column, passing the value through qv_store():
//   NUMBER          text converted (ORA-01722 for text that is no number);
//   NUMBER(p,s)     also rounded to s places; more than p - s digits before the point is
//   INTEGER, INT    ORA-01438 (INTEGER is NUMBER(38));
//   VARCHAR2(n)     longer than n bytes of UTF-8 (n characters for NVARCHAR2(n) and
//                   VARCHAR2(n CHAR), written VARCHAR2 CHAR(n) for SQLite) is ORA-12899 naming
//                   the column with the actual and maximum lengths;
//   CHAR(n)         the same, and blanks added up to n; the column is declared COLLATE
//                   BLANK_PADDED by the translation of CREATE TABLE and ALTER TABLE.
//   INTERVAL YEAR(p) TO MONTH, INTERVAL DAY(p) TO SECOND(s)  kept as Oracle shows them with
//                   the column's precisions (ORA-01873 past p, ORA-00932 for a number or the
//                   other kind); text read as Oracle's literal forms ('1-2', '4 5:06:07').
//   Not checked: a row value written as (a, b) = (query) in UPDATE, DEFAULT values, and rows
//   written by another program.
//
// Intervals (oracleintervals.cpp) are text as Oracle shows them: '+01-02', '+04 05:06:07.000000';
//   the operators read such text as an interval: a date moved by it (ORA-01839 for a day the
//   month reached lacks), intervals added, multiplied and divided, other mixes ORA-30081.
//   An INTERVAL column compares, sorts and indexes its values by length of time (its collation,
//   kIntervalCollation); two intervals that are no column's compare as text, which orders only
//   intervals of one sign and one precision.
//
// Errors Oracle raises where SQLite would answer.
//   ORA-01427  a scalar subquery that is not one aggregate row reads its column through the
//              aggregate qv_scalar(), which fails on a second row (Translator::scalarQuery()).
//   ORA-00979, ORA-00937  a select list, HAVING or ORDER BY naming a column that is neither
//              grouped nor inside an aggregate (Translator::checkGrouping()).
//   ORA-01008  a statement with placeholders run without values (EmbeddedDatabase).
//
// Not as Oracle: a NUMBER column compared with text that is no number (numcol = 'abc') finds no
// row where Oracle raises ORA-01722, as the translation does not know the column's type; two text
// literals compare without blank padding; a REAL keeps 15 significant digits, not 38.

#include <QString>

#include <cstdint>
#include <optional>

namespace qv::embedded {

// How qv_store() keeps a value written into a column (translatorstore.cpp reads the rule from
// the column's declared type).
enum class StoreRule {
    Number = 1,            // NUMBER: text converted (ORA-01722)
    SizedNumber = 2,       // NUMBER(p,s), INTEGER: rounded to s, ORA-01438 past p digits
    TextInBytes = 3,       // VARCHAR2(n): ORA-12899 past n bytes of UTF-8
    TextInCharacters = 4,  // NVARCHAR2(n), VARCHAR2(n CHAR): past n characters
    CharInBytes = 5,       // CHAR(n): blanks added up to n bytes
    CharInCharacters = 6,  // NCHAR(n), CHAR(n CHAR)
    Date = 7,              // DATE: text read by the session's NLS_DATE_FORMAT (ORA-01861 ...)
    YearToMonth = 8,       // INTERVAL YEAR(size) TO MONTH: kept as shown, '+01-02'
    DayToSecond = 9,       // INTERVAL DAY(size) TO SECOND(scale): '+01 02:03:04.000000'
};

// How qv_store() keeps a value of a column declared `declaredType` (as CREATE TABLE wrote it):
// its rule, size and scale; nullopt when Oracle stores the values of that type as they come.
struct StoreCheck {
    StoreRule rule;
    int64_t size = 0;
    int64_t scale = 0;
};
std::optional<StoreCheck> storeCheck(const QString& declaredType);

// The collation of CHAR columns: texts compared as if the shorter were filled with blanks.
inline const QString kBlankPaddedCollation = QStringLiteral("BLANK_PADDED");
// The collation of INTERVAL columns: intervals compared by their length of time, whatever the
// precision they are shown with ('+01 00:00:00' equals '+001 00:00:00.00'); year-month ones
// before day-second ones before any other text.
inline const QString kIntervalCollation = QStringLiteral("ORACLE_INTERVAL");

}  // namespace qv::embedded
