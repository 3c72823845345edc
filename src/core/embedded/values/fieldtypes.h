#pragma once

#include "core/db/database.h"

#include <QString>

namespace qv::embedded {

// Defined sizes where the declaration gives none; chosen so a result grid column is readable.
inline constexpr int64_t kUnsizedText = 50;
inline constexpr int64_t kUnsizedNumber = 15;
inline constexpr int64_t kDateSize = 19;       // YYYY-MM-DD HH:MM:SS
inline constexpr int64_t kTimestampSize = 26;  // with microseconds

// Type code and defined size of a result column from its declared type, Oracle's names
// (VARCHAR2(30), NUMBER(10,2), DATE, LONG, RAW, CLOB...) or SQLite's. A column without a
// declared type (an expression) is typed by the SQLite storage class of its first value
// (`storageClass`, SQLITE_NULL when there is no row). Cannot fail.
FieldInfo describeColumn(const QString& name, const QString& declaredType, int storageClass);

}  // namespace qv::embedded
