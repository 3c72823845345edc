#pragma once

// The fixed schema and rows the differential test queries: the same tables, declared in each
// dialect's own types, and the same rows in both databases.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace qv::test {

// The differential test's own sequence (splitmix64), so that a seed gives the same rows and
// queries with every compiler and standard library.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(size_t n) { return int(next() % uint64_t(n)); }
    bool percent(int p) { return below(100) < p; }
    template <typename T>
    const T& any(const std::vector<T>& v) {
        return v[size_t(below(v.size()))];
    }

  private:
    uint64_t state_;
};

// Which engine a statement is written for: the embedded engine takes Oracle's SQL, the
// reference takes SQLite's.
enum class Dialect { Oracle = 0, Sqlite = 1 };

enum class ValueType { Number, Text };

// A column: a whole number (NUMBER(9), SQLite's INTEGER), a decimal with two places
// (NUMBER(10,2), REAL) or text (VARCHAR2(20), TEXT).
struct ColumnDef {
    QString name;
    ValueType type;
    int scale = 0;  // decimals a stored value has at most
    bool nullable = true;
    bool key = false;  // the table's primary key
};

struct TableDef {
    QString name;
    std::vector<ColumnDef> columns;
    // Each row's values as SQL literals, in column order; "NULL" for NULL.
    std::vector<QStringList> rows;

    const ColumnDef& keyColumn() const;
};

// A pair of columns that the rows make a natural join of: a foreign key and what it names, or
// (`manyToMany`) two columns whose values repeat on both sides, which multiplies rows.
struct JoinPath {
    QString fromTable, fromColumn, toTable, toColumn;
    bool manyToMany = false;
};

// m / 10^places, written with `places` places: fixed(-5, 2) is "-0.05".
QString fixed(int64_t m, int places);

// The tables, made once with their rows (deterministic: the same on every run and machine).
const std::vector<TableDef>& differentialTables();
const std::vector<JoinPath>& differentialJoins();

// CREATE TABLE, CREATE INDEX and INSERT statements that build the schema in `dialect`.
QStringList schemaStatements(Dialect dialect);

}  // namespace qv::test
