#pragma once

#include <QHash>
#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace qv {

class Database;

enum class SchemaObjectKind { Table, View, Other };

struct SchemaColumn {
    QString name;
    QString type;  // as a tuner writes it: NUMBER(10,2), VARCHAR2(100), DATE
};

struct SchemaObject {
    QString name;
    SchemaObjectKind kind = SchemaObjectKind::Other;
    std::vector<SchemaColumn> columns;
};

// The tables and views of one schema with their columns, named as the dictionary views name
// them (an unquoted name in capitals).
class SchemaObjects {
  public:
    // Adds the object once; a table or view stays one when its columns add it again.
    void addObject(const QString& name, SchemaObjectKind kind);
    // Adds the column to its object, which is added (of no known kind) when new.
    void addColumn(const QString& object, const QString& column, const QString& type);
    const SchemaObject* find(const QString& name) const;
    const std::vector<SchemaObject>& objects() const { return objects_; }

    // False when a limit cut the reading short, so that some names are missing.
    bool complete = true;

  private:
    SchemaObject& object(const QString& name, SchemaObjectKind kind);

    std::vector<SchemaObject> objects_;
    QHash<QString, size_t> index_;
};

// What completion knows of the logged-in session's database: its own schema, read at the login
// and after each DDL statement, and the schemas of other owners, each read when first named.
struct SchemaDictionary {
    QString user;                              // the session's schema, in capitals
    std::shared_ptr<const SchemaObjects> own;  // null until read
    std::map<QString, std::shared_ptr<const SchemaObjects>> owners;

    // The objects of `owner` (its name as the dictionary holds it): the session's own for its
    // user; null when not read yet.
    const SchemaObjects* schemaOf(const QString& owner) const;
};

// How much one reading of the dictionary may take before it stops with what it has.
struct ReadLimits {
    qint64 rows = 0;
    int ms = 0;
};
inline constexpr ReadLimits kOwnSchemaLimits{200'000, 10'000};
inline constexpr ReadLimits kOwnerLimits{50'000, 5'000};

// Reads the session's tables (USER_TABLES), views (USER_VIEWS) and their columns
// (USER_TAB_COLUMNS) on `db`. A view that cannot be read (no privilege, or a server without it)
// is passed over, as is a failure midway; a limit reached ends the reading. Never throws.
SchemaObjects readOwnSchema(Database& db, ReadLimits limits = kOwnSchemaLimits);
// Reads the tables and columns of `owner` (as the dictionary holds the name) through ALL_TABLES
// and ALL_TAB_COLUMNS, in the same way.
SchemaObjects readOwnerSchema(Database& db, const QString& owner, ReadLimits limits = kOwnerLimits);

// A column's type as a tuner writes it, from USER_TAB_COLUMNS' DATA_TYPE, DATA_LENGTH,
// DATA_PRECISION and DATA_SCALE (null values empty).
QString columnTypeText(const QString& type, const QString& length, const QString& precision,
                       const QString& scale);

}  // namespace qv
