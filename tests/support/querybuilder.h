#pragma once

// The query generator's workings, shared by its two files: querybuilder.cpp makes values and
// conditions, queryshapes.cpp the FROM clauses and the queries around them.

#include "support/querygenerator.h"

#include <vector>

namespace qv::test {

// An expression and what the generator knows of its values.
struct Value {
    SqlNode node;
    ValueType type = ValueType::Number;
    bool nullable = true;
    // The same value in both engines, to the last bit: text, integers, stored decimals and
    // choices among them, but no arithmetic on decimals and no sum of them (see
    // querygenerator.cpp). Only exact values are compared for equality, grouped, sorted on or
    // made distinct.
    bool exact = true;
    int scale = 0;  // decimal places at most; -1 when unbounded (AVG)
    bool key = false;
    // The stored column the value reads or derives from, whose rows give constants of the right
    // size; `spread` times as large for a sum.
    const ColumnDef* column = nullptr;
    const TableDef* table = nullptr;
    int spread = 1;
    bool literal = false;
};

// A FROM item: a table or a query in parentheses, with its alias.
struct Source {
    SqlNode item;
    const TableDef* table = nullptr;
    std::vector<Value> columns;
};

// The FROM items a condition or select list may name, and the query around (for a correlated
// subquery).
struct Scope {
    std::vector<Source> sources;
    const Scope* outer = nullptr;
    int level = 0;  // subquery depth: subqueries nest two deep at most

    bool subqueries() const { return level < 2; }
    std::vector<Value> columns(ValueType type) const;
    // Each source's key; empty when a source has none (a view without a unique column).
    std::vector<Value> keys() const;
};

struct Query {
    SqlNode node;
    std::vector<Value> columns;  // named c1, c2, ... as the select list aliases them
    bool ordered = false;
};

enum class SelectRole { Top, View, SetMember };

class QueryBuilder {
  public:
    explicit QueryBuilder(Random& random) : r_(random) {}
    Random& random() { return r_; }

    // Queries (queryshapes.cpp).
    Query select(int level, SelectRole role, const std::vector<ValueType>* types = nullptr);
    Query grouped(int level, bool top);
    Query compound();
    Query topRows();

  private:
    // FROM clauses (queryshapes.cpp).
    Source table(const TableDef& t);
    Source view(int level);
    SqlNode from(Scope& s, std::vector<SqlNode>& where, bool views);
    SqlNode join(Scope& s, std::vector<SqlNode>& where, int style, SqlNode sofar);
    SqlNode orderTerm(const Value& v);
    SqlNode rowLimit();
    SqlNode having(const Scope& s, const std::vector<Value>& keys, int depth);
    void orderBy(std::vector<SqlNode>& terms, bool& ordered, const std::vector<Value>& items,
                 const std::vector<Value>& keys);

    // Values (querybuilder.cpp).
    Value column(const Scope& s, ValueType type, bool exactOnly = false);
    Value literal(ValueType type, const Value* near);
    QString halfStep(const Value& v);
    Value scalar(const Scope& s, ValueType type, int depth, bool subqueries);
    Value exact(const Scope& s, ValueType type, bool subqueries);
    Value arithmetic(const Scope& s, int depth);
    Value textFunction(const Scope& s, int depth);
    Value choice(const Scope& s, ValueType type, int depth);
    Value decode(const Scope& s, ValueType type, int depth);
    Value aggregate(const Scope& s, ValueType type);
    Value analytic(const Scope& s);
    Value scalarSubquery(const Scope& s, ValueType type);

    // Conditions (querybuilder.cpp).
    SqlNode condition(const Scope& s, int depth, bool subqueries);
    SqlNode comparison(const Scope& s, const Value& a, bool subqueries, bool columns);
    SqlNode predicate(const Scope& s, bool subqueries);
    SqlNode subqueryCondition(const Scope& s);
    SqlNode correlation(const Scope& inner, const Scope& outer);

    Random& r_;
    int aliases_ = 0;
};

}  // namespace qv::test
