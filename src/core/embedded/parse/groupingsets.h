#pragma once

#include "core/sql/tokenlist.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace qv::embedded {

using sql::Range;
using sql::Token;

// The GROUP BY of one query as Oracle groups its rows: the expressions it names, each once, and
// the grouping sets ROLLUP, CUBE and GROUPING SETS make of them, concatenated ones multiplied
// out. GROUP BY a, ROLLUP(b, (c, d)) is the sets {a b c d}, {a b}, {a}; a plain GROUP BY one set
// of all its expressions.
struct GroupingSets {
    enum Shape {
        Plain,   // no ROLLUP, CUBE or GROUPING SETS
        Rollup,  // each set holds the next smaller one: one sort makes them all
        Cube,    // CUBE, when its sets are not a rollup's
        Sets,    // any other sets
    };
    std::vector<Range> expressions;
    std::vector<uint64_t> sets;  // a bit per expression, in the order Oracle lists them
    Shape shape = Plain;

    bool holds(size_t set, size_t expression) const { return (sets[set] >> expression & 1) != 0; }
};

// The most expressions and sets the engine groups by at once.
inline constexpr size_t kMaxGroupingExpressions = 64;
inline constexpr size_t kMaxGroupingSets = 4096;

// The sets of the GROUP BY list [first, last) (past GROUP BY); nullopt when it is none the
// engine reads (more than the limits above, a malformed ROLLUP).
std::optional<GroupingSets> groupingSets(const std::vector<Token>& t, size_t first, size_t last);

// The GROUP BY list of query `text`: past its top-level GROUP BY to the clause after it; empty
// when it has none.
Range groupByList(const std::vector<Token>& t, Range text);

// Two expressions are the same grouping expression: the same tokens, names compared without
// regard to case, a column the same with or without its table's alias.
QString expressionKey(const std::vector<Token>& t, Range e);

}  // namespace qv::embedded
