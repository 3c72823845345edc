#pragma once

// A statement as the client sent it, read once. The engine tokenizes a client's text here and
// nowhere else: the translation writes SQLite's text from these tokens, the optimizer's
// steering reads its hints from them, and the plan builder and the steering's estimates read
// its structure from them (its tables and their aliases, its conditions, its query blocks:
// statementfacts.h). A fact that takes a pass over the statement is read when first asked for
// and kept, so the plan of a statement drawn several times (each plan the steering weighs, the
// plan of a cursor read again through V$SQL_PLAN_STATISTICS_ALL) reads it once. A statement kept
// in a session's cursor is asked from other connections' threads: each fact is read once under
// its own flag.

#include "core/embedded/parse/hints.h"
#include "core/embedded/parse/statementfacts.h"
#include "core/sql/sqltokens.h"

#include <QHash>
#include <QList>
#include <QString>

#include <mutex>
#include <vector>

namespace qv::embedded {

class ParsedStatement {
  public:
    // Reads `text`: its tokens (sql::tokenize()). Cannot fail.
    explicit ParsedStatement(QString text);
    // The statement that stands in characters [from, to) of `outer` (what EXPLAIN PLAN explains,
    // the query of a SELECT ... FOR UPDATE), made of the outer statement's tokens in that span:
    // its text is not read again. Cannot fail.
    ParsedStatement(const ParsedStatement& outer, int from, int to);

    // The tokens refer into the text this object holds: it stays where it was made.
    ParsedStatement(const ParsedStatement&) = delete;
    ParsedStatement& operator=(const ParsedStatement&) = delete;

    const QString& text() const { return text_; }
    const std::vector<sql::Token>& tokens() const { return tokens_; }

    // The facts below cannot fail; what cannot be told is left out (statementfacts.h).
    // Alias (lower case) -> table: tableAliases().
    const QHash<QString, QString>& aliases() const;
    // The conditions of every WHERE and ON clause: readPredicates().
    const QList<Predicate>& conditions() const;
    // The hints of the comment right after its first word: readHints().
    const std::vector<Hint>& hints() const;
    // Oracle's name of its first query block (SEL$1, UPD$1 ...): firstQueryBlock().
    QString firstQueryBlock() const;
    // The names it writes in double quotes, lower case -> as written. Oracle keeps the case of a
    // quoted name, and a statement can name such an object only so.
    const QHash<QString, QString>& quotedNames() const;

  private:
    QString text_;
    std::vector<sql::Token> tokens_;
    mutable std::once_flag aliasesRead_, conditionsRead_, hintsRead_, quotedRead_;
    mutable QHash<QString, QString> aliases_;
    mutable QHash<QString, QString> quoted_;
    mutable QList<Predicate> conditions_;
    mutable std::vector<Hint> hints_;
};

}  // namespace qv::embedded
