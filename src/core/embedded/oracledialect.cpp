#include "core/embedded/oracledialect.h"

#include "core/embedded/hierarchical.h"
#include "core/embedded/oraclecommands.h"
#include "core/embedded/sqlitenames.h"
#include "core/embedded/translator.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace qv::embedded {

namespace {

bool isAggregate(const Token& t) {
    static const QSet<QString> kWords = {
        u"COUNT"_s,      u"SUM"_s,         u"AVG"_s,     u"MIN"_s,
        u"MAX"_s,        u"TOTAL"_s,       u"MEDIAN"_s,  u"GROUP_CONCAT"_s,
        u"STRING_AGG"_s, u"LISTAGG"_s,     u"STDDEV"_s,  u"VARIANCE"_s,
        u"STDDEV_POP"_s, u"STDDEV_SAMP"_s, u"VAR_POP"_s, u"VAR_SAMP"_s};
    return t.kind == TokenKind::Word && kWords.contains(t.text.toString().toUpper());
}

bool isPlainName(const QString& name) {
    if (name.isEmpty() || !(name[0].isLetter() || name[0] == u'_'))
        return false;
    for (QChar c : name) {
        if (!(c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#'))
            return false;
    }
    return true;
}

}  // namespace

Translator::Translator(const QString& sql, const std::vector<Token>& tokens)
    : sql_(sql),
      t_(tokens),
      ddl_(!tokens.empty() && (tokens.front().is(u"CREATE") || tokens.front().is(u"ALTER"))) {}

// The text between two adjacent tokens (comments included); one blank when tokens between them
// were left out.
QString Translator::gap(size_t before, size_t at) const {
    if (at != before + 1)
        return QStringLiteral(" ");
    return sql_.mid(t_[before].end, t_[at].begin - t_[before].end);
}

QString Translator::original(size_t first, size_t last) const {
    return sql::textOf(sql_, t_, first, last);
}

bool Translator::startsQuery(size_t i, size_t last) const {
    if (i >= last)
        return false;
    const Token& k = t_[i];
    if (k.is(u"SELECT"))
        return true;
    if (k.is(u"WITH")) {
        return i + 2 < last &&
               (t_[i + 1].is(u"RECURSIVE") ||
                (sql::isName(t_[i + 1]) && (t_[i + 2].is(u"AS") || t_[i + 2].isOp(u'('))));
    }
    if (!k.isOp(u'('))
        return false;
    const size_t close = sql::closing(t_, i, last);
    if (close >= last || !startsQuery(i + 1, close))
        return false;
    return close + 1 == last || isSetOperator(t_[close + 1]) || isQueryTail(t_[close + 1]);
}

bool Translator::startsOperand(size_t i, size_t last) const {
    if (i >= last)
        return false;
    const Token& k = t_[i];
    switch (k.kind) {
        case TokenKind::Number:
        case TokenKind::String:
        case TokenKind::Blob:
        case TokenKind::Param:
        case TokenKind::Quoted:
            return true;
        case TokenKind::Op:
            if (k.isOp(u'('))
                return true;
            return (k.isOp(u'-') || k.isOp(u'+') || k.isOp(u'~')) && startsOperand(i + 1, last);
        case TokenKind::Word:
            if (k.is(u"CASE"))
                return true;
            if (k.is(u"PRIOR") || k.is(u"CONNECT_BY_ROOT"))
                return startsOperand(i + 1, last);
            return !sql::isKeyword(k);
        case TokenKind::Comment:
        case TokenKind::Hint:
            break;
    }
    return false;
}

// True when `word` stands in [first, last) outside any subquery.
bool Translator::mentions(size_t first, size_t last, QStringView word) const {
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(') && startsQuery(i + 1, sql::closing(t_, i, last)))
            i = sql::closing(t_, i, last);
        else if (t_[i].is(word))
            return true;
    }
    return false;
}

bool Translator::hasAggregate(size_t first, size_t last) const {
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(') && startsQuery(i + 1, sql::closing(t_, i, last)))
            i = sql::closing(t_, i, last);
        else if (t_[i].is(u"OVER") || (isAggregate(t_[i]) && i + 1 < last && t_[i + 1].isOp(u'(')))
            return true;
    }
    return false;
}

// Past DUAL or SYS.DUAL when a FROM item at `at` names it; kNone otherwise.
size_t Translator::dualEnd(size_t at, size_t last) const {
    if (at < last && t_[at].is(u"DUAL") && !(at + 1 < last && t_[at + 1].isOp(u'.')))
        return at + 1;
    if (at + 2 < last && t_[at].is(u"SYS") && t_[at + 1].isOp(u'.') && t_[at + 2].is(u"DUAL"))
        return at + 3;
    return kNone;
}

// A FROM clause naming DUAL alone, with or without an alias.
bool Translator::isDualClause(size_t first, size_t last) const {
    const size_t end = dualEnd(first, last);
    if (end == kNone)
        return false;
    return end == last || (end + 1 == last && sql::isName(t_[end]) && !sql::isKeyword(t_[end]));
}

void Translator::markDuals(size_t first, size_t last) {
    bool itemStart = true;
    for (size_t i = first; i < last; ++i) {
        if (itemStart) {
            const size_t end = dualEnd(i, last);
            if (end != kNone)
                duals_[i] = end;
        }
        if (t_[i].isOp(u'('))
            i = sql::closing(t_, i, last);
        itemStart = i < last && (t_[i].isOp(u',') || t_[i].is(u"JOIN"));
    }
}

QString Translator::run() {
    size_t end = t_.size();
    if (end == 0)
        return sql_;
    // A "/" alone on its line ends a statement in SQL*Plus.
    size_t slash = kNone;
    if (t_[end - 1].isOp(u'/') &&
        (end == 1 ||
         sql_.mid(t_[end - 2].end, t_[end - 1].begin - t_[end - 2].end).contains(u'\n')))
        slash = --end;
    size_t body = end;
    while (body > 0 && t_[body - 1].isOp(u';'))
        --body;
    if (body == 0)
        return slash == kNone ? sql_ : QString();
    for (size_t i = 0; i + 2 < body; ++i) {
        if (t_[i].isOp(u'(') && t_[i + 1].isOp(u'+') && t_[i + 2].isOp(u')'))
            refuse(
                QStringLiteral("the (+) outer join operator is not supported by the embedded "
                               "engine; write LEFT JOIN ... ON instead"));
    }
    const QString head = sql_.left(t_[0].begin);
    QString tail = sql_.mid(t_[body - 1].end);
    if (slash != kNone) {
        tail = sql_.mid(t_[body - 1].end, t_[slash].begin - t_[body - 1].end) +
               sql_.mid(t_[slash].end);
    }
    if (const auto command = translateCommand(sql_, t_, body))
        return head + *command + tail;
    const Scope statement;
    return head + (startsQuery(0, body) ? query(0, body, statement) : render(0, body, statement)) +
           tail;
}

QString translateOracle(const QString& sql, const std::vector<Token>& tokens) {
    return Translator(sql, tokens).run();
}

QString sqliteText(const QString& sql, const std::vector<Token>& tokens) {
    const QString translated = translateOracle(sql, tokens);
    const std::vector<Token> translatedTokens = sql::tokenize(translated);
    if (isHierarchicalQuery(translatedTokens))
        return rewriteHierarchicalQuery(translated, translatedTokens);
    return quoteIdentifiers(translated, translatedTokens);
}

QString oracleHeading(const sqlite::Statement& stmt, int column) {
    const QString name = stmt.columnName(column);
    const QString origin = stmt.originName(column);
    if (origin.isEmpty() || name != origin || name == name.toUpper() || !isPlainName(name))
        return name;
    // Every name the statement gives a column is quoted (translateOracle makes sure); a table
    // column read through * is not.
    const QString sql = stmt.sql();
    for (const Token& t : sql::tokenize(sql)) {
        if (t.kind == TokenKind::Quoted && sql::unquoted(t) == name)
            return name;
    }
    return name.toUpper();
}

}  // namespace qv::embedded
