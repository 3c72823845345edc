#include "core/sql/sqltokens.h"

namespace qv::sql {

namespace {

bool isWordStart(QChar c) {
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#' || c.unicode() >= 0x80;
}

bool isOneOf(QChar c, QStringView letters) {
    return letters.contains(c);
}

// Offset just past a literal that opened at `i` and closes with `close`; a doubled closing
// character stands for itself, except in SQLite's [name].
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

// Offset just past Oracle's q'<delimiter>text<closing delimiter>' whose quote is at `quote`.
// Brackets close with their partner; any other character (one outside the BMP included, two
// UTF-16 units) closes with itself. Nothing inside is doubled: the text ends at the first
// closing delimiter followed by a quote.
int skipAlternativeQuote(const QString& s, int quote) {
    const int n = int(s.size());
    if (quote + 1 >= n)
        return n;
    static constexpr QStringView kOpen = u"[{(<";
    static constexpr QStringView kClose = u"]})>";
    const qsizetype pair = kOpen.indexOf(s[quote + 1]);
    const int width = s[quote + 1].isHighSurrogate() && quote + 2 < n ? 2 : 1;
    const QString close = pair >= 0 ? QString(kClose[pair]) : s.mid(quote + 1, width);
    for (int i = quote + 1 + width; i + close.size() < n; ++i) {
        if (QStringView(s).mid(i, close.size()) == close && s[i + close.size()] == u'\'')
            return i + int(close.size()) + 1;
    }
    return n;
}

// The length of a string literal's prefix at `i` (N', q', nq'), 0 when none starts there.
int stringPrefix(const QString& s, int i) {
    const char16_t first = s[i].unicode();
    if (first != u'n' && first != u'N' && first != u'q' && first != u'Q')
        return 0;
    const int n = int(s.size());
    auto quoteAt = [&](int k) { return k < n && s[k] == u'\''; };
    if (isOneOf(s[i], u"nN") && i + 1 < n && isOneOf(s[i + 1], u"qQ") && quoteAt(i + 2))
        return 2;
    if (isOneOf(s[i], u"nNqQ") && quoteAt(i + 1))
        return 1;
    return 0;
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
    // ^= is Oracle's third spelling of "not equal", beside <> and !=.
    static const char16_t* const kLong[] = {u"->>", u"||", u"<=", u">=", u"<>", u"!=",
                                            u"^=",  u"==", u"<<", u">>", u"->", u":="};
    if (!QStringView(u"-|<>!^=:").contains(s[i]))
        return 1;
    const QStringView rest = QStringView(s).mid(i);
    for (const char16_t* op : kLong) {
        if (rest.startsWith(QStringView(op)))
            return int(QStringView(op).size());
    }
    return 1;
}

bool startsPlaceholder(QChar c, QChar next) {
    if (c == u'?')
        return true;
    if (c == u':')
        return isWordStart(next) || next.isDigit();
    return (c == u'@' || c == u'$') && isWordStart(next);
}

std::vector<Token> scan(const QString& sql, bool keepComments) {
    std::vector<Token> tokens;
    const int n = int(sql.size());
    tokens.reserve(size_t(n / 4));  // about as many as a long list of short items has
    int i = 0;
    auto push = [&](TokenKind kind, int begin, int end) {
        const bool comment = kind == TokenKind::Comment || kind == TokenKind::Hint;
        if (keepComments || !comment)
            tokens.push_back(Token{kind, begin, end, QStringView(sql).mid(begin, end - begin)});
        i = end;
    };
    while (i < n) {
        const QChar c = sql[i];
        const QChar next = i + 1 < n ? sql[i + 1] : QChar();
        const QChar third = i + 2 < n ? sql[i + 2] : QChar();
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && next == u'-') {
            const qsizetype eol = sql.indexOf(u'\n', i);
            push(third == u'+' ? TokenKind::Hint : TokenKind::Comment, i, eol < 0 ? n : int(eol));
        } else if (c == u'/' && next == u'*') {
            const qsizetype close = sql.indexOf(u"*/", i + 2);
            push(third == u'+' ? TokenKind::Hint : TokenKind::Comment, i,
                 close < 0 ? n : int(close) + 2);
        } else if (c == u'\'') {
            push(TokenKind::String, i, skipDelimited(sql, i, u'\''));
        } else if (const int prefix = stringPrefix(sql, i); prefix > 0) {
            const bool alternative = isOneOf(sql[i + prefix - 1], u"qQ");
            const int quote = i + prefix;
            push(TokenKind::String, i,
                 alternative ? skipAlternativeQuote(sql, quote) : skipDelimited(sql, quote, u'\''));
        } else if ((c == u'x' || c == u'X') && next == u'\'') {
            push(TokenKind::Blob, i, skipDelimited(sql, i + 1, u'\''));
        } else if (c == u'"' || c == u'`' || c == u'[') {
            push(TokenKind::Quoted, i, skipDelimited(sql, i, c == u'[' ? u']' : c));
        } else if (c.isDigit() || (c == u'.' && next.isDigit())) {
            push(TokenKind::Number, i, skipNumber(sql, i));
        } else if (isWordStart(c) || startsPlaceholder(c, next)) {
            int end = i + 1;
            while (end < n && isWordChar(sql[end]))
                ++end;
            push(isWordStart(c) ? TokenKind::Word : TokenKind::Param, i, end);
        } else {
            push(TokenKind::Op, i, i + operatorLength(sql, i));
        }
    }
    return tokens;
}

}  // namespace

// Without Unicode's case folding where ASCII letters decide (folding keeps lengths, which the
// caller compared).
bool Token::sameWord(QStringView word) const {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t a = text[i].unicode();
        const char16_t b = word[i].unicode();
        if (a == b)
            continue;
        if (a >= 0x80 || b >= 0x80)
            return text.compare(word, Qt::CaseInsensitive) == 0;
        const char16_t lowerA = a | 0x20;
        if (lowerA != (b | 0x20) || lowerA < u'a' || lowerA > u'z')
            return false;
    }
    return true;
}

std::vector<Token> lex(const QString& sql) {
    return scan(sql, true);
}

std::vector<Token> tokenize(const QString& sql) {
    return scan(sql, false);
}

}  // namespace qv::sql
