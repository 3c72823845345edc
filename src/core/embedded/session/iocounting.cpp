#include "core/embedded/session/iocounting.h"

#include <sqlite3.h>

#include <cstddef>
#include <mutex>

namespace qv::embedded {

namespace {

thread_local IoCounts tCounts;

// Reads shorter than the smallest page are SQLite checking the file header or a WAL frame's
// header, not pages.
constexpr int kSmallestPage = 512;

enum class Kind { Database, Wal, Journal, Sort, Other };

// A file of the counting VFS: its kind, then the default VFS's own file object.
struct CountingFile {
    sqlite3_file base;
    Kind kind;
    bool written;
};

constexpr size_t kRealOffset = (sizeof(CountingFile) + 15) & ~size_t(15);

sqlite3_file* real(sqlite3_file* f) {
    return reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) + kRealOffset);
}
CountingFile* counting(sqlite3_file* f) {
    return reinterpret_cast<CountingFile*>(f);
}

sqlite3_vfs* gDefault = nullptr;

int xClose(sqlite3_file* f) {
    return real(f)->pMethods->xClose(real(f));
}
int xRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
    const int rc = real(f)->pMethods->xRead(real(f), buffer, amount, offset);
    const Kind kind = counting(f)->kind;
    if ((kind == Kind::Database || kind == Kind::Wal) && amount >= kSmallestPage)
        ++tCounts.pageReads;
    return rc;
}
int xWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
    const int rc = real(f)->pMethods->xWrite(real(f), buffer, amount, offset);
    CountingFile* c = counting(f);
    if (rc == SQLITE_OK && (c->kind == Kind::Journal || c->kind == Kind::Wal))
        tCounts.journalBytes += amount;
    if (rc == SQLITE_OK && c->kind == Kind::Sort) {
        tCounts.sortSpills += c->written ? 0 : 1;
        tCounts.sortBytes += amount;
    }
    c->written = true;
    return rc;
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    return real(f)->pMethods->xTruncate(real(f), size);
}
int xSync(sqlite3_file* f, int flags) {
    return real(f)->pMethods->xSync(real(f), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return real(f)->pMethods->xFileSize(real(f), size);
}
int xLock(sqlite3_file* f, int lock) {
    return real(f)->pMethods->xLock(real(f), lock);
}
int xUnlock(sqlite3_file* f, int lock) {
    return real(f)->pMethods->xUnlock(real(f), lock);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int xSectorSize(sqlite3_file* f) {
    return real(f)->pMethods->xSectorSize(real(f));
}
int xDeviceCharacteristics(sqlite3_file* f) {
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
    real(f)->pMethods->xShmBarrier(real(f));
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
    return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
}
// Pages mapped into memory are read without xRead: mapping is refused, so every page read is a
// counted read (the engine maps nothing anyway: SQLite's default mmap size is 0).
int xFetch(sqlite3_file*, sqlite3_int64, int, void** out) {
    *out = nullptr;
    return SQLITE_OK;
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* p) {
    return p ? real(f)->pMethods->xUnfetch(real(f), offset, p) : SQLITE_OK;
}

// The methods for files whose own methods have `version`: SQLite looks at iVersion before it
// calls the shared-memory and mapping methods.
const sqlite3_io_methods* methodsFor(int version) {
    static const sqlite3_io_methods v3 = {3,
                                          xClose,
                                          xRead,
                                          xWrite,
                                          xTruncate,
                                          xSync,
                                          xFileSize,
                                          xLock,
                                          xUnlock,
                                          xCheckReservedLock,
                                          xFileControl,
                                          xSectorSize,
                                          xDeviceCharacteristics,
                                          xShmMap,
                                          xShmLock,
                                          xShmBarrier,
                                          xShmUnmap,
                                          xFetch,
                                          xUnfetch};
    static const sqlite3_io_methods v2 = [] {
        sqlite3_io_methods m = v3;
        m.iVersion = 2;
        m.xFetch = nullptr;
        m.xUnfetch = nullptr;
        return m;
    }();
    static const sqlite3_io_methods v1 = [] {
        sqlite3_io_methods m = v2;
        m.iVersion = 1;
        m.xShmMap = nullptr;
        m.xShmLock = nullptr;
        m.xShmBarrier = nullptr;
        m.xShmUnmap = nullptr;
        return m;
    }();
    return version >= 3 ? &v3 : version == 2 ? &v2 : &v1;
}

Kind kindOf(int flags) {
    if (flags & SQLITE_OPEN_MAIN_DB)
        return Kind::Database;
    if (flags & SQLITE_OPEN_WAL)
        return Kind::Wal;
    if (flags & SQLITE_OPEN_MAIN_JOURNAL)
        return Kind::Journal;
    // The sorter's runs go to files opened as temporary journals.
    if (flags & SQLITE_OPEN_TEMP_JOURNAL)
        return Kind::Sort;
    return Kind::Other;
}

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    CountingFile* c = counting(f);
    c->kind = kindOf(flags);
    c->written = false;
    const int rc = gDefault->xOpen(gDefault, name, real(f), flags, outFlags);
    f->pMethods = real(f)->pMethods ? methodsFor(real(f)->pMethods->iVersion) : nullptr;
    return rc;
}

sqlite3_vfs* countingVfs() {
    static sqlite3_vfs* vfs = []() -> sqlite3_vfs* {
        gDefault = sqlite3_vfs_find(nullptr);
        if (!gDefault)
            return nullptr;
        static sqlite3_vfs v = *gDefault;
        v.szOsFile = int(kRealOffset) + gDefault->szOsFile;
        v.zName = "qv_counting";
        v.pNext = nullptr;
        v.xOpen = xOpen;
        if (sqlite3_vfs_register(&v, 0) != SQLITE_OK)
            return nullptr;
        return &v;
    }();
    return vfs;
}

}  // namespace

const char* countingVfsName() {
    sqlite3_vfs* vfs = countingVfs();
    return vfs ? vfs->zName : nullptr;
}

IoCounts threadIoCounts() {
    IoCounts counts = tCounts;
    counts.thread = &tCounts;
    return counts;
}

}  // namespace qv::embedded
