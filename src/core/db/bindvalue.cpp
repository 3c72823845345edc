#include "core/db/bindvalue.h"

namespace qv {

namespace {
struct Named {
    BindType type;
    const char* name;
};
constexpr Named kNames[] = {{BindType::Varchar2, "VARCHAR2"},
                            {BindType::Number, "NUMBER"},
                            {BindType::Date, "DATE"},
                            {BindType::Null, "NULL"}};
}  // namespace

QString bindTypeName(BindType type) {
    for (const Named& n : kNames) {
        if (n.type == type)
            return QString::fromLatin1(n.name);
    }
    return QString();
}

bool bindTypeFromName(const QString& name, BindType& type) {
    for (const Named& n : kNames) {
        if (name.compare(QLatin1StringView(n.name), Qt::CaseInsensitive) == 0) {
            type = n.type;
            return true;
        }
    }
    return false;
}

}  // namespace qv
