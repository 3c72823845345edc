#include "core/embedded/oracleerrors.h"

#include "core/embedded/oraclefunctions.h"
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

// Oracle's number and words for a failure SQLite reported; code 0 when Oracle has no equivalent.
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
    if (tokens[0].is(u"SELECT") && k < tokens.size() &&
        sql::findTopLevel(tokens, 1, k, u"FROM") == k) {
        if (tokens[k].is(u"FROM"))
            return failure(936, "missing expression");
        return failure(923, "FROM keyword not found where expected");
    }
    return failure(933, "SQL command not properly ended");
}

OracleFailure mappedFailure(int extendedCode, const QString& message, QByteArrayView sql,
                            int offset) {
    static const QRegularExpression kOracle(QStringLiteral(R"(^ORA-(\d{5}))"));
    if (const QRegularExpressionMatch m = kOracle.match(message); m.hasMatch())
        return {m.captured(1).toInt(), message};
    auto failure = [&](int code, const QString& words) {
        return OracleFailure{
            code,
            QStringLiteral("ORA-%1: %2 (%3)").arg(code, 5, 10, QChar(u'0')).arg(words, message)};
    };
    switch (extendedCode) {
        case SQLITE_CONSTRAINT_UNIQUE:
        case SQLITE_CONSTRAINT_PRIMARYKEY:
            return failure(1, QStringLiteral("unique constraint violated"));
        case SQLITE_CONSTRAINT_NOTNULL:
            return failure(1400, QStringLiteral("cannot insert NULL into (%1)")
                                     .arg(oracleColumn(message.section(u':', 1).trimmed())));
        case SQLITE_CONSTRAINT_CHECK:
            return failure(2290, QStringLiteral("check constraint violated"));
        case SQLITE_CONSTRAINT_FOREIGNKEY:
            return failure(2291,
                           QStringLiteral("integrity constraint violated - parent key not found"));
        default:
            break;
    }
    switch (extendedCode & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return failure(54, QStringLiteral("resource busy and acquire with NOWAIT specified or "
                                              "timeout expired"));
        case SQLITE_MISMATCH:
            return failure(1722, QStringLiteral("invalid number"));
        default:
            break;
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
    if (message == u"no tables specified")
        return failure(923, QStringLiteral("FROM keyword not found where expected"));
    if (message.endsWith(u" is not a function") || message.startsWith(u"a JOIN clause is required"))
        return failure(933, QStringLiteral("SQL command not properly ended"));
    if (message == u"row value misused")
        return failure(920, QStringLiteral("invalid relational operator"));
    if (named("wrong number of arguments to function"))
        return failure(909, QStringLiteral("invalid number of arguments"));
    if (named("too many arguments on function"))
        return failure(939, QStringLiteral("too many arguments for function"));
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
        QStringLiteral(R"(has (\d+) columns but (\d+) values|^(\d+) values for (\d+) columns)"));
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
    return {};
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

DbError oracleFailure(const sqlite::Error& error, QByteArrayView sql) {
    // A statement stopped by cancel() reads as Oracle reports a cancelled call.
    if (error.resultCode() == SQLITE_INTERRUPT)
        return oracleError(1013, QStringLiteral("ORA-01013: user requested cancel of current "
                                                "operation"));
    if (error.resultCode() == SQLITE_AUTH)
        return insufficientPrivileges();
    const OracleFailure oracle = mappedFailure(error.extendedCode(), error.description(), sql,
                                               sql.isEmpty() ? -1 : error.offset());
    // SQLite's words are left out where they name a call that the translation wrote.
    const bool internal = namesEngineFunction(error.description());
    if (oracle.code != 0 && internal)
        return oracleError(
            oracle.code,
            QString(oracle.message).remove(QStringLiteral(" (%1)").arg(error.description())));
    if (oracle.code != 0)
        return oracleError(oracle.code, oracle.message);
    if (internal)
        return invalidStatement(QStringLiteral("an operator cannot be used here"));
    return error;
}

}  // namespace qv::embedded
