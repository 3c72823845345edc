#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace qv::sql {

// The lexical pieces of a statement, as Oracle writes them and as SQLite writes them. Every
// token remembers where it stands in the text, so a rewrite can copy everything between two
// tokens (comments included) unchanged.
enum class TokenKind {
    Word,    // identifier or keyword, as Oracle spells them (may contain # and $)
    Quoted,  // "identifier"; SQLite's [identifier] and `identifier` too
    String,  // 'text', N'text', and Oracle's q'[text]' with any delimiter
    Number,
    Blob,     // X'0A0B'
    Param,    // placeholder: :name, :1, :B1; SQLite's ?, ?1, @name, $name
    Op,       // punctuation and operators (:= is one, never a placeholder)
    Comment,  // -- to the end of the line, or /* ... */
    Hint,     // an optimizer hint, /*+ ... */ or --+ to the end of the line
};

struct Token {
    TokenKind kind;
    int begin;  // offset of the first character in the text
    int end;    // offset just past the last character
    QStringView text;

    // A Word equal to `word`, compared without regard to case. Asked of nearly every token by
    // every pass, so most answers come here, from the kind and the length alone.
    bool is(QStringView word) const {
        return kind == TokenKind::Word && text.size() == word.size() && sameWord(word);
    }
    // The same for a literal, whose length is known without counting it at each call.
    template <size_t N>
    bool is(const char16_t (&word)[N]) const {
        return is(QStringView(word, qsizetype(N - 1)));
    }
    bool isOp(QChar c) const { return kind == TokenKind::Op && text.size() == 1 && text[0] == c; }
    bool isOp(QStringView op) const { return kind == TokenKind::Op && text == op; }

  private:
    bool sameWord(QStringView word) const;
};

// None of these functions fail: anything unrecognised becomes a one-character Op, and an
// unterminated literal or comment runs to the end of the text, so the database reports it. The
// tokens refer into `sql`, which must outlive them.

// Every piece of `sql`, comments and hints included; blanks are no token.
std::vector<Token> lex(const QString& sql);

// The tokens a statement is read by: lex() without comments and hints, which a rewrite keeps
// as they stand between the tokens.
std::vector<Token> tokenize(const QString& sql);

}  // namespace qv::sql
