#pragma once

#include <sqlite3.h>

namespace qv::embedded {

// Registers on `db` Oracle's regular expression functions, on Qt's QRegularExpression (PCRE2):
//   REGEXP_LIKE(source, pattern [, match])
//   REGEXP_SUBSTR(source, pattern [, position [, occurrence [, match [, subexpression]]]])
//   REGEXP_INSTR(source, pattern [, position [, occurrence [, return_option [, match
//                [, subexpression]]]]])
//   REGEXP_REPLACE(source, pattern [, replacement [, position [, occurrence [, match]]]])
//   REGEXP_COUNT(source, pattern [, position [, match]])
// with Oracle's match parameters ('i' 'c' 'n' 'm' 'x', the last of 'i' and 'c' winning), \1 to
// \9 in a replacement, positions in characters, NULL for an empty result, and Oracle's errors:
// ORA-01760 for an unknown match parameter, ORA-01428 for a position, occurrence, return option
// or subexpression out of range, ORA-12725 to ORA-12733 for a pattern it cannot read (one
// longer than 512 bytes included), and ORA-12724 for a match PCRE2 gave up on at its match limit
// (never a quiet "no match"). A result is kept within the connection's value limit as it grows
// (ORA-01489), and a long search looks for a stop of its statement (ORA-01013).
// Oracle's patterns are POSIX extended expressions with Perl's extensions; how PCRE2 reads them
// differently: an alternation takes its first branch that matches, not the longest; an
// equivalence class [[=e=]] and a collating element [[.c.]] stand for the one character
// written; a backslash inside brackets escapes as in Perl. Returns SQLite's result code.
int registerRegexpFunctions(sqlite3* db);

}  // namespace qv::embedded
