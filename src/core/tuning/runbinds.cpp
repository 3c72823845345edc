#include "core/tuning/runbinds.h"

#include "core/sql/tokenlist.h"

namespace qv {

BindList bindsForRun(const QString& sql, const BindList& given, QString& missing) {
    missing.clear();
    BindList used;
    for (const QString& name : sql::placeholders(sql).names) {
        const BindValue* value = findBind(given, name);
        if (!value) {
            if (missing.isEmpty())
                missing = name;
            continue;
        }
        used.append(BindValue{name, value->type, value->value});
    }
    return used;
}

QString bindValueText(const BindValue& value) {
    if (value.type == BindType::Null)
        return bindTypeName(BindType::Null);
    return value.value + QStringLiteral(" (") + bindTypeName(value.type) + u')';
}

}  // namespace qv
