#include "core/embedded/translate/oraclecommands.h"

#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QStringList>

#include <algorithm>

namespace qv::embedded {

namespace {

using sql::Range;
using sql::Token;
using sql::TokenKind;

const QString kPlsql = QStringLiteral(
    "of DBMS_STATS the embedded engine understands GATHER_TABLE_STATS, GATHER_INDEX_STATS, "
    "GATHER_SCHEMA_STATS and GATHER_DATABASE_STATS");

// One argument of a call, named (name => 'value') or by position; nullopt when it is not
// there or not a literal.
std::optional<QString> literalArgument(const std::vector<Token>& t, const std::vector<Range>& args,
                                       QStringView name, size_t position) {
    for (size_t k = 0; k < args.size(); ++k) {
        auto [a, b] = args[k];
        const bool named = b - a >= 3 && t[a].kind == TokenKind::Word && t[a + 1].isOp(u'=') &&
                           t[a + 2].isOp(u'>');
        if (named && !t[a].is(name))
            continue;
        if (!named && k != position)
            continue;
        if (named)
            a += 3;
        if (b - a != 1 || t[a].kind != TokenKind::String)
            break;
        QString value = sql::stringValue(t[a]);
        if (value.size() > 1 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

// The table or index a DBMS_STATS.GATHER_..._STATS call in [first, last) names; empty for the
// whole schema.
QString gatherTarget(const std::vector<Token>& t, size_t first, size_t last) {
    size_t i = first;
    if (i + 2 < last && sql::isName(t[i]) && t[i + 1].isOp(u'.') && !t[i].is(u"DBMS_STATS"))
        i += 2;  // SYS.
    if (!(i + 2 < last && t[i].is(u"DBMS_STATS") && t[i + 1].isOp(u'.') &&
          t[i + 2].kind == TokenKind::Word))
        throw invalidStatement(kPlsql);
    const Token& procedure = t[i + 2];
    const size_t open = i + 3;
    std::vector<Range> args;
    if (open < last && t[open].isOp(u'(')) {
        const size_t close = sql::closing(t, open, last);
        if (close != last - 1)
            throw invalidStatement(kPlsql);
        if (close > open + 1)
            args = sql::splitTopLevel(t, open + 1, close);
    } else if (open != last) {
        throw invalidStatement(kPlsql);
    }
    auto argument = [&](QStringView name) {
        if (const auto value = literalArgument(t, args, name, 1))
            return *value;
        throw invalidStatement(QStringLiteral("DBMS_STATS.%1 needs %2 as a literal")
                                   .arg(procedure.text.toString().toUpper(), name.toString()));
    };
    if (procedure.is(u"GATHER_TABLE_STATS"))
        return argument(u"TABNAME");
    if (procedure.is(u"GATHER_INDEX_STATS"))
        return argument(u"INDNAME");
    if (procedure.is(u"GATHER_SCHEMA_STATS") || procedure.is(u"GATHER_DATABASE_STATS"))
        return {};
    throw invalidStatement(kPlsql);
}

QString analyzeStatement(const QString& target) {
    return target.isEmpty() ? QStringLiteral("ANALYZE")
                            : QStringLiteral("ANALYZE ") + sql::quotedName(target);
}

// BEGIN DBMS_STATS.GATHER_...(...); ... END
QString plsqlBlock(const std::vector<Token>& t, size_t end) {
    if (end < 3 || !t[end - 1].is(u"END"))
        throw invalidStatement(kPlsql);
    QStringList targets;
    size_t i = 1;
    while (i < end - 1) {
        size_t semicolon = i;
        while (semicolon < end - 1 && !t[semicolon].isOp(u';')) {
            if (t[semicolon].isOp(u'('))
                semicolon = sql::closing(t, semicolon, end - 1);
            ++semicolon;
        }
        if (semicolon > i)
            targets << gatherTarget(t, i, semicolon);
        i = semicolon + 1;
    }
    if (targets.isEmpty())
        throw invalidStatement(kPlsql);
    // Several calls: gathering everything covers them all.
    return analyzeStatement(targets.size() == 1 ? targets.front() : QString());
}

// ANALYZE TABLE|INDEX [owner.]name COMPUTE|ESTIMATE STATISTICS ...; SQLite's own forms as they are.
QString analyze(const QString& sql, const std::vector<Token>& t, size_t end) {
    if (end < 3 || !(t[1].is(u"TABLE") || t[1].is(u"INDEX")))
        return sql::textOf(sql, t, 0, end);
    size_t nameAt = 2;
    size_t j = 3;
    while (j + 1 < end && t[j].isOp(u'.') && sql::isName(t[j + 1])) {
        nameAt = j + 1;
        j += 2;
    }
    if (!sql::isName(t[nameAt]))
        return sql::textOf(sql, t, 0, end);
    if (j < end && (t[j].is(u"COMPUTE") || t[j].is(u"ESTIMATE")))
        return QStringLiteral("ANALYZE ") + t[nameAt].text.toString();
    throw invalidStatement(
        QStringLiteral("ANALYZE is understood with COMPUTE STATISTICS and ESTIMATE STATISTICS"));
}

// What only Oracle's triggers say: :NEW and :OLD, REFERENCING, a declaration, PL/SQL's
// statements and assignments, events joined by OR. SQLite's own CREATE TRIGGER has none of them.
bool oracleTriggerSyntax(const std::vector<Token>& t, size_t end) {
    const size_t on = sql::findTopLevel(t, 0, end, u"ON");
    for (size_t k = 0; k < end; ++k) {
        const Token& x = t[k];
        if (x.kind == TokenKind::Param && (x.text.startsWith(u":new", Qt::CaseInsensitive) ||
                                           x.text.startsWith(u":old", Qt::CaseInsensitive)))
            return true;
        if (x.isOp(u":=") ||
            sql::isOneOf(x, {u"REFERENCING", u"DECLARE", u"ELSIF", u"RAISE_APPLICATION_ERROR",
                             u"DBMS_OUTPUT", u"INSERTING", u"UPDATING", u"DELETING", u"LOOP",
                             u"EXCEPTION", u"COMPOUND", u"FOLLOWS", u"PRECEDES"}))
            return true;
        if (k < on && x.is(u"OR") && k > 2)
            return true;
        if (x.is(u"IF") && k + 1 < end && !t[k + 1].is(u"NOT") && !t[k + 1].is(u"EXISTS"))
            return true;
    }
    return false;
}

// CREATE [OR REPLACE] [NON]EDITIONABLE PROCEDURE | FUNCTION | PACKAGE | TYPE | TRIGGER: Oracle's
// PL/SQL units (SQLite's CREATE TRIGGER has no OR REPLACE and stays its own, unless it is
// written in Oracle's terms).
bool createsPlsqlUnit(const std::vector<Token>& t, size_t end) {
    size_t i = 1;
    if (i + 1 < end && t[i].is(u"OR") && t[i + 1].is(u"REPLACE"))
        i += 2;
    while (i < end && (t[i].is(u"EDITIONABLE") || t[i].is(u"NONEDITIONABLE")))
        ++i;
    if (i < end && (t[i].is(u"TEMP") || t[i].is(u"TEMPORARY")) && i + 1 < end &&
        t[i + 1].is(u"TRIGGER"))
        ++i;
    return i < end && (sql::isOneOf(t[i], {u"PROCEDURE", u"FUNCTION", u"PACKAGE", u"TYPE"}) ||
                       (t[i].is(u"TRIGGER") && (i > 1 || oracleTriggerSyntax(t, end))));
}

}  // namespace

std::optional<QString> translateCommand(const QString& sql, const std::vector<Token>& t,
                                        size_t end) {
    const Token& k = t[0];
    if (k.is(u"BEGIN")) {
        // SQLite's own transaction statements, which would take the file's locks as SQLite's and
        // hold out every other session: Oracle begins a transaction with the first change.
        if (end == 1 ||
            sql::isOneOf(t[1], {u"TRANSACTION", u"DEFERRED", u"IMMEDIATE", u"EXCLUSIVE"}))
            throw invalidStatement(QStringLiteral(
                "BEGIN without a PL/SQL block is SQLite's; a transaction begins with the first "
                "change when the session does not commit each statement"));
        return plsqlBlock(t, end);
    }
    if (k.is(u"DECLARE") || (k.is(u"CREATE") && createsPlsqlUnit(t, end)))
        throw invalidStatement(QStringLiteral(
            "the embedded engine keeps no stored PL/SQL: procedures, functions, packages, types "
            "and Oracle's triggers"));
    if (k.is(u"EXEC") || k.is(u"EXECUTE") || k.is(u"CALL"))
        return analyzeStatement(gatherTarget(t, 1, end));
    if (k.is(u"ANALYZE"))
        return analyze(sql, t, end);
    if (k.is(u"TRUNCATE") && end >= 3 && t[1].is(u"TABLE")) {
        size_t j = 3;
        while (j + 1 < end && t[j].isOp(u'.') && sql::isName(t[j + 1]))
            j += 2;
        return QStringLiteral("DELETE FROM ") + sql::textOf(sql, t, 2, j);
    }
    return std::nullopt;
}

std::optional<QString> statisticsTarget(const QString& sql, const std::vector<Token>& t,
                                        size_t end) {
    if (end == 0 || !sql::isOneOf(t[0], {u"ANALYZE", u"EXEC", u"EXECUTE", u"CALL", u"BEGIN"}))
        return std::nullopt;
    const std::optional<QString> command = translateCommand(sql, t, end);
    if (!command)
        return std::nullopt;
    const std::vector<Token> analyze = sql::tokenize(*command);
    if (analyze.empty() || !analyze.front().is(u"ANALYZE"))
        return std::nullopt;
    return analyze.size() > 1 ? sql::unquoted(analyze.back()) : QString();
}

void refuseTerminators(const std::vector<Token>& t) {
    if (t.empty() || sql::isOneOf(t[0], {u"BEGIN", u"DECLARE", u"EXEC", u"EXECUTE"}))
        return;
    if (t[0].is(u"CREATE")) {
        // A stored unit's or a trigger's body is PL/SQL (or SQLite's trigger body).
        for (size_t k = 1; k < std::min<size_t>(t.size(), 8); ++k) {
            if (sql::isOneOf(
                    t[k], {u"TRIGGER", u"PROCEDURE", u"FUNCTION", u"PACKAGE", u"TYPE", u"LIBRARY"}))
                return;
            if (t[k].isOp(u'(') || t[k].is(u"AS"))
                break;
        }
    }
    for (const Token& k : t) {
        if (k.isOp(u';')) {
            DbError e = oracleError(911, QStringLiteral("ORA-00911: invalid character"));
            e.setPosition(k.begin);
            throw e;
        }
    }
}

}  // namespace qv::embedded
