#include "core/db/database.h"

namespace qv {

DbError::DbError(int32_t number, QString description, QList<DiagRecord> records)
    : number_(number),
      description_(std::move(description)),
      records_(std::move(records)),
      what_(description_.toUtf8()) {}

int Recordset::fieldIndex(const QString& name) const {
    const int n = fieldCount();
    for (int i = 0; i < n; ++i) {
        if (field(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant Recordset::value(const QString& name) {
    const int i = fieldIndex(name);
    if (i < 0)
        throw itemNotFoundError();
    return value(i);
}

QString textOrEmpty(const QVariant& value) {
    if (value.isNull() || !value.isValid())
        return QString();
    return value.toString();
}

DbError notOpenError() {
    return DbError(kErrObjectInvalid, QStringLiteral("Object invalid or no longer set."));
}

DbError noCurrentRecordError() {
    return DbError(kErrNoCurrentRecord, QStringLiteral("No current record."));
}

DbError itemNotFoundError() {
    return DbError(kErrItemNotFound, QStringLiteral("Item not found in this collection."));
}

}  // namespace qv
