#include "core/embedded/translate/oracledialect.h"

#include "core/embedded/base/sqlitenames.h"
#include "core/embedded/translate/hierarchical.h"
#include "core/embedded/translate/oraclecommands.h"
#include "core/embedded/translate/outerjoin.h"
#include "core/embedded/translate/translator.h"

#include <QSet>

#include <string_view>
#include <unordered_set>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace qv::embedded {

bool isAggregate(const Token& t) {
    // Read for every word of a query: looked up in upper-case ASCII on the stack, without a copy
    // of the word.
    constexpr qsizetype kLongest = 21;  // APPROX_COUNT_DISTINCT
    if (t.kind != TokenKind::Word || t.text.size() < 3 || t.text.size() > kLongest)
        return false;
    char upper[kLongest];
    for (qsizetype i = 0; i < t.text.size(); ++i) {
        const char16_t c = t.text[i].unicode();
        if (c > 0x7F)
            return false;
        upper[i] = char(c >= u'a' && c <= u'z' ? c - 32 : c);
    }
    static const std::unordered_set<std::string_view> kWords = {"COUNT",
                                                                "SUM",
                                                                "AVG",
                                                                "MIN",
                                                                "MAX",
                                                                "TOTAL",
                                                                "MEDIAN",
                                                                "GROUP_CONCAT",
                                                                "STRING_AGG",
                                                                "LISTAGG",
                                                                "STDDEV",
                                                                "VARIANCE",
                                                                "STDDEV_POP",
                                                                "STDDEV_SAMP",
                                                                "VAR_POP",
                                                                "VAR_SAMP",
                                                                "COLLECT",
                                                                "CORR",
                                                                "COVAR_POP",
                                                                "COVAR_SAMP",
                                                                "PERCENTILE_CONT",
                                                                "PERCENTILE_DISC",
                                                                "STATS_MODE",
                                                                "APPROX_COUNT_DISTINCT",
                                                                "XMLAGG",
                                                                "JSON_ARRAYAGG",
                                                                "JSON_OBJECTAGG"};
    return kWords.count(std::string_view(upper, size_t(t.text.size()))) != 0;
}

namespace {

// UPDATE t alias ... and DELETE [FROM] t alias ...: Oracle takes the alias (and DELETE without
// FROM), SQLite only "UPDATE t AS alias" and "DELETE FROM t AS alias". The statement with the
// words SQLite needs; nullopt when it has them, or is no such statement.
std::optional<QString> changeWithSqliteAlias(const QString& sql, const std::vector<Token>& t,
                                             size_t end) {
    if (end < 2 || !(t[0].is(u"UPDATE") || t[0].is(u"DELETE")))
        return std::nullopt;
    size_t i = 1;
    const bool needsFrom = t[0].is(u"DELETE") && !t[1].is(u"FROM");
    if (!needsFrom && t[0].is(u"DELETE"))
        ++i;
    if (i >= end || !sql::isName(t[i]) || sql::isKeyword(t[i]))
        return std::nullopt;
    const size_t table = i++;
    while (i + 1 < end && t[i].isOp(u'.') && sql::isName(t[i + 1]))
        i += 2;
    const bool alias =
        i < end && sql::isName(t[i]) && !sql::isKeyword(t[i]) &&
        !sql::isOneOf(t[i], {u"AS", u"SET", u"WHERE", u"RETURNING", u"LOG", u"INDEXED", u"NOT"});
    if (!alias && !needsFrom)
        return std::nullopt;
    QString out = sql.left(t[table].begin);
    if (needsFrom)
        out += QStringLiteral("FROM ");
    if (!alias)
        return out + sql.mid(t[table].begin);
    return out + sql.mid(t[table].begin, t[i].begin - t[table].begin) + QStringLiteral("AS ") +
           sql.mid(t[i].begin);
}

// A name of the session's own schema written with its owner (DEMO.EMP, DEMO.EMP.COLUMN), which
// SQLite would read as another database: the statement with such owners left out; nullopt when
// it names none. An owner is left out only where the table it qualifies is the session's.
std::optional<QString> withoutOwnSchema(
    const QString& sql, const std::vector<Token>& t, size_t end,
    const std::function<const TableFacts*(const QString&)>& tableFacts) {
    auto dotted = [&](size_t i) {
        return i + 2 < end && sql::isName(t[i]) && t[i + 1].isOp(u'.') && sql::isName(t[i + 2]);
    };
    auto ownTable = [&](size_t owner) {
        const TableFacts* facts = tableFacts(sql::unquoted(t[owner + 2]));
        return facts && facts->owner.compare(sql::unquoted(t[owner]), Qt::CaseInsensitive) == 0;
    };
    std::vector<size_t> owners;
    for (size_t i = 0; i < end; ++i) {
        if (!dotted(i) || (i > 0 && t[i - 1].isOp(u'.')))
            continue;
        // owner.table.column anywhere; owner.table where a table is named.
        const bool column = dotted(i + 2);
        const bool table = !column && i > 0 &&
                           sql::isOneOf(t[i - 1], {u"FROM", u"JOIN", u"INTO", u"UPDATE", u"DELETE",
                                                   u"USING", u"TABLE"}) &&
                           !(i + 3 < end && t[i + 3].isOp(u'('));
        const bool listed = !column && i > 0 && t[i - 1].isOp(u',');
        if ((column || table || listed) && ownTable(i))
            owners.push_back(i);
        i += 2;
    }
    if (owners.empty())
        return std::nullopt;
    QString out;
    qsizetype at = 0;
    for (size_t owner : owners) {
        out += QStringView(sql).mid(at, t[owner].begin - at);
        at = t[owner + 2].begin;
    }
    out += QStringView(sql).mid(at);
    return out;
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

// The bytes of `name` in UTF-8, counted without making the bytes.
qsizetype utf8Length(QStringView name) {
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c < 0x80) {
            bytes += 1;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < name.size() &&
                   QChar::isLowSurrogate(name[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
    }
    return bytes;
}

// Oracle takes names of up to 128 bytes (since 12.2); SQLite would take any length.
void checkNameLengths(const std::vector<Token>& tokens) {
    constexpr qsizetype kMaxNameBytes = 128;
    for (const Token& t : tokens) {
        // Three bytes at most per UTF-16 unit: a shorter text needs no counting.
        if (!sql::isName(t) || t.text.size() * 3 <= kMaxNameBytes)
            continue;
        const qsizetype bytes =
            t.kind == TokenKind::Quoted ? utf8Length(sql::unquoted(t)) : utf8Length(t.text);
        if (bytes > kMaxNameBytes)
            throw oracleError(972, QStringLiteral("ORA-00972: identifier is too long"));
    }
}

bool isPrefixOperator(const Token& k) {
    if (k.kind == TokenKind::Op)
        return k.isOp(u'-') || k.isOp(u'+') || k.isOp(u'~');
    return k.is(u"PRIOR") || k.is(u"CONNECT_BY_ROOT");
}

// What one pass over the groups learns, from the innermost out, so that asking at any level
// takes one look: each '(' whose inside starts with a query (see Translator::startsQuery()), the
// '(' of each aggregate call (in order), and whether the (+) operator stands anywhere.
struct GroupFacts {
    std::vector<bool> queryInside;
    std::vector<size_t> aggregateCalls;
    bool outerJoinMark = false;
};

GroupFacts groupFacts(const std::vector<Token>& t, const sql::Groups& groups) {
    GroupFacts facts;
    std::vector<bool>& inside = facts.queryInside;
    inside.assign(t.size(), false);
    for (size_t i = t.size(); i-- > 0;) {
        if (!t[i].isOp(u'('))
            continue;
        if (i > 0 &&
            (isAggregate(t[i - 1]) || (i > 1 && t[i - 1].is(u"GROUP") && t[i - 2].is(u"WITHIN"))))
            facts.aggregateCalls.push_back(i);
        const size_t close = groups.closing(i, t.size());
        const size_t k = i + 1;
        if (close >= t.size() || k >= close)
            continue;
        if (k + 1 == close && t[k].isOp(u'+')) {
            facts.outerJoinMark = true;
        } else if (t[k].is(u"SELECT")) {
            inside[i] = true;
        } else if (t[k].is(u"WITH")) {
            inside[i] = k + 2 < close &&
                        (t[k + 1].is(u"RECURSIVE") ||
                         (sql::isName(t[k + 1]) && (t[k + 2].is(u"AS") || t[k + 2].isOp(u'('))));
        } else if (t[k].isOp(u'(')) {
            const size_t innerClose = groups.closing(k, close);
            inside[i] = innerClose < close && inside[k] &&
                        (innerClose + 1 == close || isSetOperator(t[innerClose + 1]) ||
                         isQueryTail(t[innerClose + 1]));
        }
    }
    std::reverse(facts.aggregateCalls.begin(), facts.aggregateCalls.end());
    return facts;
}

}  // namespace

Translator::Translator(const QString& sql, const std::vector<Token>& tokens,
                       const StopCheck& stopped, const SchemaLookup& schema)
    : sql_(sql),
      t_(tokens),
      groups_(tokens),
      stopped_(stopped),
      schema_(schema),
      ddl_(!tokens.empty() && (tokens.front().is(u"CREATE") || tokens.front().is(u"ALTER"))) {
    checkNameLengths(t_);
    // Each level costs the translation a few frames of its stack, and SQLite refuses what nests
    // deeper anyway; Oracle too has its limit and its error for it.
    if (groups_.depth() > kMaxNesting) {
        throw oracleError(
            3095,
            QStringLiteral("ORA-03095: expression level is too deep, maximum %1").arg(kMaxNesting));
    }
    GroupFacts facts = groupFacts(t_, groups_);
    queryInside_ = std::move(facts.queryInside);
    aggregateCalls_ = std::move(facts.aggregateCalls);
    outerJoinMark_ = facts.outerJoinMark;
    // Headings and calls make the text longer; reserving for that saves copying it as it grows.
    out_.reserve(sql_.size() + sql_.size() / 2);
}

// The text between two adjacent tokens (comments included); one blank when tokens between them
// were left out.
void Translator::writeGap(size_t before, size_t at) {
    if (at != before + 1)
        out_ += u' ';
    else
        out_ += QStringView(sql_).mid(t_[before].end, t_[at].begin - t_[before].end);
}

void Translator::writeOriginal(size_t first, size_t last) {
    if (first < last)
        out_ += QStringView(sql_).mid(t_[first].begin, t_[last - 1].end - t_[first].begin);
}

// Called for every token or operand the translation reads: a stop is seen within a few thousand.
void Translator::checkStop() {
    constexpr unsigned kStepsBetweenChecks = 4096;
    if (++steps_ < kStepsBetweenChecks)
        return;
    steps_ = 0;
    if (stopped_ && stopped_())
        throw oracleFailure(sqlite::Error(SQLITE_INTERRUPT, QStringLiteral("interrupted")));
}

// A query where the caller expects one: SELECT, WITH name AS, or a parenthesised query followed
// by nothing, a set operator or the query's own sort and limit.
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
    const size_t close = closing(i, last);
    if (close >= last || !queryInside_[i])
        return false;
    return close + 1 == last || isSetOperator(t_[close + 1]) || isQueryTail(t_[close + 1]);
}

// Past the prefix operators (signs, ~, PRIOR, CONNECT_BY_ROOT) that start at `i`.
size_t Translator::pastPrefixes(size_t i, size_t last) const {
    while (i < last && isPrefixOperator(t_[i]))
        ++i;
    return i;
}

bool Translator::startsOperand(size_t i, size_t last) const {
    i = pastPrefixes(i, last);
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
            return k.isOp(u'(');
        case TokenKind::Word:
            return k.is(u"CASE") || !sql::isKeyword(k);
        case TokenKind::Comment:
        case TokenKind::Hint:
            break;
    }
    return false;
}

// True when `word` stands in [first, last) outside any subquery.
bool Translator::mentions(size_t first, size_t last, QStringView word) const {
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(') && startsQuery(i + 1, closing(i, last)))
            i = closing(i, last);
        else if (t_[i].is(word))
            return true;
    }
    return false;
}

bool Translator::hasAggregate(size_t first, size_t last) const {
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(') && startsQuery(i + 1, closing(i, last)))
            i = closing(i, last);
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
            i = closing(i, last);
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
    // The (+) joins of each query become ANSI joins, then the statement is translated anew.
    if (outerJoinMark_) {
        if (const std::optional<QString> ansi = rewriteOuterJoin(sql_, t_, body)) {
            const std::vector<Token> tokens = sql::tokenize(*ansi);
            return Translator(*ansi, tokens, stopped_, schema_).run();
        }
        throw oracleError(30563, QStringLiteral("ORA-30563: outer join operator (+) is not "
                                                "allowed here"));
    }
    if (const std::optional<QString> own =
            withoutOwnSchema(sql_, t_, body, [this](const QString& name) { return table(name); })) {
        const std::vector<Token> tokens = sql::tokenize(*own);
        return Translator(*own, tokens, stopped_, schema_).run();
    }
    if (const std::optional<QString> pivoted = expandPivot(body)) {
        const std::vector<Token> tokens = sql::tokenize(*pivoted);
        return Translator(*pivoted, tokens, stopped_, schema_).run();
    }
    if (const std::optional<QString> grouped = expandGroupings(body)) {
        const std::vector<Token> tokens = sql::tokenize(*grouped);
        return Translator(*grouped, tokens, stopped_, schema_).run();
    }
    if (const std::optional<QString> plain = changeWithSqliteAlias(sql_, t_, body)) {
        const std::vector<Token> tokens = sql::tokenize(*plain);
        return Translator(*plain, tokens, stopped_, schema_).run();
    }
    if (!ddl_)
        findDateTexts();
    out_ += QStringView(sql_).left(t_[0].begin);
    if (const auto command = translateCommand(sql_, t_, body)) {
        out_ += *command;
    } else {
        const Scope statement;
        if (startsQuery(0, body)) {
            query(0, body, statement);
        } else if (t_[0].is(u"INSERT")) {
            insertStatement(body);
        } else if (t_[0].is(u"UPDATE")) {
            refuseIdentityUpdate(body);
            updateStatement(body);
        } else {
            render(0, body, statement);
        }
    }
    if (slash == kNone) {
        out_ += QStringView(sql_).mid(t_[body - 1].end);
    } else {
        out_ += QStringView(sql_).mid(t_[body - 1].end, t_[slash].begin - t_[body - 1].end);
        out_ += QStringView(sql_).mid(t_[slash].end);
    }
    return std::move(out_);
}

QString translateOracle(const ParsedStatement& statement, const StopCheck& stopped,
                        const SchemaLookup& schema) {
    return Translator(statement.text(), statement.tokens(), stopped, schema).run();
}

QString sqliteText(const ParsedStatement& statement, const StopCheck& stopped,
                   const SchemaLookup& schema) {
    const QString translated = translateOracle(statement, stopped, schema);
    const std::vector<Token>& tokens = statement.tokens();
    // What follows reads the translation's own tokens; most statements need neither step, which
    // the statement's tokens tell (the translation writes no CONNECT BY and no name with #).
    const bool rewrite = std::any_of(tokens.begin(), tokens.end(), [](const Token& t) {
        return t.is(u"CONNECT") || needsQuoting(t);
    });
    if (!rewrite)
        return translated;
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
    // Asked once per column: a text that holds the name in none of the quotes (a plain name
    // needs no doubled quote) is not read token by token.
    if (!sql.contains(u'"' + name + u'"') && !sql.contains(u'[' + name + u']') &&
        !sql.contains(u'`' + name + u'`'))
        return name.toUpper();
    for (const Token& t : sql::tokenize(sql)) {
        if (t.kind == TokenKind::Quoted && sql::unquoted(t) == name)
            return name;
    }
    return name.toUpper();
}

}  // namespace qv::embedded
