// The hash join's area (hasharea.h): the aggregate that fills it and the virtual table that probes
// it (SQLite's plan lines of both: hashareaplan.cpp).
#include "core/embedded/plan/hasharea.h"

#include "core/sql/tokenlist.h"
#include "core/sqlite/sqlite.h"
#ifndef QUERVIN_SYSTEM_SQLITE
#include "core/sqlite/sqliterows.h"
#endif

#include <QHash>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace qv::embedded {

namespace {

constexpr char kAreaType[] = "qv_hash_area";
constexpr uint32_t kNoRow = UINT32_MAX;
constexpr double kMostCells = 8e6;  // values a hash area may hold: 256 MB of cells

// One value of a row in the area. Text and blobs lie in the area's bytes; text that SQLite reads
// as a number keeps that number too, by which its row is hashed.
struct Cell {
    uint8_t type = SQLITE_NULL;
    bool numeric = false;
    uint32_t size = 0;
    union {
        int64_t integer;
        double real;
        uint64_t at;
    };
    double number = 0;
};

// SplitMix64's finalizer: every bit of `x` reaches the low bits the buckets are chosen by (a
// double's low bits are zero for most integers).
uint64_t spread(uint64_t x) {
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

uint64_t mixed(uint64_t h, uint64_t v) {
    return spread(h + 0x9e3779b97f4a7c15ULL + spread(v));
}

uint64_t numberHash(double d) {
    if (d != d)
        return 0x7ff8;
    if (d == 0)
        d = 0;  // -0 equals 0
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

// Text without its trailing blanks, in lower case: equal under every collation the area takes.
uint64_t textHash(const unsigned char* p, size_t n) {
    while (n > 0 && p[n - 1] == ' ')
        --n;
    uint64_t h = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i] >= 'A' && p[i] <= 'Z' ? p[i] + 32 : p[i];
        h = (h ^ c) * 0x100000001b3ULL;
    }
    return h;
}

// Whether text may read as a number (SQLite's conversion decides): its first non-blank
// character starts one.
bool mayBeNumber(const unsigned char* p, int n) {
    int i = 0;
    while (i < n && (p[i] == ' ' || (p[i] >= '\t' && p[i] <= '\r')))
        ++i;
    return i < n && ((p[i] >= '0' && p[i] <= '9') || p[i] == '+' || p[i] == '-' || p[i] == '.');
}

// The number SQLite reads text `v` as, when it reads it as one.
std::optional<double> textNumber(sqlite3_value* v) {
    const auto* text = sqlite3_value_text(v);
    if (!text || !mayBeNumber(text, sqlite3_value_bytes(v)))
        return std::nullopt;
    double number = 0;
#ifdef QUERVIN_SYSTEM_SQLITE
    // Without our build's conversion: as C reads it, which SQLite's own matches.
    const char* end = reinterpret_cast<const char*>(text) + sqlite3_value_bytes(v);
    const char* at = reinterpret_cast<const char*>(text);
    while (at < end && std::isspace(uint8_t(*at)))
        ++at;
    if (at < end && *at == '+')
        ++at;
    const auto [past, error] = std::from_chars(at, end, number);
    const char* rest = past;
    while (rest < end && std::isspace(uint8_t(*rest)))
        ++rest;
    if (error != std::errc() || rest != end)
        return std::nullopt;
#else
    if (!quervin_text_number(reinterpret_cast<const char*>(text), &number))
        return std::nullopt;
#endif
    return number;
}

struct Area;

// The areas a connection's statements read again in the pass for a RIGHT or FULL join's rows
// that met none, by number (qv_hash_area()): each while the statement's first reading of it holds
// it. Only the connection's own calls reach it, one at a time.
struct KeptAreas {
    std::map<int64_t, Area*> areas;
};

// The rows of a hash join's build input, hashed on the columns the probe looks them up by.
struct Area {
    Area() = default;
    Area(const Area&) = delete;
    Area& operator=(const Area&) = delete;
    ~Area() {
        if (!keptIn)
            return;
        if (const auto found = keptIn->areas.find(keptAs);
            found != keptIn->areas.end() && found->second == this)
            keptIn->areas.erase(found);
    }
    KeptAreas* keptIn = nullptr;  // kept for the statement's pass, with its number
    int64_t keptAs = 0;
    int columns = -1;
    std::vector<Cell> cells;
    std::string bytes;
    std::vector<int> keys;  // the columns hashed on, once hashed
    bool hashed = false;
    std::vector<uint32_t> head, next;
    std::vector<uint64_t> hashes;
    uint64_t mask = 0;

    uint32_t rows() const { return columns > 0 ? uint32_t(cells.size() / size_t(columns)) : 0; }
    const Cell& cell(uint32_t row, int column) const {
        return cells[size_t(row) * size_t(columns) + size_t(column)];
    }
    std::optional<uint64_t> cellHash(const Cell& c) const {
        switch (c.type) {
            case SQLITE_INTEGER:
                return numberHash(double(c.integer));
            case SQLITE_FLOAT:
                return numberHash(c.real);
            case SQLITE_TEXT:
            case SQLITE_BLOB:
                return c.numeric
                           ? numberHash(c.number)
                           : textHash(reinterpret_cast<const unsigned char*>(bytes.data()) + c.at,
                                      c.size);
            default:
                return std::nullopt;  // NULL meets no row
        }
    }
    void add(int argc, sqlite3_value** argv) {
        if (columns < 0)
            columns = argc;
        for (int i = 0; i < columns; ++i) {
            Cell c;
            sqlite3_value* v = i < argc ? argv[i] : nullptr;
            c.type = uint8_t(v ? sqlite3_value_type(v) : SQLITE_NULL);
            if (c.type == SQLITE_INTEGER) {
                c.integer = sqlite3_value_int64(v);
            } else if (c.type == SQLITE_FLOAT) {
                c.real = sqlite3_value_double(v);
            } else if (c.type == SQLITE_TEXT || c.type == SQLITE_BLOB) {
                const void* p = c.type == SQLITE_TEXT
                                    ? static_cast<const void*>(sqlite3_value_text(v))
                                    : sqlite3_value_blob(v);
                c.size = uint32_t(sqlite3_value_bytes(v));
                c.at = bytes.size();
                if (c.size > 0)
                    bytes.append(static_cast<const char*>(p), c.size);
                if (c.type == SQLITE_TEXT)
                    if (const auto n = textNumber(v)) {
                        c.numeric = true;
                        c.number = *n;
                    }
            }
            cells.push_back(c);
        }
    }
    void hashOn(const std::vector<int>& on) {
        keys = on;
        hashed = true;
        const uint32_t n = rows();
        size_t buckets = 16;
        while (buckets < size_t(n) * 2)
            buckets *= 2;
        mask = buckets - 1;
        head.assign(buckets, kNoRow);
        next.assign(n, kNoRow);
        hashes.assign(n, 0);
        for (uint32_t r = n; r-- > 0;) {
            const std::optional<uint64_t> h = rowHash(r, keys.size(), keys.data());
            if (!h)
                continue;
            hashes[r] = *h;
            next[r] = head[*h & mask];
            head[*h & mask] = r;
        }
    }
    // The hash of row `row` on its `n` columns `on` (its first n when null); none when one of
    // them is NULL, which equals nothing.
    std::optional<uint64_t> rowHash(uint32_t row, size_t n, const int* on) const {
        uint64_t h = 0;
        for (size_t k = 0; k < n; ++k) {
            const std::optional<uint64_t> part = cellHash(cell(row, on ? on[k] : int(k)));
            if (!part)
                return std::nullopt;
            h = mixed(h, *part);
        }
        return h;
    }
};

// ---- qv_hash_build(c1, ..., cn): the area of the rows it is given, as a pointer ----

void buildStep(sqlite3_context* context, int argc, sqlite3_value** argv) {
    auto** area = static_cast<Area**>(sqlite3_aggregate_context(context, sizeof(Area*)));
    if (!area)
        return sqlite3_result_error_nomem(context);
    try {
        if (!*area)
            *area = new Area;
        (*area)->add(argc, argv);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    }
}

void buildFinal(sqlite3_context* context) {
    auto** area = static_cast<Area**>(sqlite3_aggregate_context(context, 0));
    Area* made = area && *area ? *area : new (std::nothrow) Area;
    if (!made)
        return sqlite3_result_error_nomem(context);
    sqlite3_result_pointer(context, made, kAreaType, [](void* p) { delete static_cast<Area*>(p); });
}

// qv_hash_keep(k, area): `area`, kept as area k of the statement's connection while the
// statement holds it (its first reading of it owns it); the area handed on, not owned.
void keepArea(sqlite3_context* context, int, sqlite3_value** argv) {
    auto* area = static_cast<Area*>(sqlite3_value_pointer(argv[1], kAreaType));
    if (!area)
        return;
    if (!area->keptIn) {
        auto* kept = static_cast<KeptAreas*>(sqlite3_user_data(context));
        try {
            area->keptAs = sqlite3_value_int64(argv[0]);
            kept->areas[area->keptAs] = area;
            area->keptIn = kept;
        } catch (const std::bad_alloc&) {
            return sqlite3_result_error_nomem(context);
        }
    }
    sqlite3_result_pointer(context, area, kAreaType, nullptr);
}

// Area k of the statement's connection (argv[0]), while the statement that filled it holds it.
Area* keptArea(sqlite3_context* context, sqlite3_value** argv) {
    const auto& areas = static_cast<KeptAreas*>(sqlite3_user_data(context))->areas;
    const auto found = areas.find(sqlite3_value_int64(argv[0]));
    return found == areas.end() ? nullptr : found->second;
}

// qv_hash_held(k): whether area k is held (a pointer reads as NULL, which no test tells apart).
void areaHeld(sqlite3_context* context, int, sqlite3_value** argv) {
    sqlite3_result_int(context, keptArea(context, argv) != nullptr);
}

// qv_hash_area(k): area k, not owned (the statement's first reading of it owns it), else NULL.
void areaKept(sqlite3_context* context, int, sqlite3_value** argv) {
    if (Area* area = keptArea(context, argv))
        sqlite3_result_pointer(context, area, kAreaType, nullptr);
}

// ---- The virtual table qv$hash$...(area) ----

// How a plan probes the area: the columns it hashes on, and whether SQLite leaves their
// equalities to the area (exact: each compares columns of numeric affinity, as the engine told
// the area, so the area compares the values as SQLite would).
struct Probe {
    std::vector<int> keys;
    bool exact = false;
};

struct AreaTable {
    sqlite3_vtab base{};
    std::vector<std::string> names;
    std::map<std::string, Probe> probes;  // by the plan's idxStr
};

struct AreaCursor {
    sqlite3_vtab_cursor base{};
    const Area* area = nullptr;
    const std::vector<int>* keys = nullptr;  // null: every row
    const char* plan = nullptr;              // the idxStr `probe` was found for
    const Probe* probe = nullptr;
    uint64_t hash = 0;
    uint32_t row = kNoRow;
    Area values;  // the probe's key values, as one row
};

// The arguments of CREATE VIRTUAL TABLE ... USING qv_hash("A" type COLLATE c, ...): the columns.
int connect(sqlite3* db, void*, int argc, const char* const* argv, sqlite3_vtab** out,
            char** error) {
    auto table = std::make_unique<AreaTable>();
    std::string columns;
    for (int i = 3; i < argc; ++i) {
        const std::string decl = argv[i];
        const size_t close = decl.size() > 1 && decl[0] == '"' ? decl.find('"', 1) : 0;
        if (close == std::string::npos || close == 0) {
            *error = sqlite3_mprintf("qv_hash: a column must be a quoted name");
            return SQLITE_ERROR;
        }
        table->names.push_back(decl.substr(1, close - 1));
        columns += decl + ", ";
    }
    const std::string schema = "CREATE TABLE x(" + columns +
                               "\"qv$area\" HIDDEN, \"qv$rows\" HIDDEN, \"qv$exact\" HIDDEN)";
    if (table->names.empty() || sqlite3_declare_vtab(db, schema.c_str()) != SQLITE_OK) {
        *error = sqlite3_mprintf("qv_hash: no columns");
        return SQLITE_ERROR;
    }
    *out = &table.release()->base;
    return SQLITE_OK;
}

int create(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
           char** error) {
    return connect(db, aux, argc, argv, out, error);
}

int disconnect(sqlite3_vtab* vtab) {
    delete reinterpret_cast<AreaTable*>(vtab);
    return SQLITE_OK;
}

bool hashableCollation(const char* name) {
    return !name || sqlite3_stricmp(name, "BINARY") == 0 || sqlite3_stricmp(name, "NOCASE") == 0 ||
           sqlite3_stricmp(name, "RTRIM") == 0 || sqlite3_stricmp(name, "BLANK_PADDED") == 0;
}

int bestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
    auto* table = reinterpret_cast<AreaTable*>(vtab);
    const int columns = int(table->names.size());
    int area = -1;
    int estimate = -1;
    int exactNames = -1;
    std::string exact;   // the columns the engine compares exactly, as ",a,b,"
    double rows = 1000;  // the build's rows as the engine estimates them, when the text says
    std::vector<int> keys;
    std::vector<int> keyConstraints;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        if (c.iColumn == columns && area < 0) {
            area = i;
        } else if (c.iColumn == columns + 1 && estimate < 0) {
            estimate = i;
            sqlite3_value* value = nullptr;
            if (sqlite3_vtab_rhs_value(info, i, &value) == SQLITE_OK && value)
                rows = std::max(1.0, sqlite3_value_double(value));
        } else if (c.iColumn == columns + 2 && exactNames < 0) {
            exactNames = i;
            sqlite3_value* value = nullptr;
            if (sqlite3_vtab_rhs_value(info, i, &value) == SQLITE_OK && value &&
                sqlite3_value_type(value) == SQLITE_TEXT)
                exact.append(1, ',')
                    .append(reinterpret_cast<const char*>(sqlite3_value_text(value)))
                    .append(1, ',');
        } else if (c.iColumn >= 0 && c.iColumn < columns &&
                   std::find(keys.begin(), keys.end(), c.iColumn) == keys.end() &&
                   hashableCollation(sqlite3_vtab_collation(info, i))) {
            keys.push_back(c.iColumn);
            keyConstraints.push_back(i);
        }
    }
    if (area < 0)
        return SQLITE_CONSTRAINT;  // the area comes from its subquery alone
    // argv: the area, the estimate (taken, never checked), the keys.
    info->aConstraintUsage[area].argvIndex = 1;
    info->aConstraintUsage[area].omit = 1;
    int next = 2;
    for (int taken : {estimate, exactNames})
        if (taken >= 0) {
            info->aConstraintUsage[taken].argvIndex = next++;
            info->aConstraintUsage[taken].omit = 1;
        }
    // Exact when each key's column is one the engine named, and no other equality names it.
    Probe probe{keys, !keys.empty()};
    for (int key : keys) {
        int equalities = 0;
        for (int i = 0; i < info->nConstraint; ++i)
            equalities += info->aConstraint[i].iColumn == key &&
                          info->aConstraint[i].op == SQLITE_INDEX_CONSTRAINT_EQ;
        std::string name(1, ',');
        name.append(table->names[size_t(key)]).append(1, ',');
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char ch) { return char(std::tolower(ch)); });
        probe.exact &= equalities == 1 && exact.find(name) != std::string::npos;
    }
    std::string text = probe.exact ? "qv$hash!" : "qv$hash";
    for (size_t k = 0; k < keys.size(); ++k) {
        info->aConstraintUsage[keyConstraints[k]].argvIndex = next++;
        info->aConstraintUsage[keyConstraints[k]].omit = probe.exact;
        text += (k == 0 ? "(" : " AND ") + table->names[size_t(keys[k])] + "=?";
    }
    if (!keys.empty())
        text += ")";
    table->probes[text] = probe;
    info->idxNum = int(keys.size());
    info->idxStr = sqlite3_mprintf("%s", text.c_str());
    info->needToFreeIdxStr = 1;
    // Read whole, its rows; probed by its keys, a search of a table of that many rows, which
    // finds one.
    info->estimatedCost = keys.empty() ? rows : std::log2(rows) + 1;
    info->estimatedRows = keys.empty() ? sqlite3_int64(rows) : 1;
    return SQLITE_OK;
}

int open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    auto* cursor = new (std::nothrow) AreaCursor;
    if (!cursor)
        return SQLITE_NOMEM;
    *out = &cursor->base;
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor* cursor) {
    delete reinterpret_cast<AreaCursor*>(cursor);
    return SQLITE_OK;
}

// Whether values `a` of area `x` and `b` of area `y` are equal as SQLite compares values of
// columns of numeric affinity under BINARY: numbers by value (an integer and a real exactly),
// text and blobs byte for byte, a number never equal to either.
bool sameValue(const Area& x, const Cell& a, const Area& y, const Cell& b) {
    const bool an = a.type == SQLITE_INTEGER || a.type == SQLITE_FLOAT;
    const bool bn = b.type == SQLITE_INTEGER || b.type == SQLITE_FLOAT;
    if (an && bn) {
        if (a.type == b.type)
            return a.type == SQLITE_INTEGER ? a.integer == b.integer : a.real == b.real;
        const int64_t i = a.type == SQLITE_INTEGER ? a.integer : b.integer;
        const double r = a.type == SQLITE_FLOAT ? a.real : b.real;
        return r >= -9223372036854775808.0 && r < 9223372036854775808.0 && int64_t(r) == i &&
               double(i) == r;
    }
    return !an && !bn && a.type == b.type && a.type != SQLITE_NULL && a.size == b.size &&
           std::memcmp(x.bytes.data() + a.at, y.bytes.data() + b.at, a.size) == 0;
}

// The cursor on its row, or past the last row: the next row of its bucket with its hash (and,
// for an exact probe, its keys' values).
void settle(AreaCursor* c, uint32_t row) {
    const Area& area = *c->area;
    while (row != kNoRow) {
        if (area.hashes[row] == c->hash) {
            bool same = true;
            if (c->probe->exact)
                for (size_t k = 0; k < area.keys.size() && same; ++k)
                    same = sameValue(area, area.cell(row, area.keys[k]), c->values,
                                     c->values.cells[k]);
            if (same)
                break;
        }
        row = area.next[row];
    }
    c->row = row;
}

int filter(sqlite3_vtab_cursor* cursor, int, const char* idxStr, int argc, sqlite3_value** argv) {
    auto* c = reinterpret_cast<AreaCursor*>(cursor);
    auto* table = reinterpret_cast<AreaTable*>(cursor->pVtab);
    c->row = kNoRow;
    c->area =
        argc > 0 ? static_cast<const Area*>(sqlite3_value_pointer(argv[0], kAreaType)) : nullptr;
    if (c->plan != idxStr || !c->probe) {
        const auto found = table->probes.find(idxStr ? idxStr : "");
        c->plan = idxStr;
        c->probe = found == table->probes.end() ? nullptr : &found->second;
    }
    const std::vector<int>* keys = c->probe ? &c->probe->keys : nullptr;
    if (!c->area || !keys || c->area->columns != int(table->names.size()))
        return SQLITE_OK;
    if (keys->empty()) {
        c->keys = nullptr;
        c->row = c->area->rows() > 0 ? 0 : kNoRow;
        return SQLITE_OK;
    }
    auto* area = const_cast<Area*>(c->area);
    try {
        if (!area->hashed || area->keys != *keys)
            area->hashOn(*keys);
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
    c->keys = &area->keys;
    // The probe's keys as one row, hashed as the area's rows are.
    c->values.cells.clear();
    c->values.bytes.clear();
    c->values.columns = -1;
    try {
        c->values.add(int(keys->size()), argv + argc - int(keys->size()));
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
    const std::optional<uint64_t> h = c->values.rowHash(0, keys->size(), nullptr);
    if (!h)
        return SQLITE_OK;
    c->hash = *h;
    settle(c, area->head[*h & area->mask]);
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor* cursor) {
    auto* c = reinterpret_cast<AreaCursor*>(cursor);
    if (!c->keys)
        c->row = c->row + 1 < c->area->rows() ? c->row + 1 : kNoRow;
    else
        settle(c, c->area->next[c->row]);
    return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* cursor) {
    return reinterpret_cast<AreaCursor*>(cursor)->row == kNoRow;
}

int column(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int i) {
    auto* c = reinterpret_cast<AreaCursor*>(cursor);
    if (i < 0 || i >= c->area->columns)
        return SQLITE_OK;
    const Cell& v = c->area->cell(c->row, i);
    const char* at =
        c->area->bytes.data() + (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB ? v.at : 0);
    switch (v.type) {
        case SQLITE_INTEGER:
            sqlite3_result_int64(context, v.integer);
            break;
        case SQLITE_FLOAT:
            sqlite3_result_double(context, v.real);
            break;
        case SQLITE_TEXT:
            sqlite3_result_text64(context, at, v.size, SQLITE_STATIC, SQLITE_UTF8);
            break;
        case SQLITE_BLOB:
            sqlite3_result_blob64(context, at, v.size, SQLITE_STATIC);
            break;
        default:
            break;
    }
    return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* out) {
    *out = reinterpret_cast<AreaCursor*>(cursor)->row;
    return SQLITE_OK;
}

sqlite3_module makeModule() {
    sqlite3_module m{};
    m.iVersion = 0;
    m.xCreate = create;  // not xConnect: the module is no table-valued function of its own
    m.xConnect = connect;
    m.xBestIndex = bestIndex;
    m.xDisconnect = disconnect;
    m.xDestroy = disconnect;
    m.xOpen = open;
    m.xClose = close;
    m.xFilter = filter;
    m.xNext = next;
    m.xEof = eof;
    m.xColumn = column;
    m.xRowid = rowid;
    return m;
}

const sqlite3_module kModule = makeModule();

uint32_t fnv1a(const QByteArray& text) {
    uint32_t h = 2166136261u;
    for (const char c : text)
        h = (h ^ uint8_t(c)) * 16777619u;
    return h;
}

}  // namespace

int registerHashAreas(sqlite3* db) {
    int rc = sqlite3_create_module_v2(db, "qv_hash", &kModule, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "qv_hash_build", -1, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        nullptr, nullptr, buildStep, buildFinal, nullptr);
    // The connection's kept areas, freed with the function that keeps them (also when it cannot
    // be made).
    auto* kept = new (std::nothrow) KeptAreas;
    if (!kept)
        return SQLITE_NOMEM;
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "qv_hash_keep", 2, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        kept, keepArea, nullptr, nullptr,
                                        [](void* p) { delete static_cast<KeptAreas*>(p); });
    else
        delete kept;
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "qv_hash_held", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        kept, areaHeld, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "qv_hash_area", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        kept, areaKept, nullptr, nullptr, nullptr);
    return rc;
}

QString hashAreaBuildAlias(const QString& alias) {
    return QStringLiteral("qv$hash$") + alias;
}

QString hashAreaSource(sqlite3* db, const QString& table, const QString& buildFrom,
                       const QString& alias, double rows, const QStringList& exact, bool kept) {
    try {
        QStringList decls, names;
        sqlite::Statement columns(db,
                                  "SELECT name FROM pragma_table_xinfo(?1, 'main') "
                                  "WHERE hidden <> 1 ORDER BY cid");
        columns.bind(1, table);
        const QByteArray tableName = table.toUtf8();
        while (columns.step()) {
            const QString name = columns.text(0);
            const char* type = nullptr;
            const char* collation = nullptr;
            if (sqlite3_table_column_metadata(db, "main", tableName.constData(),
                                              name.toUtf8().constData(), &type, &collation, nullptr,
                                              nullptr, nullptr) != SQLITE_OK)
                return QString();
            QString decl = sql::quotedName(name);
            if (type && *type)
                decl += u' ' + QString::fromUtf8(type);
            if (collation && *collation)
                decl += QStringLiteral(" COLLATE ") + sql::quotedName(QString::fromUtf8(collation));
            decls << decl;
            names << sql::quotedName(name);
        }
        // The area lives in memory and never spills, as Oracle's work area would: a table too
        // large for it is joined otherwise.
        if (decls.isEmpty() || rows * double(decls.size()) > kMostCells)
            return QString();
        const QString list = decls.join(QStringLiteral(", "));
        const QString area =
            QStringLiteral("qv$hash$%1").arg(fnv1a(list.toUtf8()), 8, 16, QLatin1Char('0'));
        sqlite::exec(db, QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS temp.%1 USING "
                                        "qv_hash(%2)")
                             .arg(sql::quotedName(area), list)
                             .toUtf8()
                             .constData());
        QString filled = QStringLiteral("(SELECT qv_hash_build(%1) FROM %2)")
                             .arg(names.join(QStringLiteral(", ")), buildFrom);
        if (kept) {
            static std::atomic<int64_t> numbers{0};
            const QString number = QString::number(++numbers);
            filled = QStringLiteral(
                         "CASE WHEN qv_hash_held(%1) THEN qv_hash_area(%1) ELSE "
                         "qv_hash_keep(%1, %2) END")
                         .arg(number, filled);
        }
        return QStringLiteral("temp.%1(%2, %3, %4) %5")
            .arg(sql::quotedName(area), filled,
                 QString::number(std::max(1.0, std::round(rows)), 'f', 0),
                 sql::quotedString(exact.join(u',').toLower()), sql::quotedName(alias));
    } catch (const sqlite::Error&) {
        return QString();
    }
}

}  // namespace qv::embedded
