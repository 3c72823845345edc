#include "core/sql/sqlformatter.h"

#include "core/sql/sqltokens.h"
#include "core/sql/sqlwords.h"
#include "core/sql/tokenlist.h"

#include <vector>

namespace qv::sql {

namespace {

constexpr int kSubqueryIndent = 4;
constexpr int kConditionIndent = 2;  // AND and OR under their clause

bool isComment(const Token& t) {
    return t.kind == TokenKind::Comment || t.kind == TokenKind::Hint;
}

// A -- comment (or --+ hint) ends at its line end, which must stay.
bool endsLine(const Token& t) {
    return isComment(t) && t.text.startsWith(u"--");
}

bool blankHasLineEnd(const QString& sql, int from, int to) {
    for (int i = from; i < to; ++i) {
        if (sql[i] == u'\n' || sql[i] == u'\r')
            return true;
    }
    return false;
}

// The words that may stand between the start of a join and its JOIN (or APPLY).
bool isJoinWord(const Token& t) {
    return isOneOf(t, {u"NATURAL", u"INNER", u"LEFT", u"RIGHT", u"FULL", u"OUTER", u"CROSS"});
}

// One open parenthesis, or the statement itself.
struct Level {
    bool query = false;      // holds a query, whose clauses start lines
    int indent = 0;          // of the clause lines
    int closeIndent = 0;     // of the line its ')' goes on
    int cases = 0;           // CASE ... END open inside it
    bool between = false;    // a BETWEEN waits for its AND
    bool condition = false;  // AND and OR start lines here
};

// Lays out one statement's tokens [first, last) after what `out` holds.
class StatementLayout {
  public:
    StatementLayout(const QString& sql, const std::vector<Token>& t, QString& out)
        : sql_(sql), t_(t), out_(out) {
        eol_ = sql.contains(u"\r\n") ? QStringLiteral("\r\n") : QStringLiteral("\n");
    }

    // The text's own line end, CR LF or LF.
    const QString& eol() const { return eol_; }
    // Lays out tokens [first, last), which start a line of `out`.
    void run(size_t first, size_t last);

  private:
    // The next token that is no comment, from `i`; `last_` when none.
    size_t nextCode(size_t i) const {
        while (i < last_ && isComment(t_[i]))
            ++i;
        return i;
    }
    const Token* codeAt(size_t i) const {
        const size_t k = nextCode(i);
        return k < last_ ? &t_[k] : nullptr;
    }
    bool opensQuery(size_t open) const;
    bool startsJoin(size_t i) const;
    // Whether token `i` starts a clause line of a query level; sets the level's condition.
    bool startsClause(size_t i, Level& level);
    void breakLine(int indent);
    void place(size_t i, bool lineStart, int indent);
    void write(size_t i);
    bool tightAfter(const Token& before, const Token& t) const;

    const QString& sql_;
    const std::vector<Token>& t_;
    QString& out_;
    size_t last_ = 0;
    std::vector<Level> levels_;
    QString eol_;
    int lineIndent_ = 0;
    qsizetype lineBegin_ = 0;  // where the line being written starts in `out_`
    bool atLineStart_ = true;  // nothing but its indent written on it yet
    const Token* previousCode_ = nullptr;
    bool merge_ = false;   // a MERGE statement: USING, WHEN and SET start lines
    bool update_ = false;  // an UPDATE: SET starts a line
    bool afterSetOperator_ = false;
};

bool StatementLayout::opensQuery(size_t open) const {
    size_t k = open;
    while (k < last_ && t_[k].isOp(u'('))
        k = nextCode(k + 1);
    return k < last_ && (t_[k].is(u"SELECT") || t_[k].is(u"WITH"));
}

bool StatementLayout::startsJoin(size_t i) const {
    if (!isJoinWord(t_[i]) && !t_[i].is(u"JOIN"))
        return false;
    if (previousCode_ && isJoinWord(*previousCode_))
        return false;
    size_t k = i;
    while (k < last_ && isJoinWord(t_[k]))
        k = nextCode(k + 1);
    return k < last_ && (t_[k].is(u"JOIN") || t_[k].is(u"APPLY"));
}

bool StatementLayout::startsClause(size_t i, Level& level) {
    const Token& t = t_[i];
    const Token* next = codeAt(i + 1);
    auto followedBy = [&](std::initializer_list<const char16_t*> words) {
        return next && isOneOf(*next, words);
    };
    if (t.kind != TokenKind::Word || level.cases > 0)
        return false;
    bool condition = false;
    if (isOneOf(t, {u"WHERE", u"HAVING"}) || (t.is(u"START") && followedBy({u"WITH"})) ||
        (t.is(u"CONNECT") && followedBy({u"BY"}))) {
        condition = true;
    } else if (t.is(u"ON") && merge_) {
        condition = true;
    } else if (t.is(u"SELECT")) {
        // The first SELECT of its level follows the level's opening line break.
    } else if (t.is(u"FROM")) {
        if (previousCode_ && previousCode_->is(u"DELETE"))
            return false;
    } else if ((t.is(u"GROUP") || t.is(u"ORDER")) && followedBy({u"BY", u"SIBLINGS"})) {
    } else if (isOneOf(t, {u"UNION", u"INTERSECT", u"MINUS", u"EXCEPT"})) {
        afterSetOperator_ = true;
    } else if ((t.is(u"FETCH") && followedBy({u"FIRST", u"NEXT"})) || t.is(u"OFFSET") ||
               (t.is(u"FOR") && followedBy({u"UPDATE"})) || t.is(u"RETURNING")) {
    } else if (t.is(u"VALUES") || (t.is(u"SET") && (update_ || merge_))) {
    } else if (merge_ && (t.is(u"USING") || t.is(u"WHEN"))) {
    } else if (startsJoin(i)) {
    } else {
        return false;
    }
    level.condition = condition;
    level.between = false;
    return true;
}

void StatementLayout::breakLine(int indent) {
    if (atLineStart_) {
        out_.truncate(lineBegin_);  // only the indent changes
    } else {
        // A -- comment may end in the CR of its CR LF.
        out_ += out_.endsWith(u'\r') ? QStringLiteral("\n") : eol_;
        lineBegin_ = out_.size();
    }
    out_ += QString(indent, u' ');
    lineIndent_ = indent;
    atLineStart_ = true;
}

// Whether `t` may follow `before` without a blank: punctuation that never needs one, when the
// two read as the same two tokens without it.
bool StatementLayout::tightAfter(const Token& before, const Token& t) const {
    const bool wanted = t.isOp(u',') || t.isOp(u')') || t.isOp(u';') || t.isOp(u'.') ||
                        before.isOp(u'(') || before.isOp(u'.');
    if (!wanted)
        return false;
    const QString joined = before.text.toString() + t.text.toString();
    const std::vector<Token> again = lex(joined);
    return again.size() == 2 && again[0].kind == before.kind && again[1].kind == t.kind &&
           again[0].text == before.text;
}

void StatementLayout::write(size_t i) {
    const Token& t = t_[i];
    if (t.kind == TokenKind::Word && isSqlKeyword(t.text))
        out_ += t.text.toString().toUpper();
    else
        out_ += t.text;
}

void StatementLayout::place(size_t i, bool lineStart, int indent) {
    const Token& t = t_[i];
    if (lineStart) {
        breakLine(indent);
    } else if (i > 0 && !atLineStart_) {
        const Token& before = t_[i - 1];
        const bool blankBefore = before.end < t.begin;
        if (before.isOp(u',') || (blankBefore && !tightAfter(before, t)))
            out_ += u' ';
    }
    write(i);
    atLineStart_ = false;
}

void StatementLayout::run(size_t first, size_t last) {
    last_ = last;
    levels_.assign(1, Level{true, 0, 0});
    lineIndent_ = 0;
    lineBegin_ = out_.size();
    atLineStart_ = true;
    previousCode_ = nullptr;
    afterSetOperator_ = false;
    const Token* head = codeAt(first);
    merge_ = head && head->is(u"MERGE");
    update_ = head && head->is(u"UPDATE");
    bool forceLine = false;  // after a -- comment
    for (size_t i = first; i < last; ++i) {
        const Token& t = t_[i];
        Level& level = levels_.back();
        const bool ownLine =
            i > first && blankHasLineEnd(sql_, t_[i - 1].end, t.begin) && isComment(t);
        bool lineStart = forceLine || ownLine;
        int indent = level.indent + (forceLine && !ownLine ? kConditionIndent : 0);
        if (t.kind == TokenKind::Hint && i > first && previousCode_ == &t_[i - 1] &&
            isOneOf(*previousCode_, {u"SELECT", u"INSERT", u"UPDATE", u"DELETE", u"MERGE"})) {
            lineStart = false;  // a hint stays right after its keyword
        } else if (isComment(t)) {
        } else if (afterSetOperator_ && !isOneOf(t, {u"ALL", u"DISTINCT"}) &&
                   !isOneOf(t, {u"UNION", u"INTERSECT", u"MINUS", u"EXCEPT"})) {
            afterSetOperator_ = false;
            lineStart = true;
            indent = level.indent;
        } else if (i > first && level.query && startsClause(i, level)) {
            lineStart = true;
            indent = level.indent;
        } else if (level.query && level.condition && level.cases == 0 &&
                   (t.is(u"OR") || (t.is(u"AND") && !level.between))) {
            lineStart = true;
            indent = level.indent + kConditionIndent;
        } else if (t.isOp(u')') && levels_.size() > 1) {
            if (level.query) {
                lineStart = true;
                indent = level.closeIndent;
            }
        }
        if (t.is(u"ON") && level.query && level.cases == 0)
            level.condition = true;  // a join's condition
        if (t.is(u"BETWEEN"))
            level.between = true;
        else if (t.is(u"AND"))
            level.between = false;
        else if (t.is(u"CASE"))
            ++level.cases;
        else if (t.is(u"END") && level.cases > 0)
            --level.cases;
        place(i, lineStart, indent);
        forceLine = endsLine(t);
        if (t.isOp(u'(')) {
            Level inner;
            inner.closeIndent = lineIndent_;
            inner.query = opensQuery(i + 1);
            inner.indent = inner.query ? lineIndent_ + kSubqueryIndent : level.indent;
            levels_.push_back(inner);
            if (inner.query)
                breakLine(inner.indent);
        } else if (t.isOp(u')') && levels_.size() > 1) {
            levels_.pop_back();
        }
        if (!isComment(t))
            previousCode_ = &t;
    }
}

// A PL/SQL unit: an anonymous block or a stored unit's source, which runs to a / line.
bool startsBlock(const std::vector<Token>& t, size_t i) {
    while (i < t.size() && isComment(t[i]))
        ++i;
    if (i >= t.size())
        return false;
    if (isOneOf(t[i], {u"BEGIN", u"DECLARE"}))
        return true;
    if (!t[i].is(u"CREATE"))
        return false;
    for (size_t k = i + 1; k < t.size() && k < i + 6; ++k) {
        if (isOneOf(t[k], {u"PROCEDURE", u"FUNCTION", u"PACKAGE", u"TRIGGER", u"TYPE", u"LIBRARY",
                           u"JAVA"}))
            return true;
        if (!isOneOf(t[k], {u"OR", u"REPLACE", u"EDITIONABLE", u"NONEDITIONABLE", u"BODY"}))
            return false;
    }
    return false;
}

// A / alone on its line: SQL*Plus's end of a statement.
bool isSlashLine(const QString& sql, const std::vector<Token>& t, size_t i) {
    if (!t[i].isOp(u'/'))
        return false;
    const bool before = i == 0 || blankHasLineEnd(sql, t[i - 1].end, t[i].begin);
    const bool after = i + 1 == t.size() || blankHasLineEnd(sql, t[i].end, t[i + 1].begin);
    return before && after;
}

// Whether `a` and `b` read as the same tokens: the same kinds and texts, keywords in any case.
bool sameTokens(const std::vector<Token>& a, const std::vector<Token>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind)
            return false;
        const bool same = a[i].kind == TokenKind::Word
                              ? a[i].text.compare(b[i].text, Qt::CaseInsensitive) == 0
                              : a[i].text == b[i].text;
        if (!same)
            return false;
    }
    return true;
}

}  // namespace

QString formatSql(const QString& sql) {
    const std::vector<Token> t = lex(sql);
    if (t.empty())
        return sql;
    QString out;
    out.reserve(sql.size() + sql.size() / 4);
    StatementLayout layout(sql, t, out);
    size_t i = 0;
    while (i < t.size()) {
        if (!out.isEmpty()) {
            // Statements one under the other, an empty line between them kept.
            const int blankLines =
                int(QStringView(sql).mid(t[i - 1].end, t[i].begin - t[i - 1].end).count(u'\n'));
            out += out.endsWith(u'\r') ? QStringLiteral("\n") : layout.eol();
            if (blankLines > 1)
                out += layout.eol();
        }
        size_t end = i;
        if (isSlashLine(sql, t, i)) {
            out += u'/';
            ++i;
            continue;
        }
        if (startsBlock(t, i)) {
            while (end < t.size() && !isSlashLine(sql, t, end))
                ++end;
            out += QStringView(sql).mid(t[i].begin, t[end - 1].end - t[i].begin);
        } else {
            int depth = 0;
            while (end < t.size() && !isSlashLine(sql, t, end)) {
                depth += t[end].isOp(u'(') ? 1 : t[end].isOp(u')') ? -1 : 0;
                if (t[end++].isOp(u';') && depth <= 0)
                    break;
            }
            layout.run(i, end);
        }
        i = end;
    }
    if (blankHasLineEnd(sql, t.back().end, int(sql.size())))
        out += out.endsWith(u'\r') ? QStringLiteral("\n") : layout.eol();
    return sameTokens(lex(out), t) ? out : sql;
}

}  // namespace qv::sql
