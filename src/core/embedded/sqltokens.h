#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace qv::embedded {

// The lexical pieces of a statement that the engine needs to tell apart. Whitespace and
// comments are not tokens; every token remembers where it stands in the text, so a rewrite
// can copy everything between tokens (comments included) unchanged.
enum class TokenKind {
    Word,    // identifier or keyword, as Oracle spells them (may contain # and $)
    Quoted,  // "identifier", [identifier] or `identifier`
    String,  // 'text'
    Number,
    Blob,   // X'0A0B'
    Param,  // ?, ?1, :name, @name, $name
    Op,     // punctuation and operators
};

struct Token {
    TokenKind kind;
    int begin;  // offset of the first character in the text
    int end;    // offset just past the last character
    QStringView text;

    // A Word equal to `word`, compared without regard to case.
    bool is(QStringView word) const;
    bool isOp(QChar c) const { return kind == TokenKind::Op && text.size() == 1 && text[0] == c; }
};

// None of these functions fail.

// Splits `sql` into tokens. Anything unrecognised becomes a one-character Op,
// and an unterminated literal or comment runs to the end, so SQLite reports it.
// The tokens refer into `sql`, which must outlive them.
std::vector<Token> tokenize(const QString& sql);

// An Oracle identifier that SQLite cannot read unquoted (it contains #).
bool needsQuoting(const Token& token);

// The identifier as SQLite reads it, bracket-quoted when needed. Brackets rather than double
// quotes: a double-quoted name that matches no column would silently become a string.
QString sqliteName(const Token& token);

// `sql` with every identifier that needs it quoted for SQLite; string literals, quoted
// identifiers and comments are left alone.
QString quoteIdentifiers(const QString& sql, const std::vector<Token>& tokens);

// Copies the text of tokens [first, last) including what lies between them, replacing each
// Word that needs quoting.
QString sliceText(const QString& sql, const std::vector<Token>& tokens, size_t first, size_t last);

// Position of the first Word `word` at parenthesis depth 0 in [first, last); `last` when none.
size_t findTopLevel(const std::vector<Token>& tokens, size_t first, size_t last, QStringView word);

}  // namespace qv::embedded
