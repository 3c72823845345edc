#pragma once

#include <cstdint>

namespace qv::embedded {

// What SQLite really read from and wrote to files on the calling thread, counted by a VFS that
// passes every call on to SQLite's default one. A connection's calls run on one thread, one at
// a time, so the difference between two readings taken around a call is that call's own I/O.
struct IoCounts {
    int64_t pageReads = 0;         // reads of whole pages from a database file or its WAL
    int64_t journalBytes = 0;      // bytes written to a rollback journal or a WAL
    int64_t sortSpills = 0;        // temporary files of sorts that were written to
    int64_t sortBytes = 0;         // bytes written to those files
    const void* thread = nullptr;  // whose counts they are
};

// The name of the counting VFS for sqlite3_open_v2, registered (not as the default) on the
// first call. Null when SQLite has no default VFS to pass calls on to; cannot fail otherwise.
const char* countingVfsName();

// The counts of the calling thread since it started.
IoCounts threadIoCounts();

}  // namespace qv::embedded
