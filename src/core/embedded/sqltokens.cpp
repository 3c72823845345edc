#include "core/embedded/sqltokens.h"

namespace qv::embedded {

namespace {

bool isWordStart(QChar c) {
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#' || c.unicode() >= 0x80;
}

// Offset just past a literal that opened at `i` with `open` and closes with `close`; a doubled
// closing character stands for itself.
int skipDelimited(const QString& s, int i, QChar close) {
    const int n = int(s.size());
    ++i;
    while (i < n) {
        if (s[i] == close) {
            if (i + 1 < n && s[i + 1] == close && close != u']') {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return n;
}

int skipNumber(const QString& s, int i) {
    const int n = int(s.size());
    if (s[i] == u'0' && i + 1 < n && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        i += 2;
        while (i < n && (s[i].isDigit() || QStringView(u"abcdefABCDEF").contains(s[i])))
            ++i;
        return i;
    }
    while (i < n && s[i].isDigit())
        ++i;
    if (i < n && s[i] == u'.') {
        ++i;
        while (i < n && s[i].isDigit())
            ++i;
    }
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        int j = i + 1;
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            ++j;
        if (j < n && s[j].isDigit()) {
            i = j;
            while (i < n && s[i].isDigit())
                ++i;
        }
    }
    return i;
}

int operatorLength(const QString& s, int i) {
    static const char16_t* const kLong[] = {u"->>", u"||", u"<=", u">=", u"<>",
                                            u"!=",  u"==", u"<<", u">>", u"->"};
    const QStringView rest = QStringView(s).mid(i);
    for (const char16_t* op : kLong) {
        if (rest.startsWith(QStringView(op)))
            return int(QStringView(op).size());
    }
    return 1;
}

}  // namespace

bool Token::is(QStringView word) const {
    return kind == TokenKind::Word && text.compare(word, Qt::CaseInsensitive) == 0;
}

std::vector<Token> tokenize(const QString& sql) {
    std::vector<Token> tokens;
    const int n = int(sql.size());
    int i = 0;
    auto push = [&](TokenKind kind, int begin, int end) {
        tokens.push_back(Token{kind, begin, end, QStringView(sql).mid(begin, end - begin)});
    };
    while (i < n) {
        const QChar c = sql[i];
        const QChar next = i + 1 < n ? sql[i + 1] : QChar();
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && next == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
        } else if (c == u'/' && next == u'*') {
            const qsizetype close = sql.indexOf(u"*/", i + 2);
            i = close < 0 ? n : int(close) + 2;
        } else if (c == u'\'') {
            const int end = skipDelimited(sql, i, u'\'');
            push(TokenKind::String, i, end);
            i = end;
        } else if ((c == u'x' || c == u'X') && next == u'\'') {
            const int end = skipDelimited(sql, i + 1, u'\'');
            push(TokenKind::Blob, i, end);
            i = end;
        } else if (c == u'"' || c == u'`' || c == u'[') {
            const int end = skipDelimited(sql, i, c == u'[' ? u']' : c);
            push(TokenKind::Quoted, i, end);
            i = end;
        } else if (c.isDigit() || (c == u'.' && next.isDigit())) {
            const int end = skipNumber(sql, i);
            push(TokenKind::Number, i, end);
            i = end;
        } else if (isWordStart(c)) {
            int end = i + 1;
            while (end < n && isWordChar(sql[end]))
                ++end;
            push(TokenKind::Word, i, end);
            i = end;
        } else if (c == u'?' || ((c == u':' || c == u'@' || c == u'$') && isWordStart(next))) {
            int end = i + 1;
            while (end < n && isWordChar(sql[end]))
                ++end;
            push(TokenKind::Param, i, end);
            i = end;
        } else {
            const int len = operatorLength(sql, i);
            push(TokenKind::Op, i, i + len);
            i += len;
        }
    }
    return tokens;
}

bool needsQuoting(const Token& token) {
    return token.kind == TokenKind::Word && token.text.contains(u'#');
}

QString sqliteName(const Token& token) {
    if (!needsQuoting(token))
        return token.text.toString();
    return QStringLiteral("[%1]").arg(token.text);
}

QString sliceText(const QString& sql, const std::vector<Token>& tokens, size_t first, size_t last) {
    if (first >= last)
        return {};
    QString out;
    int copied = tokens[first].begin;
    for (size_t i = first; i < last; ++i) {
        if (!needsQuoting(tokens[i]))
            continue;
        out += QStringView(sql).mid(copied, tokens[i].begin - copied);
        out += sqliteName(tokens[i]);
        copied = tokens[i].end;
    }
    out += QStringView(sql).mid(copied, tokens[last - 1].end - copied);
    return out;
}

QString quoteIdentifiers(const QString& sql, const std::vector<Token>& tokens) {
    bool any = false;
    for (const Token& t : tokens)
        any = any || needsQuoting(t);
    if (!any)
        return sql;
    // Keep what stands before the first token and after the last (comments, blanks).
    const QString body = sliceText(sql, tokens, 0, tokens.size());
    return sql.left(tokens.front().begin) + body + sql.mid(tokens.back().end);
}

size_t findTopLevel(const std::vector<Token>& tokens, size_t first, size_t last, QStringView word) {
    int depth = 0;
    for (size_t i = first; i < last; ++i) {
        if (tokens[i].isOp(u'('))
            ++depth;
        else if (tokens[i].isOp(u')'))
            --depth;
        else if (depth == 0 && tokens[i].is(word))
            return i;
    }
    return last;
}

}  // namespace qv::embedded
