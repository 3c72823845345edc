#pragma once

#include <QStringView>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <functional>

namespace qv {

// What the SQL box tells apart in a statement.
enum class SqlToken {
    Keyword,
    Identifier,
    Number,
    String,            // '...', N'...', q'[...]'
    QuotedIdentifier,  // "..."
    Comment,           // -- to the end of the line, /* ... */
    Other,             // one character of punctuation or an operator
};

// Where a piece of text ends: in code, or inside a string, a quoted identifier or a comment that
// the next line goes on with. A q'X...X' string keeps its closing character in the state.
enum SqlScanState : int {
    kSqlInCode = 0,
    kSqlInString = 1,
    kSqlInQuotedIdentifier = 2,
    kSqlInComment = 3,
    kSqlInQQuote = 0x10000,  // + the closing character's code point
};

using SqlTokenSink = std::function<void(SqlToken kind, qsizetype start, qsizetype length)>;

// Splits `text` into tokens, starting in `state` (what the text before left open; negative is
// code), hands each to `sink` (blanks are skipped) and returns the state the text ends in.
int scanSql(QStringView text, int state, const SqlTokenSink& sink);

// Whether `word` is one of Oracle's SQL keywords, in any case.
bool isSqlKeyword(QStringView word);

// Colours SQL in a document: keywords, strings, comments and numbers. Quoted identifiers stay
// as plain text, as other identifiers do.
class SqlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
  public:
    explicit SqlHighlighter(QTextDocument* document);

    // The format a kind of token is drawn in; an empty format for those drawn as plain text.
    QTextCharFormat formatFor(SqlToken kind) const;

  protected:
    void highlightBlock(const QString& text) override;

  private:
    QTextCharFormat keyword_;
    QTextCharFormat string_;
    QTextCharFormat comment_;
    QTextCharFormat number_;
};

}  // namespace qv
