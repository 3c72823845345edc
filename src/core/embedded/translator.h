#pragma once

// The translation of one statement from Oracle's SQL to SQLite's, shared by the files that make
// it up: oracledialect.cpp (the statement), translatorexpressions.cpp (expressions and calls),
// translatorqueries.cpp (queries, set operations, select lists, row limits) and
// translatorblock.cpp (one SELECT with its clauses). The engine calls translateOracle().

#include "core/embedded/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace qv::embedded {

using sql::Range;
using sql::Token;
using sql::TokenKind;

inline constexpr size_t kNone = size_t(-1);

[[noreturn]] inline void refuse(const QString& why) {
    throw invalidStatement(why);
}

inline bool isSetOperator(const Token& t) {
    return t.is(u"UNION") || t.is(u"INTERSECT") || t.is(u"EXCEPT") || t.is(u"MINUS");
}

// What may follow a query in parentheses and still belong to the query (its sort and limit).
inline bool isQueryTail(const Token& t) {
    return t.is(u"ORDER") || t.is(u"FETCH") || t.is(u"OFFSET") || t.is(u"LIMIT");
}

inline const QString kRowNumber = QStringLiteral("row_number() OVER ()");
inline const QString kRownumForms = QStringLiteral(
    "ROWNUM is understood in the select list, in ORDER BY, and as a WHERE condition ROWNUM <= n, "
    "ROWNUM < n or ROWNUM = 1 joined to the others by AND");

// What ROWNUM and LEVEL stand for where an expression stands. An empty ROWNUM is refused there;
// an empty LEVEL is kept as written (the hierarchical rewrite replaces it).
struct Scope {
    QString rownum;
    QString level;
};

class Translator {
  public:
    Translator(const QString& sql, const std::vector<Token>& tokens);

    QString run();

  private:
    struct Piece {
        QString text;
        size_t next;
    };
    enum class ClauseKind {
        From,
        Where,
        Group,
        Having,
        Start,
        Connect,
        Order,
        Offset,
        Fetch,
        Limit,
        Window
    };
    struct Clause {
        ClauseKind kind;
        size_t at;    // the keyword
        size_t body;  // past the keyword(s)
        size_t end;
    };
    // One SELECT: SELECT [DISTINCT|UNIQUE|ALL] items clauses.
    struct Block {
        size_t first = 0;
        size_t last = 0;
        size_t distinctAt = kNone;  // DISTINCT, UNIQUE or ALL
        bool distinct = false;
        Range items;
        std::vector<Clause> clauses;

        const Clause* find(ClauseKind kind) const;
    };
    // A WHERE condition's ROWNUM term, as a row count.
    struct RownumFilter {
        QString limit;            // empty when the condition does not name ROWNUM
        bool wrap = false;        // the rows are numbered in a subquery of the one table
        std::vector<Range> rest;  // the other AND terms
    };

    // Reading the tokens (oracledialect.cpp).
    QString gap(size_t before, size_t at) const;
    QString original(size_t first, size_t last) const;
    bool startsQuery(size_t i, size_t last) const;
    bool startsOperand(size_t i, size_t last) const;
    bool mentions(size_t first, size_t last, QStringView word) const;
    bool hasAggregate(size_t first, size_t last) const;
    size_t dualEnd(size_t at, size_t last) const;
    bool isDualClause(size_t first, size_t last) const;
    void markDuals(size_t first, size_t last);

    // Expressions (translatorexpressions.cpp).
    QString render(size_t first, size_t last, const Scope& scope);
    Piece chain(size_t i, size_t last, const Scope& scope);
    Piece operand(size_t i, size_t last, const Scope& scope);
    Piece primary(size_t i, size_t last, const Scope& scope);
    Piece call(size_t nameFirst, size_t open, size_t last, const Scope& scope);
    Piece callTail(QString text, size_t next, size_t last, const Scope& scope);
    std::optional<Piece> oracleType(size_t nameAt, size_t last) const;
    QString cast(Range argument, const Scope& scope);
    QString extract(Range argument, const Scope& scope);

    // Queries (translatorqueries.cpp).
    QString query(size_t first, size_t last, const Scope& outer);
    QString compound(size_t first, size_t last, const Scope& outer);
    QString segment(size_t first, size_t last, bool member, const Scope& outer);
    QString tail(size_t first, size_t last, const Scope& outer);
    QString limitClause(size_t first, size_t last, const Scope& outer);
    QString selectList(Range items, const Scope& scope);
    QString item(size_t first, size_t last, const Scope& scope);

    // One SELECT (translatorblock.cpp).
    QString block(size_t first, size_t last, bool member, const Scope& outer);
    Block scanBlock(size_t first, size_t last) const;
    QString dualRows(const Block& b, const QString& head);
    RownumFilter rownumFilter(const Block& b, bool member, const Scope& outer);
    QString rownumLimit(Range term, const Scope& outer);
    QString numberedRows(const Clause& from, const RownumFilter& filter, const Scope& outer);

    const QString& sql_;
    const std::vector<Token>& t_;
    const bool ddl_;                  // CREATE or ALTER: Oracle's type names are rewritten
    std::map<size_t, size_t> duals_;  // FROM items naming DUAL: first token -> past the name
};

}  // namespace qv::embedded
