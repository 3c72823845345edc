#include "core/embedded/values/oracleerrors.h"

#include "core/embedded/values/oraclefunctions.h"
#include "core/sql/tokenlist.h"

#include <QRegularExpression>
#include <QStringList>

#include <sqlite3.h>

#include <cstring>
#include <optional>

namespace qv::embedded {

using sql::Token;

namespace {

// "t.c" as Oracle names a column: ("T"."C").
QString oracleColumn(const QString& name) {
    QStringList parts;
    for (const QString& part : name.split(u'.'))
        parts << u'"' + part.toUpper() + u'"';
    return parts.join(u'.');
}

// Oracle's number and words for a failure SQLite reported.
struct OracleFailure {
    int code = 0;
    QString message;  // "ORA-nnnnn: Oracle's words (SQLite's words)"
};

OracleFailure syntaxFailure(const QString& message, QByteArrayView sql, int offset) {
    auto failure = [&](int code, const char* words) {
        return OracleFailure{code, QStringLiteral("ORA-%1: %2 (%3)")
                                       .arg(code, 5, 10, QChar(u'0'))
                                       .arg(QLatin1StringView(words), message)};
    };
    const QString text = QString::fromUtf8(sql);
    const std::vector<Token> tokens = sql::tokenize(text);
    if (offset < 0 || tokens.empty())
        return failure(900, "invalid SQL statement");
    const int at = int(QString::fromUtf8(sql.first(qMin<qsizetype>(offset, sql.size()))).size());
    size_t k = 0;
    while (k < tokens.size() && tokens[k].end <= at)
        ++k;
    if (k == 0)
        return failure(900, "invalid SQL statement");
    // The plan of a statement is compiled behind EXPLAIN QUERY PLAN: its error is the statement's.
    const size_t first =
        tokens.size() > 3 && tokens[0].is(u"EXPLAIN") && tokens[1].is(u"QUERY") ? 3 : 0;
    if (tokens[first].is(u"SELECT") && k < tokens.size() &&
        sql::findTopLevel(tokens, first + 1, k, u"FROM") == k) {
        if (tokens[k].is(u"FROM"))
            return failure(936, "missing expression");
        return failure(923, "FROM keyword not found where expected");
    }
    return failure(933, "SQL command not properly ended");
}

OracleFailure numbered(int code, const QString& words, const QString& message) {
    return {code,
            QStringLiteral("ORA-%1: %2 (%3)").arg(code, 5, 10, QChar(u'0')).arg(words, message)};
}

// By SQLite's result code: conditions that have the same number whatever the message says.
std::optional<OracleFailure> codeFailure(int extendedCode, const QString& message) {
    auto failure = [&](int code, const char* words) {
        return numbered(code, QLatin1StringView(words), message);
    };
    switch (extendedCode) {
        case SQLITE_CONSTRAINT_UNIQUE:
        case SQLITE_CONSTRAINT_PRIMARYKEY:
        case SQLITE_CONSTRAINT_ROWID:
            return failure(1, "unique constraint violated");
        case SQLITE_CONSTRAINT_NOTNULL:
            return numbered(1400,
                            QStringLiteral("cannot insert NULL into (%1)")
                                .arg(oracleColumn(message.section(u':', 1).trimmed())),
                            message);
        case SQLITE_CONSTRAINT_CHECK:
            return failure(2290, "check constraint violated");
        case SQLITE_CONSTRAINT_FOREIGNKEY:
            return failure(2291, "integrity constraint violated - parent key not found");
        case SQLITE_CONSTRAINT_DATATYPE:
            return failure(932, "inconsistent datatypes");
        case SQLITE_CONSTRAINT_TRIGGER:
            // RAISE(ABORT, '...') is a trigger failing with its own words, as
            // RAISE_APPLICATION_ERROR does in Oracle's first user-defined number.
            return OracleFailure{20000, QStringLiteral("ORA-20000: ") + message};
        case SQLITE_IOERR_READ:
        case SQLITE_IOERR_SHORT_READ:
            return failure(1115, "IO error reading block from file");
        default:
            break;
    }
    switch (extendedCode & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return failure(54,
                           "resource busy and acquire with NOWAIT specified or timeout "
                           "expired");
        case SQLITE_MISMATCH:
            return failure(1722, "invalid number");
        case SQLITE_CONSTRAINT:
            return failure(2290, "check constraint violated");
        case SQLITE_NOMEM:
            // Also a statement that would compile into more instructions than the limit.
            return failure(4030, "out of process memory");
        case SQLITE_TOOBIG:
            // A value past SQLITE_LIMIT_LENGTH, or a statement's text past its own limit.
            if (message == u"statement too long")
                return failure(64621, "SQL statement length exceeds maximum allowed length");
            return failure(1489, "result of string concatenation is too long");
        case SQLITE_AUTH:
        case SQLITE_PERM:
            return failure(1031, "insufficient privileges");
        case SQLITE_READONLY:
            return failure(16000, "database or pluggable database open for read-only access");
        case SQLITE_IOERR:
            return failure(1114, "IO error writing block to file");
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return failure(1578, "ORACLE data block corrupted");
        case SQLITE_FULL:
            return failure(1653, "unable to extend table");
        case SQLITE_CANTOPEN:
            return failure(1157, "cannot identify/lock data file");
        case SQLITE_ABORT:
            // A result read after a ROLLBACK ended the transaction it ran in.
            return failure(1002, "fetch out of sequence");
        default:
            return std::nullopt;
    }
}

// SQLite's words for a limit or a condition, and Oracle's number for the same. Where Oracle has
// no such condition, the number of its closest limit; the comment says which.
struct KnownText {
    const char* start;  // how SQLite's message begins
    int code;
    const char* words;
};

const KnownText kKnownTexts[] = {
    {"integer overflow", 1426, "numeric overflow"},
    // SQLite compiles a compound SELECT one level deeper per term: Oracle's limit on nested
    // subqueries. (The depth of expressions and of the parser is ORA-03095, below.)
    {"too many terms in compound SELECT", 1778, "maximum subquery nesting level exceeded"},
    // Columns of a table, a result, an index.
    {"too many columns", 1792, "maximum number of columns in a table or view is 1000"},
    // ORDER BY and GROUP BY terms: Oracle's limit on what a sort key holds.
    {"too many terms in", 1467, "sort key too long"},
    {"too many arguments on", 909, "invalid number of arguments"},
    // Oracle's answer to more placeholders than it takes.
    {"too many SQL variables", 1745, "invalid host/bind variable name"},
    {"variable number must be between", 1745, "invalid host/bind variable name"},
    {"too many levels of trigger recursion", 36, "maximum number of recursive SQL levels exceeded"},
    // A pattern is a VARCHAR2 in Oracle; a longer literal is refused as too long.
    {"LIKE or GLOB pattern too complex", 1704, "string literal too long"},
    // What the sandbox refuses (SQLite reports a refused function as a plain failure to
    // compile, "not authorized to use function: ..."), and another database file.
    {"not authorized", 1031, "insufficient privileges"},
    {"too many attached databases", 1031, "insufficient privileges"},
    {"object name reserved for internal use", 1031, "insufficient privileges"},
    {"no such savepoint", 1086, "savepoint never established in this session or is invalid"},
    {"no such trigger", 4080, "trigger does not exist"},
    {"misuse of window function", 30483, "window functions are not allowed here"},
    // NEXTVAL and CURRVAL in a view, a trigger or a default (sequences.h).
    {"unsafe use of qv_nextval", 2287, "sequence number not allowed here"},
    {"unsafe use of qv_currval", 2287, "sequence number not allowed here"},
};

OracleFailure mappedFailure(int extendedCode, const QString& message, QByteArrayView sql,
                            int offset) {
    static const QRegularExpression kOracle(QStringLiteral(R"(^ORA-(\d{5}))"));
    if (const QRegularExpressionMatch m = kOracle.match(message); m.hasMatch())
        return {m.captured(1).toInt(), message};
    if (std::optional<OracleFailure> failure = codeFailure(extendedCode, message))
        return *failure;
    auto failure = [&](int code, const QString& words) { return numbered(code, words, message); };
    for (const KnownText& known : kKnownTexts) {
        if (message.startsWith(QLatin1StringView(known.start)))
            return failure(known.code, QLatin1StringView(known.words));
    }
    auto named = [&](const char* prefix) {
        return message.startsWith(QLatin1StringView(prefix))
                   ? std::optional(message.mid(qsizetype(std::strlen(prefix))))
                   : std::nullopt;
    };
    if (named("no such table: ") || named("no such view: "))
        return failure(942, QStringLiteral("table or view does not exist"));
    if (const auto column = named("no such column: "))
        return failure(904, oracleColumn(*column) + QStringLiteral(": invalid identifier"));
    if (const auto function = named("no such function: "))
        return failure(904, oracleColumn(*function) + QStringLiteral(": invalid identifier"));
    if (message.startsWith(u"table ") && message.contains(u" has no column named ")) {
        return failure(904,
                       oracleColumn(message.section(QStringLiteral(" has no column named "), 1)) +
                           QStringLiteral(": invalid identifier"));
    }
    // SQLite's own tables ("table sqlite_schema may not be modified", "... dropped", "...
    // altered") are the dictionary, which no user changes directly.
    if (message.startsWith(u"table ") && message.contains(u" may not be "))
        return failure(1031, QStringLiteral("insufficient privileges"));
    if (message.startsWith(u"cannot modify ") && message.endsWith(u" because it is a view"))
        return failure(1732, QStringLiteral("data manipulation operation not legal on this view"));
    if (message.endsWith(u" is circularly defined"))
        return failure(1731, QStringLiteral("circular view definition encountered"));
    if (message == u"no tables specified")
        return failure(923, QStringLiteral("FROM keyword not found where expected"));
    if (message.endsWith(u" is not a function") || message.startsWith(u"a JOIN clause is required"))
        return failure(933, QStringLiteral("SQL command not properly ended"));
    if (message == u"row value misused")
        return failure(920, QStringLiteral("invalid relational operator"));
    if (named("wrong number of arguments to function"))
        return failure(909, QStringLiteral("invalid number of arguments"));
    static const QRegularExpression kTooDeep(
        QStringLiteral(R"(^Expression tree is too large \(maximum depth (\d+)\)$)"));
    if (const QRegularExpressionMatch m = kTooDeep.match(message); m.hasMatch())
        return failure(3095,
                       QStringLiteral("expression level is too deep, maximum ") + m.captured(1));
    if (message == u"Recursion limit" || message == u"parser stack overflow")
        return failure(3095, QStringLiteral("expression level is too deep"));
    if (named("ambiguous column name: "))
        return failure(918, QStringLiteral("column ambiguously defined"));
    if (named("no such index: "))
        return failure(1418, QStringLiteral("specified index does not exist"));
    if (named("misuse of aggregate") || named("aggregate functions are not allowed"))
        return failure(934, QStringLiteral("group function is not allowed here"));
    if (message.contains(u"do not have the same number of result columns"))
        return failure(1789, QStringLiteral("query block has incorrect number of result columns"));
    if (message.contains(u"ORDER BY term out of range"))
        return failure(1785, QStringLiteral("ORDER BY item must be the number of a SELECT-list "
                                            "expression"));
    if (named("sub-select returns"))
        return failure(913, QStringLiteral("too many values"));
    static const QRegularExpression kValues(
        QStringLiteral(R"(has (\d+) columns but (\d+) values|(\d+) values for (\d+) columns)"));
    if (const QRegularExpressionMatch m = kValues.match(message); m.hasMatch()) {
        const int columns = m.hasCaptured(1) ? m.captured(1).toInt() : m.captured(4).toInt();
        const int values = m.hasCaptured(2) ? m.captured(2).toInt() : m.captured(3).toInt();
        return values > columns ? failure(913, QStringLiteral("too many values"))
                                : failure(947, QStringLiteral("not enough values"));
    }
    if (message.contains(u" already exists"))
        return failure(955, QStringLiteral("name is already used by an existing object"));
    if (message == QLatin1StringView(sqlite::kOneStatementOnly))
        return failure(911, QStringLiteral("invalid character"));
    if (message == u"incomplete input")
        return failure(921, QStringLiteral("unexpected end of SQL command"));
    if (named("unrecognized token"))
        return failure(911, QStringLiteral("invalid character"));
    if (message.contains(u"syntax error"))
        return syntaxFailure(message, sql, offset);
    // Anything else SQLite refuses to compile or run as written, for a reason Oracle has no
    // number of its own for ("no such module", "cannot start a transaction within a
    // transaction"...); any other code is a fault of the engine's, as Oracle's internal error.
    if ((extendedCode & 0xff) == SQLITE_ERROR)
        return failure(900, QStringLiteral("invalid SQL statement"));
    return failure(600, QStringLiteral("internal error code"));
}

}  // namespace

DbError oracleError(int oracleCode, const QString& message) {
    return DbError(kErrOdbcCall, message,
                   {DiagRecord{QStringLiteral("HY000"), oracleCode, message}});
}

DbError invalidStatement(const QString& why) {
    return oracleError(900, QStringLiteral("ORA-00900: invalid SQL statement (%1)").arg(why));
}

DbError insufficientPrivileges() {
    return oracleError(1031, QStringLiteral("ORA-01031: insufficient privileges (the embedded "
                                            "engine does not attach, copy or reshape database "
                                            "files)"));
}

DbError tooManyColumns() {
    return oracleError(1792, QStringLiteral("ORA-01792: maximum number of columns in a table or "
                                            "view is 1000"));
}

DbError engineNameRefused(const QString& name) {
    return oracleError(1031, QStringLiteral("ORA-01031: insufficient privileges (%1: names "
                                            "beginning with QV$ belong to the embedded engine)")
                                 .arg(name));
}

DbError oracleFailure(const sqlite::Error& error, QByteArrayView sql) {
    // A statement stopped by cancel() reads as Oracle reports a cancelled call.
    if (error.resultCode() == SQLITE_INTERRUPT)
        return oracleError(1013, QStringLiteral("ORA-01013: user requested cancel of current "
                                                "operation"));
    const OracleFailure oracle = mappedFailure(error.extendedCode(), error.description(), sql,
                                               sql.isEmpty() ? -1 : error.offset());
    // SQLite's words are left out where they name a call that the translation wrote.
    if (namesEngineFunction(error.description()))
        return oracleError(
            oracle.code,
            QString(oracle.message).remove(QStringLiteral(" (%1)").arg(error.description())));
    return oracleError(oracle.code, oracle.message);
}

}  // namespace qv::embedded
