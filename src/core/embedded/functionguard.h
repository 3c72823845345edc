#pragma once

#include "core/embedded/oracleformats.h"

#include <QString>

#include <sqlite3.h>

#include <exception>
#include <new>
#include <stdexcept>

// What every SQL function the engine registers needs around it: SQLite calls them from C, so
// no exception may leave them, and Oracle's errors become the statement's error in Oracle's
// words ("ORA-nnnnn: ...", which oracleFailure() reads back as the number).
namespace qv::embedded {

// Fails the function call running with Oracle's error `code` and `words`.
[[noreturn]] inline void functionError(int code, const QString& words) {
    throw std::runtime_error(
        QStringLiteral("ORA-%1: %2").arg(code, 5, 10, QChar(u'0')).arg(words).toStdString());
}

template <void (*F)(sqlite3_context*, int, sqlite3_value**)>
void guardedFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) noexcept {
    try {
        F(ctx, argc, argv);
    } catch (const oracle::OracleFault& f) {
        sqlite3_result_error(ctx, f.message, -1);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    } catch (...) {
        sqlite3_result_error(ctx, "unexpected failure in a function of the embedded engine", -1);
    }
}

// The text Oracle reads from an argument: numbers in Oracle's own text form, anything else as
// stored. Null stays null.
inline bool textArgument(sqlite3_value* arg, QString& text) {
    switch (sqlite3_value_type(arg)) {
        case SQLITE_NULL:
            return false;
        case SQLITE_INTEGER: {
            oracle::Value v;
            v.kind = oracle::Value::Integer;
            v.integer = sqlite3_value_int64(arg);
            text = oracle::numberText(v);
            return true;
        }
        case SQLITE_FLOAT: {
            oracle::Value v;
            v.kind = oracle::Value::Real;
            v.real = sqlite3_value_double(arg);
            text = oracle::numberText(v);
            return true;
        }
        default:
            text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(arg)),
                                     sqlite3_value_bytes(arg));
            return true;
    }
}

// A whole number argument, as Oracle reads one (text that reads as a number is one; a fraction
// is cut); ORA-01722 for anything else.
inline int64_t integerArgument(sqlite3_value* arg) {
    switch (sqlite3_value_numeric_type(arg)) {
        case SQLITE_INTEGER:
            return sqlite3_value_int64(arg);
        case SQLITE_FLOAT:
            return int64_t(sqlite3_value_double(arg));
        default:
            functionError(1722, QStringLiteral("invalid number"));
    }
}

}  // namespace qv::embedded
