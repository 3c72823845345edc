#include "core/db/dberror.h"

namespace qv {

DbError::DbError(int32_t number, QString description, QList<DiagRecord> records)
    : number_(number),
      description_(std::move(description)),
      records_(std::move(records)),
      what_(description_.toUtf8()) {}

DbError notOpenError() {
    return DbError(kErrObjectInvalid, QStringLiteral("Object invalid or no longer set."));
}

DbError noCurrentRecordError() {
    return DbError(kErrNoCurrentRecord, QStringLiteral("No current record."));
}

DbError itemNotFoundError() {
    return DbError(kErrItemNotFound, QStringLiteral("Item not found in this collection."));
}

DbError cancelledError() {
    return DbError(kErrOdbcCall,
                   QStringLiteral("ORA-01013: user requested cancel of current operation"));
}

}  // namespace qv
