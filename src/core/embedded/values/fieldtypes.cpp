#include "core/embedded/values/fieldtypes.h"

#include <QRegularExpression>

#include <sqlite3.h>

namespace qv::embedded {

namespace {

FieldInfo fromStorageClass(const QString& name, int storageClass) {
    switch (storageClass) {
        case SQLITE_INTEGER:
            return {name, FieldType::BigInt, 19};
        case SQLITE_FLOAT:
            return {name, FieldType::Double, kUnsizedNumber};
        case SQLITE_BLOB:
            return {name, FieldType::VarBinary, kUnsizedText};
        default:
            return {name, FieldType::Text, kUnsizedText};
    }
}

// Integer types by their width in digits.
FieldInfo integerField(const QString& name, int64_t digits) {
    if (digits <= 4)
        return {name, FieldType::Integer, digits};
    if (digits <= 9)
        return {name, FieldType::Long, digits};
    if (digits <= 18)
        return {name, FieldType::BigInt, digits};
    return {name, FieldType::Numeric, digits};
}

}  // namespace

FieldInfo describeColumn(const QString& name, const QString& declaredType, int storageClass) {
    static const QRegularExpression kDecl(
        QStringLiteral(R"(^\s*([A-Za-z][A-Za-z0-9_ ]*)(?:\(\s*(\d+)\s*(?:,\s*(\d+)\s*)?\))?\s*$)"));
    if (declaredType.trimmed().isEmpty())
        return fromStorageClass(name, storageClass);
    const QRegularExpressionMatch m = kDecl.match(declaredType);
    const QString base = (m.hasMatch() ? m.captured(1) : declaredType).toUpper().simplified();
    const bool sized = m.hasCaptured(2);
    const int64_t size = m.captured(2).toLongLong();
    const int64_t scale = m.captured(3).toLongLong();

    // Long values are never shown, but the header still is.
    if (base == u"LONG RAW")
        return {name, FieldType::LongBinary, kUnsizedText};
    if (base == u"LONG" || base.contains(u"CLOB") || base == u"LONG VARCHAR")
        return {name, FieldType::LongText, kUnsizedText};
    if (base == u"DATE" || base == u"DATETIME")
        return {name, FieldType::Date, kDateSize};
    if (base.startsWith(u"TIMESTAMP"))
        return {name, FieldType::Date, kTimestampSize};
    if (base == u"NUMBER" || base == u"NUMERIC" || base == u"DECIMAL") {
        if (sized && scale == 0)
            return integerField(name, size);
        return {name, FieldType::Numeric, sized ? size : kUnsizedNumber};
    }
    if (base == u"BIGINT" || base == u"INT8")
        return {name, FieldType::BigInt, 19};
    if (base == u"SMALLINT" || base == u"TINYINT" || base == u"INT2")
        return {name, FieldType::Integer, 5};
    // SQLite's own rules for everything else: INT, CHAR/TEXT, BLOB, REAL/FLOAT/DOUBLE.
    if (base.contains(u"INT"))
        return {name, FieldType::Long, 10};
    if (base.contains(u"CHAR") || base.contains(u"TEXT") || base.contains(u"STRING"))
        return {name, FieldType::Text, sized && size > 0 ? size : kUnsizedText};
    if (base.contains(u"BLOB") || base == u"RAW" || base.contains(u"BINARY"))
        return {name, FieldType::VarBinary, sized && size > 0 ? size : kUnsizedText};
    if (base.contains(u"REAL") || base.contains(u"FLOA") || base.contains(u"DOUB"))
        return {name, FieldType::Double, kUnsizedNumber};
    return {name, FieldType::Numeric, sized && size > 0 ? size : kUnsizedNumber};
}

}  // namespace qv::embedded
