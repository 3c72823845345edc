#pragma once

#include <sqlite3.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The bytes of the row `stmt` stands on as Oracle sends it to a client: each value with its
 * length byte (three beyond 250 bytes), a NULL as the length byte alone, an integer as Oracle's
 * NUMBER (an exponent byte, a byte per two digits, a terminator when negative), a real (a binary
 * double) as BINARY_DOUBLE's 8 bytes, a text as its UTF-8 bytes, a BLOB as its bytes. 0 when
 * `stmt` stands on no row. Only in our own build of SQLite (not QUERVIN_SYSTEM_SQLITE). */
SQLITE_API sqlite3_int64 quervin_row_bytes(sqlite3_stmt* stmt);

#ifdef __cplusplus
}
#endif
