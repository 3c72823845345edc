#pragma once

// Random queries over the differential schema (diffschema.h), each built as a tree and printed
// twice: in Oracle's SQL for the embedded engine and in SQLite's for the reference. The two
// texts differ only where the dialects spell one thing differently, so both engines must give
// the same answer. querygenerator.cpp lists what is never generated, and why.

#include "support/diffschema.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace qv::test {

// One piece of a statement: a text per dialect in which $1 .. $9 stand for its parts, or (for a
// list) the separator of its parts, those that print nothing left out; a list that prints
// nothing prints no prefix either.
struct SqlNode {
    QString text[2];
    std::vector<SqlNode> parts;
    bool list = false;
    QString prefix;

    QString print(Dialect dialect) const;
};

// The same text in both dialects.
SqlNode sql(const QString& text, std::vector<SqlNode> parts = {});
// A text of each dialect's own.
SqlNode sql(const QString& oracle, const QString& sqlite, std::vector<SqlNode> parts);
SqlNode list(const QString& separator, std::vector<SqlNode> parts, const QString& prefix = {});

// A column of a generated query's answer. A number computed from decimals (which SQLite's binary
// arithmetic and the engine's 15 digits may each miss in the last digit) is `approximate`: it is
// compared rounded to its `places` where they fit in 15 digits, else within a relative 1e-12.
// Every other number is compared to 15 significant digits.
struct ResultColumn {
    ValueType type;
    bool approximate = false;
    int places = 0;
};

struct GeneratedQuery {
    SqlNode tree;
    std::vector<ResultColumn> columns;
    // The ORDER BY keys are unique: the rows come in one order only, so they are compared as a
    // sequence; otherwise as a multiset.
    bool ordered = false;

    QString oracle() const { return tree.print(Dialect::Oracle); }
    QString sqlite() const { return tree.print(Dialect::Sqlite); }
};

class QueryGenerator {
  public:
    explicit QueryGenerator(uint64_t seed) : random_(seed) {}
    GeneratedQuery next();

  private:
    Random random_;
};

}  // namespace qv::test
