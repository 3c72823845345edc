#include "core/editor/schemadictionary.h"

#include "core/db/database.h"
#include "core/sql/tokenlist.h"

#include <QElapsedTimer>

#include <functional>

namespace qv {

void SchemaObjects::addObject(const QString& name, SchemaObjectKind kind) {
    object(name, kind);
}

void SchemaObjects::addColumn(const QString& object, const QString& column, const QString& type) {
    this->object(object, SchemaObjectKind::Other).columns.push_back({column, type});
}

SchemaObject& SchemaObjects::object(const QString& name, SchemaObjectKind kind) {
    const auto it = index_.constFind(name);
    if (it != index_.constEnd()) {
        SchemaObject& known = objects_[*it];
        if (known.kind == SchemaObjectKind::Other)
            known.kind = kind;
        return known;
    }
    index_.insert(name, objects_.size());
    objects_.push_back({name, kind, {}});
    return objects_.back();
}

const SchemaObject* SchemaObjects::find(const QString& name) const {
    const auto it = index_.constFind(name);
    return it == index_.constEnd() ? nullptr : &objects_[*it];
}

const SchemaObjects* SchemaDictionary::schemaOf(const QString& owner) const {
    if (owner == user)
        return own.get();
    const auto it = owners.find(owner);
    return it == owners.end() ? nullptr : it->second.get();
}

QString columnTypeText(const QString& type, const QString& length, const QString& precision,
                       const QString& scale) {
    static const QStringList kSized = {QStringLiteral("CHAR"),  QStringLiteral("VARCHAR2"),
                                       QStringLiteral("NCHAR"), QStringLiteral("NVARCHAR2"),
                                       QStringLiteral("RAW"),   QStringLiteral("VARCHAR")};
    if (kSized.contains(type) && !length.isEmpty())
        return QStringLiteral("%1(%2)").arg(type, length);
    if (type == QStringLiteral("NUMBER") && !precision.isEmpty())
        return scale.isEmpty() || scale == QStringLiteral("0")
                   ? QStringLiteral("NUMBER(%1)").arg(precision)
                   : QStringLiteral("NUMBER(%1,%2)").arg(precision, scale);
    return type;
}

namespace {

// Reads the rows of `sql` into `row` while the limits allow; false when one cut it short.
// A statement the server refuses reads nothing.
bool readRows(Database& db, const QString& sql, const ReadLimits& limits, qint64& rows,
              const QElapsedTimer& clock, const std::function<void(Recordset&)>& row) {
    try {
        for (auto rs = db.openRecordset(sql); !rs->eof(); rs->moveNext()) {
            if (rows >= limits.rows || clock.elapsed() >= limits.ms)
                return false;
            ++rows;
            row(*rs);
        }
    } catch (const DbError&) {
        return rows < limits.rows && clock.elapsed() < limits.ms;
    }
    return true;
}

QString text(Recordset& rs, int i) {
    return textOrEmpty(rs.value(i));
}

void readColumns(Database& db, const QString& sql, const ReadLimits& limits, qint64& rows,
                 const QElapsedTimer& clock, SchemaObjects& out) {
    if (!out.complete)
        return;
    out.complete = readRows(db, sql, limits, rows, clock, [&](Recordset& rs) {
        out.addColumn(text(rs, 0), text(rs, 1),
                      columnTypeText(text(rs, 2), text(rs, 3), text(rs, 4), text(rs, 5)));
    });
}

const QString kColumnList = QStringLiteral(
    "SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE, DATA_LENGTH, DATA_PRECISION, DATA_SCALE FROM ");

}  // namespace

SchemaObjects readOwnSchema(Database& db, ReadLimits limits) {
    SchemaObjects out;
    QElapsedTimer clock;
    clock.start();
    qint64 rows = 0;
    const std::pair<QString, SchemaObjectKind> lists[] = {
        {QStringLiteral("SELECT TABLE_NAME FROM USER_TABLES"), SchemaObjectKind::Table},
        {QStringLiteral("SELECT VIEW_NAME FROM USER_VIEWS"), SchemaObjectKind::View}};
    for (const auto& [sql, kind] : lists) {
        if (out.complete)
            out.complete = readRows(db, sql, limits, rows, clock,
                                    [&, kind](Recordset& rs) { out.addObject(text(rs, 0), kind); });
    }
    readColumns(db, kColumnList + QStringLiteral("USER_TAB_COLUMNS ORDER BY TABLE_NAME, COLUMN_ID"),
                limits, rows, clock, out);
    return out;
}

SchemaObjects readOwnerSchema(Database& db, const QString& owner, ReadLimits limits) {
    SchemaObjects out;
    QElapsedTimer clock;
    clock.start();
    qint64 rows = 0;
    const QString where = QStringLiteral(" WHERE OWNER = ") + sql::quotedString(owner);
    out.complete = readRows(
        db, QStringLiteral("SELECT TABLE_NAME FROM ALL_TABLES") + where, limits, rows, clock,
        [&](Recordset& rs) { out.addObject(text(rs, 0), SchemaObjectKind::Table); });
    readColumns(db,
                kColumnList + QStringLiteral("ALL_TAB_COLUMNS") + where +
                    QStringLiteral(" ORDER BY TABLE_NAME, COLUMN_ID"),
                limits, rows, clock, out);
    return out;
}

}  // namespace qv
