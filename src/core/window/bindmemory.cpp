#include "core/window/bindmemory.h"

namespace qv {

BindList BindMemory::recall(const QStringList& names) const {
    BindList values;
    for (const QString& name : names) {
        const BindValue* last = findBind(values_, name);
        values.append(last ? BindValue{name, last->type, last->value}
                           : BindValue{name, BindType::Varchar2, {}});
    }
    return values;
}

void BindMemory::remember(const BindList& used) {
    for (const BindValue& value : used) {
        const BindValue* last = findBind(values_, value.name);
        if (last)
            values_[last - values_.constData()] = value;
        else
            values_.append(value);
    }
}

}  // namespace qv
