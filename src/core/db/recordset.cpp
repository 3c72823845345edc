#include "core/db/recordset.h"

namespace qv {

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

}  // namespace qv
