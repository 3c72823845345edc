#pragma once

#include "core/sql/sqltokens.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <initializer_list>
#include <vector>

// Reading a statement's tokens (tokenize()): names, keywords, literals, nesting, the parts of a
// clause. Every pass over a statement (translation, rewriting, plans, error messages) reads it
// with these. None of these functions fail; a position past the tokens asked about is `last`.
namespace qv::sql {

// Tokens [first, last) of a token list.
struct Range {
    size_t first = 0;
    size_t last = 0;

    bool empty() const { return first >= last; }
    size_t size() const { return empty() ? 0 : last - first; }
};

// A Word or a Quoted token: what can name a table, a column or an alias.
inline bool isName(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}

// A Word equal to one of `words`, compared without regard to case.
bool isOneOf(const Token& t, std::initializer_list<const char16_t*> words);

// A word of SQL's grammar that never stands for a value or a name: an expression never runs
// through it and it is never taken for an alias.
bool isKeyword(const Token& t);

// The name a Word or Quoted token stands for: a Word as written, a quoted name without its
// quotes, a doubled quote inside it standing for one.
QString unquoted(const Token& t);

// The text a String token stands for: without its quotes (and N or q prefix), a doubled quote
// in a '...' literal standing for one.
QString stringValue(const Token& t);

// `name` as a double-quoted identifier, which any SQL reads as that name and nothing else.
QString quotedName(const QString& name);

// `text` as a '...' literal that any SQL reads.
QString quotedString(const QString& text);

// The text of tokens [first, last) as written in `sql`, with what stands between them.
QString textOf(const QString& sql, const std::vector<Token>& t, size_t first, size_t last);

// The token that closes the group opening at `open`: the matching ')' of a '(', the END of a
// CASE. `last` when it is not closed before `last`.
size_t closing(const std::vector<Token>& t, size_t open, size_t last);

// The first Word `word` in [first, last) outside parentheses and CASE ... END; `last` when
// none.
size_t findTopLevel(const std::vector<Token>& t, size_t first, size_t last, QStringView word);

// [first, last) cut at each `separator` outside parentheses and CASE ... END (the select list,
// arguments, FROM items). Always at least one part, which may be empty.
std::vector<Range> splitTopLevel(const std::vector<Token>& t, size_t first, size_t last,
                                 QChar separator = u',');

// The terms of a condition joined by AND outside parentheses and CASE ... END; the AND of
// BETWEEN x AND y stays inside its term. A condition with an OR outside parentheses is one term:
// AND binds closer, so `a AND b OR c` is (a AND b) OR c.
std::vector<Range> conjuncts(const std::vector<Token>& t, size_t first, size_t last);

// The groups of a token list, each '(' with its ')' and each CASE with its END, paired in one
// pass. A reader that skips groups level after level (a translation) then reads each token a
// fixed number of times however deep the groups nest, where the functions above would scan a
// group again from every level around it. It reads `tokens`, which must outlive it. Its
// functions answer as the free functions of the same names, for ranges that do not reach past
// the group around them (those of a reader that descends into groups).
class Groups {
  public:
    explicit Groups(const std::vector<Token>& tokens);

    size_t closing(size_t open, size_t last) const;
    size_t findTopLevel(size_t first, size_t last, QStringView word) const;
    std::vector<Range> splitTopLevel(size_t first, size_t last, QChar separator = u',') const;
    std::vector<Range> conjuncts(size_t first, size_t last) const;
    // How deep closed groups nest: 0 without any, 1 for "(a)", 2 for "((a))" or "(CASE ... END)".
    int depth() const { return depth_; }

  private:
    const std::vector<Token>& t_;
    std::vector<uint32_t> closer_;  // per token: where the group it opens closes, or kOpen
    int depth_ = 0;
};

// One bind variable's place in a statement: its name as written after the colon ("1", "B1",
// "cust_id") and where the whole placeholder, colon included, stands in the text.
struct Placeholder {
    QString name;
    int begin = 0;
    int end = 0;
};

// The bind variables of a statement: every placeholder in the order written, and each variable
// once, in the order of its first appearance and spelled as there. Names compare without regard
// to case, as Oracle's do.
struct Placeholders {
    std::vector<Placeholder> occurrences;
    QStringList names;

    bool empty() const { return occurrences.empty(); }
};

// Oracle's placeholders of `sql` (":name", ":1", ":B1"), read on its tokens, so never one inside
// a literal, a quoted name or a comment; PL/SQL's ":=" and PostgreSQL's "::type" are none.
// SQLite's own forms ("?", "@name", "$name") are not Oracle's and are left alone. A stored unit
// (CREATE [OR REPLACE] TRIGGER, PROCEDURE, FUNCTION, PACKAGE, TYPE) has none: a trigger's :NEW
// and :OLD are its rows, not variables of the client's.
Placeholders placeholders(const QString& sql);

// Oracle's heading of a select item [first, last) written without an alias: a column's name in
// upper case (a quoted one as written), otherwise the item's text in upper case without the
// blanks, quoted names inside it keeping their case, cut at kMaxHeadingLength characters (so
// that the heading of an item does not cost its whole text again at each level of the
// subqueries it holds).
QString columnHeading(const std::vector<Token>& t, size_t first, size_t last);
inline constexpr qsizetype kMaxHeadingLength = 4000;

}  // namespace qv::sql
