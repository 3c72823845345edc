#include "core/embedded/base/sandbox.h"

#include <QStringList>

#include <unordered_map>
#include <utility>

namespace qv::embedded {

namespace {

using Rights = Sandbox::Rights;

// ---- The allow-list: everything a statement may do. Whatever is not here is refused. ----

// Statement kinds (authorizer actions) that anyone may compile. Pragmas and functions are
// checked by name below; ATTACH, DETACH, CREATE and DROP VIRTUAL TABLE and any action a later
// SQLite adds are refused.
const int kAdmittedActions[] = {
    SQLITE_SELECT,     // queries
    SQLITE_RECURSIVE,  // WITH RECURSIVE, which CONNECT BY and the plan query become
    // Any table, view or virtual table of the connection: the user's schema, the dictionary
    // (sqlite_schema, the statistics) and the V$ views; the virtual tables are only those the
    // sandbox keeps (kKeptModules) and the pragma functions, whose pragma is checked by name.
    SQLITE_READ,
    // Changing rows; SQLite itself keeps its schema table read-only (defensive mode), and
    // runs these on it only to carry out admitted DDL.
    SQLITE_INSERT, SQLITE_UPDATE, SQLITE_DELETE,
    // The objects an Oracle user creates in their own schema; TEMP ones last for the session,
    // like Oracle's private temporary tables.
    SQLITE_CREATE_TABLE, SQLITE_CREATE_INDEX, SQLITE_CREATE_VIEW, SQLITE_CREATE_TRIGGER,
    SQLITE_CREATE_TEMP_TABLE, SQLITE_CREATE_TEMP_INDEX, SQLITE_CREATE_TEMP_VIEW,
    SQLITE_CREATE_TEMP_TRIGGER, SQLITE_DROP_TABLE, SQLITE_DROP_INDEX, SQLITE_DROP_VIEW,
    SQLITE_DROP_TRIGGER, SQLITE_DROP_TEMP_TABLE, SQLITE_DROP_TEMP_INDEX, SQLITE_DROP_TEMP_VIEW,
    SQLITE_DROP_TEMP_TRIGGER, SQLITE_ALTER_TABLE,
    SQLITE_ANALYZE,      // gathering statistics: ANALYZE, DBMS_STATS
    SQLITE_REINDEX,      // rebuilding one's own indexes, as ALTER INDEX ... REBUILD
    SQLITE_TRANSACTION,  // COMMIT, ROLLBACK
    SQLITE_SAVEPOINT,    // SAVEPOINT, ROLLBACK TO; the engine writes plans inside one
};

// How a pragma may be written.
enum class PragmaForm {
    Read,        // PRAGMA name: reading only, never "= value"
    ObjectName,  // PRAGMA name(table or index): reading what the schema says of it
    Set,         // PRAGMA name = value as well
};

struct PragmaGrant {
    const char* name;
    PragmaForm form;
    Rights least;  // Engine: only the engine's own statements
    const char* why;
};

// No pragma that changes the file (journal_mode, synchronous, page_size = n, auto_vacuum,
// writable_schema, user_version = n...), the connection's behaviour (foreign_keys,
// case_sensitive_like, recursive_triggers, query_only, trusted_schema...) or the process
// (hard_heap_limit, soft_heap_limit, cache_size, mmap_size, temp_store, threads, shrink_memory),
// nor what describes the library (compile_options, module_list, pragma_list, database_list).
const PragmaGrant kPragmas[] = {
    {"table_info", PragmaForm::ObjectName, Rights::User, "a table's columns (USER_TAB_COLUMNS)"},
    {"table_xinfo", PragmaForm::ObjectName, Rights::User, "the same with hidden columns"},
    {"table_list", PragmaForm::ObjectName, Rights::User, "the tables and views (USER_TABLES)"},
    {"index_list", PragmaForm::ObjectName, Rights::User, "a table's indexes (USER_INDEXES)"},
    {"index_info", PragmaForm::ObjectName, Rights::User, "an index's columns (USER_IND_COLUMNS)"},
    {"index_xinfo", PragmaForm::ObjectName, Rights::User, "the same with the row id"},
    {"foreign_key_list", PragmaForm::ObjectName, Rights::User, "a table's foreign keys"},
    {"user_version", PragmaForm::Read, Rights::User, "the file's version mark, read only"},
    {"application_id", PragmaForm::Read, Rights::User, "the file's owner mark, read only"},
    {"page_count", PragmaForm::Read, Rights::User, "the file's size in pages (USER_SEGMENTS)"},
    {"page_size", PragmaForm::Read, Rights::User, "the size of a page, read only"},
    {"function_list", PragmaForm::Read, Rights::Engine,
     "which functions the engine registered (adoptEngineFunctions)"},
    {"ignore_check_constraints", PragmaForm::Set, Rights::Engine,
     "rows copied into a rebuilt table past a check enabled without validation"},
    {"defer_foreign_keys", PragmaForm::Set, Rights::Engine,
     "a rebuilt table's rows back before SQLite's own foreign keys of other tables are checked"},
    {"cache_spill", PragmaForm::Set, Rights::Engine,
     "the indexes a plan of virtual indexes builds kept in memory, never in the file"},
};

struct FunctionGroup {
    const char* names;  // separated by blanks
    const char* why;
};

// SQLite's built-in functions that compute values and nothing else; sizes are held by
// SQLITE_LIMIT_LENGTH. Left out: sqlite_version, sqlite_source_id, sqlite_compileoption_get and
// _used (which library and build this is, nothing an Oracle user reads), sqlite_log (writes the
// library's log), match and fts3_tokenizer (full-text search, whose tokenizer takes a pointer),
// load_extension (code from a file), and any function a later SQLite adds. The engine's own
// functions (Oracle's, oraclefunctions.h and sessionviews.h) are admitted as registered.
const FunctionGroup kFunctions[] = {
    {"abs char coalesce concat concat_ws format glob hex if iif ifnull instr length like "
     "likelihood likely lower ltrim max min nullif octet_length printf quote random randomblob "
     "replace round rtrim sign soundex substr substring trim typeof unhex unicode unistr "
     "unistr_quote unlikely upper zeroblob",
     "scalar functions on text, numbers and blobs"},
    {"changes total_changes last_insert_rowid", "the session's own counts of changed rows"},
    {"avg count group_concat string_agg sum total", "aggregates"},
    {"row_number rank dense_rank percent_rank cume_dist ntile lag lead first_value last_value "
     "nth_value",
     "analytic functions; ROWNUM becomes row_number()"},
    {"date time datetime julianday strftime unixepoch timediff current_date current_time "
     "current_timestamp",
     "dates and times: SYSDATE and date arithmetic"},
    {"acos acosh asin asinh atan atan2 atanh ceil ceiling cos cosh degrees exp floor ln log log10 "
     "log2 mod pi pow power radians sin sinh sqrt tan tanh trunc",
     "Oracle's numeric functions"},
    {"json json_array json_array_insert json_array_length json_error_position json_extract "
     "json_group_array json_group_object json_insert json_object json_patch json_pretty "
     "json_quote json_remove json_replace json_set json_type json_valid jsonb jsonb_array "
     "jsonb_array_insert jsonb_extract jsonb_group_array jsonb_group_object jsonb_insert "
     "jsonb_object jsonb_patch jsonb_remove jsonb_replace jsonb_set -> ->> subtype",
     "JSON values, as Oracle's JSON functions"},
    {"match", "the MATCH operator, which the engine defines as Oracle's IS JSON"},
    {"sqlite_rename_column sqlite_rename_table sqlite_rename_test sqlite_drop_column "
     "sqlite_rename_quotefix sqlite_drop_constraint sqlite_fail sqlite_add_constraint "
     "sqlite_find_constraint",
     "SQLite's internal helpers of ALTER TABLE, callable only from SQLite's own statements"},
};

// The virtual table modules SQLite registers that stay; the rest are dropped when the
// connection opens (full-text search and R-trees of a system SQLite, anything a later SQLite
// adds). The engine's V$ views are registered afterwards and stay too.
const char* kKeptModules[] = {
    "dbstat",                    // pages per table and index, for gathering statistics
    "json_each",  "json_tree",   // JSON table functions (registered at open by older SQLite)
    "jsonb_each", "jsonb_tree",  //
    nullptr,
};

// ---- Limits: no statement may take the process's memory, stack or threads. ----

struct Limit {
    int id;
    int value;
};

const Limit kLimits[] = {
    // A string or blob, and a row: 64 MiB. A statement copies a value a few times at most
    // (concatenation, sorting), so zeroblob(1e9), randomblob(1e9) or a recursive WITH doubling a
    // text fail (ORA-01489), and printf('%.*c', 1e9, 'x') gives SQLite's NULL, long before the
    // memory runs out; a large document in someone's own file still reads.
    {SQLITE_LIMIT_LENGTH, 64 << 20},
    // A statement's text: 1 MB, many times what a person writes or a tool generates for tuning
    // (Oracle caps IN lists at 1000 values); compiling costs memory per token, so this bounds
    // it (ORA-64621).
    {SQLITE_LIMIT_SQL_LENGTH, 1'000'000},
    // SQLite's own bound (ORA-01792): a file another program made may hold wider tables than
    // Oracle's 1000 columns, and a lower bound would make its whole schema unreadable.
    {SQLITE_LIMIT_COLUMN, 2000},
    // SQLite's own (ORA-03095): its tree walkers recurse once per level on the caller's stack;
    // deep enough for the nested calls that long + and || chains become.
    {SQLITE_LIMIT_EXPR_DEPTH, 1000},
#ifdef SQLITE_LIMIT_PARSER_DEPTH
    // SQLite's own (ORA-03095): over 1000 levels of parentheses, far past Oracle's 255 levels
    // of subquery.
    {SQLITE_LIMIT_PARSER_DEPTH, 2500},
#endif
    // SQLite's highest (ORA-01778): code generation recurses once per term; Oracle has no such
    // limit.
    {SQLITE_LIMIT_COMPOUND_SELECT, 500},
    // A compiled statement: 2,000,000 instructions (some 50 MB), beyond which SQLite reports
    // "out of memory" (ORA-04030); far beyond any statement within the limits above, reached
    // only by views that refer to views many times over.
    {SQLITE_LIMIT_VDBE_OP, 2'000'000},
    // SQLite's highest: the translation writes one argument per operand of a || chain.
    {SQLITE_LIMIT_FUNCTION_ARG, 1000},
    // No other database file, whatever the authorizer says.
    {SQLITE_LIMIT_ATTACHED, 0},
    // Oracle's pattern is a VARCHAR2 of 4000 bytes; SQLite's matcher recurses once per %, so
    // the length also bounds its stack (ORA-01704).
    {SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 4000},
    // Oracle's own limit on the bind variables of a statement, 65,535: one more is ORA-01745,
    // as Oracle answers. Each ?NNN reserves NNN slots, which at this number is a few MB.
    {SQLITE_LIMIT_VARIABLE_NUMBER, 65535},
    // Triggers firing triggers: each level keeps a frame of registers (ORA-00036). Triggers
    // never fire themselves: recursive_triggers stays off.
    {SQLITE_LIMIT_TRIGGER_DEPTH, 32},
    // A statement runs on its caller's thread only, where a stop reaches it and its CPU time is
    // measured.
    {SQLITE_LIMIT_WORKER_THREADS, 0},
};

// SQLite's whole heap in this process, every session's and the history file's: 1 GiB. Compiling a
// statement has no other bound: views that refer to views many times over are copied into it
// before any limit above counts them. Past it, allocations fail (ORA-04030) and the process
// lives on. The pragmas that would move it are not on the list.
constexpr sqlite3_int64 kHeapLimit = sqlite3_int64(1) << 30;

// ---- Looking names up ----

std::string lowered(const char* name) {
    std::string s(name ? name : "");
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return s;
}

const std::unordered_map<std::string, const PragmaGrant*>& pragmaGrants() {
    static const auto grants = [] {
        std::unordered_map<std::string, const PragmaGrant*> map;
        for (const PragmaGrant& g : kPragmas)
            map.emplace(g.name, &g);
        return map;
    }();
    return grants;
}

const std::unordered_set<std::string>& builtinFunctions() {
    static const auto names = [] {
        std::unordered_set<std::string> set;
        for (const FunctionGroup& group : kFunctions) {
            for (const QString& name :
                 QString::fromLatin1(group.names).split(u' ', Qt::SkipEmptyParts))
                set.insert(name.toStdString());
        }
        return set;
    }();
    return names;
}

// What changes an object: its rows, its definition, its existence. The engine's own objects
// (catalog.h) are changed by the engine alone; gathering statistics and rebuilding indexes on
// them (ANALYZE and REINDEX of everything) change nothing they hold.
bool changesObject(int action) {
    switch (action) {
        case SQLITE_INSERT:
        case SQLITE_UPDATE:
        case SQLITE_DELETE:
        case SQLITE_ALTER_TABLE:
            return true;
        default:
            return action >= SQLITE_CREATE_INDEX && action <= SQLITE_DROP_VIEW;
    }
}

bool enginesOwn(const char* name) {
    return name && (name[0] == 'q' || name[0] == 'Q') && (name[1] == 'v' || name[1] == 'V') &&
           name[2] == '$';
}

bool admitted(int action) {
    for (int a : kAdmittedActions) {
        if (a == action)
            return true;
    }
    return false;
}

// What a refusal refused, in the words of the statement that asked for it.
QString refused(int action, const char* a, const char* b) {
    const QString first = QString::fromUtf8(a ? a : "");
    switch (action) {
        case SQLITE_PRAGMA:
            return QStringLiteral("PRAGMA ") + first +
                   (b ? QStringLiteral(" = ") + QString::fromUtf8(b) : QString());
        case SQLITE_FUNCTION:
            return QStringLiteral("function ") + QString::fromUtf8(b ? b : "");
        case SQLITE_ATTACH:
            return QStringLiteral("ATTACH");
        case SQLITE_DETACH:
            return QStringLiteral("DETACH");
        case SQLITE_CREATE_VTABLE:
            return QStringLiteral("CREATE VIRTUAL TABLE");
        case SQLITE_DROP_VTABLE:
            return QStringLiteral("DROP VIRTUAL TABLE");
        default:
            break;
    }
    // The statements that name an object: what they do to it, and which one.
    struct Verb {
        int action;
        const char* words;
    };
    static const Verb kVerbs[] = {
        {SQLITE_CREATE_INDEX, "CREATE INDEX"},
        {SQLITE_CREATE_TABLE, "CREATE TABLE"},
        {SQLITE_CREATE_TEMP_INDEX, "CREATE INDEX"},
        {SQLITE_CREATE_TEMP_TABLE, "CREATE TEMPORARY TABLE"},
        {SQLITE_CREATE_TEMP_TRIGGER, "CREATE TRIGGER"},
        {SQLITE_CREATE_TEMP_VIEW, "CREATE VIEW"},
        {SQLITE_CREATE_TRIGGER, "CREATE TRIGGER"},
        {SQLITE_CREATE_VIEW, "CREATE VIEW"},
        {SQLITE_DELETE, "DELETE FROM"},
        {SQLITE_DROP_INDEX, "DROP INDEX"},
        {SQLITE_DROP_TABLE, "DROP TABLE"},
        {SQLITE_DROP_TEMP_INDEX, "DROP INDEX"},
        {SQLITE_DROP_TEMP_TABLE, "DROP TABLE"},
        {SQLITE_DROP_TEMP_TRIGGER, "DROP TRIGGER"},
        {SQLITE_DROP_TEMP_VIEW, "DROP VIEW"},
        {SQLITE_DROP_TRIGGER, "DROP TRIGGER"},
        {SQLITE_DROP_VIEW, "DROP VIEW"},
        {SQLITE_INSERT, "INSERT INTO"},
        {SQLITE_READ, "reading"},
        {SQLITE_SELECT, "SELECT"},
        {SQLITE_TRANSACTION, "transaction control"},
        {SQLITE_UPDATE, "UPDATE"},
        {SQLITE_REINDEX, "REINDEX"},
        {SQLITE_ANALYZE, "ANALYZE"},
        {SQLITE_SAVEPOINT, "SAVEPOINT"},
        {SQLITE_RECURSIVE, "WITH RECURSIVE"},
    };
    for (const Verb& verb : kVerbs) {
        if (verb.action == action)
            return first.isEmpty() ? QString::fromLatin1(verb.words)
                                   : QString::fromLatin1(verb.words) + u' ' + first;
    }
    if (action == SQLITE_ALTER_TABLE)  // a names the schema, b the table
        return QStringLiteral("ALTER TABLE ") + QString::fromUtf8(b ? b : "");
    return QStringLiteral("a statement SQLite calls action %1").arg(action);
}

}  // namespace

void Sandbox::install(sqlite3* db) {
    db_ = db;
    sqlite3_hard_heap_limit64(kHeapLimit);
    for (const Limit& limit : kLimits)
        sqlite3_limit(db, limit.id, limit.value);
    int rc = sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // A system SQLite built with full-text search may allow its tokenizer pointer by default.
    if (rc == SQLITE_OK)
        rc = sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_drop_modules(db, kKeptModules);
    if (rc != SQLITE_OK)
        throw sqlite::Error::of(db, rc);
    presentAtOpen_ = functionNames(true);
    rc = sqlite3_set_authorizer(db, &Sandbox::authorize, this);
    if (rc != SQLITE_OK)
        throw sqlite::Error::of(db, rc);
}

void Sandbox::adoptEngineFunctions() {
    const EngineRights engine(*this);
    for (const std::string& name : functionNames(true)) {
        if (!presentAtOpen_.contains(name))
            engineFunctions_.insert(name);
    }
}

std::unordered_set<std::string> Sandbox::functionNames(bool appDefinedOnly) const {
    std::unordered_set<std::string> names;
    sqlite::Statement list(db_, "PRAGMA function_list");
    while (list.step()) {
        if (!appDefinedOnly || list.integer(1) == 0)
            names.insert(
                lowered(reinterpret_cast<const char*>(sqlite3_column_text(list.handle(), 0))));
    }
    return names;
}

void Sandbox::checkUserStatement(QByteArrayView sql) {
    const Rights previous = std::exchange(rights_, Rights::User);
    try {
        sqlite::Statement statement(db_, sql);
    } catch (const sqlite::Error& e) {
        rights_ = previous;
        if (e.resultCode() == SQLITE_AUTH)
            throw;
        return;
    }
    rights_ = previous;
}

sqlite::Error Sandbox::described(const sqlite::Error& error) {
    const QString refusal = std::exchange(refusal_, QString());
    // SQLite's message names a refused function itself, but nothing else it refuses.
    if (refusal.isEmpty() || error.description() != u"not authorized")
        return error;
    return sqlite::Error(error.extendedCode(), error.description() + QStringLiteral(": ") + refusal,
                         error.offset());
}

bool Sandbox::admitsFunction(const char* name) const {
    const std::string key = lowered(name);
    return builtinFunctions().contains(key) || engineFunctions_.contains(key);
}

bool Sandbox::admits(int action, const char* a, const char* b, const char* code) const {
    if (action == SQLITE_FUNCTION)
        return admitsFunction(b);
    // The engine's hash join areas are its only virtual tables of a schema.
    if (action == SQLITE_CREATE_VTABLE)
        return rights_ == Rights::Engine && !code && b && lowered(b) == "qv_hash";
    // A user's trigger or view that a statement of the engine's sets off is the user's code, and
    // has the user's rights wherever it runs.
    const Rights rights = code && !enginesOwn(code) ? Rights::User : rights_;
    if (rights == Rights::User && changesObject(action) && (enginesOwn(a) || enginesOwn(b)))
        return false;
    if (action != SQLITE_PRAGMA)
        return admitted(action);
    const auto found = pragmaGrants().find(lowered(a));
    if (found == pragmaGrants().end())
        return false;
    const PragmaGrant& grant = *found->second;
    if (grant.least == Rights::Engine && rights != Rights::Engine)
        return false;
    return b == nullptr || grant.form != PragmaForm::Read;
}

int Sandbox::authorize(void* self, int action, const char* a, const char* b, const char*,
                       const char* code) {
    auto* sandbox = static_cast<Sandbox*>(self);
    try {
        if (sandbox->admits(action, a, b, code))
            return SQLITE_OK;
        sandbox->refusal_ = refused(action, a, b);
    } catch (...) {
        // Nothing may leave a callback of SQLite's; a check that could not be made refuses.
    }
    return SQLITE_DENY;
}

}  // namespace qv::embedded
