#pragma once

// How the engine's SQL functions (oraclefunctions.cpp, oracletext.cpp, oraclemath.cpp) read
// their arguments from SQLite and hand their results back, with Oracle's errors.
#include "core/embedded/values/oracleformats.h"
#include "core/sqlite/sqlite.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <exception>
#include <new>
#include <string_view>

namespace qv::embedded::oracle {

QString rawText(sqlite3_value* arg);
// The UTF-8 bytes of a text argument, without copying them.
inline std::string_view utf8Of(sqlite3_value* arg) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(arg));
    return {text ? text : "", size_t(sqlite3_value_bytes(arg))};
}

// A value as SQLite hands it to a function and takes it back from one. The steps of one
// operator chain pass it from one to the next inside one call exactly as nested calls passed
// it through SQLite.
struct SqlValue {
    int type = SQLITE_NULL;
    int64_t integer = 0;
    double real = 0;
    QString text;
    QByteArray blob;
};

// The characters (code points) of UTF-8 text: every byte but the continuation bytes.
int64_t characters(std::string_view s);

SqlValue sqlValue(sqlite3_value* arg);
// What Oracle sees in the value: text that reads as a date or a number is one, empty text is
// NULL.
Value valueOf(const SqlValue& raw);
Value valueOf(sqlite3_value* arg);

// A number argument (text that reads as one included); nullopt for NULL. fault() with
// ORA-01722 for other text, ORA-00932 for a date or bytes.
std::optional<Value> numberArgument(sqlite3_value* arg);
// The argument as Oracle converts it to text: a number as TO_CHAR writes it, bytes in hex;
// nullopt for NULL and for empty text.
std::optional<QString> textArgument(sqlite3_value* arg);

void resultText(sqlite3_context* ctx, const QString& text);
// Text that may be empty: Oracle's empty string is NULL.
void resultUtf8(sqlite3_context* ctx, std::string_view text);
void resultNumber(sqlite3_context* ctx, const Value& v);
void resultDate(sqlite3_context* ctx, const StoredDate& d, bool keepFraction = false);
void setResult(sqlite3_context* ctx, const SqlValue& v);

// A function's work found its statement stopped (sqlite3_interrupt: the CLI's --timeout, Esc in a
// window): the statement fails as a cancelled call.
struct Stopped {};
// A result that would grow past the connection's value limit (SQLITE_LIMIT_LENGTH, sandbox.cpp):
// the statement fails with SQLite's "string or blob too big", as it does for its own values.
struct TooBig {};

// What a text function builds, kept within the connection's value limit as it grows, and
// looking for a stop of its statement every so many steps, so that neither the memory a result
// takes nor the time it takes outruns what the connection allows.
class ResultBudget {
  public:
    explicit ResultBudget(sqlite3_context* ctx)
        : db_(sqlite3_context_db_handle(ctx)),
          limit_(uint64_t(sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, -1))) {}
    // Counts `units` more of the result (bytes, or UTF-16 units, each at least one byte of the
    // UTF-8 SQLite keeps); throws TooBig past the limit, Stopped when the statement was stopped.
    void grow(uint64_t units) {
        size_ += units;
        if (size_ > limit_)
            throw TooBig{};
        step();
    }
    // The result is `units` long now; throws as grow() does.
    void holds(uint64_t units) {
        size_ = 0;
        grow(units);
    }
    // One step of work that may add nothing; throws Stopped.
    void step() {
        if (++steps_ % 1024 == 0 && interrupted())
            throw Stopped{};
    }
    uint64_t limit() const { return limit_; }

  private:
    bool interrupted() const {
#if SQLITE_VERSION_NUMBER >= 3041000
        return sqlite3_is_interrupted(db_);
#else
        return false;  // a system SQLite older than 3.41 cannot tell; its statement stops after
#endif
    }

    sqlite3* db_;
    uint64_t limit_;
    uint64_t size_ = 0;
    uint64_t steps_ = 0;
};

inline void needArguments(int argc, int least) {
    if (argc < least)
        fault("ORA-00909: invalid number of arguments");
}

// SQLite calls the functions from C: no exception may leave them. Oracle's errors become the
// statement's error; anything else fails the statement rather than the program.
template <void (*F)(sqlite3_context*, int, sqlite3_value**)>
void guarded(sqlite3_context* ctx, int argc, sqlite3_value** argv) noexcept {
    try {
        F(ctx, argc, argv);
    } catch (const OracleFault& f) {
        sqlite3_result_error(ctx, f.message.constData(), int(f.message.size()));
    } catch (const Stopped&) {
        sqlite3_result_error(ctx, "interrupted", -1);
        sqlite3_result_error_code(ctx, SQLITE_INTERRUPT);
    } catch (const TooBig&) {
        sqlite3_result_error_toobig(ctx);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    } catch (const sqlite::Error& e) {
        // A failure of SQLite's met inside (another connection's lock, a read-only file) keeps
        // its code, so that the statement fails as Oracle reports that condition.
        const QByteArray message = e.description().toUtf8();
        sqlite3_result_error(ctx, message.constData(), int(message.size()));
        sqlite3_result_error_code(ctx, e.extendedCode());
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    } catch (...) {
        sqlite3_result_error(ctx, "unexpected failure in a function of the embedded engine", -1);
    }
}

struct FunctionSpec {
    const char* name;
    int minArgs;
    int maxArgs;  // -1 with minArgs -1: any number
    void (*function)(sqlite3_context*, int, sqlite3_value**);
};

// Registers each function for each of its argument counts, deterministic and innocuous.
// Returns SQLite's result code.
template <size_t N>
int registerFunctions(sqlite3* db, const FunctionSpec (&functions)[N], void* userData = nullptr) {
    for (const FunctionSpec& f : functions) {
        for (int args = f.minArgs; args <= f.maxArgs; ++args) {
            const int rc = sqlite3_create_function_v2(
                db, f.name, args, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, userData,
                f.function, nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK)
                return rc;
        }
    }
    return SQLITE_OK;
}

// The text functions (oracletext.cpp) and the collation of CHAR values.
int registerTextFunctions(sqlite3* db);
// The numeric functions and CAST (oraclemath.cpp); qv_store() reads `dateSettings` (a
// DateSettings, or null) for the DATE columns it stores into.
int registerNumberFunctions(sqlite3* db, void* dateSettings = nullptr);
// qv_store()'s rule for a DATE column (oraclefunctions.cpp).
void storeDate(sqlite3_context* ctx, sqlite3_value* value);

// Intervals (oracleintervals.cpp): INTERVAL literals, TO_YMINTERVAL, TO_DSINTERVAL,
// NUMTOYMINTERVAL, NUMTODSINTERVAL.
int registerIntervalFunctions(sqlite3* db);
// a + b (a - b when `minus`) when either is an interval: a date moved by it or a sum of two
// intervals; nullopt when neither is one. fault() with ORA-30081 for other mixes, ORA-01839 for
// a day the month reached lacks.
std::optional<SqlValue> intervalSum(const SqlValue& a, const SqlValue& b, bool minus);
// a * b (a / b when `divide`) when either is an interval; nullopt when neither is one.
std::optional<SqlValue> intervalScaled(const SqlValue& a, const SqlValue& b, bool divide);
// qv_store()'s rule for an interval column: the value as the column shows it (ORA-01873 for a
// leading field wider than `lead`, ORA-00932 for a number or the other kind of interval).
void storeInterval(sqlite3_context* ctx, sqlite3_value* value, bool yearMonth, int lead,
                   int fraction);

// The character and byte functions (oraclecodes.cpp): CHR, ASCII, INITCAP, DUMP, UTL_RAW's and
// DBMS_LOB's.
int registerCodeFunctions(sqlite3* db);

}  // namespace qv::embedded::oracle
