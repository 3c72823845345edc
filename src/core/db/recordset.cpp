#include "core/db/recordset.h"

#include <limits>

namespace qv {

int Recordset::fieldIndex(const QString& name) const {
    const int n = fieldCount();
    for (int i = 0; i < n; ++i) {
        if (field(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int64_t Recordset::skipToEnd() {
    int64_t passed = 0;
    while (!eof())
        passed += skipRows(std::numeric_limits<int64_t>::max());
    return passed;
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
