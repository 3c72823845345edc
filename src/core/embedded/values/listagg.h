#pragma once

#include <sqlite3.h>

namespace qv::embedded {

// What qv_listagg's third argument holds, as bits.
enum ListaggMode {
    kListaggTruncate = 1,   // ON OVERFLOW TRUNCATE, else ON OVERFLOW ERROR
    kListaggWithCount = 2,  // ... WITH COUNT
    kListaggDistinct = 4,   // LISTAGG(DISTINCT ...)
};

// The longest text LISTAGG returns: a VARCHAR2 with MAX_STRING_SIZE = STANDARD.
inline constexpr int kListaggMaxBytes = 4000;

// Registers qv_listagg(value, delimiter, mode, indicator), an aggregate and window function
// that the translation writes for Oracle's LISTAGG (translatorlistagg.cpp), with the rows in the
// order its ORDER BY gives them: the values as text, NULL ones left out, joined by the
// delimiter (none when NULL); NULL when no value is left. Past kListaggMaxBytes it fails with
// ORA-01489, or, with kListaggTruncate, keeps the values that fit and ends with the delimiter,
// the indicator and, with kListaggWithCount, "(n)" for the n values left out. Returns SQLite's
// result code.
int registerListagg(sqlite3* db);

}  // namespace qv::embedded
